#pragma once

#include <QByteArray>
#include <QtGlobal>
#include <QString>

class QIODevice;

// The readable part of a SHA-1 image: a 20-byte SHA-1 digest of the rest of
// the file, a 60-byte header (key word K at 36, (metadata length + 4) ^ K at
// 52, product word ^ K at 56), then the metadata block scrambled with K.
struct FirmwareMetadata
{
    quint32 productGroup = 0;  // product word >> 4
    quint8 productVariant = 0; // product word & 0x0F
    quint32 productWord = 0;
    QString versionText;       // of the last type-1 record
    quint32 serialLock = 0;    // 0: any unit
    quint32 releaseDate = 0;   // year bits 0-15, month 16-23, day 24-31

    int releaseYear() const { return int(releaseDate & 0xFFFF); }
    int releaseMonth() const { return int((releaseDate >> 16) & 0xFF); }
    int releaseDay() const { return int(releaseDate >> 24); }
};

namespace FirmwareImage {
constexpr int kDigestSize = 20;
constexpr int kHeaderSize = 60;
constexpr int kKeyOffset = 36;
constexpr int kLengthOffset = 52;
constexpr int kProductOffset = 56;
} // namespace FirmwareImage

// True when the first 20 bytes are the SHA-1 digest of the rest of the file.
// The file position is the same afterwards (false when it cannot be).
bool isFirmwareFileValid(QIODevice& file);

// Reads header and metadata of a file isFirmwareFileValid accepted; the file
// position is the same afterwards. A header whose metadata length does not
// fit the file, or a record that runs past the block, sets *ok to false
// (the digest is no signature: anyone can make a valid-looking file).
FirmwareMetadata readFirmwareMetadata(QIODevice& file, bool* ok = nullptr);

// Unscrambles a copy of the block with key K and reads its records: type
// (8 bits), length (u16 LE), value. *ok is false when a record runs past the
// block; the records before it are kept.
FirmwareMetadata parseFirmwareMetadata(QByteArray block, quint32 key, bool* ok = nullptr);

// Byte i of the block XOR byte (i mod 4) of K (K little-endian). Its own
// inverse.
void scrambleMetadata(QByteArray& block, quint32 key);
