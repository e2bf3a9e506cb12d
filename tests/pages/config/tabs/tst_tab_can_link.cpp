// The CAN Devices section against the emulated control unit and its CAN
// devices: a discovery shown in the table and the list, then a commit.
#include "../ConfigPageFixture.h"

#include "../../../can/CanSimRig.h"
#include "ModuleMappingTables.h"

#include <QLineEdit>
#include <QPushButton>
#include <QMessageBox>
#include <QSignalSpy>
#include <QtTest>

namespace {

constexpr int kJobTimeoutMs = 60000;

CanBusSim::Device device(quint16 type, quint32 serial, quint32 base, quint8 cells)
{
    CanBusSim::Device d;
    d.type = type;
    d.serial = serial;
    d.baseId = base;
    d.cells = cells;
    d.version = 0x00020503;
    return d;
}

bool waitDone(QSignalSpy& spy, int operation)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < kJobTimeoutMs) {
        for (const QList<QVariant>& s : qAsConst(spy))
            if (s.at(1).toInt() == operation && s.at(0).toInt() != 0)
                return true;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return false;
}

} // namespace

class TestTabCanLink : public QObject
{
    Q_OBJECT
private slots:
    void discoveryThenCommit();
};

void TestTabCanLink::discoveryThenCommit()
{
    CanSimRig rig;
    rig.params = {{0x0D03, 0x0010}, {0x0D00, 0x0015}};
    // serials above 16 bits: the unit's mapping keeps only the low 16
    rig.bus.addDevice(device(1, 0x00AA0001, 0x120, 12));
    rig.bus.addDevice(device(1, 0x00AA0007, 0x130, 12));
    rig.bus.addDevice(device(2, 0x00AA0002, 0x111, 0));
    QVERIFY(rig.start());

    PageFixture f;
    g_canConfig = rig.cc;
    QStringList boxes;
    f.page->setModalBoxRunner([&boxes](QMessageBox* box) {
        boxes << (box->informativeText().isEmpty() ? box->text() : box->informativeText());
        box->setResult(QMessageBox::Ok);
    });
    QSignalSpy status(rig.cc, &canConfig::sigCanDeviceOperationStatus);
    QObject::connect(rig.cc, &canConfig::sigCanDeviceOperationStatus, f.page.get(),
                     &ConfigPage::slotCanDeviceOperationStatus);

    // The unit's stored mapping: module 1 at string 0.
    const ConfigPage::ModuleRecord& r = f.page->moduleRecords[0];
    static_cast<QLineEdit*>(r.serialEdit)->setText(QString::number(0x0001));
    static_cast<QLineEdit*>(r.stringEdit)->setText("0");
    static_cast<QLineEdit*>(r.cellCountEdit)->setText("12");
    static_cast<QLineEdit*>(f.page->moduleCountEdit)->setText("1");
    f.page->loadConfiguredCanDevices();
    ConfiguredTable* t = f.page->configuredTable;
    QCOMPARE(t->placedCount(), 1);

    f.page->slotDiscoverButtonPressed();
    QVERIFY(waitDone(status, 0));
    QCOMPARE(status.last(), (QVariantList{1, 0}));
    rig.cc->hideProgress();

    // the known module is confirmed in its place, with its whole serial
    QCOMPARE(t->placedCount(), 1);
    QCOMPARE(t->cell(0, 0).serial, 0x00AA0001u);
    QCOMPARE(int(t->cell(0, 0).state), int(CellConfirmed));
    QCOMPARE(int(t->cell(0, 0).id), (0x120 - 8) / 4 + 1);
    // the others are listed, the sensor without a cell count
    UnconfiguredTree* tree = f.page->unconfiguredTree;
    QCOMPARE(tree->deviceCount(), 2);
    QList<quint32> listed{tree->device(0).serial, tree->device(1).serial};
    QVERIFY(listed.contains(0x00AA0002u));
    QVERIFY(listed.contains(0x00AA0007u));
    QVERIFY(f.page->currentSensorFound);
    QCOMPARE(f.page->currentSensorSerials, QList<uint32_t>{0x00AA0002u});
    QVERIFY(f.page->canDiscoveryDone);

    // place the second module behind the first, then commit
    int row = listed.indexOf(0x00AA0007u);
    t->placeDeviceAt(1, 0x00AA0007u, 0, 1, CellUnconfirmed, 12, tree->device(row).id);
    f.page->slotCanDeviceConfigurationChanged();
    QVERIFY(!f.page->commitButton->testAttribute(Qt::WA_ForceDisabled));
    status.clear();
    boxes.clear();
    f.page->slotConfigureButtonPressed();
    QVERIFY(waitDone(status, 1));
    QCOMPARE(status.last(), (QVariantList{1, 1}));
    // the sensor went first; both modules are recorded in table order
    QCOMPARE(rig.cc->commitDeviceCount(), 3);
    quint8 st = 0, cells = 0;
    quint32 serial = 0;
    quint16 type = 0, id = 0;
    QVERIFY(rig.cc->commitDeviceResult(0, st, serial, type, cells, id));
    QCOMPARE(type, quint16(2));
    QCOMPARE(static_cast<QLineEdit*>(f.page->moduleCountEdit)->text(), QString("2"));
    QCOMPARE(static_cast<QLineEdit*>(f.page->moduleRecords[1].serialEdit)->text(),
             QString::number(0x00AA0007u & 0xFFFF));
    QCOMPARE(int(t->cell(0, 0).state), int(CellConfirmed));
    QCOMPARE(int(t->cell(0, 1).state), int(CellConfirmed));
    QVERIFY(boxes.last().startsWith("Internal CAN devices configuration finished."));
    g_canConfig = nullptr;
}

QTEST_MAIN(TestTabCanLink)
#include "tst_tab_can_link.moc"
