#pragma once

#include <QHash>
#include <QHostAddress>
#include <QList>

// Bounds password guessing, per client and overall. A client (an IPv4 address, an IPv6 /64)
// that gave kMaxFailures wrong passwords must wait kLockoutMs; and once kMaxGlobalFailures wrong
// passwords came from anywhere within kGlobalWindowMs, every login waits until the oldest of
// them is a window old, so many addresses guess no faster than one. Times are milliseconds of a
// monotonic clock the caller passes in, so the rules are tested without waiting.
class LoginLimiter
{
public:
    static constexpr int kMaxFailures = 5;
    static constexpr qint64 kLockoutMs = 30'000;
    static constexpr int kMaxGlobalFailures = 30;
    static constexpr qint64 kGlobalWindowMs = 60'000;
    // Bounds the memory a stranger with many addresses can make us hold. Locked clients are
    // kept when it is full; clients that are not tracked are still held by the overall budget.
    static constexpr int kMaxTracked = 4096;

    explicit LoginLimiter(int maxGlobalFailures = kMaxGlobalFailures) : m_maxGlobal(maxGlobalFailures) {}

    struct Wait
    {
        qint64 ms = 0;       // 0: the login may be checked now
        bool global = false; // the overall budget, not this client, makes it wait
    };
    // How long a login from address must wait before its password is even looked at.
    Wait wait(const QHostAddress &address, qint64 nowMs) const;
    // How long every login waits for the overall budget; 0 while it lasts.
    qint64 globalWaitMs(qint64 nowMs) const;

    // Counts a wrong password; returns the client's failures so far (kMaxFailures: it is now
    // locked out; 0: the client could not be tracked, the table being full of locked ones).
    int recordFailure(const QHostAddress &address, qint64 nowMs);
    void recordSuccess(const QHostAddress &address);

    int trackedCount() const { return static_cast<int>(m_entries.size()); }

private:
    struct Entry
    {
        int failures = 0;
        qint64 lockedUntil = 0;
    };
    void makeRoom(qint64 nowMs);
    void forgetOldFailures(qint64 nowMs) const;

    QHash<QString, Entry> m_entries;
    // When the recent wrong passwords came, oldest first; never more than the budget.
    mutable QList<qint64> m_recent;
    int m_maxGlobal;
};
