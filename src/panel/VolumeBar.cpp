#include "panel/VolumeBar.h"

#include <QKeyEvent>
#include <QWheelEvent>

VolumeBar::VolumeBar(QWidget *parent) : QScrollBar(Qt::Horizontal, parent) {}

void VolumeBar::keyPressEvent(QKeyEvent *event)
{
    SliderAction action = SliderNoAction;
    switch (event->key()) {
    case Qt::Key_Right:
    case Qt::Key_Down:
        action = SliderSingleStepAdd;
        break;
    case Qt::Key_Left:
    case Qt::Key_Up:
        action = SliderSingleStepSub;
        break;
    case Qt::Key_PageDown:
        action = SliderPageStepAdd;
        break;
    case Qt::Key_PageUp:
        action = SliderPageStepSub;
        break;
    case Qt::Key_Home:
        action = SliderToMinimum;
        break;
    case Qt::Key_End:
        action = SliderToMaximum;
        break;
    default:
        QScrollBar::keyPressEvent(event);
        return;
    }
    triggerAction(action);
    event->accept();
}

void VolumeBar::wheelEvent(QWheelEvent *event)
{
    const QPoint delta = event->angleDelta();
    const int notches = (delta.y() != 0 ? delta.y() : -delta.x()) / QWheelEvent::DefaultDeltasPerStep;
    if (notches == 0) {
        event->ignore();
        return;
    }
    for (int i = 0; i < std::abs(notches); ++i)
        triggerAction(notches > 0 ? SliderSingleStepAdd : SliderSingleStepSub);
    event->accept();
}
