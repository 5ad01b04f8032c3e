#pragma once

#include <QStringList>
#include <QTextStream>

namespace vocaset {

// Exit codes of lenvik run without a window, as vocaset-cli's.
enum LenvikExit { LenvikOk = 0, LenvikRunFailed = 1, LenvikUsage = 2, LenvikDatabaseFailed = 3 };

// lenvik --query [--catalogue NAME] [--fields NAME,...] [--set FIELD=VALUE ...] [--export FILE.xlsx]
//        [--settings FILE]
// Runs one query without a window: prints the statement built, then the list's header and rows,
// tab-separated, on out; messages go to err. program is the name the executable was started under.
int runLenvik(const QStringList& arguments, QTextStream& out, QTextStream& err, const QString& appDir,
              const QString& program);

} // namespace vocaset
