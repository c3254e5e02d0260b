#pragma once

#include <QHostAddress>
#include <QString>
#include <optional>

// Where `kurvanctl serve` listens.
struct ListenAddress
{
    static constexpr quint16 kDefaultPort = 8620;

    QHostAddress address = QHostAddress(QHostAddress::Any);
    quint16 port = kDefaultPort;

    // Reads "ADDRESS:PORT", "[IPv6]:PORT", "ADDRESS" (default port), ":PORT" or "PORT" (all
    // addresses). nullopt for anything else: a host name, a port outside 1..65535, stray text.
    static std::optional<ListenAddress> parse(const QString &text);
    // Why parse() does not take text, naming the part it cannot use (the address or the port) as
    // written, in one German line; empty when parse() takes it.
    static QString refusal(const QString &text);
    // What to listen on: the given address if any; else all addresses, or only 127.0.0.1 when
    // the jukebox has no password (a page anyone on the network could open would then steer it).
    static ListenAddress choose(const std::optional<ListenAddress> &given, bool passwordEmpty);

    QString toString() const;

private:
    static std::optional<ListenAddress> read(const QString &text, QString *why);
};
