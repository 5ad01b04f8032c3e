#pragma once

#include <QStringList>

namespace vocaset {

// Programs that show the machine's hardware and operating system, the most thorough first.
const QStringList& systemInfoPrograms();

// The first of them that is an executable file in the folders (the PATH's folders when none are
// given), or an empty text.
QString findSystemInfoProgram(const QStringList& folders = {});

// Starts the program found, detached and in its own window; false when there is none or it did not
// start.
bool startSystemInfo(const QStringList& folders = {});

} // namespace vocaset
