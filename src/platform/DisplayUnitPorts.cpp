#include "DisplayUnitPorts.h"

#include "DonglePort.h"
#include "HeldPorts.h"

#include <QFileInfo>

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
        if (isUsbSerialPort(p) && !isDonglePort(p, donglePath) && !isSerialPortHeldByOther(p.systemLocation, PortHolder::DisplayUnit))
            out.append(p);
    }
    return out;
}
