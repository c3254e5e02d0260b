#include "ServeLog.h"

#include "ServeTexts.h"

#include <QTime>

#include <cstdio>

void ServeLog::event(const QString &line)
{
    if (m_sink)
        m_sink(line);
}

void ServeLog::detail(const QString &line)
{
    if (m_verbose)
        event(line);
}

void ServeLog::refusal(const QString &kind, const QString &client, const QString &line, qint64 nowMs)
{
    const QString key = kind + u' ' + client;
    auto it = m_repeats.find(key);
    if (it != m_repeats.end() && nowMs - it->loggedAt < kRepeatMs) {
        ++it->leftOut;
        return;
    }
    if (it == m_repeats.end()) {
        if (m_repeats.size() >= kMaxRepeatEntries)
            m_repeats.clear();
        it = m_repeats.insert(key, Repeat{});
    }
    const int leftOut = it->leftOut;
    *it = {nowMs, 0};
    event(leftOut > 0 ? line + ServeText::LogRepeated.arg(leftOut) : line);
}

QString ServeLog::printable(QByteArrayView bytes, qsizetype maxLength)
{
    QString text;
    for (const char c : bytes) {
        if (text.size() >= maxLength) {
            text += u'\u2026';
            break;
        }
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte < 0x7f && byte != '\\')
            text += QLatin1Char(c);
        else
            text += QStringLiteral("\\x%1").arg(byte, 2, 16, QChar(u'0'));
    }
    return text;
}

ServeLog::Sink ServeLog::standardError()
{
    const bool journal = qEnvironmentVariableIsSet("JOURNAL_STREAM");
    return [journal](const QString &line) {
        const QString text =
            (journal ? QString() : QTime::currentTime().toString(QStringLiteral("HH:mm:ss "))) + line + u'\n';
        const QByteArray bytes = text.toUtf8();
        std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stderr);
        std::fflush(stderr);
    };
}
