#pragma once

#include <QByteArray>
#include <QtGlobal>

// Command codes of the display unit's packet link.
enum DisplayCommand : quint8 {
    CmdErase = 0x80,
    CmdEnterBoot = 0x81,
    CmdWrite = 0x82,
    CmdStartApp = 0x83,
    CmdReadSerial = 0x84,
    CmdReadVersion = 0x85,
    CmdIdentify = 0x86,
    CmdRepeat = 0x87,
    CmdParam = 0xA0,
    CmdNotify = 0xD0,
};

// One display-unit packet. A received payload holds the bytes between the
// command byte and the check sum: the data and the zero padding after it.
struct Packet
{
    quint8 command = 0;
    QByteArray payload;
};

// The longest payload a frame can carry: the length byte counts command,
// payload, padding and check sum.
inline constexpr int kMaxPacketPayload = 247;

// Word-wise CRC-32 of the display unit (polynomial 0x04C11DB7, words taken
// little-endian, no reflection, no final XOR). 0xFFFFFFFF for no words.
quint32 crc32Words(const uchar* data, int wordCount);

// The whole frame: 0x55, length, command, payload, zero padding to whole
// words, CRC-32 (most significant byte first), 0xC3. Empty when the payload
// is too long for the length byte.
QByteArray frameDisplayPacket(const Packet& packet);

// Little-endian 32-bit helpers for payloads.
void appendLe32(QByteArray& bytes, quint32 value);
// Up to four bytes from offset on, least significant first; missing bytes
// count as 0.
quint32 readLe(const QByteArray& bytes, int offset, int count);
