#pragma once

#include <QDBusAbstractAdaptor>

class MprisService;

// de.kurvan.Jukebox1: what MPRIS has no word for, the jukebox's credits. AddCredit and
// RemoveCredit are the panel's "+" and "-": while that button is switched off (during a click's
// wait for the jukebox, "-" at no credits, without a link) they do nothing and return false.
class JukeboxAdaptor : public QDBusAbstractAdaptor
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "de.kurvan.Jukebox1")
    Q_PROPERTY(int Credits READ credits)
    Q_PROPERTY(bool CanAddCredit READ canAddCredit)
    Q_PROPERTY(bool CanRemoveCredit READ canRemoveCredit)

public:
    explicit JukeboxAdaptor(MprisService *service);

    // The count the panel shows; -1 while it shows none, or something that is not a count.
    int credits() const;
    bool canAddCredit() const;
    bool canRemoveCredit() const;

public slots:
    bool AddCredit();
    bool RemoveCredit();

private:
    MprisService *m_service;
};
