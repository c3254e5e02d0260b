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
    return m_service->state().allows(Command::AddCredit);
}

bool JukeboxAdaptor::canRemoveCredit() const
{
    return m_service->state().allows(Command::RemoveCredit);
}

bool JukeboxAdaptor::AddCredit()
{
    return m_service->perform(Command::AddCredit);
}

bool JukeboxAdaptor::RemoveCredit()
{
    return m_service->perform(Command::RemoveCredit);
}
