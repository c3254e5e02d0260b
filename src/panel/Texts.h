#pragma once

#include <QString>

// Every text the panel shows, exactly as the user expects to read it.
namespace PanelText {

inline const QString WindowTitle = QStringLiteral("Kurvan");
inline const QString Title = QStringLiteral("Tonalis Kurvan");
inline const QString Credits = QStringLiteral("Credits:");
inline const QString Volume = QStringLiteral("Lautst\u00E4rke:");
inline const QString CurrentTitle = QStringLiteral("Aktueller Titel:");
inline const QString NoSong = QStringLiteral("-");
inline const QString VersionLabel = QStringLiteral("Tonalis Version:");
inline const QString VersionAtStart = QStringLiteral("6.2.3");
inline const QString Minus = QStringLiteral("-");
inline const QString Plus = QStringLiteral("+");
inline const QString QuitJukebox = QStringLiteral("Tonalis beenden");

// The transport symbols: stop, previous track, next track.
inline const QString StopSymbol = QStringLiteral("\u23F9");
inline const QString PrevSymbol = QStringLiteral("\u23EE");
inline const QString NextSymbol = QStringLiteral("\u23ED");
inline const QString StopName = QStringLiteral("Stopp");
inline const QString PrevName = QStringLiteral("Vorheriger Titel");
inline const QString NextName = QStringLiteral("N\u00E4chster Titel");
inline const QString RemoveCreditName = QStringLiteral("Credit entfernen");
inline const QString AddCreditName = QStringLiteral("Credit hinzuf\u00FCgen");

// Status line.
inline const QString NoConnection = QStringLiteral("Es besteht keine Verbindung!");
inline const QString AwaitingLogin = QStringLiteral("Warte auf Authentifizierung");
inline const QString LoginFailed = QStringLiteral("Authentifizierung fehlgeschlagen!");
inline const QString Connected = QStringLiteral("Verbindung hergestellt");
inline const QString Disconnected = QStringLiteral("Verbindung getrennt");

} // namespace PanelText
