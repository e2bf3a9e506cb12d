#pragma once

#include "FirmwareUpdater.h"

#include <QByteArray>

#include <functional>

class Communicator;
class Y5ProtocolHandler;

// Waits of the legacy frame transfer; tests shorten them.
struct Y5FwTiming
{
    int ackPollMs = 15;            // between the reads for a frame's answer...
    int ackPolls = 150;            // ...this many times
    int frameReadTimeoutMs = 1500; // port read time-out while a frame goes out
    int bootSettleMs = 50;         // after the unit is in its bootloader
    int versionDrainMs = 100;      // after each of the two version requests
};

// The serial firmware update of the control unit, run once in "Y5 FW
// Updater Thread" (the protocol handler starts it through its factory). It
// puts the unit into its bootloader, then either writes the legacy image as
// length-prefixed frames, each answered by one byte (0x11: taken), or, for
// a "BMS3" unit, hands the image to the CANopen download (runSerialBootloader).
// Outcome and progress travel as sigFirmwareUpdateProgress(value, 1, text) on
// the transport: 0..99 before each frame, 100 success, -1 a frame refused four
// times in a row (or a damaged image), -2 no bootloader, no answer, or the
// transport told to stop.
class Y5FwUpdater : public FirmwareUpdater
{
    Q_OBJECT
public:
    explicit Y5FwUpdater(Communicator* transport);

    // What the window hands to Y5ProtocolHandler::setFirmwareUpdaterFactory.
    static FirmwareUpdaterFactory factory(const Y5FwTiming& timing = Y5FwTiming());

    void setTiming(const Y5FwTiming& timing) { timing_ = timing; }

    // The whole update; true when the image was written. done() on every path.
    bool updateFirmware();

    // Waits for the answer to one frame and moves the counters: a good
    // answer adds the frame to `acknowledged` and clears `retries`; a refused
    // frame moves `index` back so the same frame goes again, at most three
    // times in a row. False when the transfer has failed (already reported).
    bool waitFrameAck(qint64& acknowledged, int frameLength, qint64& index, int& retries);

    // True when the image is a whole run of frames (length + bytes).
    static bool isFrameImage(const QByteArray& image);

public slots:
    void T_UpdateFirmware() override { updateFirmware(); }

private:
    bool legacyTransfer(const QByteArray& image);
    bool serialBootloaderTransfer(const QByteArray& image);
    // Reads and drops single bytes until a read gives none (bounded).
    void drainBytes(bool logEach);
    void readAndDrop(int max);
    // Sleeps in short steps; false when the transport was told to stop.
    bool pause(int ms) const;
    bool stopAsked() const;
    // Ends an update that did not write the image.
    bool fail(int progress, const QString& logLine, bool restoreFlow);
    void finish();

    Communicator* transport_;
    Y5ProtocolHandler* handler_;
    Y5FwTiming timing_;
};

// The CANopen download of a "BMS3" unit over the serial link: (transport,
// image) -> true when the image was written. The CANopen bootloader code
// registers it; until one is registered a "BMS3" update fails.
using SerialBootloaderRunner = std::function<bool(Communicator* transport, const QByteArray& image)>;
void setSerialBootloaderRunner(SerialBootloaderRunner runner);

// Runs the registered download (false, logged, when there is none).
bool runSerialBootloader(Communicator* transport, const QByteArray& image);
