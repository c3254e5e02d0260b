#include "link/Frame.h"
#include "link/ReceiveBuffer.h"

#include <QTest>

using namespace Qt::StringLiterals;

namespace {

constexpr qsizetype kBound = 65539; // one largest frame

QByteArray hex(const char *bytes)
{
    return QByteArray::fromHex(bytes);
}

QByteArray frameOf(const QByteArray &text)
{
    QByteArray frame;
    frame.append('\x02');
    frame.append(static_cast<char>(text.size() >> 8));
    frame.append(static_cast<char>(text.size() & 0xFF));
    frame.append(text);
    frame.append('\x03');
    return frame;
}

// Appends data in pieces of chunk bytes (all at once for 0) and takes every frame that is
// complete after each piece.
QList<QByteArray> feed(ReceiveBuffer &buffer, const QByteArray &data, qsizetype chunk)
{
    QList<QByteArray> texts;
    if (chunk <= 0)
        chunk = qMax<qsizetype>(data.size(), 1);
    for (qsizetype at = 0; at < data.size(); at += chunk) {
        buffer.append(QByteArrayView(data).sliced(at, qMin(chunk, data.size() - at)));
        while (const std::optional<QByteArray> text = buffer.takeFrame())
            texts.append(*text);
    }
    return texts;
}

} // namespace

class TestReceiveBuffer : public QObject
{
    Q_OBJECT

private slots:
    void testBackToBack_data()
    {
        QTest::addColumn<qsizetype>("chunk");
        QTest::newRow("one append") << qsizetype(0);
        QTest::newRow("single bytes") << qsizetype(1);
        QTest::newRow("7 bytes") << qsizetype(7);
        QTest::newRow("4096 bytes") << qsizetype(4096);
        QTest::newRow("65536 bytes") << qsizetype(65536);
    }

    void testBackToBack()
    {
        QFETCH(qsizetype, chunk);
        // Texts of changing length, so the length bytes run through 02 and 03 on the way.
        QList<QByteArray> sent;
        QByteArray stream;
        for (int i = 0; i < 10000; ++i) {
            const QByteArray text = "Msg|" + QByteArray::number(i) + QByteArray(i % 800, '\x02');
            sent.append(text);
            stream += frameOf(text);
        }
        ReceiveBuffer buffer;
        const QList<QByteArray> received = feed(buffer, stream, chunk);
        QCOMPARE(received.size(), sent.size());
        for (int i = 0; i < sent.size(); ++i) {
            if (received.at(i) != sent.at(i))
                QFAIL(qPrintable(u"frame %1 differs"_s.arg(i)));
        }
        QCOMPARE(buffer.size(), 0);
        QVERIFY(!buffer.takeFrame());
    }

    void testSingleByteAppends_data()
    {
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<QByteArray>("text");

        QTest::newRow("Get, low byte 03") << hex("02 00 03 47 65 74 03") << QByteArray("Get");
        QTest::newRow("CtrlNächsterTitel") << hex("02 00 11 43 74 72 6C 4E E4 63 68 73 74 65 72 54 69 74 65 6C 03")
                                           << QByteArray("CtrlN\xE4"
                                                         "chsterTitel");
        QTest::newRow("end byte early in the text") << hex("02 00 05 03 03 02 02 03 03") << hex("03 03 02 02 03");
        QTest::newRow("text of 300 bytes") << frameOf(QByteArray(300, '\x03')) << QByteArray(300, '\x03');
        QTest::newRow("after junk") << "\x03junk\x03" + hex("02 00 02 4F 4B 03") << QByteArray("OK");
    }

    void testSingleByteAppends()
    {
        QFETCH(QByteArray, frame);
        QFETCH(QByteArray, text);
        ReceiveBuffer buffer;
        for (qsizetype i = 0; i + 1 < frame.size(); ++i) {
            buffer.append(frame.sliced(i, 1));
            if (buffer.takeFrame())
                QFAIL(qPrintable(u"a frame came out after %1 of %2 bytes"_s.arg(i + 1).arg(frame.size())));
        }
        buffer.append(frame.sliced(frame.size() - 1));
        QCOMPARE(buffer.takeFrame(), std::optional<QByteArray>(text));
        QVERIFY(!buffer.takeFrame());
        QCOMPARE(buffer.size(), 0);
    }

    // Four bytes are never a frame on their own; the empty text comes out once more has arrived,
    // and unlike ExtractMessage it is told apart from "no frame".
    void testEmptyTextFrame()
    {
        ReceiveBuffer buffer;
        buffer.append(hex("02 00 00 03"));
        QVERIFY(!buffer.takeFrame());
        QCOMPARE(buffer.size(), 4);
        buffer.append(hex("02 00 08 43 74 72 6C 53 74 6F 70 03"));
        QCOMPARE(buffer.takeFrame(), std::optional<QByteArray>(QByteArray()));
        QCOMPARE(buffer.takeFrame(), std::optional<QByteArray>(QByteArray("CtrlStop")));
        QCOMPARE(buffer.size(), 0);
    }

    void testJunk_data()
    {
        QTest::addColumn<QByteArray>("junk");
        QTest::newRow("letters") << QByteArray("hello world");
        QTest::newRow("end bytes") << hex("03 03 03 03 03 03");
        QTest::newRow("large, no start byte") << QByteArray(200000, '\x03');
    }

    // Bytes without a start byte can never begin a frame: they are dropped, and a frame after them
    // comes out whole.
    void testJunk()
    {
        QFETCH(QByteArray, junk);
        ReceiveBuffer buffer;
        buffer.append(junk);
        QVERIFY(!buffer.takeFrame());
        QCOMPARE(buffer.size(), 0);
        QCOMPARE(feed(buffer, frameOf("Volume|50"), 0), QList<QByteArray>{"Volume|50"});
        QCOMPARE(feed(buffer, junk + frameOf("Credit|2") + junk, 0), QList<QByteArray>{"Credit|2"});
        QCOMPARE(buffer.size(), 0);
    }

    // The bound must not cut into a frame of the largest length that lacks only its end byte, even
    // with junk in front of it: then more than 65,539 bytes have arrived, and exactly the junk may go.
    void testLargestFrameInPieces()
    {
        QByteArray text(65535, Qt::Uninitialized);
        for (qsizetype i = 0; i < text.size(); ++i)
            text[i] = static_cast<char>(i % 7); // start and end bytes all through the text
        const QByteArray data = QByteArray(100, 'j') + frameOf(text);
        const qsizetype allButEnd = data.size() - 1;

        ReceiveBuffer buffer;
        for (qsizetype at = 0; at < allButEnd; at += 4096) {
            buffer.append(QByteArrayView(data).sliced(at, qMin<qsizetype>(4096, allButEnd - at)));
            QVERIFY(!buffer.takeFrame());
            QVERIFY2(buffer.size() <= kBound, qPrintable(QString::number(buffer.size())));
        }
        buffer.append(data.sliced(allButEnd));
        const std::optional<QByteArray> taken = buffer.takeFrame();
        QVERIFY(taken);
        QVERIFY(*taken == text);
        QCOMPARE(buffer.size(), 0);
    }

    // Hostile streams without a usable frame: after every take that finds nothing, at most one
    // largest frame's worth is kept, and frames sent afterwards come through again.
    void testBound_data()
    {
        QTest::addColumn<QByteArray>("pattern");
        QTest::addColumn<qsizetype>("chunk");

        QTest::newRow("largest length announced, end never comes")
            << hex("02 FF FF") + QByteArray(300000, 'x') << qsizetype(65536);
        QByteArray sparse(300000, 'x');
        for (qsizetype i = 0; i < sparse.size(); i += 40000)
            sparse[i] = '\x02';
        QTest::newRow("a start byte now and then") << sparse << qsizetype(1000);
        QTest::newRow("start bytes, odd pieces") << QByteArray(300000, '\x02') << qsizetype(9973);
    }

    void testBound()
    {
        QFETCH(QByteArray, pattern);
        QFETCH(qsizetype, chunk);
        ReceiveBuffer buffer;
        for (qsizetype at = 0; at < pattern.size(); at += chunk) {
            buffer.append(QByteArrayView(pattern).sliced(at, qMin(chunk, pattern.size() - at)));
            QVERIFY(!buffer.takeFrame());
            QVERIFY2(buffer.size() <= kBound, qPrintable(QString::number(buffer.size())));
        }

        // Whatever is kept may swallow a few frames as one garbage frame, but at most two largest
        // frames' worth of what follows, after which the stream is read in step again.
        const QByteArray ctrlStop = frameOf("CtrlStop");
        const int maxLost = int(2 * kBound / ctrlStop.size()) + 2;
        int sent = 0;
        int found = 0;
        while (found < 100 && sent < maxLost + 100) {
            buffer.append(ctrlStop);
            ++sent;
            while (const std::optional<QByteArray> text = buffer.takeFrame()) {
                if (*text == "CtrlStop")
                    ++found;
                else if (found > 0)
                    QFAIL("garbage after the stream was read in step again");
            }
        }
        QCOMPARE(found, 100);
        QVERIFY2(sent - found <= maxLost, qPrintable(u"%1 frames lost"_s.arg(sent - found)));
    }

    // 1 MB of start bytes in 64 KiB pieces. Every run of them reads as the header of a frame of
    // 0x0202 = 514 bytes, which is complete by its length but never has an end byte, so nothing
    // comes out and only the newest 65,539 bytes are kept. Once an end byte arrives (with the next
    // real frame) those bytes come out as garbage frames of 514 start bytes each, and the last of
    // them swallows the frames that follow until the stream is read in step again: the protocol
    // has no way to resynchronise earlier.
    void testStartByteStorm()
    {
        ReceiveBuffer buffer;
        const QByteArray storm(64 * 1024, '\x02');
        for (int i = 0; i < 16; ++i) {
            buffer.append(storm);
            QVERIFY(!buffer.takeFrame());
            QVERIFY2(buffer.size() <= kBound, qPrintable(QString::number(buffer.size())));
        }
        const qsizetype kept = buffer.size();
        QVERIFY(kept > 0);

        const QByteArray ctrlStop = frameOf("CtrlStop");
        QList<QByteArray> garbage;
        int sent = 0;
        int found = 0;
        while (found == 0 && sent < 20000) {
            buffer.append(ctrlStop);
            ++sent;
            while (const std::optional<QByteArray> text = buffer.takeFrame()) {
                if (*text == "CtrlStop")
                    ++found;
                else
                    garbage.append(*text);
            }
        }
        QCOMPARE(found, 1);
        QCOMPARE(garbage.first(), QByteArray(514, '\x02'));
        for (const QByteArray &text : garbage)
            QCOMPARE(text.size(), 514);
        // The garbage frames worked off the kept start bytes; only the last one reached into the
        // real frames, so no more of them are lost than its 518 bytes cover.
        QVERIFY(garbage.size() * 518 >= kept);
        QVERIFY2(sent - found <= 518 / ctrlStop.size() + 2, qPrintable(u"%1 frames lost"_s.arg(sent - found)));
        // From here on the stream is read in step.
        QCOMPARE(feed(buffer, ctrlStop + ctrlStop, 5), (QList<QByteArray>{"CtrlStop", "CtrlStop"}));
    }
};

QTEST_GUILESS_MAIN(TestReceiveBuffer)
#include "TestReceiveBuffer.moc"
