#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <cstdint>

// Small pieces every measuring program shares: one clock for all processes, CPU time, summary
// statistics, the rows of the result table, and reading memory figures from /proc.

namespace Bench {

// Nanoseconds of CLOCK_MONOTONIC. The clock is the same in every process of the machine, so a
// time taken in the simulator can be subtracted from one taken here.
std::int64_t nowNs();

// User plus system CPU seconds of this whole process so far (getrusage, every thread).
double cpuSeconds();
// CPU seconds of another process, all its threads, from the scheduler's nanosecond counters;
// a negative value when the process is gone.
double cpuSecondsOf(qint64 pid);

// A figure from /proc/<pid>/status in kB ("VmRSS", "VmHWM"); -1 when missing. pid 0 is this
// process.
qint64 statusKb(qint64 pid, const char *field);
// Sets this process's peak resident size back to its present size (Linux clear_refs "5");
// false when the kernel refuses.
bool resetPeakRss();

struct Summary
{
    double median = 0;
    double p99 = 0;
    double min = 0;
    int count = 0;
};
// Median and 99th percentile (nearest rank) of samples; all zero for none.
Summary summarize(QList<double> samples);

// One line of the result table, printed as a tab-separated "ROW" line on stdout that run.sh
// collects. ratio <= 0 prints as "-"; goalMet is "met", "missed" or "-" (no goal set).
struct Row
{
    QString item;    // "2 Query round trip, median"
    QString kurvan;  // measured figure of the client, with its unit
    QString against; // the baseline's name
    QString baseline;
    double ratio = 0;
    QString goal;
    QString goalMet;
};
void printRow(const Row &row);
// A free-text line for the details section of the report.
void printNote(const QString &text);

QString micros(double ns);
QString millis(double ns);
QString seconds(double s, int decimals = 3);
QString mebibytes(qint64 kb);
inline QString verdict(bool met)
{
    return met ? QStringLiteral("met") : QStringLiteral("missed");
}

} // namespace Bench
