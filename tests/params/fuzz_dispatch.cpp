// Any received line through the dispatch maps into every value type on every
// widget kind: no crash, no read past the field list, no cell outside the
// layout (the fake graphs abort on one).

#include "CellStringLayout.h"
#include "Param.h"
#include "SentenceMaps.h"
#include "TestSinks.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QLoggingCategory>
#include <QPlainTextEdit>
#include <QSpinBox>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace {

const char* const kNames[] = {"ST1", "BV2", "BT2", "BB2", "BV4", "BT4", "BB4", "LG1", "SS1", "XX9"};
const int kKinds[] = {ParamWidgetKind::Label,      ParamWidgetKind::LineEdit,
                      ParamWidgetKind::SpinBox,    ParamWidgetKind::ComboBox,
                      ParamWidgetKind::CellsGraph, ParamWidgetKind::GroupedCellsGraph,
                      ParamWidgetKind::TextEdit,   ParamWidgetKind::EventsView,
                      ParamWidgetKind::StatisticsView};
const int kFields[] = {-1, 0, 3, 5, 8};

struct Harness
{
    CSntcMap map;
    std::vector<std::unique_ptr<QWidget>> widgets;
    std::vector<std::unique_ptr<Param>> params;
    std::vector<FakeCellGraph*> graphs;
    std::vector<FakeGroupedGraph*> groupedGraphs;
    std::vector<FakeEventsView*> eventViews;
    std::vector<FakeStatisticsView*> statisticsViews;
    std::vector<QPlainTextEdit*> textEdits;

    QWidget* makeWidget(int kind)
    {
        switch (kind) {
        case ParamWidgetKind::LineEdit:
            return new QLineEdit;
        case ParamWidgetKind::SpinBox:
            return new QSpinBox;
        case ParamWidgetKind::ComboBox: {
            auto* combo = new QComboBox;
            combo->addItems({"a", "b", "c"});
            return combo;
        }
        case ParamWidgetKind::CellsGraph:
            graphs.push_back(new FakeCellGraph);
            return graphs.back();
        case ParamWidgetKind::GroupedCellsGraph:
            groupedGraphs.push_back(new FakeGroupedGraph);
            return groupedGraphs.back();
        case ParamWidgetKind::TextEdit: {
            textEdits.push_back(new QPlainTextEdit);
            textEdits.back()->setUndoRedoEnabled(false);
            return textEdits.back();
        }
        case ParamWidgetKind::EventsView:
            eventViews.push_back(new FakeEventsView);
            return eventViews.back();
        case ParamWidgetKind::StatisticsView:
            statisticsViews.push_back(new FakeStatisticsView);
            return statisticsViews.back();
        default: {
            auto* label = new QLabel;
            label->setTextFormat(Qt::PlainText);
            return label;
        }
        }
    }

    Harness()
    {
        resetCellLayoutForGraph();
        setCellStringCount(3);
        setCellsInString(0, 10);
        setCellsInString(1, 20);
        setCellsInString(2, 5);
        g_distanceUnit = QStringLiteral("km");
        setPinFunctionQuery([](int function) { return function % 2 == 0; });

        for (int type = 0; type <= 18; ++type) {
            for (int kind : kKinds) {
                widgets.emplace_back(makeWidget(kind));
                auto p = std::make_unique<Param>();
                p->valueType = type;
                p->widgetKind = kind;
                p->widget = widgets.back().get();
                p->offset = type % 2 ? -40 : 35;
                p->scale = 0.1;
                p->decimals = 2;
                p->unit = QStringLiteral(" [DU]/h");
                p->addValueName(0, QStringLiteral("OFF"));
                p->addValueName(1, QStringLiteral("ON"));
                p->addValueName(-100, QStringLiteral("low"));
                if (type == ParamValueType::HexFlags) {
                    p->bitNames.insert(0, QStringLiteral("A"));
                    p->bitNames.insert(33, QStringLiteral("B"));
                    p->bitNames.insert(-1, QStringLiteral("C"));
                    p->noFlagText = QStringLiteral("none");
                }
                for (const char* name : kNames)
                    for (int field : kFields)
                        map.addHandler(QString::fromLatin1(name), field, p.get());
                params.push_back(std::move(p));
            }
        }
    }

    void clearRecords()
    {
        for (auto* g : graphs)
            g->calls.clear();
        for (auto* g : groupedGraphs)
            g->calls.clear();
        for (auto* v : eventViews)
            v->replies.clear();
        for (auto* v : statisticsViews)
            v->replies.clear();
        // Emptied after each input: a growing document would look like a leak.
        for (auto* e : textEdits)
            e->clear();
        QCoreApplication::sendPostedEvents();
    }
};

Harness* g_harness = nullptr;

} // namespace

// Leaks inside the system libraries Qt loads lazily (fonts, the offscreen
// platform), as in tests/lsan.supp.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libfontconfig\nleak:libfreetype\nleak:libglib\nleak:libdbus\nleak:libqoffscreen\n";
}

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QLoggingCategory::setFilterRules(QStringLiteral("bms.params.debug=false"));
    static QApplication app(*argc, *argv);
    static Harness harness;
    g_harness = &harness;
    // Let Qt load its fonts and caches before the first input is judged.
    for (const char* name : kNames)
        harness.map.dispatch(QString::fromLatin1(name) + QStringLiteral(",1,2,3,4,5,6,7,8,9"));
    harness.clearRecords();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > 4096)
        return 0;
    const QString line = QString::fromLatin1(reinterpret_cast<const char*>(data), int(size));
    g_harness->map.dispatch(line);
    if (size > 0) {
        // The first byte picks a registered name, so most inputs reach parameters.
        const QString named = QString::fromLatin1(kNames[data[0] % (sizeof kNames / sizeof kNames[0])]) +
                              QLatin1Char(',') + line.mid(1);
        g_harness->map.dispatch(named);
    }
    g_harness->clearRecords();
    return 0;
}
