#include "panel/PanelFace.h"

#include "panel/Kurvan.h"

PanelFace::PanelFace(Kurvan *panel) : QObject(panel), m_panel(panel) {}

bool PanelFace::addCredit()
{
    return m_panel->clickIfEnabled("cmdCreditPlus");
}

bool PanelFace::removeCredit()
{
    return m_panel->clickIfEnabled("cmdCreditMinus");
}

bool PanelFace::nextTitle()
{
    return m_panel->clickIfEnabled("cmdNextTitle");
}

bool PanelFace::prevTitle()
{
    return m_panel->clickIfEnabled("cmdPrevTitle");
}

bool PanelFace::stop()
{
    return m_panel->clickIfEnabled("cmdStop");
}

bool PanelFace::moveVolume(int volume)
{
    return m_panel->moveVolume(volume);
}

void PanelFace::raise()
{
    m_panel->raiseWindow();
}

void PanelFace::publish(const PanelState &state)
{
    if (state == m_state)
        return;
    m_state = state;
    emit stateChanged();
}
