#include "ResponsivenessProbe.h"

#include "link/JukeboxLink.h"

#include <QPushButton>

using namespace Qt::StringLiterals;

namespace {

// Pause between two probes, so the probe does not become the load it measures.
constexpr std::chrono::milliseconds kProbePause{20};
constexpr int kSampleIntervalMs = 5;

} // namespace

ResponsivenessProbe::ResponsivenessProbe(JukeboxLink *link) : m_button(new QPushButton), m_link(link)
{
    m_button->setObjectName(u"probe"_s);
    connect(m_button, &QPushButton::clicked, this, &ResponsivenessProbe::clicked);
    m_sampler.setInterval(kSampleIntervalMs);
    connect(&m_sampler, &QTimer::timeout, this, &ResponsivenessProbe::sample);
}

ResponsivenessProbe::~ResponsivenessProbe()
{
    stop();
    delete m_button;
}

void ResponsivenessProbe::start()
{
    if (m_thread.joinable())
        return;
    m_stopping = false;
    m_sampler.start();
    m_thread = std::thread([this] { watch(); });
}

void ResponsivenessProbe::stop()
{
    m_sampler.stop();
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_changed.notify_all();
    if (m_thread.joinable())
        m_thread.join();
    sample();
}

int ResponsivenessProbe::probes() const
{
    std::lock_guard lock(m_mutex);
    return m_probes;
}

int ResponsivenessProbe::frozenProbes() const
{
    std::lock_guard lock(m_mutex);
    return m_frozen;
}

std::chrono::milliseconds ResponsivenessProbe::slowestClick() const
{
    std::lock_guard lock(m_mutex);
    return std::chrono::duration_cast<std::chrono::milliseconds>(m_slowest);
}

void ResponsivenessProbe::watch()
{
    std::unique_lock lock(m_mutex);
    quint64 posted = m_handled + m_postedAt.size();
    while (!m_stopping) {
        bool answered = false;
        for (int attempt = 0; attempt < kAttempts && !m_stopping && !answered; ++attempt) {
            const quint64 ticket = ++posted;
            m_postedAt.push_back(Clock::now());
            // Queued to the button's thread: handled only when the window thread gets to it.
            QMetaObject::invokeMethod(
                m_button, [button = m_button] { button->click(); }, Qt::QueuedConnection);
            answered = m_changed.wait_for(lock, kAnswerBound, [&] { return m_handled >= ticket || m_stopping; }) &&
                       m_handled >= ticket;
        }
        if (m_stopping)
            break;
        if (answered)
            ++m_probes;
        else
            ++m_frozen;
        // Clicks still in flight are counted when they arrive; the next probe waits for its own.
        m_changed.wait_for(lock, kProbePause, [&] { return m_stopping; });
    }
}

void ResponsivenessProbe::clicked()
{
    sample();
    {
        std::lock_guard lock(m_mutex);
        if (!m_postedAt.empty()) {
            m_slowest = std::max(m_slowest, Clock::now() - m_postedAt.front());
            m_postedAt.pop_front();
        }
        ++m_handled;
    }
    m_changed.notify_all();
}

void ResponsivenessProbe::sample()
{
    if (!m_link)
        return;
    m_maxBuffered = std::max(m_maxBuffered, m_link->bufferedBytes());
    m_maxQueued = std::max(m_maxQueued, m_link->queuedMessages());
    m_maxDepth = std::max(m_maxDepth, m_link->waitDepth());
}
