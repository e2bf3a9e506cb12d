// The real serial transport on a real pty, against the control-unit emulator.
#include "Communicator.h"
#include "DonglePort.h"
#include "FeedTransport.h"
#include "HeldPorts.h"
#include "SimLink.h"
#include "Y5ProtocolHandler.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

namespace {

// Emulator, transport in its own thread, handler, and the captured log.
struct Rig : SimLink
{
    LogCapture log;
    // The transport logs until it stops: stop it while the capture lives.
    ~Rig() { stop(); }
};

} // namespace

class TestSerialTransport : public QObject
{
    Q_OBJECT
private slots:
    void cleanup() { qunsetenv(kDonglePortVariable); }
    void foundThroughThePortListAndLinked();
    void chosenPortIsTriedOncePerAttempt_data();
    void chosenPortIsTriedOncePerAttempt();
    void entryWithoutPortOpensNothing();
    void portOfAnotherPartIsNeverOpened_data();
    void portOfAnotherPartIsNeverOpened();
    void concurrentSendersNeverInterleave();
    void probeIsAnsweredWithRawHash();
    void corruptedLineIsRejectedNotQueued();
    void vanishedUnitIsRetriedEverySecond();
    void closeFromAnotherThreadIsLeftToTheLoop();
    void canJobsKeepTheirCadenceWhileBytesStream();
};

void TestSerialTransport::foundThroughThePortListAndLinked()
{
    Rig rig;
    rig.sim.setVersion("BMS2", "0001E240", "2.1.4.2");
    QVERIFY(rig.start());
    QVERIFY(rig.entry.endsWith(" - USB Serial Port"));
    QTRY_VERIFY_WITH_TIMEOUT(rig.comm->linked, 20000);
    QVERIFY(rig.sim.waitForSentence("VR1,?", 1000));
    QCOMPARE(rig.handler.deviceKind(), QString("BMS2"));
    QCOMPARE(rig.handler.deviceSerial(), QString("0001E240"));
    QCOMPARE(rig.handler.deviceVersion(), QString("2.1.4.2"));
    QVERIFY(!rig.handler.isBootMode());
    QTRY_VERIFY(rig.log.count("Connected to BMS on port " + rig.portPath) == 1);
    QVERIFY(rig.log.lines().contains("Connected to BMS2 SN:0001E240 version:2.1.4.2 on " + rig.portPath));
    QVERIFY(rig.log.lines().contains("Port opened " + rig.portPath));
    // The transport keeps the bare name of the port in use.
    QCOMPARE(rig.comm->portName(), rig.portPath);
}

void TestSerialTransport::chosenPortIsTriedOncePerAttempt_data()
{
    QTest::addColumn<int>("listing");
    QTest::newRow("listed through the variable") << int(Rig::Listed);
    QTest::newRow("not listed by the system") << int(Rig::Unlisted);
    QTest::newRow("auto-connection") << int(Rig::AutoConnect);
}

void TestSerialTransport::chosenPortIsTriedOncePerAttempt()
{
    QFETCH(int, listing);
    Rig rig;
    QVERIFY(rig.start(Rig::Listing(listing)));
    // The link is up a moment before its line is logged.
    QTRY_COMPARE_WITH_TIMEOUT(rig.log.count("Connected to BMS on port " + rig.portPath), 1, 20000);
    QCOMPARE(rig.log.count("Trying to connect on port " + rig.portPath), 1);
}

void TestSerialTransport::entryWithoutPortOpensNothing()
{
    LogCapture log;
    Communicator comm;
    Y5ProtocolHandler handler(&comm);
    comm.setProtocolHandler(&handler);
    QSignalSpy states(&comm, &CommunicatorBase::sigStatusChanged);
    for (const QString& entry : {QString(), QString(" - USB Serial Port")}) {
        comm.selectPort(entry);
        states.clear();
        QVERIFY(!comm.connectToBms());
        QCOMPARE(states.size(), 1);
        QCOMPARE(states.at(0).at(0).toInt(), 0);
    }
    QVERIFY(log.lines().filter("Trying to connect").isEmpty());
}

void TestSerialTransport::portOfAnotherPartIsNeverOpened_data()
{
    QTest::addColumn<bool>("dongle");
    QTest::newRow("the BLE dongle") << true;
    QTest::newRow("held by the display unit") << false;
}

// Chosen by hand all the same: nothing is written to it until it is free.
void TestSerialTransport::portOfAnotherPartIsNeverOpened()
{
    QFETCH(bool, dongle);
    Rig rig;
    const QString path = rig.dir.filePath("ttyBMS0");
    HeldPort displayUnit(PortHolder::DisplayUnit);
    if (dongle)
        qputenv(kDonglePortVariable, path.toLocal8Bit());
    else
        displayUnit.hold(path);
    QVERIFY(rig.start(Rig::Unlisted));
    const QString refusal = dongle ? "Cannot open port " + path + ": it is the Bluetooth dongle"
                                   : "Cannot open port " + path + " Held by the display unit 16";
    // Refused again at the next attempt.
    QTRY_VERIFY_WITH_TIMEOUT(rig.log.count(refusal) >= 2, 20000);
    QVERIFY(rig.sim.received().isEmpty());
    QVERIFY(!rig.comm->linked);

    qunsetenv(kDonglePortVariable);
    displayUnit.release();
    QTRY_VERIFY_WITH_TIMEOUT(rig.comm->linked, 20000);
}

void TestSerialTransport::concurrentSendersNeverInterleave()
{
    Rig rig;
    QVERIFY(rig.start());
    QTRY_VERIFY_WITH_TIMEOUT(rig.comm->linked, 20000);
    constexpr int kThreads = 3, kEach = 1000;
    std::vector<std::thread> senders;
    for (int t = 0; t < kThreads; ++t)
        senders.emplace_back([&rig, t] {
            for (int i = 0; i < kEach; ++i)
                rig.handler.sendSentence("TS1,", QStringLiteral("%1,%2,payload-%3").arg(t).arg(i).arg(i * 7919), 0);
        });
    for (auto& s : senders)
        s.join();
    const auto countTs1 = [](const QList<ControlUnitSim::Received>& rec) {
        int n = 0;
        for (const auto& r : rec)
            n += r.raw.startsWith("TS1") ? 1 : 0;
        return n;
    };
    QVERIFY(rig.sim.waitUntil([&](const QList<ControlUnitSim::Received>& rec) { return countTs1(rec) >= kThreads * kEach; },
                              30000));
    QSet<QString> expected;
    for (int t = 0; t < kThreads; ++t)
        for (int i = 0; i < kEach; ++i)
            expected.insert(QStringLiteral("TS1,%1,%2,payload-%3").arg(t).arg(i).arg(i * 7919));
    QSet<QString> got;
    for (const auto& r : rig.sim.received()) {
        if (!r.raw.startsWith("TS1"))
            continue;
        QVERIFY2(r.good, r.raw.constData());
        got.insert(r.sentence);
    }
    QCOMPARE(got, expected);
}

void TestSerialTransport::probeIsAnsweredWithRawHash()
{
    Rig rig;
    QVERIFY(rig.start());
    QTRY_VERIFY_WITH_TIMEOUT(rig.comm->linked, 20000);
    rig.sim.sendProbe();
    QVERIFY(rig.sim.waitUntil([](const QList<ControlUnitSim::Received>& rec) {
        for (const auto& r : rec)
            if (r.probeAnswer)
                return true;
        return false;
    }, 3000));
    QCOMPARE(rig.sim.probeAnswerCount(), 1);
    QTRY_VERIFY(rig.log.lines().contains("x>#?<x"));
}

void TestSerialTransport::corruptedLineIsRejectedNotQueued()
{
    Rig rig;
    QVERIFY(rig.start());
    QTRY_VERIFY_WITH_TIMEOUT(rig.comm->linked, 20000);
    rig.sim.setSplitReplies(40); // each reply in two writes
    rig.sim.corruptNextReplies(1);
    rig.sim.reply("ST1,42");
    rig.sim.reply("ST1,43");
    const QString bad = "x>" + QString::fromLatin1(ControlUnitSim::frame("ST1,42", true).chopped(1)) + "<x";
    QTRY_VERIFY_WITH_TIMEOUT(rig.log.lines().contains("ST1,43"), 20000);
    QVERIFY(rig.log.lines().contains(bad));
    QStringList queued;
    QString s;
    while (rig.handler.getSentence(s))
        queued << s;
    QVERIFY(queued.contains("ST1,43"));
    for (const QString& q : queued)
        QVERIFY2(!q.startsWith("ST1,42"), qPrintable(q));
}

void TestSerialTransport::vanishedUnitIsRetriedEverySecond()
{
    Rig rig;
    QVERIFY(rig.start());
    QTRY_VERIFY_WITH_TIMEOUT(rig.comm->linked, 20000);
    rig.sim.vanish();
    QTRY_VERIFY_WITH_TIMEOUT(rig.log.count("Lost connection to BMS due to error receiving data") == 1, 20000);
    QVERIFY(!rig.comm->linked);

    // Attempts follow while the unit is away, about a second apart: three
    // gaps take well over two seconds, a flood would take milliseconds.
    const QString attempt = "Trying to connect on port " + rig.portPath;
    const int before = rig.log.count(attempt);
    QTRY_VERIFY_WITH_TIMEOUT(rig.log.count(attempt) - before >= 1, 20000);
    QElapsedTimer timer;
    timer.start();
    QTRY_VERIFY_WITH_TIMEOUT(rig.log.count(attempt) - before >= 4, 20000);
    QVERIFY2(timer.elapsed() >= 2000, qPrintable(QString::number(timer.elapsed())));
    QVERIFY(rig.log.lines().filter("Cannot open port " + rig.portPath).size() >= 3);
    QCOMPARE(rig.log.count("Lost connection to BMS due to error receiving data"), 1);

    rig.sim.clearReceived();
    QVERIFY(rig.sim.reappear());
    QTRY_VERIFY_WITH_TIMEOUT(rig.comm->linked, 20000);
    QVERIFY(rig.sim.waitForSentence("VR1,?", 20000));
    // The link is up a moment before its line is logged.
    QTRY_COMPARE_WITH_TIMEOUT(rig.log.count("Connected to BMS on port " + rig.portPath), 2, 20000);
}

void TestSerialTransport::closeFromAnotherThreadIsLeftToTheLoop()
{
    Rig rig;
    QVERIFY(rig.start());
    QTRY_VERIFY_WITH_TIMEOUT(rig.comm->linked, 20000);
    // Senders keep writing while another thread asks for the port to close.
    std::atomic<bool> sending{true};
    std::thread sender([&] {
        while (sending)
            rig.handler.sendSentence("TS1,", "x", 1);
    });
    rig.comm->close();
    QTRY_VERIFY_WITH_TIMEOUT(rig.log.count("Lost connection to BMS due to error receiving data") == 1, 20000);
    QTRY_VERIFY_WITH_TIMEOUT(rig.log.count("Connected to BMS on port " + rig.portPath) == 2, 20000);
    sending = false;
    sender.join();
}

// Received bytes wake the loop at once; the CAN jobs still get their turn
// no more often than every 30 ms.
void TestSerialTransport::canJobsKeepTheirCadenceWhileBytesStream()
{
    Rig rig;
    std::mutex m;
    std::vector<std::chrono::steady_clock::time_point> ticks;
    connect(rig.comm, &CommunicatorBase::sigCanProcess, this,
            [&] {
                std::lock_guard<std::mutex> lock(m);
                ticks.push_back(std::chrono::steady_clock::now());
            },
            Qt::DirectConnection);
    QVERIFY(rig.start());
    QTRY_VERIFY_WITH_TIMEOUT(rig.comm->linked, 20000);
    const int before = rig.handler.queuedSentenceCount();
    for (int i = 0; i < 100; ++i) {
        rig.sim.reply("ST1,1");
        QThread::msleep(2); // a steady stream of lines
    }
    QTRY_COMPARE_WITH_TIMEOUT(rig.handler.queuedSentenceCount(), before + 100, 20000);
    rig.stop();
    std::lock_guard<std::mutex> lock(m);
    QVERIFY(ticks.size() > 2);
    // At most one turn per 30 ms of the whole span (and one to spare for
    // the jitter of when each turn is noted), however many wake-ups there were.
    const auto span = std::chrono::duration_cast<std::chrono::milliseconds>(ticks.back() - ticks.front()).count();
    QVERIFY2(qint64(ticks.size()) - 1 <= span / 30 + 1,
             qPrintable(QString("%1 turns in %2 ms").arg(ticks.size()).arg(span)));
}

QTEST_GUILESS_MAIN(TestSerialTransport)
#include "tst_serialtransport.moc"
