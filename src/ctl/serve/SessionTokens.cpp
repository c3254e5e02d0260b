#include "SessionTokens.h"

#include "SecretCompare.h"

#include <QRandomGenerator>

#include <array>

QByteArray SessionTokens::create()
{
    std::array<quint32, kTokenBytes / sizeof(quint32)> words{};
    QRandomGenerator::system()->fillRange(words.data(), static_cast<qsizetype>(words.size()));
    const QByteArray token =
        QByteArray(reinterpret_cast<const char *>(words.data()), static_cast<qsizetype>(kTokenBytes)).toHex();
    if (m_tokens.size() >= kMaxSessions)
        m_tokens.removeFirst();
    m_tokens.append(token);
    return token;
}

bool SessionTokens::isValid(QByteArrayView token) const
{
    if (token.size() != 2 * kTokenBytes)
        return false;
    // Compared with every kept token in constant time, so the answer time tells nothing.
    bool found = false;
    for (const QByteArray &kept : m_tokens)
        found = constantTimeEquals(token, kept) || found;
    return found;
}
