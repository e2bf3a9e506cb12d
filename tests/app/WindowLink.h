#pragma once

// The main window and the control-unit emulator on a pty, listed through
// BMS_SERIAL_PORTS, for tests of the link as the window shows it. The port is
// chosen in the port row as a user does; the window's boxes are answered by
// ScriptedDialogs.
#include "BmsGui.h"
#include "ControlUnitSim.h"
#include "PortList.h"
#include "ScriptedDialogs.h"
#include "StartupRules.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QSettings>
#include <QStringList>
#include <QTemporaryDir>

namespace windowlink {

// Generous: the machine may be busy with other builds.
constexpr int kLinkTimeoutMs = 20000;

inline const QString& appSuffix()
{
    static const QString s = QStringLiteral(" - KEPO BMS Dadevoz Arezi");
    return s;
}

// Application names and a log directory for every window of the test; the
// auto-connection setting as given (it outlives a window).
inline void prepareApplication(const QString& logDir, bool autoConnection = false)
{
    QCoreApplication::setOrganizationName(kOrganisationName);
    QCoreApplication::setApplicationName(kApplicationName);
    QSettings().setValue(QStringLiteral("LogFileDir"), logDir);
    QSettings().setValue(QStringLiteral("AutoConnection"), autoConnection);
}

// Lists these device paths as extra ports, in this order.
inline void listPorts(const QStringList& paths)
{
    qputenv(kExtraPortsVariable, paths.join(QLatin1Char(':')).toLocal8Bit());
}

// Picks the port's entry in the window's port row; false when not listed.
inline bool choosePort(BMS_GUI& w, const QString& path)
{
    QComboBox* combo = w.portCombo();
    for (int i = 0; i < combo->count(); ++i) {
        if (portNameFromEntry(combo->itemText(i)) == path) {
            combo->setCurrentIndex(i);
            return true;
        }
    }
    return false;
}

// The title of a window linked over port to a unit with this decimal serial.
inline QString titleLinkedTo(const QString& port, const QString& serial, const QString& version)
{
    return port + QStringLiteral(": BMS SN:") + serial + QStringLiteral(" ver.:") + version + appSuffix();
}

inline bool isTrying(const BMS_GUI& w)
{
    return w.windowTitle().startsWith(QStringLiteral("Trying to connect"));
}

} // namespace windowlink
