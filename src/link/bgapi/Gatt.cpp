#include "Gatt.h"

#include "Bgapi.h"

#include <cstdio>
#include <cstring>

namespace {

int connection = -1;
GattState state = GATT_IDLE;
UuidEntry wanted[GATT_MAX_SERVICES];
int wantedCount = 0;
GattService services[GATT_MAX_SERVICES];
int serviceCount = 0;
int cursor = 0;
bool declarationPending = false;
uint16_t pendingDeclaration = 0;
GattCharacteristic* lastAdded = nullptr;

void clearTables()
{
    state = GATT_IDLE;
    wantedCount = 0;
    serviceCount = 0;
    std::memset(services, 0, sizeof services);
    cursor = 0;
    declarationPending = false;
    pendingDeclaration = 0;
    lastAdded = nullptr;
}

bool isUuid16(const uint8_t* uuid, int length, uint16_t value)
{
    return length == 2 && uuid[0] == (value >> 8) && uuid[1] == (value & 0xFF);
}

// Common checks of the attribute procedures.
int checkCharacteristic(const GattCharacteristic* c, uint16_t handle)
{
    if (!c || handle == 0)
        return BLED_INVALID;
    if (connection < 0 || c->connection != connection)
        return BLED_NOT_READY;
    if (state != GATT_IDLE)
        return BLED_BUSY;
    return BLED_OK;
}

// Finds the characteristics of the service at the cursor, or ends discovery.
void nextStep()
{
    while (cursor < serviceCount && services[cursor].start >= services[cursor].end)
        ++cursor; // nothing but the service declaration
    if (cursor < serviceCount) {
        declarationPending = false;
        bgapiSend(BGAPI_CMD_ATTCLIENT_FIND_INFORMATION, connection, services[cursor].start + 1, services[cursor].end);
        return;
    }
    state = GATT_IDLE;
    driverNotify(DRV_DISCOVERY_COMPLETE, nullptr);
}

void onReadByGroupTypeResponse(const uint8_t* p, size_t n)
{
    BgapiReader r(p, n);
    r.u8();
    const uint16_t result = r.u16();
    if (result == 0)
        return;
    if (state == GATT_DISCOVERING_SERVICES)
        state = GATT_IDLE; // the procedure never started
    driverReportError(11, result);
}

void onFindInformationResponse(const uint8_t* p, size_t n)
{
    BgapiReader r(p, n);
    r.u8();
    const uint16_t result = r.u16();
    if (result == 0)
        return;
    if (state == GATT_DISCOVERING_CHARACTERISTICS)
        state = GATT_IDLE;
    driverReportError(11, result);
}

void onReadByHandleResponse(const uint8_t* p, size_t n)
{
    BgapiReader r(p, n);
    r.u8();
    const uint16_t result = r.u16();
    if (result == 0)
        return;
    if (state == GATT_READING_VALUE || state == GATT_READING_DECLARATION)
        state = GATT_IDLE;
    driverReportError(13, result);
}

void onAttributeWriteResponse(const uint8_t* p, size_t n)
{
    BgapiReader r(p, n);
    r.u8();
    const uint16_t result = r.u16();
    if (result == 0)
        return;
    const bool enabling = state == GATT_ENABLING_NOTIFICATION;
    if (enabling || state == GATT_WRITING)
        state = GATT_IDLE;
    driverReportError(enabling ? 10 : 14, result);
}

void onWriteCommandResponse(const uint8_t* p, size_t n)
{
    BgapiReader r(p, n);
    r.u8();
    const uint16_t result = r.u16();
    if (result != 0)
        driverReportError(15, result);
}

void onGroupFound(const uint8_t* p, size_t n)
{
    BgapiReader r(p, n);
    const int conn = r.u8();
    const uint16_t start = r.u16();
    const uint16_t end = r.u16();
    uint8_t length = 0;
    const uint8_t* wire = r.array(&length);
    if (conn != connection || wantedCount == 0 || state != GATT_DISCOVERING_SERVICES)
        return;
    uint8_t uuid[16];
    const uint8_t uuidLength = uuidFromWire(wire, length, uuid);
    bool keep = false;
    for (int i = 0; i < wantedCount && !keep; ++i)
        keep = uuidMatches(uuid, uuidLength, wanted[i].uuid, wanted[i].length);
    if (!keep || serviceCount >= GATT_MAX_SERVICES)
        return;
    GattService& s = services[serviceCount++];
    std::memset(&s, 0, sizeof s);
    s.start = start;
    s.end = end;
    std::memcpy(s.uuid, uuid, sizeof uuid);
    s.uuidLength = uuidLength;
}

void onFindInformationFound(const uint8_t* p, size_t n)
{
    BgapiReader r(p, n);
    const int conn = r.u8();
    const uint16_t handle = r.u16();
    uint8_t length = 0;
    const uint8_t* wire = r.array(&length);
    if (conn != connection || state != GATT_DISCOVERING_CHARACTERISTICS || cursor >= serviceCount)
        return;
    uint8_t uuid[16];
    const uint8_t uuidLength = uuidFromWire(wire, length, uuid);
    if (isUuid16(uuid, uuidLength, 0x2803)) {
        declarationPending = true;
        pendingDeclaration = handle;
        return;
    }
    if (isUuid16(uuid, uuidLength, 0x2902) && lastAdded)
        lastAdded->configHandle = handle;
    if (!declarationPending)
        return;
    GattService& s = services[cursor];
    declarationPending = false;
    if (s.characteristicCount >= GATT_MAX_CHARACTERISTICS)
        return;
    GattCharacteristic& c = s.characteristics[s.characteristicCount++];
    c.connection = static_cast<uint8_t>(conn);
    c.valueHandle = handle;
    c.configHandle = 0;
    c.declarationHandle = pendingDeclaration;
    pendingDeclaration = 0;
    std::memcpy(c.uuid, uuid, sizeof uuid);
    c.uuidLength = uuidLength;
    lastAdded = &c;
}

void onProcedureCompleted(const uint8_t* p, size_t n)
{
    BgapiReader r(p, n);
    const int conn = r.u8();
    const uint16_t result = r.u16();
    const uint16_t handle = r.u16();
    if (conn != connection)
        return;
    // Every completion, error or not, ends the procedure: a client left busy
    // would refuse every later request, sentence writes included.
    switch (state) {
    case GATT_DISCOVERING_SERVICES:
    case GATT_DISCOVERING_CHARACTERISTICS:
        if (result != 0) {
            state = GATT_IDLE;
            driverReportError(4, result);
            return;
        }
        if (state == GATT_DISCOVERING_SERVICES) {
            state = GATT_DISCOVERING_CHARACTERISTICS;
            cursor = 0;
        } else {
            ++cursor;
        }
        nextStep();
        return;
    case GATT_ENABLING_NOTIFICATION: {
        state = GATT_IDLE;
        if (result != 0) {
            driverReportError(10, result);
            return;
        }
        const DriverHandle h{handle};
        driverNotify(DRV_NOTIFICATION_ENABLED, &h);
        return;
    }
    case GATT_WRITING: {
        state = GATT_IDLE;
        if (result != 0) {
            driverReportError(14, result);
            return;
        }
        const DriverHandle h{handle};
        driverNotify(DRV_VALUE_WRITTEN, &h);
        return;
    }
    case GATT_READING_VALUE:
    case GATT_READING_DECLARATION:
        state = GATT_IDLE;
        if (result != 0)
            driverReportError(13, result);
        return;
    default:
        if (result != 0)
            driverReportError(9, result);
        return;
    }
}

void onAttributeValue(const uint8_t* p, size_t n)
{
    BgapiReader r(p, n);
    const int conn = r.u8();
    const uint16_t handle = r.u16();
    const uint8_t type = r.u8();
    uint8_t length = 0;
    const uint8_t* data = r.array(&length);
    if (conn != connection)
        return;
    const DriverValue v{handle, data, length};
    if (type == 0) {
        if (state == GATT_READING_VALUE)
            state = GATT_IDLE;
        driverNotify(DRV_VALUE_READ, &v);
    } else if (type == 1) {
        driverNotify(DRV_VALUE_NOTIFIED, &v);
    }
}

} // namespace

bool uuidMatches(const uint8_t* a, int lengthA, const uint8_t* b, int lengthB)
{
    if (lengthA == 0 || lengthB == 0)
        return true;
    // A short UUID never matches a long one by its first bytes.
    return lengthA == lengthB && std::memcmp(a, b, static_cast<size_t>(lengthA)) == 0;
}

uint8_t uuidFromWire(const uint8_t* wire, int length, uint8_t out[16])
{
    std::memset(out, 0, 16);
    const int k = length < 16 ? length : 16;
    for (int i = 0; i < k; ++i)
        out[i] = wire[length - 1 - i];
    return static_cast<uint8_t>(k < 0 ? 0 : k);
}

void gattBegin(int conn)
{
    clearTables();
    connection = conn;
}

void gattReset()
{
    clearTables();
    connection = -1;
}

void gattAddWantedService(const UuidEntry& entry)
{
    if (wantedCount < GATT_MAX_SERVICES)
        wanted[wantedCount++] = entry;
}

int gattDiscoverServices()
{
    if (connection < 0)
        return BLED_NOT_READY;
    if (state != GATT_IDLE)
        return BLED_BUSY;
    state = GATT_DISCOVERING_SERVICES;
    serviceCount = 0;
    lastAdded = nullptr;
    static const uint8_t primaryService[2] = {0x00, 0x28};
    bgapiSend(BGAPI_CMD_ATTCLIENT_READ_BY_GROUP_TYPE, connection, 0x0001, 0xFFFF, 2, primaryService);
    return BLED_OK;
}

const GattService* gattFindService(const UuidEntry& entry)
{
    for (int i = 0; i < serviceCount; ++i)
        if (uuidMatches(services[i].uuid, services[i].uuidLength, entry.uuid, entry.length))
            return &services[i];
    return nullptr;
}

const GattCharacteristic* gattFindCharacteristic(const GattService* service, const UuidEntry& entry)
{
    if (!service)
        return nullptr;
    for (int i = 0; i < service->characteristicCount; ++i) {
        const GattCharacteristic& c = service->characteristics[i];
        if (uuidMatches(c.uuid, c.uuidLength, entry.uuid, entry.length))
            return &c;
    }
    return nullptr;
}

int gattEnableNotification(const GattCharacteristic* c)
{
    const int check = checkCharacteristic(c, c ? c->configHandle : 0);
    if (check != BLED_OK)
        return check;
    state = GATT_ENABLING_NOTIFICATION;
    static const uint8_t enable[2] = {0x01, 0x00};
    bgapiSend(BGAPI_CMD_ATTCLIENT_ATTRIBUTE_WRITE, connection, c->configHandle, 2, enable);
    return BLED_OK;
}

int gattReadValue(const GattCharacteristic* c)
{
    const int check = checkCharacteristic(c, c ? c->valueHandle : 0);
    if (check != BLED_OK)
        return check;
    state = GATT_READING_VALUE;
    bgapiSend(BGAPI_CMD_ATTCLIENT_READ_BY_HANDLE, connection, c->valueHandle);
    return BLED_OK;
}

int gattWriteCommand(const GattCharacteristic* c, const uint8_t* data, int length)
{
    const int check = checkCharacteristic(c, c ? c->valueHandle : 0);
    if (check != BLED_OK)
        return check;
    if (length < 0 || length > 255 || (length > 0 && !data))
        return BLED_INVALID;
    // A write without response is no procedure: the state stays.
    bgapiSend(BGAPI_CMD_ATTCLIENT_WRITE_COMMAND, connection, c->valueHandle, length, data);
    return BLED_OK;
}

int gattWrite(const GattCharacteristic* c, const uint8_t* data, int length)
{
    const int check = checkCharacteristic(c, c ? c->valueHandle : 0);
    if (check != BLED_OK)
        return check;
    if (length < 0 || length > 255 || (length > 0 && !data))
        return BLED_INVALID;
    state = GATT_WRITING;
    bgapiSend(BGAPI_CMD_ATTCLIENT_ATTRIBUTE_WRITE, connection, c->valueHandle, length, data);
    return BLED_OK;
}

int gattReadDeclaration(const GattCharacteristic* c)
{
    const int check = checkCharacteristic(c, c ? c->declarationHandle : 0);
    if (check != BLED_OK)
        return check;
    state = GATT_READING_DECLARATION;
    bgapiSend(BGAPI_CMD_ATTCLIENT_READ_BY_HANDLE, connection, c->declarationHandle);
    return BLED_OK;
}

GattState gattState() { return state; }
int gattConnection() { return connection; }
int gattServiceCount() { return serviceCount; }
const GattService* gattServiceAt(int index)
{
    return index >= 0 && index < serviceCount ? &services[index] : nullptr;
}

void gattInstallHandlers()
{
    bgapiSetHandler(BGAPI_RSP_ATTCLIENT_READ_BY_GROUP_TYPE, onReadByGroupTypeResponse);
    bgapiSetHandler(BGAPI_RSP_ATTCLIENT_FIND_INFORMATION, onFindInformationResponse);
    bgapiSetHandler(BGAPI_RSP_ATTCLIENT_READ_BY_HANDLE, onReadByHandleResponse);
    bgapiSetHandler(BGAPI_RSP_ATTCLIENT_ATTRIBUTE_WRITE, onAttributeWriteResponse);
    bgapiSetHandler(BGAPI_RSP_ATTCLIENT_WRITE_COMMAND, onWriteCommandResponse);
    bgapiSetHandler(BGAPI_EVT_ATTCLIENT_GROUP_FOUND, onGroupFound);
    bgapiSetHandler(BGAPI_EVT_ATTCLIENT_FIND_INFORMATION_FOUND, onFindInformationFound);
    bgapiSetHandler(BGAPI_EVT_ATTCLIENT_PROCEDURE_COMPLETED, onProcedureCompleted);
    bgapiSetHandler(BGAPI_EVT_ATTCLIENT_ATTRIBUTE_VALUE, onAttributeValue);
}

AdvertSummary parseAdvertisement(const uint8_t* data, size_t length)
{
    AdvertSummary s;
    std::memset(&s, 0, sizeof s);
    if (!data)
        return s;
    size_t pos = 0;
    while (pos < length) {
        const size_t l = data[pos];
        // A zero length ends the data; a structure that does not fit is
        // corrupt, and nothing after it can be trusted.
        if (l == 0 || pos + 1 + l > length)
            break;
        const uint8_t type = data[pos + 1];
        const uint8_t* body = data + pos + 2;
        const size_t n = l - 1;
        switch (type) {
        case 0x01:
            if (n >= 1) {
                s.flags = body[0];
                s.presence |= ADVERT_FLAGS;
            }
            break;
        case 0x02: case 0x03: case 0x04: case 0x05: case 0x06: case 0x07: {
            // A list may hold several UUIDs: keep its first; a shorter UUID
            // never replaces a longer one found before.
            const size_t size = type <= 0x03 ? 2 : type <= 0x05 ? 4 : 16;
            if (n < size || ((s.presence & ADVERT_SERVICE_UUID) && s.uuidLength > size))
                break;
            std::memset(s.uuid, 0, sizeof s.uuid);
            for (size_t i = 0; i < size; ++i)
                s.uuid[15 - i] = body[i];
            s.uuidLength = static_cast<uint8_t>(size);
            s.presence |= ADVERT_SERVICE_UUID;
            break;
        }
        case 0x08: case 0x09: {
            const size_t k = n < 29 ? n : 29;
            std::memset(s.name, 0, sizeof s.name);
            std::memcpy(s.name, body, k);
            s.presence |= ADVERT_NAME;
            break;
        }
        case 0xFF:
            if (l == 7) {
                s.value = static_cast<uint32_t>(body[2]) | static_cast<uint32_t>(body[3]) << 8
                    | static_cast<uint32_t>(body[4]) << 16 | static_cast<uint32_t>(body[5]) << 24;
                s.presence |= ADVERT_VALUE;
            }
            break;
        default:
            std::printf("unsupported: (type = 0x%02x, len = %d) ", type, static_cast<int>(l));
            break;
        }
        pos += l + 1;
    }
    return s;
}
