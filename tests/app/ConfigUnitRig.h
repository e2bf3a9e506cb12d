#pragma once

// The main window linked to the emulated unit as ./scripts/run --emulator
// runs it (EmulatedUnit, its defaults) through the real serial transport:
// the emulator's port is listed in BMS_SERIAL_PORTS and chosen in the port
// row. For tests of the configuration page as a user meets it. A test may
// give the unit its own serial number, login level and values; the unit
// keeps its whole configuration, features, passwords and bootloader. The
// page's questions and file dialogs are answered by a script, its load
// question by a click.
#include "BmsGui.h"
#include "ConfigPage.h"
#include "ControlUnitSim.h"
#include "EmulatedUnit.h"
#include "ParamReplyWait.h"
#include "PortList.h"
#include "ScriptedDialogs.h"
#include "ScriptedPrompter.h"
#include "StartupRules.h"
#include "Y5ProtocolHandler.h"

#include <QApplication>
#include <QComboBox>
#include <QMap>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using testkit::ScriptedPrompter;

// A battery pack of the General tab away from the factory values: ids,
// widths (bits 8-9 of the id) and values within the editors' limits, with
// the unit's CAN1 speed and CAN id base.
inline QMap<quint16, quint32> batteryPackValues()
{
    return {{0x000F, 0x0A}, {0x0100, 16}, {0x0013, 1}, {0x0007, 0x80}, {0x0C02, 2}, {0x0D00, 0x15}};
}

class ConfigUnitRig
{
public:
    // Generous: a restore or load writes and reads the whole configuration.
    static constexpr int kLinkTimeoutMs = 40000;

    QTemporaryDir dir;
    QString port;
    EmulatedUnit unit;
    ControlUnitSim& sim = unit.cu();
    ScriptedDialogs dialogs;
    ScriptedPrompter prompter;
    std::unique_ptr<BMS_GUI> window;
    ConfigPage* page = nullptr;

    // In initTestCase: settings of the test's own, the emulator on its port.
    bool startEmulator()
    {
        QCoreApplication::setOrganizationName(kOrganisationName);
        QCoreApplication::setApplicationName(kApplicationName);
        QSettings().clear();
        QSettings().setValue("LogFileDir", dir.path());
        // "Write Log" off: the log writer then never hears of another unit;
        // the window's serial number must follow the link all the same.
        QSettings().setValue("WriteLog", false);
        port = dir.filePath("ttyBMS0");
        qputenv(kExtraPortsVariable, port.toLocal8Bit());
        // A reply late on a busy machine is waited for, not turned into a
        // failure question that ends the load.
        ParamReplyWait::setReplyTimeoutMs(1000);
        return unit.start(port);
    }

    // The unit the emulator presents from now on: its serial number, level
    // and values of its own (also what "Defaults..." brings back).
    void presentUnit(const QString& serialHex, int loginLevel, const QMap<quint16, quint32>& values)
    {
        sim.setVersion("BMS2", serialHex, "2.1.4.2");
        for (auto it = values.cbegin(); it != values.cend(); ++it)
            sim.setParam(it.key(), it.value());
        sim.setLoginLevel(loginLevel);
    }

    // Builds the window and chooses the emulator's port. The protocol
    // handler's restore after a firmware update waits less than a real
    // unit needs.
    bool openWindow()
    {
        window.reset(new BMS_GUI);
        // As main() joins them: a focus change commits the edits.
        QObject::connect(qApp, &QApplication::focusChanged, window.get(), &BMS_GUI::focusChanged);
        window->setDialogs(&dialogs);
        page = window->configPage();
        page->setPrompter(&prompter);
        Y5Timing timing;
        timing.authFirstSleepMs = 100;
        timing.authLongPollMs = 20;
        timing.authShortPollMs = 100;
        timing.restoreFactorySleepMs = 200;
        timing.restoreStepMs = 20;
        timing.restoreStepsPerPass = 10;
        timing.restorePasses = 10;
        timing.restoreBackSleepMs = 100;
        window->protocolHandler()->setTiming(timing);
        for (int i = 0; i < window->portCombo()->count(); ++i) {
            if (portNameFromEntry(window->portCombo()->itemText(i)) == port) {
                window->portCombo()->setCurrentIndex(i);
                return true;
            }
        }
        return false;
    }
    void closeWindow()
    {
        page = nullptr;
        window.reset();
    }

    // The emulator's port goes away, and the window notices.
    bool unplug()
    {
        sim.vanish();
        QElapsedTimer t;
        t.start();
        auto noticed = [this] { return !linked() && window->windowTitle().startsWith("Trying to connect"); };
        while (!noticed() && t.elapsed() < kLinkTimeoutMs)
            QTest::qWait(10);
        return noticed();
    }
    // Links the window to this unit: the window is built at the first call;
    // later the emulator's port goes away and comes back with the unit.
    bool linkUnit(const QString& serialHex, int loginLevel, const QMap<quint16, quint32>& values)
    {
        if (!window) {
            presentUnit(serialHex, loginLevel, values);
            return openWindow();
        }
        if (!unplug())
            return false;
        presentUnit(serialHex, loginLevel, values);
        return sim.reappear();
    }

    bool linked() const { return window->communicator() && window->communicator()->linked; }

    // The load question is open (it opens at every new link while nothing is loaded).
    bool waitLoadQuestion(int timeoutMs = kLinkTimeoutMs) const
    {
        QElapsedTimer t;
        t.start();
        while (!(page->loadQuestion() && page->loadQuestion()->isVisible()) && t.elapsed() < timeoutMs)
            QTest::qWait(10);
        return page->loadQuestion() && page->loadQuestion()->isVisible();
    }
    void answerLoadQuestion(QMessageBox::StandardButton button)
    {
        QTest::mouseClick(page->loadQuestion()->button(button), Qt::LeftButton);
    }
    bool waitLoaded(int timeoutMs = kLinkTimeoutMs) const
    {
        QElapsedTimer t;
        t.start();
        while (!(page->configurationLoaded && !page->parametersLoading) && t.elapsed() < timeoutMs)
            QTest::qWait(10);
        return page->configurationLoaded && !page->parametersLoading;
    }
    // Yes to the load question, and the reading completes.
    bool loadConfiguration()
    {
        if (!waitLoadQuestion()) {
            qWarning("no load question (linked %d, loaded %d, loading %d)", int(linked()),
                     int(page->configurationLoaded), int(bool(page->parametersLoading)));
            return false;
        }
        answerLoadQuestion(QMessageBox::Yes);
        if (!waitLoaded()) {
            qWarning("not loaded (linked %d, loading %d, questions %d: %d)", int(linked()),
                     int(bool(page->parametersLoading)), int(dialogs.questions.size()),
                     dialogs.questions.isEmpty() ? -1 : dialogs.questions.last().paramId);
            return false;
        }
        return true;
    }

    // The sentences the emulator received that start with prefix.
    QStringList received(const QString& prefix) const
    {
        QStringList found;
        for (const QString& s : sim.goodSentences())
            if (s.startsWith(prefix))
                found << s;
        return found;
    }
};
