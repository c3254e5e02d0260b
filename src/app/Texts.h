#pragma once

#include <QString>

// Every text the connection dialog shows, and what it offers before anything is remembered.
namespace DialogText {

inline const QString ApplicationTitle = QStringLiteral("Kurvan Client");
inline const QString WindowTitle = QStringLiteral("Serveradresse");
inline const QString AddressLabel = QStringLiteral("IP-Adresse/Host:");
inline const QString PortLabel = QStringLiteral("Port:");
inline const QString PasswordLabel = QStringLiteral("Passwort:");
inline const QString Connect = QStringLiteral("Verbinden");
inline const QString Connecting = QStringLiteral("Verbinde...");
inline const QString TimedOut = QStringLiteral("Verbindung konnte nicht hergestellt werden (Time Out)!");

inline const QString DefaultAddress = QStringLiteral("192.168.0.2");
inline const QString DefaultPort = QStringLiteral("7620");

} // namespace DialogText

// What "kurvan-client --help" prints.
namespace CommandLineText {

inline const QString Usage = QStringLiteral(
    "Aufruf: kurvan-client [--help | --version]\n"
    "\n"
    "Steuert die Jukebox Tonalis \u00FCber das lokale Netzwerk. Ohne Option \u00F6ffnet sich das\n"
    "Fenster \u201EServeradresse\u201C: Adresse, Port und Passwort eingeben, dann \u201EVerbinden\u201C.\n"
    "\n"
    "  --help     diese Hilfe anzeigen\n"
    "  --version  die Version anzeigen\n"
    "\n"
    "Einstellungen: Kurvan.ini neben dem Programm oder ~/.config/kurvan-client/Kurvan.ini\n");

} // namespace CommandLineText
