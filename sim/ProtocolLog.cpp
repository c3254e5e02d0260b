#include "ProtocolLog.h"

#include "common/Windows1252.h"
#include "link/Messages.h"

#include <QIODevice>

namespace {

bool isPrintable(unsigned char b)
{
    // Below 0x20 and DEL are controls; 0x81, 0x8D, 0x8F, 0x90 and 0x9D are unassigned in the
    // code page and would show as invisible controls too.
    if (b < 0x20 || b == 0x7F)
        return false;
    return b != 0x81 && b != 0x8D && b != 0x8F && b != 0x90 && b != 0x9D;
}

} // namespace

QString PrintableBytes(QByteArrayView bytes)
{
    QString out;
    out.reserve(bytes.size());
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (isPrintable(b))
            out += FromWindows1252(QByteArrayView(&c, 1));
        else
            out += QStringLiteral("\\x") + QString::number(b, 16).toUpper().rightJustified(2, u'0');
    }
    return out;
}

void ProtocolLog::received(int client, QByteArrayView text)
{
    if (!m_device)
        return;
    const QByteArray prefix = ToWindows1252(Msg::PasswordPrefix);
    if (text.startsWith(prefix))
        write(client, QStringLiteral("recv: ") + Msg::PasswordPrefix + QStringLiteral("***"));
    else
        write(client, QStringLiteral("recv: ") + PrintableBytes(text));
}

void ProtocolLog::sent(int client, QByteArrayView text)
{
    if (m_device)
        write(client, QStringLiteral("send: ") + PrintableBytes(text));
}

void ProtocolLog::sentRaw(int client, QByteArrayView bytes)
{
    if (m_device)
        write(client, QStringLiteral("send %1 raw bytes: ").arg(bytes.size()) + PrintableBytes(bytes));
}

void ProtocolLog::note(int client, const QString &what)
{
    if (m_device)
        write(client, what);
}

void ProtocolLog::write(int client, const QString &what)
{
    const QString line = QStringLiteral("[#") + QString::number(client) + QStringLiteral("] ") + what + u'\n';
    m_device->write(line.toUtf8());
}
