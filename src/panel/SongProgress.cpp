#include "panel/SongProgress.h"

#include <algorithm>
#include <cmath>

bool SongProgress::setMaximum(float maximum)
{
    if (!(maximum > 0.0f) || !std::isfinite(maximum))
        return false;
    m_maximum = maximum;
    m_lengthKnown = true;
    return true;
}

bool SongProgress::setValue(float value)
{
    if (!(value >= 0.0f && value <= m_maximum))
        return false;
    m_value = value;
    return true;
}

int SongProgress::displayed(int steps) const
{
    const double share = std::min(1.0, static_cast<double>(m_value) / static_cast<double>(m_maximum));
    return static_cast<int>(std::lround(share * steps));
}
