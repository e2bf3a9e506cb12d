#include "Crc8.h"

uint8_t crc8Maxim(const uint8_t* data, uint16_t length)
{
    uint8_t crc = 0;
    for (uint16_t i = 0; i < length; ++i) {
        uint8_t byte = data[i];
        for (int bit = 0; bit < 8; ++bit) {
            const uint8_t mix = (crc ^ byte) & 1;
            crc >>= 1;
            if (mix)
                crc ^= 0x8C;
            byte >>= 1;
        }
    }
    return crc;
}

QByteArray frameSentence(const QString& name, const QString& parameters)
{
    QByteArray bytes = (name + parameters + QLatin1Char(',')).toLatin1();
    static const char digits[] = "0123456789ABCDEF";
    const uint8_t sum = crc8Maxim(reinterpret_cast<const uint8_t*>(bytes.constData()), uint16_t(bytes.size()));
    bytes.append(digits[sum >> 4]);
    bytes.append(digits[sum & 0xF]);
    bytes.append('\r');
    return bytes;
}
