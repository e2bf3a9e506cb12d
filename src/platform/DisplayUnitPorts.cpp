#include "DisplayUnitPorts.h"

#include "DonglePort.h"
#include "HeldPorts.h"

#include <QFileInfo>

namespace {

bool isDongle(const PortEntry& port, const QString& donglePath)
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

} // namespace

bool isUsbSerialPort(const PortEntry& port)
{
    return port.description.contains(QLatin1String("USB Serial Port")) || port.hasIds
        || isUsbTtyDevice(port.systemLocation);
}

QList<PortEntry> displayUnitCandidates(const QList<PortEntry>& ports)
{
    const QString donglePath = qEnvironmentVariable(kDonglePortVariable);
    QList<PortEntry> out;
    for (const PortEntry& p : ports) {
        if (isUsbSerialPort(p) && !isDongle(p, donglePath) && !isSerialPortHeld(p.systemLocation))
            out.append(p);
    }
    return out;
}
