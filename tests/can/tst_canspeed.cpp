// CAN speed change, CAN Splitter set-up and the current-sensor frames: the
// real link, the control-unit emulator and CAN devices behind it; the
// start failures and frame layouts against a fake link.
#include "CanSimRig.h"
#include "FakeCanLink.h"

#include <QProgressDialog>
#include <QSignalSpy>
#include <QtTest>

namespace {
constexpr int kJobTimeoutMs = 60000;
using Device = CanBusSim::Device;

Device device(quint16 type, quint32 serial)
{
    Device d;
    d.type = type;
    d.serial = serial;
    return d;
}

// Waits for the first non-start status of the operation; its status or -1.
int waitStatus(QSignalSpy& spy, int operation)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < kJobTimeoutMs) {
        for (const QList<QVariant>& s : qAsConst(spy))
            if (s.at(1).toInt() == operation && s.at(0).toInt() != 0)
                return s.at(0).toInt();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return -1;
}

int waitResult(QSignalSpy& spy)
{
    QElapsedTimer t;
    t.start();
    while (spy.isEmpty() && t.elapsed() < kJobTimeoutMs)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return spy.isEmpty() ? -1 : spy.first().at(0).toInt();
}

// Serials of the devices addressed by route requests with this code, in order.
QList<quint32> addressed(const CanBusSim& bus, quint8 code)
{
    QList<quint32> serials;
    for (const CanBusSim::Frame& f : bus.frames())
        if (f.extended && f.id == 0x1FFFFEE5 && f.data.size() == 8 && quint8(f.data.at(0)) == code) {
            const auto* p = reinterpret_cast<const quint8*>(f.data.constData()) + 4;
            serials.append(quint32(p[0]) | (quint32(p[1]) << 8) | (quint32(p[2]) << 16) | (quint32(p[3]) << 24));
        }
    return serials;
}

// Repeats in a row count once (a device is entered with two requests).
QList<quint32> collapsed(const QList<quint32>& list)
{
    QList<quint32> out;
    for (quint32 v : list)
        if (out.isEmpty() || out.last() != v)
            out.append(v);
    return out;
}
} // namespace

class TstCanSpeed : public QObject
{
    Q_OBJECT
private slots:
    void init() { QLoggingCategory::setFilterRules(QStringLiteral("bms.can.debug=false")); }
    void speedChangeMovesEveryDevice();
    void speedChangeWithoutDevices();
    void speedChangeRefusedIsFailure();
    void splitterWritesParameters();
    void splitterRefusedParameterReported();
    void splitterFailures_data();
    void splitterFailures();
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

// Duplicates are written once, and only the first splitter of the ordered
// list is configured.
void TstCanSpeed::splitterWritesParameters()
{
    CanSimRig rig;
    rig.bus.addDevice(device(1, 5));
    rig.bus.addDevice(device(13, 900));
    rig.bus.addDevice(device(8, 700));
    QVERIFY(rig.start());
    QSignalSpy spy(rig.cc, &canConfig::sigCanSplitterConfigFinish);
    rig.cc->clearSplitterParams();
    rig.cc->addSplitterParam(0x20, 7, QStringLiteral("B"));
    rig.cc->addSplitterParam(0x10, 5, QStringLiteral("A"));
    rig.cc->addSplitterParam(0x20, 7, QStringLiteral("B"));
    rig.cc->startSplitterConfig();
    QCOMPARE(rig.cc->splitterParamCount(), 2);
    QVERIFY(rig.cc->isBusy());
    QCOMPARE(waitResult(spy), 0);
    QCOMPARE(rig.bus.routeRequestCount(0x0B), 2);
    const QMap<quint16, quint32> expected{{0x10, 5}, {0x20, 7}};
    QCOMPARE(rig.bus.device(2).params, expected);
    QVERIFY(rig.bus.device(1).params.isEmpty());
    QVERIFY(!rig.bus.device(2).configMode);
    QVERIFY(!rig.cc->isBusy());
    QVERIFY(!rig.cc->progressDialog()->isVisible());
}

// Each refused parameter is told once while the job stands still; no tick
// runs the job on meanwhile.
void TstCanSpeed::splitterRefusedParameterReported()
{
    CanSimRig rig;
    Device d = device(3, 11);
    d.paramStatus = 2;
    rig.bus.addDevice(d);
    QVERIFY(rig.start());
    QSignalSpy spy(rig.cc, &canConfig::sigCanSplitterConfigFinish);
    QStringList reports;
    int requestsDuringReport = -1;
    rig.cc->setSplitterRefusalReporter([&](const QString& text) {
        reports.append(text);
        const int before = rig.bus.frames().size();
        // Ticks and lines keep coming while the user reads the box.
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < 500)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        requestsDuringReport = rig.bus.frames().size() - before;
    });
    rig.cc->clearSplitterParams();
    rig.cc->addSplitterParam(0x1EAE, 0x1F, QStringLiteral("Mode"));
    rig.cc->addSplitterParam(0x1EB2, 0xABCDEF, QStringLiteral("Rate"));
    rig.cc->startSplitterConfig();
    QCOMPARE(waitResult(spy), 0);
    QCOMPARE(reports, (QStringList{QStringLiteral("Error setting CAN Splitter parameter Mode [0x1eae] = 0x1f"),
                                   QStringLiteral("Error setting CAN Splitter parameter Rate [0x1eb2] = 0xabcdef")}));
    QCOMPARE(requestsDuringReport, 0);
    QCOMPARE(rig.bus.routeRequestCount(0x0B), 2);
}

void TstCanSpeed::splitterFailures_data()
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

void TstCanSpeed::splitterFailures()
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
