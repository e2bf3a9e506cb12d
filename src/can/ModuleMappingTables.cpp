#include "ModuleMappingTables.h"

#include "CanDeviceCatalog.h"

ConfiguredTable* g_configuredTable = nullptr;
UnconfiguredTree* g_unconfiguredTree = nullptr;

// --- payload

QString CgmPayload::build(uint16_t typeId, uint32_t serial, uint8_t cellCount, uint16_t id)
{
    const QString tag = canDeviceIsGroupModule(typeId) ? QStringLiteral("CGM") : QString();
    const QString cells = cellCount == 255 ? QString() : QString::number(cellCount);
    return QStringList{tag, QString::number(typeId), QString::number(serial), cells, QString::number(id)}.join(';');
}

bool CgmPayload::parse(const QByteArray& text, CgmPayload* out)
{
    const QStringList f = QString::fromLatin1(text).split(';', Qt::KeepEmptyParts);
    if (f.size() != 5)
        return false;
    out->tag = f.at(0);
    out->typeId = f.at(1).toUShort(nullptr, 10);
    out->serial = f.at(2).toUInt(nullptr, 10);
    out->cellCount = uint8_t(f.at(3).toUShort(nullptr, 10) & 0xFF);
    out->id = f.at(4).toUShort(nullptr, 10);
    return true;
}

// --- the group modules' kind of mapping

namespace {

const MappingKind kCgmMapping{
    CgmPayload::kMimeType,
    "Str%1 (Cells: %2)",
    140,
    45,
    {"Part Number", "Serial", "Cell Count", "ID"},
    {80, 60, 60, 40},
    [](const MappedModule& m) {
        return canDevicePartNumber(m.typeId) + " SN: " + QString::number(m.serial)
               + "\nCells: " + QString::number(m.cellCount) + "\nID: " + QString::number(m.id);
    },
    [](const MappedModule& m) {
        return QStringList{canDevicePartNumber(m.typeId), QString::number(m.serial),
                           m.cellCount == 255 ? QString() : QString::number(m.cellCount), QString::number(m.id)};
    },
    [](const MappedModule& m) { return CgmPayload::build(m.typeId, m.serial, m.cellCount, m.id).toLatin1(); },
    [](const QByteArray& text, MappedModule* out) {
        CgmPayload d;
        if (!CgmPayload::parse(text, &d))
            return MappingPayload::NotOurs;
        if (d.tag != QLatin1String("CGM"))
            return MappingPayload::WrongTag;
        *out = {d.typeId, d.serial, d.cellCount, d.id};
        return MappingPayload::Module;
    },
};

} // namespace

// --- table

ConfiguredTable::ConfiguredTable(QWidget* parent)
    : MappingGrid(kCgmMapping, parent)
{
    g_configuredTable = this;
}

ConfiguredTable::~ConfiguredTable()
{
    if (g_configuredTable == this)
        g_configuredTable = nullptr;
}

bool ConfiguredTable::placedDeviceAt(int index, uint16_t* typeId, uint32_t* serial, uint8_t* cellCount,
                                     uint8_t* string, uint8_t* position, uint8_t* state) const
{
    MappedModule m;
    if (!placedAt(index, &m, string, position, state))
        return false;
    if (typeId)
        *typeId = m.typeId;
    if (serial)
        *serial = m.serial;
    if (cellCount)
        *cellCount = m.cellCount;
    return true;
}

// --- tree

UnconfiguredTree::UnconfiguredTree(QWidget* parent)
    : MappingList(kCgmMapping, parent)
{
    g_unconfiguredTree = this;
}

UnconfiguredTree::~UnconfiguredTree()
{
    if (g_unconfiguredTree == this)
        g_unconfiguredTree = nullptr;
}

bool UnconfiguredTree::deviceAt(int index, uint16_t* typeId, uint32_t* serial) const
{
    if (index < 0 || index >= deviceCount())
        return false;
    if (typeId)
        *typeId = device(index).typeId;
    if (serial)
        *serial = device(index).serial;
    return true;
}
