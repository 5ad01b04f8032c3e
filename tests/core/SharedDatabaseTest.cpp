// Several operators on one database: a command that only reads leaves the database as it found it
// and does not wait for another operator's transaction.

#include <optional>

#include <gtest/gtest.h>

#include "DemoCli.h"
#include "Dialect.h"
#include "Interleaving.h"
#include "Schema.h"

namespace vocaset::test {
namespace {

class SharedDatabase : public DemoCli
{
protected:
    // The count every server keeps of changes to the settings (counted on the server by a trigger
    // set up here, on SQLite by the engine itself), as a connection of its own reads it.
    QString changeCount(Database& observer)
    {
        return observer.execute(QStringLiteral("SELECT ") + Dialect::changeCount(observer.engine())).text(0);
    }
    // Every row of the tables a run fills, sorted.
    QStringList rows()
    {
        QStringList out;
        for (const QString& table : Schema::copyOrder()) {
            for (Recordset rs = working.db.execute(QStringLiteral("SELECT * FROM ") + table); !rs.eof();
                 rs.moveNext()) {
                QString line = table;
                for (int i = 0; i < rs.fieldCount(); ++i)
                    line += u'|' + rs.text(i);
                out << line;
            }
        }
        out.sort();
        return out;
    }
    // The rows one list holds and the other not, the first few of them.
    static QString changed(const QStringList& before, const QStringList& after)
    {
        const QSet<QString> a(before.begin(), before.end());
        const QSet<QString> b(after.begin(), after.end());
        QStringList lines = (a - b).values() + (b - a).values();
        lines.sort();
        return lines.mid(0, 5).join(u'\n');
    }
    QString writeFile(const QString& name, const QByteArray& bytes)
    {
        const QString path = demoDir.filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return path;
    }
    void countChanges(Database& db)
    {
        Transaction tx(db);
        for (const QString& statement : Dialect::changeCounting({QStringLiteral("SYSTEM_PARAMETERS")}, db.engine()))
            db.execute(statement);
        tx.commit();
    }
};

TEST_F(SharedDatabase, ACommandAtTheProgramsVersionOnlyReadsAtStartUp)
{
    Database observer;
    observer.open(working.connectionString());
    countChanges(observer);
    const QString before = changeCount(observer);
    {
        // Another operator's write stays open meanwhile; SQLite would keep a start-up that writes
        // waiting for it.
        Database other;
        other.open(working.connectionString());
        Transaction open(other);
        other.execute(QStringLiteral("INSERT INTO COMPANY VALUES('ZZ', 'Open')"));
        for (const QStringList& command :
             {QStringList{QStringLiteral("db"), QStringLiteral("info")}, QStringList{QStringLiteral("history")},
              QStringList{QStringLiteral("db"), QStringLiteral("upgrade")}})
            EXPECT_EQ(run(command), cli::Ok) << command.join(u' ').toStdString() << ": " << err.toStdString();
    }
    EXPECT_EQ(changeCount(observer), before) << "a start-up wrote";

    // An older database is still upgraded and stamped.
    working.db.execute(QStringLiteral("UPDATE SYSTEM_PARAMETERS SET SY_VALUE = '010140' WHERE SY_CODE = '$$BASEVER'"));
    const QString older = changeCount(observer);
    ASSERT_EQ(run({QStringLiteral("db"), QStringLiteral("upgrade")}), cli::Ok) << err.toStdString();
    EXPECT_TRUE(err.contains(QStringLiteral("Update From 010140 To 010142"))) << err.toStdString();
    EXPECT_NE(changeCount(observer), older);
    EXPECT_EQ(working.db.execute(QStringLiteral("SELECT SY_VALUE FROM SYSTEM_PARAMETERS WHERE SY_CODE = '$$BASEVER'"))
                  .text(0),
              QStringLiteral("010142"));
}

} // namespace
} // namespace vocaset::test
