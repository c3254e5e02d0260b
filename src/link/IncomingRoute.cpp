#include "link/IncomingRoute.h"

#include "link/MessageSplit.h"

static_assert(!isNotice(Incoming::PasswordOK) && !isNotice(Incoming::PasswordWrong),
              "the login answers are no notices");
namespace {

constexpr bool everyKindAfterTheLoginIsANotice()
{
    for (qsizetype kind = kLoginAnswers; kind < IncomingQueue::kCapacity; ++kind) {
        if (!isNotice(static_cast<Incoming>(kind)))
            return false;
    }
    return true;
}

} // namespace

// Together with the capacity's definition: each kind has one row, so the queue fits each once.
static_assert(everyKindAfterTheLoginIsANotice(), "a kind without its row in kNotices");

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
    for (const NoticeRow &notice : kNotices) {
        if (parts.name == *notice.name)
            return {Route::Kind::Message, {}, notice.kind};
    }
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
