// CAN speed change and the current-sensor frames: the real link, the
// control-unit emulator and CAN devices behind it; the frame layouts
// against a fake link.
#include "CanJobTestSupport.h"
#include "FakeCanLink.h"

#include <QLoggingCategory>
#include <QProgressDialog>
#include <QSignalSpy>
#include <QTest>

class TstCanSpeed : public QObject
{
    Q_OBJECT
private slots:
    void init() { QLoggingCategory::setFilterRules(QStringLiteral("bms.can.debug=false")); }
    void speedChangeMovesEveryDevice();
    void speedChangeWithoutDevices();
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
