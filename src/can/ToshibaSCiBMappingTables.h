#pragma once

#include "MappingTable.h"

#include <cstdint>

class QMimeData;

// The SCiB module mapping widgets: a grid of 32 strings (columns) by 32
// positions (rows) of placed modules, and the list of found modules that are
// not placed, with drag and drop between them ("SCiB/text":
// "SCiB;<module id>;<cell count>"). GUI thread only.

// Cell states and their icons.
enum ScibCellState : uint8_t {
    ScibConfirmed = MappingConfirmed,
    ScibFailed = MappingFailed,
    ScibUnconfirmed = MappingUnconfirmed,
    ScibEmpty = MappingEmpty
};

// A grid cell as the SCiB page reads it.
struct SCiBModuleCell
{
    uint32_t moduleId = 0;
    uint8_t cellCount = 0;
    uint8_t string = 0;
    uint8_t position = 0;
    QString text;
    uint8_t state = ScibEmpty;
    bool occupied = false;
};

namespace scib {
constexpr int kStrings = MappingGrid::kStrings;
constexpr int kPositions = MappingGrid::kPositions;
extern const char* const kMimeType; // "SCiB/text"
QByteArray payload(uint32_t moduleId, uint8_t cellCount);
// Exactly three fields, the first "SCiB"; the numbers base 10.
using PayloadKind = MappingPayload;
PayloadKind parsePayload(const QMimeData* data, uint32_t* moduleId, uint8_t* cellCount);
} // namespace scib

class ToshibaSCiBConfiguredTable : public MappingGrid
{
    Q_OBJECT
public:
    explicit ToshibaSCiBConfiguredTable(QWidget* parent = nullptr);

    bool placeModule(int string, int position, uint32_t moduleId, uint8_t cellCount)
    {
        return place(string, position, {0, moduleId, cellCount, 0});
    }
    bool placeModuleAt(uint32_t moduleId, int string, int position, int state, uint8_t cellCount)
    {
        return placeAt(string, position, {0, moduleId, cellCount, 0}, state);
    }
    void markDuplicateModules() { markDuplicates(); }
    bool findModule(uint32_t moduleId, uint8_t* string, uint8_t* position, uint8_t* cellCount) const
    {
        return find(moduleId, string, position, cellCount);
    }
    int collectPlacedModules() { return collectPlaced(); }
    bool placedModuleAt(int index, uint32_t* moduleId, uint8_t* cellCount, uint8_t* string, uint8_t* position,
                        uint8_t* state) const;
    SCiBModuleCell cellAt(int string, int position) const;

signals:
    void sigDropDevice(uint32_t moduleId, uint8_t cellCount);

protected:
    void handBack(const MappedModule& m) override { emit sigDropDevice(m.serial, m.cellCount); }
};

class ToshibaSCiBUnconfiguredTree : public MappingList
{
    Q_OBJECT
public:
    explicit ToshibaSCiBUnconfiguredTree(QWidget* parent = nullptr);

    void addModule(uint32_t moduleId, uint8_t cellCount) { add({0, moduleId, cellCount, 0}); }
    bool containsModule(uint32_t moduleId) const { return contains({0, moduleId, 0, 0}); }
    int moduleCount() const { return entryCount(); }
    bool moduleAt(int index, uint32_t* moduleId) const;
    uint8_t moduleCellCount(int index) const
    {
        return index >= 0 && index < entryCount() ? entry(index).cellCount : 0;
    }
    void clearModules() { clearEntries(); }

public slots:
    void slotAcceptDroppedDevice(uint32_t moduleId, uint8_t cellCount) { addModule(moduleId, cellCount); }
};

// Set by the constructors, never cleared.
extern ToshibaSCiBConfiguredTable* g_toshibaSCiBConfiguredTable;
extern ToshibaSCiBUnconfiguredTree* g_toshibaSCiBUnconfiguredTree;
