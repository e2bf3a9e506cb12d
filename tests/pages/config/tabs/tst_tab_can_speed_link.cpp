// The CAN Devices section against the emulated control unit: the CAN speed
// change (with the current sensor) and the temperature board window of
// "Advanced configuration...".
#include "CanLinkedPage.h"

#include "GeneralTab.h"
#include "IsaSensorService.h"
#include "IvtSensorSim.h"
#include "TempBreakOutBoardSupport.h"

#include <QComboBox>
#include <QTableWidget>

class TestTabCanSpeedLink : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        qRegisterMetaType<uint8_t>("uint8_t");
        qRegisterMetaType<uint32_t>("uint32_t");
        QLoggingCategory::setFilterRules(QStringLiteral("bms.can.debug=false"));
    }
    void failedSpeedChangeIsTold();
    void speedChangeMovesTheCurrentSensorFirst();
    void advancedConfigurationSwitchesTemperatureBoards();
};

// The devices refuse the new speed: the user hears of it, the controls come
// back, and the unit returns to the devices' speed.
void TestTabCanSpeedLink::failedSpeedChangeIsTold()
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

// "Advanced configuration..." opens the temperature board window; the page
// hands it the "CN1" lines, and its jobs reach the boards on the bus.
void TestTabCanSpeedLink::advancedConfigurationSwitchesTemperatureBoards()
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

QTEST_MAIN(TestTabCanSpeedLink)
#include "tst_tab_can_speed_link.moc"
