#include "QueryField.h"

#include <QRegularExpression>

#include "Database.h"

namespace vocaset {

CatalogueValue parseCatalogueValue(const QString& value)
{
    CatalogueValue v;
    const qsizetype colon = value.indexOf(u':');
    if (colon < 0) {
        v.name = value;
        return v;
    }
    v.name = value.left(colon);
    const QString kind = value.mid(colon + 1).toUpper();
    if (kind == u"SUM") {
        v.aggregate = Aggregate::Sum;
    } else if (kind == u"COUNT") {
        v.aggregate = Aggregate::Count;
    } else if (kind == u"AVG") {
        v.aggregate = Aggregate::Avg;
    } else if (kind == u"SUB") {
        v.aggregate = Aggregate::Sub;
    } else {
        static const QRegularExpression sub(QStringLiteral("^SUB\\s*\\((.*)\\)$"));
        static const QRegularExpression numbers(QStringLiteral("^\\s*(\\d{1,5})\\s*,\\s*(\\d{1,5})\\s*$"));
        const auto m = sub.match(kind);
        if (!m.hasMatch())
            return v;
        v.aggregate = Aggregate::Sub;
        const auto n = numbers.match(m.captured(1));
        const int start = n.hasMatch() ? n.captured(1).toInt() : 0;
        const int length = n.hasMatch() ? n.captured(2).toInt() : 0;
        // Both are 16-bit counts from 1.
        if (start >= 1 && length >= 1 && start <= 32767 && length <= 32767) {
            v.subStart = start;
            v.subLength = length;
        } else {
            v.badSubstring = true;
        }
    }
    return v;
}

DataClass dataClassOf(int columnType, bool found, bool* unknown)
{
    if (unknown)
        *unknown = false;
    if (!found)
        return DataClass::Number;
    switch (columnType) {
    case AdoType::Char:
    case AdoType::WChar:
    case AdoType::Integer:
        return DataClass::Text;
    case AdoType::Timestamp:
        return DataClass::Date;
    case AdoType::Double:
        return DataClass::Number;
    default:
        if (unknown)
            *unknown = true;
        return DataClass::Text;
    }
}

} // namespace vocaset
