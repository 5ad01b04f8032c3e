#pragma once

#include <QString>

class QWidget;

namespace vocaset {

// Lets the operator choose a folder, pre-selecting the initial one (or the current directory when
// it is empty). Cancelling returns the initial folder unchanged.
QString BrowseForFolder(const QString& initial, QWidget* owner);

} // namespace vocaset
