#pragma once

// The song's progress as the jukebox reports it: a maximum (the song length) and a value (the
// position), both single precision, in whatever unit the jukebox uses. Like the progress bar it
// stands for, it refuses what it cannot show instead of clamping it.
class SongProgress
{
public:
    static constexpr float kInitialMaximum = 100.0f;

    float maximum() const { return m_maximum; }
    float value() const { return m_value; }

    // Throws std::invalid_argument for a maximum that is not a positive finite number.
    void setMaximum(float maximum);
    // Throws std::out_of_range for a value below 0 or above the maximum (or not a number).
    void setValue(float value);

    // The value in steps of a bar 0..steps wide; a value above a later, smaller maximum shows
    // as a full bar.
    int displayed(int steps) const;

private:
    float m_maximum = kInitialMaximum;
    float m_value = 0.0f;
};
