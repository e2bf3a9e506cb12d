// The CAN Devices section against the emulated control unit: a CAN speed
// change the devices refuse.
#include "CanLinkedPage.h"

#include <QComboBox>

class TestTabCanSpeedFailLink : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { prepareCanJobTest(); }
    void failedSpeedChangeIsTold();
};

// The devices refuse the new speed: the user hears of it, the controls come
// back, and the unit returns to the devices' speed.
void TestTabCanSpeedFailLink::failedSpeedChangeIsTold()
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

QTEST_MAIN(TestTabCanSpeedFailLink)
#include "tst_tab_can_speed_fail_link.moc"
