#include "HttpRequestReader.h"
#include "HttpResponseWriter.h"
#include "ListenAddress.h"
#include "LoginLimiter.h"
#include "RequestRules.h"
#include "SecretCompare.h"
#include "SessionTokens.h"

#include <QSet>
#include <QTest>

// The web remote's pure rules, where a wrong answer opens the door: secrets, tries, tokens,
// cookies, where the service listens, and how a request is read off the wire.
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

    // Every row is a whole buffer as it came from a socket. status 0: a complete request;
    // -1: read more; otherwise the refusal.
    void requestsAreReadOrRefused_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("path");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<bool>("keepAlive");
        const QByteArray get = "GET /api/state?x=1 HTTP/1.1\r\nHost: h\r\n";
        const QByteArray post = "POST /api/volume HTTP/1.1\r\nHost: h\r\n";
        const auto row = [](const char *name, const QByteArray &bytes, int status, const QByteArray &path = {},
                            const QByteArray &body = {}, bool keepAlive = true) {
            QTest::newRow(name) << bytes << status << path << body << keepAlive;
        };
        row("plain GET", get + "\r\n", 0, "/api/state");
        row("bare LF", "GET / HTTP/1.1\nHost: h\n\n", 0, "/");
        row("empty lines before", "\r\n\r\nGET / HTTP/1.1\r\nHost: h\r\n\r\n", 0, "/");
        row("body by length", post + "Content-Length: 4\r\n\r\nabcdEXTRA", 0, "/api/volume", "abcd");
        row("HTTP/1.0 closes", "GET / HTTP/1.0\r\n\r\n", 0, "/", {}, false);
        row("Connection: close", get + "Connection: keep-alive, Close\r\n\r\n", 0, "/api/state", {}, false);
        row("head not ended", get, -1);
        row("nothing yet", "", -1);
        row("body not all here", post + "Content-Length: 10\r\n\r\nabc", -1);
        row("no version", "GET /\r\n\r\n", 400);
        row("two spaces", "GET  / HTTP/1.1\r\nHost: h\r\n\r\n", 400);
        row("absolute target", "GET http://h/ HTTP/1.1\r\nHost: h\r\n\r\n", 400);
        row("control byte in target", "GET /a\x01 HTTP/1.1\r\nHost: h\r\n\r\n", 400);
        row("not HTTP", "GET / FTP/1.1\r\nHost: h\r\n\r\n", 400);
        row("HTTP/2.0", "GET / HTTP/2.0\r\nHost: h\r\n\r\n", 505);
        row("folded header", get + "X-A: 1\r\n  continued\r\n\r\n", 400);
        row("space before colon", get + "X-A : 1\r\n\r\n", 400);
        row("no colon", get + "X-A\r\n\r\n", 400);
        row("NUL in value", QByteArray(get + "X-A: a").append('\0').append("b\r\n\r\n"), 400);
        row("CR inside a line", get + "X-A: a\rb\r\n\r\n", 400);
        row("no Host in 1.1", "GET / HTTP/1.1\r\n\r\n", 400);
        row("two Hosts", get + "Host: other\r\n\r\n", 400);
        row("two lengths, same value", post + "Content-Length: 1\r\nContent-Length: 1\r\n\r\na", 400);
        row("negative length", post + "Content-Length: -1\r\n\r\n", 400);
        row("length with sign", post + "Content-Length: +1\r\n\r\na", 400);
        row("length as a list", post + "Content-Length: 1, 1\r\n\r\na", 400);
        row("huge length", post + "Content-Length: 99999999999999999999\r\n\r\n", 400);
        row("chunked", post + "Transfer-Encoding: chunked\r\n\r\n0\r\n\r\n", 411);
        row("chunked and length", post + "Transfer-Encoding: chunked\r\nContent-Length: 1\r\n\r\n", 411);
        row("other coding", post + "Transfer-Encoding: gzip\r\n\r\n", 501);
        row("body over the bound",
            post + "Content-Length: " + QByteArray::number(RequestRules::kMaxBodyBytes + 1) + "\r\n\r\n", 413);
        row("body at the bound",
            post + "Content-Length: " + QByteArray::number(RequestRules::kMaxBodyBytes) + "\r\n\r\n" +
                QByteArray(RequestRules::kMaxBodyBytes, 'b'),
            0, "/api/volume", QByteArray(RequestRules::kMaxBodyBytes, 'b'));
        row("head over the bound, unfinished", get + "X-A: " + QByteArray(HttpRequestReader::kMaxHeadBytes, 'a'), 431);
        row("head over the bound", get + "X-A: " + QByteArray(HttpRequestReader::kMaxHeadBytes, 'a') + "\r\n\r\n", 431);
        row("endless empty lines", QByteArray(HttpRequestReader::kMaxHeadBytes + 1, '\n'), 400);
    }
    void requestsAreReadOrRefused()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, status);
        QFETCH(QByteArray, path);
        QFETCH(QByteArray, body);
        QFETCH(bool, keepAlive);
        using State = HttpRequestReader::Result::State;
        const HttpRequestReader::Result result = HttpRequestReader::read(bytes, RequestRules::kMaxBodyBytes);
        const State expected = status == 0 ? State::Complete : status < 0 ? State::NeedMore : State::Refused;
        QCOMPARE(result.state, expected);
        if (expected == State::Refused) {
            QCOMPARE(result.status, status);
            QVERIFY(!result.message.isEmpty());
            // The answer's head names the refusal in words, not only as a number.
            QVERIFY(HttpResponseWriter::reasonPhrase(status) != QByteArrayView("Unknown"));
        }
        if (expected != State::Complete)
            return;
        QCOMPARE(result.request.path, path);
        QCOMPARE(result.request.body, body);
        QCOMPARE(result.request.keepAlive, keepAlive);
        QCOMPARE(result.request.value("host").isEmpty(), bytes.contains("HTTP/1.0"));
        QCOMPARE(QByteArrayView(bytes).first(result.used).endsWith(body.isEmpty() ? "\n" : body), true);
    }

    void requestsOnOneConnectionAreReadInOrder()
    {
        QByteArray buffer = "GET /a?q HTTP/1.1\r\nHost: h\r\nCookie: a=1\r\ncookie: b=2\r\nX-Y: 1\r\nx-y: 2\r\n\r\n"
                            "POST /b HTTP/1.1\r\nHost: h\r\nContent-Length: 2\r\n\r\n{}"
                            "GET /c HTTP/1.1\r\nHo";
        const auto first = HttpRequestReader::read(buffer, RequestRules::kMaxBodyBytes);
        QCOMPARE(first.state, HttpRequestReader::Result::State::Complete);
        QCOMPARE(first.request.method, QByteArray("GET"));
        QCOMPARE(first.request.query, QByteArray("q"));
        // Repeated headers are one value; cookies keep their own separator.
        QCOMPARE(first.request.value("cookie"), QByteArray("a=1; b=2"));
        QCOMPARE(first.request.value("x-y"), QByteArray("1, 2"));
        buffer.remove(0, first.used);
        const auto second = HttpRequestReader::read(buffer, RequestRules::kMaxBodyBytes);
        QCOMPARE(second.state, HttpRequestReader::Result::State::Complete);
        QCOMPARE(second.request.method, QByteArray("POST"));
        QCOMPARE(second.request.body, QByteArray("{}"));
        buffer.remove(0, second.used);
        QCOMPARE(buffer, QByteArray("GET /c HTTP/1.1\r\nHo"));
        QCOMPARE(HttpRequestReader::read(buffer, RequestRules::kMaxBodyBytes).state,
                 HttpRequestReader::Result::State::NeedMore);
    }

    void answerHeadsAreWellFormed()
    {
        QCOMPARE(HttpResponseWriter::head(404, {{"Content-Type", "application/json"}}, 2, true),
                 QByteArray("HTTP/1.1 404 Not Found\r\nContent-Type: application/json\r\nContent-Length: 2\r\n\r\n"));
        // A stream has no length and closes; a value that would split the head is dropped.
        QCOMPARE(HttpResponseWriter::head(200, {{"X-A", "1\r\nSet-Cookie: x"}, {"X-B", "2"}}, -1, false),
                 QByteArray("HTTP/1.1 200 OK\r\nX-B: 2\r\nConnection: close\r\n\r\n"));
    }

    void listenAddresses_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<QString>("address"); // refused: the part the refusal names
        QTest::addColumn<int>("port");
        QTest::newRow("v4 and port") << QStringLiteral("192.0.2.7:9000") << true << QStringLiteral("192.0.2.7") << 9000;
        QTest::newRow("v4 alone") << QStringLiteral("127.0.0.1") << true << QStringLiteral("127.0.0.1") << 8620;
        QTest::newRow("port alone") << QStringLiteral(":9000") << true << QString() << 9000;
        QTest::newRow("bare port") << QStringLiteral("8623") << true << QString() << 8623;
        QTest::newRow("v6 bracketed") << QStringLiteral("[::1]:9000") << true << QStringLiteral("::1") << 9000;
        QTest::newRow("v6 bare") << QStringLiteral("::1") << true << QStringLiteral("::1") << 8620;
        QTest::newRow("host name") << QStringLiteral("jukebox:9000") << false << QStringLiteral("jukebox") << 0;
        QTest::newRow("port 0") << QStringLiteral("127.0.0.1:0") << false << QStringLiteral("0") << 0;
        QTest::newRow("port too big") << QStringLiteral("127.0.0.1:65536") << false << QStringLiteral("65536") << 0;
        QTest::newRow("bare port too big") << QStringLiteral("86230") << false << QStringLiteral("86230") << 0;
        QTest::newRow("port with a sign") << QStringLiteral(":+80") << false << QStringLiteral("+80") << 0;
        QTest::newRow("empty port") << QStringLiteral("127.0.0.1:") << false << QString() << 0;
        QTest::newRow("unclosed bracket") << QStringLiteral("[::1:9000") << false << QStringLiteral("[::1:9000") << 0;
    }
    void listenAddresses()
    {
        QFETCH(QString, text);
        QFETCH(bool, valid);
        QFETCH(QString, address);
        QFETCH(int, port);
        const auto parsed = ListenAddress::parse(text);
        QCOMPARE(parsed.has_value(), valid);
        const QString refusal = ListenAddress::refusal(text);
        QCOMPARE(refusal.isEmpty(), valid);
        if (!valid) {
            QVERIFY2(refusal.contains(u'\u201E' + address + u'\u201C'), qPrintable(refusal));
            return;
        }
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
