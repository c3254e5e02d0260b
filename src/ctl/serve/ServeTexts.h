#pragma once

#include <QString>

// What the web remote answers a browser or a script, in German; defined once here.
namespace ServeText {

inline const QString LoginNeeded = QStringLiteral("Bitte zuerst mit dem Passwort anmelden.");
inline const QString PasswordWrong = QStringLiteral("Falsches Passwort.");
inline const QString TooManyTries = QStringLiteral("Zu viele Fehlversuche. Bitte %1 s warten.");
inline const QString TooManyTriesAll =
    QStringLiteral("Zu viele Fehlversuche im Netz. Jede Anmeldung wartet jetzt; bitte %1 s warten.");
inline const QString UnknownHost =
    QStringLiteral("Unbekannter Hostname. Die Fernbedienung antwortet nur auf ihre eigenen Namen und Adressen.");
inline const QString EmptyBody = QStringLiteral("Leere Anfrage: bitte ein JSON-Objekt senden, etwa {}.");
inline const QString RequestTimeout = QStringLiteral("Die Anfrage kam nicht rechtzeitig vollständig an.");
inline const QString TooManyFromClient = QStringLiteral("Zu viele Verbindungen von dieser Adresse.");
// Why a request has no session (401), for the page to show above the password field.
inline const QString SessionLoggedOut = QStringLiteral("Abgemeldet. Zum Weitermachen bitte wieder anmelden.");
inline const QString SessionIdle =
    QStringLiteral("Die Anmeldung ist nach 12 Stunden ohne Nutzung abgelaufen. Bitte wieder anmelden.");
inline const QString SessionLifetime =
    QStringLiteral("Die Anmeldung ist nach 7 Tagen abgelaufen. Bitte wieder anmelden.");
inline const QString SessionDisplaced =
    QStringLiteral("Die Anmeldung wurde beendet, weil sich zu viele Geräte angemeldet haben. Bitte wieder anmelden.");
inline const QString SessionUnknown =
    QStringLiteral("Die Fernbedienung wurde neu gestartet und kennt diese Anmeldung nicht mehr. Bitte wieder "
                   "anmelden.");
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

// The operator's log, one line per event; %1 is the client's address where there is one.
inline const QString LogRepeated = QStringLiteral(" (und %1 weitere seit der letzten Meldung)");
inline const QString LogRefused = QStringLiteral("%1: Anfrage abgewiesen, %2 %3");
inline const QString LogEvicted = QStringLiteral("%1: Verbindung geschlossen, um Platz für andere zu machen");
inline const QString LogHostRefused = QStringLiteral("%1: unbekannter Host \u201E%2\u201C abgewiesen (421)");
inline const QString LogOriginRefused = QStringLiteral("%1: fremde Herkunft \u201E%2\u201C abgewiesen (403)");
inline const QString LogLoginFailed = QStringLiteral("%1: falsches Passwort (Fehlversuch %2 von %3)");
inline const QString LogLockedOut = QStringLiteral("%1: nach zu vielen falschen Passwörtern %2 s gesperrt");
inline const QString LogGlobalLock =
    QStringLiteral("%1 falsche Passwörter in einer Minute: jede Anmeldung wartet jetzt %2 s");
inline const QString LogLoginWaits = QStringLiteral("%1: Anmeldung abgewiesen, noch %2 s gesperrt (429)");
inline const QString LogLoggedIn = QStringLiteral("%1: angemeldet, Sitzung %2");
inline const QString LogAction = QStringLiteral("%1 [%2]: %3");
inline const QString LogActionRefused = QStringLiteral("%1 [%2]: %3 abgelehnt: %4");
inline const QString LogSessionEnded = QStringLiteral("Sitzung %1 beendet: %2");
inline const QString EndedLoggedOut = QStringLiteral("abgemeldet");
inline const QString EndedIdle = QStringLiteral("12 Stunden ohne Nutzung");
inline const QString EndedLifetime = QStringLiteral("nach 7 Tagen");
inline const QString EndedDisplaced = QStringLiteral("zu viele angemeldete Geräte");
inline const QString LogRequest = QStringLiteral("%1: %2 %3 %4");
inline const QString LogLinkUp = QStringLiteral("Jukebox: verbunden und angemeldet");
inline const QString LogLinkAttempt = QStringLiteral("Jukebox: Verbindungsversuch %1");
inline const QString LogLinkLost = QStringLiteral("Jukebox: Verbindung verloren; neuer Versuch in %1 s");
inline const QString LogLinkFailed =
    QStringLiteral("Jukebox: Verbindungsversuch %1 gescheitert; neuer Versuch in %2 s");
inline const QString LogLinkRefused =
    QStringLiteral("Jukebox: Passwort abgelehnt (Versuch %1); neuer Versuch in %2 s. Bitte die Passwortdatei prüfen.");

// For kurvanctl's help and its errors.
inline const QString HelpServe = QStringLiteral("die Web-Fernbedienung für Telefone im lokalen Netz anbieten");
inline const QString HelpListen =
    QStringLiteral("serve horcht hier; auch ADRESSE oder PORT allein (Vorgabe: alle Adressen, Port 8620; ohne "
                   "Passwort nur 127.0.0.1)");
inline const QString HelpTlsCert = QStringLiteral("serve spricht HTTPS mit diesem Zertifikat (PEM)");
inline const QString HelpTlsKey = QStringLiteral("der private Schlüssel zum Zertifikat (PEM)");
// %1 what could not be used, one of the two texts below.
inline const QString BadListen =
    QStringLiteral("--listen: %1. Erwartet wird ADRESSE:PORT, ADRESSE oder PORT, etwa 0.0.0.0:8620 oder 8620.");
inline const QString BadListenAddress = QStringLiteral("„%1“ ist keine IP-Adresse");
inline const QString BadListenPort = QStringLiteral("„%1“ ist kein Port von 1 bis 65535");
inline const QString TlsPair = QStringLiteral("--tls-cert und --tls-key gehören zusammen.");
inline const QString HelpAllowHost =
    QStringLiteral("serve antwortet auch auf diesen Namen (wiederholbar); sonst nur auf IP-Adressen, localhost und den "
                   "Rechnernamen");
inline const QString HelpAllowEmptyPassword =
    QStringLiteral("serve gibt eine Jukebox ohne Passwort bewusst über 127.0.0.1 hinaus frei");
inline const QString HelpVerbose = QStringLiteral("serve protokolliert jede Anfrage, auch das Lesen");
inline const QString BadAllowHost =
    QStringLiteral("--allow-host erwartet einen Namen wie jukebox.bar.example, nicht \u201E%1\u201C.");
// %1 the address it would listen on.
inline const QString EmptyPasswordRefused = QStringLiteral(
    "Die Jukebox hat kein Passwort: Jeder, der %1 erreicht, könnte sie steuern. Bitte ein Passwort setzen, "
    "nur auf 127.0.0.1 horchen oder --allow-empty-password angeben.");
inline const QString EmptyPasswordWarning =
    QStringLiteral("Warnung: Die Jukebox hat kein Passwort. Jeder, der %1 erreicht, kann sie steuern.");
inline const QString EmptyPasswordLoopback =
    QStringLiteral("Warnung: Die Jukebox hat kein Passwort. Die Fernbedienung ist nur auf diesem Rechner "
                   "erreichbar (127.0.0.1).");
// Why the certificate or key cannot be used; %1 the file.
inline const QString TlsCertMissing = QStringLiteral("Die Zertifikatsdatei \u201E%1\u201C gibt es nicht.");
inline const QString TlsKeyMissing = QStringLiteral("Die Schlüsseldatei \u201E%1\u201C gibt es nicht.");
inline const QString TlsUnreadable =
    QStringLiteral("\u201E%1\u201C lässt sich nicht lesen. Bitte die Rechte der Datei prüfen.");
inline const QString TlsTooLarge =
    QStringLiteral("\u201E%1\u201C ist zu groß für ein Zertifikat oder einen Schlüssel.");
inline const QString TlsNoCertificate =
    QStringLiteral("\u201E%1\u201C enthält kein Zertifikat im PEM-Format (-----BEGIN CERTIFICATE-----).");
inline const QString TlsNoKey =
    QStringLiteral("\u201E%1\u201C enthält keinen privaten Schlüssel im PEM-Format (RSA oder EC).");
inline const QString TlsKeyEncrypted = QStringLiteral(
    "Der Schlüssel in \u201E%1\u201C ist mit einer Passphrase verschlüsselt. serve braucht ihn unverschlüsselt, "
    "lesbar nur für den Dienst.");
inline const QString TlsUnavailable =
    QStringLiteral("Auf diesem Rechner steht kein TLS zur Verfügung (Qt findet keine TLS-Bibliothek).");
// %1 key file, %2 certificate file, %3 what the TLS library said.
inline const QString TlsMismatch = QStringLiteral(
    "Schlüssel \u201E%1\u201C und Zertifikat \u201E%2\u201C passen nicht zusammen (Probe-Verbindung: %3).");

// The web remote's own certificates (TLS by default beyond this computer).
inline const QString TlsFolderUnusable =
    QStringLiteral("Der Ordner \u201E%1\u201C für die Zertifikate der Fernbedienung lässt sich nicht anlegen oder "
                   "sperren.");
inline const QString TlsFileUnwritable =
    QStringLiteral("\u201E%1\u201C lässt sich nicht schreiben. Bitte die Rechte des Ordners prüfen.");
inline const QString TlsNoAnswer = QStringLiteral("keine Antwort");
inline const QString CannotListen = QStringLiteral("Kann nicht auf %1 horchen.");
inline const QString TlsMakeFailed = QStringLiteral("Das Zertifikat lässt sich nicht erzeugen (%1).");
// %1 the computer's name; the subject of the authority phones show in their list.
inline const QString TlsAuthorityName = QStringLiteral("Kurvan Fernbedienung auf %1");
inline const QString TlsUnavailableHint =
    QStringLiteral("Ohne TLS nur mit --plain-http (unverschlüsselt) oder auf 127.0.0.1.");
inline const QString PlainHttpWarning = QStringLiteral(
    "Warnung: --plain-http: Passwort und Sitzung gehen unverschlüsselt durchs Netz. Jeder im selben WLAN kann "
    "sie mitlesen und die Jukebox steuern.");
inline const QString PlainHttpConflict = QStringLiteral("--plain-http schließt --tls, --tls-cert und --tls-key aus.");
inline const QString TlsPairWithTls = QStringLiteral("--tls braucht kein --tls-cert: ohne eigenes Zertifikat "
                                                     "erzeugt serve sein eigenes.");
inline const QString HelpTls =
    QStringLiteral("serve spricht HTTPS auch auf 127.0.0.1 (jenseits davon ist HTTPS ohnehin die Vorgabe)");
inline const QString HelpPlainHttp =
    QStringLiteral("serve spricht bewusst unverschlüsseltes HTTP, auch im Netz (nicht empfohlen)");
inline const QString HelpQr =
    QStringLiteral("serve zeigt den QR-Code der Adresse auch, wenn die Ausgabe kein Terminal ist");
// Over plain HTTP, when TLS is on: nothing with a password or a cookie is taken. %1 the https address.
inline const QString HttpsOnly =
    QStringLiteral("Nur über HTTPS: Bitte %1 öffnen. Unverschlüsselt nimmt die Fernbedienung weder Passwort noch "
                   "Sitzung an.");
// The start message.
inline const QString BannerReady = QStringLiteral("Web-Fernbedienung bereit. Im Browser des Telefons öffnen:");
inline const QString BannerTrust = QStringLiteral("Neues Telefon? Einmal dem Zertifikat vertrauen (QR-Code unten): %1");
inline const QString BannerFingerprint = QStringLiteral("Fingerabdruck der Zertifizierungsstelle (SHA-256):");
inline const QString BannerMadeAuthority =
    QStringLiteral("Neue Zertifizierungsstelle erzeugt in \u201E%1\u201C. Jedes Telefon muss ihr einmal vertrauen.");
inline const QString BannerLeftOut =
    QStringLiteral("Nicht im Zertifikat (die Zertifizierungsstelle darf dafür nicht bürgen): %1");
inline const QString LogReissued = QStringLiteral("Neues Serverzertifikat von derselben Zertifizierungsstelle (%1)");
inline const QString ReissueMissing = QStringLiteral("keines vorhanden");
inline const QString ReissueOtherAuthority = QStringLiteral("von anderer Zertifizierungsstelle");
inline const QString ReissueRunningOut = QStringLiteral("läuft bald ab");
inline const QString ReissueNamesChanged = QStringLiteral("neue Adresse oder neuer Name");
inline const QString LogTlsFailed = QStringLiteral("%1: TLS-Verbindung abgebrochen (%2). Vertraut das Telefon dem "
                                                   "Zertifikat noch nicht?");
inline const QString LogPlainRefused = QStringLiteral("%1: %2 unverschlüsselt abgewiesen (403)");

} // namespace ServeText
