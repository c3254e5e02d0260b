#pragma once

#include "ListenAddress.h"
#include "common/ServerLogin.h"

#include <QString>
#include <QStringList>
#include <optional>

struct ServeOptions
{
    std::optional<ListenAddress> listen; // none: the default of ListenAddress::choose()
    QString tlsCertificate;              // PEM files; both or neither
    QString tlsKey;
    QStringList allowedHosts;        // names a request's Host may carry besides our own
    bool allowEmptyPassword = false; // an empty password beyond this computer, on purpose
    bool verbose = false;            // every request in the log, reads included
    bool tls = false;                // TLS on loopback too
    bool plainHttp = false;          // no TLS beyond loopback either, on purpose
    bool qr = false;                 // the QR code also when the output is no terminal
};

// How serve speaks: plain HTTP (on loopback, or with --plain-http), TLS with the certificate
// given, or TLS with the certificate of its own authority (the default beyond loopback).
enum class ServeTransport
{
    Plain,
    GivenCertificate,
    OwnAuthority,
};
ServeTransport serveTransport(const ServeOptions &options, const QHostAddress &listen);

// Runs `kurvanctl serve` until the process is ended: one session with the jukebox, the web
// remote on the chosen address, a log line per event on standard error. Returns the exit code
// (2 for options or files it cannot use, 3 when the address cannot be bound).
int runServe(const ServerLogin &login, const ServeOptions &options);
