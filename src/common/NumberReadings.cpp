#include "common/NumberReadings.h"

#include <QLocale>
#include <cmath>

bool IsNumber(const QString &text)
{
    bool ok = false;
    const double value = QLocale().toDouble(text.trimmed(), &ok);
    return ok && std::isfinite(value);
}

double LeadingNumberValue(const QString &text)
{
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n && (text.at(i) == u' ' || text.at(i) == u'\t'))
        ++i;
    const qsizetype start = i;
    if (i < n && (text.at(i) == u'+' || text.at(i) == u'-'))
        ++i;
    const auto isDigit = [&](qsizetype at) { return at < n && text.at(at) >= u'0' && text.at(at) <= u'9'; };
    const qsizetype digitsFrom = i;
    while (isDigit(i))
        ++i;
    bool anyDigit = i > digitsFrom;
    if (i < n && text.at(i) == u'.') {
        const qsizetype fraction = ++i;
        while (isDigit(i))
            ++i;
        anyDigit = anyDigit || i > fraction;
    }
    if (!anyDigit)
        return 0;
    // The prefix is plain ASCII in the C locale's form, so QString::toDouble reads it exactly.
    // An overlong digit run comes back as +-infinity, which every caller refuses as out of range.
    bool ok = false;
    const double value = text.mid(start, i - start).toDouble(&ok);
    return ok || std::isinf(value) ? value : 0;
}

std::optional<float> FullConversion(const QString &text)
{
    bool ok = false;
    const float value = QLocale().toFloat(text.trimmed(), &ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}
