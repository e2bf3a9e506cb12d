// CAN Splitter set-up: the real link, the control-unit emulator and the
// splitter (and other devices) behind it.
#include "CanJobTestSupport.h"

#include <QProgressDialog>
#include <QtTest>

class TstCanSplitter : public QObject
{
    Q_OBJECT
private slots:
    void init() { QLoggingCategory::setFilterRules(QStringLiteral("bms.can.debug=false")); }
    void splitterWritesParameters();
    void splitterRefusedParameterReported();
    void splitterFailures_data();
    void splitterFailures();
};

// Duplicates are written once, and only the first splitter of the ordered
// list is configured.
void TstCanSplitter::splitterWritesParameters()
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
void TstCanSplitter::splitterRefusedParameterReported()
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

void TstCanSplitter::splitterFailures_data()
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

void TstCanSplitter::splitterFailures()
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

QTEST_MAIN(TstCanSplitter)
#include "tst_cansplitter.moc"
