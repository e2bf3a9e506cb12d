// The CAN Devices section against the emulated control unit and its CAN
// devices, driven through its buttons: discovery, commit, the speed change,
// and one job at a time.
#include "../ConfigPageFixture.h"

#include "../../../can/CanSimRig.h"
#include "GeneralTab.h"
#include "IsaSensorService.h"
#include "IvtSensorSim.h"
#include "ModuleMappingTables.h"
#include "TempBreakOutBoardSupport.h"

#include <QComboBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableWidget>
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

// The page linked to the emulated unit's CAN bus as the window links it;
// the boxes it shows are recorded and answered Ok.
struct LinkedPage
{
    CanSimRig rig;
    PageFixture f;
    QStringList boxes;
    QSignalSpy status{rig.cc, &canConfig::sigCanDeviceOperationStatus};

    LinkedPage()
    {
        // 11-bit identifiers; devices from 0x10, the unit at 0x15.
        rig.params = {{0x0D03, 0x0010}, {0x0D00, 0x0015}};
        f.page->setModalBoxRunner([this](QMessageBox* box) {
            boxes << (box->informativeText().isEmpty() ? box->text() : box->informativeText());
            box->setResult(QMessageBox::Ok);
        });
        f.page->setResetPause([](int) {});
        QObject::connect(rig.cc, &canConfig::sigCanDeviceOperationStatus, f.page.get(),
                         &ConfigPage::slotCanDeviceOperationStatus);
        QObject::connect(rig.cc, &canConfig::sigCanDeviceSortingRequest, f.page.get(),
                         &ConfigPage::slotCanDeviceSortingRequest);
        QObject::connect(rig.cc, &canConfig::sigCGMGen2StatusUpdate, f.page.get(),
                         &ConfigPage::slotCGMGen2StatusUpdate);
    }
    ~LinkedPage() { g_canConfig = nullptr; }

    bool start()
    {
        if (!rig.start())
            return false;
        g_canConfig = rig.cc;
        f.reply(0x1600, 0x200);      // CAN enabled: the tab is usable
        f.reply(0x0D03, 0x0010, 4);  // "Device CAN ID Base:"
        return true;
    }
    // A load ends with this stored mapping.
    void load(const QList<quint32>& serials)
    {
        for (int k = 0; k < serials.size(); ++k) {
            const ConfigPage::ModuleRecord& r = f.page->moduleRecords[k];
            static_cast<QLineEdit*>(r.serialEdit)->setText(QString::number(serials.at(k) & 0xFFFF));
            static_cast<QLineEdit*>(r.stringEdit)->setText("0");
            static_cast<QLineEdit*>(r.cellCountEdit)->setText("12");
        }
        static_cast<QLineEdit*>(f.page->moduleCountEdit)->setText(QString::number(serials.size()));
        f.page->finishLoading();
    }
    // The first end (finished or failed) of the operation since the spy
    // was last cleared; -1 when none came.
    int waitEnd(int operation)
    {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < kJobTimeoutMs) {
            for (const QList<QVariant>& s : qAsConst(status))
                if (s.at(1).toInt() == operation && s.at(0).toInt() != 0)
                    return s.at(0).toInt();
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        }
        return -1;
    }
    bool discover()
    {
        status.clear();
        if (!f.page->discoverButton->isEnabled())
            return false;
        QTest::mouseClick(f.page->discoverButton, Qt::LeftButton);
        const bool done = waitEnd(CanOpDiscovery) == CanOpFinished;
        rig.cc->hideProgress();
        return done;
    }
    QString record(int k) const
    {
        const ConfigPage::ModuleRecord& r = f.page->moduleRecords[k];
        return static_cast<QLineEdit*>(r.serialEdit)->text() + "/" + static_cast<QLineEdit*>(r.stringEdit)->text()
               + "/" + static_cast<QLineEdit*>(r.cellCountEdit)->text();
    }
};

} // namespace

class TestTabCanLink : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        qRegisterMetaType<uint8_t>("uint8_t");
        qRegisterMetaType<uint32_t>("uint32_t");
        QLoggingCategory::setFilterRules(QStringLiteral("bms.can.debug=false"));
    }
    void discoveryThenCommitThenLinkLoss();
    void commitUsesTheUnitsSpeedAndKeepsWhatWorked();
    void oneJobAtATime();
    void failedSpeedChangeIsTold();
    void speedChangeMovesTheCurrentSensorFirst();
    void advancedConfigurationSwitchesTemperatureBoards();
    void gen2CommitShowsItsProgress();
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

// The devices get the speed the unit runs at; while it is unknown no commit
// starts. A device that fails is named, and what the others took is kept.
void TestTabCanLink::commitUsesTheUnitsSpeedAndKeepsWhatWorked()
{
    LinkedPage p;
    const int good = p.rig.bus.addDevice(device(1, 0x00AA0001, 0x120, 12));
    CanBusSim::Device stubborn = device(1, 0x00AA0002, 0x130, 10);
    stubborn.idStatus = 1; // refuses its new identifier
    const int bad = p.rig.bus.addDevice(stubborn);
    QVERIFY(p.start());
    ConfigPage* page = p.f.page.get();
    p.load({0x0001, 0x0002});
    QVERIFY(p.discover());
    QVERIFY(page->commitButton->isEnabled());

    p.boxes.clear();
    p.rig.bus.clearFrames();
    p.status.clear();
    QTest::mouseClick(page->commitButton, Qt::LeftButton);
    QCOMPARE(p.boxes, QStringList{"The CAN1 speed of the control unit is not known.\nLoad the configuration "
                                  "from the unit, then commit again."});
    QVERIFY(p.status.isEmpty());
    QVERIFY(p.rig.bus.frames().isEmpty());

    p.f.reply(0x0C02, 3, 2); // 250 kbps
    p.boxes.clear();
    QTest::mouseClick(page->commitButton, Qt::LeftButton);
    QCOMPARE(p.waitEnd(CanOpCommit), int(CanOpFailed));
    QCOMPARE(p.rig.bus.device(good).speed, 3);
    QCOMPARE(p.rig.bus.device(good).baseId, 0x10u + 8);
    QCOMPARE(p.rig.bus.device(bad).speed, -1);
    QVERIFY(!p.rig.bus.device(bad).configMode); // released all the same
    // the configuration question, then the result
    QCOMPARE(p.boxes.size(), 2);
    QVERIFY2(p.boxes.last().startsWith("CAN Devices Configuration has failed."), qPrintable(p.boxes.last()));
    QVERIFY2(p.boxes.last().contains("SN: 11141122 did not take its CAN identifier"), qPrintable(p.boxes.last()));
    QVERIFY(!p.boxes.last().contains("SN: 11141121"));
    QCOMPARE(static_cast<QLineEdit*>(page->moduleCountEdit)->text(), QString("2"));
    QCOMPARE(p.record(0), QString("1/0/12"));
    QCOMPARE(p.record(1), QString("2/0/0"));
    ConfiguredTable* t = page->configuredTable;
    QCOMPARE(int(t->cell(0, 0).state), int(CellConfirmed));
    QCOMPARE(int(t->cell(0, 1).state), int(CellFailed));
    QVERIFY(page->discoverButton->isEnabled());
    QVERIFY(page->commitButton->isEnabled());
    QCOMPARE(page->cursor().shape(), Qt::ArrowCursor);
}

// While a job runs nothing else starts: the per-module buttons are off, and
// a speed change is refused aloud with the unit put back on its speed.
void TestTabCanLink::oneJobAtATime()
{
    LinkedPage p;
    p.rig.bus.addDevice(device(1, 0x00AA0001, 0x120, 12));
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

// The devices refuse the new speed: the user hears of it, the controls come
// back, and the unit returns to the devices' speed.
void TestTabCanLink::failedSpeedChangeIsTold()
{
    LinkedPage p;
    CanBusSim::Device d = device(1, 0x00AA0001, 0x120, 12);
    d.speedStatus = 1;
    p.rig.bus.addDevice(d);
    QVERIFY(p.start());
    ConfigPage* page = p.f.page.get();
    p.f.reply(0x0C02, 3, 2);
    p.f.reply(0x0C02, 1, 2); // the user's new speed, committed
    page->previousCanSpeed = 3;
    p.boxes.clear();
    p.f.writes.clear();
    page->changeCanSpeed(1);
    QCOMPARE(p.waitEnd(CanOpSpeedChange), int(CanOpFailed));
    QCOMPARE(p.boxes.size(), 2);
    QCOMPARE(p.boxes.last(),
             QString("CAN speed change has failed.\nThe devices keep their CAN speed, and so does the control unit."));
    QCOMPARE(p.f.lastWrite(), QString("0C02=3"));
    QCOMPARE(page->can1SpeedBox->currentData().toInt(), 3);
    QCOMPARE(p.rig.bus.device(0).speed, -1);
    QVERIFY(page->discoverButton->isEnabled());
    QCOMPARE(page->cursor().shape(), Qt::ArrowCursor);
}

// With the IVT-S sensor selected, the sensor is stopped and given its code
// of the new speed before the devices are moved; then the unit is reset.
void TestTabCanLink::speedChangeMovesTheCurrentSensorFirst()
{
    LinkedPage p;
    p.rig.bus.addDevice(device(1, 0x00AA0001, 0x120, 12));
    IvtSensorSim sensor(p.rig.bus);
    CISAConfig isa(std::make_unique<HandlerCanLink>([&p] { return &p.rig.link.handler; }, [](int) { return 0u; }));
    ConfigPage* page = p.f.page.get();
    joinCurrentSensor(&isa, page->general->sensorActions);
    QObject::connect(&isa, &CISAConfig::sigCanDeviceOperationStatus, page, &ConfigPage::slotCanDeviceOperationStatus,
                     Qt::QueuedConnection);
    QObject::connect(p.rig.link.comm, &CommunicatorBase::sigCanProcess, &isa, &CISAConfig::slotCanProcess,
                     Qt::QueuedConnection);
    p.rig.alsoLine = [&isa](const QString& line) { isa.handleCanReply(line); };
    isa.setSensorSerial(sensor.state().serial); // found by an earlier discovery
    QVERIFY(p.start());
    p.f.reply(0x1009, 2, 2); // "Current Sensor Type": IVT-S
    p.f.reply(0x0C02, 3, 2);
    p.f.reply(0x0C02, 0, 2); // 1 Mbps, committed
    page->previousCanSpeed = 3;
    p.f.writes.clear();
    QSignalSpy sensorStatus(&isa, &CISAConfig::sigCanDeviceOperationStatus);
    page->changeCanSpeed(0);
    QCOMPARE(p.waitEnd(CanOpSpeedChange), int(CanOpFinished));
    QVERIFY(!sensorStatus.isEmpty());
    QCOMPARE(sensorStatus.last(), (QVariantList{1, 6}));
    QVERIFY(sensor.state().stopped);
    QCOMPARE(sensor.state().bitRate, 2);
    QCOMPARE(p.rig.bus.device(0).speed, 0);
    // the sensor's job was over before the devices' began
    const QList<CanBusSim::Frame> frames = p.rig.bus.frames();
    int lastSensorFrame = -1, firstRouteFrame = -1;
    for (int i = 0; i < frames.size(); ++i) {
        if (!frames.at(i).extended && frames.at(i).id == 0x411)
            lastSensorFrame = i;
        else if (firstRouteFrame < 0 && frames.at(i).extended)
            firstRouteFrame = i;
    }
    QVERIFY(lastSensorFrame >= 0 && firstRouteFrame > lastSensorFrame);
    QVERIFY(p.f.writes.isEmpty()); // the unit keeps the new speed
    p.rig.alsoLine = nullptr;
}

// "Advanced configuration..." opens the temperature board window; the page
// hands it the "CN1" lines, and its jobs reach the boards on the bus.
void TestTabCanLink::advancedConfigurationSwitchesTemperatureBoards()
{
    LinkedPage p;
    const int board = p.rig.bus.addDevice(CanBusSim::temperatureBoard(4711, 0));
    p.rig.bus.addDevice(device(1, 0x00AA0001, 0x120, 12)); // not a board
    QVERIFY(p.start());
    ConfigPage* page = p.f.page.get();
    TempBreakOutBoardSupport* w = page->tempBoardWindow;
    QVERIFY(w);
    w->setLink(std::make_unique<HandlerCanLink>([&p] { return &p.rig.link.handler; }, [](int) { return 0u; }));
    p.rig.alsoLine = [page](const QString& line) { page->receiveSentence(line); };
    QVERIFY(!w->isVisible());
    QTest::mouseClick(page->advancedButton, Qt::LeftButton);
    QVERIFY(w->isVisible());

    auto rows = [w] {
        QStringList list;
        for (int r = 0; r < w->table()->rowCount(); ++r)
            list << w->table()->item(r, 0)->text() + " " + w->table()->item(r, 1)->text();
        return list;
    };
    QTest::mouseClick(w->discoverButton(), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(rows(), QStringList{"4711 Disabled"}, 20000);
    QTRY_VERIFY_WITH_TIMEOUT(w->enableButton()->isEnabled(), 20000);
    QTest::mouseClick(w->enableButton(), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(rows(), QStringList{"4711 Enabled"}, 20000);
    QCOMPARE(p.rig.bus.device(board).powerState, 1);
    QTRY_VERIFY_WITH_TIMEOUT(w->discoverButton()->isEnabled(), 20000);
    p.rig.alsoLine = nullptr;
}

// A commit of a second-generation module shows the enumeration and then the
// sorting the user accepted in a progress window, gone when the commit ends.
void TestTabCanLink::gen2CommitShowsItsProgress()
{
    LinkedPage p;
    const int module = p.rig.bus.addDevice(device(9, 0x00AA0009, 0x140, 14));
    QVERIFY(p.start());
    ConfigPage* page = p.f.page.get();
    p.f.reply(0x0C02, 3, 2);
    p.load({0x0009});
    QVERIFY(p.discover());
    QProgressDialog* progress = page->gen2ProgressDialog;
    QVERIFY(progress);
    QVERIFY(!progress->isVisible());

    QStringList seen; // the window's label at each update, while shown
    QObject context;
    QObject::connect(p.rig.cc, &canConfig::sigCGMGen2StatusUpdate, &context, [&] {
        if (progress->isVisible() && (seen.isEmpty() || seen.last() != progress->labelText()))
            seen << progress->labelText();
    });
    p.status.clear();
    QTest::mouseClick(page->commitButton, Qt::LeftButton);
    QCOMPARE(p.waitEnd(CanOpCommit), int(CanOpFinished));
    QCOMPARE(seen, (QStringList{"Enumerating cells", "Sorting cells"}));
    QVERIFY(!progress->isVisible());
    QVERIFY(p.boxes.contains("There are some cells to sort.\nIt will take some time. Continue?"));
    QCOMPARE(p.rig.bus.device(module).sortRequests, 1);
}

QTEST_MAIN(TestTabCanLink)
#include "tst_tab_can_link.moc"
