#pragma once

#include "HeldPorts.h"
#include "PortList.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>

class QSerialPort;
class QTimer;

// The display unit's USB serial adapter: finds a USB serial port of the port
// list that has not been rejected (never the BLE dongle, never a port the
// program's other parts hold), opens it at 57600 8N1, watches that it is still
// there and passes on what arrives. Which candidate really is a display unit
// is decided by the window, which rejects a port that does not answer its
// identification. Ports are named by their system location throughout.
// Everything runs in the thread that called start() (the GUI thread).
class usbport : public QObject
{
    Q_OBJECT
public:
    usbport();
    ~usbport() override;

    void start();
    void stop();
    void startScan();
    void stopScan();
    bool openPort(const QString& name);
    bool closePort();
    qint64 write(const char* data, int length);
    bool isPortPresent() const;
    bool isConnected() const;
    void scanPorts();
    void markTried(const QString& name);
    void rejectCurrentPort();

    bool isStarted() const { return started; }
    bool isScanning() const;
    bool isWatching() const;
    QString currentPortName() const { return portName; }
    QList<QString> triedPortNames() const { return triedPorts; }

    static constexpr int kRescanMs = 250;
    static constexpr int kWatchdogMs = 1000;

signals:
    void connStatus(bool present);
    void dataReceived(QByteArray bytes);

private:
    QList<PortEntry> listedPorts() const;
    void rescanTick();
    void watchdogTick();
    void readAvailable();

    bool started = false;
    QSerialPort* serial = nullptr;
    QTimer* rescanTimer = nullptr;
    QTimer* watchdogTimer = nullptr;
    bool connected = false;
    QList<QString> triedPorts;
    QString portName;
    HeldPort held{PortHolder::DisplayUnit};
};
