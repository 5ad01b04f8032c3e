#include <gtest/gtest.h>

#include "DatabaseCreation.h"
#include "Schema.h"
#include "Sql.h"
#include "TestDatabase.h"

using namespace vocaset;
using vocaset::test::TestDatabase;
using vocaset::test::TestSession;

namespace {

// A source database at the given version with a little of everything, quotes included.
void fillSource(Database& src, const QString& version)
{
    for (const QString& statement : Schema::createStatements())
        src.execute(statement);
    src.execute(QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES('$$BASEVER', '$', '") + version + QStringLiteral("')"));
    src.execute(QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_EN', 'M8', 'No phone for ''$$''')"));
    src.execute(QStringLiteral("INSERT INTO LEVELS VALUES('E', 'Equipment')"));
    src.execute(QStringLiteral("INSERT INTO TYPES VALUES('S', 'Text')"));
    src.execute(QStringLiteral("INSERT INTO COMPANY VALUES('AC', 'Acme''s Hotel')"));
    src.execute(QStringLiteral("INSERT INTO EQUIPMENT VALUES('GXP2000', 'Desk', 'GRANDSTREAM')"));
    src.execute(QStringLiteral("INSERT INTO EQUIPMENT_PARAMETERS VALUES('GXP2000', '3', 'Name', 'E', 'O''Neil', 'S', '')"));
    src.execute(QStringLiteral("INSERT INTO RANGES VALUES('AC', '100')"));
    src.execute(QStringLiteral("INSERT INTO PHONES VALUES('AC', '100', 'GXP2000', 'Desk', '000B82000001')"));
    src.execute(QStringLiteral("INSERT INTO CREATION_FLAGS VALUES('W', 'Work', 'Y')"));
    src.execute(QStringLiteral("INSERT INTO PHONE_BOOK VALUES('AC', '555', 'Ann', 'W', '', '', '', 'ann@example.com')"));
}

} // namespace

TEST(Creation, CopiesEveryTableWithQuotesAsTyped)
{
    TestSession t(false);
    TestDatabase src;
    fillSource(src.db, t.s.programVersion);
    if (src.engine() == Engine::SQLite) {
        // SQLite lets a non-integer key column hold a null; the copy turns it into an empty text.
        src.db.execute(QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES('$$X', NULL, 'v')"));
    }
    EXPECT_EQ(createDatabase(t.s, src.connectionString(), t.log), CreationOutcome::Created);
    EXPECT_EQ(t.op.messages, QStringList{QStringLiteral("DATABASE CREATED --> RUN PROGRAM AGAIN")});
    EXPECT_EQ(t.value(QStringLiteral("SELECT CO_DESC FROM COMPANY")), QStringLiteral("Acme's Hotel"));
    EXPECT_EQ(t.value(QStringLiteral("SELECT PA_DEFAULT FROM EQUIPMENT_PARAMETERS")), QStringLiteral("O'Neil"));
    EXPECT_EQ(t.value(QStringLiteral("SELECT SY_VALUE FROM SYSTEM_PARAMETERS WHERE SY_SUBCODE = 'M8'")),
              QStringLiteral("No phone for '$$'"));
    EXPECT_EQ(t.value(QStringLiteral("SELECT BK_MAIL FROM PHONE_BOOK")), QStringLiteral("ann@example.com"));
    EXPECT_EQ(t.value(QStringLiteral("SELECT SY_VALUE FROM SYSTEM_PARAMETERS WHERE SY_CODE = '$$BASEVER'")), t.s.programVersion);
    if (src.engine() == Engine::SQLite) {
        EXPECT_EQ(t.count(QStringLiteral("SELECT * FROM SYSTEM_PARAMETERS WHERE SY_CODE = '$$X' AND SY_SUBCODE = ''")), 1);
    }
}

// The source is checked before anything is created, and the schema and rows go in together: a
// creation that stops leaves the working database empty, so the next one starts afresh.
TEST(Creation, AStoppedCreationLeavesTheWorkingDatabaseEmptyForTheNextOne)
{
    TestSession t(false);
    TestDatabase src;
    fillSource(src.db, QStringLiteral("010140"));
    EXPECT_EQ(createDatabase(t.s, src.connectionString(), t.log), CreationOutcome::WrongSourceVersion);
    EXPECT_EQ(t.op.messages, QStringList{QStringLiteral("The Original Database MUST be Version : 010142\r\n"
                                                        "Run this program version on the old database to convert")});
    EXPECT_FALSE(holdsSchemaTables(t.tdb.db));

    // A row the working database refuses (a column too many) rolls back the tables made before it.
    src.db.execute(QStringLiteral("UPDATE SYSTEM_PARAMETERS SET SY_VALUE = '010142' WHERE SY_CODE = '$$BASEVER'"));
    src.db.execute(QStringLiteral("ALTER TABLE TYPES ADD TY_EXTRA nvarchar(5)"));
    EXPECT_THROW(createDatabase(t.s, src.connectionString(), t.log), DbError);
    EXPECT_FALSE(holdsSchemaTables(t.tdb.db));

    // A telephone without a model keeps its null, which an empty text would turn into a broken key.
    TestDatabase good;
    fillSource(good.db, t.s.programVersion);
    good.db.execute(QStringLiteral("INSERT INTO RANGES VALUES('AC', '101')"));
    good.db.execute(QStringLiteral("INSERT INTO PHONES VALUES('AC', '101', NULL, 'Spare', '000B82000002')"));
    EXPECT_EQ(createDatabase(t.s, good.connectionString(), t.log), CreationOutcome::Created);
    EXPECT_EQ(t.count(QStringLiteral("SELECT * FROM PHONES WHERE EQ_CODE IS NULL AND PH_CODE = '101'")), 1);
    EXPECT_EQ(t.count(QStringLiteral("SELECT * FROM PHONES")), 2);

    // Tables without settings are reported, never created over.
    TestSession half(false);
    half.exec(QStringLiteral("CREATE TABLE LEVELS (LE_CODE nvarchar(1), LE_DESC nvarchar(50) NOT NULL, PRIMARY KEY (LE_CODE))"));
    EXPECT_EQ(createDatabase(half.s, good.connectionString(), half.log), CreationOutcome::WorkingIncomplete);
    EXPECT_EQ(half.op.messages, QStringList{kIncompleteDatabase});
    EXPECT_EQ(half.tdb.db.columns(QStringLiteral("SYSTEM_PARAMETERS")).count(), 0);
}

TEST(Creation, MissingOrUnreachableSourceStopsWithItsMessage)
{
    {
        TestSession t(false);
        EXPECT_EQ(createDatabase(t.s, QString(), t.log), CreationOutcome::SourceNotSpecified);
        EXPECT_EQ(t.op.messages.value(0),
                  QStringLiteral("DATABASE CREATION\r\nOriginal Database Not Specified : see Manual (ParamDB.txt )"));
        EXPECT_EQ(t.tdb.db.columns(QStringLiteral("SYSTEM_PARAMETERS")).count(), 0);
    }
    {
        TestSession t(false);
        EXPECT_EQ(createDatabase(t.s, QStringLiteral("Provider=Nowhere;Password=hush"), t.log),
                  CreationOutcome::SourceOpenFailed);
        EXPECT_EQ(t.op.messages.value(0), QStringLiteral("Open Original Database Failed : Provider=Nowhere;Password=****"));
    }
}
