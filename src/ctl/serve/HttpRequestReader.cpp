#include "HttpRequestReader.h"

#include "ServeTexts.h"

#include <QList>

#include <algorithm>

namespace HttpRequestReader {
namespace {

// Content-Length beyond this many digits is refused before it could overflow.
constexpr qsizetype kMaxLengthDigits = 15;

Result refuse(int status, const QString &message)
{
    Result result;
    result.state = Result::State::Refused;
    result.status = status;
    result.message = message;
    return result;
}

Result malformed()
{
    return refuse(400, ServeText::BadRequest);
}

bool isTokenChar(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           QByteArrayView("!#$%&'*+-.^_`|~").contains(c);
}

bool isToken(QByteArrayView text)
{
    if (text.isEmpty())
        return false;
    for (const char c : text) {
        if (!isTokenChar(c))
            return false;
    }
    return true;
}

// A header value may hold any visible byte, spaces and tabs, but no other control byte.
bool isFieldValue(QByteArrayView text)
{
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte < 0x20 && c != '\t') || byte == 0x7f)
            return false;
    }
    return true;
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

QByteArrayView trimmedSpaces(QByteArrayView text)
{
    while (!text.isEmpty() && (text.front() == ' ' || text.front() == '\t'))
        text = text.sliced(1);
    while (!text.isEmpty() && (text.back() == ' ' || text.back() == '\t'))
        text.chop(1);
    return text;
}

} // namespace

Result read(QByteArrayView buffer, qsizetype maxBody)
{
    // Empty lines before a request (left over from a previous one) are skipped, within the bound.
    qsizetype start = 0;
    while (start < buffer.size() && (buffer[start] == '\r' || buffer[start] == '\n'))
        ++start;
    if (start > kMaxHeadBytes)
        return malformed();

    // The head: lines up to the first empty one.
    QList<QByteArrayView> lines;
    qsizetype headEnd = -1;
    qsizetype pos = start;
    while (headEnd < 0) {
        const qsizetype newline = buffer.indexOf('\n', pos);
        if (newline < 0)
            return buffer.size() > kMaxHeadBytes ? refuse(431, ServeText::HeadTooLarge) : Result{};
        // Skipped empty lines count too: what waits for its end is never more than the bound.
        if (newline + 1 > kMaxHeadBytes)
            return refuse(431, ServeText::HeadTooLarge);
        QByteArrayView line = buffer.sliced(pos, newline - pos);
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.contains('\r'))
            return malformed();
        if (line.isEmpty())
            headEnd = newline + 1;
        else
            lines.append(line);
        pos = newline + 1;
    }

    // The request line: METHOD SP target SP version, single spaces.
    const QList<QByteArray> parts = lines.front().toByteArray().split(' ');
    if (parts.size() != 3 || !isToken(parts[0]))
        return malformed();
    const QByteArray &target = parts[1];
    if (!target.startsWith('/'))
        return malformed();
    for (const char c : target) {
        if (static_cast<unsigned char>(c) <= 0x20 || static_cast<unsigned char>(c) >= 0x7f)
            return malformed();
    }
    const QByteArray &version = parts[2];
    if (version != "HTTP/1.1" && version != "HTTP/1.0") {
        const bool looksLikeHttp = version.size() == 8 && version.startsWith("HTTP/") && isDigit(version[5]) &&
                                   version[6] == '.' && isDigit(version[7]);
        return looksLikeHttp ? refuse(505, ServeText::VersionNotSupported) : malformed();
    }

    Result result;
    Request &request = result.request;
    request.method = parts[0];
    const qsizetype question = target.indexOf('?');
    request.path = question < 0 ? target : target.left(question);
    request.query = question < 0 ? QByteArray() : target.mid(question + 1);

    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArrayView line = lines[i];
        // A line starting with white space continues the previous one in old HTTP; it is
        // refused rather than guessed at.
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0 || !isToken(line.first(colon)))
            return malformed();
        const QByteArrayView value = trimmedSpaces(line.sliced(colon + 1));
        if (!isFieldValue(value))
            return malformed();
        const QByteArray name = line.first(colon).toByteArray().toLower();
        const auto existing = request.headers.find(name);
        if (existing == request.headers.end()) {
            request.headers.insert(name, value.toByteArray());
            continue;
        }
        // Two lengths or two hosts make the request mean different things to different readers.
        if (name == "content-length" || name == "host")
            return malformed();
        existing->append(name == "cookie" ? "; " : ", ").append(value);
    }

    if (request.headers.contains("transfer-encoding")) {
        const bool chunked = request.value("transfer-encoding").toLower().trimmed().endsWith("chunked");
        return chunked ? refuse(411, ServeText::LengthRequired) : refuse(501, ServeText::NotImplemented);
    }
    if (version == "HTTP/1.1" && !request.headers.contains("host"))
        return malformed();

    qsizetype length = 0;
    if (request.headers.contains("content-length")) {
        const QByteArray text = request.value("content-length");
        if (text.isEmpty() || text.size() > kMaxLengthDigits || !std::all_of(text.begin(), text.end(), isDigit))
            return malformed();
        length = text.toLongLong();
    }
    if (length > maxBody)
        return refuse(413, ServeText::TooLarge);
    if (buffer.size() - headEnd < length)
        return Result{};

    request.body = buffer.sliced(headEnd, length).toByteArray();
    const QList<QByteArray> connection = request.value("connection").toLower().split(',');
    const bool close = std::any_of(connection.begin(), connection.end(),
                                   [](const QByteArray &option) { return option.trimmed() == "close"; });
    request.keepAlive = version == "HTTP/1.1" && !close;
    result.state = Result::State::Complete;
    result.used = headEnd + length;
    return result;
}

} // namespace HttpRequestReader
