// Several operators on one database: a command that only reads leaves the database as it found it
// and does not wait for another operator's transaction; a bulk run that another operator's lock holds
// up ends with nothing kept.

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

TEST_F(SharedDatabase, ALockHeldInsideABulkRunEndsItWithNothingKept)
{
    // On the server the command line's statements wait for a lock at most this long, as with a lock
    // time-out set on the operators' role.
    const bool server = working.engine() == Engine::PostgreSQL;
    if (server)
        working.db.execute(QStringLiteral("ALTER DATABASE ") +
                           working.db.execute(QStringLiteral("SELECT current_database()")).text(0) +
                           QStringLiteral(" SET lock_timeout = 300"));
    for (int code = 7000; code < 7100; ++code)
        working.db.execute(QStringLiteral("INSERT INTO RANGES VALUES('ALPIN', '%1')").arg(code));
    writeFile(QStringLiteral("confUsers.ini"), "[Users]\r\n[User1]\r\nName=Cleo\r\nSurname=Dunn\r\nExtension=901\r\n"
                                               "[User2]\r\nName=Ivo\r\nSurname=Berg\r\nExtension=902\r\n");
    const QString phones =
        writeFile(QStringLiteral("phones.csv"), "code;description;mac\r\n5001;Hall;000B82A00001\r\n"
                                                "5002;Lab;000B82A00002\r\n5003;Desk;000B82A00003\r\n");
    const QString patch = writeFile(QStringLiteral("patch.csv"),
                                    "All;RANGES;ALPIN;6001\r\nAll;RANGES;ALPIN;6002\r\nAll;RANGES;ALPIN;6003\r\n");
    const QStringList alpin = {QStringLiteral("--company"), QStringLiteral("ALPIN")};
    const QStringList gxp = {QStringLiteral("--model"), QStringLiteral("GXP2000")};
    // Each run, and what the other operator holds from the moment the run's transaction begins: a row
    // the run will add, a row it will delete, rows it will change, the company its rows refer to.
    const struct
    {
        QStringList run;
        QString held;
    } cases[] = {
        {QStringList{QStringLiteral("ranges"), QStringLiteral("add"), QStringLiteral("--from"), QStringLiteral("5000"),
                     QStringLiteral("--to"), QStringLiteral("5999"), QStringLiteral("--yes")} +
             alpin,
         QStringLiteral("INSERT INTO RANGES VALUES('ALPIN', '5500')")},
        {QStringList{QStringLiteral("ranges"), QStringLiteral("delete"), QStringLiteral("--from"),
                     QStringLiteral("7000"), QStringLiteral("--to"), QStringLiteral("7099"), QStringLiteral("--yes")} +
             alpin,
         QStringLiteral("DELETE FROM RANGES WHERE CO_CODE = 'ALPIN' AND PH_CODE = '7050'")},
        {QStringList{QStringLiteral("phonebook"), QStringLiteral("import"), QStringLiteral("--dir"), demoDir.path(),
                     QStringLiteral("--yes")} +
             alpin + gxp,
         QStringLiteral("UPDATE PHONE_BOOK SET BK_NAME = BK_NAME WHERE CO_CODE = 'ALPIN'")},
        {QStringList{QStringLiteral("phones"), QStringLiteral("import"), phones, QStringLiteral("--yes")} + alpin + gxp,
         QStringLiteral("SELECT CO_CODE FROM COMPANY WHERE CO_CODE = 'ALPIN' FOR UPDATE")},
        {QStringList{QStringLiteral("db"), QStringLiteral("patch"), patch},
         QStringLiteral("INSERT INTO RANGES VALUES('ALPIN', '6002')")},
    };
    for (const auto& c : cases) {
        const QString what = c.run.join(u' ');
        const QStringList before = rows();
        // On SQLite the other operator is kept out at once; on the server its hold must not give
        // way to a time-out of its own however loaded the machine: only the run's lock wait is short.
        OtherOperator other(working, server ? 30000 : 150);
        if (server)
            other.db.execute(QStringLiteral("SET lock_timeout = 0"));
        interleaving = other.hook();
        std::optional<Transaction> held;
        QString refusal;
        other.at(QStringLiteral("transaction.begun"), [&] {
            try {
                held.emplace(other.db);
                other.db.execute(c.held);
            } catch (const DbError& e) {
                refusal = e.text();
                held.reset();
            }
        });
        const int exit = run(c.run);
        held.reset();
        interleaving = {};
        if (server) {
            // Ended at the first wait, once, with the engine's reason: no row replayed to wait again.
            EXPECT_EQ(refusal, QString()) << what.toStdString();
            EXPECT_EQ(exit, cli::DatabaseFailed) << what.toStdString() << ": " << out.toStdString();
            EXPECT_EQ(err.count(QStringLiteral("lock timeout")), 1) << what.toStdString() << ": " << err.toStdString();
            EXPECT_FALSE(out.contains(QStringLiteral("lock timeout")))
                << what.toStdString() << ": " << out.toStdString();
            EXPECT_EQ(changed(before, rows()).toStdString(), "") << what.toStdString();
        } else {
            // The run's write transaction keeps the other operator out instead.
            EXPECT_TRUE(OtherOperator::lockedOut(refusal)) << what.toStdString() << ": " << refusal.toStdString();
            EXPECT_EQ(exit, cli::Ok) << what.toStdString() << ": " << err.toStdString();
            EXPECT_NE(changed(before, rows()).toStdString(), "") << what.toStdString();
        }
    }
}

} // namespace
} // namespace vocaset::test
