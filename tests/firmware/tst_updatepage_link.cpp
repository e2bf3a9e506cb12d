// The Update page over a real link: a CAN device updated by route frames from
// the "Update Firmware" button to the final status text, the checks of
// "Start update" before anything reaches the unit, and the factory
// provisioning sentences as the unit receives them.
#include "BootloaderSim.h"
#include "UpdatePageLinkRig.h"
#include "HeldBox.h"
#include "KepoBootloader.h"
#include "RouteBootloaderSim.h"
#include "SdoServerSim.h"
#include "TestImages.h"
#include "SentenceMaps.h"
#include "SimLink.h"
#include "TestServices.h"
#include "UpdatePage.h"
#include "Y5CanFwUpdater.h"
#include "Y5FwUpdater.h"

#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>


class TestUpdatePageLink : public QObject
{
    Q_OBJECT
private slots:
    void routeUpdateFromTheButton();
    void startChecksComeBeforeTheUnitIsTouched();
    void y55CompleteOnlyAfterTheRestart();
    void canDownloadRefusedWhileTheUnitIsUpdated();
    void canDownloadHoldsTheWindowAndStopsWithThePage();
    void factoryProvisioning();
};


// While the control unit's firmware is written, its port belongs to the
// serial updater: a CAN device download must not start and write into it.
void TestUpdatePageLink::canDownloadRefusedWhileTheUnitIsUpdated()
{
    Rig rig;
    SdoServer server(120);
    SdoBusSim bus(rig.link.sim, server, 0x21, 0x87654321);
    bus.setInBootloader(true);
    rig.routeDevice = false;
    BootloaderSim boot{rig.link.sim};
    boot.setSilentFrom(0); // the unit's answer to the first frame never comes
    Y5FwTiming timing;
    timing.ackPolls = 100000;
    rig.link.handler.setFirmwareUpdaterFactory(Y5FwUpdater::factory(timing));
    rig.link.sim.setVersion("BMS2", "0001E240", "2.8.0");
    QVERIFY(rig.startWithImage(TestImages::legacyFile({"BMS2", "2.8.1", "", "\x01\x02\x03"})));
    QVERIFY(selectCanDevice(rig));

    QTest::mouseClick(rig.page->startUpdateButton, Qt::LeftButton);
    QVERIFY(boot.waitReceivedFrames(1, 20000));
    QTest::mouseClick(rig.page->updateFirmwareButton, Qt::LeftButton);
    QCOMPARE(rig.page->canStatusText->text(), QString("Failed"));
    QCOMPARE(rig.messages.size(), 1);
    QVERIFY2(rig.messages.at(0).contains("Control Unit is being updated"), qPrintable(rig.messages.at(0)));
    QVERIFY(!canModuleBootloaderRunning());
    QVERIFY(bus.routeCommands().isEmpty());
    QVERIFY(server.requests().isEmpty());
}

// A CAN device download keeps the window from closing until it ends, and
// the page going (as the window does at its end) stops it and waits for it,
// so its thread never uses a transport that is gone.
void TestUpdatePageLink::canDownloadHoldsTheWindowAndStopsWithThePage()
{
    Rig rig;
    SdoServer server(120);
    SdoBusSim bus(rig.link.sim, server, 0x21, 0x87654321);
    bus.setInBootloader(true);
    rig.routeDevice = false;
    server.setSilent(true); // the download hangs in its first transfer
    QVERIFY(rig.start());
    QTRY_VERIFY_WITH_TIMEOUT(rig.link.handler.isFeatureBitmapValid(), 20000);
    QVERIFY(selectCanDevice(rig));

    QTest::mouseClick(rig.page->updateFirmwareButton, Qt::LeftButton);
    QVERIFY(rig.page->updateRunning);
    QVERIFY(canModuleBootloaderRunning());
    QTRY_VERIFY_WITH_TIMEOUT(!server.requests().isEmpty(), 20000);
    QVERIFY(rig.page->updateRunning);

    delete rig.page;
    rig.page = nullptr;
    QVERIFY(!canModuleBootloaderRunning());
    // The link is still the tool's: the unit answers as before.
    rig.link.sim.clearReceived();
    rig.link.handler.sendVersionRequest();
    QVERIFY(rig.link.sim.waitForSentence("VR1,?", 20000));
}

// A "BMS3" unit takes its image through its CANopen bootloader: the last
// block's acknowledgement is followed by the flash status and the restart,
// and only after the restart may the page say "Update complete." and the
// window be closed.
void TestUpdatePageLink::y55CompleteOnlyAfterTheRestart()
{
    Rig rig;
    SdoServer server{1};
    SdoBootHook boot{rig.link.sim, server};
    rig.link.sim.setVersion("BMS3", "0001E240", "2.8.0");
    rig.link.sim.setRebootMs(100);
    rig.link.handler.setFirmwareUpdaterFactory(Y5FwUpdater::factory());
    TestImages::Sha1Image image;
    image.records = TestImages::versionRecord("2.8.1");
    image.payload = QByteArray(3000, '\x11') + QByteArray(500, '\x13');
    const QByteArray file = image.build();
    QVERIFY(rig.startWithImage(file));
    // Witness: how many program starts the unit had seen when "100 %" left
    // for the page (taken in the thread that sends it).
    std::atomic<int> startsAtComplete{-1};
    QObject::connect(
        rig.link.comm, &CommunicatorBase::sigFirmwareUpdateProgress, &rig.context,
        [&](int value, int kind, const QString&) {
            int none = -1;
            if (kind == 1 && value == 100)
                startsAtComplete.compare_exchange_strong(none, server.programStarts());
        },
        Qt::DirectConnection);

    QTest::mouseClick(rig.page->startUpdateButton, Qt::LeftButton);
    QVERIFY(rig.page->updateRunning);
    bool early = false;
    QTRY_VERIFY_WITH_TIMEOUT(([&] {
                                 const bool complete = rig.page->statusText->text() == "Update complete.";
                                 if (server.programStarts() == 0 && (complete || !rig.page->updateRunning))
                                     early = true;
                                 return complete;
                             }()),
                             60000);
    QVERIFY2(!early, "done before the unit was restarted");
    QCOMPARE(startsAtComplete.load(), 1);
    QCOMPARE(server.programData(), file);
    QCOMPARE(boot.restarts(), 1);
    QCOMPARE(rig.page->progressBar->value(), 100);
    QVERIFY(!rig.page->updateRunning);
}

// Each refusal of "Start update" comes before the configuration is saved,
// before factory defaults ("FD1") and before the bootloader ("RS1"). The unit
// runs 2.6.3 and the image is 2.7.0, so a start that gets through restores
// factory defaults first.
void TestUpdatePageLink::startChecksComeBeforeTheUnitIsTouched()
{
    Rig rig;
    rig.link.sim.setVersion("BMS2", "0001E240", "2.6.3");
    QVERIFY(rig.startWithImage(TestImages::legacyFile({"BMS2", "2.7.0", "", "\x01\x02\x03"})));

    struct Case
    {
        const char* name;
        bool configurationRead, canJobBusy, otherUpdate;
        const char* message; // null: the start goes ahead
    };
    const Case cases[] = {
        {"configuration not read", false, false, false,
         "the configuration has not been read from the Control Unit, so it cannot be saved before the update. "
         "Open the Configuration page, load the configuration parameters"},
        {"CAN job running", true, true, false, "a CAN device operation is running"},
        {"another update starting", true, false, true, "another firmware update is running"},
        {"all clear", true, false, false, nullptr},
    };
    for (const Case& c : cases) {
        QVERIFY2(rig.settleLink(), c.name);
        rig.configurationRead = c.configurationRead;
        rig.canJobBusy = c.canJobBusy;
        rig.link.handler.updateStarting = c.otherUpdate;
        rig.messages.clear();
        rig.saves = 0;
        rig.link.sim.clearReceived();
        QTRY_VERIFY_WITH_TIMEOUT(rig.page->startUpdateButton->isEnabled(), 20000);
        QTest::mouseClick(rig.page->startUpdateButton, Qt::LeftButton);
        rig.link.handler.updateStarting = false;
        // A marker behind anything the click sent: the link keeps the order.
        rig.link.handler.sendVersionRequest();
        QVERIFY2(rig.link.sim.waitForSentence("VR1,?", 20000), c.name);
        const QStringList sent = rig.link.sim.goodSentences();
        const bool reset = sent.filter(QRegularExpression("^(FD1|RS1)")).size() > 0;
        if (c.message) {
            QVERIFY2(!reset, c.name);
            QCOMPARE(rig.saves, 0);
            QCOMPARE(rig.messages.size(), 1);
            QVERIFY2(rig.messages.at(0).contains(c.message), qPrintable(rig.messages.at(0)));
            QCOMPARE(rig.page->statusText->text(), rig.messages.at(0));
            QVERIFY(!rig.page->updateRunning);
        } else {
            QVERIFY2(sent.filter(QRegularExpression("^FD1")).size() == 1,
                     qPrintable(rig.messages.join('|') + " / " + sent.join('|')));
            QCOMPARE(rig.saves, 1);
        }
    }
}

void TestUpdatePageLink::routeUpdateFromTheButton()
{
    Rig rig;
    QVERIFY(rig.start());
    rig.page->canImage = ":0400000001020304F2:0400040005060708DE:00000001FF";
    rig.page->canProductCode = 7;
    rig.page->canImageLoaded = true;
    rig.page->slotCanDeviceOperationStatus(0, 0);
    rig.page->slotCanDeviceOperationStatus(1, 0);
    QVERIFY(rig.page->updateFirmwareButton->isEnabled());

    rig.page->updateFirmwareButton->click();
    QVERIFY(!rig.page->discoverButton->isEnabled());
    QVERIFY(!rig.page->openCanFirmwareButton->isEnabled());
    QTRY_COMPARE_WITH_TIMEOUT(rig.page->canStatusText->text(),
                              QString("Application CRC OK, device is working. Update was successful"), 60000);
    QTRY_VERIFY_WITH_TIMEOUT(rig.page->discoverButton->isEnabled(), 10000);
    QVERIFY(rig.page->openCanFirmwareButton->isEnabled());
    QCOMPARE(rig.device.recordsStored(), 2);
    QCOMPARE(rig.page->canProgressBar->value(), 100);
    QVERIFY(!rig.updater.isBusy());
}

void TestUpdatePageLink::factoryProvisioning()
{
    g_factoryMode = true;
    Rig rig;
    QVERIFY(rig.start());
    QVERIFY(rig.page->serialEdit);
    rig.page->serialEdit->setText("123");
    rig.page->slotSerialNumberPressed();
    QVERIFY(rig.link.sim.waitForSentence("SN1,0000007B", 5000));
    QVERIFY(rig.page->serialEdit->text().isEmpty());
    rig.page->serialEdit->setText("12a");
    rig.page->slotSerialNumberPressed();
    rig.page->customerEdit->setText("x");
    rig.page->featureSetEdit->setText("2");
    rig.page->slotSetCustomerIDPressed();
    rig.page->customerEdit->setText("1");
    rig.page->slotSetCustomerIDPressed();
    QVERIFY(rig.link.sim.waitForSentence("CI1,00000001,00000002", 5000));
    // Neither refused text was sent.
    int sn = 0, ci = 0;
    for (const QString& s : rig.link.sim.goodSentences()) {
        sn += s.startsWith("SN1,");
        ci += s.startsWith("CI1,");
    }
    QCOMPARE(sn, 1);
    QCOMPARE(ci, 1);
}

QTEST_MAIN(TestUpdatePageLink)
#include "tst_updatepage_link.moc"
