#include "QrCode.h"

#include <qrencode.h>

namespace {

constexpr int kTerminalQuietZone = 2;
constexpr int kImageQuietZone = 4;

} // namespace

QrCode QrCode::encode(const QByteArray &text)
{
    QrCode code;
    // Version 0: the smallest that holds the text; 8-bit mode takes any bytes.
    QRcode *encoded = QRcode_encodeString8bit(text.constData(), 0, QR_ECLEVEL_M);
    if (!encoded)
        return code;
    code.m_size = encoded->width;
    code.m_modules.reserve(encoded->width * encoded->width);
    for (int i = 0; i < encoded->width * encoded->width; ++i)
        code.m_modules.append((encoded->data[i] & 1) != 0); // the lowest bit is the module's colour
    QRcode_free(encoded);
    return code;
}

bool QrCode::dark(int x, int y) const
{
    if (x < 0 || y < 0 || x >= m_size || y >= m_size)
        return false;
    return m_modules.at(y * m_size + x);
}

QString QrCode::toHalfBlocks(bool colours) const
{
    QString text;
    const int from = -kTerminalQuietZone;
    const int to = m_size + kTerminalQuietZone;
    for (int y = from; y < to; y += 2) {
        if (colours)
            text += QStringLiteral("\x1b[30;107m");
        for (int x = from; x < to; ++x) {
            const bool top = dark(x, y);
            const bool bottom = y + 1 < to && dark(x, y + 1);
            text += top && bottom ? u'\u2588' : top ? u'\u2580' : bottom ? u'\u2584' : u' ';
        }
        if (colours)
            text += QStringLiteral("\x1b[0m");
        text += u'\n';
    }
    return text;
}

QByteArray QrCode::toSvg() const
{
    const int side = m_size + 2 * kImageQuietZone;
    QByteArray path;
    for (int y = 0; y < m_size; ++y) {
        for (int x = 0; x < m_size; ++x) {
            if (dark(x, y))
                path += 'M' + QByteArray::number(x + kImageQuietZone) + ',' + QByteArray::number(y + kImageQuietZone) +
                        "h1v1h-1z";
        }
    }
    return "<svg xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 " + QByteArray::number(side) + ' ' +
           QByteArray::number(side) + "\" shape-rendering=\"crispEdges\" role=\"img\" aria-label=\"QR-Code\">" +
           "<rect width=\"100%\" height=\"100%\" fill=\"#fff\"/><path fill=\"#000\" d=\"" + path + "\"/></svg>";
}
