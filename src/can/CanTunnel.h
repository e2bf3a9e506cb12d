#pragma once

#include <QByteArray>
#include <QString>

#include <array>
#include <cstdint>

// One CAN frame as a "CN1" sentence carries it through the control unit.
struct CanTunnelFrame
{
    quint32 id = 0;
    bool extended = false;
    quint8 length = 0;             // as the sentence says (may exceed 8)
    std::array<quint8, 8> data{};  // bytes beyond the length are 0
};

namespace cantunnel {

constexpr quint32 kExtendedMask = 0x1FFFFFFF;
constexpr quint32 kStandardMask = 0x7FF;

inline quint32 maskId(quint32 id, bool extended)
{
    return extended ? (id & kExtendedMask) : (id & kStandardMask);
}

// The parameters after "CN1," of a frame the tool sends:
// "%08X" id, ",1,0," or ",0,0,", "%X" length, "," and the bytes "%02X" each.
// At most 8 bytes are ever read from data.
QString composeParameters(quint32 id, const quint8* data, quint8 length, bool extended);

// A received line without its check suffix. False for anything that is not
// "CN1" with at least six fields. The length is read as a decimal number cut
// to 8 bits; missing or unreadable data characters read as 0.
bool parseLine(const QString& line, CanTunnelFrame& frame);

} // namespace cantunnel
