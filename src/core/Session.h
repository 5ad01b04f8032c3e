#pragma once

#include <QString>

#include "Database.h"
#include "Interaction.h"
#include "Recordset.h"
#include "Version.h"

namespace vocaset {

// The state the start-up fixes for the program's lifetime, handed to every window and engine.
struct Session
{
    Session(Database& database, Operator& person) : db(database), op(person) {}
    Q_DISABLE_COPY_MOVE(Session)

    Database& db;           // the main connection
    Operator& op;           // who sees messages and answers questions
    QString userName;       // upper case; may be replaced by a superuser's choice
    QString language = QStringLiteral("EN");
    QString programVersion = vocaset::programVersion();
    QString appDir;         // folder of the executable, without trailing separator
    Recordset currentPhone; // the telephone being processed by a run
    bool runError = false;
};

} // namespace vocaset
