#pragma once

#include "link/Messages.h"

#include <QList>
#include <QString>
#include <optional>

// What a received text means to the client, decided without any I/O: the answer to the query
// that waits, one of the messages the panel acts on, or nothing.

// The messages the panel acts on: the two login answers and the notices of kNotices.
enum class Incoming
{
    PasswordOK,
    PasswordWrong,
    ChangeTitle,
    ChangeCredit,
    PlayStatusStop
};

// What the jukebox may send unasked, one row per notice: the name it counts by (any value after
// a "|" is ignored) and the kind the link hands out for it. The router, the queue's capacity,
// the link's dispatch and the fuzzer read this table; the panel keys its handlers by the kind.
struct NoticeRow
{
    const QString *name;
    Incoming kind;
};
inline constexpr NoticeRow kNotices[] = {
    {&Msg::ChangeTitle, Incoming::ChangeTitle},
    {&Msg::ChangeCredit, Incoming::ChangeCredit},
    {&Msg::PlayStatusStop, Incoming::PlayStatusStop},
};
// The login answers come before the notices in Incoming.
inline constexpr qsizetype kLoginAnswers = 2;

// Whether kind is one of the notices (and not a login answer).
constexpr bool isNotice(Incoming kind)
{
    for (const NoticeRow &row : kNotices) {
        if (row.kind == kind)
            return true;
    }
    return false;
}

struct Route
{
    enum class Kind
    {
        Ignored,
        Answer,
        Message
    };
    Kind kind = Kind::Ignored;
    QString answer;     // for Answer: the value, possibly empty (an empty one is no answer yet)
    Incoming message{}; // for Message
};

// The login answers count only as whole texts. Otherwise a text whose name (the part before its
// first "|") equals a non-empty pendingQuery is that query's answer, whatever the name; a notice
// counts by its name, any value ignored; everything else, the empty text included, is ignored.
Route RouteMessage(const QString &text, const QString &pendingQuery);

// Messages waiting to be handled, oldest first. A repeat moves to the newest place instead of
// adding an entry: each handler reads the jukebox's state afresh, so handling a message once
// for many shows the same. So the queue never holds more than one entry per kind.
class IncomingQueue
{
public:
    // One entry per kind: each login answer and each notice.
    static constexpr qsizetype kCapacity = kLoginAnswers + static_cast<qsizetype>(std::size(kNotices));

    void push(Incoming message);
    std::optional<Incoming> take();
    bool isEmpty() const { return m_entries.isEmpty(); }
    qsizetype size() const { return m_entries.size(); }

private:
    QList<Incoming> m_entries;
};
