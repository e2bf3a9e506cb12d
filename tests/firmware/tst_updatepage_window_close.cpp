// The Update page in the main window against the control-unit emulator: a
// control-unit update and a route-frame CAN device update, each started from
// its button, keep the window open until their outcome.
#include "BootloaderSim.h"
#include "ConfigUnitRig.h"
#include "RouteBootloaderSim.h"

#include "HeldBox.h"
#include "StatisticsSim.h"
#include "TestImages.h"
#include "UpdatePage.h"
#include "myTabWidget.h"

#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTabBar>

class TestUpdatePageWindowClose : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY(rig.startEmulator()); }
    void cleanupTestCase() { rig.closeWindow(); }
    void controlUnitAndRouteUpdatesKeepTheWindowOpen();

private:
    StatisticsSim statistics; // outlives the emulator that calls it
    ConfigUnitRig rig;
};

namespace {
// Closing is refused with this word, and the window stays.
bool closeRefused(ConfigUnitRig& rig, const QString& word)
{
    rig.dialogs.informations.clear();
    rig.dialogs.quitAnswer = true;
    const bool refused = !rig.window->close() && rig.window->isVisible() && rig.dialogs.quitQuestions == 0
                         && rig.dialogs.informations.size() == 1 && rig.dialogs.informations.at(0).contains(word);
    if (!refused)
        qWarning() << rig.dialogs.informations;
    return refused;
}
} // namespace

// A control-unit update and a route-frame CAN device update each hold the
// window until their outcome: closing mid-image would leave the unit or the
// device half written.
void TestUpdatePageWindowClose::controlUnitAndRouteUpdatesKeepTheWindowOpen()
{
    BootloaderSim boot{rig.sim};
    rig.sim.setBootloaderEntry(true);
    // The statistics the page saves before the update.
    statistics.setUnitHistory(QDateTime::currentDateTimeUtc());
    statistics.install(rig.sim);
    boot.setSilentFrom(0); // the first frame's answer never comes
    RouteBootloaderSim device{7, 4242};
    device.install(rig.sim);
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
    QFile file(rig.dir.filePath("unit.hex"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(TestImages::legacyFile({"BMS2", "2.1.5.0", "", QByteArray(40, 'A')}));
    file.close();
    QFile record(rig.dir.filePath("device.hex"));
    QVERIFY(record.open(QIODevice::WriteOnly));
    record.write("$7$15\r\n:0400000001020304F2\r\n:0400040005060708DE\r\n:00000001FF\r\n");
    record.close();
    QString next = record.fileName();
    page->chooseFile = [&next](QWidget*, const QString&) {
        testkit::holdLikeABox();
        return next;
    };
    rig.window->pageList()->setCurrentRow(3);

    // The route-frame update of a device, the window's pump kept off the link.
    device.ignoreNextRecords(1000);
    QTabBar* tabs = page->tabWidget->tabBar();
    QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(1).center());
    page->discoverListSize = [] { return 1; };
    page->discoverListEntry = [](quint8 i, UpdatePage::DiscoveredDevice* d) {
        *d = {7, 4242, 21};
        return i == 0;
    };
    QTRY_VERIFY_WITH_TIMEOUT(page->openCanFirmwareButton->isEnabled(), 20000);
    QTest::mouseClick(page->openCanFirmwareButton, Qt::LeftButton);
    page->slotCanDeviceOperationStatus(0, 0);
    page->slotCanDeviceOperationStatus(1, 0);
    QVERIFY(messages.isEmpty());
    QVERIFY(page->updateFirmwareButton->isEnabled());
    QTest::mouseClick(page->updateFirmwareButton, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!device.frames().isEmpty(), 20000);
    QVERIFY(closeRefused(rig, "firmware of a CAN device is being updated"));
    // Its outcome frees the window again.
    QTRY_VERIFY_WITH_TIMEOUT(!page->updateRunning, 30000);
    QCOMPARE(page->canStatusText->text(), QString("Firmware upload packet error, retry"));

    // The control unit's update, waiting for its first frame's answer.
    QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(0).center());
    next = file.fileName();
    QTest::mouseClick(page->openFirmwareButton, Qt::LeftButton);
    QVERIFY(page->startUpdateButton->isEnabled());
    QTest::mouseClick(page->startUpdateButton, Qt::LeftButton);
    QTRY_VERIFY2_WITH_TIMEOUT(boot.receivedFrameCount() >= 1,
                              qPrintable(page->statusText->text() + " | " + messages.join('|') + " | "
                                         + rig.sim.goodSentences().mid(rig.sim.goodSentences().size() - 8).join('|')),
                              20000);
    QVERIFY(closeRefused(rig, "firmware of the Control Unit is being updated"));
    QTRY_COMPARE_WITH_TIMEOUT(page->statusText->text(), QString("Update failed! Device not responding."), 20000);
    QVERIFY(!page->updateRunning);

    device.uninstall();
    rig.sim.setBootloaderEntry(false);
    rig.closeWindow(); // before the statistics and the bootloader go
}

QTEST_MAIN(TestUpdatePageWindowClose)
#include "tst_updatepage_window_close.moc"
