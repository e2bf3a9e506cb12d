#pragma once

#include <QString>

// The serial ports this program holds open for its own links (the control
// unit's transport and the like), by open file descriptor. The link's serial
// port notes each open and close; searches that probe ports of their own (the
// display unit's) leave these alone, also where the system would let a second
// user open them. Thread-safe.
void noteSerialPortOpened(int fd, const QString& path);
void noteSerialPortClosed(int fd);
// Whether the path (or a link to the same device) is held open.
bool isSerialPortHeld(const QString& path);
