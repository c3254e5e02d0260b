#include "mpris/MprisPlayerAdaptor.h"

#include "mpris/MprisService.h"

#include <algorithm>
#include <cmath>

namespace {

// MPRIS counts time in microseconds; the jukebox in seconds.
qlonglong microseconds(float seconds)
{
    return std::llround(static_cast<double>(seconds) * 1e6);
}

} // namespace

MprisPlayerAdaptor::MprisPlayerAdaptor(MprisService *service) : QDBusAbstractAdaptor(service), m_service(service) {}

QString MprisPlayerAdaptor::playbackStatus() const
{
    return m_service->state().playing ? QStringLiteral("Playing") : QStringLiteral("Stopped");
}

QVariantMap MprisPlayerAdaptor::metadata() const
{
    const PanelState &state = m_service->state();
    QVariantMap metadata;
    metadata.insert(QStringLiteral("mpris:trackid"), QVariant::fromValue(QDBusObjectPath(m_service->trackId())));
    if (state.song.isEmpty())
        return metadata;
    metadata.insert(QStringLiteral("xesam:title"), state.song);
    if (state.songLength)
        metadata.insert(QStringLiteral("mpris:length"), microseconds(*state.songLength));
    return metadata;
}

double MprisPlayerAdaptor::volume() const
{
    return m_service->state().volume / 100.0;
}

void MprisPlayerAdaptor::setVolume(double volume)
{
    if (!std::isfinite(volume))
        return;
    m_service->moveVolume(static_cast<int>(std::lround(std::clamp(volume, 0.0, 1.0) * 100.0)));
}

qlonglong MprisPlayerAdaptor::position() const
{
    return microseconds(m_service->state().songPosition);
}

bool MprisPlayerAdaptor::canPlay() const
{
    return m_service->state().allows(Command::Stop);
}

bool MprisPlayerAdaptor::canGoNext() const
{
    return m_service->state().allows(Command::NextTitle);
}

bool MprisPlayerAdaptor::canGoPrevious() const
{
    return m_service->state().allows(Command::PrevTitle);
}

void MprisPlayerAdaptor::Next()
{
    m_service->perform(Command::NextTitle);
}

void MprisPlayerAdaptor::Previous()
{
    m_service->perform(Command::PrevTitle);
}

void MprisPlayerAdaptor::Stop()
{
    m_service->perform(Command::Stop);
}
