// The cell graphs in an offscreen window, bound as the Cells tab binds them,
// fed by cell sentences from the control-unit emulator through the real
// serial transport, the protocol handler and the sentence dispatch.

#include "CCellsGraph.h"
#include "CellStringLayout.h"
#include "ControlUnitSim.h"
#include "GraphPixels.h"
#include "GroupedCellsGraph.h"
#include "SimLink.h"
#include "Param.h"
#include "PortList.h"
#include "SentenceMaps.h"
#include "Y5ProtocolHandler.h"

#include <QImage>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QVBoxLayout>

#include <iterator>
#include <memory>
#include <vector>

namespace {

constexpr int kStrings = 2;
constexpr int kCells = 8;

// The three graphs of the Cells tab that matter here, with their settings.
struct CellsWindow
{
    QWidget window;
    QVBoxLayout* box = new QVBoxLayout(&window);
    CCellsGraph* voltage = new CCellsGraph;
    CCellsGraph* temperature = new CCellsGraph;
    GroupedCellsGraph* grouped = new GroupedCellsGraph;
    CSntcMap root;
    std::vector<std::unique_ptr<Param>> params;

    CellsWindow()
    {
        voltage->rangeMin = 2.0f;
        voltage->rangeMax = 5.0f;
        voltage->minSpan = 0.5f;
        voltage->minHalfSpan = 0.05f;
        voltage->decimals = {2};
        voltage->units = QStringList{QStringLiteral(" V")};
        voltage->setAlarmColoring(true);
        voltage->setAlarmBlending(true);
        voltage->setAlarmRange(280, 365);
        voltage->setWireBreakMarks(true);

        for (CCellsGraph* t : {temperature, static_cast<CCellsGraph*>(grouped)}) {
            t->rangeMin = -50.0f;
            t->rangeMax = 100.0f;
            t->minSpan = 10.0f;
            t->minHalfSpan = 4.0f;
            t->units = QStringList{QStringLiteral(" °C"), QStringLiteral(" °C")};
            t->setAlarmColoring(true);
            t->setAlarmBlending(true);
            t->setAlarmRange(1000, 4000);
            t->setBarColors(QColor(185, 5, 4), QColor(212, 129, 128), QColor(153, 1, 0));
            t->setAlarmColors(QColor(0, 180, 204), QColor(127, 207, 218), QColor(0, 140, 158));
        }
        grouped->setGroupSize(2);
        grouped->valueFactors = {1.0f, 1.0f, 1.0f};
        grouped->decimals = {0, 0, 0};

        for (QWidget* g : {static_cast<QWidget*>(voltage), static_cast<QWidget*>(temperature),
                           static_cast<QWidget*>(grouped)}) {
            g->setMinimumHeight(120);
            g->setEnabled(false);
            box->addWidget(g);
        }
        bind("BV2", 200, 0.01, voltage, ParamWidgetKind::CellsGraph);
        bind("BT2", -100, 1.0, temperature, ParamWidgetKind::CellsGraph);
        bind("BT2", -100, 1.0, grouped, ParamWidgetKind::GroupedCellsGraph);
        bind("BT4", -100, 1.0, grouped, ParamWidgetKind::GroupedCellsGraph);
        window.resize(640, 420);
    }

    void bind(const QString& sentence, int offset, double scale, QWidget* graph, int kind)
    {
        auto p = std::make_unique<Param>();
        p->sentenceName = sentence;
        p->fieldIndex = 3;
        p->valueType = ParamValueType::Cells;
        p->offset = offset;
        p->scale = scale;
        p->widget = graph;
        p->widgetKind = kind;
        root.addHandler(sentence, 3, p.get());
        params.push_back(std::move(p));
    }
};

// Middle of cell j of string s, as the graphs lay their strings out.
int cellCentre(const CCellsGraph* g, int s, int j) { return geometryOf(*g, kStrings).cellCentre(s, j, kCells); }

} // namespace

class TstCellGraphsOverLink : public QObject
{
    Q_OBJECT

private slots:
    void cellSentencesReachTheGraphs();
};

void TstCellGraphsOverLink::cellSentencesReachTheGraphs()
{
    CellsWindow w;
    // The configuration page's layout: two strings of eight cells; the
    // status hook's wire-break words: the wire after cell 2 of each string.
    setCellStringCount(kStrings);
    for (int s = 0; s < kStrings; ++s) {
        setCellsInString(s, kCells);
        setWireBreakWord(s, 0, 1u << 3);
    }

    SimLink link;
    // Voltages 3.30 V (code 82), cell 5 of string 0 and cell 1 of string 1
    // without a reading (FF); temperatures 0 and -1 degrees (codes 64, 63),
    // so cold that the drawn range of the temperature graph ends below 6.
    link.sim.setHandler("BV2", [](ControlUnitSim& sim, const ControlUnitSim::Sentence& s) {
        if (s.fields == QStringList{"?"}) {
            sim.reply("BV2,0,0,1,82828282FF828282");
            sim.reply("BV2,1,8,1,82FF828282828282");
        }
    });
    link.sim.setHandler("BT2", [](ControlUnitSim& sim, const ControlUnitSim::Sentence& s) {
        if (s.fields == QStringList{"?"}) {
            sim.reply("BT2,0,0,1,6464646464646464");
            sim.reply("BT2,1,8,1,6464646464646464");
        }
    });
    link.sim.setHandler("BT4", [](ControlUnitSim& sim, const ControlUnitSim::Sentence& s) {
        if (s.fields == QStringList{"?"}) {
            sim.reply("BT4,0,0,1,6363636363636363");
            sim.reply("BT4,1,8,1,63636363636363FF");
        }
    });

    int handled = 0;
    QObject::connect(link.comm, &CommunicatorBase::sigReceivedSentence, &w.window, [&] {
        QString line;
        while (link.handler.getSentence(line)) {
            w.root.dispatch(line);
            ++handled;
        }
    }, Qt::QueuedConnection);

    w.window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w.window));
    QVERIFY(link.start());
    QTRY_VERIFY_WITH_TIMEOUT(link.comm->linked, 5000);

    for (const char* name : {"BV2,", "BT2,", "BT4,"})
        link.handler.sendSentence(name, "?");
    QTRY_VERIFY_WITH_TIMEOUT(w.grouped->isValid(1, 6, 1), 5000);
    QTRY_COMPARE_WITH_TIMEOUT(w.voltage->value(1, 7), 3.30f, 5000);
    QCOMPARE(w.voltage->value(0, 4), INVALID_CELL_VALUE);
    QCOMPARE(w.temperature->value(1, 0), 0.0f);
    QCOMPARE(w.grouped->value(0, 0, 1), -1.0f);
    QVERIFY(!w.grouped->isValid(1, 7, 1));
    QVERIFY(w.voltage->isEnabled());

    // Hostile lines: a string number past every table, a first cell in front
    // of the string (a negative cell), a string the layout does not have,
    // short field lists, a cell run past the end of its string, huge first
    // cells. None writes outside the tables or disturbs the other cells.
    const int before = handled;
    const char* hostile[] = {"BV2,FFFFFFFF,0,1,5050", "BV2,1,0,1,50505050", "BV2,1F,0,1,5050", "BV2,0,0",
                             "BV2,0,", "BV2,0,0,1", "BV2", "BV2,1,E,1,5050505050", "BT4,7FFFFFFF,7FFFFFFF,1,50",
                             "BT2,0,FFFFFFF0,1,5050", "BT4,1,80000000,1,50"};
    for (const char* line : hostile)
        link.sim.reply(line);
    QTRY_COMPARE_WITH_TIMEOUT(handled, before + int(std::size(hostile)), 5000);
    QCOMPARE(w.voltage->value(1, 0), 3.30f);
    QCOMPARE(w.voltage->value(0, 0), 3.30f);
    // "BV2,1,E,..." starts at cell 6 of string 1: cells 6 and 7 take the new
    // value, the rest of the run is dropped.
    QCOMPARE(w.voltage->value(1, 6), 2.80f);
    QCOMPARE(w.voltage->value(1, 7), 2.80f);

    const QImage voltage = renderOf(w.voltage);
    const QImage temperature = renderOf(w.temperature);
    const QImage grouped = renderOf(w.grouped);
    const int bottom = w.voltage->height() - 3;

    // Bars drawn, the invalid cell hatched.
    QVERIFY(!isBackground(voltage.pixel(cellCentre(w.voltage, 0, 0), bottom)));
    const int hx = cellCentre(w.voltage, 0, 4);
    const QRect hatch(hx - 3, w.voltage->height() / 2 - 8, 7, 16);
    QVERIFY(countIn(voltage, hatch, isBlack) > 3);
    QVERIFY(countIn(voltage, hatch, isBackground) > 3);

    // Wire-break marks on the voltage graph only.
    QVERIFY(countIn(voltage, voltage.rect(), isMarkRed) > 20);
    QCOMPARE(countIn(temperature, temperature.rect(), isMarkRed), 0);
    QCOMPARE(countIn(grouped, grouped.rect(), isMarkRed), 0);
    QVERIFY(!isBackground(temperature.pixel(cellCentre(w.temperature, 1, 3), w.temperature->height() - 3)));

    // A voltage sentence without data clears the wire-break map and empties
    // the graph: no bar, no mark.
    link.sim.reply("BV2,0,0,X,");
    QTRY_COMPARE_WITH_TIMEOUT(w.voltage->value(0, 0), INVALID_CELL_VALUE, 5000);
    QVERIFY(!isWireBroken(0, 3));
    const QImage empty = renderOf(w.voltage);
    QCOMPARE(countIn(empty, empty.rect(), isMarkRed), 0);
}

QTEST_MAIN(TstCellGraphsOverLink)
#include "tst_cellgraphs_link.moc"
