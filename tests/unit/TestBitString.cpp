#include "common/BitString.h"

#include <QTest>
#include <limits>
#include <stdexcept>

using namespace Qt::StringLiterals;

class TestBitString : public QObject
{
    Q_OBJECT

private slots:
    void testBinToLong_data()
    {
        QTest::addColumn<QString>("digits");
        QTest::addColumn<int>("value");

        QTest::newRow("empty") << QString() << 0;
        QTest::newRow("single zero") << u"0"_s << 0;
        QTest::newRow("single one") << u"1"_s << 1;
        QTest::newRow("five, eight digits") << u"00000101"_s << 5;
        QTest::newRow("300, sixteen digits") << u"0000000100101100"_s << 300;
        QTest::newRow("eight ones") << u"11111111"_s << 255;
        QTest::newRow("most significant first") << u"10"_s << 2;
        QTest::newRow("letter counts as zero") << u"1x1"_s << 5;
        QTest::newRow("blank counts as zero") << u"1 1"_s << 5;
        QTest::newRow("other digit counts as zero") << u"121"_s << 5;
        QTest::newRow("31 ones, largest value") << QString(31, u'1') << std::numeric_limits<std::int32_t>::max();
        QTest::newRow("leading zero before 31 ones")
            << (u"0"_s + QString(31, u'1')) << std::numeric_limits<std::int32_t>::max();
        // Zeros never add, however far left they stand.
        QTest::newRow("5000 zeros then one") << (QString(5000, u'0') + u'1') << 1;
        QTest::newRow("sixteen digits, both bytes 02 03") << u"0000001000000011"_s << 0x0203;
    }

    void testBinToLong()
    {
        QFETCH(QString, digits);
        QFETCH(int, value);
        QCOMPARE(BinToLong(digits), value);
    }

    void testBinToLongOverflow_data()
    {
        QTest::addColumn<QString>("digits");

        QTest::newRow("2^31") << (u"1"_s + QString(31, u'0'));
        QTest::newRow("2^31 after leading zeros") << (u"000"_s + u"1"_s + QString(31, u'0'));
        QTest::newRow("32 ones") << QString(32, u'1');
        QTest::newRow("2^31 + 1") << (u"1"_s + QString(30, u'0') + u"1"_s);
        // Far beyond what a double holds as a finite power of two.
        QTest::newRow("one then 5000 zeros") << (u"1"_s + QString(5000, u'0'));
    }

    void testBinToLongOverflow()
    {
        QFETCH(QString, digits);
        QVERIFY_THROWS_EXCEPTION(std::overflow_error, BinToLong(digits));
    }

    void testLongToBin_data()
    {
        QTest::addColumn<int>("value");
        QTest::addColumn<int>("width");
        QTest::addColumn<QString>("digits");

        QTest::newRow("5, width 8") << 5 << 8 << u"00000101"_s;
        QTest::newRow("300, width 16") << 300 << 16 << u"0000000100101100"_s;
        QTest::newRow("6, width 0") << 6 << 0 << u"110"_s;
        QTest::newRow("0, width 0 is one digit") << 0 << 0 << u"0"_s;
        QTest::newRow("0, width 16") << 0 << 16 << QString(16, u'0');
        QTest::newRow("255, width 8") << 255 << 8 << QString(8, u'1');
        QTest::newRow("256, width 8 is never cut") << 256 << 8 << u"100000000"_s;
        QTest::newRow("65536, width 16 gives 17 digits") << 65536 << 16 << (u"1"_s + QString(16, u'0'));
        QTest::newRow("largest value") << std::numeric_limits<std::int32_t>::max() << 0 << QString(31, u'1');
        QTest::newRow("1, width 255") << 1 << 255 << (QString(254, u'0') + u'1');
    }

    void testLongToBin()
    {
        QFETCH(int, value);
        QFETCH(int, width);
        QFETCH(QString, digits);
        QCOMPARE(LongToBin(value, static_cast<std::uint8_t>(width)), digits);
    }

    // The frame code cuts every length into its two bytes through the digit strings; check the cut
    // against plain arithmetic for every length a frame can carry.
    void testLengthBytes()
    {
        for (int length = 0; length <= 0xFFFF; ++length) {
            const QString bits = LongToBin(length, 16);
            if (bits.size() != 16 || BinToLong(bits.left(8)) != length / 256 ||
                BinToLong(bits.right(8)) != length % 256 || BinToLong(bits) != length) {
                QFAIL(qPrintable(u"length %1 gives %2"_s.arg(length).arg(bits)));
            }
        }
    }
};

QTEST_GUILESS_MAIN(TestBitString)
#include "TestBitString.moc"
