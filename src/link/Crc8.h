#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>

// CRC-8/MAXIM (Dallas 1-Wire): polynomial 0x31 reflected (0x8C), initial 0,
// no final XOR. Protects every sentence in both directions.
uint8_t crc8Maxim(const uint8_t* data, uint16_t length);

// name + parameters + "," + two upper-case hex digits of the sum + CR, all
// in Latin-1 (the sum covers exactly the bytes written before the digits).
QByteArray frameSentence(const QString& name, const QString& parameters);
