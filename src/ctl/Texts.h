#pragma once

#include <QString>

// Every text kurvanctl prints. The command words are English, as on the wire; all else is German.
namespace CtlText {

inline const QString ProgramName = QStringLiteral("kurvanctl");

inline const QString UsageHead =
    QStringLiteral("Aufruf: kurvanctl [OPTIONEN] BEFEHL [WERT]\n"
                   "\n"
                   "Steuert die Jukebox Tonalis \u00FCber das lokale Netzwerk, ohne Fenster: aus einem Terminal,\n"
                   "einem Skript oder einer geplanten Aufgabe.\n"
                   "\n"
                   "Befehle:\n");
inline const QString UsageOptions = QStringLiteral("\nOptionen:\n");
inline const QString UsageTail =
    QStringLiteral("\n"
                   "R\u00FCckgabewerte: 0 erledigt, 1 nicht erledigt (Zustand der Jukebox oder keine Antwort\n"
                   "rechtzeitig), 2 falscher Aufruf, 3 keine Verbindung oder Verbindung verloren,\n"
                   "4 Passwort abgelehnt. Hilfe zu einem Befehl: kurvanctl help BEFEHL; alles in\n"
                   "\u201Eman kurvanctl\u201C.\n");
// The help of one command: %1 how it is called.
inline const QString CommandUsageHead = QStringLiteral("Aufruf: kurvanctl %1\n\n");
inline const QString WithOptions = QStringLiteral("[OPTIONEN] %1");

// Help lines of the commands, one per row of the command table.
inline const QString HelpStatus =
    QStringLiteral("Version, Credits, Wiedergabe, Titel, L\u00E4nge, Position und Lautst\u00E4rke");
inline const QString HelpCredit = QStringLiteral("N Credits (1 bis 99) hinzuf\u00FCgen oder abziehen");
inline const QString HelpNext = QStringLiteral("n\u00E4chster Titel (nur w\u00E4hrend der Wiedergabe)");
inline const QString HelpPrev = QStringLiteral("vorheriger Titel (nur w\u00E4hrend der Wiedergabe)");
inline const QString HelpStop = QStringLiteral("Wiedergabe stoppen (nur w\u00E4hrend der Wiedergabe)");
inline const QString HelpVolume = QStringLiteral("Lautst\u00E4rke zeigen, setzen (0 bis 100) oder \u00E4ndern");
inline const QString HelpQuit = QStringLiteral("das Programm Tonalis beenden (fragt nach; ohne Terminal --yes)");
inline const QString HelpWatch = QStringLiteral("verbunden bleiben und jede \u00C4nderung melden");
inline const QString HelpHelp = QStringLiteral("diese Hilfe, oder die Hilfe zu einem Befehl");

// Field labels of the text output.
inline const QString Version = QStringLiteral("Version");
inline const QString Credits = QStringLiteral("Credits");
inline const QString Playback = QStringLiteral("Wiedergabe");
inline const QString Title = QStringLiteral("Titel");
inline const QString Path = QStringLiteral("Pfad");
inline const QString Length = QStringLiteral("L\u00E4nge");
inline const QString Position = QStringLiteral("Position");
inline const QString Volume = QStringLiteral("Lautst\u00E4rke");
inline const QString Unknown = QStringLiteral("unbekannt");
inline const QString Plays = QStringLiteral("spielt");
inline const QString Stopped = QStringLiteral("gestoppt");
inline const QString NoTitle = QStringLiteral("kein Titel");
inline const QString LinkLostLine = QStringLiteral("Verbindung zur Jukebox verloren");
inline const QString Reconnected = QStringLiteral("Wieder verbunden");
// %1 attempt number, %2 seconds.
inline const QString AttemptIn = QStringLiteral("Neuer Verbindungsversuch %1 in %2 s");
inline const QString AttemptFailed = QStringLiteral("Verbindungsversuch %1 gescheitert");
inline const QString PlaybackStopped = QStringLiteral("Wiedergabe gestoppt");
inline const QString QuitSent = QStringLiteral("Tonalis wird beendet");
// %1 host:port.
inline const QString QuitQuestion = QStringLiteral("Tonalis auf %1 wirklich beenden? [j/N] ");
inline const QString PasswordPrompt = QStringLiteral("Passwort f\u00FCr %1: ");

// Errors: one line each, saying what to do next.
inline const QString NoCommand = QStringLiteral("Kein Befehl angegeben. Hilfe: kurvanctl --help");
inline const QString UnknownCommand = QStringLiteral("Unbekannter Befehl \u201E%1\u201C. Hilfe: kurvanctl --help");
inline const QString UnknownOption = QStringLiteral("Unbekannte Option \u201E%1\u201C. Hilfe: kurvanctl --help");
inline const QString MissingValue = QStringLiteral("Die Option %1 braucht einen Wert. Hilfe: kurvanctl --help");
inline const QString PasswordOnCommandLine = QStringLiteral(
    "Das Passwort geh\u00F6rt nicht auf die Befehlszeile, wo andere es lesen k\u00F6nnen. Bitte KURVAN_PASSWORD "
    "setzen oder --password-file DATEI angeben.");
inline const QString WrongArguments = QStringLiteral("Falscher Aufruf: kurvanctl %1. Hilfe: kurvanctl --help");
inline const QString CreditValue =
    QStringLiteral("\u201E%1\u201C ist keine Credit-\u00C4nderung: bitte +N oder -N mit N von 1 bis 99 angeben.");
inline const QString VolumeValue =
    QStringLiteral("\u201E%1\u201C ist keine Lautst\u00E4rke: bitte N von 0 bis 100, +N oder -N angeben.");
inline const QString NoAddress =
    QStringLiteral("Keine Adresse der Jukebox bekannt. Bitte --host ADRESSE angeben oder KURVAN_HOST setzen.");
// %1 the port text, %2 where it came from.
inline const QString BadPort = QStringLiteral("Ung\u00FCltiger Port \u201E%1\u201C (%2): erlaubt sind 1 bis 65535.");
inline const QString NoPassword =
    QStringLiteral("Kein Passwort angegeben. Bitte KURVAN_PASSWORD setzen oder --password-file DATEI angeben.");
inline const QString PasswordFileUnreadable =
    QStringLiteral("Die Passwortdatei \u201E%1\u201C l\u00E4sst sich nicht lesen. Bitte Pfad und Rechte pr\u00FCfen.");
// %1 the file, %2 the most bytes a password may have.
inline const QString PasswordFileTooLarge = QStringLiteral(
    "Die Passwortdatei \u201E%1\u201C ist zu gro\u00DF: ihre erste Zeile endet nicht innerhalb von %2 Bytes, "
    "und l\u00E4nger kann ein Passwort der Jukebox nicht sein.");
inline const QString QuitNeedsYes = QStringLiteral(
    "Ohne Terminal beendet quit-jukebox Tonalis nur mit --yes. Bitte --yes angeben, wenn das gewollt ist.");
inline const QString QuitDeclined = QStringLiteral("Abgebrochen: Tonalis l\u00E4uft weiter.");
// %1 host:port.
inline const QString Unreachable = QStringLiteral(
    "Keine Verbindung zu %1 innerhalb von 5 s. Bitte pr\u00FCfen, ob Tonalis dort l\u00E4uft und Adresse und Port "
    "stimmen.");
inline const QString NobodyListening = QStringLiteral(
    "Auf %1 nimmt niemand die Verbindung an. Bitte pr\u00FCfen, ob Tonalis dort l\u00E4uft und Adresse und Port "
    "stimmen.");
inline const QString LinkLost = QStringLiteral(
    "Die Verbindung zur Jukebox ist abgebrochen. Bitte pr\u00FCfen, ob Tonalis noch l\u00E4uft, und erneut versuchen.");
inline const QString PasswordRefused =
    QStringLiteral("Die Jukebox hat das Passwort abgelehnt. Bitte KURVAN_PASSWORD oder die Passwortdatei pr\u00FCfen.");
inline const QString TypedPasswordRefused =
    QStringLiteral("Die Jukebox hat das eingegebene Passwort abgelehnt. Bitte erneut versuchen.");
inline const QString NotPlaying =
    QStringLiteral("Die Jukebox spielt gerade nicht; %1 geht nur w\u00E4hrend der Wiedergabe. Nichts gesendet.");
inline const QString NotConfirmed =
    QStringLiteral("Die Jukebox hat %1 nicht innerhalb von 5 s best\u00E4tigt. Bitte mit kurvanctl status nachsehen.");
// %1 credits present, %2 credits to remove.
inline const QString TooFewCredits =
    QStringLiteral("Es stehen nur %1 Credits, %2 lassen sich nicht abziehen. Nichts abgezogen.");
inline const QString CreditsUnknown = QStringLiteral(
    "Die Jukebox hat die Credits nicht rechtzeitig genannt. Nichts ge\u00E4ndert; bitte erneut versuchen.");
inline const QString NoCreditLeft =
    QStringLiteral("Keine Credits mehr, die sich abziehen lie\u00DFen. Bitte mit kurvanctl status nachsehen.");
inline const QString VolumeUnknown = QStringLiteral(
    "Die Jukebox hat die Lautst\u00E4rke nicht rechtzeitig genannt. Nichts ge\u00E4ndert; bitte erneut versuchen.");
inline const QString SomeUnknown = QStringLiteral(
    "Die Jukebox hat nicht alle Werte rechtzeitig genannt; sie stehen als \u201Eunbekannt\u201C da. Bitte erneut "
    "versuchen.");

} // namespace CtlText
