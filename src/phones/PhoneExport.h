#pragma once

#include <QByteArray>
#include <QString>

#include "Database.h"

namespace vocaset {

struct PhoneExportText
{
    QString text; // the CSV, lines ended by CR LF
    int phones = 0;
};

// The company's telephones of a model in the file the import reads: a header "code;description;mac"
// followed by every parameter any of them has a value of, in code order, then one line per telephone
// in code order. A telephone without a value of a parameter leaves its cell empty, which the import
// reads as "no change", so an export imports back unchanged.
PhoneExportText exportPhones(Database& db, const QString& company, const QString& model);

// The bytes of an export file: UTF-8 behind a byte-order mark, from which spreadsheets know the
// encoding (every character is kept, where Windows-1252 would lose some).
QByteArray exportFileBytes(const QString& text);

// Writes an export file whole or not at all (error names the file and the reason). It holds the
// telephones' passwords, so a new file is readable by its owner only; a file replaced keeps its mode.
bool writeExportFile(const QString& path, const QString& text, QString* error);

} // namespace vocaset
