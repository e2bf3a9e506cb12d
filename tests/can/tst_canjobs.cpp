// Discovery and identifier allocation end to end: the real link, the
// control-unit emulator and CAN devices behind it.
#include "CanDeviceCatalog.h"
#include "CanJobTestSupport.h"

#include <QLoggingCategory>
#include <QProgressDialog>
#include <QSignalSpy>
#include <QTest>

namespace {
struct Entry
{
    quint16 type;
    quint32 serial, version, base;
    quint8 cells;
};

QList<Entry> discovered(const canConfig& cc)
{
    QList<Entry> list;
    for (int i = 0; i < cc.discoverListSize(); ++i) {
        Entry e{};
        cc.discoverListEntry(quint8(i), e.type, e.serial, e.version, e.base, e.cells);
        list.append(e);
    }
    return list;
}
} // namespace

class TstCanJobs : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        qRegisterMetaType<uint8_t>("uint8_t");
        qRegisterMetaType<uint32_t>("uint32_t");
    }
    void init() { QLoggingCategory::setFilterRules(QStringLiteral("bms.can.debug=false")); }
    void discovery();
    void legacyDiscovery();
    void commitAllocatesIdentifiers();
};

// A gen2 module (29-bit), a gen1 module (11-bit) and a current sensor; one
// answers from the other reply id, one never gives its base id.
void TstCanJobs::discovery()
{
    CanSimRig rig;
    rig.params = {{0x1600, 0x0800}, {0x0D03, 0x0010}, {0x0D00, 0x0015}};
    rig.bus.addDevice(device(9, 0x00AA0003, 0x80100008, 14, 0x00030100));
    rig.bus.addDevice(device(1, 0x00AA0001, 0x120, 12));
    rig.bus.addDevice(device(2, 0x00AA0002, 0x111, 0));
    Device mute = device(12, 0x00AA0004, 0x300);
    mute.noBaseIdReply = true;
    rig.bus.addDevice(mute);
    Device garbled = device(1, 0x00AA0005, 0x400);
    garbled.corruptRoute = true; // its answers are not route replies
    rig.bus.addDevice(garbled);
    QVERIFY(rig.start());
    QSignalSpy status(rig.cc, &canConfig::sigCanDeviceOperationStatus);

    rig.cc->startDiscovery(false);
    QCOMPARE(status.value(0), (QVariantList{0, 0}));
    QVERIFY(waitDone(status, 0));
    QCOMPARE(status.last(), (QVariantList{1, 0}));
    QVERIFY(!rig.cc->isBusy());

    const QList<Entry> list = discovered(*rig.cc);
    QCOMPARE(list.size(), 4);
    // Ordered by base id; the unreadable one reads 0x1008.
    QCOMPARE(list[0].serial, 0x00AA0002u);
    QCOMPARE(list[0].base, 0x111u);
    QCOMPARE(int(list[0].cells), 0);
    QCOMPARE(list[1].serial, 0x00AA0001u);
    QCOMPARE(list[1].base, 0x120u);
    QCOMPARE(int(list[1].cells), 12);
    QCOMPARE(list[1].version, 0x00020503u);
    QCOMPARE(list[2].serial, 0x00AA0004u);
    QCOMPARE(list[2].base, 0x1008u);
    QCOMPARE(int(list[2].cells), 0);
    QCOMPARE(list[3].type, quint16(9));
    QCOMPARE(list[3].base, 0x00100008u);
    QCOMPARE(int(list[3].cells), 14);
    QCOMPARE(list[3].version, 0x00030100u);
    QVERIFY(rig.bus.device(0).enumerated);
    // Every device was acknowledged once and none stays in its mode.
    QCOMPARE(rig.bus.routeRequestCount(0x12), 4);
    QVERIFY(!rig.link.sim.configMode());
    // The unit was last asked to pass the gen2 module's identifiers.
    QCOMPARE(rig.link.sim.canFilters(),
             (QList<quint32>{0x9FFF0000, 0x00100000, 0x00150000, 0x80100008, 0x1FFFFFFF}));
}

void TstCanJobs::legacyDiscovery()
{
    CanSimRig rig;
    Device old = device(1, 0x0201, 0x130, 8);
    old.legacy = true;
    rig.bus.addDevice(old);
    rig.bus.addDevice(device(8, 0x0101, 0x140));
    // Two devices with the same type and serial are one entry.
    rig.bus.addDevice(device(8, 0x0301, 0x150));
    rig.bus.addDevice(device(8, 0x0301, 0x150));
    rig.bus.setAlternateReplyId(true);
    QVERIFY(rig.start());
    QSignalSpy status(rig.cc, &canConfig::sigCanDeviceOperationStatus);
    rig.cc->startDiscovery(true);
    QVERIFY(waitDone(status, 0));
    QCOMPARE(status.last(), (QVariantList{1, 0}));
    QCOMPARE(rig.bus.routeRequestCount(0x00), 3);
    QCOMPARE(rig.bus.routeRequestCount(0x11), 0);
    const QList<Entry> list = discovered(*rig.cc);
    QCOMPARE(list.size(), 3);
    QCOMPARE(list[0].serial, 0x0201u);
    QCOMPARE(int(list[0].cells), 8);
    QCOMPARE(list[1].serial, 0x0101u);
    QCOMPARE(list[2].serial, 0x0301u);
}

// Base 0x10, 11-bit: commit list (sensor, module, module) and one
// unassigned device, which is configured first.
void TstCanJobs::commitAllocatesIdentifiers()
{
    CanSimRig rig;
    const int sensor = rig.bus.addDevice(device(2, 0x51, 0x300));
    const int m1 = rig.bus.addDevice(device(1, 0x61, 0x310, 10));
    const int m2 = rig.bus.addDevice(device(11, 0x62, 0x320, 16));
    const int spare = rig.bus.addDevice(device(1, 0x71, 0x330));
    QVERIFY(rig.start());
    QSignalSpy status(rig.cc, &canConfig::sigCanDeviceOperationStatus);
    QSignalSpy sortQuestion(rig.cc, &canConfig::sigCanDeviceSortingRequest);

    rig.cc->clearCommitLists();
    rig.cc->addCommitDevice(2, 0x51);
    rig.cc->addCommitDevice(1, 0x61);
    rig.cc->addCommitDevice(11, 0x62);
    rig.cc->addUnassignedDevice(1, 0x71);
    rig.cc->startCommit(0x10, false, 3);
    QCOMPARE(status.value(0), (QVariantList{0, 1}));
    QVERIFY(waitDone(status, 1));
    QCOMPARE(status.last(), (QVariantList{1, 1}));
    QVERIFY(sortQuestion.isEmpty());

    QCOMPARE(rig.bus.device(spare).baseId, 0x24u);
    QCOMPARE(rig.bus.device(spare).secondaryId, 0x16u);
    QCOMPARE(rig.bus.device(sensor).baseId, 0x11u);
    QCOMPARE(rig.bus.device(sensor).secondaryId, 0x10u);
    QCOMPARE(rig.bus.device(m1).baseId, 0x18u);
    QCOMPARE(rig.bus.device(m2).baseId, 0x1Cu);
    QCOMPARE(rig.bus.device(m2).secondaryId, 0x17u);
    for (int i : {sensor, m1, m2, spare}) {
        QCOMPARE(rig.bus.device(i).speed, 3);
        QVERIFY(!rig.bus.device(i).configMode);
    }
    QCOMPARE(rig.bus.device(m1).storedCells, 10);
    QVERIFY(rig.bus.device(m2).committed);
    QCOMPARE(rig.bus.device(sensor).storedCells, -1);
    // The unassigned device went first.
    const auto frames = rig.bus.frames();
    for (const auto& f : frames)
        if (quint8(f.data.at(0)) == 0x01 && f.id == 0x1FFFFEE5) {
            QCOMPARE(f.data.mid(2), QByteArray::fromHex("010071000000"));
            break;
        }

    const quint16 ids[] = {0x11, 0x18, 0x1C};
    const quint8 cells[] = {0, 10, 16};
    for (int i = 0; i < 3; ++i) {
        quint8 st = 0xFF, cc = 0;
        quint32 serial = 0;
        quint16 type = 0, id = 0;
        QVERIFY(rig.cc->commitDeviceResult(quint8(i), st, serial, type, cc, id));
        QCOMPARE(int(st), int(CommitConfigured));
        QCOMPARE(cc, cells[i]);
        if (i > 0)
            QCOMPARE(id, ids[i]); // module number (id - 8) / 4 + 1
    }
    QVERIFY(!rig.link.sim.configMode());
}

QTEST_MAIN(TstCanJobs)
#include "tst_canjobs.moc"
