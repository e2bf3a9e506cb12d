// The IVT-S sensor jobs end to end: the real link, the control-unit
// emulator and an IVT-S sensor behind it.
#include "CISAConfig.h"
#include "CanBusSim.h"
#include "CanLinkServices.h"
#include "HeldBox.h"
#include "IvtSensorSim.h"
#include "SimLink.h"

#include <QLoggingCategory>
#include <QSignalSpy>
#include <QTest>

namespace {
constexpr int kJobTimeoutMs = 60000;

class IsaRig : public QObject
{
public:
    SimLink link;
    CanBusSim bus;
    IvtSensorSim sensor{bus};
    CISAConfig* isa = nullptr;
    QList<quint32> serialsFound;
    QList<quint16> idsFound;
    QStringList warnings;
    // What the page does with a found serial: Save starts the continuation.
    bool saveFoundSensor = true;

    IsaRig()
    {
        isa = new CISAConfig(std::make_unique<HandlerCanLink>([this] { return &link.handler; },
                                                             [](int) { return 0u; }));
        // The page's "Sensor found" question and its warnings hold the
        // caller as their boxes do.
        isa->setSensorFoundHandler([this](quint32 s) {
            testkit::holdLikeABox();
            serialsFound.append(s);
            if (saveFoundSensor)
                isa->startDiscover(0xE6);
            else
                isa->discardFoundSensor();
        });
        isa->setCanIdHandler([this](quint16 id) { idsFound.append(id); });
        isa->setWarningHandler([this](const QString& text) {
            testkit::holdLikeABox();
            warnings.append(text);
        });
        connect(link.comm, &CommunicatorBase::sigReceivedSentence, this, &IsaRig::pump, Qt::QueuedConnection);
        connect(link.comm, &CommunicatorBase::sigCanProcess, isa, &CISAConfig::slotCanProcess, Qt::QueuedConnection);
    }
    ~IsaRig() override
    {
        bus.stop();
        link.stop();
        delete isa;
    }
    bool start()
    {
        bus.install(link.sim);
        if (!link.start() || !link.waitLinked())
            return false;
        QElapsedTimer t;
        t.start();
        while (!link.handler.isFeatureBitmapValid() && t.elapsed() < 10000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        return link.handler.isFeatureBitmapValid();
    }
    void pump()
    {
        QString line;
        while (link.handler.getSentence(line)) {
            link.handler.applyReplyFlags(line);
            isa->handleCanReply(line);
        }
    }
    // The last end status of the operation, or -1.
    static int waitEnd(QSignalSpy& spy, int operation)
    {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < kJobTimeoutMs) {
            for (int i = spy.size() - 1; i >= 0; --i)
                if (spy.at(i).at(1).toInt() == operation && spy.at(i).at(0).toInt() != 0)
                    return spy.at(i).at(0).toInt();
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        }
        return -1;
    }
    QList<quint8> commands() const
    {
        QList<quint8> list;
        for (const QByteArray& r : sensor.requests())
            list.append(quint8(r.at(0)));
        return list;
    }
};
} // namespace

class TstIsaConfig : public QObject
{
    Q_OBJECT
private slots:
    void init() { QLoggingCategory::setFilterRules(QStringLiteral("bms.isa.debug=false")); }
    void discoveryConfiguresSensor();
    void discardedSensorLeavesConfigMode();
    void commitMovesSensor();
    void commitStoreRefused();
    void speedChange();
    void commitNeedsKnownSensor();
    void failures_data();
    void failures();
    void foreignRepliesIgnored();
};

// 7B, then after Save: 50, 34 00 01, 20..27, 32, 34 01 01; the serial and
// the base id go to the page.
void TstIsaConfig::discoveryConfiguresSensor()
{
    IsaRig rig;
    rig.sensor.update([](IvtSensorSim::State& s) {
        s.serial = 1234567;
        s.baseId = 0x521;
    });
    QVERIFY(rig.start());
    QSignalSpy spy(rig.isa, &CISAConfig::sigCanDeviceOperationStatus);
    rig.isa->startDiscover(0x01);
    QCOMPARE(IsaRig::waitEnd(spy, 5), 1);
    QCOMPARE(rig.serialsFound, QList<quint32>{1234567});
    QCOMPARE(rig.idsFound, QList<quint16>{0x521});
    QCOMPARE(rig.commands(), (QList<quint8>{0x7B, 0x50, 0x34, 0x20, 0x21, 0x22, 0x23, 0x24, 0x25, 0x26, 0x27,
                                            0x32, 0x34}));
    const QByteArray baseIdRequest = rig.sensor.requests().at(1);
    QCOMPARE(baseIdRequest.toHex(), QByteArray("50000000" "12d68700"));
    const IvtSensorSim::State s = rig.sensor.state();
    QCOMPARE(s.stores, 1);
    QCOMPARE(s.runs, 1);
    QVERIFY(!s.stopped);
    QCOMPARE(s.resultMode[0], 0x42);
    QCOMPARE(s.resultMode[7], 0x40);
    QVERIFY(rig.warnings.isEmpty());
    QCOMPARE(rig.isa->sensorSerial(), 1234567u);
    QVERIFY(!rig.isa->isBusy());
    QTRY_VERIFY_WITH_TIMEOUT(!rig.link.sim.configMode(), 5000);
}

void TstIsaConfig::discardedSensorLeavesConfigMode()
{
    IsaRig rig;
    rig.saveFoundSensor = false;
    QVERIFY(rig.start());
    QSignalSpy spy(rig.isa, &CISAConfig::sigCanDeviceOperationStatus);
    rig.isa->startDiscover(0x01);
    QCOMPARE(IsaRig::waitEnd(spy, 5), 1);
    QCOMPARE(rig.serialsFound.size(), 1);
    QCOMPARE(rig.commands(), QList<quint8>{0x7B});
    QTRY_VERIFY_WITH_TIMEOUT(!rig.link.sim.configMode(), 5000);
}

// One request per tick without waiting; late answers put nothing back.
void TstIsaConfig::commitMovesSensor()
{
    IsaRig rig;
    rig.saveFoundSensor = false;
    QVERIFY(rig.start());
    QSignalSpy spy(rig.isa, &CISAConfig::sigCanDeviceOperationStatus);
    rig.isa->startDiscover(0x01);
    QCOMPARE(IsaRig::waitEnd(spy, 5), 1);
    spy.clear();
    rig.isa->setBaseCanId(0x1A5);
    rig.isa->setVerify(true);
    rig.isa->startCommit(0xF4);
    QCOMPARE(IsaRig::waitEnd(spy, 6), 1);
    QCOMPARE(spy.first(), (QList<QVariant>{0, 6}));
    QCOMPARE(rig.commands().mid(1), (QList<quint8>{0x34, 0x10, 0x20, 0x32, 0x34}));
    QCOMPARE(rig.sensor.requests().at(2).toHex(), QByteArray("1001a500" "12d68700"));
    // Late answers arrive after the job: nothing is sent again.
    QTest::qWait(500);
    QCOMPARE(rig.commands().size(), 6);
    QCOMPARE(rig.sensor.state().baseId, quint16(0x1A5));
    QCOMPARE(rig.sensor.state().stores, 1);
    QVERIFY(rig.warnings.isEmpty());
}

// A commit whose store the sensor refuses ends as failed and names the step.
void TstIsaConfig::commitStoreRefused()
{
    IsaRig rig;
    rig.saveFoundSensor = false;
    QVERIFY(rig.start());
    QSignalSpy spy(rig.isa, &CISAConfig::sigCanDeviceOperationStatus);
    rig.isa->startDiscover(0x01);
    QCOMPARE(IsaRig::waitEnd(spy, 5), 1);
    rig.sensor.update([](IvtSensorSim::State& s) { s.storeFails = true; });
    spy.clear();
    rig.isa->startCommit(0xF4);
    QCOMPARE(IsaRig::waitEnd(spy, 6), 2);
    QCOMPARE(rig.warnings, QStringList{"The ISAScale sensor did not confirm its configuration.\nConfirmed: stop "
                                       "mode, CAN ID, result configuration, run mode.\nNot confirmed: storing the "
                                       "configuration.\nReconnect sensor and try again."});
    QTRY_VERIFY_WITH_TIMEOUT(!rig.link.sim.configMode(), 5000);
}

void TstIsaConfig::speedChange()
{
    IsaRig rig;
    rig.saveFoundSensor = false;
    QVERIFY(rig.start());
    QSignalSpy spy(rig.isa, &CISAConfig::sigCanDeviceOperationStatus);
    rig.isa->startDiscover(0x01);
    QCOMPARE(IsaRig::waitEnd(spy, 5), 1);
    QCOMPARE(CISAConfig::bitRateForSpeed(1), quint8(0));
    QCOMPARE(CISAConfig::bitRateForSpeed(3), quint8(8));
    rig.isa->setBitRateCode(CISAConfig::bitRateForSpeed(2));
    spy.clear();
    rig.isa->startCommit(0x0C);
    QCOMPARE(IsaRig::waitEnd(spy, 6), 1);
    QCOMPARE(rig.sensor.requests().mid(1).size(), 2);
    QCOMPARE(rig.sensor.requests().at(2).toHex(), QByteArray("3a04000000000000"));
    QCOMPARE(rig.sensor.state().bitRate, 4);
}

void TstIsaConfig::commitNeedsKnownSensor()
{
    IsaRig rig;
    QVERIFY(rig.start());
    QSignalSpy spy(rig.isa, &CISAConfig::sigCanDeviceOperationStatus);
    rig.isa->startCommit(0xF4);
    QVERIFY(!rig.isa->isBusy());
    QVERIFY(spy.isEmpty());
    QVERIFY(!rig.link.sim.configMode());
}

void TstIsaConfig::failures_data()
{
    QTest::addColumn<int>("knob");
    QTest::addColumn<QString>("warning");
    QTest::addColumn<int>("tries");
    QTest::addColumn<quint8>("command");
    QTest::newRow("silent") << 0 << "The ISAScale sensor did not answer.\nReconnect sensor and try again." << 3
                            << quint8(0x50);
    QTest::newRow("stop refused") << 1 << "ISAScale Failed switching to STOP mode." << 3 << quint8(0x34);
    QTest::newRow("base id 0") << 2 << "ISAScale Failed geting Base CAN ID.\nReconnect sensor and try again." << 3
                               << quint8(0x50);
    QTest::newRow("result config") << 3 << "ISAScale Failed result Config.\nReconnect sensor and try again." << 3
                                   << quint8(0x20);
    QTest::newRow("store") << 4 << "ISAScale Failed to STORE configuration.\nReconnect sensor and try again." << 3
                           << quint8(0x32);
}

// Three tries of the failing command, one warning, and a failure status.
void TstIsaConfig::failures()
{
    QFETCH(int, knob);
    QFETCH(QString, warning);
    QFETCH(int, tries);
    QFETCH(quint8, command);
    IsaRig rig;
    rig.saveFoundSensor = false;
    QVERIFY(rig.start());
    QSignalSpy spy(rig.isa, &CISAConfig::sigCanDeviceOperationStatus);
    rig.isa->startDiscover(0x01);
    QCOMPARE(IsaRig::waitEnd(spy, 5), 1);
    rig.sensor.update([knob](IvtSensorSim::State& s) {
        s.silent = knob == 0;
        s.stopFails = knob == 1;
        s.zeroId = knob == 2;
        s.resultFails = knob == 3;
        s.storeFails = knob == 4;
    });
    spy.clear();
    rig.isa->startDiscover(0xE6);
    QCOMPARE(IsaRig::waitEnd(spy, 5), 2);
    QCOMPARE(rig.warnings, QStringList{warning});
    QCOMPARE(rig.commands().count(command), tries);
    QTRY_VERIFY_WITH_TIMEOUT(!rig.link.sim.configMode(), 5000);
}

// Answers on another id or with too few fields change nothing.
void TstIsaConfig::foreignRepliesIgnored()
{
    CISAConfig isa{std::make_unique<HandlerCanLink>([] { return nullptr; }, [](int) { return 0u; })};
    QList<quint32> serials;
    isa.setSensorFoundHandler([&](quint32 s) {
        testkit::holdLikeABox();
        serials.append(s);
    });
    isa.handleCanReply(QStringLiteral("CN1,00000512,0,0,8,BB0012D687000000"));
    isa.handleCanReply(QStringLiteral("CN1,00000511,0,0,8"));
    QVERIFY(serials.isEmpty());
    isa.handleCanReply(QStringLiteral("CN1,00000511,0,0,8,BB0012D687000000"));
    QCOMPARE(serials, QList<quint32>{1234567});
}

QTEST_MAIN(TstIsaConfig)
#include "tst_isaconfig.moc"
