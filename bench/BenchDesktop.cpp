// Times the generation window offscreen against the headless run on the same data (the command
// line's engine with its log printed), and a run log of 100 000 lines. Figures only.
//
//   bench_desktop [telephones]   (10 000 by default)
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextStream>

#include "BenchData.h"
#include "FGenerate.h"
#include "GenerationRun.h"
#include "RunLogView.h"
#include "Sql.h"
#include "UiYield.h"

using namespace vocaset;

namespace {

// The command line prints every log line on standard output; here it goes to /dev/null.
class PrintedLog final : public RunLog
{
public:
    PrintedLog() : m_null(QStringLiteral("/dev/null"))
    {
        m_null.open(QIODevice::WriteOnly);
        m_out.setDevice(&m_null);
    }
    void append(const QString& line) override { m_out << line << '\n'; }

private:
    QFile m_null;
    QTextStream m_out;
};

void choose(QComboBox* list, int index)
{
    list->setCurrentIndex(index);
    Q_EMIT list->activated(index);
}

int files(const QString& folder)
{
    return int(QDir(folder).entryList(QDir::Files).size());
}

} // namespace

int main(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int phones = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 10000;
    QTextStream out(stdout);

    QTemporaryDir dir;
    bench::SilentOperator person;
    Database db;
    db.open(QStringLiteral("Provider=SQLite;Data Source=") + dir.path() + QStringLiteral("/bench.db"));
    bench::buildDataSet(db, phones);
    Session s(db, person);
    s.appDir = dir.path();
    const QString cliFolder = dir.path() + QStringLiteral("/cli");
    const QString guiFolder = dir.path() + QStringLiteral("/gui");
    QDir().mkpath(cliFolder);
    QDir().mkpath(guiFolder);

    // Headless, as vocaset-cli generate runs it.
    GenerationRequest request;
    request.company = bench::kCompany;
    request.model = bench::kModel;
    request.folder = cliFolder;
    const Recordset range = db.execute(QStringLiteral("SELECT MIN(PH_CODE), MAX(PH_CODE) FROM PHONES"));
    request.firstPhone = range.text(0);
    request.lastPhone = range.text(1);
    PrintedLog printed;
    GenerationRun run(s, printed);
    // A first, untimed run warms the database's pages and the file system, so neither timed run
    // pays for what the other one left behind.
    const QString warmFolder = dir.path() + QStringLiteral("/warm");
    QDir().mkpath(warmFolder);
    request.folder = warmFolder;
    run.run(request);
    request.folder = cliFolder;
    QElapsedTimer clock;
    clock.start();
    const RunSummary cli = run.run(request);
    const qint64 cliMs = clock.elapsed();

    // The window: company, model (its folder setting), first and last telephone, Generate.
    db.execute(QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES('") + sqlText(bench::kCompany + bench::kModel) +
               QStringLiteral("', '$$GENPATH', '") + sqlText(guiFolder) + QStringLiteral("')"));
    FGenerate window(s);
    window.resize(800, 600);
    window.show();
    const auto filter = [&](int i) { return window.findChild<QComboBox*>(QStringLiteral("Filter") + QString::number(i)); };
    choose(filter(1), 0);
    choose(filter(2), 0);
    choose(filter(3), 0);
    choose(filter(4), filter(4)->count() - 1);
    clock.start();
    window.findChild<QPushButton*>(QStringLiteral("Ok"))->click();
    const qint64 guiMs = clock.elapsed();

    out << "telephones: " << phones << "\n";
    out << "headless run: " << cliMs << " ms, " << cli.written << " written, " << files(cliFolder) << " files\n";
    out << "window run:   " << guiMs << " ms, " << files(guiFolder) << " files, ratio "
        << QString::number(double(guiMs) / qMax<qint64>(cliMs, 1), 'f', 2) << "\n";

    // A log of 100 000 lines in a shown window, appended as a run appends them.
    RunLogView log;
    log.resize(600, 400);
    log.show();
    clock.start();
    for (int i = 0; i < 100000; ++i)
        log.append(QStringLiteral("Line ") + QString::number(i) + QStringLiteral(" of the run log"));
    log.flush();
    const qint64 appendMs = clock.elapsed();
    QElapsedTimer tail;
    tail.start();
    for (int i = 0; i < 1000; ++i)
        log.append(QStringLiteral("one more line"));
    log.flush();
    out << "run log: 100 000 lines in " << appendMs << " ms; 1 000 more after them in " << tail.elapsed()
        << " ms\n";
    return 0;
}
