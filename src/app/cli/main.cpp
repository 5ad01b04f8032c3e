#include <cstdio>

#include <QCoreApplication>
#include <QTextStream>

#include "CliCommand.h"

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("vocaset-cli"));
    QTextStream out(stdout);
    QTextStream err(stderr);
    QStringList args = QCoreApplication::arguments();
    args.removeFirst();
    return vocaset::cli::runCli(args, out, err, QCoreApplication::applicationDirPath());
}
