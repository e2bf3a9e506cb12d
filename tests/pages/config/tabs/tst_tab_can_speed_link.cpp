// The CAN Devices section against the emulated control unit and its default
// CAN bus: the CAN speed change with the current sensor.
#include "CanLinkedPage.h"

#include "EmulatedBus.h"
#include "GeneralTab.h"
#include "IsaSensorService.h"
#include "IvtSensorSim.h"

class TestTabCanSpeedLink : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { prepareCanJobTest(); }
    void speedChangeMovesTheCurrentSensorFirst();
    void devicesRefusedAfterTheSensorMoved();
};

namespace {
// The page linked to the emulated unit's default bus, its IVT-S sensor
// found by an earlier discovery, the unit at 125 kbps (code 3).
struct SensorRig
{
    LinkedPage p;
    EmulatedBus::Devices unit = EmulatedBus::populate(p.rig.bus);
    IvtSensorSim& sensor = *unit.sensor;
    CISAConfig isa{std::make_unique<HandlerCanLink>([this] { return &p.rig.link.handler; }, [](int) { return 0u; })};
    ConfigPage* page = p.f.page.get();

    bool start()
    {
        joinCurrentSensor(&isa, page->general->sensorActions);
        QObject::connect(&isa, &CISAConfig::sigCanDeviceOperationStatus, page,
                         &ConfigPage::slotCanDeviceOperationStatus, Qt::QueuedConnection);
        QObject::connect(p.rig.link.comm, &CommunicatorBase::sigCanProcess, &isa, &CISAConfig::slotCanProcess,
                         Qt::QueuedConnection);
        p.rig.alsoLine = [this](const QString& line) { isa.handleCanReply(line); };
        isa.setSensorSerial(sensor.state().serial); // found by an earlier discovery
        if (!p.start())
            return false;
        p.f.reply(0x1009, 2, 2); // "Current Sensor Type": IVT-S
        p.f.reply(0x0C02, 3, 2);
        p.f.reply(0x0C02, 0, 2); // 1 Mbps, committed
        page->previousCanSpeed = 3;
        p.f.writes.clear();
        return true;
    }
    ~SensorRig() { p.rig.alsoLine = nullptr; }
};
} // namespace

// With the IVT-S sensor selected, the sensor is stopped and given its code
// of the new speed before the devices are moved; then the unit is reset.
void TestTabCanSpeedLink::speedChangeMovesTheCurrentSensorFirst()
{
    SensorRig r;
    QVERIFY(r.start());
    LinkedPage& p = r.p;
    IvtSensorSim& sensor = r.sensor;
    QSignalSpy sensorStatus(&r.isa, &CISAConfig::sigCanDeviceOperationStatus);
    // The page's own sentences (the reset after the change) reach the unit.
    r.page->setProtocolHandler(&p.rig.link.handler);
    r.page->changeCanSpeed(0);
    QCOMPARE(p.waitEnd(CanOpSpeedChange), int(CanOpFinished));
    QVERIFY(!sensorStatus.isEmpty());
    QCOMPARE(sensorStatus.last(), (QVariantList{1, 6}));
    QVERIFY(sensor.state().stopped);
    QCOMPARE(sensor.state().bitRate, 2);
    for (int i = 0; i < p.rig.bus.deviceCount(); ++i)
        QCOMPARE(p.rig.bus.device(i).speed, 0);
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
    // Reset like every other reset, its empty parameter included.
    QVERIFY(p.rig.link.sim.waitForSentence("RS1,", 10000));
    QVERIFY(!p.rig.link.sim.goodSentences().contains("RS1"));
}

// Another job takes the bus between the sensor's change and the devices':
// the unit goes back to the devices' speed, and the user is told that the
// sensor is already at the new one.
void TestTabCanSpeedLink::devicesRefusedAfterTheSensorMoved()
{
    SensorRig r;
    QVERIFY(r.start());
    QObject context;
    QObject::connect(&r.isa, &CISAConfig::sigCanDeviceOperationStatus, &context, [&r](int status, int operation) {
        if (status == CanOpFinished && operation == CanOpSensorConfig)
            QVERIFY(r.p.rig.cc->startDiscovery(false));
    });
    r.page->changeCanSpeed(0);
    QTRY_COMPARE_WITH_TIMEOUT(r.p.boxes.size(), 2, 60000); // the configuration-mode warning first
    QCOMPARE(r.p.boxes.last(),
             QString("Another CAN device operation is running.\nThe CAN1 speed is not changed.\nThe current sensor "
                     "already uses the new speed: set the CAN1 speed again when the other operation has ended."));
    QCOMPARE(r.p.f.lastWrite(), QString("0C02=3"));
    QCOMPARE(r.sensor.state().bitRate, 2);
    for (int i = 0; i < r.p.rig.bus.deviceCount(); ++i)
        QVERIFY(r.p.rig.bus.device(i).speed != 0); // the devices were not moved
    QCOMPARE(r.p.waitEnd(CanOpDiscovery), int(CanOpFinished));
}

QTEST_MAIN(TestTabCanSpeedLink)
#include "tst_tab_can_speed_link.moc"
