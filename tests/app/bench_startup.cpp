#include "BmsGui.h"
#include "StartupRules.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFont>
#include <QFontDatabase>
#include <QStandardPaths>
#include <QTest>

#include <benchmark/benchmark.h>

// Start to first window: the main window is built with the program's style
// sheet and font, and the event loop runs until the window is on screen.
// ratio = time / 1 s.

namespace {

void BM_StartToFirstWindow(benchmark::State& state)
{
    double total = 0;
    for (auto _ : state) {
        QElapsedTimer clock;
        clock.start();
        auto* window = new BMS_GUI;
        while (!window->isVisible())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        if (!QTest::qWaitForWindowExposed(window, 20000))
            state.SkipWithError("the window was not exposed");
        const double seconds = clock.nsecsElapsed() / 1e9;
        state.SetIterationTime(seconds);
        total += seconds;
        delete window;
        QCoreApplication::processEvents();
    }
    // The mean time against the bound of 1 s.
    state.counters["ratio"] = benchmark::Counter(total, benchmark::Counter::kAvgIterations);
}
// Few iterations: every one builds the whole window.
BENCHMARK(BM_StartToFirstWindow)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

} // namespace

int main(int argc, char** argv)
{
    // The program's settings stay untouched.
    QStandardPaths::setTestModeEnabled(true);
    QGuiApplication::setDesktopSettingsAware(false);
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QLatin1String(kOrganisationName));
    QCoreApplication::setApplicationName(QLatin1String(kApplicationName));
    QFontDatabase::addApplicationFont(QStringLiteral(":/tahoma.ttf"));
    QApplication::setFont(QFont(QStringLiteral("Tahoma"), 8));
    QString styleSheet;
    if (!readStyleSheet(QStringLiteral(":/stylesheet.css"), &styleSheet))
        return 1;
    app.setStyleSheet(styleSheet);

    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
