#include "common/NumberReadings.h"

#include <QLocale>
#include <QTest>

using namespace Qt::StringLiterals;

// The same received text read under a German and an English user locale. Two readings follow
// the locale; the leading-number value never does.
class TestNumberReadings : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { QLocale::setDefault(QLocale::c()); }

    void testReadings_data()
    {
        QTest::addColumn<QLocale>("locale");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("isNumber");
        QTest::addColumn<double>("leading");
        QTest::addColumn<bool>("converts");
        QTest::addColumn<float>("full");

        const QLocale de(QLocale::German, QLocale::Germany);
        const QLocale en(QLocale::English, QLocale::UnitedStates);

        QTest::newRow("de: decimal comma") << de << u"1,5"_s << true << 1.0 << true << 1.5f;
        QTest::newRow("en: decimal comma") << en << u"1,5"_s << false << 1.0 << false << 0.0f;
        QTest::newRow("de: decimal point") << de << u"1.5"_s << false << 1.5 << false << 0.0f;
        QTest::newRow("en: decimal point") << en << u"1.5"_s << true << 1.5 << true << 1.5f;
        QTest::newRow("de: 50.5") << de << u"50.5"_s << false << 50.5 << false << 0.0f;
        QTest::newRow("en: 50.5") << en << u"50.5"_s << true << 50.5 << true << 50.5f;
        QTest::newRow("de: grouped thousands") << de << u"1.000,5"_s << true << 1.0 << true << 1000.5f;
        QTest::newRow("en: grouped thousands") << en << u"1,000.5"_s << true << 1.0 << true << 1000.5f;

        for (const QLocale &locale : {de, en}) {
            const QString name = locale.name();
            const auto row = [&](const char *what) -> QTestData & {
                return QTest::newRow(qPrintable(name + u": "_s + QLatin1StringView(what)));
            };
            row("TimeOut") << locale << u"TimeOut"_s << false << 0.0 << false << 0.0f;
            row("empty") << locale << QString() << false << 0.0 << false << 0.0f;
            row("blanks only") << locale << u"   "_s << false << 0.0 << false << 0.0f;
            row("number then letters") << locale << u" 42abc"_s << false << 42.0 << false << 0.0f;
            row("negative") << locale << u"-3"_s << true << -3.0 << true << -3.0f;
            row("plus sign") << locale << u"+7"_s << true << 7.0 << true << 7.0f;
            row("blanks around") << locale << u" 7 "_s << true << 7.0 << true << 7.0f;
            row("leading tab") << locale << u"\t7x"_s << false << 7.0 << false << 0.0f;
            row("tabs around") << locale << u"\t7\t"_s << true << 7.0 << true << 7.0f;
            row("leading zeros") << locale << u"0042"_s << true << 42.0 << true << 42.0f;
            row("fraction without integer part") << locale << u".5x"_s << false << 0.5 << false << 0.0f;
            row("negative fraction") << locale << u"-.25x"_s << false << -0.25 << false << 0.0f;
            row("point without fraction") << locale << u"5.x"_s << false << 5.0 << false << 0.0f;
            row("sign alone") << locale << u"-"_s << false << 0.0 << false << 0.0f;
            row("point alone") << locale << u"."_s << false << 0.0 << false << 0.0f;
            row("sign apart from digits") << locale << u"- 3"_s << false << 0.0 << false << 0.0f;
            row("letters first") << locale << u"abc12"_s << false << 0.0 << false << 0.0f;
            row("volume answer") << locale << u"100"_s << true << 100.0 << true << 100.0f;
            // A number, but not one a single-precision value holds.
            row("beyond float range") << locale << u"1e40"_s << true << 1.0 << false << 0.0f;
            // Not numbers to the user, although a floating-point parser may accept them.
            row("nan") << locale << u"nan"_s << false << 0.0 << false << 0.0f;
            row("inf") << locale << u"inf"_s << false << 0.0 << false << 0.0f;
        }
    }

    void testReadings()
    {
        QFETCH(QLocale, locale);
        QFETCH(QString, text);
        QFETCH(bool, isNumber);
        QFETCH(double, leading);
        QFETCH(bool, converts);
        QFETCH(float, full);

        QLocale::setDefault(locale);
        QCOMPARE(IsNumber(text), isNumber);
        QCOMPARE(LeadingNumberValue(text), leading);
        QCOMPARE(FullConversion(text).has_value(), converts);
        if (converts)
            QCOMPARE(*FullConversion(text), full);
    }
};

QTEST_GUILESS_MAIN(TestNumberReadings)
#include "TestNumberReadings.moc"
