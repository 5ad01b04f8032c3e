// Times the configuration editor on a table of 100 000 rows: opening its tab (catalogue, key filters
// and the listing), listing again through a filter, and sorting by a column, offscreen. The data
// set is built in a child process, so the peak memory reported is the window's own.
#include <sys/resource.h>

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTreeView>

#include "BenchData.h"
#include "FParameters.h"
#include "RecordList.h"
#include "RecordListModel.h"

using namespace vocaset;

namespace {

// 5 000 telephones with 20 values each: 100 000 rows in PHONES_PARAMETERS, the editor's only tab.
constexpr int kPhones = 5000;

QString connection(const QString& file)
{
    return QStringLiteral("Provider=SQLite;Data Source=") + file;
}

int build(const QString& file)
{
    Database db;
    db.open(connection(file));
    bench::buildDataSet(db, kPhones);
    db.execute(QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES('AUTHC', '*', '*')"));
    db.execute(QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES('$$TABS', '1', 'PHONES_PARAMETERS')"));
    return 0;
}

long peakKilobytes()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() == 3 && args[1] == u"--build")
        return build(args[2]);

    QTextStream out(stdout);
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("editor.db"));
    QElapsedTimer clock;
    clock.start();
    if (QProcess::execute(QCoreApplication::applicationFilePath(), {QStringLiteral("--build"), file}) != 0) {
        out << "building the data set failed" << Qt::endl;
        return 1;
    }
    out << "data set: " << kPhones << " telephones, built in " << clock.elapsed() << " ms" << Qt::endl;
    const long before = peakKilobytes();

    Database db;
    db.open(connection(file));
    bench::SilentOperator person;
    Session s(db, person);
    s.userName = QStringLiteral("BENCH");

    clock.restart();
    FParameters window(s);
    window.show();
    QCoreApplication::processEvents();
    const qint64 opened = clock.elapsed();
    const int rows = window.listModel()->recordCount();
    out << "open the tab and list " << rows << " rows: " << opened << " ms" << Qt::endl;

    auto* filter = window.findChild<QComboBox*>(QStringLiteral("Filter1"));
    clock.restart();
    filter->setCurrentIndex(1);
    Q_EMIT filter->activated(1);
    QCoreApplication::processEvents();
    out << "list again through the company filter (" << window.listModel()->recordCount()
        << " rows): " << clock.elapsed() << " ms" << Qt::endl;

    auto* list = window.findChild<QTreeView*>(QStringLiteral("ListCom"));
    clock.restart();
    Q_EMIT list->header()->sectionClicked(5);
    QCoreApplication::processEvents();
    out << "sort by value: " << clock.elapsed() << " ms" << Qt::endl;

    // The engine's share of a listing, without the window.
    clock.restart();
    const TableCatalogue cat = readCatalogue(s, QStringLiteral("PHONES_PARAMETERS"));
    out << "catalogue and key filters: " << clock.elapsed() << " ms" << Qt::endl;
    clock.restart();
    const ListedRecords listed = listRecords(s, cat, AccessMode::True, {});
    out << "list statement (" << listed.rows.size() << " rows): " << clock.elapsed() << " ms" << Qt::endl;

    out << "peak memory: " << peakKilobytes() / 1024 << " MB (" << before / 1024 << " MB before the window)"
        << Qt::endl;
    return rows == kPhones * 20 ? 0 : 1;
}
