#pragma once

#include <QString>

// Every text the client and the jukebox exchange, spelled as the jukebox expects them.
namespace Msg {

// Client to jukebox.
inline const QString PasswordPrefix = QStringLiteral("Password=");
inline const QString GetPrefix = QStringLiteral("Get");
inline const QString AddCredit = QStringLiteral("AddCredit|1");
inline const QString RemoveCredit = QStringLiteral("RemoveCredit|1");
inline const QString NextTitle = QStringLiteral("CtrlN\u00E4chsterTitel");
inline const QString PrevTitle = QStringLiteral("CtrlVorherigerTitel");
inline const QString Stop = QStringLiteral("CtrlStop");
inline const QString Quit = QStringLiteral("CtrlBeenden");
inline const QString SetVolumePrefix = QStringLiteral("SetVolume|");

// Jukebox to client: login answers (whole texts) and notices (name part).
inline const QString PasswordOK = QStringLiteral("PasswordOK");
inline const QString PasswordWrong = QStringLiteral("PasswordWrong");
inline const QString ChangeTitle = QStringLiteral("ChangeTitle");
inline const QString ChangeCredit = QStringLiteral("ChangeCredit");
inline const QString PlayStatusStop = QStringLiteral("PlayStatusStop");

// Value names asked for with GetPrefix; the answer is name + "|" + value.
inline const QString Version = QStringLiteral("Version");
inline const QString Type = QStringLiteral("Type");
inline const QString Credit = QStringLiteral("Credit");
inline const QString PlayStatus = QStringLiteral("PlayStatus");
inline const QString CurrentSong = QStringLiteral("CurrentSong");
inline const QString SongLength = QStringLiteral("SongLength");
inline const QString SongPos = QStringLiteral("SongPos");
inline const QString Volume = QStringLiteral("Volume");

// The play status while a title plays; any other text means it does not.
inline const QString Playing = QStringLiteral("Spielt");
// What a query returns when no answer came in time and the caller gave no default.
inline const QString TimeOut = QStringLiteral("TimeOut");

} // namespace Msg
