#include "TestDatabase.h"

#include <QCoreApplication>

#include "Schema.h"

namespace vocaset::test {

TestDatabase::TestDatabase()
{
    m_connection = makeDatabase();
    db.open(m_connection);
}

TestDatabase::~TestDatabase()
{
    db.close();
    if (m_created.isEmpty())
        return;
    Database admin;
    try {
        admin.open(server());
        for (const QString& name : std::as_const(m_created))
            admin.execute(QStringLiteral("DROP DATABASE IF EXISTS ") + name + QStringLiteral(" WITH (FORCE)"));
    } catch (const DbError&) {
    }
}

Engine TestDatabase::engine() const
{
    return db.engine();
}

QString TestDatabase::server()
{
    return qEnvironmentVariable("VOCASET_TEST_DB");
}

QString TestDatabase::makeDatabase()
{
    const QString server = TestDatabase::server();
    ++m_count;
    if (server.isEmpty())
        return QStringLiteral("Provider=SQLite;Data Source=") + m_dir.path() + QStringLiteral("/test") +
               QString::number(m_count) + QStringLiteral(".db");
    // One server database per test database, named uniquely, dropped by the destructor.
    const QString name = QStringLiteral("vt_%1_%2_%3")
                             .arg(QCoreApplication::applicationPid())
                             .arg(reinterpret_cast<quintptr>(this), 0, 16)
                             .arg(m_count);
    Database admin;
    admin.open(server);
    // A file copy of the small template is several times faster than the default WAL-logged copy,
    // which matters with a database per test; older servers know only the copy.
    const bool fileCopy = admin.execute(QStringLiteral("SHOW server_version_num")).text(0).toInt() >= 150000;
    admin.execute(QStringLiteral("CREATE DATABASE ") + name +
                  (fileCopy ? QStringLiteral(" STRATEGY FILE_COPY") : QString()));
    m_created.append(name);
    QStringList parts;
    for (const QString& part : server.split(u';', Qt::SkipEmptyParts)) {
        if (!part.trimmed().startsWith(QLatin1String("Database="), Qt::CaseInsensitive))
            parts.append(part);
    }
    parts.append(QStringLiteral("Database=") + name);
    return parts.join(u';');
}

QString TestDatabase::another()
{
    return makeDatabase();
}

void TestDatabase::createSchema()
{
    for (const QString& statement : Schema::createStatements() + Schema::indexStatements())
        db.execute(statement);
}

TestSession::TestSession(bool withSchema)
{
    if (withSchema) {
        tdb.createSchema();
        exec(QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES('$$BASEVER', '$', '") + s.programVersion +
             QStringLiteral("')"));
    }
    s.userName = QStringLiteral("ALICE");
    s.appDir = tdb.dir();
}

} // namespace vocaset::test
