#pragma once

#include <QByteArray>
#include <QList>
#include <QStringList>

// The names the web remote answers to, checked against every request's Host before anything
// else. A page elsewhere can point a name of its own at this service (DNS rebinding) and then
// send that name as Host with a matching Origin; only a Host we know as ours shuts that out.
// Allowed: an IP literal (IPv4 dotted, IPv6 in brackets), "localhost", and the names given
// (the computer's own name, NAME.local, names allowed on purpose); each with or without a
// port. Names compare without regard to case and to one trailing dot.
class HostAllowList
{
public:
    explicit HostAllowList(const QStringList &names = {});

    // False for an empty Host, a port that is not 1..65535, and any name not in the list.
    bool allows(QByteArrayView host) const;

private:
    QList<QByteArray> m_names;
};
