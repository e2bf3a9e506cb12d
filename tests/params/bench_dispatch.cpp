// How fast received status sentences reach their labels, against the link's
// wire rate (57600 baud, 10 bits a byte: 5760 bytes/s).

#include "Param.h"
#include "SentenceMaps.h"

#include <QApplication>
#include <QLabel>

#include <benchmark/benchmark.h>

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

void BM_DispatchStatusToLabels(benchmark::State& state)
{
    g_distanceUnit = QStringLiteral("km");
    CSntcMap map;
    std::vector<std::unique_ptr<QLabel>> labels;
    std::vector<std::unique_ptr<Param>> params;
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

    std::vector<QString> sentences;
    int64_t wireBytesPerCycle = 0;
    for (const char* s : kSentences) {
        sentences.push_back(QString::fromLatin1(s));
        wireBytesPerCycle += int64_t(qstrlen(s)) + 4; // ",XX" check suffix and CR
    }

    int64_t cycles = 0;
    for (auto _ : state) {
        for (const QString& s : sentences)
            map.dispatch(s);
        ++cycles;
    }
    const double sentencesDone = double(cycles) * double(sentences.size());
    const double bytesDone = double(cycles) * double(wireBytesPerCycle);
    state.SetItemsProcessed(int64_t(sentencesDone));
    state.SetBytesProcessed(int64_t(bytesDone));
    state.counters["sentences_per_s"] = benchmark::Counter(sentencesDone, benchmark::Counter::kIsRate);
    state.counters["x_wire_rate"] = benchmark::Counter(bytesDone / kWireBytesPerSecond, benchmark::Counter::kIsRate);
    state.counters["labels"] = double(params.size());
}
BENCHMARK(BM_DispatchStatusToLabels);

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
