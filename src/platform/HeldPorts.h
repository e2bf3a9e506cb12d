#pragma once

#include <QString>

// The serial ports the program holds, and which part holds each: the control
// unit's link (the port it has open, and between its attempts the port it is
// to use), the display unit's link and the BLE dongle's. A part never opens a
// port that another part holds, and no search probes one, also where the
// system would let a second user open it. Thread-safe.

enum class PortHolder { ControlUnit, DisplayUnit, Dongle };

// One part's hold on one port at a time; let go when it is destroyed.
class HeldPort
{
public:
    explicit HeldPort(PortHolder holder) : holder_(holder) {}
    ~HeldPort();
    HeldPort(const HeldPort&) = delete;
    HeldPort& operator=(const HeldPort&) = delete;

    // Holds this port instead of the one held before; an empty path lets go.
    void hold(const QString& path);
    void release() { hold(QString()); }
    bool isHolding() const;
    PortHolder holder() const { return holder_; }

private:
    const PortHolder holder_;
};

// Whether any part holds the path (or a link to the same device).
bool isSerialPortHeld(const QString& path);
// Whether a part other than `self` holds it; which one in `by` when given.
bool isSerialPortHeldByOther(const QString& path, PortHolder self, PortHolder* by = nullptr);
// "the control unit's link", "the display unit", "the Bluetooth dongle".
QString portHolderText(PortHolder holder);
