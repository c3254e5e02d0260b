#include "ctl/ConnectionOptions.h"

#include "common/SettingsLocation.h"
#include "ctl/Console.h"
#include "ctl/Options.h"
#include "ctl/Texts.h"
#include "link/Frame.h"
#include "link/Messages.h"

#include <QFile>

namespace {

const char *const kHostVariable = "KURVAN_HOST";
const char *const kPortVariable = "KURVAN_PORT";
const char *const kPasswordVariable = "KURVAN_PASSWORD";

std::optional<QString> environment(const char *name)
{
    if (!qEnvironmentVariableIsSet(name))
        return std::nullopt;
    return qEnvironmentVariable(name);
}

bool isPort(const QString &text)
{
    bool ok = false;
    const uint port = text.trimmed().toUInt(&ok);
    return ok && port >= 1 && port <= 65535;
}

// A frame carries at most kMaxTextBytes, and the login spends "Password=" of them: a longer
// password could never reach the jukebox, so no more than that is read.
const qsizetype kMaxPasswordBytes = kMaxTextBytes - Msg::PasswordPrefix.size();

// The first line of device without its line end (LF or CR LF), reading no further than a
// password and its line end; nullopt when the line does not end within that bound (an endless
// stream such as /dev/zero, or a file that is no password file).
std::optional<QString> boundedFirstLine(QIODevice &device)
{
    QByteArray line;
    char c = 0;
    // Stopping at the bound without a line end leaves a line too long even without its CR.
    while (line.size() < kMaxPasswordBytes + 2 && device.getChar(&c) && c != '\n')
        line.append(c);
    if (line.endsWith('\r'))
        line.chop(1);
    if (line.size() > kMaxPasswordBytes)
        return std::nullopt;
    return QString::fromUtf8(line);
}

} // namespace

QList<OptionRow> connectionOptionRows()
{
    return {
        {Option::Host, QStringLiteral("ADRESSE"),
         QStringLiteral("Adresse der Jukebox (sonst KURVAN_HOST, sonst die zuletzt im Kurvan Client benutzte)")},
        {Option::Port, QStringLiteral("PORT"),
         QStringLiteral("Port der Jukebox (sonst KURVAN_PORT, sonst der gemerkte, sonst 7620)")},
        {Option::PasswordFile, QStringLiteral("DATEI"),
         QStringLiteral("Passwort aus der ersten Zeile der Datei, \u201E-\u201C liest die Standardeingabe "
                        "(sonst KURVAN_PASSWORD, sonst Abfrage im Terminal)")},
    };
}

ConnectionChoice chooseJukebox(const ParsedCommandLine &line)
{
    ConnectionChoice choice;
    std::optional<QString> address;
    if (line.values.contains(Option::Host))
        address = line.value(Option::Host);
    else
        address = environment(kHostVariable);

    std::optional<QString> port;
    QString portSource;
    if (line.values.contains(Option::Port)) {
        port = line.value(Option::Port);
        portSource = QStringLiteral("--port");
    } else if ((port = environment(kPortVariable))) {
        portSource = QString::fromLatin1(kPortVariable);
    }

    if (!address || address->trimmed().isEmpty()) {
        const SettingsFiles files = clientSettingsFiles();
        const QString remembered = rememberedSetting(files, SettingsKey::Address, {}).trimmed();
        if (!remembered.isEmpty()) {
            address = remembered;
            if (!port) {
                port = rememberedSetting(files, SettingsKey::Port, kDefaultPort);
                portSource = QStringLiteral("Kurvan.ini");
            }
        }
    }
    if (!address || address->trimmed().isEmpty()) {
        choice.error = CtlText::NoAddress;
        return choice;
    }
    if (!port)
        port = kDefaultPort;
    if (!isPort(*port)) {
        choice.error = CtlText::BadPort.arg(*port, portSource);
        return choice;
    }
    choice.login.ServerAddress = address->trimmed();
    choice.login.ServerPort = port->trimmed();
    return choice;
}

void choosePassword(const ParsedCommandLine &line, ConnectionChoice &choice)
{
    if (line.values.contains(Option::PasswordFile)) {
        const QString path = line.value(Option::PasswordFile);
        QFile file;
        // Unbuffered: a buffered read of standard input would wait for more than the one line a
        // pipe may give before its writer closes it.
        const bool opened = path == QStringLiteral("-") ? file.open(stdin, QIODevice::ReadOnly | QIODevice::Unbuffered)
                                                        : (file.setFileName(path), file.open(QIODevice::ReadOnly));
        if (!opened) {
            choice.error = CtlText::PasswordFileUnreadable.arg(path);
            return;
        }
        const std::optional<QString> password = boundedFirstLine(file);
        if (!password) {
            choice.error = CtlText::PasswordFileTooLarge.arg(path, QString::number(kMaxPasswordBytes));
            return;
        }
        choice.login.ServerPassword = *password;
        return;
    }
    if (const std::optional<QString> password = environment(kPasswordVariable)) {
        choice.login.ServerPassword = *password;
        return;
    }
    if (Console::inputIsTerminal()) {
        if (const std::optional<QString> typed =
                Console::readHidden(CtlText::PasswordPrompt.arg(jukeboxName(choice.login)))) {
            choice.login.ServerPassword = *typed;
            choice.passwordTyped = true;
            return;
        }
    }
    choice.error = CtlText::NoPassword;
}

QString jukeboxName(const ServerLogin &login)
{
    return login.ServerAddress + u':' + login.ServerPort;
}
