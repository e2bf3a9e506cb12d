#pragma once

#include <QObject>

#include <atomic>

// Firmware update of a CAN device through the control unit. While it is busy
// the pump leaves received lines queued, sends pause 15 ms and the port list
// is not refreshed. `owner` is the transport; it is not a Qt parent.
class Y5CanFwUpdater : public QObject
{
    Q_OBJECT
public:
    explicit Y5CanFwUpdater(QObject* owner);

    bool isBusy() const { return armed || running; }
    // One step of an armed update; the transport's loop calls it.
    void process();

    std::atomic<bool> armed{false};
    std::atomic<bool> running{false};

private:
    QObject* m_owner;
};
