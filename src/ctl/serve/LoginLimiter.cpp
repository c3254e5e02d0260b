#include "LoginLimiter.h"

#include "PeerGroup.h"

#include <iterator>

void LoginLimiter::forgetOldFailures(qint64 nowMs) const
{
    while (!m_recent.isEmpty() && m_recent.front() + kGlobalWindowMs <= nowMs)
        m_recent.removeFirst();
}

qint64 LoginLimiter::globalWaitMs(qint64 nowMs) const
{
    forgetOldFailures(nowMs);
    return m_recent.size() >= m_maxGlobal ? m_recent.front() + kGlobalWindowMs - nowMs : 0;
}

LoginLimiter::Wait LoginLimiter::wait(const QHostAddress &address, qint64 nowMs) const
{
    Wait result;
    const auto it = m_entries.constFind(peerGroup(address));
    if (it != m_entries.constEnd() && it->lockedUntil > nowMs)
        result.ms = it->lockedUntil - nowMs;
    if (const qint64 global = globalWaitMs(nowMs); global > result.ms)
        result = {global, true};
    return result;
}

int LoginLimiter::recordFailure(const QHostAddress &address, qint64 nowMs)
{
    forgetOldFailures(nowMs);
    // Only failures that were checked count, and a login is checked only below the budget.
    if (m_recent.size() < m_maxGlobal)
        m_recent.append(nowMs);

    const QString key = peerGroup(address);
    auto it = m_entries.find(key);
    if (it == m_entries.end()) {
        if (m_entries.size() >= kMaxTracked)
            makeRoom(nowMs);
        if (m_entries.size() >= kMaxTracked)
            return 0;
        it = m_entries.insert(key, Entry{});
    }
    if (it->lockedUntil != 0 && it->lockedUntil <= nowMs)
        *it = {}; // the wait is over: five fresh tries
    if (++it->failures >= kMaxFailures) {
        it->failures = kMaxFailures;
        it->lockedUntil = nowMs + kLockoutMs;
    }
    return it->failures;
}

void LoginLimiter::recordSuccess(const QHostAddress &address)
{
    m_entries.remove(peerGroup(address));
}

void LoginLimiter::makeRoom(qint64 nowMs)
{
    // Clients that are not locked lose their count of failures; a locked client stays locked
    // however many others come, so filling the table never sets a guesser free.
    for (auto it = m_entries.begin(); it != m_entries.end();)
        it = it->lockedUntil <= nowMs ? m_entries.erase(it) : std::next(it);
}
