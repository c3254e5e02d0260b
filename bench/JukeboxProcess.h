#pragma once

#include <QProcess>
#include <QStringList>

// kurvan-bench-jukebox as a child process: its ports, its commands and the lines it reports.
class JukeboxProcess
{
public:
    ~JukeboxProcess();

    // Starts the program and waits for its ports; false (with a message on stderr) on failure.
    bool start(const QString &program);
    quint16 simPort() const { return m_simPort; }
    quint16 barePort() const { return m_barePort; }

    // Sends one command line and returns the first line of its answer; empty after a time-out.
    QString command(const QString &line);
    // The first line starting with prefix, waiting for it up to timeoutMs; lines before it that
    // do not match are kept for takeLines(). Empty after a time-out.
    QString waitLine(const QString &prefix, int timeoutMs = 10000);
    // Every line received so far that starts with prefix, removed from the store.
    QStringList takeLines(const QString &prefix);
    // Without an event loop running, output is read only here (and by the waits above): waits
    // up to timeoutMs for some.
    void pump(int timeoutMs);

private:
    void readLines();

    QProcess m_process;
    QByteArray m_partial;
    QStringList m_lines;
    quint16 m_simPort = 0;
    quint16 m_barePort = 0;
};
