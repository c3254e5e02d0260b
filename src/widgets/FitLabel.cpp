#include "widgets/FitLabel.h"

#include "widgets/StandInFonts.h"

#include <QFontMetrics>
#include <QPainter>
#include <QStyle>

namespace {

// A label shows a few dozen characters, but a jukebox may send a name of 65,535. Fitting and
// eliding lay out every character they are given, on every paint: a text that long stalled the
// window and left megabytes of layout behind. This many characters are already wider than any
// label at its smallest size, so the rest cannot change what is drawn.
constexpr qsizetype kMaxLaidOut = 512;

} // namespace

QString FitLabel::laidOutText() const
{
    const QString &full = text();
    if (full.size() <= kMaxLaidOut)
        return full;
    QString head = full.left(kMaxLaidOut);
    // Characters without width (joiners, marks) could let the head fit where the whole does not.
    QFont smallest = font();
    smallest.setPointSizeF(font().pointSizeF() * 0.75);
    return QFontMetrics(smallest).horizontalAdvance(head) > contentsRect().width() ? head : full;
}

QFont FitLabel::fittedFont() const
{
    return fitToWidth(font(), laidOutText(), contentsRect().width());
}

bool FitLabel::isElided() const
{
    return QFontMetrics(fittedFont()).horizontalAdvance(laidOutText()) > contentsRect().width();
}

void FitLabel::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const QRect box = contentsRect();
    const QFont drawn = fittedFont();
    painter.setFont(drawn);
    const QString laidOut = laidOutText();
    const QString shown = QFontMetrics(drawn).elidedText(laidOut, Qt::ElideRight, box.width());
    setToolTip(shown == text() ? QString() : text().left(kMaxLaidOut));
    style()->drawItemText(&painter, box, alignment(), palette(), isEnabled(), shown, foregroundRole());
}
