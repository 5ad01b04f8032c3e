// Tab rights, the tab catalogue and the two passwords of the editor's tabs.

#include <gtest/gtest.h>

#include "EditorAccess.h"
#include "EditorFixture.h"

namespace vocaset::test {
namespace {

TEST(TabRights, FlagPerTabNumber)
{
    struct Case
    {
        const char* rights;
        const char* tab;
        bool allowed;
    };
    const Case cases[] = {
        {"*", "12", true},   {"YNy", "1", true}, {"YNy", "2", false}, {"YNy", "3", true},
        {"YNy", "4", false}, // beyond the end of the text
        {"YNy", "03", true}, {" Y", "1", false}, {"xY", "1", false},  {"Y", "0", false},
        {"Y", "-1", false},  {"Y", "a", false},  {"**", "1", false},  {"", "1", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(tabAllowed(QLatin1String(c.rights), QLatin1String(c.tab)), c.allowed) << c.rights << " / " << c.tab;
}

TEST(TabRights, EverybodyRowWinsOverUserRows)
{
    EditorData d;
    EXPECT_FALSE(readTabRights(d.tdb.db, QStringLiteral("ALICE")));
    d.setting(QStringLiteral("AUTHC"), QStringLiteral("ALICE"), QStringLiteral("YN"));
    d.setting(QStringLiteral("AUTHC"), QStringLiteral("O'HARA"), QStringLiteral("NY"));
    EXPECT_EQ(readTabRights(d.tdb.db, QStringLiteral("alice")), QStringLiteral("YN"));
    EXPECT_EQ(readTabRights(d.tdb.db, QStringLiteral("O'HARA")), QStringLiteral("NY"));
    d.setting(QStringLiteral("AUTHC"), QStringLiteral("*"), QStringLiteral("N"));
    EXPECT_EQ(readTabRights(d.tdb.db, QStringLiteral("ALICE")), QStringLiteral("N"));
}

QStringList tables(const QList<EditorTab>& tabs)
{
    QStringList out;
    for (const EditorTab& t : tabs)
        out.append(t.table);
    return out;
}

TEST(Tabs, TextOrderRightsAndTheSettingsFallback)
{
    EditorData d;
    const QStringList fallback{QStringLiteral("SYSTEM_PARAMETERS")};
    d.setting(QStringLiteral("$$TABS"), QStringLiteral("2"), QStringLiteral("COMPANY"));
    d.setting(QStringLiteral("$$TABS"), QStringLiteral("10"), QStringLiteral("RANGES"));
    d.setting(QStringLiteral("$$TABS"), QStringLiteral("1"), QStringLiteral("PHONES"));
    EXPECT_EQ(tables(loadTabs(d.s)), fallback) << "no rights row";

    d.setting(QStringLiteral("AUTHC"), QStringLiteral("ALICE"), QStringLiteral("NNNNNNNNNN"));
    EXPECT_EQ(tables(loadTabs(d.s)), fallback) << "no allowed tab";

    d.exec(QStringLiteral("UPDATE SYSTEM_PARAMETERS SET SY_VALUE = 'yYNNNNNNNY' WHERE SY_CODE = 'AUTHC'"));
    // "10" sorts between "1" and "2".
    EXPECT_EQ(tables(loadTabs(d.s)),
              (QStringList{QStringLiteral("PHONES"), QStringLiteral("RANGES"), QStringLiteral("COMPANY")}));

    d.exec(QStringLiteral("DELETE FROM SYSTEM_PARAMETERS WHERE SY_CODE = '$$TABS'"));
    EXPECT_EQ(tables(loadTabs(d.s)), fallback) << "no tab rows";
}

TEST(Passwords, AccessModeForEachCombination)
{
    struct Case
    {
        const char* first; // nullptr: no row
        const char* second;
        std::optional<const char*> typed; // nothing: cancelled
        AccessMode mode;
        bool asked;
    };
    const Case cases[] = {
        {nullptr, "b", "b", AccessMode::True, false}, // no first password: never asked, never Admin
        {"a", "b", "a", AccessMode::True, true},
        {"a", "b", "b", AccessMode::Admin, true},
        {"a", "b", "B", AccessMode::False, true}, // case counts
        {"a", "b", std::nullopt, AccessMode::False, true},
        {"a", nullptr, "", AccessMode::False, true}, // an empty answer never opens the system rows
        {"a", nullptr, std::nullopt, AccessMode::False, true},
        {"a", "", "", AccessMode::False, true},
        {"a", "a", "a", AccessMode::True, true},
        {"", "b", std::nullopt, AccessMode::True, true}, // an empty first password is no barrier
        {"it's", "x", "it's", AccessMode::True, true},
    };
    EditorData d;
    d.setting(QStringLiteral("$$DESC_EN"), QStringLiteral("M100"), QStringLiteral("Wrong password."));
    for (const Case& c : cases) {
        d.exec(QStringLiteral("DELETE FROM SYSTEM_PARAMETERS WHERE SY_SUBCODE LIKE '$$PWD%'"));
        if (c.first)
            d.setting(QStringLiteral("RANGES"), QStringLiteral("$$PWD"), QLatin1String(c.first));
        if (c.second)
            d.setting(QStringLiteral("$$RANGES"), QStringLiteral("$$PWD2"), QLatin1String(c.second));
        int asked = 0;
        const TabAccess access = decideAccess(d.s, QStringLiteral("RANGES"), [&]() -> std::optional<QString> {
            ++asked;
            if (!c.typed)
                return std::nullopt;
            return QString::fromUtf8(*c.typed);
        });
        const std::string name = std::string(c.first ? c.first : "-") + "/" + (c.second ? c.second : "-") + "/" +
                                 (c.typed ? *c.typed : "cancel");
        EXPECT_EQ(access.mode, c.mode) << name;
        EXPECT_EQ(asked, c.asked ? 1 : 0) << name;
        EXPECT_EQ(access.error, c.mode == AccessMode::False ? QStringLiteral("Wrong password.") : QString()) << name;
        EXPECT_TRUE(d.op.messages.isEmpty()) << name;
    }
}

} // namespace
} // namespace vocaset::test
