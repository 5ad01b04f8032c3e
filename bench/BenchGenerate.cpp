// Times the generation run for each writer against a floor: the same three SELECTs per telephone,
// merged in memory and written with the same writer, without EQ_TEMP. Each measurement runs in a
// child process of its own so that its peak memory is its own.
#include <sys/resource.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QMap>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>

#include "BenchData.h"
#include "ConfigWriter.h"
#include "GenerationRun.h"
#include "ParamResolution.h"
#include "Sql.h"
#include "TextFile.h"

using namespace vocaset;

namespace {

class SilentOperator final : public Operator
{
public:
    void showMessage(const QString& text, const QString&) override { QTextStream(stderr) << text << Qt::endl; }
    bool askYesNo(const QString&, const QString&) override { return true; }
    std::optional<QString> askText(const QString&, const QString& d) override { return d; }
};

long peakKilobytes()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// One telephone after the other: three SELECTs, an in-memory merge, the writer's bytes, the file.
int floorRun(Session& s, const ConfigWriter& writer, const QString& folder)
{
    s.currentPhone = s.db.execute(QStringLiteral("SELECT * FROM PHONES WHERE CO_CODE = '") + sqlText(bench::kCompany) +
                                  QStringLiteral("' AND EQ_CODE = '") + sqlText(bench::kModel) +
                                  QStringLiteral("' ORDER BY PH_CODE"));
    int written = 0;
    const LevelChoice levels;
    for (; !s.currentPhone.eof(); s.currentPhone.moveNext()) {
        const PhoneInfo phone = PhoneInfo::fromCurrent(s.currentPhone);
        QMap<QString, ParamRow> merged;
        // EQUIPMENT_PARAMETERS: EQ_CODE, PA_CODE, PA_DESC, LE_CODE, PA_DEFAULT; the value tables end in PA_VALUE.
        const Recordset e = s.db.execute(QStringLiteral("SELECT * FROM EQUIPMENT_PARAMETERS WHERE EQ_CODE = '") +
                                         sqlText(phone.model) + QStringLiteral("' AND LE_CODE = 'E' ORDER BY PA_CODE"));
        for (const QVariantList& r : e.rows())
            merged.insert(r.at(1).toString(),
                          {r.at(1).toString(), r.at(2).toString(), ExpandMacros(s, r.at(4).toString())});
        const Recordset c = s.db.execute(QStringLiteral("SELECT * FROM COMPANY_PARAMETERS WHERE CO_CODE = '") +
                                         sqlText(phone.company) + QStringLiteral("' AND EQ_CODE = '") +
                                         sqlText(phone.model) + QStringLiteral("' ORDER BY PA_CODE"));
        for (const QVariantList& r : c.rows())
            merged.insert(r.at(2).toString(), {r.at(2).toString(), {}, ExpandMacros(s, r.at(3).toString())});
        const Recordset p = s.db.execute(QStringLiteral("SELECT * FROM PHONES_PARAMETERS WHERE CO_CODE = '") +
                                         sqlText(phone.company) + QStringLiteral("' AND EQ_CODE = '") +
                                         sqlText(phone.model) + QStringLiteral("' AND PH_CODE = '") +
                                         sqlText(phone.code) + QStringLiteral("' ORDER BY PA_CODE"));
        for (const QVariantList& r : p.rows())
            merged.insert(r.at(3).toString(), {r.at(3).toString(), {}, ExpandMacros(s, r.at(4).toString())});

        Cp1252Sink sink;
        const QList<ParamRow> rows = merged.values();
        const FileNames names = writer.names(phone, levels);
        if (const auto bytes = writer.config(phone, rows, sink, nullptr);
            bytes && writeFileAtomically(folder + u'/' + names.config, *bytes))
            ++written;
    }
    return written;
}

// Child: one measurement, printed as "phones seconds peak-kB".
int child(const QString& mode, const QString& module, const QString& dbFile, const QString& folder)
{
    Database db;
    db.open(QStringLiteral("Provider=SQLite;Data Source=") + dbFile);
    SilentOperator op;
    Session s(db, op);
    db.execute(QStringLiteral("UPDATE EQUIPMENT SET EQ_MODULE = '") + sqlText(module) + u'\'');
    const int phones = db.execute(QStringLiteral("SELECT COUNT(*) FROM PHONES")).value(0).toInt();

    QElapsedTimer timer;
    timer.start();
    int written = 0;
    if (mode == u"run") {
        NullRunLog log;
        GenerationRun run(s, log);
        GenerationRequest r;
        r.company = bench::kCompany;
        r.model = bench::kModel;
        r.firstPhone = QStringLiteral("00000");
        r.lastPhone = QStringLiteral("99999");
        r.folder = folder;
        written = run.run(r).written;
    } else {
        written = floorRun(s, *writerForModule(module), folder);
    }
    const double seconds = timer.nsecsElapsed() / 1e9;
    QTextStream(stdout) << written << u' ' << seconds << u' ' << peakKilobytes() << Qt::endl;
    return written == phones ? 0 : 1;
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
    QTextStream out(stdout);
    QTemporaryDir work(base + QStringLiteral("/bench_generate-XXXXXX"));
    const QString dbFile = work.filePath(QStringLiteral("bench.db"));
    {
        Database db;
        db.open(QStringLiteral("Provider=SQLite;Data Source=") + dbFile);
        QElapsedTimer t;
        t.start();
        bench::buildDataSet(db, phones);
        out << "Data set: " << phones << " telephones, 150 parameters (100 E, 30 C, 20 P), built in "
            << t.elapsed() / 1000.0 << " s" << Qt::endl;
    }

    out << qSetFieldWidth(12) << Qt::left << "writer"
        << "mode"
        << "phones/s"
        << "seconds"
        << "peak MB" << qSetFieldWidth(0) << Qt::endl;
    int failures = 0;
    for (const char* module : {"GRANDSTREAM", "PAP2", "F1000"}) {
        QMap<QString, double> rate;
        for (const char* mode : {"floor", "run"}) {
            const QString folder = work.filePath(QLatin1String(module) + u'-' + QLatin1String(mode));
            QDir().mkpath(folder);
            QProcess p;
            p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
            p.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("--child"), QLatin1String(mode), QLatin1String(module), dbFile, folder});
            p.waitForFinished(-1);
            const QStringList f = QString::fromLocal8Bit(p.readAllStandardOutput()).split(u' ');
            if (p.exitCode() != 0 || f.size() != 3) {
                out << module << ' ' << mode << ": failed" << Qt::endl;
                ++failures;
                continue;
            }
            rate[QLatin1String(mode)] = f[0].toDouble() / f[1].toDouble();
            out << qSetFieldWidth(12) << module << mode << QString::number(rate[QLatin1String(mode)], 'f', 0)
                << QString::number(f[1].toDouble(), 'f', 2) << QString::number(f[2].trimmed().toDouble() / 1024, 'f', 1)
                << qSetFieldWidth(0) << Qt::endl;
            QDir(folder).removeRecursively();
        }
        if (rate.size() == 2)
            out << "  " << module << ": run at "
                << QString::number(100 * rate[QStringLiteral("run")] / rate[QStringLiteral("floor")], 'f', 0)
                << "% of the floor's rate" << Qt::endl;
    }
    return failures == 0 ? 0 : 1;
}
