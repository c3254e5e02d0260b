#pragma once

#include "ListenAddress.h"
#include "common/ServerLogin.h"
#include "ctl/CommandLine.h"
#include "ctl/Commands.h"

#include <QString>
#include <optional>

struct ServeOptions
{
    std::optional<ListenAddress> listen; // none: the default of ListenAddress::choose()
    QString tlsCertificate;              // PEM files; both or neither
    QString tlsKey;
    QStringList allowedHosts;        // names a request's Host may carry besides our own
    bool allowEmptyPassword = false; // an empty password beyond this computer, on purpose
    bool verbose = false;            // every request in the log, reads included
};

// Runs `kurvanctl serve` until the process is ended: one session with the jukebox, the web
// remote on the chosen address, a log line per event on standard error. Returns the exit code
// (2 for options or files it cannot use, 3 when the address cannot be bound).
int runServe(const ServerLogin &login, const ServeOptions &options);

// The serve row of kurvanctl: its options (--listen, --allow-host, --allow-empty-password,
// --verbose, and --tls-cert/--tls-key where Qt has TLS),
// the check of their values before anything connects, and the command itself.
QList<OptionRow> serveOptionRows();
QString checkServe(const ParsedCommandLine &line);
int runServeCommand(CommandContext &context);
