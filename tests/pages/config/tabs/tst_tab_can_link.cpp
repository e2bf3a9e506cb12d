// The CAN Devices section against the emulated control unit and its CAN
// devices, driven through its buttons: discovery, commit and one job at a
// time.
#include "CanLinkedPage.h"

#include "EmulatedBus.h"
#include "ModuleMappingTables.h"

#include <QComboBox>
#include <QProgressDialog>

class TestTabCanLink : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { prepareCanJobTest(); }
    void discoveryThenCommitThenLinkLoss();
    void oneJobAtATime();
};

void TestTabCanLink::discoveryThenCommitThenLinkLoss()
{
    LinkedPage p;
    // serials above 16 bits: the unit's mapping keeps only the low 16
    p.rig.bus.addDevice(device(1, 0x00AA0001, 0x120, 12));
    p.rig.bus.addDevice(device(1, 0x00AA0007, 0x130, 12));
    p.rig.bus.addDevice(device(2, 0x00AA0002, 0x111, 0));
    QVERIFY(p.start());
    ConfigPage* page = p.f.page.get();
    p.f.reply(0x0C02, 3, 2);
    p.load({0x0001});
    ConfiguredTable* t = page->configuredTable;
    QCOMPARE(t->placedCount(), 1);

    QVERIFY(p.discover());
    // the known module is confirmed in its place, with its whole serial
    QCOMPARE(t->placedCount(), 1);
    QCOMPARE(t->cell(0, 0).serial, 0x00AA0001u);
    QCOMPARE(int(t->cell(0, 0).state), int(CellConfirmed));
    QCOMPARE(int(t->cell(0, 0).id), (0x120 - 8) / 4 + 1);
    // the others are listed, the sensor without a cell count
    UnconfiguredTree* tree = page->unconfiguredTree;
    QCOMPARE(tree->deviceCount(), 2);
    QList<quint32> listed{tree->device(0).serial, tree->device(1).serial};
    QVERIFY(listed.contains(0x00AA0002u));
    QVERIFY(listed.contains(0x00AA0007u));
    QCOMPARE(page->currentSensorSerials, QList<uint32_t>{0x00AA0002u});

    // place the second module behind the first, then commit
    const int row = listed.indexOf(0x00AA0007u);
    t->placeDeviceAt(1, 0x00AA0007u, 0, 1, CellUnconfirmed, 12, tree->device(row).id);
    tree->clearDevices();
    tree->addDevice(2, 0x00AA0002u, 255, 0);
    p.status.clear();
    QTest::mouseClick(page->commitButton, Qt::LeftButton);
    QCOMPARE(p.waitEnd(CanOpCommit), int(CanOpFinished));
    // the sensor went first; both modules are recorded in table order
    QCOMPARE(p.rig.cc->commitDeviceCount(), 3);
    quint8 st = 0, cells = 0;
    quint32 serial = 0;
    quint16 type = 0, id = 0;
    QVERIFY(p.rig.cc->commitDeviceResult(0, st, serial, type, cells, id));
    QCOMPARE(type, quint16(2));
    QCOMPARE(static_cast<QLineEdit*>(page->moduleCountEdit)->text(), QString("2"));
    QCOMPARE(p.record(1), QString("7/0/12"));
    QCOMPARE(int(t->cell(0, 1).state), int(CellConfirmed));
    QVERIFY(p.boxes.last().startsWith("Internal CAN devices configuration finished."));

    // The link goes: nothing of this unit reaches the next one's commit.
    page->setConnected(false);
    QVERIFY(!page->canDiscoveryDone);
    QVERIFY(!page->currentSensorFound);
    QVERIFY(page->currentSensorSerials.isEmpty());
    QCOMPARE(t->placedCount(), 0);
    QCOMPARE(tree->deviceCount(), 0);
    QVERIFY(!page->commitButton->isEnabled());
}

// While a job runs on the emulator's default bus nothing else starts: the
// per-module buttons are off, and a speed change is refused aloud with the
// unit put back on its speed.
void TestTabCanLink::oneJobAtATime()
{
    LinkedPage p;
    const EmulatedBus::Devices unit = EmulatedBus::populate(p.rig.bus);
    QVERIFY(p.start());
    ConfigPage* page = p.f.page.get();
    p.f.reply(0x0C02, 3, 2);
    p.load({});
    QPushButton* moduleCommit = page->moduleRecords[0].commitButton;
    QVERIFY(moduleCommit->isEnabled());

    QVERIFY(page->discoverButton->isEnabled());
    QTest::mouseClick(page->discoverButton, Qt::LeftButton);
    QVERIFY(p.rig.cc->isBusy());
    QVERIFY(!moduleCommit->isEnabled());
    QVERIFY(!page->discoverButton->isEnabled());
    QVERIFY(!page->commitButton->isEnabled());

    // A new CAN1 speed committed meanwhile: the devices cannot follow.
    p.boxes.clear();
    p.f.writes.clear();
    p.f.reply(0x0C02, 1, 2);
    page->previousCanSpeed = 3;
    page->changeCanSpeed(1);
    QCOMPARE(p.boxes, QStringList{"Another CAN device operation is running.\nThe CAN1 speed is not changed."});
    QCOMPARE(p.f.lastWrite(), QString("0C02=3"));
    QCOMPARE(page->can1SpeedBox->currentData().toInt(), 3);

    QCOMPARE(p.waitEnd(CanOpDiscovery), int(CanOpFinished));
    p.rig.cc->hideProgress();
    QVERIFY(moduleCommit->isEnabled());
    QCOMPARE(p.rig.bus.routeRequestCount(0x06), 0);
}

QTEST_MAIN(TestTabCanLink)
#include "tst_tab_can_link.moc"
