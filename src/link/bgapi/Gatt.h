#pragma once

// GATT client for the one connection the dongle driver works on (service and
// characteristic discovery, reads, notifications, writes without response,
// one procedure at a time) and the advertisement parser.

#include "BledTypes.h"

enum GattState : uint8_t {
    GATT_IDLE = 0,
    GATT_DISCOVERING_SERVICES = 1,
    GATT_DISCOVERING_CHARACTERISTICS = 2,
    GATT_ENABLING_NOTIFICATION = 3,
    GATT_WRITING = 4,
    GATT_READING_VALUE = 5,
    GATT_READING_DECLARATION = 6,
};

constexpr int GATT_MAX_SERVICES = 8;
constexpr int GATT_MAX_CHARACTERISTICS = 16;

struct GattCharacteristic {
    uint8_t connection;
    uint16_t valueHandle;
    uint16_t configHandle; // client characteristic configuration, 0 when none
    uint16_t declarationHandle;
    uint8_t uuid[16];      // most-significant byte first
    uint8_t uuidLength;
};

struct GattService {
    uint16_t start;
    uint16_t end;
    uint8_t uuid[16];
    uint8_t uuidLength;
    GattCharacteristic characteristics[GATT_MAX_CHARACTERISTICS];
    uint8_t characteristicCount;
};

void gattBegin(int connection);
void gattReset();
void gattAddWantedService(const UuidEntry& entry);
int gattDiscoverServices();
const GattService* gattFindService(const UuidEntry& entry);
const GattCharacteristic* gattFindCharacteristic(const GattService* service, const UuidEntry& entry);
int gattEnableNotification(const GattCharacteristic* characteristic);
int gattReadValue(const GattCharacteristic* characteristic);
int gattWriteCommand(const GattCharacteristic* characteristic, const uint8_t* data, int length);
int gattWrite(const GattCharacteristic* characteristic, const uint8_t* data, int length);
int gattReadDeclaration(const GattCharacteristic* characteristic);

GattState gattState();
int gattConnection();
int gattServiceCount();
const GattService* gattServiceAt(int index);

// Installs the attribute-client handlers into the message table.
void gattInstallHandlers();

// Two UUIDs match when they are equally long and equal; a length of 0 on
// either side matches anything.
bool uuidMatches(const uint8_t* a, int lengthA, const uint8_t* b, int lengthB);
// Stores a UUID received least-significant byte first in display order:
// the last 16 bytes of a longer field, reversed. Returns the stored length.
uint8_t uuidFromWire(const uint8_t* wire, int length, uint8_t out[16]);

enum AdvertPresence : uint16_t {
    ADVERT_NAME = 1u << 0,
    ADVERT_FLAGS = 1u << 1,
    ADVERT_SERVICE_UUID = 1u << 2,
    ADVERT_VALUE = 1u << 3,
};

struct AdvertSummary {
    uint16_t presence;
    char name[30];        // at most 29 bytes and a terminator
    uint8_t flags;
    uint8_t uuid[16];     // display order, right-aligned
    uint8_t uuidLength;   // 2, 4 or 16 when present
    uint32_t value;       // manufacturer value
};

// Parses the advertising data (the bytes of the scan response's array).
AdvertSummary parseAdvertisement(const uint8_t* data, size_t length);
