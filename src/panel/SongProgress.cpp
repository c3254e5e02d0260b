#include "SongProgress.h"

#include <cmath>
#include <stdexcept>

void SongProgress::setMaximum(float maximum)
{
    if (!(maximum > 0.0f) || !std::isfinite(maximum))
        throw std::invalid_argument("song length must be a positive number");
    m_maximum = maximum;
}

void SongProgress::setValue(float value)
{
    if (!(value >= 0.0f && value <= m_maximum))
        throw std::out_of_range("song position outside 0 to the song length");
    m_value = value;
}

int SongProgress::displayed(int steps) const
{
    const double share = std::min(1.0, static_cast<double>(m_value) / static_cast<double>(m_maximum));
    return static_cast<int>(std::lround(share * steps));
}
