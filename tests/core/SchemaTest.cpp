#include <gtest/gtest.h>

#include "TestDatabase.h"

using namespace vocaset;
using vocaset::test::TestSession;

namespace {

// A model with one parameter, a company, a range and a telephone holding a value for it.
void seedModel(TestSession& t)
{
    t.exec(QStringLiteral("INSERT INTO LEVELS VALUES('P', 'Phone')"));
    t.exec(QStringLiteral("INSERT INTO TYPES VALUES('S', 'Text')"));
    t.exec(QStringLiteral("INSERT INTO COMPANY VALUES('AC', 'Acme')"));
    t.exec(QStringLiteral("INSERT INTO EQUIPMENT VALUES('PAP2', 'Adapter', 'PAP2')"));
    t.exec(QStringLiteral("INSERT INTO EQUIPMENT_PARAMETERS VALUES('PAP2', 'Static_Ip', 'Address', 'P', '', 'S', '')"));
    t.exec(QStringLiteral("INSERT INTO RANGES VALUES('AC', '100')"));
    t.exec(QStringLiteral("INSERT INTO PHONES VALUES('AC', '100', 'PAP2', 'Desk', '00AABBCCDDEE')"));
    t.exec(QStringLiteral("INSERT INTO PHONES_PARAMETERS VALUES('AC', 'PAP2', '100', 'Static_Ip', '10.0.0.5')"));
    t.exec(QStringLiteral("INSERT INTO COMPANY_PARAMETERS VALUES('AC', 'PAP2', 'Static_Ip', '10.0.0.1')"));
}

} // namespace

TEST(Schema, RenamingAParameterCodeCascadesToStoredValues)
{
    TestSession t;
    seedModel(t);
    t.exec(QStringLiteral("UPDATE EQUIPMENT_PARAMETERS SET PA_CODE = 'Static_IP' WHERE PA_CODE = 'Static_Ip'"));
    EXPECT_EQ(t.value(QStringLiteral("SELECT PA_CODE FROM PHONES_PARAMETERS")), QStringLiteral("Static_IP"));
    EXPECT_EQ(t.value(QStringLiteral("SELECT PA_CODE FROM COMPANY_PARAMETERS")), QStringLiteral("Static_IP"));
}

TEST(Schema, ForeignKeysRefuseWhatTheyMust)
{
    TestSession t;
    seedModel(t);
    // A range may name a company that does not exist, but no telephone can be stored for it.
    EXPECT_NO_THROW(t.exec(QStringLiteral("INSERT INTO RANGES VALUES('ZZ', '1')")));
    EXPECT_THROW(t.exec(QStringLiteral("INSERT INTO PHONES VALUES('ZZ', '1', 'PAP2', 'x', '001122334455')")), DbError);
    // A range still used by a telephone cannot go.
    EXPECT_THROW(t.exec(QStringLiteral("DELETE FROM RANGES WHERE CO_CODE = 'AC' AND PH_CODE = '100'")), DbError);
    // Phone-book flags must exist.
    t.exec(QStringLiteral("INSERT INTO CREATION_FLAGS VALUES('W', 'Work', 'Y')"));
    EXPECT_NO_THROW(t.exec(QStringLiteral("INSERT INTO PHONE_BOOK VALUES('AC', '1', 'Ann', 'W', '', '', '', '')")));
    EXPECT_THROW(t.exec(QStringLiteral("INSERT INTO PHONE_BOOK VALUES('AC', '2', 'Bob', 'Q', '', '', '', '')")), DbError);
    EXPECT_EQ(t.count(QStringLiteral("SELECT * FROM PHONE_BOOK")), 1);
}

TEST(Schema, TextComparisonsAreCaseSensitive)
{
    TestSession t;
    t.exec(QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES('$$GXP2000', '$$IP1', '9')"));
    EXPECT_EQ(t.count(QStringLiteral("SELECT SY_VALUE FROM SYSTEM_PARAMETERS WHERE SY_CODE LIKE '%gxp2000'")), 0);
    EXPECT_EQ(t.count(QStringLiteral("SELECT SY_VALUE FROM SYSTEM_PARAMETERS WHERE SY_CODE LIKE '%GXP2000'")), 1);
    EXPECT_EQ(t.count(QStringLiteral("SELECT SY_VALUE FROM SYSTEM_PARAMETERS WHERE SY_CODE = '$$gxp2000'")), 0);
}
