#include "FaultPlan.h"

#include <QRandomGenerator>

QByteArray GarbageBytes(int count, quint32 seed)
{
    QByteArray bytes;
    if (count < 1)
        return bytes;
    bytes.reserve(count);
    QRandomGenerator random(seed);
    for (int i = 0; i < count; ++i) {
        // 255 values, 0x02 stepped over.
        quint32 b = random.bounded(255u);
        if (b >= 0x02)
            ++b;
        bytes.append(static_cast<char>(b));
    }
    return bytes;
}
