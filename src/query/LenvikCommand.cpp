#include "LenvikCommand.h"

#include <QCommandLineParser>

#include "Database.h"
#include "QueryExport.h"
#include "QueryTool.h"
#include "ResultModel.h"
#include "TextFile.h"

namespace vocaset {
namespace {

// Messages on the error stream; a question is answered No, a prompt with its default.
class StreamOperator final : public Operator
{
public:
    explicit StreamOperator(QTextStream& err) : m_err(err) {}
    // A value from the database holding a line break or a terminal escape is shown escaped.
    void showMessage(const QString& text, const QString&) override { m_err << escapeControls(text, true) << Qt::endl; }
    bool askYesNo(const QString& text, const QString&) override
    {
        m_err << escapeControls(text, true) << QStringLiteral(" no") << Qt::endl;
        return false;
    }
    std::optional<QString> askText(const QString&, const QString& defaultText) override { return defaultText; }

private:
    QTextStream& m_err;
};

class StreamLog final : public RunLog
{
public:
    explicit StreamLog(QTextStream& err) : m_err(err) {}
    void append(const QString& line) override { m_err << escapeControls(line) << Qt::endl; }

private:
    QTextStream& m_err;
};

const char* const kUsage =
    "Usage: lenvik --query [--catalogue NAME] [--fields NAME,...] [--set FIELD=VALUE ...] [--export FILE.xlsx]\n"
    "              [--settings FILE]\n"
    "Runs one query of the query tool without its window and prints the statement built, then the list's\n"
    "header and rows, tab-separated.\n\n"
    "  --catalogue NAME  the catalogue \"$$NAME_TABLE\" / \"$$NAME_FIELDS\" (default: the program's name)\n"
    "  --fields NAMES    the fields to show, by column name, comma-separated (default: every field);\n"
    "                    COLUMN:KIND (QTY:SUM, QTY:SUB(1,3)) picks among fields of one column\n"
    "  --set FIELD=VALUE a filter on FIELD: VALUE as picked from its list, compared with '=', or with\n"
    "                    '<>', '>' or '<' when VALUE begins with one; a VALUE holding '*' is typed text,\n"
    "                    matched as a pattern ('*' stands for any text)\n"
    "  --export FILE     also write the list into a spreadsheet file (.xlsx)\n"
    "  --settings FILE   connection settings file (default: ParamDB.txt beside the program)\n\n"
    "Exit codes: 0 success, 1 the run reported an error, 2 wrong usage, 3 database failure.\n";

int usage(QTextStream& stream, int code, const QString& problem = {})
{
    if (!problem.isEmpty())
        stream << problem << u'\n';
    stream << QLatin1String(kUsage) << Qt::flush;
    return code;
}

// A field by its column name, or by COLUMN:KIND as the catalogue writes it (QTY:SUM, QTY:SUB(1,3)),
// which tells apart two fields of one column. A bare name takes the field that shows the column as
// it is before one that aggregates it, and one with a filter first when asked to; -1 when none.
int fieldNamed(const QList<QueryField>& fields, const QString& name, bool wantFilter)
{
    if (name.contains(u':')) {
        const CatalogueValue v = parseCatalogueValue(name);
        if (v.aggregate == Aggregate::None)
            return -1;
        for (int i = 0; i < fields.size(); ++i) {
            const QueryField& f = fields[i];
            if (f.name.compare(v.name, Qt::CaseInsensitive) == 0 && f.aggregate == v.aggregate &&
                (v.subStart == 0 || (f.subStart == v.subStart && f.subLength == v.subLength)))
                return i;
        }
        return -1;
    }
    int best = -1;
    int bestRank = 0;
    for (int i = 0; i < fields.size(); ++i) {
        if (fields[i].name.compare(name, Qt::CaseInsensitive) != 0)
            continue;
        const int rank =
            1 + (fields[i].aggregate == Aggregate::None ? 1 : 0) + (wantFilter && fields[i].filterable() ? 2 : 0);
        if (rank > bestRank) {
            best = i;
            bestRank = rank;
        }
    }
    return best;
}

// The names of --fields: commas separate them, except inside the parentheses of SUB(start,length).
QStringList fieldNames(const QString& text)
{
    QStringList names;
    QString current;
    int depth = 0;
    for (const QChar c : text) {
        depth += c == u'(' ? 1 : c == u')' && depth > 0 ? -1 : 0;
        if (c == u',' && depth == 0) {
            names.append(current.trimmed());
            current.clear();
        } else {
            current += c;
        }
    }
    names.append(current.trimmed());
    names.removeAll(QString());
    return names;
}

// FIELD=VALUE into the filter row of that field.
QString applyFilter(const QList<QueryField>& fields, const QString& setting, QList<FieldChoice>& choices)
{
    const qsizetype eq = setting.indexOf(u'=');
    if (eq <= 0)
        return QStringLiteral("--set needs FIELD=VALUE: ") + setting;
    const QString name = setting.left(eq);
    const int field = fieldNamed(fields, name, true);
    if (field < 0)
        return QStringLiteral("No field ") + name + QStringLiteral(" in the catalogue");
    if (!fields[field].filterable())
        return QStringLiteral("The field ") + name + QStringLiteral(" has no filter (numbers, SUM, COUNT and AVG)");
    FieldChoice& c = choices[field];
    QString value = setting.mid(eq + 1);
    c.op = QStringLiteral("=");
    c.entry = 1;
    bool hasOperator = false;
    for (const QString& op : {QStringLiteral("<>"), QStringLiteral(">"), QStringLiteral("<"), QStringLiteral("=")}) {
        if (value.startsWith(op)) {
            c.op = op;
            value = value.mid(op.size());
            hasOperator = true;
            break;
        }
    }
    if (!hasOperator && value.contains(u'*'))
        c.entry = -1;
    c.text = value;
    if (value.isEmpty())
        return QStringLiteral("--set needs a value: ") + setting;
    return {};
}

} // namespace

int runLenvik(const QStringList& arguments, QTextStream& out, QTextStream& err, const QString& appDir,
              const QString& program)
{
    QCommandLineParser parser;
    const QCommandLineOption query(QStringLiteral("query"));
    const QCommandLineOption catalogue(QStringLiteral("catalogue"), {}, QStringLiteral("NAME"));
    const QCommandLineOption fieldsOption(QStringLiteral("fields"), {}, QStringLiteral("NAMES"));
    const QCommandLineOption set(QStringLiteral("set"), {}, QStringLiteral("FIELD=VALUE"));
    const QCommandLineOption exportTo(QStringLiteral("export"), {}, QStringLiteral("FILE"));
    const QCommandLineOption settings(QStringLiteral("settings"), {}, QStringLiteral("FILE"));
    const QCommandLineOption help(QStringList{QStringLiteral("help"), QStringLiteral("h")});
    parser.addOptions({query, catalogue, fieldsOption, set, exportTo, settings, help});
    if (!parser.parse(QStringList{program} + arguments))
        return usage(err, LenvikUsage, parser.errorText());
    if (parser.isSet(help))
        return usage(out, LenvikOk);
    if (!parser.isSet(query))
        return usage(err, LenvikUsage, QStringLiteral("Without a window lenvik needs --query."));
    if (!parser.positionalArguments().isEmpty())
        return usage(err, LenvikUsage, QStringLiteral("Unexpected: ") + parser.positionalArguments().join(u' '));
    // Only --set may come more than once; taking the last of two values would run on a choice the
    // operator may not have meant.
    for (const QCommandLineOption* single : {&catalogue, &fieldsOption, &exportTo, &settings}) {
        if (parser.values(*single).size() > 1)
            return usage(err, LenvikUsage, u"--" + single->names().first() + QStringLiteral(" is given more than once"));
    }

    StreamOperator op(err);
    StreamLog log(err);
    Database db;
    Session s(db, op);
    s.appDir = appDir;
    QueryTool tool(s, parser.isSet(catalogue) ? parser.value(catalogue) : program);
    const QString settingsPath =
        parser.isSet(settings) ? parser.value(settings) : appDir + QStringLiteral("/ParamDB.txt");
    switch (tool.start(settingsPath, log)) {
    case QueryStart::Ready:
        break;
    case QueryStart::SettingsMissing:
        return LenvikUsage;
    case QueryStart::OpenFailed:
    case QueryStart::DatabaseFailed:
        return LenvikDatabaseFailed;
    case QueryStart::NoCatalogue:
        return LenvikRunFailed;
    }

    const QList<QueryField>& fields = tool.setup().fields;
    QList<FieldChoice> choices(fields.size());
    if (parser.isSet(fieldsOption)) {
        for (const QString& name : fieldNames(parser.value(fieldsOption))) {
            const int field = fieldNamed(fields, name, false);
            if (field < 0)
                return usage(err, LenvikUsage,
                             QStringLiteral("No field ") + name + QStringLiteral(" in the catalogue"));
            choices[field].checked = true;
        }
    } else {
        for (FieldChoice& c : choices)
            c.checked = true;
    }
    for (const QString& setting : parser.values(set)) {
        if (const QString problem = applyFilter(fields, setting, choices); !problem.isEmpty())
            return usage(err, LenvikUsage, problem);
    }

    ResultModel list;
    try {
        list.setResult(tool.run(choices, log));
    } catch (const DbError& e) {
        op.showError(e.text());
        return LenvikDatabaseFailed;
    }
    const QueryResult& r = list.result();
    out << escapeControls(r.statement) << u'\n';
    QStringList line;
    for (const QueryField& f : r.fields)
        line.append(escapeControls(f.caption));
    out << line.join(u'\t') << u'\n';
    for (int row = 0; row < r.rowCount(); ++row) {
        line.clear();
        for (int c = 0; c < r.columnCount(); ++c)
            line.append(escapeControls(r.text(row, c)));
        out << line.join(u'\t') << u'\n';
    }
    out.flush();
    err << r.rowCount() << QStringLiteral(" row(s)") << Qt::endl;

    if (parser.isSet(exportTo)) {
        QString error;
        if (!exportList(list, parser.value(exportTo), &error)) {
            op.showError(error);
            return LenvikRunFailed;
        }
        err << QStringLiteral("Written: ") << parser.value(exportTo) << Qt::endl;
    }
    return LenvikOk;
}

} // namespace vocaset
