#pragma once

#include <QHash>
#include <QHostAddress>

// Counts wrong passwords per address: after kMaxFailures an address must wait kLockoutMs before
// it may try again. Times are milliseconds of a monotonic clock the caller passes in, so the
// rule is tested without waiting.
class LoginLimiter
{
public:
    static constexpr int kMaxFailures = 5;
    static constexpr qint64 kLockoutMs = 30'000;
    // Bounds the memory a stranger with many addresses can make us hold.
    static constexpr int kMaxTracked = 4096;

    // True while the address is locked out; it then may not even try.
    bool isLocked(const QHostAddress &address, qint64 nowMs) const;
    // Milliseconds until the address may try again; 0 when it may now.
    qint64 waitMs(const QHostAddress &address, qint64 nowMs) const;
    void recordFailure(const QHostAddress &address, qint64 nowMs);
    void recordSuccess(const QHostAddress &address);

private:
    struct Entry
    {
        int failures = 0;
        qint64 lockedUntil = 0;
    };
    static QString key(const QHostAddress &address);
    void dropExpired(qint64 nowMs);

    QHash<QString, Entry> m_entries;
};
