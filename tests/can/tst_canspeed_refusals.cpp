// CAN speed change refused: by the devices (the real link and the
// control-unit emulator), at its start or while another job runs (a fake
// link).
#include "CanJobTestSupport.h"
#include "FakeCanLink.h"

#include <QLoggingCategory>
#include <QProgressDialog>
#include <QSignalSpy>
#include <QTest>

class TstCanSpeedRefusals : public QObject
{
    Q_OBJECT
private slots:
    void init() { QLoggingCategory::setFilterRules(QStringLiteral("bms.can.debug=false")); }
    void speedChangeRefusedIsFailure();
    void startRefusedOrBusy();
};

// A set-speed request refused twice: the devices are still released, and
// the job reports a failure instead of a finished change.
void TstCanSpeedRefusals::speedChangeRefusedIsFailure()
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
void TstCanSpeedRefusals::startRefusedOrBusy()
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

QTEST_MAIN(TstCanSpeedRefusals)
#include "tst_canspeed_refusals.moc"
