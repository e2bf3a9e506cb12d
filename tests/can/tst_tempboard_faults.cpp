// The temperature board power window against the control-unit emulator and
// group modules behind it: a silent module, a refused configuration mode
// and frames that are not the boards'.

#include "TempBoardRig.h"

#include <QLoggingCategory>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>

class TstTempBoardFaults : public QObject
{
    Q_OBJECT
private slots:
    void init() { QLoggingCategory::setFilterRules(QStringLiteral("bms.can.debug=false")); }
    void silentModuleEndsOperationCleanly();
    void unitRefusesConfigMode();
    void foreignFramesNotTaken();
};

// A module that stops answering: 3 s later the operation ends, the module
// is asked to leave, the unit leaves its configuration mode, and the table
// keeps what it showed.
void TstTempBoardFaults::silentModuleEndsOperationCleanly()
{
    BoardRig rig;
    const int i = rig.add(60, 21, 1);
    QVERIFY(rig.start());
    QTest::mouseClick(rig.window->discoverButton(), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(rig.rows(), QStringList{"21 Enabled"}, kEndMs);
    QTRY_VERIFY_WITH_TIMEOUT(rig.window->disableButton()->isEnabled(), kEndMs);
    rig.bus.updateDevice(i, [](Device& d) { d.powerSilent = true; });
    QTest::mouseClick(rig.window->disableButton(), Qt::LeftButton);
    QVERIFY(rig.window->isBusy());
    QTRY_VERIFY_WITH_TIMEOUT(!rig.window->isBusy(), kEndMs);
    QVERIFY(rig.window->disableButton()->isEnabled());
    QCOMPARE(rig.rows(), QStringList{"21 Enabled"});
    QTRY_COMPARE_WITH_TIMEOUT(rig.bus.device(i).leaveRequests, 2, 5000);
    QTRY_VERIFY_WITH_TIMEOUT(!rig.link.sim.configMode(), 5000);
}

void TstTempBoardFaults::unitRefusesConfigMode()
{
    BoardRig rig; // never linked: the unit cannot be asked
    QTest::mouseClick(rig.window->enableButton(), Qt::LeftButton);
    QVERIFY(!rig.window->isBusy());
    QVERIFY(rig.window->enableButton()->isEnabled());
}

// Frames from other ids or with the wrong command are not taken as the
// awaited answer.
void TstTempBoardFaults::foreignFramesNotTaken()
{
    BoardRig rig;
    const int i = rig.add(48, 5, 0);
    QVERIFY(rig.start());
    QTest::mouseClick(rig.window->discoverButton(), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(rig.rows(), QStringList{"5 Disabled"}, kEndMs);
    QTRY_VERIFY_WITH_TIMEOUT(rig.window->enableButton()->isEnabled(), kEndMs);
    rig.bus.updateDevice(i, [](Device& d) { d.powerSilent = true; });
    rig.bus.clearFrames();
    QTest::mouseClick(rig.window->enableButton(), Qt::LeftButton);
    // Enter answered; now waiting for 0E F1.
    QTRY_VERIFY_WITH_TIMEOUT(rig.requests().contains(QStringLiteral("0EF101")), 5000);
    rig.window->processSentence(QStringLiteral("CN1,00000123,0,0,2,0EF1"));
    rig.window->processSentence(QStringLiteral("CN1,1FFFFEE6,1,0,2,0FF0"));
    QTest::qWait(300);
    QCOMPARE(rig.requests().count(QStringLiteral("0FF0")), 0);
    QTRY_VERIFY_WITH_TIMEOUT(!rig.window->isBusy(), kEndMs);
    QCOMPARE(rig.rows(), QStringList{"5 Disabled"});
}

QTEST_MAIN(TstTempBoardFaults)
#include "tst_tempboard_faults.moc"
