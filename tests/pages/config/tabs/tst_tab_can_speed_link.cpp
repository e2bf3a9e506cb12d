// The CAN Devices section against the emulated control unit: the CAN speed
// change with the current sensor.
#include "CanLinkedPage.h"

#include "GeneralTab.h"
#include "IsaSensorService.h"
#include "IvtSensorSim.h"

class TestTabCanSpeedLink : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { prepareCanJobTest(); }
    void speedChangeMovesTheCurrentSensorFirst();
};

// With the IVT-S sensor selected, the sensor is stopped and given its code
// of the new speed before the devices are moved; then the unit is reset.
void TestTabCanSpeedLink::speedChangeMovesTheCurrentSensorFirst()
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

QTEST_MAIN(TestTabCanSpeedLink)
#include "tst_tab_can_speed_link.moc"
