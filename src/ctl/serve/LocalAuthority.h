#pragma once

#include "CertificateMaker.h"

#include <QByteArray>
#include <QDateTime>
#include <QHostAddress>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

class QSslCertificate;

// The web remote's own small certificate authority and the server certificate it issues, kept
// in one folder that only the service may read. The authority is made on the first start and
// then kept, so a phone that trusted it once keeps trusting; the server certificate is issued
// again by it whenever it no longer fits: another authority, running out, or a name or address
// the service now answers on that it lacks.
class LocalAuthority
{
public:
    // The authority outlives any jukebox computer; phones set no bound on it.
    static constexpr int kAuthorityDays = 20 * 365;
    // Phones refuse a server certificate that lives longer than 825 days.
    static constexpr int kServerDays = 800;
    // Issued again this long before it runs out, so a service that is seldom restarted never
    // serves an expired one.
    static constexpr int kRenewDays = 60;

    // What the server certificate must name.
    struct Names
    {
        QStringList dnsNames;
        QList<QHostAddress> addresses;
    };
    enum class Reissue
    {
        No,
        Missing,
        OtherAuthority,
        RunningOut,
        NamesChanged,
    };

    explicit LocalAuthority(const QString &folder);

    // Loads the authority or makes it, then loads the server certificate or issues a new one for
    // wanted. False with *error, one German line naming the folder or file, when they cannot be
    // read or written.
    bool prepare(const Names &wanted, const QDateTime &now, QString *error);

    QString folder() const { return m_folder; }
    bool madeAuthority() const { return m_madeAuthority; }
    Reissue lastReissue() const { return m_reissue; }
    QByteArray authorityPem() const { return m_authority.certificate; }
    QByteArray serverCertificatePem() const { return m_server.certificate; }
    QByteArray serverKeyPem() const { return m_server.key; }
    // The SHA-256 fingerprint of the authority's certificate, "AB:CD:…", as phones show it.
    QString fingerprint() const;
    // Names and addresses of wanted that the authority may not vouch for and the certificate
    // therefore leaves out (a name the computer took after the authority was made).
    QStringList leftOut() const { return m_leftOut; }

    // Where the service keeps it: the folder systemd gives the service (STATE_DIRECTORY), else
    // the user's own data folder (%LOCALAPPDATA% on Windows).
    static QString defaultFolder();
    // Why server (issued by the authority when signedByAuthority) must be issued again for
    // wanted at now; Reissue::No when it fits. Pure.
    static Reissue reissueReason(const QSslCertificate &server, bool signedByAuthority, const Names &wanted,
                                 const QDateTime &now);
    // What a new authority for a computer with these names may vouch for: the names (and those
    // below them), "localhost", "local", and the private, loopback and link-local networks.
    static QStringList dnsScopeFor(const QStringList &names);
    static QList<CertificateMaker::Network> networkScope();
    // True when the scope permits the name or address.
    static bool permits(const QStringList &dnsScope, const QString &name);
    static bool permits(const QHostAddress &address);

private:
    bool loadOrMakeAuthority(const Names &wanted, const QDateTime &now, QString *error);
    bool write(const QString &name, const QByteArray &bytes, bool secret, QString *error) const;
    std::optional<QByteArray> read(const QString &name) const;

    QString m_folder;
    CertificateMaker::Issued m_authority;
    CertificateMaker::Issued m_server;
    bool m_madeAuthority = false;
    Reissue m_reissue = Reissue::No;
    QStringList m_leftOut;
};
