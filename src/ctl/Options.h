#pragma once

#include <QString>

// The names of kurvanctl's options, without the leading "--".
namespace Option {

inline const QString Host = QStringLiteral("host");
inline const QString Port = QStringLiteral("port");
inline const QString PasswordFile = QStringLiteral("password-file");
inline const QString Json = QStringLiteral("json");
inline const QString Yes = QStringLiteral("yes");
inline const QString Position = QStringLiteral("position");
inline const QString Reconnect = QStringLiteral("reconnect");
inline const QString Listen = QStringLiteral("listen");
inline const QString TlsCert = QStringLiteral("tls-cert");
inline const QString TlsKey = QStringLiteral("tls-key");
inline const QString Tls = QStringLiteral("tls");
inline const QString PlainHttp = QStringLiteral("plain-http");
inline const QString Qr = QStringLiteral("qr");
inline const QString AllowHost = QStringLiteral("allow-host");
inline const QString AllowEmptyPassword = QStringLiteral("allow-empty-password");
inline const QString Verbose = QStringLiteral("verbose");
inline const QString Help = QStringLiteral("help");
inline const QString Version = QStringLiteral("version");

} // namespace Option
