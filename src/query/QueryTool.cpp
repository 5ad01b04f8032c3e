#include "QueryTool.h"

#include "Messages.h"
#include "Sql.h"
#include "Startup.h"
#include "UiYield.h"

namespace vocaset {

QueryTool::QueryTool(Session& session, QString program) : m_s(session)
{
    m_setup.program = std::move(program);
}

QueryStart QueryTool::start(const QString& settingsPath, RunLog& log)
{
    // The settings file and the connection follow the main program's rules (line 1 only is used).
    Startup startup(m_s, settingsPath, log);
    if (!startup.readSettings())
        return QueryStart::SettingsMissing;
    // A mistyped database name must not leave a new, empty database behind.
    if (!startup.openMain(Database::Access::Existing))
        return QueryStart::OpenFailed;
    return loadSetup();
}

QueryStart QueryTool::loadSetup()
{
    try {
        const Recordset lng =
            m_s.db.execute(QStringLiteral("SELECT SY_VALUE FROM SYSTEM_PARAMETERS WHERE SY_CODE = '$$LNG'"));
        m_s.language = lng.eof() ? QStringLiteral("EN") : lng.text(0);
        m_setup.allText = textOr(m_s, QStringLiteral("ALL"), QStringLiteral("(All)"));
        // The run button's own caption; a database without it keeps the update caption.
        m_setup.execCaption =
            textOr(m_s, QStringLiteral("OK_RUN"), textOr(m_s, QStringLiteral("OK_UPD"), QStringLiteral("Query")));
        m_setup.exportCaption = textOr(m_s, QStringLiteral("OK_EXP"), QStringLiteral("Export"));
        const Recordset table =
            m_s.db.execute(QStringLiteral("SELECT SY_VALUE FROM SYSTEM_PARAMETERS WHERE SY_CODE = '$$") +
                           sqlText(m_setup.program) + QStringLiteral("_TABLE'"));
        if (table.eof()) {
            m_s.op.showMessage(QStringLiteral("Paramètre Table Inexistante"));
            return QueryStart::NoCatalogue;
        }
        m_setup.table = table.text(0);
        if (!isPlainIdentifier(m_setup.table)) {
            ShowMessage(m_s, QStringLiteral("M321"), m_setup.table);
            return QueryStart::NoCatalogue;
        }
        m_setup.caption = textOr(m_s, m_setup.program, m_setup.program);
        return readCatalogue();
    } catch (const DbError& e) {
        m_s.op.showError(e.text());
        return QueryStart::DatabaseFailed;
    }
}

QueryStart QueryTool::readCatalogue()
{
    const Recordset rows = m_s.db.execute(QStringLiteral("SELECT SY_VALUE FROM SYSTEM_PARAMETERS WHERE SY_CODE = '$$") +
                                          sqlText(m_setup.program) + QStringLiteral("_FIELDS'ORDER BY SY_SUBCODE"));
    m_setup.fields.clear();
    m_setup.leftOut = 0;
    for (const QVariantList& row : rows.rows()) {
        const QString value = row.value(0).toString();
        const CatalogueValue v = parseCatalogueValue(value);
        // The name goes into statements as it stands.
        if (!isPlainIdentifier(v.name)) {
            ShowMessage(m_s, QStringLiteral("M322"), value);
            continue;
        }
        if (m_setup.fields.size() == kMaxFields) {
            ++m_setup.leftOut;
            continue;
        }
        if (v.badSubstring)
            ShowMessage(m_s, QStringLiteral("M323"), value);
        QueryField f;
        f.name = v.name;
        f.aggregate = v.aggregate;
        f.subStart = v.subStart;
        f.subLength = v.subLength;
        f.caption = textOr(m_s, f.name, f.name);
        f.alias = QString::number(m_setup.fields.size()) + QStringLiteral("FLD");
        m_setup.fields.append(f);
    }
    if (m_setup.leftOut > 0)
        ShowMessage(m_s, QStringLiteral("M320"), QString::number(m_setup.leftOut));
    if (m_setup.fields.isEmpty()) {
        ShowMessage(m_s, QStringLiteral("M324"), QStringLiteral("$$") + m_setup.program + QStringLiteral("_FIELDS"));
        return QueryStart::NoCatalogue;
    }
    for (QueryField& f : m_setup.fields) {
        const Recordset column = m_s.db.columns(m_setup.table, f.name);
        const bool found = !column.eof();
        f.columnType = found ? column.value(QStringLiteral("DATA_TYPE")).toInt() : 0;
        bool unknown = false;
        f.dataClass = dataClassOf(f.columnType, found, &unknown);
        if (unknown)
            m_s.op.showMessage(QString::number(f.columnType) + QStringLiteral("Type de données Inconnu "));
        // A piece of a value is text, whatever the column holds.
        if (f.isSubstring())
            f.dataClass = DataClass::Text;
    }
    return QueryStart::Ready;
}

QueryBuilder QueryTool::builder() const
{
    return QueryBuilder(m_setup.table, m_setup.fields, m_s.db.engine());
}

QStringList QueryTool::filterValues(int field)
{
    const QueryField& f = m_setup.fields.at(field);
    const Recordset rs = m_s.db.execute(builder().valuesStatement(field));
    QStringList out;
    for (const QVariantList& row : rs.rows()) {
        if (row.value(0).isNull())
            continue;
        const QString text = displayText(row.value(0), f.dataClass);
        // Several times of one day are one entry.
        if (f.dataClass == DataClass::Date && !out.isEmpty() && out.last() == text)
            continue;
        out.append(text);
    }
    return out;
}

QueryResult QueryTool::run(QList<FieldChoice>& choices, RunLog& log)
{
    m_stop = false;
    choices.resize(m_setup.fields.size());
    if (QueryBuilder::selected(choices) == QList<int>{0})
        choices[0].checked = true;
    QueryResult r;
    r.statement = builder().statement(choices);
    for (int i : QueryBuilder::selected(choices))
        r.fields.append(m_setup.fields.at(i));
    r.rows = m_s.db.execute(r.statement);
    for (const QueryField& f : std::as_const(r.fields))
        r.valueColumns.append(r.rows.fieldIndex(f.alias));

    const int total = r.rows.count();
    const int columns = r.columnCount();
    r.texts.reserve(qsizetype(total) * columns);
    log.progress(0, total);
    int done = 0;
    for (const QVariantList& row : r.rows.rows()) {
        for (int c = 0; c < columns; ++c)
            r.texts.append(displayText(row.value(r.valueColumns[c]), r.fields[c].dataClass));
        if (++done % 4096 == 0) {
            log.progress(done, total);
            giveUiTurn();
            if (m_stop) {
                r.stopped = true;
                return r;
            }
        }
    }
    log.progress(total, total);
    return r;
}

} // namespace vocaset
