// Several operators on one database at once. N operators, each a series of vocaset-cli processes,
// work for T seconds on a working database made from the demo: edits of two shared company values
// (config set), telephone imports with MACs that sometimes clash, phone-book imports, renames of a
// telephone, ranges added and deleted, generations; two servers (vocaset-cli serve) answer clients
// meanwhile. Then the invariants are checked and every violation counted, never stopped at: no MAC
// on two telephones, every history chain whole (each row's old value is the previous row's new one
// for its key and column), every file both servers give equal to a serial generation of the final
// state, every exit code honest (what the command said it did is what the database holds).
//
// bench_soak [--operators N] [--seconds T] [--server CONNECTION]
// With --server, the working database is that (empty) PostgreSQL database instead of a SQLite file.
#include <atomic>
#include <map>
#include <mutex>
#include <thread>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTextStream>

#include "BenchData.h"
#include "Database.h"

using namespace vocaset;

namespace {

QTextStream out(stdout);

const QString kPassword = QStringLiteral("vocaset-admin");                 // the demo's second password of the settings
const QStringList kEdited = {QStringLiteral("33"), QStringLiteral("237")}; // ALPIN GXP2000 text values

using bench::option;

quint16 freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

struct Ran
{
    int exit = -1;
    QString err;
};

Ran cli(const QString& settings, const QStringList& args)
{
    QProcess p;
    p.start(QStringLiteral(VOCASET_CLI), QStringList{QStringLiteral("--settings"), settings} + args);
    if (!p.waitForFinished(600000))
        p.kill();
    p.waitForFinished();
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, QString::fromUtf8(p.readAllStandardError())};
}

// One GET on a connection of its own: the status and the body, or 0.
std::pair<int, QByteArray> get(quint16 port, const QByteArray& target)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    if (!socket.waitForConnected(5000))
        return {0, {}};
    socket.write("GET /" + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nUser-Agent: soak\r\nConnection: close\r\n\r\n");
    QByteArray in;
    // Bounded as a whole: a server that never ends its answer costs 10 s, not the bench.
    const QDeadlineTimer deadline(10000);
    while (!deadline.hasExpired() && socket.waitForReadyRead(int(deadline.remainingTime())))
        in += socket.readAll();
    in += socket.readAll();
    const qsizetype end = in.indexOf("\r\n\r\n");
    if (end < 0 || !in.startsWith("HTTP/1.1 "))
        return {0, {}};
    return {in.mid(9, 3).toInt(), in.mid(end + 4)};
}

// What the run counts, shared by its threads.
struct Counts
{
    std::mutex mutex;
    std::map<QString, std::map<int, int>> exits; // command -> exit code -> runs
    std::map<QString, int> dishonest;            // command -> runs whose exit code says other than the database
    std::map<int, int> answers;                  // status -> requests
    void ran(const QString& what, int exit, bool honest)
    {
        const std::lock_guard lock(mutex);
        ++exits[what][exit];
        if (!honest)
            ++dishonest[what];
    }
};

class Soak
{
public:
    Soak(QString dir, QString connection) : m_dir(std::move(dir)), m_connection(std::move(connection)) {}

    bool setUp()
    {
        m_settings = m_dir + QStringLiteral("/ParamDB.txt");
        const QString source = m_dir + QStringLiteral("/source.db");
        if (!QFile::copy(QStringLiteral(VOCASET_DEMO_DB), source) ||
            !writeFile(m_settings,
                       (m_connection + QStringLiteral("\r\nProvider=SQLite;Data Source=") + source).toUtf8()))
            return false;
        const Ran created = cli(m_settings, {QStringLiteral("db"), QStringLiteral("create")});
        if (created.exit != 0) {
            out << QStringLiteral("db create: ") << created.err << Qt::endl;
            return false;
        }
        qputenv("VOCASET_PASSWORD", kPassword.toUtf8());
        Database db;
        db.open(m_connection);
        m_sharedMacsAtStart = sharedMacs(db);
        return true;
    }

    bool startServers()
    {
        for (int i = 0; i < 2; ++i) {
            m_ports[i] = freePort();
            auto& p = m_servers[i];
            p = std::make_unique<QProcess>();
            p->setReadChannel(QProcess::StandardError);
            // A line per request: into a file, as nobody reads the pipe while the operators work
            // (a full pipe would stop the server at its next line).
            p->setStandardOutputFile(m_dir + QStringLiteral("/serve%1.log").arg(i));
            p->start(QStringLiteral(VOCASET_CLI),
                     {QStringLiteral("--settings"), m_settings, QStringLiteral("serve"), QStringLiteral("--listen"),
                      QStringLiteral("127.0.0.1:") + QString::number(m_ports[i])});
            QString said;
            QDeadlineTimer deadline(30000);
            while (!said.contains(QStringLiteral("Serving on")) && !deadline.hasExpired() &&
                   p->state() != QProcess::NotRunning) {
                p->waitForReadyRead(100);
                said += QString::fromUtf8(p->readAllStandardError());
            }
            if (!said.contains(QStringLiteral("Serving on"))) {
                out << QStringLiteral("serve: ") << said << Qt::endl;
                return false;
            }
        }
        return true;
    }

    void run(int operators, int seconds)
    {
        m_deadline = QDeadlineTimer(std::chrono::seconds(seconds));
        std::atomic<bool> working{true};
        std::vector<std::thread> threads;
        for (int c = 0; c < 2; ++c)
            threads.emplace_back([this, c, &working] { client(c, working); });
        std::vector<std::thread> team;
        for (int i = 0; i < operators; ++i)
            team.emplace_back([this, i] { operate(i); });
        for (std::thread& t : team)
            t.join();
        working = false;
        for (std::thread& t : threads)
            t.join();
    }

    int report()
    {
        Database db;
        db.open(m_connection);
        int violations = 0;
        out << QStringLiteral("Commands (exit code: runs), and runs whose exit code the database belies:") << Qt::endl;
        for (const auto& [what, exits] : m_counts.exits) {
            QStringList parts;
            for (const auto& [exit, n] : exits)
                parts.append(QStringLiteral("%1: %2").arg(exit).arg(n));
            const int dishonest = m_counts.dishonest[what];
            violations += dishonest;
            out << QStringLiteral("  %1 %2; %3 dishonest")
                       .arg(what, -16)
                       .arg(parts.join(QStringLiteral(", ")))
                       .arg(dishonest)
                << Qt::endl;
        }
        QStringList answers;
        for (const auto& [status, n] : m_counts.answers)
            answers.append(QStringLiteral("%1: %2").arg(status).arg(n));
        out << QStringLiteral("Requests to the two servers meanwhile (status: answers): ")
            << answers.join(QStringLiteral(", ")) << Qt::endl;

        const int shared = sharedMacs(db) - m_sharedMacsAtStart;
        out << QStringLiteral("MACs on more than one telephone, beyond those of the demo: %1").arg(shared) << Qt::endl;
        violations += std::max(0, shared);

        const auto [chains, broken] = historyChains(db);
        out << QStringLiteral("History: %1 chains of key and column, %2 rows whose old value is not the one before")
                   .arg(chains)
                   .arg(broken)
            << Qt::endl;
        violations += broken;

        const auto [files, differing] = compareFiles(db);
        out << QStringLiteral("Files: %1 of a serial generation of the final state asked from both servers, %2 "
                              "answers differing")
                   .arg(files)
                   .arg(differing)
            << Qt::endl;
        violations += differing;
        for (auto& p : m_servers) {
            p->terminate();
            if (!p->waitForFinished(30000) || p->exitCode() != 0) {
                out << QStringLiteral("A server did not stop cleanly: ") << p->readAllStandardError() << Qt::endl;
                ++violations;
            }
        }
        out << QStringLiteral("Violations: %1").arg(violations) << Qt::endl;
        return violations;
    }

private:
    static int sharedMacs(Database& db)
    {
        return db
            .execute(QStringLiteral("SELECT UPPER(PH_MAC) FROM PHONES WHERE PH_MAC <> '' GROUP BY UPPER(PH_MAC) "
                                    "HAVING COUNT(*) > 1"))
            .count();
    }

    // Chains of (table, key, column) in the order the rows were written; a row breaks its chain when
    // its old value is not the new value of the row before. A rename's row is keyed by the code it
    // leaves, so a telephone renamed there and back has two rows from one old key: renames are left out.
    static std::pair<int, int> historyChains(Database& db)
    {
        const Recordset rs =
            db.execute(QStringLiteral("SELECT HI_TABLE, HI_KEY, HI_COLUMN, HI_OLD, HI_NEW FROM CHANGE_HISTORY "
                                      "WHERE HI_OPERATION <> 'rename' ORDER BY HI_TABLE, HI_KEY, HI_COLUMN, HI_TIME, "
                                      "HI_SEQ"));
        int chains = 0;
        int broken = 0;
        QString chain;
        QString last;
        for (const QVariantList& row : rs.rows()) {
            const QString at = row.at(0).toString() + u'\n' + row.at(1).toString() + u'\n' + row.at(2).toString();
            if (at != chain) {
                ++chains;
                chain = at;
            } else if (row.at(3).toString() != last) {
                if (++broken <= 5)
                    out << QStringLiteral("  broken: %1 | %2 | %3: old \"%4\" after \"%5\"")
                               .arg(row.at(0).toString(), row.at(1).toString(), row.at(2).toString(),
                                    row.at(3).toString(), last)
                        << Qt::endl;
            }
            last = row.at(4).toString();
        }
        return {chains, broken};
    }

    // Every file a serial generation of each company and model writes now, asked from both servers.
    std::pair<int, int> compareFiles(Database& db)
    {
        int files = 0;
        int differing = 0;
        const Recordset pairs = db.execute(
            QStringLiteral("SELECT DISTINCT P.CO_CODE, P.EQ_CODE FROM PHONES P INNER JOIN EQUIPMENT E ON "
                           "E.EQ_CODE = P.EQ_CODE WHERE E.EQ_MODULE <> 'NONE' ORDER BY P.CO_CODE, P.EQ_CODE"));
        for (const QVariantList& pair : pairs.rows()) {
            const QString into =
                m_dir + QStringLiteral("/final/") + pair.at(0).toString() + u'_' + pair.at(1).toString();
            QDir().mkpath(into);
            cli(m_settings, {QStringLiteral("generate"), QStringLiteral("--company"), pair.at(0).toString(),
                             QStringLiteral("--model"), pair.at(1).toString(), QStringLiteral("--out"), into});
            for (const QFileInfo& file : QDir(into).entryInfoList(QDir::Files)) {
                QFile f(file.filePath());
                f.open(QIODevice::ReadOnly);
                const QByteArray bytes = f.readAll();
                ++files;
                for (const quint16 port : m_ports) {
                    const auto [status, body] = get(port, file.fileName().toUtf8());
                    if (status != 200 || body != bytes)
                        ++differing;
                }
            }
        }
        return {files, differing};
    }

    void client(int c, const std::atomic<bool>& working)
    {
        Database db;
        db.open(m_connection);
        QRandomGenerator random(quint32(c + 1));
        while (working) {
            const Recordset phones =
                db.execute(QStringLiteral("SELECT PH_MAC FROM PHONES P INNER JOIN EQUIPMENT E ON "
                                          "E.EQ_CODE = P.EQ_CODE WHERE E.EQ_MODULE = 'GRANDSTREAM'"));
            for (int i = 0; i < 50 && working && !phones.isEmpty(); ++i) {
                const QString mac = phones.rows().at(random.bounded(int(phones.count()))).at(0).toString().toUpper();
                const int status = get(m_ports[random.bounded(2)], "cfg" + mac.toLatin1()).first;
                const std::lock_guard lock(m_counts.mutex);
                ++m_counts.answers[status];
            }
        }
    }

    // One operator's series of commands until the deadline, each checked against the database right
    // after it: the operator's own codes, telephones and values are touched by nobody else.
    void operate(int i)
    {
        Database db;
        db.open(m_connection);
        const QString own = m_dir + QStringLiteral("/op") + QString::number(i);
        QDir().mkpath(own + QStringLiteral("/files"));
        QRandomGenerator random(quint32(100 + i));
        const auto count = [&db](const QString& sql) { return db.execute(sql).text(0).toInt(); };
        const QString phone = QString::number(6000 + i); // the telephone this operator renames
        QString named = phone;
        const Ran made = cli(m_settings, {QStringLiteral("ranges"), QStringLiteral("add"), QStringLiteral("--company"),
                                          QStringLiteral("ALPIN"), QStringLiteral("--from"), phone,
                                          QStringLiteral("--to"), phone, QStringLiteral("--yes")});
        db.execute(QStringLiteral("INSERT INTO PHONES VALUES('ALPIN', '%1', 'GXP2000', 'Soak %2', '00A0C8%3')")
                       .arg(phone)
                       .arg(i)
                       .arg(0x500000 + i, 6, 16, QLatin1Char('0')));
        m_counts.ran(QStringLiteral("ranges add"), made.exit, made.exit == 0);
        for (int k = 0; !m_deadline.hasExpired(); ++k) {
            const int kind = random.bounded(10);
            if (kind < 3) {
                // A shared company value, each time a value nobody else writes.
                const QString value = QStringLiteral("op%1-%2").arg(i).arg(k);
                const Ran r = cli(m_settings, {QStringLiteral("config"), QStringLiteral("set"),
                                               QStringLiteral("COMPANY_PARAMETERS"), QStringLiteral("CO_CODE=ALPIN"),
                                               QStringLiteral("EQ_CODE=GXP2000"),
                                               QStringLiteral("PA_CODE=") + kEdited.at(k % kEdited.size()),
                                               QStringLiteral("PA_VALUE=") + value});
                const bool recorded =
                    count(QStringLiteral("SELECT COUNT(*) FROM CHANGE_HISTORY WHERE HI_NEW = '%1'").arg(value)) == 1;
                m_counts.ran(QStringLiteral("config set"), r.exit, (r.exit == 0) == recorded);
            } else if (kind < 5) {
                // Two telephones of the operator's own codes: one MAC of its own, one from a pool that
                // every operator draws from, so that some files clash with another's telephone.
                const QString mine = QStringLiteral("00B0C8%1").arg((i << 16) + k, 6, 16, QLatin1Char('0')).toUpper();
                const QString pooled = QStringLiteral("00C0C80000%1").arg(random.bounded(16), 2, 16, QLatin1Char('0'));
                const QString file = own + QStringLiteral("/phones.csv");
                writeFile(file, QStringLiteral("code;description;mac\r\n%1;Soak A;%2\r\n%3;Soak B;%4\r\n")
                                    .arg(8000 + i * 40 + k % 20)
                                    .arg(mine)
                                    .arg(8020 + i * 40 + k % 20)
                                    .arg(pooled)
                                    .toLatin1());
                const Ran r =
                    cli(m_settings, {QStringLiteral("phones"), QStringLiteral("import"), file,
                                     QStringLiteral("--company"), QStringLiteral("ALPIN"), QStringLiteral("--model"),
                                     QStringLiteral("GXP2000"), QStringLiteral("--yes")});
                const bool written =
                    count(QStringLiteral("SELECT COUNT(*) FROM PHONES WHERE UPPER(PH_MAC) = '%1'").arg(mine)) == 1;
                m_counts.ran(QStringLiteral("phones import"), r.exit, (r.exit == 0) == written);
            } else if (kind < 6) {
                QByteArray users = "[Users]\r\n";
                for (int u = 0; u < 3; ++u)
                    users += QStringLiteral("[User%1]\r\nName=Op%2\r\nSurname=Soak\r\nExtension=%3\r\n")
                                 .arg(u + 1)
                                 .arg(i)
                                 .arg(900 + random.bounded(10))
                                 .toLatin1();
                writeFile(own + QStringLiteral("/confUsers.ini"), users);
                const Ran r =
                    cli(m_settings, {QStringLiteral("phonebook"), QStringLiteral("import"), QStringLiteral("--company"),
                                     QStringLiteral("OHARA"), QStringLiteral("--model"), QStringLiteral("GXP2000"),
                                     QStringLiteral("--dir"), own, QStringLiteral("--yes")});
                m_counts.ran(QStringLiteral("phonebook import"), r.exit, true);
            } else if (kind < 7) {
                const QString to = named == phone ? QString::number(6500 + i) : phone;
                const Ran r =
                    cli(m_settings, {QStringLiteral("rename"), QStringLiteral("telephone"), named, to,
                                     QStringLiteral("--company"), QStringLiteral("ALPIN"), QStringLiteral("--yes")});
                const bool moved =
                    count(QStringLiteral("SELECT COUNT(*) FROM PHONES WHERE CO_CODE = 'ALPIN' AND PH_CODE = '%1'")
                              .arg(to)) == 1;
                if (moved)
                    named = to;
                m_counts.ran(QStringLiteral("rename"), r.exit, (r.exit == 0) == moved);
            } else if (kind < 9) {
                // Fifty codes of the operator's own, added when missing, else deleted: all or none.
                const int from = 20000 + i * 100;
                const QString range = QStringLiteral("SELECT COUNT(*) FROM RANGES WHERE CO_CODE = 'ALPIN' AND "
                                                     "LENGTH(PH_CODE) = 5 AND PH_CODE BETWEEN '%1' AND '%2'")
                                          .arg(from)
                                          .arg(from + 49);
                const bool remove = count(range) == 50;
                const Ran r = cli(m_settings,
                                  {QStringLiteral("ranges"), remove ? QStringLiteral("delete") : QStringLiteral("add"),
                                   QStringLiteral("--company"), QStringLiteral("ALPIN"), QStringLiteral("--from"),
                                   QString::number(from), QStringLiteral("--to"), QString::number(from + 49),
                                   QStringLiteral("--yes")});
                const int now = count(range);
                const bool done = remove ? now == 0 : now == 50;
                const bool kept = remove ? now == 50 : now == 0;
                m_counts.ran(remove ? QStringLiteral("ranges delete") : QStringLiteral("ranges add"), r.exit,
                             r.exit == 0 ? done : kept);
            } else {
                const Ran r =
                    cli(m_settings, {QStringLiteral("generate"), QStringLiteral("--company"), QStringLiteral("ALPIN"),
                                     QStringLiteral("--model"), QStringLiteral("GXP2000"), QStringLiteral("--out"),
                                     own + QStringLiteral("/files")});
                m_counts.ran(QStringLiteral("generate"), r.exit, r.exit == 0);
            }
        }
    }

    QString m_dir;
    QString m_connection;
    QString m_settings;
    int m_sharedMacsAtStart = 0;
    quint16 m_ports[2] = {0, 0};
    std::unique_ptr<QProcess> m_servers[2];
    QDeadlineTimer m_deadline;
    Counts m_counts;
};

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    const int operators = option(args, QStringLiteral("--operators"), 4);
    const int seconds = option(args, QStringLiteral("--seconds"), 30);
    const qsizetype serverAt = args.indexOf(QStringLiteral("--server"));
    QTemporaryDir dir;
    const QString connection =
        serverAt >= 0 ? args.value(serverAt + 1)
                      : QStringLiteral("Provider=SQLite;Data Source=") + dir.filePath(QStringLiteral("soak.db"));
    out << QStringLiteral("%1 operators for %2 s on %3, two servers")
               .arg(operators)
               .arg(seconds)
               .arg(serverAt >= 0 ? QStringLiteral("PostgreSQL") : QStringLiteral("SQLite"))
        << Qt::endl;
    Soak soak(dir.path(), connection);
    if (!soak.setUp() || !soak.startServers())
        return 2;
    soak.run(operators, seconds);
    return soak.report() == 0 ? 0 : 1;
}
