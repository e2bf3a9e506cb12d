#pragma once

#include "Pty.h"

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QPair>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

class ControlUnitSim;

// A CANopen node's SDO server, written from the device's side: an object
// dictionary, expedited, segmented and block downloads (block CRC checked
// when the client asks for it), expedited and segmented uploads, abort codes,
// and the program-download objects of a bootloader:
//   0x1F51:1 program control (3 clears the stored program, 1 starts it),
//   0x1F50:1 program data (the whole image),
//   0x1F57:1 flash status (UNSIGNED32; error code << 1).
// Every call is thread safe. Fault knobs shape the next responses.
class SdoServer
{
public:
    struct Frame
    {
        quint32 id = 0;
        quint8 length = 0;
        quint8 data[8] = {};
        QByteArray bytes() const { return QByteArray(reinterpret_cast<const char*>(data), length); }
    };

    explicit SdoServer(int nodeId = 1);

    int nodeId() const { return nodeId_; }
    // Takes one request (COB-ID 0x600 + node) and returns the responses.
    QList<Frame> handle(const Frame& request);

    // Object dictionary.
    void setObject(int index, int subindex, const QByteArray& value);
    QByteArray object(int index, int subindex) const;
    bool hasObject(int index, int subindex) const;

    // The bootloader's view.
    QByteArray programData() const;  // last image written to 0x1F50:1
    int programClears() const;
    int programStarts() const;
    void setFlashErrorCode(int code); // reported through 0x1F57:1 as code << 1
    // The program start (0x1F51:1 = 1) is taken but never answered.
    void setStartUnanswered(bool on);
    // Writing 0x1F50:1 without a clear sets error code 4 unless this is off.
    void setRequireClear(bool on);

    // Block download: the block size the server asks for (1..127).
    void setBlockSize(int n);
    // Sub-block acknowledgements after the nth (from 1) acknowledge only
    // ackSeq segments once (the client must send the rest again).
    void loseSegmentsOnce(int subBlock, int ackSeq);

    // Fault knobs.
    void abortOn(int index, int subindex, quint32 code, bool atEnd = false); // abort this object's transfers
    void clearAborts();
    void setSilent(bool on);      // takes requests, never answers
    void dropNextResponses(int n); // the next n answers are lost
    void setExpeditedUploadLimit(int n); // values above it go segmented (default 4)
    void setUploadWithoutSize(bool on);  // uploads that do not indicate their size
    // Every segment response is sent twice (a duplicated frame).
    void setDuplicateSegmentResponses(bool on);

    // Record of the requests received, in order.
    QList<Frame> requests() const;
    void clearRequests();
    bool waitForRequests(int count, int timeoutMs) const;

private:
    enum class State { Idle, Download, BlockDownload, BlockEnd, Upload };
    struct AbortRule
    {
        int index, subindex;
        quint32 code;
        bool atEnd;
    };
    Frame response(std::initializer_list<quint8> bytes) const;
    Frame abortFrame(int index, int subindex, quint32 code) const;
    bool abortFor(int index, int subindex, bool atEnd, quint32* code) const;
    // Stores a written value; false with an abort code when refused.
    bool store(int index, int subindex, const QByteArray& value, quint32* code);
    QByteArray read(int index, int subindex, bool* ok) const;
    QList<Frame> handleLocked(const Frame& r);

    const int nodeId_;
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    QMap<QPair<int, int>, QByteArray> objects_;
    QList<Frame> requests_;
    QList<AbortRule> aborts_;
    State state_ = State::Idle;
    int index_ = 0, subindex_ = 0;
    QByteArray buffer_;
    quint32 size_ = 0;
    int toggle_ = 0;
    bool crc_ = false;
    int blockSize_ = 127;
    int expectedSeq_ = 1;
    int subBlocks_ = 0;
    int loseAtSubBlock_ = 0;
    int loseAckSeq_ = 0;
    QByteArray lastSegment_;
    QByteArray subBlockData_;
    int uploadPos_ = 0;
    int programClears_ = 0;
    int programStarts_ = 0;
    bool programCleared_ = false;
    bool requireClear_ = true;
    int flashError_ = 0;
    bool startUnanswered_ = false;
    bool silent_ = false;
    int dropNext_ = 0;
    int expeditedLimit_ = 4;
    bool uploadWithoutSize_ = false;
    bool duplicate_ = false;
};

// The SDO server behind the control unit's serial bootloader: 14-byte
// records (STX, id and length, 8 data bytes, CRC-16/XMODEM low byte first,
// ETX) on a pty in raw mode. Bytes that do not form a good record are
// skipped one at a time, as the device does.
class SdoSerialSim
{
public:
    explicit SdoSerialSim(SdoServer& server);
    ~SdoSerialSim();
    bool start(const QString& linkPath = QString());
    void stop();
    QString portPath() const { return pty_.portPath(); }

    // Fault knobs for the records sent back.
    void corruptNextCrcs(int n);   // a wrong CRC: the tool must ignore them
    void garbageBeforeNext(int n); // n stray bytes before each of the next records
    int badRecords() const { return badRecords_; }

    static quint16 crc16(const quint8* bytes, int count);
    static QByteArray record(const SdoServer::Frame& frame, bool corruptCrc = false);

private:
    void loop();
    SdoServer& server_;
    Pty pty_;
    std::thread thread_;
    std::atomic<bool> running_{false};
    std::atomic<int> corruptNext_{0};
    std::atomic<int> garbageNext_{0};
    std::atomic<int> badRecords_{0};
    QByteArray window_;
};

// The bootloader of a control unit of kind "BMS3" on the control-unit
// emulator: while the emulator runs its bootloader, a byte 0x02 at a record
// boundary begins a 14-byte record for the SDO server (other bytes stay
// sentences), and the answers go back as records. Once the program has been
// started (0x1F51:1 = 1) and answered, the emulator restarts into its
// firmware. Installs itself for its lifetime; safe from any thread.
class SdoBootHook
{
public:
    SdoBootHook(ControlUnitSim& cu, SdoServer& server);
    ~SdoBootHook();
    SdoBootHook(const SdoBootHook&) = delete;
    SdoBootHook& operator=(const SdoBootHook&) = delete;

    int restarts() const;

private:
    bool takeByte(ControlUnitSim& cu, char c);

    ControlUnitSim& cu_;
    SdoServer& server_;
    mutable std::mutex mutex_;
    QByteArray record_;
    int restarts_ = 0;
};

// The CAN bus behind the control-unit emulator: its "CN1" handler passes the
// frames sent while the unit is in configuration mode to the SDO server and
// to a device answering the route commands of a CANopen bootloader, and
// sends their answers back as "CN1" sentences (upper-case hex, length in
// decimal).
class SdoBusSim
{
public:
    SdoBusSim(ControlUnitSim& cu, SdoServer& server, int deviceType, quint32 serial);
    ~SdoBusSim();

    // The device runs its bootloader (answers the 0x09 check with 00 FF 00 FF).
    void setInBootloader(bool on);
    bool inBootloader() const;
    // The device ignores the command that starts its bootloader (0x0C).
    void setBootloaderRefused(bool on);
    // The route commands seen (command bytes in order).
    QList<int> routeCommands() const;
    // A stray extended frame sent to the tool right now.
    void injectFrame(quint32 id, bool extended, const QByteArray& data);

private:
    ControlUnitSim& cu_;
    SdoServer& server_;
    const int type_;
    const quint32 serial_;
    mutable std::mutex mutex_;
    bool bootloader_ = false;
    bool refused_ = false;
    QList<int> routeCommands_;
};
