#include "ServeCommand.h"

#include "ctl/ExitCode.h"
#include "ctl/Options.h"

#include "ServeTexts.h"
#include "SessionFace.h"
#include "WebRemoteServer.h"

#include <QCoreApplication>
#include <QFile>
#include <QNetworkInterface>
#include <QTextStream>
#include <QTimer>
#if QT_CONFIG(ssl)
#include <QSslCertificate>
#include <QSslKey>
#endif

#include <cstdio>

namespace {

// The addresses a phone on the network can open, for the start message.
QStringList pageAddresses(const ListenAddress &listen, bool tls)
{
    QList<QHostAddress> hosts;
    const bool everywhere = listen.address == QHostAddress(QHostAddress::Any) ||
                            listen.address == QHostAddress(QHostAddress::AnyIPv4) ||
                            listen.address == QHostAddress(QHostAddress::AnyIPv6);
    if (everywhere) {
        for (const QHostAddress &address : QNetworkInterface::allAddresses()) {
            if (address.protocol() == QAbstractSocket::IPv4Protocol)
                hosts.append(address);
        }
    } else {
        hosts.append(listen.address);
    }
    QStringList urls;
    for (const QHostAddress &host : std::as_const(hosts))
        urls.append(QStringLiteral("%1://%2/")
                        .arg(tls ? QStringLiteral("https") : QStringLiteral("http"),
                             ListenAddress{host, listen.port}.toString()));
    return urls;
}

#if QT_CONFIG(ssl)
bool loadTls(const ServeOptions &options, QSslConfiguration *configuration, QTextStream &err)
{
    QFile certFile(options.tlsCertificate);
    QFile keyFile(options.tlsKey);
    if (!certFile.open(QIODevice::ReadOnly) || !keyFile.open(QIODevice::ReadOnly)) {
        err << QStringLiteral("Zertifikat oder Schlüssel nicht lesbar.\n");
        return false;
    }
    const QList<QSslCertificate> chain = QSslCertificate::fromData(certFile.readAll(), QSsl::Pem);
    const QByteArray keyText = keyFile.readAll();
    QSslKey key(keyText, QSsl::Rsa, QSsl::Pem);
    if (key.isNull())
        key = QSslKey(keyText, QSsl::Ec, QSsl::Pem);
    if (chain.isEmpty() || key.isNull()) {
        err << QStringLiteral("Zertifikat oder Schlüssel ungültig (PEM erwartet).\n");
        return false;
    }
    *configuration = QSslConfiguration::defaultConfiguration();
    configuration->setLocalCertificateChain(chain);
    configuration->setPrivateKey(key);
    configuration->setPeerVerifyMode(QSslSocket::VerifyNone);
    return true;
}
#endif

} // namespace

int runServe(const ServerLogin &login, const ServeOptions &options)
{
    QTextStream out(stdout);
    QTextStream err(stderr);
    const bool passwordEmpty = login.ServerPassword.isEmpty();
    const ListenAddress listen = ListenAddress::choose(options.listen, passwordEmpty);
    if (passwordEmpty) {
        err << (options.listen ? QStringLiteral("Warnung: Die Jukebox hat kein Passwort. Jeder, der %1 erreicht, "
                                                "kann sie steuern.\n")
                                     .arg(listen.toString())
                               : QStringLiteral("Warnung: Die Jukebox hat kein Passwort. Die Fernbedienung ist "
                                                "nur auf diesem Rechner erreichbar (127.0.0.1); --listen gibt sie "
                                                "bewusst frei.\n"));
        err.flush();
    }

    SessionFace face(login);
    WebRemoteServer server(&face, login.ServerPassword);
    const bool tls = !options.tlsCertificate.isEmpty() || !options.tlsKey.isEmpty();
    if (tls) {
#if QT_CONFIG(ssl)
        QSslConfiguration configuration;
        if (options.tlsCertificate.isEmpty() || options.tlsKey.isEmpty() || !loadTls(options, &configuration, err)) {
            err << ServeText::TlsPair << u'\n';
            return ExitCode::WrongUse;
        }
        server.setTls(configuration);
#else
        return ExitCode::WrongUse; // checkServe() has refused it already
#endif
    }
    if (!server.listenOn(listen.address, listen.port)) {
        err << QStringLiteral("Kann nicht auf %1 horchen.\n").arg(listen.toString());
        return ExitCode::NoConnection;
    }
    const ListenAddress bound{listen.address, server.port()};
    out << QStringLiteral("Web-Fernbedienung bereit. Im Browser des Telefons öffnen:\n");
    for (const QString &url : pageAddresses(bound, tls))
        out << QStringLiteral("  %1\n").arg(url);
    out.flush();

    QTimer::singleShot(0, &face, &SessionFace::start);
    return QCoreApplication::exec();
}

QList<OptionRow> serveOptionRows()
{
    QList<OptionRow> rows{{Option::Listen, QStringLiteral("ADRESSE:PORT"), ServeText::HelpListen}};
#if QT_CONFIG(ssl)
    rows << OptionRow{Option::TlsCert, QStringLiteral("DATEI"), ServeText::HelpTlsCert}
         << OptionRow{Option::TlsKey, QStringLiteral("DATEI"), ServeText::HelpTlsKey};
#endif
    return rows;
}

QString checkServe(const ParsedCommandLine &line)
{
    if (line.has(Option::Listen) && !ListenAddress::parse(line.value(Option::Listen)))
        return ServeText::BadListen.arg(line.value(Option::Listen));
    if (line.has(Option::TlsCert) != line.has(Option::TlsKey))
        return ServeText::TlsPair;
    return {};
}

int runServeCommand(CommandContext &context)
{
    ServeOptions options;
    if (context.line.has(Option::Listen))
        options.listen = ListenAddress::parse(context.line.value(Option::Listen));
    options.tlsCertificate = context.line.value(Option::TlsCert);
    options.tlsKey = context.line.value(Option::TlsKey);
    return runServe(context.login, options);
}
