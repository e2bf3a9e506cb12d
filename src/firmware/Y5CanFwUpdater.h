#pragma once

#include <QObject>
#include <QPointer>

#include <atomic>

class Communicator;
class QByteArray;
class Y5CanProtocolHandler;

// Firmware update of a CAN device with a product code up to 15 through its
// route bootloader. The Update page arms it from the GUI thread; the
// transport's worker loop runs it on its next pass (the updater hooks the
// loop's per-pass signal directly), so the whole update blocks that thread.
// While it is busy the pump leaves received lines queued, sends pause 15 ms
// and the port list is not refreshed. `owner` is the transport; it is not a
// Qt parent. The updater follows the process-wide transport selector.
//
// Signals, on the owner transport: sigCanDeviceOperationStatus (0 started,
// 1 finished, 2 failed; operation 3), sigCanUpdateProgress (0..100) and
// sigCanUpdateStatus (stage, code).
class Y5CanFwUpdater : public QObject
{
    Q_OBJECT
public:
    static constexpr int kOperation = 3;

    explicit Y5CanFwUpdater(Communicator* owner);

    // The steps' sender; without one the updater uses its own. Ignored
    // while busy.
    void setProtocolHandler(Y5CanProtocolHandler* handler);
    Y5CanProtocolHandler* protocolHandler() const;

    // Arms the update of the device; the image (record texts, each starting
    // with ':') must stay unchanged until the update ends. False, with
    // nothing changed, while unlinked, while the control unit is being
    // updated or while an update is armed or running.
    bool start(const QByteArray* image, quint16 deviceType, quint32 serialNumber);
    bool isBusy() const { return armed || running; }
    void setActive(bool on) { running = on; }
    // Runs an armed update to its end; the transport's loop calls it.
    bool process();
    bool sendImageRecords();

    // The transport after a switch of transports.
    void setOwner(Communicator* owner);
    Communicator* owner() const { return m_owner; }

    std::atomic<bool> armed{false};
    std::atomic<bool> running{false};

private:
    void hook(Communicator* owner);
    void status(int stage, int code);

    std::atomic<Communicator*> m_owner{nullptr};
    const QByteArray* m_image = nullptr;
    quint32 m_filters[5] = {};
    Y5CanProtocolHandler* m_ownHandler = nullptr;
    Y5CanProtocolHandler* m_handler = nullptr;
    QMetaObject::Connection m_passConnection;
};
