#pragma once

#include <QString>

// What the web remote answers a browser or a script, in German; defined once here.
namespace ServeText {

inline const QString LoginNeeded = QStringLiteral("Bitte zuerst mit dem Passwort anmelden.");
inline const QString PasswordWrong = QStringLiteral("Falsches Passwort.");
inline const QString TooManyTries = QStringLiteral("Zu viele Fehlversuche. Bitte %1 s warten.");
inline const QString ForeignOrigin = QStringLiteral("Anfrage von fremder Seite abgelehnt.");
inline const QString TooLarge = QStringLiteral("Anfrage zu groß.");
inline const QString JsonOnly = QStringLiteral("Nur JSON wird angenommen.");
inline const QString BadJson = QStringLiteral("Ungültiges JSON.");
inline const QString UnknownField = QStringLiteral("Unbekannte Angabe: %1");
inline const QString BadVolume = QStringLiteral("Die Lautstärke muss eine ganze Zahl von 0 bis 100 sein.");
inline const QString BadPassword = QStringLiteral("Das Passwort fehlt.");
inline const QString NotFound = QStringLiteral("Nicht gefunden.");
inline const QString MethodNotAllowed = QStringLiteral("Methode nicht erlaubt.");
inline const QString Forbidden = QStringLiteral("Das lässt der Zustand der Jukebox gerade nicht zu.");
inline const QString Busy = QStringLiteral("Die Jukebox ist gerade beschäftigt. Bitte gleich noch einmal.");
inline const QString NoLink = QStringLiteral("Keine Verbindung zur Jukebox.");
inline const QString TooManyConnections = QStringLiteral("Zu viele Verbindungen.");
inline const QString BadRequest = QStringLiteral("Ungültige Anfrage.");
inline const QString HeadTooLarge = QStringLiteral("Kopfzeilen zu groß.");
inline const QString LengthRequired = QStringLiteral("Content-Length fehlt.");
inline const QString NotImplemented = QStringLiteral("Wird nicht unterstützt.");
inline const QString VersionNotSupported = QStringLiteral("Nur HTTP/1.1 und HTTP/1.0.");

// For kurvanctl's help and its errors.
inline const QString HelpServe = QStringLiteral("die Web-Fernbedienung für Telefone im lokalen Netz anbieten");
inline const QString HelpListen =
    QStringLiteral("serve horcht hier (Vorgabe: alle Adressen, Port 8620; ohne Passwort nur 127.0.0.1)");
inline const QString HelpTlsCert = QStringLiteral("serve spricht HTTPS mit diesem Zertifikat (PEM)");
inline const QString HelpTlsKey = QStringLiteral("der private Schlüssel zum Zertifikat (PEM)");
// %1 what could not be used, one of the two texts below.
inline const QString BadListen =
    QStringLiteral("--listen: %1. Erwartet wird ADRESSE:PORT, ADRESSE oder PORT, etwa 0.0.0.0:8620 oder 8620.");
inline const QString BadListenAddress = QStringLiteral("„%1“ ist keine IP-Adresse");
inline const QString BadListenPort = QStringLiteral("„%1“ ist kein Port von 1 bis 65535");
inline const QString TlsPair = QStringLiteral("--tls-cert und --tls-key gehören zusammen.");

} // namespace ServeText
