#include "FitLabel.h"

#include "StandInFonts.h"

#include <QFontMetrics>
#include <QPainter>
#include <QStyle>

QFont FitLabel::fittedFont() const
{
    return fitToWidth(font(), text(), contentsRect().width());
}

bool FitLabel::isElided() const
{
    return QFontMetrics(fittedFont()).horizontalAdvance(text()) > contentsRect().width();
}

void FitLabel::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const QRect box = contentsRect();
    const QFont drawn = fittedFont();
    painter.setFont(drawn);
    const QString shown = QFontMetrics(drawn).elidedText(text(), Qt::ElideRight, box.width());
    setToolTip(shown == text() ? QString() : text());
    style()->drawItemText(&painter, box, alignment(), palette(), isEnabled(), shown, foregroundRole());
}
