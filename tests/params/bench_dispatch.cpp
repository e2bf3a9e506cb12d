// How fast received status sentences reach their labels, against the link's
// wire rate (57600 baud, 10 bits a byte: 5760 bytes/s): dispatch alone, and
// the whole receive path (reads -> checked lines -> queue -> root map).

#include "../link/FeedTransport.h"
#include "Crc8.h"
#include "Param.h"
#include "SentenceMaps.h"
#include "Y5ProtocolHandler.h"

#include <QApplication>
#include <QLabel>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

constexpr double kWireBytesPerSecond = 5760.0;

struct Binding
{
    const char* sentence;
    int field;
    int type;
    int offset;
    double scale;
    int decimals;
    const char* unit;
    bool flags;
};

// A status page's worth of labels on three status sentences.
const Binding kBindings[] = {
    {"ST1", 0, ParamValueType::UnsignedScaled, 0, 0.01, 2, " V", false},
    {"ST1", 1, ParamValueType::SignedScaled, 0, 0.1, 1, " A", false},
    {"ST1", 2, ParamValueType::UnsignedScaled, 0, 0.1, 1, " %", false},
    {"ST1", 3, ParamValueType::UnsignedScaled, 0, 0.1, 1, " %", false},
    {"ST1", 4, ParamValueType::SignedScaled, -40, 1.0, 0, " \xB0""C", false},
    {"ST1", 5, ParamValueType::HexFlags, 0, 1.0, 0, "", true},
    {"ST1", 5, ParamValueType::Bit, 2, 1.0, 0, "", false},
    {"ST1", 5, ParamValueType::Bit, 3, 1.0, 0, "", false},
    {"ST1", 5, ParamValueType::Bit, 4, 1.0, 0, "", false},
    {"ST1", 6, ParamValueType::Hex, 0, 1.0, 0, "", false},
    {"ST1", 7, ParamValueType::Duration, 0, 1.0, 0, "", false},
    {"ST1", 8, ParamValueType::HexFlags, 0, 1.0, 0, "", true},
    {"ST1", 9, ParamValueType::UnsignedScaled, 0, 0.001, 3, " V", false},
    {"ST1", 10, ParamValueType::UnsignedScaled, 0, 0.001, 3, " V", false},
    {"ST1", 11, ParamValueType::SignedScaled, -40, 1.0, 0, " \xB0""C", false},
    {"ST1", 12, ParamValueType::SignedScaled, -40, 1.0, 0, " \xB0""C", false},
    {"ST1", 13, ParamValueType::UnsignedScaled, 0, 0.1, 1, " [DU]", false},
    {"CV1", 0, ParamValueType::SignedScaled, 0, 1.0, 0, "", false},
    {"CV1", 1, ParamValueType::SignedScaled, 0, 1.0, 0, "", false},
    {"CV1", 2, ParamValueType::SignedScaled, 0, 1.0, 0, "", false},
    {"CV1", 3, ParamValueType::SignedScaled, 0, 1.0, 0, "", false},
    {"CV1", 4, ParamValueType::Float, 0, 1.0, 5, "", false},
    {"CV1", 5, ParamValueType::Float, 0, 1.0, 5, "", false},
    {"CV1", 6, ParamValueType::SignedScaled, 0, 0.001, 3, " A", false},
    {"SE1", 0, ParamValueType::UnsignedScaled, 0, 0.01, 2, " %", false},
    {"SE1", 1, ParamValueType::UnsignedScaled, 0, 0.01, 2, " %", false},
    {"SE1", 2, ParamValueType::SignedScaled, 0, 0.1, 1, " mV", false},
    {"SE1", 3, ParamValueType::Double, 0, 1.0, 6, "", false},
    {"SE1", 4, ParamValueType::Decimal, 0, 1.0, 0, "", false},
    {"SE1", 5, ParamValueType::Text, 0, 1.0, 0, "", false},
};

// Two readings of each sentence, so that every label changes every time.
const char* const kSentences[] = {
    "ST1,14B4,FF9C,1F40,2328,0041,1234,0005,0001E240,00AB,0CE4,0CDA,3C,3E,04D2",
    "CV1,FF38,00C8,7FFE,8001,3F800000,C0200000,FFFFF830",
    "SE1,1F40,2328,FF6A,3FF0000000000000,17,ready",
    "ST1,14B5,FF9B,1F3F,2327,0042,1235,0004,0001E241,00AC,0CE5,0CDB,3D,3F,04D3",
    "CV1,FF37,00C9,7FFD,8002,3F800001,C0200001,FFFFF831",
    "SE1,1F41,2329,FF6B,3FF0000000000001,18,ready2",
};

// The labels of kBindings on a root map.
struct LabelPage
{
    CSntcMap map;
    std::vector<std::unique_ptr<QLabel>> labels;
    std::vector<std::unique_ptr<Param>> params;

    LabelPage()
    {
        g_distanceUnit = QStringLiteral("km");
        for (const Binding& b : kBindings) {
            labels.push_back(std::make_unique<QLabel>());
            auto p = std::make_unique<Param>();
            p->sentenceName = QString::fromLatin1(b.sentence);
            p->fieldIndex = b.field;
            p->valueType = b.type;
            p->offset = b.offset;
            p->scale = b.scale;
            p->decimals = b.decimals;
            p->unit = QString::fromLatin1(b.unit);
            p->widget = labels.back().get();
            p->widgetKind = ParamWidgetKind::Label;
            p->addValueName(0, QStringLiteral("OFF"));
            p->addValueName(1, QStringLiteral("ON"));
            if (b.flags) {
                for (int bit = 0; bit < 16; ++bit)
                    p->bitNames.insert(bit, QStringLiteral("Flag %1").arg(bit));
                p->noFlagText = QStringLiteral("No flags");
            }
            map.addHandler(p->sentenceName, p->fieldIndex, p.get());
            params.push_back(std::move(p));
        }
    }
};

struct Figures
{
    double sentencesPerSecond = 0;
    double wireMultiple = 0;
};
Figures g_dispatchFigures;
Figures g_receiveFigures;

void report(benchmark::State& state, double sentences, double wireBytes, double seconds, Figures* figures)
{
    state.SetItemsProcessed(int64_t(sentences));
    state.SetBytesProcessed(int64_t(wireBytes));
    state.counters["sentences_per_s"] = benchmark::Counter(sentences, benchmark::Counter::kIsRate);
    // Multiple of the wire rate (the counter shows it "per second").
    state.counters["x_wire_rate"] = benchmark::Counter(wireBytes / kWireBytesPerSecond, benchmark::Counter::kIsRate);
    figures->sentencesPerSecond = sentences / seconds;
    figures->wireMultiple = wireBytes / seconds / kWireBytesPerSecond;
}

void BM_DispatchStatusToLabels(benchmark::State& state)
{
    LabelPage page;
    std::vector<QString> sentences;
    int64_t wireBytesPerCycle = 0;
    for (const char* s : kSentences) {
        sentences.push_back(QString::fromLatin1(s));
        wireBytesPerCycle += int64_t(qstrlen(s)) + 4; // ",XX" check suffix and CR
    }

    const auto started = std::chrono::steady_clock::now();
    for (auto _ : state) {
        for (const QString& s : sentences)
            page.map.dispatch(s);
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    const double cycles = double(state.iterations());
    report(state, cycles * double(sentences.size()), cycles * double(wireBytesPerCycle), seconds,
           &g_dispatchFigures);
}
BENCHMARK(BM_DispatchStatusToLabels);

// Framed lines cut into 64-byte reads, through the real receive path and the
// pump's loop into the root map.
void BM_ReceiveAndDispatchToLabels(benchmark::State& state)
{
    setLogSink([](const QString&, int) {});
    LabelPage page;
    QByteArray stream;
    for (const char* s : kSentences) {
        const QString text = QString::fromLatin1(s);
        const int comma = text.indexOf(QLatin1Char(','));
        stream += frameSentence(text.left(comma + 1), text.mid(comma + 1));
    }
    QByteArrayList reads;
    for (int i = 0; i < stream.size(); i += 64)
        reads << stream.mid(i, 64);

    FeedTransport transport;
    Y5ProtocolHandler handler(&transport);
    QObject::connect(&transport, &CommunicatorBase::sigDataReceived, &handler,
                     &Y5ProtocolHandler::slotDataReceived, Qt::DirectConnection);
    QString line;
    const auto started = std::chrono::steady_clock::now();
    for (auto _ : state) {
        for (const QByteArray& r : reads)
            transport.feed(r);
        while (handler.getSentence(line))
            page.map.dispatch(line);
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    const double cycles = double(state.iterations());
    report(state, cycles * double(sizeof kSentences / sizeof kSentences[0]), cycles * double(stream.size()), seconds,
           &g_receiveFigures);
    setLogSink(nullptr);
}
BENCHMARK(BM_ReceiveAndDispatchToLabels);

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::printf("dispatch to labels: %.0f sentences/s on one core = %.0f x the 57600-baud line rate (5,760 bytes/s)\n",
                g_dispatchFigures.sentencesPerSecond, g_dispatchFigures.wireMultiple);
    std::printf("receive path + dispatch to labels: %.0f sentences/s = %.0f x the line rate\n",
                g_receiveFigures.sentencesPerSecond, g_receiveFigures.wireMultiple);
    return 0;
}
