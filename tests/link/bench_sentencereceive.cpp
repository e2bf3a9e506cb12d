// Receive path throughput: bytes read -> verified, queued sentences.
#include "Crc8.h"
#include "FeedTransport.h"
#include "Y5ProtocolHandler.h"

#include <benchmark/benchmark.h>

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
    for (auto _ : state) {
        for (const QByteArray& r : reads)
            t.feed(r);
        while (h.getSentence(s))
            benchmark::DoNotOptimize(s);
    }
    const double perSecond = double(state.iterations()) * sentences;
    state.counters["sentences/s"] = benchmark::Counter(perSecond, benchmark::Counter::kIsRate);
    state.counters["bytes/s"] = benchmark::Counter(double(state.iterations()) * stream.size(), benchmark::Counter::kIsRate);
    // 57600 baud carries 5,760 bytes a second.
    state.counters["x_line_rate"] =
        benchmark::Counter(double(state.iterations()) * stream.size() / 5760.0, benchmark::Counter::kIsRate);
    setLogSink(nullptr);
}
BENCHMARK(BM_ReceivePath);

BENCHMARK_MAIN();
