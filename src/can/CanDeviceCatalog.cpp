#include "CanDeviceCatalog.h"

namespace {
QMap<quint16, CanDeviceCatalogEntry> buildCatalog()
{
    struct Row
    {
        quint16 type;
        const char* part;
        const char* name;
        int kind;
    };
    static const Row rows[] = {
        {1, "MWB140", "CAN Group Module Gen1", 1},
        {2, "NRV430/RV432", "Current Sensor", 0},
        {3, "HTP242", "CAN Splitter Gen2", 0},
        {4, "LWD530", "Lumavert Heater Controller", 0},
        {5, "LQPT530", "Lumavert Battery Box Controller", 0},
        {7, "DAWR530", "Zelvo Controller", 0},
        {8, "HTP230", "CAN Splitter", 0},
        {9, "MWB340", "CAN Group Module Gen2", 1},
        {10, "MWB150", "CAN Group Module LED Gen1", 1},
        {11, "MWB142", "CAN Group Module Gen1", 1},
        {12, "YKF531", "TESLA Module", 1},
        {13, "HTP240", "CAN Splitter Gen2", 0},
        {14, "MWB151", "CAN Group Module LED Gen1", 1},
        {15, "HTP241", "CAN Splitter Gen2", 0},
        {16, "KRD53x", "BMS mini", 0},
        {32, "HXTM630", "CAN Group Module Centralized (Drel)", 1},
        {48, "HXTM641", "CAN Group Module Centralized", 1},
        {96, "HXTM650", "Centralized CGM Automotive", 1},
        {112, "HXTM642", "Centralized CGM", 1},
        {128, "HXTM643", "Centralized CGM", 1},
        {144, "HXTM651", "Centralized CGM Automotive", 1},
    };
    QMap<quint16, CanDeviceCatalogEntry> map;
    for (const Row& r : rows)
        map.insert(r.type, {QLatin1String(r.part), QLatin1String(r.name), r.kind});
    return map;
}

// Built during static initialisation, like the rest of the start-up tables.
const bool catalogueReady = (initCanDeviceCatalog(), true);
} // namespace

const QMap<quint16, CanDeviceCatalogEntry>& canDeviceCatalog()
{
    static const QMap<quint16, CanDeviceCatalogEntry> catalog = buildCatalog();
    return catalog;
}

void initCanDeviceCatalog()
{
    (void)canDeviceCatalog();
}

QString canDevicePartNumber(quint16 typeId)
{
    const auto& c = canDeviceCatalog();
    const auto it = c.constFind(typeId);
    if (it != c.constEnd())
        return it->partNumber;
    return QStringLiteral("PN?_") + QStringLiteral("%1").arg(typeId, 4, 16, QLatin1Char('0')).toUpper();
}

QString canDeviceDescription(quint16 typeId)
{
    const auto& c = canDeviceCatalog();
    const auto it = c.constFind(typeId);
    if (it == c.constEnd())
        return QStringLiteral("Unknown Device. Please upgrade Dadevoz Arezi.");
    return it->partNumber + QLatin1Char(' ') + it->name;
}

bool canDeviceIsGroupModule(quint16 typeId)
{
    const auto& c = canDeviceCatalog();
    const auto it = c.constFind(typeId);
    return it != c.constEnd() && it->kind == 1;
}

bool canDeviceIsGen2GroupModule(quint16 typeId)
{
    return typeId == 9;
}

QList<quint16> canGroupModuleTypeIds()
{
    QList<quint16> ids;
    const auto& c = canDeviceCatalog();
    for (auto it = c.constBegin(); it != c.constEnd(); ++it)
        if (it->kind == 1)
            ids.append(it.key());
    return ids;
}
