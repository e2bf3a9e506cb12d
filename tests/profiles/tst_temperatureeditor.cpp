// The temperature dependency window: sliders and editors kept in step, the
// acceptable-text rule, the anchored curve, reset and commit.
#include "TemperatureDependencyEditWidget.h"

#include <QLabel>
#include <QLineEdit>
#include <QSlider>
#include <QTest>

#include "ToolTipPlot.h"

namespace {

double polynomial(double t, const QVector<double>& c)
{
    double sum = 0, power = t;
    for (double x : c) {
        sum += x * power;
        power *= t;
    }
    return sum;
}

const QVector<TemperatureCoefficientSpec> kSpecs = {
    {"c1", "·t", -0.5, 0.5, 2},
    {"c2", "·t²", -0.05, 0.05, 3},
    {"c3", "·t³", -0.0005, 0.0005, 5},
    {"c4", "·t⁴", -0.00005, 0.00005, 6},
    {"c5", "·t⁵", -0.00005, 0.00005, 6},
};

struct Editor
{
    QList<QVector<double>> commits;
    TemperatureDependencyEditWidget w{"SoC", "%", kSpecs, polynomial,
                                      [this](const QVector<double>& c) { commits << c; }};

    // Typing a text and pressing Return.
    void type(int index, const QString& text)
    {
        QLineEdit* e = w.editor(index);
        e->setText(text);
        emit e->editingFinished();
    }
    bool red(int index) const { return w.editor(index)->styleSheet().contains("red"); }
};

} // namespace

class TestTemperatureEditor : public QObject
{
    Q_OBJECT
private slots:
    void slidersSpanTheCoefficientRanges();
    void sliderAndEditorFollowEachOther_data();
    void sliderAndEditorFollowEachOther();
    void unacceptableTextFallsBackToTheStoredCoefficient();
    void curvePassesThroughTheValueAt20();
    void setCoefficientsNeedsOneValuePerCoefficient();
    void resetBringsBackTheLastGivenCoefficients();
};

void TestTemperatureEditor::slidersSpanTheCoefficientRanges()
{
    Editor e;
    for (int i = 0; i < kSpecs.size(); ++i) {
        QCOMPARE(e.w.slider(i)->minimum(), -50);
        QCOMPARE(e.w.slider(i)->maximum(), 50);
        QCOMPARE(e.w.editor(i)->text(), QString("0"));
    }
    QCOMPARE(e.w.windowTitle(), QString("SoC dependency on Temperature"));
    QCOMPARE(e.w.windowModality(), Qt::ApplicationModal);
    QVERIFY(e.w.isHidden());
}

void TestTemperatureEditor::sliderAndEditorFollowEachOther_data()
{
    QTest::addColumn<int>("sliderBefore");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("sliderAfter");
    QTest::addColumn<QString>("textAfter");
    QTest::newRow("rounded text is rewritten") << 0 << "0.123" << 12 << "0.12";
    QTest::newRow("finer than a step, slider already there") << 12 << "0.123" << 12 << "0.12";
    QTest::newRow("halves go upwards") << 0 << "-0.125" << -12 << "-0.12";
    QTest::newRow("out of range leaves the slider") << 3 << "0.7" << 3 << "0.7";
    QTest::newRow("not a number leaves the slider") << 3 << "abc" << 3 << "abc";
}

void TestTemperatureEditor::sliderAndEditorFollowEachOther()
{
    QFETCH(int, sliderBefore);
    QFETCH(QString, typed);
    QFETCH(int, sliderAfter);
    QFETCH(QString, textAfter);
    Editor e;
    e.w.slider(0)->setValue(sliderBefore);
    QCOMPARE(e.w.editor(0)->text(), QString::number(sliderBefore / 100.0, 'g', 6));
    e.type(0, typed);
    QCOMPARE(e.w.slider(0)->value(), sliderAfter);
    QCOMPARE(e.w.editor(0)->text(), textAfter);
}

void TestTemperatureEditor::unacceptableTextFallsBackToTheStoredCoefficient()
{
    Editor e;
    e.w.setCoefficients({0.3, 0.01, 0, 0, 0});
    QVERIFY(!e.red(0));
    e.type(0, "0.7");
    QVERIFY(e.red(0));
    QCOMPARE(e.w.currentCoefficients().at(0), 0.3);
    e.w.commitChanges();
    QCOMPARE(e.commits.size(), 1);
    QCOMPARE(e.commits.first().at(0), 0.3);
    QCOMPARE(e.commits.first().at(1), double(0.01f)); // editors are read in single precision
    QCOMPARE(e.w.storedCoefficients().at(0), 0.3);     // a commit does not store

    e.type(0, "0.2");
    QVERIFY(!e.red(0));
    QCOMPARE(e.w.currentCoefficients().at(0), double(0.2f));
}

void TestTemperatureEditor::curvePassesThroughTheValueAt20()
{
    Editor e;
    e.w.setValueAt20(100);
    e.w.setCoefficients({0.5, -0.05, 0.0005, -0.00005, 0.00004});
    QCPGraph* curve = e.w.curve();
    QCOMPARE(curve->data()->size(), 131);
    QCOMPARE(curve->data()->begin()->key, -45.0);
    QCOMPARE((curve->data()->end() - 1)->key, 85.0);
    auto at20 = curve->data()->findBegin(20.0, false);
    QCOMPARE(at20->key, 20.0);
    QVERIFY(qAbs(at20->value - 100.0) < 1e-9);
    QCOMPARE(e.w.valueLabel()->text(), QString("100"));
}

void TestTemperatureEditor::setCoefficientsNeedsOneValuePerCoefficient()
{
    Editor e;
    e.w.setCoefficients({0.1, 0.01, 0.0001, 0.00001});
    for (int i = 0; i < 5; ++i)
        QCOMPARE(e.w.editor(i)->text(), QString("0"));
    QCOMPARE(e.w.storedCoefficients(), (QVector<double>{0, 0, 0, 0, 0}));
}

void TestTemperatureEditor::resetBringsBackTheLastGivenCoefficients()
{
    Editor e;
    const QVector<double> given{0.2, -0.01, 0.0001, 0, 0.00002};
    e.w.setCoefficients(given);
    QCOMPARE(e.w.slider(0)->value(), 20);
    QCOMPARE(e.w.slider(2)->value(), 10);
    e.w.slider(0)->setValue(-40);
    e.type(1, "0.04");
    e.w.resetCoefficients();
    QCOMPARE(e.w.slider(0)->value(), 20);
    QCOMPARE(e.w.slider(1)->value(), -10);
    QCOMPARE(e.w.editor(0)->text(), QString("0.2"));
    QCOMPARE(e.w.editor(1)->text(), QString("-0.01"));
    QCOMPARE(e.w.editor(4)->text(), QString("2e-05"));
}

QTEST_MAIN(TestTemperatureEditor)
#include "tst_temperatureeditor.moc"
