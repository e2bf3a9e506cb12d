// How an update ends on the Update page, from its buttons against the
// emulators: the outcome (success or failure, with its reason) stays on the
// page through the link changes that follow, the unit either runs its
// application or waits in its bootloader for the retry, and the page holds
// still while an update runs.
#include "BootloaderSim.h"
#include "SavedConfiguration.h"
#include "UpdatePageLinkRig.h"
#include "Y5FwUpdater.h"

#include <QLabel>
#include <QProgressBar>
#include <QSettings>
#include <QTimer>

namespace {
constexpr int kWaitMs = 30000;
const QString kNotResponding = QStringLiteral("Update failed! Device not responding.");

QByteArray legacyFile(const QString& version, const QList<QByteArray>& firmware)
{
    return TestImages::legacyFile(QList<QByteArray>{"BMS2", version.toLatin1(), ""} + firmware);
}
} // namespace

class TestUpdatePageOutcome : public QObject
{
    Q_OBJECT
private slots:
    void failureStaysAndRetryWorks_data();
    void failureStaysAndRetryWorks();
    void factoryResetWaitHoldsThePage();
    void lostLoginReplyCanBeStopped();
};

void TestUpdatePageOutcome::failureStaysAndRetryWorks_data()
{
    QTest::addColumn<bool>("portVanishes");
    QTest::newRow("the unit falls silent") << false;
    QTest::newRow("the port vanishes") << true;
}

// The failure comes while the unit waits in its bootloader; the link drops
// and comes back to it there. The outcome stays, and "Start update" again
// (in boot mode now) writes the image and brings the application back.
void TestUpdatePageOutcome::failureStaysAndRetryWorks()
{
    QFETCH(bool, portVanishes);
    Rig rig;
    rig.routeDevice = false;
    BootloaderSim boot{rig.link.sim};
    boot.setSilentFrom(1);
    rig.link.handler.setFirmwareUpdaterFactory(Y5FwUpdater::factory());
    rig.link.sim.setVersion("BMS2", "0001E240", "2.8.0");
    rig.followLinkStatus();
    const QList<QByteArray> firmware{QByteArray(40, 'A'), QByteArray(40, 'B'), QByteArray(40, 'C')};
    QVERIFY(rig.startWithImage(legacyFile("2.8.1", firmware)));
    UpdatePage* page = rig.page;

    QTest::mouseClick(page->startUpdateButton, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(boot.receivedFrameCount() >= 2, kWaitMs);
    if (portVanishes)
        rig.link.sim.vanish();
    QTRY_COMPARE_WITH_TIMEOUT(page->statusText->text(), kNotResponding, kWaitMs);
    if (portVanishes)
        QVERIFY(rig.link.sim.reappear());
    QTRY_VERIFY_WITH_TIMEOUT(rig.link.comm->linked && rig.link.handler.isBootMode()
                                 && page->discoverButton->isEnabled(),
                             kWaitMs);
    QCOMPARE(rig.link.sim.mode(), ControlUnitSim::Mode::Bootloader);
    QCOMPARE(page->statusText->text(), kNotResponding);
    QVERIFY(!page->statusText->isHidden());
    QVERIFY(!page->progressBar->isHidden());
    QVERIFY(!page->updateRunning);
    QVERIFY(page->startUpdateButton->isEnabled());

    // The retry: in boot mode nothing is saved first, yet neither button
    // may start a second update or change the image meanwhile.
    boot.setSilentFrom(-1);
    boot.setRestartAfterFrames(boot.takenFrames().size() + firmware.size());
    QTest::mouseClick(page->startUpdateButton, Qt::LeftButton);
    QVERIFY(page->updateRunning);
    QVERIFY(!page->startUpdateButton->isEnabled());
    QVERIFY(!page->openFirmwareButton->isEnabled());
    QTRY_VERIFY_WITH_TIMEOUT(!page->updateActive, kWaitMs);
    QTRY_VERIFY_WITH_TIMEOUT(rig.link.sim.mode() == ControlUnitSim::Mode::Firmware && rig.link.comm->linked
                                 && !rig.link.handler.isBootMode(),
                             kWaitMs);
    QCOMPARE(page->statusText->text(), QString("Update complete."));
    QVERIFY(!page->statusText->isHidden());
    QCOMPARE(page->progressBar->value(), 100);
    QVERIFY(page->startUpdateButton->isEnabled());
    QVERIFY(page->openFirmwareButton->isEnabled());
    QByteArray image;
    for (const QByteArray& frame : firmware)
        image += TestImages::frame(frame);
    QVERIFY(boot.takenImage().endsWith(image));
}

// Crossing 2.7 restores factory defaults and waits before the login: the
// update has begun, so the window may not close and the image may not change.
void TestUpdatePageOutcome::factoryResetWaitHoldsThePage()
{
    Rig rig;
    rig.link.sim.setVersion("BMS2", "0001E240", "2.6.3");
    // The login after the factory reset goes through without a password.
    rig.link.sim.setHandler("PW1", [](ControlUnitSim& sim, const ControlUnitSim::Sentence&) { sim.reply("PW1,2"); });
    QVERIFY(rig.startWithImage(legacyFile("2.7.0", {QByteArray(10, 'A')})));
    UpdatePage* page = rig.page;
    page->factoryResetWaitSteps = 30;
    bool seen = false, openEnabled = true, startEnabled = true, holdsWindow = false;
    QTimer::singleShot(0, page, [&] {
        seen = true;
        openEnabled = page->openFirmwareButton->isEnabled();
        startEnabled = page->startUpdateButton->isEnabled();
        holdsWindow = page->updateRunning;
    });
    QTest::mouseClick(page->startUpdateButton, Qt::LeftButton);
    QVERIFY(rig.link.sim.waitForSentence("FD1", kWaitMs));
    QVERIFY(seen);
    QVERIFY(!openEnabled);
    QVERIFY(!startEnabled);
    QVERIFY(holdsWindow);
    // No bootloader answers here: the update fails, and says so.
    QTRY_VERIFY_WITH_TIMEOUT(!page->updateRunning, kWaitMs);
    QVERIFY2(page->statusText->text().startsWith("Update failed!"), qPrintable(page->statusText->text()));
    QVERIFY(!page->statusText->isHidden());
}

// A lost "PW1" reply holds the restore's login for minutes. The page says
// that it waits for the unit, and "Stop waiting" ends the wait: the restore
// begins again and goes on once the unit answers.
void TestUpdatePageOutcome::lostLoginReplyCanBeStopped()
{
    Rig rig;
    rig.routeDevice = false;
    Y5Timing timing; // the login's own long wait
    timing.bootPassWaitMs = 200;
    rig.link.handler.setTiming(timing);
    rig.page->unitWaitShowMs = 500;
    rig.link.sim.setVersion("BMS2", "0001E240", "2.8.0");
    std::atomic<int> dropped{0};
    rig.link.sim.setHandler("PW1", [&dropped](ControlUnitSim& sim, const ControlUnitSim::Sentence& s) {
        if (s.text == "PW1,?" && dropped++ == 0)
            return;
        sim.reply("PW1,2");
    });
    {
        QSettings settings;
        settings.setValue(SavedConfiguration::groupName(0x1E240) + "/CF2,0010", 0);
    }
    QVERIFY(rig.link.start());
    UpdatePage* page = rig.page;
    QTRY_VERIFY2_WITH_TIMEOUT(!page->stopWaitButton->isHidden(), qPrintable(rig.link.sim.goodSentences().join('|')),
                              kWaitMs);
    QCOMPARE(page->statusText->text(), QString("Waiting for the Control Unit to answer..."));
    QVERIFY(!page->statusText->isHidden());
    QVERIFY(!rig.link.sim.goodSentences().contains("FD1,"));

    QTest::mouseClick(page->stopWaitButton, Qt::LeftButton);
    QVERIFY(page->stopWaitButton->isHidden());
    // The window's pump hears the unit's answers: wait with events running.
    QTRY_VERIFY_WITH_TIMEOUT(rig.link.sim.goodSentences().contains("FD1,"), kWaitMs);
    QVERIFY(dropped.load() >= 2);
    QSettings().remove(SavedConfiguration::groupName(0x1E240));
}

QTEST_MAIN(TestUpdatePageOutcome)
#include "tst_updatepage_outcome.moc"
