#pragma once

#include "CommunicatorBase.h"
#include "HeldPorts.h"
#include "SerialPort.h"

#include <QList>
#include <QMutex>
#include <QString>

#include <atomic>
#include <memory>

class Y5ProtocolHandler;
class QThread;

// One port as a transport reports it.
struct PortRecord
{
    QString portName;
    QString physicalName;
    QString friendlyName;
    QString enumeratorName;
    int vendorId = 0;
    int productId = 0;

    static PortRecord fromEntry(const struct PortEntry& entry);
};

// The USB-serial transport, and the interface every transport implements.
// Its run() loop works in its own thread ("Communicator Thread"): it finds
// and opens a port, lets the protocol handler identify the unit, then hands
// the bytes to the handler's receive path as they arrive, and lets the CAN
// jobs take their turn every 30 ms.
//
// The port is closed only by the thread running run(); any other thread that
// wants it closed calls requestPortClose() (close() from another thread does
// the same), so a close never races a read in progress.
class Communicator : public CommunicatorBase
{
    Q_OBJECT
public:
    static constexpr int DATA_BUF_LEN = 1024;
    static constexpr int kBaudRate = 57600;

    Communicator();
    ~Communicator() override;

    // The handler whose session operations the connection search runs.
    void setProtocolHandler(Y5ProtocolHandler* handler) { handler_ = handler; }
    Y5ProtocolHandler* protocolHandler() const { return handler_; }

    // Shared flags (any thread).
    std::atomic<bool> linked{false};
    std::atomic<bool> configModeActive{false};
    std::atomic<bool> restoreHold{false};
    std::atomic<bool> autoConnection{false};

    // The transport interface.
    virtual void resetConnection();
    virtual QList<PortRecord> availablePorts();
    virtual void close();
    virtual void setTimeout(int ms);
    virtual QByteArray readAll();
    virtual void setFlowControl(SerialPort::FlowControl flow);
    // Raw port access: no lock. Negative on error.
    virtual qint64 read(char* buffer, qint64 max);
    virtual qint64 write(const char* data, qint64 count);
    virtual void flush();
    virtual void setPortName(const QString& name);
    virtual bool open();
    virtual void setBaudRate(int baud);
    virtual void setParity(SerialPort::Parity parity);
    virtual void setDataBits(int bits);
    virtual void setStopBits(int bits);
    virtual qint64 unusedCount() { return 0; }
    virtual bool connectToBms();

    void configurePort();
    void clearReceiveBuffer();
    // The port to try without auto-connection, from the chosen entry; false
    // (and state 0 reported) when the entry names no port.
    bool selectedPortName(QString& name);
    // Writes the text (Latin-1) in one piece under the port mutex and flushes.
    // False when the bytes did not all reach the port.
    bool writeSentence(const QString& sentence);
    // A new choice from the port list; the run loop reconnects.
    void selectPort(const QString& entry);
    // Reads what the port has into the receive buffer and hands it to the
    // receive path; false on a port error.
    bool readIntoBuffer();
    void requestStop() { stopRequested_ = true; }
    bool isStopRequested() const { return stopRequested_; }
    void setAutoConnection(bool on);
    bool isConfigModeActive() const { return configModeActive; }
    // Asks the run loop to close the port (and drop the link) at its next pass.
    void requestPortClose() { closeRequested_ = true; }

    // The chosen port-list entry, or after a handshake the bare port name.
    QString portName() const;
    void setConnectedPortName(const QString& name);

    // Receive buffer, for the handler's line splitting (under portMutex()).
    QMutex& portMutex() { return portMutex_; }
    char* receiveBuffer() { return dataBuffer_; }
    int nBytesInDataBuffer_ = 0;

public slots:
    virtual void run();

protected:
    // The read behind readIntoBuffer: only what has arrived, no waiting (the
    // run loop paces itself; the raw read() waits up to the time-out).
    // Transports with their own byte source replace it.
    virtual qint64 readAvailable(char* buffer, qint64 max);
    bool isLoopThread() const;
    // With dropOutput the port's stopped or unsent output goes first: the
    // session it belonged to is over.
    void closePortNow(bool dropOutput = false);
    // Sleeps in short steps; returns early when stop is requested.
    void sleepMs(int ms) const;
    // The run loop's pause between reads: up to ms, but over as soon as the
    // port has bytes, so that a reply reaches the receive path at once.
    // Transports with their own byte source replace it.
    virtual void waitForBytes(int ms);
    bool receiveBufferFull();
    // One attempt on one port: open, configure, up to 4 handshakes.
    // Returns 1 linked, 0 failed, -1 stop requested.
    int tryPort(const QString& name, const QString& path);

    std::unique_ptr<SerialPort> port_;
    Y5ProtocolHandler* handler_ = nullptr;
    std::atomic<bool> stopRequested_{false};
    std::atomic<bool> closeRequested_{false};
    std::atomic<QThread*> loopThread_{nullptr};

private:
    // Holds the chosen port for the search, or lets go when the path names
    // no port or the dongle; true when held.
    bool holdChosenPort(const QString& path);

    // The port the serial search is to use: the chosen one, or with
    // auto-connection the one it last linked on. Held between attempts too,
    // so that no other part of the program opens it meanwhile.
    HeldPort chosenPort_{PortHolder::ControlUnit};
    QMutex portMutex_;
    mutable QMutex nameMutex_;
    QString portName_;
    char dataBuffer_[DATA_BUF_LEN] = {};
};

// The transport interface type as the rest of the system names it.
using AbstractCommunicator = Communicator;
