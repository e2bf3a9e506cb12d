#pragma once

#include "Communicator.h"

#include <QByteArray>
#include <QList>
#include <QMetaType>
#include <QMutex>
#include <QString>

#include <atomic>
#include <memory>

class CommunicatorSelector;

// The sentence link over the BLE USB dongle: the same transport interface as
// the serial one, with the sentence bytes carried as GATT writes to, and
// notifications from, the control unit's Bluetooth module. Its run() loop
// (in "Communicator Thread") reads the dongle's port and runs the dongle
// driver; the Bluetooth module page drives the module operations from the
// GUI thread and hears about scans, pairing and connections by its signals.
//
// The dongle driver keeps module-level state and no lock: every entry into
// it, from whichever thread, is made under one process-wide lock here.
// Lock order: port mutex, then the driver lock, then the receive mutex.
class BluetoothCommunicator : public Communicator
{
    Q_OBJECT
public:
    // A module seen in a scan.
    struct BTDevInfo
    {
        quint8 index = 0;  // the driver's index; connectDevice takes it
        QString name;      // advertised name, up to 29 characters
        quint32 value = 0; // the four bytes after the company id in the maker data
    };
    // The module's passkey: six ASCII digits, most significant first.
    struct BTDevPasskey
    {
        char digits[6] = {'0', '0', '0', '0', '0', '0'};
        QString text() const { return QString::fromLatin1(digits, 6); }
    };

    // The dongle's port description.
    static const char* const dongleDescription;

    // Makes the selector build this transport for CommunicatorSelector::Bluetooth.
    static void registerTransport(CommunicatorSelector& selector);

    BluetoothCommunicator();
    ~BluetoothCommunicator() override;

    // The transport interface.
    QList<PortRecord> availablePorts() override;
    void close() override {}
    void setTimeout(int) override {}
    QByteArray readAll() override;
    void setFlowControl(SerialPort::FlowControl) override {}
    qint64 read(char* buffer, qint64 max) override;
    // The driver sends the bytes in chunks of 20; -1 (and a log line) when it
    // refuses any of them.
    qint64 write(const char* data, qint64 count) override;
    void flush() override {}
    void setPortName(const QString&) override {}
    // Whether the module is connected and ready; opens nothing.
    bool open() override;
    void setBaudRate(int) override {}
    void setParity(SerialPort::Parity) override {}
    void setDataBits(int) override {}
    void setStopBits(int) override {}
    // The identification handshake over the ready module.
    bool connectToBms() override;

    // Module operations for the Bluetooth module page (GUI thread). The
    // results are the driver's codes: 0 done, 1 not ready, 2 bad argument or
    // not found, 3 bad length, 4 module locked, 5 busy.
    int connectDevice(const BTDevInfo& device);
    int disconnectDevice();
    int resetModule();
    int lockModule();
    // Empty: back to the module's own name; else 1 to 20 Latin-1 bytes.
    int setDeviceName(const QString& name);
    // Sets six digits as the PIN, or clears the PIN.
    int setPinProtection(const char* pin, bool on);
    bool isDeviceConnected() const { return bleConnected_; }
    // True while no module is ready or the module is locked.
    bool isModuleBusy();
    int enterPasskey(const char* digits);

    // The dongle's port as found by run() (empty before).
    QString donglePortName() const;

signals:
    void NewDeviceFound(BTDevInfo device);
    void Connected();
    void Disconnected();
    void DongleConnectionFailed();
    void passkeyRequested();
    void incorrectPasskey();
    void PasskeyReceived(BTDevPasskey passkey);

public slots:
    void run() override;
    // Emits DongleConnectionFailed when the dongle's port is gone.
    void CheckSerialPortConnection();

protected:
    // Hands what the dongle sent meanwhile to the driver, then takes from
    // the receive buffer.
    qint64 readAvailable(char* buffer, qint64 max) override;

private:
    friend class TestBluetoothCommunicator;

    int openDongle();
    void shutdownDongle();
    // Waits up to waitMs for the dongle's bytes and feeds the driver with
    // everything that came; false when the port failed.
    bool pumpDongle(int waitMs);
    // Keeps the driver running for ms milliseconds (or until stop), handling
    // its events as they come.
    void pumpFor(int ms);
    void onDriverEvent(int kind, const void* payload);
    void drainQueues();
    void handleDriverEvent(int code);
    void dongleLost();
    qint64 takeReceived(char* buffer, qint64 max);

    // How long stopping waits for the module to confirm a disconnection.
    int disconnectConfirmWaitMs_ = 1000;
    std::atomic<bool> bleConnected_{false};
    std::atomic<bool> disconnectSeen_{false};
    bool driverOpen_ = false; // loop thread
    bool dongleFailed_ = false;
    std::unique_ptr<SerialPort> dongle_;
    mutable QMutex nameMutex_;
    QString donglePortName_;

    // Filled by the driver callback (from any thread that entered the
    // driver), drained by run().
    QMutex receiveMutex_;
    QByteArray received_;
    QList<BTDevInfo> foundDevices_;
    QList<int> driverEvents_;
};

Q_DECLARE_METATYPE(BluetoothCommunicator::BTDevInfo)
Q_DECLARE_METATYPE(BluetoothCommunicator::BTDevPasskey)
Q_DECLARE_TYPEINFO(BluetoothCommunicator::BTDevPasskey, Q_MOVABLE_TYPE);
