// CAN Splitter set-up: the real link, the control-unit emulator and the
// splitter (and other devices) behind it.
#include "CanJobTestSupport.h"
#include "HeldBox.h"

#include <QLoggingCategory>
#include <QProgressDialog>
#include <QSignalSpy>
#include <QTest>

class TstCanSplitter : public QObject
{
    Q_OBJECT
private slots:
    void init() { QLoggingCategory::setFilterRules(QStringLiteral("bms.can.debug=false")); }
    void splitterWritesParameters();
    void splitterRefusedParameterReported();
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
        testkit::holdLikeABox();
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

QTEST_MAIN(TstCanSplitter)
#include "tst_cansplitter.moc"
