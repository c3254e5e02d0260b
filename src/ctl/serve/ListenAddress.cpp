#include "ListenAddress.h"

std::optional<ListenAddress> ListenAddress::parse(const QString &text)
{
    QString host = text.trimmed();
    QString portText;
    if (host.startsWith(u'[')) {
        const qsizetype close = host.indexOf(u']');
        if (close < 0)
            return std::nullopt;
        const QString rest = host.mid(close + 1);
        if (!rest.isEmpty() && !rest.startsWith(u':'))
            return std::nullopt;
        portText = rest.mid(1);
        host = host.mid(1, close - 1);
        if (rest.isEmpty())
            portText.clear();
    } else if (host.count(u':') == 1) {
        portText = host.section(u':', 1);
        host = host.section(u':', 0, 0);
    }
    ListenAddress result;
    if (!host.isEmpty() && !result.address.setAddress(host))
        return std::nullopt;
    if (!portText.isEmpty() || text.trimmed().endsWith(u':')) {
        bool ok = false;
        const uint port = portText.toUInt(&ok);
        if (!ok || port == 0 || port > 65535)
            return std::nullopt;
        result.port = static_cast<quint16>(port);
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
