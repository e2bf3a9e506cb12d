// The control unit's link keeps XON/XOFF: the unit may pause the program's
// output. An XOFF that no XON follows (line noise while the unit resets, a
// cable plugged in) must not leave the program mute: the link comes back and
// the program polls again. A real pause is waited out without a relink.
#include "LinkRig.h"

#include <QRandomGenerator>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <future>

namespace {

constexpr char kXoff = 0x13;
constexpr char kXon = 0x11;
constexpr int kTimeoutMs = 30000;

const QString kStallLine = QStringLiteral("Output on port %1 stayed stopped for 3 s: resumed it and dropped the unsent bytes");

// Random bytes holding one XOFF and never an XON.
QByteArray noiseWithXoff()
{
    QRandomGenerator rng(33);
    QByteArray out;
    for (int i = 0; i < 64; ++i) {
        char c = char(rng.bounded(256));
        if (c == kXon || c == kXoff)
            c = 'x';
        out.append(c);
    }
    out[40] = kXoff;
    return out;
}

int repliesTo(const QStringList& lines, const QString& prefix)
{
    int n = 0;
    for (const QString& l : lines)
        n += l.startsWith(prefix) ? 1 : 0;
    return n;
}

} // namespace

class TestOutputStop : public QObject
{
    Q_OBJECT
private slots:
    void xoffWithoutXonDoesNotMuteTheLink_data();
    void xoffWithoutXonDoesNotMuteTheLink();
    void pauseWithinASecondIsWaitedOut();
};

void TestOutputStop::xoffWithoutXonDoesNotMuteTheLink_data()
{
    QTest::addColumn<QByteArray>("noise");
    QTest::newRow("a lone XOFF") << QByteArray(1, kXoff);
    QTest::newRow("a burst of random bytes") << noiseWithXoff();
}

void TestOutputStop::xoffWithoutXonDoesNotMuteTheLink()
{
    QFETCH(QByteArray, noise);
    LinkRig rig;
    QVERIFY(rig.start(true));
    QTRY_COMPARE_WITH_TIMEOUT(rig.pump.linkStarts(), 1, kTimeoutMs);
    // The program polls the unit, as the status page does.
    QTimer poller;
    connect(&poller, &QTimer::timeout, this, [&] { rig.handler.sendSentence("PW1,", "?"); });
    poller.start(250);
    QTRY_VERIFY_WITH_TIMEOUT(repliesTo(rig.pump.lines, "PW1,") > 0, kTimeoutMs);

    // The noise amid the traffic, followed by a good line: once that line is
    // taken, the XOFF before it has stopped the output.
    rig.sim.sendRaw(noise + '\r' + ControlUnitSim::frame("DB1,noise"));
    QTRY_VERIFY_WITH_TIMEOUT(rig.pump.lines.contains("DB1,noise"), kTimeoutMs);

    // The stop is said, and after it the polls reach the unit and are answered.
    QTRY_COMPARE_WITH_TIMEOUT(rig.log.count(kStallLine.arg(rig.portPath)), 1, kTimeoutMs);
    rig.sim.clearReceived();
    rig.pump.lines.clear();
    QTRY_VERIFY_WITH_TIMEOUT(rig.sim.waitForSentence("PW1,?", 0), kTimeoutMs);
    QTRY_VERIFY_WITH_TIMEOUT(repliesTo(rig.pump.lines, "PW1,") > 0 && rig.comm->linked, kTimeoutMs);
    poller.stop();
}

void TestOutputStop::pauseWithinASecondIsWaitedOut()
{
    LinkRig rig;
    QVERIFY(rig.start(true));
    QTRY_COMPARE_WITH_TIMEOUT(rig.pump.linkStarts(), 1, kTimeoutMs);
    rig.sim.sendRaw(QByteArray(1, kXoff) + ControlUnitSim::frame("DB1,pause"));
    QTRY_VERIFY_WITH_TIMEOUT(rig.pump.lines.contains("DB1,pause"), kTimeoutMs);

    // A poll while the output is paused waits for the unit.
    rig.sim.clearReceived();
    auto poll = std::async(std::launch::async, [&] { return rig.handler.sendSentence("PW1,", "?"); });
    QTest::qWait(500);
    QVERIFY2(rig.sim.received().isEmpty(), "the output was not paused");
    const qint64 xonAt = rig.sim.elapsedMs();
    rig.sim.sendRaw(QByteArray(1, kXon));

    QVERIFY(poll.get());
    QVERIFY(rig.sim.waitForSentence("PW1,?", kTimeoutMs));
    for (const ControlUnitSim::Received& r : rig.sim.received())
        if (r.sentence == "PW1,?")
            QVERIFY(r.ms >= xonAt);
    QTRY_VERIFY_WITH_TIMEOUT(repliesTo(rig.pump.lines, "PW1,") > 0, kTimeoutMs);
    // Nothing was dropped and the session went on.
    QCOMPARE(rig.log.count(kStallLine.arg(rig.portPath)), 0);
    QCOMPARE(rig.pump.linkStarts(), 1);
    QVERIFY(rig.comm->linked);
}

QTEST_GUILESS_MAIN(TestOutputStop)
#include "tst_outputstop.moc"
