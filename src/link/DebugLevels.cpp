#include "DebugLevels.h"

#include "Log.h"

#include <QElapsedTimer>

#include <atomic>

namespace {
std::atomic<int> g_levels[3] = {{0}, {0}, {0}};

QElapsedTimer& startClock()
{
    static QElapsedTimer t;
    return t;
}
std::atomic<bool> g_clockStarted{false};
} // namespace

void startDebugClock()
{
    bool expected = false;
    if (g_clockStarted.compare_exchange_strong(expected, true))
        startClock().start();
}

int debugTimestampMs()
{
    return g_clockStarted ? int(startClock().elapsed()) : 0;
}

void initDebugLevels()
{
    for (auto& l : g_levels)
        l = 3;
    startDebugClock();
}

bool isDebugLevelEnabled(int category, int level)
{
    if (category < 0 || category > 2 || level < 0 || level > 4)
        return false;
    return g_levels[category] >= level;
}

bool isDebugCategoryOn(int category)
{
    return category >= 0 && category <= 2 && g_levels[category] != 0;
}

void setDebugLevel(int category, int level)
{
    if (category < 0 || category > 2 || level < 0 || level > 4)
        return;
    g_levels[category] = level;
}

bool encodeFrameHeader(const FrameRecord& rec, uint8_t* h)
{
    h[0] = 0xA5;
    h[1] = uint8_t(rec.value >> 24);
    h[2] = uint8_t(rec.value >> 16);
    h[3] = uint8_t(rec.value >> 8);
    h[4] = uint8_t(rec.value);
    h[5] = uint8_t((rec.type & 0x3F) | ((rec.flag6 & 1) << 6) | ((rec.flag7 & 1) << 7));
    h[6] = uint8_t((rec.low3 & 7) | ((rec.high3 & 7) << 5));
    h[7] = uint8_t(rec.length >> 8);
    h[8] = uint8_t(rec.length);
    return true;
}

bool encodeFrame(const FrameRecord* rec, uint8_t* out, int* totalLength, uint8_t* sum)
{
    if (!rec)
        return false;
    if (totalLength)
        *totalLength = rec->length + 10;
    if (!out || (!rec->payload && rec->length > 0))
        return false;
    encodeFrameHeader(*rec, out);
    for (int i = 0; i < rec->length; ++i)
        out[kFrameHeaderSize + i] = rec->payload[i];
    uint8_t s = 0;
    addToChecksum(out, kFrameHeaderSize + rec->length, &s);
    const uint8_t check = uint8_t(0x100 - s);
    out[kFrameHeaderSize + rec->length] = check;
    if (sum)
        *sum = check;
    return true;
}

bool decodeFrameHeader(const uint8_t* b, FrameRecord* rec)
{
    if (!b || !rec || b[0] != 0xA5)
        return false;
    rec->value = (uint32_t(b[1]) << 24) | (uint32_t(b[2]) << 16) | (uint32_t(b[3]) << 8) | b[4];
    rec->type = b[5] & 0x3F;
    rec->flag6 = (b[5] >> 6) & 1;
    rec->flag7 = (b[5] >> 7) & 1;
    rec->low3 = b[6] & 7;
    rec->high3 = (b[6] >> 5) & 7;
    rec->length = uint16_t((b[7] << 8) | b[8]);
    return true;
}

int isFrameStart(uint8_t byte)
{
    return byte == 0xA5 ? 0 : -1;
}

bool isFrameLengthValid(const FrameRecord& rec)
{
    return rec.length <= kFrameMaxPayload;
}

void addToChecksum(const uint8_t* bytes, int count, uint8_t* sum)
{
    if (!bytes || !sum || count <= 0)
        return;
    for (int i = 0; i < count; ++i)
        *sum = uint8_t(*sum + bytes[i]);
}

QString formatFrame(const QString& prefix, const FrameRecord& rec)
{
    const int have = rec.payload ? rec.length : 0;
    auto hexAt = [&](int i) {
        return i < have ? QStringLiteral("%1").arg(rec.payload[i], 2, 16, QLatin1Char('0')).toUpper()
                        : QStringLiteral("--");
    };
    if (rec.type == 2) {
        const QString text = QString::fromLatin1(reinterpret_cast<const char*>(rec.payload), have);
        return QStringLiteral("%1: %2 - 2 [%3] %4").arg(prefix).arg(rec.value).arg(rec.length).arg(text);
    }
    if (rec.type == 7) {
        QString s = QStringLiteral("%1: : %2 - 7 [%3]  ").arg(prefix).arg(rec.value).arg(rec.length);
        for (int i = 0; i < 4; ++i)
            s += hexAt(i);
        s += QLatin1Char(' ');
        for (int i = 8; i < 16; ++i)
            s += QLatin1Char(' ') + hexAt(i);
        return s;
    }
    return QStringLiteral("%1: %2 - %3 [%4] ...").arg(prefix).arg(rec.value).arg(rec.type).arg(rec.length);
}

void logFrame(const QString& prefix, const FrameRecord& rec)
{
    logMessage(formatFrame(prefix, rec), 0);
}
