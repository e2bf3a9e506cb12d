#pragma once

#include <QIcon>
#include <QList>
#include <QPoint>
#include <QString>
#include <QTableWidget>
#include <QTreeWidget>

#include <array>
#include <cstdint>

class QMimeData;

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
enum ModuleCellState : uint8_t { CellConfirmed = 0, CellFailed = 1, CellUnconfirmed = 2, CellEmpty = 3 };

struct ModuleCell
{
    QTableWidgetItem* item = nullptr; // owned by the table widget
    QString text;
    uint32_t serial = 0;
    uint16_t typeId = 0;
    uint16_t id = 0;
    uint8_t cellCount = 0;
    uint8_t string = 0;
    uint8_t position = 0;
    uint8_t state = CellEmpty;
    bool occupied = false;
};

// The placed cell group modules: 32 strings (columns) by 32 positions
// (rows), at most 32 modules in all. The user moves modules by drag and
// drop; the configuration page fills it and reads it for the commit.
class ConfiguredTable : public QTableWidget
{
    Q_OBJECT
public:
    static constexpr int kStrings = 32;
    static constexpr int kPositions = 32;
    static constexpr int kMaxPlaced = 32;

    explicit ConfiguredTable(QWidget* parent = nullptr);
    ~ConfiguredTable() override;

    bool placeDevice(int string, int position, uint16_t typeId, uint32_t serial, uint8_t cellCount, uint16_t id);
    bool placeDeviceAt(uint16_t typeId, uint32_t serial, int string, int position, int state, uint8_t cellCount,
                       uint16_t id);
    bool setCellState(int string, int position, int state);
    bool setAllCellStates(int state);
    void markDuplicateDevices();
    // The lowest matching position in the highest string holding the serial.
    bool findDevice(uint32_t serial, uint8_t* string, uint8_t* position, uint8_t* cellCount) const;
    int collectPlacedDevices();
    bool placedDeviceAt(int index, uint16_t* typeId, uint32_t* serial, uint8_t* cellCount, uint8_t* string,
                        uint8_t* position, uint8_t* state) const;
    int totalCellCount() const;
    void clearAll();
    void setDragDropEnabled(bool enabled);

    const ModuleCell& cell(int string, int position) const { return m_cells[string][position]; }
    int placedCount() const { return m_placedCount; }
    int visibleStringCount() const { return m_visibleStrings; }
    QString headerLabel(int string) const { return m_headers.value(string); }

    // The drag machinery, split so that a drag can be driven without a
    // real pointer: the payload of the occupied cell at the viewport point
    // (null when none; the source mark is then set), and the end of the
    // drag (the mark is cleared).
    QMimeData* beginDrag(const QPoint& viewportPoint);
    void endDrag() { m_dragSource = false; }
    bool isDragSource() const { return m_dragSource; }

public slots:
    void slotTableColumnCount(int count);
    void slotTableDropAccepted(bool accepted);

signals:
    void sigDropDevice(uint16_t typeId, uint32_t serial, uint8_t cellCount, uint16_t id);
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
    void showCell(ModuleCell& c);
    void updateVisibleRows();
    void updateStringHeaders();
    void returnLastDevice(int string, int position);
    void shiftDown(int string, int position);
    void removeAndShiftUp(int string, int position);
    void removeDragSource();
    void handBack(const ModuleCell& c);
    void startDrag();
    QIcon stateIcon(int state) const;

    bool m_dragSource = false;
    uint16_t m_dragCell = 0; // string << 8 | position
    int m_placedCount = 0;
    int m_visibleStrings = 1;
    int m_rowMark = 1;
    QIcon m_check, m_cross, m_question, m_empty;
    QPoint m_dragPoint;
    QPoint m_pressPoint;
    QStringList m_headers;
    std::array<std::array<ModuleCell, kPositions>, kStrings> m_cells;
    QList<uint16_t> m_placed;
};

struct UnconfiguredDevice
{
    uint16_t typeId = 0;
    uint32_t serial = 0;
    uint16_t id = 0;
    uint8_t cellCount = 255; // 255: not a group module, no count
    QString payload;
    QTreeWidgetItem* item = nullptr;
};

// The discovered devices that are not placed in the table.
class UnconfiguredTree : public QTreeWidget
{
    Q_OBJECT
public:
    explicit UnconfiguredTree(QWidget* parent = nullptr);
    ~UnconfiguredTree() override;

    void addDevice(uint16_t typeId, uint32_t serial, uint8_t cellCount, uint16_t id);
    int deviceCount() const { return m_devices.size(); }
    bool deviceAt(int index, uint16_t* typeId, uint32_t* serial) const;
    const UnconfiguredDevice& device(int index) const { return m_devices.at(index); }
    void clearDevices();
    bool containsDevice(uint16_t typeId, uint32_t serial) const;
    void setDragDropEnabled(bool enabled);

    // As in the table: the payload of the row at the viewport point, and
    // the end of the drag.
    QMimeData* beginDrag(const QPoint& viewportPoint);
    void endDrag() { m_dragSource = false; }
    bool isDragSource() const { return m_dragSource; }

public slots:
    void slotAcceptDroppedDevice(uint16_t typeId, uint32_t serial, uint8_t cellCount, uint16_t id);
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
    void startDrag();

    bool m_dragSource = false;
    uint16_t m_dragIndex = 0;
    QPoint m_pressPoint;
    QPoint m_dragPoint;
    QList<UnconfiguredDevice> m_devices;
};

// The one instance of each, set by the constructors; a widget that goes
// takes its pointer with it, so it never dangles.
extern ConfiguredTable* g_configuredTable;
extern UnconfiguredTree* g_unconfiguredTree;
