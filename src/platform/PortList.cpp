#include "PortList.h"

#include <QFileInfo>
#include <QMutex>
#include <QMutexLocker>
#include <QSerialPortInfo>
#include <QtGlobal>

namespace {
struct Lister
{
    QMutex mutex;
    SystemPortLister lister;
};
Lister& standIn()
{
    static Lister l;
    return l;
}
} // namespace

void setSystemPortLister(SystemPortLister lister)
{
    QMutexLocker lock(&standIn().mutex);
    standIn().lister = std::move(lister);
}

QList<PortEntry> systemSerialPorts()
{
    SystemPortLister lister;
    {
        QMutexLocker lock(&standIn().mutex);
        lister = standIn().lister;
    }
    if (lister)
        return lister();
    QList<PortEntry> ports;
    const auto infos = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo& info : infos) {
        PortEntry e;
        e.name = info.portName();
        e.systemLocation = info.systemLocation();
        e.description = info.description();
        e.hasIds = info.hasVendorIdentifier() && info.hasProductIdentifier();
        if (e.hasIds) {
            e.vendorId = info.vendorIdentifier();
            e.productId = info.productIdentifier();
        }
        ports.append(e);
    }
    return ports;
}

QList<PortEntry> availableSerialPorts()
{
    QList<PortEntry> ports = systemSerialPorts();
    const QString extra = qEnvironmentVariable(kExtraPortsVariable);
    const QStringList paths = extra.split(QLatin1Char(':'), Qt::SkipEmptyParts);
    for (const QString& path : paths) {
        PortEntry e;
        e.name = path;
        e.systemLocation = path;
        e.description = QStringLiteral("USB Serial Port");
        ports.append(e);
    }
    return ports;
}

QString portEntryText(const PortEntry& port)
{
    return port.name + QStringLiteral(" - ") + port.description;
}

QString portNameFromEntry(const QString& entry)
{
    const int cut = entry.indexOf(QStringLiteral(" - "));
    const QString name = (cut < 0 ? entry : entry.left(cut)).trimmed();
#ifdef Q_OS_WIN
    if (!name.contains(QStringLiteral("COM")))
        return QString();
#endif
    return name;
}

QString portSystemLocation(const QString& name)
{
    if (name.startsWith(QLatin1Char('/')))
        return name;
    const auto ports = availableSerialPorts();
    for (const PortEntry& p : ports) {
        if (p.name == name)
            return p.systemLocation;
    }
#ifdef Q_OS_WIN
    return name;
#else
    return QStringLiteral("/dev/") + name;
#endif
}

bool isAutoConnectCandidate(const PortEntry& port)
{
    if (port.description.contains(QStringLiteral("USB")) && port.description.contains(QStringLiteral("Serial")))
        return true;
    return isUsbTtyDevice(port.systemLocation);
}

bool isUsbTtyDevice(const QString& systemLocation)
{
#ifdef Q_OS_WIN
    Q_UNUSED(systemLocation);
    return false;
#else
    const QString base = QFileInfo(systemLocation).fileName();
    return systemLocation.startsWith(QStringLiteral("/dev/"))
        && (base.startsWith(QStringLiteral("ttyUSB")) || base.startsWith(QStringLiteral("ttyACM")));
#endif
}
