#include "mpris/MprisRootAdaptor.h"

#include "mpris/MprisService.h"

MprisRootAdaptor::MprisRootAdaptor(MprisService *service) : QDBusAbstractAdaptor(service), m_service(service) {}

QString MprisRootAdaptor::identity() const
{
    return QStringLiteral("Kurvan Client");
}

QString MprisRootAdaptor::desktopEntry() const
{
    // The name of the menu entry's file, without ".desktop": where desktops find our icon.
    return QStringLiteral("kurvan-client");
}

void MprisRootAdaptor::Raise()
{
    m_service->raise();
}
