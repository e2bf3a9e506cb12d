#include "Communicator.h"
#include "KepoBootloader.h"
#include "SdoServerSim.h"
#include "SimLink.h"

#include <QPointer>
#include <QTest>

#include <atomic>
#include <thread>

namespace {
QByteArray pattern(int n)
{
    QByteArray b;
    for (int i = 0; i < n; ++i)
        b.append(char((i * 31 + 11) & 0xFF));
    return b;
}

KepoTiming fastTiming()
{
    KepoTiming t;
    t.firstWaitMs = 20;
    t.secondWaitMs = 20;
    t.recheckWaitMs = 50;
    return t;
}

// What a link's update signals carried, gathered in the test's thread.
struct SignalLog : QObject
{
    QList<QList<QVariant>> progress;     // sigFirmwareUpdateProgress
    QList<QList<QVariant>> canStatus;    // sigCanUpdateStatus
    QList<int> canProgress;              // sigCanUpdateProgress
    QList<QList<int>> operation;         // sigCanDeviceOperationStatus
    explicit SignalLog(Communicator* c)
    {
        connect(c, &CommunicatorBase::sigFirmwareUpdateProgress, this,
                [this](int v, int k, QString t) { progress.append({v, k, t}); }, Qt::QueuedConnection);
        connect(c, &CommunicatorBase::sigCanUpdateStatus, this,
                [this](int s, int c, QString t) { canStatus.append({s, c, t}); }, Qt::QueuedConnection);
        connect(c, &CommunicatorBase::sigCanUpdateProgress, this, [this](int p) { canProgress.append(p); },
                Qt::QueuedConnection);
        connect(c, &CommunicatorBase::sigCanDeviceOperationStatus, this,
                [this](int s, int o) { operation.append({s, o}); }, Qt::QueuedConnection);
    }
    QStringList texts() const
    {
        QStringList t;
        for (const auto& p : progress)
            if (p[1].toInt() == 0)
                t.append(p[2].toString());
        for (const auto& s : canStatus)
            if (s[0].toInt() == 0 && s[1].toInt() == 5)
                t.append(s[2].toString());
        return t;
    }
};

// The control unit's bootloader on a pty and the update thread's receive
// loop, as the serial firmware update runs them.
struct SerialBootRig
{
    SdoServer server{1};
    SdoSerialSim sim{server};
    Communicator comm;

    bool start()
    {
        if (!sim.start())
            return false;
        comm.setPortName(sim.portPath());
        if (!comm.open())
            return false;
        comm.configurePort();
        comm.setFlowControl(SerialPort::NoFlowControl);
        comm.setTimeout(20);
        return true;
    }
    // Runs the download and returns its result; feeds the receiver until the
    // running flag drops, as the update thread does.
    bool run(const QByteArray& image)
    {
        auto* boot = new KepoY55Bootloader(&comm, image, fastTiming());
        QPointer<KepoBootloader> guard(boot);
        QElapsedTimer t;
        t.start();
        while (boot->running && t.elapsed() < 60000)
            boot->serialTransport().poll();
        const bool finished = !boot->running;
        const bool result = boot->result;
        [&] { QVERIFY(finished); }();
        // It releases itself once its run has ended.
        [&] { QTRY_VERIFY_WITH_TIMEOUT(guard.isNull(), 10000); }();
        return finished && result;
    }
};
} // namespace

class TstCanopenBootloader : public QObject
{
    Q_OBJECT
private slots:
    void flashStatusCodes_data();
    void flashStatusCodes();
    void controlUnitDownload();
    void controlUnitDownloadFailures_data();
    void controlUnitDownloadFailures();
    void stopEndsTheRun();
    void canDeviceDownload_data();
    void canDeviceDownload();
    void canDeviceFailureLeavesConfigMode_data();
    void canDeviceFailureLeavesConfigMode();
    void canDeviceWithoutLinkReportsFailure();
    void canDeviceRefusedConfigModeReportsFailure();
};

void TstCanopenBootloader::flashStatusCodes_data()
{
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<bool>("readable");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("text");
    QTest::newRow("0x7E") << QByteArray::fromHex("7E") << true << 63 << "Unspecified error";
    QTest::newRow("0x00") << QByteArray::fromHex("00") << true << 0 << "No error occurred";
    QTest::newRow("0x01") << QByteArray::fromHex("01") << true << 0 << "No error occurred";
    QTest::newRow("4 bytes 0x82") << QByteArray::fromHex("82000000") << true << 65
                                  << "Firmware file is not for this product";
    QTest::newRow("2 bytes 0x82") << QByteArray::fromHex("8200") << true << 65
                                  << "Firmware file is not for this product";
    QTest::newRow("1 byte 0x82 is negative") << QByteArray::fromHex("82") << true << 0xC1 << "Unknown";
    QTest::newRow("code 80") << QByteArray::fromHex("A000") << true << 80 << "Unknown";
    QTest::newRow("code 8") << QByteArray::fromHex("10") << true << 8 << "Unknown";
    QTest::newRow("code 68") << QByteArray::fromHex("88000000") << true << 68
                             << "Serial number does not match with this device";
    QTest::newRow("code 4") << QByteArray::fromHex("0800") << true << 4 << "Flash not cleared before write";
    QTest::newRow("empty") << QByteArray() << false << 0 << "";
    QTest::newRow("3 bytes") << QByteArray::fromHex("000000") << false << 0 << "";
}

void TstCanopenBootloader::flashStatusCodes()
{
    QFETCH(QByteArray, value);
    QFETCH(bool, readable);
    QFETCH(int, code);
    QFETCH(QString, text);
    int got = -1;
    QCOMPARE(KepoBootloader::flashStatusCode(value, &got), readable);
    if (readable) {
        QCOMPARE(got, code);
        QCOMPARE(flashStatusText(got), text);
    }
}

void TstCanopenBootloader::controlUnitDownload()
{
    SerialBootRig rig;
    QVERIFY(rig.start());
    SignalLog log(&rig.comm);
    const QByteArray image = pattern(5000);
    QVERIFY(rig.run(image));
    QCOMPARE(rig.server.programData(), image);
    QCOMPARE(rig.server.programClears(), 1);
    QCOMPARE(rig.server.programStarts(), 1);
    QTRY_COMPARE_WITH_TIMEOUT(log.texts(),
                              QStringList({"Clearing old firmware...", "Writing firmware...", "Restarting device..."}),
                              5000);
    // Busy first, then percentages up to 99: the flash status and the
    // restart come after the last block, and "done" is the updater's word.
    QCOMPARE(log.progress.first(), QList<QVariant>({-1, -1, QString()}));
    QVERIFY(log.progress.contains(QList<QVariant>({99, 1, QString()})));
    QVERIFY(!log.progress.contains(QList<QVariant>({100, 1, QString()})));

    // An empty image is refused before the old firmware is cleared.
    QVERIFY(!rig.run(QByteArray()));
    QCOMPARE(rig.server.programClears(), 1);
    QTRY_COMPARE_WITH_TIMEOUT(log.texts().last(), QString("Failed to send firmware"), 5000);
}

void TstCanopenBootloader::controlUnitDownloadFailures_data()
{
    QTest::addColumn<int>("flashError");
    QTest::addColumn<QByteArray>("flashValue"); // overrides the server's own status when set
    QTest::addColumn<int>("abortIndex");
    QTest::addColumn<QString>("lastText");
    QTest::newRow("flash status 0x7E") << 0 << QByteArray::fromHex("7E") << 0 << "Unspecified error";
    // Index -1: the program start is taken but never answered.
    QTest::newRow("restart unanswered") << 0 << QByteArray() << -1 << "Failed to start program";
    QTest::newRow("flash write error") << 5 << QByteArray() << 0 << "Flash write error";
    QTest::newRow("empty flash status") << 0 << QByteArray("") << 0 << "Failed to read flash status";
    QTest::newRow("image aborted, no error recorded")
        << 0 << QByteArray() << 0x1F50 << "Abort code: 0x8000020 : 0x1f50:01. No flash status error recorded.";
    QTest::newRow("image aborted, flash error") << 3 << QByteArray() << 0x1F50
                                                << "Data format error or data CRC error";
    QTest::newRow("clear aborted, status unreadable")
        << 0 << QByteArray("") << 0x1F51 << "Abort code: 0x8000020 : 0x1f51:01. Failed to read flash status.";
}

void TstCanopenBootloader::controlUnitDownloadFailures()
{
    QFETCH(int, flashError);
    QFETCH(QByteArray, flashValue);
    QFETCH(int, abortIndex);
    QFETCH(QString, lastText);
    SerialBootRig rig;
    QVERIFY(rig.start());
    SignalLog log(&rig.comm);
    rig.server.setFlashErrorCode(flashError);
    if (!flashValue.isNull())
        rig.server.setObject(0x1F57, 1, flashValue);
    if (abortIndex > 0)
        rig.server.abortOn(abortIndex, 1, 0x08000020, abortIndex == 0x1F50);
    rig.server.setStartUnanswered(abortIndex < 0);
    QVERIFY(!rig.run(pattern(300)));
    // A failed download never restarts the device.
    QCOMPARE(rig.server.programStarts(), abortIndex < 0 ? 1 : 0);
    QTRY_VERIFY_WITH_TIMEOUT(!log.texts().isEmpty() && log.texts().last() == lastText, 5000);
}

void TstCanopenBootloader::stopEndsTheRun()
{
    SerialBootRig rig;
    QVERIFY(rig.start());
    rig.server.setSilent(true);
    auto* boot = new KepoY55Bootloader(&rig.comm, pattern(100), fastTiming());
    QPointer<KepoBootloader> guard(boot);
    QVERIFY(rig.server.waitForRequests(1, 10000)); // the clear step waits up to 7 s
    QElapsedTimer t;
    t.start();
    boot->requestStop();
    // The silent server would hold the clear step for 7 s; the stop ends it.
    while (boot->running && t.elapsed() < 60000)
        boot->serialTransport().poll();
    QVERIFY(!boot->running);
    QVERIFY(!boot->result);
    QTRY_VERIFY_WITH_TIMEOUT(guard.isNull(), 10000);
    QCOMPARE(rig.server.requests().size(), 1);
}

void TstCanopenBootloader::canDeviceDownload_data()
{
    QTest::addColumn<bool>("inBootloader");
    QTest::addColumn<QList<int>>("routeCommands");
    QTest::newRow("already in its bootloader") << true << QList<int>({0x09});
    QTest::newRow("brought into it") << false << QList<int>({0x09, 0x01, 0x0C, 0x09});
}

void TstCanopenBootloader::canDeviceDownload()
{
    QFETCH(bool, inBootloader);
    QFETCH(QList<int>, routeCommands);
    SimLink link;
    SdoServer server(120);
    SdoBusSim bus(link.sim, server, 0x21, 0x87654321);
    bus.setInBootloader(inBootloader);
    QVERIFY(link.start());
    QVERIFY(link.waitLinked());
    QTRY_VERIFY_WITH_TIMEOUT(link.handler.isFeatureBitmapValid(), 5000);
    SignalLog log(link.comm);
    QList<bool> active;
    KepoHXTMBootloader::setCanUpdateActiveHook([&active](bool on) { active.append(on); });

    const QByteArray image = pattern(2000);
    auto* boot = new KepoHXTMBootloader(link.comm, 0x21, 0x87654321, image, fastTiming());
    QPointer<KepoBootloader> guard(boot);
    QTRY_VERIFY_WITH_TIMEOUT(guard.isNull(), 60000);
    KepoHXTMBootloader::setCanUpdateActiveHook(nullptr);

    QTRY_COMPARE_WITH_TIMEOUT(log.operation, QList<QList<int>>({{0, 3}, {1, 3}}), 5000);
    QCOMPARE(server.programData(), image);
    QCOMPARE(server.programStarts(), 1);
    QCOMPARE(bus.routeCommands(), routeCommands);
    // The unit's filtered configuration mode was used and left again.
    QCOMPARE(link.sim.canFilters(),
             QList<quint32>({0x9FFFFF00, 0x00000500, 0x1FFFFEE6, 0x1FFFE5E6, 0x1FFFFFFF}));
    QVERIFY(!link.sim.configMode());
    QCOMPARE(active, QList<bool>({true, false}));
    QCOMPARE(log.canStatus.first(), QList<QVariant>({1, 0, QString()}));
    QVERIFY(log.canStatus.contains(QList<QVariant>({2, 0, QString()})));
    QCOMPARE(log.canStatus.last(), QList<QVariant>({2, 1, QString()}));
    QVERIFY(log.canProgress.contains(-1));
    QVERIFY(log.canProgress.contains(100));
    // The probe went first, as a 4-byte zero to 0x1017.
    QVERIFY(link.sim.goodSentences().contains(QStringLiteral("CN1,00000678,1,0,8,2317100000000000")));
}

void TstCanopenBootloader::canDeviceFailureLeavesConfigMode_data()
{
    QTest::addColumn<int>("fault");
    QTest::addColumn<QList<int>>("routeCommands");
    QTest::addColumn<QString>("text");
    QTest::newRow("flash status error") << 0 << QList<int>({0x09}) << "Firmware file is not for this product";
    // One check, the enter commands once, then three more checks.
    QTest::newRow("never enters its bootloader") << 1 << QList<int>({0x09, 0x01, 0x0C, 0x09, 0x09, 0x09})
                                                 << "Request enter bootloader failed";
    QTest::newRow("no SDO answers") << 2 << QList<int>({0x09}) << "Device does not respond to CANopen packets";
    QTest::newRow("restart unanswered") << 3 << QList<int>({0x09}) << "Failed to start program";
}

void TstCanopenBootloader::canDeviceFailureLeavesConfigMode()
{
    QFETCH(int, fault);
    QFETCH(QList<int>, routeCommands);
    QFETCH(QString, text);
    SimLink link;
    SdoServer server(120);
    SdoBusSim bus(link.sim, server, 0x21, 0x00000102);
    bus.setInBootloader(fault != 1);
    bus.setBootloaderRefused(fault == 1);
    server.setFlashErrorCode(fault == 0 ? 65 : 0);
    server.setSilent(fault == 2);
    server.setStartUnanswered(fault == 3);
    QVERIFY(link.start());
    QVERIFY(link.waitLinked());
    SignalLog log(link.comm);

    auto* boot = new KepoHXTMBootloader(link.comm, 0x21, 0x00000102, pattern(100), fastTiming());
    QPointer<KepoBootloader> guard(boot);
    QTRY_VERIFY_WITH_TIMEOUT(guard.isNull(), 60000);

    QTRY_COMPARE_WITH_TIMEOUT(log.operation, QList<QList<int>>({{0, 3}, {2, 3}}), 5000);
    QCOMPARE(log.canStatus.last(), QList<QVariant>({0, 5, text}));
    QCOMPARE(log.canProgress.last(), 0);
    QCOMPARE(bus.routeCommands(), routeCommands);
    QCOMPARE(server.programStarts(), fault == 3 ? 1 : 0);
    // The unit does not stay in configuration mode after a failure.
    QVERIFY(!link.sim.configMode());
}

void TstCanopenBootloader::canDeviceWithoutLinkReportsFailure()
{
    Communicator comm;
    Y5ProtocolHandler handler(&comm);
    comm.setProtocolHandler(&handler);
    SignalLog log(&comm);
    auto* boot = new KepoHXTMBootloader(&comm, 0x21, 1, pattern(100), fastTiming());
    QPointer<KepoBootloader> guard(boot);
    QTRY_VERIFY_WITH_TIMEOUT(guard.isNull(), 10000);
    QTRY_COMPARE_WITH_TIMEOUT(log.operation, QList<QList<int>>({{2, 3}}), 5000);
    QCOMPARE(log.canStatus, QList<QList<QVariant>>({{0, 5, QString("No connection to the BMS")}}));
}

void TstCanopenBootloader::canDeviceRefusedConfigModeReportsFailure()
{
    SimLink link;
    SdoServer server(120);
    SdoBusSim bus(link.sim, server, 0x21, 1);
    link.sim.setConfigModeConfirmed(false);
    QVERIFY(link.start());
    QVERIFY(link.waitLinked());
    SignalLog log(link.comm);
    QList<bool> active;
    KepoHXTMBootloader::setCanUpdateActiveHook([&active](bool on) { active.append(on); });
    auto* boot = new KepoHXTMBootloader(link.comm, 0x21, 1, pattern(100), fastTiming());
    QPointer<KepoBootloader> guard(boot);
    QTRY_VERIFY_WITH_TIMEOUT(guard.isNull(), 60000);
    KepoHXTMBootloader::setCanUpdateActiveHook(nullptr);
    QTRY_COMPARE_WITH_TIMEOUT(log.operation, QList<QList<int>>({{0, 3}, {2, 3}}), 5000);
    QCOMPARE(log.canStatus.last(), QList<QVariant>({0, 5, QString("Failed to enter configuration mode")}));
    QVERIFY(active.isEmpty());
    QVERIFY(bus.routeCommands().isEmpty());
}

QTEST_MAIN(TstCanopenBootloader)
#include "tst_canopenbootloader.moc"
