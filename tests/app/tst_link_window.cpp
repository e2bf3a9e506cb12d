// The link as the main window keeps it: a transport made anew after the
// obsolete-firmware question searches the chosen port again, auto-connection
// leaves the BLE dongle and ports held by other links alone, the tab
// shortcuts of the Status and Statistics pages work from the keyboard, and an
// undocked Master/Slave tab stays undocked over a reconnection.
#include "BleDongleEmulator.h"
#include "DonglePort.h"
#include "SerialPort.h"
#include "StatisticsPage.h"
#include "StatusPage.h"
#include "WindowLink.h"
#include "Y5ProtocolHandler.h"
#include "myTabWidget.h"

#include <QListWidget>
#include <QMouseEvent>
#include <QStackedWidget>
#include <QTabBar>
#include <QTest>

using namespace windowlink;

namespace {

// Answers "No" to the obsolete-firmware question and "Cancel" to "Quit"; the
// user then plugs in a unit with a supported firmware.
struct DecliningDialogs : ScriptedDialogs
{
    std::function<void()> onQuestion;
    bool askYesNo(const UserQuestion& q) override
    {
        if (onQuestion)
            onQuestion();
        return ScriptedDialogs::askYesNo(q);
    }
};

void clickRow(QListWidget* list, int row)
{
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(row)).center());
}

void mouseOnTabBar(QTabBar* bar, QEvent::Type type, const QPoint& pos)
{
    const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent e(type, pos, bar->mapToGlobal(pos), type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton,
                  held, Qt::NoModifier);
    QApplication::sendEvent(bar, &e);
}

} // namespace

class TestLinkWindow : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void obsoleteFirmwareRestartSearchesTheChosenPortAgain();
    void autoConnectionLeavesDongleAndHeldPortsAlone();
    void keyPressesSwitchTabs();
    void undockedMasterSlaveTabStaysUndockedOverReconnection();

private:
    QTemporaryDir dir_;
    ControlUnitSim sim_;
    QString port_;
};

void TestLinkWindow::initTestCase()
{
    port_ = dir_.filePath("ttyBMS0");
    QVERIFY(sim_.start(port_));
}

void TestLinkWindow::init()
{
    prepareApplication(dir_.path());
    listPorts({port_});
    setSystemPortLister({});
    sim_.setVersion("BMS2", "0001E240", "2.1.4.2");
}

void TestLinkWindow::obsoleteFirmwareRestartSearchesTheChosenPortAgain()
{
    sim_.setVersion("BMS2", "0001E240", "1.9.0");
    DecliningDialogs dialogs;
    dialogs.yesNoAnswer = false;
    dialogs.quitAnswer = false;
    dialogs.onQuestion = [this] { sim_.setVersion("BMS2", "0001E240", "2.1.4.2"); };
    BMS_GUI w;
    w.setDialogs(&dialogs);
    QVERIFY(choosePort(w, port_));

    QTRY_COMPARE_WITH_TIMEOUT(dialogs.questions.size(), 1, kLinkTimeoutMs);
    QTRY_COMPARE_WITH_TIMEOUT(dialogs.quitQuestions, 1, kLinkTimeoutMs);
    // The stopped transport is replaced; the new one searches the port still
    // chosen in the port row, without the user choosing it again.
    QTRY_COMPARE_WITH_TIMEOUT(w.windowTitle(), titleLinkedTo(port_, "123456", "2.1.4.2"), kLinkTimeoutMs);
    QCOMPARE(portNameFromEntry(w.portCombo()->currentText()), port_);
    QCOMPARE(dialogs.questions.size(), 1);
}

void TestLinkWindow::autoConnectionLeavesDongleAndHeldPortsAlone()
{
    // A dongle the system lists by its USB ids, one named in
    // BMS_BLE_DONGLE_PORT, and a unit whose port another link holds: all
    // listed before the free unit.
    BleDongleEmulator byIds;
    BleDongleEmulator byVariable;
    const QString byIdsPath = dir_.filePath("ttyACM7");
    const QString byVariablePath = dir_.filePath("ttyBLED112");
    QVERIFY(byIds.start(byIdsPath));
    QVERIFY(byVariable.start(byVariablePath));
    qputenv(kDonglePortVariable, byVariablePath.toLocal8Bit());
    PortEntry listed;
    listed.name = byIdsPath;
    listed.systemLocation = byIdsPath;
    listed.description = "USB Serial Device";
    listed.hasIds = true;
    listed.vendorId = kDongleVendorId;
    listed.productId = kDongleProductId;
    setSystemPortLister([listed] { return QList<PortEntry>{listed}; });

    ControlUnitSim heldUnit;
    heldUnit.setVersion("BMS2", "00000007", "2.1.4.2");
    const QString heldPath = dir_.filePath("ttyHELD");
    QVERIFY(heldUnit.start(heldPath));
    SerialPort otherLink(PortHolder::DisplayUnit);
    otherLink.setPortName(heldPath);
    QVERIFY(otherLink.open());
    listPorts({byVariablePath, heldPath, port_});

    prepareApplication(dir_.path(), true);
    {
        BMS_GUI w;
        QTRY_COMPARE_WITH_TIMEOUT(w.windowTitle(), titleLinkedTo(port_, "123456", "2.1.4.2"), kLinkTimeoutMs);
        QCOMPARE(byIds.bytesReceived(), 0);
        QCOMPARE(byVariable.bytesReceived(), 0);
        QVERIFY(heldUnit.received().isEmpty());
    }
    otherLink.close();
    qunsetenv(kDonglePortVariable);
}

void TestLinkWindow::keyPressesSwitchTabs()
{
    BMS_GUI w;
    QTRY_VERIFY_WITH_TIMEOUT(w.isVisible(), kLinkTimeoutMs);
    w.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    auto* status = w.statusPage()->findChild<myTabWidget*>();
    auto* statistics = w.statisticsPage()->findChild<myTabWidget*>();
    QVERIFY(status && statistics);

    for (int tab : {2, 4, 0, 3}) {
        QTest::keyClick(&w, Qt::Key(Qt::Key_0 + tab), Qt::ControlModifier);
        QCOMPARE(status->currentIndex(), tab);
    }

    // On the Statistics page its own shortcuts act; the hidden Status page's sleep.
    clickRow(w.pageList(), 1);
    QCOMPARE(w.pageStack()->currentWidget(), static_cast<QWidget*>(w.statisticsPage()));
    QTest::keyClick(&w, Qt::Key_1, Qt::ControlModifier);
    QCOMPARE(statistics->currentIndex(), 1);
    QCOMPARE(status->currentIndex(), 3);
    QTest::keyClick(&w, Qt::Key_0, Qt::ControlModifier);
    QCOMPARE(statistics->currentIndex(), 0);
    QCOMPARE(status->currentIndex(), 3);
}

void TestLinkWindow::undockedMasterSlaveTabStaysUndockedOverReconnection()
{
    BMS_GUI w;
    QVERIFY(choosePort(w, port_));
    const QString linked = titleLinkedTo(port_, "123456", "2.1.4.2");
    QTRY_COMPARE_WITH_TIMEOUT(w.windowTitle(), linked, kLinkTimeoutMs);
    auto* tabs = w.statusPage()->findChild<myTabWidget*>();
    QVERIFY(tabs);
    auto msIndex = [tabs] {
        for (int i = 0; i < tabs->count(); ++i)
            if (tabs->tabText(i) == "Master/Slave")
                return i;
        return -1;
    };
    // A BMS2 unit has the Master/Slave tab.
    QTRY_VERIFY(msIndex() >= 0);
    QWidget* masterSlave = tabs->widget(msIndex());
    const int tabsDocked = tabs->count();

    // Dragged out of the tab bar into a window of its own.
    QTabBar* bar = tabs->tabBar();
    const QPoint start = bar->tabRect(msIndex()).center();
    mouseOnTabBar(bar, QEvent::MouseButtonPress, start);
    mouseOnTabBar(bar, QEvent::MouseMove, start + QPoint(0, 40));
    mouseOnTabBar(bar, QEvent::MouseButtonRelease, start + QPoint(0, 40));
    QVERIFY(masterSlave->isWindow());
    QCOMPARE(tabs->count(), tabsDocked - 1);

    // The unit goes and comes back: its version reply must not pull the
    // window back into the tab bar. Counted after the page has had each one.
    int versionLines = 0;
    QObject context;
    connect(w.protocolHandler(), &Y5ProtocolHandler::sigReceivedVersionString, &context, [&] { ++versionLines; },
            Qt::QueuedConnection);
    sim_.vanish();
    QTRY_VERIFY_WITH_TIMEOUT(isTrying(w), kLinkTimeoutMs);
    versionLines = 0;
    QVERIFY(sim_.reappear());
    QTRY_COMPARE_WITH_TIMEOUT(w.windowTitle(), linked, kLinkTimeoutMs);
    QTRY_VERIFY_WITH_TIMEOUT(versionLines > 0, kLinkTimeoutMs);
    QVERIFY(masterSlave->isWindow());
    QCOMPARE(tabs->indexOf(masterSlave), -1);
    QCOMPARE(tabs->count(), tabsDocked - 1);

    // Closing its window docks it back, once.
    masterSlave->close();
    QVERIFY(!masterSlave->isWindow());
    QCOMPARE(tabs->count(), tabsDocked);
    QCOMPARE(tabs->tabText(tabs->indexOf(masterSlave)), QString("Master/Slave"));
}

QTEST_MAIN(TestLinkWindow)
#include "tst_link_window.moc"
