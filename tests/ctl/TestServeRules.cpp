#include "CertificateMaker.h"
#include "HostAllowList.h"
#include "HttpRequestReader.h"
#include "HttpResponseWriter.h"
#include "ListenAddress.h"
#include "LocalAuthority.h"
#include "LoginLimiter.h"
#include "QrCode.h"
#include "RequestRules.h"
#include "SecretCompare.h"
#include "ServeCommand.h"
#include "ServeLog.h"
#include "SessionTokens.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSet>
#include <QSslCertificate>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

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

    // Each row: wrong passwords given at t = 1 s ("ADDRESS*N"; "many:N" is N addresses with one
    // each, "locked:N" N addresses locked out), then a login from probe asks how long it waits
    // at 1 s + later.
    void guessingIsBounded_data()
    {
        QTest::addColumn<QStringList>("failures");
        QTest::addColumn<int>("budget");
        QTest::addColumn<qint64>("later");
        QTest::addColumn<QString>("probe");
        QTest::addColumn<qint64>("wait");
        QTest::addColumn<bool>("global");
        const int all = LoginLimiter::kMaxGlobalFailures;
        const int lots = 1'000'000; // no overall budget in the way
        const qint64 lock = LoginLimiter::kLockoutMs;
        const qint64 window = LoginLimiter::kGlobalWindowMs;
        const auto row = [](const char *name, const QStringList &failures, int budget, qint64 later, const char *probe,
                            qint64 wait, bool global = false) {
            QTest::newRow(name) << failures << budget << later << QString::fromLatin1(probe) << wait << global;
        };
        row("one short of the bound", {u"127.0.0.1*4"_s}, all, 0, "127.0.0.1", 0);
        row("at the bound", {u"127.0.0.1*5"_s}, all, 0, "127.0.0.1", lock);
        row("locked to the last ms", {u"127.0.0.1*5"_s}, all, lock - 1, "127.0.0.1", 1);
        row("free when the lock ends", {u"127.0.0.1*5"_s}, all, lock, "127.0.0.1", 0);
        row("same client on a dual-stack socket", {u"127.0.0.1*5"_s}, all, 0, "::ffff:127.0.0.1", lock);
        row("the neighbour is free", {u"127.0.0.1*5"_s}, all, 0, "127.0.0.2", 0);
        row("one IPv6 /64 counts once", {u"fd00::1*3"_s, u"fd00::1:0:0:2*2"_s}, all, 0, "fd00::ffff:0:0:1", lock);
        row("the next /64 is free", {u"fd00::1*5"_s}, all, 0, "fd00:0:0:1::1", 0);
        row("overall one short of the budget", {u"many:"_s + QString::number(all - 1)}, all, 0, "127.0.0.9", 0);
        row("overall at the budget, a fresh address waits", {u"many:"_s + QString::number(all)}, all, 0, "127.0.0.9",
            window, true);
        row("the owner gets in a minute later", {u"many:"_s + QString::number(all)}, all, window, "127.0.0.9", 0);
        row("a minute later the budget is whole again, and spent again",
            {u"many:"_s + QString::number(all), u"+many:"_s + QString::number(all)}, all, window, "127.0.0.9", window,
            true);
        row("full of locks: a locked one stays locked",
            {u"locked:"_s + QString::number(LoginLimiter::kMaxTracked), u"127.0.0.9*5"_s}, lots, 0, "127.2.0.0", lock);
        row("full of locks: a newcomer is held by the budget alone",
            {u"locked:"_s + QString::number(LoginLimiter::kMaxTracked), u"127.0.0.9*5"_s}, lots, 0, "127.0.0.9", 0);
        row("full: counts below the lock make room",
            {u"127.0.0.1*4"_s, u"locked:"_s + QString::number(LoginLimiter::kMaxTracked - 1), u"127.0.0.9*5"_s}, lots,
            0, "127.0.0.9", lock);
    }
    void guessingIsBounded()
    {
        QFETCH(QStringList, failures);
        QFETCH(int, budget);
        QFETCH(qint64, later);
        QFETCH(QString, probe);
        QFETCH(qint64, wait);
        QFETCH(bool, global);
        LoginLimiter limiter(budget);
        const qint64 start = 1000;
        qint64 at = start;
        const auto many = [&](int count, int times, int subnet) {
            for (int i = 0; i < count; ++i)
                for (int t = 0; t < times; ++t)
                    limiter.recordFailure(QHostAddress(quint32((127u << 24) | (subnet << 16) | i)), at);
        };
        for (QString failure : failures) {
            // "+..." comes at 1 s + later instead.
            at = failure.startsWith(u'+') ? start + later : start;
            failure.remove(QRegularExpression(u"^\\+"_s));
            if (failure.startsWith(u"many:"_s))
                many(failure.mid(5).toInt(), 1, 1);
            else if (failure.startsWith(u"locked:"_s))
                many(failure.mid(7).toInt(), LoginLimiter::kMaxFailures, 2);
            for (int t = 0; !failure.contains(u':') || failure.contains(u'*'); ++t) {
                if (t == failure.section(u'*', 1).toInt())
                    break;
                limiter.recordFailure(QHostAddress(failure.section(u'*', 0, 0)), at);
            }
        }
        const LoginLimiter::Wait result = limiter.wait(QHostAddress(probe), start + later);
        QCOMPARE(result.ms, wait);
        QCOMPARE(result.global, global);
        QVERIFY(limiter.trackedCount() <= LoginLimiter::kMaxTracked);
        // A right password forgets the client's failures, never the overall count.
        limiter.recordSuccess(QHostAddress(probe));
        QCOMPARE(limiter.wait(QHostAddress(probe), start + later).ms, global ? wait : 0);
    }

    void sessionsEnd()
    {
        SessionTokens sessions;
        qint64 now = 1000;
        const auto idle = sessions.create(now);
        const auto used = sessions.create(now);
        const auto out = sessions.create(now);
        QCOMPARE(sessions.use(idle.token, now + SessionTokens::kIdleMs - 1), std::optional(idle.tag));
        QVERIFY(idle.tag != used.tag && idle.token != used.token);
        // Logout: gone at once, and the page learns why.
        QCOMPARE(sessions.end(out.token), std::optional(out.tag));
        QVERIFY(!sessions.use(out.token, now));
        QCOMPARE(sessions.whyEnded(out.token), SessionTokens::End::LoggedOut);
        QVERIFY(!sessions.end(out.token));
        // Used every half day, a session still ends after its lifetime; one left alone ends after
        // its idle time, counted from its last use.
        const qint64 step = SessionTokens::kIdleMs / 2;
        const qint64 idleEnd = 1000 + SessionTokens::kIdleMs - 1 + SessionTokens::kIdleMs;
        while (now + step < 1000 + SessionTokens::kLifetimeMs) {
            now += step;
            QVERIFY(sessions.use(used.token, now));
            const QList<SessionTokens::Ended> ended = sessions.lapse(now);
            if (!ended.isEmpty()) {
                QCOMPARE(ended.size(), 1);
                QCOMPARE(ended.front().tag, idle.tag);
                QCOMPARE(ended.front().why, SessionTokens::End::Idle);
                QVERIFY(now >= idleEnd && now - step < idleEnd);
            }
        }
        QCOMPARE(sessions.whyEnded(idle.token), SessionTokens::End::Idle);
        QVERIFY(sessions.lapse(1000 + SessionTokens::kLifetimeMs - 1).isEmpty());
        QCOMPARE(sessions.lapse(1000 + SessionTokens::kLifetimeMs).size(), 1);
        QCOMPARE(sessions.whyEnded(used.token), SessionTokens::End::Lifetime);
        QCOMPARE(sessions.count(), 0);

        // Idle counts from the last use, to the millisecond, for the request and the sweep alike.
        SessionTokens exact;
        const auto one = exact.create(0);
        QVERIFY(exact.use(one.token, SessionTokens::kIdleMs - 1));
        QVERIFY(exact.lapse(2 * SessionTokens::kIdleMs - 2).isEmpty());
        QVERIFY(!exact.use(one.token, 2 * SessionTokens::kIdleMs - 1));
        QCOMPARE(exact.lapse(2 * SessionTokens::kIdleMs - 1).size(), 1);

        // Full: the session used least recently makes room, and says so.
        SessionTokens full;
        QList<SessionTokens::Created> all;
        for (int i = 0; i < SessionTokens::kMaxSessions; ++i)
            all.append(full.create(i));
        full.use(all.front().token, SessionTokens::kMaxSessions);
        const auto newcomer = full.create(SessionTokens::kMaxSessions + 1);
        QVERIFY(newcomer.displaced);
        QCOMPARE(newcomer.displaced->tag, all.at(1).tag);
        QCOMPARE(full.whyEnded(all.at(1).token), SessionTokens::End::Displaced);
        QVERIFY(full.use(all.front().token, SessionTokens::kMaxSessions + 2));
        QCOMPARE(full.count(), SessionTokens::kMaxSessions);
        QCOMPARE(SessionTokens().whyEnded(newcomer.token), SessionTokens::End::Unknown);
    }

    // What a stranger sends reaches the operator's terminal only as printable ASCII.
    void theLogShowsOnlyPrintableText()
    {
        QCOMPARE(ServeLog::printable("evil.example:8620"), u"evil.example:8620"_s);
        QCOMPARE(ServeLog::printable("a\x1b[2J\x07\r\nb"), u"a\\x1b[2J\\x07\\x0d\\x0ab"_s);
        QCOMPARE(ServeLog::printable("\xc3\xa4\\\x7f"), u"\\xc3\\xa4\\x5c\\x7f"_s);
        QCOMPARE(ServeLog::printable(QByteArray(100, 'a'), 80), QString(80, u'a') + u'\u2026');
    }

    void onlyOurOwnHostNames_data()
    {
        QTest::addColumn<QByteArray>("host");
        QTest::addColumn<bool>("allowed");
        const QList<std::pair<const char *, bool>> rows{
            {"127.0.0.1:8620", true},
            {"127.0.0.1", true},
            {"[::1]:8620", true},
            {"[fe80::1]", true},
            {"localhost:8620", true},
            {"LOCALHOST", true},
            {"localhost.", true},
            {"jukebox.local:8620", true},
            {"Jukebox:1", true},
            {"bar.example.:65535", true},
            {"evil.example:8620", false},
            {"", false},
            {"127.0.0.1:0", false},
            {"127.0.0.1:65536", false},
            {"127.0.0.1:", false},
            {":8620", false},
            {"evil.local", false},
            {"127.0.0.1.1", false},
            {"127.0.0", false},
            {"256.0.0.1", false},
            {"127.1", false},
            {"127.0.0.1.evil.example", false},
            {"[::1", false},
            {"[::1]x", false},
            {"[evil.example]", false},
            {"localhost.evil.example", false},
            {"jukebox.local.evil", false},
            {"xjukebox", false},
        };
        for (const auto &[host, allowed] : rows)
            QTest::newRow(*host ? host : "empty") << QByteArray(host) << allowed;
    }
    void onlyOurOwnHostNames()
    {
        QFETCH(QByteArray, host);
        QFETCH(bool, allowed);
        const HostAllowList list({u"jukebox"_s, u"Jukebox.local"_s, u"bar.example"_s});
        QCOMPARE(list.allows(host), allowed);
    }

    void tokensAreLongRandomAndOnlyOurOwn()
    {
        SessionTokens tokens;
        QSet<QByteArray> seen;
        for (int i = 0; i < 100; ++i) {
            const QByteArray token = tokens.create(0).token;
            QCOMPARE(token.size(), 2 * SessionTokens::kTokenBytes);
            QVERIFY(!seen.contains(token));
            seen.insert(token);
            QVERIFY(tokens.use(token, 0));
        }
        const QByteArray kept = *seen.constBegin();
        QVERIFY(!tokens.use(QByteArray(kept).replace(0, 1, kept.startsWith('0') ? "1" : "0"), 0));
        QVERIFY(!tokens.use(kept.left(31), 0));
        QVERIFY(!tokens.use(QByteArray(), 0));
        QVERIFY(!SessionTokens().use(kept, 0)); // a restarted service knows none of them
    }

    // The bodies of actions and of the login, at the edges of what they take.
    void bodiesAreTakenToTheirEdges_data()
    {
        QTest::addColumn<QByteArray>("path");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<int>("status");
        const auto sized = [](qsizetype size) {
            const QByteArray head = "{\"volume\":5,\"x\":\"";
            return head + QByteArray(size - head.size() - 2, 'x') + "\"}";
        };
        const QList<std::tuple<const char *, const char *, QByteArray, int>> rows{
            {"volume 0", "/api/volume", "{\"volume\":0}", 200},
            {"volume 100", "/api/volume", "{\"volume\":100}", 200},
            {"volume 101", "/api/volume", "{\"volume\":101}", 400},
            {"volume -1", "/api/volume", "{\"volume\":-1}", 400},
            {"a half step", "/api/volume", "{\"volume\":50.5}", 400},
            {"no volume", "/api/volume", "{}", 400},
            {"a volume for next", "/api/next", "{\"volume\":5}", 400},
            {"next", "/api/next", "{}", 200},
            {"at the bound, read", "/api/volume", sized(RequestRules::kMaxBodyBytes), 400},
            {"over the bound", "/api/volume", sized(RequestRules::kMaxBodyBytes + 1), 413},
            {"a password", "/api/login", "{\"password\":\"\"}", 200},
            {"a password and more", "/api/login", "{\"password\":\"a\",\"x\":1}", 400},
            {"a number for a password", "/api/login", "{\"password\":5}", 400},
        };
        for (const auto &[name, path, body, status] : rows)
            QTest::newRow(name) << QByteArray(path) << body << status;
    }
    void bodiesAreTakenToTheirEdges()
    {
        QFETCH(QByteArray, path);
        QFETCH(QByteArray, body);
        QFETCH(int, status);
        if (path == "/api/login") {
            QCOMPARE(RequestRules::readLoginBody("application/json", body).status, status);
            return;
        }
        const auto checked = RequestRules::readActionBody(*RequestRules::actionForPath(path), "application/json", body);
        QCOMPARE(checked.status, status);
        if (status == 200 && path.endsWith("volume"))
            QCOMPARE(checked.value->volume, QJsonDocument::fromJson(body).object().value(u"volume"_s).toInt());
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
        QTest::newRow("v4 and port") << u"192.0.2.7:9000"_s << true << u"192.0.2.7"_s << 9000;
        QTest::newRow("v4 alone") << u"127.0.0.1"_s << true << u"127.0.0.1"_s << 8620;
        QTest::newRow("port alone") << u":9000"_s << true << QString() << 9000;
        QTest::newRow("bare port") << u"8623"_s << true << QString() << 8623;
        QTest::newRow("v6 bracketed") << u"[::1]:9000"_s << true << u"::1"_s << 9000;
        QTest::newRow("v6 bare") << u"::1"_s << true << u"::1"_s << 8620;
        QTest::newRow("host name") << u"jukebox:9000"_s << false << u"jukebox"_s << 0;
        QTest::newRow("port 0") << u"127.0.0.1:0"_s << false << u"0"_s << 0;
        QTest::newRow("port too big") << u"127.0.0.1:65536"_s << false << u"65536"_s << 0;
        QTest::newRow("bare port too big") << u"86230"_s << false << u"86230"_s << 0;
        QTest::newRow("port with a sign") << u":+80"_s << false << u"+80"_s << 0;
        QTest::newRow("empty port") << u"127.0.0.1:"_s << false << QString() << 0;
        QTest::newRow("unclosed bracket") << u"[::1:9000"_s << false << u"[::1:9000"_s << 0;
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
        const auto given = ListenAddress::parse(u"192.0.2.7:8620"_s);
        QCOMPARE(ListenAddress::choose(given, true).address, QHostAddress(u"192.0.2.7"_s));
    }

    // TLS is the default wherever a phone could listen in; plain only on loopback or on purpose.
    void theTransportFollowsTheAddressAndTheOptions()
    {
        ServeOptions options;
        const QHostAddress everywhere(QHostAddress::Any);
        const QHostAddress loopback(QHostAddress::LocalHost);
        QCOMPARE(serveTransport(options, everywhere), ServeTransport::OwnAuthority);
        QCOMPARE(serveTransport(options, QHostAddress(u"192.168.1.5"_s)), ServeTransport::OwnAuthority);
        QCOMPARE(serveTransport(options, loopback), ServeTransport::Plain);
        QCOMPARE(serveTransport(options, QHostAddress(QHostAddress::LocalHostIPv6)), ServeTransport::Plain);
        options.tls = true;
        QCOMPARE(serveTransport(options, loopback), ServeTransport::OwnAuthority);
        options = {};
        options.plainHttp = true;
        QCOMPARE(serveTransport(options, everywhere), ServeTransport::Plain);
        options = {};
        options.tlsCertificate = u"venue.pem"_s;
        QCOMPARE(serveTransport(options, loopback), ServeTransport::GivenCertificate);
    }

    // The authority vouches for the local network alone, so its key, stolen, cannot stand in
    // for anyone's bank on a phone that trusts it.
    void theAuthorityVouchesOnlyForTheLocalNetwork_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<bool>("permitted");
        QTest::newRow("home network") << u"192.168.178.20"_s << true;
        QTest::newRow("10/8 edge") << u"10.255.255.255"_s << true;
        QTest::newRow("172.16/12 top") << u"172.31.255.1"_s << true;
        QTest::newRow("beyond 172.16/12") << u"172.32.0.1"_s << false;
        QTest::newRow("loopback") << u"127.0.0.1"_s << true;
        QTest::newRow("public v4") << u"8.8.8.8"_s << false;
        QTest::newRow("unique local v6") << u"fd12:3456::1"_s << true;
        QTest::newRow("global v6") << u"2001:db8::1"_s << false;
    }
    void theAuthorityVouchesOnlyForTheLocalNetwork()
    {
        QFETCH(QString, address);
        QFETCH(bool, permitted);
        QCOMPARE(LocalAuthority::permits(QHostAddress(address)), permitted);
        const QStringList scope = LocalAuthority::dnsScopeFor({u"Kasse"_s, u"jukebox.bar.example"_s});
        QVERIFY(LocalAuthority::permits(scope, u"kasse.local"_s) && LocalAuthority::permits(scope, u"KASSE"_s) &&
                LocalAuthority::permits(scope, u"localhost"_s) &&
                LocalAuthority::permits(scope, u"jukebox.bar.example"_s));
        QVERIFY(!LocalAuthority::permits(scope, u"bank.example"_s) && !LocalAuthority::permits(scope, u"xkasse"_s) &&
                !LocalAuthority::permits(scope, u"bar.example"_s));
    }

    // Made once and kept; the server certificate is issued again by the same authority exactly
    // when it no longer fits, and names only what the authority may vouch for.
    void theAuthorityIsKeptAndTheCertificateFollowsTheAddresses()
    {
        QTemporaryDir folder;
        const QDateTime now = QDateTime::currentDateTimeUtc();
        const LocalAuthority::Names names{{u"localhost"_s, u"kasse"_s}, {QHostAddress(u"127.0.0.1"_s)}};
        LocalAuthority first(folder.path());
        QString error;
        QVERIFY2(first.prepare(names, now, &error), qPrintable(error));
        QVERIFY(first.madeAuthority());
        QCOMPARE(first.lastReissue(), LocalAuthority::Reissue::Missing);
        QVERIFY(CertificateMaker::isSignedBy(first.serverCertificatePem(), first.authorityPem()));
        QVERIFY(CertificateMaker::keyMatches(first.serverCertificatePem(), first.serverKeyPem()));
        const QSslCertificate server(first.serverCertificatePem());
        QVERIFY(server.expiryDate() <= now.addDays(825) && server.effectiveDate() <= now);
#ifndef Q_OS_WIN
        QCOMPARE(QFile::permissions(folder.filePath(u"ca.key"_s)) & 0x0077, QFile::Permissions());
#endif

        LocalAuthority again(folder.path());
        QVERIFY(again.prepare(names, now.addDays(1), &error));
        QVERIFY(!again.madeAuthority());
        QCOMPARE(again.lastReissue(), LocalAuthority::Reissue::No);
        QCOMPARE(again.serverCertificatePem(), first.serverCertificatePem());

        LocalAuthority moved(folder.path());
        const LocalAuthority::Names wider{names.dnsNames + QStringList{u"fremd.example"_s},
                                          names.addresses +
                                              QList{QHostAddress(u"10.1.2.3"_s), QHostAddress(u"8.8.8.8"_s)}};
        QVERIFY(moved.prepare(wider, now.addDays(2), &error));
        QCOMPARE(moved.lastReissue(), LocalAuthority::Reissue::NamesChanged);
        QCOMPARE(moved.authorityPem(), first.authorityPem());
        QCOMPARE(moved.fingerprint(), first.fingerprint());
        QVERIFY(CertificateMaker::isSignedBy(moved.serverCertificatePem(), first.authorityPem()));
        QCOMPARE(moved.leftOut(), (QStringList{u"fremd.example"_s, u"8.8.8.8"_s}));
        const auto alternatives = QSslCertificate(moved.serverCertificatePem()).subjectAlternativeNames();
        QVERIFY(alternatives.values(QSsl::IpAddressEntry).contains(u"10.1.2.3"_s));

        // Renewed well before the end, and never taken from another authority.
        const QDateTime late = QSslCertificate(moved.serverCertificatePem()).expiryDate().addDays(-30);
        QCOMPARE(LocalAuthority::reissueReason(QSslCertificate(moved.serverCertificatePem()), true, wider, late),
                 LocalAuthority::Reissue::RunningOut);
        QCOMPARE(LocalAuthority::reissueReason(QSslCertificate(moved.serverCertificatePem()), false, wider, now),
                 LocalAuthority::Reissue::OtherAuthority);
        QTemporaryDir otherFolder;
        LocalAuthority other(otherFolder.path());
        QVERIFY(other.prepare(names, now, &error));
        // Without its own key the authority is worth nothing: a new one, and the start says so.
        QVERIFY(QFile::remove(folder.filePath(u"ca.key"_s)) &&
                QFile::copy(otherFolder.filePath(u"ca.key"_s), folder.filePath(u"ca.key"_s)));
        LocalAuthority anew(folder.path());
        QVERIFY(anew.prepare(names, now, &error) && anew.madeAuthority() && anew.fingerprint() != first.fingerprint());
        QCOMPARE(anew.lastReissue(), LocalAuthority::Reissue::OtherAuthority);
        QVERIFY(!CertificateMaker::isSignedBy(other.serverCertificatePem(), first.authorityPem()));
        QVERIFY(!CertificateMaker::keyMatches(other.serverCertificatePem(), first.serverKeyPem()));
    }

    // The code drawn in half blocks holds every module, two rows to a line, dark where dark.
    void theQrCodeIsDrawnModuleForModule()
    {
        const QrCode code = QrCode::encode("http://192.168.1.5:8620/trust");
        QVERIFY(!code.isNull() && code.size() >= 21);
        const QStringList lines = code.toHalfBlocks(false).split(u'\n', Qt::SkipEmptyParts);
        const int side = code.size() + 4;
        QCOMPARE(lines.size(), (side + 1) / 2);
        for (int y = 0; y < side; ++y) {
            for (int x = 0; x < side; ++x) {
                const QChar glyph = lines.at(y / 2).at(x);
                const bool drawn = glyph == u'\u2588' || glyph == (y % 2 ? u'\u2584' : u'\u2580');
                QVERIFY2(drawn == code.dark(x - 2, y - 2), qPrintable(u"%1,%2"_s.arg(x).arg(y)));
            }
        }
        QVERIFY(QrCode::encode(QByteArray(4000, 'x')).isNull());
    }
};

QTEST_GUILESS_MAIN(TestServeRules)
#include "TestServeRules.moc"
