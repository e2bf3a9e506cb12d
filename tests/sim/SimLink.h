#pragma once

#include "Communicator.h"
#include "ControlUnitSim.h"
#include "Y5ProtocolHandler.h"

#include <QTemporaryDir>
#include <QThread>

// The control-unit emulator on a pty, found through BMS_SERIAL_PORTS, with
// the real serial transport running in its own thread and the protocol
// handler on the receive path: what a test needs to feed the tool real lines.
struct SimLink
{
    QTemporaryDir dir;
    ControlUnitSim sim;
    Communicator* comm = new Communicator;
    Y5ProtocolHandler handler{comm};
    QThread thread;

    SimLink() = default;
    SimLink(const SimLink&) = delete;
    SimLink& operator=(const SimLink&) = delete;
    ~SimLink();

    // Starts the emulator and the transport; false if either fails.
    bool start();
    // Waits until the transport reports a link session.
    bool waitLinked(int timeoutMs = 10000) const;
};
