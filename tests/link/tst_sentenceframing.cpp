// Framing, CRC-8, sending, the log masking, the debug levels and the frame codec.
#include "Crc8.h"
#include "DebugLevels.h"
#include "FeedTransport.h"
#include "Y5ProtocolHandler.h"

#include <QElapsedTimer>
#include <QTest>

#include <memory>

class TestSentenceFraming : public QObject
{
    Q_OBJECT
private slots:
    void crc_data();
    void crc();
    void sendSentence_data();
    void sendSentence();
    void unsentSentenceIsNotLoggedAsSent();
    void quietSentencesAreNotLogged_data();
    void quietSentencesAreNotLogged();
    void nonLatin1IsSummedAsWritten();
    void canUpdateBusyPausesExactly15ms_data();
    void canUpdateBusyPausesExactly15ms();
    void passwordsNeverReachTheLog_data();
    void passwordsNeverReachTheLog();
    void debugLevels();
    void frameCodec();
    void logFrameStaysInsideThePayload();
};

void TestSentenceFraming::crc_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("crc");
    QTest::newRow("check value") << QByteArray("123456789") << 0xA1;
    QTest::newRow("empty") << QByteArray() << 0x00;
    QTest::newRow("VR1,?,") << QByteArray("VR1,?,") << 0xD7;
    QTest::newRow("RS1,,") << QByteArray("RS1,,") << 0x3F;
    QTest::newRow("CM1,1,") << QByteArray("CM1,1,") << 0xA8;
}

void TestSentenceFraming::crc()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, crc);
    QCOMPARE(int(crc8Maxim(reinterpret_cast<const uint8_t*>(bytes.constData()), uint16_t(bytes.size()))), crc);
}

void TestSentenceFraming::sendSentence_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("params");
    QTest::addColumn<QByteArray>("wire");
    QTest::newRow("query") << "VR1," << "?" << QByteArray("VR1,?,D7\r");
    QTest::newRow("no parameters") << "RS1," << "" << QByteArray("RS1,,3F\r");
    QTest::newRow("one parameter") << "CM1," << "1" << QByteArray("CM1,1,A8\r");
    QTest::newRow("factory defaults") << "FD1," << "" << QByteArray("FD1,,E2\r");
    QTest::newRow("poller's bare name") << "RS2" << ",?" << QByteArray("RS2,?,4E\r");
    QTest::newRow("parameter read") << "CF2,0010," << "?" << QByteArray("CF2,0010,?,15\r");
}

void TestSentenceFraming::sendSentence()
{
    QFETCH(QString, name);
    QFETCH(QString, params);
    QFETCH(QByteArray, wire);
    QCOMPARE(frameSentence(name, params), wire);

    LogCapture log;
    FeedTransport t;
    Y5ProtocolHandler h(&t);
    h.sendSentence(name, params, 0);
    QCOMPARE(t.written, wire);
    // "CM1" belongs to the sentences that are never logged.
    const QStringList logged = wire.startsWith("CM1") ? QStringList{} : QStringList{"<-" + QString::fromLatin1(wire.chopped(1))};
    QCOMPARE(log.lines(), logged);
}

void TestSentenceFraming::unsentSentenceIsNotLoggedAsSent()
{
    LogCapture log;
    Communicator closed; // no port open: the write fails
    Y5ProtocolHandler h(&closed);
    h.sendSentence("VR1,", "?", 0);
    QCOMPARE(log.lines(), QStringList{"Not sent: VR1,?,D7"});
}

void TestSentenceFraming::quietSentencesAreNotLogged_data()
{
    QTest::addColumn<QString>("name");
    for (const char* n : {"CM1,", "CM3,", "SR1,", "SR2,", "SS2,"})
        QTest::newRow(n) << n;
}

void TestSentenceFraming::quietSentencesAreNotLogged()
{
    QFETCH(QString, name);
    LogCapture log;
    FeedTransport t;
    Y5ProtocolHandler h(&t);
    h.sendSentence(name, "?", 0);
    QVERIFY(t.written.startsWith(name.toLatin1()));
    QVERIFY(log.lines().isEmpty());
}

void TestSentenceFraming::nonLatin1IsSummedAsWritten()
{
    FeedTransport t;
    Y5ProtocolHandler h(&t);
    h.sendSentence("TX1,", QString::fromUtf8("caf\u00e9 \u20ac"), 0);
    QVERIFY(t.written.endsWith('\r'));
    int len = t.written.size() - 1;
    QVERIFY(Y5ProtocolHandler::checkSentenceCrc(t.written.constData(), len));
    QCOMPARE(QByteArray(t.written.constData(), len), QByteArray("TX1,caf\xe9 ?"));
}

void TestSentenceFraming::canUpdateBusyPausesExactly15ms_data()
{
    QTest::addColumn<bool>("busy");
    QTest::addColumn<int>("delay");
    QTest::addColumn<int>("minMs");
    // A busy updater that let the caller's ten minutes through would hang the test.
    QTest::newRow("busy, delay 0") << true << 0 << 15;
    QTest::newRow("busy, delay 10 min") << true << 600000 << 15;
    QTest::newRow("idle, delay 200") << false << 200 << 200;
}

void TestSentenceFraming::canUpdateBusyPausesExactly15ms()
{
    QFETCH(bool, busy);
    QFETCH(int, delay);
    QFETCH(int, minMs);
    FeedTransport t;
    Y5ProtocolHandler h(&t);
    h.setCanUpdateBusyProbe([busy] { return busy; });
    QElapsedTimer timer;
    timer.start();
    h.sendSentence("VR1,", "?", unsigned(delay));
    const qint64 took = timer.elapsed();
    QVERIFY2(took >= minMs, qPrintable(QString::number(took)));
    QCOMPARE(t.written, QByteArray("VR1,?,D7\r"));
}

void TestSentenceFraming::passwordsNeverReachTheLog_data()
{
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("logged");
    QTest::newRow("sent") << "<-PW1,secret,3A\r" << "<-PW1,****";
    QTest::newRow("received") << "PW1,secret" << "PW1,****";
    QTest::newRow("rejected") << "x>PW1,secret,00<x" << "x>PW1,****<x";
    QTest::newRow("password change sent") << "<-PW2,newsecret,5C\r" << "<-PW2,****";
    QTest::newRow("password change rejected") << "x>PW2,newsecret,00<x" << "x>PW2,****<x";
    QTest::newRow("other sentence") << "<-PW3,?,11" << "<-PW3,?,11";
    QTest::newRow("carriage return dropped") << "<-VR1,?,D7\r" << "<-VR1,?,D7";
}

void TestSentenceFraming::passwordsNeverReachTheLog()
{
    QFETCH(QString, message);
    QFETCH(QString, logged);
    LogCapture log;
    logMessage(message, 0);
    QCOMPARE(log.lines(), QStringList{logged});

    // The whole road: a password sent by the handler.
    if (message.startsWith("<-PW1")) {
        log.clear();
        FeedTransport t;
        Y5ProtocolHandler h(&t);
        h.sendSentence("PW1,", "hunter2", 0);
        QVERIFY(t.written.startsWith("PW1,hunter2,"));
        QCOMPARE(log.lines(), QStringList{"<-PW1,****"});
    }
}

void TestSentenceFraming::debugLevels()
{
    initDebugLevels();
    QVERIFY(isDebugLevelEnabled(DBG_COMM_PORT, 3));
    QVERIFY(!isDebugLevelEnabled(DBG_COMM_PORT, 4));
    QVERIFY(!isDebugLevelEnabled(3, 1));
    QVERIFY(!isDebugLevelEnabled(1, 5));
    QVERIFY(!isDebugLevelEnabled(-1, 0));
    setDebugLevel(1, 9); // ignored
    QVERIFY(isDebugLevelEnabled(1, 3));
    setDebugLevel(1, 0);
    QVERIFY(!isDebugCategoryOn(1));
    initDebugLevels();
    QVERIFY(debugTimestampMs() >= 0);
}

void TestSentenceFraming::frameCodec()
{
    FrameRecord rec;
    rec.type = 0x2A;
    rec.flag6 = 1;
    rec.low3 = 5;
    rec.high3 = 6;
    rec.value = 0x01020304;
    int total = 0;
    uint8_t sum = 0;
    uint8_t out[10];
    QVERIFY(encodeFrame(&rec, out, &total, &sum));
    QCOMPARE(total, 10);
    uint8_t all = 0;
    addToChecksum(out, 10, &all);
    QCOMPARE(int(all), 0);
    QCOMPARE(int(out[9]), int(sum));

    FrameRecord back;
    QVERIFY(decodeFrameHeader(out, &back));
    QCOMPARE(back.type, 0x2A);
    QCOMPARE(back.flag6, 1);
    QCOMPARE(back.flag7, 0);
    QCOMPARE(back.low3, 5);
    QCOMPARE(back.high3, 6);
    QCOMPARE(back.value, 0x01020304u);
    QCOMPARE(int(back.length), 0);

    const uint8_t payload[3] = {1, 2, 0xFD};
    rec.length = 3;
    rec.payload = payload;
    uint8_t out13[13];
    QVERIFY(encodeFrame(&rec, out13, &total, &sum));
    QCOMPARE(total, 13);
    all = 0;
    addToChecksum(out13, 13, &all);
    QCOMPARE(int(all), 0);
    QVERIFY(!encodeFrame(nullptr, out13, &total, &sum));

    FrameRecord untouched;
    untouched.value = 77;
    out[0] = 0xA4;
    QVERIFY(!decodeFrameHeader(out, &untouched));
    QCOMPARE(untouched.value, 77u);
    QCOMPARE(isFrameStart(0xA5), 0);
    QCOMPARE(isFrameStart(0x00), -1);
    rec.length = 1025;
    QVERIFY(!isFrameLengthValid(rec));
}

void TestSentenceFraming::logFrameStaysInsideThePayload()
{
    // A short payload on the heap: reading past it is an ASan report.
    std::unique_ptr<uint8_t[]> payload(new uint8_t[5]{0xDE, 0xAD, 0xBE, 0xEF, 0x01});
    FrameRecord rec;
    rec.type = 7;
    rec.value = 9;
    rec.length = 5;
    rec.payload = payload.get();
    QCOMPARE(formatFrame("P", rec), QString("P: : 9 - 7 [5]  DEADBEEF  -- -- -- -- -- -- -- --"));
    rec.type = 2;
    std::unique_ptr<uint8_t[]> text(new uint8_t[2]{'h', 'i'});
    rec.payload = text.get();
    rec.length = 2;
    QCOMPARE(formatFrame("P", rec), QString("P: 9 - 2 [2] hi"));
    rec.type = 3;
    QCOMPARE(formatFrame("P", rec), QString("P: 9 - 3 [2] ..."));
    LogCapture log;
    logFrame("P", rec);
    QCOMPARE(log.lines().size(), 1);
}

QTEST_GUILESS_MAIN(TestSentenceFraming)
#include "tst_sentenceframing.moc"
