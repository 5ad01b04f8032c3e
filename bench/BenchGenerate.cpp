// Times the generation run for each writer against the engine's floor: the same data read directly
// through the SQLite C library, encoded by the same writer and written with the same kind of write.
// The anchor, "shared-batch", reads the rows every telephone shares once and then one SELECT per
// telephone, merges them in order and writes in batches as the run does; its files are checked to be
// the run's, byte for byte. The "floor-*" modes read three SELECTs per telephone and merge in a map.
// Each measurement runs in a child process of its own so that its peak memory is its own.
//
// Writes compared: "file" syncs and renames each file by itself, "batch" puts files in place in
// batches with one sync each (as the run does), "nosync" renames without any sync (the cost of the
// program alone).
//
// With --database CONN the run reads another database (a connection string to a PostgreSQL
// database, filled when it holds no telephones), and with --delay-us US through a relay that holds
// each round trip that long, as a network would; the floors read SQLite only. Beside each run, the
// requests it sent to the database per telephone.
//
// Last, the model takes its file from a template that lays it out as the F1000 writer does, and the
// run of that template is set against the F1000 writer's run of the same data.
//
// bench_generate [--phones N] [--dir FOLDER] [--modes run,floor-batch,...] [--database CONN] [--delay-us US]
#include <sqlite3.h>
#include <sys/resource.h>

#include <map>
#include <optional>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>

#include "BenchData.h"
#include "ConfigWriter.h"
#include "DelayRelay.h"
#include "FileBatch.h"
#include "GenerationRun.h"
#include "ModelTemplates.h"
#include "ParamResolution.h"
#include "TextFile.h"

using namespace vocaset;

namespace {

rusage usage()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u;
}

// Processor time of this process so far, user and system, in seconds.
double processorSeconds(const rusage& u)
{
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// One kind of write for the floor; the batch is committed before the clock stops.
class Writer
{
public:
    explicit Writer(const QString& mode) : m_mode(mode) {}
    bool write(const QString& path, const QByteArray& bytes)
    {
        if (m_mode == u"file")
            return writeFileAtomically(path, bytes);
        if (m_mode == u"nosync") {
            const auto pending = writeBeside(path, bytes, false);
            return pending && replaceTarget(*pending);
        }
        if (!m_batch.add({{path, bytes}}, nullptr))
            return false;
        return !m_batch.due() || m_batch.commit(nullptr) == 0;
    }
    bool finish() { return m_batch.commit(nullptr) == 0; }

private:
    QString m_mode;
    FileBatch m_batch;
};

QString columnText(sqlite3_stmt* st, int i)
{
    return QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, i)), sqlite3_column_bytes(st, i));
}

// Binds texts to a statement, runs it and hands each row to the callback.
template <typename F> void each(sqlite3_stmt* st, std::initializer_list<QByteArray> values, F row)
{
    sqlite3_reset(st);
    int i = 0;
    for (const QByteArray& v : values)
        sqlite3_bind_text(st, ++i, v.constData(), int(v.size()), SQLITE_TRANSIENT);
    while (sqlite3_step(st) == SQLITE_ROW)
        row(st);
}

// One telephone after the other, straight on the C library: three SELECTs, a merge in a map keyed
// by the code's bytes (the database's order), place-holders where there are any, the writer, the file.
int floorRun(const QString& dbFile, const ConfigWriter& writer, const QString& folder, const QString& writeMode)
{
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(QFile::encodeName(dbFile).constData(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK)
        return -1;
    const auto prepare = [db](const char* sql) {
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v3(db, sql, -1, SQLITE_PREPARE_PERSISTENT, &st, nullptr);
        return st;
    };
    sqlite3_stmt* phones = prepare("SELECT CO_CODE, PH_CODE, EQ_CODE, PH_DESC, PH_MAC FROM PHONES "
                                   "WHERE CO_CODE = ? AND EQ_CODE = ? ORDER BY PH_CODE");
    sqlite3_stmt* e = prepare("SELECT PA_CODE, PA_DESC, PA_DEFAULT FROM EQUIPMENT_PARAMETERS "
                              "WHERE EQ_CODE = ? AND LE_CODE = 'E' ORDER BY PA_CODE");
    sqlite3_stmt* c = prepare("SELECT PA_CODE, PA_VALUE FROM COMPANY_PARAMETERS WHERE CO_CODE = ? AND EQ_CODE = ?");
    sqlite3_stmt* p = prepare("SELECT PA_CODE, PA_VALUE FROM PHONES_PARAMETERS "
                              "WHERE CO_CODE = ? AND EQ_CODE = ? AND PH_CODE = ?");

    const LevelChoice levels;
    Writer out(writeMode);
    int written = 0;
    const QByteArray co = bench::kCompany.toUtf8();
    const QByteArray eq = bench::kModel.toUtf8();
    each(phones, {co, eq}, [&](sqlite3_stmt* ph) {
        const PhoneInfo phone{columnText(ph, 0), columnText(ph, 1), columnText(ph, 2), columnText(ph, 3),
                              columnText(ph, 4)};
        std::map<QByteArray, ParamRow> merged;
        const auto add = [&](sqlite3_stmt* st, int descColumn, int valueColumn) {
            const QByteArray code(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)),
                                  sqlite3_column_bytes(st, 0));
            QString value = columnText(st, valueColumn);
            if (value.contains(QLatin1String("$$")))
                value = expandPlaceHolders(value, phone.code, phone.description).text;
            merged[code] = {QString::fromUtf8(code), descColumn < 0 ? QString() : columnText(st, descColumn), value};
        };
        each(e, {eq}, [&](sqlite3_stmt* st) { add(st, 1, 2); });
        each(c, {co, eq}, [&](sqlite3_stmt* st) { add(st, -1, 1); });
        each(p, {co, eq, phone.code.toUtf8()}, [&](sqlite3_stmt* st) { add(st, -1, 1); });
        QList<ParamRow> rows;
        rows.reserve(qsizetype(merged.size()));
        for (auto& [code, row] : merged)
            rows.append(std::move(row));
        Cp1252Sink sink;
        const auto bytes = writer.config(phone, rows, sink, nullptr);
        if (bytes && out.write(folder + u'/' + writer.names(phone, levels).config, *bytes))
            ++written;
    });
    if (!out.finish())
        written = 0;
    for (sqlite3_stmt* st : {phones, e, c, p})
        sqlite3_finalize(st);
    sqlite3_close(db);
    return written;
}

// The shared rows read once: the equipment defaults and the company's values merged in the code's
// byte order (the database's), each marked when it holds a place-holder; then per telephone one
// SELECT of its own values, merged into a copy in one pass, only the marked rows expanded.
int sharedFloorRun(const QString& dbFile, const ConfigWriter& writer, const QString& folder, const QString& writeMode)
{
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(QFile::encodeName(dbFile).constData(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK)
        return -1;
    const auto prepare = [db](const char* sql) {
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v3(db, sql, -1, SQLITE_PREPARE_PERSISTENT, &st, nullptr);
        return st;
    };
    sqlite3_stmt* phones = prepare("SELECT CO_CODE, PH_CODE, EQ_CODE, PH_DESC, PH_MAC FROM PHONES "
                                   "WHERE CO_CODE = ? AND EQ_CODE = ? ORDER BY PH_CODE");
    sqlite3_stmt* e = prepare("SELECT PA_CODE, PA_DESC, PA_DEFAULT FROM EQUIPMENT_PARAMETERS "
                              "WHERE EQ_CODE = ? AND LE_CODE = 'E'");
    sqlite3_stmt* c = prepare("SELECT PA_CODE, PA_VALUE FROM COMPANY_PARAMETERS WHERE CO_CODE = ? AND EQ_CODE = ?");
    sqlite3_stmt* p = prepare("SELECT PA_CODE, PA_VALUE FROM PHONES_PARAMETERS "
                              "WHERE CO_CODE = ? AND EQ_CODE = ? AND PH_CODE = ? ORDER BY PA_CODE");
    const QByteArray co = bench::kCompany.toUtf8();
    const QByteArray eq = bench::kModel.toUtf8();
    const auto codeOf = [](sqlite3_stmt* st) {
        return QByteArray(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)), sqlite3_column_bytes(st, 0));
    };
    struct Shared
    {
        QByteArray key;
        ParamRow row;
        bool marked;
    };
    std::map<QByteArray, Shared> once;
    each(e, {eq}, [&](sqlite3_stmt* st) {
        const QString value = columnText(st, 2);
        once[codeOf(st)] = {
            codeOf(st), {columnText(st, 0), columnText(st, 1), value}, value.contains(QLatin1String("$$"))};
    });
    each(c, {co, eq}, [&](sqlite3_stmt* st) {
        const QString value = columnText(st, 1);
        once[codeOf(st)] = {codeOf(st), {columnText(st, 0), {}, value}, value.contains(QLatin1String("$$"))};
    });
    std::vector<Shared> shared;
    for (auto& [code, row] : once)
        shared.push_back(std::move(row));

    const LevelChoice levels;
    Writer out(writeMode);
    int written = 0;
    each(phones, {co, eq}, [&](sqlite3_stmt* ph) {
        const PhoneInfo phone{columnText(ph, 0), columnText(ph, 1), columnText(ph, 2), columnText(ph, 3),
                              columnText(ph, 4)};
        QList<ParamRow> rows;
        rows.reserve(qsizetype(shared.size()) + 32);
        size_t i = 0;
        const auto sharedUpTo = [&](const QByteArray* code) {
            for (; i < shared.size() && (!code || shared[i].key < *code); ++i) {
                rows.append(shared[i].row);
                if (shared[i].marked)
                    rows.last().value = expandPlaceHolders(rows.last().value, phone.code, phone.description).text;
            }
        };
        each(p, {co, eq, phone.code.toUtf8()}, [&](sqlite3_stmt* st) {
            const QByteArray code = codeOf(st);
            sharedUpTo(&code);
            QString value = columnText(st, 1);
            if (value.contains(QLatin1String("$$")))
                value = expandPlaceHolders(value, phone.code, phone.description).text;
            rows.append({columnText(st, 0), {}, value});
        });
        sharedUpTo(nullptr);
        Cp1252Sink sink;
        const auto bytes = writer.config(phone, rows, sink, nullptr);
        if (bytes && out.write(folder + u'/' + writer.names(phone, levels).config, *bytes))
            ++written;
    });
    if (!out.finish())
        written = 0;
    for (sqlite3_stmt* st : {phones, e, c, p})
        sqlite3_finalize(st);
    sqlite3_close(db);
    return written;
}

// The files of two folders, by name, the same bytes.
bool sameFiles(const QString& a, const QString& b)
{
    const QStringList names = QDir(a).entryList(QDir::Files, QDir::Name);
    if (names != QDir(b).entryList(QDir::Files, QDir::Name))
        return false;
    for (const QString& name : names) {
        QFile x(a + u'/' + name);
        QFile y(b + u'/' + name);
        if (!x.open(QIODevice::ReadOnly) || !y.open(QIODevice::ReadOnly) || x.readAll() != y.readAll())
            return false;
    }
    return true;
}

// Child: one measurement, printed as "phones seconds processor-seconds peak-kB requests".
int child(const QString& mode, const QString& module, const QString& connection, const QString& folder)
{
    int written = 0;
    quint64 requests = 0;
    QElapsedTimer timer;
    double cpuBefore = 0;
    if (mode == u"run") {
        Database db;
        db.open(connection);
        bench::SilentOperator op;
        Session s(db, op);
        NullRunLog log;
        GenerationRun run(s, log);
        GenerationRequest r;
        r.company = bench::kCompany;
        r.model = bench::kModel;
        r.firstPhone = QStringLiteral("00000");
        r.lastPhone = QStringLiteral("99999");
        r.folder = folder;
        cpuBefore = processorSeconds(usage());
        timer.start();
        const quint64 sent = db.exchanges();
        written = run.run(r).written;
        requests = db.exchanges() - sent;
    } else if (mode.startsWith(u"shared-")) {
        cpuBefore = processorSeconds(usage());
        timer.start();
        written = sharedFloorRun(ConnectionString(connection).value(QStringLiteral("Data Source")),
                                 *writerForModule(module), folder, mode.section(u'-', 1));
    } else {
        cpuBefore = processorSeconds(usage());
        timer.start();
        written = floorRun(ConnectionString(connection).value(QStringLiteral("Data Source")), *writerForModule(module),
                           folder, mode.section(u'-', 1));
    }
    const double seconds = timer.nsecsElapsed() / 1e9;
    const rusage after = usage();
    QTextStream(stdout) << written << u' ' << seconds << u' ' << processorSeconds(after) - cpuBefore << u' '
                        << after.ru_maxrss << u' ' << requests << Qt::endl;
    return 0;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QStringList args = QCoreApplication::arguments();
    if (args.size() == 6 && args[1] == u"--child")
        return child(args[2], args[3], args[4], args[5]);
    if (args.size() == 4 && args[1] == u"--build") {
        // Only the data set, into a new database file, for profiling one measurement by hand.
        Database db;
        db.open(QStringLiteral("Provider=SQLite;Data Source=") + args[2]);
        bench::buildDataSet(db, args[3].toInt());
        return 0;
    }

    int phones = 10000;
    if (const qsizetype i = args.indexOf(QStringLiteral("--phones")); i > 0 && i + 1 < args.size())
        phones = args[i + 1].toInt();
    // --dir puts the database and the files elsewhere, a memory file system for instance, to see the
    // run's own cost without the disk's.
    QString base = QDir::tempPath();
    if (const qsizetype i = args.indexOf(QStringLiteral("--dir")); i > 0 && i + 1 < args.size())
        base = args[i + 1];
    // --modes limits the measurements, e.g. "run,shared-batch"; per-file syncs take long on slow disks.
    const QString anchor = QStringLiteral("shared-batch");
    QStringList modes = {anchor, QStringLiteral("floor-nosync"), QStringLiteral("floor-file"),
                         QStringLiteral("floor-batch"), QStringLiteral("run")};
    if (const qsizetype i = args.indexOf(QStringLiteral("--modes")); i > 0 && i + 1 < args.size())
        modes = args[i + 1].split(u',');
    const qsizetype databaseAt = args.indexOf(QStringLiteral("--database"));
    const QString external = databaseAt > 0 ? args.value(databaseAt + 1) : QString();
    int delayUs = 0;
    if (const qsizetype i = args.indexOf(QStringLiteral("--delay-us")); i > 0 && i + 1 < args.size())
        delayUs = args[i + 1].toInt();
    if (!external.isEmpty())
        modes = {QStringLiteral("run")};
    QTextStream out(stdout);
    QTemporaryDir work(base + QStringLiteral("/bench_generate-XXXXXX"));
    const QString connection =
        external.isEmpty() ? QStringLiteral("Provider=SQLite;Data Source=") + work.filePath(QStringLiteral("bench.db"))
                           : external;
    {
        Database db;
        db.open(connection);
        QElapsedTimer t;
        t.start();
        int held = 0;
        try {
            held = db.execute(QStringLiteral("SELECT COUNT(*) FROM PHONES")).text(0).toInt();
        } catch (const DbError&) {
        }
        if (held == 0)
            bench::buildDataSet(db, phones);
        else
            phones = held;
        out << "Data set: " << phones << " telephones, 150 parameters (100 E, 30 C, 20 P), "
            << (held == 0 ? QStringLiteral("built in %1 s").arg(t.elapsed() / 1000.0) : QStringLiteral("found"))
            << " on " << (external.isEmpty() ? QStringLiteral("SQLite") : ConnectionString::masked(external))
            << Qt::endl;
    }
    // The run's way to the database: through the relay when there is a delay to add.
    std::optional<DelayRelay> relay;
    QString measured = connection;
    if (delayUs > 0 && !external.isEmpty()) {
        relay.emplace(quint16(ConnectionString(external).value(QStringLiteral("Port")).toUInt()),
                      std::chrono::microseconds(delayUs));
        if (relay->port() == 0) {
            out << "relay: " << relay->error() << Qt::endl;
            return 1;
        }
        measured = relay->connectionThrough(external);
        out << "Through a relay adding " << delayUs << " us per round trip" << Qt::endl;
    }

    // The machine may be busy with other work: the processor time per telephone says what the
    // program itself costs, the wall-clock rate what the operator waits.
    out << qSetFieldWidth(14) << Qt::left << "writer"
        << "mode"
        << "phones/s"
        << "seconds"
        << "CPU us/phone"
        << "peak MB"
        << "requests/phone" << qSetFieldWidth(0) << Qt::endl;
    int failures = 0;
    // The template of the F1000 layout runs last, against the F1000 writer's run just before it;
    // its floor is that run.
    QMap<QString, double> runRate;
    QMap<QString, double> runCpu;
    for (const char* module : {"GRANDSTREAM", "PAP2", "F1000", "TEMPLATE"}) {
        const bool isTemplate = qstrcmp(module, kTemplateModule) == 0;
        {
            Database db;
            db.open(connection);
            db.execute(QStringLiteral("UPDATE EQUIPMENT SET EQ_MODULE = '") + QLatin1String(module) + u'\'');
            if (isTemplate && !ModelTemplates::read(db, bench::kModel, QStringLiteral("config")))
                bench::addF1000Template(db);
        }
        QMap<QString, double> rate;
        QMap<QString, double> cpu;
        for (const QString& mode : std::as_const(modes)) {
            if (isTemplate && mode != u"run")
                continue;
            const QString folder = work.filePath(QLatin1String(module) + u'-' + mode);
            QDir().mkpath(folder);
            QProcess p;
            p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
            p.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("--child"), mode, QLatin1String(module), measured, folder});
            p.waitForFinished(-1);
            const QStringList f = QString::fromLocal8Bit(p.readAllStandardOutput()).split(u' ');
            if (p.exitCode() != 0 || f.size() != 5 || f[0].toInt() != phones) {
                out << module << ' ' << mode << ": failed" << Qt::endl;
                ++failures;
                continue;
            }
            rate[mode] = f[0].toDouble() / f[1].toDouble();
            cpu[mode] = f[2].toDouble() * 1e6 / f[0].toDouble();
            out << qSetFieldWidth(14) << module << mode << QString::number(rate[mode], 'f', 0)
                << QString::number(f[1].toDouble(), 'f', 2) << QString::number(cpu[mode], 'f', 0)
                << QString::number(f[3].toDouble() / 1024, 'f', 1)
                << QString::number(f[4].trimmed().toDouble() / f[0].toDouble(), 'f', 3) << qSetFieldWidth(0)
                << Qt::endl;
            // The run's and the anchor's files are compared once both are written.
            if (mode != u"run" && mode != anchor)
                QDir(folder).removeRecursively();
        }
        const QString runFolder = work.filePath(QLatin1String(module) + QStringLiteral("-run"));
        const QString anchorFolder = work.filePath(QLatin1String(module) + u'-' + anchor);
        if (rate.contains(QStringLiteral("run")) && rate.contains(anchor) && !sameFiles(runFolder, anchorFolder)) {
            out << "  " << module << ": the files of " << anchor << " are not the run's" << Qt::endl;
            ++failures;
        }
        QDir(runFolder).removeRecursively();
        QDir(anchorFolder).removeRecursively();
        if (rate.contains(QStringLiteral("run"))) {
            runRate[QLatin1String(module)] = rate[QStringLiteral("run")];
            runCpu[QLatin1String(module)] = cpu[QStringLiteral("run")];
        }
        for (const QString& floor :
             {anchor, QStringLiteral("floor-batch"), QStringLiteral("floor-file"), QStringLiteral("floor-nosync")}) {
            const QString run = QStringLiteral("run");
            if (rate.contains(run) && rate.contains(floor))
                out << "  " << module << ": run at " << QString::number(100 * rate[run] / rate[floor], 'f', 0)
                    << "% of the rate of " << floor << ", " << QString::number(100 * cpu[floor] / cpu[run], 'f', 0)
                    << "% by processor time" << (floor == anchor ? " (the anchor)" : "") << Qt::endl;
        }
    }
    const QString f1000 = QStringLiteral("F1000");
    const QString tpl = QLatin1String(kTemplateModule);
    if (runRate.contains(f1000) && runRate.contains(tpl))
        out << "TEMPLATE in the F1000 layout: " << QString::number(runRate[tpl], 'f', 0) << " telephones/s against "
            << QString::number(runRate[f1000], 'f', 0) << " of the F1000 writer, "
            << QString::number(runRate[tpl] / runRate[f1000], 'f', 2) << " of its rate ("
            << QString::number(runCpu[f1000] / runCpu[tpl], 'f', 2) << " by processor time)" << Qt::endl;
    return failures == 0 ? 0 : 1;
}
