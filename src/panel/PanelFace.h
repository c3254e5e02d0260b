#pragma once

#include "panel/PanelState.h"

#include <QObject>

class Kurvan;

// What observers beside the window (the desktop's media interface, any later remote inside the
// client) see of the panel: its state, pushed in by the window after every change, and one
// entry per user action. Each action follows the panel's rules: a control that is switched off
// does nothing, and false says so. The panel owns its face; observers never reach the window.
class PanelFace : public QObject
{
    Q_OBJECT

public:
    explicit PanelFace(Kurvan *panel);

    // What the panel showed and allowed when it last announced a change.
    const PanelState &state() const { return m_state; }

    // The panel's "+", "-", next, previous and stop buttons, as a click on them.
    bool addCredit();
    bool removeCredit();
    bool nextTitle();
    bool prevTitle();
    bool stop();
    // Moves the volume bar as the user would (clamped to 0..100); the jukebox hears of it once
    // the bar has rested, as for every move. False when the bar is switched off.
    bool moveVolume(int volume);
    // Brings the panel's window to the front, out of the taskbar if need be.
    void raise();

signals:
    // state() has changed. Raised at most once per pass of the event loop.
    void stateChanged();

private:
    friend class Kurvan;
    void publish(const PanelState &state);

    Kurvan *m_panel;
    PanelState m_state;
};
