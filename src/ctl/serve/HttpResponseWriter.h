#pragma once

#include <QByteArray>
#include <QList>
#include <utility>

// The bytes of an HTTP/1.1 answer's head; the one place that spells status lines.
namespace HttpResponseWriter {

using Headers = QList<std::pair<QByteArray, QByteArray>>;

// "Bad Request" and so on; "Unknown" for a status this service never sends.
QByteArrayView reasonPhrase(int status);

// Status line, the given headers, then Content-Length (when bodyLength >= 0; a stream of unknown
// length passes -1 and ends with the connection) and Connection: close unless keepAlive, and
// the empty line. Header values with CR or LF are dropped rather than split into new headers.
QByteArray head(int status, const Headers &headers, qsizetype bodyLength, bool keepAlive);

} // namespace HttpResponseWriter
