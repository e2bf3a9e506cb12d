#pragma once

// Builders of small firmware files for the tests, written from the file
// layouts on their own (not through the code under test).
#include <QByteArray>
#include <QCryptographicHash>
#include <QList>
#include <QString>

namespace TestImages {

inline QByteArray le16(int v)
{
    QByteArray b;
    b.append(char(v & 0xFF));
    b.append(char((v >> 8) & 0xFF));
    return b;
}

inline QByteArray le32(quint32 v)
{
    QByteArray b;
    for (int i = 0; i < 4; ++i)
        b.append(char((v >> (8 * i)) & 0xFF));
    return b;
}

// One metadata record: type, u16 LE length, value.
inline QByteArray record(int type, const QByteArray& value)
{
    return QByteArray(1, char(type)) + le16(value.size()) + value;
}

inline QByteArray versionRecord(const QByteArray& text) { return record(1, text); }
inline QByteArray dateRecord(int year, int month, int day)
{
    return record(2, le16(year) + QByteArray(1, char(month)) + QByteArray(1, char(day)));
}
inline QByteArray serialRecord(quint32 serial) { return record(4, le32(serial)); }

struct Sha1Image
{
    quint32 key = 0xA5C3F00Fu;
    quint32 product = 0x00000120u;
    QByteArray records;             // plain; scrambled on build
    QByteArray payload = QByteArray("\x01\x02\x03payload\x11\x13", 12);
    qint64 lengthWord = -1;         // the plain length word (-1: records + 4)

    QByteArray build() const
    {
        QByteArray body(40, '\0'); // file offsets 20..59
        body.replace(16, 4, le32(key));
        const quint32 length = lengthWord < 0 ? quint32(records.size() + 4) : quint32(lengthWord);
        body.replace(32, 4, le32(length ^ key));
        body.replace(36, 4, le32(product ^ key));
        QByteArray scrambled = records;
        for (int i = 0; i < scrambled.size(); ++i)
            scrambled[i] = char(quint8(scrambled[i]) ^ quint8(key >> (8 * (i % 4))));
        body += scrambled + payload;
        return QCryptographicHash::hash(body, QCryptographicHash::Sha1) + body;
    }
};

// A legacy frame: big-endian length, then the bytes.
inline QByteArray frame(const QByteArray& bytes)
{
    QByteArray f;
    f.append(char((bytes.size() >> 8) & 0xFF));
    f.append(char(bytes.size() & 0xFF));
    return f + bytes;
}

// The hexadecimal file text of the frames (upper case unless asked).
inline QByteArray legacyFile(const QList<QByteArray>& frames, bool lowerCase = false)
{
    QByteArray bin;
    for (const QByteArray& f : frames)
        bin += frame(f);
    QByteArray hex = bin.toHex();
    return lowerCase ? hex : hex.toUpper();
}

inline QByteArray bigEndian32(quint32 v)
{
    QByteArray b;
    for (int i = 3; i >= 0; --i)
        b.append(char((v >> (8 * i)) & 0xFF));
    return b;
}

} // namespace TestImages
