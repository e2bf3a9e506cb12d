// Protocol operations with their retries and waits, against the emulator
// through the real serial transport (and, for wire texts, a transport
// without port).
#include "Crc8.h"
#include "LinkRig.h"

#include <QSettings>
#include <QSignalSpy>
#include <QTest>

#include <atomic>

namespace {

// Answers the login dialog the way the configuration page does.
struct LoginAnswerer
{
    LoginAnswerer(LinkRig& rig, const QString& password) : rig(rig), password(password)
    {
        QObject::connect(&rig.handler, &Y5ProtocolHandler::sigLogin, &rig.pump, [this] {
            ++asked;
            this->rig.handler.sendPassword(this->password);
            this->rig.handler.loginAnswered = true;
        }, Qt::QueuedConnection);
    }
    LinkRig& rig;
    QString password;
    int asked = 0;
};

QList<qint64> sentTimes(const ControlUnitSim& sim, const QString& prefix)
{
    QList<qint64> out;
    for (const auto& r : sim.received())
        if (r.good && r.sentence.startsWith(prefix))
            out.append(r.ms);
    return out;
}

class FakeUpdater : public FirmwareUpdater
{
    Q_OBJECT
public:
    explicit FakeUpdater(Y5ProtocolHandler* h) : handler(h) {}
    Y5ProtocolHandler* handler;
    static std::atomic<int> runs;
    static QString threadName;
public slots:
    void T_UpdateFirmware() override
    {
        threadName = QThread::currentThread()->objectName();
        handler->updateRunning = true;
        QThread::msleep(300);
        handler->updateRunning = false;
        handler->updateStarting = false;
        ++runs;
        emit done();
    }
};
// Keeps when each write reached it.
struct TimedFeed : FeedTransport
{
    QElapsedTimer clock;
    QList<qint64> writtenAtNs;
    TimedFeed() { clock.start(); }
    qint64 write(const char* data, qint64 count) override
    {
        writtenAtNs.append(clock.nsecsElapsed());
        return FeedTransport::write(data, count);
    }
};

std::atomic<int> FakeUpdater::runs{0};
QString FakeUpdater::threadName;

} // namespace

class TestProtocolOps : public QObject
{
    Q_OBJECT
private slots:
    void init() { QSettings().clear(); }
    void sentenceTexts_data();
    void sentenceTexts();
    void queryRestsTheLine();
    void replyFlags_data();
    void replyFlags();
    void configModeConfirmed();
    void configModeNeverConfirmed();
    void canConfigModeWithChallenge();
    void canConfigModeAnswersLatestChallenge_data();
    void canConfigModeAnswersLatestChallenge();
    void parameterRoundTrip_data();
    void parameterRoundTrip();
    void authenticate_data();
    void authenticate();
    void loginWaitEndsOnStop();
    void restoreAfterUpdate_data();
    void restoreAfterUpdate();
    void firmwareUpdaterStart();
};

void TestProtocolOps::sentenceTexts_data()
{
    QTest::addColumn<int>("op");
    QTest::addColumn<int>("id");
    QTest::addColumn<uint>("value");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("result");
    QTest::addColumn<QString>("logged");

    // op 0: write, 1: read, 2: password
    QTest::newRow("one byte") << 0 << 0x0010 << 0x1Eu << "CF2,0010,1E,3E\r" << true << "";
    QTest::newRow("two bytes") << 0 << 0x0123 << 0x1Eu << "CF2,0123,001E" << true << "";
    QTest::newRow("four bytes") << 0 << 0x0210 << 5u << "CF2,0210,00000005" << true << "";
    QTest::newRow("four bytes, all set") << 0 << 0x0210 << 0xFFFFFFFFu << "CF2,0210,FFFFFFFF" << true << "";
    QTest::newRow("too wide for one byte") << 0 << 0x0010 << 0x1FFu << "" << false << "does not fit 1 byte";
    QTest::newRow("too wide for two bytes") << 0 << 0x0123 << 0x10000u << "" << false << "does not fit 2 byte";
    QTest::newRow("width code 3") << 0 << 0x0310 << 5u << "" << false << "its width code is 3";
    QTest::newRow("read") << 1 << 0x0010 << 0u << "CF2,0010,?,15\r" << true << "";
    QTest::newRow("read, hex digits upper case") << 1 << 0x02AB << 0u << "CF2,02AB,?," << true << "";
    QTest::newRow("password") << 2 << 0 << 0u << "PW1,2222," << true << "";
}

void TestProtocolOps::sentenceTexts()
{
    QFETCH(int, op);
    QFETCH(int, id);
    QFETCH(uint, value);
    QFETCH(QString, text);
    QFETCH(bool, result);
    QFETCH(QString, logged);
    LogCapture log;
    FeedTransport t;
    Y5ProtocolHandler h(&t);
    bool ok = true;
    if (op == 0)
        ok = h.sendParamValue(quint16(id), value);
    else if (op == 1)
        h.sendParamRequest(quint16(id));
    else
        ok = h.sendPassword("2222");
    QCOMPARE(ok, result);
    if (text.isEmpty()) {
        QVERIFY(t.written.isEmpty());
        QVERIFY2(!log.lines().filter(logged).isEmpty(), qPrintable(log.lines().join('|')));
    } else {
        QVERIFY2(t.written.startsWith(text.toLatin1()), t.written.constData());
    }

    // Passwords that would break the sentence are never sent.
    if (op == 2) {
        for (const QString& bad : {QString("a,b"), QString("a\rVR1,?"), QString("a\nb"), QString::fromUtf8("pä\u20ac")}) {
            t.written.clear();
            QVERIFY(!h.sendPassword(bad));
            QVERIFY(t.written.isEmpty());
        }
    }
}

void TestProtocolOps::queryRestsTheLine()
{
    // The unit has 3 ms of a quiet line before each query, counted from the
    // last bytes either way.
    constexpr qint64 kRestNs = 3000000;
    TimedFeed t;
    Y5ProtocolHandler h(&t);
    QObject::connect(&t, &CommunicatorBase::sigDataReceived, &h, &Y5ProtocolHandler::slotDataReceived,
                     Qt::DirectConnection);
    const qint64 fed = t.clock.nsecsElapsed();
    t.feed(ControlUnitSim::frame("CF2,0010,A5"));
    h.sendParamRequest(0x0011);
    QCOMPARE(t.writtenAtNs.size(), 1);
    QVERIFY(t.writtenAtNs[0] - fed >= kRestNs);
    h.sendParamRequest(0x0012);
    QCOMPARE(t.writtenAtNs.size(), 2);
    QVERIFY(t.writtenAtNs[1] - t.writtenAtNs[0] >= kRestNs);
    QVERIFY(t.written.contains("CF2,0011,?,") && t.written.contains("CF2,0012,?,"));
}

void TestProtocolOps::replyFlags_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<bool>("loginPending");
    QTest::addColumn<bool>("challengePending");
    QTest::addColumn<bool>("pendingAfter");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<int>("configMode"); // -1 unchanged (stays false)
    QTest::addColumn<QString>("challenge");
    QTest::addColumn<bool>("deviceAnswered");

    QTest::newRow("login level 2") << "PW1,2" << true << false << false << true << -1 << "" << false;
    QTest::newRow("login level 0") << "PW1,0" << true << false << false << false << -1 << "" << false;
    QTest::newRow("login letter") << "PW1,A" << true << false << false << false << -1 << "" << false;
    QTest::newRow("login reply not awaited") << "PW1,2" << false << false << false << false << -1 << "" << false;
    QTest::newRow("configuration mode on") << "CM1,01" << false << false << false << false << 1 << "" << false;
    QTest::newRow("configuration mode off") << "CM1,00" << false << false << false << false << 0 << "" << false;
    QTest::newRow("challenge") << "CM2,00,1234" << false << true << false << false << 0 << "1234" << false;
    QTest::newRow("challenge not awaited") << "CM2,00,1234" << false << false << false << false << 0 << "" << false;
    // A stray confirmation of an earlier response carries no challenge.
    QTest::newRow("confirmation while a challenge is awaited") << "CM2,01" << false << true << false << false << 1
                                                               << "" << false;
    QTest::newRow("banner") << "DB1,Kepo BMS firmware started" << false << false << false << false << -1 << ""
                            << true;
    QTest::newRow("version line") << "VR1,BMS2,0001E240,2.1.4.2" << false << false << false << false << -1 << ""
                                  << true;
}

void TestProtocolOps::replyFlags()
{
    QFETCH(QString, line);
    QFETCH(bool, loginPending);
    QFETCH(bool, challengePending);
    QFETCH(bool, pendingAfter);
    QFETCH(bool, accepted);
    QFETCH(int, configMode);
    QFETCH(QString, challenge);
    QFETCH(bool, deviceAnswered);
    FeedTransport t;
    Y5ProtocolHandler h(&t);
    h.pw1ReplyPending = loginPending;
    h.challengePending = challengePending;
    h.resetPending = true;
    if (configMode == 0)
        t.configModeActive = true;
    h.applyReplyFlags(line);
    QCOMPARE(bool(h.pw1ReplyPending), pendingAfter);
    QCOMPARE(bool(h.loginAccepted), accepted);
    QCOMPARE(bool(h.resetPending), !loginPending); // the login reply also ends a pending reset
    QCOMPARE(bool(t.configModeActive), configMode == 1);
    QCOMPARE(h.challenge(), challenge);
    QCOMPARE(bool(h.isWaitingForChallenge()), challengePending && challenge.isEmpty());
    QCOMPARE(bool(h.deviceAnswered), deviceAnswered);
}

void TestProtocolOps::configModeConfirmed()
{
    LinkRig rig;
    QVERIFY(rig.start());
    QTRY_COMPARE_WITH_TIMEOUT(rig.pump.linkStarts(), 1, 20000);
    QVERIFY(rig.handler.setConfigMode(true));
    QVERIFY(rig.sim.configMode());
    QVERIFY(rig.comm->isConfigModeActive());
    QCOMPARE(rig.sentCount("CM1,1"), 1);
    QVERIFY(rig.handler.setConfigModeIfConnected(false));
    QVERIFY(!rig.sim.configMode());
    QCOMPARE(rig.sentCount("CM1,0"), 1);
}

void TestProtocolOps::configModeNeverConfirmed()
{
    LinkRig rig;
    rig.sim.setConfigModeConfirmed(false);
    QVERIFY(rig.start());
    QTRY_COMPARE_WITH_TIMEOUT(rig.pump.linkStarts(), 1, 20000);
    QVERIFY(!rig.handler.setConfigMode(true));
    QVERIFY(rig.sim.waitUntil([](const QList<ControlUnitSim::Received>&) { return true; }, 10));
    const QList<qint64> at = sentTimes(rig.sim, "CM1,1");
    QCOMPARE(at.size(), 5);
    for (int i = 1; i < at.size(); ++i) {
        const qint64 gap = at[i] - at[i - 1];
        QVERIFY2(gap >= 100, qPrintable(QString::number(gap)));
    }
    // Without a link it refuses at once.
    rig.comm->linked = false;
    QVERIFY(!rig.handler.setConfigModeIfConnected(true));
    QVERIFY(!rig.handler.setCanConfigMode(true, 1, 2, 3, 4, 5));
    QTest::qWait(50);
    QCOMPARE(sentTimes(rig.sim, "CM1,1").size(), 5);
    QCOMPARE(rig.sentCount("CM2"), 0);
}

void TestProtocolOps::canConfigModeWithChallenge()
{
    LinkRig rig;
    rig.sim.setChallengeValue(0x1234);
    QVERIFY(rig.start());
    QTRY_COMPARE_WITH_TIMEOUT(rig.pump.linkStarts(), 1, 20000);
    QVERIFY(rig.handler.setCanConfigMode(true, 0x11111111, 0x2, 0xABCDEF01, 0, 0xFFFFFFFF));
    QCOMPARE(rig.handler.challenge(), QString("1234"));
    QVERIFY(rig.sim.goodSentences().contains("CM2,1,3FA5,11111111,00000002,ABCDEF01,00000000,FFFFFFFF"));
    QCOMPARE(rig.sim.canFilters(), (QList<quint32>{0x11111111, 0x2, 0xABCDEF01, 0, 0xFFFFFFFF}));
    QCOMPARE(rig.sim.badChallengeResponses(), 0);
    QVERIFY(rig.sim.configMode());
    QVERIFY(rig.handler.setCanConfigMode(false, 0, 0, 0, 0, 0));
    QVERIFY(rig.sim.goodSentences().contains("CM2,0,3FA5"));
    QVERIFY(!rig.sim.configMode());

    // Challenges that change each time are answered each time.
    rig.sim.clearReceived();
    rig.sim.setChallengeValue(0xBEEF);
    QVERIFY(rig.handler.setCanConfigMode(true, 1, 2, 3, 4, 5));
    QVERIFY(rig.sim.goodSentences().contains("CM2,1,937E,00000001,00000002,00000003,00000004,00000005"));
    QCOMPARE(rig.sim.badChallengeResponses(), 0);

    // A unit that never confirms: five tries, then failure.
    QVERIFY(rig.handler.setCanConfigMode(false, 0, 0, 0, 0, 0));
    rig.sim.setConfigModeConfirmed(false);
    rig.sim.clearReceived();
    QVERIFY(!rig.handler.setCanConfigMode(true, 1, 2, 3, 4, 5));
    QCOMPARE(sentTimes(rig.sim, "CM2,1,").size(), 5);
    QCOMPARE(sentTimes(rig.sim, "CM2,?").size(), 1);
}

void TestProtocolOps::canConfigModeAnswersLatestChallenge_data()
{
    QTest::addColumn<int>("replyDelayMs");
    QTest::addColumn<int>("lostReplies");
    QTest::newRow("prompt replies") << 0 << 0;
    // Longer than one try: "CM2,?" goes out again before the first challenge
    // arrives, and the unit then only accepts an answer to its second one.
    QTest::newRow("replies later than one try") << 200 << 0;
    QTest::newRow("first challenge lost") << 0 << 1;
}

// Each "CM2,?" makes the emulator issue a new challenge and forget the one
// before, as the unit does.
void TestProtocolOps::canConfigModeAnswersLatestChallenge()
{
    QFETCH(int, replyDelayMs);
    QFETCH(int, lostReplies);
    LinkRig rig;
    QVERIFY(rig.start());
    QTRY_COMPARE_WITH_TIMEOUT(rig.pump.linkStarts(), 1, 20000);
    rig.sim.setReplyDelay(replyDelayMs);
    rig.sim.dropNextReplies(lostReplies);
    const QList<quint32> words{0x9FFFFF00, 0x00000500, 0x1FFFFEE6, 0x1FFFE5E6, 0x1FFFFFFF};
    QVERIFY(rig.handler.setCanConfigMode(true, words[0], words[1], words[2], words[3], words[4]));
    QVERIFY(rig.sim.configMode());
    QCOMPARE(rig.sim.canFilters(), words);
    QCOMPARE(rig.sim.badChallengeResponses(), 0);
    // Leaving right away, with the unit's answers to repeated tries still on
    // their way.
    QVERIFY(rig.handler.setCanConfigMode(false, 0, 0, 0, 0, 0));
    QVERIFY(!rig.sim.configMode());
    QCOMPARE(rig.sim.badChallengeResponses(), 0);
    QVERIFY(!rig.handler.isWaitingForChallenge());
}

void TestProtocolOps::parameterRoundTrip_data()
{
    QTest::addColumn<int>("id");
    QTest::addColumn<uint>("value");
    QTest::addColumn<QString>("reply");
    QTest::newRow("one byte") << 0x0010 << 0xA5u << "CF2,0010,A5";
    QTest::newRow("two bytes") << 0x0123 << 0xBEEFu << "CF2,0123,BEEF";
    QTest::newRow("four bytes") << 0x0210 << 0xDEADBEEFu << "CF2,0210,DEADBEEF";
}

void TestProtocolOps::parameterRoundTrip()
{
    QFETCH(int, id);
    QFETCH(uint, value);
    QFETCH(QString, reply);
    LinkRig rig;
    rig.sim.setParam(quint16(id), 0);
    QVERIFY(rig.start());
    QTRY_COMPARE_WITH_TIMEOUT(rig.pump.linkStarts(), 1, 20000);
    QVERIFY(rig.handler.sendParamValue(quint16(id), value));
    QTRY_COMPARE_WITH_TIMEOUT(rig.sim.param(quint16(id)), quint32(value), 20000);
    rig.pump.lines.clear();
    rig.handler.sendParamRequest(quint16(id));
    QTRY_VERIFY_WITH_TIMEOUT(rig.pump.lines.contains(reply), 20000);
    QCOMPARE(rig.sim.rejectedParamWrites(), 0);
    // A value too wide for the id never reaches the unit.
    const quint32 before = rig.sim.param(quint16(id));
    if (id != 0x0210) {
        QVERIFY(!rig.handler.sendParamValue(quint16(id), 0x10000u * 0x100u));
        QTest::qWait(100);
        QCOMPARE(rig.sim.param(quint16(id)), before);
        QCOMPARE(rig.sim.rejectedParamWrites(), 0);
    }
}

void TestProtocolOps::authenticate_data()
{
    QTest::addColumn<int>("level");       // the unit's login level at the start
    QTest::addColumn<QString>("password"); // typed by the user; empty: no dialog expected
    QTest::addColumn<bool>("silent");
    QTest::addColumn<bool>("result");
    QTest::addColumn<QString>("timeoutText");
    QTest::newRow("no login needed") << 2 << "" << false << true << "";
    QTest::newRow("right password") << 0 << "2222" << false << true << "";
    QTest::newRow("wrong password") << 0 << "9999" << false << false << "timeout auth short";
    QTest::newRow("no reply at all") << 0 << "" << true << false << "timeout auth  long";
}

void TestProtocolOps::authenticate()
{
    QFETCH(int, level);
    QFETCH(QString, password);
    QFETCH(bool, silent);
    QFETCH(bool, result);
    LinkRig rig;
    rig.sim.setLoginLevel(level);
    LoginAnswerer login(rig, password);
    QVERIFY(rig.start());
    QTRY_COMPARE_WITH_TIMEOUT(rig.pump.linkStarts(), 1, 20000);
    rig.sim.setSilent(silent);
    QCOMPARE(rig.handler.authenticate(), result);
    QCOMPARE(login.asked, password.isEmpty() ? 0 : 1);
    if (result) {
        QVERIFY(rig.comm->linked);
        QVERIFY(rig.sim.loginLevel() > 0);
    } else {
        // A failed login ends the link session; the transport searches again.
        QTRY_VERIFY(rig.pump.states.endsWith(0));
    }
    QVERIFY(rig.log.lines().filter("2222").isEmpty());
    QVERIFY(rig.log.lines().filter("9999").isEmpty());
}

void TestProtocolOps::loginWaitEndsOnStop()
{
    LinkRig rig;
    QVERIFY(rig.start());
    QTRY_COMPARE_WITH_TIMEOUT(rig.pump.linkStarts(), 1, 20000);
    int asked = 0;
    connect(&rig.handler, &Y5ProtocolHandler::sigLogin, this, [&] { ++asked; }, Qt::DirectConnection);
    // The user never answers; the transport is asked to stop once the wait
    // has kept the unit in configuration mode and the link alive a while.
    const int modeBefore = rig.sentCount("CM1,1");
    const int versionBefore = rig.sentCount("VR1,?");
    auto keptAlive = [&] {
        return rig.sentCount("CM1,1") > modeBefore && rig.sentCount("VR1,?") >= versionBefore + 2;
    };
    std::thread stopper([&] {
        QElapsedTimer waited;
        waited.start();
        while (!keptAlive() && waited.elapsed() < 20000)
            QThread::msleep(20);
        rig.comm->requestStop();
    });
    // The wait for the user has no end of its own: only the stop ends it.
    QVERIFY(!rig.handler.authenticate());
    stopper.join();
    QCOMPARE(asked, 1);
    // While waiting it kept the unit in configuration mode and the link alive.
    QVERIFY(keptAlive());
}

void TestProtocolOps::restoreAfterUpdate_data()
{
    QTest::addColumn<QString>("version");
    QTest::addColumn<QString>("password");
    QTest::addColumn<bool>("hangs");
    QTest::addColumn<QString>("outcome");
    QTest::newRow("restored") << "2.1.4.2" << "2222" << false << "hold";
    QTest::newRow("login refused") << "2.1.4.2" << "9999" << false << "reset";
    QTest::newRow("unit never back") << "2.1.4.2" << "2222" << true << "reset";
    QTest::newRow("LED build: no restore") << "LED_TEST" << "2222" << false << "linked";
}

void TestProtocolOps::restoreAfterUpdate()
{
    QFETCH(QString, version);
    QFETCH(QString, password);
    QFETCH(bool, hangs);
    QFETCH(QString, outcome);
    // A configuration saved for serial number 0x0001E240 = 123456.
    QSettings().setValue("SN 123456/CF2,0010,", "1E");
    LinkRig rig;
    rig.sim.setVersion("BMS2", "0001E240", version);
    rig.sim.setFactoryResetHangs(hangs);
    LoginAnswerer login(rig, password);
    // Both come from the transport's thread.
    std::atomic<int> load{0}, refused{0};
    connect(&rig.handler, &Y5ProtocolHandler::sigLoadConfigurationFromHardDrive, this, [&] { ++load; },
            Qt::DirectConnection);
    connect(&rig.handler, &Y5ProtocolHandler::sigAuthenticationFailed, this, [&] { ++refused; },
            Qt::DirectConnection);
    QList<int> progress;
    QObject context; // goes before progress, with any call still queued
    connect(rig.comm, &CommunicatorBase::sigFirmwareUpdateProgress, &context,
            [&](int v, int code, const QString&) { progress << v << code; }, Qt::QueuedConnection);
    QVERIFY(rig.start());

    if (outcome == "linked") {
        QTRY_COMPARE_WITH_TIMEOUT(rig.pump.linkStarts(), 1, 20000);
        QCOMPARE(rig.sentCount("PW1"), 0);
        QCOMPARE(rig.sentCount("FD1"), 0);
        return;
    }
    if (outcome == "hold") {
        QTRY_COMPARE_WITH_TIMEOUT(load.load(), 1, 20000);
        QVERIFY(rig.comm->restoreHold);
        QVERIFY(rig.comm->linked);
        QCOMPARE(rig.sim.factoryResets(), 1);
        QCOMPARE(login.asked, 2); // before the factory reset and after it
        QCOMPARE(refused.load(), 0);
        QVERIFY(!rig.handler.restoring);
        // The session is never announced: the configuration page takes over.
        QTest::qWait(300);
        QCOMPARE(rig.pump.linkStarts(), 0);
        QTRY_COMPARE(progress.mid(0, 2), (QList<int>{-1, 2}));
        return;
    }
    // Back to searching, and the failure reported.
    if (hangs) {
        QTRY_VERIFY_WITH_TIMEOUT(rig.sim.factoryResets() == 1 && rig.pump.states.count(0) >= 2, 20000);
        QCOMPARE(refused.load(), 0);
    } else {
        QTRY_COMPARE_WITH_TIMEOUT(refused.load(), 1, 20000);
        QTRY_VERIFY_WITH_TIMEOUT(
            rig.log.count("Restoring the configuration failed: the login was not accepted") == 1, 3000);
        QCOMPARE(rig.sim.factoryResets(), 0);
    }
    QCOMPARE(rig.pump.linkStarts(), 0);
    QVERIFY(!rig.comm->restoreHold);
    // It tries again: a new handshake follows on the same port.
    rig.sim.clearReceived();
    QVERIFY(rig.sim.waitForSentence("VR1,?", 5000));
    QCOMPARE(load.load(), 0);
}

void TestProtocolOps::firmwareUpdaterStart()
{
    LinkRig rig;
    FakeUpdater::runs = 0;
    int made = 0;
    rig.handler.setFirmwareUpdaterFactory([&made](Y5ProtocolHandler* h, Communicator*) -> FirmwareUpdater* {
        ++made;
        return new FakeUpdater(h);
    });
    // Not linked: nothing happens.
    rig.handler.startFirmwareUpdate("image");
    QCOMPARE(made, 0);
    QVERIFY(rig.start());
    QTRY_COMPARE_WITH_TIMEOUT(rig.pump.linkStarts(), 1, 20000);
    // An empty image: no thread, nothing pending.
    rig.handler.startFirmwareUpdate(QByteArray());
    QCOMPARE(made, 0);
    QVERIFY(!rig.handler.updateStarting);
    QVERIFY(!rig.handler.updaterThread());
    // A CAN-device update busy: refused.
    rig.handler.setCanUpdateBusyProbe([] { return true; });
    rig.handler.startFirmwareUpdate("image");
    QCOMPARE(made, 0);
    rig.handler.setCanUpdateBusyProbe(nullptr);

    rig.handler.startFirmwareUpdate("image");
    QCOMPARE(made, 1);
    QVERIFY(rig.handler.isFirmwareUpdating());
    QPointer<QThread> thread = rig.handler.updaterThread();
    QVERIFY(thread);
    // A second start while one runs does nothing.
    rig.handler.startFirmwareUpdate("image");
    QCOMPARE(made, 1);
    QTRY_COMPARE_WITH_TIMEOUT(FakeUpdater::runs.load(), 1, 20000);
    QCOMPARE(FakeUpdater::threadName, QString("Y5 FW Updater Thread"));
    QTRY_VERIFY(thread.isNull()); // the thread ends and is deleted
    QVERIFY(!rig.handler.updaterThread());
    QVERIFY(!rig.handler.isFirmwareUpdating());
    // The transport gave the port back and links again.
    QTRY_COMPARE_WITH_TIMEOUT(rig.pump.linkStarts(), 2, 20000);
}

QTEST_GUILESS_MAIN(TestProtocolOps)
#include "tst_protocolops.moc"
