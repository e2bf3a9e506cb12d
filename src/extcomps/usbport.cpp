#include "usbport.h"

#include "DisplayUnitPorts.h"
#include "DonglePort.h"

#include <QDebug>
#include <QFileInfo>
#include <QSerialPort>
#include <QTimer>

usbport::usbport() = default;

usbport::~usbport()
{
    stop();
}

QList<PortEntry> usbport::listedPorts() const
{
    QList<PortEntry> ports = availableSerialPorts();
#ifndef Q_OS_WIN
    // Extra ports named by path are listed whether or not they exist; an
    // unplugged one must count as gone.
    for (int i = ports.size() - 1; i >= 0; --i) {
        const QString& path = ports.at(i).systemLocation;
        if (path.startsWith(QLatin1Char('/')) && !QFileInfo::exists(path))
            ports.removeAt(i);
    }
#endif
    return ports;
}

void usbport::start()
{
    if (started)
        return;
    serial = new QSerialPort;
    // Connected once: the port object serves every port it opens.
    connect(serial, &QSerialPort::readyRead, this, &usbport::readAvailable, Qt::DirectConnection);
    portName.clear();
    rescanTimer = new QTimer;
    connect(rescanTimer, &QTimer::timeout, this, &usbport::rescanTick, Qt::DirectConnection);
    watchdogTimer = new QTimer;
    connect(watchdogTimer, &QTimer::timeout, this, &usbport::watchdogTick, Qt::DirectConnection);
    started = true;
}

void usbport::stop()
{
    if (!started)
        return;
    rescanTimer->stop();
    watchdogTimer->stop();
    closePort();
    started = false;
    delete rescanTimer;
    delete watchdogTimer;
    delete serial;
    rescanTimer = watchdogTimer = nullptr;
    serial = nullptr;
}

void usbport::startScan()
{
    if (!started)
        return;
    rescanTimer->start(kRescanMs);
    watchdogTimer->stop();
}

void usbport::stopScan()
{
    if (started)
        rescanTimer->stop();
}

bool usbport::isScanning() const
{
    return started && rescanTimer->isActive();
}

bool usbport::isWatching() const
{
    return started && watchdogTimer->isActive();
}

bool usbport::openPort(const QString& name)
{
    if (!started)
        return false;
    // Not the control unit's port (held also while its link is down), nor
    // the dongle: the identification would be written into them.
    if (isSerialPortHeldByOther(name, PortHolder::DisplayUnit) || isDonglePortPath(name))
        return false;
    serial->setPortName(name);
    serial->close();
    if (!serial->open(QIODevice::ReadWrite)) {
        // The previous port is closed by now: say so rather than keep its name.
        closePort();
        return false;
    }
    portName = name;
    held.hold(name);
    serial->setBaudRate(QSerialPort::Baud57600, QSerialPort::AllDirections);
    serial->setDataBits(QSerialPort::Data8);
    serial->setStopBits(QSerialPort::OneStop);
    serial->setParity(QSerialPort::NoParity);
    serial->setFlowControl(QSerialPort::NoFlowControl);
    connected = true;
    emit connStatus(isPortPresent());
    watchdogTimer->start(kWatchdogMs);
    return true;
}

bool usbport::closePort()
{
    portName.clear();
    if (serial)
        serial->close();
    held.release();
    connected = false;
    if (watchdogTimer)
        watchdogTimer->stop();
    return true;
}

qint64 usbport::write(const char* data, int length)
{
    if (!serial || !serial->isOpen())
        return -1;
    return serial->write(data, length);
}

bool usbport::isPortPresent() const
{
    if (portName.isEmpty())
        return false;
    const auto ports = listedPorts();
    for (const PortEntry& p : ports) {
        if (p.systemLocation == portName)
            return true;
    }
    return false;
}

bool usbport::isConnected() const
{
    return connected && isPortPresent();
}

void usbport::scanPorts()
{
    bool opened = false;
    const auto ports = displayUnitCandidates(listedPorts());
    for (const PortEntry& p : ports) {
        if (triedPorts.contains(p.systemLocation))
            continue;
        if (openPort(p.systemLocation)) {
            opened = true;
            break;
        }
    }
    if (!opened)
        triedPorts.clear();
}

void usbport::markTried(const QString& name)
{
    if (!name.isEmpty() && !triedPorts.contains(name))
        triedPorts.append(name);
}

void usbport::rejectCurrentPort()
{
    markTried(portName);
    closePort();
}

void usbport::rescanTick()
{
    if (!isPortPresent())
        scanPorts();
}

void usbport::watchdogTick()
{
    if (connected && isPortPresent())
        return;
    qDebug() << "display unit port lost: connected" << connected << "present" << isPortPresent();
    closePort();
    emit connStatus(false);
    rescanTimer->start(kRescanMs);
    watchdogTimer->stop();
}

void usbport::readAvailable()
{
    const QByteArray bytes = serial->readAll();
    if (!bytes.isEmpty())
        emit dataReceived(bytes);
}
