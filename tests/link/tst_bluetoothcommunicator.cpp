// The Bluetooth transport: finding the dongle, its receive buffer and driver
// events, and the switch serial -> Bluetooth -> serial through the selector
// against the dongle emulator bridged to a control-unit emulator.
#include "BleDongleEmulator.h"
#include "BluetoothCommunicator.h"
#include "Bled112.h"
#include "CommunicatorSelector.h"
#include "ControlUnitSim.h"
#include "DonglePort.h"
#include "FeedTransport.h"
#include "PortList.h"
#include "Y5ProtocolHandler.h"

#include <QDir>
#include <QPointer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <ctime>

namespace {

double processCpuMs()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec * 1000.0 + ts.tv_nsec / 1e6;
}

int threadCount()
{
    return int(QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size());
}

PortEntry port(const QString& path, const QString& description, int vid = -1, int pid = -1)
{
    PortEntry p;
    p.name = path.mid(path.lastIndexOf('/') + 1);
    p.systemLocation = path;
    p.description = description;
    p.hasIds = vid >= 0;
    p.vendorId = quint16(vid < 0 ? 0 : vid);
    p.productId = quint16(pid < 0 ? 0 : pid);
    return p;
}

bool anyContains(const QList<QByteArray>& list, const QByteArray& part)
{
    return std::any_of(list.begin(), list.end(), [&](const QByteArray& b) { return b.contains(part); });
}

} // namespace

// A control-unit emulator behind the dongle emulator, found through
// BMS_BLE_DONGLE_PORT, and the Bluetooth transport with a protocol handler in
// a thread of its own (not started).
struct BleRig
{
    QTemporaryDir dir;
    LogCapture log;
    ControlUnitSim unit;
    BleDongleEmulator dongle;
    QString donglePath = dir.filePath("ttyBLED112");
    BluetoothCommunicator* bt = new BluetoothCommunicator;
    Y5ProtocolHandler handler{bt};
    QThread thread;

    explicit BleRig(const BleDongleEmulator::Options& options = {}) : dongle(options) {}
    bool start()
    {
        if (!unit.start(dir.filePath("ttyUNIT")) || !dongle.bridgeToPort(unit.portPath()) || !dongle.start(donglePath))
            return false;
        qputenv(kDonglePortVariable, donglePath.toLocal8Bit());
        bt->setProtocolHandler(&handler);
        QObject::connect(bt, &CommunicatorBase::sigDataReceived, &handler, &Y5ProtocolHandler::slotDataReceived,
                         Qt::DirectConnection);
        bt->moveToThread(&thread);
        QObject::connect(&thread, &QThread::started, bt, &Communicator::run);
        QObject::connect(bt, &CommunicatorBase::done, &thread, &QThread::quit, Qt::DirectConnection);
        return true;
    }
    ~BleRig()
    {
        bt->requestStop();
        if (!thread.wait(5000))
            qFatal("the Bluetooth loop did not stop");
        delete bt;
        qunsetenv(kDonglePortVariable);
    }
};

Q_DECLARE_METATYPE(PortEntry)

class TestBluetoothCommunicator : public QObject
{
    Q_OBJECT
private slots:
    void findsTheDongle_data();
    void findsTheDongle();
    void receiveBufferReadsInOrderAndKeepsBytesFromHandshakeClearing();
    void queuedDriverEventsAreAllHandledInOrder();
    void withoutDongleReportsOnceAndIdles();
    void switchesSerialBluetoothSerialRepeatedly();
    void wrongPasskeyIsRetriedThenModuleOperationsReachTheModule();
    void unpluggedDongleEndsTheLinkAndIsReported();
    void stopDuringConnectionAttemptAwaitsNoConfirmation();

private:
    // Test access to the callback side.
    static void driverEvent(BluetoothCommunicator& bt, int kind, const void* payload = nullptr)
    {
        bt.onDriverEvent(kind, payload);
    }
    static void drain(BluetoothCommunicator& bt) { bt.drainQueues(); }
    static void setDisconnectConfirmWait(BluetoothCommunicator& bt, int ms) { bt.disconnectConfirmWaitMs_ = ms; }
};

void TestBluetoothCommunicator::findsTheDongle_data()
{
    QTemporaryDir dir;
    const QString existing = QDir::tempPath(); // any path that exists
    QTest::addColumn<QList<PortEntry>>("ports");
    QTest::addColumn<QString>("overridePath");
    QTest::addColumn<QString>("expected"); // empty: none

    const PortEntry usb = port("/dev/ttyUSB0", "USB Serial Port", 0x0403, 0x6001);
    const PortEntry named = port("/dev/ttyACM3", "Bluegiga Bluetooth Low Energy");
    const PortEntry similar = port("/dev/ttyACM1", "Bluegiga Bluetooth Low Energy (old)");
    const PortEntry ids = port("/dev/ttyACM0", "Low Energy Dongle", 0x2458, 0x0001);
    const PortEntry otherProduct = port("/dev/ttyACM2", "Low Energy Dongle", 0x2458, 0x0002);

    QTest::newRow("none") << QList<PortEntry>{usb} << QString() << QString();
    QTest::newRow("description equal") << QList<PortEntry>{usb, named} << QString() << "/dev/ttyACM3";
    QTest::newRow("description only contains") << QList<PortEntry>{similar, usb} << QString() << QString();
    QTest::newRow("by USB ids") << QList<PortEntry>{usb, otherProduct, ids} << QString() << "/dev/ttyACM0";
    QTest::newRow("description before ids") << QList<PortEntry>{ids, named} << QString() << "/dev/ttyACM3";
    QTest::newRow("variable names an existing path") << QList<PortEntry>{named} << existing << existing;
    QTest::newRow("variable names a missing path")
        << QList<PortEntry>{usb, ids} << dir.filePath("gone/ttyBLE") << "/dev/ttyACM0";
}

void TestBluetoothCommunicator::findsTheDongle()
{
    QFETCH(QList<PortEntry>, ports);
    QFETCH(QString, overridePath);
    QFETCH(QString, expected);
    PortEntry found;
    QCOMPARE(findDonglePort(ports, overridePath, found), !expected.isEmpty());
    if (!expected.isEmpty())
        QCOMPARE(found.systemLocation, expected);
}

void TestBluetoothCommunicator::receiveBufferReadsInOrderAndKeepsBytesFromHandshakeClearing()
{
    BluetoothCommunicator bt;
    Y5ProtocolHandler handler(&bt);
    bt.setProtocolHandler(&handler);
    QByteArray bytes;
    for (int i = 0; i < 25; ++i)
        bytes.append(char('a' + i));
    const Bled112Data data{reinterpret_cast<const uint8_t*>(bytes.constData()), uint8_t(bytes.size())};
    driverEvent(bt, BLED112_DATA_RECEIVED, &data);

    // The handshake's buffer clearing reads nothing and loses nothing.
    QVERIFY(bt.readAll().isEmpty());
    char out[32] = {};
    QCOMPARE(bt.read(out, 10), qint64(10));
    QCOMPARE(QByteArray(out, 10), bytes.left(10));
    QCOMPARE(bt.read(nullptr, 10), qint64(0));
    QCOMPARE(bt.read(out, 32), qint64(15));
    QCOMPARE(QByteArray(out, 15), bytes.mid(10));
    QCOMPARE(bt.read(out, 32), qint64(0));

    // A starting firmware update takes everything.
    driverEvent(bt, BLED112_DATA_RECEIVED, &data);
    handler.updateStarting = true;
    QCOMPARE(bt.readAll(), bytes);
    QCOMPARE(bt.read(out, 32), qint64(0));

    // A disconnection empties the buffer at once; bytes after it are kept.
    driverEvent(bt, BLED112_DATA_RECEIVED, &data);
    driverEvent(bt, BLED112_DISCONNECTED);
    const Bled112Data tail{reinterpret_cast<const uint8_t*>("VR1"), 3};
    driverEvent(bt, BLED112_DATA_RECEIVED, &tail);
    QCOMPARE(bt.read(out, 32), qint64(3));
    QCOMPARE(QByteArray(out, 3), QByteArray("VR1"));
}

void TestBluetoothCommunicator::queuedDriverEventsAreAllHandledInOrder()
{
    BluetoothCommunicator bt;
    QStringList seen;
    QObject context; // goes before seen, with any call still queued
    connect(&bt, &BluetoothCommunicator::Connected, &context, [&] { seen << "connected"; });
    connect(&bt, &BluetoothCommunicator::Disconnected, &context, [&] { seen << "disconnected"; });
    connect(&bt, &BluetoothCommunicator::passkeyRequested, &context, [&] { seen << "passkey"; });
    connect(&bt, &BluetoothCommunicator::incorrectPasskey, &context, [&] { seen << "incorrect"; });
    connect(&bt, &BluetoothCommunicator::NewDeviceFound, &context,
            [&](const BluetoothCommunicator::BTDevInfo& d) { seen << QString("found %1 %2").arg(d.index).arg(d.name); });

    // A quick disconnection and reconnection in one pass ends connected.
    DriverModuleFound module{7, "BMS Module", 0x01020304};
    driverEvent(bt, BLED112_CONNECTED);
    driverEvent(bt, BLED112_DISCONNECTED);
    driverEvent(bt, BLED112_PASSKEY_REQUESTED);
    driverEvent(bt, BLED112_INCORRECT_PASSKEY);
    driverEvent(bt, BLED112_CONNECTED);
    driverEvent(bt, BLED112_DEVICE_FOUND, &module);
    driverEvent(bt, BLED112_DEVICE_FOUND, &module);
    drain(bt);
    QCOMPARE(seen, QStringList({"found 7 BMS Module", "found 7 BMS Module", "connected", "disconnected", "passkey",
                                "incorrect", "connected"}));
    QVERIFY(bt.isDeviceConnected());
    QVERIFY(bt.open());

    seen.clear();
    driverEvent(bt, BLED112_CONNECTED);
    driverEvent(bt, BLED112_DISCONNECTED);
    drain(bt);
    QCOMPARE(seen, QStringList({"connected", "disconnected"}));
    QVERIFY(!bt.isDeviceConnected());
}

void TestBluetoothCommunicator::withoutDongleReportsOnceAndIdles()
{
    QTemporaryDir dir;
    LogCapture log;
    qputenv(kDonglePortVariable, dir.filePath("no-dongle").toLocal8Bit());
    PortEntry real;
    if (findDonglePort(real))
        QSKIP("a real BLE dongle is plugged in");

    auto* bt = new BluetoothCommunicator;
    QThread thread;
    bt->moveToThread(&thread);
    connect(&thread, &QThread::started, bt, &Communicator::run);
    connect(bt, &CommunicatorBase::done, &thread, &QThread::quit, Qt::DirectConnection);
    QSignalSpy failed(bt, &BluetoothCommunicator::DongleConnectionFailed);
    QSignalSpy states(bt, &CommunicatorBase::sigStatusChanged);
    QSignalSpy done(bt, &CommunicatorBase::done);
    thread.start();
    QVERIFY(failed.wait(20000));
    QCOMPARE(states.size(), 1);
    QCOMPARE(states.first().first().toInt(), 0);
    QVERIFY(!log.lines().filter("No Bluetooth dongle found").isEmpty());

    // It waits for its stop without holding a core.
    const double cpuBefore = processCpuMs();
    QTest::qWait(1500);
    const double cpu = processCpuMs() - cpuBefore;
    QVERIFY2(cpu < 400, qPrintable(QString("%1 ms of CPU in 1500 ms").arg(cpu)));
    QCOMPARE(failed.size(), 1);
    QCOMPARE(done.size(), 0);

    // Nothing to talk to: the operations say so instead of pretending.
    QVERIFY(bt->availablePorts().isEmpty());
    QVERIFY(!bt->open());
    QVERIFY(!bt->connectToBms());
    QVERIFY(bt->isModuleBusy());
    QCOMPARE(bt->connectDevice(BluetoothCommunicator::BTDevInfo()), 2);
    QCOMPARE(bt->enterPasskey("123456"), 1);
    QCOMPARE(bt->setDeviceName("BMS"), 1);
    QCOMPARE(bt->write("VR1,?,00\r", 9), qint64(-1));
    QVERIFY(!log.lines().filter("Bluetooth write of 9 bytes refused: module not ready").isEmpty());
    // The page's periodic check reports the missing dongle as well.
    bt->CheckSerialPortConnection();
    QCOMPARE(failed.size(), 2);

    bt->requestStop();
    QVERIFY(thread.wait(20000));
    QCOMPARE(done.size(), 1);
    delete bt;
    qunsetenv(kDonglePortVariable);
}

void TestBluetoothCommunicator::switchesSerialBluetoothSerialRepeatedly()
{
    QTemporaryDir dir;
    LogCapture log;
    // The unit on its USB cable, and a second one behind the BLE module.
    ControlUnitSim serialUnit;
    serialUnit.setVersion("BMS2", "0000AAAA", "2.1.4.2");
    const QString serialPath = dir.filePath("ttyBMS0");
    QVERIFY(serialUnit.start(serialPath));
    ControlUnitSim bleUnit;
    bleUnit.setVersion("BMS2", "0000BBBB", "2.1.4.2");
    QVERIFY(bleUnit.start(dir.filePath("ttyBLEUNIT")));
    BleDongleEmulator dongle;
    QVERIFY(dongle.bridgeToPort(bleUnit.portPath()));
    const QString donglePath = dir.filePath("ttyBLED112");
    QVERIFY(dongle.start(donglePath));
    qputenv(kExtraPortsVariable, serialPath.toLocal8Bit());
    qputenv(kDonglePortVariable, donglePath.toLocal8Bit());
    QString serialEntry;
    for (const PortEntry& p : availableSerialPorts())
        if (p.systemLocation == serialPath)
            serialEntry = portEntryText(p);
    QVERIFY(!serialEntry.isEmpty());

    Y5ProtocolHandler handler(nullptr);
    {
        CommunicatorSelector selector;
        BluetoothCommunicator::registerTransport(selector);
        selector.setProtocolHandler(&handler);
        // What the main window does with each new serial transport.
        connect(&selector, &CommunicatorSelector::CommunicatorChanged, this,
                [&](CommunicatorSelector::Selection kind, AbstractCommunicator* c) {
                    if (kind == CommunicatorSelector::Serial)
                        c->selectPort(serialEntry);
                });
        QVERIFY(selector.select(CommunicatorSelector::Serial));
        selector.startCommunicator();
        QTRY_VERIFY_WITH_TIMEOUT(selector.communicator()->linked, 20000);
        QCOMPARE(handler.deviceSerial(), QString("0000AAAA"));

        int threadsAfterFirstRound = -1;
        for (int round = 0; round < 3; ++round) {
            // The Bluetooth module page's attach: select, start, connect its signals.
            const CommunicatorSelector::Selection previous = selector.currentSelection();
            QVERIFY(selector.select(CommunicatorSelector::Bluetooth));
            QVERIFY(!handler.isConnected());
            QPointer<BluetoothCommunicator> bt = qobject_cast<BluetoothCommunicator*>(selector.communicator());
            QVERIFY(bt);
            QCOMPARE(handler.communicator(), static_cast<Communicator*>(bt.data()));
            QList<BluetoothCommunicator::BTDevInfo> found;
            int passkeyRequests = 0, connectedCount = 0;
            QString passkey;
            QList<int> states;
            QObject context; // goes before the counters, with any call still queued
            connect(bt, &BluetoothCommunicator::NewDeviceFound, &context,
                    [&](const BluetoothCommunicator::BTDevInfo& d) { found.append(d); }, Qt::QueuedConnection);
            // The user types the passkey when asked.
            connect(bt, &BluetoothCommunicator::passkeyRequested, &context,
                    [&] {
                        ++passkeyRequests;
                        QCOMPARE(bt->enterPasskey("123456"), 0);
                    },
                    Qt::QueuedConnection);
            connect(bt, &BluetoothCommunicator::Connected, &context, [&] { ++connectedCount; }, Qt::QueuedConnection);
            connect(bt, &BluetoothCommunicator::PasskeyReceived, &context,
                    [&](const BluetoothCommunicator::BTDevPasskey& k) { passkey = k.text(); }, Qt::QueuedConnection);
            connect(bt, &CommunicatorBase::sigStatusChanged, &context, [&](int s) { states.append(s); },
                    Qt::QueuedConnection);
            selector.startCommunicator();
            QVERIFY(!selector.selectionAllowed);

            // Scan: the module is listed by its advertised name.
            QTRY_VERIFY_WITH_TIMEOUT(
                std::any_of(found.begin(), found.end(), [](const auto& d) { return d.name == "BMS Module"; }), 5000);
            QCOMPARE(bt->donglePortName(), donglePath);
            QCOMPARE(bt->availablePorts().size(), 1);
            const auto module =
                *std::find_if(found.begin(), found.end(), [](const auto& d) { return d.name == "BMS Module"; });
            QCOMPARE(module.value, quint32(0x00010203));
            bleUnit.clearReceived();
            dongle.clearDataRecord();

            QCOMPARE(bt->connectDevice(module), 0);
            QTRY_COMPARE_WITH_TIMEOUT(connectedCount, 1, 20000);
            // Only the first pairing asks for the passkey; then the bond holds.
            QCOMPARE(passkeyRequests, round == 0 ? 1 : 0);
            QTRY_COMPARE(passkey, QString("123456"));
            QVERIFY(bt->isDeviceConnected());
            QVERIFY(!bt->isModuleBusy());

            // The tool identifies the unit over the module.
            QTRY_VERIFY_WITH_TIMEOUT(bt->linked, 20000);
            QTRY_VERIFY(states.contains(1));
            QCOMPARE(handler.deviceSerial(), QString("0000BBBB"));
            QVERIFY(QStringList(bleUnit.goodSentences()).contains("VR1,?"));
            QVERIFY(anyContains(dongle.dataWrites(), "VR1,?,"));
            QByteArray notified;
            int fullChunks = 0;
            for (const QByteArray& n : dongle.notifications()) {
                QVERIFY(n.size() <= 20);
                fullChunks += n.size() == 20;
                notified += n;
            }
            QVERIFY(notified.contains(bleUnit.versionReply().toLatin1()));
            QVERIFY(fullChunks > 0);

            if (round == 0) {
                // An idle link over the module holds no core.
                const double cpuBefore = processCpuMs();
                QTest::qWait(1000);
                const double cpu = processCpuMs() - cpuBefore;
                QVERIFY2(cpu < 400, qPrintable(QString("%1 ms of CPU in 1000 ms").arg(cpu)));

                // A long sentence goes in chunks of 20 bytes and arrives whole.
                const QString text = "CF2,0010," + QString(32, 'A');
                const QByteArray wire = ControlUnitSim::frame(text);
                QCOMPARE(wire.size(), 45);
                dongle.clearDataRecord();
                bt->writeSentence(QString::fromLatin1(wire));
                QTRY_VERIFY_WITH_TIMEOUT(bleUnit.goodSentences().contains(text), 20000);
                QList<int> sizes;
                for (const QByteArray& w : dongle.dataWrites())
                    sizes.append(w.size());
                QCOMPARE(sizes, QList<int>({20, 20, 5}));
            }

            if (round == 1) {
                // The user ends the module connection before switching back.
                int disconnectedCount = 0;
                QObject disconnectContext;
                connect(bt, &BluetoothCommunicator::Disconnected, &disconnectContext, [&] { ++disconnectedCount; },
                        Qt::QueuedConnection);
                QCOMPARE(bt->disconnectDevice(), 0);
                QVERIFY(!bt->linked);
                QVERIFY(!bt->isDeviceConnected());
                QTRY_COMPARE_WITH_TIMEOUT(disconnectedCount, 1, 20000);
                QTRY_VERIFY(!dongle.isConnected());
                QTRY_COMPARE(states.last(), 0);
            }

            // The page's detach: disconnect its signals, select what was there before.
            disconnect(bt, nullptr, this, nullptr);
            QVERIFY(selector.select(previous));
            // Returned only after the Bluetooth thread ended; the module was let go.
            QVERIFY(bt.isNull() || !bt->isDeviceConnected());
            QTRY_VERIFY_WITH_TIMEOUT(!dongle.isConnected(), 20000);
            QCOMPARE(dongle.connectRequests(), round + 1);
            selector.startCommunicator();
            QTRY_VERIFY_WITH_TIMEOUT(selector.communicator()->linked, 20000);
            QCOMPARE(handler.deviceSerial(), QString("0000AAAA"));
            // Nothing talks to the module's unit any more.
            bleUnit.clearReceived();
            QTest::qWait(300);
            QVERIFY(bleUnit.received().isEmpty());

            // The replaced transport is retired: its thread has ended.
            QVERIFY(bt.isNull() || (bt != selector.communicator() && bt->thread()->isFinished()));
            if (round == 0)
                threadsAfterFirstRound = threadCount();
            else
                QTRY_COMPARE(threadCount(), threadsAfterFirstRound);
        }
        // No refused write and no driver error on the way.
        QVERIFY2(log.lines().filter("refused").isEmpty(), qPrintable(log.lines().filter("refused").join('\n')));
        QVERIFY2(log.lines().filter("Bluetooth dongle:").isEmpty(),
                 qPrintable(log.lines().filter("Bluetooth dongle:").join('\n')));
    }
    qunsetenv(kDonglePortVariable);
    qunsetenv(kExtraPortsVariable);
}

void TestBluetoothCommunicator::wrongPasskeyIsRetriedThenModuleOperationsReachTheModule()
{
    BleRig rig;
    QVERIFY(rig.start());
    QSignalSpy found(rig.bt, &BluetoothCommunicator::NewDeviceFound);
    QSignalSpy asked(rig.bt, &BluetoothCommunicator::passkeyRequested);
    QSignalSpy incorrect(rig.bt, &BluetoothCommunicator::incorrectPasskey);
    QSignalSpy disconnected(rig.bt, &BluetoothCommunicator::Disconnected);
    QSignalSpy connected(rig.bt, &BluetoothCommunicator::Connected);
    QSignalSpy passkeys(rig.bt, &BluetoothCommunicator::PasskeyReceived);
    rig.bt->thread()->start();

    QVERIFY(found.wait(20000));
    QCOMPARE(rig.bt->connectDevice(found.last().first().value<BluetoothCommunicator::BTDevInfo>()), 0);
    QTRY_COMPARE_WITH_TIMEOUT(asked.size(), 1, 20000);
    QCOMPARE(rig.bt->enterPasskey("12345x"), 2); // mistyped: the request stays open
    QCOMPARE(rig.bt->enterPasskey("654321"), 0);
    QTRY_COMPARE_WITH_TIMEOUT(incorrect.size(), 1, 20000);
    // The rejected connection ends and the scan starts again.
    QTRY_COMPARE_WITH_TIMEOUT(disconnected.size(), 1, 20000);
    QVERIFY(!rig.bt->isDeviceConnected());
    QCOMPARE(connected.size(), 0);
    found.clear();
    QVERIFY(found.wait(20000));

    QCOMPARE(rig.bt->connectDevice(found.last().first().value<BluetoothCommunicator::BTDevInfo>()), 0);
    QTRY_COMPARE_WITH_TIMEOUT(asked.size(), 2, 20000);
    QCOMPARE(rig.bt->enterPasskey("123456"), 0);
    QTRY_COMPARE_WITH_TIMEOUT(connected.size(), 1, 20000);
    QTRY_COMPARE(passkeys.size(), 1);
    QCOMPARE(passkeys.first().first().value<BluetoothCommunicator::BTDevPasskey>().text(), QString("123456"));
    QTRY_VERIFY_WITH_TIMEOUT(rig.bt->linked, 20000);
    QCOMPARE(rig.handler.deviceSerial(), QString("0001E240"));

    // The module's settings go to its command characteristic.
    BluetoothCommunicator* bt = rig.bt;
    QCOMPARE(bt->setDeviceName(QString()), 0);
    QCOMPARE(bt->setDeviceName(QString(21, 'N')), 3);
    QCOMPARE(bt->setDeviceName("Pack 7"), 0);
    QCOMPARE(bt->setPinProtection("654321", true), 0);
    QCOMPARE(bt->setPinProtection(nullptr, false), 0);
    QTRY_COMPARE(rig.dongle.moduleCommands(),
                 QList<QByteArray>({QByteArray("\xffQ"), QByteArray("Pack 7"), QByteArray("\xffR654321"),
                                    QByteArray("\xffS")}));

    // A module reset ends the link, and says so.
    QSignalSpy states(bt, &CommunicatorBase::sigStatusChanged);
    found.clear();
    QCOMPARE(bt->resetModule(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(disconnected.size(), 2, 20000);
    QVERIFY(!bt->linked);
    QVERIFY(!bt->isDeviceConnected());
    QVERIFY(bt->isModuleBusy());
    QTRY_VERIFY(!states.isEmpty());
    QCOMPARE(states.last().first().toInt(), 0);
    QVERIFY(!rig.log.lines().filter("Bluetooth module disconnected").isEmpty());
    QVERIFY(found.wait(20000)); // scanning again
}

void TestBluetoothCommunicator::unpluggedDongleEndsTheLinkAndIsReported()
{
    BleDongleEmulator::Options options;
    options.passkey.clear(); // no PIN: pairs without asking
    BleRig rig(options);
    QVERIFY(rig.start());
    BluetoothCommunicator* bt = rig.bt;
    QSignalSpy found(bt, &BluetoothCommunicator::NewDeviceFound);
    QSignalSpy disconnected(bt, &BluetoothCommunicator::Disconnected);
    QSignalSpy failed(bt, &BluetoothCommunicator::DongleConnectionFailed);
    QSignalSpy states(bt, &CommunicatorBase::sigStatusChanged);
    bt->thread()->start();

    QVERIFY(found.wait(20000));
    QCOMPARE(bt->connectDevice(found.first().first().value<BluetoothCommunicator::BTDevInfo>()), 0);
    QTRY_VERIFY_WITH_TIMEOUT(bt->linked, 20000);
    QCOMPARE(rig.handler.deviceSerial(), QString("0001E240"));
    bt->CheckSerialPortConnection();
    QCOMPARE(failed.size(), 0);

    states.clear();
    rig.dongle.unplug();
    QTRY_COMPARE_WITH_TIMEOUT(disconnected.size(), 1, 20000);
    QVERIFY(!bt->linked);
    QVERIFY(!bt->isDeviceConnected());
    QVERIFY(!states.isEmpty());
    QCOMPARE(states.last().first().toInt(), 0);
    QVERIFY(!rig.log.lines().filter("Bluetooth dongle port " + rig.donglePath + " failed").isEmpty());
    bt->CheckSerialPortConnection();
    QCOMPARE(failed.size(), 1);

    // Waiting to be switched away costs nothing, and the stop is prompt.
    const double cpuBefore = processCpuMs();
    QTest::qWait(1000);
    const double cpu = processCpuMs() - cpuBefore;
    QVERIFY2(cpu < 400, qPrintable(QString("%1 ms of CPU in 1000 ms").arg(cpu)));
    bt->requestStop();
    QVERIFY(bt->thread()->wait(20000));
}

// A cancelled connection attempt is never confirmed by the module: stopping
// must not wait for a confirmation.
void TestBluetoothCommunicator::stopDuringConnectionAttemptAwaitsNoConfirmation()
{
    BleDongleEmulator::Options away;
    away.inRange = false;
    BleRig rig(away);
    QVERIFY(rig.start());
    // A wait for a confirmation that never comes would outlast the test.
    setDisconnectConfirmWait(*rig.bt, 600000);
    QSignalSpy found(rig.bt, &BluetoothCommunicator::NewDeviceFound);
    rig.bt->thread()->start();
    QVERIFY(found.wait(20000));
    QCOMPARE(rig.bt->connectDevice(found.last().first().value<BluetoothCommunicator::BTDevInfo>()), 0);
    QTRY_COMPARE_WITH_TIMEOUT(rig.dongle.connectRequests(), 1, 20000);

    rig.bt->requestStop();
    QVERIFY(rig.thread.wait(20000));
}

QTEST_GUILESS_MAIN(TestBluetoothCommunicator)
#include "tst_bluetoothcommunicator.moc"
