#pragma once

#include "CANopenInterface.h"

#include <QByteArray>
#include <QString>
#include <QThread>

#include <atomic>
#include <functional>

class Communicator;
class Y5ProtocolHandler;

// The waits of a bootloader run; tests shorten them.
struct KepoTiming
{
    int firstWaitMs = 1000;  // before the download, then
    int secondWaitMs = 2000; //   this one
    int recheckWaitMs = 700; // between the checks after the enter commands
};

// The 69 flash-status texts, by error code; "Unknown" above 68.
QString flashStatusText(int code);

// Downloads firmware through the CANopen program-download objects (0x1F51:1
// program control, 0x1F50:1 program data, 0x1F57:1 flash status) in a thread
// of its own; what differs between devices is left to the hooks. A device
// class starts the thread at the end of its constructor; the object deletes
// itself (deferred, in the thread that created it) once its run has ended.
class KepoBootloader : public QThread, public CO::ICANopenCallback
{
    Q_OBJECT
public:
    enum Step { Clear = 0, Start = 1, Enter = 2, Write = 3, Check = 4, FlashStatus = 5, Probe = 7 };

    KepoBootloader(CANopenInterface* transport, const QByteArray& image, const KepoTiming& timing = KepoTiming());
    ~KepoBootloader() override;

    bool runStep(int step);
    virtual bool flash();
    void onAbort(int index, int subindex, quint32 code) override;

    void sendRawFrame(quint32 identifier, const quint8* bytes, int length);
    void waitRawFrame(CanFrame* record);

    // The error code of a flash-status value read as 1, 2 or 4 bytes
    // (little-endian, signed); false for any other length.
    static bool flashStatusCode(const QByteArray& value, int* code);

    // Ends the run early: the waiting transfer gives up, and so do the steps
    // after it. Any thread.
    void requestStop();

    QString statusText() const { return statusText_; }

protected:
    void run() override;

    virtual void enterBootloader() {}
    virtual bool checkBootloader() { return true; }
    virtual bool prepare() { return true; }
    virtual void beforeRestart() {}
    virtual void onSuccess() {}
    virtual void onFailure() {}
    virtual void showStatus(const QString&) {}

    // Sleeps in short steps; false when asked to stop.
    bool pause(int ms);
    // Asked to stop: by requestStop, or (device classes) by their link.
    virtual bool stopAsked() const { return isInterruptionRequested(); }
    CANopenInterface* transport() const { return transport_; }
    const KepoTiming& timing() const { return timing_; }

private:
    QString statusText_;
    int abortIndex_ = 0;
    int abortSubindex_ = 0;
    quint32 abortCode_ = 0;
    CANopenInterface* transport_;
    QByteArray image_;
    KepoTiming timing_;
};

// The control unit of kind "BMS3" in its bootloader, over its serial line
// (node 1). The serial update thread feeds the receiver with
// serialTransport().poll() while running is true, then reads result; it must
// not process its events in between (the object deletes itself there).
class KepoY55Bootloader final : public KepoBootloader
{
    Q_OBJECT
public:
    KepoY55Bootloader(Communicator* link, const QByteArray& image, const KepoTiming& timing = KepoTiming());
    ~KepoY55Bootloader() override;

    bool flash() override;
    void onProgress(int percent, int done, int total) override;
    CANopenOverSerial& serialTransport() { return transport_; }

    std::atomic<bool> running{true};
    std::atomic<bool> result{true};

protected:
    void onSuccess() override;
    void onFailure() override;
    void showStatus(const QString& text) override;

private:
    Communicator* link_;
    CANopenOverSerial transport_;
};

// A CAN device with a product code above 15 behind the control unit (node
// 120 over "CN1" sentences): puts the unit into configuration mode, brings
// the device into its bootloader with route commands and reports through the
// CAN update signals of the link. Create it in the thread whose events take
// the received sentences (the GUI thread).
class KepoHXTMBootloader final : public KepoBootloader
{
    Q_OBJECT
public:
    KepoHXTMBootloader(Communicator* link, int deviceType, quint32 serialNumber, const QByteArray& image,
                       const KepoTiming& timing = KepoTiming());
    ~KepoHXTMBootloader() override;

    void onProgress(int percent, int done, int total) override;

    // Keeps the window's sentence pump and the other link users off the link
    // while the update owns it (the application wires it to its CAN firmware
    // updater's setActive). Set once before any update.
    static void setCanUpdateActiveHook(std::function<void(bool)> hook);

protected:
    void run() override;
    bool stopAsked() const override;
    bool prepare() override;
    void enterBootloader() override;
    bool checkBootloader() override;
    void beforeRestart() override;
    void onSuccess() override;
    void onFailure() override;
    void showStatus(const QString& text) override;

private:
    Y5ProtocolHandler* handler() const;
    void routeFrame(quint8 command, quint8 out[8]) const;
    void leaveConfigMode();
    static void setCanUpdateActive(bool on);

    int deviceType_;
    quint32 serialNumber_;
    Communicator* link_;
    CANopenOverSentences transport_;
    quint32 filters_[5] = {};
    bool cm2_ = false;
};

// Starts the CANopen download of a CAN device; the object runs and releases
// itself.
void startCanModuleBootloader(Communicator* link, int deviceType, quint32 serialNumber, const QByteArray& image);

// Whether a CAN device download runs (from its start until its run ended).
bool canModuleBootloaderRunning();
// Asks every running CAN device download to stop and waits up to waitMs for
// their runs to end; true when none runs any more. GUI thread (the objects
// release themselves there, so they stay valid while it waits).
bool stopCanModuleBootloaders(int waitMs);
