#pragma once

#include <QIcon>

// Registers the icon resources compiled into the kurvan_widgets static library. A linker drops an unreferenced
// resource object from a static archive, so the images are only reachable after this ran; calling it again is harmless.
void initKurvanIconResources();

// The program icon at 16, 24, 32 and 48 px (the RGBA renderings), for window and message box icons.
// Registers the resources itself, so it works before any other call.
QIcon kurvanIcon();
