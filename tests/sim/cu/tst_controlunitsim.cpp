// The emulator's own framing and fault knobs, seen from a plain port.
#include "ControlUnitSim.h"
#include "SerialPort.h"
#include "Y5ProtocolHandler.h"

#include <QElapsedTimer>
#include <QtTest>

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
    void customHandler();

private:
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

QTEST_GUILESS_MAIN(TestControlUnitSim)
#include "tst_controlunitsim.moc"
