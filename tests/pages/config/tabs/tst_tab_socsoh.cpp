// The SOC / SOH tab: the estimator switch between the legacy settings and
// the cell model editor, the rows each firmware shows and the encodings.
#include "TabTestSupport.h"

#include "SocCustomProfile.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QPushButton>
#include <QTest>

class TestTabSocSoh : public QObject
{
    Q_OBJECT
private slots:
    void init() { m_pages.startRow(); }
    void cleanupTestCase() { m_pages.release(); }
    void estimatorAtBuild();
    void estimatorSwitch_data();
    void estimatorSwitch();
    void userChoiceSwitchesAtOnce();
    void encodings_data();
    void encodings();
    void legacyRowsByFirmware();
    void adjustFlagWritesItsBit();
    void tableWidths();

private:
    PagePerFunction<PageFixture> m_pages;
};

namespace {

QWidget* legacyPanel(PageFixture& f)
{
    return f.page->setSocButton->parentWidget();
}

QWidget* profilePanel(PageFixture& f)
{
    return f.page->findChild<SocCustomProfile*>();
}

} // namespace

// At build: legacy shown, the combo readable and enabled.
void TestTabSocSoh::estimatorAtBuild()
{
    PageFixture& f = m_pages.get();
    QVERIFY(!legacyPanel(f)->isHidden());
    QVERIFY(profilePanel(f)->isHidden());
    QVERIFY(f.page->socEstimatorCombo->isEnabled());
}

void TestTabSocSoh::estimatorSwitch_data()
{
    QTest::addColumn<bool>("feature110");
    QTest::addColumn<quint32>("value");
    QTest::addColumn<bool>("profile");
    QTest::newRow("v1") << true << 1u << true;
    QTest::newRow("legacy") << true << 0u << false;
    QTest::newRow("no item") << true << 2u << false;
    QTest::newRow("no feature") << false << 1u << false;
}

void TestTabSocSoh::estimatorSwitch()
{
    QFETCH(bool, feature110);
    QFETCH(quint32, value);
    QFETCH(bool, profile);
    PageFixture& f = m_pages.get();
    if (feature110)
        reportFeatures(f, {110});
    else
        reportFeatures(f, {});
    QList<bool> soh;
    f.page->setSohVisibility([&soh](bool shown) { soh << shown; });
    f.page->accessLevel = 0;
    f.reply(0x2000, value);
    QCOMPARE(profilePanel(f)->isHidden(), !profile);
    QCOMPARE(legacyPanel(f)->isHidden(), profile);
    QVERIFY(!soh.isEmpty());
    QCOMPARE(soh.last(), profile);
}

void TestTabSocSoh::userChoiceSwitchesAtOnce()
{
    PageFixture& f = m_pages.get();
    reportFeatures(f, {110});
    f.reply(0x2000, 0);
    QComboBox* combo = f.page->socEstimatorCombo;
    combo->setCurrentIndex(1);
    emit combo->activated(1);
    QVERIFY(!profilePanel(f)->isHidden());
    QVERIFY(legacyPanel(f)->isHidden());
}

void TestTabSocSoh::encodings_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<quint32>("raw");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("written");
    QTest::newRow("lower temperature 0") << "SOC Adjustment Lower Temperature Threshold" << 0u << "-100" << "" << "";
    QTest::newRow("lower temperature") << "SOC Adjustment Lower Temperature Threshold" << 120u << "20" << "-5"
                                       << "0064=5F";
    QTest::newRow("current threshold") << "SOC Adjustment Current Threshold" << 50u << "0.50" << "" << "";
    QTest::newRow("table voltage") << "Voltage at SOC 3" << 165u << "3.65" << "" << "";
    QTest::newRow("table soc clamped") << "SOC at Voltage 5" << 101u << "100" << "" << "";
    QTest::newRow("period") << "SOC Adjust Period 4" << 1440u << "1440" << "" << "";
    QTest::newRow("cell capacity") << "Cbat Value" << 1000u << "100.0" << "" << "";
    // Two bytes on the wire: the pulse count stops at 65535.
    QTest::newRow("pulses held") << "Pulses per distance unit" << 10u << "10" << "65536" << "0501=FFFF";
    QTest::newRow("unit name") << "Distance unit name" << 0x6B6Du << "km" << "mi" << "0503=6D69";
    QTest::newRow("user soc") << "Max SoC Range" << 9550u << "95.50" << "" << "";
}

void TestTabSocSoh::encodings()
{
    QFETCH(QString, name);
    QFETCH(quint32, raw);
    QFETCH(QString, shown);
    QFETCH(QString, typed);
    QFETCH(QString, written);
    PageFixture& f = m_pages.get();
    ConfigParam* p = paramNamed(f, name);
    QVERIFY(p);
    f.reply(p->paramId(), raw);
    QCOMPARE(editorText(p), shown);
    if (typed.isEmpty())
        return;
    static_cast<QLineEdit*>(p->widget)->setText(typed);
    f.page->submitParam(p);
    QCOMPARE(f.lastWrite(), written);
}

void TestTabSocSoh::legacyRowsByFirmware()
{
    PageFixture& f = m_pages.get();
    reportFeatures(f, {78, 77});
    f.page->updateFeatureVisibility("2.5.0");
    QVERIFY(!paramNamed(f, "BF31_ADJUST_SOC_AT_LOW_VOLT_WARNING")->widget->isHidden());
    QVERIFY(!paramNamed(f, "SOC at low volt. warn.")->widget->isHidden());
    QVERIFY(paramNamed(f, "BF31_ADJUST_SOC_BY_VOLTAGE 2")->widget->isHidden());
    QVERIFY(paramNamed(f, "SOC Adjustment Upper Temperature Threshold")->widget->isHidden());
    QVERIFY(!f.page->setSocButton->isHidden());
    QVERIFY(f.page->actionButtons.contains(f.page->setSocButton));
    // The table hides without feature 81.
    QVERIFY(paramNamed(f, "Voltage at SOC 1")->widget->parentWidget()->isHidden());

    reportFeatures(f, {79, 81});
    f.page->updateFeatureVisibility("2.5.0");
    QVERIFY(paramNamed(f, "BF31_ADJUST_SOC_AT_LOW_VOLT_WARNING")->widget->isHidden());
    QVERIFY(!paramNamed(f, "BF31_ADJUST_SOC_BY_VOLTAGE 2")->widget->isHidden());
    QVERIFY(paramNamed(f, "BF31_ADJUST_SOC_BY_VOLTAGE 3")->widget->isHidden());
    QVERIFY(!paramNamed(f, "SOC Adjustment Upper Temperature Threshold")->widget->isHidden());
    QVERIFY(!paramNamed(f, "Voltage at SOC 1")->widget->parentWidget()->isHidden());
}

void TestTabSocSoh::adjustFlagWritesItsBit()
{
    PageFixture& f = m_pages.get();
    ConfigParam* adjust = paramNamed(f, "BF31_ADJUST_SOC_BY_VOLTAGE 2");
    f.reply(0x1600, 0x00000005);
    static_cast<QCheckBox*>(adjust->widget)->setChecked(true);
    f.page->submitParam(adjust);
    QCOMPARE(f.lastWrite(), QString("1600=40000005"));
    // Every check box of the bit follows the echo.
    f.reply(0x1600, 0x40000005);
    QVERIFY(static_cast<QCheckBox*>(paramNamed(f, "BF31_ADJUST_SOC_AT_LOW_VOLT_WARNING")->widget)->isChecked());
}

void TestTabSocSoh::tableWidths()
{
    PageFixture& f = m_pages.get();
    const int soc = paramNamed(f, "SOC at Voltage 2")->widget->width();
    const int voltage = paramNamed(f, "Voltage at SOC 2")->widget->width();
    QVERIFY(soc >= 3 * voltage / 4);
}

QTEST_MAIN(TestTabSocSoh)
#include "tst_tab_socsoh.moc"
