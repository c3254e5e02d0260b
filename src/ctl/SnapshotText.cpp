#include "ctl/SnapshotText.h"

#include "ctl/Texts.h"

#include <QJsonDocument>
#include <cmath>

namespace {

QString field(const QString &label, const QString &value)
{
    return label + QStringLiteral(": ") + value;
}

// Every text from the jukebox passes here on its way to a terminal.
QString textOr(const std::optional<QString> &value)
{
    return value ? terminalText(*value) : CtlText::Unknown;
}

template <typename T> QString numberOr(const std::optional<T> &value)
{
    return value ? QString::number(*value) : CtlText::Unknown;
}

QString playbackText(const std::optional<bool> &playing)
{
    if (!playing)
        return CtlText::Unknown;
    return *playing ? CtlText::Plays : CtlText::Stopped;
}

QString versionText(const JukeboxSnapshot &snapshot)
{
    if (!snapshot.version && !snapshot.type)
        return CtlText::Unknown;
    QString text = textOr(snapshot.version);
    if (snapshot.type)
        text += QStringLiteral(" (") + terminalText(*snapshot.type) + u')';
    return text;
}

} // namespace

QString terminalText(const QString &text)
{
    // U+FFFD, not "?" or nothing: it cannot be mistaken for a character of the title, every
    // UTF-8 terminal (and the Windows console set to UTF-8) shows it, and a title keeps its
    // length, so the reader sees that and where the jukebox sent something odd.
    QString safe = text;
    for (QChar &c : safe) {
        const char16_t code = c.unicode();
        if (code < 0x20 || (code >= 0x7F && code <= 0x9F))
            c = QChar::ReplacementCharacter;
    }
    return safe;
}

QString durationText(std::optional<double> seconds)
{
    if (!seconds || !std::isfinite(*seconds) || *seconds < 0 || *seconds > 1e9)
        return CtlText::Unknown;
    const qint64 whole = static_cast<qint64>(*seconds);
    const QChar zero(u'0');
    if (whole >= 3600)
        return QStringLiteral("%1:%2:%3")
            .arg(whole / 3600)
            .arg(whole / 60 % 60, 2, 10, zero)
            .arg(whole % 60, 2, 10, zero);
    return QStringLiteral("%1:%2").arg(whole / 60).arg(whole % 60, 2, 10, zero);
}

QString creditsLine(const JukeboxSnapshot &snapshot)
{
    return field(CtlText::Credits, numberOr(snapshot.credits));
}

QString volumeLine(const JukeboxSnapshot &snapshot)
{
    return field(CtlText::Volume, numberOr(snapshot.volume));
}

QString titleLine(const JukeboxSnapshot &snapshot)
{
    if (snapshot.playing == false && !snapshot.title)
        return field(CtlText::Title, CtlText::NoTitle);
    return field(CtlText::Title, textOr(snapshot.title));
}

QString statusText(const JukeboxSnapshot &snapshot)
{
    const QStringList lines{
        field(CtlText::Version, versionText(snapshot)),
        creditsLine(snapshot),
        field(CtlText::Playback, playbackText(snapshot.playing)),
        titleLine(snapshot),
        field(CtlText::Path, textOr(snapshot.path)),
        field(CtlText::Length, durationText(snapshot.length)),
        field(CtlText::Position, durationText(snapshot.position)),
        volumeLine(snapshot),
    };
    return lines.join(u'\n') + u'\n';
}

QString jsonLine(const JukeboxSnapshot &snapshot)
{
    return QString::fromUtf8(QJsonDocument(snapshotToJson(snapshot)).toJson(QJsonDocument::Compact)) + u'\n';
}

QStringList changeLines(const JukeboxSnapshot &before, const JukeboxSnapshot &after, bool withPosition)
{
    QStringList lines;
    if (before.connected && !after.connected)
        return {CtlText::LinkLostLine};
    if (after.title != before.title || after.path != before.path)
        lines << titleLine(after);
    if (after.playing != before.playing)
        lines << field(CtlText::Playback, playbackText(after.playing));
    if (after.credits != before.credits)
        lines << creditsLine(after);
    if (after.volume != before.volume)
        lines << volumeLine(after);
    if (withPosition && after.position != before.position)
        lines << field(CtlText::Position, durationText(after.position));
    return lines;
}
