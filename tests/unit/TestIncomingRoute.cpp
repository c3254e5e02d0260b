#include "link/IncomingRoute.h"

#include <QTest>

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
        QTest::newRow("answer") << "Credit|3"
                                << "Credit" << answer << "3" << none;
        QTest::newRow("empty answer keeps waiting") << "Credit|"
                                                    << "Credit" << answer << "" << none;
        QTest::newRow("value with a bar is no answer") << "Credit|3|4"
                                                       << "Credit" << answer << "" << none;
        QTest::newRow("answer to another name") << "Credit|3"
                                                << "Volume" << ignored << "" << none;
        QTest::newRow("late answer, nothing waits") << "Credit|3"
                                                    << "" << ignored << "" << none;
        QTest::newRow("names are case-sensitive") << "credit|3"
                                                  << "Credit" << ignored << "" << none;
        QTest::newRow("login accepted") << "PasswordOK"
                                        << "" << message << "" << Incoming::PasswordOK;
        QTest::newRow("login refused while a query waits") << "PasswordWrong"
                                                           << "Credit" << message << "" << Incoming::PasswordWrong;
        QTest::newRow("login answer with a value is no login answer") << "PasswordOK|1"
                                                                      << "" << ignored << "" << none;
        QTest::newRow("notice") << "ChangeTitle"
                                << "" << message << "" << Incoming::ChangeTitle;
        QTest::newRow("notice with a value") << "ChangeCredit|7"
                                             << "Credit" << message << "" << Incoming::ChangeCredit;
        QTest::newRow("notice with two bars") << "PlayStatusStop|a|b"
                                              << "" << message << "" << Incoming::PlayStatusStop;
        QTest::newRow("a name the query waits for is its answer") << "ChangeTitle|x"
                                                                  << "ChangeTitle" << answer << "x" << none;
        QTest::newRow("nameless text while a query waits") << "|3"
                                                           << "Credit" << ignored << "" << none;
        QTest::newRow("unknown") << "Unbekannt"
                                 << "" << ignored << "" << none;
        QTest::newRow("empty") << ""
                               << "" << ignored << "" << none;
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
