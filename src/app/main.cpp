#include "app/CommandLine.h"
#include "app/ConnectionInput.h"
#include "app/ParentConsole.h"
#include "app/SingleInstance.h"
#include "app/Texts.h"
#include "common/SettingsLocation.h"
#include "widgets/KurvanIcon.h"
#ifdef KURVAN_WITH_MPRIS
#include "mpris/MprisService.h"
#include "panel/Kurvan.h"
#include "panel/PanelFace.h"
#include "widgets/Placement.h"
#endif

#include <QApplication>
#include <QTimer>
#include <cstdio>

int main(int argc, char *argv[])
{
    // Before the application object: "--version" must also work where no display can be opened
    // (an SSH login), and Qt would take the options it knows out of argv.
    if (const std::optional<QString> text = informationRequested(argc, argv, QStringLiteral(KURVAN_VERSION))) {
        attachParentConsole();
        std::fputs(text->toUtf8().constData(), stdout);
        return 0;
    }

    QApplication app(argc, argv);
    // No application display name: on X11 Qt would append it to every window title, and the
    // windows are titled "Serveradresse" and "Kurvan" alone. Message boxes carry the
    // application title themselves.
    QCoreApplication::setApplicationName(kClientName);
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

#ifdef KURVAN_WITH_MPRIS
    // Offered to the desktop from the first pass of the event loop, so that connecting to the
    // bus does not hold up the first window.
    // Until a panel stands, the desktop sees a face that shows nothing and whose Raise brings
    // the connection dialog forward.
    PanelFace dialogFace;
    QObject::connect(&dialogFace, &PanelFace::raiseRequested, &dialog, [&dialog] { bringToFront(&dialog); });
    MprisService mpris;
    mpris.setFace(&dialogFace);
    QObject::connect(&dialog, &ConnectionInput::panelShown, &mpris,
                     [&mpris](Kurvan *panel) { mpris.setFace(panel->face()); });
    QTimer::singleShot(0, &mpris, &MprisService::start);
#endif
    return app.exec();
}
