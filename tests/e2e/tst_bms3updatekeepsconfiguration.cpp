// A "BMS3" control unit's firmware update as the user runs it from the Update
// page: the image goes through the unit's CANopen bootloader over the serial
// link, the unit comes back at its factory values, the kept copy puts every
// value back, the password is asked once and the unit ends up running its
// application.
#include "ConfigUnitRig.h"
#include "RestoreAfterUpdate.h"
#include "HeldBox.h"
#include "SdoServerSim.h"
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

class TestBms3UpdateKeepsConfiguration : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QVERIFY(rig.startEmulator());
        rig.sim.setBootloaderEntry(true);
        // The reset at the end of the restore leaves the bootloader waiting
        // for an update; shorter than a real unit's wait, longer than the
        // download needs to begin.
        rig.sim.setBootloaderWaitMs(8000);
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
    SdoServer server{1};
    SdoBootHook boot{rig.sim, server};
    StatisticsSim statistics;
};

void TestBms3UpdateKeepsConfiguration::updateFromTheButtonRestoresEveryValue()
{
    rig.prompter.password = "1111"; // the unit asks for the login after its restart
    rig.presentUnit("0000CAFE", 1, {});
    rig.sim.setVersion("BMS3", "0000CAFE", "2.1.4.2");
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
    TestImages::Sha1Image sha;
    sha.records = TestImages::versionRecord("2.1.5.0");
    sha.payload = QByteArray(2000, '\x11') + QByteArray(300, '\x13');
    const QByteArray file = sha.build();
    const QString path = rig.dir.filePath("bms3.bin");
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(file);
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
    rig.window->pageList()->setCurrentRow(3);
    QTest::mouseClick(update->openFirmwareButton, Qt::LeftButton);
    QCOMPARE(messages, QStringList{});
    QVERIFY(update->startUpdateButton->isEnabled());
    QTest::mouseClick(update->startUpdateButton, Qt::LeftButton);
    QCOMPARE(messages, QStringList{});

    // The image reaches the bootloader, which restarts the unit. Every wait
    // below keeps the window's event loop running: the handler hears the
    // unit's replies through it.
    QTRY_COMPARE_WITH_TIMEOUT(boot.restarts(), 1, kLongWaitMs);
    QCOMPARE(server.programData(), file);

    checkRestoredAndRunning(rig, update, "51966", before, boxes);
}

QTEST_MAIN(TestBms3UpdateKeepsConfiguration)
#include "tst_bms3updatekeepsconfiguration.moc"
