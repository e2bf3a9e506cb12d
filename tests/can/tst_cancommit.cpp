// Commits end to end (failed devices, gen2 sorting, single module): the
// real link, the control-unit emulator and CAN devices behind it.
#include "CanDeviceCatalog.h"
#include "CanJobTestSupport.h"

#include <QLoggingCategory>
#include <QProgressDialog>
#include <QSignalSpy>
#include <QTest>

class TstCanCommit : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        qRegisterMetaType<uint8_t>("uint8_t");
        qRegisterMetaType<uint32_t>("uint32_t");
    }
    void init() { QLoggingCategory::setFilterRules(QStringLiteral("bms.can.debug=false")); }
    void commitReportsFailedDevices();
    void commitSortsGen2Modules();
    void commitSortingDeclined();
    void singleModuleCommit();
    void singleModuleLeaveNeverConfirmed();
};

// A refused identifier, a refused leave and an unassigned device that
// refuses its identifier: each shows, and the job says it failed. (A device
// that stays in its configuration mode would take the next device's
// identifiers, so it comes last.)
void TstCanCommit::commitReportsFailedDevices()
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
void TstCanCommit::commitSortsGen2Modules()
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

void TstCanCommit::commitSortingDeclined()
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

void TstCanCommit::singleModuleCommit()
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
void TstCanCommit::singleModuleLeaveNeverConfirmed()
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

QTEST_MAIN(TstCanCommit)
#include "tst_cancommit.moc"
