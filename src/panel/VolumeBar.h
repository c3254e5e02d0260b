#pragma once

#include <QScrollBar>

// The horizontal volume bar. Keys act as on the jukebox's home desktop: Right and Down one
// step up, Left and Up one step down, Page Down a large step up, Page Up a large step down,
// Home and End to the ends. The wheel turns the volume up when rolled away from the user.
// Qt's scroll bar would turn arrows and wheel the other way, as it does for scrolled content.
class VolumeBar : public QScrollBar
{
    Q_OBJECT

public:
    explicit VolumeBar(QWidget *parent = nullptr);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
};
