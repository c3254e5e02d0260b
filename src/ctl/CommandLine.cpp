#include "ctl/CommandLine.h"

#include "ctl/ConnectionOptions.h"
#include "ctl/Options.h"
#include "ctl/ServeRow.h"
#include "ctl/Texts.h"

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
            << serveOptionRows() << OptionRow{Option::Help, {}, QStringLiteral("diese Hilfe anzeigen"), u'h'}
            << OptionRow{Option::Version, {}, QStringLiteral("die Version anzeigen"), u'V'};
        return all;
    }();
    return rows;
}

ParsedCommandLine parseCommandLine(const QStringList &arguments, const QList<OptionRow> &options)
{
    ParsedCommandLine line;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString &argument = arguments.at(i);
        if (argument.size() == 2 && argument.at(0) == u'-') {
            const auto row = std::find_if(options.begin(), options.end(), [&argument](const OptionRow &option) {
                return !option.shortName.isNull() && option.shortName == argument.at(1);
            });
            if (row != options.end()) {
                line.switches.insert(row->name);
                continue;
            }
        }
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
        } else if (equals >= 0 || i + 1 < arguments.size()) {
            const QString value = equals >= 0 ? argument.mid(equals + 1) : arguments.at(++i);
            line.values.insert(name, value);
            line.repeated[name].append(value);
        } else {
            line.error = CtlText::MissingValue.arg(argument);
            return line;
        }
    }
    return line;
}

QString helpLine(const QString &left, const QString &help)
{
    // Two columns within 80: the help wraps at blanks under its own column.
    constexpr qsizetype kIndent = 25;
    constexpr qsizetype kWidth = 80;
    QString text = left.leftJustified(kIndent - 1) + u' ';
    qsizetype column = text.size();
    for (const QString &word : help.split(u' ', Qt::SkipEmptyParts)) {
        if (column > kIndent && column + 1 + word.size() > kWidth) {
            text += u'\n' + QString(kIndent, u' ');
            column = kIndent;
        } else if (column > kIndent) {
            text += u' ';
            ++column;
        }
        text += word;
        column += word.size();
    }
    return text + u'\n';
}

QString optionsHelp(const QList<OptionRow> &options)
{
    QString text;
    for (const OptionRow &row : options)
        text += helpLine(
            (row.shortName.isNull() ? QStringLiteral("  --") : QStringLiteral("  -%1, --").arg(row.shortName)) +
                row.name + (row.valueName.isEmpty() ? QString() : u' ' + row.valueName),
            row.help);
    return text;
}
