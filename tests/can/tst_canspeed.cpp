// CAN speed change and the current-sensor frames: the real link, the
// control-unit emulator and CAN devices behind it; the start failures, one
// job at a time and the frame layouts against a fake link.
#include "CanJobTestSupport.h"
#include "FakeCanLink.h"

#include <QProgressDialog>
#include <QtTest>

class TstCanSpeed : public QObject
{
    Q_OBJECT
private slots:
    void init() { QLoggingCategory::setFilterRules(QStringLiteral("bms.can.debug=false")); }
    void speedChangeMovesEveryDevice();
    void speedChangeWithoutDevices();
    void speedChangeRefusedIsFailure();
    void startRefusedOrBusy();
    void sensorFrames_data();
    void sensorFrames();
};

// Enter requests go last to first of the ordered list, one set-speed
// request reaches all, then the leave requests go last to first.
void TstCanSpeed::speedChangeMovesEveryDevice()
{
    CanSimRig rig;
    rig.bus.addDevice(device(1, 300));
    rig.bus.addDevice(device(2, 100));
    rig.bus.addDevice(device(8, 200));
    QVERIFY(rig.start());
    QSignalSpy spy(rig.cc, &canConfig::sigCanDeviceOperationStatus);
    rig.cc->startSpeedChange(3);
    QVERIFY(rig.cc->isSpeedChangeRunning());
    QCOMPARE(waitStatus(spy, CanOpSpeedChange), int(CanOpFinished));
    QCOMPARE(spy.first().at(0).toInt(), int(CanOpStarted));
    QCOMPARE(collapsed(addressed(rig.bus, 0x01)), (QList<quint32>{300, 200, 100}));
    QCOMPARE(addressed(rig.bus, 0x02), (QList<quint32>{300, 200, 100}));
    QCOMPARE(rig.bus.routeRequestCount(0x06), 1);
    QCOMPARE(rig.bus.routeRequestCount(0x00), 3);
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(rig.bus.device(i).speed, 3);
        QVERIFY(!rig.bus.device(i).configMode);
    }
    QVERIFY(!rig.cc->isSpeedChangeRunning());
    QTRY_VERIFY_WITH_TIMEOUT(!rig.link.sim.configMode(), 5000);
}

void TstCanSpeed::speedChangeWithoutDevices()
{
    CanSimRig rig;
    QVERIFY(rig.start());
    QSignalSpy spy(rig.cc, &canConfig::sigCanDeviceOperationStatus);
    rig.cc->startSpeedChange(2);
    QCOMPARE(waitStatus(spy, CanOpSpeedChange), int(CanOpFinished));
    QCOMPARE(rig.bus.routeRequestCount(0x00), 3);
    QCOMPARE(rig.bus.routeRequestCount(0x06), 0);
}

// A set-speed request refused twice: the devices are still released, and
// the job reports a failure instead of a finished change.
void TstCanSpeed::speedChangeRefusedIsFailure()
{
    CanSimRig rig;
    Device d = device(1, 42);
    d.speedStatus = 1;
    rig.bus.addDevice(d);
    QVERIFY(rig.start());
    QSignalSpy spy(rig.cc, &canConfig::sigCanDeviceOperationStatus);
    rig.cc->startSpeedChange(1);
    QCOMPARE(waitStatus(spy, CanOpSpeedChange), int(CanOpFailed));
    QCOMPARE(rig.bus.routeRequestCount(0x06), 2);
    QCOMPARE(rig.bus.device(0).leaveRequests, 1);
}

// A unit that refuses its configuration mode: no job, but the caller hears
// of it and the progress dialog does not stay behind.
void TstCanSpeed::startRefusedOrBusy()
{
    auto* link = new FakeCanLink;
    link->canModeWorks = false;
    link->plainModeWorks = false;
    canConfig cc{std::unique_ptr<CanLinkServices>(link)};
    QSignalSpy status(&cc, &canConfig::sigCanDeviceOperationStatus);
    QSignalSpy splitter(&cc, &canConfig::sigCanSplitterConfigFinish);
    cc.startSpeedChange(2);
    QVERIFY(!cc.isBusy());
    QCOMPARE(status.size(), 1);
    QCOMPARE(status.first(), (QList<QVariant>{int(CanOpFailed), int(CanOpSpeedChange)}));
    cc.addSplitterParam(1, 2, QStringLiteral("x"));
    cc.startSplitterConfig();
    QVERIFY(!cc.isBusy());
    QCOMPARE(splitter.size(), 1);
    QCOMPARE(splitter.first().at(0).toInt(), 6);
    QVERIFY(!cc.progressDialog()->isVisible());
    QVERIFY(link->sent.isEmpty());

    // One job at a time: every other start is refused without touching the
    // unit's mode or the running job, and without a status of its own (the
    // caller says so); the splitter set-up reports its own failure code.
    link->canModeWorks = true;
    QVERIFY(cc.startSpeedChange(2));
    QVERIFY(cc.isSpeedChangeRunning());
    status.clear();
    splitter.clear();
    const int modes = link->canModes.size() + link->plainModes.size();
    QVERIFY(!cc.startSpeedChange(3));
    QVERIFY(!cc.startDiscovery(false));
    QVERIFY(!cc.startCommit(0x10, false, 2));
    QVERIFY(!cc.startSingleModuleCommit(0, 9, 1, 12, 0x10, false, 2));
    cc.startSplitterConfig();
    QVERIFY(status.isEmpty());
    QCOMPARE(splitter.size(), 1);
    QCOMPARE(splitter.first().at(0).toInt(), 6);
    QCOMPARE(link->canModes.size() + link->plainModes.size(), modes);
    QVERIFY(cc.isSpeedChangeRunning());
    QVERIFY(!cc.progressDialog()->isVisible());
}

void TstCanSpeed::sensorFrames_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<quint32>("identifier");
    QTest::addColumn<bool>("extended");
    QTest::addColumn<int>("a");
    QTest::addColumn<int>("b");
    QTest::addColumn<QString>("sentence");
    QTest::newRow("zero, 29-bit") << 0 << 0x1FFFu << true << 0 << 0 << "CN1,1FFF0000,1,0,2,1205";
    QTest::newRow("zero, 11-bit") << 0 << 0xFFFu << false << 0 << 0 << "CN1,000007FF,0,0,2,1205";
    QTest::newRow("soc") << 1 << 0x120u << false << 0x01020304 << 0 << "CN1,00000120,0,0,6,130304030201";
    QTest::newRow("settings, flag, period 1000") << 2 << 0x120u << false << 9 << 1000
                                                  << "CN1,00000120,0,0,6,140709" "05E803";
    QTest::newRow("settings, period -1") << 2 << 0x120u << false << 9 << -1 << "CN1,00000120,0,0,6,140709" "00FFFF";
}

void TstCanSpeed::sensorFrames()
{
    QFETCH(int, kind);
    QFETCH(quint32, identifier);
    QFETCH(bool, extended);
    QFETCH(int, a);
    QFETCH(int, b);
    QFETCH(QString, sentence);
    auto* link = new FakeCanLink;
    canConfig cc{std::unique_ptr<CanLinkServices>(link)};
    if (kind == 0)
        cc.sendCurrentSensorZero(identifier, extended);
    else if (kind == 1)
        cc.sendCurrentSensorSoc(identifier, extended, quint32(a));
    else
        cc.sendCurrentSensorConfig(identifier, extended, quint8(a), b >= 0, qint16(b));
    QCOMPARE(link->sent, QStringList{sentence});
}

QTEST_MAIN(TstCanSpeed)
#include "tst_canspeed.moc"
