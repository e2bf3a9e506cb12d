#include "ToshibaSCiBMappingTables.h"

#include <QMimeData>

ToshibaSCiBConfiguredTable* g_toshibaSCiBConfiguredTable = nullptr;
ToshibaSCiBUnconfiguredTree* g_toshibaSCiBUnconfiguredTree = nullptr;

namespace scib {

const char* const kMimeType = "SCiB/text";

QByteArray payload(uint32_t moduleId, uint8_t cellCount)
{
    return QStringLiteral("SCiB;%1;%2").arg(moduleId).arg(cellCount).toLatin1();
}

static PayloadKind decode(const QByteArray& text, MappedModule* out)
{
    const QStringList f = QString::fromLatin1(text).split(QLatin1Char(';'));
    if (f.size() != 3)
        return PayloadKind::NotOurs;
    if (f.at(0) != QLatin1String("SCiB"))
        return PayloadKind::WrongTag;
    *out = {0, f.at(1).toUInt(nullptr, 10), uint8_t(f.at(2).toUShort(nullptr, 10) & 0xFF), 0};
    return PayloadKind::Module;
}

PayloadKind parsePayload(const QMimeData* data, uint32_t* moduleId, uint8_t* cellCount)
{
    if (!data || !data->hasFormat(QLatin1String(kMimeType)))
        return PayloadKind::NotOurs;
    MappedModule m;
    const PayloadKind kind = decode(data->data(QLatin1String(kMimeType)), &m);
    if (kind == PayloadKind::Module) {
        *moduleId = m.serial;
        *cellCount = m.cellCount;
    }
    return kind;
}

} // namespace scib

namespace {

const MappingKind kScibMapping{
    scib::kMimeType,
    "String %1 (Cells: %2)",
    145,
    0,
    {"ID", "Cell Count"},
    {100, 60},
    [](const MappedModule& m) { return QStringLiteral("Module ID: %1, cells: %2").arg(m.serial).arg(m.cellCount); },
    [](const MappedModule& m) { return QStringList{QString::number(m.serial), QString::number(m.cellCount)}; },
    [](const MappedModule& m) { return scib::payload(m.serial, m.cellCount); },
    scib::decode,
};

} // namespace

ToshibaSCiBConfiguredTable::ToshibaSCiBConfiguredTable(QWidget* parent)
    : MappingGrid(kScibMapping, parent)
{
    g_toshibaSCiBConfiguredTable = this;
}

bool ToshibaSCiBConfiguredTable::placedModuleAt(int index, uint32_t* moduleId, uint8_t* cellCount, uint8_t* string,
                                                uint8_t* position, uint8_t* state) const
{
    MappedModule m;
    if (!placedAt(index, &m, string, position, state))
        return false;
    *moduleId = m.serial;
    *cellCount = m.cellCount;
    return true;
}

SCiBModuleCell ToshibaSCiBConfiguredTable::cellAt(int string, int position) const
{
    const MappedCell& c = cell(string, position);
    SCiBModuleCell out;
    out.moduleId = c.serial;
    out.cellCount = c.cellCount;
    out.string = c.string;
    out.position = c.position;
    out.text = c.text;
    out.state = c.state;
    out.occupied = c.occupied;
    return out;
}

ToshibaSCiBUnconfiguredTree::ToshibaSCiBUnconfiguredTree(QWidget* parent)
    : MappingList(kScibMapping, parent)
{
    g_toshibaSCiBUnconfiguredTree = this;
}

bool ToshibaSCiBUnconfiguredTree::moduleAt(int index, uint32_t* moduleId) const
{
    if (index < 0 || index >= moduleCount())
        return false;
    *moduleId = entry(index).serial;
    return true;
}
