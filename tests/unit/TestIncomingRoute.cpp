#include "link/IncomingRoute.h"

#include <QTest>

using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(Route::Kind)
Q_DECLARE_METATYPE(Incoming)

// Which received texts answer the waiting query, which reach the panel, which are dropped.
class TestIncomingRoute : public QObject
{
    Q_OBJECT

private slots:
    void routes_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("pending");
        QTest::addColumn<Route::Kind>("kind");
        QTest::addColumn<QString>("answer");
        QTest::addColumn<Incoming>("message");
        const auto answer = Route::Kind::Answer;
        const auto message = Route::Kind::Message;
        const auto ignored = Route::Kind::Ignored;
        const Incoming none{};
        QTest::newRow("answer") << u"Credit|3"_s << u"Credit"_s << answer << u"3"_s << none;
        QTest::newRow("empty answer keeps waiting") << u"Credit|"_s << u"Credit"_s << answer << u""_s << none;
        QTest::newRow("value with a bar is no answer") << u"Credit|3|4"_s << u"Credit"_s << answer << u""_s << none;
        QTest::newRow("answer to another name") << u"Credit|3"_s << u"Volume"_s << ignored << u""_s << none;
        QTest::newRow("late answer, nothing waits") << u"Credit|3"_s << u""_s << ignored << u""_s << none;
        QTest::newRow("names are case-sensitive") << u"credit|3"_s << u"Credit"_s << ignored << u""_s << none;
        QTest::newRow("login accepted") << u"PasswordOK"_s << u""_s << message << u""_s << Incoming::PasswordOK;
        QTest::newRow("login refused while a query waits")
            << u"PasswordWrong"_s << u"Credit"_s << message << u""_s << Incoming::PasswordWrong;
        QTest::newRow("login answer with a value is no login answer")
            << u"PasswordOK|1"_s << u""_s << ignored << u""_s << none;
        QTest::newRow("notice") << u"ChangeTitle"_s << u""_s << message << u""_s << Incoming::ChangeTitle;
        QTest::newRow("notice with a value")
            << u"ChangeCredit|7"_s << u"Credit"_s << message << u""_s << Incoming::ChangeCredit;
        QTest::newRow("notice with two bars")
            << u"PlayStatusStop|a|b"_s << u""_s << message << u""_s << Incoming::PlayStatusStop;
        QTest::newRow("a name the query waits for is its answer")
            << u"ChangeTitle|x"_s << u"ChangeTitle"_s << answer << u"x"_s << none;
        QTest::newRow("nameless text while a query waits") << u"|3"_s << u"Credit"_s << ignored << u""_s << none;
        QTest::newRow("unknown") << u"Unbekannt"_s << u""_s << ignored << u""_s << none;
        QTest::newRow("empty") << u""_s << u""_s << ignored << u""_s << none;
    }

    void routes()
    {
        QFETCH(QString, text);
        QFETCH(QString, pending);
        QFETCH(Route::Kind, kind);
        QFETCH(QString, answer);
        QFETCH(Incoming, message);
        const Route route = RouteMessage(text, pending);
        QCOMPARE(route.kind, kind);
        if (kind == Route::Kind::Answer)
            QCOMPARE(route.answer, answer);
        if (kind == Route::Kind::Message)
            QCOMPARE(route.message, message);
    }

    void repeatsCollapseAtTheirNewestPlace()
    {
        IncomingQueue queue;
        // Title, stop, title: playing in the end, so the stop must not be handled last.
        for (Incoming m : {Incoming::ChangeTitle, Incoming::PlayStatusStop, Incoming::ChangeCredit,
                           Incoming::ChangeTitle, Incoming::ChangeCredit, Incoming::ChangeCredit})
            queue.push(m);
        QCOMPARE(queue.size(), 3);
        QCOMPARE(queue.take(), Incoming::PlayStatusStop);
        QCOMPARE(queue.take(), Incoming::ChangeTitle);
        QCOMPARE(queue.take(), Incoming::ChangeCredit);
        QCOMPARE(queue.take(), std::nullopt);

        for (int i = 0; i < 100000; ++i)
            queue.push(static_cast<Incoming>(i % IncomingQueue::kCapacity));
        QCOMPARE(queue.size(), IncomingQueue::kCapacity);
    }
};

QTEST_GUILESS_MAIN(TestIncomingRoute)
#include "TestIncomingRoute.moc"
