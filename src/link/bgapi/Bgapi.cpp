#include "Bgapi.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr uint32_t U8 = BGAPI_U8, I8 = BGAPI_I8, U16 = BGAPI_U16, I16 = BGAPI_I16, U32 = BGAPI_U32,
                   ARR = BGAPI_ARRAY, ADDR = BGAPI_ADDR;

// Packs parameter type codes, the first into the lowest 4 bits.
constexpr uint32_t P() { return 0; }
template <class... T>
constexpr uint32_t P(uint32_t first, T... rest)
{
    return first | (P(rest...) << 4);
}

// Parameter types per class, in id order: commands, responses, events.
const uint32_t systemCommands[] = {
    P(U8), P(), P(), P(U16, U8), P(U16), P(), P(), P(U32, U8), P(), P(U8, ARR), P(ADDR, U8), P(ADDR, U8), P(),
    P(U8, U8), P(U8, U8, U8), P(ARR), P(ARR), P(ARR)};
const uint32_t systemResponses[] = {
    P(), P(), P(ADDR), P(U16), P(U16, U8), P(U8, U8, U8, U8, U8), P(U8), P(U32, ARR),
    P(U16, U16, U16, U16, U16, U8, U8), P(U16), P(U16), P(U16), P(), P(U16, ARR), P(U16), P(), P(ARR), P(ARR)};
const uint32_t systemEvents[] = {
    P(U16, U16, U16, U16, U16, U8, U8), P(ARR), P(U8, U8), P(U8, U8), P(U16, U16), P(), P(U16)};

const uint32_t flashCommands[] = {P(), P(), P(), P(U16, ARR), P(U16), P(U16), P(U8), P(U32, ARR), P(U32, U8)};
const uint32_t flashResponses[] = {P(), P(), P(), P(U16), P(U16, ARR), P(), P(U16), P(U16), P(ARR)};
const uint32_t flashEvents[] = {P(U16, ARR)};

const uint32_t attributesCommands[] = {
    P(U16, U8, ARR), P(U16, U16), P(U16), P(U8, U8, ARR), P(U8, U8), P(U8, U16, ARR)};
const uint32_t attributesResponses[] = {
    P(U16), P(U16, U16, U16, ARR), P(U16, U16, ARR), P(), P(), P(U16)};
const uint32_t attributesEvents[] = {P(U8, U8, U16, U16, ARR), P(U8, U16, U16, U8), P(U16, U8)};

const uint32_t connectionCommands[] = {
    P(U8), P(U8), P(U8, U16, U16, U16, U16), P(U8), P(U8), P(U8, ARR), P(U8), P(U8), P(U8, ARR), P(U8)};
const uint32_t connectionResponses[] = {
    P(U8, U16), P(U8, I8), P(U8, U16), P(U8, U16), P(U8, ARR), P(U8, U16), P(U8, U16), P(U8), P(U8), P(U16)};
const uint32_t connectionEvents[] = {
    P(U8, U8, ADDR, U8, U16, U16, U16, U8), P(U8, U8, U16, U16), P(U8, ARR), P(U8, ARR), P(U8, U16)};

const uint32_t attclientCommands[] = {
    P(U8, U16, U16, U16, ARR), P(U8, U16, U16, ARR), P(U8, U16, U16, ARR), P(U8, U16, U16), P(U8, U16),
    P(U8, U16, ARR), P(U8, U16, ARR), P(U8), P(U8, U16), P(U8, U16, U16, ARR), P(U8, U8), P(U8, ARR)};
const uint32_t attclientResponses[] = {
    P(U8, U16), P(U8, U16), P(U8, U16), P(U8, U16), P(U8, U16), P(U8, U16),
    P(U8, U16), P(U16), P(U8, U16), P(U8, U16), P(U8, U16), P(U8, U16)};
const uint32_t attclientEvents[] = {
    P(U8, U16), P(U8, U16, U16), P(U8, U16, U16, ARR), P(U8, U16, U16, U8, ARR), P(U8, U16, ARR),
    P(U8, U16, U8, ARR), P(U8, ARR)};

const uint32_t smCommands[] = {
    P(U8, U8), P(U8), P(U8), P(U8, U8, U8), P(U8, U32), P(), P(ARR), P(), P(U8, U8)};
const uint32_t smResponses[] = {P(U8, U16), P(), P(U16), P(), P(U16), P(U8), P(), P(U16, U8), P(U16)};
const uint32_t smEvents[] = {P(U8, U8, ARR), P(U8, U16), P(U8, U32), P(U8), P(U8, U8, U8, U8)};

const uint32_t gapCommands[] = {
    P(U8, U8), P(U8, U8), P(U8), P(ADDR, U8, U16, U16, U16, U16), P(), P(U16, U16, U16, U16), P(U8, U8, U8),
    P(U16, U16, U8), P(U16, U16, U8), P(U8, ARR), P(ADDR, U8), P(U16, U16), P(ADDR)};
const uint32_t gapResponses[] = {
    P(), P(U16), P(U16), P(U16, U8), P(U16), P(U16, U8), P(U16), P(U16), P(U16), P(U16), P(U16), P(U16), P(U16)};
const uint32_t gapEvents[] = {P(I8, U8, ADDR, U8, U8, ARR), P(U8, U8)};

const uint32_t hardwareCommands[] = {
    P(U8, U8, U8), P(U32, U8, U8), P(U8, U8, U8), P(U8, U8), P(U8, U8), P(U8, U8, U8), P(U8, U8, U8), P(U8, U8),
    P(U8, U8, U8, U8, U8, U8), P(U8, ARR), P(U8, U8, U8), P(U8, U8, ARR), P(U8), P(U8, U8, U8, U16), P(U8, U8),
    P(U8, U8), P(U8), P(), P(U8), P(U8), P(U8), P(U8)};
const uint32_t hardwareResponses[] = {
    P(U16), P(U16), P(U16), P(U16), P(U16), P(U16), P(U16), P(U16, U8, U8), P(U16), P(U16, U8, ARR), P(U16, ARR),
    P(U8), P(), P(U16), P(U16), P(U16), P(), P(U16, U8), P(U16), P(), P(U16), P(U16)};
const uint32_t hardwareEvents[] = {P(U32, U8, U8, U8), P(U8), P(U8, I16), P(U32, U8)};

const uint32_t testCommands[] = {P(U8, U8, U8), P(U8), P(), P(), P(), P(ARR), P(U8)};
const uint32_t testResponses[] = {P(), P(), P(U16), P(), P(ARR), P(ARR), P()};

const uint32_t dfuCommands[] = {P(U8), P(U32), P(ARR), P()};
const uint32_t dfuResponses[] = {P(), P(U16), P(U16), P(U16)};
const uint32_t dfuEvents[] = {P(U32)};

struct ClassTypes {
    const uint32_t* commands;
    const uint32_t* responses;
    const uint32_t* events;
};

const ClassTypes classTypes[BGAPI_CLASS_COUNT] = {
    {systemCommands, systemResponses, systemEvents},
    {flashCommands, flashResponses, flashEvents},
    {attributesCommands, attributesResponses, attributesEvents},
    {connectionCommands, connectionResponses, connectionEvents},
    {attclientCommands, attclientResponses, attclientEvents},
    {smCommands, smResponses, smEvents},
    {gapCommands, gapResponses, gapEvents},
    {hardwareCommands, hardwareResponses, hardwareEvents},
    {testCommands, testResponses, nullptr},
    {dfuCommands, dfuResponses, dfuEvents},
};

static_assert(sizeof systemCommands / 4 == 18 && sizeof systemResponses / 4 == 18 && sizeof systemEvents / 4 == 7, "");
static_assert(sizeof flashCommands / 4 == 9 && sizeof flashResponses / 4 == 9, "");
static_assert(sizeof attributesCommands / 4 == 6 && sizeof attributesResponses / 4 == 6 && sizeof attributesEvents / 4 == 3, "");
static_assert(sizeof connectionCommands / 4 == 10 && sizeof connectionResponses / 4 == 10 && sizeof connectionEvents / 4 == 5, "");
static_assert(sizeof attclientCommands / 4 == 12 && sizeof attclientResponses / 4 == 12 && sizeof attclientEvents / 4 == 7, "");
static_assert(sizeof smCommands / 4 == 9 && sizeof smResponses / 4 == 9 && sizeof smEvents / 4 == 5, "");
static_assert(sizeof gapCommands / 4 == 13 && sizeof gapResponses / 4 == 13 && sizeof gapEvents / 4 == 2, "");
static_assert(sizeof hardwareCommands / 4 == 22 && sizeof hardwareResponses / 4 == 22 && sizeof hardwareEvents / 4 == 4, "");
static_assert(sizeof testCommands / 4 == 7 && sizeof testResponses / 4 == 7, "");
static_assert(sizeof dfuCommands / 4 == 4 && sizeof dfuResponses / 4 == 4 && sizeof dfuEvents / 4 == 1, "");

size_t typeWidth(uint32_t type)
{
    switch (type) {
    case BGAPI_U8: case BGAPI_I8: case BGAPI_ARRAY: case BGAPI_STRING: return 1;
    case BGAPI_U16: case BGAPI_I16: case BGAPI_ARRAY16: return 2;
    case BGAPI_U32: case BGAPI_I32: return 4;
    case BGAPI_ADDR: return 6;
    default: return 0;
    }
}

bool isArray(uint32_t type) { return type == BGAPI_ARRAY || type == BGAPI_STRING || type == BGAPI_ARRAY16; }

// Types of a row, lowest nibble first; at most 8, ended early by a 0 code.
template <class F>
void forEachType(uint32_t params, F f)
{
    for (int i = 0; i < 8; ++i) {
        const uint32_t type = (params >> (4 * i)) & 0xF;
        if (type == BGAPI_END)
            return;
        f(type);
    }
}

size_t fixedLength(uint32_t params)
{
    size_t n = 0;
    forEachType(params, [&](uint32_t t) { n += typeWidth(t); });
    return n;
}

BgapiMessage table[BGAPI_ROW_COUNT + 1];
// Per class: first row and count of its responses and of its events.
int responseStart[BGAPI_CLASS_COUNT];
int eventStart[BGAPI_CLASS_COUNT];

void setRow(int row, bool event, int cls, int id, uint32_t params)
{
    const size_t len = fixedLength(params);
    BgapiMessage& m = table[row];
    m.header[0] = static_cast<uint8_t>((event ? 0x80 : 0x00) | ((len >> 8) & 0x07));
    m.header[1] = static_cast<uint8_t>(len & 0xFF);
    m.header[2] = static_cast<uint8_t>(cls);
    m.header[3] = static_cast<uint8_t>(id);
    m.params = params;
    m.handler = bgapiDefaultHandler;
}

bool buildTable()
{
    for (int cls = 0; cls < BGAPI_CLASS_COUNT; ++cls) {
        responseStart[cls] = bgapiResponseRow(cls, 0);
        eventStart[cls] = bgapiEventRow(cls, 0);
        for (int id = 0; id < bgapiCommandsInClass[cls]; ++id) {
            setRow(bgapiCommandRow(cls, id), false, cls, id, classTypes[cls].commands[id]);
            setRow(bgapiResponseRow(cls, id), false, cls, id, classTypes[cls].responses[id]);
        }
        for (int id = 0; id < bgapiEventsInClass[cls]; ++id)
            setRow(bgapiEventRow(cls, id), true, cls, id, classTypes[cls].events[id]);
    }
    table[BGAPI_ROW_COUNT] = BgapiMessage{{0, 0, 0, 0}, 0, nullptr};
    return true;
}

void ensureTable()
{
    static const bool built = buildTable();
    (void)built;
}

BgapiOutput output = nullptr;

// Receive state: the header and the payload (its length is header byte 1).
uint8_t rxHeader[4];
size_t rxHeaderFill = 0;
uint8_t rxPayload[256];
size_t rxPayloadFill = 0;

// True when the payload holds the row's fixed part and its arrays fit.
bool payloadFits(const BgapiMessage* row, const uint8_t* payload, size_t length)
{
    size_t pos = 0;
    bool ok = true;
    forEachType(row->params, [&](uint32_t t) {
        if (!ok)
            return;
        const size_t w = typeWidth(t);
        if (pos + w > length) {
            ok = false;
            return;
        }
        size_t extra = 0;
        if (t == BGAPI_ARRAY || t == BGAPI_STRING)
            extra = payload[pos];
        else if (t == BGAPI_ARRAY16)
            extra = payload[pos] | (payload[pos + 1] << 8);
        pos += w + extra;
        if (pos > length)
            ok = false;
    });
    return ok;
}

void dispatch()
{
    const BgapiMessage* row = bgapiFindMessage(rxHeader);
    if (!row) {
        std::printf("ERROR: Message not found:%d:%d\n", rxHeader[2], rxHeader[3]);
        std::fflush(stdout);
        return;
    }
    // A payload that does not hold the declared parameters would make the
    // handler read stale or foreign bytes: drop it.
    if (!payloadFits(row, rxPayload, rxPayloadFill)) {
        std::printf("ERROR: Message too short:%d:%d\n", rxHeader[2], rxHeader[3]);
        std::fflush(stdout);
        return;
    }
    row->handler(rxPayload, rxPayloadFill);
}

} // namespace

void bgapiSetOutput(BgapiOutput out) { output = out; }

bool bgapiSendArgs(int row, const BgapiArg* args, size_t count)
{
    ensureTable();
    if (row < 0 || row >= BGAPI_COMMAND_COUNT)
        return false;
    const BgapiMessage& m = table[row];
    uint8_t buffer[4 + 64];
    if (4 + fixedLength(m.params) > sizeof buffer)
        return false;
    std::memcpy(buffer, m.header, 4);
    size_t fill = 4;
    size_t argIndex = 0;
    const uint8_t* variable = nullptr;
    size_t variableLength = 0;
    bool ok = true;

    auto nextArg = [&](bool pointer) -> const BgapiArg* {
        if (argIndex >= count || args[argIndex].isPointer != pointer) {
            ok = false;
            return nullptr;
        }
        return &args[argIndex++];
    };

    forEachType(m.params, [&](uint32_t t) {
        if (!ok)
            return;
        if (t == BGAPI_ADDR) {
            const BgapiArg* a = nextArg(true);
            if (!a || !a->pointer) {
                ok = false;
                return;
            }
            std::memcpy(buffer + fill, a->pointer, 6);
            fill += 6;
        } else if (isArray(t)) {
            const BgapiArg* len = nextArg(false);
            const BgapiArg* data = len ? nextArg(true) : nullptr;
            if (!data || variable || len->value < 0 || (len->value > 0 && !data->pointer)) {
                ok = false;
                return;
            }
            const size_t maxLen = t == BGAPI_ARRAY16 ? 0x7FF : 0xFF;
            const size_t n = static_cast<size_t>(len->value);
            const size_t payloadLength = ((m.header[0] & 0x07u) << 8 | m.header[1]) + n;
            if (n > maxLen || payloadLength > 0x7FF) {
                ok = false;
                return;
            }
            buffer[fill++] = static_cast<uint8_t>(n & 0xFF);
            if (t == BGAPI_ARRAY16)
                buffer[fill++] = static_cast<uint8_t>(n >> 8);
            buffer[0] = static_cast<uint8_t>((buffer[0] & 0xF8) | (payloadLength >> 8));
            buffer[1] = static_cast<uint8_t>(payloadLength & 0xFF);
            variable = static_cast<const uint8_t*>(data->pointer);
            variableLength = n;
        } else {
            const BgapiArg* a = nextArg(false);
            if (!a)
                return;
            const unsigned long long v = static_cast<unsigned long long>(a->value);
            for (size_t i = 0; i < typeWidth(t); ++i)
                buffer[fill++] = static_cast<uint8_t>(v >> (8 * i));
        }
    });
    if (!ok || argIndex != count)
        return false;
    if (output)
        output(fill, buffer, variableLength, variableLength ? variable : nullptr);
    return true;
}

void bgapiReceive(const uint8_t* bytes, size_t count)
{
    ensureTable();
    if (!bytes)
        return;
    size_t pos = 0;
    while (pos < count) {
        while (rxHeaderFill < 4 && pos < count)
            rxHeader[rxHeaderFill++] = bytes[pos++];
        if (rxHeaderFill < 4)
            return;
        // Only the low length byte: the dongle's messages are all shorter.
        const size_t want = rxHeader[1];
        while (rxPayloadFill < want && pos < count)
            rxPayload[rxPayloadFill++] = bytes[pos++];
        if (rxPayloadFill < want)
            return;
        dispatch();
        rxHeaderFill = 0;
        rxPayloadFill = 0;
    }
}

void bgapiResetReceiver()
{
    rxHeaderFill = 0;
    rxPayloadFill = 0;
}

const BgapiMessage* bgapiFindMessage(const uint8_t header[4])
{
    ensureTable();
    const int cls = header[2];
    const int id = header[3];
    if (cls >= BGAPI_CLASS_COUNT)
        return nullptr;
    if (header[0] & 0x80) {
        if (id >= bgapiEventsInClass[cls])
            return nullptr;
        return &table[eventStart[cls] + id];
    }
    if (id >= bgapiCommandsInClass[cls])
        return nullptr;
    return &table[responseStart[cls] + id];
}

const BgapiMessage* bgapiMessageAt(int index)
{
    ensureTable();
    if (index < 0 || index > BGAPI_ROW_COUNT)
        return nullptr;
    return &table[index];
}

namespace {
bool sameHeader(const BgapiMessage& m, const uint8_t header[4])
{
    return (m.header[0] & 0xF8) == (header[0] & 0xF8) && m.header[2] == header[2] && m.header[3] == header[3];
}
} // namespace

const BgapiMessage* bgapiFindByHeader(const uint8_t header[4])
{
    ensureTable();
    for (int i = 0; i < BGAPI_ROW_COUNT; ++i)
        if (sameHeader(table[i], header))
            return &table[i];
    return nullptr;
}

const BgapiMessage* bgapiFindByHeaderReverse(const uint8_t header[4])
{
    ensureTable();
    for (int i = BGAPI_ROW_COUNT - 1; i >= 0; --i)
        if (sameHeader(table[i], header))
            return &table[i];
    return nullptr;
}

size_t bgapiFixedLength(const BgapiMessage* row) { return row ? fixedLength(row->params) : 0; }

void bgapiDefaultHandler(const uint8_t*, size_t) {}

void bgapiSetHandler(int row, BgapiHandler handler)
{
    ensureTable();
    if (row < BGAPI_COMMAND_COUNT || row >= BGAPI_ROW_COUNT)
        return;
    table[row].handler = handler ? handler : bgapiDefaultHandler;
}

void bgapiClearHandlers()
{
    ensureTable();
    for (int i = 0; i < BGAPI_ROW_COUNT; ++i)
        table[i].handler = bgapiDefaultHandler;
}

uint8_t BgapiReader::u8()
{
    if (pos_ + 1 > n_) {
        pos_ = n_;
        return 0;
    }
    return p_[pos_++];
}

uint16_t BgapiReader::u16()
{
    const uint16_t lo = u8();
    return static_cast<uint16_t>(lo | (u8() << 8));
}

uint32_t BgapiReader::u32()
{
    const uint32_t lo = u16();
    return lo | (static_cast<uint32_t>(u16()) << 16);
}

void BgapiReader::address(uint8_t out[6])
{
    for (int i = 0; i < 6; ++i)
        out[i] = u8();
}

const uint8_t* BgapiReader::array(uint8_t* length)
{
    uint8_t n = u8();
    if (pos_ + n > n_)
        n = static_cast<uint8_t>(n_ - pos_);
    const uint8_t* start = p_ + pos_;
    pos_ += n;
    if (length)
        *length = n;
    return start;
}
