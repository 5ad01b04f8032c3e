#include "SystemInformation.h"

#include <QProcess>
#include <QStandardPaths>

namespace vocaset {

const QStringList& systemInfoPrograms()
{
    static const QStringList programs = {
        QStringLiteral("hardinfo2"),
        QStringLiteral("hardinfo"),
        QStringLiteral("kinfocenter"),
        QStringLiteral("gnome-system-monitor"),
        QStringLiteral("plasma-systemmonitor"),
        QStringLiteral("mate-system-monitor"),
        QStringLiteral("xfce4-taskmanager"),
        QStringLiteral("lxtask"),
    };
    return programs;
}

QString findSystemInfoProgram(const QStringList& folders)
{
    for (const QString& name : systemInfoPrograms()) {
        const QString path = QStandardPaths::findExecutable(name, folders);
        if (!path.isEmpty())
            return path;
    }
    return {};
}

bool startSystemInfo(const QStringList& folders)
{
    const QString program = findSystemInfoProgram(folders);
    return !program.isEmpty() && QProcess::startDetached(program, {});
}

} // namespace vocaset
