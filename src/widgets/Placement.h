#pragma once

class QWidget;

// Moves a top-level window so that it stands in the middle of the primary screen's free area.
void centreOnScreen(QWidget *window);

// Brings a top-level window to the front, out of the taskbar if it was minimized.
void bringToFront(QWidget *window);
