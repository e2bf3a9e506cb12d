// The cell model page: its parameter declarations, the moving of values
// between the parameters and its two editor windows, Set SOC and the
// estimator restarts.
#include "FakeParamHost.h"
#include "ScriptedDialogs.h"
#include "SocCustomProfile.h"
#include "TemperatureDependencyEditWidget.h"
#include "ToolTipPlot.h"

#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <QToolTip>

#include <cfloat>

using PointMap = SOCOCVCurveEditWidget::PointMap;

namespace {

struct Page
{
    FakeParamHost host;
    ScriptedDialogs dialogs;
    QWidget top;
    SocCustomProfile* page = new SocCustomProfile(&host, &top);

    Page() { page->setDialogs(&dialogs); }
    // Slots 0..n-1 hold the given points, the rest are unused.
    void loadCurve(const QList<QPair<int, QString>>& points)
    {
        for (int i = 0; i < 32; ++i) {
            host.texts[0x2420 + i] = i < points.size() ? QString::number(points[i].first) : "255";
            host.texts[0x2540 + 2 * i] = i < points.size() ? points[i].second : "1.0000";
        }
    }
    QPushButton* button(const QString& text) const
    {
        for (QPushButton* b : page->findChildren<QPushButton*>())
            if (b->text() == text)
                return b;
        return nullptr;
    }
};

} // namespace

class TestSocCustomProfile : public QObject
{
    Q_OBJECT
private slots:
    void declaresTheCellModelParameters();
    void curveEditorOpensWithTheStoredPoints();
    void curveCommitWritesEverySlot();
    void curveCommitNeedsFivePoints();
    void coefficientsAreReadAndWritten();
    void coefficientEditorsOfferOnlyStorableValues();
    void plotsTipTheirCurves();
    void temperaturePolynomial();
    void setSocSendsTheValueInHex_data();
    void setSocSendsTheValueInHex();
    void restartsAskFirst_data();
    void restartsAskFirst();
};

void TestSocCustomProfile::declaresTheCellModelParameters()
{
    Page p;
    const QList<Declaration>& d = p.host.declarations;
    QCOMPARE(d.size(), 64 + 5 + 4 + 1 + 6 + 1);
    QCOMPARE(d[0].name, QString("BSM_CELL_PARAM_SOC_POINT_00"));
    QCOMPARE(d[0].id, 0x2420);
    QCOMPARE(d[1].name, QString("BSM_CELL_PARAM_OCV_POINT_00"));
    QCOMPARE(d[1].id, 0x2540);
    QCOMPARE(d[63].name, QString("BSM_CELL_PARAM_OCV_POINT_31"));
    QCOMPARE(d[63].id, 0x2540 + 62);
    QCOMPARE(d[1].scale, 0.0001);
    QCOMPARE(d[64].name, QString("BSM_CELL_PARAM_SOC_TEMPDEP_C1"));
    QCOMPARE(d[66].id, 0x2A0C);
    QCOMPARE(d[66].scale, 0.0001);
    QCOMPARE(d[68].minimum, -0.00005);

    const Declaration* r0 = p.host.declaration("R0 Value");
    QVERIFY(r0 && r0->isFloat && r0->kind == 4 && qFuzzyCompare(r0->scale, 1e-7));
    QVERIFY(r0->widget->isEnabled());
    QCOMPARE(r0->widget->styleSheet(), QString("QLineEdit{color: black; background: white;}"));
    QVERIFY(r0->widget->parent()); // placed
    QCOMPARE(p.host.declaration("Cp1 Value")->maximum, double(FLT_MAX));
    QCOMPARE(p.host.declaration("BSE_INIT_VPSOC_P_VP1")->minimum, double(FLT_MIN));
    const Declaration* cbat = p.host.declaration("Cbat Value");
    QVERIFY(cbat && !cbat->isFloat && cbat->id == 0x0102 && cbat->scale == 0.1);

    const Declaration* msd = p.host.declaration("MSD Enable");
    QVERIFY(msd && msd->kind == 7 && msd->featureId == 111 && msd->id == 0x1608);
    QCOMPARE(msd->param->bitMask, 0x80u);
    const Declaration* debug = p.host.declaration("ESTIMATOR_DEBUG_ENABLE");
    QVERIFY(debug && debug->id == 0x2001 && debug->featureId == 110);
    QCOMPARE(debug->param->bitMask, 0x04u);
    for (const Declaration& x : d)
        if (x.name != "MSD Enable")
            QVERIFY2(x.featureId == 110, qPrintable(x.name));

    // The point and coefficient editors are never placed.
    QVERIFY(!d[0].widget->parent());
    QVERIFY(!d[64].widget->parent());

    // "Set SOC", the diagnostics label and its check box follow feature 110.
    QCOMPARE(p.host.features.size(), 3);
    QCOMPARE(p.host.features[0].first, p.button("Set SOC"));
    QCOMPARE(p.host.features[2].first, debug->widget);
    for (const auto& f : p.host.features)
        QCOMPARE(f.second, 110);

    QVERIFY(p.page->curveEditor()->isHidden());
    QVERIFY(p.page->temperatureEditor()->isHidden());
}

void TestSocCustomProfile::curveEditorOpensWithTheStoredPoints()
{
    Page p;
    p.loadCurve({{0, "2.8"}, {50, "3.3"}, {50, "3.4"}, {100, "3.6"}});
    p.host.texts[0x2420 + 3] = "100.0"; // shown with decimals: still 100, not 0
    p.button("SOC-OCV Curve")->click();
    QVERIFY(p.page->curveEditor()->isVisible());
    QCOMPARE(p.page->curveEditor()->modifiedPoints(), (PointMap{{0, 2.8}, {50, 3.3}, {100, 3.6}}));
    p.page->curveEditor()->hide();

    // Nothing loaded yet: one point at 0 %, 0 V.
    Page empty;
    empty.page->slotEditSocOcvCurve();
    QCOMPARE(empty.page->curveEditor()->modifiedPoints(), (PointMap{{0, 0.0}}));
    empty.page->curveEditor()->hide();
}

void TestSocCustomProfile::curveCommitWritesEverySlot()
{
    Page p;
    p.loadCurve({{0, "2.8"}, {100, "3.6"}});
    for (int i = 0; i < 32; ++i)
        p.host.texts[0x2540 + 2 * i] = "9.9999"; // so untouched OCV slots show
    p.page->slotEditSocOcvCurve();
    SOCOCVCurveEditWidget* editor = p.page->curveEditor();
    editor->resetToDefaults(); // 27 points
    editor->setPoints([&] {
        PointMap m = editor->modifiedPoints();
        m[97] = 3.36392;
        return m;
    }());

    QList<int> progress;
    bool pressedAgain = false;
    p.host.onWrite = [&](int id, const QString&) {
        if (!pressedAgain) {
            pressedAgain = true;
            editor->commitChanges(); // while the writes run: ignored
        }
        if (id < 0x2420 || id >= 0x2440)
            return;
        auto* bar = p.page->findChild<QProgressBar*>("progressParameters");
        QVERIFY(bar);
        QCOMPARE(bar->format(), QString("%p% Completed"));
        progress << bar->value();
    };
    editor->commitChanges();

    QCOMPARE(p.host.writes.size(), 27 * 2 + 5);
    QCOMPARE(p.host.writes[0], qMakePair(0x2420, QString("0")));
    QCOMPARE(p.host.writes[1], qMakePair(0x2540, QString("2.8000")));
    QCOMPARE(p.host.texts[0x2540 + 2 * 25], QString("3.3639"));
    QCOMPARE(p.host.texts[0x2420 + 26], QString("100"));
    for (int i = 27; i < 32; ++i) {
        QCOMPARE(p.host.texts[0x2420 + i], QString("255"));
        QCOMPARE(p.host.texts[0x2540 + 2 * i], QString("9.9999"));
    }
    // Before each slot's write the bar shows the previous slot's share.
    QCOMPARE(progress.size(), 32);
    for (int i = 1; i < 32; ++i)
        QCOMPARE(progress[i], (i - 1) * 100 / 32);
    QVERIFY(!p.page->findChild<QProgressBar*>("progressParameters")); // gone with its dialog
    QVERIFY(p.dialogs.warnings.isEmpty());
    editor->hide();
}

void TestSocCustomProfile::curveCommitNeedsFivePoints()
{
    Page p;
    p.loadCurve({{0, "2.8"}, {30, "3.1"}, {60, "3.3"}, {100, "3.6"}});
    p.page->slotEditSocOcvCurve();
    p.page->curveEditor()->commitChanges();
    QCOMPARE(p.dialogs.warnings,
             QStringList{"|At least 5 SOC values should be added to table in order to use the SOC-SOH algorithm."});
    QVERIFY(p.host.writes.isEmpty());
    QCOMPARE(p.page->curveEditor()->pointCount(), 4);
    p.page->curveEditor()->hide();
}

void TestSocCustomProfile::coefficientsAreReadAndWritten()
{
    Page p;
    p.host.texts[0x2A04] = "0.1";
    p.host.texts[0x2A08] = "-0.02";
    p.host.texts[0x2A0C] = "0.0003";
    p.host.texts[0x2A10] = "0";
    p.host.texts[0x2A14] = "0.00001";
    TemperatureDependencyEditWidget* editor = p.page->temperatureEditor();
    editor->setValueAt20(42);
    p.button("f(t°)")->click();
    QVERIFY(editor->isVisible());
    QCOMPARE(editor->storedCoefficients(), (QVector<double>{0.1, -0.02, 0.0003, 0, 0.00001}));
    QCOMPARE(editor->slider(1)->value(), -2);
    QCOMPARE(editor->valueLabel()->text(), QString("100"));

    editor->commitChanges(); // values the unit keeps exactly: no question
    QVERIFY(p.dialogs.questions.isEmpty());
    QCOMPARE(p.host.writes, (QList<QPair<int, QString>>{{0x2A04, "0.1"}, {0x2A08, "-0.02"}, {0x2A0C, "0.0003"},
                                                        {0x2A10, "0"}, {0x2A14, "1e-05"}}));
    editor->hide();
}

// The editor counts in the unit's own steps: every slider position is a
// value the unit stores, and a finer typed value is rounded in the editor.
void TestSocCustomProfile::coefficientEditorsOfferOnlyStorableValues()
{
    Page p;
    TemperatureDependencyEditWidget* editor = p.page->temperatureEditor();
    const QStringList ends{"0.5", "0.05", "0.0005", "5e-05", "5e-05"};
    for (int k = 0; k < 5; ++k) {
        QCOMPARE(editor->slider(k)->minimum(), -5);
        QCOMPARE(editor->slider(k)->maximum(), 5);
        editor->slider(k)->setValue(-5);
        QCOMPARE(editor->editor(k)->text(), "-" + ends[k]);
    }
    editor->slider(0)->setValue(1);
    editor->editor(0)->setText("0.123");
    emit editor->editor(0)->editingFinished();
    QCOMPARE(editor->editor(0)->text(), QString("0.1"));
    editor->editor(2)->setText("0.00012");
    emit editor->editor(2)->editingFinished();
    QCOMPARE(editor->editor(2)->text(), QString("0.0001"));

    editor->commitChanges();
    QVERIFY(p.dialogs.questions.isEmpty());
    QCOMPARE(p.host.writes, (QList<QPair<int, QString>>{{0x2A04, "0.1"}, {0x2A08, "-0.05"}, {0x2A0C, "0.0001"},
                                                        {0x2A10, "-5e-05"}, {0x2A14, "-5e-05"}}));
}

// The mouse resting on a point of a curve brings up the curve's tip.
void TestSocCustomProfile::plotsTipTheirCurves()
{
    Page p;
    p.loadCurve({{0, "2.8"}, {30, "3.1"}, {60, "3.3"}, {100, "3.6"}});
    auto hoverShows = [](QWidget* window, ToolTipPlot* plot, double x, double y, const QString& tip) {
        window->activateWindow();
        if (!QTest::qWaitForWindowActive(window))
            return false;
        plot->replot();
        const QPoint at(qRound(plot->xAxis->coordToPixel(x)), qRound(plot->yAxis->coordToPixel(y)));
        QTest::mouseMove(plot, at);
        const bool shown = QTest::qWaitFor([&] { return QToolTip::isVisible() && QToolTip::text() == tip; }, 10000);
        QTest::mouseMove(plot, QPoint(plot->width() - 2, 2)); // off the curve: the tip goes
        const bool gone = QTest::qWaitFor([] { return !QToolTip::isVisible(); }, 10000);
        window->hide();
        return shown && gone;
    };

    p.button("SOC-OCV Curve")->click();
    SOCOCVCurveEditWidget* curve = p.page->curveEditor();
    QVERIFY(hoverShows(curve, curve->plot(), 30, 3.1, "SOC-OCV original curve"));

    p.button("f(t°)")->click();
    TemperatureDependencyEditWidget* temperature = p.page->temperatureEditor();
    QVERIFY(hoverShows(temperature, temperature->plot(), 20, 100, "Temperature dependency"));
}

void TestSocCustomProfile::temperaturePolynomial()
{
    QCOMPARE(SocCustomProfile::evaluateTemperature(2, {1, 1, 1, 1, 1}), 2.0 + 4 + 8 + 16 + 32);
    QCOMPARE(SocCustomProfile::evaluateTemperature(-1, {0.5, 0, 0, 0, 0}), -0.5);
    QCOMPARE(SocCustomProfile::evaluateTemperature(2, {1, 1, 1, 1}), 0.0);
}

void TestSocCustomProfile::setSocSendsTheValueInHex_data()
{
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<int>("soc");
    QTest::addColumn<QStringList>("sent");
    QTest::newRow("5") << true << 5 << QStringList{"SC1,05 @20"};
    QTest::newRow("100") << true << 100 << QStringList{"SC1,64 @20"};
    QTest::newRow("cancelled") << false << 50 << QStringList{};
}

void TestSocCustomProfile::setSocSendsTheValueInHex()
{
    QFETCH(bool, accepted);
    QFETCH(int, soc);
    QFETCH(QStringList, sent);
    Page p;
    p.dialogs.intAccepted = accepted;
    p.dialogs.intAnswer = soc;
    p.button("Set SOC")->click();
    QCOMPARE(p.dialogs.intPrompts, 1);
    QCOMPARE(p.host.sentences, sent);
}

void TestSocCustomProfile::restartsAskFirst_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("question");
    QTest::addColumn<QString>("sent");
    QTest::newRow("estimator") << "Restart Estimator"
                               << "Restart Estimator?|Do you really want to reset the SOC/SOH estimator?" << "RE1, @20";
    QTest::newRow("soc") << "Restart SOC Estimator"
                         << "Restart SOC Estimator?|Do you really want to reset the SOC estimator?" << "RE1,2 @20";
    QTest::newRow("cbat") << "Restart Cbat Estimator"
                          << "Restart Cbat Estimator?|Do you really want to reset the Cbat estimator?" << "RE1,3 @20";
}

void TestSocCustomProfile::restartsAskFirst()
{
    QFETCH(QString, button);
    QFETCH(QString, question);
    QFETCH(QString, sent);
    Page p;
    p.dialogs.answerYes = false;
    p.button(button)->click();
    QCOMPARE(p.dialogs.questions, QStringList{question});
    QVERIFY(p.host.sentences.isEmpty());
    p.dialogs.answerYes = true;
    p.button(button)->click();
    QCOMPARE(p.host.sentences, QStringList{sent});
}

QTEST_MAIN(TestSocCustomProfile)
#include "tst_soccustomprofile.moc"
