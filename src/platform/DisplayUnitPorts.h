#pragma once

#include "PortList.h"

#include <QList>

// Which ports the display unit's own search may probe.

// A USB serial adapter: described "USB Serial Port" (the Windows driver's
// name, and the ports of BMS_SERIAL_PORTS), listed with USB ids, or a
// /dev/ttyUSB* or /dev/ttyACM* device. Linux describes a real adapter by its
// product ("FT232R USB UART", "CP2102 ..."), never "USB Serial Port".
bool isUsbSerialPort(const PortEntry& port);

// The USB serial ports of the list, in list order, without the BLE dongle
// (its description, its USB ids or BMS_BLE_DONGLE_PORT) and without the
// ports other parts of the program hold (the control unit's, also while its
// link is down).
QList<PortEntry> displayUnitCandidates(const QList<PortEntry>& ports);
