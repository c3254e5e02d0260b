#include "ServeCommand.h"

#include "ctl/ExitCode.h"

#include "ctl/Console.h"

#include "LocalAuthority.h"
#include "QrCode.h"
#include "ServeTexts.h"
#include "SessionFace.h"
#include "WebRemoteServer.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QHostInfo>
#include <QNetworkInterface>
#include <QSslCertificate>
#include <QSslKey>
#include <QSslSocket>
#include <QTimer>

namespace {

bool listensEverywhere(const QHostAddress &address)
{
    return address == QHostAddress(QHostAddress::Any) || address == QHostAddress(QHostAddress::AnyIPv4) ||
           address == QHostAddress(QHostAddress::AnyIPv6);
}

// The addresses a phone on the network can open, for the start message: on all addresses the
// computer's own IPv4 addresses beyond loopback (this computer alone when it has none) and its
// name in the local network, else the one it listens on.
QStringList pageHosts(const ListenAddress &listen, const QStringList &ownNames)
{
    QStringList hosts;
    if (listensEverywhere(listen.address)) {
        for (const QHostAddress &address : QNetworkInterface::allAddresses()) {
            if (address.protocol() == QAbstractSocket::IPv4Protocol && !address.isLoopback())
                hosts.append(ListenAddress{address, listen.port}.toString());
        }
        if (hosts.isEmpty())
            hosts.append(ListenAddress{QHostAddress(QHostAddress::LocalHost), listen.port}.toString());
        for (const QString &name : ownNames) {
            if (name.endsWith(QLatin1String(".local")))
                hosts.append(QStringLiteral("%1:%2").arg(name).arg(listen.port));
        }
    } else {
        hosts.append(listen.toString());
    }
    return hosts;
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
        return m_error.isEmpty() ? ServeText::TlsNoAnswer : m_error;
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

// What the server certificate names: this computer's names, the names given with --allow-host,
// and every address the service answers on. IPv6 link-local addresses are left out: a browser
// cannot name them in an address it opens.
LocalAuthority::Names certificateNames(const ListenAddress &listen, const QStringList &names)
{
    LocalAuthority::Names wanted;
    for (const QString &name : QStringList{QStringLiteral("localhost")} + names) {
        if (!wanted.dnsNames.contains(name, Qt::CaseInsensitive))
            wanted.dnsNames.append(name.toLower());
    }
    const QList<QHostAddress> addresses =
        listensEverywhere(listen.address) ? QNetworkInterface::allAddresses() : QList<QHostAddress>{listen.address};
    for (const QHostAddress &address : addresses) {
        if (address.protocol() == QAbstractSocket::IPv6Protocol && address.isLinkLocal())
            continue;
        wanted.addresses.append(QHostAddress(address.toString())); // without an interface's scope
    }
    return wanted;
}

QString reissueText(LocalAuthority::Reissue why)
{
    switch (why) {
    case LocalAuthority::Reissue::Missing:
        return ServeText::ReissueMissing;
    case LocalAuthority::Reissue::OtherAuthority:
        return ServeText::ReissueOtherAuthority;
    case LocalAuthority::Reissue::RunningOut:
        return ServeText::ReissueRunningOut;
    case LocalAuthority::Reissue::NamesChanged:
        return ServeText::ReissueNamesChanged;
    case LocalAuthority::Reissue::No:
        break;
    }
    return {};
}

QSslConfiguration configurationOf(const LocalAuthority &authority)
{
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    configuration.setLocalCertificate(QSslCertificate(authority.serverCertificatePem(), QSsl::Pem));
    configuration.setPrivateKey(QSslKey(authority.serverKeyPem(), QSsl::Ec, QSsl::Pem, QSsl::PrivateKey));
    configuration.setPeerVerifyMode(QSslSocket::VerifyNone);
    return configuration;
}

// Keeps the server certificate fitting while the service runs: a phone that opens a new
// address the computer got, or comes after the certificate was renewed, finds it issued again
// by the same authority. Checks once a minute; costs nothing while nothing changes.
class CertificateKeeper : public QObject
{
public:
    static constexpr int kCheckMs = 60'000;

    CertificateKeeper(LocalAuthority *authority, WebRemoteServer *server, ListenAddress listen, QStringList names)
        : m_authority(authority), m_server(server), m_listen(listen), m_names(std::move(names))
    {
        m_wanted = certificateNames(m_listen, m_names);
        m_timer.setInterval(kCheckMs);
        connect(&m_timer, &QTimer::timeout, this, &CertificateKeeper::check);
        m_timer.start();
    }

private:
    void check()
    {
        const LocalAuthority::Names wanted = certificateNames(m_listen, m_names);
        const QDateTime now = QDateTime::currentDateTimeUtc();
        const QSslCertificate current(m_authority->serverCertificatePem(), QSsl::Pem);
        if (wanted.dnsNames == m_wanted.dnsNames && wanted.addresses == m_wanted.addresses &&
            current.expiryDate() > now.addDays(LocalAuthority::kRenewDays))
            return;
        m_wanted = wanted;
        QString error;
        if (!m_authority->prepare(wanted, now, &error)) {
            m_server->log().event(error);
            return;
        }
        if (m_authority->lastReissue() == LocalAuthority::Reissue::No)
            return;
        m_server->setTls(configurationOf(*m_authority));
        m_server->setAuthority(m_authority->authorityPem()); // made anew if its files went
        m_server->log().event(ServeText::LogReissued.arg(reissueText(m_authority->lastReissue())));
    }

    LocalAuthority *m_authority;
    WebRemoteServer *m_server;
    ListenAddress m_listen;
    QStringList m_names;
    LocalAuthority::Names m_wanted;
    QTimer m_timer;
};

} // namespace

ServeTransport serveTransport(const ServeOptions &options, const QHostAddress &listen)
{
    if (!options.tlsCertificate.isEmpty())
        return ServeTransport::GivenCertificate;
    if (options.plainHttp || (listen.isLoopback() && !options.tls))
        return ServeTransport::Plain;
    return ServeTransport::OwnAuthority;
}

int runServe(const ServerLogin &login, const ServeOptions &options)
{
    const bool passwordEmpty = login.ServerPassword.isEmpty();
    const ListenAddress listen = ListenAddress::choose(options.listen, passwordEmpty);
    if (passwordEmpty) {
        // Without a password anyone who reaches the address steers the jukebox: beyond this
        // computer only when asked for by name.
        if (!listen.address.isLoopback() && !options.allowEmptyPassword) {
            Console::err(ServeText::EmptyPasswordRefused.arg(listen.toString()) + u'\n');
            return ExitCode::WrongUse;
        }
        Console::err((options.listen ? ServeText::EmptyPasswordWarning.arg(listen.toString())
                                     : ServeText::EmptyPasswordLoopback) +
                     u'\n');
    }

    const ServeTransport transport = serveTransport(options, listen.address);
    if (transport != ServeTransport::Plain && !QSslSocket::supportsSsl()) {
        // Qt loads its TLS backend at run time; without it every handshake would fail.
        Console::err(ServeText::TlsUnavailable + u' ' + ServeText::TlsUnavailableHint + u'\n');
        return ExitCode::WrongUse;
    }
    if (options.plainHttp)
        Console::err(ServeText::PlainHttpWarning + u'\n');

    const QStringList names = ownHostNames() + options.allowedHosts;
    SessionFace face(login);
    WebRemoteServer server(&face, login.ServerPassword);
    server.log().setSink(ServeLog::standardError());
    server.log().setVerbose(options.verbose);
    server.setAllowedHosts(names);

    LocalAuthority authority(LocalAuthority::defaultFolder());
    std::unique_ptr<CertificateKeeper> keeper;
    if (transport == ServeTransport::GivenCertificate) {
        QSslConfiguration configuration;
        QString error;
        if (!loadTls(options, &configuration, &error)) {
            Console::err(error + u'\n');
            return ExitCode::WrongUse;
        }
        server.setTls(configuration);
    } else if (transport == ServeTransport::OwnAuthority) {
        QString error;
        if (!authority.prepare(certificateNames(listen, names), QDateTime::currentDateTimeUtc(), &error)) {
            Console::err(error + u'\n');
            return ExitCode::WrongUse;
        }
        if (authority.madeAuthority())
            Console::err(ServeText::BannerMadeAuthority.arg(QDir::toNativeSeparators(authority.folder())) + u'\n');
        if (!authority.leftOut().isEmpty())
            Console::err(ServeText::BannerLeftOut.arg(authority.leftOut().join(QStringLiteral(", "))) + u'\n');
        const QSslConfiguration configuration = configurationOf(authority);
        // The one proof that this computer's TLS backend serves with the key we made.
        if (const QString failed = HandshakeProbe(configuration).run(); !failed.isEmpty()) {
            Console::err(ServeText::TlsMakeFailed.arg(failed) + u'\n');
            return ExitCode::WrongUse;
        }
        server.setTls(configuration);
        server.setAuthority(authority.authorityPem());
    }
    if (!server.listenOn(listen.address, listen.port)) {
        Console::err(ServeText::CannotListen.arg(listen.toString()) + u'\n');
        return ExitCode::NoConnection;
    }
    const ListenAddress bound{listen.address, server.port()};
    if (transport == ServeTransport::OwnAuthority)
        keeper = std::make_unique<CertificateKeeper>(&authority, &server, bound, names);

    const QStringList hosts = pageHosts(bound, ownHostNames());
    const QString scheme = transport == ServeTransport::Plain ? QStringLiteral("http") : QStringLiteral("https");
    QString banner = ServeText::BannerReady + u'\n';
    for (const QString &host : hosts)
        banner += QStringLiteral("  %1://%2/\n").arg(scheme, host);
    // The code leads a phone to what it opens first: the trust page while it may not trust us yet.
    QString scanned = QStringLiteral("%1://%2/").arg(scheme, hosts.constFirst());
    if (transport == ServeTransport::OwnAuthority) {
        scanned = QStringLiteral("http://%1/trust").arg(hosts.constFirst());
        banner += ServeText::BannerTrust.arg(scanned) + u'\n';
        banner += ServeText::BannerFingerprint + QStringLiteral("\n  ") + authority.fingerprint() + u'\n';
    }
    const bool terminal = Console::outputIsTerminal();
    if (terminal || options.qr) {
        const QrCode code = QrCode::encode(scanned.toUtf8());
        if (!code.isNull())
            banner += code.toHalfBlocks(terminal);
    }
    Console::out(banner);

    QTimer::singleShot(0, &face, &SessionFace::start);
    return QCoreApplication::exec();
}
