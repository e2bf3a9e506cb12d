#pragma once

// The system's port list as a test stands in for it.
#include "PortList.h"

#include <QFileInfo>

// A port as Linux lists a USB adapter: its product name and USB ids, never
// "USB Serial Port".
inline PortEntry usbAdapter(const QString& path, const QString& product, quint16 vendor, quint16 productId)
{
    PortEntry e;
    e.name = QFileInfo(path).fileName();
    e.systemLocation = path;
    e.description = product;
    e.vendorId = vendor;
    e.productId = productId;
    e.hasIds = true;
    return e;
}
