#pragma once

#include <QByteArray>
#include <QString>

namespace vocaset {

// Windows-1252, the single-byte code page the telephones and the data files use. A character
// without a code there becomes '?'; lossy (when given) is set to true if that happened.
QByteArray toCp1252(const QString& text, bool* lossy = nullptr);
QString fromCp1252(const QByteArray& bytes);

// Writes the bytes to a temporary file beside the target and renames it over the target, so a
// reader never sees half a file. Returns false with a reason when it could not.
bool writeFileAtomically(const QString& path, const QByteArray& bytes, QString* error = nullptr);

// A folder setting loses one trailing '/' or '\'.
QString trimFolder(const QString& folder);

// A name built from data may become a file name only without path separators and "..".
bool isSafeFileName(const QString& name);

// Splits text into lines ending at CR, LF or CR LF; the terminators are not part of the lines.
QStringList splitLines(const QString& text);

} // namespace vocaset
