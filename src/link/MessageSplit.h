#pragma once

#include <QString>

// A received text split at "|": no "|" makes the whole text the name; exactly one gives name
// and value; two or more give the part before the first "|" as name and an empty value, so a
// value that holds "|" is never taken.
struct MessageParts
{
    QString name;
    QString value;
};
MessageParts SplitMessage(const QString &text);
