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
    // True once a song length has been taken; before that the maximum is the bar's start value.
    bool lengthKnown() const { return m_lengthKnown; }

    // Refuses (returns false, nothing changes) a maximum that is not a positive finite number.
    bool setMaximum(float maximum);
    // Refuses (returns false, nothing changes) a value below 0, above the maximum, or not a number.
    bool setValue(float value);

    // The value in steps of a bar 0..steps wide; a value above a later, smaller maximum shows
    // as a full bar.
    int displayed(int steps) const;

private:
    float m_maximum = kInitialMaximum;
    float m_value = 0.0f;
    bool m_lengthKnown = false;
};
