#include "SessionTokens.h"

#include "SecretCompare.h"

#include <QRandomGenerator>

#include <array>

qsizetype SessionTokens::indexOf(QByteArrayView token) const
{
    if (token.size() != 2 * kTokenBytes)
        return -1;
    // Compared with every kept token in constant time, so the answer time tells nothing.
    qsizetype found = -1;
    for (qsizetype i = 0; i < m_sessions.size(); ++i) {
        if (constantTimeEquals(token, m_sessions.at(i).token))
            found = i;
    }
    return found;
}

SessionTokens::Ended SessionTokens::remove(qsizetype index, End why)
{
    const Session session = m_sessions.takeAt(index);
    m_ended.append({session.token, why});
    if (m_ended.size() > kMaxRemembered)
        m_ended.removeFirst();
    return {session.tag, why};
}

SessionTokens::Created SessionTokens::create(qint64 nowMs)
{
    std::array<quint32, kTokenBytes / sizeof(quint32)> words{};
    QRandomGenerator::system()->fillRange(words.data(), static_cast<qsizetype>(words.size()));
    Created created;
    created.token =
        QByteArray(reinterpret_cast<const char *>(words.data()), static_cast<qsizetype>(kTokenBytes)).toHex();
    created.tag = 's' + QByteArray::number(++m_serial);
    if (m_sessions.size() >= kMaxSessions) {
        qsizetype least = 0;
        for (qsizetype i = 1; i < m_sessions.size(); ++i) {
            if (m_sessions.at(i).lastUsed < m_sessions.at(least).lastUsed)
                least = i;
        }
        created.displaced = remove(least, End::Displaced);
    }
    m_sessions.append({created.token, created.tag, nowMs, nowMs});
    return created;
}

std::optional<QByteArray> SessionTokens::use(QByteArrayView token, qint64 nowMs)
{
    const qsizetype index = indexOf(token);
    if (index < 0)
        return std::nullopt;
    Session &session = m_sessions[index];
    if (nowMs - session.lastUsed >= kIdleMs || nowMs - session.created >= kLifetimeMs)
        return std::nullopt;
    session.lastUsed = nowMs;
    return session.tag;
}

std::optional<QByteArray> SessionTokens::end(QByteArrayView token)
{
    const qsizetype index = indexOf(token);
    if (index < 0)
        return std::nullopt;
    return remove(index, End::LoggedOut).tag;
}

QList<SessionTokens::Ended> SessionTokens::lapse(qint64 nowMs)
{
    QList<Ended> ended;
    for (qsizetype i = m_sessions.size() - 1; i >= 0; --i) {
        const Session &session = m_sessions.at(i);
        if (nowMs - session.created >= kLifetimeMs)
            ended.prepend(remove(i, End::Lifetime));
        else if (nowMs - session.lastUsed >= kIdleMs)
            ended.prepend(remove(i, End::Idle));
    }
    return ended;
}

SessionTokens::End SessionTokens::whyEnded(QByteArrayView token) const
{
    for (const auto &[kept, why] : m_ended) {
        if (kept == token)
            return why;
    }
    return End::Unknown;
}
