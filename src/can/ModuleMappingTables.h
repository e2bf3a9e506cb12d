#pragma once

#include "MappingTable.h"

#include <QString>

#include <cstdint>

// The drag payload both mapping widgets exchange: "CGM/text", five fields
// "tag;type;serial;cells;id" in Latin-1. Cell count 255 travels empty.
struct CgmPayload
{
    static constexpr const char* kMimeType = "CGM/text";
    uint16_t typeId = 0;
    uint32_t serial = 0;
    uint8_t cellCount = 0;
    uint16_t id = 0;
    QString tag;

    static QString build(uint16_t typeId, uint32_t serial, uint8_t cellCount, uint16_t id);
    // False when the text is not five fields; tag and numbers as read
    // (an unreadable number reads 0).
    static bool parse(const QByteArray& text, CgmPayload* out);
};

// State of a table cell, shown by its icon.
enum ModuleCellState : uint8_t {
    CellConfirmed = MappingConfirmed,
    CellFailed = MappingFailed,
    CellUnconfirmed = MappingUnconfirmed,
    CellEmpty = MappingEmpty
};

using ModuleCell = MappedCell;
using UnconfiguredDevice = ListedModule; // cell count 255: not a group module, no count

// The placed cell group modules: 32 strings (columns) by 32 positions
// (rows), at most 32 modules in all. The user moves modules by drag and
// drop; the configuration page fills it and reads it for the commit.
class ConfiguredTable : public MappingGrid
{
    Q_OBJECT
public:
    explicit ConfiguredTable(QWidget* parent = nullptr);
    ~ConfiguredTable() override;

    bool placeDevice(int string, int position, uint16_t typeId, uint32_t serial, uint8_t cellCount, uint16_t id)
    {
        return place(string, position, {typeId, serial, cellCount, id});
    }
    bool placeDeviceAt(uint16_t typeId, uint32_t serial, int string, int position, int state, uint8_t cellCount,
                       uint16_t id)
    {
        return placeAt(string, position, {typeId, serial, cellCount, id}, state);
    }
    void markDuplicateDevices() { markDuplicates(); }
    bool findDevice(uint32_t serial, uint8_t* string, uint8_t* position, uint8_t* cellCount) const
    {
        return find(serial, string, position, cellCount);
    }
    int collectPlacedDevices() { return collectPlaced(); }
    bool placedDeviceAt(int index, uint16_t* typeId, uint32_t* serial, uint8_t* cellCount, uint8_t* string,
                        uint8_t* position, uint8_t* state) const;

signals:
    void sigDropDevice(uint16_t typeId, uint32_t serial, uint8_t cellCount, uint16_t id);

protected:
    void handBack(const MappedModule& m) override { emit sigDropDevice(m.typeId, m.serial, m.cellCount, m.id); }
};

// The discovered devices that are not placed in the table.
class UnconfiguredTree : public MappingList
{
    Q_OBJECT
public:
    explicit UnconfiguredTree(QWidget* parent = nullptr);
    ~UnconfiguredTree() override;

    void addDevice(uint16_t typeId, uint32_t serial, uint8_t cellCount, uint16_t id)
    {
        add({typeId, serial, cellCount, id});
    }
    int deviceCount() const { return entryCount(); }
    bool deviceAt(int index, uint16_t* typeId, uint32_t* serial) const;
    const UnconfiguredDevice& device(int index) const { return entry(index); }
    void clearDevices() { clearEntries(); }
    bool containsDevice(uint16_t typeId, uint32_t serial) const { return contains({typeId, serial, 0, 0}); }

public slots:
    void slotAcceptDroppedDevice(uint16_t typeId, uint32_t serial, uint8_t cellCount, uint16_t id)
    {
        addDevice(typeId, serial, cellCount, id);
    }
};

// The one instance of each, set by the constructors; a widget that goes
// takes its pointer with it, so it never dangles.
extern ConfiguredTable* g_configuredTable;
extern UnconfiguredTree* g_unconfiguredTree;
