#include "ServeCommand.h"

#include "ctl/ExitCode.h"
#include "ctl/Options.h"

#include "ServeTexts.h"
#include "SessionFace.h"
#include "WebRemoteServer.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QHostInfo>
#include <QNetworkInterface>
#include <QRegularExpression>
#include <QTextStream>
#include <QTimer>
#if QT_CONFIG(ssl)
#include <QSslCertificate>
#include <QSslKey>
#include <QSslSocket>
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

// The computer's own names: what a phone may type, and what the page's requests then carry as
// Host (NAME, and NAME.local as the local network announces it).
QStringList ownHostNames()
{
    const QString name = QHostInfo::localHostName().trimmed();
    if (name.isEmpty())
        return {};
    const QString first = name.section(u'.', 0, 0);
    return {name, first, first + QStringLiteral(".local")};
}

#if QT_CONFIG(ssl)
// The contents of a file named on the command line, or the line that says why there are none.
std::optional<QByteArray> readNamedFile(const QString &path, const QString &missing, QString *error)
{
    if (!QFileInfo::exists(path)) {
        *error = missing.arg(path);
        return std::nullopt;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = ServeText::TlsUnreadable.arg(path);
        return std::nullopt;
    }
    // Far beyond any certificate chain; a device or a huge file is not one.
    constexpr qint64 kMaxPemBytes = 1 << 20;
    const QByteArray bytes = file.read(kMaxPemBytes + 1);
    if (bytes.size() > kMaxPemBytes) {
        *error = ServeText::TlsTooLarge.arg(path);
        return std::nullopt;
    }
    return bytes;
}

// Serves one TLS handshake to itself over loopback with the configuration: the one test that
// the certificate and the key belong together, whatever TLS backend Qt uses. Empty when it
// worked, else what went wrong.
class HandshakeProbe : public QTcpServer
{
public:
    explicit HandshakeProbe(const QSslConfiguration &configuration) : m_configuration(configuration) {}

    QString run()
    {
        if (!listen(QHostAddress::LocalHost, 0))
            return {}; // nothing to learn here; the real listen will say what is wrong
        QSslSocket client;
        client.setPeerVerifyMode(QSslSocket::VerifyNone);
        QEventLoop loop;
        QObject::connect(&client, &QSslSocket::encrypted, &loop, [&] {
            m_done = true;
            loop.quit();
        });
        QObject::connect(&client, &QSslSocket::errorOccurred, &loop, [&] {
            if (m_error.isEmpty())
                m_error = client.errorString();
            loop.quit();
        });
        QObject::connect(&client, &QSslSocket::sslErrors, &client, [&client] { client.ignoreSslErrors(); });
        m_loop = &loop;
        QTimer::singleShot(JukeboxSession::kConnectTimeout, &loop, &QEventLoop::quit);
        client.connectToHostEncrypted(QStringLiteral("127.0.0.1"), serverPort());
        loop.exec();
        m_loop = nullptr;
        if (m_done)
            return {};
        return m_error.isEmpty() ? QStringLiteral("keine Antwort") : m_error;
    }

protected:
    void incomingConnection(qintptr descriptor) override
    {
        auto *side = new QSslSocket(this);
        if (!side->setSocketDescriptor(descriptor)) {
            delete side;
            return;
        }
        side->setSslConfiguration(m_configuration);
        // The server's side knows best why it could not begin: its key or its certificate.
        QObject::connect(side, &QSslSocket::errorOccurred, this, [this, side] {
            m_error = side->errorString();
            if (m_loop)
                m_loop->quit();
        });
        side->startServerEncryption();
    }

private:
    QSslConfiguration m_configuration;
    QEventLoop *m_loop = nullptr;
    QString m_error;
    bool m_done = false;
};

// The certificate and key from their files, checked as far as can be before the first phone
// comes: readable, PEM, a key without passphrase, and the two belonging together. On failure,
// *error says which file and what is wrong with it.
bool loadTls(const ServeOptions &options, QSslConfiguration *configuration, QString *error)
{
    // Qt loads its TLS backend at run time; without it every handshake would fail.
    if (!QSslSocket::supportsSsl()) {
        *error = ServeText::TlsUnavailable;
        return false;
    }
    const auto certText = readNamedFile(options.tlsCertificate, ServeText::TlsCertMissing, error);
    if (!certText)
        return false;
    const auto keyText = readNamedFile(options.tlsKey, ServeText::TlsKeyMissing, error);
    if (!keyText)
        return false;
    const QList<QSslCertificate> chain = QSslCertificate::fromData(*certText, QSsl::Pem);
    if (chain.isEmpty() || chain.front().isNull()) {
        *error = ServeText::TlsNoCertificate.arg(options.tlsCertificate);
        return false;
    }
    // An encrypted key needs a passphrase nobody can type into a service.
    if (keyText->contains("ENCRYPTED")) {
        *error = ServeText::TlsKeyEncrypted.arg(options.tlsKey);
        return false;
    }
    QSslKey key;
    for (const QSsl::KeyAlgorithm algorithm : {QSsl::Rsa, QSsl::Ec, QSsl::Dsa}) {
        key = QSslKey(*keyText, algorithm, QSsl::Pem, QSsl::PrivateKey);
        if (!key.isNull())
            break;
    }
    if (key.isNull()) {
        *error = ServeText::TlsNoKey.arg(options.tlsKey);
        return false;
    }
    *configuration = QSslConfiguration::defaultConfiguration();
    configuration->setLocalCertificateChain(chain);
    configuration->setPrivateKey(key);
    configuration->setPeerVerifyMode(QSslSocket::VerifyNone);
    if (const QString failed = HandshakeProbe(*configuration).run(); !failed.isEmpty()) {
        *error = ServeText::TlsMismatch.arg(options.tlsKey, options.tlsCertificate, failed);
        return false;
    }
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
        // Without a password anyone who reaches the address steers the jukebox: beyond this
        // computer only when asked for by name.
        if (!listen.address.isLoopback() && !options.allowEmptyPassword) {
            err << ServeText::EmptyPasswordRefused.arg(listen.toString()) << u'\n';
            return ExitCode::WrongUse;
        }
        err << (options.listen ? ServeText::EmptyPasswordWarning.arg(listen.toString())
                               : ServeText::EmptyPasswordLoopback)
            << u'\n';
        err.flush();
    }

    SessionFace face(login);
    WebRemoteServer server(&face, login.ServerPassword);
    server.log().setSink(ServeLog::standardError());
    server.log().setVerbose(options.verbose);
    server.setAllowedHosts(ownHostNames() + options.allowedHosts);
    const bool tls = !options.tlsCertificate.isEmpty() || !options.tlsKey.isEmpty();
    if (tls) {
#if QT_CONFIG(ssl)
        QSslConfiguration configuration;
        QString error;
        if (options.tlsCertificate.isEmpty() || options.tlsKey.isEmpty()) {
            err << ServeText::TlsPair << u'\n';
            return ExitCode::WrongUse;
        }
        if (!loadTls(options, &configuration, &error)) {
            err << error << u'\n';
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
    QList<OptionRow> rows{
        {Option::Listen, QStringLiteral("ADRESSE:PORT"), ServeText::HelpListen},
        {Option::AllowHost, QStringLiteral("NAME"), ServeText::HelpAllowHost},
        {Option::AllowEmptyPassword, {}, ServeText::HelpAllowEmptyPassword},
        {Option::Verbose, {}, ServeText::HelpVerbose},
    };
#if QT_CONFIG(ssl)
    rows << OptionRow{Option::TlsCert, QStringLiteral("DATEI"), ServeText::HelpTlsCert}
         << OptionRow{Option::TlsKey, QStringLiteral("DATEI"), ServeText::HelpTlsKey};
#endif
    return rows;
}

QString checkServe(const ParsedCommandLine &line)
{
    if (line.has(Option::Listen)) {
        if (const QString refusal = ListenAddress::refusal(line.value(Option::Listen)); !refusal.isEmpty())
            return refusal;
    }
    if (line.has(Option::TlsCert) != line.has(Option::TlsKey))
        return ServeText::TlsPair;
    static const QRegularExpression hostName(QStringLiteral("^[A-Za-z0-9]([A-Za-z0-9.-]{0,252})$"));
    for (const QString &name : line.valuesOf(Option::AllowHost)) {
        if (!hostName.match(name).hasMatch())
            return ServeText::BadAllowHost.arg(name);
    }
    return {};
}

int runServeCommand(CommandContext &context)
{
    ServeOptions options;
    if (context.line.has(Option::Listen))
        options.listen = ListenAddress::parse(context.line.value(Option::Listen));
    options.tlsCertificate = context.line.value(Option::TlsCert);
    options.tlsKey = context.line.value(Option::TlsKey);
    options.allowedHosts = context.line.valuesOf(Option::AllowHost);
    options.allowEmptyPassword = context.line.has(Option::AllowEmptyPassword);
    options.verbose = context.line.has(Option::Verbose);
    return runServe(context.login, options);
}
