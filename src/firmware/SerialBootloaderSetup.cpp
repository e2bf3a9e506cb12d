#include "SerialBootloaderSetup.h"

#include "Communicator.h"
#include "KepoBootloader.h"
#include "Y5FwUpdater.h"
#include "Y5ProtocolHandler.h"

#include <QPointer>

namespace {

// Runs in the serial updater's thread: the bootloader sends from its own
// thread while this one feeds it the received records.
bool runY55Download(Communicator* transport, const QByteArray& image)
{
    auto* boot = new KepoY55Bootloader(transport, image);
    bool stopSent = false;
    while (boot->running) {
        Y5ProtocolHandler* h = transport ? transport->protocolHandler() : nullptr;
        if (!stopSent && ((transport && transport->isStopRequested()) || (h && h->isFirmwareUpdateStopAsked()))) {
            // The bootloader gives up its waits and ends soon after.
            boot->requestStop();
            stopSent = true;
        }
        boot->serialTransport().poll();
    }
    // Its own deferred delete would wait for an event loop this thread may
    // never run again: once its thread has ended, release it here (that
    // drops the queued delete as well).
    boot->wait();
    const bool ok = boot->result;
    delete boot;
    return ok;
}

} // namespace

void installY55SerialBootloader()
{
    setSerialBootloaderRunner(&runY55Download);
}
