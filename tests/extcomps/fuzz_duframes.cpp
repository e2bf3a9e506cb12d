// Display-unit bytes in any chunking -> frames -> CRC check -> packets. The
// byte before each chunk picks its length, so every split is explored.
#include "DisplayPacket.h"
#include "Proto.h"

#include <algorithm>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Proto proto(nullptr);
    QByteArray fed;
    QList<Packet> packets;
    QObject::connect(&proto, &Proto::packetParsed, &proto, [&] { packets << proto.takePacket(); });
    size_t pos = 0;
    while (pos < size) {
        size_t len = size_t(data[pos]) % 32 + 1;
        ++pos;
        len = std::min(len, size - pos);
        const QByteArray chunk(reinterpret_cast<const char*>(data + pos), int(len));
        fed.append(chunk);
        proto.receiveRawData(chunk);
        pos += len;
    }
    for (const Packet& p : packets) {
        // A delivered packet is a whole frame of the input whose CRC holds:
        // framing it again gives back exactly those bytes.
        if ((p.payload.size() + 1) % 4 != 0)
            __builtin_trap();
        const QByteArray frame = frameDisplayPacket(p);
        if (frame.isEmpty() || !fed.contains(frame))
            __builtin_trap();
    }
    if (proto.queuedPackets() != 0)
        __builtin_trap();
    return 0;
}
