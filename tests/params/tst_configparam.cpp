// The configuration parameter's value rules and the "CF2" reply wait that the
// configuration page and the loader share.

#include "ConfigParam.h"
#include "ParamReplyWait.h"

#include <QElapsedTimer>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <cmath>
#include <thread>

class TestConfigParam : public QObject
{
    Q_OBJECT
private slots:
    void defaults();
    void mergeUnderMask_data();
    void mergeUnderMask();
    void limits_data();
    void limits();
    void replyLine_data();
    void replyLine();
    void replyWait_data();
    void replyWait();
    void replyFromAnotherThreadEndsTheWait();
    void stopEndsTheWait();
    void waitInTheReplyHandlersThread();
};

void TestConfigParam::defaults()
{
    ConfigParam p;
    QCOMPARE(p.bitMask, 0xFFFFFFFFu);
    QCOMPARE(p.rawMinimum, 0u);
    QCOMPARE(p.rawMaximum, 0xFFFFFFFFu);
    QCOMPARE(p.featureId, -1);
    QCOMPARE(p.editState, 0);
    QCOMPARE(p.paramId(), -1);
    ConfigParamSlot slot;
    slot.id = 0x1608;
    p.slot = &slot;
    QCOMPARE(p.paramId(), 0x1608);
}

void TestConfigParam::mergeUnderMask_data()
{
    QTest::addColumn<uint>("mask");
    QTest::addColumn<uint>("record");
    QTest::addColumn<uint>("editor");
    QTest::addColumn<uint>("merged");
    QTest::newRow("all bits") << 0xFFFFFFFFu << 0x12345678u << 0xCAFEu << 0xCAFEu;
    // The editor's value is already placed in bits 8..15 by its scale.
    QTest::newRow("bits 8..15") << 0xFF00u << 0x12345678u << 0xAB00u << 0x1234AB78u;
    QTest::newRow("bits 8..15, editor bits outside ignored") << 0xFF00u << 0x12345678u << 0xFFFFAB12u
                                                             << 0x1234AB78u;
    QTest::newRow("bits 8..15, not shifted") << 0xFF00u << 0x12345678u << 0xABu << 0x12340078u;
    QTest::newRow("one flag set") << 0x0800u << 0x00000001u << 0x0800u << 0x00000801u;
    QTest::newRow("one flag cleared") << 0x0800u << 0xFFFFFFFFu << 0u << 0xFFFFF7FFu;
}

void TestConfigParam::mergeUnderMask()
{
    QFETCH(uint, mask);
    QFETCH(uint, record);
    QFETCH(uint, editor);
    QFETCH(uint, merged);
    ConfigParam p;
    p.bitMask = mask;
    QCOMPARE(p.mergedValue(record, editor), merged);
}

void TestConfigParam::limits_data()
{
    QTest::addColumn<uint>("raw");
    QTest::addColumn<uint>("shown");
    QTest::addColumn<double>("edited");
    QTest::addColumn<double>("committed");
    // Raw limits 10..200, edit limits -5.5..40.
    QTest::newRow("inside") << 100u << 100u << 12.25 << 12.25;
    QTest::newRow("at the limits") << 10u << 10u << 40.0 << 40.0;
    QTest::newRow("below") << 3u << 10u << -6.0 << -5.5;
    QTest::newRow("above") << 0xFFFFFFFFu << 200u << 1e9 << 40.0;
    QTest::newRow("not a number") << 0u << 10u << std::nan("") << -5.5;
}

void TestConfigParam::limits()
{
    QFETCH(uint, raw);
    QFETCH(uint, shown);
    QFETCH(double, edited);
    QFETCH(double, committed);
    ConfigParam p;
    p.rawMinimum = 10;
    p.rawMaximum = 200;
    p.minimum = -5.5;
    p.maximum = 40.0;
    QCOMPARE(p.shownRaw(raw), shown);
    QCOMPARE(p.committedValue(edited), committed);
}

void TestConfigParam::replyLine_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<int>("id");
    QTest::addColumn<QString>("value");
    QTest::newRow("read reply") << "CF2,0010,1E" << true << 0x10 << "1E";
    QTest::newRow("lower case") << "CF2,1a0f,00ff00ff" << true << 0x1A0F << "00ff00ff";
    QTest::newRow("short id") << "CF2,10,5" << true << 0x10 << "5";
    QTest::newRow("our own query") << "CF2,0010,?" << false << 0 << "";
    QTest::newRow("empty value") << "CF2,0123," << true << 0x123 << "";
    QTest::newRow("no value field") << "CF2,0010" << false << 0 << "";
    QTest::newRow("id too long") << "CF2,10010,1" << false << 0 << "";
    QTest::newRow("value too long") << "CF2,0010,123456789" << false << 0 << "";
    QTest::newRow("extra field") << "CF2,0010,1E,5" << false << 0 << "";
    QTest::newRow("other sentence") << "CF1,0010,1E" << false << 0 << "";
    QTest::newRow("prefixed value") << "CF2,0010,0x1E" << false << 0 << "";
    QTest::newRow("blank in value") << "CF2,0010, 1E" << false << 0 << "";
    QTest::newRow("signed id") << "CF2,-010,1E" << false << 0 << "";
}

void TestConfigParam::replyLine()
{
    QFETCH(QString, line);
    QFETCH(bool, ok);
    QFETCH(int, id);
    QFETCH(QString, value);
    int gotId = 0;
    QString gotValue;
    QCOMPARE(parseParamReplyLine(line, &gotId, &gotValue), ok);
    if (ok) {
        QCOMPARE(gotId, id);
        QCOMPARE(gotValue, value);
    }
}

void TestConfigParam::replyWait_data()
{
    QTest::addColumn<int>("awaited");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<int>("replyId");
    QTest::addColumn<QString>("replyValue");
    QTest::addColumn<bool>("ends");
    QTest::newRow("the awaited id") << 0x11 << "" << 0x11 << "7" << true;
    // A late reply for the parameter read before must not count as this one.
    QTest::newRow("the previous id") << 0x11 << "" << 0x10 << "7" << false;
    QTest::newRow("expected value") << 0x11 << "1E" << 0x11 << "001e" << true;
    QTest::newRow("other value") << 0x11 << "1E" << 0x11 << "1F" << false;
    QTest::newRow("empty value for a read") << 0x123 << "" << 0x123 << "" << true;
    QTest::newRow("empty value for a write") << 0x123 << "1E" << 0x123 << "" << false;
    QTest::newRow("empty value of the previous id") << 0x123 << "" << 0x122 << "" << false;
    QTest::newRow("nothing awaited") << -1 << "" << 0x11 << "7" << false;
}

void TestConfigParam::replyWait()
{
    QFETCH(int, awaited);
    QFETCH(QString, expected);
    QFETCH(int, replyId);
    QFETCH(QString, replyValue);
    QFETCH(bool, ends);
    ParamReplyWait wait;
    std::atomic<bool> stop{false};
    if (awaited >= 0)
        wait.expect(awaited, expected);
    // The reply may come before the waiter starts waiting.
    QCOMPARE(wait.noteReply(replyId, replyValue), ends);
    QElapsedTimer t;
    t.start();
    QCOMPARE(wait.wait(stop), ends);
    if (ends) {
        QVERIFY(!wait.isWaiting());
        // Once over, a repeated reply does not end a later wait.
        QVERIFY(!wait.noteReply(replyId, replyValue));
        QVERIFY(!wait.wait(stop, 20));
    } else {
        QVERIFY(t.elapsed() >= ParamReplyWait::kReplyTimeoutMs - 1);
    }
}

void TestConfigParam::replyFromAnotherThreadEndsTheWait()
{
    ParamReplyWait wait;
    std::atomic<bool> stop{false};
    wait.expect(0x0100);
    std::thread gui([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        wait.noteReply(0x00FF, "1");
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        wait.noteReply(0x0100, "10");
    });
    QElapsedTimer t;
    t.start();
    const bool got = wait.wait(stop, 2000);
    const qint64 ms = t.elapsed();
    gui.join();
    QVERIFY(got);
    // Not ended by the other id's reply.
    QVERIFY2(ms >= 35, qPrintable(QString::number(ms)));
}

void TestConfigParam::stopEndsTheWait()
{
    ParamReplyWait wait;
    std::atomic<bool> stop{false};
    wait.expect(0x0100);
    std::thread gui([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        stop = true;
    });
    QElapsedTimer t;
    t.start();
    const bool got = wait.wait(stop, 120000);
    const qint64 ms = t.elapsed();
    gui.join();
    QVERIFY(!got);
    // Ended by the stop, far ahead of its own time-out.
    QVERIFY2(ms < 60000, qPrintable(QString::number(ms)));
}

void TestConfigParam::waitInTheReplyHandlersThread()
{
    // A wait in the GUI thread (a write from the configuration file) lets the
    // reply handling, which runs in that same thread, deliver the echo.
    ParamReplyWait wait;
    std::atomic<bool> stop{false};
    wait.expect(0x0010, "1E");
    QTimer::singleShot(10, [&] { wait.noteReply(0x0010, "1F"); });
    QTimer::singleShot(30, [&] { wait.noteReply(0x0010, "1E"); });
    QElapsedTimer t;
    t.start();
    QVERIFY(wait.wait(stop, 2000));
    // Not ended by the first, different echo.
    QVERIFY2(t.elapsed() >= 25, qPrintable(QString::number(t.elapsed())));
}

QTEST_GUILESS_MAIN(TestConfigParam)
#include "tst_configparam.moc"
