#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace vocaset {

class Database;

// Entries of the run windows' selection lists: the code, " \\ " and the description.
QString listEntry(const QString& code, const QString& description);
// The code of a shown entry: the text before the separator (the whole text when there is none).
QString entryCode(const QString& shown);

struct ListEntry
{
    QString code;
    QString desc;
    QString text() const { return listEntry(code, desc); }
};

// The rows of a statement that selects a code and a description.
QList<ListEntry> listEntries(Database& db, const QString& sql);
QStringList entryTexts(const QList<ListEntry>& entries);
bool containsCode(const QList<ListEntry>& entries, const QString& code);

// Every company; the models a company has telephones of. Both run windows offer these first.
QList<ListEntry> companyEntries(Database& db);
QList<ListEntry> modelEntries(Database& db, const QString& company);

} // namespace vocaset
