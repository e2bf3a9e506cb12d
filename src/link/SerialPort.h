#pragma once

#include "HeldPorts.h"

#include <QByteArray>
#include <QString>

#include <atomic>

// A serial port over POSIX termios with no thread affinity: the transport
// reads, writes and flushes one port from several threads under its own
// mutex, which QSerialPort (bound to its owner thread) does not allow.
// Works on USB serial adapters and pseudo-terminals alike.
//
// An open port is held for its part of the program (see HeldPorts.h): a port
// that another part holds is not opened.
//
// With XON/XOFF the other end may stop this side's output. Such a stop never
// outlives a session: opening and configuring the port restart the output,
// and a write that found no room for kWriteStallMs restarts it and drops what
// was still waiting.
class SerialPort
{
public:
    enum Parity { NoParity, EvenParity, OddParity };
    enum FlowControl { NoFlowControl, XonXoff };
    static constexpr int kWriteStallMs = 3000;

    explicit SerialPort(PortHolder holder = PortHolder::ControlUnit) : held_(holder) {}
    ~SerialPort();
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    void setPortName(const QString& path) { portName_ = path; }
    QString portName() const { return portName_; }

    // Opens for reading and writing in raw mode with the current settings.
    bool open();
    void close();
    bool isOpen() const { return fd_.load() >= 0; }

    bool setBaudRate(int baud);
    bool setDataBits(int bits);
    bool setParity(Parity parity);
    bool setStopBits(int bits);
    bool setFlowControl(FlowControl flow);
    // How long read() waits for the first byte; 0 returns at once.
    void setTimeout(int ms) { timeoutMs_ = ms; }
    int timeout() const { return timeoutMs_; }

    // Waits up to the time-out for data, then returns what is there (at most
    // max bytes): 0 on time-out, -1 when the port failed or vanished.
    qint64 read(char* buffer, qint64 max) { return read(buffer, max, timeoutMs_); }
    // The same with its own time-out (0: only what is there now).
    qint64 read(char* buffer, qint64 max, int timeoutMs);
    // Writes everything, waiting up to kWriteStallMs for room: the count, or
    // -1 when the port failed. After such a wait in vain the output is
    // restarted, the rest dropped, and the error is ETIMEDOUT.
    qint64 write(const char* data, qint64 count);
    // Writes are not buffered here: flush waits only for what the driver
    // holds, and never longer than a short bound.
    bool flush();
    // Everything pending now, without waiting.
    QByteArray readAll();
    // Waits up to timeoutMs until a read would not wait: bytes have arrived
    // or the port failed. False on time-out (or when the port is not open).
    bool waitForReadable(int timeoutMs);

    // Restarts output that an XOFF from the other end stopped; with
    // dropPending, first drops what still waits to be sent. False when the
    // port is not open.
    bool resumeOutput(bool dropPending);

    int errorNumber() const { return errno_; }
    QString errorString() const;

private:
    bool applySettings();
    void setError(int err);
    static void restartOutput(int fd);

    QString portName_;
    std::atomic<int> fd_{-1};
    int baud_ = 57600;
    int dataBits_ = 8;
    Parity parity_ = NoParity;
    int stopBits_ = 1;
    FlowControl flow_ = NoFlowControl;
    std::atomic<int> timeoutMs_{1000};
    std::atomic<int> errno_{0};
    // The part holding the port that refused the last open, or -1.
    std::atomic<int> refusedBy_{-1};
    HeldPort held_;
};
