// The ports the window's parts hold: the port row never offers the BLE
// dongle, and the display unit's search never opens the control unit's port,
// also while its link is down, and ends when its page is left.
#include "BleDongleEmulator.h"
#include "ButtonImageGallery.h"
#include "DisplayPacket.h"
#include "DisplayUnit.h"
#include "DisplayUnitSim.h"
#include "DonglePort.h"
#include "ExternalComponentsPage.h"
#include "HeldPorts.h"
#include "WindowLink.h"
#include "usbport.h"

#include <QListWidget>
#include <QPushButton>
#include <QStackedWidget>
#include <QTest>

using namespace windowlink;

namespace {

constexpr int kExternalComponentsRow = 4;

void clickRow(QListWidget* list, int row)
{
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(row)).center());
}

QStringList offeredPorts(const BMS_GUI& w)
{
    QStringList out;
    for (int i = 0; i < w.portCombo()->count(); ++i)
        out << portNameFromEntry(w.portCombo()->itemText(i));
    return out;
}

} // namespace

class TestPortsWindow : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void portRowNeverOffersTheDongle();
    void displayUnitSearchLeavesTheControlUnitPortAlone();

private:
    QTemporaryDir dir_;
};

void TestPortsWindow::init()
{
    prepareApplication(dir_.path());
    setSystemPortLister({});
}

void TestPortsWindow::cleanup()
{
    qunsetenv(kDonglePortVariable);
    setSystemPortLister({});
}

void TestPortsWindow::portRowNeverOffersTheDongle()
{
    // One dongle the system lists by its USB ids, one named by the variable
    // and listed as an extra port, beside the unit's port.
    BleDongleEmulator byIds;
    BleDongleEmulator byVariable;
    const QString byIdsPath = dir_.filePath("ttyACM3");
    const QString byVariablePath = dir_.filePath("ttyBLED112");
    QVERIFY(byIds.start(byIdsPath));
    QVERIFY(byVariable.start(byVariablePath));
    qputenv(kDonglePortVariable, byVariablePath.toLocal8Bit());
    PortEntry listed;
    listed.name = listed.systemLocation = byIdsPath;
    listed.description = "USB Serial Device";
    listed.hasIds = true;
    listed.vendorId = kDongleVendorId;
    listed.productId = kDongleProductId;
    setSystemPortLister([listed] { return QList<PortEntry>{listed}; });
    const QString unitPath = dir_.filePath("ttyBMS0");
    listPorts({byVariablePath, unitPath});

    BMS_GUI w;
    QCOMPARE(offeredPorts(w), QStringList{unitPath});
    QTest::mouseClick(w.refreshButton(), Qt::LeftButton);
    QCOMPARE(offeredPorts(w), QStringList{unitPath});
    QCOMPARE(byIds.bytesReceived(), 0);
    QCOMPARE(byVariable.bytesReceived(), 0);
}

void TestPortsWindow::displayUnitSearchLeavesTheControlUnitPortAlone()
{
    // The control unit's port is chosen but the unit does not answer: the
    // link stays down and its port is closed between attempts. Both ports
    // are USB serial ports, the control unit's first.
    ControlUnitSim unit;
    unit.setSilent(true);
    const QString unitPath = dir_.filePath("ttyBMS1");
    QVERIFY(unit.start(unitPath));
    DisplayUnitSim display;
    display.setSilent(true);
    const QString displayPath = dir_.filePath("ttyDisplay");
    QVERIFY(display.start(displayPath));
    listPorts({unitPath, displayPath});

    BMS_GUI w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QVERIFY(choosePort(w, unitPath));
    QTRY_VERIFY_WITH_TIMEOUT(!unit.received().isEmpty(), kLinkTimeoutMs);

    clickRow(w.pageList(), kExternalComponentsRow);
    ExternalComponentsPage* page = w.extComponentsPage();
    QCOMPARE(w.pageStack()->currentWidget(), page);
    auto* du = page->findChild<DisplayUnit*>();
    QVERIFY(du);
    QStringList opened;
    connect(du->port(), &usbport::connStatus, this, [&](bool present) {
        if (present)
            opened << du->port()->currentPortName();
    });
    const auto pictures = page->findChildren<ClickableLabel*>();
    QVERIFY(!pictures.isEmpty());
    QTest::mouseClick(pictures.first(), Qt::LeftButton);

    // Unanswered, the search goes round its candidates again and again.
    QTRY_VERIFY_WITH_TIMEOUT(opened.count(displayPath) >= 3, kLinkTimeoutMs);
    display.setSilent(false);
    QTRY_COMPARE_WITH_TIMEOUT(du->windowTitle(), QStringLiteral("BMS Display Unit - Connected"), kLinkTimeoutMs);
    QCOMPARE(QSet<QString>(opened.begin(), opened.end()), QSet<QString>{displayPath});
    // The control unit's line only ever carried the link's own queries.
    for (const ControlUnitSim::Received& r : unit.received())
        QVERIFY2(r.good, r.raw.toHex(' ').constData());

    // Another page: the search ends and the port is let go.
    clickRow(w.pageList(), 0);
    QVERIFY(!du->port()->isStarted());
    QVERIFY(!isSerialPortHeld(displayPath));
    // Back on the page, the unit is found again.
    display.clearReceived();
    clickRow(w.pageList(), kExternalComponentsRow);
    QTRY_VERIFY_WITH_TIMEOUT(display.receivedCommands().contains(quint8(CmdIdentify)), kLinkTimeoutMs);
    QTRY_VERIFY_WITH_TIMEOUT(du->port()->isConnected(), kLinkTimeoutMs);
}

QTEST_MAIN(TestPortsWindow)
#include "tst_ports_window.moc"
