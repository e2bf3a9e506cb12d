#include "CellGraphMath.h"
#include "CellStringLayout.h"

#include <QTest>

#include <cmath>
#include <limits>

using Table = std::vector<std::vector<float>>;
using Grouped = std::vector<std::vector<std::vector<float>>>;
Q_DECLARE_METATYPE(Table)
Q_DECLARE_METATYPE(Grouped)

namespace {
const float X = INVALID_CELL_VALUE;
const RangeSettings kVoltage{2.0, 5.0, 0.5, false};
}

class TstCellGraphMath : public QObject
{
    Q_OBJECT

private slots:
    void plainRange_data()
    {
        QTest::addColumn<Table>("values");
        QTest::addColumn<bool>("fixed");
        QTest::addColumn<double>("lo");
        QTest::addColumn<double>("hi");
        QTest::newRow("all 3.30 widened to the minimum span") << Table{{3.3f, 3.3f}, {3.3f, 3.3f}} << false << 3.05 << 3.55;
        QTest::newRow("all invalid") << Table{{X, X}, {X}} << false << 2.0 << 5.0;
        QTest::newRow("no cells") << Table{{}, {}} << false << 2.0 << 5.0;
        // The first cell holds no reading: the range still follows the data.
        QTest::newRow("first cell invalid") << Table{{X, 3.2f}, {3.4f, X}} << false << 3.051 << 3.551;
        QTest::newRow("wide data within limits") << Table{{3.0f, 4.0f}} << false << 2.9 << 4.11;
        QTest::newRow("clamped to the limits") << Table{{1.0f, 6.0f}} << false << 2.0 << 5.0;
        QTest::newRow("fixed range ignores data") << Table{{3.3f, 3.4f}} << true << 2.0 << 5.0;
    }
    void plainRange()
    {
        QFETCH(Table, values);
        QFETCH(bool, fixed);
        QFETCH(double, lo);
        QFETCH(double, hi);
        RangeSettings st = kVoltage;
        st.fixedRange = fixed;
        const CellRange r = plainGraphRange(values, st);
        QVERIFY2(std::fabs(r.lo - lo) < 1e-5, qPrintable(QString::number(r.lo, 'g', 10)));
        QVERIFY2(std::fabs(r.hi - hi) < 1e-5, qPrintable(QString::number(r.hi, 'g', 10)));
    }

    // Equal values and no minimum span would give a zero span (a division by
    // zero when scaling the bars).
    void plainRangeNeverCollapses()
    {
        const CellRange r = plainGraphRange(Table{{7.0f}}, RangeSettings{0.0, 10.0, 0.0, false});
        QVERIFY(r.hi > r.lo);
    }

    void groupedRange_data()
    {
        QTest::addColumn<Grouped>("values");
        QTest::addColumn<QVector<float>>("factors");
        QTest::addColumn<bool>("fixed");
        QTest::addColumn<double>("lo");
        QTest::addColumn<double>("hi");
        // Balancing graph: 0..99 fixed, yet a value above grows the scale.
        QTest::newRow("fixed range grows") << Grouped{{{50.0f, X}, {150.0f, X}}} << QVector<float>{1.0f, 100.0f} << true
                                           << -15.0 << 166.5;
        QTest::newRow("factor applied") << Grouped{{{10.0f, 0.9f}}} << QVector<float>{1.0f, 100.0f} << false << 2.0
                                        << 98.8;
        QTest::newRow("all invalid") << Grouped{{{X, X}}, {{X, X}}} << QVector<float>{1.0f} << false << -40.0 << 150.0;
        QTest::newRow("first invalid, rest valid") << Grouped{{{X, X}, {20.0f, 30.0f}}} << QVector<float>{1.0f, 1.0f}
                                                   << false << 19.0 << 31.1;
        QTest::newRow("narrow widened") << Grouped{{{25.0f, 25.0f}}} << QVector<float>{} << false << 20.0 << 30.0;
        // Between the sentinel and the threshold: drawn, but not in the range.
        QTest::newRow("near-invalid ignored") << Grouped{{{-10500.0f, 25.0f}}} << QVector<float>{} << false << 20.0
                                              << 30.0;
    }
    void groupedRange()
    {
        QFETCH(Grouped, values);
        QFETCH(QVector<float>, factors);
        QFETCH(bool, fixed);
        QFETCH(double, lo);
        QFETCH(double, hi);
        const bool balancing = factors.size() == 2 && factors[1] == 100.0f;
        RangeSettings st = balancing ? RangeSettings{0.0, 99.0, 20.0, fixed} : RangeSettings{-40.0, 150.0, 10.0, fixed};
        const CellRange r = groupedGraphRange(values, factors, st);
        QVERIFY2(std::fabs(r.lo - lo) < 1e-4, qPrintable(QString::number(r.lo, 'g', 10)));
        QVERIFY2(std::fabs(r.hi - hi) < 1e-4, qPrintable(QString::number(r.hi, 'g', 10)));
    }

    void ticks_data()
    {
        QTest::addColumn<double>("lo");
        QTest::addColumn<double>("hi");
        QTest::addColumn<int>("plot");
        QTest::addColumn<int>("font");
        QTest::addColumn<double>("first");
        QTest::addColumn<double>("step");
        QTest::addColumn<int>("count");
        QTest::newRow("voltage 3.05..3.55") << 3.05 << 3.55 << 100 << 10 << 3.1 << 0.1 << 6;
        QTest::newRow("percent 0..100") << 0.0 << 100.0 << 300 << 15 << 0.0 << 10.0 << 11;
        QTest::newRow("halved step") << 0.0 << 1.0 << 600 << 10 << 0.0 << 0.05 << 21;
        QTest::newRow("fifth step") << 0.0 << 1.0 << 1000 << 10 << 0.0 << 0.02 << 51;
        QTest::newRow("negative start rounds up") << -41.3 << 150.0 << 200 << 12 << -40.0 << 20.0 << 11;
        QTest::newRow("no room for labels") << 0.0 << 1.0 << 10 << 10 << 0.0 << 10.0 << 1;
        QTest::newRow("zero span") << 1.0 << 1.0 << 100 << 10 << 0.0 << 0.01 << 0;
        QTest::newRow("reversed span") << 2.0 << 1.0 << 100 << 10 << 0.0 << 0.01 << 0;
        QTest::newRow("infinite span") << 0.0 << std::numeric_limits<double>::infinity() << 100 << 10 << 0.0 << 0.01
                                       << 0;
        QTest::newRow("nan") << std::nan("") << 1.0 << 100 << 10 << 0.0 << 0.01 << 0;
        QTest::newRow("huge span ends") << -1e30 << 1e30 << 100 << 10 << std::nan("") << 5e29 << 5;
    }
    void ticks()
    {
        QFETCH(double, lo);
        QFETCH(double, hi);
        QFETCH(int, plot);
        QFETCH(int, font);
        QFETCH(double, first);
        QFETCH(double, step);
        QFETCH(int, count);
        const ScaleTicks t = scaleTicks(lo, hi, plot, font);
        QCOMPARE(t.count, count);
        if (count > 0) {
            QVERIFY2(std::fabs(t.step - step) <= 1e-9 * std::fabs(step), qPrintable(QString::number(t.step)));
            if (!std::isnan(first))
                QVERIFY2(std::fabs(t.first - first) <= 1e-9 * std::max(1.0, std::fabs(first)),
                         qPrintable(QString::number(t.first)));
        }
    }

    void tipText_data()
    {
        QTest::addColumn<QString>("label");
        QTest::addColumn<int>("number");
        QTest::addColumn<float>("value");
        QTest::addColumn<int>("decimals");
        QTest::addColumn<QString>("unit");
        QTest::addColumn<int>("version");
        QTest::addColumn<QString>("text");
        QTest::newRow("voltage") << "" << 19 << 3.30f << 2 << " V" << 101 << "[19] 3.30 V\n CM VER: 1.01";
        QTest::newRow("unknown version") << "" << 19 << 3.30f << 2 << " V" << 255 << "[19] 3.30 V\n CM VER: N/A";
        QTest::newRow("invalid") << "" << 3 << INVALID_CELL_VALUE << 2 << " V" << 255 << "[3] Invalid\n CM VER: N/A";
        QTest::newRow("just below threshold") << "" << 3 << -10000.5f << 0 << "" << 100 << "[3] Invalid\n CM VER: 1.00";
        QTest::newRow("threshold is valid") << "" << 1 << -10000.0f << 0 << " °C" << 100
                                            << "[1] -10000 °C\n CM VER: 1.00";
        QTest::newRow("string beyond the layout") << "" << 40 << 12.0f << 0 << " %" << 0 << "[40] 12 %\n CM VER: 0.00";
        QTest::newRow("grouped label") << "Internal " << 25 << 21.0f << 0 << " °C" << 254
                                       << "Internal [25] 21 °C\n CM VER: 2.54";
        QTest::newRow("balancing current") << "Balancing Current " << 2 << 0.35f << 2 << " A" << 255
                                           << "Balancing Current [2] 0.35 A\n CM VER: N/A";
    }
    void tipText()
    {
        QFETCH(QString, label);
        QFETCH(int, number);
        QFETCH(float, value);
        QFETCH(int, decimals);
        QFETCH(QString, unit);
        QFETCH(int, version);
        QFETCH(QString, text);
        QCOMPARE(cellTipText(label, number, value, decimals, unit, version), text);
    }

    void groupedTipIndex_data()
    {
        QTest::addColumn<int>("r");
        QTest::addColumn<double>("cw");
        QTest::addColumn<int>("group");
        QTest::addColumn<int>("index");
        for (int r : {0, 1, 2, 38, 39})
            QTest::addRow("40 px, r=%d dead", r) << r << 40.0 << 2 << -1;
        for (int r : {3, 10, 20})
            QTest::addRow("40 px, r=%d first", r) << r << 40.0 << 2 << 0;
        for (int r : {21, 30, 37})
            QTest::addRow("40 px, r=%d second", r) << r << 40.0 << 2 << 1;
        QTest::newRow("group size 1") << 20 << 40.0 << 1 << 0;
        QTest::newRow("never past the group") << 37 << 40.0 << 3 << 2;
        QTest::newRow("group size 0") << 20 << 40.0 << 0 << -1;
        QTest::newRow("zero width") << 0 << 0.0 << 2 << -1;
    }
    void groupedTipIndex()
    {
        QFETCH(int, r);
        QFETCH(double, cw);
        QFETCH(int, group);
        QFETCH(int, index);
        QCOMPARE(::groupedTipIndex(r, cw, group), index);
    }

    void toPixelStaysInRange()
    {
        QCOMPARE(toPixel(12.9), 12);
        QCOMPARE(toPixel(-3.7), -3);
        QCOMPARE(toPixel(1e300), 1000000);
        QCOMPARE(toPixel(-std::numeric_limits<double>::infinity()), -1000000);
        QCOMPARE(toPixel(std::nan("")), 0);
    }
};

QTEST_APPLESS_MAIN(TstCellGraphMath)
#include "tst_cellgraphmath.moc"
