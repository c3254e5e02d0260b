// The client's handling of received messages, fed with arbitrary frame sequences.
//
// Input layout: byte 0 chooses the value name a query waits for (or none); the rest is the
// stream from the jukebox, read through a ReceiveBuffer in pieces of 1 to 64 bytes whose sizes
// come from the stream itself. Every text is routed against the waiting query's name, answers
// are checked against the name, and messages go through the queue the panel is served from,
// which is drained now and then as the panel would.

#include "common/Windows1252.h"
#include "link/Frame.h"
#include "link/IncomingRoute.h"
#include "link/MessageSplit.h"
#include "link/Messages.h"
#include "link/ReceiveBuffer.h"
#include "link/Vocabulary.h"

#include <QSet>
#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace {

void require(bool ok, const char *what)
{
    if (!ok) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }
}

const QString &pendingFor(unsigned char choice)
{
    static const QString names[] = {QString(),       Msg::Version,     Msg::Type,       Msg::Credit,
                                    Msg::PlayStatus, Msg::CurrentSong, Msg::SongLength, Msg::SongPos,
                                    Msg::Volume,     Msg::ChangeTitle, Msg::PasswordOK};
    return names[choice % std::size(names)];
}

void checkRoute(const QString &text, const QString &pending, const Route &route)
{
    const MessageParts parts = SplitMessage(text);
    const bool loginAnswer = text == Msg::PasswordOK || text == Msg::PasswordWrong;
    switch (route.kind) {
    case Route::Kind::Answer:
        require(!pending.isEmpty() && parts.name == pending && !loginAnswer, "answer only to the waiting query");
        require(route.answer == parts.value, "answer carries the value");
        require(!route.answer.contains(u'|'), "an answer never holds a bar");
        break;
    case Route::Kind::Message:
        require(loginAnswer || std::any_of(std::begin(kNotices), std::end(kNotices),
                                           [&](const NoticeRow &row) { return *row.name == parts.name; }),
                "only known messages reach the panel");
        require(loginAnswer != isNotice(route.message), "a login answer is no notice, a notice no login answer");
        require(loginAnswer || pending.isEmpty() || parts.name != pending, "a query's answer is never a notice");
        // A jukebox that echoes what it was told must not make the panel act on its own command.
        require(!commandOfWire(text), "a command's text is never a message to act on");
        break;
    case Route::Kind::Ignored:
        require(!loginAnswer, "login answers are never dropped");
        break;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const QString &pending = pendingFor(data[0]);
    const QByteArrayView stream(reinterpret_cast<const char *>(data) + 1, static_cast<qsizetype>(size - 1));

    ReceiveBuffer buffer;
    IncomingQueue queue;
    qsizetype at = 0;
    int handled = 0;
    while (at < stream.size()) {
        const qsizetype piece =
            std::min<qsizetype>(1 + static_cast<unsigned char>(stream[at]) % 64, stream.size() - at);
        buffer.append(stream.sliced(at, piece));
        at += piece;
        while (const std::optional<QByteArray> frame = buffer.takeFrame()) {
            const QString text = FromWindows1252(*frame);
            const Route route = RouteMessage(text, pending);
            checkRoute(text, pending, route);
            if (route.kind == Route::Kind::Message)
                queue.push(route.message);
            require(queue.size() <= IncomingQueue::kCapacity, "queue within its capacity");
        }
        require(buffer.size() <= kMaxFrameBytes, "receive buffer within its bound");
        // Now and then the panel gets its turn and takes everything queued, each kind once.
        if (piece % 3 == 0) {
            QSet<int> seen;
            while (const std::optional<Incoming> next = queue.take()) {
                require(!seen.contains(static_cast<int>(*next)), "a repeat is never handled twice in one turn");
                seen.insert(static_cast<int>(*next));
                ++handled;
            }
            require(queue.isEmpty(), "a turn empties the queue");
        }
    }
    (void)handled;
    return 0;
}
