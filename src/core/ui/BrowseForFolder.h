#pragma once

#include <QString>

class QWidget;

namespace vocaset {

// Lets the operator choose a folder, pre-selecting the initial one (or the current directory when
// it is empty). Cancelling returns the initial folder unchanged. The dialog's title says what the
// folder is for; without one it shows the initial folder.
QString BrowseForFolder(const QString& initial, QWidget* owner, const QString& title = {});

} // namespace vocaset
