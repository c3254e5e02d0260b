#include "link/Frame.h"

#include "common/Windows1252.h"

QByteArray FrameMessage(const QString &text)
{
    const QByteArray body = ToWindows1252(text);
    if (body.size() > kMaxTextBytes)
        return {};
    // The length goes out as two bytes, high byte first.
    const auto length = static_cast<unsigned>(body.size());
    QByteArray frame;
    frame.reserve(body.size() + kFrameOverhead);
    frame.append(kStartByte);
    frame.append(static_cast<char>(length >> 8));
    frame.append(static_cast<char>(length & 0xFF));
    frame.append(body);
    frame.append(kEndByte);
    return frame;
}

FrameScan ScanFrame(QByteArrayView data)
{
    FrameScan scan;
    if (data.size() < 5)
        return scan;
    const qsizetype start = data.indexOf(kStartByte);
    if (start < 0 || start + 2 >= data.size())
        return scan;
    const auto high = static_cast<unsigned char>(data[start + 1]);
    const auto low = static_cast<unsigned char>(data[start + 2]);
    const qsizetype length = high * 256 + low;
    const qsizetype end = start + length + 4; // one past the end byte
    if (data.size() < end)
        return scan;
    // Any 0x03 after the start byte will do, a length byte or a text byte included. Tested
    // last: the length test above is cheaper and both must hold.
    if (data.sliced(start + 1).indexOf(kEndByte) < 0)
        return scan;
    scan.complete = true;
    scan.textBegin = start + 3;
    scan.textLength = length;
    scan.consumed = end;
    return scan;
}

QByteArray ExtractMessage(QByteArray &buffer)
{
    const FrameScan scan = ScanFrame(buffer);
    if (!scan.complete)
        return {};
    QByteArray text = buffer.mid(scan.textBegin, scan.textLength);
    buffer.remove(0, scan.consumed);
    return text;
}
