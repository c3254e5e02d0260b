// Everything that reads bytes from the wire, fed with arbitrary input.
//
// Input layout: byte 0 = n (low 4 bits) and a repeat count (high 4 bits); the next n bytes
// choose, in turn, the sizes of the pieces in which the stream is appended to a ReceiveBuffer;
// the rest is the payload. ExtractMessage reads the payload; the ReceiveBuffer reads the stream,
// the payload repeated 1 + repeat times, so a small input can grow past the buffer's bound.

#include "common/Windows1252.h"
#include "link/Frame.h"
#include "link/MessageSplit.h"
#include "link/ReceiveBuffer.h"

#include <QByteArray>
#include <QList>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

void require(bool ok, const char *what)
{
    if (!ok) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }
}

// The frame rules written out a second time, straight from the protocol and independent of
// ScanFrame: the first complete frame in data, or consumed == 0 for none.
struct Found
{
    qsizetype textBegin = 0;
    qsizetype textLength = 0;
    qsizetype consumed = 0;
};

Found referenceScan(const char *data, qsizetype size)
{
    if (size < 5)
        return {};
    const auto *start = static_cast<const char *>(std::memchr(data, 0x02, size));
    if (!start)
        return {};
    const qsizetype s = start - data;
    if (s + 2 >= size)
        return {};
    const qsizetype length = static_cast<unsigned char>(data[s + 1]) * 256 + static_cast<unsigned char>(data[s + 2]);
    const qsizetype end = s + 3 + length + 1;
    if (size < end)
        return {};
    // Any 0x03 after the start byte, wherever it stands. Tested last only because it is the
    // slow one; every test must pass either way.
    if (!std::memchr(start + 1, 0x03, size - s - 1))
        return {};
    return {s + 3, length, end};
}

// The texts of the frames as a reader without any bound takes them, draining after every
// chunk appended.
QList<QByteArray> referenceDrain(const QByteArray &stream, const QList<qsizetype> &chunks)
{
    QList<QByteArray> texts;
    qsizetype pos = 0;
    qsizetype received = 0;
    for (const qsizetype chunk : chunks) {
        received += chunk;
        for (;;) {
            const Found f = referenceScan(stream.constData() + pos, received - pos);
            if (f.consumed == 0)
                break;
            texts.append(stream.mid(pos + f.textBegin, f.textLength));
            pos += f.consumed;
        }
    }
    return texts;
}

QList<QByteArray> withoutEmpty(QList<QByteArray> texts)
{
    texts.removeIf([](const QByteArray &t) { return t.isEmpty(); });
    return texts;
}

void checkSplit(const QByteArray &frameText)
{
    const QString text = FromWindows1252(frameText);
    // Every byte is a character of the code page and back: the frame built anew is the same.
    const QByteArray again = FrameMessage(text);
    require(again.size() == frameText.size() + kFrameOverhead, "reframed size");
    require(again.sliced(3, frameText.size()) == frameText, "reframed text");

    const MessageParts parts = SplitMessage(text);
    const qsizetype bars = text.count(u'|');
    if (bars == 0) {
        require(parts.name == text && parts.value.isEmpty(), "split without bar");
    } else if (bars == 1) {
        require(parts.name + u'|' + parts.value == text, "split at one bar");
    } else {
        require(parts.value.isEmpty(), "value of a text with several bars");
        require(!parts.name.contains(u'|') && text.startsWith(parts.name + u'|'), "name before the first bar");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return 0;
    const int chooserCount = data[0] & 0x0F;
    const int repeat = data[0] >> 4;
    const std::size_t headerSize = std::min<std::size_t>(1 + chooserCount, size);
    const QByteArray choosers(reinterpret_cast<const char *>(data + 1), static_cast<qsizetype>(headerSize - 1));
    const QByteArray payload(reinterpret_cast<const char *>(data + headerSize),
                             static_cast<qsizetype>(size - headerSize));
    const QByteArray stream = payload.repeated(1 + repeat);

    // ExtractMessage, one call, on a copy of the payload.
    {
        QByteArray buffer = payload;
        const QByteArray text = ExtractMessage(buffer);
        const Found f = referenceScan(payload.constData(), payload.size());
        require(text.size() <= payload.size(), "text longer than the buffer");
        if (f.consumed == 0) {
            require(text.isEmpty() && buffer == payload, "buffer touched without a frame");
        } else {
            require(text == payload.mid(f.textBegin, f.textLength), "text is not the bytes at its place");
            require(buffer == payload.mid(f.consumed), "rest is not what follows the frame");
            require(payload.at(f.textBegin - 3) == kStartByte, "text not after a start byte");
        }
    }

    // ExtractMessage drained, against the reference; every text split.
    {
        QByteArray buffer = payload;
        const QList<QByteArray> expected = referenceDrain(payload, {payload.size()});
        for (const QByteArray &want : expected) {
            const qsizetype before = buffer.size();
            const QByteArray text = ExtractMessage(buffer);
            require(text == want, "drained text");
            require(buffer.size() < before, "a frame taken leaves the buffer shorter");
            checkSplit(text);
        }
        const QByteArray rest = buffer;
        require(ExtractMessage(buffer).isEmpty() && buffer == rest, "nothing left to take");
    }

    // ReceiveBuffer, in the chosen chunks. Long streams come in at most about 1024 pieces:
    // every take may scan what is kept, and single bytes of a long stream only slow the search.
    QList<qsizetype> chunks;
    const qsizetype minChunk = std::max<qsizetype>(1, stream.size() / 1024);
    for (qsizetype at = 0, i = 0; at < stream.size(); ++i) {
        qsizetype chunk = stream.size();
        if (!choosers.isEmpty()) {
            const auto c = static_cast<unsigned char>(choosers.at(i % choosers.size()));
            // Most chunks small, a few large enough to cross the bound in one go.
            chunk = c < 0xF0 ? 1 + c : (c - 0xEF) * 8192;
        }
        chunk = std::min(std::max(chunk, minChunk), stream.size() - at);
        chunks.append(chunk);
        at += chunk;
    }
    ReceiveBuffer buffer;
    QList<QByteArray> texts;
    qsizetype at = 0;
    for (const qsizetype chunk : chunks) {
        buffer.append(QByteArrayView(stream).sliced(at, chunk));
        at += chunk;
        while (const std::optional<QByteArray> text = buffer.takeFrame()) {
            require(text->size() <= kMaxTextBytes, "text beyond the length field");
            texts.append(*text);
        }
        require(buffer.size() <= kMaxFrameBytes, "receive buffer beyond its bound");
    }
    for (const QByteArray &text : texts)
        checkSplit(text);
    // Below the bound nothing is cut, so the buffer reads what an unbounded reader reads. (An
    // empty-text frame may come out later there, once the junk in front of it has been dropped.)
    if (stream.size() <= kMaxFrameBytes)
        require(withoutEmpty(texts) == withoutEmpty(referenceDrain(stream, chunks)), "texts differ from reference");
    return 0;
}
