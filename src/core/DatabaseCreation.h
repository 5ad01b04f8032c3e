#pragma once

#include <QString>

#include "Session.h"

namespace vocaset {

enum class CreationOutcome {
    Created,            // schema made and every table copied
    SourceNotSpecified, // line 2 of the settings file is empty
    SourceOpenFailed,
    WrongSourceVersion,
};

// Copies every row of one table from the source connection into the same table of the target.
// Nulls arrive as empty texts; quotes inside values arrive as typed. Returns the rows copied.
int CopyTable(Database& source, Database& target, const QString& table, RunLog& log);

// Fills an empty working database (the main connection of the session) from the source database
// named by sourceConnection: schema, version check, then the copy. The outcome's fixed message has
// been shown to the operator. A refused CREATE or row throws DbError.
CreationOutcome createDatabase(Session& s, const QString& sourceConnection, RunLog& log);

} // namespace vocaset
