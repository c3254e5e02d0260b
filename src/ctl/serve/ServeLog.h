#pragma once

#include <QByteArrayView>
#include <QHash>
#include <QString>

#include <functional>

// What `serve` tells its operator: one line per event (the link to the jukebox, refusals,
// lock-outs, logins, actions, sessions ending), to standard error, which the journal keeps
// under systemd. It never receives a token or a password. Every text from a request or from the
// jukebox goes through printable() first, so nothing a stranger sends can move a terminal's
// cursor or forge a line.
class ServeLog
{
public:
    using Sink = std::function<void(const QString &line)>;
    // A stranger can repeat a refusal as fast as he likes; the log shows one line per kind and
    // client in this time, and how many were left out.
    static constexpr qint64 kRepeatMs = 10'000;
    static constexpr int kMaxRepeatEntries = 1024;

    explicit ServeLog(Sink sink = {}, bool verbose = false) : m_sink(std::move(sink)), m_verbose(verbose) {}

    void setSink(Sink sink) { m_sink = std::move(sink); }
    void setVerbose(bool verbose) { m_verbose = verbose; }

    // Always logged.
    void event(const QString &line);
    // Logged only with --verbose: reads and every request.
    void detail(const QString &line);
    // Logged at most once per kind and client in kRepeatMs, with the count left out since.
    void refusal(const QString &kind, const QString &client, const QString &line, qint64 nowMs);

    // bytes as text for a log line: printable ASCII as it is, anything else as \xNN, and cut to
    // maxLength characters with "…".
    static QString printable(QByteArrayView bytes, qsizetype maxLength = 80);

    // The default sink: standard error, with the time in front unless the journal (which keeps
    // its own) reads it.
    static Sink standardError();

private:
    struct Repeat
    {
        qint64 loggedAt = 0;
        int leftOut = 0;
    };
    Sink m_sink;
    bool m_verbose = false;
    QHash<QString, Repeat> m_repeats;
};
