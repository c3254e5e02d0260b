#include "panel/AnswerReadings.h"
#include "session/SnapshotReadings.h"

#include <QLocale>
#include <QTest>

using namespace Qt::StringLiterals;

// How the panel and the session read the jukebox's answers as numbers, at the ends of each
// range and where a wrong rounding shows. The panel's and the session's tests show that each
// reading is used where it belongs.
class TestAnswerReadings : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    void volume_data()
    {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<int>("bar"); // -1: refused, the bar stays
        QTest::newRow("half rounds to even, down") << u"50.5"_s << 50;
        QTest::newRow("half rounds to even, up") << u"51.5"_s << 52;
        QTest::newRow("the top") << u"100"_s << 100;
        QTest::newRow("a half above the top rounds to it") << u"100.5"_s << 100;
        QTest::newRow("above the top") << u"100.6"_s << -1;
        QTest::newRow("the bottom") << u"0"_s << 0;
        QTest::newRow("below the bottom, rounding to it") << u"-0.4"_s << 0;
        QTest::newRow("below the bottom") << u"-0.6"_s << -1;
        QTest::newRow("not a number") << u"laut"_s << 0;
        QTest::newRow("no answer") << u"TimeOut"_s << 0;
        QTest::newRow("leading tab and letters") << u"\t40%"_s << 40;
    }
    void volume()
    {
        QFETCH(QString, answer);
        QFETCH(int, bar);
        QCOMPARE(volumeReading(answer), bar < 0 ? std::nullopt : std::optional<int>(bar));
    }

    void length_data()
    {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<bool>("wholeText");
        QTest::addColumn<float>("length"); // 0: refused
        QTest::newRow("seconds with a fraction") << u"215.25"_s << true << 215.25f;
        QTest::newRow("letters after, as a whole") << u"215abc"_s << true << 0.0f;
        QTest::newRow("letters after, leading number") << u"215abc"_s << false << 215.0f;
        QTest::newRow("zero") << u"0"_s << true << 0.0f;
        QTest::newRow("just above zero") << u"0.5"_s << false << 0.5f;
        QTest::newRow("negative") << u"-3"_s << false << 0.0f;
        QTest::newRow("no answer") << u"TimeOut"_s << false << 0.0f;
        QTest::newRow("empty") << QString() << true << 0.0f;
    }
    void length()
    {
        QFETCH(QString, answer);
        QFETCH(bool, wholeText);
        QFETCH(float, length);
        QCOMPARE(lengthReading(answer, wholeText), length > 0 ? std::optional<float>(length) : std::nullopt);
    }

    void positionAndCredits()
    {
        QCOMPARE(positionReading(u"30.5"_s), 30.5f);
        QCOMPARE(positionReading(u"12abc"_s), 12.0f);
        QCOMPARE(positionReading(u"-5"_s), -5.0f);
        QCOMPARE(positionReading(u"TimeOut"_s), 0.0f);

        QCOMPARE(creditsAboveZero(u"3"_s), true);
        QCOMPARE(creditsAboveZero(u" 1 "_s), true);
        QCOMPARE(creditsAboveZero(u"0"_s), false);
        QCOMPARE(creditsAboveZero(u"-1"_s), false);
        QCOMPARE(creditsAboveZero(u"viele"_s), std::nullopt);
        QCOMPARE(creditsAboveZero(QString()), std::nullopt);
    }

    // The session keeps what does not read as unknown, where the panel keeps its control as it
    // was: the same edges, and no 0 for a text without a number.
    void theSessionKnowsOrSaysUnknown()
    {
        using std::nullopt;
        QCOMPARE(volumeValue(u"100.5"_s), 100);
        QCOMPARE(volumeValue(u"100.6"_s), nullopt);
        QCOMPARE(volumeValue(u"-0.4"_s), 0);
        QCOMPARE(volumeValue(u"-0.6"_s), nullopt);
        QCOMPARE(volumeValue(u"\t40%"_s), 40);
        QCOMPARE(volumeValue(u"laut"_s), nullopt);
        QCOMPARE(volumeValue(u"."_s), nullopt);
        QCOMPARE(creditReading(u"0"_s), 0);
        QCOMPARE(creditReading(u" 3 "_s), 3);
        QCOMPARE(creditReading(u"-1"_s), nullopt);
        QCOMPARE(creditReading(u"3.0"_s), nullopt);
        QCOMPARE(lengthValue(u"0"_s), nullopt);
        QCOMPARE(lengthValue(u"0.5"_s), 0.5);
        QCOMPARE(lengthValue(u"215abc"_s), 215.0);
        QCOMPARE(lengthValue(u"TimeOut"_s), nullopt);
        QCOMPARE(positionValue(u"0"_s), 0.0);
        QCOMPARE(positionValue(u"+.5"_s), 0.5);
        QCOMPARE(positionValue(u"-0.1"_s), nullopt);
    }
};

QTEST_GUILESS_MAIN(TestAnswerReadings)
#include "TestAnswerReadings.moc"
