#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QHostAddress>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// Keys and certificates for the web remote's own small certificate authority: the one place
// that speaks to the crypto library (libcrypto). PEM in, PEM out; nothing here touches a file.
namespace CertificateMaker {

// A certificate and its private key, both PEM; the key unencrypted (PKCS#8).
struct Issued
{
    QByteArray certificate;
    QByteArray key;
};

// A network, as the authority's scope names it.
struct Network
{
    QHostAddress address;
    int prefixLength = 0;
};

struct AuthorityRequest
{
    QString commonName;
    // What the authority may vouch for: host names (each with the names below it) and networks.
    // A phone that trusts the authority trusts it for these alone, so a stolen key cannot
    // impersonate anyone's bank.
    QStringList dnsScope;
    QList<Network> networkScope;
    QDateTime notBefore;
    QDateTime notAfter;
};

struct ServerRequest
{
    QString commonName;
    QStringList dnsNames;
    QList<QHostAddress> addresses;
    QDateTime notBefore;
    QDateTime notAfter;
};

// A new ECDSA P-256 key and a self-signed authority certificate (CA, path length 0, signs
// certificates only, limited to its scope). nullopt with *error when the library fails.
std::optional<Issued> makeAuthority(const AuthorityRequest &request, QString *error);
// A new ECDSA P-256 key and a certificate for a TLS server with the names and addresses as
// subject alternative names, signed by authority. nullopt with *error when the authority's PEM
// cannot be read or the library fails.
std::optional<Issued> makeServer(const Issued &authority, const ServerRequest &request, QString *error);
// True when certificate carries a valid signature by the key of authority's certificate; false
// for anything unreadable.
bool isSignedBy(const QByteArray &certificatePem, const QByteArray &authorityCertificatePem);
// The host names an authority certificate's scope permits; empty when it has none or cannot be
// read.
QStringList dnsScopeOf(const QByteArray &authorityCertificatePem);
// True when the private key (PEM) is the one of the certificate (PEM).
bool keyMatches(const QByteArray &certificatePem, const QByteArray &keyPem);

} // namespace CertificateMaker
