#pragma once

#include <QFile>
#include <QTemporaryDir>

#include "DatabaseCreation.h"
#include "Sql.h"
#include "TestDatabase.h"

namespace vocaset::test {

// A database with the schema and nothing else, for the editor's engine.
struct EditorData : TestSession
{
    EditorData() { s.userName = QStringLiteral("ALICE"); }
    void setting(const QString& code, const QString& sub, const QString& value)
    {
        exec(QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES('%1', '%2', '%3')")
                 .arg(sqlText(code), sqlText(sub), sqlText(value)));
    }
};

// A working copy of the demo database on the engine under test: every table, its tabs, lookups,
// captions and messages. ready is false when the source database has not been built.
struct DemoData : TestSession
{
    DemoData() : TestSession(false)
    {
        s.userName = QStringLiteral("ALICE");
#ifdef VOCASET_DEMO_DB
        const QString file = dir.filePath(QStringLiteral("source.db"));
        if (!QFile::copy(QStringLiteral(VOCASET_DEMO_DB), file))
            return;
        ready =
            createDatabase(s, QStringLiteral("Provider=SQLite;Data Source=") + file, log) == CreationOutcome::Created;
        op.messages.clear();
#endif
    }
    QTemporaryDir dir;
    bool ready = false;
};

} // namespace vocaset::test
