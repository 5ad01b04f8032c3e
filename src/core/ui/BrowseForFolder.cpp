#include "BrowseForFolder.h"

#include <QDir>
#include <QFileDialog>

namespace vocaset {

QString BrowseForFolder(const QString& initial, QWidget* owner, const QString& title)
{
    const QString start = initial.isEmpty() ? QDir::currentPath() : initial;
    const QString caption = title.isEmpty() ? initial : title;
    const QString chosen = QFileDialog::getExistingDirectory(owner, caption, start, QFileDialog::ShowDirsOnly);
    return chosen.isEmpty() ? initial : QDir::toNativeSeparators(chosen);
}

} // namespace vocaset
