#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include "QueryBuilder.h"
#include "QueryResult.h"
#include "Session.h"

namespace vocaset {

// What the query tool reads at start for the name it runs under.
struct QuerySetup
{
    QString program; // the executable's name: the catalogue keys are "$$" + program + "_TABLE"/"_FIELDS"
    QString table;
    QString caption;          // the window's
    QString allText;          // first entry of every filter list: no filter
    QString execCaption;      // CExec
    QString exportCaption;    // BtExcel
    QList<QueryField> fields; // at most kMaxFields, in catalogue order
    int leftOut = 0;          // catalogue rows beyond kMaxFields
};

enum class QueryStart {
    Ready,
    SettingsMissing, // the settings file could not be read; no connection was tried
    OpenFailed,
    DatabaseFailed, // a statement of the start-up was refused (text shown)
    NoCatalogue,    // no table setting, not a plain table name, or no usable field
};

// The query tool's engine: its start-up, the values of a filter list and the query run. Every
// problem goes through the session's operator; refused statements outside the start-up throw
// DbError for the caller to show.
class QueryTool
{
public:
    static constexpr int kMaxFields = 21;

    QueryTool(Session& session, QString program);

    // Settings file, connection, language, captions, table and field catalogue.
    QueryStart start(const QString& settingsPath, RunLog& log);
    // The part after the connection is open.
    QueryStart loadSetup();

    Session& session() { return m_s; }
    const QuerySetup& setup() const { return m_setup; }
    QueryBuilder builder() const;

    // A field's filter list after the first entry: its distinct values, nulls left out, dates as
    // yyyy/mm/dd (each day once).
    QStringList filterValues(int field);

    // Runs the query the choices describe (one per field). When nothing is checked, field 0 is
    // checked first, in choices too. Reports progress as the rows are read and stops early when
    // requestStop() is called meanwhile.
    QueryResult run(QList<FieldChoice>& choices, RunLog& log);
    void requestStop() { m_stop = true; }

private:
    QueryStart readCatalogue();

    Session& m_s;
    QuerySetup m_setup;
    bool m_stop = false;
};

} // namespace vocaset
