#include "session/SnapshotReadings.h"

#include "common/FieldHelpers.h"
#include "common/NumberReadings.h"

#include <cmath>
#include <limits>

namespace {

// The leading number, when the text begins with one at all (LeadingNumberValue gives 0 for
// "abc", which must not pass for a reading of 0).
std::optional<double> leadingNumber(const QString &text)
{
    const QString trimmed = text.trimmed();
    const qsizetype digit = trimmed.startsWith(u'-') || trimmed.startsWith(u'+') ? 1 : 0;
    const QChar first = digit < trimmed.size() ? trimmed.at(digit) : QChar();
    if (!first.isDigit() && first != u'.')
        return std::nullopt;
    const double value = LeadingNumberValue(text);
    return std::isfinite(value) ? std::optional<double>(value) : std::nullopt;
}

} // namespace

std::optional<int> creditReading(const QString &answer)
{
    bool ok = false;
    const int value = answer.trimmed().toInt(&ok);
    if (!ok || value < 0)
        return std::nullopt;
    return value;
}

std::optional<int> volumeValue(const QString &answer)
{
    const std::optional<double> value = leadingNumber(answer);
    if (!value)
        return std::nullopt;
    const double rounded = std::nearbyint(*value); // halves to even, as the panel's volume bar
    if (!(rounded >= 0 && rounded <= 100))
        return std::nullopt;
    return static_cast<int>(rounded);
}

std::optional<double> lengthValue(const QString &answer)
{
    const std::optional<double> value = leadingNumber(answer);
    if (!value || !(*value > 0))
        return std::nullopt;
    return value;
}

std::optional<double> positionValue(const QString &answer)
{
    const std::optional<double> value = leadingNumber(answer);
    if (!value || *value < 0)
        return std::nullopt;
    return value;
}

QString displayTitle(const QString &path)
{
    return FileNameFromPath(path, false).replace(u'_', u' ');
}
