// The route-frame update of a CAN device: the real transport and handler
// against the control-unit emulator with a route bootloader behind it.
#include "RouteBootloaderSim.h"
#include "CommunicatorSelector.h"
#include "SimLink.h"
#include "Y5CanFwUpdater.h"
#include "Y5CanProtocolHandler.h"

#include <QTest>

namespace {

// One Intel HEX record as text, with its leading ':'.
QByteArray hexRecord(quint16 address, quint8 type, const QByteArray& data)
{
    QByteArray r;
    r.append(char(data.size())).append(char(address >> 8)).append(char(address & 0xFF)).append(char(type));
    r.append(data);
    quint8 sum = 0;
    for (char c : r)
        sum = quint8(sum + quint8(c));
    r.append(char(quint8(0x100 - sum)));
    return ':' + r.toHex().toUpper();
}

QByteArray pattern(int n, int seed)
{
    QByteArray b;
    for (int i = 0; i < n; ++i)
        b.append(char((i * 7 + seed) & 0xFF));
    return b;
}

QByteArray decodedRecord(const QByteArray& text)
{
    return QByteArray::fromHex(text.mid(1));
}

struct Event
{
    QString kind; // "op", "status", "progress"
    int a = 0;
    int b = 0;
    QString text;
};

} // namespace

class TestCanFwUpdate : public QObject
{
    Q_OBJECT

    struct Rig
    {
        SimLink link;
        RouteBootloaderSim device;
        Y5CanFwUpdater updater{link.comm};
        QList<Event> events;
        QObject context;

        Rig(quint16 type, quint32 serial) : device(type, serial)
        {
            // The enter command's pace, the long records' settling and the
            // longest reply waits, shortened (a reply ends a wait at once, and
            // late enter replies still count in a later attempt).
            Y5CanTiming timing;
            timing.enterWaitMs = 40;
            timing.enterGapMs = 10;
            timing.longRecordSettleMs = 50;
            timing.leaveReplyMs = 1000;
            timing.shortRecordGraceMs = 300;
            updater.protocolHandler()->setTiming(timing);
            link.handler.setCanUpdateBusyProbe([this] { return updater.isBusy(); });
            // The window's pump: it leaves the queue to the updater while busy.
            QObject::connect(link.comm, &CommunicatorBase::sigReceivedSentence, &context, [this] {
                if (updater.isBusy())
                    return;
                QString line;
                while (link.handler.getSentence(line))
                    link.handler.applyReplyFlags(line);
            }, Qt::QueuedConnection);
            QObject::connect(link.comm, &CommunicatorBase::sigCanDeviceOperationStatus, &context,
                             [this](int s, int op) { events.append({QStringLiteral("op"), s, op, {}}); });
            QObject::connect(link.comm, &CommunicatorBase::sigCanUpdateStatus, &context,
                             [this](int st, int c, const QString& t) { events.append({QStringLiteral("status"), st, c, t}); });
            QObject::connect(link.comm, &CommunicatorBase::sigCanUpdateProgress, &context,
                             [this](int v) { events.append({QStringLiteral("progress"), v, 0, {}}); });
        }
        ~Rig()
        {
            device.uninstall();
            link.stop();
        }
        bool start()
        {
            device.install(link.sim);
            return link.start() && link.waitLinked();
        }
        bool ended() const
        {
            for (const Event& e : events)
                if (e.kind == QLatin1String("op") && e.a != 0)
                    return true;
            return false;
        }
        QList<QPair<int, int>> statuses() const
        {
            QList<QPair<int, int>> r;
            for (const Event& e : events)
                if (e.kind == QLatin1String("status"))
                    r.append({e.a, e.b});
            return r;
        }
        QList<int> opStatuses() const
        {
            QList<int> r;
            for (const Event& e : events)
                if (e.kind == QLatin1String("op"))
                    r.append(e.a);
            return r;
        }
        int lastProgress() const
        {
            for (int i = events.size() - 1; i >= 0; --i)
                if (events.at(i).kind == QLatin1String("progress"))
                    return events.at(i).a;
            return -100;
        }
    };

private slots:
    void recordBuffers();
    void update_data();
    void update();
    void deviceFailures_data();
    void deviceFailures();
    void refusedStarts();
    void controlUnitRefusesConfigMode();
    void stopDuringUpdateEndsIt();
    void followsTheSelectedTransport();
};

void TestCanFwUpdate::recordBuffers()
{
    // 21 record bytes: the short buffer is count 22, the bytes, a checksum.
    const QByteArray rec = hexRecord(0x1000, 0, pattern(16, 3)).mid(1);
    QCOMPARE(rec.size(), 42);
    const QByteArray s = Y5CanProtocolHandler::shortRecordBuffer(QString::fromLatin1(rec));
    QCOMPARE(s.size(), 23);
    QCOMPARE(quint8(s.at(0)), quint8(22));
    quint8 sum = 0;
    for (char c : s)
        sum = quint8(sum + quint8(c));
    QCOMPARE(sum, quint8(0));
    const QByteArray l = Y5CanProtocolHandler::longRecordBuffer(QString::fromLatin1(rec));
    QCOMPARE(l.size(), 23);
    QCOMPARE(quint8(l.at(0)), quint8(21));
    QCOMPARE(quint8(l.at(1)), quint8(0));
    QCOMPARE(l.mid(2), QByteArray::fromHex(rec));
    // Text that is not whole hex pairs is never sent.
    QVERIFY(Y5CanProtocolHandler::shortRecordBuffer(QStringLiteral("10000G")).isEmpty());
    QVERIFY(Y5CanProtocolHandler::shortRecordBuffer(QStringLiteral("100")).isEmpty());
    QVERIFY(Y5CanProtocolHandler::longRecordBuffer(QStringLiteral("+1")).isEmpty());
}

void TestCanFwUpdate::update_data()
{
    QTest::addColumn<quint16>("type");
    QTest::addColumn<bool>("alternateId");
    QTest::addColumn<bool>("endRecord");
    QTest::newRow("short records") << quint16(5) << false << true;
    QTest::newRow("long records, splitter gen2") << quint16(13) << false << true;
    QTest::newRow("replies from 0x1FFFE5E6") << quint16(5) << true << true;
    QTest::newRow("no end-of-file record: the last record still goes") << quint16(5) << false << false;
}

void TestCanFwUpdate::update()
{
    QFETCH(quint16, type);
    QFETCH(bool, alternateId);
    QFETCH(bool, endRecord);
    Rig rig(type, 0x12345678);
    rig.device.setAlternateReplyId(alternateId);
    QVERIFY(rig.start());

    const QByteArray r0 = hexRecord(0x0000, 0, pattern(16, 1));
    const QByteArray r1 = hexRecord(0x0010, 0, pattern(5, 9));
    QByteArray image = r0 + r1;
    if (endRecord)
        image += ":00000001FF";
    QVERIFY(rig.updater.start(&image, type, 0x12345678));
    QVERIFY(rig.updater.isBusy());
    QTRY_VERIFY_WITH_TIMEOUT(rig.ended(), 60000);
    QTRY_VERIFY_WITH_TIMEOUT(!rig.updater.isBusy(), 5000);

    QCOMPARE(rig.opStatuses(), (QList<int>{0, 1}));
    const QList<QPair<int, int>> expected{{1, 0}, {1, 1}, {2, 0}, {2, 1}, {3, 1}};
    QCOMPARE(rig.statuses(), expected);
    QCOMPARE(rig.lastProgress(), 100);
    QCOMPARE(rig.device.records(), (QList<QByteArray>{decodedRecord(r0), decodedRecord(r1)}));
    QCOMPARE(rig.device.recordsRefused(), 0);
    QVERIFY(rig.device.enterRequests() >= 7);
    QTRY_VERIFY_WITH_TIMEOUT(!rig.link.sim.configMode(), 5000);

    // The first record (21 bytes) goes as four frames.
    QList<RouteBootloaderSim::Frame> recordFrames;
    for (const auto& f : rig.device.frames())
        if (quint8(f.data.at(0)) == 0x08)
            recordFrames.append(f);
    QVERIFY(recordFrames.size() >= 4);
    const quint8 firstSeq = type == 13 ? 0 : 0x0A;
    const int lengths[4] = {8, 8, 8, 7};
    for (int i = 0; i < 4; ++i) {
        QCOMPARE(quint8(recordFrames.at(i).data.at(1)), quint8(firstSeq + i));
        QCOMPARE(recordFrames.at(i).data.size(), lengths[i]);
    }
}

void TestCanFwUpdate::deviceFailures_data()
{
    QTest::addColumn<int>("fault");
    QTest::addColumn<QList<int>>("lastStatus");
    QTest::addColumn<int>("opStatus");
    QTest::addColumn<int>("stored");
    QTest::newRow("enter answered six times") << 0 << QList<int>{1, 2} << 2 << 0;
    QTest::newRow("check unanswered") << 1 << QList<int>{1, 3} << 2 << 0;
    QTest::newRow("record refused twice, then taken") << 2 << QList<int>{3, 1} << 1 << 1;
    QTest::newRow("record refused three times") << 3 << QList<int>{2, 4} << 2 << 0;
    QTest::newRow("record unanswered twice, then taken") << 4 << QList<int>{3, 1} << 1 << 1;
    QTest::newRow("application refused at the end") << 5 << QList<int>{3, 4} << 2 << 1;
}

void TestCanFwUpdate::deviceFailures()
{
    QFETCH(int, fault);
    QFETCH(QList<int>, lastStatus);
    QFETCH(int, opStatus);
    QFETCH(int, stored);
    Rig rig(7, 42);
    switch (fault) {
    case 0: rig.device.setEnterReplyLimit(6); break;
    case 1: rig.device.setCheckFails(true); break;
    case 2: rig.device.rejectNextRecords(2); break;
    case 3: rig.device.rejectNextRecords(3); break;
    case 4: rig.device.ignoreNextRecords(2); break;
    case 5: rig.device.setBadApplication(true); break;
    }
    QVERIFY(rig.start());
    QByteArray image = hexRecord(0, 0, pattern(8, 2)) + ":00000001FF";
    QVERIFY(rig.updater.start(&image, 7, 42));
    QTRY_VERIFY_WITH_TIMEOUT(rig.ended(), 60000);
    const auto statuses = rig.statuses();
    QVERIFY(!statuses.isEmpty());
    QCOMPARE(statuses.last(), qMakePair(lastStatus.at(0), lastStatus.at(1)));
    // A failed device update is never reported as finished.
    QCOMPARE(rig.opStatuses(), (QList<int>{0, opStatus}));
    QCOMPARE(rig.device.recordsStored(), stored);
    // The device is always told to leave its bootloader, and the unit its
    // configuration mode.
    QVERIFY(rig.device.leaveRequests() >= 1);
    QTRY_VERIFY_WITH_TIMEOUT(!rig.link.sim.configMode(), 5000);
    QTRY_VERIFY_WITH_TIMEOUT(!rig.updater.isBusy(), 5000);
}

void TestCanFwUpdate::refusedStarts()
{
    Rig rig(5, 1);
    QByteArray image = hexRecord(0, 0, pattern(4, 0));
    // Not linked.
    QVERIFY(!rig.updater.start(&image, 5, 1));
    QVERIFY(!rig.updater.isBusy());
    // An empty image is dropped when the loop takes it, without a word.
    rig.updater.armed = true;
    QVERIFY(!rig.updater.process());
    QVERIFY(!rig.updater.isBusy());
}

void TestCanFwUpdate::controlUnitRefusesConfigMode()
{
    Rig rig(5, 1);
    rig.link.sim.setConfigModeConfirmed(false);
    QVERIFY(rig.start());
    QByteArray image = hexRecord(0, 0, pattern(4, 0));
    QVERIFY(rig.updater.start(&image, 5, 1));
    // A second start while armed is refused.
    QVERIFY(!rig.updater.start(&image, 5, 1));
    QTRY_VERIFY_WITH_TIMEOUT(rig.ended(), 60000);
    QCOMPARE(rig.opStatuses(), QList<int>{2});
    QCOMPARE(rig.statuses(), (QList<QPair<int, int>>{{0, 5}}));
    QVERIFY(!rig.events.isEmpty());
    QCOMPARE(rig.device.enterRequests(), 0);
    QVERIFY(!rig.updater.isBusy());
}

void TestCanFwUpdate::stopDuringUpdateEndsIt()
{
    Rig rig(5, 1);
    rig.device.setEnterReplyLimit(0); // the update would retry for seconds
    QVERIFY(rig.start());
    QByteArray image = hexRecord(0, 0, pattern(4, 0));
    QVERIFY(rig.updater.start(&image, 5, 1));
    QTRY_VERIFY_WITH_TIMEOUT(rig.device.enterRequests() >= 2, 30000);
    // The stop ends the update in its next wait: the loop returns.
    rig.link.stop();
    QVERIFY(!rig.updater.isBusy());
}

void TestCanFwUpdate::followsTheSelectedTransport()
{
    Communicator first;
    Communicator second;
    Y5CanFwUpdater updater(&first);
    QCOMPARE(updater.owner(), &first);
    emit CommunicatorSelector::instance()->CommunicatorChanged(CommunicatorSelector::Bluetooth, &second);
    QCOMPARE(updater.owner(), &second);
    QCOMPARE(updater.protocolHandler()->owner(), &second);
    // Its loop pass now runs the update, the old one's does not.
    updater.armed = true;
    emit first.sigCanProcess();
    QVERIFY(updater.armed);
    emit second.sigCanProcess(); // no image: dropped
    QVERIFY(!updater.armed);
}

QTEST_MAIN(TestCanFwUpdate)
#include "tst_canfwupdate.moc"
