// The CAN tab, the CGMs Map tab and the CAN Devices section as the page
// builds them: declarations that matter, and the section's reactions to
// the CAN module service.
#include "../ConfigPageFixture.h"

#include "../../../can/FakeCanLink.h"
#include "ConfigParam.h"
#include "HeldBox.h"
#include "ModuleMappingTables.h"
#include "Tip.h"
#include "canConfig.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>

namespace {

ConfigParam* paramOf(ConfigPage* page, int id, uint32_t mask = 0xFFFFFFFFu)
{
    ConfigParamSlot* slot = page->paramSlot(id);
    if (!slot)
        return nullptr;
    for (ConfigParam* p : slot->params)
        if (p->bitMask == mask)
            return p;
    return nullptr;
}

// A tip holding the text.
bool tipShows(const QString& text)
{
    for (QWidget* w : QApplication::allWidgets())
        if (auto* tip = qobject_cast<Tip*>(w))
            if (tip->text() == text)
                return true;
    return false;
}

// The button's own state (its tab is disabled while there is no link).
bool enabled(QWidget* w) { return !w->testAttribute(Qt::WA_ForceDisabled); }

QString lineText(QWidget* w) { return static_cast<QLineEdit*>(w)->text(); }

// A page with the CAN module service on a fake link; the boxes it shows are
// recorded and answered with `answer`.
struct CanPage : PageFixture
{
    FakeCanLink* link = new FakeCanLink;
    canConfig service{std::unique_ptr<CanLinkServices>(link)};
    QStringList boxTexts;
    int answer = QMessageBox::Ok;

    CanPage()
    {
        g_canConfig = &service;
        page->setModalBoxRunner([this](QMessageBox* box) {
            testkit::holdLikeABox();
            ++modalBoxes;
            boxTexts << (box->informativeText().isEmpty() ? box->text() : box->informativeText());
            box->setResult(answer);
        });
        page->setResetPause([](int) {});
    }
    ~CanPage() { g_canConfig = nullptr; }
    void setRecord(int k, quint32 serial, int string, int cells)
    {
        const ConfigPage::ModuleRecord& r = page->moduleRecords[k];
        static_cast<QLineEdit*>(r.serialEdit)->setText(QString::number(serial));
        static_cast<QLineEdit*>(r.stringEdit)->setText(QString::number(string));
        static_cast<QLineEdit*>(r.cellCountEdit)->setText(QString::number(cells));
    }
};

} // namespace

class TestTabCan : public QObject
{
    Q_OBJECT
    // The data rows of one function share a page.
    PagePerFunction<PageFixture> pages;
private slots:
    void init() { pages.startRow(); }
    void cleanupTestCase() { pages.release(); }
    void canParams_data();
    void canParams();
    void speedAndInterfaceBoxes();
    void firmwareGating_data();
    void firmwareGating();
    void deviceBaseIdBelongsToGroup10();
    void hiddenSplitterParams();
    void moduleRecords();
    void cgmsMapRows();
    void loadPlacesEachStringInOrder();
    void commitButtonFollowsTable();
    void statusFailuresShowTheirBox_data();
    void statusFailuresShowTheirBox();
    void refusedConfigModeGivesControlsBack();
    void commitFinishWritesRecordsAndRange();
    void commitFinishRecordsAllModulesBehindASensor();
    void chargingStopsDeviceActions();
    void speedChange();
};

void TestTabCan::canParams_data()
{
    QTest::addColumn<int>("id");
    QTest::addColumn<uint>("mask");
    QTest::addColumn<int>("kind");
    QTest::addColumn<double>("minimum");
    QTest::addColumn<double>("maximum");
    QTest::addColumn<int>("feature");
    QTest::newRow("enable CAN") << 0x1600 << 0x200u << 7 << -1.0 << 1.0 << -1;
    QTest::newRow("CAN1 speed") << 0x0C02 << 0xFFFFFFFFu << 6 << 0.0 << 6.0 << 33;
    QTest::newRow("CAN2 speed") << 0x0C95 << 0xFFFFFFFFu << 6 << 0.0 << 6.0 << 113;
    QTest::newRow("broadcast period") << 0x0C8C << 0xFFFFFFFFu << 1 << 0.1 << 25.5 << 112;
    QTest::newRow("TM4 NEURO") << 0x1604 << 0x400u << 7 << -1.0 << 1.0 << 1;
    QTest::newRow("extended ids") << 0x1600 << 0x800u << 7 << -1.0 << 1.0 << -1;
    QTest::newRow("only M/S") << 0x1608 << 0x20u << 7 << -1.0 << 1.0 << -1;
    QTest::newRow("CAN id base") << 0x0D00 << 0xFFFFFFFFu << 2 << 0.0 << 8191.0 << 33;
    QTest::newRow("device id base") << 0x0D03 << 0xFFFFFFFFu << 2 << 0.0 << 8191.0 << 6;
    QTest::newRow("CANopen enable, whole byte") << 0x0C88 << 0xFFFFFFFFu << 7 << -1.0 << 1.0 << 106;
    QTest::newRow("node id") << 0x0C89 << 0xFFFFFFFFu << 1 << 1.0 << 127.0 << 106;
    QTest::newRow("heartbeat") << 0x0D8A << 0xFFFFFFFFu << 1 << 0.0 << 65530.0 << 106;
    QTest::newRow("master/slave") << 0x1600 << 0x800000u << 7 << -1.0 << 1.0 << 7;
    QTest::newRow("keepalive id") << 0x1E00 << 0xFFFFFFFFu << 2 << 0.0 << 536870911.0 << 7;
    QTest::newRow("M/S extended") << 0x1600 << 0x1000000u << 7 << -1.0 << 1.0 << 7;
    QTest::newRow("common bus speed") << 0x1C04 << 0xFFFFFFFFu << 6 << 0.0 << 6.0 << 7;
    QTest::newRow("EVCC interface") << 0x0C91 << 0xFFFFFFFFu << 6 << 0.0 << 3.0 << 113;
}

void TestTabCan::canParams()
{
    QFETCH(int, id);
    QFETCH(uint, mask);
    PageFixture& f = pages.get();
    ConfigParam* p = paramOf(f.page.get(), id, mask);
    QVERIFY(p);
    QTEST(p->widgetKind, "kind");
    QTEST(p->minimum, "minimum");
    QTEST(p->maximum, "maximum");
    QTEST(p->featureId, "feature");
}

void TestTabCan::speedAndInterfaceBoxes()
{
    PageFixture f;
    QComboBox* speed = f.page->can1SpeedBox;
    QVERIFY(speed);
    QCOMPARE(speed->count(), 6);
    QCOMPARE(speed->itemText(0), QString("50 kbps"));
    QCOMPARE(speed->itemData(0).toInt(), 5);
    QCOMPARE(speed->itemText(5), QString("1 Mbps"));
    QCOMPARE(speed->itemData(5).toInt(), 0);
    f.reply(0x0C02, 4, 2);
    QCOMPARE(speed->currentText(), QString("125 kbps"));
    f.reply(0x0C02, 6, 2);
    QCOMPARE(speed->currentIndex(), -1);
    auto* iface = qobject_cast<QComboBox*>(paramOf(f.page.get(), 0x0C8F)->widget);
    QCOMPARE(iface->count(), 2);
    QCOMPARE(iface->itemData(1).toInt(), 1);
    QCOMPARE(f.page->extendedIdBox, paramOf(f.page.get(), 0x1600, 0x800)->widget);
    QCOMPARE(f.page->deviceBaseIdEdit, paramOf(f.page.get(), 0x0D03)->widget);
    auto* node = static_cast<QLineEdit*>(paramOf(f.page.get(), 0x0C89)->widget);
    QString text = "128";
    int pos = 0;
    QCOMPARE(node->validator()->validate(text, pos), QValidator::Intermediate);
}

void TestTabCan::firmwareGating_data()
{
    QTest::addColumn<QList<int>>("features");
    QTest::addColumn<bool>("can2");
    QTest::addColumn<bool>("canopen");
    QTest::addColumn<bool>("masterSlave");
    QTest::newRow("none") << QList<int>{} << false << false << false;
    QTest::newRow("113 and 106") << QList<int>{113, 106} << true << true << false;
    QTest::newRow("7 and 6") << QList<int>{7, 6} << false << false << true;
}

void TestTabCan::firmwareGating()
{
    QFETCH(QList<int>, features);
    QFETCH(bool, can2);
    QFETCH(bool, canopen);
    QFETCH(bool, masterSlave);
    // A page of its own per row: the firmware check hides widgets it never
    // shows again.
    PageFixture f;
    QList<quint32> words;
    for (int i = 0; i < 8; ++i)
        words << 0u;
    for (int feature : features)
        words[feature / 32] |= 1u << (feature % 32);
    f.bitmap.words = words;
    f.page->updateFeatureVisibility(QString());
    auto shown = [&](int id, uint32_t mask = 0xFFFFFFFFu) { return !paramOf(f.page.get(), id, mask)->widget->isHidden(); };
    QVERIFY(shown(0x0C02)); // CAN1 speed always
    QCOMPARE(shown(0x0C95), can2);
    QCOMPARE(shown(0x0C8D), can2);
    QCOMPARE(shown(0x0C89), canopen);
    QCOMPARE(shown(0x1600, 0x800000), masterSlave);
    // the firmware check hides the device id base without feature 6
    QCOMPARE(shown(0x0D03), features.contains(6));
}

void TestTabCan::deviceBaseIdBelongsToGroup10()
{
    PageFixture f;
    const QList<QWidget*> group = f.page->widgetGroup(10);
    QVERIFY(group.size() >= 3); // the General tab adds its own
    QVERIFY(group.contains(f.page->deviceBaseIdEdit));
    f.page->setWidgetGroupVisible(10, false);
    QVERIFY(f.page->deviceBaseIdEdit->isHidden());
}

void TestTabCan::hiddenSplitterParams()
{
    PageFixture f;
    for (int i = 0; i < 16; ++i) {
        ConfigParam* p = paramOf(f.page.get(), 0x1EB2 + 4 * i);
        QVERIFY(p);
        QCOMPARE(p->name, QString("MS2_GNR_PURPOSE_ID_%1").arg(i));
        QVERIFY(!p->widget->parentWidget()); // in no layout
    }
    QVERIFY(paramOf(f.page.get(), 0x1EAE));
    // a 16-bit word never takes more than 16 bits
    ConfigParam* flags = paramOf(f.page.get(), 0x1DF2);
    QVERIFY(flags);
    QCOMPARE(flags->maximum, double(0xFFFF));
}

void TestTabCan::moduleRecords()
{
    PageFixture f;
    ConfigPage* page = f.page.get();
    for (int m = 1; m <= 32; ++m) {
        const ConfigPage::ModuleRecord& r = page->moduleRecords[m - 1];
        QCOMPARE(static_cast<ConfigParam*>(page->configParams().value(0))->slot != nullptr, true);
        auto idOf = [page](QWidget* w) {
            for (ConfigParam* p : page->configParams())
                if (p->widget == w)
                    return p->paramId();
            return -1;
        };
        QCOMPARE(idOf(r.serialEdit), 0x0D27 + 2 * (m - 1));
        QCOMPARE(idOf(r.stringEdit), 0x0C66 + m);
        QCOMPARE(idOf(r.cellCountEdit), 0x0C06 + m);
        QCOMPARE(r.commitButton != nullptr, m <= 16);
        if (r.commitButton)
            QCOMPARE(r.commitButton->property("CGMID").toInt(), m - 1);
    }
    // both count editors stop at the 32 records
    for (ConfigParam* p : page->paramSlot(0x0C05)->params)
        QCOMPARE(p->maximum, 32.0);
}

void TestTabCan::cgmsMapRows()
{
    PageFixture f;
    QComboBox* types = f.page->cgmTypeBox;
    QVERIFY(types);
    QVERIFY(types->count() > 0);
    QCOMPARE(types->findText("MWB340"), types->findData(9));
    QVERIFY(types->findData(2) < 0); // not a group module
    // the row's button needs the service; without it nothing happens
    g_canConfig = nullptr;
    emit f.page->moduleRecords[0].commitButton->clicked(false);
    QCOMPARE(f.modalBoxes, 0);
}

void TestTabCan::loadPlacesEachStringInOrder()
{
    CanPage f;
    f.reply(0x0013, 2, 2);
    f.setRecord(0, 11, 0, 12);
    f.setRecord(1, 12, 0, 12);
    f.setRecord(2, 13, 1, 10);
    f.setRecord(3, 14, 0, 12);
    static_cast<QLineEdit*>(f.page->moduleCountEdit)->setText("4");
    f.page->loadConfiguredCanDevices();
    ConfiguredTable* t = f.page->configuredTable;
    QCOMPARE(t->placedCount(), 4);
    QCOMPARE(t->cell(0, 0).serial, 11u);
    QCOMPARE(t->cell(0, 1).serial, 12u);
    QCOMPARE(t->cell(1, 0).serial, 13u);
    QCOMPARE(t->cell(0, 2).serial, 14u); // no record takes another's place
    QCOMPARE(int(t->cell(0, 2).state), int(CellUnconfirmed));
    QCOMPARE(f.page->parallelStringsBox->value(), 2);
}

void TestTabCan::commitButtonFollowsTable()
{
    CanPage f;
    ConfiguredTable* t = f.page->configuredTable;
    // before any discovery
    t->placeDevice(0, 0, 9, 1, 12, 1);
    f.page->slotCanDeviceConfigurationChanged();
    QVERIFY(!enabled(f.page->commitButton));
    QVERIFY(tipShows("Commit CAN Device Discovery first"));
    // 513 cells
    f.page->canDiscoveryDone = true;
    t->clearAll();
    for (int p = 0; p < 3; ++p)
        t->placeDevice(0, p, 9, 10 + p, 171, 1);
    f.page->slotCanDeviceConfigurationChanged();
    QVERIFY(!enabled(f.page->commitButton));
    QVERIFY(f.page->commitButton->styleSheet().contains("red"));
    QCOMPARE(f.boxTexts.last(), QString("Total cell count 513 is greater that maximum supported number!"));
    t->placeDeviceAt(9, 12, 0, 2, CellUnconfirmed, 170, 1);
    f.page->slotCanDeviceConfigurationChanged();
    QVERIFY(enabled(f.page->commitButton));
    QVERIFY(f.page->commitButton->styleSheet().contains("yellow"));
}

void TestTabCan::statusFailuresShowTheirBox_data()
{
    QTest::addColumn<int>("operation");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("dragging");
    QTest::newRow("discovery") << 0 << "CAN Devices Discovery has failed.\nPlease retry CAN Devices Discovery."
                               << true;
    QTest::newRow("commit") << 1
                            << "CAN Devices Configuration has failed.\nPlease retry CAN Devices Configuration."
                            << true;
    QTest::newRow("single module") << 2 << "CGM Configuration has failed.\nPlease retry." << false;
}

void TestTabCan::statusFailuresShowTheirBox()
{
    QFETCH(int, operation);
    QFETCH(QString, text);
    QFETCH(bool, dragging);
    CanPage f;
    f.page->slotCanDeviceOperationStatus(0, 1); // a commit ran: dragging off
    QVERIFY(!f.page->configuredTable->dragEnabled());
    f.page->slotCanDeviceOperationStatus(2, operation);
    QCOMPARE(f.boxTexts, QStringList{text});
    QVERIFY(enabled(f.page->discoverButton));
    QVERIFY(enabled(f.page->commitButton));
    QCOMPARE(f.page->configuredTable->dragEnabled(), dragging);
    // pairs without an effect
    f.page->slotCanDeviceOperationStatus(2, 5);
    f.page->slotCanDeviceOperationStatus(7, 0);
    QCOMPARE(f.boxTexts.size(), 1);
}

void TestTabCan::refusedConfigModeGivesControlsBack()
{
    CanPage f;
    QObject::connect(&f.service, &canConfig::sigCanDeviceOperationStatus, f.page.get(),
                     &ConfigPage::slotCanDeviceOperationStatus);
    f.link->canModeWorks = false;
    f.link->plainModeWorks = false;
    f.page->discoverButton->setEnabled(true);
    // What an earlier discovery found, the current sensor among it.
    f.page->unconfiguredTree->addDevice(2, 77, 255, 1);
    f.page->currentSensorFound = true;
    f.page->currentSensorSerials << 77;
    f.page->currentSensorTypes << 2;
    f.page->slotDiscoverButtonPressed();
    // the configuration-mode question, then the service's failure
    QCOMPARE(f.boxTexts.size(), 2);
    QVERIFY(f.boxTexts.last().startsWith("CAN Devices Discovery has failed."));
    QVERIFY(enabled(f.page->discoverButton));
    // A discovery that did not start forgets nothing.
    QCOMPARE(f.page->unconfiguredTree->deviceCount(), 1);
    QVERIFY(f.page->currentSensorFound);
    QCOMPARE(f.page->currentSensorSerials, QList<quint32>{77});
    QCOMPARE(f.page->cursor().shape(), Qt::ArrowCursor);
    // Cancel: nothing starts
    f.answer = QMessageBox::Cancel;
    f.page->slotDiscoverButtonPressed();
    QVERIFY(enabled(f.page->discoverButton));
}

void TestTabCan::commitFinishWritesRecordsAndRange()
{
    CanPage f;
    ConfiguredTable* t = f.page->configuredTable;
    f.page->parallelStringsBox->setValue(2);
    t->placeDeviceAt(9, 70000, 1, 0, CellUnconfirmed, 12, 1);
    f.service.addCommitDevice(9, 70000); // pending: status non-zero
    f.service.addUnassignedDevice(2, 5);
    static_cast<QLineEdit*>(f.page->deviceBaseIdEdit)->setText("0x0100");
    f.page->extendedIdBox->setChecked(false);
    f.setRecord(0, 1234, 0, 8);
    f.page->finishCanDeviceCommit();
    // A module not configured gets no record; its ids still count in the range.
    QCOMPARE(lineText(f.page->moduleRecords[0].serialEdit), QString("1234"));
    QCOMPARE(lineText(f.page->moduleRecords[0].cellCountEdit), QString("8"));
    QCOMPARE(lineText(f.page->moduleCountEdit), QString("0"));
    QCOMPARE(int(t->cell(1, 0).state), int(CellFailed));
    QCOMPARE(int(t->cell(1, 0).cellCount), 12);
    QVERIFY(f.boxTexts.last().contains("from 0x00000101\nup to 0x0000010F."));
    f.page->extendedIdBox->setChecked(true);
    f.page->finishCanDeviceCommit();
    QVERIFY(f.boxTexts.last().contains("from 0x01000001\nup to 0x0100000F."));
    QVERIFY(enabled(f.page->commitButton));
    QVERIFY(tipShows("Reconfigure the devices on internal CAN bus."));
}

// The sensors come first in the commit list: all 32 modules behind one are
// still reached. None of them took its configuration here: each one's cell
// says so, and no record is written.
void TestTabCan::commitFinishRecordsAllModulesBehindASensor()
{
    CanPage f;
    ConfiguredTable* t = f.page->configuredTable;
    f.service.addCommitDevice(2, 500);
    for (int m = 0; m < 32; ++m) {
        QVERIFY(t->placeDeviceAt(9, 1000 + m, m / 16, m % 16, CellUnconfirmed, 12, 1));
        f.service.addCommitDevice(9, 1000 + m);
    }
    f.page->finishCanDeviceCommit(true);
    QCOMPARE(int(t->cell(1, 15).state), int(CellFailed));
    QCOMPARE(lineText(f.page->moduleCountEdit), QString("0"));
    QCOMPARE(lineText(f.page->moduleRecords[31].serialEdit), QString());
}

void TestTabCan::chargingStopsDeviceActions()
{
    CanPage f;
    f.page->configurationLoaded = true;
    f.page->chargingState = 2;
    f.page->discoverButton->setEnabled(true);
    f.page->slotDiscoverButtonPressed();
    QCOMPARE(f.boxTexts.size(), 1);
    QVERIFY(f.boxTexts.last().startsWith("Charging is in progress"));
    QVERIFY(f.link->canModes.isEmpty());
    emit f.page->moduleRecords[3].commitButton->clicked(false);
    QCOMPARE(f.boxTexts.size(), 2);
    QVERIFY(f.link->canModes.isEmpty());
}

void TestTabCan::speedChange()
{
    CanPage f;
    f.reply(0x0C02, 1, 2); // the new speed, committed
    f.page->previousCanSpeed = 3;
    QCOMPARE(f.page->can1SpeedBox->currentData().toInt(), 1);
    // the user cancels: the box and the unit go back to the old speed
    f.answer = QMessageBox::Cancel;
    f.page->changeCanSpeed(1);
    QCOMPARE(f.boxTexts.size(), 1);
    QVERIFY(f.boxTexts.last().startsWith("This action requires entering configuration mode."));
    QCOMPARE(f.page->can1SpeedBox->currentData().toInt(), 3);
    QCOMPARE(f.lastWrite(), QString("0C02=3"));
}

QTEST_MAIN(TestTabCan)
#include "tst_tab_can.moc"
