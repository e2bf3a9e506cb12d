// The external temperature calibration: curve arithmetic, the TC2 fields
// and the window's behaviour on a page without a unit.
#include "ConfigPageFixture.h"
#include "TemperatureCalibrationWindow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QTableWidget>
#include <QTest>

#include <qcustomplot.h>

using namespace TemperatureCalibration;

class TstTemperatureCalibration : public QObject
{
    Q_OBJECT
private slots:
    void curveSets();
    void curveValue_data();
    void curveValue();
    void goalAndCurrentAgreeAtDefaults();
    void tc2_data();
    void tc2();
    void calibrateSends_data();
    void calibrateSends();
    void moduleChangeLoadsSet();
    void clearedTableKeepsCurves();
    void resetWithoutChangeDoesNotRefresh();
    void coefficientEdits();
};

// Each set's three tables are as long as its point count, temperatures
// rise and ADC codes fall.
void TstTemperatureCalibration::curveSets()
{
    const QList<QPair<const CurveSet*, int>> sets{{&curveSetA(), 19}, {&curveSetB(), 43}, {&curveSetC(), 37}};
    for (const auto& s : sets) {
        QCOMPARE(s.first->temperatures.size(), s.second);
        QCOMPARE(s.first->resistances.size(), s.second);
        QCOMPARE(s.first->adcCodes.size(), s.second);
        for (int i = 1; i < s.second; ++i) {
            QVERIFY(s.first->temperatures.at(i) > s.first->temperatures.at(i - 1));
            QVERIFY(s.first->adcCodes.at(i) < s.first->adcCodes.at(i - 1));
        }
    }
    QCOMPARE(curveSetB().temperatures.first(), -55);
    QCOMPARE(curveSetB().temperatures.last(), 155);
    QCOMPARE(curveSetC().pullUp, 10000.0);
    QCOMPARE(&curveSetForModule(-1), &curveSetA());
    QCOMPARE(&curveSetForModule(1), &curveSetB());
    QCOMPARE(&curveSetForModule(5), &curveSetB());
    QCOMPARE(&curveSetForModule(7), &curveSetC());
    QCOMPARE(&curveSetForModule(8), &curveSetA());
}

void TstTemperatureCalibration::curveValue_data()
{
    QTest::addColumn<QVector<double>>("keys");
    QTest::addColumn<QVector<int>>("temps");
    QTest::addColumn<int>("index");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<int>("value");
    QTest::newRow("rounds to 9") << QVector<double>{100, 9.4} << QVector<int>{0, 50} << 1 << true << 155;
    QTest::newRow("rounds to 1016") << QVector<double>{1015.5, 900} << QVector<int>{0, 50} << 0 << true << -100;
    QTest::newRow("160 held at 154") << QVector<double>{100, 50} << QVector<int>{200, 120} << 0 << true << 154;
    QTest::newRow("midpoint of keys 0 and 1") << QVector<double>{800, 600, 400} << QVector<int>{0, 20, 40} << 1
                                              << true << 10;
    QTest::newRow("below every key") << QVector<double>{800, 600, 400.4} << QVector<int>{0, 20, 40} << 2 << true
                                     << 30;
    QTest::newRow("keys on one ADC code") << QVector<double>{100.2, 99.8} << QVector<int>{0, 10} << 0 << false
                                          << 0;
}

void TstTemperatureCalibration::curveValue()
{
    QFETCH(QVector<double>, keys);
    QFETCH(QVector<int>, temps);
    QFETCH(int, index);
    QFETCH(bool, ok);
    QFETCH(int, value);
    int t = 0;
    QCOMPARE(TemperatureCalibration::curveValue(keys, temps, index, false, Coefficients{}, &t), ok);
    if (ok)
        QCOMPARE(t, value);
}

void TstTemperatureCalibration::goalAndCurrentAgreeAtDefaults()
{
    const CurveSet& s = curveSetB();
    QVector<double> keys;
    for (int r : s.resistances)
        keys.append(adcPosition(r, s.pullUp));
    for (int i = 0; i < keys.size(); ++i) {
        int goal = 0;
        int current = 0;
        const bool a = TemperatureCalibration::curveValue(keys, s.temperatures, i, false, Coefficients{}, &goal);
        const bool b = TemperatureCalibration::curveValue(keys, s.temperatures, i, true, Coefficients{}, &current);
        QCOMPARE(a, b);
        QCOMPARE(goal, current);
    }
    int shifted = 0;
    int plain = 0;
    TemperatureCalibration::curveValue(keys, s.temperatures, 10, true, Coefficients{1000, 1000, -5}, &shifted);
    TemperatureCalibration::curveValue(keys, s.temperatures, 10, true, Coefficients{}, &plain);
    QCOMPARE(shifted, plain - 5);
}

void TstTemperatureCalibration::tc2_data()
{
    QTest::addColumn<unsigned>("id");
    QTest::addColumn<int>("beta");
    QTest::addColumn<int>("gamma");
    QTest::addColumn<int>("delta");
    QTest::addColumn<QString>("text");
    QTest::newRow("module 5") << 5u << 1000 << 1023 << -3 << "0005,00,17,FD";
    QTest::newRow("upper ends") << 0u << 1150 << 1000 << 127 << "0000,96,00,7F";
    QTest::newRow("lowest delta") << 0x1ABu << 1000 << 1000 << -128 << "01AB,00,00,80";
}

void TstTemperatureCalibration::tc2()
{
    QFETCH(unsigned, id);
    QFETCH(int, beta);
    QFETCH(int, gamma);
    QFETCH(int, delta);
    QFETCH(QString, text);
    QCOMPARE(tc2Parameters(id, Coefficients{beta, gamma, delta}), text);
}

void TstTemperatureCalibration::calibrateSends_data()
{
    QTest::addColumn<bool>("all");
    QTest::addColumn<QString>("idText");
    QTest::addColumn<int>("cells");
    QTest::addColumn<QString>("sent");
    QTest::newRow("select all ignores the id") << true << "junk" << 0 << "TC2,0000,00,00,00";
    QTest::newRow("module 12") << false << "12" << 16 << "TC2,000C,00,00,00";
    QTest::newRow("above the cell count") << false << "17" << 16 << "";
    QTest::newRow("cells unknown") << false << "1" << 0 << "";
    QTest::newRow("zero") << false << "0" << 16 << "";
    QTest::newRow("not a number") << false << "a1" << 16 << "";
}

// A refused id gets the red border; the rule is replaced, never stacked.
void TstTemperatureCalibration::calibrateSends()
{
    QFETCH(bool, all);
    QFETCH(QString, idText);
    QFETCH(int, cells);
    QFETCH(QString, sent);
    PageFixture fx;
    fx.page->createParamWidget(QStringLiteral("Number of Cells"), 1, 0x0100, 2, 0, 65535, 0, 1.0);
    fx.reply(0x0100, quint32(cells), 4);
    TemperatureCalibrationWindow w(fx.page.get());
    QStringList sentences;
    w.setSender([&](const QString& n, const QString& p) { sentences << n + p; });
    w.selectAllBox()->setChecked(all);
    QCOMPARE(w.moduleIdEdit()->isEnabled(), !all);
    w.moduleIdEdit()->setText(idText);
    w.calibrate();
    w.calibrate();
    const QStringList expected = sent.isEmpty() ? QStringList() : QStringList({sent, sent});
    QCOMPARE(sentences, expected);
    const QString sheet = w.moduleIdEdit()->styleSheet();
    QCOMPARE(sheet.count(QStringLiteral("border")), 1);
    QCOMPARE(sheet.contains(QStringLiteral("red")), sent.isEmpty());
}

// "TJ731" loads the 43-point set, fills the table and redraws both curves;
// the sliders keep their values.
void TstTemperatureCalibration::moduleChangeLoadsSet()
{
    PageFixture fx;
    TemperatureCalibrationWindow w(fx.page.get());
    QCOMPARE(w.plot()->graphCount(), 1);
    QCOMPARE(w.pointCount(), 19);
    QCOMPARE(w.curveTable()->rowCount(), 19);
    w.betaSlider()->setValue(1100);
    QCOMPARE(w.plot()->graphCount(), 2);
    w.moduleBox()->setCurrentIndex(1);
    QCOMPARE(w.pointCount(), 43);
    QCOMPARE(w.curveTable()->rowCount(), 43);
    QCOMPARE(w.curveTable()->item(42, 0)->text(), QStringLiteral("155"));
    QCOMPARE(w.curveTable()->item(0, 1)->text(), QStringLiteral("15985700"));
    QCOMPARE(w.betaSlider()->value(), 1100);
    QCOMPARE(w.goalKeys().size(), 43);
    QCOMPARE(w.currentKeys().size(), 41); // without its two end points
    QCOMPARE(w.plot()->graph(1)->data()->size(), 41);
    QCOMPARE(w.plot()->graph(1)->name(), QStringLiteral("Calibration thermistor curve (Current)"));
}

// After "Clear" a slider move leaves the current curve as it was and marks
// every resistance cell.
void TstTemperatureCalibration::clearedTableKeepsCurves()
{
    PageFixture fx;
    TemperatureCalibrationWindow w(fx.page.get());
    w.deltaSlider()->setValue(3);
    const QVector<double> before = w.currentValues();
    QVERIFY(!before.isEmpty());
    w.button(QStringLiteral("Clear"))->click();
    w.deltaSlider()->setValue(7);
    QCOMPARE(w.currentValues(), before);
    for (int i = 0; i < w.pointCount(); ++i)
        QCOMPARE(w.curveTable()->item(i, 1)->background().color(), QColor(255, 153, 153, 50));
    w.button(QStringLiteral("Confirm"))->click();
    QCOMPARE(w.goalKeys().size(), 19); // the goal curve keeps its points
    w.button(QStringLiteral("Reset"))->click();
    w.button(QStringLiteral("Confirm"))->click();
    QCOMPARE(w.curveTable()->item(0, 1)->background().color(), QColor(Qt::white));
    QCOMPARE(w.goalKeys().size(), 19);
}

void TstTemperatureCalibration::resetWithoutChangeDoesNotRefresh()
{
    PageFixture fx;
    TemperatureCalibrationWindow w(fx.page.get());
    w.button(QStringLiteral("Reset calibration"))->click();
    QCOMPARE(w.currentRefreshes(), 0);
    w.gammaSlider()->setValue(1020);
    w.button(QStringLiteral("Reset calibration"))->click();
    QCOMPARE(w.gammaSlider()->value(), 1000);
    QCOMPARE(w.gammaEdit()->text(), QStringLiteral("1"));
    QCOMPARE(w.currentRefreshes(), 2);
}

void TstTemperatureCalibration::coefficientEdits()
{
    PageFixture fx;
    TemperatureCalibrationWindow w(fx.page.get());
    w.betaSlider()->setValue(1023);
    QCOMPARE(w.betaEdit()->text(), QStringLiteral("1.023"));
    w.betaSlider()->setValue(1000);
    w.betaEdit()->setText(QStringLiteral("5"));
    emit w.betaEdit()->editingFinished();
    QCOMPARE(w.betaSlider()->value(), 1150);
    QCOMPARE(w.betaEdit()->text(), QStringLiteral("1.15"));
    w.betaEdit()->setText(QStringLiteral("5"));
    emit w.betaEdit()->editingFinished();
    QCOMPARE(w.betaEdit()->text(), QStringLiteral("5"));
    QTest::keyClicks(w.deltaEdit(), QStringLiteral("-"));
    QCOMPARE(w.deltaSlider()->value(), 0);
    w.deltaEdit()->clear();
    QTest::keyClicks(w.deltaEdit(), QStringLiteral("-300"));
    QCOMPARE(w.deltaSlider()->value(), -128);
}

QTEST_MAIN(TstTemperatureCalibration)
#include "tst_temperaturecalibration.moc"
