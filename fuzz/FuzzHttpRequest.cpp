// The web remote's HTTP request reader, fed with arbitrary bytes the way a socket delivers them.
//
// Input layout: byte 0 = n (low 4 bits) and a time scale (high 4 bits); the next n bytes choose,
// in turn, the sizes of the pieces in which the rest arrives and the time before each. After
// each piece the reader runs on what has arrived, and a complete request is taken off the front
// as the connection does, so keep-alive and pipelining are covered too. The request deadline
// runs beside it as the connection runs it, and every complete request's Host goes through the
// allow-list.

#include "HostAllowList.h"
#include "HttpRequestReader.h"
#include "RequestDeadline.h"

#include <QByteArray>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr qsizetype kMaxBody = 4096;
constexpr qint64 kRequestMs = 5000;

void require(bool ok, const char *what)
{
    if (!ok) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }
}

void check(const QByteArray &buffer, const HttpRequestReader::Result &result)
{
    using State = HttpRequestReader::Result::State;
    switch (result.state) {
    case State::NeedMore:
        // Never waits on more than one request's worth.
        require(buffer.size() <= HttpRequestReader::kMaxHeadBytes + kMaxBody, "waits beyond the bounds");
        break;
    case State::Refused:
        require(result.status >= 400 && result.status < 600, "refusal is not an error status");
        require(!result.message.isEmpty(), "refusal without a message");
        break;
    case State::Complete: {
        require(result.used > 0 && result.used <= buffer.size(), "used outside the buffer");
        require(result.request.body.size() <= kMaxBody, "body beyond the bound");
        require(result.request.path.startsWith('/'), "path not absolute");
        require(!result.request.method.isEmpty(), "no method");
        // The same request from exactly its own bytes: nothing after it changed the verdict.
        const auto again = HttpRequestReader::read(QByteArrayView(buffer).first(result.used), kMaxBody);
        require(again.state == State::Complete && again.used == result.used &&
                    again.request.body == result.request.body && again.request.headers == result.request.headers,
                "verdict depends on bytes after the request");
        break;
    }
    }
}

// A Host the list lets through never carries what would make it mean another place, and no
// name of ours stays ours with a stranger's domain behind it.
void checkHost(const HostAllowList &hosts, const QByteArray &host)
{
    if (!hosts.allows(host))
        return;
    for (const char c : QByteArrayView("/@\\ \t?#%"))
        require(!host.contains(c), "an allowed Host holds a character no address or name has");
    require(host.count(']') <= 1 && host.count('[') <= 1, "an allowed Host holds two brackets");
    const qsizetype colon = host.startsWith('[') ? host.indexOf(']') + 1 : host.lastIndexOf(':');
    const QByteArray name = colon > 0 && colon < host.size() ? host.left(colon) : host;
    require(!hosts.allows(name + ".evil.example"), "a stranger's domain behind an allowed name passes");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    const size_t pieces = data[0] & 0x0f;
    const qint64 timeScale = data[0] >> 4;
    static const HostAllowList hosts({QStringLiteral("jukebox"), QStringLiteral("jukebox.local")});
    RequestDeadline deadline(kRequestMs);
    qint64 now = 0;
    if (size < 1 + pieces)
        return 0;
    const QByteArray stream(reinterpret_cast<const char *>(data + 1 + pieces), qsizetype(size - 1 - pieces));

    QByteArray buffer;
    qsizetype offset = 0;
    size_t piece = 0;
    while (offset < stream.size()) {
        const qsizetype step = piece < pieces ? qsizetype(data[1 + piece]) + 1 : stream.size() - offset;
        now += piece < pieces ? qint64(data[1 + piece]) * timeScale * 8 : 0;
        ++piece;
        // The deadline ran out before these bytes came: the connection ended there.
        if (deadline.remaining(now) == 0)
            return 0;
        buffer += stream.mid(offset, step);
        offset += step;
        deadline.bytesArrived(now);
        for (;;) {
            const auto result = HttpRequestReader::read(buffer, kMaxBody);
            check(buffer, result);
            if (result.state == HttpRequestReader::Result::State::Refused)
                return 0; // the connection ends here
            if (result.state == HttpRequestReader::Result::State::NeedMore)
                break;
            buffer.remove(0, result.used);
            deadline.requestTaken(!buffer.isEmpty(), now);
            checkHost(hosts, result.request.value("host"));
        }
        // Whatever waits unread is under a deadline no longer than the limit, and nothing else.
        const std::optional<qint64> left = deadline.remaining(now);
        require(left.has_value() == !buffer.isEmpty(), "bytes wait without a deadline, or a deadline without bytes");
        require(!left || *left <= kRequestMs, "a deadline beyond the limit");
    }
    return 0;
}
