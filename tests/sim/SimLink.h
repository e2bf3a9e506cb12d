#pragma once

#include "Communicator.h"
#include "ControlUnitSim.h"
#include "Y5ProtocolHandler.h"

#include <QTemporaryDir>
#include <QThread>

// The control-unit emulator on a pty, found through BMS_SERIAL_PORTS, with
// the real serial transport running in its own thread ("Communicator Thread")
// and the protocol handler on the receive path: what a test needs to feed the
// tool real lines.
struct SimLink
{
    // How the transport is told about the emulator's port: listed through
    // BMS_SERIAL_PORTS, typed by hand though the system does not list it, or
    // listed and chosen by auto-connection.
    enum Listing { Listed, Unlisted, AutoConnect };

    QTemporaryDir dir;
    ControlUnitSim sim;
    Communicator* comm = new Communicator;
    Y5ProtocolHandler handler{comm};
    QThread commThread;
    QString portPath;
    QString entry;

    SimLink() = default;
    SimLink(const SimLink&) = delete;
    SimLink& operator=(const SimLink&) = delete;
    ~SimLink();

    // Starts the emulator and the transport; false if either fails. Signals
    // of comm that a test needs from the start are connected before this.
    bool start(Listing listing = Listed);
    // Waits until the transport reports a link session.
    bool waitLinked(int timeoutMs = 10000) const;
    // Stops the transport loop and the emulator; the destructor calls it too.
    void stop();
};
