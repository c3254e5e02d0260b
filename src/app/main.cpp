#include "KurvanIcon.h"
#include "app/ConnectionInput.h"
#include "app/SettingsLocation.h"
#include "app/SingleInstance.h"
#include "app/Texts.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    // No application display name: on X11 Qt would append it to every window title, and the
    // windows are titled "Serveradresse" and "Kurvan" alone. Message boxes carry the
    // application title themselves.
    QCoreApplication::setApplicationName(QStringLiteral("kurvan-client"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KURVAN_VERSION));

    // A second copy ends at once and silently, before it shows or reads anything.
    SingleInstance instance;
    if (!instance.acquire())
        return 0;

    // Both windows carry the program's icon.
    QApplication::setWindowIcon(kurvanIcon());
    ConnectionInput dialog(settingsFiles());
    dialog.show();
    // Take the keyboard at once, also where no window manager hands it over (a bare X server).
    dialog.activateWindow();
    return app.exec();
}
