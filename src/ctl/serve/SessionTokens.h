#pragma once

#include <QByteArray>
#include <QList>

// The browsers that gave the right password, each known by a random token in its cookie. The
// tokens live in memory only, so they all lapse when the service restarts.
class SessionTokens
{
public:
    static constexpr int kTokenBytes = 16; // 128 bits
    // Oldest sessions are forgotten beyond this; their browsers simply log in again.
    static constexpr int kMaxSessions = 256;

    // A new token of kTokenBytes from the system's random source, as 32 hex digits.
    QByteArray create();
    // True for a token create() gave and that is still kept; false for anything else.
    bool isValid(QByteArrayView token) const;

private:
    QList<QByteArray> m_tokens;
};
