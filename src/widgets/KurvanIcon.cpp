#include "KurvanIcon.h"

#include <QString>

// Q_INIT_RESOURCE declares a function, which must not happen inside a namespace; hence this file-level helper.
static void registerResources()
{
    Q_INIT_RESOURCE(kurvan_icons);
}

void initKurvanIconResources()
{
    static const bool registered = (registerResources(), true);
    Q_UNUSED(registered);
}

QIcon kurvanIcon()
{
    initKurvanIconResources();
    // The palette renderings stay out: QIcon picks by size alone, and the RGBA image is the better one at every
    // size. They are in the resources for whoever needs a 256-colour picture.
    QIcon icon;
    for (const int size : {16, 24, 32, 48})
        icon.addFile(QStringLiteral(":/icons/kurvan-client-%1.png").arg(size), QSize(size, size));
    return icon;
}
