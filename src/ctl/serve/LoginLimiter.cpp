#include "LoginLimiter.h"

QString LoginLimiter::key(const QHostAddress &address)
{
    // An IPv4 client reached over a dual-stack socket shows as ::ffff:a.b.c.d; both forms are
    // the same client.
    bool isV4 = false;
    const quint32 v4 = address.toIPv4Address(&isV4);
    return isV4 ? QHostAddress(v4).toString() : address.toString();
}

bool LoginLimiter::isLocked(const QHostAddress &address, qint64 nowMs) const
{
    return waitMs(address, nowMs) > 0;
}

qint64 LoginLimiter::waitMs(const QHostAddress &address, qint64 nowMs) const
{
    const auto it = m_entries.constFind(key(address));
    if (it == m_entries.constEnd() || it->lockedUntil <= nowMs)
        return 0;
    return it->lockedUntil - nowMs;
}

void LoginLimiter::recordFailure(const QHostAddress &address, qint64 nowMs)
{
    if (m_entries.size() >= kMaxTracked)
        dropExpired(nowMs);
    Entry &entry = m_entries[key(address)];
    if (entry.lockedUntil != 0 && entry.lockedUntil <= nowMs)
        entry = {}; // the wait is over: five fresh tries
    if (++entry.failures >= kMaxFailures)
        entry.lockedUntil = nowMs + kLockoutMs;
}

void LoginLimiter::recordSuccess(const QHostAddress &address)
{
    m_entries.remove(key(address));
}

void LoginLimiter::dropExpired(qint64 nowMs)
{
    for (auto it = m_entries.begin(); it != m_entries.end();) {
        if (it->lockedUntil <= nowMs)
            it = m_entries.erase(it);
        else
            ++it;
    }
    // Still full of locked addresses: forget the lot rather than grow without bound. Each of
    // them can then try five more times, which keeps guessing slow all the same.
    if (m_entries.size() >= kMaxTracked)
        m_entries.clear();
}
