#pragma once

#include "panel/PanelState.h"

#include <QObject>

// What observers beside the window (the desktop's media interface, any later remote inside the
// client) see of the panel: its state, pushed in by the window after every change, and its
// actions, which the face answers from that state: a control that is switched off does nothing,
// and false says so. Whoever shows the panel connects to the requests; the face knows no window.
class PanelFace : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    // What the panel showed and allowed when it last announced a change.
    const PanelState &state() const { return m_state; }

    // A click on the panel's button for command: requested when the state says the button is
    // on, else false and nothing happens.
    bool perform(Command command);
    // Moves the volume bar as the user would (clamped to 0..100); the jukebox hears of it once
    // the bar has rested, as for every move. False when the bar is switched off.
    bool moveVolume(int volume);
    // Brings the panel's window to the front, out of the taskbar if need be.
    void raise();

    // The window's side: the panel's state after a change. stateChanged() follows when it
    // differs from the last one.
    void publish(const PanelState &state);

signals:
    void stateChanged();
    void performRequested(Command command);
    void volumeRequested(int volume);
    void raiseRequested();

private:
    PanelState m_state;
};
