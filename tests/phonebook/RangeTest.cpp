#include <gtest/gtest.h>

#include "ChangeHistory.h"
#include "FullDisk.h"
#include "Interleaving.h"
#include "PhoneBookFixture.h"
#include "RangeGeneration.h"

namespace vocaset::test {
namespace {

const QString AC = QStringLiteral("AC");

struct Ranges : PhoneBookData
{
    PhoneBookSummary run(const QString& from, const QString& to, bool remove = false)
    {
        log.lines.clear();
        RangeGeneration g(s, log);
        return g.run({AC, from, to, remove});
    }
    QStringList codes()
    {
        QStringList out;
        Recordset rs = tdb.db.execute(QStringLiteral("SELECT PH_CODE FROM RANGES WHERE CO_CODE = 'AC'"));
        for (; !rs.eof(); rs.moveNext())
            out.append(rs.text(0));
        std::sort(out.begin(), out.end(), [](const QString& a, const QString& b) { return a.toInt() < b.toInt(); });
        return out;
    }
};

// Bounds that are not two whole numbers in order, or give a code too long for the table, are
// refused before any question, and nothing changes.
TEST(RangeGeneration, BadBoundsAreRefusedWithAMessage)
{
    Ranges t;
    const struct
    {
        const char *from, *to, *message;
    } cases[] = {
        {"", "5", "M297:"},
        {"5", "", "M298:"},
        {"x1", "5", "M297:x1"},
        {"-1", "3", "M297:-1"},
        {"5", "1 0", "M298:1 0"},
        {"12", "5", "M24:"},
        {"10", "9", "M24:"},
        {"5", "100000", "M299:100000"},
        {"99999", "000100000", "M299:100000"},
    };
    for (const auto& c : cases) {
        t.op.messages.clear();
        EXPECT_EQ(t.run(QLatin1String(c.from), QLatin1String(c.to)).outcome, PhoneBookOutcome::Refused) << c.from;
        EXPECT_EQ(t.op.messages, QStringList{QLatin1String(c.message)}) << c.from << " " << c.to;
    }
    EXPECT_TRUE(t.op.questions.isEmpty());
    EXPECT_EQ(t.codes(), (QStringList{QStringLiteral("101"), QStringLiteral("102")}));
}

// Adding logs each code and its outcome; the bounds are numbers (9 to 10, leading zeros dropped);
// codes in use or present are left alone; No to the size question changes nothing.
TEST(RangeGeneration, AddsEachCodeOnceAndLogsIt)
{
    Ranges t;
    const PhoneBookSummary s = t.run(QStringLiteral("0100"), QStringLiteral("0103"));
    EXPECT_EQ(t.op.questions, QStringList{QStringLiteral("M26:4")});
    EXPECT_EQ(s.outcome, PhoneBookOutcome::Completed);
    EXPECT_EQ(s.succeeded, 2);
    EXPECT_EQ(s.failed, 0);
    EXPECT_EQ(t.log.lines, (QStringList{QStringLiteral("M27:100"), QStringLiteral("M31:"), QStringLiteral("M27:101"),
                                        QStringLiteral("M30:"), QStringLiteral("M27:102"), QStringLiteral("M30:"),
                                        QStringLiteral("M27:103"), QStringLiteral("M31:")}));
    EXPECT_EQ(t.codes(), (QStringList{QStringLiteral("100"), QStringLiteral("101"), QStringLiteral("102"),
                                      QStringLiteral("103")}));

    EXPECT_EQ(t.run(QStringLiteral("9"), QStringLiteral("10")).succeeded, 2);
    EXPECT_EQ(t.codes().first(), QStringLiteral("9"));

    t.op.yesNo << false;
    EXPECT_EQ(t.run(QStringLiteral("1"), QStringLiteral("3")).outcome, PhoneBookOutcome::Declined);
    EXPECT_TRUE(t.log.lines.isEmpty());
    EXPECT_EQ(t.codes().size(), 6);
}

// Deleting removes the codes no telephone uses and says which one it kept; No to either question
// changes nothing; a stop keeps the codes done so far.
TEST(RangeGeneration, DeletesCodesNotInUseAndStops)
{
    Ranges t;
    // The server's setting for bulk writes lasts until the run's transaction ends, never longer.
    const bool server = t.tdb.db.engine() == Engine::PostgreSQL;
    const auto planning = [&] { return server ? t.value(QStringLiteral("SHOW plan_cache_mode")) : QString(); };
    const QString sessionPlanning = planning();
    t.run(QStringLiteral("100"), QStringLiteral("103"));
    t.op.questions.clear();
    t.op.yesNo << true << false;
    EXPECT_EQ(t.run(QStringLiteral("100"), QStringLiteral("103"), true).outcome, PhoneBookOutcome::Declined);
    EXPECT_EQ(t.op.questions, (QStringList{QStringLiteral("M26:4"), QStringLiteral("M25:")}));
    EXPECT_EQ(t.codes().size(), 4);

    const PhoneBookSummary s = t.run(QStringLiteral("99"), QStringLiteral("103"), true);
    EXPECT_EQ(planning().toStdString(), sessionPlanning.toStdString());
    EXPECT_EQ(s.succeeded, 2);
    EXPECT_EQ(s.failed, 2);
    EXPECT_EQ(t.log.lines, (QStringList{QStringLiteral("M27:99"), QStringLiteral("M27:100"), QStringLiteral("M29:"),
                                        QStringLiteral("M27:101"), QStringLiteral("M300:"), QStringLiteral("M27:102"),
                                        QStringLiteral("M300:"), QStringLiteral("M27:103"), QStringLiteral("M29:")}));
    EXPECT_EQ(t.codes(), (QStringList{QStringLiteral("101"), QStringLiteral("102")}));

    // A stop takes effect between blocks of codes: what the log shows done is what the table holds.
    struct StopEarly : RunLog
    {
        RangeGeneration* g = nullptr;
        void append(const QString&) override { g->requestStop(); }
    } stopper;
    RangeGeneration g(t.s, stopper);
    stopper.g = &g;
    const PhoneBookSummary stopped = g.run({AC, QStringLiteral("200"), QStringLiteral("1299")});
    EXPECT_EQ(stopped.outcome, PhoneBookOutcome::Aborted);
    EXPECT_GT(stopped.done, 0);
    EXPECT_LT(stopped.done, 1100);
    EXPECT_EQ(stopped.succeeded, stopped.done);
    QStringList expected{QStringLiteral("101"), QStringLiteral("102")};
    for (int n = 200; n < 200 + stopped.done; ++n)
        expected.append(QString::number(n));
    EXPECT_EQ(t.codes(), expected);

    // Whole blocks of codes go at once, the rest one by one; the outcome is the same.
    EXPECT_EQ(t.run(QStringLiteral("150"), QStringLiteral("1299"), true).succeeded, stopped.done);
    EXPECT_EQ(t.codes(), (QStringList{QStringLiteral("101"), QStringLiteral("102")}));
}

// A code the database refuses inside a block is logged alone in its place; the rest of its block
// goes in.
TEST(RangeGeneration, ARefusedCodeInsideABlockLeavesTheOthersIn)
{
    Ranges t;
    refuseWrites(t.tdb.db, QStringLiteral("INSERT"), QStringLiteral("RANGES"), QStringLiteral("NEW.PH_CODE = '250'"),
                 Refusal::Row);
    const PhoneBookSummary s = t.run(QStringLiteral("200"), QStringLiteral("999"));
    EXPECT_EQ(s.succeeded, 799);
    EXPECT_EQ(s.failed, 1);
    const qsizetype at = t.log.lines.indexOf(QStringLiteral("M27:250"));
    ASSERT_GT(at, 0);
    EXPECT_EQ(t.log.lines.mid(at - 1, 4), (QStringList{QStringLiteral("M31:"), QStringLiteral("M27:250"),
                                                       QStringLiteral("M30:"), QStringLiteral("M27:251")}));
    EXPECT_EQ(t.log.lines.count(QStringLiteral("M31:")), 799);
    EXPECT_EQ(t.codes().size(), 2 + 799);
    EXPECT_FALSE(t.codes().contains(QStringLiteral("250")));
    // The history holds each code that went in, and not the refused one.
    QStringList recorded;
    for (const HistoryEntry& e : readHistory(t.tdb.db, {}))
        recorded.append(e.operation + u' ' + e.key);
    EXPECT_EQ(recorded.size(), 799);
    EXPECT_TRUE(recorded.contains(QStringLiteral("new AC/251")));
    EXPECT_FALSE(recorded.contains(QStringLiteral("new AC/250")));
}

// The history holds the codes each run wrote, and nothing for those it left as they were: a code
// used by a telephone, one listed already, or one of the company's outside the run.
TEST(RangeGeneration, TheHistoryHoldsTheCodesARunWrote)
{
    Ranges t;
    const struct
    {
        const char *from, *to;
        bool remove;
        QStringList recorded;
    } runs[] = {
        {"100",
         "104",
         false,
         {QStringLiteral("new AC/100"), QStringLiteral("new AC/103"), QStringLiteral("new AC/104")}},
        {"100", "104", false, {}},
        {"99", "103", true, {QStringLiteral("delete AC/100"), QStringLiteral("delete AC/103")}},
    };
    qsizetype seen = 0;
    for (const auto& run : runs) {
        t.run(QLatin1String(run.from), QLatin1String(run.to), run.remove);
        QStringList recorded;
        const QList<HistoryEntry> history = readHistory(t.tdb.db, {});
        for (qsizetype i = 0; i < history.size() - seen; ++i)
            recorded.prepend(history[i].operation + u' ' + history[i].key);
        seen = history.size();
        recorded.sort();
        EXPECT_EQ(recorded, run.recorded) << run.from << (run.remove ? " delete" : " add");
    }
    EXPECT_EQ(t.codes(), (QStringList{QStringLiteral("101"), QStringLiteral("102"), QStringLiteral("104")}));
}

// Two operators add, or delete, the same codes of a company at once: the second waits for the first
// and then finds its work done. Each code changes once, and the counts and the history of the two
// runs together say so, whichever went first.
TEST(RangeGeneration, TwoRunsOfOneCompanyAtOnceChangeEachCodeOnce)
{
    for (const bool remove : {false, true}) {
        SCOPED_TRACE(remove ? "delete" : "add");
        Ranges t;
        if (remove)
            t.run(QStringLiteral("300"), QStringLiteral("349"));
        const qsizetype before = readHistory(t.tdb.db, {}).size();
        ConcurrentOperator second(t.tdb);
        PhoneBookSummary secondDid;
        OtherOperator points(t.tdb);
        points.at(QStringLiteral("ranges.read"), [&] {
            second.start([&](Session& s) {
                secondDid =
                    RangeGeneration(s, second.log).run({AC, QStringLiteral("300"), QStringLiteral("349"), remove});
            });
        });
        const PhoneBookSummary firstDid = t.run(QStringLiteral("300"), QStringLiteral("349"), remove);
        EXPECT_EQ(second.finish(), QString());
        EXPECT_TRUE(points.passed.contains(QStringLiteral("ranges.read")));
        EXPECT_EQ(firstDid.succeeded + secondDid.succeeded, 50);
        EXPECT_EQ(readHistory(t.tdb.db, {}).size() - before, 50);
        EXPECT_EQ(t.codes().size(), remove ? 2 : 52);
    }
}

// The first changes ever recorded, by two operators at once on a database without a history table:
// the second waits for the first to create it, then finds it; both runs and their history stay.
TEST(RangeGeneration, TwoFirstChangesAtOnceAreBothRecorded)
{
    Ranges t;
    ConcurrentOperator second(t.tdb);
    PhoneBookSummary secondDid;
    OtherOperator points(t.tdb);
    points.at(QStringLiteral("history.created"), [&] {
        second.start([&](Session& s) {
            secondDid = RangeGeneration(s, second.log)
                            .run({QStringLiteral("BC"), QStringLiteral("10"), QStringLiteral("12"), false});
        });
    });
    EXPECT_EQ(t.run(QStringLiteral("1"), QStringLiteral("3")).succeeded, 3);
    EXPECT_EQ(second.finish(), QString());
    EXPECT_TRUE(points.passed.contains(QStringLiteral("history.created")));
    EXPECT_EQ(secondDid.succeeded, 3);
    EXPECT_EQ(readHistory(t.tdb.db, {}).size(), 6);
}

// A run reads each of its texts once, however many codes use it: refusing fifty codes costs the
// engine no more requests than refusing one.
TEST(RangeGeneration, EachTextIsReadOncePerRun)
{
    quint64 requests[2] = {};
    for (const int used : {1, 50}) {
        Ranges t;
        for (int n = 300; n < 400; ++n) {
            if (n < 300 + used)
                t.phone(AC, QString::number(n), QStringLiteral("GXP2000"));
            else
                t.exec(QStringLiteral("INSERT INTO RANGES VALUES('AC', '%1')").arg(n));
        }
        const quint64 before = t.tdb.db.exchanges();
        const PhoneBookSummary s = t.run(QStringLiteral("300"), QStringLiteral("399"), true);
        EXPECT_EQ(s.failed, used);
        EXPECT_EQ(t.log.lines.count(QStringLiteral("M300:")), used);
        requests[used == 1 ? 0 : 1] = t.tdb.db.exchanges() - before;
    }
    EXPECT_EQ(requests[0], requests[1]);
}

// A failure that ends the transaction, in a block written together or in a code on its own, stops
// the run with the engine's reason: nothing is logged after it, no later code is written, and nothing
// of the run is kept.
TEST(RangeGeneration, AFullDiskStopsTheRunAndKeepsNothing)
{
    for (const char* full : {"150", "305"}) {
        Ranges t;
        t.exec(QStringLiteral("INSERT INTO RANGES VALUES('AC', '300')")); // so 300 to 399 go one by one
        const QStringList before = t.codes();
        refuseWrites(t.tdb.db, QStringLiteral("INSERT"), QStringLiteral("RANGES"),
                     QStringLiteral("NEW.PH_CODE = '%1'").arg(QLatin1String(full)), Refusal::FullDisk);
        try {
            t.run(QStringLiteral("100"), QStringLiteral("999"));
            ADD_FAILURE() << "the run went on without its transaction after " << full;
        } catch (const TransactionLost& e) {
            EXPECT_TRUE(isFullDiskText(e.text())) << e.text().toStdString();
        }
        // Codes go in blocks, so the log may end before the failing code, never after it.
        for (const QString& line : t.log.lines) {
            if (line.startsWith(QLatin1String("M27:"))) {
                EXPECT_LE(line.mid(4).toInt(), QByteArray(full).toInt()) << line.toStdString();
            }
        }
        EXPECT_EQ(t.codes(), before) << full;
    }
}

} // namespace
} // namespace vocaset::test
