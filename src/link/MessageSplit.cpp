#include "link/MessageSplit.h"

#include "common/FieldHelpers.h"

MessageParts SplitMessage(const QString &text)
{
    static const QString bar = QStringLiteral("|");
    const int bars = CountOccurrences(text, bar);
    if (bars == 0)
        return {text, {}};
    return {GetField(text, 1, bar), bars == 1 ? GetField(text, 2, bar) : QString()};
}
