#include "DisplayPacket.h"

quint32 crc32Words(const uchar* data, int wordCount)
{
    if (wordCount <= 0)
        return 0xFFFFFFFFu;
    quint32 crc = 0xFFFFFFFFu;
    for (int w = 0; w < wordCount; ++w) {
        const uchar* p = data + 4 * w;
        crc ^= quint32(p[0]) | quint32(p[1]) << 8 | quint32(p[2]) << 16 | quint32(p[3]) << 24;
        for (int bit = 0; bit < 32; ++bit)
            crc = (crc & 0x80000000u) ? (crc << 1) ^ 0x04C11DB7u : crc << 1;
    }
    return crc;
}

QByteArray frameDisplayPacket(const Packet& packet)
{
    const int n = packet.payload.size();
    if (n > kMaxPacketPayload)
        return QByteArray();
    const int w = (n + 1 + 3) / 4 * 4; // command + payload, rounded up to whole words
    QByteArray block(w, '\0');
    block[0] = char(packet.command);
    if (n > 0)
        memcpy(block.data() + 1, packet.payload.constData(), size_t(n));
    const quint32 crc = crc32Words(reinterpret_cast<const uchar*>(block.constData()), w / 4);
    QByteArray out;
    out.reserve(w + 7);
    out.append(char(0x55));
    out.append(char(w + 4));
    out.append(block);
    out.append(char(crc >> 24));
    out.append(char(crc >> 16));
    out.append(char(crc >> 8));
    out.append(char(crc));
    out.append(char(0xC3));
    return out;
}

void appendLe32(QByteArray& bytes, quint32 value)
{
    for (int i = 0; i < 4; ++i)
        bytes.append(char((value >> (8 * i)) & 0xFF));
}

quint32 readLe(const QByteArray& bytes, int offset, int count)
{
    quint32 v = 0;
    for (int i = 0; i < count && i < 4; ++i) {
        const int at = offset + i;
        if (at >= 0 && at < bytes.size())
            v |= quint32(quint8(bytes.at(at))) << (8 * i);
    }
    return v;
}
