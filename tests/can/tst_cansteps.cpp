// The step operations, the control unit's configuration mode and the
// discovery, driven tick by tick against a link without a port.
#include "FakeCanLink.h"
#include "canConfig.h"

#include <QLoggingCategory>
#include <QProgressDialog>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

namespace {
QString line(quint32 id, const QByteArray& data, bool extended = true)
{
    return QStringLiteral("CN1,%1,%2,0,%3,%4")
        .arg(id, 8, 16, QLatin1Char('0'))
        .arg(extended ? 1 : 0)
        .arg(data.size())
        .arg(QString::fromLatin1(data.toHex().toUpper()))
        .toUpper();
}
QString routeReply(const QByteArray& data, quint32 id = 0x1FFFFEE6)
{
    return line(id, data);
}
QByteArray le32(quint32 v)
{
    QByteArray b;
    for (int i = 0; i < 4; ++i)
        b.append(char((v >> (8 * i)) & 0xFF));
    return b;
}
QByteArray address(quint16 type, quint32 serial)
{
    QByteArray b;
    b.append(char(type & 0xFF)).append(char(type >> 8));
    return b + le32(serial);
}

struct Rig
{
    FakeCanLink* link = new FakeCanLink;
    canConfig cc{std::unique_ptr<CanLinkServices>(link)};
    QSignalSpy status{&cc, &canConfig::sigCanDeviceOperationStatus};
};

using Step = quint8 (*)(canConfig&);
} // namespace

class TstCanSteps : public QObject
{
    Q_OBJECT
private slots:
    void init() { QLoggingCategory::setFilterRules(QStringLiteral("bms.can.debug=false")); }
    void timeouts_data();
    void timeouts();
    void replies_data();
    void replies();
    void lateReplyIsDroppedAtTheNextSend();
    void framesDroppedWhileUnlinked();
    void enterNeedsTheMarker();
    void enterAfterTwoAcknowledgements();
    void cellCount();
    void cellCountError();
    void enumeration();
    void filterWords_data();
    void filterWords();
    void plainModeFallback();
    void discoveryOfManyDevices();
    void refusedModeSaysSo_data();
    void refusedModeSaysSo();
    void commitRefusesWrappingIdentifiers_data();
    void commitRefusesWrappingIdentifiers();
    void ticksWaitForModeChanges();
    void sortingRetryIsAskedEachTime();
    void progressDialog();
};

// How each route step waits: when it resends and when it gives up.
void TstCanSteps::timeouts_data()
{
    QTest::addColumn<int>("op");
    QTest::addColumn<int>("firstWait");  // waiting calls that return 0 before the resend / give-up
    QTest::addColumn<int>("secondWait"); // after a resend; -1 none
    QTest::addColumn<int>("final");
    QTest::addColumn<QString>("request");
    QTest::newRow("leave") << 0 << 33 << 100 << 4 << "1FFFFEE5,1,0,8,02FD010002010000";
    QTest::newRow("read base id") << 1 << 17 << -1 << 3 << "1FFFFEE5,1,0,8,03FC010002010000";
    QTest::newRow("set base id, 11-bit") << 2 << 17 << -1 << 3 << "1FFFFEE5,1,0,6,04FB14050000";
    QTest::newRow("set secondary id, 29-bit") << 3 << 17 << -1 << 3 << "1FFFFEE5,1,0,6,05FA08001080";
    QTest::newRow("set speed") << 4 << 17 << -1 << 4 << "1FFFFEE5,1,0,3,06F903";
    QTest::newRow("read version") << 5 << 17 << 17 << 3 << "1FFFFEE5,1,0,8,09F6010002010000";
    QTest::newRow("set parameter") << 6 << 33 << -1 << 4 << "1FFFFEE5,1,0,8,0BF43412EFBEADDE";
}

static quint8 runOp(canConfig& cc, int op)
{
    switch (op) {
    case 0: return cc.routeLeaveConfigMode(1, 0x102);
    case 1: return cc.routeReadBaseId(1, 0x102);
    case 2: return cc.routeSetBaseId(0x1514, false);
    case 3: return cc.routeSetSecondaryId(0x100008, true);
    case 4: return cc.routeSetCanSpeed(3);
    case 5: return cc.routeReadSoftwareVersion(1, 0x102);
    default: return cc.routeSetParameter(0x1234, 0xDEADBEEF);
    }
}

void TstCanSteps::timeouts()
{
    QFETCH(int, op);
    QFETCH(int, firstWait);
    QFETCH(int, secondWait);
    QFETCH(int, final);
    QFETCH(QString, request);
    Rig r;
    QCOMPARE(runOp(r.cc, op), quint8(1));
    QCOMPARE(r.link->sent, QStringList{"CN1," + request});
    for (int i = 0; i < firstWait; ++i)
        QCOMPARE(runOp(r.cc, op), quint8(0));
    if (secondWait >= 0) {
        QCOMPARE(runOp(r.cc, op), quint8(1)); // resent
        QCOMPARE(r.link->sent.size(), 2);
        QCOMPARE(r.link->sent.last(), r.link->sent.first());
        for (int i = 0; i < secondWait; ++i)
            QCOMPARE(runOp(r.cc, op), quint8(0));
    }
    QCOMPARE(runOp(r.cc, op), quint8(final));
    // Idle again: the next call sends afresh.
    QCOMPARE(runOp(r.cc, op), quint8(1));
}

void TstCanSteps::replies_data()
{
    QTest::addColumn<int>("op");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<quint32>("replyId");
    QTest::addColumn<int>("result");
    QTest::newRow("leave ok") << 0 << QByteArray::fromHex("02FD0000") << 0x1FFFFEE6u << 2;
    QTest::newRow("leave refused") << 0 << QByteArray::fromHex("02FD0100") << 0x1FFFFEE6u << 3;
    QTest::newRow("leave ok from E5E6") << 0 << QByteArray::fromHex("02FD0000") << 0x1FFFE5E6u << 2;
    QTest::newRow("base id") << 1 << QByteArray::fromHex("03FC000008001080") << 0x1FFFFEE6u << 2;
    QTest::newRow("set base id taken") << 2 << QByteArray::fromHex("04FB0000") << 0x1FFFFEE6u << 2;
    // A refused identifier is a failure, not a success.
    QTest::newRow("set base id refused") << 2 << QByteArray::fromHex("04FB0100") << 0x1FFFFEE6u << 3;
    QTest::newRow("set secondary id refused") << 3 << QByteArray::fromHex("05FA0200") << 0x1FFFFEE6u << 3;
    QTest::newRow("speed ok") << 4 << QByteArray::fromHex("06F90000") << 0x1FFFFEE6u << 2;
    QTest::newRow("speed refused") << 4 << QByteArray::fromHex("06F90100") << 0x1FFFFEE6u << 3;
    QTest::newRow("version") << 5 << QByteArray::fromHex("09F6040302010000") << 0x1FFFFEE6u << 2;
    QTest::newRow("parameter refused") << 6 << QByteArray::fromHex("0BF40500") << 0x1FFFFEE6u << 3;
    QTest::newRow("bad complement ignored") << 0 << QByteArray::fromHex("02FC0000") << 0x1FFFFEE6u << 0;
    QTest::newRow("other command ignored") << 0 << QByteArray::fromHex("03FC0000") << 0x1FFFFEE6u << 0;
    QTest::newRow("foreign id ignored") << 0 << QByteArray::fromHex("02FD0000") << 0x1FFFFEE7u << 0;
}

void TstCanSteps::replies()
{
    QFETCH(int, op);
    QFETCH(QByteArray, reply);
    QFETCH(quint32, replyId);
    QFETCH(int, result);
    Rig r;
    r.cc.setProperty("busy", true);
    QCOMPARE(runOp(r.cc, op), quint8(1));
    r.cc.processSentence(line(replyId, reply));
    QCOMPARE(runOp(r.cc, op), quint8(result));
    if (op == 1 && result == 2)
        QCOMPARE(r.cc.readBaseIdValue(), 0x80100008u);
    if (op == 5)
        QCOMPARE(r.cc.readSoftwareVersionValue(), 0x01020304u);
}

void TstCanSteps::lateReplyIsDroppedAtTheNextSend()
{
    Rig r;
    QCOMPARE(r.cc.routeReadBaseId(1, 2), quint8(1));
    for (int i = 0; i < 17; ++i)
        QCOMPARE(r.cc.routeReadBaseId(1, 2), quint8(0));
    QCOMPARE(r.cc.routeReadBaseId(1, 2), quint8(3));
    r.cc.processSentence(routeReply(QByteArray::fromHex("03FC000011000000")));
    QCOMPARE(r.cc.routeReadBaseId(1, 2), quint8(1));
    QCOMPARE(r.cc.routeReadBaseId(1, 2), quint8(0));
}

void TstCanSteps::framesDroppedWhileUnlinked()
{
    Rig r;
    r.link->linked = false;
    QCOMPARE(r.cc.routeReadBaseId(1, 2), quint8(1));
    QVERIFY(r.link->sent.isEmpty());
}

// Acknowledged twice, but the version query never gives the marker: 20
// attempts, each with both enter requests and the version query.
void TstCanSteps::enterNeedsTheMarker()
{
    Rig r;
    r.link->responder = [&](const CanTunnelFrame& f) {
        if (f.data[0] == 0x01)
            r.cc.processSentence(routeReply(QByteArray::fromHex("01FE0000")));
        if (f.data[0] == 0x09)
            r.cc.processSentence(routeReply(QByteArray::fromHex("09F6") + le32(0x00020500)));
    };
    quint8 result = 0;
    int calls = 0;
    while (result < 2 && calls < 10000) {
        result = r.cc.routeEnterConfigMode(1, 0x102);
        ++calls;
    }
    QCOMPARE(result, quint8(3));
    int enters = 0, versions = 0;
    for (const QString& s : qAsConst(r.link->sent)) {
        enters += s.contains(QLatin1String(",01FE"));
        versions += s.contains(QLatin1String(",09F6"));
    }
    QCOMPARE(enters, 40);
    QCOMPARE(versions, 20);
}

void TstCanSteps::enterAfterTwoAcknowledgements()
{
    Rig r;
    QCOMPARE(r.cc.routeEnterConfigMode(1, 0x102), quint8(0)); // nothing sent yet
    QVERIFY(r.link->sent.isEmpty());
    QCOMPARE(r.cc.routeEnterConfigMode(1, 0x102), quint8(1));
    r.cc.processSentence(routeReply(QByteArray::fromHex("01FE0000")));
    QCOMPARE(r.cc.routeEnterConfigMode(1, 0x102), quint8(0));
    QCOMPARE(r.cc.routeEnterConfigMode(1, 0x102), quint8(1));
    // Without the second acknowledgement the attempt fails after 17 ticks
    // and starts over with a fresh enter request.
    for (int i = 0; i < 18; ++i)
        QCOMPARE(r.cc.routeEnterConfigMode(1, 0x102), quint8(0));
    QCOMPARE(r.cc.routeEnterConfigMode(1, 0x102), quint8(1));
    QCOMPARE(r.link->sent.size(), 3);
    r.cc.processSentence(routeReply(QByteArray::fromHex("01FE0000")));
    QCOMPARE(r.cc.routeEnterConfigMode(1, 0x102), quint8(0));
    QCOMPARE(r.cc.routeEnterConfigMode(1, 0x102), quint8(1));
    r.cc.processSentence(routeReply(QByteArray::fromHex("01FE0000")));
    QCOMPARE(r.cc.routeEnterConfigMode(1, 0x102), quint8(0));
    QCOMPARE(r.cc.routeEnterConfigMode(1, 0x102), quint8(0)); // version query sent
    QVERIFY(r.link->sent.last().contains(QLatin1String(",09F6")));
    r.cc.processSentence(routeReply(QByteArray::fromHex("09F600FF00FF")));
    QCOMPARE(r.cc.routeEnterConfigMode(1, 0x102), quint8(2));
}

void TstCanSteps::cellCount()
{
    Rig r;
    QCOMPARE(r.cc.queryCellCount(0x80100008, 7, true), quint8(1));
    QCOMPARE(r.link->sent.last(), QStringLiteral("CN1,00100008,1,0,4,0701D803"));
    QVERIFY(r.cc.isBusy());
    for (int i = 0; i < 16; ++i)
        QCOMPARE(r.cc.queryCellCount(0x80100008, 7, true), quint8(1));
    QCOMPARE(r.link->sent.size(), 1);
    // A reply to the first request does not count.
    r.cc.processSentence(line(0x100009, QByteArray::fromHex("070C")));
    QCOMPARE(r.cc.queryCellCount(0x80100008, 7, true), quint8(1));
    QCOMPARE(r.link->sent.last(), QStringLiteral("CN1,00100008,1,0,2,07FF"));
    QCOMPARE(r.cc.queryCellCount(0x80100008, 7, true), quint8(0));
    r.cc.processSentence(line(0x100009, QByteArray::fromHex("060C"))); // other sequence
    r.cc.processSentence(line(0x10000B, QByteArray::fromHex("070C"))); // other id
    QCOMPARE(r.cc.queryCellCount(0x80100008, 7, true), quint8(0));
    r.cc.processSentence(line(0x100009, QByteArray::fromHex("070E")));
    QCOMPARE(r.cc.queryCellCount(0x80100008, 7, true), quint8(2));
    QCOMPARE(int(r.cc.cellCount()), 14);
    QVERIFY(!r.cc.isBusy());
}

void TstCanSteps::cellCountError()
{
    Rig r;
    for (int i = 0; i < 18; ++i)
        r.cc.queryCellCount(0x120, 4, false);
    QCOMPARE(r.link->sent.last(), QStringLiteral("CN1,00000120,0,0,2,04FF"));
    r.cc.processSentence(line(0x122, QByteArray::fromHex("00"), false)); // any error frame
    QCOMPARE(r.cc.queryCellCount(0x120, 4, false), quint8(3));
    QCOMPARE(int(r.cc.cellCount()), 0);
    // Silence: 49 waiting calls, then the time-out.
    for (int i = 0; i < 18; ++i)
        r.cc.queryCellCount(0x120, 5, false);
    for (int i = 0; i < 49; ++i)
        QCOMPARE(r.cc.queryCellCount(0x120, 5, false), quint8(0));
    QCOMPARE(r.cc.queryCellCount(0x120, 5, false), quint8(3));
}

void TstCanSteps::enumeration()
{
    Rig r;
    QCOMPARE(r.cc.enumerateCgm(0x120, 9, false), quint8(1));
    QCOMPARE(r.cc.enumerateCgm(0x120, 9, false), quint8(1));
    QCOMPARE(r.link->sent, (QStringList{"CN1,00000120,0,0,3,090F01", "CN1,00000120,0,0,2,09FF"}));
    r.cc.processSentence(line(0x121, QByteArray::fromHex("09010001"), false)); // running
    QCOMPARE(r.cc.enumerateCgm(0x120, 9, false), quint8(0));
    r.cc.processSentence(line(0x121, QByteArray::fromHex("09050002"), false)); // not an enumeration reply
    QCOMPARE(r.cc.enumerateCgm(0x120, 9, false), quint8(0));
    r.cc.processSentence(line(0x121, QByteArray::fromHex("09010002"), false));
    QCOMPARE(r.cc.enumerateCgm(0x120, 9, false), quint8(2));
    // Never done: 299 ticks of silence, then the time-out.
    r.cc.enumerateCgm(0x120, 10, false);
    r.cc.enumerateCgm(0x120, 10, false);
    for (int i = 0; i < 299; ++i)
        QCOMPARE(r.cc.enumerateCgm(0x120, 10, false), quint8(0));
    QCOMPARE(r.cc.enumerateCgm(0x120, 10, false), quint8(3));
    QVERIFY(!r.cc.isBusy());
}

void TstCanSteps::filterWords_data()
{
    QTest::addColumn<int>("target");
    QTest::addColumn<bool>("extended");
    QTest::addColumn<QList<quint32>>("words");
    QTest::newRow("-1, extended") << -1 << true
                                  << QList<quint32>{0x9FFF0000, 0x02340000, 0x00150000, 0x1FFFFFFF, 0x1FFFFFFF};
    QTest::newRow("-1, 11-bit") << -1 << false << QList<quint32>{0, 0, 0, 0, 0};
    QTest::newRow("extended module") << int(0x80100008) << false
                                     << QList<quint32>{0x9FFF0000, 0x02340000, 0x00150000, 0x80100008, 0x1FFFFFFF};
    QTest::newRow("11-bit module 0x123") << 0x123 << true << QList<quint32>{0x1FF, 0x123, 0x124, 0x125, 0x126};
}

void TstCanSteps::filterWords()
{
    QFETCH(int, target);
    QFETCH(bool, extended);
    QFETCH(QList<quint32>, words);
    Rig r;
    r.link->params = {{0x1600, extended ? 0x0800u : 0x0u}, {0x0D03, 0xE234}, {0x0D00, 0x0015}};
    QVERIFY(r.cc.enterConfigMode(target));
    QCOMPARE(r.link->canModes.size(), 1);
    const auto& w = r.link->canModes.first();
    QCOMPARE((QList<quint32>{w[0], w[1], w[2], w[3], w[4]}), words);
    QVERIFY(r.link->plainModes.isEmpty());
}

void TstCanSteps::plainModeFallback()
{
    Rig r;
    r.link->bitmapValid = false;
    QVERIFY(r.cc.enterConfigMode(-1));
    QVERIFY(r.link->canModes.isEmpty());
    QCOMPARE(r.link->plainModes, QList<bool>{true});
    r.link->bitmapValid = true;
    r.link->canModeWorks = false;
    r.link->plainModeWorks = false;
    QVERIFY(!r.cc.enterConfigMode(-1));
    QCOMPARE(r.link->canModes.size(), 1);
    QCOMPARE(r.link->plainModes, (QList<bool>{true, true}));
}

// 130 current sensors answer the discovery: more than a signed byte counts.
// Each 11 EE request is answered by every unacknowledged device; only the
// first answer is taken, acknowledged and followed by the next request.
void TstCanSteps::discoveryOfManyDevices()
{
    Rig r;
    struct Dev
    {
        quint32 serial;
        quint32 base;
        bool acked = false;
    };
    QList<Dev> devices;
    for (int i = 0; i < 130; ++i)
        devices.append({quint32(0x1000 + (i * 37) % 130), quint32(0x200 + (i * 53) % 130)});
    QStringList inbox;
    r.link->responder = [&](const CanTunnelFrame& f) {
        const quint8* d = f.data.data();
        const quint32 serial = quint32(d[4]) | quint32(d[5]) << 8 | quint32(d[6]) << 16 | quint32(d[7]) << 24;
        for (Dev& dev : devices) {
            switch (d[0]) {
            case 0x10: dev.acked = false; break;
            case 0x11:
                if (!dev.acked)
                    inbox << routeReply(QByteArray::fromHex("11EE") + address(2, dev.serial));
                break;
            case 0x12: dev.acked |= serial == dev.serial; break;
            case 0x03:
                if (serial == dev.serial)
                    inbox << routeReply(QByteArray::fromHex("03FC0000") + le32(dev.base));
                break;
            case 0x09:
                if (serial == dev.serial)
                    inbox << routeReply(QByteArray::fromHex("09F6") + le32(dev.serial * 2));
                break;
            default: break;
            }
        }
    };
    r.cc.startDiscovery(false);
    QCOMPARE(r.status.size(), 1);
    QCOMPARE(r.status.first(), (QVariantList{0, 0}));
    for (int tick = 0; tick < 20000 && r.cc.isBusy(); ++tick) {
        const QStringList lines = inbox;
        inbox.clear();
        for (const QString& l : lines)
            r.cc.processSentence(l);
        r.cc.slotCanProcess();
    }
    QVERIFY(!r.cc.isBusy());
    QCOMPARE(r.status.last(), (QVariantList{1, 0}));
    QCOMPARE(r.cc.discoverListSize(), 130);
    quint32 lastBase = 0;
    for (int i = 0; i < 130; ++i) {
        quint16 type = 0;
        quint32 serial = 0, version = 0, base = 0;
        quint8 cells = 0xFF;
        QVERIFY(r.cc.discoverListEntry(quint8(i), type, serial, version, base, cells));
        QCOMPARE(type, quint16(2));
        QCOMPARE(version, serial * 2);
        QCOMPARE(int(cells), 0);
        QVERIFY(base >= lastBase);
        lastBase = base;
    }
    quint16 t;
    quint32 s, v, b;
    quint8 c;
    QVERIFY(!r.cc.discoverListEntry(130, t, s, v, b, c));
    QCOMPARE(r.link->plainModes.last(), false); // left the configuration mode
}

// The unit refuses every configuration mode: no job starts, and the
// waiting page hears that it failed.
void TstCanSteps::refusedModeSaysSo_data()
{
    QTest::addColumn<int>("operation");
    QTest::newRow("discovery") << 0;
    QTest::newRow("commit") << 1;
    QTest::newRow("single module") << 2;
}

void TstCanSteps::refusedModeSaysSo()
{
    QFETCH(int, operation);
    Rig r;
    r.link->canModeWorks = false;
    r.link->plainModeWorks = false;
    if (operation == 0) {
        r.cc.startDiscovery(true);
    } else if (operation == 1) {
        r.cc.addCommitDevice(1, 5);
        r.cc.startCommit(0x10, false, 1);
    } else {
        r.cc.startSingleModuleCommit(0, 1, 5, 12, 0x10, false, 1);
    }
    QVERIFY(!r.cc.isBusy());
    QCOMPARE(r.status.size(), 1);
    QCOMPARE(r.status.first(), (QVariantList{2, operation}));
    QVERIFY(r.link->sent.isEmpty());
    QVERIFY(!r.cc.progressDialog()->isVisible());
}

void TstCanSteps::commitRefusesWrappingIdentifiers_data()
{
    QTest::addColumn<int>("base");
    QTest::addColumn<bool>("extended");
    QTest::addColumn<int>("devices");
    QTest::addColumn<bool>("starts");
    // 11-bit: base + 8 + 4 * devices - 1 must stay within 0x7FF.
    QTest::newRow("11-bit fits") << 0x7D0 << false << 10 << true;
    QTest::newRow("11-bit wraps") << 0x7D0 << false << 11 << false;
    QTest::newRow("29-bit fits") << 0x1FFF << true << 100 << true;
    QTest::newRow("29-bit base too wide") << 0x2000 << true << 1 << false;
}

void TstCanSteps::commitRefusesWrappingIdentifiers()
{
    QFETCH(int, base);
    QFETCH(bool, extended);
    QFETCH(int, devices);
    QFETCH(bool, starts);
    Rig r;
    r.cc.clearCommitLists();
    for (int i = 0; i < devices; ++i)
        r.cc.addCommitDevice(1, quint32(i));
    r.cc.startCommit(quint16(base), extended, 2);
    QCOMPARE(r.cc.isBusy(), starts);
    QCOMPARE(r.status.first(), (QVariantList{starts ? 0 : 2, 1}));
    QCOMPARE(r.link->canModes.size() + r.link->plainModes.size(), starts ? 1 : 0);
    // A running commit keeps its lists.
    r.cc.clearCommitLists();
    r.cc.addUnassignedDevice(1, 99);
    QCOMPARE(r.cc.commitDeviceCount(), starts ? devices : 0);
    QCOMPARE(r.cc.unassignedDeviceCount(), starts ? 0 : 1);
}

// The mode changes process events, ticks among them: a job must not move
// on (and send, or change the mode again) before the change is confirmed.
void TstCanSteps::ticksWaitForModeChanges()
{
    int nestedTicks = 0;
    struct NestedLink : FakeCanLink
    {
        std::function<void()> duringWait;
        bool setCanConfigMode(bool enter, const std::array<quint32, 5>& w) override
        {
            if (duringWait)
                duringWait();
            return FakeCanLink::setCanConfigMode(enter, w);
        }
    };
    auto* link = new NestedLink;
    canConfig cc{std::unique_ptr<CanLinkServices>(link)};
    cc.startDiscovery(false);
    QVERIFY(cc.isBusy());
    link->duringWait = [&] {
        for (int i = 0; i < 5; ++i, ++nestedTicks)
            cc.slotCanProcess();
    };
    QVERIFY(cc.enterConfigMode(-1));
    QCOMPARE(nestedTicks, 5);
    QVERIFY(link->sent.isEmpty());
    // Outside the wait the job runs.
    cc.slotCanProcess();
    cc.slotCanProcess();
    QCOMPARE(link->sent.size(), 3); // 10 EF three times
}

// A gen2 module that never reports its sorting done: every time-out asks
// again, and the job waits for each answer.
void TstCanSteps::sortingRetryIsAskedEachTime()
{
    qRegisterMetaType<uint8_t>("uint8_t");
    Rig r;
    QStringList inbox;
    bool inMode = false;
    int sortRequests = 0;
    int armed = 0; // 1 cell count, 0x11 enumeration, 0x12 sorting
    r.link->responder = [&](const CanTunnelFrame& f) {
        const quint8* d = f.data.data();
        if (f.id == 0x1FFFFEE5) {
            const quint8 code = d[0];
            QByteArray reply;
            reply.append(char(code)).append(char(0xFF - code));
            if (code == 0x01)
                inMode = true;
            if (code == 0x02)
                inMode = false;
            reply += code == 0x09 ? le32(inMode ? 0xFF00FF00 : 1) : QByteArray(2, 0);
            inbox << routeReply(reply);
            return;
        }
        // The module, moved to 0x208 (11-bit).
        if (f.id != 0x208)
            return;
        const QByteArray seq(1, char(d[0]));
        if (d[1] == 0x01) {
            armed = 1;
        } else if (d[1] == 0x0F) {
            armed = 0x10 + d[2];
        } else if (d[1] == 0xFF) {
            if (armed == 1)
                inbox << line(0x209, seq + QByteArray::fromHex("0E"), false);
            else if (armed == 0x11)
                inbox << line(0x209, seq + QByteArray::fromHex("010002"), false);
            else if (armed == 0x12)
                ++sortRequests; // never done
        }
    };
    QSignalSpy questions(&r.cc, &canConfig::sigCanDeviceSortingRequest);
    auto run = [&](int ticks) {
        for (int i = 0; i < ticks && r.cc.isBusy(); ++i) {
            const QStringList lines = inbox;
            inbox.clear();
            for (const QString& l : lines)
                r.cc.processSentence(l);
            r.cc.slotCanProcess();
        }
    };
    r.cc.clearCommitLists();
    r.cc.addCommitDevice(9, 0x91);
    r.cc.startCommit(0x200, false, 1);
    run(2000);
    QCOMPARE(questions.size(), 1);
    QCOMPARE(questions.at(0).at(0).toInt(), 0);
    r.cc.setSortingAnswer(0, 1);
    run(2000);
    QCOMPARE(sortRequests, 1);
    QCOMPARE(questions.size(), 2);
    QCOMPARE(questions.at(1).at(0).toInt(), 1);
    r.cc.setSortingAnswer(1, 1);
    run(2000);
    QCOMPARE(sortRequests, 2);
    QCOMPARE(questions.size(), 3);
    // The earlier "retry" does not answer this question.
    run(500);
    QVERIFY(r.cc.isBusy());
    QCOMPARE(sortRequests, 2);
    r.cc.setSortingAnswer(1, 0);
    run(50);
    QVERIFY(!r.cc.isBusy());
    QCOMPARE(r.status.last(), (QVariantList{1, 1}));
}

void TstCanSteps::progressDialog()
{
    Rig r;
    QProgressDialog* d = r.cc.progressDialog();
    QVERIFY(!d->isVisible());
    r.cc.showDiscoveryProgress();
    QVERIFY(d->isVisible());
    QCOMPARE(d->labelText(), QStringLiteral("CAN device discovery... Looking for devices"));
    r.cc.updateProgress(40, QStringLiteral(" step"), QStringLiteral("CGM 1"));
    QCOMPARE(d->labelText(), QStringLiteral("Sending configuration to CGM 1... step"));
    QCOMPARE(d->value(), 40);
    // "Hide" hides the dialog for the rest of the job, which goes on.
    QPushButton* hide = d->findChild<QPushButton*>();
    QVERIFY(hide);
    QCOMPARE(hide->text(), QStringLiteral("Hide"));
    hide->click();
    QVERIFY(!d->isVisible());
    r.cc.updateProgress(60, QString(), QStringLiteral("CGM 1"));
    QVERIFY(!d->isVisible());
    r.cc.showCommitProgress(QStringLiteral("Single CGM"));
    QVERIFY(d->isVisible());
    QCOMPARE(d->labelText(), QStringLiteral("Sending configuration to Single CGM..."));
    r.cc.hideProgress();
    QVERIFY(!d->isVisible());
}

QTEST_MAIN(TstCanSteps)
#include "tst_cansteps.moc"
