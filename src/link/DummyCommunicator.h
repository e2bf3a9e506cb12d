#pragma once

#include "Communicator.h"

// The idle transport: keeps the system's transport pointer valid while no
// link is wanted. It never opens a port and never links; its port operations
// do nothing, and what is written to it is dropped.
class DummyCommunicator : public Communicator
{
    Q_OBJECT
public:
    DummyCommunicator();
    ~DummyCommunicator() override;

    void close() override {}
    void setTimeout(int) override {}
    QByteArray readAll() override { return QByteArray(); }
    void setFlowControl(SerialPort::FlowControl) override {}
    qint64 read(char*, qint64) override { return 0; }
    qint64 write(const char*, qint64) override { return 0; }
    void flush() override {}
    void setPortName(const QString&) override {}
    bool open() override { return false; }
    void setBaudRate(int) override {}
    void setParity(SerialPort::Parity) override {}
    void setDataBits(int) override {}
    void setStopBits(int) override {}
    bool connectToBms() override { return false; }

public slots:
    // Waits, sleeping between checks, until stop is requested; then done().
    void run() override;

protected:
    qint64 readAvailable(char*, qint64) override { return 0; }
};
