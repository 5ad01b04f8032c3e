#pragma once

#include <optional>

#include <QList>
#include <QString>
#include <QStringList>

#include "Session.h"

namespace vocaset {

// The table of the models whose files are made from a template: one row per model and kind, created
// by the first template saved on a database that lacks it and never touched by the schema upgrade.
inline constexpr char kTemplatesTable[] = "MODEL_TEMPLATES";

// The writer module of the models whose files come from their template.
inline constexpr char kTemplateModule[] = "TEMPLATE";

// One template as stored. Option values are stored in these spellings.
struct ModelTemplate
{
    QString model;
    QString kind = QStringLiteral("config"); // "config": a telephone's file; "phonebook": a company's address book
    QString fileName{};                      // the pattern of the file's name
    QString escape = QStringLiteral("none"); // "xml": every value escaped for XML text and attributes
    QString encoding = QStringLiteral("Windows-1252"); // or "UTF-8"
    QString eol = QStringLiteral("CRLF");              // or "LF"
    QString contentType{};                             // what the server sends with the file
    QString text{};

    bool operator==(const ModelTemplate&) const = default;
};

namespace ModelTemplates {

inline const QStringList kKinds = {QStringLiteral("config"), QStringLiteral("phonebook")};
inline const QStringList kEscapes = {QStringLiteral("none"), QStringLiteral("xml")};
inline const QStringList kEncodings = {QStringLiteral("Windows-1252"), QStringLiteral("UTF-8")};
inline const QStringList kLineEnds = {QStringLiteral("CRLF"), QStringLiteral("LF")};

// Templates are capped so that no row can exhaust a server's memory.
inline constexpr qsizetype kMaxTextBytes = 1024 * 1024;

// The table's columns in table order, its key (EQ_CODE, MT_KIND) first.
const QStringList& columns();
// The same statement on both engines; the dialect turns nvarchar into the server's own type.
QString createStatement();

bool exists(Database& db);
// Creates the table when it is missing.
void ensureTable(Database& db);

// One template; nothing when the table or the row is missing.
std::optional<ModelTemplate> read(Database& db, const QString& model, const QString& kind);
// Every template without its text (names, options), in model and kind order; empty without the table.
QList<ModelTemplate> readNames(Database& db);

// Inside the caller's transaction: adds the template or changes the stored one, with a history row
// for each column that changed. A row another operator changed since it was read is not
// overwritten: DbError. Returns false when nothing changed.
bool store(Session& s, const ModelTemplate& t);
// Inside the caller's transaction: removes a template with its history; false when there was none.
bool remove(Session& s, const QString& model, const QString& kind);

// The spelling stored for an option given in any case ("utf-8", "crlf"); empty when it is none of them.
QString spelling(const QStringList& values, const QString& given);
// What the server sends with a file when the template names no content type.
QString defaultContentType(const ModelTemplate& t);

} // namespace ModelTemplates
} // namespace vocaset
