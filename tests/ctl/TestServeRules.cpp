#include "ListenAddress.h"
#include "LoginLimiter.h"
#include "RequestRules.h"
#include "SecretCompare.h"
#include "SessionTokens.h"

#include <QSet>
#include <QTest>

// The web remote's pure rules, where a wrong answer opens the door: secrets, tries, tokens,
// cookies and where the service listens.
class TestServeRules : public QObject
{
    Q_OBJECT

private slots:
    void secretsCompareWhole_data()
    {
        QTest::addColumn<QByteArray>("typed");
        QTest::addColumn<QByteArray>("secret");
        QTest::addColumn<bool>("equal");
        QTest::newRow("same") << QByteArray("tonalis") << QByteArray("tonalis") << true;
        QTest::newRow("last byte") << QByteArray("tonaliz") << QByteArray("tonalis") << false;
        QTest::newRow("prefix") << QByteArray("tonal") << QByteArray("tonalis") << false;
        QTest::newRow("longer") << QByteArray("tonalis!") << QByteArray("tonalis") << false;
        QTest::newRow("repeated secret") << QByteArray("abab") << QByteArray("ab") << false;
        QTest::newRow("empty typed") << QByteArray() << QByteArray("tonalis") << false;
        QTest::newRow("both empty") << QByteArray() << QByteArray() << true;
        QTest::newRow("empty secret") << QByteArray("x") << QByteArray() << false;
    }
    void secretsCompareWhole()
    {
        QFETCH(QByteArray, typed);
        QFETCH(QByteArray, secret);
        QFETCH(bool, equal);
        QCOMPARE(constantTimeEquals(typed, secret), equal);
    }

    void fiveWrongPasswordsLockAnAddressForThirtySeconds()
    {
        LoginLimiter limiter;
        const QHostAddress phone(QStringLiteral("127.0.0.1"));
        const QHostAddress other(QStringLiteral("127.0.0.2"));
        qint64 now = 1000;
        for (int i = 1; i < LoginLimiter::kMaxFailures; ++i) {
            limiter.recordFailure(phone, now);
            QVERIFY(!limiter.isLocked(phone, now));
        }
        limiter.recordFailure(phone, now);
        QVERIFY(limiter.isLocked(phone, now));
        QCOMPARE(limiter.waitMs(phone, now), LoginLimiter::kLockoutMs);
        // The same client over a dual-stack socket, but not its neighbour.
        QVERIFY(limiter.isLocked(QHostAddress(QStringLiteral("::ffff:127.0.0.1")), now));
        QVERIFY(!limiter.isLocked(other, now));

        now += LoginLimiter::kLockoutMs - 1;
        QVERIFY(limiter.isLocked(phone, now));
        now += 1;
        QVERIFY(!limiter.isLocked(phone, now));
        // Five fresh tries after the wait, not one.
        limiter.recordFailure(phone, now);
        QVERIFY(!limiter.isLocked(phone, now));

        // A right password forgets the failures.
        for (int i = 1; i < LoginLimiter::kMaxFailures; ++i)
            limiter.recordFailure(other, now);
        limiter.recordSuccess(other);
        limiter.recordFailure(other, now);
        QVERIFY(!limiter.isLocked(other, now));
    }

    void tokensAreLongRandomAndOnlyOurOwn()
    {
        SessionTokens tokens;
        QSet<QByteArray> seen;
        for (int i = 0; i < 100; ++i) {
            const QByteArray token = tokens.create();
            QCOMPARE(token.size(), 2 * SessionTokens::kTokenBytes);
            QVERIFY(!seen.contains(token));
            seen.insert(token);
            QVERIFY(tokens.isValid(token));
        }
        const QByteArray kept = *seen.constBegin();
        QVERIFY(!tokens.isValid(QByteArray(kept).replace(0, 1, kept.startsWith('0') ? "1" : "0")));
        QVERIFY(!tokens.isValid(kept.left(31)));
        QVERIFY(!tokens.isValid(QByteArray()));
        QVERIFY(!SessionTokens().isValid(kept)); // a restarted service knows none of them
    }

    void theSessionCookieIsFoundAmongOthers_data()
    {
        QTest::addColumn<QByteArray>("header");
        QTest::addColumn<QByteArray>("value");
        QTest::newRow("among others") << QByteArray("a=1; kurvan_session=abc; b=2") << QByteArray("abc");
        QTest::newRow("a longer name") << QByteArray("xkurvan_session=abc") << QByteArray();
        QTest::newRow("missing") << QByteArray("a=1") << QByteArray();
    }
    void theSessionCookieIsFoundAmongOthers()
    {
        QFETCH(QByteArray, header);
        QFETCH(QByteArray, value);
        QCOMPARE(RequestRules::cookieValue(header, RequestRules::kCookieName), value);
    }

    void listenAddresses_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<QString>("address");
        QTest::addColumn<int>("port");
        QTest::newRow("v4 and port") << QStringLiteral("192.0.2.7:9000") << true << QStringLiteral("192.0.2.7") << 9000;
        QTest::newRow("v4 alone") << QStringLiteral("127.0.0.1") << true << QStringLiteral("127.0.0.1") << 8620;
        QTest::newRow("port alone") << QStringLiteral(":9000") << true << QString() << 9000;
        QTest::newRow("v6 bracketed") << QStringLiteral("[::1]:9000") << true << QStringLiteral("::1") << 9000;
        QTest::newRow("v6 bare") << QStringLiteral("::1") << true << QStringLiteral("::1") << 8620;
        QTest::newRow("host name") << QStringLiteral("jukebox:9000") << false << QString() << 0;
        QTest::newRow("port 0") << QStringLiteral("127.0.0.1:0") << false << QString() << 0;
        QTest::newRow("port too big") << QStringLiteral("127.0.0.1:65536") << false << QString() << 0;
        QTest::newRow("empty port") << QStringLiteral("127.0.0.1:") << false << QString() << 0;
        QTest::newRow("unclosed bracket") << QStringLiteral("[::1:9000") << false << QString() << 0;
    }
    void listenAddresses()
    {
        QFETCH(QString, text);
        QFETCH(bool, valid);
        QFETCH(QString, address);
        QFETCH(int, port);
        const auto parsed = ListenAddress::parse(text);
        QCOMPARE(parsed.has_value(), valid);
        if (!valid)
            return;
        QCOMPARE(parsed->port, port);
        QCOMPARE(parsed->address, address.isEmpty() ? ListenAddress{}.address : QHostAddress(address));
    }

    void withoutPasswordOnlyThisComputerUnlessAskedFor()
    {
        // The default is every address of the computer, not just this one.
        QVERIFY(!ListenAddress::choose(std::nullopt, false).address.isLoopback());
        QCOMPARE(ListenAddress::choose(std::nullopt, false).address, ListenAddress{}.address);
        QCOMPARE(ListenAddress::choose(std::nullopt, true).address, QHostAddress(QHostAddress::LocalHost));
        const auto given = ListenAddress::parse(QStringLiteral("192.0.2.7:8620"));
        QCOMPARE(ListenAddress::choose(given, true).address, QHostAddress(QStringLiteral("192.0.2.7")));
    }
};

QTEST_GUILESS_MAIN(TestServeRules)
#include "TestServeRules.moc"
