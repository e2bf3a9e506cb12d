#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

// The display unit's firmware image (".img"): a 32-byte header encrypted
// with AES-128-CBC under a fixed key and IV, holding version and release
// date as text, then the body written to the unit's flash.

inline constexpr int kImageHeaderSize = 32;
inline constexpr quint32 kDisplayFlashStart = 0x0800C000;
// End of the last sector the upgrade erases (the 128 KiB one at 0x08060000):
// a longer body would be written over flash that was never erased.
inline constexpr quint32 kDisplayFlashEnd = 0x08080000;
inline constexpr int kMaxImageBody = int(kDisplayFlashEnd - kDisplayFlashStart);

extern const char kDisplayImageKey[17];
extern const char kDisplayImageIv[17];

// AES-128-CBC decryption of length bytes (a multiple of 16) without padding
// removal. False when OpenSSL refuses or the length is not whole blocks.
bool aesCbcDecryptBuffer(uchar* output, const uchar* input, int length, const uchar* key, const uchar* iv);

struct DisplayImageHeader
{
    bool valid = false;
    QString version;     // "1.2.3"
    QString releaseDate; // "2019-12-31"
};

// Reads the decrypted header text: versions in characters 0-5 (two decimal
// digits each, at most 255), year, month and day in 10-13, 14-15, 16-17
// (hexadecimal); the date must be from 2000 on with month <= 12, day <= 31.
DisplayImageHeader parseDisplayImageHeader(const QByteArray& plaintext);

// Decrypts the first 32 bytes of a file and reads them; a shorter file is
// invalid.
DisplayImageHeader readDisplayImageHeader(const QByteArray& fileBytes);

// The body of an image file: everything after the header, padded with zero
// bytes to whole 16-byte blocks. Empty for a file of 32 bytes or fewer.
QByteArray displayImageBody(const QByteArray& fileBytes);

// Whether a body fits the unit: not empty and within the erased flash.
bool isDisplayImageBodyUsable(const QByteArray& body);
