#pragma once

#include <QList>
#include <QMap>
#include <QString>

// What the tool knows of each CAN peripheral type: part number, name and
// whether it is a cell group module (a module mapped onto cell strings).
struct CanDeviceCatalogEntry
{
    QString partNumber;
    QString name;
    int kind = 0; // 1 cell group module, 0 any other device
};

// The catalogue, ordered by type id. Filled once before main runs (or on
// first use, whichever comes first) and only read afterwards.
const QMap<quint16, CanDeviceCatalogEntry>& canDeviceCatalog();
void initCanDeviceCatalog();

// "PN?_%04X" for a type id the catalogue does not hold.
QString canDevicePartNumber(quint16 typeId);
// Part number, a space and the name; a fixed hint for unknown type ids.
QString canDeviceDescription(quint16 typeId);
bool canDeviceIsGroupModule(quint16 typeId);
// Only type 9 needs the cell enumeration and sorting.
bool canDeviceIsGen2GroupModule(quint16 typeId);
// Type ids of all group modules, ascending.
QList<quint16> canGroupModuleTypeIds();

constexpr quint16 kCanCurrentSensorType = 2;
