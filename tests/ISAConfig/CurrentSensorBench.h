#pragma once

// The main window linked to the control-unit emulator with the emulated
// unit's CAN bus (an IVT-S sensor among its devices), as a user has it: the
// window connects, loads the configuration and logs in; the page's questions
// are answered by a script.
#include "BmsGui.h"
#include "CanBusSim.h"
#include "EmulatedBus.h"
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
#include <QTest>

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
// selected; the unit's CAN bus holds what the options leave on it.
struct Bench
{
    ControlUnitSim sim;
    EmulatedBus unitBus;
    CanBusSim& bus = unitBus.bus();
    // Null when the options removed it.
    IvtSensorSim* sensor = unitBus.currentSensor();
    ScriptedDialogs dialogs;
    // The page's questions and boxes; every text shown, in order.
    testkit::ScriptedPrompter prompter;
    std::unique_ptr<BMS_GUI> w;
    GeneralTabWidgets* g = nullptr;

    explicit Bench(bool deviceBase = true, const BusOptions& options = BusOptions())
        : unitBus(options)
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
        if (sensor)
            sensor->update([](IvtSensorSim::State& s) {
                s.serial = 1234567;
                s.baseId = 0x01A5;
            });
        unitBus.install(sim);
    }
    ~Bench()
    {
        w.reset();
        unitBus.stop();
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
    // The commands the tool put on the bus for the sensor (on 0x411), with
    // or without a sensor there.
    QList<quint8> sensorCommands() const
    {
        QList<quint8> list;
        for (const CanBusSim::Frame& f : bus.frames())
            if (!f.extended && f.id == 0x411 && f.data.size() == 8)
                list << quint8(f.data.at(0));
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

// Settings of the test's own and the emulator's port among the serial
// ports; returns the port's path. For initTestCase.
inline QString prepareBenchPort(const QTemporaryDir& dir)
{
    QCoreApplication::setOrganizationName(kOrganisationName);
    QCoreApplication::setApplicationName(kApplicationName);
    QSettings().setValue("LogFileDir", dir.path());
    const QString port = dir.filePath("ttyBMS0");
    qputenv(kExtraPortsVariable, port.toLocal8Bit());
    // A loaded machine under the sanitizers can hold the GUI thread longer
    // than a parameter's reply time-out while the load starts.
    ParamReplyWait::setReplyTimeoutMs(2000);
    return port;
}

} // namespace
