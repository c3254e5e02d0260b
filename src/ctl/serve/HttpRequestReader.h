#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>

// The web remote's own HTTP/1.1 request reader: bytes in, a verdict out, no I/O. Whatever a
// stranger sends, the answer is one of: read more, here is a whole request, or refuse it with
// this 4xx/5xx status. The bounds keep what one connection can make us hold small.
namespace HttpRequestReader {

// Request line and headers together; a longer head is refused with 431.
constexpr qsizetype kMaxHeadBytes = 8 * 1024;

struct Request
{
    QByteArray method;
    QByteArray path;                       // the target up to '?', as sent (no decoding: routes match exactly)
    QByteArray query;                      // after '?', without it
    QHash<QByteArray, QByteArray> headers; // names lower-cased; repeated ones joined with ", "
    QByteArray body;
    bool keepAlive = true; // false for HTTP/1.0 or "Connection: close"

    // The value of a header by its lower-case name; empty when absent.
    QByteArray value(const QByteArray &lowerName) const { return headers.value(lowerName); }
};

struct Result
{
    enum class State
    {
        NeedMore,
        Complete,
        Refused
    };
    State state = State::NeedMore;
    Request request;    // when Complete
    qsizetype used = 0; // bytes of the buffer the request took, when Complete
    int status = 0;     // when Refused: 400, 411, 413, 431, 501 or 505
    QString message;    // when Refused: the short German text for the answer
};

// Reads the first request in buffer. A body needs Content-Length and may be at most maxBody
// bytes; a transfer coding, a folded or malformed header line, a repeated or invalid
// Content-Length, or a head beyond kMaxHeadBytes is refused. Empty lines before the request
// line are skipped; lines may end in CRLF or a bare LF.
Result read(QByteArrayView buffer, qsizetype maxBody);

} // namespace HttpRequestReader
