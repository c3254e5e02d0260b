#pragma once

#include <QFont>
#include <QString>

// The faces the windows were drawn with are Windows fonts; where one is missing the nearest
// free face stands in (Liberation Sans shares Arial's metrics, DejaVu Sans the others'
// proportions).
namespace StandIn {
QFont arial(qreal pointSize);
QFont msSansSerif(qreal pointSize);
QFont franklinGothicMedium(qreal pointSize, bool bold);
// A face holding the transport symbols (U+23ED, U+23EE, U+23F9).
QFont symbols(qreal pointSize);
} // namespace StandIn

// The largest size, at most font's own, at which text fits width pixels, down to three
// quarters of the size. A text that does not fit even then keeps font's own size (a label
// elides it rather than shrinking it past comfortable reading).
QFont fitToWidth(const QFont &font, const QString &text, int width);
