#pragma once

#include "ctl/CommandLine.h"
#include "ctl/Commands.h"

#include <QList>
#include <QString>

// The serve row of kurvanctl: its options (--listen, --allow-host, --allow-empty-password,
// --verbose, --tls, --plain-http, --tls-cert/--tls-key, --qr), the check of their values before
// anything connects, and the command, which hands them to the web remote (serve/ServeCommand.h).
QList<OptionRow> serveOptionRows();
QString checkServe(const ParsedCommandLine &line);
int runServeCommand(CommandContext &context);
