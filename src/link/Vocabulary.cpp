#include "link/Vocabulary.h"

#include "link/MessageSplit.h"

std::optional<Command> commandOfWire(const QString &text)
{
    const MessageParts parts = SplitMessage(text);
    for (const VocabularyRow &row : kCommands) {
        const MessageParts wire = SplitMessage(*row.wire);
        if (text == *row.wire || (!wire.value.isEmpty() && !parts.value.isEmpty() && parts.name == wire.name))
            return row.command;
    }
    return std::nullopt;
}
