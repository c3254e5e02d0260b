#include "BenchSupport.h"

#include <QDir>
#include <QFile>
#include <QTextStream>

#include <sys/resource.h>
#include <time.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace Bench {

std::int64_t nowNs()
{
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return std::int64_t(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto s = [](const timeval &t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    return s(usage.ru_utime) + s(usage.ru_stime);
}

double cpuSecondsOf(qint64 pid)
{
    // /proc/<pid>/stat counts in clock ticks (10 ms); schedstat's first field is the exact run
    // time of one thread in ns, so sum it over the threads.
    const QDir tasks(QStringLiteral("/proc/%1/task").arg(pid));
    if (!tasks.exists())
        return -1;
    double total = 0;
    for (const QString &tid : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile file(tasks.filePath(tid + QStringLiteral("/schedstat")));
        if (!file.open(QIODevice::ReadOnly))
            continue;
        total += file.readAll().split(' ').value(0).toDouble() / 1e9;
    }
    return total;
}

qint64 statusKb(qint64 pid, const char *field)
{
    QFile file(pid == 0 ? QStringLiteral("/proc/self/status") : QStringLiteral("/proc/%1/status").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray key = QByteArray(field) + ':';
    for (const QByteArray &line : file.readAll().split('\n')) {
        if (line.startsWith(key))
            return line.mid(key.size()).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

bool resetPeakRss()
{
    QFile file(QStringLiteral("/proc/self/clear_refs"));
    return file.open(QIODevice::WriteOnly) && file.write("5") == 1;
}

Summary summarize(QList<double> samples)
{
    Summary s;
    if (samples.isEmpty())
        return s;
    std::sort(samples.begin(), samples.end());
    const auto at = [&](double q) {
        const auto rank = static_cast<qsizetype>(std::ceil(q * double(samples.size())));
        return samples.at(std::clamp<qsizetype>(rank - 1, 0, samples.size() - 1));
    };
    s.median = at(0.5);
    s.p99 = at(0.99);
    s.min = samples.first();
    s.count = int(samples.size());
    return s;
}

void printRow(const Row &row)
{
    // Two decimals, or two significant digits for the tiny ratios of the waiting CPU.
    const QString ratio = row.ratio <= 0    ? QStringLiteral("-")
                          : row.ratio < 0.1 ? QString::number(row.ratio, 'g', 2) + u'x'
                                            : QString::number(row.ratio, 'f', 2) + u'x';
    const QStringList cells{
        QStringLiteral("ROW"), row.item, row.kurvan, row.against,
        row.baseline,          ratio,    row.goal,   row.goalMet.isEmpty() ? QStringLiteral("-") : row.goalMet};
    std::fputs((cells.join(u'\t') + u'\n').toUtf8().constData(), stdout);
    std::fflush(stdout);
}

void printNote(const QString &text)
{
    std::fputs((QStringLiteral("NOTE\t") + text + u'\n').toUtf8().constData(), stdout);
    std::fflush(stdout);
}

QString micros(double ns)
{
    return QString::number(ns / 1e3, 'f', 1) + QStringLiteral(" µs");
}

QString millis(double ns)
{
    return QString::number(ns / 1e6, 'f', 2) + QStringLiteral(" ms");
}

QString seconds(double s, int decimals)
{
    return QString::number(s, 'f', decimals) + QStringLiteral(" s");
}

QString mebibytes(qint64 kb)
{
    return QString::number(double(kb) / 1024.0, 'f', 1) + QStringLiteral(" MiB");
}

} // namespace Bench
