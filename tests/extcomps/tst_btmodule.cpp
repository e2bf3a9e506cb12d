// The Bluetooth module page against the BLE dongle emulator (bridged to a
// control-unit emulator): switching the tool's link to Bluetooth and back,
// connecting with the passkey window, the module settings as the module
// receives them (or refuses them), a locked module, and a missing or
// unplugged dongle.
#include "BleDongleEmulator.h"
#include "BluetoothModule.h"
#include "ControlUnitSim.h"
#include "DonglePort.h"
#include "Log.h"
#include "RecordingPrompts.h"
#include "Y5ProtocolHandler.h"

#include <QDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString kLockedText = "Device security|Device is currently locked.\nAll configurations are disabled.\n"
                            "Unlocking procedure can be found in the reference manual.";
const QString kDongleText = "Failed to detect Bluetooth Dongle|Check if Bluetooth Dongle is connected to USB "
                            "port\nand/or its drivers are properly installed.";

CommunicatorSelector* selector()
{
    return CommunicatorSelector::instance();
}

// A control unit behind a BLE dongle, found through BMS_BLE_DONGLE_PORT.
struct DongleRig
{
    QTemporaryDir dir;
    ControlUnitSim unit;
    BleDongleEmulator dongle;

    explicit DongleRig(const BleDongleEmulator::Options& options = {}) : dongle(options) {}
    bool start()
    {
        const QString path = dir.filePath("ttyBLED112");
        if (!unit.start(dir.filePath("ttyUNIT")) || !dongle.bridgeToPort(unit.portPath()) || !dongle.start(path))
            return false;
        qputenv(kDonglePortVariable, path.toLocal8Bit());
        return true;
    }
    ~DongleRig() { qunsetenv(kDonglePortVariable); }
};

} // namespace

class TestBtModule : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void switchesTheLinkAndConnectsWithThePasskey();
    void moduleSettingsReachTheModule();
    void lockedModuleLeavesOnlyShowPin();
    void missingDongleTurnsBluetoothOff();
    void moduleWithoutPinThenUnpluggedDongle();
    void switchChangeDuringAChangeIsHandledAfterIt();

private:
    void turn(LabelToggleSwitch::SwitchState state) { page->enableSwitch->setState(state); }
    QStringList table() const
    {
        QStringList out;
        for (int r = 0; r < page->model.rowCount(); ++r)
            out << page->model.item(r, 1)->text() + ' ' + page->model.item(r, 2)->text();
        return out;
    }
    QPoint rowCentre(int row) const { return page->view.visualRect(page->model.index(row, 1)).center(); }
    QPushButton* passkeyButton(const char* name) const
    {
        return page->passkeyDialog->findChild<QPushButton*>(QLatin1String(name));
    }
    // Picks the first listed module by a double click and answers the
    // passkey window if it comes; true once the page shows the connection.
    bool connectFirstModule(const QByteArray& passkey = "123456");
    bool settingsEnabled() const
    {
        for (QWidget* w : std::initializer_list<QWidget*>{page->nameEdit, page->updateNameButton, page->pinEdit,
                                                          page->lockButton, page->resetButton, page->showPinButton,
                                                          page->updatePinButton})
            if (!w->isEnabled())
                return false;
        return true;
    }

    std::unique_ptr<BluetoothModule> page;
    RecordingPrompts prompts;
    QTemporaryDir noDongleDir;
};

void TestBtModule::initTestCase()
{
    // Made before the selector, so it outlives the selector's transports.
    static Y5ProtocolHandler handler(nullptr);
    BluetoothCommunicator::registerTransport(*selector());
    selector()->setProtocolHandler(&handler);
    // The link the tool had before Bluetooth was turned on.
    QVERIFY(selector()->select(CommunicatorSelector::Dummy));
    selector()->startCommunicator();
}

void TestBtModule::init()
{
    qputenv(kDonglePortVariable, noDongleDir.filePath("none").toLocal8Bit());
    PortEntry real;
    if (findDonglePort(real))
        QSKIP("a real BLE dongle is plugged in");
    prompts = RecordingPrompts();
    page = std::make_unique<BluetoothModule>();
    page->setPrompts(&prompts);
    page->resize(640, 400);
    page->show();
    QVERIFY(QTest::qWaitForWindowExposed(page.get()));
}

void TestBtModule::cleanup()
{
    if (page && page->communicator)
        turn(LabelToggleSwitch::off);
    page.reset();
    QCOMPARE(selector()->currentSelection(), CommunicatorSelector::Dummy);
    qunsetenv(kDonglePortVariable);
}

bool TestBtModule::connectFirstModule(const QByteArray& passkey)
{
    QObject context; // dies before the locals the lambda uses
    bool answered = false;
    QTimer answer;
    connect(&answer, &QTimer::timeout, &context, [&] {
        if (answered || !page->passkeyDialog->isVisible())
            return;
        answered = true;
        page->passkeyEdit->setText(QString::fromLatin1(passkey));
        QTest::mouseClick(passkeyButton("passkeyOk"), Qt::LeftButton);
    });
    answer.start(50);
    if (!QTest::qWaitFor([&] { return page->model.rowCount() > 0; }, 5000))
        return false;
    QTest::mouseClick(page->view.viewport(), Qt::LeftButton, {}, rowCentre(0));
    QTest::mouseDClick(page->view.viewport(), Qt::LeftButton, {}, rowCentre(0));
    QTest::mouseRelease(page->view.viewport(), Qt::LeftButton, {}, rowCentre(0));
    return QTest::qWaitFor([&] { return page->connectButton->state == ToggleButton::on; }, 8000)
        && page->connectButton->text() == "Disconnect" && !page->view.isEnabled();
}

void TestBtModule::switchesTheLinkAndConnectsWithThePasskey()
{
    DongleRig rig;
    QVERIFY(rig.start());

    turn(LabelToggleSwitch::on);
    QCOMPARE(selector()->currentSelection(), CommunicatorSelector::Bluetooth);
    BluetoothCommunicator* first = page->communicator;
    QVERIFY(first);
    QCOMPARE(static_cast<Communicator*>(first), selector()->communicator());
    QVERIFY(page->connectButton->isEnabled());
    QVERIFY(!settingsEnabled());
    // The switch rests for a second after the change.
    QVERIFY(!page->enableSwitch->isEnabled());
    QTRY_VERIFY_WITH_TIMEOUT(page->enableSwitch->isEnabled(), 3000);

    QTRY_COMPARE_WITH_TIMEOUT(table(), QStringList({"BMS Module 66051"}), 5000);

    // "Connect" with nothing selected sends nothing.
    QTest::mouseClick(page->connectButton, Qt::LeftButton);
    QCOMPARE(page->connectButton->text(), QString("Connect"));
    QCOMPARE(page->view.styleSheet(), QString("QTableView { border: 2px dashed #FA8072; }"));
    QCOMPARE(rig.dongle.connectRequests(), 0);

    // Pick the module, then connect: the module asks for its passkey.
    QTest::mouseClick(page->view.viewport(), Qt::LeftButton, {}, rowCentre(0));
    QCOMPARE(page->nameEdit->text(), QString("BMS Module"));
    QTest::mouseClick(page->connectButton, Qt::LeftButton);
    QCOMPARE(page->connectButton->text(), QString("Disconnect"));
    QTRY_VERIFY_WITH_TIMEOUT(page->passkeyDialog->isVisible(), 5000);
    QCOMPARE(rig.dongle.connectRequests(), 1);

    // Too short: said, the window stays, nothing is sent.
    page->passkeyEdit->setText("12345");
    QTest::mouseClick(passkeyButton("passkeyOk"), Qt::LeftButton);
    QCOMPARE(prompts.warnings, QStringList({"Bluetooth module passkey|PIN must be 6 digits long"}));
    QVERIFY(page->passkeyDialog->isVisible());
    QVERIFY(page->passkeyEdit->text().isEmpty());
    // A wrong one: the module refuses and ends the connection. Said; the
    // box stays shut, as a passkey typed now would go nowhere.
    page->passkeyEdit->setText("654321");
    QTest::mouseClick(passkeyButton("passkeyOk"), Qt::LeftButton);
    QVERIFY(!page->passkeyDialog->isVisible());
    QTRY_COMPARE_WITH_TIMEOUT(prompts.warnings.size(), 2, 20000);
    QCOMPARE(prompts.warnings.last(),
             QString("Bluetooth module passkey|The passkey was wrong. Connect again to enter it."));
    QTRY_COMPARE_WITH_TIMEOUT(page->connectButton->text(), QString("Connect"), 20000);
    QVERIFY(page->view.isEnabled());
    QVERIFY(!page->passkeyDialog->isVisible());
    // The next connection asks again, and the right passkey pairs.
    QVERIFY(connectFirstModule("123456"));
    QVERIFY(settingsEnabled());
    QTRY_VERIFY_WITH_TIMEOUT(rig.dongle.isPaired(), 5000);

    // The module's PIN is known and masked; "Show PIN" shows it while held.
    QTRY_COMPARE(page->devicePin, QString("123456"));
    QCOMPARE(page->pinEdit->text(), QString("******"));
    QTest::mousePress(page->showPinButton, Qt::LeftButton);
    QCOMPARE(page->pinEdit->text(), QString("123456"));
    QCOMPARE(page->pinEdit->echoMode(), QLineEdit::Normal);
    QTest::mouseRelease(page->showPinButton, Qt::LeftButton);
    QCOMPARE(page->pinEdit->text(), QString("******"));
    QCOMPARE(page->pinEdit->echoMode(), QLineEdit::Password);

    // Connected: further scan results are ignored and the row stays.
    page->NewDeviceFound(BluetoothCommunicator::BTDevInfo{5, "Other module", 77});
    QTest::qWait(1500);
    QCOMPARE(table(), QStringList({"BMS Module 66051"}));

    // Off while connected: the module is let go, the list emptied, and the
    // tool is back on its earlier link.
    turn(LabelToggleSwitch::off);
    QCOMPARE(selector()->currentSelection(), CommunicatorSelector::Dummy);
    QVERIFY(!page->communicator);
    QCOMPARE(table(), QStringList());
    QCOMPARE(page->connectButton->text(), QString("Connect"));
    QVERIFY(!page->connectButton->isEnabled());
    QVERIFY(!settingsEnabled());
    QTRY_VERIFY_WITH_TIMEOUT(!rig.dongle.isConnected(), 3000);

    // On again: a new transport, a new set of connections, the list refills.
    QTRY_VERIFY_WITH_TIMEOUT(page->enableSwitch->isEnabled(), 3000);
    turn(LabelToggleSwitch::on);
    QVERIFY(page->communicator && page->communicator != first);
    QCOMPARE(static_cast<Communicator*>(page->communicator), selector()->communicator());
    QTRY_COMPARE_WITH_TIMEOUT(table(), QStringList({"BMS Module 66051"}), 5000);
    // Off with only a row selected sends nothing to the module.
    QTest::mouseClick(page->view.viewport(), Qt::LeftButton, {}, rowCentre(0));
    turn(LabelToggleSwitch::off);
    QCOMPARE(rig.dongle.connectRequests(), 2);
    QCOMPARE(selector()->currentSelection(), CommunicatorSelector::Dummy);
    QCOMPARE(prompts.warnings.size(), 2);
}

void TestBtModule::moduleSettingsReachTheModule()
{
    DongleRig rig;
    QVERIFY(rig.start());
    turn(LabelToggleSwitch::on);
    QVERIFY(connectFirstModule());
    QCOMPARE(page->nameEdit->text(), QString("BMS Module"));
    QTRY_COMPARE(page->devicePin, QString("123456"));

    // PIN: the mask left in the field is no PIN and switches nothing off;
    // five digits are refused; Cancel sends nothing.
    QCOMPARE(page->pinEdit->text(), QString("******"));
    QTest::mouseClick(page->updatePinButton, Qt::LeftButton);
    QCOMPARE(prompts.warnings, QStringList({"User PIN change|PIN must be 6 digits long."}));
    page->pinEdit->setText("12345");
    QTest::mouseClick(page->updatePinButton, Qt::LeftButton);
    QCOMPARE(prompts.warnings.size(), 2);
    page->pinEdit->setText("111111");
    prompts.answer = false;
    QTest::mouseClick(page->updatePinButton, Qt::LeftButton);
    prompts.answer = true;
    QCOMPARE(prompts.questions.size(), 3);
    QCOMPARE(prompts.questions.last(), QString("User PIN change|KEPO BMS Bluetooth module will be set with the "
                                               "provided PIN code.\nPress 'Ok' to proceed."));
    QTest::qWait(300);
    QVERIFY(rig.dongle.moduleCommands().isEmpty());

    // Six digits set the PIN; an emptied field, after a question that says
    // so, switches the protection off.
    page->pinEdit->setText("654321");
    QTest::keyClick(page->pinEdit, Qt::Key_Return);
    QCOMPARE(page->devicePin, QString("654321"));
    page->pinEdit->clear();
    QTest::mouseClick(page->updatePinButton, Qt::LeftButton);
    QCOMPARE(prompts.questions.last(), QString("User PIN change|KEPO BMS Bluetooth module PIN protection will be "
                                               "switched off.\nPress 'Ok' to proceed."));
    QVERIFY(page->devicePin.isEmpty());
    QTRY_COMPARE(rig.dongle.moduleCommands(), QList<QByteArray>({"\xffR654321", "\xffS"}));
    // "Show PIN" with no PIN known shows an empty field while held.
    page->pinEdit->setText("******");
    QTest::mousePress(page->showPinButton, Qt::LeftButton);
    QCOMPARE(page->pinEdit->text(), QString());
    QTest::mouseRelease(page->showPinButton, Qt::LeftButton);
    QCOMPARE(page->pinEdit->text(), QString("******"));

    // Name: three characters do nothing; a valid one is sent, the module
    // dropped, and the page reconnects to it once it is listed again.
    page->nameEdit->setText("abc");
    QTest::mouseClick(page->updateNameButton, Qt::LeftButton);
    QCOMPARE(rig.dongle.moduleCommands().size(), 2);
    QCOMPARE(page->connectButton->text(), QString("Disconnect"));
    page->nameEdit->setText("Pack 7");
    QTest::mouseClick(page->updateNameButton, Qt::LeftButton);
    QTRY_COMPARE(rig.dongle.moduleCommands().size(), 3);
    QCOMPARE(rig.dongle.moduleCommands().last(), QByteArray("Pack 7"));
    QVERIFY(page->nameEdit->text().isEmpty());
    QTRY_COMPARE_WITH_TIMEOUT(page->connectButton->text(), QString("Connect"), 5000);
    QTRY_COMPARE_WITH_TIMEOUT(rig.dongle.connectRequests(), 2, 10000);
    QCOMPARE(page->nameEdit->text(), QString("Pack 7"));
    QTRY_COMPARE_WITH_TIMEOUT(page->connectButton->text(), QString("Disconnect"), 8000);
    QVERIFY(settingsEnabled());

    // Reset ends the connection; the page says nothing but shows it.
    QTest::mouseClick(page->resetButton, Qt::LeftButton);
    QTRY_COMPARE(rig.dongle.moduleCommands().last(), QByteArray("\xffU"));
    QTRY_COMPARE_WITH_TIMEOUT(page->connectButton->text(), QString("Connect"), 5000);
    QVERIFY(!settingsEnabled());
    QVERIFY(page->view.isEnabled());

    // Lock goes without a question.
    QVERIFY(connectFirstModule());
    QTest::mouseClick(page->lockButton, Qt::LeftButton);
    QTRY_COMPARE(rig.dongle.moduleCommands().last(), QByteArray("\xffT"));
    QCOMPARE(prompts.questions.size(), 5);
    QCOMPARE(prompts.warnings.size(), 2);
}

void TestBtModule::lockedModuleLeavesOnlyShowPin()
{
    BleDongleEmulator::Options options;
    options.locked = true;
    DongleRig rig(options);
    QVERIFY(rig.start());
    turn(LabelToggleSwitch::on);
    QVERIFY(connectFirstModule());
    QCOMPARE(prompts.warnings, QStringList({kLockedText}));
    QVERIFY(page->showPinButton->isEnabled());
    for (QWidget* w : std::initializer_list<QWidget*>{page->nameEdit, page->updateNameButton, page->pinEdit,
                                                      page->lockButton, page->resetButton, page->updatePinButton})
        QVERIFY(!w->isEnabled());

    // Reached anyway (the field's Return, say): refused with the warning.
    page->nameEdit->setText("Pack 7");
    page->UpdateDeviceName();
    page->pinEdit->setText("654321");
    page->UpdateDevicePIN();
    page->resetModule();
    QCOMPARE(prompts.warnings.size(), 4);
    QVERIFY(prompts.questions.isEmpty());
    QTest::qWait(300);
    QVERIFY(rig.dongle.moduleCommands().isEmpty());
}

void TestBtModule::missingDongleTurnsBluetoothOff()
{
    turn(LabelToggleSwitch::on);
    QTRY_COMPARE_WITH_TIMEOUT(page->enableSwitch->state(), LabelToggleSwitch::off, 5000);
    QCOMPARE(selector()->currentSelection(), CommunicatorSelector::Dummy);
    QVERIFY(!page->communicator);
    QVERIFY(!page->connectButton->isEnabled());
    QCOMPARE(prompts.warnings, QStringList({kDongleText}));
    // Reported once, though the transport and its check both found it.
    QTest::qWait(1500);
    QCOMPARE(prompts.warnings.size(), 1);
}

void TestBtModule::moduleWithoutPinThenUnpluggedDongle()
{
    BleDongleEmulator::Options options;
    options.passkey.clear(); // pairs without asking
    DongleRig rig(options);
    QVERIFY(rig.start());
    turn(LabelToggleSwitch::on);
    QVERIFY(connectFirstModule());

    // No PIN to switch off: the module refuses, the log says so, and the
    // page does not pretend the protection changed.
    QStringList log;
    QMutex logMutex;
    setLogSink([&](const QString& text, int) {
        QMutexLocker lock(&logMutex);
        log << text;
    });
    page->devicePin = "999999";
    page->pinEdit->clear();
    QTest::mouseClick(page->updatePinButton, Qt::LeftButton);
    setLogSink(nullptr);
    QCOMPARE(page->devicePin, QString("999999"));
    QVERIFY(log.contains("Bluetooth module PIN protection off not sent (code 2)"));
    QVERIFY(rig.dongle.moduleCommands().isEmpty());

    rig.dongle.unplug();
    QTRY_COMPARE_WITH_TIMEOUT(page->enableSwitch->state(), LabelToggleSwitch::off, 5000);
    QCOMPARE(selector()->currentSelection(), CommunicatorSelector::Dummy);
    QCOMPARE(prompts.warnings, QStringList({kDongleText}));
    QCOMPARE(page->connectButton->text(), QString("Connect"));
    QCOMPARE(table(), QStringList());
}

void TestBtModule::switchChangeDuringAChangeIsHandledAfterIt()
{
    DongleRig rig;
    QVERIFY(rig.start());
    // Something reacting to the link change turns Bluetooth off again while
    // the page is still turning it on.
    QObject context;
    int changes = 0;
    connect(selector(), &CommunicatorSelector::CommunicatorChanged, &context,
            [&](CommunicatorSelector::Selection kind, AbstractCommunicator*) {
                ++changes;
                if (kind == CommunicatorSelector::Bluetooth)
                    turn(LabelToggleSwitch::off);
            });
    turn(LabelToggleSwitch::on);
    QCOMPARE(changes, 2);
    QCOMPARE(selector()->currentSelection(), CommunicatorSelector::Dummy);
    QCOMPARE(page->enableSwitch->state(), LabelToggleSwitch::off);
    QVERIFY(!page->communicator);
    QVERIFY(!page->connectButton->isEnabled());
    QTest::qWait(1500);
    QVERIFY(prompts.warnings.isEmpty());
    QCOMPARE(page->model.rowCount(), 0);
}

QTEST_MAIN(TestBtModule)
#include "tst_btmodule.moc"
