#include "common/IniFile.h"

#include "common/Windows1252.h"

#include <QByteArrayList>
#include <QFile>
#include <QSaveFile>

namespace {

constexpr qsizetype kMaxValueBytes = 1023;
// A settings file is a few lines; anything larger is not ours and is left alone.
constexpr qint64 kMaxFileBytes = 1 << 20;

QByteArrayList readLines(const QString &file, bool *ok)
{
    QFile in(file);
    *ok = in.open(QIODevice::ReadOnly) && in.size() <= kMaxFileBytes;
    if (!*ok)
        return {};
    QByteArray content = in.readAll();
    if (content.startsWith("\xEF\xBB\xBF"))
        content.remove(0, 3); // a byte-order mark left by an editor
    QByteArrayList lines = content.split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    for (QByteArray &line : lines) {
        if (line.endsWith('\r'))
            line.chop(1);
    }
    return lines;
}

// The section name of a "[Name]" line, or a null array for any other line.
QByteArray sectionName(const QByteArray &line)
{
    const QByteArray t = line.trimmed();
    if (t.size() < 2 || !t.startsWith('[') || !t.endsWith(']'))
        return {};
    return t.mid(1, t.size() - 2).trimmed();
}

bool keyMatches(const QByteArray &line, const QByteArray &key)
{
    const qsizetype eq = line.indexOf('=');
    return eq >= 0 && line.left(eq).trimmed().compare(key, Qt::CaseInsensitive) == 0;
}

// Blanks around "=" are layout, as hand-edited files and other tools write them. A value whose
// own blanks at either end must survive is stored in double quotes, which reading removes.
QByteArray storedForm(const QByteArray &value)
{
    const bool quoted = value.size() >= 2 && value.startsWith('"') && value.endsWith('"');
    return value != value.trimmed() || quoted ? '"' + value + '"' : value;
}

QByteArray valueOf(const QByteArray &line)
{
    QByteArray value = line.mid(line.indexOf('=') + 1).trimmed();
    if (value.size() >= 2 && value.startsWith('"') && value.endsWith('"'))
        value = value.mid(1, value.size() - 2);
    return value;
}

bool isSection(const QByteArray &line, const QByteArray &section)
{
    const QByteArray name = sectionName(line);
    return !name.isNull() && name.compare(section, Qt::CaseInsensitive) == 0;
}

} // namespace

QString ReadIni(const QString &file, const QString &section, const QString &key, const QString &defaultValue)
{
    bool ok = false;
    const QByteArrayList lines = readLines(file, &ok);
    const QByteArray wantedSection = ToWindows1252(section);
    const QByteArray wantedKey = ToWindows1252(key);
    bool inSection = false;
    for (const QByteArray &line : lines) {
        if (!sectionName(line).isNull()) {
            inSection = isSection(line, wantedSection);
            continue;
        }
        if (!inSection || !keyMatches(line, wantedKey))
            continue;
        QByteArray value = valueOf(line);
        const qsizetype nul = value.indexOf('\0');
        if (nul >= 0)
            value.truncate(nul);
        return FromWindows1252(value.left(kMaxValueBytes));
    }
    return defaultValue;
}

void WriteIni(const QString &file, const QString &section, const QString &key, const QString &value)
{
    bool ok = false;
    QByteArrayList lines = readLines(file, &ok);
    if (!ok && QFile::exists(file))
        return; // unreadable or oversized: never replace what we cannot read back

    const QByteArray wantedSection = ToWindows1252(section);
    const QByteArray wantedKey = ToWindows1252(key);
    QByteArray stored = ToWindows1252(value);
    stored.replace('\r', ' ').replace('\n', ' ');
    const QByteArray entry = wantedKey + '=' + storedForm(stored);

    qsizetype sectionAt = -1;
    qsizetype insertAt = -1;
    bool replaced = false;
    for (qsizetype i = 0; i < lines.size() && !replaced; ++i) {
        if (!sectionName(lines.at(i)).isNull()) {
            if (sectionAt >= 0)
                break; // end of our section
            if (isSection(lines.at(i), wantedSection))
                sectionAt = insertAt = i;
            continue;
        }
        if (sectionAt < 0)
            continue;
        if (keyMatches(lines.at(i), wantedKey)) {
            lines[i] = entry;
            replaced = true;
        } else if (!lines.at(i).trimmed().isEmpty()) {
            insertAt = i;
        }
    }
    if (!replaced) {
        if (sectionAt < 0) {
            lines.append('[' + wantedSection + ']');
            insertAt = lines.size() - 1;
        }
        lines.insert(insertAt + 1, entry);
    }

    QSaveFile out(file);
    if (!out.open(QIODevice::WriteOnly))
        return;
    out.write(lines.join("\r\n") + "\r\n");
    out.commit();
}
