// CAN Splitter set-up failures: the real link, the control-unit emulator
// and a splitter behind it that fails at each step.
#include "CanJobTestSupport.h"

#include <QProgressDialog>
#include <QtTest>

class TstCanSplitterFailures : public QObject
{
    Q_OBJECT
private slots:
    void init() { QLoggingCategory::setFilterRules(QStringLiteral("bms.can.debug=false")); }
    void splitterFailures_data();
    void splitterFailures();
};

void TstCanSplitterFailures::splitterFailures_data()
{
    QTest::addColumn<int>("knob");
    QTest::addColumn<int>("result");
    QTest::addColumn<int>("paramRequests");
    QTest::newRow("no splitter") << 0 << 1 << 0;
    QTest::newRow("splitter does not enter") << 1 << 2 << 0;
    QTest::newRow("parameter never answered") << 2 << 3 << 10;
    QTest::newRow("leave refused") << 3 << 5 << 1;
    QTest::newRow("leave not answered") << 4 << 6 << 1;
}

void TstCanSplitterFailures::splitterFailures()
{
    QFETCH(int, knob);
    QFETCH(int, result);
    QFETCH(int, paramRequests);
    CanSimRig rig;
    Device d = device(knob == 0 ? 1 : 15, 77);
    d.refuseEnter = knob == 1;
    d.paramSilent = knob == 2;
    d.leaveStatus = knob == 3 ? 1 : 0;
    d.leaveSilent = knob == 4;
    rig.bus.addDevice(d);
    QVERIFY(rig.start());
    QSignalSpy spy(rig.cc, &canConfig::sigCanSplitterConfigFinish);
    rig.cc->clearSplitterParams();
    rig.cc->addSplitterParam(0x1DF2, 1, QStringLiteral("Id"));
    rig.cc->startSplitterConfig();
    QCOMPARE(waitResult(spy), result);
    QCOMPARE(spy.size(), 1);
    QCOMPARE(rig.bus.routeRequestCount(0x0B), paramRequests);
    QVERIFY(!rig.cc->isBusy());
    QTRY_VERIFY_WITH_TIMEOUT(!rig.link.sim.configMode(), 5000);
}

QTEST_MAIN(TstCanSplitterFailures)
#include "tst_cansplitter_failures.moc"
