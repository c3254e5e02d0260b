#include "ctl/Console.h"

#include "common/Utf8Console.h"

#include <QSocketNotifier>
#include <QtGlobal>
#include <cstdio>
#include <string>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <array>
#include <csignal>
#include <poll.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>
#endif

namespace {

bool write(std::FILE *stream, const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    const size_t size = static_cast<size_t>(bytes.size());
    const bool whole = std::fwrite(bytes.constData(), 1, size, stream) == size;
    return std::fflush(stream) == 0 && whole;
}

// While the password is typed without echo, the terminal must get its echo back however the
// process ends: a shell left without echo looks dead to its user.
#ifdef Q_OS_WIN
HANDLE g_hiddenInput = nullptr;
DWORD g_echoMode = 0;

BOOL WINAPI restoreConsoleMode(DWORD)
{
    SetConsoleMode(g_hiddenInput, g_echoMode);
    return FALSE; // the default handler still ends the process
}
#else
termios g_echoTerminal{};
// Ctrl+C, kill, and a terminal that goes away.
constexpr std::array kEndingSignals{SIGINT, SIGTERM, SIGHUP};
std::array<struct sigaction, kEndingSignals.size()> g_previousActions{};

void restoreTerminalAndEnd(int signal)
{
    // tcsetattr() and raise() are safe in a handler. SA_RESETHAND has put the default action
    // back, so the raised signal ends the process as it would have ended without us.
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &g_echoTerminal);
    raise(signal);
}

void guardEcho(const termios &withEcho)
{
    g_echoTerminal = withEcho;
    struct sigaction restore = {};
    restore.sa_handler = restoreTerminalAndEnd;
    restore.sa_flags = SA_RESETHAND;
    sigemptyset(&restore.sa_mask);
    for (size_t i = 0; i < kEndingSignals.size(); ++i) {
        sigaction(kEndingSignals[i], nullptr, &g_previousActions[i]);
        // A signal ignored on purpose (nohup) stays ignored.
        if (g_previousActions[i].sa_handler != SIG_IGN)
            sigaction(kEndingSignals[i], &restore, nullptr);
    }
}

void unguardEcho()
{
    for (size_t i = 0; i < kEndingSignals.size(); ++i)
        sigaction(kEndingSignals[i], &g_previousActions[i], nullptr);
}
#endif

void quietMessages(QtMsgType, const QMessageLogContext &, const QString &)
{
    // A command-line user gets one German line per error, not Qt's English diagnostics.
}

} // namespace

namespace Console {

void prepare()
{
    useUtf8Console();
#ifdef Q_OS_WIN
    // A write to a pipe whose reader has gone fails there without a signal.
#else
    // A reader that has gone (watch | head) is a failed write that watch handles, not a signal
    // that kills the process with an error status.
    std::signal(SIGPIPE, SIG_IGN);
#endif
    if (!qEnvironmentVariableIsSet("QT_LOGGING_RULES"))
        qInstallMessageHandler(quietMessages);
}

bool out(const QString &text)
{
    return write(stdout, text);
}

void err(const QString &text)
{
    write(stderr, text);
}

void watchOutputGone(QObject *context, const std::function<void()> &gone)
{
#ifdef Q_OS_WIN
    // Only the next write finds out there; watch writes at least at every change.
    Q_UNUSED(context);
    Q_UNUSED(gone);
#else
    // The write end of a pipe polls as an error once its reader has gone; a quiet jukebox must
    // not keep watch running for nobody. Terminals and files have no reader to lose.
    struct stat info = {};
    if (fstat(STDOUT_FILENO, &info) != 0 || !S_ISFIFO(info.st_mode))
        return;
    auto *notifier = new QSocketNotifier(STDOUT_FILENO, QSocketNotifier::Read, context);
    QObject::connect(notifier, &QSocketNotifier::activated, context, [notifier, gone] {
        notifier->setEnabled(false);
        pollfd output{STDOUT_FILENO, 0, 0};
        if (poll(&output, 1, 0) == 1 && (output.revents & (POLLERR | POLLHUP)) != 0)
            gone();
    });
#endif
}

bool inputIsTerminal()
{
#ifdef Q_OS_WIN
    // _isatty() also says yes for NUL, which a scheduled task may get as its input.
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) != 0;
#else
    return isatty(STDIN_FILENO) != 0;
#endif
}

bool outputIsTerminal()
{
#ifdef Q_OS_WIN
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0;
#else
    return isatty(STDOUT_FILENO) != 0;
#endif
}

std::optional<QString> readLine()
{
    std::string line;
    int c = 0;
    bool any = false;
    while ((c = std::fgetc(stdin)) != EOF) {
        any = true;
        if (c == '\n')
            break;
        line.push_back(static_cast<char>(c));
    }
    if (!any)
        return std::nullopt;
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return QString::fromUtf8(line.data(), static_cast<qsizetype>(line.size()));
}

std::optional<QString> readHidden(const QString &prompt)
{
    err(prompt);
#ifdef Q_OS_WIN
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    DWORD mode = 0;
    if (GetConsoleMode(input, &mode) == 0) {
        err(QStringLiteral("\n"));
        return readLine();
    }
    g_hiddenInput = input;
    g_echoMode = mode;
    SetConsoleCtrlHandler(restoreConsoleMode, TRUE);
    SetConsoleMode(input, mode & ~static_cast<DWORD>(ENABLE_ECHO_INPUT));
    // Read as UTF-16 from the console itself: the bytes of a narrow read would be in the
    // console's code page, and an "ä" in the password would reach the jukebox wrong.
    std::wstring typed;
    wchar_t chunk[256];
    DWORD got = 0;
    std::optional<QString> line;
    while (ReadConsoleW(input, chunk, 256, &got, nullptr) && got > 0) {
        typed.append(chunk, got);
        if (typed.find(L'\n') != std::wstring::npos)
            break;
    }
    SetConsoleMode(input, mode);
    SetConsoleCtrlHandler(restoreConsoleMode, FALSE);
    if (!typed.empty()) {
        QString text = QString::fromStdWString(typed);
        while (text.endsWith(u'\n') || text.endsWith(u'\r'))
            text.chop(1);
        line = text;
    }
#else
    termios saved{};
    const bool terminal = tcgetattr(STDIN_FILENO, &saved) == 0;
    if (terminal) {
        guardEcho(saved);
        termios quiet = saved;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    }
    const std::optional<QString> line = readLine();
    if (terminal) {
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
        unguardEcho();
    }
#endif
    err(QStringLiteral("\n")); // the Enter that was not echoed
    return line;
}

} // namespace Console
