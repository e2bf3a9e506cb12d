// Feeds arbitrary dongle bytes through the BGAPI receiver into the driver's
// handlers (from a fresh open, or with a module already connected), and the
// same bytes to the advertisement parser.

#include "Bled112.h"
#include "Gatt.h"

#include <cstdio>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

struct Msg {
    Bytes payload;
    Msg& u8(int v) { payload.push_back(uint8_t(v)); return *this; }
    Msg& u16(int v) { u8(v); return u8(v >> 8); }
    Msg& raw(const Bytes& b) { payload.insert(payload.end(), b.begin(), b.end()); return *this; }
    Msg& arr(const Bytes& b) { u8(int(b.size())); return raw(b); }
    Bytes wire(bool event, int cls, int id) const
    {
        Bytes m{uint8_t(event ? 0x80 : 0), uint8_t(payload.size()), uint8_t(cls), uint8_t(id)};
        m.insert(m.end(), payload.begin(), payload.end());
        return m;
    }
};

Bytes reversed(const UuidEntry& e) { return Bytes(std::rbegin(e.uuid), std::rend(e.uuid)); }

Bled112Input input = nullptr;

void feed(const Bytes& b) { input(b.data(), b.size()); }

void bringUp()
{
    const Bytes address{1, 2, 3, 4, 5, 6};
    feed(Msg().u8(1).wire(false, 0, 6));
    feed(Msg().u8(0).u8(0).raw(address).u8(0).u16(0).u16(0).u16(0).u8(255).wire(true, 3, 0));
    BLED112_startScan();
    Bytes advert{17, 7};
    const Bytes service = reversed(BLED112_SERVICE_UUID);
    advert.insert(advert.end(), service.begin(), service.end());
    feed(Msg().u8(0xC0).u8(0).raw(address).u8(0).u8(255).arr(advert).wire(true, 6, 0));
    BLED112_connect(1);
    feed(Msg().u8(0).u8(5).raw(address).u8(0).u16(40).u16(100).u16(0).u8(255).wire(true, 3, 0));
    feed(Msg().u8(0).u16(0x10).u16(0x19).arr(service).wire(true, 4, 2));
    feed(Msg().u8(0).u16(0).u16(0xFFFF).wire(true, 4, 1));
    const UuidEntry* chars[] = {&BLED112_NOTIFY_UUID, &BLED112_DATA_UUID, &BLED112_COMMAND_UUID, &BLED112_STATUS_UUID};
    int handle = 0x11;
    for (const UuidEntry* c : chars) {
        feed(Msg().u8(0).u16(handle++).arr({0x03, 0x28}).wire(true, 4, 4));
        feed(Msg().u8(0).u16(handle++).arr(reversed(*c)).wire(true, 4, 4));
        if (c == &BLED112_NOTIFY_UUID)
            feed(Msg().u8(0).u16(handle++).arr({0x02, 0x29}).wire(true, 4, 4));
    }
    feed(Msg().u8(0).u16(0).u16(handle - 1).wire(true, 4, 1));
    feed(Msg().u8(0).wire(true, 5, 3));
    BLED112_enterPasskey("123456");
    feed(Msg().u8(0).u8(3).raw(address).u8(0).u16(40).u16(100).u16(0).u8(0).wire(true, 3, 0));
    feed(Msg().u8(0).u16(0x19).u8(0).arr(Bytes(13, 0)).wire(true, 4, 5));
    feed(Msg().u8(0).u16(0).u16(0x13).wire(true, 4, 1));
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // The receiver's diagnostics would flood the output.
    if (!std::freopen("/dev/null", "w", stdout))
        return 0;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    BLED112_setEventCallback([](int, const void*) {});
    BLED112_open([](const uint8_t*, size_t) {}, &input);
    if (size > 0 && (data[0] & 1))
        bringUp();
    input(data, size);
    BLED112_write(data, int(size));
    BLED112_setName(data, int(size));
    char digits[6];
    BLED112_getPasskey(digits);
    BLED112_close();
    parseAdvertisement(data, size);
    return 0;
}
