#include "HostAllowList.h"

namespace {

bool isDigits(QByteArrayView text, qsizetype maxLength)
{
    if (text.isEmpty() || text.size() > maxLength)
        return false;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return false;
    }
    return true;
}

bool isPort(QByteArrayView text)
{
    return isDigits(text, 5) && text.toInt() >= 1 && text.toInt() <= 65535;
}

bool isIPv4(QByteArrayView text)
{
    int parts = 0;
    for (const QByteArrayView part : QByteArray(text.toByteArray()).split('.')) {
        if (!isDigits(part, 3) || part.toInt() > 255)
            return false;
        ++parts;
    }
    return parts == 4;
}

// What goes between the brackets: no DNS name can hold a colon, so this can never be rebound.
bool isIPv6(QByteArrayView text)
{
    if (text.count(':') < 2)
        return false;
    for (const char c : text) {
        const bool hex = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
        if (!hex && c != ':' && c != '.')
            return false;
    }
    return true;
}

QByteArray normalName(QByteArrayView name)
{
    QByteArray text = name.toByteArray().toLower();
    if (text.endsWith('.'))
        text.chop(1);
    return text;
}

} // namespace

HostAllowList::HostAllowList(const QStringList &names)
{
    m_names.append("localhost");
    for (const QString &name : names) {
        const QByteArray normal = normalName(name.trimmed().toUtf8());
        if (!normal.isEmpty() && !m_names.contains(normal))
            m_names.append(normal);
    }
}

bool HostAllowList::allows(QByteArrayView host) const
{
    if (host.startsWith('[')) {
        const qsizetype close = host.indexOf(']');
        if (close < 0)
            return false;
        const QByteArrayView rest = host.sliced(close + 1);
        if (!rest.isEmpty() && !(rest.startsWith(':') && isPort(rest.sliced(1))))
            return false;
        return isIPv6(host.sliced(1, close - 1));
    }
    QByteArrayView name = host;
    const qsizetype colon = host.lastIndexOf(':');
    if (colon >= 0) {
        if (!isPort(host.sliced(colon + 1)))
            return false;
        name = host.first(colon);
    }
    if (name.isEmpty())
        return false;
    return isIPv4(name) || m_names.contains(normalName(name));
}
