#include "panel/AnswerReadings.h"

#include "common/NumberReadings.h"
#include "link/Messages.h"

#include <cmath>

std::optional<int> volumeReading(const QString &answer)
{
    const double rounded = std::nearbyint(LeadingNumberValue(answer)); // halves to even
    if (!(rounded >= 0 && rounded <= 100))
        return std::nullopt;
    return static_cast<int>(rounded);
}

float positionReading(const QString &answer)
{
    return static_cast<float>(LeadingNumberValue(answer));
}

std::optional<float> lengthReading(const QString &answer, bool wholeText)
{
    const double leading = LeadingNumberValue(answer);
    if (!(leading > 0) || answer == Msg::TimeOut)
        return std::nullopt;
    if (wholeText)
        return FullConversion(answer);
    return static_cast<float>(leading);
}

std::optional<bool> creditsAboveZero(const QString &answer)
{
    if (!IsNumber(answer))
        return std::nullopt;
    return LeadingNumberValue(answer) > 0;
}
