#include "JukeboxProcess.h"

#include <QDeadlineTimer>

#include <cstdio>

JukeboxProcess::~JukeboxProcess()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.closeWriteChannel(); // its end of stdin ends it
    if (!m_process.waitForFinished(5000)) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

bool JukeboxProcess::start(const QString &program)
{
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(program, {});
    if (!m_process.waitForStarted(10000)) {
        std::fprintf(stderr, "cannot start %s\n", qPrintable(program));
        return false;
    }
    const QStringList ports = waitLine(QStringLiteral("ports ")).split(u' ');
    m_simPort = ports.value(1).toUShort();
    m_barePort = ports.value(2).toUShort();
    if (m_simPort == 0 || m_barePort == 0) {
        std::fprintf(stderr, "%s did not report its ports\n", qPrintable(program));
        return false;
    }
    return true;
}

QString JukeboxProcess::command(const QString &line)
{
    m_process.write((line + u'\n').toUtf8());
    m_process.waitForBytesWritten(5000);
    // Every answer comes as one line; only the trace lines of received texts go in between.
    QDeadlineTimer deadline(10000);
    for (;;) {
        readLines();
        for (qsizetype i = 0; i < m_lines.size(); ++i) {
            if (!m_lines.at(i).startsWith(QStringLiteral("got ")))
                return m_lines.takeAt(i);
        }
        if (deadline.hasExpired() || !m_process.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime()))))
            return {};
    }
}

QString JukeboxProcess::waitLine(const QString &prefix, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        readLines();
        for (qsizetype i = 0; i < m_lines.size(); ++i) {
            if (m_lines.at(i).startsWith(prefix))
                return m_lines.takeAt(i);
        }
        if (deadline.hasExpired() || !m_process.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime()))))
            return {};
    }
}

QStringList JukeboxProcess::takeLines(const QString &prefix)
{
    readLines();
    QStringList taken;
    for (qsizetype i = 0; i < m_lines.size();) {
        if (m_lines.at(i).startsWith(prefix))
            taken << m_lines.takeAt(i);
        else
            ++i;
    }
    return taken;
}

void JukeboxProcess::pump(int timeoutMs)
{
    m_process.waitForReadyRead(timeoutMs);
    readLines();
}

void JukeboxProcess::readLines()
{
    m_partial += m_process.readAllStandardOutput();
    qsizetype end;
    while ((end = m_partial.indexOf('\n')) >= 0) {
        m_lines << QString::fromUtf8(m_partial.left(end));
        m_partial.remove(0, end + 1);
    }
}
