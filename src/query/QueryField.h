#pragma once

#include <QString>

namespace vocaset {

// How a field's values are shown and filtered: text as is, numbers right-aligned with two decimals
// and no filter, dates as yyyy/mm/dd.
enum class DataClass { Text = 1, Number = 2, Date = 4 };

// How a field enters the select list.
enum class Aggregate { None = 0, Sum = 1, Count = 2, Sub = 3, Avg = 4 };

// One row of the query tool's field catalogue.
struct QueryField
{
    QString name;    // column name
    QString caption; // its description in the user's language
    QString alias;   // "0FLD", "1FLD", ...: every select expression is read back by it
    DataClass dataClass = DataClass::Number;
    int columnType = 0; // catalogue DATA_TYPE; 0 when the table has no such column
    Aggregate aggregate = Aggregate::None;
    int subStart = 0; // SUB only; both 0 means the field is shown whole
    int subLength = 0;
    QString orderSuffix; // appended to the ORDER BY of the field's value list when not empty

    // Grouped and ordered by when checked; SUM, COUNT and AVG fields never are.
    bool groups() const { return aggregate == Aggregate::None || aggregate == Aggregate::Sub; }
    // A true substring; SUB without a start and length shows the column whole.
    bool isSubstring() const { return aggregate == Aggregate::Sub && subStart > 0; }
    // Has a filter list. Numbers have none, and neither have SUM, COUNT and AVG: their values exist
    // only per group, and a WHERE clause cannot test them.
    bool filterable() const { return dataClass != DataClass::Number && groups(); }
};

// A catalogue value: "NAME", or "NAME:KIND" with KIND one of SUM, COUNT, SUB, AVG in any letter
// case; SUB may carry its start and length as SUB(3,2). The name is the text before the first colon.
struct CatalogueValue
{
    QString name;
    Aggregate aggregate = Aggregate::None;
    int subStart = 0;
    int subLength = 0;
    bool badSubstring = false; // SUB(...) whose numbers are not a start and a length from 1
};
CatalogueValue parseCatalogueValue(const QString& value);

// The data class of a column from its catalogue type; found is false when the table has no such
// column. unknown is set for a type outside the five the tool knows (shown as text).
DataClass dataClassOf(int columnType, bool found, bool* unknown = nullptr);

} // namespace vocaset
