#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

namespace vocaset {

// The manual beside the program as a link the viewer follows, built from the menu's address rule;
// a '#', '%' or blank in a folder name stays part of the path. The anchor, when given, names the
// section to show. The language picks the manual in that language when it is there.
QUrl manualUrl(const QString& executableFolder, const QString& anchor = {}, const QString& language = {});

// What the operator typed in the address box: "about:blank", a link with a scheme, or a file path
// (a relative one is taken from the program's folder) with an optional "#section".
QUrl addressUrl(const QString& typed, const QString& executableFolder);

// The text of an HTML page from its bytes, in the character set its meta tag declares
// (Windows-1252, which also reads pages declared ISO-8859-1, or UTF-8). Without a declaration,
// UTF-8 when the bytes are valid UTF-8, else Windows-1252.
QString decodeHtmlPage(const QByteArray& bytes);

// The name a page is known by: its title, else its file name, else the whole address.
QString locationName(const QUrl& url, const QString& title);

} // namespace vocaset
