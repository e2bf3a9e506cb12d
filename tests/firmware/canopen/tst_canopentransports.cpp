#include "CANopenInterface.h"
#include "Communicator.h"
#include "SdoServerSim.h"
#include "SimLink.h"

#include <QTest>

#include <atomic>
#include <cstring>
#include <thread>

namespace {
QByteArray pattern(int n)
{
    QByteArray b;
    for (int i = 0; i < n; ++i)
        b.append(char((i * 13 + 5) & 0xFF));
    return b;
}

CanFrame frame(quint32 id, std::initializer_list<quint8> bytes, int length = -1)
{
    CanFrame f;
    f.identifier = id;
    int i = 0;
    for (quint8 b : bytes)
        f.data[i++] = b;
    f.length = quint8(length < 0 ? i : length);
    return f;
}

// The serial transport on the emulator's pty, with the update thread's
// receive loop (poll) running beside the transfers.
struct SerialRig
{
    SdoServer server{1};
    SdoSerialSim sim{server};
    Communicator comm;
    std::unique_ptr<CANopenOverSerial> transport;
    std::atomic<bool> polling{true};
    std::thread poller;

    bool start()
    {
        if (!sim.start())
            return false;
        comm.setPortName(sim.portPath());
        if (!comm.open())
            return false;
        comm.configurePort();
        // Records carry 0x11 and 0x13: no XON/XOFF.
        comm.setFlowControl(SerialPort::NoFlowControl);
        comm.setTimeout(20);
        transport = std::make_unique<CANopenOverSerial>(&comm, 1, nullptr);
        poller = std::thread([this] {
            while (polling)
                transport->poll();
        });
        return true;
    }
    ~SerialRig()
    {
        polling = false;
        if (poller.joinable())
            poller.join();
        transport.reset();
        sim.stop();
    }
};

// Runs a blocking call in a worker thread while this thread keeps its event
// loop going (the sentence transport receives in the creating thread).
template <typename F>
bool runWorker(F f, int timeoutMs = 30000)
{
    std::atomic<bool> done{false};
    std::thread worker([&] {
        f();
        done = true;
    });
    QElapsedTimer t;
    t.start();
    while (!done && t.elapsed() < timeoutMs)
        QTest::qWait(10);
    worker.join();
    return done;
}
} // namespace

class TstCanopenTransports : public QObject
{
    Q_OBJECT
private slots:
    void crc16CheckValue();
    void recordCodec_data();
    void recordCodec();
    void recordWindowFindsOnlyGoodRecords();
    void sentenceText_data();
    void sentenceText();
    void sentenceParsing_data();
    void sentenceParsing();
    void serialTransfersOverPty();
    void serialSurvivesBadRecordsAndLostFrames();
    void sentenceTransfersThroughControlUnit();
    void sentenceWaiterTakesRouteFrames();
};

void TstCanopenTransports::crc16CheckValue()
{
    const QByteArray check("123456789");
    QCOMPARE(crc16Xmodem(reinterpret_cast<const quint8*>(check.constData()), 9), quint16(0x31C3));
    QCOMPARE(crc16Xmodem(nullptr, 0), quint16(0));
}

void TstCanopenTransports::recordCodec_data()
{
    QTest::addColumn<quint32>("id");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QByteArray>("record");
    QTest::newRow("clear request to node 1")
        << quint32(0x601) << QByteArray::fromHex("2F511F0103000000")
        << QByteArray::fromHex("0201462F511F0103000000427403");
    QTest::newRow("its response") << quint32(0x581) << QByteArray::fromHex("60511F0100000000")
                                  << QByteArray::fromHex("02814560511F0100000000FC0903");
}

void TstCanopenTransports::recordCodec()
{
    QFETCH(quint32, id);
    QFETCH(QByteArray, data);
    QFETCH(QByteArray, record);
    CanFrame f;
    f.identifier = id;
    f.length = quint8(data.size());
    std::memcpy(f.data, data.constData(), size_t(data.size()));
    QCOMPARE(CANopenOverSerial::encodeRecord(f).toHex(), record.toHex());
    // The emulator's own CRC routine agrees.
    SdoServer::Frame sf;
    sf.id = id;
    sf.length = f.length;
    std::memcpy(sf.data, f.data, 8);
    QCOMPARE(SdoSerialSim::record(sf).toHex(), record.toHex());
    CanFrame back;
    QVERIFY(CANopenOverSerial::decodeRecord(reinterpret_cast<const quint8*>(record.constData()), &back));
    QCOMPARE(back.identifier, id);
    QCOMPARE(int(back.length), 8);
    // A length above 8 makes no record.
    f.length = 9;
    QVERIFY(CANopenOverSerial::encodeRecord(f).isEmpty());
}

void TstCanopenTransports::recordWindowFindsOnlyGoodRecords()
{
    CANopenOverSerial transport(nullptr, 1, nullptr);
    const QByteArray good = CANopenOverSerial::encodeRecord(frame(0x5F8, {0x43, 0x57, 0x1F, 1, 2, 0, 0, 0}));
    QByteArray flipped = good;
    flipped[5] = char(flipped[5] ^ 0x04);
    auto feed = [&](const QByteArray& b) {
        for (char c : b)
            transport.feedByte(quint8(c));
    };
    CanFrame got;
    std::thread sender([&] {
        QThread::msleep(100);
        feed(flipped);                            // CRC fails: ignored
        feed(QByteArray::fromHex("0203FF0302")); // garbage, STX and ETX among it
        feed(good);
    });
    transport.waitForFrame(&got);
    sender.join();
    QCOMPARE(got.identifier, quint32(0x5F8));
    QCOMPARE(int(got.data[4]), 2);

    // A record whose length field says more than 8 is not a frame.
    QByteArray tooLong = good;
    tooLong[2] = char((9 << 3) | 5);
    const quint16 crc = crc16Xmodem(reinterpret_cast<const quint8*>(tooLong.constData()) + 1, 10);
    tooLong[11] = char(crc & 0xFF);
    tooLong[12] = char(crc >> 8);
    CanFrame none;
    QVERIFY(!CANopenOverSerial::decodeRecord(reinterpret_cast<const quint8*>(tooLong.constData()), &none));
}

void TstCanopenTransports::sentenceText_data()
{
    QTest::addColumn<quint32>("id");
    QTest::addColumn<bool>("extended");
    QTest::addColumn<int>("length");
    QTest::addColumn<QString>("text");
    QTest::newRow("SDO request to node 120") << quint32(0x678) << true << 8
                                             << "00000678,1,0,8,2F511F0103000000";
    QTest::newRow("standard id masked") << quint32(0x1678) << false << 2 << "00000678,0,0,2,2F51";
    QTest::newRow("extended id unmasked") << quint32(0xFFFFFFFF) << true << 0 << "FFFFFFFF,1,0,0,";
    QTest::newRow("length 9 sends nothing") << quint32(0x678) << true << 9 << "";
}

void TstCanopenTransports::sentenceText()
{
    QFETCH(quint32, id);
    QFETCH(bool, extended);
    QFETCH(int, length);
    QFETCH(QString, text);
    CanFrame f = frame(id, {0x2F, 0x51, 0x1F, 0x01, 0x03, 0, 0, 0}, length);
    QCOMPARE(CANopenOverSentences::sentenceParameters(f, extended), text);
}

void TstCanopenTransports::sentenceParsing_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<quint32>("id");
    QTest::addColumn<QByteArray>("data");
    QTest::newRow("SDO response") << "CN1,000005F8,0,0,8,60511F0100000000" << true << quint32(0x5F8)
                                  << QByteArray::fromHex("60511F0100000000");
    QTest::newRow("route reply") << "CN1,1FFFFEE6,1,0,6,09F600FF00FF" << true << quint32(0x1FFFFEE6)
                                 << QByteArray::fromHex("09F600FF00FF0000");
    QTest::newRow("no data") << "CN1,00000514,0,0,0," << true << quint32(0x514) << QByteArray(8, '\0');
    QTest::newRow("five fields") << "CN1,000005F8,0,0,8" << false << quint32(0) << QByteArray();
    QTest::newRow("other sentence") << "CF2,0010,05,0,0,0" << false << quint32(0) << QByteArray();
    QTest::newRow("bad id") << "CN1,XYZ,0,0,1,00" << false << quint32(0) << QByteArray();
    QTest::newRow("length 9") << "CN1,000005F8,0,0,9,60511F0100000000" << false << quint32(0) << QByteArray();
    QTest::newRow("odd digits") << "CN1,000005F8,0,0,2,605" << false << quint32(0) << QByteArray();
    QTest::newRow("too much data") << "CN1,000005F8,0,0,8,60511F010000000000" << false << quint32(0)
                                   << QByteArray();
    QTest::newRow("bad hex") << "CN1,000005F8,0,0,1,G0" << false << quint32(0) << QByteArray();
}

void TstCanopenTransports::sentenceParsing()
{
    QFETCH(QString, line);
    QFETCH(bool, ok);
    QFETCH(quint32, id);
    QFETCH(QByteArray, data);
    CanFrame f;
    QCOMPARE(CANopenOverSentences::parseSentence(line, &f), ok);
    if (ok) {
        QCOMPARE(f.identifier, id);
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(f.data), 8).toHex(), data.toHex());
    }
}

void TstCanopenTransports::serialTransfersOverPty()
{
    SerialRig rig;
    QVERIFY(rig.start());
    const QByteArray image = pattern(3000);
    QCOMPARE(rig.transport->download(0x1F51, 1, QByteArray(1, 3), 7000), int(CO::Done));
    QCOMPARE(rig.transport->download(0x1F50, 1, image, 2000), int(CO::Done));
    QCOMPARE(rig.server.programData(), image);
    int status = -1;
    QCOMPARE(rig.transport->upload(0x1F57, 1, 3000, &status).toHex(), QByteArray("00000000"));
    QCOMPARE(status, int(CO::Done));
    // The first request went out as its record.
    const SdoServer::Frame first = rig.server.requests().first();
    QCOMPARE(first.id, quint32(0x601));
    QCOMPARE(first.bytes().toHex(), QByteArray("2f511f0103000000"));
    // A frame longer than 8 bytes goes nowhere.
    const int before = rig.server.requests().size();
    rig.transport->sendFrame(frame(0x601, {0x40, 0x57, 0x1F, 1}, 9), false);
    rig.transport->sendFrame(frame(0x601, {0x40, 0x57, 0x1F, 1, 0, 0, 0, 0}), false);
    QVERIFY(rig.server.waitForRequests(before + 1, 5000));
    QTest::qWait(100);
    QCOMPARE(rig.server.requests().size(), before + 1);
}

void TstCanopenTransports::serialSurvivesBadRecordsAndLostFrames()
{
    SerialRig rig;
    QVERIFY(rig.start());
    rig.server.setObject(0x2000, 0, QByteArray::fromHex("11131102"));
    // Stray bytes before a record do not hide it.
    rig.sim.garbageBeforeNext(3);
    int status = -1;
    QCOMPARE(rig.transport->upload(0x2000, 0, 3000, &status).toHex(), QByteArray("11131102"));
    QCOMPARE(status, int(CO::Done));
    // A response with a wrong CRC is ignored: the transfer times out.
    rig.sim.corruptNextCrcs(1);
    rig.transport->upload(0x2000, 0, 500, &status);
    QCOMPARE(status, int(CO::TimedOut));
    // So does one that is lost.
    rig.server.dropNextResponses(1);
    QCOMPARE(rig.transport->download(0x1F51, 1, QByteArray(1, 3), 500), int(CO::TimedOut));
    // And the link works again after both.
    QCOMPARE(rig.transport->download(0x1F51, 1, QByteArray(1, 3), 3000), int(CO::Done));
}

void TstCanopenTransports::sentenceTransfersThroughControlUnit()
{
    SimLink link;
    SdoServer server(120);
    SdoBusSim bus(link.sim, server, 0x21, 0x00012345);
    bus.setInBootloader(true);
    QVERIFY(link.start());
    QVERIFY(link.waitLinked());
    CANopenOverSentences transport(link.comm, 120, nullptr);
    // The transport's own slot takes the queued lines and with them the
    // configuration-mode reply.
    QVERIFY(link.handler.setConfigModeIfConnected(true));

    const QByteArray image = pattern(400);
    int result = -1;
    QVERIFY(runWorker([&] { result = transport.download(0x1F50, 1, image, 2000); }));
    QCOMPARE(result, int(CO::Done));
    QCOMPARE(server.programData(), image);

    int status = -1;
    QByteArray value;
    server.setObject(0x1F57, 1, QByteArray::fromHex("8200"));
    QVERIFY(runWorker([&] { value = transport.upload(0x1F57, 1, 3000, &status); }));
    QCOMPARE(status, int(CO::Done));
    QCOMPARE(value.toHex(), QByteArray("8200"));

    // Requests go out as "CN1" sentences with the extended flag.
    QVERIFY(link.sim.goodSentences().contains(QStringLiteral("CN1,00000678,1,0,8,C2501F0190010000")));
    QVERIFY(link.sim.goodSentences().contains(QStringLiteral("CN1,00000678,1,0,8,40571F0100000000")));
    // A length of 9 sends nothing.
    const int sentBefore = link.sim.goodSentences().size();
    transport.sendFrame(frame(0x678, {1, 2, 3}, 9), true);
    QTest::qWait(200);
    QCOMPARE(link.sim.goodSentences().size(), sentBefore);
}

void TstCanopenTransports::sentenceWaiterTakesRouteFrames()
{
    SimLink link;
    SdoServer server(120);
    SdoBusSim bus(link.sim, server, 0x21, 0x00012345);
    QVERIFY(link.start());
    QVERIFY(link.waitLinked());
    CANopenOverSentences transport(link.comm, 120, nullptr);
    QVERIFY(link.handler.setConfigModeIfConnected(true));

    // An extended frame with no waiter armed is dropped...
    bus.injectFrame(0x1FFFFEE6, true, QByteArray::fromHex("09F600FF00FF"));
    QTRY_VERIFY_WITH_TIMEOUT(link.handler.queuedSentenceCount() == 0
                                 && link.sim.received().size() > 0, 5000);
    QTest::qWait(300);
    CanFrame missed;
    QVERIFY(runWorker([&] { transport.waitForFrame(&missed); }));
    QCOMPARE(missed.identifier, quint32(0));

    // ...and reaches an armed one: the route check of the device.
    CanFrame got;
    const CanFrame check = frame(0x1FFFFEE5, {0x09, 0xF6, 0x21, 0x00, 0x45, 0x23, 0x01, 0x00});
    QVERIFY(runWorker([&] { transport.sendAndWaitForFrame(check, true, &got); }));
    QCOMPARE(got.identifier, quint32(0x1FFFFEE6));
    QCOMPARE(QByteArray(reinterpret_cast<const char*>(got.data), 6).toHex(), QByteArray("09f615000000"));
    QVERIFY(link.sim.goodSentences().contains(QStringLiteral("CN1,1FFFFEE5,1,0,8,09F6210045230100")));
}

QTEST_MAIN(TstCanopenTransports)
#include "tst_canopentransports.moc"
