#pragma once

#include <memory>

#include <QTemporaryDir>

#include "Database.h"
#include "Session.h"
#include "ScriptedOperator.h"

namespace vocaset::test {

// A fresh, empty database for one test, removed afterwards. SQLite in a temporary folder by
// default; when VOCASET_TEST_DB holds a server connection string, a database of its own there.
class TestDatabase
{
public:
    TestDatabase();
    ~TestDatabase();
    Q_DISABLE_COPY_MOVE(TestDatabase)

    // The connection string of the database (for a second connection or a settings file).
    const QString& connectionString() const { return m_connection; }
    // A connection string for another fresh, empty database owned by this object.
    QString another();
    Engine engine() const;
    // The server connection string the suite runs against (VOCASET_TEST_DB); empty on SQLite.
    static QString server();
    QString dir() const { return m_dir.path(); }

    Database db;

    // Sends the schema's CREATE TABLE statements.
    void createSchema();

private:
    QString makeDatabase();

    QTemporaryDir m_dir;
    QString m_connection;
    QStringList m_created; // server databases to drop
    int m_count = 0;
};

// A test database with a session over it, a scripted operator and the schema, at the program's
// version with language EN.
struct TestSession
{
    explicit TestSession(bool withSchema = true);
    TestDatabase tdb;
    ScriptedOperator op;
    RecordingLog log;
    Session s{tdb.db, op};

    void exec(const QString& sql) { tdb.db.execute(sql); }
    QString value(const QString& sql) { return tdb.db.execute(sql).text(0); }
    int count(const QString& sql) { return tdb.db.execute(sql).count(); }
};

} // namespace vocaset::test
