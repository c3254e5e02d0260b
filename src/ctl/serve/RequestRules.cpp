#include "RequestRules.h"

#include "ServeTexts.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

#include <array>
#include <cmath>

namespace RequestRules {
namespace {

struct ActionRoute
{
    const char *path;
    std::optional<Command> command; // none: the volume
};

// The one list of actions; the server routes by it.
constexpr std::array kActions{
    ActionRoute{"/api/credit/add", Command::AddCredit},
    ActionRoute{"/api/credit/remove", Command::RemoveCredit},
    ActionRoute{"/api/next", Command::NextTitle},
    ActionRoute{"/api/previous", Command::PrevTitle},
    ActionRoute{"/api/stop", Command::Stop},
    ActionRoute{"/api/quit", Command::Quit},
    ActionRoute{"/api/volume", std::nullopt},
};

constexpr QByteArrayView kApiPrefix = "/api/";

template <typename T> Verdict<T> refuse(int status, const QString &message)
{
    return {std::nullopt, status, message};
}

// The JSON object of a body, or the refusal that says why there is none.
Verdict<QJsonObject> readObject(QByteArrayView contentType, QByteArrayView body)
{
    if (body.size() > kMaxBodyBytes)
        return refuse<QJsonObject>(413, ServeText::TooLarge);
    const QByteArray type = contentType.toByteArray().trimmed().toLower();
    if (!type.startsWith("application/json"))
        return refuse<QJsonObject>(415, ServeText::JsonOnly);
    // An empty body is a mistake as much as a malformed one: every body here is an object,
    // {} where nothing is asked.
    if (body.trimmed().isEmpty())
        return refuse<QJsonObject>(400, ServeText::EmptyBody);
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(body.toByteArray(), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return refuse<QJsonObject>(400, ServeText::BadJson);
    return {document.object(), 200, {}};
}

} // namespace

std::optional<RemoteAction> actionForPath(QByteArrayView path)
{
    for (const ActionRoute &route : kActions) {
        if (path == QByteArrayView(route.path))
            return RemoteAction{route.command, 0};
    }
    return std::nullopt;
}

const QList<NamedAction> &namedActions()
{
    static const QList<NamedAction> named = [] {
        QList<NamedAction> all;
        for (const ActionRoute &route : kActions)
            all.append({QString::fromLatin1(QByteArrayView(route.path).sliced(kApiPrefix.size())), {route.command, 0}});
        return all;
    }();
    return named;
}

Verdict<RemoteAction> readActionBody(const RemoteAction &action, QByteArrayView contentType, QByteArrayView body)
{
    const Verdict<QJsonObject> object = readObject(contentType, body);
    if (!object.value)
        return refuse<RemoteAction>(object.status, object.message);
    RemoteAction result = action;
    for (auto it = object.value->constBegin(); it != object.value->constEnd(); ++it) {
        if (action.command || it.key() != QLatin1String("volume"))
            return refuse<RemoteAction>(400, ServeText::UnknownField.arg(it.key().left(40)));
    }
    if (!action.command) {
        const QJsonValue volume = object.value->value(QLatin1String("volume"));
        const double number = volume.toDouble(-1.0);
        // Whole numbers only: 50.5 is as much a mistake as 101.
        if (!volume.isDouble() || number < 0 || number > 100 || std::floor(number) != number)
            return refuse<RemoteAction>(400, ServeText::BadVolume);
        result.volume = static_cast<int>(number);
    }
    return {result, 200, {}};
}

Verdict<bool> readNoArguments(QByteArrayView contentType, QByteArrayView body)
{
    const Verdict<QJsonObject> object = readObject(contentType, body);
    if (!object.value)
        return refuse<bool>(object.status, object.message);
    if (!object.value->isEmpty())
        return refuse<bool>(400, ServeText::UnknownField.arg(object.value->constBegin().key().left(40)));
    return {true, 200, {}};
}

Verdict<QString> readLoginBody(QByteArrayView contentType, QByteArrayView body)
{
    const Verdict<QJsonObject> object = readObject(contentType, body);
    if (!object.value)
        return refuse<QString>(object.status, object.message);
    const QJsonValue password = object.value->value(QLatin1String("password"));
    if (!password.isString() || object.value->size() != 1)
        return refuse<QString>(400, ServeText::BadPassword);
    return {password.toString(), 200, {}};
}

bool originMatchesHost(QByteArrayView origin, QByteArrayView host, bool tls)
{
    if (host.trimmed().isEmpty())
        return false;
    if (origin.isEmpty())
        return true;
    const QByteArray expected = QByteArray(tls ? "https://" : "http://") + host.trimmed().toByteArray();
    return origin.trimmed().compare(expected, Qt::CaseInsensitive) == 0;
}

QByteArray cookieValue(QByteArrayView cookieHeader, QByteArrayView name)
{
    for (const QByteArray &part : cookieHeader.toByteArray().split(';')) {
        const QByteArray pair = part.trimmed();
        const qsizetype equals = pair.indexOf('=');
        if (equals > 0 && QByteArrayView(pair).first(equals).trimmed() == name)
            return pair.mid(equals + 1).trimmed();
    }
    return {};
}

} // namespace RequestRules
