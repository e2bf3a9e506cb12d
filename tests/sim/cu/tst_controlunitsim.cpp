// The emulator's own framing and fault knobs, seen from a plain port.
#include "BootloaderSim.h"
#include "ControlUnitSim.h"
#include "PackModel.h"
#include "StatisticsSim.h"
#include "SerialPort.h"
#include "Y5ProtocolHandler.h"

#include <QElapsedTimer>
#include <QTest>
#include <QThread>

class TestControlUnitSim : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void answersVersionAndRecordsEveryLine();
    void knobs_data();
    void knobs();
    void garbageNeverHoldsFlowControlBytes();
    void pacingKeepsToTheLineRate();
    void pacingTimesWhatTheUnitReceives();
    void customHandler();
    void deviceReplies_data();
    void deviceReplies();
    void resetIntoBootloaderOrReboot();
    void bootloaderWaitsForAnUpdateThenRestarts();
    void factoryDefaultsRebootOrHang();
    void wholeConfigurationFitsItsWidths();
    void wholeConfigurationAnswersWritesAndRestores();
    void livePackClockRunsAndCellsDrift();
    void unitHistoryIsPlausible();

private:
    // Frames and writes each sentence, then collects the good replies (text
    // without the check suffix) for ms; "#?" probes come back as "#?".
    QStringList exchange(const QStringList& sentences, int ms, int expect = -1);
    // Reads until time-out; returns everything with the time of the first byte.
    QByteArray readFor(int ms, qint64* firstByteMs = nullptr);
    ControlUnitSim* sim_ = nullptr;
    SerialPort* port_ = nullptr;
};

void TestControlUnitSim::init()
{
    sim_ = new ControlUnitSim;
    QVERIFY(sim_->start());
    port_ = new SerialPort;
    port_->setPortName(sim_->portPath());
    QVERIFY(port_->open());
    port_->setTimeout(20);
}

void TestControlUnitSim::cleanup()
{
    delete port_;
    delete sim_;
}

QByteArray TestControlUnitSim::readFor(int ms, qint64* firstByteMs)
{
    QElapsedTimer t;
    t.start();
    QByteArray out;
    char buf[512];
    while (t.elapsed() < ms) {
        const qint64 n = port_->read(buf, sizeof buf);
        if (n > 0) {
            if (out.isEmpty() && firstByteMs)
                *firstByteMs = t.elapsed();
            out.append(buf, int(n));
        }
    }
    return out;
}

void TestControlUnitSim::answersVersionAndRecordsEveryLine()
{
    sim_->setVersion("BMS1", "00000042", "boot 1.0");
    port_->write("VR1,?,D7\rVR1,?,D8\r", 18);
    const QByteArray reply = readFor(300);
    QCOMPARE(reply, QByteArray("VR1,BMS1,00000042,boot 1.0,") + reply.right(3));
    int len = reply.size() - 1;
    QVERIFY(Y5ProtocolHandler::checkSentenceCrc(reply.constData(), len));
    const auto rec = sim_->received();
    QCOMPARE(rec.size(), 2);
    QVERIFY(rec[0].good);
    QCOMPARE(rec[0].sentence, QString("VR1,?"));
    QVERIFY(!rec[1].good);
    QCOMPARE(rec[1].raw, QByteArray("VR1,?,D8"));
    QVERIFY(rec[1].ms >= rec[0].ms);
}

void TestControlUnitSim::knobs_data()
{
    QTest::addColumn<QString>("knob");
    QTest::addColumn<int>("replies");      // replies expected to two queries
    QTest::addColumn<int>("minDelayMs");   // before the first byte
    QTest::addColumn<bool>("checksumGood");
    QTest::newRow("none") << "none" << 2 << 0 << true;
    QTest::newRow("silent") << "silent" << 0 << 0 << true;
    QTest::newRow("drop one") << "drop" << 1 << 0 << true;
    QTest::newRow("delay") << "delay" << 2 << 250 << true;
    QTest::newRow("corrupt") << "corrupt" << 2 << 0 << false;
    QTest::newRow("split") << "split" << 2 << 0 << true;
}

void TestControlUnitSim::knobs()
{
    QFETCH(QString, knob);
    QFETCH(int, replies);
    QFETCH(int, minDelayMs);
    QFETCH(bool, checksumGood);
    if (knob == "silent")
        sim_->setSilent(true);
    else if (knob == "drop")
        sim_->dropNextReplies(1);
    else if (knob == "delay")
        sim_->setReplyDelay(300);
    else if (knob == "corrupt")
        sim_->setCorruptChecksums(true);
    else if (knob == "split")
        sim_->setSplitReplies(100);
    port_->write("VR1,?,D7\rVR1,?,D7\r", 18);
    qint64 first = -1;
    const QByteArray got = readFor(700, &first);
    QCOMPARE(sim_->goodSentences().size(), 2); // recorded whatever the knob
    const QList<QByteArray> lines = got.split('\r');
    QCOMPARE(lines.size() - 1, replies);
    if (replies > 0)
        QVERIFY2(first >= minDelayMs, qPrintable(QString::number(first)));
    for (int i = 0; i < replies; ++i) {
        int len = lines[i].size();
        QCOMPARE(Y5ProtocolHandler::checkSentenceCrc(lines[i].constData(), len), checksumGood);
    }
}

void TestControlUnitSim::garbageNeverHoldsFlowControlBytes()
{
    sim_->writeGarbage(4000);
    const QByteArray got = readFor(500);
    QCOMPARE(got.size(), 4000);
    QVERIFY(!got.contains('\x11'));
    QVERIFY(!got.contains('\x13'));
}

void TestControlUnitSim::pacingKeepsToTheLineRate()
{
    sim_->setPacing(true);
    for (int i = 0; i < 20; ++i)
        sim_->reply(QStringLiteral("SS1,%1,0123456789ABCDEF").arg(i));
    QElapsedTimer t;
    t.start();
    QByteArray got;
    char buf[512];
    while (got.count('\r') < 20 && t.elapsed() < 3000) {
        const qint64 n = port_->read(buf, sizeof buf);
        if (n > 0)
            got.append(buf, int(n));
    }
    QCOMPARE(got.count('\r'), 20);
    // 5,760 bytes a second.
    QVERIFY2(t.elapsed() >= got.size() * 1000 / 5760 - 20, qPrintable(QString::number(t.elapsed())));
}

// A query costs its time on the wire too: the second of two lines written
// at once is through only 581 byte times after the write, not at once.
void TestControlUnitSim::pacingTimesWhatTheUnitReceives()
{
    sim_->setPacing(true);
    const QByteArray lines = "A1,\r" + QByteArray(576, 'x') + "\r";
    QElapsedTimer t;
    t.start();
    QCOMPARE(port_->write(lines.constData(), lines.size()), qint64(lines.size()));
    QTRY_COMPARE_WITH_TIMEOUT(sim_->received().size(), 2, 5000);
    const qint64 took = t.elapsed();
    QCOMPARE(sim_->received().at(1).raw.size(), 576);
    QVERIFY2(took >= lines.size() * 1000 / 5760, qPrintable(QString::number(took)));
}

void TestControlUnitSim::customHandler()
{
    sim_->setHandler("CF2", [](ControlUnitSim& sim, const ControlUnitSim::Sentence& s) {
        if (s.fields.value(1) == "?")
            sim.reply("CF2," + s.fields.value(0) + ",1E");
    });
    port_->write("CF2,0010,?,15\r", 14);
    QCOMPARE(readFor(300), ControlUnitSim::frame("CF2,0010,1E"));
    QCOMPARE(ControlUnitSim::frame("CF2,0010,1E"), QByteArray("CF2,0010,1E,3E\r"));
}

QStringList TestControlUnitSim::exchange(const QStringList& sentences, int ms, int expect)
{
    for (const QString& s : sentences) {
        const QByteArray f = ControlUnitSim::frame(s);
        port_->write(f.constData(), f.size());
        QThread::msleep(5);
    }
    // Until the time is up, or shortly after the expected replies are in
    // (long enough for one more to show).
    QElapsedTimer t;
    t.start();
    qint64 doneAt = -1;
    QByteArray bytes;
    char buf[512];
    while (t.elapsed() < ms && (doneAt < 0 || t.elapsed() < doneAt + 60)) {
        const qint64 n = port_->read(buf, sizeof buf);
        if (n > 0)
            bytes.append(buf, int(n));
        if (doneAt < 0 && expect >= 0 && bytes.count('\r') >= expect)
            doneAt = t.elapsed();
    }
    QStringList out;
    for (const QByteArray& line : bytes.split('\r')) {
        if (line.isEmpty())
            continue;
        int len = line.size();
        if (line == "#?")
            out << "#?";
        else if (Y5ProtocolHandler::checkSentenceCrc(line.constData(), len))
            out << QString::fromLatin1(line.left(len));
        else
            out << "bad:" + QString::fromLatin1(line);
    }
    return out;
}

void TestControlUnitSim::deviceReplies_data()
{
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QStringList>("sent");
    QTest::addColumn<QStringList>("replies");
    QTest::addColumn<int>("rejected"); // bad parameter writes + bad challenge responses

    QTest::newRow("features") << "features" << QStringList{"FP1,?"} << QStringList{"FP1,AB,00000001,0000FFFF"} << 0;
    QTest::newRow("features never answered") << "no features" << QStringList{"FP1,?"} << QStringList{} << 0;
    QTest::newRow("two-byte parameter written and read")
        << "params" << QStringList{"CF2,0123,BEEF", "CF2,0123,?"} << QStringList{"CF2,0123,BEEF", "CF2,0123,BEEF"}
        << 0;
    QTest::newRow("four-byte parameter") << "params" << QStringList{"CF2,0210,?"} << QStringList{"CF2,0210,00010000"}
                                         << 0;
    QTest::newRow("value of the wrong width refused")
        << "params" << QStringList{"CF2,0010,1FF", "CF2,0010,001E", "CF2,0010,?"} << QStringList{"CF2,0010,0A"} << 2;
    QTest::newRow("width code 3 and unknown ids unanswered")
        << "params" << QStringList{"CF2,0310,?", "CF2,0011,?"} << QStringList{} << 0;
    QTest::newRow("writes ignored") << "writes ignored" << QStringList{"CF2,0010,1E", "CF2,0010,?"}
                                    << QStringList{"CF2,0010,0A"} << 0;
    QTest::newRow("configuration mode") << "" << QStringList{"CM1,1", "CM1,0"} << QStringList{"CM1,01", "CM1,00"}
                                        << 0;
    QTest::newRow("configuration mode never confirmed") << "never confirms" << QStringList{"CM1,1"}
                                                        << QStringList{} << 0;
    QTest::newRow("challenge answered right")
        << "challenge" << QStringList{"CM2,?", "CM2,1,3FA5,1,2,3,4,5", "CM2,0,3FA5"}
        << QStringList{"CM2,00,1234", "CM2,01", "CM2,00"} << 0;
    QTest::newRow("challenge answered wrong")
        << "challenge" << QStringList{"CM2,?", "CM2,1,1234,1,2,3,4,5"} << QStringList{"CM2,00,1234", "CM2,00"} << 1;
    QTest::newRow("response without a challenge") << "challenge" << QStringList{"CM2,1,3FA5,1,2,3,4,5"}
                                                  << QStringList{"CM2,00"} << 1;
    QTest::newRow("login levels")
        << "" << QStringList{"PW1,?", "PW1,1111", "PW1,?", "PW1,nope", "PW1,2222", "PW1,"}
        << QStringList{"PW1,0", "PW1,1", "PW1,1", "PW1,1", "PW1,2", "PW1,0"} << 0;
    // "PW2,<password>" sets the password of the level logged in at.
    QTest::newRow("password change needs a level and 4 to 8 characters")
        << "" << QStringList{"PW2,fresh", "PW1,2222", "PW2,abc", "PW2,fresh", "PW1,", "PW1,2222", "PW1,fresh"}
        << QStringList{"PW2,0", "PW1,2", "PW2,0", "PW2,1", "PW1,0", "PW1,0", "PW1,2"} << 0;
    QTest::newRow("level 1 password change leaves level 2's")
        << "" << QStringList{"PW1,1111", "PW2,new1", "PW1,", "PW1,new1", "PW1,2222"}
        << QStringList{"PW1,1", "PW2,1", "PW1,0", "PW1,1", "PW1,2"} << 0;
    QTest::newRow("password changes refused")
        << "refuse passwords" << QStringList{"PW1,2222", "PW2,fresh", "PW1,", "PW1,2222"}
        << QStringList{"PW1,2", "PW2,0", "PW1,0", "PW1,2"} << 0;
}

void TestControlUnitSim::deviceReplies()
{
    QFETCH(QString, setup);
    QFETCH(QStringList, sent);
    QFETCH(QStringList, replies);
    QFETCH(int, rejected);
    if (setup == "features")
        sim_->setFeatureBitmap(0xAB, {1, 0xFFFF});
    if (setup == "no features")
        sim_->setFeatureReplyText(QString());
    if (setup == "refuse passwords")
        sim_->setPasswordChangesRefused(true);
    if (setup == "params" || setup == "writes ignored") {
        sim_->setParam(0x0010, 0x0A);
        sim_->setParam(0x0123, 0x1234);
        sim_->setParam(0x0210, 0x10000);
        sim_->setParamWritesIgnored(setup == "writes ignored");
    }
    if (setup == "never confirms")
        sim_->setConfigModeConfirmed(false);
    if (setup == "challenge")
        sim_->setChallengeValue(0x1234);
    QCOMPARE(exchange(sent, 300, replies.size()), replies);
    QCOMPARE(sim_->rejectedParamWrites() + sim_->badChallengeResponses(), rejected);
}

void TestControlUnitSim::resetIntoBootloaderOrReboot()
{
    // Unanswered, the probe is followed by a reboot and the banner.
    sim_->setRebootMs(100);
    QCOMPARE(exchange({"RS1,", "VR1,?"}, 1600, 2), (QStringList{"#?", sim_->bannerText()}));
    QCOMPARE(exchange({"VR1,?"}, 200, 1), QStringList{sim_->versionReply()});

    // Answered with "#", the bootloader runs: only its version, then back.
    QCOMPARE(exchange({"RS1,"}, 300, 1), QStringList{"#?"});
    port_->write("#", 1);
    QTRY_COMPARE(sim_->mode(), ControlUnitSim::Mode::Bootloader);
    QCOMPARE(exchange({"VR1,?", "FP1,?", "CM1,1"}, 200), QStringList{"VR1,BMS2,0001E240,boot1.0.3"});
    QCOMPARE(exchange({"RS1,"}, 600, 1), QStringList{sim_->bannerText()});
    QCOMPARE(sim_->mode(), ControlUnitSim::Mode::Firmware);

    // Bootloader entry off: a reset only reboots.
    sim_->setBootloaderEntry(false);
    QCOMPARE(exchange({"RS1,"}, 600, 1), QStringList{sim_->bannerText()});
}

void TestControlUnitSim::bootloaderWaitsForAnUpdateThenRestarts()
{
    // An update begins later on a "BMS3" unit, so its bootloader waits longer.
    QCOMPARE(sim_->bootloaderWaitMs(), 5000);
    sim_->setVersion("BMS3", "0001E240", "2.1.4.2");
    QCOMPARE(sim_->bootloaderWaitMs(), 30000);

    BootloaderSim bootloader(*sim_);
    sim_->setRebootMs(100);
    sim_->setBootloaderWaitMs(400);
    QCOMPARE(exchange({"RS1,"}, 300, 1), QStringList{"#?"});
    port_->write("#", 1);
    QTRY_COMPARE(sim_->mode(), ControlUnitSim::Mode::Bootloader);
    // Nothing of the application while the bootloader runs, then the firmware
    // starts again by itself.
    sim_->reply("MS2,0,1");
    QCOMPARE(exchange({}, 1500, 1), QStringList{sim_->bannerText()});
    QCOMPARE(sim_->mode(), ControlUnitSim::Mode::Firmware);

    // Once an update began, the bootloader stays past its wait.
    QCOMPARE(exchange({"RS1,"}, 300, 1), QStringList{"#?"});
    port_->write("#", 1);
    QTRY_COMPARE(sim_->mode(), ControlUnitSim::Mode::Bootloader);
    port_->write("\x00\x02\xAB\xCD", 4);
    QVERIFY(bootloader.waitReceivedFrames(1, 2000));
    QCOMPARE(readFor(1000), QByteArray("\x11")); // the frame's answer, no banner
    QCOMPARE(sim_->mode(), ControlUnitSim::Mode::Bootloader);
    QVERIFY(sim_->updateBegun());
}

void TestControlUnitSim::factoryDefaultsRebootOrHang()
{
    sim_->setRebootMs(100);
    sim_->setParam(0x0010, 0x05);
    QCOMPARE(exchange({"PW1,2222", "CM1,1", "CF2,0010,07", "FD1,"}, 400, 4),
             (QStringList{"PW1,2", "CM1,01", "CF2,0010,07", sim_->bannerText()}));
    QCOMPARE(sim_->factoryResets(), 1);
    QCOMPARE(exchange({"CF2,0010,?", "PW1,?"}, 200, 2), (QStringList{"CF2,0010,05", "PW1,0"}));
    QVERIFY(!sim_->configMode());
    sim_->setFactoryResetHangs(true);
    QCOMPARE(exchange({"FD1,", "VR1,?"}, 600), QStringList{});
}

void TestControlUnitSim::wholeConfigurationFitsItsWidths()
{
    const QMap<quint16, quint32> store = ControlUnitSim::factoryConfiguration();
    QVERIFY(store.size() > 400);
    for (auto it = store.cbegin(); it != store.cend(); ++it) {
        const int code = (it.key() >> 8) & 3;
        QVERIFY2(code != 3, qPrintable(QString::number(it.key(), 16)));
        QVERIFY2(code == 2 || it.value() < (1u << (8 << code)), qPrintable(QString::number(it.key(), 16)));
    }
    // Features: ids 0..169, the bitmap's range.
    const QList<int> features = ControlUnitSim::factoryFeatures();
    QVERIFY(features.first() == 0 && features.last() < 170);
}

void TestControlUnitSim::wholeConfigurationAnswersWritesAndRestores()
{
    sim_->setRebootMs(100);
    sim_->setParam(0x0011, 0x42); // a test's own id is replaced by the whole store
    sim_->holdFactoryConfiguration();
    sim_->setParam(0x0C89, 0x05); // and can still override one afterwards

    // The bitmap reports exactly the features of the ids held.
    const QStringList fp = exchange({"FP1,?"}, 300, 1);
    QCOMPARE(fp.size(), 1);
    const QStringList fields = fp.first().split(',');
    QList<int> reported;
    for (int w = 2; w < fields.size(); ++w)
        for (int b = 0; b < 32; ++b)
            if (fields[w].toUInt(nullptr, 16) & (1u << b))
                reported << (w - 2) * 32 + b;
    QCOMPARE(reported, ControlUnitSim::factoryFeatures());

    const QMap<quint16, quint32> factory = ControlUnitSim::factoryConfiguration();
    const auto reply = [&](quint16 id, quint32 v) {
        return QString("CF2,%1,%2").arg(id, 4, 16, QChar('0')).arg(v, 2 << ((id >> 8) & 3), 16, QChar('0')).toUpper();
    };
    // One id of each width, a test's override, an id the unit does not hold.
    QCOMPARE(exchange({"CF2,0C02,?", "CF2,1100,?", "CF2,1600,?", "CF2,0C89,?", "CF2,0011,?"}, 400, 4),
             (QStringList{reply(0x0C02, factory[0x0C02]), reply(0x1100, factory[0x1100]),
                          reply(0x1600, factory[0x1600]), "CF2,0C89,05"}));
    // Writes persist for the run; "FD1" brings back the factory values.
    QCOMPARE(exchange({"CF2,1100,1234", "CF2,1100,?"}, 300, 2), (QStringList{"CF2,1100,1234", "CF2,1100,1234"}));
    QCOMPARE(exchange({"FD1,"}, 600, 1), QStringList{sim_->bannerText()});
    QCOMPARE(exchange({"CF2,1100,?", "CF2,0C89,?"}, 300, 2), (QStringList{reply(0x1100, factory[0x1100]), "CF2,0C89,05"}));
    QCOMPARE(sim_->params().size(), factory.size());
}

void TestControlUnitSim::livePackClockRunsAndCellsDrift()
{
    PackModel pack;
    pack.setLive(true);
    const auto clock = [&pack](qint64* uptime) {
        const QStringList f = pack.replyFor("TD1").value(0).split(',');
        *uptime = f.value(8).toLongLong(nullptr, 16);
        return QDateTime(QDate(2000 + f.value(1).toInt(), f.value(2).toInt(), f.value(3).toInt()),
                         QTime(f.value(4).toInt(), f.value(5).toInt(), f.value(6).toInt()));
    };
    qint64 up0 = 0, up1 = 0;
    const QDateTime t0 = clock(&up0);
    QVERIFY(t0.isValid());
    QVERIFY(qAbs(t0.secsTo(QDateTime::currentDateTime())) < 86400); // the local time
    QTRY_VERIFY_WITH_TIMEOUT(clock(&up1) > t0, 20000);
    QVERIFY(up1 > up0);

    // Every cell stays within one step of the model (3.26 .. 3.34 V), and
    // some change as time goes on.
    const QString first = pack.replyFor("BV2").join(';');
    const auto codesInRange = [](const QString& replies) {
        for (const QString& line : replies.split(';')) {
            const QString data = line.section(',', 4);
            for (int i = 0; i + 1 < data.size(); i += 2) {
                const int code = data.mid(i, 2).toInt(nullptr, 16);
                if (code != 0xFF && (code < 126 || code > 134))
                    return false;
            }
        }
        return true;
    };
    QVERIFY(codesInRange(first));
    QTRY_VERIFY_WITH_TIMEOUT(pack.replyFor("BV2").join(';') != first, 20000);
    QVERIFY(codesInRange(pack.replyFor("BV2").join(';')));
}

void TestControlUnitSim::unitHistoryIsPlausible()
{
    StatisticsSim stats;
    const QDateTime now = QDateTime::currentDateTimeUtc();
    stats.setUnitHistory(now);
    const quint32 now2000 = quint32(now.toSecsSinceEpoch() - 946684800);
    // Minimum and maximum pairs: cell voltage, pack voltage, cell temperature twice.
    for (const auto& pair : {qMakePair(10, 11), qMakePair(13, 14), qMakePair(15, 16), qMakePair(47, 48)})
        QVERIFY2(stats.statistic(pair.first).value <= stats.statistic(pair.second).value,
                 qPrintable(QString::number(pair.first)));
    for (int i = 0; i <= 53; ++i) {
        const quint32 t = stats.statistic(i).time;
        QVERIFY2(t == 0xFFFFFFFF || t <= now2000, qPrintable(QString::number(i)));
    }
    const QList<StatisticsSim::Event> events = stats.events();
    QVERIFY(events.size() >= 3);
    for (int i = 0; i < events.size(); ++i) {
        QVERIFY(events[i].time <= now2000);
        QVERIFY(i == 0 || events[i].time >= events[i - 1].time);
    }
}

QTEST_GUILESS_MAIN(TestControlUnitSim)
#include "tst_controlunitsim.moc"
