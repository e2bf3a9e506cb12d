#pragma once

// The BGAPI message layer of the BLE dongle: the table of every message with
// its header and parameter types, a serialiser that hands commands to an
// output hook, and a receiver that cuts the byte stream into messages and
// calls each message's handler with its payload. It knows nothing of the
// driver; the driver installs the output hook and the handlers.

#include <cstddef>
#include <cstdint>
#include <type_traits>

// Parameter type codes, 4 bits each in BgapiMessage::params, first parameter
// in the lowest 4 bits; a 0 code ends the list.
enum BgapiType : uint8_t {
    BGAPI_END = 0,
    BGAPI_U8 = 2,
    BGAPI_I8 = 3,
    BGAPI_U16 = 4,
    BGAPI_I16 = 5,
    BGAPI_U32 = 6,
    BGAPI_I32 = 7,
    BGAPI_ARRAY = 8,   // one length byte, then the bytes
    BGAPI_STRING = 9,  // sent as a byte array
    BGAPI_ADDR = 10,   // Bluetooth address, 6 bytes as stored
    BGAPI_ARRAY16 = 11 // two length bytes, then the bytes
};

// Message classes.
enum BgapiClass : uint8_t {
    BGAPI_CLASS_SYSTEM = 0,
    BGAPI_CLASS_FLASH = 1,
    BGAPI_CLASS_ATTRIBUTES = 2,
    BGAPI_CLASS_CONNECTION = 3,
    BGAPI_CLASS_ATTCLIENT = 4,
    BGAPI_CLASS_SM = 5,
    BGAPI_CLASS_GAP = 6,
    BGAPI_CLASS_HARDWARE = 7,
    BGAPI_CLASS_TEST = 8,
    BGAPI_CLASS_DFU = 9,
    BGAPI_CLASS_COUNT = 10
};

// A handler gets the payload and its length. The receiver has checked that
// the payload holds the row's fixed part and that its array fits.
using BgapiHandler = void (*)(const uint8_t* payload, size_t length);

struct BgapiMessage {
    uint8_t header[4]; // as on the wire; the length counts the fixed part only
    uint32_t params;   // one BgapiType per 4 bits
    BgapiHandler handler;
};

// Table layout: 110 commands, 110 responses, 35 events, each in class and id
// order, then an all-zero row.
constexpr int BGAPI_COMMAND_COUNT = 110;
constexpr int BGAPI_EVENT_COUNT = 35;
constexpr int BGAPI_ROW_COUNT = 2 * BGAPI_COMMAND_COUNT + BGAPI_EVENT_COUNT; // 255

constexpr uint8_t bgapiCommandsInClass[BGAPI_CLASS_COUNT] = {18, 9, 6, 10, 12, 9, 13, 22, 7, 4};
constexpr uint8_t bgapiEventsInClass[BGAPI_CLASS_COUNT] = {7, 1, 3, 5, 7, 5, 2, 4, 0, 1};

constexpr int bgapiCommandRow(int cls, int id)
{
    int row = 0;
    for (int c = 0; c < cls; ++c)
        row += bgapiCommandsInClass[c];
    return row + id;
}
constexpr int bgapiResponseRow(int cls, int id) { return BGAPI_COMMAND_COUNT + bgapiCommandRow(cls, id); }
constexpr int bgapiEventRow(int cls, int id)
{
    int row = 2 * BGAPI_COMMAND_COUNT;
    for (int c = 0; c < cls; ++c)
        row += bgapiEventsInClass[c];
    return row + id;
}

// The rows the driver sends.
enum BgapiCommandRow : int {
    BGAPI_CMD_SYSTEM_GET_CONNECTIONS = bgapiCommandRow(0, 6),
    BGAPI_CMD_CONNECTION_DISCONNECT = bgapiCommandRow(3, 0),
    BGAPI_CMD_ATTCLIENT_READ_BY_GROUP_TYPE = bgapiCommandRow(4, 1),
    BGAPI_CMD_ATTCLIENT_FIND_INFORMATION = bgapiCommandRow(4, 3),
    BGAPI_CMD_ATTCLIENT_READ_BY_HANDLE = bgapiCommandRow(4, 4),
    BGAPI_CMD_ATTCLIENT_ATTRIBUTE_WRITE = bgapiCommandRow(4, 5),
    BGAPI_CMD_ATTCLIENT_WRITE_COMMAND = bgapiCommandRow(4, 6),
    BGAPI_CMD_SM_ENCRYPT_START = bgapiCommandRow(5, 0),
    BGAPI_CMD_SM_SET_BONDABLE_MODE = bgapiCommandRow(5, 1),
    BGAPI_CMD_SM_DELETE_BONDING = bgapiCommandRow(5, 2),
    BGAPI_CMD_SM_SET_PARAMETERS = bgapiCommandRow(5, 3),
    BGAPI_CMD_SM_PASSKEY_ENTRY = bgapiCommandRow(5, 4),
    BGAPI_CMD_GAP_DISCOVER = bgapiCommandRow(6, 2),
    BGAPI_CMD_GAP_CONNECT_DIRECT = bgapiCommandRow(6, 3),
    BGAPI_CMD_GAP_END_PROCEDURE = bgapiCommandRow(6, 4),
    BGAPI_CMD_GAP_SET_SCAN_PARAMETERS = bgapiCommandRow(6, 7),
    BGAPI_CMD_HARDWARE_SET_TXPOWER = bgapiCommandRow(7, 12),
};

// The responses and events the driver handles.
enum BgapiHandledRow : int {
    BGAPI_RSP_SYSTEM_GET_CONNECTIONS = bgapiResponseRow(0, 6),
    BGAPI_RSP_CONNECTION_DISCONNECT = bgapiResponseRow(3, 0),
    BGAPI_RSP_ATTCLIENT_READ_BY_GROUP_TYPE = bgapiResponseRow(4, 1),
    BGAPI_RSP_ATTCLIENT_FIND_INFORMATION = bgapiResponseRow(4, 3),
    BGAPI_RSP_ATTCLIENT_READ_BY_HANDLE = bgapiResponseRow(4, 4),
    BGAPI_RSP_ATTCLIENT_ATTRIBUTE_WRITE = bgapiResponseRow(4, 5),
    BGAPI_RSP_ATTCLIENT_WRITE_COMMAND = bgapiResponseRow(4, 6),
    BGAPI_RSP_SM_DELETE_BONDING = bgapiResponseRow(5, 2),
    BGAPI_RSP_SM_PASSKEY_ENTRY = bgapiResponseRow(5, 4),
    BGAPI_RSP_GAP_DISCOVER = bgapiResponseRow(6, 2),
    BGAPI_RSP_GAP_CONNECT_DIRECT = bgapiResponseRow(6, 3),
    BGAPI_RSP_GAP_END_PROCEDURE = bgapiResponseRow(6, 4),
    BGAPI_RSP_GAP_SET_SCAN_PARAMETERS = bgapiResponseRow(6, 7),
    BGAPI_EVT_CONNECTION_STATUS = bgapiEventRow(3, 0),
    BGAPI_EVT_CONNECTION_DISCONNECTED = bgapiEventRow(3, 4),
    BGAPI_EVT_ATTCLIENT_PROCEDURE_COMPLETED = bgapiEventRow(4, 1),
    BGAPI_EVT_ATTCLIENT_GROUP_FOUND = bgapiEventRow(4, 2),
    BGAPI_EVT_ATTCLIENT_FIND_INFORMATION_FOUND = bgapiEventRow(4, 4),
    BGAPI_EVT_ATTCLIENT_ATTRIBUTE_VALUE = bgapiEventRow(4, 5),
    BGAPI_EVT_SM_BONDING_FAIL = bgapiEventRow(5, 1),
    BGAPI_EVT_SM_PASSKEY_REQUEST = bgapiEventRow(5, 3),
    BGAPI_EVT_GAP_SCAN_RESPONSE = bgapiEventRow(6, 0),
};

// One argument of bgapiSend: an integer for a numeric parameter, a pointer
// for an address, (length, pointer) for an array.
struct BgapiArg {
    bool isPointer = false;
    long long value = 0;
    const void* pointer = nullptr;

    BgapiArg() = default;
    template <class T, std::enable_if_t<std::is_integral<T>::value || std::is_enum<T>::value, int> = 0>
    BgapiArg(T v) : value(static_cast<long long>(v)) {}
    template <class T>
    BgapiArg(const T* p) : isPointer(true), pointer(p) {}
    BgapiArg(std::nullptr_t) : isPointer(true) {}
};

// Output hook: writes the header with the fixed part, then the variable part.
using BgapiOutput = void (*)(size_t firstLength, const uint8_t* first, size_t secondLength, const uint8_t* second);

void bgapiSetOutput(BgapiOutput output);

// Sends the command of table row `row`. Returns false (nothing sent) when the
// row is not a command, the arguments do not fit its parameter types or an
// array is too long for its length field.
bool bgapiSendArgs(int row, const BgapiArg* args, size_t count);
template <class... A>
bool bgapiSend(int row, A... args)
{
    const BgapiArg list[] = {BgapiArg(args)..., BgapiArg()};
    return bgapiSendArgs(row, list, sizeof...(A));
}

// Takes any run of received bytes, cut anywhere.
void bgapiReceive(const uint8_t* bytes, size_t count);
// Drops a partly received message (a fresh start on a newly opened port).
void bgapiResetReceiver();

// The row of an incoming response or event, or null.
const BgapiMessage* bgapiFindMessage(const uint8_t header[4]);
const BgapiMessage* bgapiMessageAt(int index);
// Linear searches over type bits, class and id, from the start or the end.
const BgapiMessage* bgapiFindByHeader(const uint8_t header[4]);
const BgapiMessage* bgapiFindByHeaderReverse(const uint8_t header[4]);
// Payload length of the row's fixed part.
size_t bgapiFixedLength(const BgapiMessage* row);

void bgapiDefaultHandler(const uint8_t* payload, size_t length);
// Installs the handler of a response or event row (null: the default).
void bgapiSetHandler(int row, BgapiHandler handler);
// Puts every handler back to the default.
void bgapiClearHandlers();

// Reads a payload in its declared order, little-endian. Reads past the end
// give zeros and an empty array, never memory outside the payload.
class BgapiReader
{
public:
    BgapiReader(const uint8_t* payload, size_t length) : p_(payload), n_(length) {}
    uint8_t u8();
    int8_t i8() { return static_cast<int8_t>(u8()); }
    uint16_t u16();
    uint32_t u32();
    // Copies the 6 address bytes as stored.
    void address(uint8_t out[6]);
    // A byte array: its bytes, and its length in `length`.
    const uint8_t* array(uint8_t* length);

private:
    const uint8_t* p_;
    size_t n_;
    size_t pos_ = 0;
};
