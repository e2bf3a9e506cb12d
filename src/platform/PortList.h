#pragma once

#include <QList>
#include <QString>

#include <functional>

// One serial port as the port row and the transport see it.
struct PortEntry
{
    QString name;           // what the user picks: "ttyUSB0", or a full path
    QString systemLocation; // what open() takes: "/dev/ttyUSB0"
    QString description;
    quint16 vendorId = 0;
    quint16 productId = 0;
    bool hasIds = false;
};

// Environment variable with extra device paths (colon-separated), listed
// after the system's ports as "USB Serial Port"; pseudo-terminals and other
// ports the system does not enumerate become usable this way.
inline constexpr const char* kExtraPortsVariable = "BMS_SERIAL_PORTS";

// The one port list of the program: the system's ports, then the extras.
QList<PortEntry> availableSerialPorts();

// What the system lists (QSerialPortInfo). A test stands in for the system
// with its own lister; an empty one restores the system's. Thread-safe.
using SystemPortLister = std::function<QList<PortEntry>()>;
void setSystemPortLister(SystemPortLister lister);
QList<PortEntry> systemSerialPorts();

// "name - description", the text of a port-list entry.
QString portEntryText(const PortEntry& port);

// The port name of an entry: the text before the first " - " (Linux paths
// may hold "-"), trimmed. On Windows the name must also contain "COM".
// Empty when the entry names no usable port.
QString portNameFromEntry(const QString& entry);

// Resolves a port name to the path to open: full paths stay, bare names are
// looked up in the port list and otherwise taken under /dev.
QString portSystemLocation(const QString& name);

// Whether auto-connection tries this port: a description holding "USB" and
// "Serial", and on Linux also /dev/ttyUSB* and /dev/ttyACM* devices.
bool isAutoConnectCandidate(const PortEntry& port);

// A Linux USB serial device by its path (/dev/ttyUSB*, /dev/ttyACM*); false
// elsewhere.
bool isUsbTtyDevice(const QString& systemLocation);
