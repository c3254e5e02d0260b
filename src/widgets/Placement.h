#pragma once

class QWidget;

// Moves a top-level window so that it stands in the middle of the primary screen's free area.
void centreOnScreen(QWidget *window);
