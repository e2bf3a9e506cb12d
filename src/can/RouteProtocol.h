#pragma once

#include "CanTunnel.h"

#include <QByteArray>

#include <array>
#include <cstdint>

// The route protocol: requests on 0x1FFFFEE5 that address a device by type id
// and serial; replies on 0x1FFFFEE6 or 0x1FFFE5E6. Byte 0 is the command,
// byte 1 its complement, arguments little-endian.
namespace route {

constexpr quint32 kRequestId = 0x1FFFFEE5;
constexpr quint32 kReplyId = 0x1FFFFEE6;
constexpr quint32 kReplyIdAlt = 0x1FFFE5E6;

enum Command : quint8 {
    LegacyDiscover = 0x00,
    EnterConfig = 0x01,
    LeaveConfig = 0x02,
    ReadBaseId = 0x03,
    SetBaseId = 0x04,
    SetSecondaryId = 0x05,
    SetCanSpeed = 0x06,
    ReadVersion = 0x09,
    SetParameter = 0x0B,
    DiscoverStart = 0x10,
    Discover = 0x11,
    DiscoverAck = 0x12,
};

// The value a device in its configuration mode gives for its version.
constexpr quint32 kConfigModeMarker = 0xFF00FF00;

inline quint8 complement(quint8 code) { return quint8(0xFF - code); }
inline bool isReplyId(quint32 id) { return id == kReplyId || id == kReplyIdAlt; }
inline bool isRouteReply(const CanTunnelFrame& f)
{
    return isReplyId(f.id) && f.data[1] == complement(f.data[0]);
}

inline quint16 le16(const quint8* p) { return quint16(p[0] | (p[1] << 8)); }
inline quint32 le32(const quint8* p)
{
    return quint32(p[0]) | (quint32(p[1]) << 8) | (quint32(p[2]) << 16) | (quint32(p[3]) << 24);
}
inline void putLe16(QByteArray& b, quint16 v)
{
    b.append(char(v & 0xFF));
    b.append(char(v >> 8));
}
inline void putLe32(QByteArray& b, quint32 v)
{
    for (int i = 0; i < 4; ++i)
        b.append(char((v >> (8 * i)) & 0xFF));
}

// The identifier argument of commands 0x04 and 0x05: bit 31 marks 29 bits.
inline quint32 idArgument(quint32 id, bool extended)
{
    return extended ? (id | 0x80000000u) : (id & 0x7FFu);
}

// code, complement, type id, serial (8 bytes).
QByteArray addressed(quint8 code, quint16 typeId, quint32 serial);
// code, complement, 32-bit identifier argument (6 bytes).
QByteArray withId(quint8 code, quint32 id, bool extended);

} // namespace route

// What the last reply of one route command said.
struct RouteReply
{
    bool received = false;
    quint8 status = 0;    // byte 2
    quint8 byte3 = 0;     // byte 3
    quint32 value = 0;    // 0x03: bytes 4-7; 0x09: bytes 2-5
    quint16 typeId = 0;   // 0x00: bytes 2-3
    quint32 serial = 0;   // 0x00: bytes 4-7
};

// A request to a group module on its own identifiers: requests on R, replies
// on R + 1, errors on R + 2.
struct ModuleQuery
{
    quint32 requestId = 0;
    quint32 replyId = 0;
    quint32 errorId = 0;
    bool extended = false;
    quint8 sequence = 0;
    quint8 awaited = 0;   // 1 cell count, 15 gen2 operation
    bool active = false;
    bool error = false;
    bool replied = false;
    quint8 cellCount = 0;               // awaited 1: byte 1
    std::array<quint8, 4> gen2Reply{};  // awaited 15: bytes 1-4

    void setUp(quint32 base, quint8 seq, bool ext, quint8 command)
    {
        requestId = cantunnel::maskId(base, ext);
        replyId = cantunnel::maskId(requestId + 1, ext);
        errorId = cantunnel::maskId(requestId + 2, ext);
        extended = ext;
        sequence = seq;
        awaited = command;
        active = true;
        error = false;
        replied = false;
    }
};
