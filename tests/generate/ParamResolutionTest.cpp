#include "ParamResolution.h"

#include <gtest/gtest.h>

#include "GenerateFixture.h"

namespace vocaset::test {
namespace {

class ExpandMacrosTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        d.company(QStringLiteral("AC"));
        d.model(QStringLiteral("GXP"), QStringLiteral("GRANDSTREAM"));
        d.phone(QStringLiteral("AC"), QStringLiteral("12345"), QStringLiteral("GXP"), QStringLiteral("Front desk"),
                QStringLiteral("001122AABBCC"));
        d.current(QStringLiteral("AC"), QStringLiteral("12345"));
    }
    QString expand(const QString& text) { return ExpandMacros(d.s, text); }

    GenerateData d;
};

TEST_F(ExpandMacrosTest, ReplacesPlaceHoldersAndSubstrings)
{
    EXPECT_EQ(expand(QStringLiteral("sip$$P")), QStringLiteral("sip12345"));
    EXPECT_EQ(expand(QStringLiteral("$$P,2,2")), QStringLiteral("23"));
    EXPECT_EQ(expand(QStringLiteral("$$P,0,2")), QStringLiteral("12345"));
    EXPECT_EQ(expand(QStringLiteral("$$N,7,20")), QStringLiteral("desk"));
    EXPECT_EQ(expand(QStringLiteral("$$P,9,2")), QString());
    // Every occurrence of a token is replaced in one pass, even one that would not stand as a token
    // by itself; different place-holders are expanded one after the other.
    EXPECT_EQ(expand(QStringLiteral("$$P $$P-x")), QStringLiteral("12345 12345-x"));
    EXPECT_EQ(expand(QStringLiteral("$$P $$N")), QStringLiteral("12345 Front desk"));
    EXPECT_EQ(expand(QStringLiteral("$$P,4,2 $$P")), QStringLiteral("45 12345"));
    EXPECT_EQ(expand(QStringLiteral("name='$$N'")), QStringLiteral("name='Front desk'"));
    EXPECT_EQ(expand(QStringLiteral("no marks at all")), QStringLiteral("no marks at all"));
    EXPECT_TRUE(d.op.messages.isEmpty());
    EXPECT_FALSE(d.s.runError);
}

TEST_F(ExpandMacrosTest, TextWithoutMarkDoesNotNeedATelephone)
{
    d.s.currentPhone = Recordset();
    EXPECT_EQ(expand(QStringLiteral("plain $ text")), QStringLiteral("plain $ text"));
    EXPECT_FALSE(d.s.runError);
}

TEST_F(ExpandMacrosTest, MalformedTokensReportTheTokenAndSetRunError)
{
    const struct
    {
        QString text, token, partial;
    } cases[] = {
        {QStringLiteral("$$P,2"), QStringLiteral("$$P,2"), QStringLiteral("$$P,2")},
        {QStringLiteral("$$P,x,2"), QStringLiteral("$$P,x,2"), QStringLiteral("$$P,x,2")},
        {QStringLiteral("$$P,2,"), QStringLiteral("$$P,2,"), QStringLiteral("$$P,2,")},
        {QStringLiteral("$$P,-1,2"), QStringLiteral("$$P,-1,2"), QStringLiteral("$$P,-1,2")},
        {QStringLiteral("$$P,1,-2"), QStringLiteral("$$P,1,-2"), QStringLiteral("$$P,1,-2")},
        {QStringLiteral("$$P,40000,1"), QStringLiteral("$$P,40000,1"), QStringLiteral("$$P,40000,1")},
        {QStringLiteral("$$p"), QStringLiteral("$$p"), QStringLiteral("$$p")},
        {QStringLiteral("$$P.1"), QStringLiteral("$$P.1"), QStringLiteral("$$P.1")},
        // The apostrophe rule comes before the blank rule.
        {QStringLiteral("$$N x'y"), QStringLiteral("$$N x"), QStringLiteral("$$N x'y")},
        // The text expanded so far comes back.
        {QStringLiteral("$$P and $$X"), QStringLiteral("$$X"), QStringLiteral("12345 and $$X")},
    };
    for (const auto& c : cases) {
        d.op.messages.clear();
        d.s.runError = false;
        EXPECT_EQ(expand(c.text), c.partial) << c.text.toStdString();
        EXPECT_EQ(d.op.messages, QStringList{QStringLiteral("M6:") + c.token}) << c.text.toStdString();
        EXPECT_TRUE(d.s.runError) << c.text.toStdString();
    }
}

TEST_F(ExpandMacrosTest, InsertedTextIsNeverScannedAgain)
{
    d.exec(QStringLiteral("UPDATE PHONES SET PH_DESC = 'a$$N b $$P'"));
    d.current(QStringLiteral("AC"), QStringLiteral("12345"));
    EXPECT_EQ(expand(QStringLiteral("$$N $$P")), QStringLiteral("a$$N b $$P 12345"));
    EXPECT_FALSE(d.s.runError);
}

TEST_F(ExpandMacrosTest, WholeInsertStatementKeepsItsQuotes)
{
    const QString sql = QStringLiteral("INSERT INTO EQ_TEMP VALUES('3', 'User', 'sip$$P', 'E')");
    EXPECT_EQ(expand(sql), QStringLiteral("INSERT INTO EQ_TEMP VALUES('3', 'User', 'sip12345', 'E')"));
}

class GetParamValueTest : public ExpandMacrosTest
{
protected:
    void SetUp() override
    {
        ExpandMacrosTest::SetUp();
        const QString gxp = QStringLiteral("GXP");
        d.param(gxp, QStringLiteral("E1"), QStringLiteral("E"), QStringLiteral("def-$$P"));
        d.param(gxp, QStringLiteral("C1"), QStringLiteral("C"), QStringLiteral("c-default"));
        d.param(gxp, QStringLiteral("P1"), QStringLiteral("P"), QStringLiteral("p-default"));
        d.param(gxp, QStringLiteral("D1"), QStringLiteral("D"), QStringLiteral("d-default"));
        d.param(gxp, QStringLiteral("X1"), QStringLiteral("X"), QStringLiteral("x-default"));
        d.companyValue(QStringLiteral("AC"), gxp, QStringLiteral("C1"), QStringLiteral("user$$P,4,2"));
        d.phoneValue(QStringLiteral("AC"), gxp, QStringLiteral("12345"), QStringLiteral("P1"),
                     QStringLiteral("it's $$N"));
    }
    QString value(const char* code) { return GetParamValue(d.s, QLatin1String(code)); }
};

TEST_F(GetParamValueTest, ReadsOnlyTheCatalogueLevel)
{
    EXPECT_EQ(value("E1"), QStringLiteral("def-$$P")); // defaults are not expanded
    EXPECT_EQ(value("C1"), QStringLiteral("user45"));
    EXPECT_EQ(value("P1"), QStringLiteral("it's Front desk"));
    EXPECT_TRUE(d.op.messages.isEmpty());
    EXPECT_FALSE(d.s.runError);
}

TEST_F(GetParamValueTest, MissingValuesAreReportedWithoutFallBack)
{
    d.exec(QStringLiteral("DELETE FROM COMPANY_PARAMETERS"));
    d.exec(QStringLiteral("DELETE FROM PHONES_PARAMETERS"));
    EXPECT_EQ(value("C1"), QString());
    EXPECT_EQ(value("P1"), QString());
    EXPECT_EQ(value("D1"), QString());
    EXPECT_EQ(value("X1"), QString());
    EXPECT_EQ(value("NOPE"), QString());
    EXPECT_EQ(d.op.messages, (QStringList{QStringLiteral("M5:C1"), QStringLiteral("M4:P1"), QStringLiteral("M3:D1"),
                                          QStringLiteral("M2:X1"), QStringLiteral("M1:NOPE")}));
    EXPECT_FALSE(d.s.runError);
}

TEST_F(GetParamValueTest, KeepsTheCurrentTelephoneAndQuotesCodes)
{
    d.phone(QStringLiteral("AC"), QStringLiteral("2"), QStringLiteral("GXP"), QStringLiteral("Second"),
            QStringLiteral("001122AABBCD"));
    d.s.currentPhone = d.tdb.db.execute(QStringLiteral("SELECT * FROM PHONES ORDER BY PH_CODE"));
    d.s.currentPhone.moveNext();
    EXPECT_EQ(value("C1"), QStringLiteral("user")); // "2" has no characters from position 4
    EXPECT_EQ(d.s.currentPhone.text(QStringLiteral("PH_CODE")), QStringLiteral("2"));
    EXPECT_EQ(d.s.currentPhone.position(), 2);
    EXPECT_EQ(value("it's"), QString());
    EXPECT_EQ(d.op.messages, QStringList{QStringLiteral("M1:it's")});
}

} // namespace
} // namespace vocaset::test
