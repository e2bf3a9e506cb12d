#include "Bled112.h"

#include "Bgapi.h"
#include "Gatt.h"

#include <cstring>

#define MODULE_UUID(b3) {{0xBB, 0x46, 0x00, b3, 0x4A, 0x8B, 0xAA, 0x9D, 0xE5, 0x11, 0x9A, 0x19, 0xC6, 0x81, 0xCA, 0x6B}, 16}
const UuidEntry BLED112_SERVICE_UUID = MODULE_UUID(0x01);
const UuidEntry BLED112_NOTIFY_UUID = MODULE_UUID(0x02);
const UuidEntry BLED112_DATA_UUID = MODULE_UUID(0x03);
const UuidEntry BLED112_COMMAND_UUID = MODULE_UUID(0x04);
const UuidEntry BLED112_STATUS_UUID = MODULE_UUID(0x05);
#undef MODULE_UUID

namespace {

constexpr int kMaxListeners = 8;
constexpr int kMaxFilters = 8;
constexpr uint32_t kNoPasskey = 0xFFFFFFFFu;
constexpr uint8_t kNoBond = 255;

// Bits of connection_status flags.
constexpr uint8_t kFlagEncrypted = 1u << 1;
constexpr uint8_t kFlagCompleted = 1u << 2;

Bled112Callback userCallback;
Bled112Writer portWriter;

const GattCharacteristic* notifyChar = nullptr;
const GattCharacteristic* dataChar = nullptr;
const GattCharacteristic* commandChar = nullptr;
const GattCharacteristic* statusChar = nullptr;

bool ready = false;
bool locked = false;
bool passkeyPending = false;
bool opening = false;
bool connecting = false;

uint32_t passkey = kNoPasskey;
uint32_t statusWord = 0;
uint32_t moduleValue = 0;

int connectionHandle = -1;
uint8_t bondHandle = kNoBond;
uint8_t pendingStatusCount = 0;
bool disconnectSent = false;

ScanDevice devices[BLED112_MAX_DEVICES];
int deviceCount = 0;
uint16_t nextIndex = 1;
uint32_t sightings = 0;
UuidEntry filters[kMaxFilters];
int filterCount = 0;

DriverListener listeners[kMaxListeners];
int listenerCount = 0;

void userEvent(int kind, const void* payload = nullptr)
{
    if (userCallback)
        userCallback(kind, payload);
}

void forgetModule()
{
    notifyChar = dataChar = commandChar = statusChar = nullptr;
    ready = false;
    locked = false;
    passkeyPending = false;
}

void resetState()
{
    forgetModule();
    opening = false;
    connecting = false;
    passkey = kNoPasskey;
    statusWord = 0;
    moduleValue = 0;
    connectionHandle = -1;
    bondHandle = kNoBond;
    pendingStatusCount = 0;
    disconnectSent = false;
    deviceCount = 0;
    nextIndex = 1;
    sightings = 0;
    filterCount = 0;
}

void portOutput(size_t firstLength, const uint8_t* first, size_t secondLength, const uint8_t* second)
{
    if (!portWriter)
        return;
    portWriter(first, firstLength);
    if (secondLength)
        portWriter(second, secondLength);
}

void bytesIn(const uint8_t* bytes, size_t count) { bgapiReceive(bytes, count); }

uint16_t resultOf(BgapiReader& r) { return r.u16(); }

// ---- BGAPI handlers of the link layer

void onGetConnections(const uint8_t* p, size_t n)
{
    BgapiReader r(p, n);
    pendingStatusCount = r.u8();
    // With no connection slot no status follows: the check is over.
    if (pendingStatusCount == 0 && opening)
        driverNotify(DRV_OPENING_COMPLETE, nullptr);
}

void onConnectionStatus(const uint8_t* p, size_t n)
{
    BgapiReader r(p, n);
    const uint8_t conn = r.u8();
    const uint8_t flags = r.u8();
    uint8_t address[6];
    r.address(address);
    r.u8(); // address type
    const uint16_t interval = r.u16();
    r.u16(); // time-out
    r.u16(); // latency
    const uint8_t bonding = r.u8();

    if (pendingStatusCount > 0) {
        // A connection left over from an earlier run is ended.
        if (interval != 0 && flags != 0)
            bgapiSend(BGAPI_CMD_CONNECTION_DISCONNECT, conn);
        if (--pendingStatusCount == 0)
            driverNotify(DRV_OPENING_COMPLETE, nullptr);
        return;
    }
    if (connectionHandle >= 0 && conn != connectionHandle)
        return;
    if (flags & kFlagCompleted) {
        connectionHandle = conn;
        bondHandle = bonding;
        disconnectSent = false;
        forgetModule();
        gattBegin(conn);
        driverNotify(DRV_LINK_CONNECTED, nullptr);
    }
    if ((flags & kFlagEncrypted) && connectionHandle == conn) {
        bondHandle = bonding;
        driverNotify(DRV_LINK_ENCRYPTED, nullptr);
    }
}

void onDisconnected(const uint8_t* p, size_t n)
{
    BgapiReader r(p, n);
    const uint8_t conn = r.u8();
    if (connectionHandle < 0 || conn != connectionHandle)
        return;
    driverNotify(DRV_LINK_DISCONNECTED, nullptr);
    connectionHandle = -1;
    bondHandle = kNoBond;
    disconnectSent = false;
    gattReset();
}

void onDisconnectResponse(const uint8_t* p, size_t n)
{
    BgapiReader r(p, n);
    r.u8();
    const uint16_t result = resultOf(r);
    if (result != 0)
        driverReportError(0, result);
}

void onScanStepResponse(const uint8_t* p, size_t n)
{
    BgapiReader r(p, n);
    const uint16_t result = resultOf(r);
    if (result != 0)
        driverReportError(4, result);
}

void onEndProcedureResponse(const uint8_t* p, size_t n)
{
    BgapiReader r(p, n);
    const uint16_t result = resultOf(r);
    // Nothing to end is no failure.
    if (result != 0 && result != 0x0181)
        driverReportError(5, result);
}

void onConnectDirectResponse(const uint8_t* p, size_t n)
{
    BgapiReader r(p, n);
    const uint16_t result = resultOf(r);
    if (result != 0) {
        connecting = false;
        driverReportError(3, result);
    }
}

bool filterMatches(const uint8_t* uuid, uint8_t length)
{
    for (int i = 0; i < filterCount; ++i)
        if (filters[i].length == length && std::memcmp(filters[i].uuid, uuid, 16) == 0)
            return true;
    return false;
}

ScanDevice* findByAddress(const uint8_t address[6])
{
    for (int i = 0; i < deviceCount; ++i)
        if (std::memcmp(devices[i].address, address, 6) == 0)
            return &devices[i];
    return nullptr;
}

// A record for a new advertiser. When the list is full the advertiser seen
// least recently among those never reported gives its place and its index
// (nobody can hold an index that was never reported).
ScanDevice* newDevice(const uint8_t address[6])
{
    ScanDevice* d = nullptr;
    uint16_t index = 0;
    if (deviceCount < BLED112_MAX_DEVICES) {
        d = &devices[deviceCount++];
        index = nextIndex++;
    } else {
        for (int i = 0; i < deviceCount; ++i)
            if (!devices[i].matched && (!d || devices[i].lastSeen < d->lastSeen))
                d = &devices[i];
        if (!d)
            return nullptr;
        index = d->index;
    }
    std::memset(d, 0, sizeof *d);
    d->index = index;
    std::memcpy(d->address, address, 6);
    return d;
}

void onScanResponse(const uint8_t* p, size_t n)
{
    BgapiReader r(p, n);
    const int8_t rssi = r.i8();
    r.u8(); // packet type
    uint8_t sender[6];
    r.address(sender);
    const uint8_t addressType = r.u8();
    r.u8(); // bond
    uint8_t length = 0;
    const uint8_t* data = r.array(&length);

    const AdvertSummary s = parseAdvertisement(data, length);
    ScanDevice* d = findByAddress(sender);
    if (!d)
        d = newDevice(sender);
    if (!d)
        return;
    d->rssi = rssi;
    d->addressType = addressType;
    d->lastSeen = ++sightings;
    if (s.presence & ADVERT_NAME)
        std::memcpy(d->name, s.name, sizeof d->name);
    if (s.presence & ADVERT_VALUE)
        d->value = s.value;
    if (!(s.presence & ADVERT_SERVICE_UUID))
        return;
    std::memcpy(d->uuid, s.uuid, sizeof d->uuid);
    d->uuidLength = s.uuidLength;
    if (!filterMatches(s.uuid, s.uuidLength))
        return;
    d->matched = true;
    DriverModuleFound found;
    found.index = static_cast<uint8_t>(d->index & 0xFF);
    std::memcpy(found.name, d->name, sizeof found.name);
    found.name[sizeof found.name - 1] = 0;
    found.value = d->value;
    driverNotify(DRV_MODULE_FOUND, &found);
}

void onPasskeyRequest(const uint8_t*, size_t) { driverNotify(DRV_PASSKEY_REQUESTED, nullptr); }

void onPasskeyEntryResponse(const uint8_t* p, size_t n)
{
    BgapiReader r(p, n);
    const uint16_t result = resultOf(r);
    if (result != 0)
        driverReportError(1, result);
}

void onBondingFail(const uint8_t* p, size_t n)
{
    BgapiReader r(p, n);
    const uint8_t handle = r.u8();
    const uint16_t result = r.u16();
    if (connectionHandle < 0 || handle != connectionHandle)
        return;
    if (result == 0x0206 && bondHandle != kNoBond) {
        // A stale bond: drop it and pair again.
        bgapiSend(BGAPI_CMD_SM_DELETE_BONDING, bondHandle);
    } else if (result == 0x0304) {
        driverNotify(DRV_PASSKEY_REJECTED, nullptr);
    } else {
        driverReportError(1, result);
    }
}

void onDeleteBondingResponse(const uint8_t* p, size_t n)
{
    BgapiReader r(p, n);
    const uint16_t result = resultOf(r);
    if (result != 0) {
        driverReportErrorText(1, result, "Bonding delete error.");
        return;
    }
    // The bond is gone: a second failure must not delete it again.
    bondHandle = kNoBond;
    if (connectionHandle >= 0)
        bgapiSend(BGAPI_CMD_SM_ENCRYPT_START, connectionHandle, 1);
}

void installHandlers()
{
    bgapiClearHandlers();
    bgapiSetHandler(BGAPI_RSP_SYSTEM_GET_CONNECTIONS, onGetConnections);
    bgapiSetHandler(BGAPI_EVT_CONNECTION_STATUS, onConnectionStatus);
    bgapiSetHandler(BGAPI_EVT_CONNECTION_DISCONNECTED, onDisconnected);
    bgapiSetHandler(BGAPI_RSP_CONNECTION_DISCONNECT, onDisconnectResponse);
    bgapiSetHandler(BGAPI_RSP_GAP_SET_SCAN_PARAMETERS, onScanStepResponse);
    bgapiSetHandler(BGAPI_RSP_GAP_DISCOVER, onScanStepResponse);
    bgapiSetHandler(BGAPI_RSP_GAP_END_PROCEDURE, onEndProcedureResponse);
    bgapiSetHandler(BGAPI_RSP_GAP_CONNECT_DIRECT, onConnectDirectResponse);
    bgapiSetHandler(BGAPI_EVT_GAP_SCAN_RESPONSE, onScanResponse);
    bgapiSetHandler(BGAPI_EVT_SM_PASSKEY_REQUEST, onPasskeyRequest);
    bgapiSetHandler(BGAPI_RSP_SM_PASSKEY_ENTRY, onPasskeyEntryResponse);
    bgapiSetHandler(BGAPI_EVT_SM_BONDING_FAIL, onBondingFail);
    bgapiSetHandler(BGAPI_RSP_SM_DELETE_BONDING, onDeleteBondingResponse);
    gattInstallHandlers();
}

// ---- the driver listener

void reportDriverError(uint16_t stage, int code, const char* text)
{
    driverReportErrorText(stage, static_cast<uint16_t>(code), text);
}

void driverListener(int kind, const void* payload)
{
    switch (kind) {
    case DRV_LINK_DISCONNECTED:
        forgetModule();
        connecting = false;
        userEvent(BLED112_DISCONNECTED);
        break;
    case DRV_LINK_ENCRYPTED:
        // Later status changes of an encrypted link (new parameters) must not
        // start the status read again.
        if (!ready) {
            const int rc = gattReadValue(statusChar);
            if (rc != BLED_OK)
                reportDriverError(11, rc, "Parameters reading failed.");
        }
        break;
    case DRV_LINK_CONNECTED: {
        gattAddWantedService(BLED112_SERVICE_UUID);
        const int rc = gattDiscoverServices();
        if (rc != BLED_OK)
            reportDriverError(3, rc, "Services discovery failed.");
        break;
    }
    case DRV_SCAN_STARTED:
        userEvent(BLED112_SCAN_STARTED);
        break;
    case DRV_SCAN_STOPPED:
        userEvent(BLED112_SCAN_STOPPED);
        break;
    case DRV_MODULE_FOUND:
        userEvent(BLED112_DEVICE_FOUND, payload);
        break;
    case DRV_PASSKEY_REQUESTED:
        passkeyPending = true;
        userEvent(BLED112_PASSKEY_REQUESTED);
        break;
    case DRV_PASSKEY_REJECTED:
        // Pairing is over and the link would never become ready: end it, so
        // that the user can connect and enter the passkey again.
        passkeyPending = false;
        userEvent(BLED112_INCORRECT_PASSKEY);
        linkDisconnect();
        break;
    case DRV_ERROR:
        userEvent(BLED112_ERROR, payload);
        break;
    case DRV_NOTIFICATION_ENABLED: {
        const auto* h = static_cast<const DriverHandle*>(payload);
        if (notifyChar && h && h->handle == notifyChar->configHandle && !ready) {
            ready = true;
            connecting = false;
            const Bled112Connected c{static_cast<uint8_t>(locked ? 1 : 0), statusWord, moduleValue};
            userEvent(BLED112_CONNECTED, &c);
        }
        break;
    }
    case DRV_DISCOVERY_COMPLETE: {
        const GattService* service = gattFindService(BLED112_SERVICE_UUID);
        notifyChar = gattFindCharacteristic(service, BLED112_NOTIFY_UUID);
        dataChar = gattFindCharacteristic(service, BLED112_DATA_UUID);
        commandChar = gattFindCharacteristic(service, BLED112_COMMAND_UUID);
        statusChar = gattFindCharacteristic(service, BLED112_STATUS_UUID);
        linkStartEncryption();
        break;
    }
    case DRV_VALUE_NOTIFIED: {
        const auto* v = static_cast<const DriverValue*>(payload);
        if (ready && v) {
            const Bled112Data d{v->data, v->length};
            userEvent(BLED112_DATA_RECEIVED, &d);
        }
        break;
    }
    case DRV_VALUE_READ: {
        const auto* v = static_cast<const DriverValue*>(payload);
        if (!v || !statusChar || v->handle != statusChar->valueHandle || v->length != 13 || ready)
            break;
        auto le32 = [&](int at) {
            return static_cast<uint32_t>(v->data[at]) | static_cast<uint32_t>(v->data[at + 1]) << 8
                | static_cast<uint32_t>(v->data[at + 2]) << 16 | static_cast<uint32_t>(v->data[at + 3]) << 24;
        };
        statusWord = le32(0);
        passkey = le32(4);
        locked = v->data[12] != 0;
        const int rc = gattEnableNotification(notifyChar);
        if (rc != BLED_OK)
            reportDriverError(14, rc, "Notification enabling failed.");
        break;
    }
    case DRV_OPENING_COMPLETE:
        opening = false;
        break;
    default:
        break;
    }
}

// Common checks of the module commands.
int commandCheck()
{
    if (!ready || !commandChar)
        return BLED_NOT_READY;
    if (locked)
        return BLED_LOCKED;
    return BLED_OK;
}

int sendModuleCommand(uint8_t command)
{
    const int rc = commandCheck();
    if (rc != BLED_OK)
        return rc;
    const uint8_t bytes[2] = {0xFF, command};
    return gattWriteCommand(commandChar, bytes, 2);
}

bool sixDigits(const char* digits)
{
    if (!digits)
        return false;
    for (int i = 0; i < 6; ++i)
        if (digits[i] < '0' || digits[i] > '9')
            return false;
    return true;
}

} // namespace

// ---- event bus

void driverAddListener(DriverListener listener)
{
    if (listener && listenerCount < kMaxListeners)
        listeners[listenerCount++] = listener;
}

void driverClearListeners() { listenerCount = 0; }

void driverNotify(int kind, const void* payload)
{
    // A listener may clear the list (a close from inside a callback).
    for (int i = 0; i < listenerCount; ++i)
        listeners[i](kind, payload);
}

void driverReportError(uint16_t stage, uint16_t code) { driverReportErrorText(stage, code, bledErrorText(code)); }

void driverReportErrorText(uint16_t stage, uint16_t code, const char* text)
{
    const DriverError e{stage, code, text};
    driverNotify(DRV_ERROR, &e);
}

// ---- link layer

void linkOpen(Bled112Writer writer, Bled112Input* input)
{
    portWriter = std::move(writer);
    if (input)
        *input = bytesIn;
    bgapiResetReceiver();
    installHandlers();
    bgapiSetOutput(portOutput);
    bgapiSend(BGAPI_CMD_GAP_END_PROCEDURE);
    bgapiSend(BGAPI_CMD_SM_SET_BONDABLE_MODE, 1);
    bgapiSend(BGAPI_CMD_SM_SET_PARAMETERS, 0, 7, 2); // no MITM, keyboard only
    bgapiSend(BGAPI_CMD_HARDWARE_SET_TXPOWER, 14);
    bgapiSend(BGAPI_CMD_SYSTEM_GET_CONNECTIONS);
}

void linkClose()
{
    scanStop();
    scanClearDevices();
    linkDisconnect();
    gattReset();
}

int linkConnect(int index)
{
    if (connectionHandle >= 0)
        return BLED_NOT_READY;
    const ScanDevice* d = scanFindDevice(index);
    if (!d)
        return BLED_INVALID;
    bgapiSend(BGAPI_CMD_GAP_CONNECT_DIRECT, d->address, d->addressType, 6, 39, 150, 0);
    return BLED_OK;
}

void linkStartEncryption()
{
    if (connectionHandle < 0)
        return;
    driverNotify(DRV_ENCRYPTION_REQUESTED, nullptr);
    bgapiSend(BGAPI_CMD_SM_ENCRYPT_START, connectionHandle, 1);
}

void linkEnterPasskey(const char* d)
{
    const uint32_t number = static_cast<uint32_t>((d[0] - '0') * 100000 + (d[1] - '0') * 10000
        + (d[2] - '0') * 1000 + (d[3] - '0') * 100 + (d[4] - '0') * 10 + (d[5] - '0'));
    bgapiSend(BGAPI_CMD_SM_PASSKEY_ENTRY, connectionHandle, number);
}

// Sends the disconnection of the held connection, once.
bool linkDisconnect()
{
    if (connectionHandle < 0 || disconnectSent)
        return false;
    disconnectSent = true;
    bgapiSend(BGAPI_CMD_CONNECTION_DISCONNECT, connectionHandle);
    return true;
}

void scanAddFilter(const UuidEntry& entry)
{
    for (int i = 0; i < filterCount; ++i)
        if (filters[i].length == entry.length && std::memcmp(filters[i].uuid, entry.uuid, 16) == 0)
            return;
    if (filterCount < kMaxFilters)
        filters[filterCount++] = entry;
}

void scanStart()
{
    // Each scan starts a fresh list, so an index names one module only.
    deviceCount = 0;
    nextIndex = 1;
    bgapiSend(BGAPI_CMD_GAP_SET_SCAN_PARAMETERS, 75, 50, 1);
    bgapiSend(BGAPI_CMD_GAP_DISCOVER, 1);
    driverNotify(DRV_SCAN_STARTED, nullptr);
}

void scanStop()
{
    bgapiSend(BGAPI_CMD_GAP_END_PROCEDURE);
    driverNotify(DRV_SCAN_STOPPED, nullptr);
}

const ScanDevice* scanFindDevice(int index)
{
    for (int i = 0; i < deviceCount; ++i)
        if (devices[i].index == index)
            return &devices[i];
    return nullptr;
}

void scanClearDevices()
{
    deviceCount = 0;
    filterCount = 0;
}

int scanDeviceCount() { return deviceCount; }
int scanFilterCount() { return filterCount; }
bool BLED112_isOpening() { return opening; }

bool BLED112_isDisconnecting() { return connectionHandle >= 0 && disconnectSent; }

// ---- user operations

void BLED112_setEventCallback(Bled112Callback callback) { userCallback = std::move(callback); }

void BLED112_open(Bled112Writer writer, Bled112Input* input)
{
    // A fresh start, whatever an earlier run left behind.
    resetState();
    gattReset();
    opening = true;
    driverClearListeners();
    driverAddListener(driverListener);
    linkOpen(std::move(writer), input);
}

int BLED112_close()
{
    if (opening)
        driverReportErrorText(0, 0, "Warning: BLED112_close() called while BLED112_open() still in processing.");
    driverClearListeners();
    const bool sent = connectionHandle >= 0 && !disconnectSent;
    linkClose();
    resetState();
    bgapiClearHandlers();
    bgapiSetOutput(nullptr);
    portWriter = nullptr;
    return sent ? BLED_OK : BLED_NOT_READY;
}

int BLED112_startScan()
{
    if (ready)
        return BLED_NOT_READY;
    scanAddFilter(BLED112_SERVICE_UUID);
    scanStart();
    return BLED_OK;
}

void BLED112_stopScan() { scanStop(); }

int BLED112_connect(int index)
{
    if (ready)
        return BLED_NOT_READY;
    const int rc = linkConnect(index);
    if (rc == BLED_OK) {
        connecting = true;
        const ScanDevice* d = scanFindDevice(index);
        moduleValue = d ? d->value : 0;
    }
    return rc;
}

int BLED112_disconnect()
{
    if (connecting)
        driverReportErrorText(0, 0, "Warning: BLED112_disconnect() called while BLED112_connect() still in processing.");
    if (!ready && connectionHandle < 0) {
        if (!connecting)
            return BLED_NOT_READY;
        // Not connected yet: cancel the connection attempt.
        connecting = false;
        bgapiSend(BGAPI_CMD_GAP_END_PROCEDURE);
        return BLED_OK;
    }
    // Before the module is ready a held connection is ended as well.
    linkDisconnect();
    forgetModule();
    connecting = false;
    return BLED_OK;
}

int BLED112_enterPasskey(const char* digits)
{
    if (!passkeyPending)
        return BLED_NOT_READY;
    if (connectionHandle < 0) {
        passkeyPending = false;
        return BLED_NOT_READY;
    }
    // A mistyped passkey leaves the request pending, so it can be entered again.
    if (!sixDigits(digits))
        return BLED_INVALID;
    passkeyPending = false;
    linkEnterPasskey(digits);
    return BLED_OK;
}

int BLED112_write(const uint8_t* data, int length)
{
    if (!ready || !dataChar)
        return BLED_NOT_READY;
    if (length < 0 || (length > 0 && !data))
        return BLED_INVALID;
    int pos = 0;
    while (length - pos >= BLED112_CHUNK) {
        const int rc = gattWriteCommand(dataChar, data + pos, BLED112_CHUNK);
        if (rc != BLED_OK)
            return rc;
        pos += BLED112_CHUNK;
    }
    if (pos < length)
        return gattWriteCommand(dataChar, data + pos, length - pos);
    return BLED_OK;
}

int BLED112_setName(const uint8_t* name, int length)
{
    const int rc = commandCheck();
    if (rc != BLED_OK)
        return rc;
    if (length < 1 || length > BLED112_MAX_NAME)
        return BLED_BAD_LENGTH;
    // A name starting with 0xFF would be taken for a command.
    if (!name || name[0] == 0xFF)
        return BLED_INVALID;
    return gattWriteCommand(commandChar, name, length);
}

int BLED112_clearName() { return sendModuleCommand('Q'); }

int BLED112_setPin(const char* digits)
{
    const int rc = commandCheck();
    if (rc != BLED_OK)
        return rc;
    if (!sixDigits(digits))
        return BLED_INVALID;
    uint8_t bytes[8] = {0xFF, 'R'};
    std::memcpy(bytes + 2, digits, 6);
    return gattWriteCommand(commandChar, bytes, 8);
}

int BLED112_clearPin()
{
    if (!ready || !commandChar)
        return BLED_NOT_READY;
    if (passkey == kNoPasskey)
        return BLED_INVALID;
    return sendModuleCommand('S');
}

int BLED112_lock() { return sendModuleCommand('T'); }
int BLED112_reset() { return sendModuleCommand('U'); }

int BLED112_getPasskey(char* digits)
{
    if (!ready)
        return BLED_NOT_READY;
    if (passkey == kNoPasskey)
        return BLED_INVALID;
    if (!digits)
        return BLED_OK;
    uint32_t value = passkey % 1000000u;
    for (int i = 5; i >= 0; --i) {
        digits[i] = static_cast<char>('0' + value % 10);
        value /= 10;
    }
    return BLED_OK;
}

int BLED112_getModuleState()
{
    if (!ready)
        return BLED_NOT_READY;
    return locked ? BLED_LOCKED : BLED_OK;
}

int BLED112_getStatusWord(uint32_t* out)
{
    if (!ready)
        return BLED_NOT_READY;
    if (out)
        *out = statusWord;
    return BLED_OK;
}

int BLED112_getDeviceValue(uint32_t* out)
{
    if (!ready)
        return BLED_NOT_READY;
    if (out)
        *out = moduleValue;
    return BLED_OK;
}
