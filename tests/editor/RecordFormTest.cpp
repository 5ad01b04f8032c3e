// Editing records: lookups with place-holders, the insert chain, the three statements, the checks
// that keep bad data out, and edits on every table of the demo database.

#include <gtest/gtest.h>

#include "EditorFixture.h"
#include "Lookups.h"
#include "RecordForm.h"
#include "RecordList.h"

namespace vocaset::test {
namespace {

TEST(Placeholders, EveryPositionAndValueIsQuoted)
{
    const auto values = [](const QString& name) {
        if (name == u"CO_CODE")
            return QStringLiteral("O'H&CO_CODE");
        if (name == u"CO")
            return QStringLiteral("short");
        return QStringLiteral("?");
    };
    struct Case
    {
        const char* in;
        const char* out;
    };
    const Case cases[] = {
        {"SELECT A FROM T WHERE C = &CO_CODE", "SELECT A FROM T WHERE C = 'O''H&CO_CODE'"},
        {"SELECT A FROM T WHERE C = &CO_CODE ORDER BY A", "SELECT A FROM T WHERE C = 'O''H&CO_CODE' ORDER BY A"},
        {"SELECT A FROM T WHERE C IN (&CO_CODE)", "SELECT A FROM T WHERE C IN ('O''H&CO_CODE')"},
        {"SELECT A FROM T WHERE C = &CO AND D = &CO_CODE", "SELECT A FROM T WHERE C = 'short' AND D = 'O''H&CO_CODE'"},
        {"SELECT A FROM T WHERE C = &NOPE", "SELECT A FROM T WHERE C = '?'"},
        {"SELECT A & 1 FROM T", "SELECT A & 1 FROM T"},
        {"SELECT 1", "SELECT 1"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(expandPlaceholders(QLatin1String(c.in), values), QLatin1String(c.out));
}

QStringList codes(const QStringList& entries)
{
    QStringList out;
    for (const QString& e : entries)
        out.append(e.section(QStringLiteral(" \\\\ "), 0, 0));
    return out;
}

class FormTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        for (const char* co : {"AC", "BB"})
            d.exec(QStringLiteral("INSERT INTO COMPANY VALUES('%1', 'Company %1')").arg(QLatin1String(co)));
        d.exec(QStringLiteral("INSERT INTO EQUIPMENT VALUES('GXP', 'Grand', 'GRANDSTREAM')"));
        d.exec(QStringLiteral("INSERT INTO EQUIPMENT VALUES('PAP', 'Linksys', 'PAP2')"));
        d.exec(QStringLiteral("INSERT INTO LEVELS VALUES('P', 'Phone')"));
        d.exec(QStringLiteral("INSERT INTO TYPES VALUES('T', 'Text')"));
        for (const char* eq : {"GXP", "PAP"})
            for (const char* pa : {"1", "2"})
                d.exec(QStringLiteral("INSERT INTO EQUIPMENT_PARAMETERS VALUES('%1', '%2', 'd', 'P', '', 'T', '')")
                           .arg(QLatin1String(eq), QLatin1String(pa)));
        d.exec(QStringLiteral("INSERT INTO RANGES VALUES('AC', '101')"));
        d.exec(QStringLiteral("INSERT INTO RANGES VALUES('AC', '102')"));
        d.exec(QStringLiteral("INSERT INTO RANGES VALUES('AC', '103')"));
        d.exec(QStringLiteral("INSERT INTO PHONES VALUES('AC', '101', 'GXP', 'Desk', '001122334455')"));
        d.exec(QStringLiteral("INSERT INTO PHONES VALUES('AC', '102', 'PAP', 'Hall', '001122334466')"));
        d.setting(QStringLiteral("$$PHONES_PARAMETERS"), QStringLiteral("L_CO_CODE"),
                  QStringLiteral("SELECT CO_CODE, CO_DESC FROM COMPANY ORDER BY CO_CODE"));
        d.setting(QStringLiteral("$$PHONES_PARAMETERS"), QStringLiteral("L_EQ_CODE"),
                  QStringLiteral("SELECT DISTINCT EQ_CODE FROM PHONES WHERE CO_CODE = &CO_CODE ORDER BY EQ_CODE"));
        d.setting(QStringLiteral("$$PHONES_PARAMETERS"), QStringLiteral("L_PH_CODE"),
                  QStringLiteral("SELECT PH_CODE, PH_DESC FROM PHONES WHERE CO_CODE = &CO_CODE AND EQ_CODE = "
                                 "&EQ_CODE ORDER BY PH_CODE"));
        d.setting(QStringLiteral("$$PHONES_PARAMETERS"), QStringLiteral("L_PA_CODE"),
                  QStringLiteral("SELECT PA_CODE FROM EQUIPMENT_PARAMETERS WHERE EQ_CODE = &EQ_CODE ORDER BY PA_CODE"));
        d.setting(QStringLiteral("$$PHONES"), QStringLiteral("L_EQ_CODE"),
                  QStringLiteral("SELECT EQ_CODE, EQ_DESC FROM EQUIPMENT ORDER BY EQ_CODE"));
        for (const char* m : {"M17", "M18", "M19"})
            d.setting(QStringLiteral("$$DESC_EN"), QLatin1String(m), QLatin1String(m) + QStringLiteral(" text"));
    }

    RecordForm form(const char* table, AccessMode mode = AccessMode::True)
    {
        return RecordForm(d.s, readCatalogue(d.s, QLatin1String(table)), mode);
    }
    QStringList row(const char* table, const char* where)
    {
        const Recordset rs = d.tdb.db.execute(
            QStringLiteral("SELECT * FROM %1 WHERE %2").arg(QLatin1String(table), QLatin1String(where)));
        QStringList out;
        if (!rs.isEmpty())
            for (int i = 0; i < rs.fieldCount(); ++i)
                out.append(rs.text(i));
        return out;
    }
    static int entry(const EditRow& r, const char* code) { return int(codes(r.entries).indexOf(QLatin1String(code))); }

    EditorData d;
};

TEST_F(FormTest, InsertChainFillsEachDropDownFromTheChoicesBefore)
{
    RecordForm f = form("PHONES_PARAMETERS");
    ASSERT_TRUE(f.startNew());
    const auto& r = f.rows();
    ASSERT_EQ(r.size(), 5);
    EXPECT_EQ(codes(r[0].entries), (QStringList{QStringLiteral("AC"), QStringLiteral("BB")}));
    EXPECT_TRUE(r[0].comboEnabled);
    for (int i = 1; i <= 3; ++i)
        EXPECT_TRUE(r[i].comboShown && !r[i].comboEnabled && r[i].entries.isEmpty()) << i;
    EXPECT_TRUE(r[4].textShown && r[4].textEnabled);
    EXPECT_FALSE(f.okEnabled());

    f.choose(0, entry(r[0], "AC"));
    EXPECT_EQ(codes(r[1].entries), (QStringList{QStringLiteral("GXP"), QStringLiteral("PAP")}));
    EXPECT_TRUE(r[1].comboEnabled);
    f.choose(1, entry(r[1], "PAP"));
    EXPECT_EQ(codes(r[2].entries), (QStringList{QStringLiteral("102")}));
    f.choose(2, 0);
    EXPECT_EQ(codes(r[3].entries), (QStringList{QStringLiteral("1"), QStringLiteral("2")}));
    EXPECT_FALSE(f.okEnabled());
    f.choose(3, entry(r[3], "2"));
    EXPECT_TRUE(f.okEnabled()) << "the value may stay empty";

    // A new first choice empties and disables the rest of the chain.
    f.choose(0, entry(r[0], "BB"));
    EXPECT_FALSE(f.okEnabled());
    EXPECT_TRUE(r[1].comboEnabled && r[1].entries.isEmpty()) << "BB has no telephone";
    for (int i = 2; i <= 3; ++i)
        EXPECT_TRUE(!r[i].comboEnabled && r[i].entries.isEmpty()) << i;

    f.choose(0, entry(r[0], "AC"));
    f.choose(1, entry(r[1], "GXP"));
    f.choose(2, 0);
    f.choose(3, entry(r[3], "1"));
    f.setText(4, QStringLiteral("it's & \"typed\""));
    EXPECT_EQ(f.statement(), QStringLiteral("INSERT INTO PHONES_PARAMETERS VALUES('AC', 'GXP', '101', '1', "
                                            "'it''s & \"typed\"' )"));
    f.setText(4, QStringLiteral("it's typed"));
    EXPECT_EQ(f.save().outcome, SaveResult::Saved);
    EXPECT_EQ(f.operation(), Operation::None);
    EXPECT_EQ(row("PHONES_PARAMETERS", "PH_CODE = '101'").value(4), QStringLiteral("it's typed"));
}

TEST_F(FormTest, KeysMustBeTypedBeforeOk)
{
    RecordForm f = form("COMPANY");
    ASSERT_TRUE(f.startNew());
    EXPECT_FALSE(f.okEnabled());
    f.setText(0, QStringLiteral("O'H"));
    EXPECT_TRUE(f.okEnabled());
    f.setText(0, QString());
    EXPECT_FALSE(f.okEnabled()) << "an emptied key disables Ok again";
    f.setText(0, QStringLiteral("O'H"));
    EXPECT_EQ(f.save().outcome, SaveResult::Saved);
    EXPECT_EQ(row("COMPANY", "CO_CODE = 'O''H'").value(1), QString()) << "the name may stay empty";

    // A second insert of the same code fails with M17, says why in words with the engine's text as
    // detail, and keeps what was typed.
    ASSERT_TRUE(f.startNew());
    f.setText(0, QStringLiteral("O'H"));
    f.setText(1, QStringLiteral("again"));
    const SaveResult failed = f.save();
    EXPECT_EQ(failed.outcome, SaveResult::Failed);
    EXPECT_EQ(failed.message, QStringLiteral("M17 text This code is already used: CO_CODE = O'H."));
    EXPECT_TRUE(failed.detail.startsWith(QStringLiteral("The database answered: "))) << failed.detail.toStdString();
    EXPECT_EQ(f.operation(), Operation::Insert);
    EXPECT_EQ(f.rows()[1].text, QStringLiteral("again"));
}

TEST_F(FormTest, EditWritesOnlyWhatChanged)
{
    d.exec(QStringLiteral("INSERT INTO PHONES_PARAMETERS VALUES('AC', 'GXP', '101', '1', 'old')"));
    const TableCatalogue phones = readCatalogue(d.s, QStringLiteral("PHONES"));
    const QStringList listed = cellTexts(listRecords(d.s, phones, AccessMode::True, {}).rows.value(0));
    RecordForm f(d.s, phones, AccessMode::True);

    ASSERT_TRUE(f.startEdit(listed));
    const auto& r = f.rows();
    EXPECT_TRUE(r[0].textShown && r[1].textShown && !r[0].textEnabled && !r[1].textEnabled)
        << "keys are shown as listed, read-only";
    EXPECT_TRUE(r[2].comboShown);
    EXPECT_EQ(r[2].comboValue(), QStringLiteral("GXP"));
    EXPECT_TRUE(f.okEnabled());
    bool changed = true;
    f.statement(&changed);
    EXPECT_FALSE(changed);
    EXPECT_EQ(f.save().outcome, SaveResult::NothingToSave);
    EXPECT_EQ(f.operation(), Operation::None);

    ASSERT_TRUE(f.startEdit(listed));
    f.setText(3, QStringLiteral("Desk 'A'"));
    EXPECT_EQ(f.statement(),
              QStringLiteral("UPDATE PHONES SET PH_DESC = 'Desk ''A''' WHERE CO_CODE = 'AC' AND PH_CODE = '101'"));
    const SaveResult saved = f.save();
    EXPECT_EQ(saved.outcome, SaveResult::Saved);
    EXPECT_EQ(saved.cells.value(3), QStringLiteral("Desk 'A'"));
    EXPECT_EQ(row("PHONES", "PH_CODE = '101'").value(3), QStringLiteral("Desk 'A'"));

    // A stored value that the lookup does not offer shows no choice and stays as it is.
    d.exec(QStringLiteral("UPDATE SYSTEM_PARAMETERS SET SY_VALUE = 'SELECT EQ_CODE FROM EQUIPMENT WHERE EQ_CODE = "
                          "''PAP''' WHERE SY_CODE = '$$PHONES'"));
    ASSERT_TRUE(f.startEdit(listed));
    EXPECT_EQ(f.rows()[2].choice, -1);
    f.setText(3, QStringLiteral("Desk B"));
    EXPECT_EQ(f.statement(),
              QStringLiteral("UPDATE PHONES SET PH_DESC = 'Desk B' WHERE CO_CODE = 'AC' AND PH_CODE = '101'"));
    EXPECT_EQ(f.save().cells.value(2), QStringLiteral("GXP")) << "the list keeps the model it was not given";

    // A key is never written by an edit, so no code is split between the rows that name it.
    RecordForm catalogue = form("EQUIPMENT_PARAMETERS");
    ASSERT_TRUE(catalogue.startEdit({QStringLiteral("GXP"), QStringLiteral("1"), QStringLiteral("d"),
                                     QStringLiteral("P"), QString(), QStringLiteral("T"), QString()}));
    EXPECT_FALSE(catalogue.setValue(1, QStringLiteral("P1")));
    catalogue.setText(1, QStringLiteral("P1"));
    catalogue.setText(2, QStringLiteral("described"));
    EXPECT_EQ(catalogue.statement(), QStringLiteral("UPDATE EQUIPMENT_PARAMETERS SET PA_DESC = 'described' WHERE "
                                                    "EQ_CODE = 'GXP' AND PA_CODE = '1'"));
    EXPECT_EQ(catalogue.save().outcome, SaveResult::Saved);
    EXPECT_EQ(row("PHONES_PARAMETERS", "PH_CODE = '101'").value(3), QStringLiteral("1"));
}

TEST_F(FormTest, ChecksRefuseWhatTheGenerationWouldRefuse)
{
    struct Case
    {
        const char* table;
        AccessMode mode;
        std::vector<const char*> values;
        bool refused;
        const char* says;
    };
    const Case cases[] = {
        {"PHONES", AccessMode::True, {"AC", "103", "GXP", "d", "00112233445G"}, true, "00112233445G"},
        {"PHONES", AccessMode::True, {"AC", "103", "GXP", "d", "0011223344"}, true, "0011223344"},
        {"PHONES", AccessMode::True, {"AC", "103", "GXP", "d", "aabbccddeeff"}, false, ""},
        {"PHONES_PARAMETERS", AccessMode::True, {"AC", "GXP", "101", "1", "a&b"}, true, "&"},
        {"PHONES_PARAMETERS", AccessMode::True, {"AC", "PAP", "102", "1", "a&b"}, false, ""},
        {"PHONES_PARAMETERS", AccessMode::True, {"AC", "PAP", "102", "1", "a\r\nb"}, true, "parameter 1"},
        {"EQUIPMENT_PARAMETERS", AccessMode::True, {"PAP", "X\nY", "d", "P", "", "T", ""}, true, "code"},
        {"EQUIPMENT_PARAMETERS", AccessMode::True, {"GXP", "3", "d", "P", "a&b", "T", "a&b"}, true, "parameter 3"},
        {"COMPANY", AccessMode::True, {"$$X", "d"}, true, "CO_CODE"},
        {"COMPANY", AccessMode::Admin, {"X", "d"}, true, "CO_CODE"},
        {"COMPANY", AccessMode::Admin, {"$$X", "d"}, false, ""},
    };
    for (const Case& c : cases) {
        RecordForm f = form(c.table, c.mode);
        ASSERT_TRUE(f.startNew());
        // Type or choose each value; drop-downs are chained, so they are taken in order.
        QStringList values;
        for (int i = 0; i < int(c.values.size()); ++i) {
            values.append(QString::fromUtf8(c.values[i]));
            const EditRow& r = f.rows()[i];
            if (r.comboShown)
                f.choose(i, int(codes(r.entries).indexOf(values.last())));
            else
                f.setText(i, values.last());
        }
        const SaveResult result = f.save();
        const std::string name = std::string(c.table) + " " + values.join(u'|').toStdString();
        EXPECT_EQ(result.outcome, c.refused ? SaveResult::Refused : SaveResult::Saved)
            << name << " " << result.message.toStdString();
        EXPECT_TRUE(result.message.contains(QLatin1String(c.says))) << name << " " << result.message.toStdString();
        EXPECT_EQ(f.operation(), c.refused ? Operation::Insert : Operation::None) << name;
    }

    // An Edit checks what it writes: an old bad MAC does not block a new description, a new one is refused.
    d.exec(QStringLiteral("UPDATE PHONES SET PH_MAC = 'bad' WHERE PH_CODE = '101'"));
    RecordForm f = form("PHONES");
    ASSERT_TRUE(f.startEdit(row("PHONES", "PH_CODE = '101'")));
    f.setText(3, QStringLiteral("New"));
    EXPECT_EQ(f.save().outcome, SaveResult::Saved);
    ASSERT_TRUE(f.startEdit(row("PHONES", "PH_CODE = '101'")));
    f.setText(4, QStringLiteral("still bad"));
    EXPECT_EQ(f.save().outcome, SaveResult::Refused);
}

TEST_F(FormTest, FailingLookupIsReportedAndTheFormStaysUsable)
{
    d.exec(QStringLiteral("UPDATE SYSTEM_PARAMETERS SET SY_VALUE = 'SELECT NOPE FROM NOWHERE' WHERE SY_CODE = "
                          "'$$PHONES_PARAMETERS' AND SY_SUBCODE = 'L_CO_CODE'"));
    RecordForm f = form("PHONES_PARAMETERS");
    ASSERT_TRUE(f.startNew());
    EXPECT_TRUE(f.lookupError().contains(QLatin1String("NOWHERE"), Qt::CaseInsensitive))
        << f.lookupError().toStdString();
    EXPECT_TRUE(f.rows()[0].entries.isEmpty());
    f.end();
    EXPECT_EQ(f.operation(), Operation::None);
}

// Every tab of the demo database: each table lists, opens its first record, saves a changed text
// column and reads back what was typed, apostrophe included.
TEST(DemoTables, EveryTableEditsAndRefusesDeletesOfUsedCodes)
{
    DemoData demo;
    if (!demo.ready)
        GTEST_SKIP() << "the demo source database has not been built";
    const QList<EditorTab> tabs = loadTabs(demo.s);
    ASSERT_GE(tabs.size(), 12);
    for (const EditorTab& tab : tabs) {
        const TableCatalogue cat = readCatalogue(demo.s, tab.table);
        const ListedRecords listed = listRecords(demo.s, cat, AccessMode::True, {});
        ASSERT_FALSE(listed.rows.isEmpty()) << tab.table.toStdString();
        RecordForm f(demo.s, cat, AccessMode::True);
        ASSERT_TRUE(f.startEdit(cellTexts(listed.rows.first())));
        int changedRow = -1;
        for (int i = 0; i < f.rows().size() && changedRow < 0; ++i)
            if (f.rows()[i].textShown && !f.rows()[i].key)
                changedRow = i;
        if (changedRow < 0) // RANGES: keys only
            continue;
        f.setText(changedRow, QStringLiteral("O'x"));
        const SaveResult saved = f.save();
        EXPECT_EQ(saved.outcome, SaveResult::Saved) << tab.table.toStdString() << " " << saved.message.toStdString();
        const ListedRecords after = listRecords(demo.s, cat, AccessMode::True, {});
        EXPECT_TRUE(std::any_of(after.rows.begin(), after.rows.end(), [&](const QVariantList& row) {
            return cellTexts(row) == saved.cells;
        })) << tab.table.toStdString();
    }
    const QString m18 = demo.value(
        QStringLiteral("SELECT SY_VALUE FROM SYSTEM_PARAMETERS WHERE SY_CODE = '$$DESC_EN' AND SY_SUBCODE = 'M18'"));
    for (const char* master : {"COMPANY", "EQUIPMENT", "LEVELS", "TYPES"}) {
        const TableCatalogue cat = readCatalogue(demo.s, QLatin1String(master));
        RecordForm f(demo.s, cat, AccessMode::True);
        ASSERT_TRUE(f.startDelete(cellTexts(listRecords(demo.s, cat, AccessMode::True, {}).rows.first())));
        const SaveResult refused = f.save();
        EXPECT_EQ(refused.outcome, SaveResult::Failed) << master;
        // Where the code is still used is named, from the tables that hold it.
        EXPECT_TRUE(refused.message.startsWith(m18 + QStringLiteral(" Other records still refer to it, in ")))
            << refused.message.toStdString();
        EXPECT_FALSE(refused.detail.isEmpty()) << master;
    }
}

} // namespace
} // namespace vocaset::test
