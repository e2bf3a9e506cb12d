#pragma once

#include <QIcon>
#include <QList>
#include <QPoint>
#include <QTableWidget>
#include <QTreeWidget>

#include <cstdint>

class QMimeData;

// The SCiB module mapping widgets: a grid of 32 strings (columns) by 32
// positions (rows) of placed modules, and the list of found modules that are
// not placed, with drag and drop between them ("SCiB/text":
// "SCiB;<module id>;<cell count>"). A drag only carries the module: the drop
// handlers do the moving, and the source gives its module up once the other
// side reports it took it. GUI thread only.

// Cell states and their icons.
enum ScibCellState : uint8_t { ScibConfirmed = 0, ScibFailed = 1, ScibUnconfirmed = 2, ScibEmpty = 3 };

struct SCiBModuleCell
{
    uint32_t moduleId = 0;
    uint8_t cellCount = 0;
    uint8_t string = 0;
    uint8_t position = 0;
    QString text;
    uint8_t state = ScibEmpty;
    bool occupied = false;
    QTableWidgetItem* item = nullptr; // owned by the table widget
};

namespace scib {
constexpr int kStrings = 32;
constexpr int kPositions = 32;
extern const char* const kMimeType; // "SCiB/text"
QByteArray payload(uint32_t moduleId, uint8_t cellCount);
// Exactly three fields, the first "SCiB"; the numbers base 10.
enum class PayloadKind { NotOurs, WrongTag, Module };
PayloadKind parsePayload(const QMimeData* data, uint32_t* moduleId, uint8_t* cellCount);
QIcon stateIcon(int state);
} // namespace scib

class ToshibaSCiBConfiguredTable : public QTableWidget
{
    Q_OBJECT
public:
    explicit ToshibaSCiBConfiguredTable(QWidget* parent = nullptr);

    bool placeModule(int string, int position, uint32_t moduleId, uint8_t cellCount);
    bool placeModuleAt(uint32_t moduleId, int string, int position, int state, uint8_t cellCount);
    bool setCellState(int string, int position, int state);
    bool setAllCellStates(int state);
    void markDuplicateModules();
    // The lowest matching position in the highest string holding the id.
    bool findModule(uint32_t moduleId, uint8_t* string, uint8_t* position, uint8_t* cellCount) const;
    int collectPlacedModules();
    bool placedModuleAt(int index, uint32_t* moduleId, uint8_t* cellCount, uint8_t* string, uint8_t* position,
                        uint8_t* state) const;
    int totalCellCount() const;
    void clearAll();
    void setDragDropEnabled(bool enabled);

    const SCiBModuleCell& cellAt(int string, int position) const { return m_cells[string][position]; }
    int placedCount() const { return m_placedCount; }
    int visibleStringCount() const { return m_visibleStrings; }

    // A drag out of cell (string, position): its payload (null for an empty
    // cell) and the drag-source mark set until endDrag. mouseMoveEvent runs
    // these around the drag itself.
    QMimeData* beginDrag(int string, int position);
    void endDrag() { m_dragSource = false; }
    bool isDragSource() const { return m_dragSource; }
    // A drop of data on cell (row = position, column = string).
    void acceptDrop(const QMimeData* data, int row, int column);

public slots:
    void slotTableColumnCount(int count);
    void slotTableDropAccepted(bool accepted);

signals:
    void sigDropDevice(uint32_t moduleId, uint8_t cellCount);
    void sigColumnCountChanged(int count);
    void sigTableDropAccepted(bool accepted);
    void sigConfigurationChanged();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void clearCell(int string, int position);
    void updateVisibleRows();
    void updateStringHeaders();
    void returnLastModule(int string, int position);
    void shiftDown(int string, int position);
    void removeAndShiftUp(int string, int position);
    void removeDragSource();
    void handBack(const SCiBModuleCell& cell) { emit sigDropDevice(cell.moduleId, cell.cellCount); }

    bool m_dragSource = false;
    uint16_t m_dragCell = 0xFFFF;
    uint8_t m_placedCount = 0;
    uint8_t m_visibleStrings = 1;
    uint8_t m_rowMark = 1;
    QPoint m_dragPoint;
    QPoint m_pressPoint;
    QStringList m_headers;
    SCiBModuleCell m_cells[scib::kStrings][scib::kPositions];
    QList<uint16_t> m_placed;
};

struct UnconfiguredSCiBModule
{
    uint32_t moduleId = 0;
    uint8_t cellCount = 0;
    QByteArray payload;
    QTreeWidgetItem* item = nullptr; // owned by the tree widget
};

class ToshibaSCiBUnconfiguredTree : public QTreeWidget
{
    Q_OBJECT
public:
    explicit ToshibaSCiBUnconfiguredTree(QWidget* parent = nullptr);

    void addModule(uint32_t moduleId, uint8_t cellCount);
    bool containsModule(uint32_t moduleId) const;
    int moduleCount() const { return m_modules.size(); }
    bool moduleAt(int index, uint32_t* moduleId) const;
    uint8_t moduleCellCount(int index) const { return m_modules.value(index).cellCount; }
    void clearModules();
    void setDragDropEnabled(bool enabled);

    QMimeData* beginDrag(int row);
    void endDrag() { m_dragSource = false; }
    bool isDragSource() const { return m_dragSource; }
    void acceptDrop(const QMimeData* data);

public slots:
    void slotAcceptDroppedDevice(uint32_t moduleId, uint8_t cellCount) { addModule(moduleId, cellCount); }
    void slotListDropAccepted(bool accepted);

signals:
    void sigListDropAccepted(bool accepted);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void removeDragSource();

    bool m_dragSource = false;
    uint16_t m_dragIndex = 0;
    QPoint m_pressPoint;
    QPoint m_dragPoint;
    QList<UnconfiguredSCiBModule> m_modules;
};

// Set by the constructors, never cleared.
extern ToshibaSCiBConfiguredTable* g_toshibaSCiBConfiguredTable;
extern ToshibaSCiBUnconfiguredTree* g_toshibaSCiBUnconfiguredTree;
