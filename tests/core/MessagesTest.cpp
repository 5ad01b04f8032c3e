#include <gtest/gtest.h>

#include "Messages.h"
#include "TestDatabase.h"

using namespace vocaset;
using vocaset::test::TestSession;

TEST(Messages, DescriptionIsLookedUpPerLanguage)
{
    TestSession t;
    t.exec(QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_FR', 'FGENERATE', 'Génération')"));
    EXPECT_EQ(GetDescription(t.s.db, QStringLiteral("FGENERATE"), QStringLiteral("FR")), QStringLiteral("Génération"));
    EXPECT_EQ(GetDescription(t.s, QStringLiteral("FGENERATE")), QString()); // session language EN
    EXPECT_FALSE(findDescription(t.s.db, QStringLiteral("FGENERATE"), QStringLiteral("EN")).has_value());
}

TEST(Messages, EveryPlaceHolderTakesTheArgumentOnce)
{
    TestSession t;
    t.exec(QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_EN', 'M32', 'File $$ exists. Replace $$?')"));
    bool show = false;
    const QString text = GetMessage(t.s, QStringLiteral("M32"), QStringLiteral("/tmp/a$$b.csv"), show);
    EXPECT_EQ(text, QStringLiteral("File /tmp/a$$b.csv exists. Replace /tmp/a$$b.csv?"));
    EXPECT_FALSE(show);
    EXPECT_TRUE(t.op.messages.isEmpty());
    show = true;
    GetMessage(t.s, QStringLiteral("M32"), QStringLiteral("x"), show);
    EXPECT_EQ(t.op.messages, QStringList{QStringLiteral("File x exists. Replace x?")});
}

TEST(Messages, MissingOrEmptyMessageFallsBackAndIsShown)
{
    TestSession t;
    t.s.language = QStringLiteral("DE");
    t.exec(QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_DE', 'M2', '')"));
    for (const QString& code : {QStringLiteral("M1"), QStringLiteral("M2")}) {
        bool show = false;
        const QString text = GetMessage(t.s, code, QStringLiteral("$$arg"), show);
        EXPECT_EQ(text, QStringLiteral("Message Not Found : ") + code + QStringLiteral(" Language : DE"));
        EXPECT_TRUE(show);
    }
    EXPECT_EQ(t.op.messages.size(), 2);
}
