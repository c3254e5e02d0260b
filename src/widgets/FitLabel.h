#pragma once

#include <QLabel>

// A one-line label that keeps its text inside its box: the text is drawn at the largest size
// (down to three quarters of the label's font size) at which it fits, or elided at full size.
// text() stays the full text; the tool tip shows it whenever it had to be elided.
class FitLabel : public QLabel
{
    Q_OBJECT

public:
    using QLabel::QLabel;

    // The font the current text is drawn with.
    QFont fittedFont() const;
    // True when even the smallest size could not hold the text.
    bool isElided() const;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    // As much of text() as can decide how it is drawn.
    QString laidOutText() const;
};
