#pragma once

#include <QString>

#include <cstdint>

// Strict readers for sentence fields: the whole text must be the number, with
// no sign, prefix, space or stray character, and it must fit. They never
// allocate, which keeps the receive path cheap.
namespace FieldText {

inline int hexDigit(QChar c)
{
    const ushort u = c.unicode();
    if (u >= '0' && u <= '9')
        return u - '0';
    if (u >= 'A' && u <= 'F')
        return u - 'A' + 10;
    if (u >= 'a' && u <= 'f')
        return u - 'a' + 10;
    return -1;
}

// Unsigned hexadecimal that fits in 64 bits.
inline bool readHex64(const QString& s, uint64_t* out)
{
    if (s.isEmpty())
        return false;
    uint64_t v = 0;
    for (QChar c : s) {
        const int d = hexDigit(c);
        if (d < 0 || (v >> 60) != 0)
            return false;
        v = (v << 4) | uint64_t(d);
    }
    *out = v;
    return true;
}

// Unsigned hexadecimal that fits in 32 bits.
inline bool readHex32(const QString& s, uint32_t* out)
{
    uint64_t v = 0;
    if (!readHex64(s, &v) || v > 0xFFFFFFFFu)
        return false;
    *out = uint32_t(v);
    return true;
}

// Unsigned decimal that fits in 32 bits.
inline bool readDec32(const QString& s, uint32_t* out)
{
    if (s.isEmpty())
        return false;
    uint64_t v = 0;
    for (QChar c : s) {
        const ushort u = c.unicode();
        if (u < '0' || u > '9')
            return false;
        v = v * 10 + (u - '0');
        if (v > 0xFFFFFFFFu)
            return false;
    }
    *out = uint32_t(v);
    return true;
}

// Hexadecimal with an optional sign that fits in a signed 32-bit number.
inline bool readSignedHex32(const QString& s, int32_t* out)
{
    bool negative = false;
    int start = 0;
    if (!s.isEmpty() && (s.at(0) == QLatin1Char('-') || s.at(0) == QLatin1Char('+'))) {
        negative = s.at(0) == QLatin1Char('-');
        start = 1;
    }
    if (start >= s.size())
        return false;
    uint64_t v = 0;
    for (int i = start; i < s.size(); ++i) {
        const int d = hexDigit(s.at(i));
        if (d < 0)
            return false;
        v = (v << 4) | uint64_t(d);
        if (v > 0x80000000u)
            return false;
    }
    if (!negative && v > 0x7FFFFFFFu)
        return false;
    *out = negative ? int32_t(-int64_t(v)) : int32_t(v);
    return true;
}

// A signed field: when its first digit is 8 to F it is the two's complement
// over its own digit count (FFFE and FE are both -2); otherwise a signed
// 32-bit hexadecimal number.
inline bool readTwosComplementHex(const QString& s, int64_t* out)
{
    if (s.isEmpty())
        return false;
    if (hexDigit(s.at(0)) >= 8) {
        // 16^n must fit in a signed 64-bit number as well.
        if (s.size() > 15)
            return false;
        uint64_t v = 0;
        if (!readHex64(s, &v))
            return false;
        *out = int64_t(v) - (int64_t(1) << (4 * s.size()));
        return true;
    }
    int32_t v = 0;
    if (!readSignedHex32(s, &v))
        return false;
    *out = v;
    return true;
}

} // namespace FieldText
