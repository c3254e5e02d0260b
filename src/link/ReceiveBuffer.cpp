#include "link/ReceiveBuffer.h"

#include "link/Frame.h"

void ReceiveBuffer::append(QByteArrayView bytes)
{
    // Compact before growing, once the consumed front is at least half of the storage.
    if (m_pos > 0 && m_pos * 2 >= m_data.size()) {
        m_data.remove(0, m_pos);
        m_pos = 0;
    }
    m_data.append(bytes.data(), bytes.size());
}

std::optional<QByteArray> ReceiveBuffer::takeFrame()
{
    const QByteArrayView rest = QByteArrayView(m_data).sliced(m_pos);
    const FrameScan scan = ScanFrame(rest);
    if (!scan.complete) {
        trim();
        return std::nullopt;
    }
    QByteArray text = m_data.mid(m_pos + scan.textBegin, scan.textLength);
    m_pos += scan.consumed;
    if (m_pos == m_data.size())
        clear();
    return text;
}

void ReceiveBuffer::clear()
{
    m_data.clear();
    m_pos = 0;
}

void ReceiveBuffer::trim()
{
    const QByteArrayView rest = QByteArrayView(m_data).sliced(m_pos);
    if (!rest.contains(kStartByte)) {
        clear(); // no frame can ever start in these bytes
        return;
    }
    if (rest.size() <= kMaxFrameBytes)
        return;
    // Keep the newest largest-frame's worth, from its first start byte on.
    const qsizetype from = rest.size() - kMaxFrameBytes;
    const qsizetype start = rest.sliced(from).indexOf(kStartByte);
    if (start < 0) {
        clear();
        return;
    }
    m_data = rest.sliced(from + start).toByteArray();
    m_pos = 0;
}
