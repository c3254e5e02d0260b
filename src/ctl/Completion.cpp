#include "ctl/Completion.h"

#include "ctl/Commands.h"
#include "ctl/ConnectionOptions.h"
#include "ctl/Options.h"
#include "ctl/serve/ListenAddress.h"

#include <QStringList>

using namespace Qt::StringLiterals;

namespace {

// What a shell offers as an option's value, by the placeholder its help names the value with.
enum class Values
{
    None,
    Files,
    Hosts,
    Words
};

struct OptionValues
{
    Values kind = Values::None;
    QStringList words; // for Words, and besides the files for Files
};

OptionValues valuesOf(const OptionRow &option)
{
    const QString &value = option.valueName;
    if (value == u"DATEI"_s)
        return {Values::Files, option.name == Option::PasswordFile ? QStringList{u"-"_s} : QStringList()};
    if (value == u"ADRESSE"_s || value == u"NAME"_s)
        return {Values::Hosts, {}};
    if (value == u"PORT"_s)
        return {Values::Words, {kDefaultPort}};
    if (value == u"ADRESSE:PORT"_s) {
        const QString port = QString::number(ListenAddress::kDefaultPort);
        return {Values::Words, {u"0.0.0.0:"_s + port, u"127.0.0.1:"_s + port}};
    }
    return {value.isEmpty() ? Values::None : Values::Words, {}};
}

QStringList commandWords()
{
    QStringList words;
    for (const CommandRow &row : commandTable())
        words << row.word;
    return words;
}

// The options a command takes, as "help WORD" lists them: the connection options where it
// connects, then its own.
QList<OptionRow> optionsOf(const CommandRow &row)
{
    QList<OptionRow> options = row.connects ? connectionOptionRows() : QList<OptionRow>();
    for (const OptionRow &option : optionTable()) {
        if (row.options.contains(option.name))
            options << option;
    }
    return options;
}

// What may follow the command word: help names a command, the others what their row offers.
QStringList offeredAfter(const CommandRow &row)
{
    return row.word == u"help"_s ? commandWords() : row.offered;
}

QString dashed(const OptionRow &option)
{
    return u"--"_s + option.name;
}

QStringList dashedAll(const QList<OptionRow> &options)
{
    QStringList names;
    for (const OptionRow &option : options) {
        if (!option.shortName.isNull())
            names << u"-"_s + option.shortName;
        names << dashed(option);
    }
    return names;
}

const QString kMadeFrom = u"Made from kurvanctl's command table when it was built; change the table, not this file."_s;

// --- bash -------------------------------------------------------------------------------------

QString bashScript()
{
    QString valueCases;
    QStringList valued;
    for (const OptionRow &option : optionTable()) {
        const OptionValues values = valuesOf(option);
        if (values.kind == Values::None)
            continue;
        valued << dashed(option);
        QString reply;
        if (values.kind == Values::Files)
            reply = u"$(compgen -f -- \"$cur\")"_s;
        else if (values.kind == Values::Hosts)
            reply = u"$(compgen -A hostname -- \"$cur\")"_s;
        if (!values.words.isEmpty())
            reply += (reply.isEmpty() ? u""_s : u" "_s) + u"$(compgen -W \""_s + values.words.join(u' ') +
                     u"\" -- \"$cur\")"_s;
        valueCases += u"        %1)\n            COMPREPLY=(%2)\n            return ;;\n"_s.arg(dashed(option), reply);
    }
    QString optionCases;
    QString valueWords;
    for (const CommandRow &row : commandTable()) {
        optionCases += u"        %1) options=\"%2\" ;;\n"_s.arg(row.word, dashedAll(optionsOf(row)).join(u' '));
        if (const QStringList offered = offeredAfter(row); !offered.isEmpty())
            valueWords +=
                u"        %1) COMPREPLY=($(compgen -W \"%2\" -- \"$cur\")) ;;\n"_s.arg(row.word, offered.join(u' '));
    }
    return u"# bash completion for kurvanctl: its commands, the options each takes, and their values.\n# "_s +
           kMadeFrom +
           u"\n_kurvanctl()\n{\n"
           u"    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}\n"
           u"    local commands=\"%1\"\n"
           u"    local valued=\"%2\"\n"
           u"    local i=1 word command=\"\" options\n\n"
           u"    case $prev in\n%3    esac\n\n"
           u"    # The first word that is a command, past the values of the options before it.\n"
           u"    while [ $i -lt $COMP_CWORD ]; do\n"
           u"        word=${COMP_WORDS[i]}\n"
           u"        case \" $valued \" in *\" $word \"*) i=$((i + 2)); continue ;; esac\n"
           u"        case \" $commands \" in *\" $word \"*) command=$word; break ;; esac\n"
           u"        i=$((i + 1))\n"
           u"    done\n\n"
           u"    case $command in\n%4        *) options=\"%5\" ;;\n    esac\n"
           u"    if [[ $cur == --* || ( $cur == -* && -z $command ) ]]; then\n"
           u"        COMPREPLY=($(compgen -W \"$options\" -- \"$cur\"))\n"
           u"        return\n"
           u"    fi\n"
           u"    case $command in\n        \"\") COMPREPLY=($(compgen -W \"$commands\" -- \"$cur\")) ;;\n%6    esac\n"
           u"}\ncomplete -F _kurvanctl kurvanctl\n"_s.arg(commandWords().join(u' '), valued.join(u' '), valueCases,
                                                          optionCases, dashedAll(optionTable()).join(u' '), valueWords);
}

// --- zsh --------------------------------------------------------------------------------------

// Text inside '...' given to _arguments or _describe, where [ ] : and \ have a meaning.
QString zshQuoted(QString text)
{
    text.replace(u'\\', u"\\\\"_s).replace(u'[', u"\\["_s).replace(u']', u"\\]"_s).replace(u':', u"\\:"_s);
    return text.replace(u'\'', u"'\\''"_s);
}

QString zshOption(const OptionRow &option)
{
    const QString help = u"["_s + zshQuoted(option.help) + u"]"_s;
    if (!option.shortName.isNull()) {
        // -h and -V end the command line: nothing else goes with them.
        return u"'(- *)'{-%1,--%2}'%3'"_s.arg(option.shortName, option.name, help);
    }
    const OptionValues values = valuesOf(option);
    if (values.kind == Values::None)
        return u"'--%1%2'"_s.arg(option.name, help);
    QString action = u"( %1)"_s.arg(values.words.join(u' '));
    if (values.kind == Values::Files)
        action = u"_files"_s;
    else if (values.kind == Values::Hosts)
        action = u"_hosts"_s;
    return u"'--%1=%2:%3:%4'"_s.arg(option.name, help, zshQuoted(option.valueName), zshQuoted(action));
}

QString zshArguments(const QList<OptionRow> &options, const QString &tail)
{
    QStringList specs;
    for (const OptionRow &option : options)
        specs << zshOption(option);
    if (!tail.isEmpty())
        specs << tail;
    return specs.join(u" \\\n            "_s);
}

QString zshScript()
{
    QString described;
    QString perCommand;
    for (const CommandRow &row : commandTable()) {
        described += u"        '%1:%2'\n"_s.arg(row.word, zshQuoted(row.help));
        const QStringList offered = offeredAfter(row);
        const QString values =
            offered.isEmpty() ? QString() : u"'1:%1:(%2)'"_s.arg(zshQuoted(row.values), zshQuoted(offered.join(u' ')));
        const QString arguments = zshArguments(optionsOf(row), values);
        perCommand += u"        %1)\n            %2 ;;\n"_s.arg(
            row.word,
            arguments.isEmpty() ? u"_message 'kein Wert'"_s : u"_arguments -S \\\n            "_s + arguments);
    }
    return u"#compdef kurvanctl\n# zsh completion for kurvanctl: its commands, the options each takes, and their "
           u"values.\n# "_s +
           kMadeFrom +
           u"\n\n_kurvanctl() {\n"
           u"    local curcontext=\"$curcontext\" state line\n"
           u"    local -a commands\n"
           u"    commands=(\n%1    )\n"
           u"    _arguments -C -S \\\n            %2 \\\n            '1:Befehl:->command' \\\n"
           u"            '*::Wert:->value' && return\n"
           u"    case $state in\n"
           u"    command)\n        _describe -t commands Befehl commands ;;\n"
           u"    value)\n        curcontext=${curcontext%:*:*}:kurvanctl-$words[1]:\n"
           u"        case $words[1] in\n%3        esac ;;\n"
           u"    esac\n}\n\n_kurvanctl \"$@\"\n"_s.arg(described, zshArguments(optionTable(), {}), perCommand);
}

// --- fish -------------------------------------------------------------------------------------

QString fishQuoted(QString text)
{
    text.replace(u'\\', u"\\\\"_s).replace(u'\'', u"\\'"_s);
    return u"'"_s + text + u"'"_s;
}

QString fishOption(const QString &condition, const OptionRow &option)
{
    QString line = u"complete -c kurvanctl -n %1"_s.arg(fishQuoted(condition));
    if (!option.shortName.isNull())
        line += u" -s "_s + option.shortName;
    line += u" -l "_s + option.name;
    const OptionValues values = valuesOf(option);
    if (values.kind == Values::Files)
        line += u" -r -F"_s;
    else if (values.kind == Values::Hosts)
        line += u" -x -a '(__fish_print_hostnames)'"_s;
    else if (values.kind == Values::Words)
        line += u" -x"_s;
    if (!values.words.isEmpty())
        line += u" -a "_s + fishQuoted(values.words.join(u' '));
    return line + u" -d "_s + fishQuoted(option.help) + u'\n';
}

QString fishScript()
{
    const QString none = u"not __fish_seen_subcommand_from "_s + commandWords().join(u' ');
    QString text = u"# fish completion for kurvanctl: its commands, the options each takes, and their values.\n# "_s +
                   kMadeFrom + u"\ncomplete -c kurvanctl -f\n\n# Before a command: the commands and every option.\n"_s;
    for (const CommandRow &row : commandTable())
        text += u"complete -c kurvanctl -n %1 -a %2 -d %3\n"_s.arg(fishQuoted(none), row.word, fishQuoted(row.help));
    for (const OptionRow &option : optionTable())
        text += fishOption(none, option);
    for (const CommandRow &row : commandTable()) {
        const QString after = u"__fish_seen_subcommand_from "_s + row.word;
        text += u"\n# After \"%1\".\n"_s.arg(row.word);
        if (const QStringList offered = offeredAfter(row); !offered.isEmpty())
            text += u"complete -c kurvanctl -n %1 -a %2\n"_s.arg(fishQuoted(after), fishQuoted(offered.join(u' ')));
        for (const OptionRow &option : optionsOf(row))
            text += fishOption(after, option);
    }
    return text;
}

} // namespace

QString completionScript(Shell shell)
{
    switch (shell) {
    case Shell::Bash:
        return bashScript();
    case Shell::Zsh:
        return zshScript();
    case Shell::Fish:
        return fishScript();
    }
    return {};
}

QString completionFileName(Shell shell)
{
    switch (shell) {
    case Shell::Bash:
        return u"kurvanctl"_s;
    case Shell::Zsh:
        return u"_kurvanctl"_s;
    case Shell::Fish:
        return u"kurvanctl.fish"_s;
    }
    return {};
}
