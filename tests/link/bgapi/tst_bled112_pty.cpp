// The dongle driver over a real serial port against the dongle emulator on a
// pseudo-terminal: scan, pairing, and bytes both ways through the module.

#include "BgapiTestKit.h"
#include "BleDongleEmulator.h"
#include "ControlUnitSim.h"
#include "SerialPort.h"

#include <QElapsedTimer>
#include <QTest>

#include <functional>

namespace {

// The driver on the emulator's port; bytes read from the port go to the
// driver's input in this thread, as the transport will do.
class PtyRig
{
public:
    // With a peer path the module's data goes to that serial device.
    explicit PtyRig(const BleDongleEmulator::Options& options = {}, const QString& peerPath = QString())
        : dongle(options)
    {
        if (!peerPath.isEmpty())
            QVERIFY(dongle.bridgeToPort(peerPath));
        QVERIFY(dongle.start());
        port.setPortName(dongle.portPath());
        QVERIFY(port.open());
        port.setTimeout(5);
        rig.reset(new DriverRig([this](const uint8_t* bytes, size_t n) {
            port.write(reinterpret_cast<const char*>(bytes), qint64(n));
        }));
    }
    ~PtyRig()
    {
        rig.reset();
        dongle.stop();
    }

    bool pumpUntil(const std::function<bool()>& done, int timeoutMs = 3000)
    {
        QElapsedTimer t;
        t.start();
        char buffer[512];
        while (!done()) {
            if (t.elapsed() > timeoutMs)
                return false;
            const qint64 n = port.read(buffer, sizeof buffer);
            if (n > 0)
                rig->feed(QByteArray(buffer, int(n)));
        }
        return true;
    }
    bool waitEvent(int kind, int timeoutMs = 3000)
    {
        const int seen = rig->events.size();
        return pumpUntil([&] {
            for (int i = seen; i < rig->events.size(); ++i)
                if (rig->events[i].kind == kind)
                    return true;
            return false;
        }, timeoutMs);
    }

    // Scans until the module is found and returns its index.
    int scan()
    {
        if (!pumpUntil([] { return !BLED112_isOpening(); }))
            return -1;
        if (BLED112_startScan() != BLED_OK || !waitEvent(BLED112_DEVICE_FOUND))
            return -1;
        // The name comes in the scan response packet; wait until it is known.
        pumpUntil([&] { return rig->last(BLED112_DEVICE_FOUND)->name == "BMS Module"; }, 1000);
        BLED112_stopScan();
        return rig->last(BLED112_DEVICE_FOUND)->index;
    }

    // Scans, connects and pairs; true once the module is ready.
    bool pair()
    {
        const int index = scan();
        return index > 0 && BLED112_connect(index) == BLED_OK && waitEvent(BLED112_PASSKEY_REQUESTED)
            && BLED112_enterPasskey("123456") == BLED_OK && waitEvent(BLED112_CONNECTED);
    }

    QByteArray received() const
    {
        QByteArray bytes;
        for (const UserEvent& e : rig->events)
            if (e.kind == BLED112_DATA_RECEIVED)
                bytes += e.data;
        return bytes;
    }

    BleDongleEmulator dongle;
    SerialPort port;
    QScopedPointer<DriverRig> rig;
};

QList<int> writeChunks(const BleDongleEmulator& dongle, int handle)
{
    QList<int> sizes;
    for (const BleDongleEmulator::Command& c : dongle.commands())
        if (c.cls == 4 && c.id == 6 && (uchar(c.payload[1]) | uchar(c.payload[2]) << 8) == handle)
            sizes.append(uchar(c.payload[3]));
    return sizes;
}

} // namespace

class TestBled112Pty : public QObject
{
    Q_OBJECT

private slots:
    void scanPairAndCarry()
    {
        // The sink runs in the emulator's thread (and outlives nothing here).
        QMutex peerMutex;
        QByteArray atPeer;
        PtyRig pty;
        pty.dongle.setPeerSink([&](const QByteArray& b) {
            QMutexLocker lock(&peerMutex);
            atPeer += b;
        });
        auto peerBytes = [&] {
            QMutexLocker lock(&peerMutex);
            return atPeer;
        };

        const int index = pty.scan();
        QVERIFY(index > 0);
        QCOMPARE(pty.rig->last(BLED112_DEVICE_FOUND)->name, QByteArray("BMS Module"));
        QCOMPARE(pty.rig->last(BLED112_DEVICE_FOUND)->value, quint32(0x00010203));

        QCOMPARE(BLED112_connect(index), int(BLED_OK));
        QVERIFY(pty.waitEvent(BLED112_PASSKEY_REQUESTED));
        QCOMPARE(BLED112_enterPasskey("123456"), int(BLED_OK));
        QVERIFY(pty.waitEvent(BLED112_CONNECTED));
        QVERIFY(pty.dongle.isPaired());
        QCOMPARE(pty.rig->last(BLED112_CONNECTED)->statusWord, quint32(1));
        char digits[6];
        QCOMPARE(BLED112_getPasskey(digits), int(BLED_OK));
        QCOMPARE(QByteArray(digits, 6), QByteArray("123456"));

        // A sentence goes out in chunks of 20 and arrives whole at the peer.
        const QByteArray sentence = "CF2,0010,0000000A,EE\rVR1,?,4A\rCF2,0011,?,17\r";
        QCOMPARE(BLED112_write(reinterpret_cast<const uint8_t*>(sentence.constData()), sentence.size()), int(BLED_OK));
        QVERIFY(QTest::qWaitFor([&] { return writeChunks(pty.dongle, BleDongleEmulator::DataValue).size() == 3; }, 3000));
        QCOMPARE(writeChunks(pty.dongle, BleDongleEmulator::DataValue), (QList<int>{20, 20, 4}));
        QVERIFY(QTest::qWaitFor([&] { return peerBytes() == sentence; }, 3000));

        // The peer's answer comes back as notifications.
        const QByteArray reply = "VR1,BMS1,0000002A,2.11.0,5C\r";
        pty.dongle.sendFromPeer(reply);
        QVERIFY(pty.pumpUntil([&] { return pty.received() == reply; }));

        // A module command reaches the command characteristic.
        QCOMPARE(BLED112_setName(reinterpret_cast<const uint8_t*>("Pack 7"), 6), int(BLED_OK));
        QVERIFY(QTest::qWaitFor([&] { return pty.dongle.moduleCommands() == QList<QByteArray>{"Pack 7"}; }, 3000));

        QCOMPARE(BLED112_disconnect(), int(BLED_OK));
        QVERIFY(pty.waitEvent(BLED112_DISCONNECTED));
        QVERIFY(!pty.dongle.isConnected());
    }

    // The module bridged to the control-unit emulator's port: sentences
    // written through the driver arrive at the unit, its answer comes back.
    void sentencesReachControlUnit()
    {
        ControlUnitSim unit;
        QVERIFY(unit.start());
        PtyRig pty(BleDongleEmulator::Options(), unit.portPath());
        QVERIFY(pty.pair());
        const QByteArray sentences = ControlUnitSim::frame("CF2,0010,?") + ControlUnitSim::frame("VR1,?");
        QVERIFY(sentences.size() > 20);
        QCOMPARE(BLED112_write(reinterpret_cast<const uint8_t*>(sentences.constData()), sentences.size()), int(BLED_OK));
        QVERIFY(unit.waitForSentence("VR1,?", 3000));
        QCOMPARE(unit.goodSentences(), (QList<QString>{"CF2,0010,?", "VR1,?"}));

        const QByteArray reply = ControlUnitSim::frame(unit.versionReply());
        QVERIFY(pty.pumpUntil([&] { return pty.received() == reply; }));
        unit.stop();
    }

    // A wrong passkey ends the connection; the next attempt pairs.
    void wrongPasskeyThenRight()
    {
        PtyRig pty;
        const int index = pty.scan();
        QVERIFY(index > 0);
        QCOMPARE(BLED112_connect(index), int(BLED_OK));
        QVERIFY(pty.waitEvent(BLED112_PASSKEY_REQUESTED));
        QCOMPARE(BLED112_enterPasskey("654321"), int(BLED_OK));
        QVERIFY(pty.waitEvent(BLED112_DISCONNECTED));
        QVERIFY(pty.rig->last(BLED112_INCORRECT_PASSKEY));
        QVERIFY(!pty.dongle.isConnected());

        QCOMPARE(BLED112_connect(index), int(BLED_OK));
        QVERIFY(pty.waitEvent(BLED112_PASSKEY_REQUESTED));
        QCOMPARE(BLED112_enterPasskey("123456"), int(BLED_OK));
        QVERIFY(pty.waitEvent(BLED112_CONNECTED));
    }

    // Leftover connections are ended at open; a bond the module forgot is
    // dropped and pairing runs again.
    void leftoversAndStaleBond()
    {
        BleDongleEmulator::Options options;
        options.leftoverConnections = 2;
        options.staleBond = true;
        PtyRig pty(options);
        const int index = pty.scan();
        QVERIFY(index > 0);
        int disconnects = 0;
        for (const BleDongleEmulator::Command& c : pty.dongle.commands())
            disconnects += c.cls == 3 && c.id == 0;
        QCOMPARE(disconnects, 2);

        QCOMPARE(BLED112_connect(index), int(BLED_OK));
        QVERIFY(pty.waitEvent(BLED112_PASSKEY_REQUESTED));
        QCOMPARE(BLED112_enterPasskey("123456"), int(BLED_OK));
        QVERIFY(pty.waitEvent(BLED112_CONNECTED));
        bool deleted = false;
        for (const BleDongleEmulator::Command& c : pty.dongle.commands())
            deleted |= c.cls == 5 && c.id == 2;
        QVERIFY(deleted);
        QVERIFY(!pty.rig->last(BLED112_ERROR));
    }
};

QTEST_GUILESS_MAIN(TestBled112Pty)
#include "tst_bled112_pty.moc"
