#include "mpris/JukeboxAdaptor.h"

#include "mpris/MprisService.h"

JukeboxAdaptor::JukeboxAdaptor(MprisService *service) : QDBusAbstractAdaptor(service), m_service(service) {}

int JukeboxAdaptor::credits() const
{
    bool ok = false;
    const int count = m_service->state().credits.toInt(&ok);
    return ok ? count : -1;
}

bool JukeboxAdaptor::canAddCredit() const
{
    return m_service->state().canAddCredit;
}

bool JukeboxAdaptor::canRemoveCredit() const
{
    return m_service->state().canRemoveCredit;
}

bool JukeboxAdaptor::AddCredit()
{
    return m_service->addCredit();
}

bool JukeboxAdaptor::RemoveCredit()
{
    return m_service->removeCredit();
}
