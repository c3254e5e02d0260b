#pragma once

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

// One option of kurvanctl, written "--name" or "--name VALUE" / "--name=VALUE".
struct OptionRow
{
    QString name;
    QString valueName; // empty: a switch without a value
    QString help;
    QChar shortName = {}; // a switch everyone expects as "-h" or "-V"; none for all others
};

// kurvanctl's options, one row each: the connection options of ConnectionOptions.h first, then
// the output and command options. A new option is one more row.
const QList<OptionRow> &optionTable();

struct ParsedCommandLine
{
    QStringList words;                    // the command and its values, in order
    QHash<QString, QString> values;       // the last value of each option
    QHash<QString, QStringList> repeated; // every value of each option, in order
    QSet<QString> switches;
    QString error; // not empty: the command line is wrong, and this says why

    bool has(const QString &name) const { return switches.contains(name) || values.contains(name); }
    QString value(const QString &name) const { return values.value(name); }
    QStringList valuesOf(const QString &name) const { return repeated.value(name); }
};

// Reads the arguments after the program name. Only "--" starts an option, so "-3" and "+3" are
// values ("credit -3", "volume -5"); a lone "-" is a value too. The only exceptions are the
// short names of the table ("-h", "-V"), exactly as written. A repeated option keeps the last
// value in values and all of them in repeated. An unknown option, a missing value or "--password"
// (never on the command line) set error.
ParsedCommandLine parseCommandLine(const QStringList &arguments, const QList<OptionRow> &options = optionTable());

// One entry of the help: left in its column, help wrapped beside it within 80 columns.
QString helpLine(const QString &left, const QString &help);

// The options part of the help text, from the table.
QString optionsHelp(const QList<OptionRow> &options = optionTable());
