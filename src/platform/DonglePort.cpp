#include "DonglePort.h"

#include <QFileInfo>

bool findDonglePort(const QList<PortEntry>& ports, const QString& overridePath, PortEntry& found)
{
    if (!overridePath.isEmpty() && QFileInfo::exists(overridePath)) {
        found = PortEntry();
        found.name = overridePath;
        found.systemLocation = overridePath;
        found.description = QString::fromUtf8(kDongleDescription);
        return true;
    }
    // A description that only contains the dongle's text belongs to some
    // other device: it must be equal.
    for (const PortEntry& p : ports) {
        if (p.description == QLatin1String(kDongleDescription)) {
            found = p;
            return true;
        }
    }
    for (const PortEntry& p : ports) {
        if (p.hasIds && p.vendorId == kDongleVendorId && p.productId == kDongleProductId) {
            found = p;
            return true;
        }
    }
    return false;
}

bool findDonglePort(PortEntry& found)
{
    return findDonglePort(availableSerialPorts(), qEnvironmentVariable(kDonglePortVariable), found);
}

bool isDonglePort(const PortEntry& port, const QString& donglePath)
{
    if (port.description == QLatin1String(kDongleDescription))
        return true;
    if (port.hasIds && port.vendorId == kDongleVendorId && port.productId == kDongleProductId)
        return true;
    if (donglePath.isEmpty())
        return false;
    const QString a = QFileInfo(port.systemLocation).canonicalFilePath();
    return !a.isEmpty() && a == QFileInfo(donglePath).canonicalFilePath();
}

bool isDonglePort(const PortEntry& port)
{
    return isDonglePort(port, qEnvironmentVariable(kDonglePortVariable));
}

QList<PortEntry> withoutDongle(const QList<PortEntry>& ports)
{
    const QString donglePath = qEnvironmentVariable(kDonglePortVariable);
    QList<PortEntry> out;
    for (const PortEntry& p : ports)
        if (!isDonglePort(p, donglePath))
            out.append(p);
    return out;
}

bool isDonglePortPath(const QString& path)
{
    PortEntry entry;
    entry.name = entry.systemLocation = path;
    for (const PortEntry& p : availableSerialPorts())
        if (p.systemLocation == path || p.name == path)
            entry = p;
    return isDonglePort(entry);
}
