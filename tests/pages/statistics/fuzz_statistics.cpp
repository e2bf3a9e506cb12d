// Feeds arbitrary reply texts to the event log and statistics views and
// arbitrary stores to the import's write-back rule, as a damaged link or a
// hand-edited settings file could. Reads outside the tables, runaway row
// counts and crashes show up under the sanitizers.
#include "MyEventsView.h"
#include "StatisticsLogic.h"
#include "StatisticsView.h"

#include <QApplication>
#include <QStandardItemModel>

#include <cstdint>
#include <cstdlib>

namespace {
QApplication* g_app = nullptr;
MyEventsView* g_events = nullptr;
StatisticsView* g_statistics = nullptr;
} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // Lives until the process ends: the offscreen plugin leaks its screen
    // when the application object is destroyed.
    g_app = new QApplication(*argc, *argv);
    g_events = new MyEventsView;
    g_statistics = new StatisticsView;
    g_statistics->setContext({[] { return QStringLiteral("2.5.0_SCiB"); }, [] { return false; }});
    // One row of each, so that fonts and caches load before the first input.
    g_events->updateEvents(QStringLiteral("0,1,0,0"));
    g_statistics->updateStatistics(QStringLiteral("13,0,1,00000E10"));
    g_events->clearEvents();
    return 0;
}

// The same system libraries as in the test suite's suppressions.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libfontconfig\nleak:libfreetype\nleak:libglib\nleak:libdbus\n";
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QStringList lines =
        QString::fromLatin1(reinterpret_cast<const char*>(data), int(size)).split(QLatin1Char('\n'));
    QStringList saved, device;
    for (const QString& line : lines) {
        const QString rest = line.mid(1);
        switch (line.isEmpty() ? 0 : line.at(0).unicode() % 4) {
        case 0:
            g_events->updateEvents(rest);
            break;
        case 1:
            g_statistics->updateStatistics(rest);
            break;
        case 2:
            saved << QStringLiteral("SS1,") + rest;
            break;
        default:
            device << QStringLiteral("SS1,") + rest;
            break;
        }
    }
    StatisticsLogic::restoreSentences(saved, device, true);
    if (g_events->eventModel()->rowCount() > MyEventsView::kMaxLogIndex + 1)
        std::abort();
    if (g_events->keptRowTexts().size() > MyEventsView::kMaxLogIndex + 1)
        std::abort();
    // Keep each run small: start from an empty log now and then.
    if (g_events->eventModel()->rowCount() > 4096)
        g_events->clearEvents();
    return 0;
}
