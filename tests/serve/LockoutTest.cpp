// The lock-out table on a clock of the test's own: which failures count, where a window ends, which
// addresses share a count, and a cap that holds against 200 000 addresses without losing a lock.

#include <algorithm>
#include <cstdio>

#include <QElapsedTimer>

#include <gtest/gtest.h>

#include "AuthLockout.h"

namespace vocaset::test {
namespace {

TEST(AuthLockoutTable, WrongAnswersCountWithinTheWindowPerAddress)
{
    qint64 now = 0;
    AuthLockout lockout(3, 10, [&] { return now; });
    struct Step
    {
        qint64 at;
        const char* address;
        bool wrong;
        int lockedSeconds; // when the answer came
        bool lockedNow;
    };
    const QList<Step> steps = {
        {0, "192.0.2.1", true, 0, false},
        {5000, "::ffff:192.0.2.1", true, 0, false}, // the same address written as IPv6
        {5000, "192.0.2.1", false, 0, false},       // a right answer counts for nothing
        {10000, "192.0.2.1", true, 0, false},       // the first failure has just left the window
        {14999, "192.0.2.1", true, 0, true},        // the second is still in it
        {15000, "192.0.2.1", false, 10, false},     // locked: not even checked
        {15000, "192.0.2.2", true, 0, false},       // another address
        {24998, "::ffff:192.0.2.1", true, 1, false},
        {24999, "192.0.2.1", true, 0, false}, // the lock is over, and its failures are gone
        {30000, "2001:db8::1", true, 0, false},
        {30000, "2001:db8::2", true, 0, false}, // an IPv6 client with its /64
        {30000, "2001:db8:0:1::1", true, 0, false},
        {30001, "2001:db8::ffff:1", true, 0, true},
    };
    for (const Step& step : steps) {
        now = step.at;
        bool checked = false;
        const AuthLockout::Decision d = lockout.decide(QLatin1String(step.address), [&] {
            checked = true;
            return step.wrong;
        });
        const std::string what = std::to_string(step.at) + ' ' + step.address;
        EXPECT_EQ(d.lockedSeconds, step.lockedSeconds) << what;
        EXPECT_EQ(checked, step.lockedSeconds == 0) << what;
        EXPECT_EQ(d.wrong, checked && step.wrong) << what;
        EXPECT_EQ(d.lockedNow, step.lockedNow) << what;
        EXPECT_EQ(lockout.lockedFor(QLatin1String(step.address)) > 0, step.lockedNow || step.lockedSeconds > 0) << what;
    }
    EXPECT_EQ(AuthLockout::keyOf(QStringLiteral("::ffff:192.0.2.1")), QStringLiteral("192.0.2.1"));
    EXPECT_EQ(AuthLockout::keyOf(QStringLiteral("2001:db8::ffff:1")), QStringLiteral("2001:db8::/64"));
}

TEST(AuthLockoutTable, TwoHundredThousandAddressesKeepTheCapAndEveryLock)
{
    qint64 now = 0;
    AuthLockout lockout(2, 60, [&] { return now; });
    const auto wrong = [&](const QString& address) { return lockout.decide(address, [] { return true; }); };
    QStringList locked;
    for (int i = 0; i < 10; ++i) {
        locked << QStringLiteral("198.51.100.%1").arg(i);
        wrong(locked.last());
        ASSERT_TRUE(wrong(locked.last()).lockedNow);
    }
    // Distinct /64s, one wrong answer each, all within one window.
    constexpr int kAddresses = 200000;
    QStringList addresses;
    addresses.reserve(kAddresses);
    for (int i = 0; i < kAddresses; ++i)
        addresses << QStringLiteral("2001:db8:%1:%2::1").arg(i / 65536, 0, 16).arg(i % 65536, 0, 16);
    now = 1000;
    // Timed per block of 10 000, to show the cost past the cap as well as below it.
    constexpr int kBlock = 10000;
    QList<double> blockMs;
    QElapsedTimer timer;
    timer.start();
    for (qint64 i = 0, blockStart = 0; i < kAddresses; ++i) {
        wrong(addresses[i]);
        if ((i + 1) % kBlock == 0) {
            blockMs << double(timer.nsecsElapsed() - blockStart) / 1e6;
            blockStart = timer.nsecsElapsed();
        }
    }
    const double nsPerAnswer = double(timer.nsecsElapsed()) / kAddresses;
    std::printf("%d wrong answers from distinct addresses: %.2f us each; per %d: first %.1f ms, "
                "at the cap %.1f ms, last %.1f ms, slowest %.1f ms\n",
                kAddresses, nsPerAnswer / 1000, kBlock, blockMs.first(), blockMs[int(AuthLockout::kTracked) / kBlock],
                blockMs.last(), *std::max_element(blockMs.begin(), blockMs.end()));
    RecordProperty("us_per_answer", QString::number(nsPerAnswer / 1000, 'f', 2).toStdString());

    EXPECT_EQ(lockout.tracked(), AuthLockout::kTracked);
    for (const QString& address : std::as_const(locked))
        EXPECT_GT(lockout.lockedFor(address), 0) << address.toStdString();
    // The newest are still counted, the oldest made room.
    EXPECT_TRUE(wrong(addresses.last()).lockedNow);
    EXPECT_FALSE(wrong(addresses.first()).lockedNow);

    // A window later every record has left, locks included.
    now += 60000;
    EXPECT_EQ(lockout.lockedFor(locked.first()), 0);
    EXPECT_EQ(lockout.tracked(), 0u);
}

} // namespace
} // namespace vocaset::test
