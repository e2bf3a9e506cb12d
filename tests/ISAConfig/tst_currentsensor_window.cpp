// The General tab's current sensor buttons in the main window, against the
// control-unit emulator with an IVT-S sensor on its CAN bus: the window
// connects, loads the configuration and logs in as a user would; the
// page's questions are answered by a script.
#include "BmsGui.h"
#include "CanBusSim.h"
#include "ConfigPage.h"
#include "ConfigParam.h"
#include "ConfigParamLoader.h"
#include "ParamReplyWait.h"
#include "ControlUnitSim.h"
#include "GeneralTab.h"
#include "IvtSensorSim.h"
#include "PortList.h"
#include "ScriptedDialogs.h"
#include "ScriptedPrompter.h"
#include "StartupRules.h"
#include "myTabWidget.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSettings>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

constexpr int kLinkMs = 20000;
constexpr int kJobMs = 30000;

const QString kConfigModeText = "This action requires entering configuration mode.\nWhile in configuration mode, "
                                "normal operation of\ncontrol unit will be stopped. Continue?";
const QString kChargingText = "Charging is in progress, and the action \nyou are trying to execute may cause "
                              "\nundefined behavior. Please disconnect the \ncharger before configuring any "
                              "parameters.";

// The unit with what the Parts give it: firmware reporting the features of
// the CAN device base id (6, unless left out), level-2 editing (14) and the
// current sensor (82 to 85), the user logged in at level 2, an IVT-S sensor
// selected.
struct Bench
{
    ControlUnitSim sim;
    CanBusSim bus;
    IvtSensorSim sensor{bus};
    ScriptedDialogs dialogs;
    // The page's questions and boxes; every text shown, in order.
    testkit::ScriptedPrompter prompter;
    std::unique_ptr<BMS_GUI> w;
    GeneralTabWidgets* g = nullptr;

    explicit Bench(bool deviceBase = true)
    {
        sim.setVersion("BMS2", "0001E240", "2.1.4.2");
        sim.setFeatureBitmap(0x80, {(deviceBase ? 1u << 6 : 0u) | (1u << 14), 0, 0xFu << (82 - 64), 0});
        sim.setLoginLevel(2);
        const QList<QPair<quint16, quint32>> params{
            {0x1600, 0},      // flag word 0: no analog sensor, 11-bit ids
            {0x1009, 2},      // IVT-S
            {0x120C, 0},      // no sensor serial yet
            {0x110A, 0x0521}, // the sensor's default CAN id
            {0x1100, 1000},
            {0x1103, 20000},
            {0x1008, 0x32},   // 0.50 A dead zone
            {0x1007, 0},
            {0x0D03, 0x0100}, // device CAN id base
        };
        for (const auto& p : params)
            sim.setParam(p.first, p.second);
        sensor.update([](IvtSensorSim::State& s) {
            s.serial = 1234567;
            s.baseId = 0x01A5;
        });
        bus.install(sim);
    }
    ~Bench()
    {
        w.reset();
        bus.stop();
        sim.stop();
    }

    // Connects, answers the load question with Yes and waits until the
    // configuration is loaded and the user is logged in. Empty when done,
    // else the step that failed.
    QString start(const QString& port)
    {
        if (!sim.start(port))
            return "emulator";
        w.reset(new BMS_GUI);
        // As the program does: a focus change commits the edited editor.
        QObject::connect(qApp, &QApplication::focusChanged, w.get(), &BMS_GUI::focusChanged);
        w->setDialogs(&dialogs);
        ConfigPage* page = w->configPage();
        page->setPrompter(&prompter);
        page->setModalBoxRunner([this](QMessageBox* box) {
            testkit::holdLikeABox();
            prompter.asked << box->text();
        });
        g = page->general;
        // The window appears; the user brings the General tab of the
        // Configuration page to the front, then picks the unit's port.
        if (!QTest::qWaitFor([this] { return w->isVisible(); }, kLinkMs))
            return "window shown";
        w->pageList()->setCurrentRow(w->pageStack()->indexOf(page));
        page->tabWidget->setCurrentIndex(1);
        if (!activate())
            return "window activation";
        for (int i = 0; i < w->portCombo()->count(); ++i)
            if (portNameFromEntry(w->portCombo()->itemText(i)) == port)
                w->portCombo()->setCurrentIndex(i);
        if (!QTest::qWaitFor([page] { return page->loadQuestion() && page->loadQuestion()->isVisible(); }, kLinkMs))
            return "load question";
        QTest::mouseClick(page->loadQuestion()->button(QMessageBox::Yes), Qt::LeftButton);
        if (!QTest::qWaitFor([page] { return page->configurationLoaded || !page->paramLoader; }, kLinkMs)
            || !page->configurationLoaded) {
            QString why = "load";
            for (const UserQuestion& q : dialogs.questions)
                why += QString::asprintf(" %04X", q.paramId);
            return why;
        }
        if (!QTest::qWaitFor([page] { return page->accessLevel == 2; }, kLinkMs))
            return "login";
        return activate() ? QString() : QStringLiteral("window activation after the load");
    }
    bool activate()
    {
        w->activateWindow();
        return QTest::qWaitForWindowActive(w.get());
    }
    ConfigPage* page() const { return w->configPage(); }
    bool waitCursor() const
    {
        return page()->testAttribute(Qt::WA_SetCursor) && page()->cursor().shape() == Qt::WaitCursor;
    }
    QList<quint8> sensorCommands() const
    {
        QList<quint8> list;
        for (const QByteArray& r : sensor.requests())
            list << quint8(r.at(0));
        return list;
    }
    // When the unit received its first sentence starting with prefix; -1 if never.
    qint64 receivedAt(const QString& prefix) const
    {
        for (const ControlUnitSim::Received& r : sim.received())
            if (r.good && r.sentence.startsWith(prefix))
                return r.ms;
        return -1;
    }
    // The sentences the unit received after the first one starting with
    // prefix, once at least one has come (the window keeps polling).
    QStringList receivedAfter(const QString& prefix) const
    {
        QStringList after;
        sim.waitUntil(
            [&](const QList<ControlUnitSim::Received>& record) {
                after.clear();
                bool seen = false;
                for (const ControlUnitSim::Received& r : record) {
                    if (seen && r.good)
                        after << r.sentence;
                    seen = seen || (r.good && r.sentence.startsWith(prefix));
                }
                return !after.isEmpty();
            },
            kJobMs);
        return after;
    }
    // Types text into a line edit of the page and moves the focus on, as a
    // user does to commit it.
    void type(QLineEdit* edit, const QString& text)
    {
        QTest::mouseClick(edit, Qt::LeftButton);
        QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(edit, Qt::Key_Delete);
        QTest::keyClicks(edit, text);
        QTest::keyClick(edit, Qt::Key_Tab);
    }
    // Clicks a check box on its indicator.
    static void check(QCheckBox* box)
    {
        QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(5, box->height() / 2));
    }
    // The current sensor's frames on the bus whose data begins with the
    // command ("1205" zero, "1407" settings), as "id:data" (an extended id
    // marked with x).
    QStringList sensorFrames(const QByteArray& command) const
    {
        QStringList out;
        for (const CanBusSim::Frame& f : bus.frames())
            if (f.data.startsWith(QByteArray::fromHex(command)))
                out << QString::asprintf("%X%s:", f.id, f.extended ? "x" : "") + f.data.toHex().toUpper();
        return out;
    }
};

} // namespace

class TstCurrentSensorWindow : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void discover();
    void commitAndSensorFrames();
    void noDeviceBaseNoSensorFrames();

private:
    QTemporaryDir dir_;
    QString port_;
};

void TstCurrentSensorWindow::initTestCase()
{
    QCoreApplication::setOrganizationName(kOrganisationName);
    QCoreApplication::setApplicationName(kApplicationName);
    QSettings().setValue("LogFileDir", dir_.path());
    port_ = dir_.filePath("ttyBMS0");
    qputenv(kExtraPortsVariable, port_.toLocal8Bit());
    // A loaded machine under the sanitizers can hold the GUI thread longer
    // than a parameter's reply time-out while the load starts.
    ParamReplyWait::setReplyTimeoutMs(2000);
}

// Cancel at the configuration-mode question sends nothing; Discard of a
// found sensor stores nothing and ends the discovery; Save stores the
// sensor's serial and CAN id in the unit and configures the sensor.
void TstCurrentSensorWindow::discover()
{
    Bench b;
    QCOMPARE(b.start(port_), QString());
    GeneralTabWidgets* g = b.g;
    QCOMPARE(g->canIdEditor->text(), QString("0x0521"));
    QVERIFY(!g->discoverButton->isHidden() && g->discoverButton->isEnabled());

    b.sim.clearReceived();
    QTest::mouseClick(g->discoverButton, Qt::LeftButton);
    QCOMPARE(b.prompter.asked, QStringList{kConfigModeText});
    QVERIFY(!b.waitCursor());
    b.prompter.confirms = {true};
    b.prompter.found = QMessageBox::Discard;
    QTest::mouseClick(g->discoverButton, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(b.prompter.asked.size(), 3, kJobMs);
    QCOMPARE(b.prompter.asked.last(), QString("Sensor found SN: 1234567"));
    QTRY_VERIFY_WITH_TIMEOUT(!b.sim.configMode(), kJobMs);
    QTRY_VERIFY_WITH_TIMEOUT(!b.waitCursor(), kJobMs);
    // Only the second click entered the configuration mode.
    int entered = 0;
    for (const QString& sentence : b.sim.goodSentences())
        entered += sentence.startsWith("CM2,1,") ? 1 : 0;
    QCOMPARE(entered, 1);
    QCOMPARE(b.sensorCommands(), QList<quint8>{0x7B});
    QCOMPARE(b.receivedAt("CF2,120C"), -1);

    b.prompter.asked.clear();
    b.prompter.confirms = {true};
    b.prompter.found = QMessageBox::Save;
    QTest::mouseClick(g->discoverButton, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(b.sensor.state().runs, 1, kJobMs);
    QTRY_VERIFY_WITH_TIMEOUT(!b.sim.configMode(), kJobMs);
    QCOMPARE(b.prompter.asked, (QStringList{kConfigModeText, "Sensor found SN: 1234567"}));
    QCOMPARE(b.sensorCommands().mid(1), (QList<quint8>{0x7B, 0x50, 0x34, 0x20, 0x21, 0x22, 0x23, 0x24, 0x25, 0x26,
                                                       0x27, 0x32, 0x34}));
    QCOMPARE(b.sensor.state().stores, 1);
    // The serial is stored before the sensor is asked for its CAN id.
    QTRY_COMPARE_WITH_TIMEOUT(b.sim.param(0x110A), 0x01A5u, kJobMs);
    QCOMPARE(b.sim.param(0x120C), 1234567u);
    const qint64 serialWritten = b.receivedAt("CF2,120C,0012D687");
    QVERIFY(serialWritten >= 0);
    QVERIFY(serialWritten < b.receivedAt("CN1,00000411,0,0,8,50"));
    QCOMPARE(g->serialEditor->text(), QString("1234567"));
    QVERIFY(!g->serialEditor->isEnabled());
    QCOMPARE(g->canIdEditor->text(), QString("0x01A5"));
    // The unit now reports the CAN id the sensor has: nothing to commit.
    QTRY_VERIFY_WITH_TIMEOUT(!g->commitButton->isEnabled(), kJobMs);
    QTRY_VERIFY_WITH_TIMEOUT(!b.waitCursor(), kJobMs);
}

// A sensor found in an earlier session, its serial and CAN id kept by the
// unit: a new CAN id typed enables Commit, which moves the sensor to it. The
// sensor's settings frame (dead zone, direction, period 1000) follows each
// report of them by the unit; "Reset Current to 0" sends "RC1," and the zero
// frame 12 05 at the device base id of the CAN tab, the charging warning
// only informing. With analog inputs no sensor frame goes out, the state of
// charge frame included.
void TstCurrentSensorWindow::commitAndSensorFrames()
{
    Bench b;
    b.sim.setParam(0x120C, 1234567);
    b.sim.setParam(0x110A, 0x01A5);
    b.sim.setParam(0x1007, 0xFF); // reverse direction
    QCOMPARE(b.start(port_), QString());
    GeneralTabWidgets* g = b.g;
    ConfigPage* page = b.page();

    b.type(g->canIdEditor, "1B0");
    QTRY_COMPARE_WITH_TIMEOUT(b.sim.param(0x110A), 0x01B0u, kJobMs);
    QTRY_VERIFY_WITH_TIMEOUT(g->commitButton->isEnabled(), kJobMs);
    b.prompter.confirms = {true};
    QTest::mouseClick(g->commitButton, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(b.sensor.state().stores, 1, kJobMs);
    QTRY_VERIFY_WITH_TIMEOUT(!b.sim.configMode(), kJobMs);
    QCOMPARE(b.prompter.asked, QStringList{kConfigModeText});
    QCOMPARE(b.sensorCommands(), (QList<quint8>{0x34, 0x10, 0x20, 0x32, 0x34}));
    QCOMPARE(b.sensor.requests().at(1).toHex(), QByteArray("1001b000" "12d68700"));
    QCOMPARE(b.sensor.state().baseId, quint16(0x01B0));
    QVERIFY(!b.sensor.state().stopped);
    QTRY_VERIFY_WITH_TIMEOUT(!b.waitCursor(), kJobMs);
    b.prompter.asked.clear();
    // The login's refresh has sent the unit's settings already.
    QTRY_VERIFY_WITH_TIMEOUT(b.sensorFrames("1407").contains("100:14073205E803"), kJobMs);
    b.bus.clearFrames();
    QLineEdit* deadzone = qobject_cast<QLineEdit*>(page->paramSlot(0x1008)->params.first()->widget);
    b.type(deadzone, "0.40");
    QTRY_COMPARE_WITH_TIMEOUT(b.sim.param(0x1008), 40u, kJobMs);
    QTRY_COMPARE_WITH_TIMEOUT(b.sensorFrames("1407"), QStringList{"100:14072805E803"}, kJobMs);

    b.sim.clearReceived();
    QTest::mouseClick(g->resetZeroButton, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(b.sensorFrames("1205"), QStringList{"100:1205"}, kJobMs);
    QVERIFY(b.receivedAt("RC1,") >= 0);
    QVERIFY(b.receivedAt("RC1,") <= b.receivedAt("CN1,00000100,0,0,2,1205"));
    QVERIFY(b.prompter.asked.isEmpty());

    // Charging: the warning, then the same.
    b.sim.reply("CS1,01");
    QTRY_VERIFY_WITH_TIMEOUT(page->chargingState == 1, kJobMs);
    b.sim.clearReceived();
    b.bus.clearFrames();
    QTest::mouseClick(g->resetZeroButton, Qt::LeftButton);
    QCOMPARE(b.prompter.asked, QStringList{kChargingText});
    QTRY_COMPARE_WITH_TIMEOUT(b.sensorFrames("1205"), QStringList{"100:1205"}, kJobMs);
    QVERIFY(b.receivedAt("RC1,") >= 0);
    b.sim.reply("CS1,00");
    QTRY_VERIFY_WITH_TIMEOUT(page->chargingState == 0, kJobMs);

    // Extended ids (on the CAN tab): the base is the upper part of a 29-bit id.
    page->tabWidget->setCurrentIndex(2);
    Bench::check(page->extendedIdBox);
    QVERIFY(page->extendedIdBox->isChecked());
    page->tabWidget->setCurrentIndex(1);
    b.bus.clearFrames();
    QTest::mouseClick(g->resetZeroButton, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(b.sensorFrames("1205"), QStringList{"1000000x:1205"}, kJobMs);

    // Analog inputs: the unit alone.
    Bench::check(g->analogInputsCheck);
    QVERIFY(g->analogInputsCheck->isChecked());
    b.sim.clearReceived();
    QTest::mouseClick(g->resetZeroButton, Qt::LeftButton);
    QVERIFY(b.sim.waitForSentence("RC1,", kJobMs));
    QTRY_COMPARE_WITH_TIMEOUT(b.sim.param(0x1600), 0x00020800u, kJobMs);
    b.type(deadzone, "0.10");
    QTRY_COMPARE_WITH_TIMEOUT(b.sim.param(0x1008), 10u, kJobMs);
    page->tabWidget->setCurrentIndex(4); // "SOC / SOH"
    b.prompter.ints = {50};
    QTest::mouseClick(page->setSocButton, Qt::LeftButton);
    QVERIFY(b.sim.waitForSentence("SC1,32", kJobMs));
    for (const QString& s : b.receivedAfter("RC1,"))
        QVERIFY2(!s.startsWith("CN1"), qPrintable(s));
}

// Firmware without the device CAN id base: the unit is reset alone, with a
// word to the user, and no sensor frame goes to CAN id 0.
void TstCurrentSensorWindow::noDeviceBaseNoSensorFrames()
{
    Bench b(false);
    QCOMPARE(b.start(port_), QString());
    b.sim.clearReceived();
    QTest::mouseClick(b.g->resetZeroButton, Qt::LeftButton);
    QVERIFY(b.sim.waitForSentence("RC1,", kJobMs));
    QCOMPARE(b.prompter.asked.size(), 1);
    QVERIFY(b.prompter.asked.last().startsWith("The current sensor's CAN base id is not valid"));
    QLineEdit* deadzone = qobject_cast<QLineEdit*>(b.page()->paramSlot(0x1008)->params.first()->widget);
    b.type(deadzone, "0.40");
    QTRY_COMPARE_WITH_TIMEOUT(b.sim.param(0x1008), 40u, kJobMs);
    for (const QString& s : b.receivedAfter("RC1,"))
        QVERIFY2(!s.startsWith("CN1"), qPrintable(s));
    QVERIFY(b.sensorFrames("1205").isEmpty() && b.sensorFrames("1407").isEmpty());
}

QTEST_MAIN(TstCurrentSensorWindow)
#include "tst_currentsensor_window.moc"
