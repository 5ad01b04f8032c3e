// Times range generation of the codes 1 to 99 999 (adding, adding again, deleting) against a floor of
// bare prepared inserts in one transaction, the same in a company with 10 000 telephones (20 values
// each), deleting 500 codes there, the import of a 100 000-user list (new, then again), and the
// import of 10 000 telephones with 5 values each (new, every value changed, unchanged). Beside each
// time, the requests sent to the engine per unit (code, user, telephone): on a server each is one
// round trip. On a server of this machine, the processor time its session used is shown beside ours:
// on a busy machine it compares runs better than the wall time. The log lines go to a text stream on
// /dev/null, as the command line prints them.
// Every run writes its changes to the change history too. The history's cost comes first: adding the
// codes 1 to 99 999 and importing the 100 000 users (new, then again), each timed with and without the
// history on the same data, the two alternating over five rounds each; the ratio is of the medians. On
// SQLite these times include the copy of the run's pages from the write-ahead log into the file.
//
//     bench_phonebook [CONNECTION [DELAY_MS]]
// CONNECTION names another database in place of a temporary SQLite file; with DELAY_MS the runs go
// through a relay on 127.0.0.1 that holds each request that long, as a network would (the data are
// set up on the direct connection).
// Last, each of the four bulk jobs (ranges added, ranges deleted, the 100 000 users imported, the 10 000
// telephones imported) against its floor: the same rows and one history row per change written by plain
// statements in one transaction, sent straight to the driver, each making its rows from a series of
// numbers: one INSERT ... SELECT (or DELETE) per table, the same foreign keys checked, and one
// INSERT ... SELECT per table for the history. Job and floor alternate over three rounds on the
// same data; the ratio is of the medians. With VOCASET_BENCH_FLOORS_ONLY set, only this part runs.
#include <algorithm>
#include <chrono>
#include <ctime>
#include <optional>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTextStream>

#include "BenchData.h"
#include "ChangeHistory.h"
#include "Database.h"
#include "DelayRelay.h"
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

const QString kEmpty = QStringLiteral("EMPTY"); // one telephone, code 1, so every range refuses that code

void setUp(Database& db)
{
    for (const char* table : {"PHONE_BOOK", "PHONES_PARAMETERS", "PHONES", "RANGES"})
        db.execute(QStringLiteral("DELETE FROM ") + QLatin1String(table) + QStringLiteral(" WHERE CO_CODE = 'EMPTY'"));
    db.execute(QStringLiteral("INSERT INTO RANGES VALUES('EMPTY', '1')"));
    db.execute(QStringLiteral("INSERT INTO PHONES VALUES('EMPTY', '1', 'GXP2000', 'Desk', '000B82000001')"));
}

// The company BENCH with 10 000 telephones, each with 20 values, and EMPTY; the model GXP2000 with five
// telephone-level parameters for the telephones imported.
void createData(Database& db)
{
    bench::buildDataSet(db, 10000);
    for (const QString& statement : Schema::indexStatements())
        db.execute(statement);
    for (const char* flag : {"V", "H", "W"})
        db.execute(QStringLiteral("INSERT INTO CREATION_FLAGS VALUES('%1', 'flag', 'N')").arg(QLatin1String(flag)));
    const char* texts[][2] = {{"M25", "Delete?"},  {"M26", "$$ codes?"},    {"M27", "Code "},
                              {"M29", "Deleted."}, {"M30", "Not created."}, {"M31", "Created."}};
    for (const auto& t : texts)
        db.execute(QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_EN', '%1', '%2')")
                       .arg(QLatin1String(t[0]), QLatin1String(t[1])));
    db.execute(QStringLiteral("INSERT INTO COMPANY VALUES('EMPTY', 'Empty')"));
    db.execute(QStringLiteral("INSERT INTO EQUIPMENT VALUES('GXP2000', 'Desk', 'GRANDSTREAM')"));
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
// counts the other processes' turns. On a server of this machine, its session's processor time too.
struct Clock
{
    qint64 serverPid = 0;
    QElapsedTimer wall;
    std::clock_t cpu = 0;
    double server = -1;
    void start()
    {
        wall.start();
        cpu = std::clock();
        server = QFile::exists(QStringLiteral("/proc/%1/stat").arg(serverPid)) ? bench::cpuSecondsOf(serverPid) : -1;
    }
    QString figures() const
    {
        QString out = QStringLiteral("%1 s (processor %2 s").arg(seconds(), 0, 'f', 3).arg(processor(), 0, 'f', 3);
        if (server >= 0)
            out += QStringLiteral(", server %1 s").arg(serverSeconds(), 0, 'f', 3);
        return out + u')';
    }
    double seconds() const { return double(wall.nsecsElapsed()) / 1e9; }
    double processor() const { return double(std::clock() - cpu) / CLOCKS_PER_SEC; }
    double serverSeconds() const { return server >= 0 ? bench::cpuSecondsOf(serverPid) - server : 0; }
};

double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? 0 : values[values.size() / 2];
}

// One job's wall times with and without the history, and the ratio of their medians; the same for the
// processor time of this process and of a server's session on this machine, which leaves out the other
// processes' turns on a busy machine.
struct Comparison
{
    const char* what;
    QList<double> with, without, withCpu, withoutCpu;
    QString line() const
    {
        const auto list = [](const QList<double>& times) {
            QStringList out;
            for (double t : times)
                out.append(QString::number(t, 'f', 3));
            return out.join(u' ');
        };
        const auto ratio = [](const QList<double>& a, const QList<double>& b) {
            return median(b) > 0 ? median(a) / median(b) : 0;
        };
        return QLatin1String(what) + QStringLiteral("with %1 s, without %2 s: %3x (processor %4x)")
                                         .arg(list(with), list(without))
                                         .arg(ratio(with, without), 0, 'f', 2)
                                         .arg(ratio(withCpu, withoutCpu), 0, 'f', 2);
    }
};

// One job's wall times and its floor's, and the ratio of their medians (of processor times too).
struct AgainstFloor
{
    const char* what;
    QList<double> job, floor, jobCpu, floorCpu;
    QString line() const
    {
        const auto list = [](const QList<double>& times) {
            QStringList out;
            for (double t : times)
                out.append(QString::number(t, 'f', 3));
            return out.join(u' ');
        };
        const auto ratio = [](const QList<double>& a, const QList<double>& b) {
            return median(b) > 0 ? median(a) / median(b) : 0;
        };
        return QLatin1String(what) + QStringLiteral("job %1 s, floor %2 s: %3x (processor %4x)")
                                         .arg(list(job), list(floor))
                                         .arg(ratio(job, floor), 0, 'f', 2)
                                         .arg(ratio(jobCpu, floorCpu), 0, 'f', 2);
    }
};

// The history row a floor writes for each record: its columns up to the key, from a SELECT's expressions.
QString historyRows(const char* source, const char* operation, const char* table, const QString& rest)
{
    return QStringLiteral("INSERT INTO CHANGE_HISTORY (") + ChangeRecorder::columns().join(QStringLiteral(", ")) +
           QStringLiteral(") SELECT '2026-01-01 00:00:00.000000', 0, 'BENCH', 'bench', '") + QLatin1String(source) +
           QStringLiteral("', '") + QLatin1String(operation) + QStringLiteral("', '") + QLatin1String(table) +
           QStringLiteral("', ") + rest;
}

// The codes 1 to 99 999 as texts, c, that the company EMPTY has no range of.
const QString kFreeCodes =
    QStringLiteral("WITH RECURSIVE s(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM s WHERE n < 99999), "
                   "f(c) AS (SELECT CAST(n AS varchar(5)) FROM s WHERE NOT EXISTS (SELECT 1 FROM RANGES r WHERE "
                   "r.CO_CODE = 'EMPTY' AND r.PH_CODE = CAST(n AS varchar(5)))) ");

// The ranges of EMPTY among 1 to 99 999 that no telephone uses.
const QString kUnusedRanges = QStringLiteral(
    "CO_CODE = 'EMPTY' AND CAST(PH_CODE AS integer) BETWEEN 1 AND 99999 AND NOT EXISTS (SELECT 1 FROM PHONES p "
    "WHERE p.CO_CODE = RANGES.CO_CODE AND p.PH_CODE = RANGES.PH_CODE)");

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const bool server = argc > 1;
    const QString connection =
        server ? QString::fromLocal8Bit(argv[1])
               : QStringLiteral("Provider=SQLite;Data Source=") + dir.filePath(QStringLiteral("bench.db"));
    {
        Database setup;
        setup.open(connection);
        if (server) {
            QStringList tables = Schema::copyOrder();
            tables.append(QStringLiteral("EQ_TEMP"));
            tables.append(QStringLiteral("CHANGE_HISTORY"));
            for (const QString& table : tables)
                setup.execute(QStringLiteral("DROP TABLE IF EXISTS ") + table + QStringLiteral(" CASCADE"));
        }
        createData(setup);
    }
    QTextStream report(stdout);
    std::optional<DelayRelay> relay;
    QString measured = connection;
    if (server && argc > 2) {
        const double ms = QString::fromLocal8Bit(argv[2]).toDouble();
        relay.emplace(quint16(ConnectionString(connection).value(QStringLiteral("Port")).toUInt()),
                      std::chrono::microseconds(qint64(ms * 1000)));
        if (relay->port() == 0) {
            report << "relay: " << relay->error() << Qt::endl;
            return 1;
        }
        measured = relay->connectionThrough(connection);
        report << "Server database through a relay adding " << ms << " ms per round trip" << Qt::endl;
    } else {
        report << (server ? "Server database" : "SQLite file in a temporary folder") << Qt::endl;
    }
    Database db;
    db.open(measured);
    Clock t;
    // The server's own count, to set beside ours: its statement log lines of this session.
    if (server) {
        t.serverPid = db.execute(QStringLiteral("SELECT pg_backend_pid()")).text(0).toLongLong();
        report << "session " << t.serverPid << Qt::endl;
    }
    bench::SilentOperator op;
    Session s(db, op);
    QFile devNull(QStringLiteral("/dev/null"));
    devNull.open(QIODevice::WriteOnly);
    QTextStream out(&devNull);
    const auto perUnit = [&db](quint64 since, int units) {
        return QStringLiteral("%1 requests per unit")
            .arg(double(db.exchanges() - since) / std::max(1, units), 0, 'f', 4);
    };

    // 100 000 users of the usual layout.
    constexpr int kUsers = 100000;
    QByteArray list = "[Users]\r\n";
    for (int n = 1; n <= kUsers; ++n)
        list += "[User" + QByteArray::number(n) + "]\r\nName=First" + QByteArray::number(n) + "\r\nSurname=Last" +
                QByteArray::number(n) + "\r\nExtension=" + QByteArray::number(100000 + n) + "\r\nPassword=x\r\n";
    QFile file(dir.filePath(PhoneBookImport::fileName()));
    file.open(QIODevice::WriteOnly);
    file.write(list);
    file.close();

    // On SQLite each compared run ends with a checkpoint, the copy of the pages it wrote to the write-ahead
    // log into the file, which a command-line run pays when it closes the database. Left to the automatic
    // checkpoint, that copy falls in the run or in the next one's set-up depending on how many pages the run
    // wrote, and would favour whichever side stays under the threshold. Both sides pay it here, for their
    // own pages only: what the set-up wrote is copied before the clock starts.
    const auto checkpoint = [&db] {
        if (db.engine() == Engine::SQLite)
            db.execute(QStringLiteral("PRAGMA wal_checkpoint(PASSIVE)"));
    };
    const QString phones = dir.filePath(QStringLiteral("phones.csv"));
    const auto writePhones = [&](const QByteArray& tag) {
        file.setFileName(phones);
        file.open(QIODevice::WriteOnly);
        file.write(phoneFile(tag));
        file.close();
    };
    if (!qEnvironmentVariableIsSet("VOCASET_BENCH_FLOORS_ONLY")) {
        Comparison ranges{"history's cost, ranges 1..99 999 added       ", {}, {}, {}, {}};
        Comparison usersNew{"history's cost, import of 100 000 users, new ", {}, {}, {}, {}};
        Comparison usersAgain{"history's cost, the same users again         ", {}, {}, {}, {}};
        const auto timed = [&](auto&& job, Comparison& c, bool recording, int expected) {
            checkpoint();
            t.start();
            const PhoneBookSummary summary = job();
            checkpoint();
            (recording ? c.with : c.without).append(t.seconds());
            (recording ? c.withCpu : c.withoutCpu).append(t.processor() + t.serverSeconds());
            if (summary.succeeded != expected)
                report << "a compared run did only " << summary.succeeded << " of " << expected << Qt::endl;
        };
        for (int round = 0; round < 10; ++round) {
            // with, without; without, with; ...: a drift of the machine's load weighs on both sides.
            const bool recording = (round % 4 == 0 || round % 4 == 3);
            ChangeRecorder::setRecordingForBenchmark(recording);
            setUp(db);
            if (!db.columns(QLatin1String(kHistoryTable)).isEmpty())
                db.execute(QStringLiteral("DELETE FROM CHANGE_HISTORY"));
            StreamLog log(out);
            RangeGeneration addRanges(s, log);
            timed(
                [&] {
                    return addRanges.run({kEmpty, QStringLiteral("1"), QStringLiteral("99999"), false});
                },
                ranges, recording, 99998);
            for (Comparison* c : {&usersNew, &usersAgain}) {
                PhoneBookImport import(s, log);
                timed(
                    [&] {
                        return import.run({kEmpty, QStringLiteral("GXP2000"), dir.path()});
                    },
                    *c, recording, kUsers);
            }
            out.flush();
        }
        ChangeRecorder::setRecordingForBenchmark(true);
        for (const Comparison* c : {&ranges, &usersNew, &usersAgain})
            report << c->line() << Qt::endl;

        setUp(db);
        quint64 since = 0;
        // The floor pays a round trip per row, minutes through the relay: it is timed on one machine only.
        if (!relay) {
            t.start();
            since = db.exchanges();
            Transaction tx(db);
            for (int n = 2; n <= 99999; ++n)
                db.executeBound(QStringLiteral("INSERT INTO RANGES VALUES(?, ?)"), {kEmpty, QString::number(n)});
            tx.commit();
            report << QStringLiteral("floor: 99 998 prepared inserts in one transaction   %1  %2")
                          .arg(t.figures(), perUnit(since, 99998))
                   << Qt::endl;
        }

        const struct
        {
            const char* what;
            QString company;
            const char *from, *to;
            bool remove;
            bool fresh;
        } rangeRuns[] = {
            {"ranges 1..99 999 added to an empty table        ", kEmpty, "1", "99999", false, true},
            {"ranges 1..99 999 added again (all present)      ", kEmpty, "1", "99999", false, false},
            {"ranges 1..99 999 deleted (one code in use)      ", kEmpty, "1", "99999", true, false},
            {"10 000 telephones: ranges 1..99 999 added       ", bench::kCompany, "1", "99999", false, false},
            {"10 000 telephones: 500 codes deleted            ", bench::kCompany, "1", "500", true, false},
            {"10 000 telephones: ranges 1..99 999 deleted     ", bench::kCompany, "1", "99999", true, false}};
        for (const auto& r : rangeRuns) {
            if (r.fresh)
                setUp(db);
            StreamLog log(out);
            RangeGeneration run(s, log);
            t.start();
            since = db.exchanges();
            const PhoneBookSummary summary = run.run({r.company, QLatin1String(r.from), QLatin1String(r.to), r.remove});
            out.flush();
            report << QLatin1String(r.what)
                   << QStringLiteral("%1  (%2 done, %3 lines)  %4")
                          .arg(t.figures())
                          .arg(summary.succeeded)
                          .arg(log.lines)
                          .arg(perUnit(since, summary.selected))
                   << Qt::endl;
        }

        for (const char* what :
             {"import of 100 000 users, all new               ", "import of the same 100 000 users again         "}) {
            StreamLog log(out);
            PhoneBookImport run(s, log);
            t.start();
            since = db.exchanges();
            const PhoneBookSummary summary = run.run({kEmpty, QStringLiteral("GXP2000"), dir.path()});
            out.flush();
            report << QLatin1String(what)
                   << QStringLiteral("%1  (%2 added or updated)  %3")
                          .arg(t.figures())
                          .arg(summary.succeeded)
                          .arg(perUnit(since, kUsers))
                   << Qt::endl;
        }

        setUp(db);
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
            since = db.exchanges();
            const PhoneImportOutcome outcome = run.run({kEmpty, QStringLiteral("GXP2000"), phones}, nullptr, &done);
            report << QLatin1String(r.what)
                   << QStringLiteral("%1  (%2 added, %3 updated, %4 unchanged%5)  %6")
                          .arg(t.figures())
                          .arg(done.added)
                          .arg(done.updated)
                          .arg(done.unchanged)
                          .arg(outcome == PhoneImportOutcome::Written ? QString() : QStringLiteral(", NOT WRITTEN"))
                          .arg(perUnit(since, 10000))
                   << Qt::endl;
        }
    }

    // Each job against its floor. Before each run (off the clock) the company EMPTY holds only its code 1
    // and the telephone on it, plus the codes 2 to 99 999 for a deletion, and the history is empty.
    const auto clearHistory = [&db] {
        if (!db.columns(QLatin1String(kHistoryTable)).isEmpty())
            db.execute(QStringLiteral("DELETE FROM CHANGE_HISTORY"));
    };
    const auto plain = [&db, &report](const QStringList& statements) {
        QSqlQuery q(db.handle());
        for (const QString& sql :
             QStringList{QStringLiteral("BEGIN")} + statements + QStringList{QStringLiteral("COMMIT")})
            if (!q.exec(sql))
                report << "a floor's statement was refused: " << q.lastError().text() << Qt::endl;
    };
    const QStringList addFloor = {
        kFreeCodes +
            historyRows("ranges", "new", "RANGES", QStringLiteral("'EMPTY/' || c, '', '', '', 'EMPTY', c FROM f")),
        kFreeCodes + QStringLiteral("INSERT INTO RANGES (CO_CODE, PH_CODE) SELECT 'EMPTY', c FROM f")};
    const QStringList deleteFloor = {
        historyRows("ranges", "delete", "RANGES",
                    QStringLiteral("CO_CODE || '/' || PH_CODE, '', '', '', CO_CODE, PH_CODE FROM RANGES WHERE ") +
                        kUnusedRanges),
        QStringLiteral("DELETE FROM RANGES WHERE ") + kUnusedRanges};
    // The users' extensions 100001 to 200000, the telephones' codes 10001 to 20000, as the files give them.
    const QString users =
        QStringLiteral("WITH RECURSIVE s(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM s WHERE n < 100000) ");
    const QString telephones =
        QStringLiteral("WITH RECURSIVE s(n) AS (SELECT 10001 UNION ALL SELECT n + 1 FROM s WHERE n < 20000) ");
    const QStringList bookFloor = {
        users + QStringLiteral("INSERT INTO PHONE_BOOK SELECT 'EMPTY', CAST(100000 + n AS varchar(50)), 'First' || "
                               "CAST(n AS varchar(10)) || ' Last' || CAST(n AS varchar(10)) || ' ', 'V', '', '', '', "
                               "'' FROM s"),
        historyRows("phone-book import", "new", "PHONE_BOOK",
                    QStringLiteral("CO_CODE || '/' || BK_NUM, '', '', 'BK_NAME=' || BK_NAME || '; BK_FLAG=' || "
                                   "BK_FLAG, CO_CODE, '' FROM PHONE_BOOK WHERE CO_CODE = 'EMPTY'"))};
    const QStringList phonesFloor = {
        telephones + QStringLiteral("INSERT INTO RANGES SELECT 'EMPTY', CAST(n AS varchar(5)) FROM s"),
        telephones + QStringLiteral("INSERT INTO PHONES SELECT 'EMPTY', CAST(n AS varchar(5)), 'GXP2000', 'Desk ' || "
                                    "CAST(n AS varchar(5)), '000B82' || CAST(100000 + n AS varchar(6)) FROM s"),
        telephones + QStringLiteral("INSERT INTO PHONES_PARAMETERS SELECT 'EMPTY', 'GXP2000', CAST(n AS varchar(5)), "
                                    "'P' || CAST(v.k AS varchar(1)), 'a' || CAST(v.k AS varchar(1)) || '-' || CAST(n "
                                    "AS varchar(5)) FROM s CROSS JOIN (SELECT 1 AS k UNION ALL SELECT 2 UNION ALL "
                                    "SELECT 3 UNION ALL SELECT 4 UNION ALL SELECT 5) v"),
        historyRows("phones import", "new", "RANGES",
                    QStringLiteral("CO_CODE || '/' || PH_CODE, '', '', '', CO_CODE, PH_CODE FROM RANGES WHERE CO_CODE "
                                   "= 'EMPTY' AND PH_CODE <> '1'")),
        historyRows("phones import", "new", "PHONES",
                    QStringLiteral("CO_CODE || '/' || PH_CODE, '', '', 'EQ_CODE=' || EQ_CODE || '; PH_DESC=' || "
                                   "PH_DESC || '; PH_MAC=' || PH_MAC, CO_CODE, PH_CODE FROM PHONES WHERE CO_CODE = "
                                   "'EMPTY' AND PH_CODE <> '1'")),
        historyRows("phones import", "new", "PHONES_PARAMETERS",
                    QStringLiteral("CO_CODE || '/' || EQ_CODE || '/' || PH_CODE || '/' || PA_CODE, '', '', "
                                   "'PA_VALUE=' || PA_VALUE, CO_CODE, PH_CODE FROM PHONES_PARAMETERS WHERE CO_CODE = "
                                   "'EMPTY'"))};
    writePhones("a");
    const auto reset = [&](bool codes) {
        setUp(db);
        clearHistory();
        if (codes)
            plain({kFreeCodes + QStringLiteral("INSERT INTO RANGES (CO_CODE, PH_CODE) SELECT 'EMPTY', c FROM f")});
        if (server)
            for (const char* table : {"RANGES", "PHONES", "PHONES_PARAMETERS", "PHONE_BOOK", "CHANGE_HISTORY"})
                db.execute(QStringLiteral("VACUUM ") + QLatin1String(table));
        checkpoint();
    };
    StreamLog floorLog(out);
    struct
    {
        AgainstFloor figures;
        bool codes; // the job starts from the codes 1 to 99 999
        std::function<void()> job;
        QStringList floor;
    } floorRuns[] = {
        {{"ranges 1..99 999 added       ", {}, {}, {}, {}},
         false,
         [&] {
             RangeGeneration(s, floorLog).run({kEmpty, QStringLiteral("1"), QStringLiteral("99999"), false});
         },
         addFloor},
        {{"ranges 1..99 999 deleted     ", {}, {}, {}, {}},
         true,
         [&] {
             RangeGeneration(s, floorLog).run({kEmpty, QStringLiteral("1"), QStringLiteral("99999"), true});
         },
         deleteFloor},
        {{"import of 100 000 users, new ", {}, {}, {}, {}},
         false,
         [&] {
             PhoneBookImport(s, floorLog).run({kEmpty, QStringLiteral("GXP2000"), dir.path()});
         },
         bookFloor},
        {{"import of 10 000 telephones  ", {}, {}, {}, {}},
         false,
         [&] {
             PhoneImport(s, floorLog).run({kEmpty, QStringLiteral("GXP2000"), phones});
         },
         phonesFloor},
    };
    // The first change recorded creates the history table, which the floors write into.
    setUp(db);
    RangeGeneration(s, floorLog).run({kEmpty, QStringLiteral("2"), QStringLiteral("3"), false});
    for (auto& r : floorRuns) {
        for (int round = 0; round < 6; ++round) {
            // job, floor; floor, job; job, floor
            const bool job = (round % 4 == 0 || round % 4 == 3);
            reset(r.codes);
            t.start();
            if (job)
                r.job();
            else
                plain(r.floor);
            checkpoint();
            if (qEnvironmentVariableIsSet("DEBUG_FIG"))
                report << (job ? "job " : "floor ") << t.figures() << Qt::endl;
            (job ? r.figures.job : r.figures.floor).append(t.seconds());
            (job ? r.figures.jobCpu : r.figures.floorCpu).append(t.processor() + t.serverSeconds());
        }
        out.flush();
        report << QStringLiteral("against plain SQL, ") << r.figures.line() << Qt::endl;
    }
    report << "requests sent on this session: " << db.exchanges() << Qt::endl;
    report << "change history rows written: "
           << db.execute(QStringLiteral("SELECT COUNT(*) FROM CHANGE_HISTORY")).text(0) << Qt::endl;
    return 0;
}
