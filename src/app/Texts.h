#pragma once

#include <QString>

// Every text the connection dialog shows, and the names it stores in the settings file.
namespace DialogText {

inline const QString ApplicationTitle = QStringLiteral("Kurvan Client");
inline const QString WindowTitle = QStringLiteral("Serveradresse");
inline const QString AddressLabel = QStringLiteral("IP-Adresse/Host:");
inline const QString PortLabel = QStringLiteral("Port:");
inline const QString PasswordLabel = QStringLiteral("Passwort:");
inline const QString Connect = QStringLiteral("Verbinden");
inline const QString Connecting = QStringLiteral("Verbinde...");
inline const QString TimedOut = QStringLiteral("Verbindung konnte nicht hergestellt werden (Time Out)!");

inline const QString Section = QStringLiteral("Settings");
inline const QString AddressKey = QStringLiteral("LastIP");
inline const QString PortKey = QStringLiteral("Port");
inline const QString DefaultAddress = QStringLiteral("192.168.0.2");
inline const QString DefaultPort = QStringLiteral("7620");

} // namespace DialogText
