// Receive path throughput: bytes read -> verified, queued sentences.
#include "Crc8.h"
#include "FeedTransport.h"
#include "Y5ProtocolHandler.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>

namespace {
// Figures of the last run, for the summary line.
double g_sentencesPerSecond = 0;
double g_bytesPerSecond = 0;
} // namespace

static void BM_ReceivePath(benchmark::State& state)
{
    setLogSink([](const QString&, int) {});
    // A realistic mix of status replies, cut into reads of 64 bytes.
    QByteArray stream;
    int sentences = 0;
    for (int i = 0; i < 200; ++i) {
        stream += frameSentence(QStringLiteral("CF2,%1,").arg(i, 4, 16, QLatin1Char('0')).toUpper(),
                                QStringLiteral("%1").arg(i * 977, 8, 16, QLatin1Char('0')).toUpper());
        stream += frameSentence("SS1,", QStringLiteral("%1,1F,2E,3D,4C,5B").arg(i));
        sentences += 2;
    }
    QByteArrayList reads;
    for (int i = 0; i < stream.size(); i += 64)
        reads << stream.mid(i, 64);

    FeedTransport t;
    Y5ProtocolHandler h(&t);
    QObject::connect(&t, &CommunicatorBase::sigDataReceived, &h, &Y5ProtocolHandler::slotDataReceived,
                     Qt::DirectConnection);
    QString s;
    const auto started = std::chrono::steady_clock::now();
    for (auto _ : state) {
        for (const QByteArray& r : reads)
            t.feed(r);
        while (h.getSentence(s))
            benchmark::DoNotOptimize(s);
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    g_sentencesPerSecond = double(state.iterations()) * sentences / seconds;
    g_bytesPerSecond = double(state.iterations()) * stream.size() / seconds;
    state.counters["sentences/s"] =
        benchmark::Counter(double(state.iterations()) * sentences, benchmark::Counter::kIsRate);
    setLogSink(nullptr);
}
BENCHMARK(BM_ReceivePath);

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    // 57600 baud carries 5,760 bytes a second.
    std::printf("receive path: %.0f sentences/s on one core = %.0f x the 57600-baud line rate (5,760 bytes/s)\n",
                g_sentencesPerSecond, g_bytesPerSecond / 5760.0);
    return 0;
}
