// kurvan-bench-micro: the pure routines the client runs for every message, on their own.
// Besides Google Benchmark's table it prints ROW lines for bench/run.sh: how flat the cost per
// frame stays when a buffer of a million frames is drained.

#include "BenchSupport.h"
#include "common/BitString.h"
#include "common/FieldHelpers.h"
#include "common/IniFile.h"
#include "common/NumberReadings.h"
#include "common/Windows1252.h"
#include "link/Frame.h"
#include "link/MessageSplit.h"
#include "link/Messages.h"
#include "link/ReceiveBuffer.h"

#include <QDir>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <map>
#include <string>

namespace {

const QString kSongPath = QStringLiteral("D:\\Musik\\Rock\\Die_\u00C4rzte\\Schrei_nach_Liebe.mp3");

// N frames of the most frequent notice, back to back, as a burst puts them on the wire.
QByteArray backToBack(qsizetype n)
{
    return FrameMessage(Msg::ChangeCredit).repeated(n);
}

void setPerFrame(benchmark::State &state, qsizetype frames)
{
    // Seconds per frame (shown with an SI prefix: "n" is nanoseconds).
    state.counters["per_frame"] =
        benchmark::Counter(double(frames), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// --- frame ------------------------------------------------------------------------------------

void BM_FrameMessage(benchmark::State &state, const QString &text)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(FrameMessage(text));
}
BENCHMARK_CAPTURE(BM_FrameMessage, command, Msg::AddCredit);
BENCHMARK_CAPTURE(BM_FrameMessage, query, Msg::GetPrefix + Msg::CurrentSong);
BENCHMARK_CAPTURE(BM_FrameMessage, umlaut, Msg::NextTitle);
BENCHMARK_CAPTURE(BM_FrameMessage, text_300, QString(300, u'x'));

void BM_ScanFrame(benchmark::State &state)
{
    const QByteArray frame = FrameMessage(QStringLiteral("CurrentSong|") + kSongPath);
    for (auto _ : state)
        benchmark::DoNotOptimize(ScanFrame(frame));
}
BENCHMARK(BM_ScanFrame);

// What reading the two length bytes costs through the bit-string routines, as ScanFrame does,
// beside plain arithmetic.
void BM_LengthViaBitStrings(benchmark::State &state)
{
    unsigned char high = 0x01, low = 0x2C;
    for (auto _ : state) {
        benchmark::DoNotOptimize(BinToLong(LongToBin(high, 8) + LongToBin(low, 8)));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_LengthViaBitStrings);

void BM_LengthByShift(benchmark::State &state)
{
    unsigned char high = 0x01, low = 0x2C;
    for (auto _ : state) {
        benchmark::DoNotOptimize(high * 256 + low);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_LengthByShift);

// Takes every frame out of one buffer of N back-to-back frames. Each iteration starts from a
// shared copy, so the first removal pays for one copy of the buffer: linear, like the drain.
void BM_ExtractMessageDrain(benchmark::State &state)
{
    const qsizetype n = state.range(0);
    const QByteArray frames = backToBack(n);
    for (auto _ : state) {
        QByteArray buffer = frames;
        qsizetype taken = 0;
        while (!ExtractMessage(buffer).isEmpty())
            ++taken;
        if (taken != n)
            state.SkipWithError("not every frame was taken");
    }
    setPerFrame(state, n);
}
BENCHMARK(BM_ExtractMessageDrain)->RangeMultiplier(10)->Range(1, 1'000'000)->Unit(benchmark::kMicrosecond);

// The same frames through the link's receive buffer, fed as the link feeds it: 64 KiB read from
// the socket, then every complete frame taken, then the next 64 KiB.
void BM_ReceiveBufferDrain(benchmark::State &state)
{
    const qsizetype n = state.range(0);
    const QByteArray frames = backToBack(n);
    constexpr qsizetype kChunk = 64 * 1024;
    for (auto _ : state) {
        ReceiveBuffer buffer;
        qsizetype taken = 0;
        for (qsizetype at = 0; at < frames.size(); at += kChunk) {
            buffer.append(QByteArrayView(frames).sliced(at, qMin(kChunk, frames.size() - at)));
            while (buffer.takeFrame())
                ++taken;
        }
        if (taken != n)
            state.SkipWithError("not every frame was taken");
    }
    setPerFrame(state, n);
}
BENCHMARK(BM_ReceiveBufferDrain)->RangeMultiplier(10)->Range(1, 1'000'000)->Unit(benchmark::kMicrosecond);

// The yardstick for "quadratic": each frame erased from the front by moving the rest down.
// Stops at 10,000 frames; a million would take hours.
void BM_FrontEraseDrain(benchmark::State &state)
{
    const qsizetype n = state.range(0);
    const QByteArray frames = backToBack(n);
    for (auto _ : state) {
        std::string buffer(frames.constData(), size_t(frames.size()));
        qsizetype taken = 0;
        for (;;) {
            const FrameScan scan = ScanFrame(QByteArrayView(buffer.data(), qsizetype(buffer.size())));
            if (!scan.complete)
                break;
            benchmark::DoNotOptimize(QByteArray(buffer.data() + scan.textBegin, scan.textLength));
            buffer.erase(0, size_t(scan.consumed));
            ++taken;
        }
        if (taken != n)
            state.SkipWithError("not every frame was taken");
    }
    setPerFrame(state, n);
}
BENCHMARK(BM_FrontEraseDrain)->RangeMultiplier(10)->Range(1, 10'000)->Unit(benchmark::kMicrosecond);

// --- message split ------------------------------------------------------------------------------

void BM_SplitMessage(benchmark::State &state, const QString &text)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(SplitMessage(text));
}
BENCHMARK_CAPTURE(BM_SplitMessage, answer, QStringLiteral("Credit|12"));
BENCHMARK_CAPTURE(BM_SplitMessage, notice, Msg::ChangeCredit);
BENCHMARK_CAPTURE(BM_SplitMessage, song, QStringLiteral("CurrentSong|") + kSongPath);
BENCHMARK_CAPTURE(BM_SplitMessage, two_bars, QStringLiteral("Credit|1|2"));

// --- common/ --------------------------------------------------------------------------------------

void BM_BinToLong(benchmark::State &state)
{
    const QString digits = QStringLiteral("0000000100101100");
    for (auto _ : state)
        benchmark::DoNotOptimize(BinToLong(digits));
}
BENCHMARK(BM_BinToLong);

void BM_LongToBin(benchmark::State &state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(LongToBin(300, 16));
}
BENCHMARK(BM_LongToBin);

void BM_GetField(benchmark::State &state)
{
    const QString text = QStringLiteral("CurrentSong|") + kSongPath;
    for (auto _ : state)
        benchmark::DoNotOptimize(GetField(text, 2, QStringLiteral("|")));
}
BENCHMARK(BM_GetField);

void BM_CountOccurrences(benchmark::State &state)
{
    const QString text = QStringLiteral("CurrentSong|") + kSongPath;
    for (auto _ : state)
        benchmark::DoNotOptimize(CountOccurrences(text, QStringLiteral("|")));
}
BENCHMARK(BM_CountOccurrences);

void BM_FileNameFromPath(benchmark::State &state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(FileNameFromPath(kSongPath, false));
}
BENCHMARK(BM_FileNameFromPath);

void BM_IsNumber(benchmark::State &state)
{
    const QString text = QStringLiteral("1234");
    for (auto _ : state)
        benchmark::DoNotOptimize(IsNumber(text));
}
BENCHMARK(BM_IsNumber);

void BM_LeadingNumberValue(benchmark::State &state)
{
    const QString text = QStringLiteral(" 51.5 s");
    for (auto _ : state)
        benchmark::DoNotOptimize(LeadingNumberValue(text));
}
BENCHMARK(BM_LeadingNumberValue);

void BM_FullConversion(benchmark::State &state)
{
    const QString text = QStringLiteral("215");
    for (auto _ : state)
        benchmark::DoNotOptimize(FullConversion(text));
}
BENCHMARK(BM_FullConversion);

void BM_ToWindows1252(benchmark::State &state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(ToWindows1252(kSongPath));
}
BENCHMARK(BM_ToWindows1252);

void BM_FromWindows1252(benchmark::State &state)
{
    const QByteArray bytes = ToWindows1252(kSongPath);
    for (auto _ : state)
        benchmark::DoNotOptimize(FromWindows1252(bytes));
}
BENCHMARK(BM_FromWindows1252);

// The settings file: read at every start of the program, written at every connection attempt.
void BM_ReadIni(benchmark::State &state)
{
    QTemporaryDir folder;
    const QString file = QDir(folder.path()).filePath(QStringLiteral("Kurvan.ini"));
    WriteIni(file, QStringLiteral("Settings"), QStringLiteral("LastIP"), QStringLiteral("127.0.0.1"));
    WriteIni(file, QStringLiteral("Settings"), QStringLiteral("Port"), QStringLiteral("7620"));
    for (auto _ : state)
        benchmark::DoNotOptimize(ReadIni(file, QStringLiteral("Settings"), QStringLiteral("Port"), QString()));
}
BENCHMARK(BM_ReadIni)->Unit(benchmark::kMicrosecond);

void BM_WriteIni(benchmark::State &state)
{
    QTemporaryDir folder;
    const QString file = QDir(folder.path()).filePath(QStringLiteral("Kurvan.ini"));
    WriteIni(file, QStringLiteral("Settings"), QStringLiteral("LastIP"), QStringLiteral("127.0.0.1"));
    int port = 7620;
    for (auto _ : state)
        WriteIni(file, QStringLiteral("Settings"), QStringLiteral("Port"), QString::number(port++ % 10000));
}
BENCHMARK(BM_WriteIni)->Unit(benchmark::kMicrosecond);

// Keeps the per-frame figures of the drains for the flatness rows.
class FlatnessReporter : public benchmark::ConsoleReporter
{
public:
    // Plain text: the output is read by bench/run.sh and copied into the report.
    FlatnessReporter() : ConsoleReporter(OO_Tabular) {}

    void ReportRuns(const std::vector<Run> &runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run &run : runs) {
            if (run.error_occurred || run.run_type != Run::RT_Iteration)
                continue;
            const auto counter = run.counters.find("per_frame");
            if (counter != run.counters.end())
                perFrame[run.benchmark_name()] = counter->second.value;
        }
    }
    std::map<std::string, double> perFrame;
};

void flatnessRow(const FlatnessReporter &reporter, const char *bench, const QString &what, long large, long small,
                 double goal)
{
    const auto at = [&](long n) {
        const auto it = reporter.perFrame.find(std::string(bench) + "/" + std::to_string(n));
        return it == reporter.perFrame.end() ? 0.0 : it->second * 1e9;
    };
    const double big = at(large);
    const double base = at(small);
    if (big <= 0 || base <= 0)
        return;
    const QString goalText = goal > 0 ? QStringLiteral("flat: <= %1x").arg(goal) : QStringLiteral("-");
    Bench::printRow({QStringLiteral("1 %1, per frame at N = %2").arg(what).arg(large),
                     QString::number(big, 'f', 1) + QStringLiteral(" ns"), QStringLiteral("same at N = %1").arg(small),
                     QString::number(base, 'f', 1) + QStringLiteral(" ns"), big / base, goalText,
                     goal > 0 ? Bench::verdict(big <= goal * base) : QString()});
}

} // namespace

int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    FlatnessReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    // A drain whose cost per frame grows with N is quadratic: a thousand times more frames, a
    // thousand times the cost of each. Twice the cost allows for caches the small case fits in.
    flatnessRow(reporter, "BM_ExtractMessageDrain", QStringLiteral("ExtractMessage drain"), 1'000'000, 1'000, 2.0);
    flatnessRow(reporter, "BM_ReceiveBufferDrain", QStringLiteral("ReceiveBuffer drain (as the link reads)"), 1'000'000,
                1'000, 2.0);
    flatnessRow(reporter, "BM_FrontEraseDrain", QStringLiteral("front-erase drain (quadratic yardstick)"), 10'000,
                1'000, 0);
    return 0;
}
