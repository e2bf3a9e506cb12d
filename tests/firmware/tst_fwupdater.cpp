// The control unit's serial firmware update through the real transport and
// protocol handler, against the control-unit emulator and its bootloader on
// a pty.
#include "BootloaderSim.h"
#include "Log.h"
#include "SimLink.h"
#include "TestImages.h"
#include "Y5FwUpdater.h"

#include <QElapsedTimer>
#include <QMutex>
#include <QMutexLocker>
#include <QPointer>
#include <QRegularExpression>
#include <QTest>
#include <QThread>

#include <atomic>
#include <climits>

namespace {

struct Progress
{
    int value;
    int kind;
    QString text;
};

// The emulator and the real transport, the bootloader behind the emulator,
// the updater factory installed, and a record of progress and log.
struct UpdateRig : SimLink
{
    BootloaderSim boot{sim};
    QObject context; // dies before the records it writes into
    mutable QMutex mutex;
    QList<Progress> progress;
    QStringList logLines;

    UpdateRig()
    {
        setLogSink([this](const QString& text, int) {
            QMutexLocker lock(&mutex);
            logLines.append(text);
        });
        QObject::connect(
            comm, &CommunicatorBase::sigFirmwareUpdateProgress, &context,
            [this](int value, int kind, const QString& text) {
                QMutexLocker lock(&mutex);
                progress.append({value, kind, text});
            },
            Qt::DirectConnection);
        handler.setFirmwareUpdaterFactory(Y5FwUpdater::factory());
        // The boot-mode check gives the unit four short looks; an emulator
        // starved on a busy machine answers later than a real unit.
        Y5Timing t = handler.timing();
        t.bootPassWaitMs = 200;
        handler.setTiming(t);
    }
    ~UpdateRig()
    {
        // The bootloader's hook must not outlive the emulator's thread.
        SimLink::stop();
        setLogSink(nullptr);
    }
    QList<Progress> progressRecord() const
    {
        QMutexLocker lock(&mutex);
        return progress;
    }
    QStringList log() const
    {
        QMutexLocker lock(&mutex);
        return logLines;
    }
    bool startLinked(const QString& kind)
    {
        sim.setVersion(kind, "0001E240", "2.8.0");
        return start() && waitLinked(15000);
    }
    // Starts the update and waits until its thread has ended.
    bool runUpdate(const QByteArray& image, int timeoutMs = 30000)
    {
        handler.startFirmwareUpdate(image);
        QPointer<QThread> thread = handler.updaterThread();
        if (!thread)
            return false;
        QElapsedTimer t;
        t.start();
        while (thread && t.elapsed() < timeoutMs)
            QTest::qWait(20);
        return !thread;
    }
    int sentCount(const QString& prefix) const
    {
        int n = 0;
        for (const QString& s : sim.goodSentences())
            n += s.startsWith(prefix) ? 1 : 0;
        return n;
    }
};

// Firmware frames with bytes that flow control or a line reader would eat.
QList<QByteArray> firmwareFrames()
{
    return {QByteArray("\x11\x13\r\nVR1,?", 9), QByteArray(200, char(0x11)), QByteArray(), QByteArray("#?\x00\xFF", 4),
            QByteArray(37, 'A')};
}

QByteArray frameImage(const QList<QByteArray>& frames)
{
    QByteArray image;
    for (const QByteArray& f : frames)
        image += TestImages::frame(f);
    return image;
}

int lastValue(const QList<Progress>& p, int kind)
{
    for (int i = p.size() - 1; i >= 0; --i)
        if (p[i].kind == kind)
            return p[i].value;
    return INT_MIN;
}

std::atomic<int> g_runnerCalls{0};

} // namespace

class TestFwUpdater : public QObject
{
    Q_OBJECT
private slots:
    void init() { setSerialBootloaderRunner(nullptr); }
    void legacyImageWritten();
    void frameAnswers_data();
    void frameAnswers();
    void noBootloader();
    void damagedImageNotSent();
    void stopEndsTransfer();
    void transportOutlivesTheUpdater();
    void canopenPath_data();
    void canopenPath();
};

void TestFwUpdater::legacyImageWritten()
{
    UpdateRig rig;
    const QList<QByteArray> frames = firmwareFrames();
    const QByteArray image = frameImage(frames);
    rig.boot.setRestartAfterFrames(frames.size());
    QVERIFY(rig.startLinked("BMS2"));

    QVERIFY(rig.runUpdate(image));
    QVERIFY(!rig.handler.isFirmwareUpdating());
    // Every frame arrived whole, in order, once: the answers (0x11 is XON)
    // got through, so flow control was off.
    QCOMPARE(rig.boot.takenFrames().size(), frames.size());
    QCOMPARE(rig.boot.takenImage(), image);
    QCOMPARE(rig.boot.receivedFrameCount(), frames.size());

    // The update's own reports (the link start reports kind 2).
    QList<Progress> p;
    for (const Progress& r : rig.progressRecord())
        if (r.kind != 2)
            p.append(r);
    QVERIFY(!p.isEmpty());
    QCOMPARE(p.first().value, 0);
    QCOMPARE(p.first().kind, 1);
    QCOMPARE(p.last().value, 100);
    QCOMPARE(p.size(), frames.size() + 1);
    int previous = 0;
    for (int i = 0; i + 1 < p.size(); ++i) {
        QCOMPARE(p[i].kind, 1);
        QVERIFY(p[i].value >= previous && p[i].value < 100);
        previous = p[i].value;
    }
    const QStringList log = rig.log();
    QVERIFY(log.contains("Initiated software update"));
    QVERIFY(log.contains("Software update successfully complete"));
    QCOMPARE(log.filter(QRegularExpression("^Sending frame:")).size(), frames.size());

    // The unit restarted into its firmware; the transport finds it again.
    QTRY_VERIFY_WITH_TIMEOUT(rig.comm->linked && !rig.handler.isBootMode(), 20000);
}

void TestFwUpdater::frameAnswers_data()
{
    QTest::addColumn<QList<int>>("refusals"); // pairs: frame, times
    QTest::addColumn<int>("answerByte");
    QTest::addColumn<int>("silentFrom");
    QTest::addColumn<int>("result");
    QTest::addColumn<int>("framesReceived");
    QTest::addColumn<QString>("logLine");

    const int n = firmwareFrames().size();
    const QString crc = "Software update failed due to multiple CRC errors";
    const QString silent = "Software update failed as device is not responding";
    const QString ok = "Software update successfully complete";
    QTest::newRow("three refusals, then taken") << QList<int>{1, 3} << 0xEE << -1 << 100 << n + 3 << ok;
    QTest::newRow("three refusals on two frames") << QList<int>{0, 3, 3, 3} << 0x00 << -1 << 100 << n + 6 << ok;
    QTest::newRow("fourth refusal in a row") << QList<int>{1, 4} << 0xEE << -1 << -1 << 1 + 4 << crc;
    QTest::newRow("XOFF as the answer") << QList<int>{0, 4} << 0x13 << -1 << -1 << 4 << crc;
    QTest::newRow("silent after two frames") << QList<int>{} << 0 << 2 << -2 << 3 << silent;
}

void TestFwUpdater::frameAnswers()
{
    QFETCH(QList<int>, refusals);
    QFETCH(int, answerByte);
    QFETCH(int, silentFrom);
    QFETCH(int, result);
    QFETCH(int, framesReceived);
    QFETCH(QString, logLine);

    UpdateRig rig;
    for (int i = 0; i + 1 < refusals.size(); i += 2)
        rig.boot.refuseFrame(refusals[i], refusals[i + 1], char(answerByte));
    rig.boot.setSilentFrom(silentFrom);
    QVERIFY(rig.startLinked("BMS1"));
    const QByteArray image = frameImage(firmwareFrames());
    QElapsedTimer t;
    t.start();
    QVERIFY(rig.runUpdate(image));
    QCOMPARE(rig.boot.receivedFrameCount(), framesReceived);
    QCOMPARE(lastValue(rig.progressRecord(), 1), result);
    QVERIFY(rig.log().contains(logLine));
    QVERIFY(!rig.handler.isFirmwareUpdating());
    if (result == 100)
        QCOMPARE(rig.boot.takenImage(), image);
    if (silentFrom >= 0)
        QVERIFY2(t.elapsed() >= 150 * 15, "the answer is awaited 150 x 15 ms");
}

void TestFwUpdater::noBootloader()
{
    UpdateRig rig;
    rig.sim.setBootloaderEntry(false);
    QVERIFY(rig.startLinked("BMS2"));
    QVERIFY(rig.runUpdate(frameImage(firmwareFrames())));
    QCOMPARE(lastValue(rig.progressRecord(), 1), -2);
    QCOMPARE(rig.boot.takenFrames().size(), 0);
    QVERIFY(!rig.handler.isFirmwareUpdating());
}

void TestFwUpdater::damagedImageNotSent()
{
    UpdateRig rig;
    QVERIFY(rig.startLinked("BMS2"));
    // The last frame claims more bytes than the image holds.
    QByteArray image = frameImage(firmwareFrames());
    image.chop(3);
    QVERIFY(!Y5FwUpdater::isFrameImage(image));
    QVERIFY(Y5FwUpdater::isFrameImage(frameImage({"", "a"})));
    QVERIFY(!Y5FwUpdater::isFrameImage(QByteArray(1, 0)));
    QVERIFY(rig.runUpdate(image));
    QCOMPARE(lastValue(rig.progressRecord(), 1), -1);
    QVERIFY(rig.log().contains("Software update failed: the image is damaged"));
    // The unit was never reset into its bootloader.
    QCOMPARE(rig.sentCount("RS1"), 0);
    QCOMPARE(rig.boot.receivedFrameCount(), 0);
    QVERIFY(!rig.handler.isFirmwareUpdating());
}

void TestFwUpdater::stopEndsTransfer()
{
    UpdateRig rig;
    rig.boot.setSilentFrom(1);
    QVERIFY(rig.startLinked("BMS2"));
    rig.handler.startFirmwareUpdate(frameImage(firmwareFrames()));
    QPointer<QThread> thread = rig.handler.updaterThread();
    QVERIFY(thread);
    QVERIFY(rig.boot.waitReceivedFrames(2, 15000));
    rig.comm->requestStop();
    // The wait for the answer ends at once, and the page is told.
    QTRY_VERIFY_WITH_TIMEOUT(thread.isNull(), 10000);
    QCOMPARE(lastValue(rig.progressRecord(), 1), -2);
    QVERIFY(!rig.log().contains("Software update failed as device is not responding"));
    QVERIFY(!rig.handler.isFirmwareUpdating());
}

// Whoever stops the transport's loop may delete the transport next (a
// transport change, the window going): by then no updater may use it. The
// "BMS3" download gives up only within its transfer's time-out.
void TestFwUpdater::transportOutlivesTheUpdater()
{
    UpdateRig rig;
    std::atomic<bool> inDownload{false};
    setSerialBootloaderRunner([&inDownload](Communicator* transport, const QByteArray&) {
        inDownload = true;
        while (!transport->isStopRequested())
            QThread::msleep(5);
        QThread::msleep(300);
        transport->setTimeout(50);
        return false;
    });
    QVERIFY(rig.startLinked("BMS3"));
    rig.handler.startFirmwareUpdate(frameImage(firmwareFrames()));
    QVERIFY(rig.handler.updaterThread());
    QTRY_VERIFY_WITH_TIMEOUT(inDownload, 15000);
    rig.SimLink::stop();
    QVERIFY(!rig.handler.updaterThread());
    QVERIFY(!rig.handler.isFirmwareUpdating());
    // The rig deletes the transport now; under the sanitizers nothing may
    // read it afterwards.
}

void TestFwUpdater::canopenPath_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("downloadResult");
    QTest::addColumn<int>("runnerCalls");
    QTest::addColumn<int>("result");

    QTest::newRow("BMS3, written") << "BMS3" << true << 1 << 100;
    QTest::newRow("BMS3, download failed") << "BMS3" << false << 1 << -2;
    QTest::newRow("BMS2 goes by frames") << "BMS2" << true << 0 << 100;
}

void TestFwUpdater::canopenPath()
{
    QFETCH(QString, kind);
    QFETCH(bool, downloadResult);
    QFETCH(int, runnerCalls);
    QFETCH(int, result);

    UpdateRig rig;
    const QByteArray image = frameImage(firmwareFrames());
    g_runnerCalls = 0;
    QByteArray handed;
    QString thread;
    QMutex handedMutex;
    setSerialBootloaderRunner([&](Communicator* transport, const QByteArray& bytes) {
        ++g_runnerCalls;
        QMutexLocker lock(&handedMutex);
        handed = bytes;
        thread = QThread::currentThread()->objectName();
        emit transport->sigFirmwareUpdateProgress(0, 0, "Flash status: write error");
        emit transport->sigFirmwareUpdateProgress(0, 0, "x"); // not a status line
        return downloadResult;
    });
    QVERIFY(rig.startLinked(kind));
    QVERIFY(rig.runUpdate(image));
    setSerialBootloaderRunner(nullptr);
    QCOMPARE(g_runnerCalls.load(), runnerCalls);
    const QList<Progress> p = rig.progressRecord();
    QCOMPARE(lastValue(p, 1), result);
    QVERIFY(!rig.handler.isFirmwareUpdating());
    if (runnerCalls == 0)
        return;
    QCOMPARE(handed, image);
    QCOMPARE(thread, QString("Y5 FW Updater Thread"));
    if (result == 100) {
        QVERIFY(rig.log().contains("Software update successfully complete"));
        return;
    }
    // The failure code lets the page offer the update again; the download's
    // own reason is shown last.
    QVERIFY(rig.log().contains("Software update failed"));
    QCOMPARE(p.last().kind, 0);
    QCOMPARE(p.last().text, QString("Flash status: write error"));
}

QTEST_GUILESS_MAIN(TestFwUpdater)
#include "tst_fwupdater.moc"
