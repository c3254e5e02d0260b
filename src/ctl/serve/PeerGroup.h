#pragma once

#include <QHostAddress>
#include <QString>

// The part of a peer's address that stands for one client wherever the web remote counts
// clients (wrong passwords, open connections): an IPv4 address as it is, also when it arrives
// as ::ffff:a.b.c.d on a dual-stack socket, and an IPv6 address by its /64, because a host on
// a LAN may take any address of its network's prefix at will.
QString peerGroup(const QHostAddress &address);
