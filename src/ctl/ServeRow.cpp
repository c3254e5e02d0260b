#include "ctl/ServeRow.h"

#include "ctl/Options.h"
#include "ctl/serve/ListenAddress.h"
#include "ctl/serve/ServeCommand.h"
#include "ctl/serve/ServeTexts.h"

#include <QRegularExpression>

QList<OptionRow> serveOptionRows()
{
    QList<OptionRow> rows{
        {Option::Listen, QStringLiteral("ADRESSE:PORT"), ServeText::HelpListen},
        {Option::AllowHost, QStringLiteral("NAME"), ServeText::HelpAllowHost},
        {Option::AllowEmptyPassword, {}, ServeText::HelpAllowEmptyPassword},
        {Option::Verbose, {}, ServeText::HelpVerbose},
    };
    rows << OptionRow{Option::Tls, {}, ServeText::HelpTls} << OptionRow{Option::PlainHttp, {}, ServeText::HelpPlainHttp}
         << OptionRow{Option::TlsCert, QStringLiteral("DATEI"), ServeText::HelpTlsCert}
         << OptionRow{Option::TlsKey, QStringLiteral("DATEI"), ServeText::HelpTlsKey}
         << OptionRow{Option::Qr, {}, ServeText::HelpQr};
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
    if (line.has(Option::PlainHttp) && (line.has(Option::Tls) || line.has(Option::TlsCert)))
        return ServeText::PlainHttpConflict;
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
    options.tls = context.line.has(Option::Tls);
    options.plainHttp = context.line.has(Option::PlainHttp);
    options.qr = context.line.has(Option::Qr);
    return runServe(context.login, options);
}
