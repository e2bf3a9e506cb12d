// The configuration page's actions in the main window against the
// control-unit emulator, started from their buttons as a user starts them:
// what rights "Defaults..." and "Reset BMS" need, the window kept usable while
// the configuration is read, a configuration file that changes the CAN speed,
// and the external temperature calibration window. One window for the whole
// test: each test links its own unit.
#include "ConfigUnitRig.h"

#include "ConfigParam.h"
#include "GeneralTab.h"
#include "HeldBox.h"
#include "TemperatureCalibrationWindow.h"
#include "myTabWidget.h"

#include <QCheckBox>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QProgressDialog>
#include <QRegularExpression>
#include <QStackedWidget>

namespace {
constexpr int kCanSpeed = 0x0C02;
}

class TestConfigPageUnitActions : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY(rig.startEmulator()); }
    void init()
    {
        rig.prompter.answers.clear();
        rig.prompter.asked.clear();
        rig.prompter.password.clear();
    }
    void cleanupTestCase() { rig.closeWindow(); }
    void deviceActionsNeedALoadAndALogin();
    void windowStaysUsableWhileReading();
    void fileWithAnotherCanSpeedStartsTheSpeedChange();
    void externalTemperatureCalibration();

private:
    // Shows the configuration page, as a click on its entry in the side list.
    void showConfigurationPage() { rig.window->pageList()->setCurrentRow(2); }
    ConfigUnitRig rig;
};

void TestConfigPageUnitActions::deviceActionsNeedALoadAndALogin()
{
    QVERIFY(rig.linkUnit("00000101", 0, batteryPackValues()));
    showConfigurationPage();
    QPushButton* defaults = rig.page->defaultsButton;
    QPushButton* reset = rig.page->resetButton;
    // Linked, nothing loaded yet: both stay disabled, a click does nothing.
    QVERIFY(rig.waitLoadQuestion());
    QVERIFY(!defaults->isEnabled());
    QVERIFY(!reset->isEnabled());
    rig.prompter.answers = {QMessageBox::Yes, QMessageBox::Yes};
    rig.sim.clearReceived();
    QTest::mouseClick(reset, Qt::LeftButton);
    QTest::mouseClick(defaults, Qt::LeftButton);
    QVERIFY(rig.prompter.asked.isEmpty());

    // Loaded at access level 0: still disabled.
    rig.answerLoadQuestion(QMessageBox::Yes);
    QVERIFY(rig.waitLoaded());
    QCOMPARE(rig.page->accessLevel, 0);
    QVERIFY(!defaults->isEnabled());
    QVERIFY(!reset->isEnabled());

    // Logged in: the reset asks and reaches the unit.
    rig.prompter.password = "1111";
    QTest::mouseClick(rig.page->loginButton, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(rig.page->accessLevel, 1, 5000);
    QVERIFY(defaults->isEnabled());
    QVERIFY(reset->isEnabled());
    rig.prompter.asked.clear();
    rig.prompter.answers = {QMessageBox::Yes};
    QTest::mouseClick(reset, Qt::LeftButton);
    QCOMPARE(rig.prompter.asked, QStringList{"Do you really want to reset the BMS?"});
    QVERIFY(rig.sim.waitForSentence("RS1,", 5000));
    QVERIFY(rig.received("FD1").isEmpty());
    // The unit's bootloader waits a moment for an update, then its firmware
    // starts again and the page asks the level anew.
    QTRY_COMPARE_WITH_TIMEOUT(rig.sim.mode(), ControlUnitSim::Mode::Firmware, 40000);
    QTRY_VERIFY_WITH_TIMEOUT(rig.page->loginButton->isEnabled(), 40000);
    QVERIFY(rig.linked());
}

// The progress dialog has no parent window: its modality blocks nothing, so
// the user can go to another page while the parameters arrive.
void TestConfigPageUnitActions::windowStaysUsableWhileReading()
{
    QVERIFY(rig.linkUnit("00000102", 1, batteryPackValues()));
    showConfigurationPage();
    QVERIFY(rig.waitLoadQuestion());
    rig.answerLoadQuestion(QMessageBox::Yes);
    QProgressDialog* dialog = rig.page->progressDialog();
    QVERIFY(dialog && dialog->isVisible());
    const QString progress = dialog->findChild<QProgressBar*>()->text();
    QVERIFY2(QRegularExpression("^\\d+% Completed$").match(progress).hasMatch(), qPrintable(progress));

    QListWidget* list = rig.window->pageList();
    const QPoint statusEntry =
        list->viewport()->mapTo(rig.window.get(), list->visualItemRect(list->item(0)).center());
    QTest::mouseClick(rig.window->windowHandle(), Qt::LeftButton, Qt::NoModifier, statusEntry);
    QCOMPARE(rig.window->pageStack()->currentIndex(), 0);
    QVERIFY(rig.waitLoaded());
}

// The rules see the CAN speed change whether it comes from an edit or from a
// file: loading a file with another speed raises the speed change's
// question (here cancelled, which puts the unit back on its speed).
void TestConfigPageUnitActions::fileWithAnotherCanSpeedStartsTheSpeedChange()
{
    QMap<quint16, quint32> values = batteryPackValues();
    values[kCanSpeed] = 3;
    QVERIFY(rig.linkUnit("00000103", 1, values));
    showConfigurationPage();
    QVERIFY(rig.loadConfiguration());
    QCOMPARE(rig.page->paramValue(kCanSpeed), 3u);
    QStringList boxes;
    rig.page->setModalBoxRunner([&boxes](QMessageBox* box) {
        testkit::holdLikeABox();
        boxes << box->informativeText();
        box->setResult(QMessageBox::Cancel);
    });

    // "Save..." (nothing optional), then the file edited to another speed.
    const QString file = rig.dir.filePath("unit.bcf");
    rig.prompter.fileName = file;
    QTest::mouseClick(rig.page->saveButton, Qt::LeftButton);
    QFile f(file);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QString text = QString::fromLatin1(f.readAll());
    f.close();
    QVERIFY2(text.contains("CF2,0C02,03\r\n"), qPrintable(text));
    text.replace("CF2,0C02,03\r\n", "CF2,0C02,01\r\n");
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(text.toLatin1());
    f.close();

    rig.sim.clearReceived();
    QTest::mouseClick(rig.page->loadButton, Qt::LeftButton);
    QCOMPARE(boxes.size(), 1);
    QVERIFY2(boxes.first().startsWith("This action requires entering configuration mode."), qPrintable(boxes.first()));
    // The file's speed went to the unit, and the cancelled change took it back.
    QCOMPARE(rig.received("CF2,0C02,"), (QStringList{"CF2,0C02,01", "CF2,0C02,03"}));
    QTRY_COMPARE(rig.sim.param(kCanSpeed), 3u);
    rig.page->setModalBoxRunner(nullptr);
}

// "Calibrate External Temperature ..." opens the calibration window; its
// "TC2" sentences reach the unit, for a module the unit's cell count admits.
void TestConfigPageUnitActions::externalTemperatureCalibration()
{
    QVERIFY(rig.linkUnit("00000104", 2, batteryPackValues())); // 16 cells, level 2 of two
    showConfigurationPage();
    QVERIFY(rig.loadConfiguration());
    // The calibration edits the unit: level 2 of its two (a restart after
    // the previous test's speed change may have logged it out).
    if (rig.page->accessLevel != 2) {
        rig.prompter.password = EmulatedUnit::password(2);
        QTest::mouseClick(rig.page->loginButton, Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(rig.page->accessLevel, 2, ConfigUnitRig::kLinkTimeoutMs);
    }
    rig.page->tabWidget->setCurrentIndex(1); // "General"
    QPushButton* open = rig.page->general->calibrateExternalButton;
    QVERIFY(open->isVisible());
    QVERIFY(open->isEnabled());
    QTest::mouseClick(open, Qt::LeftButton);
    TemperatureCalibrationWindow* w = rig.page->temperatureCalibrationWindow();
    QVERIFY(w->isVisible());

    rig.sim.clearReceived();
    QLineEdit* module = w->moduleIdEdit();
    QTest::keyClicks(module, "17"); // more than the unit's cells
    QTest::mouseClick(w->button("Calibrate"), Qt::LeftButton);
    QVERIFY(module->styleSheet().endsWith("QLineEdit {border: 1px solid red;}"));
    module->clear();
    QTest::keyClicks(module, "5");
    QTest::keyClicks(w->deltaEdit(), "\b-3");
    QTest::mouseClick(w->button("Calibrate"), Qt::LeftButton);
    QVERIFY(module->styleSheet().endsWith("QLineEdit {border: 1px solid lightgray;}"));
    QTest::mouseClick(w->selectAllBox(), Qt::LeftButton);
    QVERIFY(!module->isEnabled());
    QTest::mouseClick(w->button("Calibrate"), Qt::LeftButton);
    QTRY_COMPARE(rig.received("TC2").size(), 2);
    QCOMPARE(rig.received("TC2"), (QStringList{"TC2,0005,00,00,FD", "TC2,0000,00,00,FD"}));
    w->close();
}

QTEST_MAIN(TestConfigPageUnitActions)
#include "tst_configpage_unitactions.moc"
