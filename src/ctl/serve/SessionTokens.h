#pragma once

#include <QByteArray>
#include <QList>

#include <optional>

// The browsers that gave the right password, each known by a random token in its cookie and by
// a short tag the log may show (the token never goes there). A session ends by logout, after
// kIdleMs without a request, after kLifetimeMs whatever its use, or when kMaxSessions newer ones
// push out the one used least recently. Tokens live in memory only, so all lapse when the
// service restarts. Times are milliseconds of a monotonic clock the caller passes in.
class SessionTokens
{
public:
    static constexpr int kTokenBytes = 16; // 128 bits
    static constexpr int kMaxSessions = 256;
    // A bar's shift, not forever: a phone left logged in overnight asks again in the morning,
    // and no cookie outlives a week.
    static constexpr qint64 kIdleMs = 12LL * 60 * 60 * 1000;
    static constexpr qint64 kLifetimeMs = 7LL * 24 * 60 * 60 * 1000;
    // How many ended sessions are remembered with their reason, for the page to say why it asks
    // for the password again.
    static constexpr int kMaxRemembered = 256;

    enum class End
    {
        LoggedOut,
        Idle,
        Lifetime,
        Displaced,
        Unknown // not ours, or from before the service's last start
    };
    struct Ended
    {
        QByteArray tag;
        End why = End::Unknown;
    };
    struct Created
    {
        QByteArray token; // 32 hex digits from the system's random source
        QByteArray tag;
        std::optional<Ended> displaced; // the session that made room for this one
    };

    Created create(qint64 nowMs);
    // The tag of the session whose token this is, if it is still kept and has not lapsed by
    // nowMs; it counts as used now. nullopt for anything else.
    std::optional<QByteArray> use(QByteArrayView token, qint64 nowMs);
    // Ends the session of token (a logout); its tag, or nullopt when there was none.
    std::optional<QByteArray> end(QByteArrayView token);
    // Ends every session idle or old beyond its bound by nowMs.
    QList<Ended> lapse(qint64 nowMs);
    // Why a token is not (or no longer) valid.
    End whyEnded(QByteArrayView token) const;

    int count() const { return static_cast<int>(m_sessions.size()); }

private:
    struct Session
    {
        QByteArray token;
        QByteArray tag;
        qint64 created = 0;
        qint64 lastUsed = 0;
    };
    qsizetype indexOf(QByteArrayView token) const;
    Ended remove(qsizetype index, End why);

    QList<Session> m_sessions;
    QList<std::pair<QByteArray, End>> m_ended; // token, why; oldest first
    int m_serial = 0;
};
