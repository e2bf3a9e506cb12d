#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <atomic>
#include <mutex>

class ControlUnitSim;

// The route bootloader of one CAN device (product code up to 15) behind the
// control unit. Installed on a ControlUnitSim as its "CN1" handler; answers
// only while the unit is in one of its configuration modes, from 0x1FFFFEE6
// (or 0x1FFFE5E6), in upper-case hex.
//   01 FE ts   enters the bootloader, answers 01 FE 00 00
//   09 F6 ts   in the bootloader answers 09 F6 00 FF 00 FF
//   08 seq ..  record frames. Short records (types other than 3, 13, 15):
//              count byte, record bytes, checksum byte, sequence from 0x0A.
//              Long records (3, 13, 15): 16-bit LE count, record bytes,
//              sequence from 0. A whole record whose sums, length and
//              sequence are right is stored and answered 08 F7 00 00; a bad
//              one 08 F7 01 00.
//   02 FD ts   answers 02 FD 00 00 when an application was stored (at least
//              one record), else 02 FD 01 00; leaves the bootloader.
// Fault knobs below; state as the tests read it.
class RouteBootloaderSim
{
public:
    struct Frame
    {
        quint32 id = 0;
        QByteArray data;
    };

    RouteBootloaderSim(quint16 type, quint32 serial);
    ~RouteBootloaderSim();

    void install(ControlUnitSim& unit);
    void uninstall();

    // Fault knobs.
    void setEnterReplyLimit(int n);   // answers the enter command at most n times (-1: always)
    void setCheckFails(bool on);      // never answers the 09 check
    void rejectNextRecords(int n);    // the next n whole records are answered 08 F7 01 00
    void ignoreNextRecords(int n);    // the next n whole records get no answer
    void setLeaveSilent(bool on);
    void setBadApplication(bool on);  // 02 FD answers 01 00 whatever was stored
    void setAlternateReplyId(bool on);

    // State.
    bool inBootloader() const;
    int enterRequests() const;
    int checkRequests() const;
    int leaveRequests() const;
    int recordsStored() const;
    int recordsRefused() const;
    int replyBytes() const; // every answer as framed on the line
    // The record bytes (Intel HEX, checksum included) stored, in order.
    QList<QByteArray> records() const;
    // Every frame the tool sent to the route id.
    QList<Frame> frames() const;

private:
    void onFrame(ControlUnitSim& unit, const QStringList& fields);
    void recordFrame(ControlUnitSim& unit, const QByteArray& b);
    void finishRecord(ControlUnitSim& unit);
    void answer(ControlUnitSim& unit, const QByteArray& data);
    bool longRecords() const { return type_ == 3 || type_ == 13 || type_ == 15; }

    mutable std::mutex mutex_;
    ControlUnitSim* unit_ = nullptr;
    quint16 type_;
    quint32 serial_;
    int enterReplyLimit_ = -1;
    bool checkFails_ = false;
    int rejectNext_ = 0;
    int ignoreNext_ = 0;
    bool leaveSilent_ = false;
    bool badApplication_ = false;
    bool alternateId_ = false;

    bool inBootloader_ = false;
    int enterRequests_ = 0;
    int enterReplies_ = 0;
    int checkRequests_ = 0;
    int leaveRequests_ = 0;
    int refused_ = 0;
    std::atomic<int> replyBytes_{0};
    bool badSinceEnter_ = false;
    QList<QByteArray> records_;
    QList<Frame> frames_;
    // The record being reassembled.
    QByteArray buffer_;
    int expectedSeq_ = -1;
    bool broken_ = false;
};
