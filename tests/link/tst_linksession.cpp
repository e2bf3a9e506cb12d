// The link session: identification, boot mode, the firmware question, the
// feature bitmap and the keep-alive, through the real serial transport and
// the control-unit emulator (and, for pure logic, a transport without port).
#include "Crc8.h"
#include "LinkRig.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>

#include <atomic>

Q_DECLARE_METATYPE(QList<quint32>)

namespace {
QList<quint32> words(const Y5ProtocolHandler& h)
{
    const QVector<quint32> v = h.featureBitmap();
    return QList<quint32>(v.begin(), v.end());
}

// Puts lines into the handler's queue as if read from the port.
void queueLines(FeedTransport& t, const QStringList& lines)
{
    for (const QString& l : lines) {
        const int comma = l.indexOf(',');
        t.feed(frameSentence(l.left(comma + 1), l.mid(comma + 1)));
    }
}
} // namespace

class TestLinkSession : public QObject
{
    Q_OBJECT
private slots:
    void linksIdentifiesAndReadsFeatures();
    void handshake_data();
    void handshake();
    void featureReply_data();
    void featureReply();
    void featureReplyOncePerSessionAndGrowing();
    void featureReplyWhileLinkedMessageAfterLocks();
    void keepAliveSteps();
    void keepAliveRealTimeCadenceAndReconnect();
    void readErrorClearsSession();
    void bootUnitLinksWithoutKeepAlive();
    void obsoleteFirmware_data();
    void obsoleteFirmware();
};

void TestLinkSession::linksIdentifiesAndReadsFeatures()
{
    LinkRig rig;
    rig.sim.setFeatureBitmap(0x40, {0xFFFFFFFF, 0x0000FFFF, 0, 1});
    QStringList versions; // in this thread; the signal comes from the transport's
    QObject context;      // goes before versions, with any call still queued
    connect(&rig.handler, &Y5ProtocolHandler::sigReceivedVersionString, &context,
            [&](const QString& v) { versions << v; }, Qt::QueuedConnection);
    QVERIFY(rig.start());
    QTRY_COMPARE_WITH_TIMEOUT(rig.pump.linkStarts(), 1, 20000);
    QCOMPARE(rig.handler.versionLine(), QString("VR1,BMS2,0001E240,2.1.4.2"));
    QCOMPARE(rig.handler.deviceKind(), QString("BMS2"));
    QVERIFY(rig.handler.isFeatureBitmapValid());
    QCOMPARE(words(rig.handler), (QList<quint32>{0xFFFFFFFF, 0x0000FFFF, 0, 1}));
    quint32 w = 0;
    QVERIFY(rig.handler.featureBitmapWord(1, &w));
    QCOMPARE(w, 0x0000FFFFu);
    QVERIFY(!rig.handler.featureBitmapWord(4, &w));
    QTRY_VERIFY(!versions.isEmpty());
    QCOMPARE(versions.first(), QString("VR1,BMS2,0001E240,2.1.4.2"));
    // The order on the wire: handshake query, feature request, session start query.
    const QStringList sent = rig.sim.goodSentences();
    QVERIFY(sent.size() >= 3);
    QCOMPARE(sent.mid(0, 3), (QStringList{"VR1,?", "FP1,?", "VR1,?"}));
    QCOMPARE(rig.pump.states.last(), 1);
}

void TestLinkSession::handshake_data()
{
    QTest::addColumn<QStringList>("queued");
    QTest::addColumn<bool>("result");
    QTest::addColumn<QString>("versionLine");
    QTest::addColumn<bool>("ledOrCan");
    QTest::addColumn<bool>("boot");

    const QString initial = "VR1,BMS1,FFFFFFFF,2.5.0";
    QTest::newRow("status line before the version reply")
        << QStringList{"ST1,1,2,3,4", "VR1,BMS2,0001E240,2.1.4.2"} << true << "VR1,BMS2,0001E240,2.1.4.2" << false
        << false;
    QTest::newRow("a status line alone is never the version line")
        << QStringList{"ST1,1,2,3,4"} << false << initial << false << false;
    QTest::newRow("three fields are not a version reply")
        << QStringList{"VR1,BMS2,0001E240"} << false << initial << false << false;
    QTest::newRow("LED build") << QStringList{"VR1,BMS2,0001E240,LED_TEST"} << true << "VR1,BMS2,0001E240,LED_TEST"
                               << true << false;
    QTest::newRow("CAN build") << QStringList{"VR1,BMS3,00000001,CAN_RETRANSMITTER"} << true
                               << "VR1,BMS3,00000001,CAN_RETRANSMITTER" << true << false;
    QTest::newRow("bootloader") << QStringList{"VR1,BMS2,0001E240,boot1.0.3"} << true
                                << "VR1,BMS2,0001E240,boot1.0.3" << false << true;
}

void TestLinkSession::handshake()
{
    QFETCH(QStringList, queued);
    QFETCH(bool, result);
    QFETCH(QString, versionLine);
    QFETCH(bool, ledOrCan);
    QFETCH(bool, boot);
    LogCapture log;
    FeedTransport t;
    Y5ProtocolHandler h(&t);
    t.setProtocolHandler(&h);
    connect(&t, &CommunicatorBase::sigDataReceived, &h, &Y5ProtocolHandler::slotDataReceived, Qt::DirectConnection);
    queueLines(t, queued);
    t.autoConnection = true;
    QSignalSpy refresh(&h, &Y5ProtocolHandler::sigRefreshPortList);
    bool isLedOrCan = false;
    QCOMPARE(h.identifyDevice("/dev/ttyUSB0", isLedOrCan), result);
    // With auto-connection the window refills its port list after an identification.
    QCOMPARE(refresh.size(), result ? 1 : 0);
    QCOMPARE(h.versionLine(), versionLine);
    QCOMPARE(isLedOrCan, ledOrCan);
    QCOMPARE(h.isBootMode(), boot);
    // The feature request follows every good handshake, in boot mode too.
    QCOMPARE(t.written.contains("FP1,?"), result);
}

void TestLinkSession::featureReply_data()
{
    QTest::addColumn<QString>("reply");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QList<quint32>>("words");
    QTest::addColumn<int>("messages");

    QTest::newRow("count 0xAB, seven fields") << "FP1,AB,FFFFFFFF,0,0,0,1" << true
                                              << QList<quint32>{0xFFFFFFFF, 0, 0, 0, 1} << 1;
    QTest::newRow("eight-character first field is a word") << "FP1,FFFFFFFF,1,2,3,4" << true
                                                           << QList<quint32>{0xFFFFFFFF, 1, 2, 3, 4} << 0;
    QTest::newRow("five fields") << "FP1,12,1,2,3" << false << QList<quint32>{} << 0;
    QTest::newRow("count 0xAA is still known") << "FP1,AA,1,2,3,4" << true << QList<quint32>{1, 2, 3, 4} << 0;
    QTest::newRow("a word that does not read is 0") << "FP1,0A,1,zz,3,4" << true << QList<quint32>{1, 0, 3, 4} << 0;
}

void TestLinkSession::featureReply()
{
    QFETCH(QString, reply);
    QFETCH(bool, valid);
    QFETCH(QList<quint32>, words);
    QFETCH(int, messages);
    Y5ProtocolHandler h(nullptr);
    QSignalSpy info(&h, &Y5ProtocolHandler::sigCreateInfoMessageBox);
    h.parseFP1(reply);
    QCOMPARE(h.isFeatureBitmapValid(), valid);
    QCOMPARE(::words(h), words);
    QCOMPARE(h.featureBitmapWordCount(), words.size());
    QCOMPARE(info.size(), messages);
    if (messages) {
        const QString text = info.first().first().toString();
        QVERIFY(text.startsWith("The connected version of BMS firmware is not<br>fully supported"));
        QVERIFY(text.contains("example.com"));
        QVERIFY(text.endsWith(" website for a<br>newer Dadevoz Arezi version."));
    }
}

void TestLinkSession::featureReplyOncePerSessionAndGrowing()
{
    FeedTransport t;
    Y5ProtocolHandler h(&t);
    t.setProtocolHandler(&h);
    QSignalSpy info(&h, &Y5ProtocolHandler::sigCreateInfoMessageBox);
    h.parseFP1("FP1,AB,1,2,3,4");
    h.parseFP1("FP1,AB,1,2,3,4");
    QCOMPARE(info.size(), 1);
    // A later, longer reply grows the bitmap instead of writing past it.
    h.parseFP1("FP1,AB,1,2,3,4,5,6,7,8,9,A,B,C");
    QCOMPARE(words(h), (QList<quint32>{1, 2, 3, 4, 5, 6, 7, 8, 9, 0xA, 0xB, 0xC}));
    QCOMPARE(info.size(), 1);
    // A link reset ends the session: no bitmap, and the message may come once more.
    t.linked = true;
    t.resetConnection();
    QVERIFY(!h.isFeatureBitmapValid());
    QCOMPARE(h.featureBitmapWordCount(), 0);
    h.parseFP1("FP1,AB,1,2,3,4");
    QCOMPARE(info.size(), 2);
}

void TestLinkSession::featureReplyWhileLinkedMessageAfterLocks()
{
    FeedTransport t;
    Y5ProtocolHandler h(&t);
    connect(&t, &CommunicatorBase::sigDataReceived, &h, &Y5ProtocolHandler::slotDataReceived, Qt::DirectConnection);
    bool queueFree = false;
    // The window shows the message through a blocking connection: the
    // receive path must not hold its locks meanwhile.
    connect(&h, &Y5ProtocolHandler::sigCreateInfoMessageBox, this, [&] {
        queueFree = t.portMutex().try_lock();
        if (queueFree)
            t.portMutex().unlock();
        QString s;
        queueFree = queueFree && (h.getSentence(s) || true);
    }, Qt::DirectConnection);
    queueLines(t, {"FP1,AB,1,2,3,4"});
    QVERIFY(!h.isFeatureBitmapValid()); // not parsed while no session runs
    t.linked = true;
    queueLines(t, {"FP1,AB,1,2,3,4"});
    QVERIFY(h.isFeatureBitmapValid());
    QCOMPARE(h.featureBitmapWordCount(), 4);
    QVERIFY(queueFree);
}

void TestLinkSession::keepAliveSteps()
{
    // Budget 2000 after a good line, +2000 per query, lost after 8000 ms.
    FeedTransport t;
    Y5ProtocolHandler h(&t);
    connect(&t, &CommunicatorBase::sigDataReceived, &h, &Y5ProtocolHandler::slotDataReceived, Qt::DirectConnection);
    qint64 now = 100000;
    h.setClock([&now] { return now; });
    t.linked = true;
    queueLines(t, {"ST1,1"});
    struct Step
    {
        qint64 at;
        bool keep;
        bool query;
    };
    auto run = [&](const QList<Step>& steps, qint64 base) {
        for (const Step& s : steps) {
            now = base + s.at;
            t.written.clear();
            const bool keep = h.checkKeepAlive();
            if (keep != s.keep || t.written.contains("VR1,?") != s.query)
                return QString("at %1 ms: keep %2 query %3").arg(s.at).arg(keep).arg(!t.written.isEmpty());
        }
        return QString();
    };
    QCOMPARE(run({{1999, true, false}, {2000, true, false}, {2001, true, true}, {2300, true, false},
                  {4001, true, true}, {6001, true, true}, {7999, true, false}, {8000, true, false}, {8001, false, false}},
                 100000),
             QString());
    // A good line at any point resets the budget.
    now = 200000;
    queueLines(t, {"ST1,1"});
    QCOMPARE(run({{2500, true, true}, {3000, true, false}}, 200000), QString());
    queueLines(t, {"ST1,2"}); // at 203000
    QCOMPARE(h.keepAliveBudget(), 2000);
    QCOMPARE(run({{1900, true, false}, {2100, true, true}, {8100, false, false}}, 203000), QString());

    // No check while the unit runs its bootloader, while an update or a
    // restore runs, or without a link.
    for (int i = 0; i < 4; ++i) {
        h.bootMode = i == 0;
        h.updateRunning = i == 1;
        h.restoring = i == 2;
        t.linked = i != 3;
        QCOMPARE(run({{20000, true, false}}, 203000), QString());
    }
}

void TestLinkSession::keepAliveRealTimeCadenceAndReconnect()
{
    LinkRig rig;
    // When the loss is reported, on the emulator's clock.
    std::atomic<bool> watching{false};
    std::atomic<qint64> lostAt{-1};
    connect(rig.comm, &CommunicatorBase::sigStatusChanged, this, [&](int state) {
        if (state == 0 && watching && lostAt < 0)
            lostAt = rig.sim.elapsedMs();
    }, Qt::DirectConnection);
    QVERIFY(rig.start(true));
    QTRY_COMPARE_WITH_TIMEOUT(rig.pump.linkStarts(), 1, 20000);
    QTRY_VERIFY(rig.handler.isFeatureBitmapValid());
    rig.sim.setSilent(true);
    watching = true;
    QTRY_VERIFY_WITH_TIMEOUT(rig.log.count("Lost connection to BMS due to keep-alive expiry") == 1, 20000);
    QTRY_VERIFY(lostAt >= 0);
    // The program counts from its last good line, which may have come a
    // little before or after the emulator fell silent. The emulator's clock
    // is read first, so the estimate is never later than the line.
    const qint64 simNow = rig.sim.elapsedMs();
    const qint64 lastGood = simNow - rig.handler.keepAliveSilenceMs();
    QList<qint64> queries;
    for (const auto& r : rig.sim.received())
        if (r.good && r.sentence == "VR1,?" && r.ms > lastGood)
            queries.append(r.ms - lastGood);
    QVERIFY2(queries.size() >= 3, qPrintable(QString::number(queries.size())));
    // Both clocks count whole milliseconds: a few of slack.
    constexpr qint64 kSlack = 5;
    const qint64 expected[] = {2000, 4000, 6000};
    for (int i = 0; i < 3; ++i)
        QVERIFY2(queries[i] >= expected[i] - kSlack, qPrintable(QString("query %1 at %2 ms").arg(i).arg(queries[i])));
    QVERIFY2(lostAt - lastGood >= 8000 - kSlack, qPrintable(QString::number(lostAt - lastGood)));
    // The loss ended the session; the transport's own loop closed the port.
    QTRY_VERIFY(rig.pump.states.endsWith(0));
    QVERIFY(!rig.comm->linked);
    QVERIFY(!rig.handler.isFeatureBitmapValid());
    QCOMPARE(rig.handler.featureBitmapWordCount(), 0);

    rig.sim.setSilent(false);
    QTRY_COMPARE_WITH_TIMEOUT(rig.pump.linkStarts(), 2, 20000);
    QCOMPARE(rig.log.count("Port opened " + rig.portPath) >= 2, true);
}

void TestLinkSession::readErrorClearsSession()
{
    LinkRig rig;
    rig.sim.setFeatureBitmap(0x40, {1, 2, 3, 4});
    QVERIFY(rig.start());
    QTRY_COMPARE_WITH_TIMEOUT(rig.pump.linkStarts(), 1, 20000);
    QVERIFY(rig.handler.isFeatureBitmapValid());
    rig.sim.vanish();
    QTRY_VERIFY_WITH_TIMEOUT(rig.log.count("Lost connection to BMS due to error receiving data") == 1, 20000);
    QVERIFY(!rig.handler.isFeatureBitmapValid());
    QCOMPARE(rig.handler.featureBitmapWordCount(), 0);
    // Another unit on the same adapter, with other features.
    rig.sim.setVersion("BMS3", "00000007", "2.3.0");
    rig.sim.setFeatureBitmap(-1, {0xA, 0xB, 0xC, 0xD, 0xE});
    QVERIFY(rig.sim.reappear());
    QTRY_COMPARE_WITH_TIMEOUT(rig.pump.linkStarts(), 2, 20000);
    QCOMPARE(rig.handler.deviceSerial(), QString("00000007"));
    QCOMPARE(words(rig.handler), (QList<quint32>{0xA, 0xB, 0xC, 0xD, 0xE}));
}

void TestLinkSession::bootUnitLinksWithoutKeepAlive()
{
    LinkRig rig;
    qint64 now = 0;
    rig.handler.setClock([&now] { return now; });
    rig.sim.setMode(ControlUnitSim::Mode::Bootloader);
    QVERIFY(rig.start());
    QTRY_COMPARE_WITH_TIMEOUT(rig.pump.linkStarts(), 1, 20000);
    QVERIFY(rig.handler.isBootMode());
    QCOMPARE(rig.handler.deviceVersion(), QString("boot1.0.3"));
    // The feature request is made in boot mode too; the bootloader does not
    // answer it, so it is sent four times.
    QCOMPARE(rig.sentCount("FP1,?"), 4);
    QVERIFY(!rig.handler.isFeatureBitmapValid());
    rig.sim.clearReceived();
    now += 60000;
    QVERIFY(rig.handler.checkKeepAlive());
    QVERIFY(rig.comm->linked);
    QTest::qWait(100);
    QCOMPARE(rig.sentCount("VR1,?"), 0);
}

void TestLinkSession::obsoleteFirmware_data()
{
    QTest::addColumn<int>("reply");
    QTest::newRow("yes: into the bootloader") << int(ScriptedAsker::Yes);
    QTest::newRow("no: the transport stops") << int(ScriptedAsker::No);
    QTest::newRow("never answered: the stop ends the wait") << int(ScriptedAsker::Never);
}

void TestLinkSession::obsoleteFirmware()
{
    QFETCH(int, reply);
    LinkRig rig;
    rig.asker.setReply(ScriptedAsker::Reply(reply));
    rig.sim.setVersion("BMS2", "0001E240", "1.9.3");
    std::atomic<int> question{0};
    connect(&rig.handler, &Y5ProtocolHandler::sigObsoleteFirmwareVersion, this, [&] { ++question; },
            Qt::DirectConnection);
    QVERIFY(rig.start());
    QTRY_VERIFY_WITH_TIMEOUT(!rig.asker.asked().isEmpty(), 20000);
    QCOMPARE(rig.asker.asked().first(), obsoleteFirmwareQuestionText());
    QVERIFY(rig.asker.asked().first().contains("no longer supported,and needs"));
    QCOMPARE(question.load(), 1);

    switch (reply) {
    case ScriptedAsker::Yes:
        // "RS1", "#?" answered with "#", and the next handshake finds the bootloader.
        QTRY_COMPARE_WITH_TIMEOUT(rig.pump.linkStarts(), 1, 20000);
        QVERIFY(rig.handler.isBootMode());
        QCOMPARE(rig.handler.deviceVersion(), QString("boot1.0.3"));
        QVERIFY(rig.sentCount("RS1,") >= 1);
        QVERIFY(rig.sim.probeAnswerCount() >= 1);
        QCOMPARE(rig.asker.asked().size(), 1);
        QVERIFY(rig.handler.obsoleteAccepted);
        break;
    case ScriptedAsker::No:
        QTRY_VERIFY_WITH_TIMEOUT(rig.commThread.isFinished(), 20000);
        QVERIFY(rig.comm->isStopRequested());
        QCOMPARE(rig.sentCount("RS1,"), 0);
        QVERIFY(rig.pump.linkStarts() == 0);
        break;
    case ScriptedAsker::Never:
        QTest::qWait(200);
        QVERIFY(rig.commThread.isRunning());
        rig.comm->requestStop();
        QTRY_VERIFY_WITH_TIMEOUT(rig.commThread.isFinished(), 20000);
        QVERIFY(!rig.handler.obsoleteAnswered);
        break;
    }
}

QTEST_GUILESS_MAIN(TestLinkSession)
#include "tst_linksession.moc"
