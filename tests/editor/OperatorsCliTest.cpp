// Several operators on one working database: a second operator acts at a named point of a
// `vocaset-cli config` run, on a connection of its own.

#include <gtest/gtest.h>

#include "CliCommand.h"
#include "DemoCli.h"
#include "Interleaving.h"
#include "PhoneFileSource.h"

namespace vocaset::test {
namespace {

class Operators : public DemoCli
{
protected:
    // One of the company values of the demo (not a secret, which the history masks), by its key.
    void SetUp() override
    {
        DemoCli::SetUp();
        if (IsSkipped())
            return;
        const Recordset row =
            working.db.execute(QStringLiteral("SELECT CO_CODE, EQ_CODE, PA_CODE, PA_VALUE FROM COMPANY_PARAMETERS "
                                              "WHERE PA_CODE = 'net.gateway' ORDER BY 1, 2"));
        ASSERT_FALSE(row.isEmpty());
        key = {QStringLiteral("CO_CODE=") + row.text(0), QStringLiteral("EQ_CODE=") + row.text(1),
               QStringLiteral("PA_CODE=") + row.text(2)};
        where = QStringLiteral(" WHERE CO_CODE = '%1' AND EQ_CODE = '%2' AND PA_CODE = '%3'")
                    .arg(row.text(0), row.text(1), row.text(2));
        before = row.text(3);
    }
    int config(const char* verb, const QStringList& more = {})
    {
        return run(QStringList{QStringLiteral("config"), QLatin1String(verb), QStringLiteral("COMPANY_PARAMETERS")} +
                   key + more);
    }
    QString stored()
    {
        return working.db.execute(QStringLiteral("SELECT PA_VALUE FROM COMPANY_PARAMETERS") + where).text(0);
    }
    int historyRows()
    {
        return working.db.columns(QStringLiteral("CHANGE_HISTORY")).isEmpty()
                   ? 0
                   : working.db
                         .execute(QStringLiteral("SELECT * FROM CHANGE_HISTORY WHERE HI_TABLE = 'COMPANY_PARAMETERS'"))
                         .count();
    }

    QStringList key;
    QString where;
    QString before;
};

// A record another operator deleted after the command found it saves nothing, whether the command
// was to change it or to delete it: no success, exit 1, no history row.
TEST_F(Operators, ARecordDeletedMeanwhileIsNoSuchRecord)
{
    for (const char* verb : {"set", "delete"}) {
        SCOPED_TRACE(verb);
        OtherOperator other(working);
        interleaving = other.hook();
        other.at(QStringLiteral("record.save"), [&] {
            EXPECT_EQ(other.attempt(QStringLiteral("DELETE FROM COMPANY_PARAMETERS") + where), QString());
        });
        const QStringList value =
            qstrcmp(verb, "set") == 0 ? QStringList{QStringLiteral("PA_VALUE=10.99.99.99")} : QStringList{};
        EXPECT_EQ(config(verb, value), cli::RunFailed) << err.toStdString();
        EXPECT_TRUE(err.contains(QLatin1String("No such record in COMPANY_PARAMETERS"))) << err.toStdString();
        EXPECT_FALSE(err.contains(QLatin1String("1 record"))) << err.toStdString();
        EXPECT_TRUE(other.passed.contains(QStringLiteral("record.save")));
        EXPECT_EQ(working.db.execute(QStringLiteral("SELECT * FROM COMPANY_PARAMETERS") + where).count(), 0);
        EXPECT_EQ(historyRows(), 0);
        interleaving = {};
        working.db.execute(QStringLiteral("INSERT INTO COMPANY_PARAMETERS VALUES('%1', '%2', '%3', '%4')")
                               .arg(key[0].mid(8), key[1].mid(8), key[2].mid(8), before));
    }
}

// Between reading the record and writing it, the command holds it: another operator's change or
// deletion waits (here: is refused after its short wait) instead of slipping in, so the history
// names the value the command replaced, and the record the command saved is there.
TEST_F(Operators, TheRecordIsHeldFromItsReadingToTheCommit)
{
    const QString others[] = {QStringLiteral("UPDATE COMPANY_PARAMETERS SET PA_VALUE = 'by bob'") + where,
                              QStringLiteral("DELETE FROM COMPANY_PARAMETERS") + where};
    QString value = before;
    int n = 0;
    for (const QString& sql : others) {
        SCOPED_TRACE(sql.toStdString());
        OtherOperator other(working);
        interleaving = other.hook();
        QString refusal;
        other.at(QStringLiteral("record.read"), [&] { refusal = other.attempt(sql); });
        const QString next = QStringLiteral("10.99.99.%1").arg(++n);
        ASSERT_EQ(config("set", {QStringLiteral("PA_VALUE=") + next}), cli::Ok) << err.toStdString();
        EXPECT_TRUE(OtherOperator::lockedOut(refusal)) << refusal.toStdString();
        EXPECT_EQ(stored(), next);
        const Recordset h = working.db.execute(QStringLiteral(
            "SELECT HI_OLD, HI_NEW FROM CHANGE_HISTORY WHERE HI_TABLE = 'COMPANY_PARAMETERS' ORDER BY HI_TIME DESC"));
        ASSERT_EQ(h.count(), n);
        EXPECT_EQ(h.text(0), value);
        EXPECT_EQ(h.text(1), next);
        value = next;
    }
}

} // namespace
} // namespace vocaset::test

namespace vocaset::test {
namespace {

// A MAC another telephone has, in any case of its digits, is refused by the database itself, in
// the words the telephone import uses; a MAC no other telephone has is saved.
TEST_F(Operators, AMacNamesOneTelephone)
{
    const QString taken = working.db
                              .execute(QStringLiteral("SELECT PH_MAC FROM PHONES WHERE CO_CODE = 'ALPIN' AND PH_CODE = "
                                                      "(SELECT MIN(PH_CODE) FROM PHONES WHERE CO_CODE = 'ALPIN')"))
                              .text(0);
    const QString owner =
        working.db.execute(QStringLiteral("SELECT PH_CODE FROM PHONES WHERE PH_MAC = '") + taken + QStringLiteral("'"))
            .text(0);
    ASSERT_FALSE(taken.isEmpty());
    working.db.execute(QStringLiteral("INSERT INTO RANGES VALUES('OHARA', '777')"));
    const QStringList phone = {QStringLiteral("PHONES"), QStringLiteral("CO_CODE=OHARA"),
                               QStringLiteral("PH_CODE=777")};
    const QStringList attempts[] = {
        QStringList{QStringLiteral("add")} + phone +
            QStringList{QStringLiteral("EQ_CODE=PAP2"), QStringLiteral("PH_DESC=Copy"),
                        QStringLiteral("PH_MAC=") + taken.toLower()},
        QStringList{
            QStringLiteral("set"), QStringLiteral("PHONES"), QStringLiteral("CO_CODE=OHARA"),
            QStringLiteral("PH_CODE=") +
                working.db.execute(QStringLiteral("SELECT MIN(PH_CODE) FROM PHONES WHERE CO_CODE = 'OHARA'")).text(0),
            QStringLiteral("PH_MAC=") + taken},
    };
    for (const QStringList& attempt : attempts) {
        SCOPED_TRACE(attempt.join(u' ').toStdString());
        EXPECT_EQ(run(QStringList{QStringLiteral("config")} + attempt), cli::RunFailed) << err.toStdString();
        EXPECT_TRUE(err.contains(QStringLiteral("The MAC address %1 is that of telephone %2 of company ALPIN")
                                     .arg(attempt.last().mid(7), owner)))
            << err.toStdString();
        EXPECT_EQ(
            working.db
                .execute(QStringLiteral("SELECT * FROM PHONES WHERE UPPER(PH_MAC) = '") + taken + QStringLiteral("'"))
                .count(),
            1);
    }
    EXPECT_EQ(run(QStringList{QStringLiteral("config"), QStringLiteral("add")} + phone +
                  QStringList{QStringLiteral("EQ_CODE=PAP2"), QStringLiteral("PH_DESC=New"),
                              QStringLiteral("PH_MAC=0A0B0C0D0E0F")}),
              cli::Ok)
        << err.toStdString();
}

// Two telephones a database already holds with one MAC (in two cases of its digits) keep the index
// from being made: db info and a starting server name both, and a third telephone given the MAC is
// still refused in the import's words.
TEST_F(Operators, AMacTwoStoredTelephonesShareIsNamedWhereTheOperatorLooks)
{
    working.db.execute(QStringLiteral("DROP INDEX IF EXISTS UX_PHONES_MAC"));
    const Recordset alpin = working.db.execute(
        QStringLiteral("SELECT PH_CODE, PH_MAC FROM PHONES WHERE CO_CODE = 'ALPIN' AND PH_MAC <> '' ORDER BY 1"));
    const Recordset ohara = working.db.execute(
        QStringLiteral("SELECT PH_CODE FROM PHONES WHERE CO_CODE = 'OHARA' AND PH_MAC <> '' ORDER BY 1"));
    ASSERT_GE(ohara.count(), 2);
    const QString mac = alpin.text(1).toUpper();
    working.db.execute(QStringLiteral("UPDATE PHONES SET PH_MAC = '%1' WHERE CO_CODE = 'OHARA' AND PH_CODE = '%2'")
                           .arg(mac.toLower(), ohara.text(0)));
    const QString shared =
        QStringLiteral("MAC %1 belongs to 2 telephones: ALPIN/%2, OHARA/%3").arg(mac, alpin.text(0), ohara.text(0));

    ASSERT_EQ(run({QStringLiteral("db"), QStringLiteral("info")}), cli::Ok) << err.toStdString();
    EXPECT_TRUE(out.contains(shared + u'\n')) << out.toStdString();
    EXPECT_TRUE(PhoneFileSource::prepareDatabase(working.db).join(u'\n').contains(shared));

    Recordset third =
        working.db.execute(QStringLiteral("SELECT PH_CODE FROM PHONES WHERE CO_CODE = 'OHARA' AND PH_CODE "
                                          "<> '%1' ORDER BY 1")
                               .arg(ohara.text(0)));
    EXPECT_EQ(
        run({QStringLiteral("config"), QStringLiteral("set"), QStringLiteral("PHONES"), QStringLiteral("CO_CODE=OHARA"),
             QStringLiteral("PH_CODE=") + third.text(0), QStringLiteral("PH_MAC=") + mac}),
        cli::RunFailed);
    EXPECT_TRUE(err.contains(QStringLiteral("The MAC address %1 is that of telephone").arg(mac))) << err.toStdString();
}

} // namespace
} // namespace vocaset::test
