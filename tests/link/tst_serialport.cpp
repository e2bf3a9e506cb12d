#include "HeldPorts.h"
#include "Pty.h"
#include "SerialPort.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTest>

#include <cerrno>

namespace {

// Waits until the port has read `marker`: every byte sent before it has then
// passed the line discipline (an XOFF among them has stopped the output).
bool readUntil(SerialPort& port, const QByteArray& marker)
{
    QByteArray got;
    char buf[64];
    for (int i = 0; i < 200 && !got.contains(marker); ++i) {
        const qint64 n = port.read(buf, sizeof buf, 100);
        if (n < 0)
            return false;
        got.append(buf, int(n));
    }
    return got.contains(marker);
}

QByteArray readFromPty(Pty& pty, int size)
{
    QByteArray got;
    for (int i = 0; i < 100 && got.size() < size; ++i)
        got += pty.read(100);
    return got;
}

} // namespace

class TstSerialPort : public QObject
{
    Q_OBJECT

private slots:
    void roundTripThroughPty()
    {
        QTemporaryDir dir;
        Pty pty;
        QVERIFY(pty.open(dir.filePath("ttyTest0")));

        SerialPort port;
        port.setPortName(pty.portPath());
        QVERIFY2(port.open(), qPrintable(port.errorString()));
        QVERIFY(port.setBaudRate(57600));
        QVERIFY(port.setFlowControl(SerialPort::XonXoff));

        const QByteArray out = "VR1,?,D7\r";
        QCOMPARE(port.write(out.constData(), out.size()), qint64(out.size()));
        QVERIFY(port.flush());
        QByteArray got;
        for (int i = 0; i < 20 && got.size() < out.size(); ++i)
            got += pty.read(100);
        QCOMPARE(got, out);

        // Bytes with the high bit set and CR/LF pass unchanged in raw mode.
        const QByteArray in("VR1,BMS2\r\n\xE9\x80", 12);
        QVERIFY(pty.write(in));
        port.setTimeout(500);
        QByteArray back;
        char buf[64];
        for (int i = 0; i < 20 && back.size() < in.size(); ++i) {
            qint64 n = port.read(buf, sizeof buf);
            QVERIFY(n >= 0);
            back.append(buf, int(n));
        }
        QCOMPARE(back, in);
    }

    void readTimesOutThenFailsWhenThePortVanishes()
    {
        Pty pty;
        QVERIFY(pty.open());
        SerialPort port;
        port.setPortName(pty.portPath());
        QVERIFY(port.open());
        port.setTimeout(100);
        char buf[16];
        QElapsedTimer t;
        t.start();
        QCOMPARE(port.read(buf, sizeof buf), qint64(0));
        QVERIFY(t.elapsed() >= 90);

        pty.write("abc");
        pty.vanish();
        // What was sent before the unplug may still arrive; then the read fails.
        qint64 n = 0;
        for (int i = 0; i < 5 && n >= 0; ++i)
            n = port.read(buf, sizeof buf);
        QCOMPARE(n, qint64(-1));
        QVERIFY(port.errorNumber() != 0);
        QVERIFY(!port.errorString().isEmpty());
    }

    void openFailsWithAReason()
    {
        SerialPort port;
        port.setPortName("/nonexistent/ttyNothing");
        QVERIFY(!port.open());
        QVERIFY(!port.isOpen());
        QCOMPARE(port.errorNumber(), ENOENT);

        // A regular file is not a serial port.
        QTemporaryFile f;
        QVERIFY(f.open());
        port.setPortName(f.fileName());
        QVERIFY(!port.open());
        QCOMPARE(port.errorNumber(), ENOTTY);

        char c;
        QCOMPARE(port.read(&c, 1), qint64(-1));
        QCOMPARE(port.write("x", 1), qint64(-1));
    }

    void readAllTakesWhatIsPendingWithoutWaiting()
    {
        Pty pty;
        QVERIFY(pty.open());
        SerialPort port;
        port.setPortName(pty.portPath());
        QVERIFY(port.open());
        // A read that waited would wait this long: the test would hang.
        port.setTimeout(600000);
        QVERIFY(pty.write("pending bytes"));
        QByteArray got;
        QTRY_COMPARE_WITH_TIMEOUT(got += port.readAll(), QByteArray("pending bytes"), 20000);
        QCOMPARE(port.readAll(), QByteArray());
    }

    // An XOFF from the other end stops the output; the stop ends with the
    // session (reopened, configured again) or after a write found no room
    // for the stall limit, which then reports ETIMEDOUT. No XON ever comes.
    void stoppedOutputIsResumed_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("reopened") << "reopen";
        QTest::newRow("flow control set again") << "configure";
        QTest::newRow("resumed, pending output dropped") << "resume";
        QTest::newRow("a write timed out") << "write";
    }
    void stoppedOutputIsResumed()
    {
        QFETCH(QString, how);
        Pty pty;
        QVERIFY(pty.open());
        SerialPort port;
        port.setPortName(pty.portPath());
        QVERIFY(port.setFlowControl(SerialPort::XonXoff));
        QVERIFY(port.open());
        QVERIFY(pty.write(QByteArray("\x13") + "mark"));
        QVERIFY(readUntil(port, "mark"));

        if (how == "reopen") {
            port.close();
            QVERIFY(port.open());
        } else if (how == "configure") {
            QVERIFY(port.setFlowControl(SerialPort::XonXoff));
        } else if (how == "resume") {
            QVERIFY(port.resumeOutput(true));
        } else {
            QElapsedTimer t;
            t.start();
            QCOMPARE(port.write("lost", 4), qint64(-1));
            QCOMPARE(port.errorNumber(), ETIMEDOUT);
            QVERIFY(t.elapsed() >= SerialPort::kWriteStallMs - 100);
            // The stalled bytes never went out.
            QCOMPARE(pty.read(0), QByteArray());
        }
        QCOMPARE(port.write("VR1,?,D7\r", 9), qint64(9));
        QCOMPARE(readFromPty(pty, 9), QByteArray("VR1,?,D7\r"));
    }

    void portHeldByAnotherPartIsNotOpened()
    {
        Pty pty;
        QVERIFY(pty.open());
        HeldPort displayUnit(PortHolder::DisplayUnit);
        displayUnit.hold(pty.portPath());
        SerialPort port;
        port.setPortName(pty.portPath());
        QVERIFY(!port.open());
        QCOMPARE(port.errorNumber(), EBUSY);
        QCOMPARE(port.errorString(), QString("Held by the display unit"));
        // Its own part's hold does not keep it out.
        SerialPort sameHolder(PortHolder::DisplayUnit);
        sameHolder.setPortName(pty.portPath());
        QVERIFY(sameHolder.open());
        sameHolder.close();
        displayUnit.release();
        QVERIFY(port.open());
        // While open, the port is held for its part.
        QVERIFY(isSerialPortHeldByOther(pty.portPath(), PortHolder::DisplayUnit));
        port.close();
        QVERIFY(!isSerialPortHeld(pty.portPath()));
    }
};

QTEST_GUILESS_MAIN(TstSerialPort)
#include "tst_serialport.moc"
