#include "session/JukeboxSnapshot.h"

#include <QJsonValue>

namespace {

template <typename T> QJsonValue orNull(const std::optional<T> &value)
{
    return value ? QJsonValue(*value) : QJsonValue(QJsonValue::Null);
}

} // namespace

QJsonObject snapshotToJson(const JukeboxSnapshot &snapshot)
{
    return QJsonObject{
        {QStringLiteral("connected"), snapshot.connected},       {QStringLiteral("version"), orNull(snapshot.version)},
        {QStringLiteral("type"), orNull(snapshot.type)},         {QStringLiteral("credits"), orNull(snapshot.credits)},
        {QStringLiteral("playing"), orNull(snapshot.playing)},   {QStringLiteral("title"), orNull(snapshot.title)},
        {QStringLiteral("path"), orNull(snapshot.path)},         {QStringLiteral("length"), orNull(snapshot.length)},
        {QStringLiteral("position"), orNull(snapshot.position)}, {QStringLiteral("volume"), orNull(snapshot.volume)},
    };
}
