#include "link/IncomingRoute.h"

#include "link/MessageSplit.h"
#include "link/Messages.h"

static_assert(static_cast<qsizetype>(Incoming::PlayStatusStop) + 1 == IncomingQueue::kCapacity,
              "one queue entry per kind of message");

Route RouteMessage(const QString &text, const QString &pendingQuery)
{
    if (text.isEmpty())
        return {};
    if (text == Msg::PasswordOK)
        return {Route::Kind::Message, {}, Incoming::PasswordOK};
    if (text == Msg::PasswordWrong)
        return {Route::Kind::Message, {}, Incoming::PasswordWrong};

    const MessageParts parts = SplitMessage(text);
    if (!pendingQuery.isEmpty() && parts.name == pendingQuery)
        return {Route::Kind::Answer, parts.value, {}};
    if (parts.name == Msg::ChangeTitle)
        return {Route::Kind::Message, {}, Incoming::ChangeTitle};
    if (parts.name == Msg::ChangeCredit)
        return {Route::Kind::Message, {}, Incoming::ChangeCredit};
    if (parts.name == Msg::PlayStatusStop)
        return {Route::Kind::Message, {}, Incoming::PlayStatusStop};
    return {};
}

void IncomingQueue::push(Incoming message)
{
    m_entries.removeOne(message);
    m_entries.append(message);
}

std::optional<Incoming> IncomingQueue::take()
{
    if (m_entries.isEmpty())
        return std::nullopt;
    return m_entries.takeFirst();
}
