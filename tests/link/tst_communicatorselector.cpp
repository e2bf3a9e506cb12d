// The transport selector and the idle transport, with the real serial
// transport against the control-unit emulator.
#include "CommunicatorSelector.h"
#include "ControlUnitSim.h"
#include "DummyCommunicator.h"
#include "FeedTransport.h"
#include "PortList.h"
#include "Y5ProtocolHandler.h"

#include <QPointer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <atomic>
#include <ctime>

namespace {

double processCpuMs()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec * 1000.0 + ts.tv_nsec / 1e6;
}

using Changes = QList<QPair<int, Communicator*>>;

struct ChangeLog
{
    Changes changes;
    // Whether the previous transport's thread had ended when each change was announced.
    QList<bool> previousEnded;
};

} // namespace

class TestCommunicatorSelector : public QObject
{
    Q_OBJECT
private slots:
    void serialToDummyWaitsForTheSerialThreadAndHandlerFollows();
    void currentKindRunningIsNoOpAndUnknownKindIgnored();
    void stoppedCurrentKindIsRecreated_data();
    void stoppedCurrentKindIsRecreated();
    void idleTransportSleepsUntilStopped();
    void bluetoothNeedsARegisteredFactory();
    void aReplacedTransportOutlivesTheChange();
};

void TestCommunicatorSelector::serialToDummyWaitsForTheSerialThreadAndHandlerFollows()
{
    QTemporaryDir dir;
    LogCapture log;
    ControlUnitSim sim;
    const QString path = dir.filePath("ttyBMS0");
    QVERIFY(sim.start(path));
    qputenv("BMS_SERIAL_PORTS", path.toLocal8Bit());
    QString entry;
    for (const PortEntry& p : availableSerialPorts())
        if (p.systemLocation == path)
            entry = portEntryText(p);
    QVERIFY(!entry.isEmpty());

    Y5ProtocolHandler handler(nullptr);
    CommunicatorSelector selector;
    selector.setProtocolHandler(&handler);
    ChangeLog seen;
    QPointer<QThread> previous;
    connect(&selector, &CommunicatorSelector::CommunicatorChanged, this,
            [&](CommunicatorSelector::Selection kind, AbstractCommunicator* c) {
                seen.changes.append({int(kind), c});
                seen.previousEnded.append(previous.isNull() || previous->isFinished());
            });

    for (int round = 0; round < 2; ++round) {
        QVERIFY(selector.select(CommunicatorSelector::Serial));
        Communicator* serial = selector.communicator();
        QVERIFY(serial);
        QCOMPARE(handler.communicator(), serial);
        QCOMPARE(selector.communicatorThread()->objectName(), QString("Communicator Thread"));
        QVERIFY(!selector.communicatorThread()->isRunning()); // the caller starts it
        serial->selectPort(entry);
        selector.startCommunicator();
        QVERIFY(!selector.selectionAllowed);
        // The handler works on the new transport: it identifies the unit through it.
        QTRY_VERIFY_WITH_TIMEOUT(serial->linked, 20000);
        QCOMPARE(handler.deviceSerial(), QString("0001E240"));

        previous = selector.communicatorThread();
        // Reported from this thread and the transport's.
        QMutex statesMutex;
        QList<int> states;
        connect(serial, &CommunicatorBase::sigStatusChanged, this, [&](int s) {
            QMutexLocker lock(&statesMutex);
            states << s;
        }, Qt::DirectConnection);
        // A change asked from events handled while this one waits is refused, not deadlocked.
        int nested = -1;
        QMetaObject::invokeMethod(
            this, [&] { nested = selector.select(CommunicatorSelector::Serial); }, Qt::QueuedConnection);
        QVERIFY(selector.select(CommunicatorSelector::Dummy));
        QCOMPARE(nested, 0);
        // Returned only once the serial thread had finished, and announced after it.
        QVERIFY(previous.isNull() || previous->isFinished());
        QVERIFY(seen.previousEnded.last());
        QVERIFY(selector.selectionAllowed);
        QVERIFY(!states.isEmpty());
        QCOMPARE(states.first(), 0);
        auto* dummy = qobject_cast<DummyCommunicator*>(selector.communicator());
        QVERIFY(dummy);
        QCOMPARE(seen.changes.last(), qMakePair(int(CommunicatorSelector::Dummy), static_cast<Communicator*>(dummy)));
        QCOMPARE(handler.communicator(), static_cast<Communicator*>(dummy));
        QVERIFY(!handler.isConnected());
        previous = selector.communicatorThread();
        selector.startCommunicator();
        sim.clearReceived();
    }
    QCOMPARE(seen.changes.size(), 4);
}

// A worker that took the transport's pointer just before a change (a status
// poller in the middle of a send) finds a stopped transport, not freed memory.
void TestCommunicatorSelector::aReplacedTransportOutlivesTheChange()
{
    LogCapture log;
    CommunicatorSelector selector;
    QVERIFY(selector.select(CommunicatorSelector::Serial));
    selector.startCommunicator();
    Communicator* held = selector.communicator();
    QVERIFY(selector.select(CommunicatorSelector::Dummy));
    QVERIFY(!held->writeSentence("VR1,?,D7\r"));
    QVERIFY(!held->linked);
    // Many more changes: the oldest retired transports are freed on the way
    // (the leak checker sees the rest freed with the selector).
    for (int i = 0; i < 12; ++i) {
        QVERIFY(selector.select(i % 2 ? CommunicatorSelector::Dummy : CommunicatorSelector::Serial));
        selector.startCommunicator();
    }
}

void TestCommunicatorSelector::currentKindRunningIsNoOpAndUnknownKindIgnored()
{
    CommunicatorSelector selector;
    QSignalSpy changed(&selector, &CommunicatorSelector::CommunicatorChanged);
    QCOMPARE(selector.currentSelection(), CommunicatorSelector::NoSelection);
    QVERIFY(!selector.select(CommunicatorSelector::Selection(7)));
    QVERIFY(!selector.select(CommunicatorSelector::NoSelection));
    QCOMPARE(changed.size(), 0);
    QCOMPARE(selector.communicator(), nullptr);

    QVERIFY(selector.select(CommunicatorSelector::Dummy));
    Communicator* first = selector.communicator();
    selector.startCommunicator();
    QVERIFY(selector.select(CommunicatorSelector::Dummy));
    QVERIFY(!selector.select(CommunicatorSelector::Selection(7)));
    QCOMPARE(selector.communicator(), first);
    QCOMPARE(changed.size(), 1);
    QVERIFY(selector.communicatorThread()->isRunning());
    // The lock was released on every refusal: a real change still goes through.
    QVERIFY(selector.select(CommunicatorSelector::Serial));
    QCOMPARE(changed.size(), 2);
}

void TestCommunicatorSelector::stoppedCurrentKindIsRecreated_data()
{
    QTest::addColumn<int>("kind");
    QTest::newRow("serial") << int(CommunicatorSelector::Serial);
    QTest::newRow("idle") << int(CommunicatorSelector::Dummy);
}

void TestCommunicatorSelector::stoppedCurrentKindIsRecreated()
{
    QFETCH(int, kind);
    qunsetenv("BMS_SERIAL_PORTS");
    CommunicatorSelector selector;
    QSignalSpy changed(&selector, &CommunicatorSelector::CommunicatorChanged);
    const auto k = CommunicatorSelector::Selection(kind);
    QVERIFY(selector.select(k));
    Communicator* first = selector.communicator();
    QThread* firstThread = selector.communicatorThread();
    selector.startCommunicator();
    // The transport ends on its own (as after a "No" to the firmware question).
    first->requestStop();
    QTRY_VERIFY_WITH_TIMEOUT(firstThread->isFinished(), 20000);
    // Holders of the stopped transport may still use it until they rebind.
    first->writeSentence("VR1,?,D7\r");
    QVERIFY(!first->linked);
    QVERIFY(selector.select(k));
    QVERIFY(selector.communicator() != first);
    QCOMPARE(changed.size(), 2);
    QCOMPARE(changed.last().at(0).value<CommunicatorSelector::Selection>(), k);
    selector.startCommunicator();
    QTRY_VERIFY(selector.communicatorThread()->isRunning());
}

void TestCommunicatorSelector::idleTransportSleepsUntilStopped()
{
    DummyCommunicator dummy;
    QThread thread;
    dummy.moveToThread(&thread);
    connect(&thread, &QThread::started, &dummy, &Communicator::run);
    connect(&dummy, &CommunicatorBase::done, &thread, &QThread::quit, Qt::DirectConnection);
    std::atomic<int> done{0};
    connect(&dummy, &CommunicatorBase::done, this, [&] { ++done; }, Qt::DirectConnection);
    thread.start();
    const double cpuBefore = processCpuMs();
    QTest::qWait(600);
    const double cpu = processCpuMs() - cpuBefore;
    QVERIFY2(cpu < 200, qPrintable(QString("%1 ms of CPU in 600 ms").arg(cpu)));
    QCOMPARE(done.load(), 0);
    QVERIFY(thread.isRunning());
    // Its port operations do nothing, whatever the caller asks.
    char buf[8];
    QCOMPARE(dummy.read(buf, sizeof buf), qint64(0));
    QVERIFY(!dummy.open());
    dummy.writeSentence("VR1,?,00\r");
    QVERIFY(dummy.readIntoBuffer());
    QVERIFY(!dummy.connectToBms());
    dummy.requestStop();
    QVERIFY(thread.wait(20000));
    QCOMPARE(done.load(), 1);
}

void TestCommunicatorSelector::bluetoothNeedsARegisteredFactory()
{
    LogCapture log;
    CommunicatorSelector selector;
    QSignalSpy changed(&selector, &CommunicatorSelector::CommunicatorChanged);
    QVERIFY(selector.select(CommunicatorSelector::Dummy));
    Communicator* idle = selector.communicator();
    QVERIFY(!selector.select(CommunicatorSelector::Bluetooth));
    QCOMPARE(selector.currentSelection(), CommunicatorSelector::Dummy);
    QCOMPARE(selector.communicator(), idle);
    QCOMPARE(changed.size(), 1);
    QVERIFY(!log.lines().filter("No transport of kind 1").isEmpty());

    // Once the Bluetooth code registers its transport, the kind works.
    Communicator* made = nullptr;
    selector.setFactory(CommunicatorSelector::Bluetooth, [&made] { return made = new DummyCommunicator; });
    QVERIFY(selector.select(CommunicatorSelector::Bluetooth));
    QCOMPARE(selector.communicator(), made);
    QCOMPARE(selector.currentSelection(), CommunicatorSelector::Bluetooth);
    QCOMPARE(changed.size(), 2);
}

QTEST_GUILESS_MAIN(TestCommunicatorSelector)
#include "tst_communicatorselector.moc"
