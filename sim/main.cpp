// tonalis-sim: a stand-in jukebox on the local network for demos, tests and benchmarks.

#include "JukeboxModel.h"
#include "SimServer.h"
#ifdef Q_OS_WIN
#include "WindowsCloseFilter.h"
#endif

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QHostAddress>
#include <QTextStream>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <optional>

namespace {

// Set from the signal handler, which may do nothing else safely; a timer looks at it.
volatile std::sig_atomic_t g_quitSignal = 0;
constexpr int kSignalPollMs = 100;
// Far beyond any sensible test, but small enough that a typo cannot exhaust memory.
constexpr uint kMaxFaultCount = 10'000'000;

extern "C" void onQuitSignal(int signal)
{
    g_quitSignal = signal;
}

struct Options
{
    QHostAddress address;
    quint16 port = SimServer::kDefaultPort;
    QString password;
    bool quiet = false;
    bool startStopped = false;
    int songLength = 0;
    FaultPlan faults;
};

std::optional<uint> readNumber(const QCommandLineParser &parser, const QString &option, uint max, QString *error)
{
    bool ok = false;
    const uint value = parser.value(option).toUInt(&ok);
    if (!ok || value > max) {
        *error = QStringLiteral("--%1 wants a whole number from 0 to %2, not \"%3\"")
                     .arg(option)
                     .arg(max)
                     .arg(parser.value(option));
        return std::nullopt;
    }
    return value;
}

std::optional<QStringList> readValueNames(const QCommandLineParser &parser, const QString &option, QString *error)
{
    const QStringList names = parser.value(option).split(u',', Qt::SkipEmptyParts);
    for (const QString &name : names) {
        if (!JukeboxModel::valueNames().contains(name)) {
            *error = QStringLiteral("--%1: \"%2\" is no value name (known: %3)")
                         .arg(option, name, JukeboxModel::valueNames().join(u','));
            return std::nullopt;
        }
    }
    return names;
}

std::optional<Options> parseOptions(QCommandLineParser &parser, QString *error)
{
    Options options;
    if (!options.address.setAddress(parser.value(QStringLiteral("listen")))) {
        *error = QStringLiteral("--listen wants an IP address, not \"%1\"").arg(parser.value(QStringLiteral("listen")));
        return std::nullopt;
    }
    options.password = parser.value(QStringLiteral("password"));
    options.quiet = parser.isSet(QStringLiteral("quiet"));
    options.startStopped = parser.isSet(QStringLiteral("stopped"));

    // Numbers, each with its bound; an option not given keeps its default text.
    const auto number = [&](const QString &name, uint max) { return readNumber(parser, name, max, error); };
    const auto port = number(QStringLiteral("port"), 65535);
    const auto songLength = number(QStringLiteral("song-length"), 24 * 3600);
    const auto delay = number(QStringLiteral("delay"), 600'000);
    const auto bytePause = parser.isSet(QStringLiteral("byte-by-byte")) ? number(QStringLiteral("byte-by-byte"), 60'000)
                                                                        : std::optional<uint>(0);
    const auto garbage = number(QStringLiteral("garbage"), kMaxFaultCount);
    const auto seed = number(QStringLiteral("garbage-seed"), 0xFFFFFFFFu);
    const auto flood = number(QStringLiteral("flood"), kMaxFaultCount);
    const auto closeAfter = number(QStringLiteral("close-after"), kMaxFaultCount);
    if (!port || !songLength || !delay || !bytePause || !garbage || !seed || !flood || !closeAfter)
        return std::nullopt;
    const auto delayed = readValueNames(parser, QStringLiteral("delay-values"), error);
    const auto withheld = readValueNames(parser, QStringLiteral("withhold"), error);
    const auto empty = readValueNames(parser, QStringLiteral("empty"), error);
    if (!delayed || !withheld || !empty)
        return std::nullopt;

    options.port = static_cast<quint16>(*port);
    options.songLength = static_cast<int>(*songLength);
    FaultPlan &f = options.faults;
    f.answerDelayMs = static_cast<int>(*delay);
    f.delayedValues = *delayed;
    f.withheldValues = *withheld;
    f.emptyValues = *empty;
    f.byteByByte = parser.isSet(QStringLiteral("byte-by-byte"));
    f.bytePauseMs = static_cast<int>(*bytePause);
    f.coalesce = parser.isSet(QStringLiteral("coalesce"));
    f.garbageBytes = static_cast<int>(*garbage);
    f.garbageSeed = *seed;
    f.floodCount = static_cast<int>(*flood);
    f.floodNotice = parser.value(QStringLiteral("flood-notice"));
    f.closeAfterMessages = static_cast<int>(*closeAfter);
    return options;
}

void addOptions(QCommandLineParser &parser)
{
    const auto option = [&](const QString &name, const QString &help, const QString &valueName = {},
                            const QString &defaultValue = {}) {
        parser.addOption(QCommandLineOption(name, help, valueName, defaultValue));
    };
    const QString ms = QStringLiteral("ms");
    const QString names = QStringLiteral("names");
    const QString n = QStringLiteral("n");

    option(QStringLiteral("listen"), QStringLiteral("Address to listen on (default 127.0.0.1)."),
           QStringLiteral("address"), QStringLiteral("127.0.0.1"));
    option(QStringLiteral("port"), QStringLiteral("TCP port (default 7620; 0 picks a free one)."),
           QStringLiteral("port"), QString::number(SimServer::kDefaultPort));
    option(QStringLiteral("password"),
           QStringLiteral("Login password (default: the demo password \"%1\").").arg(SimServer::kDefaultPassword),
           QStringLiteral("password"), SimServer::kDefaultPassword);
    option(QStringLiteral("quiet"), QStringLiteral("Do not log the messages received and sent."));
    option(QStringLiteral("stopped"), QStringLiteral("Start with playback stopped."));
    option(QStringLiteral("song-length"), QStringLiteral("Give every title this length in seconds (0: as listed)."),
           QStringLiteral("seconds"), QStringLiteral("0"));

    option(QStringLiteral("delay"), QStringLiteral("Fault: answer value queries this much later."), ms,
           QStringLiteral("0"));
    option(QStringLiteral("delay-values"),
           QStringLiteral("Fault: delay only these values (comma-separated, e.g. Credit,SongPos)."), names);
    option(QStringLiteral("withhold"), QStringLiteral("Fault: never answer these values."), names);
    option(QStringLiteral("empty"), QStringLiteral("Fault: answer these values empty (\"Credit|\")."), names);
    option(QStringLiteral("byte-by-byte"), QStringLiteral("Fault: send one byte at a time, this pause between."), ms);
    option(QStringLiteral("coalesce"), QStringLiteral("Fault: send answers and notices together in one write."));
    option(QStringLiteral("garbage"), QStringLiteral("Fault: send this many random bytes after each login."), n,
           QStringLiteral("0"));
    option(QStringLiteral("garbage-seed"), QStringLiteral("Seed of the random bytes (default 1)."),
           QStringLiteral("seed"), QStringLiteral("1"));
    option(QStringLiteral("flood"), QStringLiteral("Fault: send this many notices in one write after each login."), n,
           QStringLiteral("0"));
    option(QStringLiteral("flood-notice"), QStringLiteral("The notice of --flood (default ChangeCredit)."),
           QStringLiteral("text"), Msg::ChangeCredit);
    option(QStringLiteral("close-after"),
           QStringLiteral("Fault: close a connection on its n-th message, leaving that one unanswered."), n,
           QStringLiteral("0"));
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tonalis-sim"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KURVAN_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("A stand-in jukebox for the Kurvan remote: answers logins, value queries and commands "
                       "over TCP and sends change notices, optionally misbehaving on purpose."));
    parser.addHelpOption();
    parser.addVersionOption();
    addOptions(parser);
    parser.process(app);

    QTextStream err(stderr);
    QString error;
    const std::optional<Options> options = parseOptions(parser, &error);
    if (!options) {
        err << "tonalis-sim: " << error << Qt::endl;
        return 2;
    }

    // Straight to the descriptor: a log watched through a pipe must not sit in a stdio buffer.
    QFile out;
    out.open(fileno(stdout), QIODevice::WriteOnly | QIODevice::Unbuffered);

    SimServer server;
    server.setPassword(options->password);
    server.faults() = options->faults;
    if (!options->quiet)
        server.setLogDevice(&out);
    if (options->songLength > 0) {
        QList<Song> songs = server.model().songs();
        for (Song &song : songs)
            song.lengthSeconds = options->songLength;
        server.model().setSongs(songs);
    }
    if (options->startStopped)
        server.model().stop();

    if (!server.listen(options->address, options->port)) {
        err << "tonalis-sim: cannot listen on " << options->address.toString() << ':' << options->port << ": "
            << server.errorString() << Qt::endl;
        return 1;
    }
    // Port 0 asked for a free port: the line tells the caller which one it got.
    out.write(QStringLiteral("tonalis-sim listening on %1:%2\n")
                  .arg(server.address().toString())
                  .arg(server.port())
                  .toUtf8());

    QObject::connect(&server, &SimServer::quitRequested, &app, &QCoreApplication::quit, Qt::QueuedConnection);

    std::signal(SIGINT, onQuitSignal);
    std::signal(SIGTERM, onQuitSignal);
    QTimer signalPoll;
    QObject::connect(&signalPoll, &QTimer::timeout, &app, [&] {
        if (g_quitSignal == 0)
            return;
        server.close();
        QCoreApplication::quit();
    });
    signalPoll.start(kSignalPollMs);
#ifdef Q_OS_WIN
    // Windows has no SIGTERM; its polite "please end" is a WM_CLOSE message.
    WindowsCloseFilter closeFilter([] { g_quitSignal = SIGTERM; });
    app.installNativeEventFilter(&closeFilter);
#endif

    return app.exec();
}
