#pragma once

#include <QString>

#include "Session.h"

namespace vocaset {

enum class CreationOutcome {
    Created,            // schema made and every table copied
    SourceNotSpecified, // line 2 of the settings file is empty
    SourceOpenFailed,
    WrongSourceVersion,
    WorkingIncomplete, // the working database holds some of the tables but no settings
};

// Shown when the working database holds tables of the schema but no settings: a creation that an
// older release left half done, or tables made by hand. It is neither created over nor upgraded.
inline const QString kIncompleteDatabase =
    QStringLiteral("The working database is incomplete: it holds some of the tables but no settings.\r\n"
                   "Empty it, or name another database in line 1 of ParamDB.txt, and start again.");

// True when the database holds any table of the schema.
bool holdsSchemaTables(Database& db);

// Copies every row of one table from the source connection into the same table of the target.
// Nulls arrive as empty texts, except in a foreign-key column where the empty text names no row;
// quotes inside values arrive as typed. Returns the rows copied.
int CopyTable(Database& source, Database& target, const QString& table, RunLog& log);

// Fills an empty working database (the main connection of the session) from the source database
// named by sourceConnection, opened read-only: version check, then schema and copy in one
// transaction. The outcome's fixed message has been shown to the operator. A refused CREATE or row
// throws DbError and leaves the working database as it was.
CreationOutcome createDatabase(Session& s, const QString& sourceConnection, RunLog& log);

} // namespace vocaset
