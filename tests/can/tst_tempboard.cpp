// The temperature board power window against the control-unit emulator and
// group modules behind it.

#include "TempBoardRig.h"

#include <QLoggingCategory>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QTimer>

class TstTempBoard : public QObject
{
    Q_OBJECT
private slots:
    void init() { QLoggingCategory::setFilterRules(QStringLiteral("bms.can.debug=false")); }
    void discoveryListsBoardsWithStates();
    void discoveryWithoutBoards();
    void enableAllSwitchesEachModule();
    void endsAmidOtherTraffic();
};

// Types 32 and 96 are not listed; the others show their power state.
void TstTempBoard::discoveryListsBoardsWithStates()
{
    BoardRig rig;
    rig.add(48, 500, 1);
    rig.add(32, 400);
    rig.add(96, 450);
    rig.add(130, 300, 0);
    QVERIFY(rig.start());
    QTest::mouseClick(rig.window->discoverButton(), Qt::LeftButton);
    QVERIFY(!rig.window->discoverButton()->isEnabled());
    QTRY_COMPARE_WITH_TIMEOUT(rig.rows(), (QStringList{"300 Disabled", "500 Enabled"}), kEndMs);
    QTRY_VERIFY_WITH_TIMEOUT(!rig.link.sim.configMode(), 5000);
    QTRY_VERIFY_WITH_TIMEOUT(rig.window->discoverButton()->isEnabled(), kEndMs);
    QCOMPARE(rig.bus.device(0).leaveRequests, 1);
    QCOMPARE(rig.bus.device(3).leaveRequests, 1);
    QCOMPARE(rig.bus.device(1).enterRequests, 0);
}

void TstTempBoard::discoveryWithoutBoards()
{
    BoardRig rig;
    QVERIFY(rig.start());
    QTest::mouseClick(rig.window->discoverButton(), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(rig.window->enableButton()->isEnabled(), kEndMs);
    QCOMPARE(rig.window->table()->rowCount(), 0);
    QVERIFY(!rig.link.sim.configMode());
    QCOMPARE(rig.requests(), QStringList{"00FF00FF00FF00FF"});
}

// Per module: enter, 0E F1 01, 0F F0, leave; the table shows the read-back.
void TstTempBoard::enableAllSwitchesEachModule()
{
    BoardRig rig;
    rig.add(50, 7);
    rig.add(112, 9);
    QVERIFY(rig.start());
    QTest::mouseClick(rig.window->discoverButton(), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(rig.rows(), (QStringList{"7 Disabled", "9 Disabled"}), kEndMs);
    QTRY_VERIFY_WITH_TIMEOUT(rig.window->enableButton()->isEnabled(), kEndMs);
    rig.bus.clearFrames();
    QTest::mouseClick(rig.window->enableButton(), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(rig.rows(), (QStringList{"7 Enabled", "9 Enabled"}), kEndMs);
    QCOMPARE(rig.requests(), (QStringList{"01FE320007000000", "0EF101", "0FF0", "02FD320007000000",
                                          "01FE700009000000", "0EF101", "0FF0", "02FD700009000000"}));
    QCOMPARE(rig.bus.device(0).powerState, 1);
    QTRY_VERIFY_WITH_TIMEOUT(!rig.link.sim.configMode(), 5000);
}

// Other frames keep coming on the bus (a master/slave frame every 100 ms):
// the operation still ends when its work is done, and a module that stops
// answering still ends it after its time-out.
void TstTempBoard::endsAmidOtherTraffic()
{
    BoardRig rig;
    const int board = rig.add(48, 500, 1);
    QVERIFY(rig.start());
    QTimer traffic;
    QObject::connect(&traffic, &QTimer::timeout, [&rig] { rig.link.sim.reply("CN1,00000123,0,0,8,0102030405060708"); });
    traffic.start(100);

    QTest::mouseClick(rig.window->discoverButton(), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(rig.rows(), QStringList{"500 Enabled"}, kEndMs);
    QTRY_VERIFY_WITH_TIMEOUT(rig.window->discoverButton()->isEnabled(), kEndMs);
    QVERIFY(!rig.link.sim.configMode());

    rig.bus.updateDevice(board, [](Device& d) { d.powerSilent = true; });
    QTest::mouseClick(rig.window->disableButton(), Qt::LeftButton);
    QVERIFY(!rig.window->discoverButton()->isEnabled());
    QTRY_VERIFY_WITH_TIMEOUT(rig.window->discoverButton()->isEnabled(), kEndMs);
    QTRY_VERIFY_WITH_TIMEOUT(!rig.link.sim.configMode(), 5000);
    QCOMPARE(rig.bus.device(board).leaveRequests, 2);
}

QTEST_MAIN(TstTempBoard)
#include "tst_tempboard.moc"
