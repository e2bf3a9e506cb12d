#pragma once

#include <QString>

#include <cstdint>

// Debug output categories; the prints go to standard output, which the user
// does not see. Only the communication-port category is consulted today.
enum DebugCategory { DBG_CAT_0 = 0, DBG_COMM_PORT = 1, DBG_CAT_2 = 2 };

void initDebugLevels();
bool isDebugLevelEnabled(int category, int level);
bool isDebugCategoryOn(int category);
void setDebugLevel(int category, int level);
// Milliseconds since the start-up clock was started (at the first call of
// startDebugClock or initDebugLevels).
void startDebugClock();
int debugTimestampMs();

// A byte frame: 0xA5, 9-byte header, payload, check byte that makes the
// whole frame sum to 0 modulo 256. Nothing builds such frames in the link
// today; the codec is kept for diagnostics.
struct FrameRecord
{
    int type = 0;   // 6 bits
    int flag6 = 0;  // bit 6 of header byte 5
    int flag7 = 0;  // bit 7 of header byte 5
    int low3 = 0;   // bits 0..2 of header byte 6
    int high3 = 0;  // bits 5..7 of header byte 6
    uint16_t length = 0;
    uint32_t value = 0;
    const uint8_t* payload = nullptr;
};

constexpr int kFrameHeaderSize = 9;
constexpr int kFrameMaxPayload = 1024;

bool encodeFrameHeader(const FrameRecord& rec, uint8_t* header9);
// out must hold length + 10 bytes.
bool encodeFrame(const FrameRecord* rec, uint8_t* out, int* totalLength, uint8_t* sum);
bool decodeFrameHeader(const uint8_t* bytes, FrameRecord* rec);
int isFrameStart(uint8_t byte);
bool isFrameLengthValid(const FrameRecord& rec);
void addToChecksum(const uint8_t* bytes, int count, uint8_t* sum);
// The log line of a frame; bytes beyond the payload are never read (missing
// ones print as "--").
QString formatFrame(const QString& prefix, const FrameRecord& rec);
void logFrame(const QString& prefix, const FrameRecord& rec);
