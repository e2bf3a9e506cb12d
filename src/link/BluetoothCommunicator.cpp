#include "BluetoothCommunicator.h"

#include "Bled112.h"
#include "CommunicatorSelector.h"
#include "DonglePort.h"
#include "Log.h"
#include "Y5ProtocolHandler.h"

#include <QAbstractItemModel>
#include <QElapsedTimer>
#include <QMutexLocker>
#include <QPersistentModelIndex>
#include <QThread>
#include <QVector>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

namespace {

// The driver's state is module-level and it has no lock of its own: every
// entry (the byte input, every BLED112_* call, and so the callback) is made
// under this one lock, whichever thread calls.
QMutex g_driverMutex;
// Under g_driverMutex: the transport whose callback is installed, and the
// driver's byte input.
BluetoothCommunicator* g_owner = nullptr;
Bled112Input g_input = nullptr;

using DriverLock = QMutexLocker;

QString resultText(int code)
{
    switch (code) {
    case 0: return QStringLiteral("done");
    case 1: return QStringLiteral("module not ready");
    case 2: return QStringLiteral("invalid or not found");
    case 3: return QStringLiteral("bad length");
    case 4: return QStringLiteral("module locked");
    case 5: return QStringLiteral("module busy");
    default: return QStringLiteral("error %1").arg(code);
    }
}

} // namespace

const char* const BluetoothCommunicator::dongleDescription = kDongleDescription;

void BluetoothCommunicator::registerTransport(CommunicatorSelector& selector)
{
    selector.setFactory(CommunicatorSelector::Bluetooth, [] { return new BluetoothCommunicator; });
}

BluetoothCommunicator::BluetoothCommunicator()
{
    qRegisterMetaType<BluetoothCommunicator::BTDevInfo>("BTDevInfo");
    qRegisterMetaType<BluetoothCommunicator::BTDevInfo>();
    qRegisterMetaType<BluetoothCommunicator::BTDevPasskey>("BTDevPasskey");
    qRegisterMetaType<BluetoothCommunicator::BTDevPasskey>();
    // For the queued signals of the Bluetooth module page's item model.
    qRegisterMetaType<QList<QPersistentModelIndex>>();
    qRegisterMetaType<QVector<int>>();
    qRegisterMetaType<QAbstractItemModel::LayoutChangeHint>();
}

BluetoothCommunicator::~BluetoothCommunicator()
{
    // run() shuts the dongle down in its own thread; this only covers a loop
    // that never got there.
    shutdownDongle();
}

QString BluetoothCommunicator::donglePortName() const
{
    QMutexLocker lock(&nameMutex_);
    return donglePortName_;
}

// ---- the transport interface

QList<PortRecord> BluetoothCommunicator::availablePorts()
{
    QList<PortRecord> out;
    PortEntry p;
    if (findDonglePort(p))
        out.append(PortRecord::fromEntry(p));
    return out;
}

QByteArray BluetoothCommunicator::readAll()
{
    // Only a serial firmware update that is starting takes the whole buffer;
    // the handshake's buffer clearing must not lose the unit's bytes.
    if (!handler_ || !handler_->updateStarting)
        return QByteArray();
    QMutexLocker lock(&receiveMutex_);
    QByteArray all;
    all.swap(received_);
    return all;
}

qint64 BluetoothCommunicator::takeReceived(char* buffer, qint64 max)
{
    if (!buffer || max <= 0)
        return 0;
    QMutexLocker lock(&receiveMutex_);
    const int n = int(std::min<qint64>(max, received_.size()));
    if (n > 0) {
        std::memcpy(buffer, received_.constData(), size_t(n));
        received_.remove(0, n);
    }
    return n;
}

qint64 BluetoothCommunicator::read(char* buffer, qint64 max)
{
    return takeReceived(buffer, max);
}

qint64 BluetoothCommunicator::readAvailable(char* buffer, qint64 max)
{
    // Within a handshake the loop is not pumping: take what the dongle has.
    if (QThread::currentThread() == loopThread_.load() && driverOpen_)
        pumpDongle(0);
    return takeReceived(buffer, max);
}

qint64 BluetoothCommunicator::write(const char* data, qint64 count)
{
    if (count < 0 || count > 0xFFFF)
        return -1;
    int rc;
    {
        DriverLock lock(&g_driverMutex);
        rc = BLED112_write(reinterpret_cast<const uint8_t*>(data), int(count));
    }
    if (rc != 0) {
        // Not sent: say so rather than let the sentence vanish.
        logMessage(QStringLiteral("Bluetooth write of %1 bytes refused: %2").arg(count).arg(resultText(rc)), 0);
        return -1;
    }
    return count;
}

bool BluetoothCommunicator::open()
{
    return bleConnected_;
}

bool BluetoothCommunicator::connectToBms()
{
    if (linked || restoreHold)
        return true;
    if (!bleConnected_)
        return false;
    const QString name = donglePortName();
    if (tryPort(name, name) > 0)
        return true;
    configModeActive = false;
    emit sigStatusChanged(0);
    return false;
}

// ---- module operations

int BluetoothCommunicator::connectDevice(const BTDevInfo& device)
{
    DriverLock lock(&g_driverMutex);
    return BLED112_connect(device.index);
}

int BluetoothCommunicator::disconnectDevice()
{
    int rc;
    {
        DriverLock lock(&g_driverMutex);
        rc = BLED112_disconnect();
    }
    resetConnection();
    bleConnected_ = false;
    return rc;
}

int BluetoothCommunicator::resetModule()
{
    DriverLock lock(&g_driverMutex);
    return BLED112_reset();
}

int BluetoothCommunicator::lockModule()
{
    DriverLock lock(&g_driverMutex);
    return BLED112_lock();
}

int BluetoothCommunicator::setDeviceName(const QString& name)
{
    const QByteArray bytes = name.toLatin1();
    DriverLock lock(&g_driverMutex);
    if (bytes.isEmpty())
        return BLED112_clearName();
    return BLED112_setName(reinterpret_cast<const uint8_t*>(bytes.constData()), bytes.size());
}

int BluetoothCommunicator::setPinProtection(const char* pin, bool on)
{
    DriverLock lock(&g_driverMutex);
    return on ? BLED112_setPin(pin) : BLED112_clearPin();
}

bool BluetoothCommunicator::isModuleBusy()
{
    DriverLock lock(&g_driverMutex);
    return BLED112_getModuleState() != 0;
}

int BluetoothCommunicator::enterPasskey(const char* digits)
{
    DriverLock lock(&g_driverMutex);
    return BLED112_enterPasskey(digits);
}

void BluetoothCommunicator::CheckSerialPortConnection()
{
    PortEntry p;
    if (!findDonglePort(p))
        emit DongleConnectionFailed();
}

// ---- the dongle and its driver

int BluetoothCommunicator::openDongle()
{
    PortEntry port;
    if (!findDonglePort(port)) {
        logMessage(QStringLiteral("No Bluetooth dongle found"), 0);
        return -1;
    }
    {
        QMutexLocker lock(&nameMutex_);
        donglePortName_ = port.systemLocation;
    }
    dongle_ = std::make_unique<SerialPort>(PortHolder::Dongle);
    dongle_->setPortName(port.systemLocation);
    dongle_->setBaudRate(kBaudRate);
    dongle_->setDataBits(8);
    dongle_->setParity(SerialPort::NoParity);
    dongle_->setStopBits(1);
    dongle_->setFlowControl(SerialPort::NoFlowControl);
    dongle_->setTimeout(1000);
    bool reported = false;
    while (!dongle_->open()) {
        if (!reported) {
            // Said once; it keeps trying (the port may be busy a moment).
            logMessage(QStringLiteral("Cannot open Bluetooth dongle port %1 %2")
                           .arg(port.systemLocation, dongle_->errorString()),
                       0);
            emit DongleConnectionFailed();
            reported = true;
        }
        sleepMs(500);
        if (stopRequested_)
            return -1;
    }
    // What an earlier session left unread is no answer to this one.
    dongle_->readAll();

    SerialPort* dongle = dongle_.get();
    DriverLock lock(&g_driverMutex);
    g_owner = this;
    BLED112_setEventCallback([this](int kind, const void* payload) { onDriverEvent(kind, payload); });
    BLED112_open(
        [dongle](const uint8_t* bytes, size_t length) {
            if (dongle->isOpen())
                dongle->write(reinterpret_cast<const char*>(bytes), qint64(length));
        },
        &g_input);
    BLED112_startScan();
    driverOpen_ = true;
    logMessage(QStringLiteral("Bluetooth dongle opened on ") + port.systemLocation, 3);
    return 0;
}

void BluetoothCommunicator::shutdownDongle()
{
    if (driverOpen_) {
        bool confirmationDue;
        {
            DriverLock lock(&g_driverMutex);
            disconnectSeen_ = false;
            BLED112_stopScan();
            BLED112_disconnect();
            // Only a held connection is confirmed: a connection attempt that
            // was merely cancelled never is.
            confirmationDue = BLED112_isDisconnecting();
        }
        // The module confirms the disconnection; it gets a bounded while.
        if (confirmationDue && !dongleFailed_) {
            QElapsedTimer t;
            t.start();
            while (!disconnectSeen_ && t.elapsed() < disconnectConfirmWaitMs_) {
                if (!pumpDongle(20))
                    break;
            }
        }
        DriverLock lock(&g_driverMutex);
        if (g_owner == this) {
            BLED112_close();
            BLED112_setEventCallback(nullptr);
            g_input = nullptr;
            g_owner = nullptr;
        }
        driverOpen_ = false;
    }
    if (dongle_) {
        dongle_->flush();
        dongle_->close();
    }
    bleConnected_ = false;
}

bool BluetoothCommunicator::pumpDongle(int waitMs)
{
    if (!dongle_ || !dongle_->isOpen()) {
        sleepMs(waitMs);
        return false;
    }
    char bytes[512];
    qint64 n = dongle_->read(bytes, sizeof bytes, waitMs);
    while (n > 0) {
        {
            DriverLock lock(&g_driverMutex);
            if (g_owner == this && g_input)
                g_input(reinterpret_cast<const uint8_t*>(bytes), size_t(n));
        }
        n = dongle_->read(bytes, sizeof bytes, 0);
    }
    return n == 0;
}

void BluetoothCommunicator::pumpFor(int ms)
{
    QElapsedTimer t;
    t.start();
    for (;;) {
        const int left = ms - int(t.elapsed());
        if (left <= 0 || stopRequested_ || dongleFailed_)
            return;
        if (!pumpDongle(std::min(left, 20))) {
            if (driverOpen_ && !dongleFailed_)
                dongleLost();
            return;
        }
        drainQueues();
    }
}

// Under the driver lock, in whichever thread entered the driver.
void BluetoothCommunicator::onDriverEvent(int kind, const void* payload)
{
    if (kind == BLED112_ERROR) {
        // A failed pairing or discovery step would otherwise leave no trace.
        if (const auto* e = static_cast<const DriverError*>(payload))
            logMessage(QStringLiteral("Bluetooth dongle: %1 (stage %2, code 0x%3)")
                           .arg(QString::fromLatin1(e->text ? e->text : "error"))
                           .arg(e->stage)
                           .arg(e->code, 4, 16, QLatin1Char('0')),
                       0);
        return;
    }
    QMutexLocker lock(&receiveMutex_);
    switch (kind) {
    case BLED112_DISCONNECTED:
        disconnectSeen_ = true;
        // Bytes of the ended connection are no part of the next one; emptied
        // here, where the order with later data is still right.
        received_.clear();
        driverEvents_.append(kind);
        break;
    case BLED112_CONNECTED:
    case BLED112_SCAN_STARTED:
    case BLED112_SCAN_STOPPED:
    case BLED112_PASSKEY_REQUESTED:
    case BLED112_INCORRECT_PASSKEY:
        driverEvents_.append(kind);
        break;
    case BLED112_DEVICE_FOUND:
        if (const auto* found = static_cast<const DriverModuleFound*>(payload)) {
            BTDevInfo info;
            info.index = found->index;
            info.name = QString::fromUtf8(found->name, int(strnlen(found->name, sizeof found->name - 1)));
            info.value = found->value;
            foundDevices_.append(info);
        }
        break;
    case BLED112_DATA_RECEIVED:
        if (const auto* data = static_cast<const Bled112Data*>(payload))
            received_.append(reinterpret_cast<const char*>(data->data), data->length);
        break;
    default:
        break;
    }
}

void BluetoothCommunicator::drainQueues()
{
    QList<BTDevInfo> found;
    QList<int> events;
    {
        QMutexLocker lock(&receiveMutex_);
        found.swap(foundDevices_);
        events.swap(driverEvents_);
    }
    for (const BTDevInfo& d : found)
        emit NewDeviceFound(d);
    // Every event in order: a quick disconnection and reconnection must end
    // connected.
    for (int code : events)
        handleDriverEvent(code);
}

void BluetoothCommunicator::handleDriverEvent(int code)
{
    switch (code) {
    case BLED112_DISCONNECTED: {
        bleConnected_ = false;
        if (linked) {
            logMessage(QStringLiteral("Lost connection to BMS: Bluetooth module disconnected"), 0);
            resetConnection();
        }
        emit Disconnected();
        DriverLock lock(&g_driverMutex);
        BLED112_startScan();
        break;
    }
    case BLED112_CONNECTED: {
        bleConnected_ = true;
        emit Connected();
        BTDevPasskey passkey;
        int rc;
        {
            DriverLock lock(&g_driverMutex);
            BLED112_stopScan();
            rc = BLED112_getPasskey(passkey.digits);
        }
        if (rc == 0)
            emit PasskeyReceived(passkey);
        break;
    }
    case BLED112_PASSKEY_REQUESTED:
        emit passkeyRequested();
        break;
    case BLED112_INCORRECT_PASSKEY:
        emit incorrectPasskey();
        break;
    default:
        break;
    }
}

void BluetoothCommunicator::dongleLost()
{
    dongleFailed_ = true;
    logMessage(QStringLiteral("Bluetooth dongle port %1 failed").arg(donglePortName()), 0);
    const bool wasConnected = bleConnected_.exchange(false);
    if (linked)
        resetConnection();
    if (wasConnected)
        emit Disconnected();
}

void BluetoothCommunicator::run()
{
    loopThread_ = QThread::currentThread();
    emit sigStatusChanged(0);
    if (openDongle() != 0) {
        if (!stopRequested_)
            emit DongleConnectionFailed();
        while (!stopRequested_)
            sleepMs(50);
        loopThread_ = nullptr;
        emit done();
        return;
    }
    while (!stopRequested_) {
        if (dongleFailed_) {
            // Nothing to drive until the page switches away.
            sleepMs(50);
            continue;
        }
        // Waits for the dongle's next bytes (briefly) on every pass, so the
        // loop never spins, with or without a module.
        if (!pumpDongle(linked ? 0 : 20)) {
            dongleLost();
            continue;
        }
        drainQueues();
        if (!bleConnected_)
            continue;
        if (handler_ && handler_->isFirmwareUpdating()) {
            // The updater reads and writes through this transport until it
            // ends; the driver must keep running for it meanwhile.
            while (handler_->isFirmwareUpdating() && !stopRequested_ && !dongleFailed_)
                pumpFor(20);
            continue;
        }
        if (!(handler_ && handler_->isConnected()) && !connectToBms()) {
            // The unit did not answer: try again shortly, keeping the module
            // served meanwhile.
            pumpFor(500);
            continue;
        }
        if (!readIntoBuffer()) {
            logMessage(QStringLiteral("Lost connection to BMS due to error receiving data"), 0);
            linked = false;
            if (handler_)
                handler_->resetSessionState();
            emit sigStatusChanged(0);
            continue;
        }
        emit sigCanProcess();
        emit sigToshibaSCiBProcess();
        pumpFor(30);
    }
    // A serial updater still working through this transport ends first.
    if (handler_)
        handler_->endFirmwareUpdate();
    shutdownDongle();
    linked = false;
    loopThread_ = nullptr;
    emit done();
}
