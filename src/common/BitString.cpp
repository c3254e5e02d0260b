#include "common/BitString.h"

#include <algorithm>
#include <bit>
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
    // The digits are written into one allocation from the right rather than prepended one by
    // one, which cost an allocation per digit.
    auto rest = static_cast<std::uint32_t>(value);
    const int significant = rest == 0 ? 1 : std::bit_width(rest);
    QString digits(std::max<int>(significant, width), u'0');
    for (qsizetype i = digits.size() - 1; rest != 0; --i, rest /= 2) {
        if (rest % 2)
            digits[i] = u'1';
    }
    return digits;
}
