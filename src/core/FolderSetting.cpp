#include "FolderSetting.h"

#include <QDir>

namespace vocaset {

QString resolveFolderSetting(const QString& setting, const QString& appDir)
{
    QString folder = setting;
    folder.replace(QLatin1String("$$APPPATH$$"), appDir);
    if (folder.isEmpty() || appDir.isEmpty() || !QDir::isRelativePath(folder))
        return folder;
    return appDir + u'/' + folder;
}

} // namespace vocaset
