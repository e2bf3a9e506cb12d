#pragma once

#include "PortList.h"

#include <QList>
#include <QString>

// Where the BLE USB dongle (a BLED112) sits among the serial ports.

// The description its Windows driver gives the port.
inline constexpr const char* kDongleDescription = "Bluegiga Bluetooth Low Energy";
// Its USB ids, by which Linux names it whatever the description says.
inline constexpr quint16 kDongleVendorId = 0x2458;
inline constexpr quint16 kDongleProductId = 0x0001;
// A device path taken as the dongle before any system port (tests point it at
// the dongle emulator).
inline constexpr const char* kDonglePortVariable = "BMS_BLE_DONGLE_PORT";

// True when this port is the dongle: by its description, its USB ids or
// the path named in donglePath (BMS_BLE_DONGLE_PORT). The dongle speaks a
// binary protocol: no serial search may write sentences into it.
bool isDonglePort(const PortEntry& port, const QString& donglePath);
// The same with BMS_BLE_DONGLE_PORT.
bool isDonglePort(const PortEntry& port);
// The same for a port named by its path or name, as the port list has it.
bool isDonglePortPath(const QString& path);

// The ports of the list without the dongle: what the control unit's port row
// offers.
QList<PortEntry> withoutDongle(const QList<PortEntry>& ports);

// The dongle among these ports: the path named by overridePath when that
// path exists, else the first port whose description equals the dongle's
// description, else the first with the dongle's USB ids. False when none is.
bool findDonglePort(const QList<PortEntry>& ports, const QString& overridePath, PortEntry& found);

// The same over the system's ports and BMS_BLE_DONGLE_PORT.
bool findDonglePort(PortEntry& found);
