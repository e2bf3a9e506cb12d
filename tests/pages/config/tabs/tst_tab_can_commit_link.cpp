// The CAN Devices section against the emulated control unit and its CAN
// devices, driven through its buttons: the commit's speed and partial
// success, and the progress of second-generation modules.
#include "CanLinkedPage.h"

#include "EmulatedBus.h"
#include "ModuleMappingTables.h"

#include <QComboBox>
#include <QProgressDialog>

class TestTabCanCommitLink : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { prepareCanJobTest(); }
    void commitUsesTheUnitsSpeedAndKeepsWhatWorked();
    void gen2CommitShowsItsProgress();
};

// The devices get the speed the unit runs at; while it is unknown no commit
// starts. A device that fails is named, and what the others took is kept.
void TestTabCanCommitLink::commitUsesTheUnitsSpeedAndKeepsWhatWorked()
{
    LinkedPage p;
    const int good = p.rig.bus.addDevice(device(1, 0x00AA0001, 0x120, 12));
    CanBusSim::Device stubborn = device(1, 0x00AA0002, 0x130, 10);
    stubborn.idStatus = 1; // refuses its new identifier
    const int bad = p.rig.bus.addDevice(stubborn);
    QVERIFY(p.start());
    ConfigPage* page = p.f.page.get();
    p.load({0x0001, 0x0002});
    QVERIFY(p.discover());
    QVERIFY(page->commitButton->isEnabled());

    p.boxes.clear();
    p.rig.bus.clearFrames();
    p.status.clear();
    QTest::mouseClick(page->commitButton, Qt::LeftButton);
    QCOMPARE(p.boxes, QStringList{"The CAN1 speed of the control unit is not known.\nLoad the configuration "
                                  "from the unit, then commit again."});
    QVERIFY(p.status.isEmpty());
    QVERIFY(p.rig.bus.frames().isEmpty());

    p.f.reply(0x0C02, 3, 2); // 250 kbps
    p.boxes.clear();
    QTest::mouseClick(page->commitButton, Qt::LeftButton);
    QCOMPARE(p.waitEnd(CanOpCommit), int(CanOpFailed));
    QCOMPARE(p.rig.bus.device(good).speed, 3);
    QCOMPARE(p.rig.bus.device(good).baseId, 0x10u + 8);
    QCOMPARE(p.rig.bus.device(bad).speed, -1);
    QVERIFY(!p.rig.bus.device(bad).configMode); // released all the same
    // the configuration question, then the result
    QCOMPARE(p.boxes.size(), 2);
    QVERIFY2(p.boxes.last().startsWith("CAN Devices Configuration has failed."), qPrintable(p.boxes.last()));
    QVERIFY2(p.boxes.last().contains("SN: 11141122 did not take its CAN identifier"), qPrintable(p.boxes.last()));
    QVERIFY(!p.boxes.last().contains("SN: 11141121"));
    // Nothing is written for the failed module, nor a partial pack size.
    QCOMPARE(static_cast<QLineEdit*>(page->moduleCountEdit)->text(), QString("1"));
    QCOMPARE(p.record(0), QString("1/0/12"));
    QCOMPARE(p.record(1), QString("2/0/12"));
    for (const auto& w : qAsConst(p.f.writes))
        QVERIFY2(w.first != 0x0100 && w.first != 0x0D29 && w.first != 0x0C68 && w.first != 0x0C08,
                 qPrintable(QString::number(w.first, 16)));
    ConfiguredTable* t = page->configuredTable;
    QCOMPARE(int(t->cell(0, 0).state), int(CellConfirmed));
    QCOMPARE(int(t->cell(0, 1).state), int(CellFailed));
    QVERIFY(page->discoverButton->isEnabled());
    QVERIFY(page->commitButton->isEnabled());
    QCOMPARE(page->cursor().shape(), Qt::ArrowCursor);
}

// On the emulator's default bus, a commit of its modules shows the second-
// generation module's enumeration and then the sorting the user accepted in
// a progress window, gone when the commit ends.
void TestTabCanCommitLink::gen2CommitShowsItsProgress()
{
    LinkedPage p;
    const EmulatedBus::Devices unit = EmulatedBus::populate(p.rig.bus);
    const int module = unit.secondGeneration;
    QVERIFY(p.start());
    ConfigPage* page = p.f.page.get();
    p.f.reply(0x0C02, 3, 2);
    p.load({20001, 20002, 20003, 30001});
    QVERIFY(p.discover());
    QProgressDialog* progress = page->gen2ProgressDialog;
    QVERIFY(progress);
    QVERIFY(!progress->isVisible());

    QStringList seen; // the window's label at each update, while shown
    QObject context;
    QObject::connect(p.rig.cc, &canConfig::sigCGMGen2StatusUpdate, &context, [&] {
        if (progress->isVisible() && (seen.isEmpty() || seen.last() != progress->labelText()))
            seen << progress->labelText();
    });
    p.status.clear();
    QTest::mouseClick(page->commitButton, Qt::LeftButton);
    QCOMPARE(p.waitEnd(CanOpCommit), int(CanOpFinished));
    QCOMPARE(seen, (QStringList{"Enumerating cells", "Sorting cells"}));
    QVERIFY(!progress->isVisible());
    QVERIFY(p.boxes.contains("There are some cells to sort.\nIt will take some time. Continue?"));
    QCOMPARE(p.rig.bus.device(module).sortRequests, 1);
    // every module configured and recorded with the cells it measures
    QCOMPARE(static_cast<QLineEdit*>(page->moduleCountEdit)->text(), QString("4"));
    QCOMPARE(p.record(3), QString("30001/0/16"));
    for (int i = 0; i < p.rig.bus.deviceCount(); ++i)
        QCOMPARE(p.rig.bus.device(i).speed, 3);
}

QTEST_MAIN(TestTabCanCommitLink)
#include "tst_tab_can_commit_link.moc"
