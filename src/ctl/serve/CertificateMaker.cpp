#include "CertificateMaker.h"

#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/ec.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <memory>

namespace CertificateMaker {
namespace {

template <auto Free> struct Deleter
{
    template <typename T> void operator()(T *p) const { Free(p); }
};
using Key = std::unique_ptr<EVP_PKEY, Deleter<EVP_PKEY_free>>;
using Certificate = std::unique_ptr<X509, Deleter<X509_free>>;
using Bio = std::unique_ptr<BIO, Deleter<BIO_free_all>>;
using BigNumber = std::unique_ptr<BIGNUM, Deleter<BN_free>>;
using Extension = std::unique_ptr<X509_EXTENSION, Deleter<X509_EXTENSION_free>>;

// The library's own words for its last failure, after what we were doing.
QString libraryError(const char *what)
{
    const unsigned long code = ERR_get_error();
    ERR_clear_error();
    char text[256] = {};
    if (code != 0)
        ERR_error_string_n(code, text, sizeof text);
    return QStringLiteral("%1: %2").arg(QLatin1String(what), code != 0 ? QLatin1String(text) : QLatin1String("?"));
}

Bio memoryOf(const QByteArray &bytes)
{
    return Bio(BIO_new_mem_buf(bytes.constData(), static_cast<int>(bytes.size())));
}

Certificate readCertificate(const QByteArray &pem)
{
    Bio bio = memoryOf(pem);
    return Certificate(bio ? PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr) : nullptr);
}

Key readKey(const QByteArray &pem)
{
    Bio bio = memoryOf(pem);
    return Key(bio ? PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr) : nullptr);
}

QByteArray drain(BIO *bio)
{
    char *data = nullptr;
    const long size = BIO_get_mem_data(bio, &data);
    return size > 0 ? QByteArray(data, size) : QByteArray();
}

std::optional<Issued> toPem(X509 *certificate, EVP_PKEY *key, QString *error)
{
    Bio certificateBio(BIO_new(BIO_s_mem()));
    Bio keyBio(BIO_new(BIO_s_mem()));
    // The traditional "EC PRIVATE KEY" form: every TLS backend Qt has reads it.
    if (!certificateBio || !keyBio || PEM_write_bio_X509(certificateBio.get(), certificate) != 1 ||
        PEM_write_bio_PrivateKey_traditional(keyBio.get(), key, nullptr, nullptr, 0, nullptr, nullptr) != 1) {
        *error = libraryError("PEM");
        return std::nullopt;
    }
    return Issued{drain(certificateBio.get()), drain(keyBio.get())};
}

bool setTime(ASN1_TIME *field, const QDateTime &when)
{
    return ASN1_TIME_set(field, static_cast<time_t>(when.toSecsSinceEpoch())) != nullptr;
}

// A fresh certificate with a random positive 127-bit serial (browsers refuse two certificates
// of one issuer with the same serial), the subject's key and its validity.
Certificate newCertificate(EVP_PKEY *key, const QString &commonName, const QDateTime &notBefore,
                           const QDateTime &notAfter)
{
    Certificate certificate(X509_new());
    unsigned char serial[16];
    if (!certificate || RAND_bytes(serial, sizeof serial) != 1)
        return nullptr;
    serial[0] &= 0x7f;
    BigNumber number(BN_bin2bn(serial, sizeof serial, nullptr));
    X509_NAME *subject = X509_get_subject_name(certificate.get());
    const QByteArray name = commonName.toUtf8();
    const QByteArray organisation = QByteArrayLiteral("Kurvan Web-Fernbedienung");
    const bool ok =
        number && X509_set_version(certificate.get(), 2) == 1 &&
        BN_to_ASN1_INTEGER(number.get(), X509_get_serialNumber(certificate.get())) != nullptr &&
        X509_NAME_add_entry_by_txt(subject, "O", MBSTRING_UTF8,
                                   reinterpret_cast<const unsigned char *>(organisation.constData()), -1, -1, 0) == 1 &&
        X509_NAME_add_entry_by_txt(subject, "CN", MBSTRING_UTF8,
                                   reinterpret_cast<const unsigned char *>(name.constData()), -1, -1, 0) == 1 &&
        X509_set_pubkey(certificate.get(), key) == 1 && setTime(X509_getm_notBefore(certificate.get()), notBefore) &&
        setTime(X509_getm_notAfter(certificate.get()), notAfter);
    return ok ? std::move(certificate) : nullptr;
}

// Adds one extension written as the library's configuration text. The values come from our own
// lists and names already checked for what a host name may hold, so no comma can add another.
bool addExtension(X509 *certificate, X509 *issuer, int nid, const QByteArray &value)
{
    X509V3_CTX context;
    X509V3_set_ctx(&context, issuer, certificate, nullptr, nullptr, 0);
    Extension extension(X509V3_EXT_conf_nid(nullptr, &context, nid, value.constData()));
    return extension && X509_add_ext(certificate, extension.get(), -1) == 1;
}

QByteArray maskOf(const Network &network)
{
    // The library's text for a network is ADDRESS/MASK, the mask written as an address.
    if (network.address.protocol() == QAbstractSocket::IPv4Protocol) {
        const quint32 mask = network.prefixLength == 0 ? 0 : ~quint32(0) << (32 - network.prefixLength);
        return QHostAddress(mask).toString().toLatin1();
    }
    Q_IPV6ADDR mask{};
    for (int bit = 0; bit < network.prefixLength && bit < 128; ++bit)
        mask[bit / 8] = static_cast<quint8>(mask[bit / 8] | (0x80 >> (bit % 8)));
    return QHostAddress(mask).toString().toLatin1();
}

Key newKey()
{
    return Key(EVP_EC_gen("P-256"));
}

} // namespace

std::optional<Issued> makeAuthority(const AuthorityRequest &request, QString *error)
{
    Key key = newKey();
    if (!key) {
        *error = libraryError("EC key");
        return std::nullopt;
    }
    Certificate certificate = newCertificate(key.get(), request.commonName, request.notBefore, request.notAfter);
    if (!certificate) {
        *error = libraryError("certificate");
        return std::nullopt;
    }
    X509_set_issuer_name(certificate.get(), X509_get_subject_name(certificate.get()));
    QByteArrayList scope;
    for (const QString &name : request.dnsScope)
        scope << "permitted;DNS:" + name.toLatin1();
    for (const Network &network : request.networkScope)
        scope << "permitted;IP:" + network.address.toString().toLatin1() + '/' + maskOf(network);
    X509 *self = certificate.get();
    const bool ok =
        addExtension(self, self, NID_basic_constraints, "critical,CA:TRUE,pathlen:0") &&
        addExtension(self, self, NID_key_usage, "critical,keyCertSign,cRLSign") &&
        addExtension(self, self, NID_subject_key_identifier, "hash") &&
        (scope.isEmpty() || addExtension(self, self, NID_name_constraints, "critical," + scope.join(','))) &&
        X509_sign(self, key.get(), EVP_sha256()) > 0;
    if (!ok) {
        *error = libraryError("CA");
        return std::nullopt;
    }
    return toPem(self, key.get(), error);
}

std::optional<Issued> makeServer(const Issued &authority, const ServerRequest &request, QString *error)
{
    const Certificate issuer = readCertificate(authority.certificate);
    const Key issuerKey = readKey(authority.key);
    if (!issuer || !issuerKey) {
        *error = libraryError("CA");
        return std::nullopt;
    }
    Key key = newKey();
    if (!key) {
        *error = libraryError("EC key");
        return std::nullopt;
    }
    Certificate certificate = newCertificate(key.get(), request.commonName, request.notBefore, request.notAfter);
    if (!certificate) {
        *error = libraryError("certificate");
        return std::nullopt;
    }
    X509_set_issuer_name(certificate.get(), X509_get_subject_name(issuer.get()));
    QByteArrayList names;
    for (const QString &name : request.dnsNames)
        names << "DNS:" + name.toLatin1();
    for (const QHostAddress &address : request.addresses)
        names << "IP:" + address.toString().toLatin1();
    X509 *self = certificate.get();
    const bool ok = addExtension(self, issuer.get(), NID_basic_constraints, "critical,CA:FALSE") &&
                    addExtension(self, issuer.get(), NID_key_usage, "critical,digitalSignature") &&
                    addExtension(self, issuer.get(), NID_ext_key_usage, "serverAuth") &&
                    addExtension(self, issuer.get(), NID_subject_key_identifier, "hash") &&
                    addExtension(self, issuer.get(), NID_authority_key_identifier, "keyid:always") &&
                    (names.isEmpty() || addExtension(self, issuer.get(), NID_subject_alt_name, names.join(','))) &&
                    X509_sign(self, issuerKey.get(), EVP_sha256()) > 0;
    if (!ok) {
        *error = libraryError("server");
        return std::nullopt;
    }
    return toPem(self, key.get(), error);
}

bool isSignedBy(const QByteArray &certificatePem, const QByteArray &authorityCertificatePem)
{
    const Certificate certificate = readCertificate(certificatePem);
    const Certificate authority = readCertificate(authorityCertificatePem);
    const bool signedBy =
        certificate && authority && X509_verify(certificate.get(), X509_get0_pubkey(authority.get())) == 1;
    ERR_clear_error();
    return signedBy;
}

QStringList dnsScopeOf(const QByteArray &authorityCertificatePem)
{
    const Certificate authority = readCertificate(authorityCertificatePem);
    QStringList names;
    if (!authority)
        return names;
    auto *constraints =
        static_cast<NAME_CONSTRAINTS *>(X509_get_ext_d2i(authority.get(), NID_name_constraints, nullptr, nullptr));
    if (!constraints)
        return names;
    for (int i = 0; i < sk_GENERAL_SUBTREE_num(constraints->permittedSubtrees); ++i) {
        const GENERAL_SUBTREE *subtree = sk_GENERAL_SUBTREE_value(constraints->permittedSubtrees, i);
        if (subtree->base->type == GEN_DNS) {
            const ASN1_IA5STRING *name = subtree->base->d.dNSName;
            names << QString::fromLatin1(reinterpret_cast<const char *>(ASN1_STRING_get0_data(name)),
                                         ASN1_STRING_length(name));
        }
    }
    NAME_CONSTRAINTS_free(constraints);
    return names;
}

bool keyMatches(const QByteArray &certificatePem, const QByteArray &keyPem)
{
    const Certificate certificate = readCertificate(certificatePem);
    const Key key = readKey(keyPem);
    const bool matches = certificate && key && X509_check_private_key(certificate.get(), key.get()) == 1;
    ERR_clear_error();
    return matches;
}

} // namespace CertificateMaker
