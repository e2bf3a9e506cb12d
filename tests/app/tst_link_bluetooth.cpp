// The main window's link through a change to Bluetooth and back, as the user
// makes it on the Bluetooth module page: serial, then the unit behind the BLE
// module (its keep-alive lost and found again), then serial again, linked at
// every step without choosing a port again.
#include "BleDongleEmulator.h"
#include "BluetoothModule.h"
#include "ButtonImageGallery.h"
#include "DonglePort.h"
#include "ExternalComponentsPage.h"
#include "LabelToggleSwitch.h"
#include "TableView.h"
#include "WindowLink.h"

#include <QListWidget>
#include <QStandardItemModel>
#include <QTest>

using namespace windowlink;

class TestLinkBluetooth : public QObject
{
    Q_OBJECT
private slots:
    void serialBluetoothSerialStaysLinkedWithoutUserSteps();
};

void TestLinkBluetooth::serialBluetoothSerialStaysLinkedWithoutUserSteps()
{
    QTemporaryDir dir;
    prepareApplication(dir.path());
    ControlUnitSim serialUnit;
    serialUnit.setVersion("BMS2", "0000AAAA", "2.1.4.2");
    const QString serialPath = dir.filePath("ttyBMS0");
    QVERIFY(serialUnit.start(serialPath));
    ControlUnitSim bleUnit;
    bleUnit.setVersion("BMS2", "0000BBBB", "2.1.4.2");
    QVERIFY(bleUnit.start(dir.filePath("ttyBLEUNIT")));
    BleDongleEmulator::Options noPin;
    noPin.passkey.clear(); // pairs without asking
    BleDongleEmulator dongle(noPin);
    QVERIFY(dongle.bridgeToPort(bleUnit.portPath()));
    const QString donglePath = dir.filePath("ttyBLED112");
    QVERIFY(dongle.start(donglePath));
    qputenv(kDonglePortVariable, donglePath.toLocal8Bit());
    listPorts({serialPath});

    BMS_GUI w;
    QVERIFY(choosePort(w, serialPath));
    const QString overSerial = titleLinkedTo(serialPath, "43690", "2.1.4.2");
    QTRY_COMPARE_WITH_TIMEOUT(w.windowTitle(), overSerial, kLinkTimeoutMs);

    // External components, Bluetooth module, "Enable Bluetooth".
    QListWidget* pages = w.pageList();
    QTest::mouseClick(pages->viewport(), Qt::LeftButton, {}, pages->visualItemRect(pages->item(4)).center());
    auto* module = w.extComponentsPage()->findChild<BluetoothModule*>();
    QVERIFY(module);
    const auto items = w.extComponentsPage()->findChildren<ClickableLabel*>();
    QCOMPARE(items.size(), 2);
    QTest::mouseClick(items.at(1), Qt::LeftButton);
    QTRY_VERIFY(module->isVisible());
    auto* enable = module->findChild<LabelToggleSwitch*>();
    QVERIFY(enable);
    QTest::mouseClick(enable->toggleSwitch(), Qt::LeftButton);
    QCOMPARE(enable->state(), LabelToggleSwitch::on);
    QTRY_VERIFY_WITH_TIMEOUT(isTrying(w), kLinkTimeoutMs);

    // The module is listed; a double click connects it and the tool links
    // over it.
    auto* view = module->findChild<TableView*>();
    QVERIFY(view);
    QTRY_VERIFY_WITH_TIMEOUT(view->model()->rowCount() > 0, kLinkTimeoutMs);
    const QPoint row = view->visualRect(view->model()->index(0, 1)).center();
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, row);
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, row);
    const QString overBluetooth = titleLinkedTo(donglePath, "48059", "2.1.4.2");
    QTRY_COMPARE_WITH_TIMEOUT(w.windowTitle(), overBluetooth, kLinkTimeoutMs);

    // The unit behind the module falls silent: the keep-alive ends the link;
    // it speaks again and the tool links again over the module.
    bleUnit.setSilent(true);
    QTRY_VERIFY_WITH_TIMEOUT(isTrying(w), kLinkTimeoutMs);
    bleUnit.setSilent(false);
    QTRY_COMPARE_WITH_TIMEOUT(w.windowTitle(), overBluetooth, kLinkTimeoutMs);

    // Bluetooth off: back on the cable, to the port still chosen.
    QTRY_VERIFY_WITH_TIMEOUT(enable->isEnabled(), kLinkTimeoutMs);
    QTest::mouseClick(enable->toggleSwitch(), Qt::LeftButton);
    QCOMPARE(enable->state(), LabelToggleSwitch::off);
    QTRY_COMPARE_WITH_TIMEOUT(w.windowTitle(), overSerial, kLinkTimeoutMs);
    QTRY_VERIFY(!dongle.isConnected());
    qunsetenv(kDonglePortVariable);
}

QTEST_MAIN(TestLinkBluetooth)
#include "tst_link_bluetooth.moc"
