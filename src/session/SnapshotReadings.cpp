#include "session/SnapshotReadings.h"

#include "common/FieldHelpers.h"
#include "common/NumberReadings.h"

#include <QRegularExpression>
#include <cmath>

namespace {

// The number the text begins with, as LeadingNumberValue reads it (blanks and tabs, a sign,
// digits with "." as the decimal point); nullopt when the text does not begin with one, since
// LeadingNumberValue gives 0 for "abc" and for "." alike, which must not pass for a reading of 0.
std::optional<double> leadingNumber(const QString &text)
{
    static const QRegularExpression number(QStringLiteral("^[ \\t]*[+-]?(\\d|\\.\\d)"));
    if (!number.match(text).hasMatch())
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
