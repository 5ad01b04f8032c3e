#include "FolderSetting.h"

#include <QDir>

namespace vocaset {

QString resolveFolderSetting(const QString& setting, const QString& appDir)
{
    if (appDir.isEmpty())
        return setting;
    QString folder = setting;
    folder.replace(QLatin1String("$$APPPATH$$"), appDir);
    if (folder.isEmpty() || !QDir::isRelativePath(folder))
        return folder;
    return appDir + u'/' + folder;
}

} // namespace vocaset
