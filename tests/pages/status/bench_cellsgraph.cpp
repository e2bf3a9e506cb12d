#include "CCellsGraph.h"
#include "CellStringLayout.h"
#include "GroupedCellsGraph.h"

#include <QApplication>
#include <QImage>
#include <QPainter>

#include <benchmark/benchmark.h>

// One full repaint of the largest layout (31 strings of 32 cells) into an
// offscreen image, with a realistic mix of readings, gaps and broken wires.

namespace {

constexpr int kStrings = kMaxCellStrings;
constexpr int kCells = 32;

void fillLayout()
{
    setCellStringCount(kStrings);
    for (int s = 0; s < kStrings; ++s) {
        setCellsInString(s, kCells);
        setWireBreakWord(s, 0, (s % 5 == 0) ? 0x00010001u : 0u);
    }
}

void setUpVoltage(CCellsGraph& g)
{
    g.rangeMin = 2.0f;
    g.rangeMax = 5.0f;
    g.minSpan = 0.5f;
    g.decimals = {2};
    g.units = QStringList{QStringLiteral(" V")};
    g.setAlarmColoring(true);
    g.setAlarmBlending(true);
    g.setAlarmRange(280, 365);
    g.resize(1600, 400);
}

void BM_VoltageGraphRepaint(benchmark::State& state)
{
    CCellsGraph g;
    setUpVoltage(g);
    g.setWireBreakMarks(true);
    fillLayout();
    for (int s = 0; s < kStrings; ++s)
        for (int j = 0; j < kCells; ++j)
            g.addValue(s, j, (j % 17 == 3) ? INVALID_CELL_VALUE : 3.2f + 0.01f * float((s * kCells + j) % 40));
    QImage img(g.size(), QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        g.render(&img);
        benchmark::DoNotOptimize(img.bits());
    }
    state.counters["cells"] = kStrings * kCells;
}
BENCHMARK(BM_VoltageGraphRepaint)->Unit(benchmark::kMillisecond);

void BM_GroupedGraphRepaint(benchmark::State& state)
{
    GroupedCellsGraph g;
    setUpVoltage(g);
    g.rangeMin = -40.0f;
    g.rangeMax = 150.0f;
    g.minSpan = 10.0f;
    g.minHalfSpan = 4.0f;
    g.setAlarmRange(1000, 4000);
    g.setGroupSize(2);
    g.valueFactors = {1.0f, 1.0f};
    fillLayout();
    for (int s = 0; s < kStrings; ++s)
        for (int j = 0; j < kCells; ++j) {
            g.addValue(s, j, 0, 20.0f + float(j % 7));
            if (j % 9 != 0)
                g.addValue(s, j, 1, 18.0f + float(s % 5));
        }
    QImage img(g.size(), QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        g.render(&img);
        benchmark::DoNotOptimize(img.bits());
    }
    state.counters["cells"] = kStrings * kCells;
}
BENCHMARK(BM_GroupedGraphRepaint)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
