// A "BMS3" control unit's firmware update as the user runs it from the Update
// page: the image goes through the unit's CANopen bootloader over the serial
// link, the unit comes back at its factory values, the kept copy puts every
// value back, the password is asked once and the unit ends up running its
// application.
#include "ConfigUnitRig.h"
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

namespace {
// The user's configuration, away from the factory values.
const QMap<quint16, quint32> kUsedValues = {
    {0x0C89, 0x20}, {0x1901, 650}, {0x0267, 18000}, {0x0804, 0x83}, {0x1100, 4321}, {0x2600, 0x3AC49BA6},
};
constexpr int kLongWaitMs = 60000;

// The emulator received this sentence after the first `from` records.
bool receivedSince(const ControlUnitSim& sim, int from, const QString& sentence)
{
    const QList<ControlUnitSim::Received> rec = sim.received();
    for (int i = from; i < rec.size(); ++i)
        if (rec[i].good && rec[i].sentence == sentence)
            return true;
    return false;
}
} // namespace

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

    // The restarted unit is set to its factory values once, the kept copy is
    // written back, and the restore ends with a reset.
    QTRY_COMPARE_WITH_TIMEOUT(rig.sim.factoryResets(), 1, kLongWaitMs);
    const int mark = rig.sim.received().size();
    QTRY_VERIFY_WITH_TIMEOUT(receivedSince(rig.sim, mark, "RS1,"), kLongWaitMs);
    QCOMPARE(rig.sim.factoryResets(), 1);
    QVERIFY(QSettings().allKeys().filter(QRegularExpression("^SN 51966/")).isEmpty());
    const QMap<quint16, quint32> after = rig.sim.params();
    for (auto it = before.cbegin(); it != before.cend(); ++it)
        QVERIFY2(after.value(it.key()) == it.value(), qPrintable(QString::number(it.key(), 16)));
    QCOMPARE(boxes, QStringList{});
    QCOMPARE(rig.prompter.asked.filter("did not confirm"), QStringList{});
    // The unit asked for its login at both logins of the restore; the
    // password typed at the first one was used again.
    QCOMPARE(rig.prompter.prompts.filter("Enter login password").size(), 1);

    // The unit ends up running its application (its bootloader, entered by
    // the restore's reset, starts it again), the window linked to that
    // application and not to the bootloader it passed through, and
    // the page still says how the update ended.
    QTRY_VERIFY_WITH_TIMEOUT(rig.sim.mode() == ControlUnitSim::Mode::Firmware && rig.linked()
                                 && !rig.window->protocolHandler()->isBootMode()
                                 && update->startUpdateButton->isEnabled(),
                             kLongWaitMs);
    QCOMPARE(update->statusText->text(), QString("Loading configuration complete."));
    QVERIFY(update->statusText->isVisible());
    QCOMPARE(update->progressBar->value(), 100);
    QVERIFY(!update->updateRunning);
}

QTEST_MAIN(TestBms3UpdateKeepsConfiguration)
#include "tst_bms3updatekeepsconfiguration.moc"
