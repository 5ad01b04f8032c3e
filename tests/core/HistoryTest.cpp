// The change history's engine: what a recorder writes, what it masks, and how the history is read.

#include <gtest/gtest.h>

#include "ChangeHistory.h"
#include "TestDatabase.h"

using namespace vocaset;
using vocaset::test::TestSession;

namespace {

QStringList words(const char* text)
{
    return QString::fromUtf8(text).split(u',');
}

struct HistoryData : TestSession
{
    HistoryData()
    {
        for (const char* row :
             {"EQUIPMENT VALUES('GXP', 'Phone', 'GRANDSTREAM')", "SYSTEM_PARAMETERS VALUES('$$GXP', '$$EPWD', '2')",
              "LEVELS VALUES('P', 'Phone')", "TYPES VALUES('S', 'Text')",
              "EQUIPMENT_PARAMETERS VALUES('GXP', '2', 'Admin', 'P', 'admin', 'S', '')",
              "EQUIPMENT_PARAMETERS VALUES('GXP', '34', 'SIP Password', 'P', '', 'S', '')",
              "EQUIPMENT_PARAMETERS VALUES('GXP', '35', 'SIP user', 'P', '', 'S', '')"})
            exec(QStringLiteral("INSERT INTO ") + QLatin1String(row));
    }
};

} // namespace

TEST(ChangeHistory, WrittenOnlyWithTheChangesTransactionAndReadNewestFirst)
{
    HistoryData t;
    ChangeRecorder outside(t.s, QStringLiteral("test"));
    EXPECT_THROW(outside.added(QStringLiteral("COMPANY"), words("CO_CODE,CO_DESC"), words("A,Acme"), 1), DbError);
    {
        Transaction undone(t.s.db);
        ChangeRecorder h(t.s, QStringLiteral("test"));
        h.added(QStringLiteral("COMPANY"), words("CO_CODE,CO_DESC"), words("A,Acme"), 1);
    }
    EXPECT_TRUE(readHistory(t.s.db, {}).isEmpty()) << "a rolled-back change leaves no history";

    {
        Transaction done(t.s.db);
        ChangeRecorder h(t.s, QStringLiteral("test"));
        h.added(QStringLiteral("company"), words("CO_CODE,CO_DESC"), words("A,Acme"), 1);
        h.edited(QStringLiteral("PHONES"), words("CO_CODE,PH_CODE,EQ_CODE,PH_DESC,PH_MAC"),
                 words("A,101,GXP,Desk,000B82000001"), words("A,101,GXP,Hall,000B82000001"), 2);
        done.commit();
    }
    t.s.userName = QStringLiteral("BOB");
    {
        Transaction done(t.s.db);
        ChangeRecorder h(t.s, QStringLiteral("test"));
        h.removed(QStringLiteral("RANGES"), words("CO_CODE,PH_CODE"), words("B,7"), 2);
        h.renamed(QStringLiteral("PHONES"), words("CO_CODE,PH_CODE"), words("A,101"), QStringLiteral("PH_CODE"),
                  QStringLiteral("102"));
        done.commit();
    }
    const QList<HistoryEntry> all = readHistory(t.s.db, {});
    ASSERT_EQ(all.size(), 4);
    const auto line = [](const HistoryEntry& e) {
        return QStringList{e.user, e.operation, e.table, e.key, e.column, e.oldValue, e.newValue, e.company, e.phone}
            .join(u'|');
    };
    EXPECT_EQ(line(all[0]), QStringLiteral("BOB|rename|PHONES|A/101|PH_CODE|101|102|A|102"));
    EXPECT_EQ(line(all[1]), QStringLiteral("BOB|delete|RANGES|B/7||||B|7"));
    EXPECT_EQ(line(all[2]), QStringLiteral("ALICE|edit|PHONES|A/101|PH_DESC|Desk|Hall|A|101"));
    EXPECT_EQ(line(all[3]), QStringLiteral("ALICE|new|COMPANY|A|||CO_DESC=Acme|A|"));
    EXPECT_GE(all[0].time, all[3].time);

    // Filters narrow together; names of tables and users in any case. A telephone's changes include
    // those made under the code it bore before its rename.
    const struct
    {
        const char *company, *phone, *table, *user, *since;
        int limit;
        qsizetype expected;
    } filters[] = {{"A", "", "", "", "", 0, 3},
                   {"A", "102", "", "", "", 0, 2},
                   {"", "", "phones", "alice", "", 0, 1},
                   {"", "", "", "", "2020-01-01", 2, 2},
                   {"", "", "", "", "2999-01-01", 0, 0}};
    for (const auto& f : filters) {
        HistoryFilter filter;
        filter.company = QLatin1String(f.company);
        filter.phone = QLatin1String(f.phone);
        filter.table = QLatin1String(f.table);
        filter.user = QLatin1String(f.user);
        filter.since = *f.since ? *historyTime(QLatin1String(f.since)) : QString();
        filter.limit = f.limit;
        EXPECT_EQ(readHistory(t.s.db, filter).size(), f.expected) << f.company << f.phone << f.table << f.since;
    }
    HistoryFilter record;
    record.table = QStringLiteral("PHONES");
    record.key = historyKey(words("A,101"));
    EXPECT_EQ(readHistory(t.s.db, record).size(), 2);
}

TEST(ChangeHistory, SecretsAreStoredMasked)
{
    HistoryData t;
    Transaction done(t.s.db);
    ChangeRecorder h(t.s, QStringLiteral("test"));
    // The model's login password ($$EPWD names code 2), a parameter described as a password, a tab's
    // password in the settings; a plain parameter and an emptied secret stay readable.
    h.edited(QStringLiteral("PHONES_PARAMETERS"), words("CO_CODE,EQ_CODE,PH_CODE,PA_CODE,PA_VALUE"),
             words("A,GXP,101,2,old"), words("A,GXP,101,2,new"), 4);
    h.added(QStringLiteral("COMPANY_PARAMETERS"), words("CO_CODE,EQ_CODE,PA_CODE,PA_VALUE"), words("A,GXP,34,s3cret"),
            3);
    h.edited(QStringLiteral("COMPANY_PARAMETERS"), words("CO_CODE,EQ_CODE,PA_CODE,PA_VALUE"), words("A,GXP,35,u1"),
             words("A,GXP,35,u2"), 3);
    h.removed(QStringLiteral("EQUIPMENT_PARAMETERS"),
              words("EQ_CODE,PA_CODE,PA_DESC,LE_CODE,PA_DEFAULT,TY_CODE,PA_VALUES"),
              words("GXP,99,Voicemail PASSWORD,P,1234,S,"), 2);
    h.edited(QStringLiteral("SYSTEM_PARAMETERS"), words("SY_CODE,SY_SUBCODE,SY_VALUE"), words("PHONES,$$PWD,open"),
             words("PHONES,$$PWD,"), 2);
    // A tab's second password and a company's provisioning password.
    h.edited(QStringLiteral("SYSTEM_PARAMETERS"), words("SY_CODE,SY_SUBCODE,SY_VALUE"), words("$$PHONES,$$PWD2,a"),
             words("$$PHONES,$$PWD2,b"), 2);
    h.added(QStringLiteral("SYSTEM_PARAMETERS"), words("SY_CODE,SY_SUBCODE,SY_VALUE"), words("A,$$PROVAUTH,digest"), 2);
    h.edited(QStringLiteral("SYSTEM_PARAMETERS"), words("SY_CODE,SY_SUBCODE,SY_VALUE"), words("A,$$PROVAUTH,digest"),
             words("A,$$PROVAUTH,other"), 2);
    done.commit();
    QStringList seen;
    for (const HistoryEntry& e : readHistory(t.s.db, {}))
        seen.prepend(e.oldValue + u'>' + e.newValue);
    EXPECT_EQ(seen, QStringList({QStringLiteral("***>***"), QStringLiteral(">PA_VALUE=***"), QStringLiteral("u1>u2"),
                                 QStringLiteral("PA_DESC=Voicemail PASSWORD; LE_CODE=P; PA_DEFAULT=***; TY_CODE=S>"),
                                 QStringLiteral("***>"), QStringLiteral("***>***"), QStringLiteral(">SY_VALUE=***"),
                                 QStringLiteral("***>***")}));
}

TEST(ChangeHistory, KeysAndDatesAreReadWithoutAmbiguity)
{
    EXPECT_NE(historyKey(words("A/B,C")), historyKey(words("A,B/C")));
    EXPECT_NE(historyKey({QStringLiteral("A\\"), QStringLiteral("B")}), historyKey({QStringLiteral("A\\/B")}));
    const struct
    {
        const char* given;
        const char* stored; // empty: refused
    } dates[] = {{"2026-12-09", "2026-12-09 00:00:00.000000"},
                 {"2026-12-09 14:30", "2026-12-09 14:30:00.000000"},
                 {"2026-12-09T14:30:05Z", "2026-12-09 14:30:05.000000"},
                 {"2026-02-30", ""},
                 {"yesterday", ""},
                 {"09/12/2026", ""},
                 {"", ""}};
    for (const auto& d : dates)
        EXPECT_EQ(historyTime(QLatin1String(d.given)).value_or(QString()), QLatin1String(d.stored)) << d.given;
}

// What a bulk run's snapshot has the database write is what the recorder writes record by record:
// keys escaped alike, nulls and numbers as text, into a company that had no records and into one
// whose records are added, changed and removed.
TEST(ChangeHistory, ABulkRunIsRecordedAsRecordByRecord)
{
    HistoryData t;
    t.exec(QStringLiteral("CREATE TABLE SNAP (CO_CODE nvarchar(5), K nvarchar(20), N integer, V nvarchar(30), "
                          "PRIMARY KEY (CO_CODE, K))"));
    t.exec(QStringLiteral("INSERT INTO SNAP VALUES('B', 'b', 1, 'y')"));
    const QStringList columns = words("CO_CODE,K,N,V");
    const QStringList slashes = {QStringLiteral("A"), QStringLiteral("a/b\\c"), QStringLiteral("12"), QString()};
    const struct
    {
        const char* statements;
        QList<QStringList> added, removed;
        QList<QStringList> edited;   // before, after, ...
        const char* scope = nullptr; // the keys the run names, when it names some
    } runs[] = {
        {"INSERT INTO SNAP VALUES('A', 'a/b\\c', 12, NULL);INSERT INTO SNAP VALUES('A', 'plain', NULL, 'it''s')",
         {slashes, words("A,plain,,it's")},
         {},
         {}},
        {"UPDATE SNAP SET N = 3, V = 'z' WHERE K = 'plain';DELETE FROM SNAP WHERE K = 'a/b\\c';"
         "INSERT INTO SNAP VALUES('A', '\\/', 4, 'n');UPDATE SNAP SET V = 'w' WHERE CO_CODE = 'B';"
         "INSERT INTO SNAP VALUES('A', 'm', NULL, '');INSERT INTO SNAP VALUES('A', 'q', 0, 'x')",
         // Added below, inside and above the keys the company had.
         {words("A,\\/,4,n"), words("A,m,,"), words("A,q,0,x")},
         {slashes},
         {words("A,plain,,it's"), words("A,plain,3,z")}},
        // The company's other records are neither copied nor taken for new ones.
        {"UPDATE SNAP SET V = 'u' WHERE K = 'm';INSERT INTO SNAP VALUES('A', 'n', 1, '')",
         {words("A,n,1,")},
         {},
         {words("A,m,,"), words("A,m,,u")},
         "m,n,zz"},
        {"DELETE FROM SNAP WHERE K = 'n'", {}, {words("A,n,1,")}, {}, "n"},
    };
    for (const auto& run : runs) {
        Transaction tx(t.s.db);
        std::optional<TableSnapshot::Scope> scope;
        if (run.scope)
            scope = TableSnapshot::Scope{QStringLiteral("K"), words(run.scope)};
        TableSnapshot snapshot(t.s.db, QStringLiteral("SNAP"), QStringLiteral("CO_CODE"), QStringLiteral("A"), scope);
        for (const QString& sql : QString::fromUtf8(run.statements).split(u';'))
            t.exec(sql);
        ChangeRecorder bulk(t.s, QStringLiteral("bulk"));
        snapshot.record(bulk);
        ChangeRecorder each(t.s, QStringLiteral("each"));
        for (const QStringList& r : run.added)
            each.added(QStringLiteral("SNAP"), columns, r, 2);
        for (const QStringList& r : run.removed)
            each.removed(QStringLiteral("SNAP"), columns, r, 2);
        for (qsizetype i = 0; i + 1 < run.edited.size(); i += 2)
            each.edited(QStringLiteral("SNAP"), columns, run.edited[i], run.edited[i + 1], 2);
        tx.commit();
    }
    QStringList bulk, each;
    for (const HistoryEntry& e : readHistory(t.s.db, {})) {
        (e.source == QLatin1String("bulk") ? bulk : each)
            .append(QStringList{e.operation, e.table, e.key, e.column, e.oldValue, e.newValue, e.company, e.phone}.join(
                u'|'));
    }
    bulk.sort();
    each.sort();
    EXPECT_EQ(bulk.size(), 11);
    EXPECT_EQ(bulk, each);
}
