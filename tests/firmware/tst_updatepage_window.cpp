// The Update page in the main window against the control-unit emulator: a CAN
// device download started from its button keeps the window open until it
// ends, and the window going stops it before the link and its handler go.
#include "ConfigUnitRig.h"

#include "HeldBox.h"
#include "KepoBootloader.h"
#include "SdoServerSim.h"
#include "TestImages.h"
#include "UpdatePage.h"
#include "myTabWidget.h"

#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTabBar>

class TestUpdatePageWindow : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY(rig.startEmulator()); }
    void cleanupTestCase() { rig.closeWindow(); }
    void canDownloadKeepsTheWindowOpen();

private:
    ConfigUnitRig rig;
};

void TestUpdatePageWindow::canDownloadKeepsTheWindowOpen()
{
    SdoServer server(120);
    SdoBusSim bus(rig.sim, server, 0x21, 0x87654321);
    bus.setInBootloader(true);
    server.setSilent(true); // the download waits in its first transfer
    QVERIFY(rig.linkUnit("0001E240", 2, batteryPackValues()));
    QVERIFY(rig.loadConfiguration());

    UpdatePage* page = rig.window->updatePage();
    QStringList messages;
    page->showMessage = [&messages](QWidget*, const QString& text) {
        testkit::holdLikeABox();
        messages << text;
    };
    page->confirmConfigurationMode = [] {
        testkit::holdLikeABox();
        return true;
    };
    TestImages::Sha1Image image;
    image.product = 0x21;
    image.records = TestImages::versionRecord("1.0");
    QFile file(rig.dir.filePath("can.bin"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(image.build());
    file.close();
    page->chooseFile = [&file](QWidget*, const QString&) {
        testkit::holdLikeABox();
        return file.fileName();
    };
    page->discoverListSize = [] { return 1; };
    page->discoverListEntry = [](quint8 i, UpdatePage::DiscoveredDevice* d) {
        *d = {0x21, 0x87654321, 21};
        return i == 0;
    };
    // The Update page, then its "CAN Devices" tab, as the user opens them.
    rig.window->pageList()->setCurrentRow(3);
    QTabBar* tabs = page->tabWidget->tabBar();
    QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(1).center());
    // Opening an image needs the unit's login, which the window reads after
    // the configuration.
    QTRY_VERIFY_WITH_TIMEOUT(page->openCanFirmwareButton->isEnabled(), 20000);
    QTest::mouseClick(page->openCanFirmwareButton, Qt::LeftButton);
    // The discovery engine reports a finished search.
    page->slotCanDeviceOperationStatus(0, 0);
    page->slotCanDeviceOperationStatus(1, 0);
    QVERIFY(messages.isEmpty());
    QVERIFY(page->updateFirmwareButton->isEnabled());

    QTest::mouseClick(page->updateFirmwareButton, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!server.requests().isEmpty(), 20000);

    // Closing is refused with a word while the download runs.
    rig.dialogs.quitAnswer = true;
    QVERIFY(!rig.window->close());
    QVERIFY(rig.window->isVisible());
    QCOMPARE(rig.dialogs.quitQuestions, 0);
    QCOMPARE(rig.dialogs.informations.size(), 1);
    QVERIFY2(rig.dialogs.informations.at(0).contains("firmware of a CAN device is being updated"),
             qPrintable(rig.dialogs.informations.at(0)));
    QVERIFY(canModuleBootloaderRunning());

    // The window going ends the download first (no use of a freed handler).
    rig.closeWindow();
    QVERIFY(!canModuleBootloaderRunning());
}

QTEST_MAIN(TestUpdatePageWindow)
#include "tst_updatepage_window.moc"
