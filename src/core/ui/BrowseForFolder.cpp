#include "BrowseForFolder.h"

#include <QDir>
#include <QFileDialog>

namespace vocaset {

QString BrowseForFolder(const QString& initial, QWidget* owner)
{
    const QString start = initial.isEmpty() ? QDir::currentPath() : initial;
    // The prompt above the tree shows the initial folder, as the label it came from did.
    const QString chosen = QFileDialog::getExistingDirectory(owner, initial, start, QFileDialog::ShowDirsOnly);
    return chosen.isEmpty() ? initial : QDir::toNativeSeparators(chosen);
}

} // namespace vocaset
