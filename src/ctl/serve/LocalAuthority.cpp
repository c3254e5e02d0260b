#include "LocalAuthority.h"

#include "ServeTexts.h"

#include <QDir>
#include <QFile>
#include <QLockFile>
#include <QSaveFile>
#include <QSslCertificate>
#include <QStandardPaths>

#include <algorithm>

#include <array>

namespace {

const QString kAuthorityCertificate = QStringLiteral("ca.pem");
const QString kAuthorityKey = QStringLiteral("ca.key");
const QString kServerCertificate = QStringLiteral("server.pem");
const QString kServerKey = QStringLiteral("server.key");

struct NetworkText
{
    const char *address;
    int prefixLength;
};
// Where a phone on the local network finds a jukebox computer: never a public address, so the
// authority cannot vouch for anyone else's server.
constexpr std::array kPrivateNetworks{
    NetworkText{"10.0.0.0", 8},  NetworkText{"172.16.0.0", 12},  NetworkText{"192.168.0.0", 16},
    NetworkText{"127.0.0.0", 8}, NetworkText{"169.254.0.0", 16}, NetworkText{"100.64.0.0", 10},
    NetworkText{"::1", 128},     NetworkText{"fc00::", 7},       NetworkText{"fe80::", 10},
};

} // namespace

LocalAuthority::LocalAuthority(const QString &folder) : m_folder(folder) {}

QString LocalAuthority::defaultFolder()
{
    // systemd may hand several folders, separated by colons; the unit names one.
    const QString state = qEnvironmentVariable("STATE_DIRECTORY").section(u':', 0, 0);
    if (!state.isEmpty())
        return state;
    return QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation) + QStringLiteral("/web-remote");
}

QList<CertificateMaker::Network> LocalAuthority::networkScope()
{
    QList<CertificateMaker::Network> networks;
    for (const NetworkText &network : kPrivateNetworks)
        networks.append({QHostAddress(QString::fromLatin1(network.address)), network.prefixLength});
    return networks;
}

QStringList LocalAuthority::dnsScopeFor(const QStringList &names)
{
    QStringList scope{QStringLiteral("localhost"), QStringLiteral("local")};
    for (const QString &name : names) {
        const QString lower = name.toLower();
        if (!permits(scope, lower))
            scope.append(lower);
    }
    return scope;
}

bool LocalAuthority::permits(const QStringList &dnsScope, const QString &name)
{
    const QString lower = name.toLower();
    for (const QString &base : dnsScope) {
        if (lower == base || lower.endsWith(u'.' + base))
            return true;
    }
    return false;
}

bool LocalAuthority::permits(const QHostAddress &address)
{
    for (const CertificateMaker::Network &network : networkScope()) {
        if (address.isInSubnet(network.address, network.prefixLength))
            return true;
    }
    return false;
}

LocalAuthority::Reissue LocalAuthority::reissueReason(const QSslCertificate &server, bool signedByAuthority,
                                                      const Names &wanted, const QDateTime &now)
{
    if (server.isNull())
        return Reissue::Missing;
    if (!signedByAuthority)
        return Reissue::OtherAuthority;
    if (server.expiryDate() <= now.addDays(kRenewDays) || server.effectiveDate() > now)
        return Reissue::RunningOut;
    const auto alternatives = server.subjectAlternativeNames();
    const QStringList dns = alternatives.values(QSsl::DnsEntry);
    for (const QString &name : wanted.dnsNames) {
        if (!dns.contains(name, Qt::CaseInsensitive))
            return Reissue::NamesChanged;
    }
    const QStringList ips = alternatives.values(QSsl::IpAddressEntry);
    for (const QHostAddress &address : wanted.addresses) {
        const bool listed =
            std::any_of(ips.cbegin(), ips.cend(), [&](const QString &ip) { return QHostAddress(ip) == address; });
        if (!listed)
            return Reissue::NamesChanged;
    }
    return Reissue::No;
}

bool LocalAuthority::prepare(const Names &wanted, const QDateTime &now, QString *error)
{
    if (!QDir().mkpath(m_folder)) {
        *error = ServeText::TlsFolderUnusable.arg(QDir::toNativeSeparators(m_folder));
        return false;
    }
    // Only the service reads its keys; where the system knows no such rights (Windows), the
    // user's own data folder already belongs to the user alone.
    QFile::setPermissions(m_folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    // Two services started at once on one folder must not make two authorities.
    QLockFile lock(m_folder + QStringLiteral("/.lock"));
    if (!lock.tryLock(5'000)) {
        *error = ServeText::TlsFolderUnusable.arg(QDir::toNativeSeparators(m_folder));
        return false;
    }
    if (!loadOrMakeAuthority(wanted, now, error))
        return false;

    // The certificate names only what the authority may vouch for: a phone refuses the whole
    // certificate for one name beyond the authority's scope.
    const QStringList scope = CertificateMaker::dnsScopeOf(m_authority.certificate);
    Names names;
    m_leftOut.clear();
    for (const QString &name : wanted.dnsNames)
        (permits(scope, name) ? names.dnsNames : m_leftOut).append(name);
    for (const QHostAddress &address : wanted.addresses) {
        if (permits(address))
            names.addresses.append(address);
        else
            m_leftOut.append(address.toString());
    }

    const auto certificate = read(kServerCertificate);
    const auto key = read(kServerKey);
    QSslCertificate server;
    if (certificate && key && CertificateMaker::keyMatches(*certificate, *key))
        server = QSslCertificate(*certificate, QSsl::Pem);
    m_reissue = reissueReason(
        server, certificate && CertificateMaker::isSignedBy(*certificate, m_authority.certificate), names, now);
    if (m_reissue == Reissue::No) {
        m_server = {*certificate, *key};
        return true;
    }
    QString commonName = QStringLiteral("localhost");
    for (const QString &name : std::as_const(names.dnsNames)) {
        if (name != commonName) {
            commonName = name; // the computer's name, which phones show for the certificate
            break;
        }
    }
    const auto issued = CertificateMaker::makeServer(
        m_authority, {commonName, names.dnsNames, names.addresses, now.addSecs(-3600), now.addDays(kServerDays)},
        error);
    if (!issued) {
        *error = ServeText::TlsMakeFailed.arg(*error);
        return false;
    }
    if (!write(kServerKey, issued->key, true, error) || !write(kServerCertificate, issued->certificate, false, error))
        return false;
    m_server = *issued;
    return true;
}

bool LocalAuthority::loadOrMakeAuthority(const Names &wanted, const QDateTime &now, QString *error)
{
    const auto certificate = read(kAuthorityCertificate);
    const auto key = read(kAuthorityKey);
    if (certificate && key && CertificateMaker::keyMatches(*certificate, *key)) {
        m_authority = {*certificate, *key};
        return true;
    }
    // Made on the first start, or again when its files were lost: phones must then trust anew,
    // which the start message says with the new fingerprint.
    QStringList names;
    for (const QString &name : wanted.dnsNames) {
        if (name != QLatin1String("localhost") && !name.endsWith(QLatin1String(".local"), Qt::CaseInsensitive))
            names.append(name);
    }
    const QString computer = names.value(0, QStringLiteral("localhost"));
    const auto issued =
        CertificateMaker::makeAuthority({ServeText::TlsAuthorityName.arg(computer), dnsScopeFor(names), networkScope(),
                                         now.addSecs(-3600), now.addDays(kAuthorityDays)},
                                        error);
    if (!issued) {
        *error = ServeText::TlsMakeFailed.arg(*error);
        return false;
    }
    if (!write(kAuthorityKey, issued->key, true, error) ||
        !write(kAuthorityCertificate, issued->certificate, false, error))
        return false;
    m_authority = *issued;
    m_madeAuthority = true;
    return true;
}

QString LocalAuthority::fingerprint() const
{
    const QByteArray digest = QSslCertificate(m_authority.certificate, QSsl::Pem).digest(QCryptographicHash::Sha256);
    return QString::fromLatin1(digest.toHex(':').toUpper());
}

std::optional<QByteArray> LocalAuthority::read(const QString &name) const
{
    QFile file(m_folder + u'/' + name);
    // Far beyond any of our certificates or keys; anything larger is not one of ours.
    constexpr qint64 kMaxBytes = 64 * 1024;
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    QByteArray bytes = file.read(kMaxBytes + 1);
    if (bytes.isEmpty() || bytes.size() > kMaxBytes)
        return std::nullopt;
    return bytes;
}

bool LocalAuthority::write(const QString &name, const QByteArray &bytes, bool secret, QString *error) const
{
    const QString path = m_folder + u'/' + name;
    QSaveFile file(path);
    const bool written = file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit();
    if (!written) {
        *error = ServeText::TlsFileUnwritable.arg(QDir::toNativeSeparators(path));
        return false;
    }
    if (secret)
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    return true;
}
