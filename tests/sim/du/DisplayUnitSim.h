#pragma once

#include "Pty.h"

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

// The display unit on a pseudo-terminal: its packet framing and CRC-32 (its
// own byte-wise routine), the application's answers (identification, serial
// number, version, settings) and the boot loader's (erase, write, start the
// application) over a model of its flash. Records every packet received.
// Runs on its own thread; every public call is safe from any thread.
//
// The tool finds it through BMS_SERIAL_PORTS, which lists each path as a
// "USB Serial Port".
class DisplayUnitSim
{
public:
    struct Options
    {
        quint32 serial = 0x12345678;
        quint32 version = 0x01020300; // 1.2.3
        bool startInBootloader = false;
        // Settings 2 to 6: sleep time, units, mode, (unused), contrast.
        QMap<int, quint32> params{{2, 300}, {3, 1}, {4, 0}, {5, 7}, {6, 128}};
    };

    // One packet as the unit received it.
    struct Received
    {
        qint64 ms = 0;        // since start()
        quint8 command = 0;
        QByteArray payload;   // data and padding, without the CRC
        bool crcOk = false;
    };

    // The unit's flash sectors from 0x08000000 on (16, 16, 16, 16, 64,
    // 128, 128, 128 KiB); the application starts at 0x0800C000.
    static constexpr quint32 kAppStart = 0x0800C000;
    static constexpr quint32 kFlashEnd = 0x08080000;

    DisplayUnitSim();
    explicit DisplayUnitSim(const Options& options);
    ~DisplayUnitSim();
    DisplayUnitSim(const DisplayUnitSim&) = delete;
    DisplayUnitSim& operator=(const DisplayUnitSim&) = delete;

    bool start(const QString& linkPath = QString());
    void stop();
    QString portPath() const;

    // The unit's own framing and CRC-32 (CRC-32/MPEG-2 over each word's
    // bytes in reverse order).
    static QByteArray frame(quint8 command, const QByteArray& payload, bool corrupt = false);
    static quint32 unitCrc(const QByteArray& block);

    QList<Received> received() const;
    QList<quint8> receivedCommands() const;
    void clearReceived();
    bool waitUntil(const std::function<bool(const QList<Received>&)>& pred, int timeoutMs) const;
    // Waits for the n-th (1-based) packet with this command since the last clear.
    bool waitForCommand(quint8 command, int timeoutMs, int count = 1) const;

    // Unit state.
    bool inBootloader() const;
    quint32 serial() const;
    quint32 param(int id) const;
    void setParam(int id, quint32 value);
    // The flash from the application start, as many bytes as asked.
    QByteArray flash(int length) const;
    QList<quint32> erasedSectors() const; // every erase, in order
    int writesOverUnerased() const;       // writes to bytes not erased first
    int shortWrites() const;              // writes carrying fewer bytes than their length field
    int chunkWrites() const;

    // Sends a packet unasked (framed, subject to the corrupt knob).
    void sendPacket(quint8 command, const QByteArray& payload = QByteArray());
    void sendRaw(const QByteArray& bytes);

    // Fault knobs.
    void setSilent(bool on);               // records, never answers
    void corruptNextReplies(int n);        // their CRC is wrong
    void failNextErase();                  // status "1"
    void failNextWrite();                  // status "1"
    void repeatWrite(int chunkIndex);      // answers that write (0-based) with 0x87 once
    void setStuckInBootloader(bool on);    // 0x83 in the boot loader answers 0x81
    void setReplyDelay(int ms);
    void setPlainStatus(bool on);          // status as a zero byte instead of "0"
    void vanish();                         // the adapter is unplugged
    bool reappear();

private:
    void loop();
    void handleBytes(const QByteArray& bytes);
    void handlePacket(quint8 command, const QByteArray& payload);
    void replyLocked(quint8 command, const QByteArray& payload);
    void statusReply(quint8 command, bool ok);
    qint64 nowMs() const;
    int sectorOf(quint32 address) const;

    Options opt_;
    Pty pty_;
    mutable std::mutex ptyMutex_; // the pty; taken after mutex_ when both are
    std::thread thread_;
    std::atomic<bool> running_{false};
    qint64 startNs_ = 0;

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    QList<Received> record_;
    QByteArray rx_;
    QByteArray flash_;          // 0x08000000 .. kFlashEnd
    QList<quint32> erased_;
    bool boot_ = false;
    quint32 serial_ = 0;
    quint32 version_ = 0;
    QMap<int, quint32> params_;
    int writesOverUnerased_ = 0;
    int shortWrites_ = 0;
    int chunkWrites_ = 0;
    bool silent_ = false;
    int corruptNext_ = 0;
    bool failErase_ = false;
    bool failWrite_ = false;
    int repeatAt_ = -1;
    bool stuck_ = false;
    int delayMs_ = 0;
    bool plainStatus_ = false;
    bool present_ = false;
};
