#pragma once

#include <QObject>
#include <QPointer>
#include <QTimer>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

class JukeboxLink;
class QPushButton;

// Proves that the window thread keeps answering while a fault runs. A watcher thread posts a
// click to a button of the probe's own and waits for the window thread to handle it. A click
// still unhandled after kAnswerBound is followed by a fresh one, up to kAttempts in all; only
// a probe none of whose clicks was handled within the bound counts as frozen. The retries keep
// a busy shared machine from failing the suite; a window that hangs fails every attempt.
//
// While it runs it also samples the link, on every handled click and every few milliseconds,
// so the bounds on the receive buffer, the queue and the query depth are checked in the middle
// of a fault and not only after it.
class ResponsivenessProbe : public QObject
{
public:
    static constexpr std::chrono::milliseconds kAnswerBound{1000};
    static constexpr int kAttempts = 3;

    // link may be null (no panel yet) or go away before the probe.
    explicit ResponsivenessProbe(JukeboxLink *link);
    ~ResponsivenessProbe() override;

    void start();
    // Stops posting and waits for the watcher thread; the figures stay readable.
    void stop();

    int probes() const;                             // probes whose click was handled within the bound
    int frozenProbes() const;                       // probes that got no click handled within the bound
    std::chrono::milliseconds slowestClick() const; // posting to handling, any click
    qsizetype maxBuffered() const { return m_maxBuffered; }
    qsizetype maxQueued() const { return m_maxQueued; }
    int maxDepth() const { return m_maxDepth; }

private:
    using Clock = std::chrono::steady_clock;

    void watch();
    void clicked();
    void sample();

    QPushButton *m_button;
    QPointer<JukeboxLink> m_link;
    QTimer m_sampler;
    std::thread m_thread;

    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<Clock::time_point> m_postedAt; // clicks posted and not yet handled
    quint64 m_handled = 0;
    bool m_stopping = false;
    int m_probes = 0;
    int m_frozen = 0;
    Clock::duration m_slowest{};

    // Written on the window thread only.
    qsizetype m_maxBuffered = 0;
    qsizetype m_maxQueued = 0;
    int m_maxDepth = 0;
};
