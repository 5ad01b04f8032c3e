#pragma once

#include <QStringList>

namespace vocaset {
class Database;
}

namespace vocaset::Schema {

// The CREATE TABLE statements, each table after the tables its foreign keys name.
const QStringList& createStatements();
// The tables a creation run copies, referenced tables first; EQ_TEMP is scratch and not copied.
const QStringList& copyOrder();
// Indexes beyond the keys, each made only when missing, so they go into a new database after its
// rows and into an older one at any start.
const QStringList& indexStatements();
// Makes the indexes an older database lacks; sends nothing for those that are there, so an account
// that may read but not create them (not the tables' owner) finds nothing to report. Empty when
// all are there, else a note naming the index and the engine's reason: a database without them
// still works, only slower.
QString addMissingIndexes(Database& db);
// True when the database has an index of that name (a plain identifier).
bool hasIndex(Database& db, const QString& name);
// True when every index of indexStatements() is there.
bool indexesInPlace(Database& db);

} // namespace vocaset::Schema
