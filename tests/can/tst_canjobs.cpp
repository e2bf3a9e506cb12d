// Discovery and commits end to end: the real link, the control-unit
// emulator and CAN devices behind it.
#include "CanDeviceCatalog.h"
#include "CanSimRig.h"

#include <QProgressDialog>
#include <QSignalSpy>
#include <QtTest>

namespace {
constexpr int kJobTimeoutMs = 60000;

using Device = CanBusSim::Device;

Device device(quint16 type, quint32 serial, quint32 base, quint8 cells = 12, quint32 version = 0x00020503)
{
    Device d;
    d.type = type;
    d.serial = serial;
    d.baseId = base;
    d.cells = cells;
    d.version = version;
    return d;
}

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

bool waitDone(QSignalSpy& spy, int operation)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < kJobTimeoutMs) {
        for (const QList<QVariant>& s : qAsConst(spy))
            if (s.at(1).toInt() == operation && s.at(0).toInt() != 0)
                return true;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return false;
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
    void commitReportsFailedDevices();
    void commitSortsGen2Modules();
    void commitSortingDeclined();
    void singleModuleCommit();
    void singleModuleLeaveNeverConfirmed();
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

// A refused identifier, a refused leave and an unassigned device that
// refuses its identifier: each shows, and the job says it failed. (A device
// that stays in its configuration mode would take the next device's
// identifiers, so it comes last.)
void TstCanJobs::commitReportsFailedDevices()
{
    CanSimRig rig;
    Device stubborn = device(1, 0x62, 0x320);
    stubborn.idStatus = 2;
    const int b = rig.bus.addDevice(stubborn);
    const int c = rig.bus.addDevice(device(1, 0x63, 0x330, 9));
    Device stays = device(1, 0x61, 0x310);
    stays.leaveStatus = 1;
    const int a = rig.bus.addDevice(stays);
    Device spare = device(1, 0x71, 0x340);
    spare.idStatus = 1;
    rig.bus.addDevice(spare);
    QVERIFY(rig.start());
    QSignalSpy status(rig.cc, &canConfig::sigCanDeviceOperationStatus);
    rig.cc->clearCommitLists();
    rig.cc->addCommitDevice(1, 0x62);
    rig.cc->addCommitDevice(1, 0x63);
    rig.cc->addCommitDevice(1, 0x61);
    rig.cc->addUnassignedDevice(1, 0x71);
    rig.cc->startCommit(0x100, false, 2);
    QVERIFY(waitDone(status, 1));
    QCOMPARE(status.last(), (QVariantList{2, 1}));

    quint8 st = 0, cells = 0;
    quint32 serial = 0;
    quint16 type = 0, id = 0;
    QVERIFY(rig.cc->commitDeviceResult(0, st, serial, type, cells, id));
    QCOMPARE(int(st), int(CommitBaseIdFailed));
    QCOMPARE(rig.bus.device(b).baseId, 0x320u);
    QVERIFY(!rig.bus.device(b).configMode);      // still told to leave
    QCOMPARE(rig.bus.device(b).storedCells, -1); // no module requests
    QVERIFY(rig.cc->commitDeviceResult(1, st, serial, type, cells, id));
    QCOMPARE(int(st), int(CommitConfigured));
    QCOMPARE(int(cells), 9);
    QCOMPARE(rig.bus.device(c).baseId, 0x100u + 8 + 4);
    QVERIFY(rig.cc->commitDeviceResult(2, st, serial, type, cells, id));
    QCOMPARE(int(st), int(CommitLeaveRefused));
    QCOMPARE(rig.bus.device(a).storedCells, -1); // no follow-up
}

// Two gen2 modules: enumeration, then sorting. One module reports "done"
// three times; the sorting still waits for the other.
void TstCanJobs::commitSortsGen2Modules()
{
    CanSimRig rig;
    rig.params = {{0x1600, 0x0800}, {0x0D03, 0x0012}, {0x0D00, 0x0015}};
    Device chatty = device(9, 0x91, 0x80200008, 14);
    chatty.sortingMs = 100;
    chatty.sortingDoneRepeats = 3;
    const int a = rig.bus.addDevice(chatty);
    Device slow = device(9, 0x92, 0x8020000C, 15);
    slow.sortingMs = 1500;
    const int b = rig.bus.addDevice(slow);
    QVERIFY(rig.start());
    QSignalSpy status(rig.cc, &canConfig::sigCanDeviceOperationStatus);
    QSignalSpy gen2(rig.cc, &canConfig::sigCGMGen2StatusUpdate);
    QElapsedTimer sinceAnswer;
    QObject context;
    connect(rig.cc, &canConfig::sigCanDeviceSortingRequest, &context, [&](uint8_t q) {
        QCOMPARE(int(q), 0);
        sinceAnswer.start();
        rig.cc->setSortingAnswer(0, 1);
    });
    rig.cc->clearCommitLists();
    rig.cc->addCommitDevice(9, 0x91);
    rig.cc->addCommitDevice(9, 0x92);
    rig.cc->startCommit(0x20, true, 1);
    QVERIFY(waitDone(status, 1));
    QCOMPARE(status.last(), (QVariantList{1, 1}));
    QVERIFY(sinceAnswer.isValid());
    QVERIFY2(sinceAnswer.elapsed() >= 1400, "the sorting ended before the second module was done");

    QCOMPARE(rig.bus.device(a).baseId, 0x80200008u);
    QCOMPARE(rig.bus.device(b).baseId, 0x8020000Cu);
    QCOMPARE(rig.bus.device(a).sortRequests, 1);
    QCOMPARE(rig.bus.device(b).sortRequests, 1);
    QVERIFY(rig.bus.device(a).enumerated && rig.bus.device(b).enumerated);
    // Enumeration, then the sorting's progress: started, counted, over.
    QList<QVariantList> enumeration, sorting;
    for (const QVariantList& u : qAsConst(gen2))
        (u.at(0).toUInt() == 0 ? enumeration : sorting) << u;
    QCOMPARE(enumeration.size(), 4);
    QCOMPARE(enumeration.at(0), (QVariantList{0u, 0u, 1u, 2u}));
    QCOMPARE(enumeration.at(1), (QVariantList{0u, 1u, 1u, 2u}));
    QCOMPARE(enumeration.at(3), (QVariantList{0u, 1u, 2u, 2u}));
    QVERIFY(sorting.size() >= 3);
    QCOMPARE(sorting.first(), (QVariantList{1u, 0u, 0u, 2u}));
    QVERIFY(sorting.contains(QVariantList{1u, 1u, 1u, 2u}));
    QCOMPARE(sorting.last(), (QVariantList{1u, 4u, 2u, 2u}));
    quint8 st = 0, cells = 0;
    quint32 serial = 0;
    quint16 type = 0, id = 0;
    QVERIFY(rig.cc->commitDeviceResult(1, st, serial, type, cells, id));
    QCOMPARE(int(st), 0);
    QCOMPARE(int(cells), 15);
    QCOMPARE(int(id), 0x000C); // module number 2
}

void TstCanJobs::commitSortingDeclined()
{
    CanSimRig rig;
    const int m = rig.bus.addDevice(device(9, 0x91, 0x200, 14));
    QVERIFY(rig.start());
    QSignalSpy status(rig.cc, &canConfig::sigCanDeviceOperationStatus);
    QObject context;
    connect(rig.cc, &canConfig::sigCanDeviceSortingRequest, &context,
            [&](uint8_t) { rig.cc->setSortingAnswer(0, 0); });
    rig.cc->clearCommitLists();
    rig.cc->addCommitDevice(9, 0x91);
    rig.cc->startCommit(0x40, false, 1);
    QVERIFY(waitDone(status, 1));
    QCOMPARE(status.last(), (QVariantList{1, 1}));
    QCOMPARE(rig.bus.device(m).sortRequests, 0);
    QCOMPARE(rig.bus.device(m).storedCells, 14);
}

void TstCanJobs::singleModuleCommit()
{
    CanSimRig rig;
    const int m = rig.bus.addDevice(device(1, 0x61, 0x310, 10));
    QVERIFY(rig.start());
    QSignalSpy status(rig.cc, &canConfig::sigCanDeviceOperationStatus);
    rig.cc->startSingleModuleCommit(2, 1, 0x61, 12, 0x40, false, 4);
    QCOMPARE(status.value(0), (QVariantList{0, 2}));
    QVERIFY(rig.cc->progressDialog()->isVisible());
    QVERIFY(waitDone(status, 2));
    QCOMPARE(status.last(), (QVariantList{1, 2}));
    QCOMPARE(rig.bus.device(m).baseId, 0x40u + 8 + 8);
    QCOMPARE(rig.bus.device(m).secondaryId, 0x47u);
    QCOMPARE(rig.bus.device(m).speed, 4);
    QCOMPARE(rig.bus.device(m).storedCells, 12); // the caller's count
    QVERIFY(rig.bus.device(m).committed);
    QVERIFY(!rig.cc->progressDialog()->isVisible());
}

// The module never confirms that it left: a failure, and no cell-count write.
void TstCanJobs::singleModuleLeaveNeverConfirmed()
{
    CanSimRig rig;
    Device d = device(1, 0x61, 0x310, 10);
    d.leaveSilent = true;
    const int m = rig.bus.addDevice(d);
    QVERIFY(rig.start());
    QSignalSpy status(rig.cc, &canConfig::sigCanDeviceOperationStatus);
    rig.cc->startSingleModuleCommit(0, 1, 0x61, 12, 0x40, false, 4);
    QVERIFY(waitDone(status, 2));
    QCOMPARE(status.last(), (QVariantList{2, 2}));
    QCOMPARE(rig.bus.device(m).leaveRequests, 4);
    QCOMPARE(rig.bus.device(m).storedCells, -1);
}

QTEST_MAIN(TstCanJobs)
#include "tst_canjobs.moc"
