#pragma once

#include <functional>
#include <mutex>
#include <unordered_map>
#include <vector>

#include <QHash>
#include <QString>

namespace vocaset {

// Failed authentication answers per client address: the address that gives `allowed` wrong
// answers within `windowSeconds` is locked out for `windowSeconds`. Zero allowed turns it off. An
// IPv6 client counts with its whole /64, which one machine may hold whole; an IPv4 address written
// as IPv6 (::ffff:a.b.c.d) is that IPv4 address.
//
// An answer costs one hash look-up and a few pointer moves however many addresses are tracked:
// each record sits in one of two lists (counting, locked) in the order it last changed, so records
// whose window has passed leave from the lists' fronts, and a new address beyond the cap takes the
// place of the oldest counting record, or of the oldest lock when every record is locked.
class AuthLockout final
{
public:
    // Milliseconds of a clock that never goes back.
    using Clock = std::function<qint64()>;

    AuthLockout(int allowed, int windowSeconds, Clock clock = {});
    ~AuthLockout();
    Q_DISABLE_COPY_MOVE(AuthLockout)

    // Whole seconds the address stays locked out, 0 when it is not.
    int lockedFor(const QString& address);

    struct Decision
    {
        int lockedSeconds = 0;  // the address is locked out: the answer was not checked
        bool wrong = false;     // the answer was checked and found wrong, and counted
        bool lockedNow = false; // that wrong answer locked the address out
    };
    // Checks one answer of the address and counts it in one step: while the address is locked out
    // isWrong does not run; otherwise it runs under the table's lock and a wrong answer is counted
    // before any other answer is checked, so that simultaneous answers never get more than
    // `allowed` wrong ones checked.
    Decision decide(const QString& address, const std::function<bool()>& isWrong);

    // The address as counted: itself, its IPv4 address, or its /64 for IPv6.
    static QString keyOf(const QString& address);

    // Addresses remembered at most.
    static constexpr size_t kTracked = 100000;
    // Addresses remembered now.
    size_t tracked();

private:
    struct Record
    {
        const QString* key = nullptr;
        Record* prev = nullptr;
        Record* next = nullptr;
        qint64 changed = 0;     // the last failure, or the lock
        qint64 lockedUntil = 0; // the lock's end: changed + window
        std::vector<qint64> failures;
        size_t oldest = 0; // failures before this one have left the window
    };
    struct List
    {
        Record* front = nullptr;
        Record* back = nullptr;
        bool empty() const { return !front; }
        void append(Record* r);
        void remove(Record* r);
    };
    struct KeyHash
    {
        size_t operator()(const QString& key) const { return qHash(key, QHashSeed::globalSeed()); }
    };

    void expire(qint64 now);
    void forget(Record* r);
    int secondsLeft(const Record& r, qint64 now) const;

    const int m_allowed;
    const qint64 m_windowMs;
    const Clock m_clock;
    std::mutex m_mutex;
    std::unordered_map<QString, Record, KeyHash> m_records;
    List m_counting;
    List m_locked;
};

} // namespace vocaset
