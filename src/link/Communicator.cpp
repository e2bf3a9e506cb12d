#include "Communicator.h"

#include "DonglePort.h"
#include "HeldPorts.h"
#include "Log.h"
#include "PortList.h"
#include "Y5ProtocolHandler.h"

#include <QFileInfo>
#include <QMutexLocker>
#include <QSerialPortInfo>
#include <QSettings>
#include <QThread>

#include <cerrno>
#include <chrono>
#include <thread>

Communicator::Communicator() : port_(std::make_unique<SerialPort>()) {}

Communicator::~Communicator() = default;

bool Communicator::isLoopThread() const
{
    QThread* loop = loopThread_;
    return loop == nullptr || loop == QThread::currentThread();
}

void Communicator::closePortNow(bool dropOutput)
{
    // Under the port mutex, so a close never lands inside a buffered read or
    // a sentence write of another thread.
    QMutexLocker lock(&portMutex_);
    if (dropOutput)
        port_->resumeOutput(true);
    port_->close();
}

void Communicator::sleepMs(int ms) const
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!stopRequested_) {
        const auto left = until - std::chrono::steady_clock::now();
        if (left <= std::chrono::milliseconds(0))
            break;
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(left, std::chrono::milliseconds(20)));
    }
}

bool Communicator::receiveBufferFull()
{
    QMutexLocker lock(&portMutex_);
    return nBytesInDataBuffer_ >= DATA_BUF_LEN - 1;
}

void Communicator::waitForBytes(int ms)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    // A full buffer takes no bytes: waiting on the port would not wait.
    if (!port_->isOpen() || receiveBufferFull()) {
        sleepMs(ms);
        return;
    }
    // In steps, so that a stop or a close request is seen promptly.
    while (!stopRequested_ && !closeRequested_) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return;
        if (port_->waitForReadable(int(std::min<qint64>(left.count(), 20))))
            return;
    }
}

QString Communicator::portName() const
{
    QMutexLocker lock(&nameMutex_);
    return portName_;
}

void Communicator::setConnectedPortName(const QString& name)
{
    QMutexLocker lock(&nameMutex_);
    portName_ = name;
}

void Communicator::resetConnection()
{
    configModeActive = false;
    linked = false;
    if (handler_)
        handler_->resetSessionState();
    emit sigStatusChanged(0);
}

QList<PortRecord> Communicator::availablePorts()
{
    QList<PortRecord> out;
    for (const PortEntry& p : availableSerialPorts())
        out.append(PortRecord::fromEntry(p));
    return out;
}

PortRecord PortRecord::fromEntry(const PortEntry& p)
{
    PortRecord r;
    r.portName = p.name;
    r.physicalName = p.systemLocation;
    r.friendlyName = p.description;
    r.vendorId = p.vendorId;
    r.productId = p.productId;
    return r;
}

void Communicator::close()
{
    // A close from another thread could race a read in progress.
    if (isLoopThread())
        closePortNow();
    else
        requestPortClose();
}

void Communicator::setTimeout(int ms)
{
    port_->setTimeout(ms);
}

QByteArray Communicator::readAll()
{
    return port_->readAll();
}

void Communicator::setFlowControl(SerialPort::FlowControl flow)
{
    port_->setFlowControl(flow);
}

qint64 Communicator::read(char* buffer, qint64 max)
{
    return port_->read(buffer, max);
}

qint64 Communicator::readAvailable(char* buffer, qint64 max)
{
    return port_->read(buffer, max, 0);
}

qint64 Communicator::write(const char* data, qint64 count)
{
    const qint64 n = port_->write(data, count);
    if (n < count && port_->errorNumber() == ETIMEDOUT)
        logMessage(QStringLiteral("Output on port %1 stayed stopped for %2 s: resumed it and dropped the unsent bytes")
                       .arg(port_->portName())
                       .arg(SerialPort::kWriteStallMs / 1000),
                   0);
    return n;
}

void Communicator::flush()
{
    port_->flush();
}

void Communicator::setPortName(const QString& name)
{
    port_->setPortName(name);
}

bool Communicator::open()
{
    return port_->open();
}

void Communicator::setBaudRate(int baud)
{
    port_->setBaudRate(baud);
}

void Communicator::setParity(SerialPort::Parity parity)
{
    port_->setParity(parity);
}

void Communicator::setDataBits(int bits)
{
    port_->setDataBits(bits);
}

void Communicator::setStopBits(int bits)
{
    port_->setStopBits(bits);
}

void Communicator::configurePort()
{
    setBaudRate(kBaudRate);
    setFlowControl(SerialPort::XonXoff);
    setParity(SerialPort::NoParity);
    setDataBits(8);
    setStopBits(1);
    setTimeout(100);
    flush();
}

void Communicator::clearReceiveBuffer()
{
    {
        QMutexLocker lock(&portMutex_);
        nBytesInDataBuffer_ = 0;
        dataBuffer_[0] = 0;
    }
    setTimeout(0);
    readAll();
    setTimeout(50);
}

bool Communicator::selectedPortName(QString& name)
{
    if (autoConnection)
        return true;
    const QString chosen = portNameFromEntry(portName());
    if (chosen.isEmpty()) {
        emit sigStatusChanged(0);
        return false;
    }
    name = chosen;
    return true;
}

bool Communicator::writeSentence(const QString& sentence)
{
    const QByteArray bytes = sentence.toLatin1();
    QMutexLocker lock(&portMutex_);
    const bool written = write(bytes.constData(), bytes.size()) == bytes.size();
    flush();
    return written;
}

void Communicator::selectPort(const QString& entry)
{
    {
        QMutexLocker lock(&nameMutex_);
        portName_ = entry;
    }
    // A search under way holds the new choice at once.
    if (!autoConnection && chosenPort_.isHolding()) {
        const QString name = portNameFromEntry(entry);
        holdChosenPort(name.isEmpty() ? QString() : portSystemLocation(name));
    }
    resetConnection();
}

bool Communicator::holdChosenPort(const QString& path)
{
    if (path.isEmpty() || isDonglePortPath(path)) {
        chosenPort_.release();
        return false;
    }
    chosenPort_.hold(path);
    return true;
}

bool Communicator::readIntoBuffer()
{
    qint64 n;
    {
        QMutexLocker lock(&portMutex_);
        n = readAvailable(dataBuffer_ + nBytesInDataBuffer_, DATA_BUF_LEN - 1 - nBytesInDataBuffer_);
        if (n < 0)
            return false;
        nBytesInDataBuffer_ += int(n);
        dataBuffer_[nBytesInDataBuffer_] = 0;
    }
    // The handler's slot (direct connection) takes the port mutex itself.
    if (n > 0)
        emit sigDataReceived();
    return true;
}

void Communicator::setAutoConnection(bool on)
{
    autoConnection = on;
    QSettings().setValue(QStringLiteral("AutoConnection"), on);
}

int Communicator::tryPort(const QString& name, const QString& path)
{
    logMessage(QStringLiteral("Trying to connect on port ") + name, 3);
    setPortName(path);
    closePortNow();
    if (!open()) {
        logMessage(QStringLiteral("Cannot open port %1 %2 %3")
                       .arg(name, port_->errorString())
                       .arg(port_->errorNumber()),
                   0);
        return 0;
    }
    logMessage(QStringLiteral("Port opened ") + name, 0);
    configurePort();
    clearReceiveBuffer();
    if (!handler_) {
        closePortNow();
        return 0;
    }
    handler_->clearSentenceQueue();
    for (int attempt = 0; attempt < 4; ++attempt) {
        bool isLedOrCan = false;
        const bool ok = handler_->identifyDevice(name, isLedOrCan);
        if (stopRequested_)
            return -1;
        if (ok) {
            // A configuration restore that holds the link returns false with
            // the link kept: go on reading this port, not the next one.
            const bool started = handler_->startSession(isLedOrCan, name);
            return started || linked || restoreHold ? 1 : 0;
        }
    }
    closePortNow();
    return 0;
}

bool Communicator::connectToBms()
{
    if (linked || restoreHold)
        return true;
    QString chosen;
    if (!selectedPortName(chosen))
        return false;

    if (autoConnection) {
        closePortNow();
        const QString donglePath = qEnvironmentVariable(kDonglePortVariable);
        for (const PortEntry& p : availableSerialPorts()) {
            if (stopRequested_)
                return false;
            // Never the dongle, nor a port another part of this program
            // holds (the display unit's).
            if (!isAutoConnectCandidate(p) || isDonglePort(p, donglePath)
                || isSerialPortHeldByOther(p.systemLocation, PortHolder::ControlUnit))
                continue;
            emit sigStatusChanged(0);
            const int r = tryPort(p.name, p.systemLocation);
            if (r > 0)
                chosenPort_.hold(p.systemLocation);
            if (r != 0)
                return r > 0;
        }
    } else if (!stopRequested_) {
        // The chosen port is tried once per attempt, whether or not the
        // system lists it; the dongle is never written to as a unit.
        const QString path = portSystemLocation(chosen);
        if (!holdChosenPort(path)) {
            logMessage(QStringLiteral("Cannot open port %1: it is the Bluetooth dongle").arg(chosen), 0);
        } else {
            const int r = tryPort(chosen, path);
            if (r != 0)
                return r > 0;
        }
    }
    configModeActive = false;
    emit sigStatusChanged(0);
    return false;
}

void Communicator::run()
{
    loopThread_ = QThread::currentThread();
    bool lossLogged = false;
    // The CAN jobs keep their 30 ms cadence whatever the reads do.
    constexpr auto kJobTick = std::chrono::milliseconds(30);
    auto nextJobTick = std::chrono::steady_clock::now();
    for (;;) {
        emit sigStatusChanged(0);
        for (;;) {
            if (stopRequested_) {
                // A serial updater still working on this port ends first:
                // whoever stopped the loop may delete the transport next.
                if (handler_)
                    handler_->endFirmwareUpdate();
                closePortNow();
                chosenPort_.release();
                loopThread_ = nullptr;
                emit done();
                return;
            }
            // Asked by the keep-alive when the unit went silent: a stopped
            // output of that session must not mute the reconnection.
            if (closeRequested_.exchange(false))
                closePortNow(true);
            if (handler_ && handler_->isFirmwareUpdating()) {
                // The updater owns the port until it ends.
                while (handler_->isFirmwareUpdating() && !stopRequested_)
                    sleepMs(20);
                closePortNow();
                continue;
            }
            if (!linked && !restoreHold) {
                if (!connectToBms()) {
                    sleepMs(1000);
                    continue;
                }
            }
            if (!readIntoBuffer()) {
                // While a restore holds the link with the port closed every
                // read fails at once: pause, and say it once.
                if (!lossLogged)
                    logMessage(QStringLiteral("Lost connection to BMS due to error receiving data"), 0);
                lossLogged = restoreHold;
                linked = false;
                // A different unit may answer next: nothing of this one's
                // session is kept.
                if (handler_)
                    handler_->resetSessionState();
                closePortNow();
                if (restoreHold)
                    sleepMs(1000);
                break;
            }
            lossLogged = false;
            const auto now = std::chrono::steady_clock::now();
            if (now >= nextJobTick) {
                emit sigCanProcess();
                emit sigToshibaSCiBProcess();
                nextJobTick = now + kJobTick;
            }
            waitForBytes(int(std::chrono::duration_cast<std::chrono::milliseconds>(nextJobTick - now).count()));
        }
    }
}
