// The web remote's HTTP request reader, fed with arbitrary bytes the way a socket delivers them.
//
// Input layout: byte 0 = n (low 4 bits); the next n bytes choose, in turn, the sizes of the
// pieces in which the rest arrives. After each piece the reader runs on what has arrived, and a
// complete request is taken off the front as the connection does, so keep-alive and pipelining
// are covered too.

#include "HttpRequestReader.h"

#include <QByteArray>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr qsizetype kMaxBody = 4096;

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

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    const size_t pieces = data[0] & 0x0f;
    if (size < 1 + pieces)
        return 0;
    const QByteArray stream(reinterpret_cast<const char *>(data + 1 + pieces), qsizetype(size - 1 - pieces));

    QByteArray buffer;
    qsizetype offset = 0;
    size_t piece = 0;
    while (offset < stream.size()) {
        const qsizetype step = piece < pieces ? qsizetype(data[1 + piece++]) + 1 : stream.size() - offset;
        buffer += stream.mid(offset, step);
        offset += step;
        for (;;) {
            const auto result = HttpRequestReader::read(buffer, kMaxBody);
            check(buffer, result);
            if (result.state == HttpRequestReader::Result::State::Refused)
                return 0; // the connection ends here
            if (result.state == HttpRequestReader::Result::State::NeedMore)
                break;
            buffer.remove(0, result.used);
        }
    }
    return 0;
}
