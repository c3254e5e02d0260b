#include "ctl/CommandLine.h"

#include "ctl/ConnectionOptions.h"
#include "ctl/Options.h"
#include "ctl/Texts.h"
#include "ctl/serve/ServeCommand.h"

#include <algorithm>

const QList<OptionRow> &optionTable()
{
    static const QList<OptionRow> rows = [] {
        QList<OptionRow> all = connectionOptionRows();
        all << OptionRow{Option::Json,
                         {},
                         QStringLiteral("ein JSON-Objekt auf der Standardausgabe (bei watch eines je Zeile)")}
            << OptionRow{Option::Yes, {}, QStringLiteral("quit-jukebox ohne R\u00FCckfrage")}
            << OptionRow{Option::Position, {}, QStringLiteral("watch meldet auch die Position im Titel")}
            << OptionRow{Option::Reconnect,
                         {},
                         QStringLiteral("watch verbindet sich nach einem Abbruch neu (nach 1, 2, 4 \u2026 60 s)")}
            << serveOptionRows() << OptionRow{Option::Help, {}, QStringLiteral("diese Hilfe anzeigen")}
            << OptionRow{Option::Version, {}, QStringLiteral("die Version anzeigen")};
        return all;
    }();
    return rows;
}

ParsedCommandLine parseCommandLine(const QStringList &arguments, const QList<OptionRow> &options)
{
    ParsedCommandLine line;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString &argument = arguments.at(i);
        if (!argument.startsWith(QStringLiteral("--")) || argument.size() == 2) {
            line.words << argument;
            continue;
        }
        const qsizetype equals = argument.indexOf(u'=');
        const QString name = argument.mid(2, equals < 0 ? -1 : equals - 2);
        if (name == QStringLiteral("password")) {
            line.error = CtlText::PasswordOnCommandLine;
            return line;
        }
        const auto row = std::find_if(options.begin(), options.end(),
                                      [&name](const OptionRow &option) { return option.name == name; });
        if (row == options.end()) {
            line.error = CtlText::UnknownOption.arg(argument.left(equals < 0 ? argument.size() : equals));
            return line;
        }
        if (row->valueName.isEmpty()) {
            if (equals >= 0) {
                line.error = CtlText::UnknownOption.arg(argument);
                return line;
            }
            line.switches.insert(name);
        } else if (equals >= 0) {
            line.values.insert(name, argument.mid(equals + 1));
        } else if (i + 1 < arguments.size()) {
            line.values.insert(name, arguments.at(++i));
        } else {
            line.error = CtlText::MissingValue.arg(argument);
            return line;
        }
    }
    return line;
}

QString optionsHelp(const QList<OptionRow> &options)
{
    QString text;
    for (const OptionRow &row : options) {
        QString left = QStringLiteral("  --") + row.name;
        if (!row.valueName.isEmpty())
            left += u' ' + row.valueName;
        text += left.leftJustified(24) + u' ' + row.help + u'\n';
    }
    return text;
}
