#pragma once

// Types shared by the BLE dongle driver and its GATT client, and the
// driver's internal event bus through which the lower layers report.

#include <cstddef>
#include <cstdint>

// Result codes of the driver's and the GATT client's operations.
enum BledResult : int {
    BLED_OK = 0,          // done or sent
    BLED_NOT_READY = 1,   // nothing connected, no handle, nothing pending
    BLED_INVALID = 2,     // invalid argument, not found, no passkey known
    BLED_BAD_LENGTH = 3,
    BLED_LOCKED = 4,
    BLED_BUSY = 5,        // a GATT procedure is still running
};

// A UUID held most-significant byte first, and its length (0 matches any).
struct UuidEntry {
    uint8_t uuid[16];
    uint8_t length;
};

// An error or a warning (code 0) as reported to the user.
struct DriverError {
    uint16_t stage;
    uint16_t code;
    const char* text;
};

// Events on the internal bus, from the link layer and the GATT client.
enum DriverEvent : int {
    DRV_LINK_DISCONNECTED = 0,
    DRV_ENCRYPTION_REQUESTED = 1,
    DRV_LINK_ENCRYPTED = 2,
    DRV_LINK_CONNECTED = 3,
    DRV_SCAN_STARTED = 4,
    DRV_SCAN_STOPPED = 5,
    DRV_MODULE_FOUND = 6,      // DriverModuleFound
    DRV_PASSKEY_REQUESTED = 7,
    DRV_PASSKEY_REJECTED = 8,
    DRV_ERROR = 9,             // DriverError
    DRV_NOTIFICATION_ENABLED = 10, // DriverHandle
    DRV_DISCOVERY_COMPLETE = 11,
    DRV_VALUE_NOTIFIED = 12,   // DriverValue
    DRV_VALUE_READ = 13,       // DriverValue
    DRV_VALUE_WRITTEN = 14,    // DriverHandle
    DRV_OPENING_COMPLETE = 17,
};

struct DriverModuleFound {
    uint8_t index;
    char name[30];
    uint32_t value;
};

struct DriverHandle {
    uint16_t handle;
};

struct DriverValue {
    uint16_t handle;
    const uint8_t* data;
    uint8_t length;
};

using DriverListener = void (*)(int kind, const void* payload);

void driverAddListener(DriverListener listener);
void driverClearListeners();
void driverNotify(int kind, const void* payload);
// Notifies DRV_ERROR with the text of a BGAPI result code.
void driverReportError(uint16_t stage, uint16_t code);
void driverReportErrorText(uint16_t stage, uint16_t code, const char* text);

// The description of a BGAPI result code, "Unknown" for codes without one.
const char* bledErrorText(uint16_t code);
