#include "CCellsGraph.h"
#include "CellStringLayout.h"
#include "GraphPixels.h"
#include "GroupedCellsGraph.h"
#include "MyToolTip.h"

#include <QImage>
#include <QSignalSpy>
#include <QTest>

#include <climits>
#include <cmath>

namespace {

void setLayout(int strings, int cells)
{
    setCellStringCount(strings);
    for (int s = 0; s < strings; ++s)
        setCellsInString(s, cells);
}

void setUpVoltage(CCellsGraph& g)
{
    g.rangeMin = 2.0f;
    g.rangeMax = 5.0f;
    g.minSpan = 0.5f;
    g.minHalfSpan = 0.05f;
    g.decimals = {2};
    g.units = QStringList{QStringLiteral(" V")};
    g.setWireBreakMarks(true);
}

void setUpTemperature(CCellsGraph& g)
{
    g.rangeMin = -50.0f;
    g.rangeMax = 100.0f;
    g.minSpan = 10.0f;
    g.minHalfSpan = 4.0f;
    g.units = QStringList{QStringLiteral(" °C")};
    g.setAlarmColoring(true);
    g.setAlarmBlending(true);
    g.setAlarmRange(1000, 4000);
    g.setBarColors(QColor(185, 5, 4), QColor(212, 129, 128), QColor(153, 1, 0));
    g.setAlarmColors(QColor(0, 180, 204), QColor(127, 207, 218), QColor(0, 140, 158));
}

} // namespace

class TstCellsGraph : public QObject
{
    Q_OBJECT

private slots:
    void init() { clearWireBreakMap(); }

    void constructionEmptiesTheLayout()
    {
        setLayout(3, 8);
        setCellModuleVersion(0, 4, 150);
        CCellsGraph g;
        QCOMPARE(cellStringCount(), 0);
        QCOMPARE(cellsInString(0), 0);
        QCOMPARE(cellModuleVersionRaw(0, 4), 0);
        setLayout(1, 8);
        QCOMPARE(cellModuleVersionRaw(0, 4), 255);
        GroupedCellsGraph gg;
        QCOMPARE(cellStringCount(), 0);
        QCOMPARE(gg.groupSize(), 1);
    }

    void emptyLayoutPaintsOnlyTheBackground()
    {
        CCellsGraph g;
        g.resize(200, 80);
        const QImage img = renderOf(g);
        QCOMPARE(countIn(img, img.rect(), isBackground), 200 * 80);
    }

    void storesAndDiscards()
    {
        CCellsGraph g;
        setLayout(2, 4);
        QSignalSpy updated(&g, &CCellsGraph::dataUpdated);
        g.addValue(1, 3, 3.3f);
        QCOMPARE(g.value(1, 3), 3.3f);
        QCOMPARE(g.value(1, 2), INVALID_CELL_VALUE);
        QCOMPARE(updated.count(), 1);
        g.addValue(0, 0, -1.0f);
        g.resetValues();
        QCOMPARE(g.value(0, 0), INVALID_CELL_VALUE);
        QCOMPARE(g.value(1, 3), INVALID_CELL_VALUE);

        // A new cell count drops every stored value at the next store.
        g.addValue(1, 3, 3.3f);
        setCellsInString(0, 5);
        g.addValue(0, 4, 3.1f);
        QCOMPARE(g.value(0, 4), 3.1f);
        QCOMPARE(g.value(1, 3), INVALID_CELL_VALUE);

        // A reading that is not a number is kept as no reading.
        g.addValue(0, 1, std::nanf(""));
        QCOMPARE(g.value(0, 1), INVALID_CELL_VALUE);

        // Disabling the graph drops the tables; the next store rebuilds them.
        g.addValue(0, 2, 3.2f);
        g.setEnabled(false);
        QCOMPARE(g.value(0, 2), INVALID_CELL_VALUE);
        g.addValue(0, 2, 3.25f);
        QCOMPARE(g.value(0, 2), 3.25f);
    }

    void groupedStoresAndSizes()
    {
        GroupedCellsGraph g;
        setLayout(2, 3);
        g.setGroupSize(2);
        g.addValue(1, 2, 1, 25.0f);
        QCOMPARE(g.valueCount(1, 2), 2);
        QVERIFY(g.isValid(1, 2, 1));
        QCOMPARE(g.value(1, 2, 1), 25.0f);
        QVERIFY(!g.isValid(1, 2, 0));
        QCOMPARE(g.value(1, 2, 0), 0.0f);

        g.addValue(0, 0, 0, -1.0f);
        g.resetValues();
        QVERIFY(!g.isValid(0, 0, 0));
        QVERIFY(!g.isValid(1, 2, 1));

        for (int bad : {0, 11, -1, INT_MIN, INT_MAX}) {
            g.setGroupSize(bad);
            QCOMPARE(g.groupSize(), 2);
        }
        g.setGroupSize(10);
        QCOMPARE(g.groupSize(), 10);
        g.addValue(0, 1, 9, 3.0f);
        QCOMPARE(g.valueCount(0, 1), 10);
        QVERIFY(g.isValid(0, 1, 9));
        g.setGroupSize(1);
        QCOMPARE(g.groupSize(), 1);
    }

    // Indices straight from a device sentence: nothing outside the layout is
    // written, nothing is announced, and the graph still paints.
    void hostileIndices_data()
    {
        QTest::addColumn<int>("string");
        QTest::addColumn<int>("cell");
        QTest::addColumn<int>("index");
        QTest::addColumn<bool>("stored");
        QTest::newRow("inside") << 1 << 3 << 1 << true;
        QTest::newRow("huge string") << INT_MAX << 0 << 0 << false;
        QTest::newRow("string 255") << 255 << 0 << 0 << false;
        QTest::newRow("string above count, inside table") << 31 << 0 << 0 << false;
        QTest::newRow("string at count") << 2 << 0 << 0 << false;
        QTest::newRow("negative string") << -1 << 0 << 0 << false;
        QTest::newRow("string INT_MIN") << INT_MIN << 0 << 0 << false;
        QTest::newRow("negative first cell") << 1 << -1 << 0 << false;
        QTest::newRow("cell far below") << 0 << -65535 << 0 << false;
        QTest::newRow("cell past string") << 0 << 4 << 0 << false;
        QTest::newRow("cell past pack") << 0 << 8218 << 0 << false;
        QTest::newRow("cell INT_MAX") << 0 << INT_MAX << 0 << false;
        QTest::newRow("index past group") << 0 << 0 << 2 << false;
        QTest::newRow("negative index") << 0 << 0 << -1 << false;
        QTest::newRow("index INT_MAX") << 0 << 0 << INT_MAX << false;
    }
    void hostileIndices()
    {
        QFETCH(int, string);
        QFETCH(int, cell);
        QFETCH(int, index);
        QFETCH(bool, stored);

        CCellsGraph plain;
        GroupedCellsGraph grouped;
        setLayout(2, 4);
        grouped.setGroupSize(2);
        plain.resize(300, 120);
        grouped.resize(300, 120);
        QSignalSpy plainSpy(&plain, &CCellsGraph::dataUpdated);
        QSignalSpy groupedSpy(&grouped, &CCellsGraph::dataUpdated);

        const bool cellInside = string >= 0 && string < 2 && cell >= 0 && cell < 4;
        plain.addValue(string, cell, 3.3f);
        QCOMPARE(plain.value(string, cell), cellInside ? 3.3f : INVALID_CELL_VALUE);
        plain.setInvalid(string, cell);
        grouped.addValue(string, cell, index, 25.0f);
        grouped.setInvalid(string, cell, index);
        grouped.addValue(string, cell, index, 3e38f);

        QCOMPARE(plainSpy.count() > 0, cellInside);
        QCOMPARE(groupedSpy.count() > 0, stored);
        QCOMPARE(plain.value(string, cell), INVALID_CELL_VALUE);
        QCOMPARE(grouped.isValid(string, cell, index), stored);
        // Getters stay inside the tables whatever they are asked.
        QCOMPARE(grouped.valueCount(string, cell), cellInside ? 2 : 0);
        renderOf(plain);
        renderOf(grouped);
    }

    void hostileValuesStillPaint()
    {
        CCellsGraph plain;
        GroupedCellsGraph grouped;
        setLayout(2, 4);
        grouped.setGroupSize(2);
        grouped.valueFactors = {1.0f, 1e30f};
        plain.fixedRange = true;
        plain.resize(300, 120);
        grouped.resize(300, 120);
        const float hostile[] = {3e38f, -3e38f, -10500.0f, -10000.0f, std::numeric_limits<float>::infinity(), 0.0f};
        for (int j = 0; j < 4; ++j) {
            plain.addValue(0, j, hostile[j]);
            plain.addValue(1, j, hostile[j + 2]);
            grouped.addValue(0, j, 0, hostile[j]);
            grouped.addValue(0, j, 1, hostile[j + 1]);
            grouped.addValue(1, j, 1, hostile[j + 2]);
        }
        QVERIFY(!renderOf(plain).isNull());
        QVERIFY(!renderOf(grouped).isNull());
    }

    void drawsBarsHatchesAndWireBreaks()
    {
        CCellsGraph g;
        setUpVoltage(g);
        g.resize(480, 220);
        setLayout(2, 4);
        const float cells[2][4] = {{3.30f, 3.40f, INVALID_CELL_VALUE, 3.50f}, {3.30f, INVALID_CELL_VALUE, 3.35f, 3.30f}};
        for (int s = 0; s < 2; ++s)
            for (int j = 0; j < 4; ++j)
                g.addValue(s, j, cells[s][j]);
        setWireBreakWord(1, 0, 1u << 2); // wire between cells 1 and 2 of string 1
        const QImage img = renderOf(g);
        const Geometry geo = geometryOf(g, 2);
        const int bottom = geo.H - 3;

        // A valid bar: the gradient reaches the bottom edge.
        const int x0 = geo.cellCentre(0, 0, 4);
        QVERIFY(isTeal(img.pixel(x0, bottom)));
        // Its top follows the value: 3.50 stands higher than 3.30.
        auto barTop = [&](int x) {
            int y = 0;
            while (y < geo.H && !isTeal(img.pixel(x, y)))
                ++y;
            return y;
        };
        QVERIFY(barTop(geo.cellCentre(0, 3, 4)) < barTop(x0));
        QVERIFY(barTop(x0) > geo.h);

        // Invalid cells: black hatch over the background, full height.
        for (QPoint cell : {QPoint(0, 2), QPoint(1, 1)}) {
            const int x = geo.cellCentre(cell.x(), cell.y(), 4);
            const QRect area(x - 4, geo.H / 2 - 4, 9, 9);
            QVERIFY(countIn(img, area, isBlack) > 5);
            QVERIFY(countIn(img, area, isBackground) > 5);
            QCOMPARE(countIn(img, area, isTeal), 0);
            QVERIFY(countIn(img, QRect(x - 4, 0, 9, 6), isBlack) > 0);
        }

        // The wire-break mark sits on the right edge of cell 1 of string 1.
        const int markX = int(geo.left(1) + geo.cw(1, 4) + int(geo.cw(1, 4)));
        QVERIFY(countIn(img, QRect(markX - 2, 0, 5, geo.H), isMarkRed) > 10);
        QCOMPARE(countIn(img, QRect(0, 0, markX - 3, geo.H), isMarkRed), 0);

        // The separator between the strings takes the window colour.
        const QColor window = g.palette().color(QPalette::Active, QPalette::Window);
        QCOMPARE(QColor(img.pixel(geo.right(0) + 1, geo.H / 2)), window);
    }

    // The largest layout leaves a few pixels a bar; those are filled column
    // by column and must still show the bar colours and the hatch.
    void narrowBarsOfTheLargestLayout()
    {
        CCellsGraph g;
        setUpVoltage(g);
        g.resize(1200, 200);
        setLayout(kMaxCellStrings, 32);
        for (int s = 0; s < kMaxCellStrings; ++s)
            for (int j = 0; j < 32; ++j)
                if (j != 5)
                    g.addValue(s, j, 3.3f + 0.01f * float(j % 10));
        const QImage img = renderOf(g);
        const Geometry geo = geometryOf(g, kMaxCellStrings);
        QVERIFY(geo.cw(7, 32) < 4.0);
        const int x = int(std::floor(geo.left(7) + 2 * geo.cw(7, 32))) + 1;
        QVERIFY(isTeal(img.pixel(x, geo.H - 3)));
        const int hx = int(std::floor(geo.left(7) + 5 * geo.cw(7, 32))) + 1;
        const QRect hatch(hx, geo.H / 2 - 20, 1, 40);
        QVERIFY(countIn(img, hatch, isBlack) > 2);
        QVERIFY(countIn(img, hatch, isBackground) > 2);
    }

    // The temperature graph never shows wire-break marks, not even when all
    // its cells are cold enough to keep the drawn range below 6 degrees.
    void wireBreakMarksOnlyOnTheVoltageGraph()
    {
        CCellsGraph temperature;
        setUpTemperature(temperature);
        temperature.resize(480, 220);
        GroupedCellsGraph grouped;
        setUpTemperature(grouped);
        grouped.setGroupSize(2);
        grouped.resize(480, 220);
        setLayout(2, 4);
        for (int s = 0; s < 2; ++s) {
            setWireBreakWord(s, 0, 0xFFFFFFFFu);
            for (int j = 0; j < 4; ++j) {
                temperature.addValue(s, j, 0.5f);
                grouped.addValue(s, j, 0, 0.5f);
                grouped.addValue(s, j, 1, 0.0f);
            }
        }
        // Alarm colours of the temperature graphs hold no pure red.
        const QImage t = renderOf(temperature);
        QCOMPARE(countIn(t, t.rect(), isMarkRed), 0);
        const QImage gi = renderOf(grouped);
        QCOMPARE(countIn(gi, gi.rect(), isMarkRed), 0);

        CCellsGraph voltage;
        setUpVoltage(voltage);
        voltage.resize(480, 220);
        setLayout(2, 4);
        for (int s = 0; s < 2; ++s) {
            setWireBreakWord(s, 0, 0xFFFFFFFFu);
            for (int j = 0; j < 4; ++j)
                voltage.addValue(s, j, 3.3f);
        }
        const QImage v = renderOf(voltage);
        QVERIFY(countIn(v, v.rect(), isMarkRed) > 100);
    }

    void alarmColouring()
    {
        CCellsGraph g;
        setUpVoltage(g);
        g.setAlarmColoring(true);
        g.setAlarmBlending(true);
        g.setAlarmRange(280, 365);
        g.resize(300, 160);
        setLayout(1, 3);
        g.addValue(0, 0, 3.80f); // above the alarm range: alarm colours
        g.addValue(0, 1, 3.64f); // near the high end: nearly the bar colours
        g.addValue(0, 2, 2.70f); // below: alarm colours
        const QImage img = renderOf(g);
        const Geometry geo = geometryOf(g, 1);
        const int y = geo.H - 3;
        const QColor high(img.pixel(geo.cellCentre(0, 0, 3), y));
        const QColor normal(img.pixel(geo.cellCentre(0, 1, 3), y));
        const QColor low(img.pixel(geo.cellCentre(0, 2, 3), y));
        QVERIFY2(high.red() > 120 && high.green() < 40, qPrintable(high.name()));
        QVERIFY2(low.red() > 120 && low.green() < 40, qPrintable(low.name()));
        QVERIFY2(normal.red() < 40 && normal.green() > 100, qPrintable(normal.name()));
    }

    void groupedBarsSideBySide()
    {
        GroupedCellsGraph g;
        g.rangeMin = -40.0f;
        g.rangeMax = 150.0f;
        g.minSpan = 10.0f;
        g.minHalfSpan = 4.0f;
        g.setGroupSize(2);
        g.resize(400, 200);
        setLayout(1, 2);
        g.addValue(0, 0, 0, 25.0f); // index 1 of cell 0 stays invalid
        g.addValue(0, 1, 0, 30.0f);
        g.addValue(0, 1, 1, 28.0f);
        const QImage img = renderOf(g);
        const Geometry geo = geometryOf(g, 1);
        const double cw = geo.cw(0, 2);
        const int y = geo.H - 4;
        const int firstHalf = int(geo.left(0) + cw / 16 + cw * 0.2);
        const int secondHalf = int(geo.left(0) + cw * 0.75);
        QVERIFY(isTeal(img.pixel(firstHalf, y)));
        const QRect hatch(secondHalf - 4, geo.H / 2 - 4, 9, 9);
        QVERIFY(countIn(img, hatch, isBlack) > 5);
        QCOMPARE(countIn(img, hatch, isTeal), 0);
        QVERIFY(isTeal(img.pixel(int(geo.left(0) + cw * 1.75), y)));
    }

    void plainTip_data()
    {
        QTest::addColumn<int>("version");
        QTest::addColumn<QString>("text");
        QTest::newRow("known version") << 101 << "[19] 3.30 V\n CM VER: 1.01";
        QTest::newRow("unknown version") << 255 << "[19] 3.30 V\n CM VER: N/A";
    }
    void plainTip()
    {
        QFETCH(int, version);
        QFETCH(QString, text);
        CCellsGraph g;
        setUpVoltage(g);
        g.resize(900, 150);
        setLayout(2, 16);
        setCellModuleVersion(1, 18, version);
        g.addValue(1, 2, 3.30f);
        renderOf(g);
        const Geometry geo = geometryOf(g, 2);

        QString tip;
        QCOMPARE(g.tipAt(QPoint(geo.cellCentre(1, 2, 16), 50), &tip), CCellsGraph::TipAction::Show);
        QCOMPARE(tip, text);
        QCOMPARE(g.tipAt(QPoint(geo.wM / 2, 50), &tip), CCellsGraph::TipAction::Hide);
        // The last pixel of a string belongs to its last cell.
        QCOMPARE(g.tipAt(QPoint(geo.right(1), 50), &tip), CCellsGraph::TipAction::Show);
        QVERIFY2(tip.startsWith("[32] Invalid"), qPrintable(tip));

        // The mouse shows the tip and moves it along; off the bars it goes.
        g.show();
        QVERIFY(QTest::qWaitForWindowExposed(&g));
        QTest::mouseMove(&g, QPoint(geo.cellCentre(1, 2, 16), 50));
        QTRY_VERIFY(MyToolTip::isVisible());
        QCOMPARE(MyToolTip::text(), text);
        QTest::mouseMove(&g, QPoint(geo.cellCentre(0, 0, 16), 50));
        QTRY_COMPARE(MyToolTip::text(), QStringLiteral("[1] Invalid\n CM VER: N/A"));
        QTest::mouseMove(&g, QPoint(2, 50));
        QTRY_VERIFY(!MyToolTip::isVisible());
    }

    // After the layout shrank the remembered edges of a vanished string hold
    // no table: the tip reads nothing there.
    void tipAfterTheLayoutShrank()
    {
        CCellsGraph g;
        GroupedCellsGraph gg;
        gg.setGroupSize(2);
        for (CCellsGraph* w : {&g, static_cast<CCellsGraph*>(&gg)})
            w->resize(600, 150);
        setLayout(3, 8);
        renderOf(g);
        renderOf(gg);
        const Geometry geo = geometryOf(g, 3);
        setLayout(1, 8);
        g.syncLayout();
        gg.syncLayout();
        QString tip;
        const QPoint third(geo.cellCentre(2, 3, 8), 40);
        QCOMPARE(g.tipAt(third, &tip), CCellsGraph::TipAction::Keep);
        QCOMPARE(gg.tipAt(third, &tip), CCellsGraph::TipAction::Hide);
        setCellStringCount(0);
        g.syncLayout();
        QCOMPARE(g.tipAt(QPoint(geo.cellCentre(0, 0, 8), 40), &tip), CCellsGraph::TipAction::Keep);
    }

    void groupedTip_data()
    {
        QTest::addColumn<int>("offset"); // pixels into the first cell of string 2
        QTest::addColumn<QString>("text");
        QTest::newRow("left edge") << 0 << QString();
        QTest::newRow("internal") << 6 << "Internal [25] 21 °C\n CM VER: 1.20";
        QTest::newRow("external") << 30 << "External [25] Invalid\n CM VER: 1.20";
    }
    void groupedTip()
    {
        QFETCH(int, offset);
        QFETCH(QString, text);
        GroupedCellsGraph g;
        g.rangeMin = -40.0f;
        g.rangeMax = 150.0f;
        g.setGroupSize(2);
        g.decimals = {0, 0};
        g.units = QStringList{QStringLiteral(" °C"), QStringLiteral(" °C")};
        g.valueLabels = QStringList{QStringLiteral("Internal "), QStringLiteral("External ")};
        g.resize(1600, 150);
        setLayout(3, 12);
        setCellModuleVersion(2, 24, 120);
        g.addValue(2, 0, 0, 21.0f);
        renderOf(g);
        const Geometry geo = geometryOf(g, 3);
        QVERIFY(geo.cw(2, 12) > 36.0);

        QString tip;
        const auto action = g.tipAt(QPoint(geo.left(2) + offset, 40), &tip);
        if (text.isEmpty()) {
            QCOMPARE(action, CCellsGraph::TipAction::Hide);
        } else {
            QCOMPARE(action, CCellsGraph::TipAction::Show);
            QCOMPARE(tip, text);
        }
    }
};

QTEST_MAIN(TstCellsGraph)
#include "tst_cellsgraph.moc"
