#pragma once

#include <QtGlobal>

#include <optional>

// The time a client gets to send one whole request, from its first byte to its last. Bytes
// alone never extend it, so a head trickled a byte at a time ends at the deadline however
// slowly it comes. Pure: the caller passes the time (milliseconds of a monotonic clock) and
// runs a timer for what remaining() says.
class RequestDeadline
{
public:
    explicit RequestDeadline(qint64 limitMs) : m_limitMs(limitMs) {}

    // Bytes of a request arrived: the first one starts the clock.
    void bytesArrived(qint64 nowMs)
    {
        if (m_startedAt < 0)
            m_startedAt = nowMs;
    }
    // A whole request was taken; morePending: bytes of the next one are already here.
    void requestTaken(bool morePending, qint64 nowMs) { m_startedAt = morePending ? nowMs : -1; }
    // We stopped reading (the client's answers wait): the time is ours, not the client's.
    void stop() { m_startedAt = -1; }

    // Milliseconds left; nullopt while no request is under way; 0 once it has run out.
    std::optional<qint64> remaining(qint64 nowMs) const
    {
        if (m_startedAt < 0)
            return std::nullopt;
        return qMax<qint64>(0, m_startedAt + m_limitMs - nowMs);
    }

private:
    qint64 m_limitMs;
    qint64 m_startedAt = -1;
};
