#include "ListenAddress.h"

#include "ServeTexts.h"

#include <algorithm>

namespace {

// What --listen is made of: the address and the port as written, either possibly empty.
struct ListenParts
{
    QString host;
    QString port;
    QString badHost; // not empty: this, as written, is no address; host and port mean nothing then
};

ListenParts split(const QString &text)
{
    const bool digitsOnly =
        !text.isEmpty() && std::all_of(text.begin(), text.end(), [](QChar c) { return c.isDigit(); });
    // A bare number is the port ("--listen 8623"), never the 32-bit form of an IPv4 address.
    if (digitsOnly)
        return {{}, text, {}};
    if (text.startsWith(u'[')) {
        const qsizetype close = text.indexOf(u']');
        const QString rest = close < 0 ? QString() : text.mid(close + 1);
        if (close < 2 || (!rest.isEmpty() && !rest.startsWith(u':')))
            return {{}, {}, text};
        return {text.mid(1, close - 1), rest.mid(1), {}};
    }
    // Two colons or more: an IPv6 address without brackets, and so without a port.
    if (text.count(u':') == 1)
        return {text.section(u':', 0, 0), text.section(u':', 1), {}};
    return {text, {}, {}};
}

// The port of the text, or nullopt; "1" to "65535" in digits only, nothing else ("+80", " 80").
std::optional<quint16> portOf(const QString &text)
{
    if (text.isEmpty() || text.size() > 5 ||
        !std::all_of(text.begin(), text.end(), [](QChar c) { return c.isDigit(); }))
        return std::nullopt;
    const uint port = text.toUInt();
    if (port == 0 || port > 65535)
        return std::nullopt;
    return static_cast<quint16>(port);
}

} // namespace

std::optional<ListenAddress> ListenAddress::parse(const QString &text)
{
    return read(text, nullptr);
}

QString ListenAddress::refusal(const QString &text)
{
    QString why;
    read(text, &why);
    return why;
}

std::optional<ListenAddress> ListenAddress::read(const QString &text, QString *why)
{
    const QString trimmed = text.trimmed();
    const ListenParts parts = split(trimmed);
    const auto refuse = [why](const QString &reason) {
        if (why)
            *why = ServeText::BadListen.arg(reason);
        return std::nullopt;
    };
    ListenAddress result;
    if (!parts.badHost.isEmpty())
        return refuse(ServeText::BadListenAddress.arg(parts.badHost));
    if (!parts.host.isEmpty() && !result.address.setAddress(parts.host))
        return refuse(ServeText::BadListenAddress.arg(parts.host));
    // "ADDRESS:" names a port and forgets to write it; only "ADDRESS" alone takes the default.
    if (!parts.port.isEmpty() || trimmed.endsWith(u':')) {
        const std::optional<quint16> port = portOf(parts.port);
        if (!port)
            return refuse(ServeText::BadListenPort.arg(parts.port));
        result.port = *port;
    }
    return result;
}

ListenAddress ListenAddress::choose(const std::optional<ListenAddress> &given, bool passwordEmpty)
{
    if (given)
        return *given;
    ListenAddress result;
    if (passwordEmpty)
        result.address = QHostAddress(QHostAddress::LocalHost);
    return result;
}

QString ListenAddress::toString() const
{
    const QString host =
        address.protocol() == QAbstractSocket::IPv6Protocol ? u'[' + address.toString() + u']' : address.toString();
    return host + u':' + QString::number(port);
}
