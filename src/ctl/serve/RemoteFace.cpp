#include "RemoteFace.h"

QJsonObject linkStatusToJson(const LinkStatus &status)
{
    const auto phase = [&] {
        switch (status.phase) {
        case LinkStatus::Phase::Connected:
            return QStringLiteral("connected");
        case LinkStatus::Phase::Connecting:
            return QStringLiteral("connecting");
        case LinkStatus::Phase::Waiting:
            return QStringLiteral("waiting");
        case LinkStatus::Phase::PasswordRefused:
            return QStringLiteral("refused");
        }
        return QString();
    }();
    return QJsonObject{{QStringLiteral("phase"), phase},
                       {QStringLiteral("attempt"), status.attempt},
                       {QStringLiteral("retryInMs"), status.retryInMs}};
}
