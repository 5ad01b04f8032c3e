// Times the query tool over a table of calls (1 000 000 rows unless --rows says otherwise): two
// grouped queries, each sent by the engine alone (the statement run and its rows read, nothing
// more), by the query tool's engine (rows read and every cell formatted) and by its window (the same,
// then the list filled and its columns fitted). SQLite in a temporary file; with --server CONNECTION
// the same on a PostgreSQL server, in a database of its own that is dropped at the end.

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QPushButton>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QTextStream>

#include "BenchData.h"
#include "Database.h"
#include "Form1.h"
#include "QueryTool.h"
#include "Schema.h"

using namespace vocaset;

namespace {

void send(Database& db, const QString& sql)
{
    QSqlQuery q(db.handle());
    if (!q.exec(sql))
        throw DbError(q.lastError().text() + QStringLiteral(" in ") + sql);
}

// Twenty companies, numbers with 90 four-digit prefixes, a year of dates, 3 599 durations (every
// company has every duration).
void buildCalls(Database& db, int rows)
{
    db.execute(Schema::createStatements().first());
    db.execute(QStringLiteral("CREATE TABLE CALLS (CL_ID integer, CO_CODE nvarchar(5), CL_NUM nvarchar(20), "
                              "CL_DATE timestamp, CL_SECS integer, CL_COST double precision, PRIMARY KEY (CL_ID))"));
    const QString n = QString::number(rows);
    if (db.engine() == Engine::SQLite) {
        send(db, QStringLiteral(
                     "INSERT INTO CALLS WITH RECURSIVE s(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM s WHERE i < %1) "
                     "SELECT i, 'C' || printf('%02d', i % 20), '0' || (410000000 + (i * 7919) % 90000000), "
                     "datetime('2024-01-01', '+' || (i % 365) || ' days', '+' || (i % 86400) || ' seconds'), "
                     "i % 3599, (i % 1000) * 0.05 FROM s")
                     .arg(n));
    } else {
        send(db, QStringLiteral(
                     "INSERT INTO CALLS SELECT i, 'C' || lpad((i % 20)::text, 2, '0'), "
                     "'0' || (410000000 + (i::bigint * 7919) % 90000000), "
                     "timestamp '2024-01-01' + (i % 365) * interval '1 day' + (i % 86400) * interval '1 second', "
                     "i % 3599, (i % 1000) * 0.05 FROM generate_series(1, %1) AS s(i)")
                     .arg(n));
        send(db, QStringLiteral("ANALYZE CALLS"));
    }
    for (const auto& [key, value] :
         QList<std::pair<QString, QString>>{{QStringLiteral("$$bench_TABLE', '$"), QStringLiteral("CALLS")},
                                            {QStringLiteral("$$bench_FIELDS', '01"), QStringLiteral("CO_CODE")},
                                            {QStringLiteral("$$bench_FIELDS', '02"), QStringLiteral("CL_NUM:SUB(1,4)")},
                                            {QStringLiteral("$$bench_FIELDS', '03"), QStringLiteral("CL_SECS")},
                                            {QStringLiteral("$$bench_FIELDS', '04"), QStringLiteral("CL_COST:SUM")},
                                            {QStringLiteral("$$bench_FIELDS', '05"), QStringLiteral("CL_ID:COUNT")},
                                            {QStringLiteral("$$bench_FIELDS', '06"), QStringLiteral("CL_SECS:AVG")}})
        db.execute(QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES('") + key + QStringLiteral("', '") + value +
                   QStringLiteral("')"));
}

double seconds(const QElapsedTimer& t)
{
    return t.nsecsElapsed() / 1e9;
}

// The statement as the engine receives it, run and read to the end.
double engineAlone(Database& db, const QString& statement, int* rows)
{
    QElapsedTimer t;
    t.start();
    for (const QString& sql : Dialect::translate(statement, db.engine())) {
        QSqlQuery q(db.handle());
        q.setForwardOnly(true);
        if (!q.exec(sql))
            throw DbError(q.lastError().text());
        const int columns = q.record().count();
        *rows = 0;
        while (q.next()) {
            for (int c = 0; c < columns; ++c)
                q.value(c);
            ++*rows;
        }
    }
    return seconds(t);
}

int measure(const QString& engineName, const QString& connection, int rows, QTextStream& out)
{
    Database db;
    db.open(connection);
    QElapsedTimer t;
    t.start();
    buildCalls(db, rows);
    out << engineName << ": " << rows << " calls built in " << seconds(t) << " s" << Qt::endl;

    bench::SilentOperator op;
    Session s(db, op);
    QueryTool tool(s, QStringLiteral("bench"));
    if (tool.loadSetup() != QueryStart::Ready)
        return 1;
    const struct
    {
        const char* name;
        QList<int> fields;
    } queries[] = {{"company x prefix: SUM, COUNT", {0, 1, 3, 4}}, {"company x duration: COUNT", {0, 2, 4}}};
    int failures = 0;
    for (const auto& query : queries) {
        QList<FieldChoice> choices(tool.setup().fields.size());
        for (int f : query.fields)
            choices[f].checked = true;
        const QString statement = tool.builder().statement(choices);
        int engineRows = 0;
        engineAlone(db, statement, &engineRows); // the table into the cache, for every measurement alike
        const double alone = engineAlone(db, statement, &engineRows);

        NullRunLog log;
        t.start();
        const QueryResult r = tool.run(choices, log);
        const double run = seconds(t);

        Form1 window(tool);
        for (int f : query.fields)
            window.findChild<QCheckBox*>(QStringLiteral("CkField") + QString::number(f))->setChecked(true);
        t.start();
        window.findChild<QPushButton*>(QStringLiteral("CExec"))->click();
        const double shown = seconds(t);
        const int listed = window.result().rowCount();

        out << "  " << QLatin1String(query.name) << ": " << listed << " rows listed; engine alone " << alone
            << " s, query tool " << run << " s, window " << shown << " s" << Qt::endl;
        if (engineRows != r.rowCount() || listed != r.rowCount())
            ++failures;
    }
    return failures;
}

} // namespace

int main(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    int rows = 1000000;
    if (const qsizetype i = args.indexOf(QStringLiteral("--rows")); i > 0 && i + 1 < args.size())
        rows = args[i + 1].toInt();
    QTextStream out(stdout);
    int failures = 0;
    try {
        QTemporaryDir dir;
        failures += measure(QStringLiteral("SQLite"),
                            QStringLiteral("Provider=SQLite;Data Source=") + dir.filePath(QStringLiteral("calls.db")),
                            rows, out);
        if (const qsizetype i = args.indexOf(QStringLiteral("--server")); i > 0 && i + 1 < args.size()) {
            const QString server = args[i + 1];
            Database admin;
            admin.open(server);
            admin.execute(QStringLiteral("DROP DATABASE IF EXISTS vocaset_bench_query"));
            admin.execute(QStringLiteral("CREATE DATABASE vocaset_bench_query"));
            QStringList parts;
            for (const QString& part : server.split(u';', Qt::SkipEmptyParts)) {
                if (!part.trimmed().startsWith(QLatin1String("Database="), Qt::CaseInsensitive))
                    parts.append(part);
            }
            parts.append(QStringLiteral("Database=vocaset_bench_query"));
            failures += measure(QStringLiteral("PostgreSQL"), parts.join(u';'), rows, out);
            admin.execute(QStringLiteral("DROP DATABASE IF EXISTS vocaset_bench_query WITH (FORCE)"));
        }
    } catch (const DbError& e) {
        out << e.text() << Qt::endl;
        return 1;
    }
    if (failures)
        out << failures << " measurement(s) listed another number of rows than the engine gave" << Qt::endl;
    return failures ? 1 : 0;
}
