#pragma once

// Driver of the BLE USB dongle: finds, connects, pairs with and talks to the
// control unit's Bluetooth module through BGAPI messages. Free functions over
// module-level state; no thread and no lock of its own, it never blocks.
// Every entry (the byte input and all BLED112_* calls) must come from one
// thread at a time; the event callback is called from inside those entries.

#include "BledTypes.h"

#include <functional>

// Events passed to the user callback as (kind, payload).
enum Bled112Event : int {
    BLED112_DISCONNECTED = 0,     // no payload
    BLED112_CONNECTED = 1,        // Bled112Connected: the module is ready
    BLED112_SCAN_STARTED = 2,     // no payload
    BLED112_SCAN_STOPPED = 3,     // no payload
    BLED112_DEVICE_FOUND = 4,     // DriverModuleFound: a module advertised the service
    BLED112_DATA_RECEIVED = 5,    // Bled112Data: bytes from the control unit
    BLED112_PASSKEY_REQUESTED = 6, // no payload
    BLED112_INCORRECT_PASSKEY = 7, // no payload; the connection is then ended
    BLED112_ERROR = 8,            // DriverError
};

struct Bled112Connected {
    uint8_t locked;
    uint32_t statusWord;
    uint32_t value;
};

struct Bled112Data {
    const uint8_t* data;
    uint8_t length;
};

using Bled112Callback = std::function<void(int kind, const void* payload)>;
// Writes bytes to the dongle's port.
using Bled112Writer = std::function<void(const uint8_t* bytes, size_t length)>;
// Takes every run of bytes read from the dongle's port.
using Bled112Input = void (*)(const uint8_t* bytes, size_t length);

// The module's service and characteristics, most-significant byte first.
extern const UuidEntry BLED112_SERVICE_UUID;
extern const UuidEntry BLED112_NOTIFY_UUID;
extern const UuidEntry BLED112_DATA_UUID;
extern const UuidEntry BLED112_COMMAND_UUID;
extern const UuidEntry BLED112_STATUS_UUID;

constexpr int BLED112_CHUNK = 20;      // bytes per write without response
constexpr int BLED112_MAX_NAME = 20;

void BLED112_setEventCallback(Bled112Callback callback);
// Prepares the dongle and hands back the byte input.
void BLED112_open(Bled112Writer writer, Bled112Input* input);
// Ends everything; 0 when a disconnection had to be sent, else 1. Nothing is
// written after it returns.
int BLED112_close();
int BLED112_startScan();
void BLED112_stopScan();
int BLED112_connect(int index);
int BLED112_disconnect();
// Six ASCII digits.
int BLED112_enterPasskey(const char* digits);
int BLED112_write(const uint8_t* data, int length);
int BLED112_setName(const uint8_t* name, int length);
int BLED112_clearName();
int BLED112_setPin(const char* digits);
int BLED112_clearPin();
int BLED112_lock();
int BLED112_reset();
// Writes six ASCII digits (no terminator); a null output only checks.
int BLED112_getPasskey(char* digits);
int BLED112_getModuleState();
int BLED112_getStatusWord(uint32_t* out);
int BLED112_getDeviceValue(uint32_t* out);

// Link layer under the driver, open for tests.
struct ScanDevice {
    uint16_t index;
    uint8_t address[6];
    uint8_t addressType;
    int8_t rssi;
    char name[30];
    uint32_t value;
    uint8_t uuid[16];
    uint8_t uuidLength;
    bool matched;      // advertised a filtered service
    uint32_t lastSeen;
};

constexpr int BLED112_MAX_DEVICES = 255;

void linkOpen(Bled112Writer writer, Bled112Input* input);
void linkClose();
int linkConnect(int index);
void linkStartEncryption();
void linkEnterPasskey(const char* digits);
bool linkDisconnect();
void scanAddFilter(const UuidEntry& entry);
void scanStart();
void scanStop();
const ScanDevice* scanFindDevice(int index);
void scanClearDevices();
int scanDeviceCount();
int scanFilterCount();
bool BLED112_isOpening();
// A disconnection of a held connection was sent and is not confirmed yet.
bool BLED112_isDisconnecting();
