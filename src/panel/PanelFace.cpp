#include "panel/PanelFace.h"

#include <algorithm>

bool PanelFace::perform(Command command)
{
    if (!m_state.allows(command))
        return false;
    emit performRequested(command);
    return true;
}

bool PanelFace::moveVolume(int volume)
{
    if (!m_state.canSetVolume)
        return false;
    emit volumeRequested(std::clamp(volume, 0, 100));
    return true;
}

void PanelFace::raise()
{
    emit raiseRequested();
}

void PanelFace::publish(const PanelState &state)
{
    if (state == m_state)
        return;
    m_state = state;
    emit stateChanged();
}
