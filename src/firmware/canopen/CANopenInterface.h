#pragma once

#include "CANopen.h"

#include <QMutex>
#include <QObject>
#include <QWaitCondition>

class Communicator;
class Y5ProtocolHandler;

// One CAN frame as the bootloaders send and receive it.
struct CanFrame
{
    quint32 identifier = 0;
    quint8 length = 0;
    quint8 data[8] = {};

    CanFrame() = default;
    explicit CanFrame(const CO::CanMessage& m);
};

// CRC-16/XMODEM (polynomial 0x1021, initial 0, not reflected).
quint16 crc16Xmodem(const quint8* bytes, int count);

// The medium of the SDO client: sends its requests, feeds it the 11-bit
// frames received, and lets the bootloader send any frame and wait for the
// next one received.
class CANopenInterface : public QObject, public CO::CANopen
{
    Q_OBJECT
public:
    static constexpr int kFrameWaitMs = 1000;

    CANopenInterface(Communicator* link, int nodeId, CO::ICANopenCallback* callback);

    Communicator* communicator() const { return static_cast<Communicator*>(link()); }

    virtual void sendFrame(const CanFrame& frame, bool extended) = 0;
    // Waits at most a second for the next received frame; the record is
    // filled only when one came.
    virtual void waitForFrame(CanFrame* record) = 0;
    // The same wait, armed before the frame goes out so that a quick answer
    // cannot slip past.
    void sendAndWaitForFrame(const CanFrame& frame, bool extended, CanFrame* record);

protected:
    // The SDO requests' own overload stays reachable beside the frame one.
    using CO::CANopen::sendFrame;
    // Hands a received frame to an armed waiter; false when none is armed.
    bool deliverToWaiter(const CanFrame& frame);
    void armWaiter(CanFrame* record);
    // Waits for the armed waiter's frame (at most kFrameWaitMs) and disarms.
    void awaitArmedFrame();

    QMutex waitMutex_;
    QWaitCondition waitCondition_;
    CanFrame* waiterRecord_ = nullptr;
    quint8 waiterArmed_ = 0;
};

// The control unit's own bootloader on the serial line: each frame travels as
// a 14-byte record (STX, identifier and length, 8 data bytes, CRC-16 low byte
// first, ETX). The update thread calls poll() in a loop to receive.
class CANopenOverSerial : public CANopenInterface
{
    Q_OBJECT
public:
    static constexpr int kRecordSize = 14;

    CANopenOverSerial(Communicator* link, int nodeId, CO::ICANopenCallback* callback);

    void sendFrame(const CanFrame& frame, bool extended) override;
    void waitForFrame(CanFrame* record) override;
    // Reads at most one byte from the link and looks for a record.
    void poll();
    // Feeds one received byte (what poll() does with the byte it read).
    void feedByte(quint8 byte);

    // The record of a frame; empty for a length above 8.
    static QByteArray encodeRecord(const CanFrame& frame);
    // A valid record at the start of the bytes; false otherwise.
    static bool decodeRecord(const quint8* bytes, CanFrame* frame);

protected:
    void sendCanMessage(const CO::CanMessage& message) override;

private:
    quint8 window_[kRecordSize] = {};
};

// A CAN device behind the control unit: each frame travels as a "CN1"
// sentence, and frames from the bus come back as "CN1" sentences taken from
// the protocol handler's queue in the thread that created the transport.
class CANopenOverSentences : public CANopenInterface
{
    Q_OBJECT
public:
    CANopenOverSentences(Communicator* link, int nodeId, CO::ICANopenCallback* callback);

    void sendFrame(const CanFrame& frame, bool extended) override;
    void waitForFrame(CanFrame* record) override;

    // The parameter text of a frame's "CN1," sentence; empty for a length
    // above 8.
    static QString sentenceParameters(const CanFrame& frame, bool extended);
    // A received "CN1" line (without its check suffix); false when it is not
    // one or is malformed.
    static bool parseSentence(const QString& line, CanFrame* frame);

public slots:
    void slotSentenceReceived();

protected:
    void sendCanMessage(const CO::CanMessage& message) override;

private:
    Y5ProtocolHandler* handler() const;
};
