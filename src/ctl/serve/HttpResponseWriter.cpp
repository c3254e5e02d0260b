#include "HttpResponseWriter.h"

#include <array>

namespace HttpResponseWriter {
namespace {

struct Reason
{
    int status;
    const char *phrase;
};

// Every status the web remote answers with.
constexpr std::array kReasons{
    Reason{200, "OK"},
    Reason{302, "Found"},
    Reason{400, "Bad Request"},
    Reason{401, "Unauthorized"},
    Reason{403, "Forbidden"},
    Reason{404, "Not Found"},
    Reason{405, "Method Not Allowed"},
    Reason{408, "Request Timeout"},
    Reason{409, "Conflict"},
    Reason{411, "Length Required"},
    Reason{413, "Payload Too Large"},
    Reason{415, "Unsupported Media Type"},
    Reason{421, "Misdirected Request"},
    Reason{429, "Too Many Requests"},
    Reason{431, "Request Header Fields Too Large"},
    Reason{500, "Internal Server Error"},
    Reason{501, "Not Implemented"},
    Reason{503, "Service Unavailable"},
    Reason{505, "HTTP Version Not Supported"},
};

bool safe(QByteArrayView text)
{
    return !text.contains('\r') && !text.contains('\n');
}

} // namespace

QByteArrayView reasonPhrase(int status)
{
    for (const Reason &reason : kReasons) {
        if (reason.status == status)
            return reason.phrase;
    }
    return "Unknown";
}

QByteArray head(int status, const Headers &headers, qsizetype bodyLength, bool keepAlive)
{
    QByteArray text = "HTTP/1.1 " + QByteArray::number(status) + ' ' + reasonPhrase(status).toByteArray() + "\r\n";
    for (const auto &[name, value] : headers) {
        if (safe(name) && safe(value))
            text += name + ": " + value + "\r\n";
    }
    if (bodyLength >= 0)
        text += "Content-Length: " + QByteArray::number(bodyLength) + "\r\n";
    if (!keepAlive)
        text += "Connection: close\r\n";
    return text + "\r\n";
}

} // namespace HttpResponseWriter
