#include "BitString.h"

#include <cmath>
#include <limits>
#include <stdexcept>

std::int32_t BinToLong(const QString &digits)
{
    const qsizetype n = digits.size();
    double value = 0;
    for (qsizetype i = n - 1; i >= 0; --i) {
        if (digits.at(i) != u'1')
            continue;
        value += std::ldexp(1.0, static_cast<int>(std::min<qsizetype>(n - 1 - i, 4096)));
        if (value > std::numeric_limits<std::int32_t>::max())
            throw std::overflow_error("binary digit string exceeds 32-bit signed range");
    }
    return static_cast<std::int32_t>(value);
}

QString LongToBin(std::int32_t value, std::uint8_t width)
{
    auto rest = static_cast<std::uint32_t>(value);
    QString digits;
    do {
        digits.prepend((rest % 2) ? u'1' : u'0');
        rest /= 2;
    } while (rest != 0);
    if (digits.size() < width)
        digits.prepend(QString(width - digits.size(), u'0'));
    return digits;
}
