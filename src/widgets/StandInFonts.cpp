#include "widgets/StandInFonts.h"

#include <QFontMetricsF>
#include <QStringList>

namespace {

QFont make(const QStringList &families, qreal pointSize, bool bold = false)
{
    QFont font;
    font.setFamilies(families);
    font.setPointSizeF(pointSize);
    font.setBold(bold);
    font.setItalic(false);
    return font;
}

} // namespace

namespace StandIn {

QFont arial(qreal pointSize)
{
    return make(QStringList{QStringLiteral("Arial"), QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")},
                pointSize);
}

QFont msSansSerif(qreal pointSize)
{
    return make(QStringList{QStringLiteral("MS Sans Serif"), QStringLiteral("DejaVu Sans")}, pointSize);
}

QFont franklinGothicMedium(qreal pointSize, bool bold)
{
    return make(QStringList{QStringLiteral("Franklin Gothic Medium"), QStringLiteral("DejaVu Sans")}, pointSize, bold);
}

QFont symbols(qreal pointSize)
{
#ifdef Q_OS_WIN
    // Windows has these symbols in a face of its own (since Windows 7); the faces below are the
    // Linux stand-ins, last resorts there.
    return make(
        QStringList{QStringLiteral("Segoe UI Symbol"), QStringLiteral("Symbola"), QStringLiteral("DejaVu Sans")},
        pointSize);
#else
    return make(QStringList{QStringLiteral("Symbola"), QStringLiteral("DejaVu Sans")}, pointSize);
#endif
}

} // namespace StandIn

QFont fitToWidth(const QFont &font, const QString &text, int width)
{
    QFont fitted = font;
    const qreal floor = font.pointSizeF() * 0.75;
    while (QFontMetricsF(fitted).horizontalAdvance(text) > width) {
        if (fitted.pointSizeF() - 0.25 < floor)
            return font; // too long even at the floor: keep the size, the caller elides
        fitted.setPointSizeF(fitted.pointSizeF() - 0.25);
    }
    return fitted;
}
