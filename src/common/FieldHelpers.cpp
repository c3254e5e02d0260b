#include "common/FieldHelpers.h"

#include <QList>
#include <QStringView>

QString GetField(const QString &text, int fieldNumber, const QString &delimiter, int count)
{
    if (fieldNumber < 1 || delimiter.isEmpty() || !text.contains(delimiter))
        return {};
    const QList<QStringView> fields = QStringView(text).split(delimiter);
    const qsizetype first = fieldNumber - 1;
    if (count <= 1)
        return first < fields.size() ? fields.at(first).toString() : QString();

    QString run;
    const qsizetype last = static_cast<qsizetype>(fieldNumber) + count - 2;
    for (qsizetype i = first; i <= last && i < fields.size(); ++i) {
        run += fields.at(i);
        run += delimiter;
    }
    return run;
}

int CountOccurrences(const QString &text, const QString &pattern)
{
    if (text.isEmpty() || pattern.isEmpty())
        return 0;
    int found = 0;
    // Resume one character after the start of each hit, so overlapping hits count.
    for (qsizetype at = text.indexOf(pattern); at >= 0; at = text.indexOf(pattern, at + 1))
        ++found;
    return found;
}

QString FileNameFromPath(const QString &path, bool keepExtension)
{
    QString name = path.mid(path.lastIndexOf(u'\\') + 1);
    if (!keepExtension) {
        const qsizetype dot = name.lastIndexOf(u'.');
        if (dot >= 0)
            name.truncate(dot);
    }
    return name;
}
