// Times range generation of the codes 1 to 99 999 (adding, adding again, deleting) against a floor of
// bare prepared inserts in one transaction, the import of a 10 000-user list (new, then again), and
// the import of 10 000 telephones with 5 values each (new, every value changed, unchanged).
// The log lines go to a text stream on /dev/null, as the command line prints them. An optional
// argument names another database (a connection string) in place of a temporary SQLite file.
#include <ctime>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>

#include "BenchData.h"
#include "Database.h"
#include "PhoneBookImport.h"
#include "PhoneImport.h"
#include "RangeGeneration.h"
#include "Schema.h"

using namespace vocaset;

namespace {

class StreamLog final : public RunLog
{
public:
    explicit StreamLog(QTextStream& out) : m_out(out) {}
    void append(const QString& line) override
    {
        m_out << line << '\n';
        ++lines;
    }
    int lines = 0;

private:
    QTextStream& m_out;
};

void setUp(Database& db)
{
    for (const QString& table : {QStringLiteral("PHONE_BOOK"), QStringLiteral("PHONES"), QStringLiteral("RANGES")})
        db.execute(QStringLiteral("DELETE FROM ") + table);
    db.execute(QStringLiteral("INSERT INTO RANGES VALUES('BENCH', '1')"));
    db.execute(QStringLiteral("INSERT INTO PHONES VALUES('BENCH', '1', 'GXP2000', 'Desk', '000B82000001')"));
}

void createSchema(Database& db)
{
    for (const QString& statement : Schema::createStatements())
        db.execute(statement);
    for (const char* flag : {"V", "H", "W"})
        db.execute(QStringLiteral("INSERT INTO CREATION_FLAGS VALUES('%1', 'flag', 'N')").arg(QLatin1String(flag)));
    const char* texts[][2] = {{"M25", "Delete?"},  {"M26", "$$ codes?"},    {"M27", "Code "},
                              {"M29", "Deleted."}, {"M30", "Not created."}, {"M31", "Created."}};
    for (const auto& t : texts)
        db.execute(QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_EN', '%1', '%2')")
                       .arg(QLatin1String(t[0]), QLatin1String(t[1])));
    db.execute(QStringLiteral("INSERT INTO COMPANY VALUES('BENCH', 'Bench')"));
    db.execute(QStringLiteral("INSERT INTO EQUIPMENT VALUES('GXP2000', 'Desk', 'GRANDSTREAM')"));
    db.execute(QStringLiteral("INSERT INTO LEVELS VALUES('P', 'Telephone')"));
    db.execute(QStringLiteral("INSERT INTO TYPES VALUES('S', 'Text')"));
    for (int n = 1; n <= 5; ++n)
        db.execute(
            QStringLiteral("INSERT INTO EQUIPMENT_PARAMETERS VALUES('GXP2000', 'P%1', 'Value %1', 'P', '', 'S', '')")
                .arg(n));
}

// 10 000 telephones of codes 10001 to 20000, each with its five values; tag sets the values apart
// between runs.
QByteArray phoneFile(const QByteArray& tag)
{
    QByteArray file = "code;description;mac;P1;P2;P3;P4;P5\r\n";
    for (int n = 10001; n <= 20000; ++n) {
        const QByteArray code = QByteArray::number(n);
        file += code + ";Desk " + code + ";000B82" + QByteArray::number(0x100000 + n, 16).toUpper();
        for (int v = 1; v <= 5; ++v)
            file += ';' + tag + QByteArray::number(v) + '-' + code;
        file += "\r\n";
    }
    return file;
}

// Wall time, and the process's own processor time beside it: on a shared machine the first also
// counts the other processes' turns.
struct Clock
{
    QElapsedTimer wall;
    std::clock_t cpu = 0;
    void start()
    {
        wall.start();
        cpu = std::clock();
    }
    QString figures() const
    {
        return QStringLiteral("%1 s (processor %2 s)")
            .arg(double(wall.nsecsElapsed()) / 1e9, 0, 'f', 3)
            .arg(double(std::clock() - cpu) / CLOCKS_PER_SEC, 0, 'f', 3);
    }
};

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    Database db;
    const bool server = argc > 1;
    db.open(server ? QString::fromLocal8Bit(argv[1])
                   : QStringLiteral("Provider=SQLite;Data Source=") + dir.filePath(QStringLiteral("bench.db")));
    if (server) {
        QStringList tables = Schema::copyOrder();
        tables.append(QStringLiteral("EQ_TEMP"));
        for (const QString& table : tables)
            db.execute(QStringLiteral("DROP TABLE IF EXISTS ") + table + QStringLiteral(" CASCADE"));
    }
    createSchema(db);
    bench::SilentOperator op;
    Session s(db, op);
    QFile devNull(QStringLiteral("/dev/null"));
    devNull.open(QIODevice::WriteOnly);
    QTextStream out(&devNull);
    QTextStream report(stdout);
    report << (server ? "Server database" : "SQLite file in a temporary folder") << Qt::endl;

    setUp(db);
    Clock t;
    t.start();
    {
        Transaction tx(db);
        for (int n = 2; n <= 99999; ++n)
            db.executeBound(QStringLiteral("INSERT INTO RANGES VALUES(?, ?)"),
                            {QStringLiteral("BENCH"), QString::number(n)});
        tx.commit();
    }
    report << QStringLiteral("floor: 99 998 prepared inserts in one transaction   %1").arg(t.figures()) << Qt::endl;

    const struct
    {
        const char* what;
        bool remove;
        bool fresh;
    } rangeRuns[] = {{"ranges 1..99 999 added to an empty table       ", false, true},
                     {"ranges 1..99 999 added again (all present)     ", false, false},
                     {"ranges 1..99 999 deleted (one code in use)     ", true, false}};
    for (const auto& r : rangeRuns) {
        if (r.fresh)
            setUp(db);
        StreamLog log(out);
        RangeGeneration run(s, log);
        t.start();
        const PhoneBookSummary summary =
            run.run({QStringLiteral("BENCH"), QStringLiteral("1"), QStringLiteral("99999"), r.remove});
        out.flush();
        report << QLatin1String(r.what)
               << QStringLiteral("%1  (%2 done, %3 lines)").arg(t.figures()).arg(summary.succeeded).arg(log.lines)
               << Qt::endl;
    }

    // 10 000 users of the usual layout.
    QByteArray list = "[Users]\r\n";
    for (int n = 1; n <= 10000; ++n)
        list += "[User" + QByteArray::number(n) + "]\r\nName=First" + QByteArray::number(n) + "\r\nSurname=Last" +
                QByteArray::number(n) + "\r\nExtension=" + QByteArray::number(10000 + n) + "\r\nPassword=x\r\n";
    QFile file(dir.filePath(PhoneBookImport::fileName()));
    file.open(QIODevice::WriteOnly);
    file.write(list);
    file.close();
    for (const char* what :
         {"import of 10 000 users, all new                ", "import of the same 10 000 users again         "}) {
        StreamLog log(out);
        PhoneBookImport run(s, log);
        t.start();
        const PhoneBookSummary summary = run.run({QStringLiteral("BENCH"), QStringLiteral("GXP2000"), dir.path()});
        out.flush();
        report << QLatin1String(what)
               << QStringLiteral("%1  (%2 added or updated)").arg(t.figures()).arg(summary.succeeded) << Qt::endl;
    }

    setUp(db);
    const QString phones = dir.filePath(QStringLiteral("phones.csv"));
    const struct
    {
        const char* what;
        QByteArray tag;
    } phoneRuns[] = {{"import of 10 000 telephones x 5 values, new    ", "a"},
                     {"the same telephones, every value changed       ", "b"},
                     {"the same file again (all unchanged)            ", "b"}};
    for (const auto& r : phoneRuns) {
        file.setFileName(phones);
        file.open(QIODevice::WriteOnly);
        file.write(phoneFile(r.tag));
        file.close();
        StreamLog log(out);
        PhoneImport run(s, log);
        PhoneImportPlan done;
        t.start();
        const PhoneImportOutcome outcome =
            run.run({QStringLiteral("BENCH"), QStringLiteral("GXP2000"), phones}, nullptr, &done);
        report << QLatin1String(r.what)
               << QStringLiteral("%1  (%2 added, %3 updated, %4 unchanged%5)")
                      .arg(t.figures())
                      .arg(done.added)
                      .arg(done.updated)
                      .arg(done.unchanged)
                      .arg(outcome == PhoneImportOutcome::Written ? QString() : QStringLiteral(", NOT WRITTEN"))
               << Qt::endl;
    }
    return 0;
}
