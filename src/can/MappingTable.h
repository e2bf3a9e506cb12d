#pragma once

#include <QIcon>
#include <QList>
#include <QPoint>
#include <QString>
#include <QStringList>
#include <QTableWidget>
#include <QTreeWidget>

#include <array>
#include <cstdint>
#include <vector>

class QMimeData;

// One module as the mapping widgets carry it. A SCiB module has only an id
// (kept in serial) and a cell count.
struct MappedModule
{
    uint16_t typeId = 0;
    uint32_t serial = 0;
    uint8_t cellCount = 0;
    uint16_t id = 0;
};

// State of a grid cell, shown by its icon.
enum MappingCellState : uint8_t { MappingConfirmed = 0, MappingFailed = 1, MappingUnconfirmed = 2, MappingEmpty = 3 };

struct MappedCell : MappedModule
{
    QTableWidgetItem* item = nullptr; // owned by the table widget
    QString text;
    uint8_t string = 0;
    uint8_t position = 0;
    uint8_t state = MappingEmpty;
    bool occupied = false;
};

struct ListedModule : MappedModule
{
    QByteArray payload;
    QTreeWidgetItem* item = nullptr; // owned by the tree widget
};

// What a drop carries: not our format at all, our format with another
// kind's tag (refused), or a module.
enum class MappingPayload { NotOurs, WrongTag, Module };

// What differs between the kinds of mapping: texts, sizes and the drag
// payload. Both widgets of one kind share it.
struct MappingKind
{
    const char* mimeType;
    const char* headerFormat; // string number, its cell count
    int columnWidth;
    int rowHeight; // 0: the view's own
    std::vector<const char*> listHeaders;
    std::vector<int> listWidths;
    QString (*cellText)(const MappedModule&);
    QStringList (*rowTexts)(const MappedModule&);
    QByteArray (*encode)(const MappedModule&);
    MappingPayload (*decode)(const QByteArray&, MappedModule*);

    MappingPayload read(const QMimeData* data, MappedModule* out) const;
};

// Icons of the cell states; drawn when the pictures are missing.
QIcon mappingStateIcon(int state);

// The drag side both widgets share: a drag starts when the left button alone
// has moved the platform's drag distance, and only the kind's own payload is
// welcome. A widget gives its payload at a point and ends its drag.
template <class View>
class MappingDragView : public View
{
public:
    MappingDragView(const MappingKind& kind, QWidget* parent)
        : View(parent)
        , m_kind(kind)
    {
    }

protected:
    virtual QMimeData* payloadAt(const QPoint& viewportPoint) = 0;
    virtual void dragDone() = 0;

    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;

    const MappingKind& m_kind;

private:
    QPoint m_pressPoint;
};

// The placed modules: 32 strings (columns) by 32 positions (rows), at most
// 32 modules in all. A drag carries only the module: the drop handlers do
// the moving, and the source gives its module up once the other side
// reports it took it. GUI thread only.
class MappingGrid : public MappingDragView<QTableWidget>
{
    Q_OBJECT
public:
    static constexpr int kStrings = 32;
    static constexpr int kPositions = 32;
    static constexpr int kMaxPlaced = 32;

    MappingGrid(const MappingKind& kind, QWidget* parent);

    bool place(int string, int position, const MappedModule& module);
    bool placeAt(int string, int position, const MappedModule& module, int state);
    bool setCellState(int string, int position, int state);
    bool setAllCellStates(int state);
    void markDuplicates();
    // The lowest matching position in the highest string holding the serial.
    bool find(uint32_t serial, uint8_t* string, uint8_t* position, uint8_t* cellCount) const;
    int collectPlaced();
    bool placedAt(int index, MappedModule* module, uint8_t* string, uint8_t* position, uint8_t* state) const;
    int totalCellCount() const;
    void clearAll();
    void setDragDropEnabled(bool enabled);

    const MappedCell& cell(int string, int position) const { return m_cells[string][position]; }
    int placedCount() const { return m_placedCount; }
    int visibleStringCount() const { return m_visibleStrings; }
    QString headerLabel(int string) const { return m_headers.value(string); }

    // A drag out of a cell, split so that it can be driven without a real
    // pointer: the payload (null for an empty cell) with the source mark
    // set, and the end of the drag.
    QMimeData* beginDrag(int string, int position);
    QMimeData* beginDrag(const QPoint& viewportPoint);
    void endDrag() { m_dragSource = false; }
    bool isDragSource() const { return m_dragSource; }
    // A drop of data on cell (row = position, column = string).
    void acceptDrop(const QMimeData* data, int row, int column);

public slots:
    void slotTableColumnCount(int count);
    void slotTableDropAccepted(bool accepted);

signals:
    void sigColumnCountChanged(int count);
    void sigTableDropAccepted(bool accepted);
    void sigConfigurationChanged();

protected:
    // A module leaves the grid for the list.
    virtual void handBack(const MappedModule& module) = 0;

    QMimeData* payloadAt(const QPoint& viewportPoint) override { return beginDrag(viewportPoint); }
    void dragDone() override { endDrag(); }
    void dropEvent(QDropEvent* event) override;

private:
    void clearCell(int string, int position);
    void returnLast(int string, int position);
    void shiftDown(int string, int position);
    void removeAndShiftUp(int string, int position);
    void removeDragSource();
    void updateVisibleRows();
    void updateStringHeaders();

    bool m_dragSource = false;
    uint16_t m_dragCell = 0xFFFF; // string << 8 | position
    int m_placedCount = 0;
    int m_visibleStrings = 1;
    int m_rowMark = 1;
    QStringList m_headers;
    std::array<std::array<MappedCell, kPositions>, kStrings> m_cells;
    QList<uint16_t> m_placed;
};

// The found modules that are not placed in the grid.
class MappingList : public MappingDragView<QTreeWidget>
{
    Q_OBJECT
public:
    MappingList(const MappingKind& kind, QWidget* parent);

    void add(const MappedModule& module);
    bool contains(const MappedModule& module) const;
    int entryCount() const { return m_entries.size(); }
    const ListedModule& entry(int index) const { return m_entries.at(index); }
    void clearEntries();
    void setDragDropEnabled(bool enabled);

    // As in the grid: the payload of a row, and the end of the drag.
    QMimeData* beginDrag(int row);
    QMimeData* beginDrag(const QPoint& viewportPoint);
    void endDrag() { m_dragSource = false; }
    bool isDragSource() const { return m_dragSource; }
    void acceptDrop(const QMimeData* data);

public slots:
    void slotListDropAccepted(bool accepted);

signals:
    void sigListDropAccepted(bool accepted);

protected:
    QMimeData* payloadAt(const QPoint& viewportPoint) override { return beginDrag(viewportPoint); }
    void dragDone() override { endDrag(); }
    void dropEvent(QDropEvent* event) override;

private:
    void removeDragSource();

    bool m_dragSource = false;
    uint16_t m_dragIndex = 0;
    QList<ListedModule> m_entries;
};
