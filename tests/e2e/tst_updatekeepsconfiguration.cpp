// A control-unit firmware update as the user runs it from the Update page,
// through the real transport into the emulator's serial bootloader: the unit
// comes back at its factory values and the per-serial copy the page kept
// puts every value of the whole configuration back.
#include "BootloaderSim.h"
#include "ConfigUnitRig.h"
#include "RestoreAfterUpdate.h"
#include "HeldBox.h"
#include "StatisticsSim.h"
#include "TestImages.h"
#include "UpdatePage.h"

#include <QFile>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QListWidget>
#include <QRegularExpression>

using namespace restore;

class TestUpdateKeepsConfiguration : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QVERIFY(rig.startEmulator());
        rig.sim.setBootloaderEntry(true);
        // The unit's statistics, which the update may read and send back.
        statistics.setUnitHistory(QDateTime::currentDateTimeUtc());
        statistics.install(rig.sim);
    }
    void cleanupTestCase()
    {
        rig.closeWindow();
        rig.sim.stop(); // before the bootloader's hook and the statistics go
    }
    void updateFromTheButtonRestoresEveryValue();

private:
    ConfigUnitRig rig;
    BootloaderSim boot{rig.sim};
    StatisticsSim statistics;
};

void TestUpdateKeepsConfiguration::updateFromTheButtonRestoresEveryValue()
{
    rig.prompter.password = "1111"; // the unit asks for the login after its restart
    rig.presentUnit("0000CAFE", 1, {});
    rig.sim.holdFactoryConfiguration();
    for (auto it = kUsedValues.cbegin(); it != kUsedValues.cend(); ++it)
        rig.sim.changeParam(it.key(), it.value());
    QVERIFY(rig.openWindow());
    // Any box the page runs (a rule's warning, a question) is a fault here.
    QStringList boxes;
    rig.page->setModalBoxRunner([&boxes](QMessageBox* box) {
        testkit::holdLikeABox();
        boxes << box->text() + " " + box->informativeText();
        box->setResult(QMessageBox::Cancel);
    });
    rig.window->pageList()->setCurrentRow(2);
    QVERIFY(rig.waitLoadQuestion());
    rig.answerLoadQuestion(QMessageBox::Yes);
    QVERIFY(rig.waitLoaded(kLongWaitMs));
    QCOMPARE(rig.dialogs.questions.size(), 0);
    const QMap<quint16, quint32> before = rig.sim.params();

    // "Open firmware file..." and "Start update" on the Update page.
    const QList<QByteArray> firmware = {QByteArray("\x11\x13payload", 9), QByteArray(300, 'B')};
    const QString path = rig.dir.filePath("bms2.hex");
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(TestImages::legacyFile(QList<QByteArray>{"BMS2", "2.1.5.0", ""} + firmware));
    f.close();
    UpdatePage* update = rig.window->updatePage();
    QStringList messages;
    update->chooseFile = [path](QWidget*, const QString&) {
        testkit::holdLikeABox();
        return path;
    };
    update->showMessage = [&messages](QWidget*, const QString& text) {
        testkit::holdLikeABox();
        messages << text;
    };
    update->showNotice = [&messages](const QString&, const QString& text) {
        testkit::holdLikeABox();
        messages << text;
    };
    boot.setRestartAfterFrames(firmware.size());
    rig.window->pageList()->setCurrentRow(3);
    QTest::mouseClick(update->openFirmwareButton, Qt::LeftButton);
    QCOMPARE(messages, QStringList{});
    QVERIFY(update->startUpdateButton->isEnabled());
    QTest::mouseClick(update->startUpdateButton, Qt::LeftButton);
    QCOMPARE(messages, QStringList{});

    // The image reaches the bootloader. Every wait below keeps the window's
    // event loop running: the handler hears the unit's replies through it.
    QTRY_VERIFY_WITH_TIMEOUT(boot.receivedFrameCount() >= firmware.size(), kLongWaitMs);
    QByteArray image;
    for (const QByteArray& frame : firmware)
        image += TestImages::frame(frame);
    QCOMPARE(boot.takenImage(), image);

    checkRestoredAndRunning(rig, update, "51966", before, boxes);
}

QTEST_MAIN(TestUpdateKeepsConfiguration)
#include "tst_updatekeepsconfiguration.moc"
