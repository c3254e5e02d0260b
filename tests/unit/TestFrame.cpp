#include "common/Windows1252.h"
#include "link/Frame.h"

#include <QTest>

using namespace Qt::StringLiterals;

namespace {

QByteArray hex(const char *bytes)
{
    return QByteArray::fromHex(bytes);
}

// Text bytes that a careless reader would take for frame bytes or sign-extend.
QByteArray awkwardBytes(qsizetype size)
{
    static const char kCycle[] = {'\x02', '\x03', '\x00', '\xFF', '\x80', 'A', '|', '\xE4'};
    QByteArray bytes(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i)
        bytes[i] = kCycle[i % sizeof(kCycle)];
    return bytes;
}

} // namespace

class TestFrame : public QObject
{
    Q_OBJECT

private slots:
    void testFrameMessage_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("frame");

        QTest::newRow("CtrlStop") << u"CtrlStop"_s << hex("02 00 08 43 74 72 6C 53 74 6F 70 03");
        QTest::newRow("GetVolume") << u"GetVolume"_s << hex("02 00 09 47 65 74 56 6F 6C 75 6D 65 03");
        QTest::newRow("SetVolume|50") << u"SetVolume|50"_s << hex("02 00 0C 53 65 74 56 6F 6C 75 6D 65 7C 35 30 03");
        QTest::newRow("PasswordOK") << u"PasswordOK"_s << hex("02 00 0A 50 61 73 73 77 6F 72 64 4F 4B 03");
        QTest::newRow("CtrlNächsterTitel")
            << u"CtrlNächsterTitel"_s << hex("02 00 11 43 74 72 6C 4E E4 63 68 73 74 65 72 54 69 74 65 6C 03");
        QTest::newRow("AddCredit|1") << u"AddCredit|1"_s << hex("02 00 0B 41 64 64 43 72 65 64 69 74 7C 31 03");
        QTest::newRow("empty password") << u"Password="_s << hex("02 00 09 50 61 73 73 77 6F 72 64 3D 03");
        QTest::newRow("empty text") << QString() << hex("02 00 00 03");
        QTest::newRow("three characters, low byte 03") << u"Get"_s << hex("02 00 03 47 65 74 03");
        QTest::newRow("euro is one byte") << u"€"_s << hex("02 00 01 80 03");
        // The length counts bytes on the wire, not UTF-16 code units.
        QTest::newRow("surrogate pair is one byte") << u"a😀b"_s << hex("02 00 03 61 3F 62 03");
    }

    void testFrameMessage()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, frame);
        QCOMPARE(FrameMessage(text).toHex(' '), frame.toHex(' '));
    }

    void testLengthBytes_data()
    {
        QTest::addColumn<int>("length");
        QTest::addColumn<QByteArray>("lengthBytes");

        QTest::newRow("1") << 1 << hex("00 01");
        QTest::newRow("2, low byte 02") << 2 << hex("00 02");
        QTest::newRow("127") << 127 << hex("00 7F");
        QTest::newRow("128") << 128 << hex("00 80");
        QTest::newRow("255") << 255 << hex("00 FF");
        QTest::newRow("256") << 256 << hex("01 00");
        QTest::newRow("300") << 300 << hex("01 2C");
        QTest::newRow("515, bytes 02 03") << 515 << hex("02 03");
        QTest::newRow("32768") << 32768 << hex("80 00");
        QTest::newRow("65535") << 65535 << hex("FF FF");
    }

    void testLengthBytes()
    {
        QFETCH(int, length);
        QFETCH(QByteArray, lengthBytes);
        const QString text(length, u'x');
        const QByteArray frame = FrameMessage(text);
        QCOMPARE(frame.size(), length + 4);
        QCOMPARE(frame.front(), '\x02');
        QCOMPARE(frame.mid(1, 2).toHex(' '), lengthBytes.toHex(' '));
        QCOMPARE(frame.mid(3, length), QByteArray(length, 'x'));
        QCOMPARE(frame.back(), '\x03');
    }

    // The length field cannot describe 65,536 bytes; nothing is framed rather than a cut text.
    void testTooLongIsRefused()
    {
        QVERIFY(FrameMessage(QString(65536, u'x')).isEmpty());
        QVERIFY(FrameMessage(QString(100000, u'x')).isEmpty());
        // 65,536 UTF-16 units, but the pair at the end is one byte: 65,535 bytes fit.
        const QByteArray fits = FrameMessage(QString(65534, u'x') + u"😀"_s);
        QCOMPARE(fits.size(), 65539);
        QCOMPARE(fits.mid(1, 2), hex("FF FF"));
    }

    void testExtractMessage_data()
    {
        QTest::addColumn<QByteArray>("buffer");
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("rest");

        const QByteArray ctrlStop = hex("02 00 08 43 74 72 6C 53 74 6F 70 03");
        const QByteArray passwordOk = hex("02 00 0A 50 61 73 73 77 6F 72 64 4F 4B 03");
        // A buffer that holds no frame yet comes back whole.
        const auto noFrame = [](const char *name, const QByteArray &buffer) {
            QTest::newRow(name) << buffer << QByteArray() << buffer;
        };

        QTest::newRow("exactly one frame") << ctrlStop << QByteArray("CtrlStop") << QByteArray();
        QTest::newRow("frame and further bytes")
            << ctrlStop + "xy\x02" << QByteArray("CtrlStop") << QByteArray("xy\x02");
        QTest::newRow("two frames") << ctrlStop + passwordOk << QByteArray("CtrlStop") << passwordOk;
        QTest::newRow("junk before the start byte")
            << "ab\x03z" + passwordOk << QByteArray("PasswordOK") << QByteArray();
        noFrame("end byte missing, low length byte 03", hex("02 00 03 47 65 74"));
        QTest::newRow("end byte arrived") << hex("02 00 03 47 65 74 03") << QByteArray("Get") << QByteArray();
        noFrame("empty-text frame alone, under 5 bytes", hex("02 00 00 03"));
        QTest::newRow("short length, end byte position unexamined")
            << hex("02 00 02 47 65 74 03") << QByteArray("Ge") << hex("03");
        noFrame("no start byte", QByteArray("abc\x03"
                                            "def"));
        noFrame("start byte, no end byte", hex("02 00 01 41 42 43"));
        noFrame("end byte only before the start byte", hex("03 02 00 01 41 42"));
        noFrame("only one length byte", hex("41 42 43 02 03"));
        noFrame("start byte last", hex("03 41 42 43 02"));
        noFrame("text shorter than its length", hex("02 00 10 41 42 03"));
        QTest::newRow("end byte in the text counts")
            << hex("02 00 04 41 03 42 43 44") << hex("41 03 42 43") << QByteArray();
        QTest::newRow("length byte 03 counts as end byte")
            << hex("02 00 03 41 42 43 44") << QByteArray("ABC") << QByteArray();
        QTest::newRow("start bytes in the text") << hex("02 00 03 02 02 02 03 02") << hex("02 02 02") << hex("02");
        QTest::newRow("later start byte is not searched for")
            << hex("02 00 01 02 03 02 00 00 03") << hex("02") << hex("02 00 00 03");
        QTest::newRow("text of 255 bytes")
            << hex("02 00 FF") + QByteArray(255, '\x80') + hex("03 41") << QByteArray(255, '\x80') << QByteArray("A");
        QTest::newRow("text of 256 bytes")
            << hex("02 01 00") + QByteArray(256, 'x') + hex("03") << QByteArray(256, 'x') << QByteArray();
        QTest::newRow("text of 65535 bytes")
            << hex("02 FF FF") + QByteArray(65535, '\xFF') + hex("03") << QByteArray(65535, '\xFF') << QByteArray();
        noFrame("65535 bytes announced, one missing", hex("02 FF FF 03") + QByteArray(65533, 'x'));
    }

    void testExtractMessage()
    {
        QFETCH(QByteArray, buffer);
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, rest);
        QCOMPARE(ExtractMessage(buffer).toHex(' '), text.toHex(' '));
        QCOMPARE(buffer.toHex(' '), rest.toHex(' '));
    }

    // An empty text is indistinguishable from no message by the result; only the buffer tells.
    void testEmptyTextFrame()
    {
        QByteArray buffer = hex("02 00 00 03 41");
        QCOMPARE(ExtractMessage(buffer), QByteArray());
        QCOMPARE(buffer, QByteArray("A"));

        buffer = hex("02 00 00 03 02 00 03 47 65 74 03");
        QCOMPARE(ExtractMessage(buffer), QByteArray());
        QCOMPARE(ExtractMessage(buffer), QByteArray("Get"));
        QVERIFY(buffer.isEmpty());

        const FrameScan scan = ScanFrame(hex("02 00 00 03 41"));
        QVERIFY(scan.complete);
        QCOMPARE(scan.textLength, 0);
        QCOMPARE(scan.consumed, 4);
    }

    // Every length whose bytes look like frame bytes, framed and read back with a frame behind it.
    void testRoundTrip_data()
    {
        QTest::addColumn<int>("length");
        for (const int length : {1, 2, 3, 4, 255, 256, 257, 514, 515, 770, 771, 0x0303, 32768, 65535})
            QTest::addRow("%d", length) << length;
    }

    void testRoundTrip()
    {
        QFETCH(int, length);
        const QByteArray body = awkwardBytes(length);
        QByteArray buffer = FrameMessage(FromWindows1252(body)) + FrameMessage(u"CtrlStop"_s);
        QCOMPARE(buffer.size(), length + 4 + 12);
        QCOMPARE(ExtractMessage(buffer), body);
        QCOMPARE(ExtractMessage(buffer), QByteArray("CtrlStop"));
        QVERIFY(buffer.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestFrame)
#include "TestFrame.moc"
