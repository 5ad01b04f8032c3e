// The server's record of each telephone's last fetch while operators rename codes: a fetch is written
// under the codes the telephone has when it is written, never under a code that no longer names it,
// and a write tried again after a failure never replaces a later fetch.

#include <gtest/gtest.h>

#include "CodeRename.h"
#include "DemoCli.h"
#include "FetchRecorder.h"
#include "Interleaving.h"
#include "ServeTestSupport.h"

namespace vocaset::test {
namespace {

class Recording : public DemoCli
{
protected:
    void SetUp() override
    {
        DemoCli::SetUp();
        if (!IsSkipped()) {
            ASSERT_TRUE(FetchTable::prepare(working.db).isEmpty());
        }
    }
    QString macOf(const QString& phone)
    {
        return working.db
            .executeBound(QStringLiteral("SELECT UPPER(PH_MAC) FROM PHONES WHERE CO_CODE = 'ALPIN' AND PH_CODE = ?"),
                          {phone})
            .text(0);
    }
    // A fetch of an ALPIN telephone as the server hands it over: its codes then, and its MAC.
    Fetch fetchOf(const QString& phone, const QString& mac, const char* at, const char* agent)
    {
        return Fetch{QStringLiteral("ALPIN"),
                     phone,
                     QLatin1String(at),
                     QStringLiteral("127.0.0.1"),
                     QLatin1String(agent),
                     "\"t\"",
                     mac};
    }
    // "CODE agent" of each ALPIN row of the table, one a line.
    std::string recorded()
    {
        const Recordset rs = working.db.execute(
            QStringLiteral("SELECT PH_CODE, PF_AGENT FROM PHONE_FETCHES WHERE CO_CODE = 'ALPIN' ORDER BY PH_CODE"));
        QStringList rows;
        for (const QVariantList& row : rs.rows())
            rows.append(row.at(0).toString() + u' ' + row.at(1).toString());
        return rows.join(u'\n').toStdString();
    }
    static RenameRequest telephone(const char* from, const char* to)
    {
        return RenameRequest(RenameRequest::Telephone, QLatin1String(from), QLatin1String(to), QStringLiteral("ALPIN"));
    }
    ScriptedOperator op;
    Session s{working.db, op};
};

TEST_F(Recording, AFetchGoesUnderTheCodesItsTelephoneHasWhenItIsWritten)
{
    // Renamed after the server answered, before the recorder wrote.
    const QString reception = macOf(QStringLiteral("201"));
    ASSERT_TRUE(renameCode(s, telephone("201", "291")).refusal.isEmpty());
    EXPECT_TRUE(FetchTable::write(working.db, {fetchOf(QStringLiteral("201"), reception, "2031-01-01T00:00:01.000Z",
                                                       "renamed before")})
                    .empty());

    // Another operator's rename between the recorder's reading of the telephones and its writing
    // waits for the recorder (here: is kept out); once tried again it carries the fetch along.
    const QString anna = macOf(QStringLiteral("202"));
    {
        OtherOperator other(working);
        QString refusal;
        other.at(QStringLiteral("fetches.read"), [&] {
            try {
                renameCode(other.s, telephone("202", "292"));
            } catch (const DbError& e) {
                refusal = e.text();
            }
        });
        EXPECT_TRUE(FetchTable::write(working.db, {fetchOf(QStringLiteral("202"), anna, "2031-01-01T00:00:02.000Z",
                                                           "renamed after writing")})
                        .empty());
        EXPECT_TRUE(OtherOperator::lockedOut(refusal)) << refusal.toStdString();
        ASSERT_TRUE(renameCode(other.s, telephone("202", "292")).refusal.isEmpty());
    }
    // The other way round: the recorder writes while a rename has changed its rows, not committed.
    const QString marc = macOf(QStringLiteral("203"));
    {
        OtherOperator other(working);
        QString refusal;
        other.at(QStringLiteral("rename.written"), [&] {
            try {
                FetchTable::write(other.db, {fetchOf(QStringLiteral("203"), marc, "2031-01-01T00:00:03.000Z", "x")});
            } catch (const DbError& e) {
                refusal = e.text();
            }
        });
        ASSERT_TRUE(renameCode(s, telephone("203", "293")).refusal.isEmpty());
        EXPECT_TRUE(OtherOperator::lockedOut(refusal)) << refusal.toStdString();
    }
    EXPECT_TRUE(FetchTable::write(working.db, {fetchOf(QStringLiteral("203"), marc, "2031-01-01T00:00:03.000Z",
                                                       "renamed while writing")})
                    .empty());

    // A telephone given another MAC since: no code names what fetched, nothing is written.
    const Fetch lost = fetchOf(QStringLiteral("204"), macOf(QStringLiteral("204")), "2031-01-01T00:00:04.000Z", "lost");
    working.db.execute(QStringLiteral("UPDATE PHONES SET PH_MAC = '000B82000204' WHERE CO_CODE = 'ALPIN' AND "
                                      "PH_CODE = '204'"));
    const std::vector<Fetch> dropped = FetchTable::write(working.db, {lost});
    ASSERT_EQ(dropped.size(), 1u);
    EXPECT_EQ(dropped.front().phone, QStringLiteral("204"));

    EXPECT_EQ(recorded(), "291 renamed before\n292 renamed after writing\n293 renamed while writing");
}

TEST_F(Recording, AWriteTriedAgainNeverReplacesALaterFetch)
{
    const QString reception = macOf(QStringLiteral("201"));
    const QString dispatch = macOf(QStringLiteral("205"));
    LockedLog log;
    FetchRecorder recorder(working.connectionString(), log, std::chrono::milliseconds(5));
    // The table cannot be written for a while.
    working.db.execute(QStringLiteral("ALTER TABLE PHONE_FETCHES RENAME TO PF_AWAY"));
    recorder.start();
    recorder.record(fetchOf(QStringLiteral("201"), reception, "2031-01-01T00:00:06.000Z", "later"));
    recorder.record(fetchOf(QStringLiteral("205"), dispatch, "2031-01-01T00:00:01.000Z", "before the rename"));
    ASSERT_EQ(log.waitFor(1).size(), 1);
    ASSERT_TRUE(log.lines().first().startsWith(QStringLiteral("Fetches not recorded yet")))
        << log.lines().first().toStdString();
    // Meanwhile: a fetch another worker stamped earlier hands itself over late, and a telephone is
    // renamed and fetches again under its new code.
    recorder.record(fetchOf(QStringLiteral("201"), reception, "2031-01-01T00:00:05.000Z", "earlier"));
    ASSERT_TRUE(renameCode(s, telephone("205", "295")).refusal.isEmpty());
    recorder.record(fetchOf(QStringLiteral("295"), dispatch, "2031-01-01T00:00:02.000Z", "after the rename"));
    working.db.execute(QStringLiteral("ALTER TABLE PF_AWAY RENAME TO PHONE_FETCHES"));
    EXPECT_EQ(log.waitFor(2).value(1), QStringLiteral("Fetches are recorded again"));
    recorder.stop();
    EXPECT_EQ(recorded(), "201 later\n295 after the rename");
}

} // namespace
} // namespace vocaset::test
