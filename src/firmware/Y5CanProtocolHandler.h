#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <atomic>
#include <functional>

class Communicator;
class Y5ProtocolHandler;

// The fixed pauses of the route steps; tests shorten them. (A wait for a
// reply ends when the reply comes and is not among them.)
struct Y5CanTiming
{
    int enterWaitMs = 250;        // after each enter command, before its replies are read
    int enterGapMs = 50;          // before the next enter command
    int longRecordSettleMs = 500; // after a long record's answer
    // The longest waits for a reply:
    int leaveReplyMs = 2000;      //   to the leave command
    int shortRecordGraceMs = 1000; //  to a short record, beyond its 800 ms (first) or 50 ms
};

// The route bootloader steps of a CAN device (product codes up to 15), sent
// as "CN1" sentences through the control unit. Every step runs in the
// transport's worker thread, which is busy with the update meanwhile, so each
// step reads the port itself and takes its replies from the handler's queue.
// `owner` is the transport; it is not a Qt parent.
class Y5CanProtocolHandler : public QObject
{
    Q_OBJECT
public:
    explicit Y5CanProtocolHandler(Communicator* owner);

    Communicator* owner() const { return m_owner; }
    // The transport after a switch of transports (the updater follows it).
    void setOwner(Communicator* owner) { m_owner = owner; }

    // The device being updated.
    void setDevice(quint16 type, quint32 serial)
    {
        m_deviceType = type;
        m_serial = serial;
    }
    quint16 deviceType() const { return m_deviceType; }
    void setTiming(const Y5CanTiming& timing) { m_timing = timing; }
    quint32 serialNumber() const { return m_serial; }

    void sendCanFrame(quint32 identifier, const quint8* data, int length, bool extended);
    bool enterConfigMode();
    bool checkConfigMode();
    bool sendRecord(const QString& record, int recordNumber, int position, int imageSize);
    bool sendRecordLong(const QString& record, int position, int imageSize);
    bool reenterConfigMode();
    bool leaveConfigMode();

    // Short record buffer: count byte, record bytes, checksum byte. Long
    // record buffer: 16-bit little-endian count, record bytes. Empty when the
    // record text is not whole hexadecimal digit pairs.
    static QByteArray shortRecordBuffer(const QString& record);
    static QByteArray longRecordBuffer(const QString& record);
    // Device types whose bootloader takes long records (CAN Splitter Gen2).
    static bool takesLongRecords(quint16 type) { return type == 3 || type == 13 || type == 15; }

    // Sleeps in short steps, then gives the thread's events one pass; false
    // when the transport or the handler was asked to stop.
    bool wait(int ms) const;

private:
    Y5ProtocolHandler* handler() const;
    void sendRoute(quint8 command);
    // Sends the buffer in 0x08 frames with sequence numbers from firstSeq.
    void sendBuffer(const QByteArray& buffer, quint8 firstSeq, int position, int imageSize);
    // Reads the port once, then takes queued lines until isReply says the
    // reply has come (true) or the queue is empty (false). With drainAll the
    // rest of the queue goes as well.
    bool readReplies(const std::function<bool(const QString& data)>& isReply, bool alsoCn2 = false,
                     bool drainAll = false);
    bool stopAsked() const;
    // Reads replies for at most ms, ending at the first one isReply accepts:
    // 1 seen, 0 not seen, -1 asked to stop.
    int awaitReply(int ms, const std::function<bool(const QString& data)>& isReply, bool alsoCn2 = false,
                   bool drainAll = false);
    void dropStaleReplies();

    std::atomic<Communicator*> m_owner{nullptr};
    std::atomic<quint16> m_deviceType{0};
    std::atomic<quint32> m_serial{0};
    Y5CanTiming m_timing; // set before an update starts
};
