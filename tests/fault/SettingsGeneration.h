#pragma once

#include <QString>

#include <optional>

using namespace Qt::StringLiterals;

// The values the settings writer stores, one per round: long enough that a write takes a
// while, short enough that ReadIni gives them back whole (it returns at most 1023 bytes), and
// shaped so that any cut-off or mixed-up value is recognised.
namespace SettingsGeneration {

inline constexpr qsizetype kValueLength = 1000;

// "G<round>:" followed by one letter, chosen by the round, up to kValueLength characters.
inline QString value(quint64 round)
{
    QString text = u"G%1:"_s.arg(round);
    text += QString(kValueLength - text.size(), QChar(u'A' + static_cast<char16_t>(round % 26)));
    return text;
}

// The round a value was written in; nullopt for anything that is not a whole value.
inline std::optional<quint64> roundOf(const QString &text)
{
    if (!text.startsWith(u'G'))
        return std::nullopt;
    bool ok = false;
    const quint64 round = text.mid(1, text.indexOf(u':') - 1).toULongLong(&ok);
    if (!ok || text != value(round))
        return std::nullopt;
    return round;
}

} // namespace SettingsGeneration
