#include "ModuleMappingTables.h"

#include "CanDeviceCatalog.h"

#include <QApplication>
#include <QDrag>
#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QHeaderView>
#include <QMimeData>
#include <QMouseEvent>
#include <QPixmap>

ConfiguredTable* g_configuredTable = nullptr;
UnconfiguredTree* g_unconfiguredTree = nullptr;

static void initMappingIcons()
{
    Q_INIT_RESOURCE(mapping_icons);
}

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

static bool readPayload(const QMimeData* mime, CgmPayload* out)
{
    if (!mime || !mime->hasFormat(CgmPayload::kMimeType))
        return false;
    return CgmPayload::parse(mime->data(CgmPayload::kMimeType), out);
}

// --- table

ConfiguredTable::ConfiguredTable(QWidget* parent)
    : QTableWidget(parent)
{
    initMappingIcons();
    m_check = QIcon(QPixmap(":/images/icon_check.png"));
    m_cross = QIcon(QPixmap(":/images/icon_x.png"));
    m_question = QIcon(QPixmap(":/images/icon_question.png"));
    QPixmap blank(16, 16);
    blank.fill(Qt::transparent);
    m_empty = QIcon(blank);

    setMinimumHeight(400);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::SingleSelection);
    viewport()->setAcceptDrops(true);
    setDragEnabled(true);
    setRowCount(kPositions);
    setColumnCount(kStrings);
    for (int s = 0; s < kStrings; ++s) {
        m_headers << QStringLiteral("String%1").arg(s);
        for (int p = 0; p < kPositions; ++p) {
            ModuleCell& c = m_cells[s][p];
            c.string = uint8_t(s);
            c.position = uint8_t(p);
            c.item = new QTableWidgetItem;
            c.item->setFlags(c.item->flags() & ~Qt::ItemIsEditable);
            setItem(p, s, c.item);
            showCell(c);
        }
    }
    for (int i = 1; i < kStrings; ++i) {
        setColumnHidden(i, true);
        setRowHidden(i, true);
    }
    for (int p = 0; p < kPositions; ++p)
        setRowHeight(p, 45);
    for (int s = 0; s < kStrings; ++s)
        setColumnWidth(s, 140);
    setHorizontalHeaderLabels(m_headers);
    g_configuredTable = this;
}

ConfiguredTable::~ConfiguredTable()
{
    if (g_configuredTable == this)
        g_configuredTable = nullptr;
}

QIcon ConfiguredTable::stateIcon(int state) const
{
    switch (state) {
    case CellConfirmed: return m_check;
    case CellFailed: return m_cross;
    case CellUnconfirmed: return m_question;
    default: return m_empty;
    }
}

void ConfiguredTable::showCell(ModuleCell& c)
{
    c.item->setData(Qt::DisplayRole, c.text);
    c.item->setData(Qt::DecorationRole, stateIcon(c.state));
}

bool ConfiguredTable::placeDevice(int string, int position, uint16_t typeId, uint32_t serial, uint8_t cellCount,
                                  uint16_t id)
{
    if (string < 0 || string >= kStrings || position < 0 || position >= kPositions || m_placedCount >= kMaxPlaced)
        return false;
    ModuleCell& c = m_cells[string][position];
    if (c.occupied) // callers empty the cell first; never count it twice
        clearCell(string, position);
    c.serial = serial;
    c.typeId = typeId;
    c.cellCount = cellCount;
    c.id = id;
    c.occupied = true;
    ++m_placedCount;
    c.text = canDevicePartNumber(typeId) + " SN: " + QString::number(serial) + "\nCells: "
             + QString::number(cellCount) + "\nID: " + QString::number(id);
    c.item->setData(Qt::DisplayRole, c.text);
    updateStringHeaders();
    if (string >= m_visibleStrings)
        emit sigColumnCountChanged(string + 1);
    updateVisibleRows();
    return true;
}

bool ConfiguredTable::placeDeviceAt(uint16_t typeId, uint32_t serial, int string, int position, int state,
                                    uint8_t cellCount, uint16_t id)
{
    if (string < 0 || string >= kStrings || position < 0 || position >= kPositions || state < 0 || state > 3)
        return false;
    clearCell(string, position);
    if (!placeDevice(string, position, typeId, serial, cellCount, id))
        return false;
    setCellState(string, position, state);
    return true;
}

bool ConfiguredTable::setCellState(int string, int position, int state)
{
    if (string < 0 || string >= kStrings || position < 0 || position >= kPositions || state < 0 || state > 3)
        return false;
    ModuleCell& c = m_cells[string][position];
    c.state = uint8_t(state);
    c.item->setData(Qt::DecorationRole, stateIcon(state));
    return true;
}

bool ConfiguredTable::setAllCellStates(int state)
{
    if (state < 0 || state > 3)
        return false;
    for (int s = 0; s < kStrings; ++s)
        for (int p = 0; p < kPositions; ++p)
            if (m_cells[s][p].occupied)
                setCellState(s, p, state);
    return true;
}

void ConfiguredTable::markDuplicateDevices()
{
    QList<const ModuleCell*> seen;
    for (int s = 0; s < kStrings; ++s) {
        for (int p = 0; p < kPositions; ++p) {
            const ModuleCell& c = m_cells[s][p];
            if (!c.occupied)
                continue;
            bool duplicate = false;
            for (const ModuleCell* e : seen)
                if (e->serial == c.serial && e->typeId == c.typeId)
                    duplicate = true;
            if (duplicate)
                setCellState(s, p, CellFailed);
            else
                seen << &c;
        }
    }
}

bool ConfiguredTable::findDevice(uint32_t serial, uint8_t* string, uint8_t* position, uint8_t* cellCount) const
{
    bool found = false;
    for (int s = 0; s < kStrings; ++s) {
        for (int p = 0; p < kPositions; ++p) {
            const ModuleCell& c = m_cells[s][p];
            if (c.occupied && c.serial == serial) {
                found = true;
                if (string)
                    *string = uint8_t(s);
                if (position)
                    *position = uint8_t(p);
                if (cellCount)
                    *cellCount = c.cellCount;
                break;
            }
        }
    }
    return found;
}

int ConfiguredTable::collectPlacedDevices()
{
    m_placed.clear();
    for (int s = 0; s < kStrings; ++s)
        for (int p = 0; p < kPositions; ++p)
            if (m_cells[s][p].occupied)
                m_placed << uint16_t(s << 8 | p);
    return m_placed.size();
}

bool ConfiguredTable::placedDeviceAt(int index, uint16_t* typeId, uint32_t* serial, uint8_t* cellCount,
                                     uint8_t* string, uint8_t* position, uint8_t* state) const
{
    if (index < 0 || index >= m_placed.size())
        return false;
    const uint16_t key = m_placed.at(index);
    const ModuleCell& c = m_cells[key >> 8][key & 0xFF];
    if (typeId)
        *typeId = c.typeId;
    if (serial)
        *serial = c.serial;
    if (cellCount)
        *cellCount = c.cellCount;
    if (string)
        *string = c.string;
    if (position)
        *position = c.position;
    if (state)
        *state = c.state;
    return true;
}

int ConfiguredTable::totalCellCount() const
{
    int total = 0;
    for (const auto& str : m_cells)
        for (const ModuleCell& c : str)
            if (c.occupied)
                total += c.cellCount;
    return total;
}

void ConfiguredTable::clearAll()
{
    for (int s = 0; s < kStrings; ++s)
        for (int p = 0; p < kPositions; ++p)
            if (m_cells[s][p].occupied)
                clearCell(s, p);
    updateVisibleRows();
    updateStringHeaders();
    emit sigColumnCountChanged(1);
    m_placedCount = 0;
}

void ConfiguredTable::setDragDropEnabled(bool enabled)
{
    viewport()->setAcceptDrops(enabled);
    setDragEnabled(enabled);
}

void ConfiguredTable::clearCell(int string, int position)
{
    ModuleCell& c = m_cells[string][position];
    if (c.occupied && m_placedCount > 0)
        --m_placedCount;
    c.occupied = false;
    c.text.clear();
    c.state = CellEmpty;
    showCell(c);
    updateVisibleRows();
}

void ConfiguredTable::updateVisibleRows()
{
    int m = 0;
    for (int s = 0; s < kStrings; ++s)
        for (int p = 0; p < kPositions; ++p)
            if (m_cells[s][p].occupied && p + 1 > m)
                m = p + 1;
    if (m_rowMark <= m) {
        for (int r = 0; r <= m && r < kPositions; ++r)
            setRowHidden(r, false);
    } else {
        for (int r = m + 1; r < kPositions; ++r)
            setRowHidden(r, true);
    }
    m_rowMark = m;
}

void ConfiguredTable::updateStringHeaders()
{
    for (int s = 0; s < kStrings; ++s) {
        int sum = 0;
        for (const ModuleCell& c : m_cells[s])
            if (c.occupied)
                sum += c.cellCount;
        m_headers[s] = QStringLiteral("Str%1 (Cells: %2)").arg(s).arg(sum);
    }
    setHorizontalHeaderLabels(m_headers);
}

void ConfiguredTable::slotTableColumnCount(int count)
{
    // The spin box holds 1 to 32; anything else is kept inside that.
    const int n = qBound(1, count, kStrings);
    if (n > m_visibleStrings) {
        for (int s = m_visibleStrings; s < n; ++s)
            setColumnHidden(s, false);
    } else if (n < m_visibleStrings) {
        for (int s = n; s < kStrings; ++s)
            setColumnHidden(s, true);
    }
    m_visibleStrings = n;
    for (int s = n; s < kStrings; ++s) {
        for (int p = 0; p < kPositions; ++p) {
            if (!m_cells[s][p].occupied)
                continue;
            clearCell(s, p);
            handBack(m_cells[s][p]);
            updateStringHeaders();
        }
    }
}

void ConfiguredTable::handBack(const ModuleCell& c)
{
    emit sigDropDevice(c.typeId, c.serial, c.cellCount, c.id);
}

void ConfiguredTable::returnLastDevice(int string, int position)
{
    if (string < 0 || string >= kStrings || position < 0 || position >= kPositions)
        return;
    for (int p = kPositions - 1; p >= position; --p) {
        if (m_cells[string][p].occupied) {
            clearCell(string, p);
            handBack(m_cells[string][p]);
            return;
        }
    }
}

void ConfiguredTable::shiftDown(int string, int position)
{
    if (string < 0 || string >= kStrings || position < 0 || position >= kPositions)
        return;
    auto& str = m_cells[string];
    if (str[kPositions - 1].occupied) {
        clearCell(string, kPositions - 1);
        handBack(str[kPositions - 1]);
    }
    for (int i = kPositions - 2; i >= position; --i) {
        if (!str[i].occupied)
            continue;
        clearCell(string, i);
        const ModuleCell& c = str[i];
        placeDeviceAt(c.typeId, c.serial, string, i + 1, CellUnconfirmed, c.cellCount, c.id);
    }
}

void ConfiguredTable::removeAndShiftUp(int string, int position)
{
    if (string < 0 || string >= kStrings || position < 0 || position >= kPositions)
        return;
    auto& str = m_cells[string];
    clearCell(string, position);
    for (int i = position + 1; i < kPositions; ++i) {
        if (!str[i].occupied)
            continue; // the empty cell moves up as the one above is already empty
        clearCell(string, i);
        const ModuleCell& c = str[i];
        placeDeviceAt(c.typeId, c.serial, string, i - 1, CellUnconfirmed, c.cellCount, c.id);
    }
}

void ConfiguredTable::removeDragSource()
{
    m_dragSource = false;
    const int s = m_dragCell >> 8;
    const int p = m_dragCell & 0xFF;
    if (s < kStrings && p < kPositions) {
        removeAndShiftUp(s, p);
        emit sigConfigurationChanged();
    }
}

void ConfiguredTable::slotTableDropAccepted(bool accepted)
{
    if (accepted && m_dragSource)
        removeDragSource();
    else
        m_dragSource = false;
}

QMimeData* ConfiguredTable::beginDrag(const QPoint& viewportPoint)
{
    const QModelIndex index = indexAt(viewportPoint);
    if (!index.isValid())
        return nullptr;
    const int s = index.column();
    const int p = index.row();
    if (s >= kStrings || p >= kPositions || !m_cells[s][p].occupied)
        return nullptr;
    const ModuleCell& c = m_cells[s][p];
    auto* mime = new QMimeData;
    mime->setData(CgmPayload::kMimeType, CgmPayload::build(c.typeId, c.serial, c.cellCount, c.id).toLatin1());
    m_dragSource = true;
    m_dragCell = uint16_t(s << 8 | p);
    updateStringHeaders();
    return mime;
}

void ConfiguredTable::startDrag()
{
    QMimeData* mime = beginDrag(m_dragPoint);
    if (!mime)
        return;
    auto* drag = new QDrag(this);
    drag->setMimeData(mime);
    drag->exec(Qt::MoveAction);
    endDrag();
}

void ConfiguredTable::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        m_pressPoint = event->pos();
    QTableWidget::mousePressEvent(event);
}

void ConfiguredTable::mouseMoveEvent(QMouseEvent* event)
{
    if (event->buttons() == Qt::LeftButton && dragEnabled()
        && (event->pos() - m_pressPoint).manhattanLength() >= QApplication::startDragDistance()) {
        m_dragPoint = event->pos();
        startDrag();
    }
    QTableWidget::mouseMoveEvent(event);
}

// Shared by both widgets.
static void acceptCgmEnter(QDragEnterEvent* event)
{
    if (event->mimeData() && event->mimeData()->hasFormat(CgmPayload::kMimeType))
        event->acceptProposedAction();
}

static void acceptCgmMove(QDragMoveEvent* event)
{
    if (event->mimeData() && event->mimeData()->hasFormat(CgmPayload::kMimeType))
        event->accept();
}

void ConfiguredTable::dragEnterEvent(QDragEnterEvent* event) { acceptCgmEnter(event); }
void ConfiguredTable::dragMoveEvent(QDragMoveEvent* event) { acceptCgmMove(event); }

void ConfiguredTable::dropEvent(QDropEvent* event)
{
    CgmPayload d;
    if (!readPayload(event->mimeData(), &d) || d.tag != QLatin1String("CGM"))
        return;
    const QModelIndex target = indexAt(event->pos());
    if (!target.isValid())
        return;
    if (m_dragSource)
        removeDragSource();
    const int s = target.column();
    const int p = target.row();
    if (s >= kStrings || p >= kPositions)
        return;
    int at = p;
    if (m_placedCount > kMaxPlaced - 1) {
        if (!m_cells[s][p].occupied) {
            emit sigTableDropAccepted(false);
            return;
        }
        returnLastDevice(s, p);
        shiftDown(s, p);
    } else if (!m_cells[s][p].occupied) {
        for (int i = 0; i < p; ++i) {
            if (!m_cells[s][i].occupied) {
                at = i;
                break;
            }
        }
    } else {
        shiftDown(s, p);
    }
    placeDeviceAt(d.typeId, d.serial, s, at, CellUnconfirmed, d.cellCount, d.id);
    emit sigTableDropAccepted(true);
    emit sigConfigurationChanged();
}

// --- tree

UnconfiguredTree::UnconfiguredTree(QWidget* parent)
    : QTreeWidget(parent)
{
    setColumnCount(4);
    setHeaderLabels({tr("Part Number"), tr("Serial"), tr("Cell Count"), tr("ID")});
    const int widths[] = {80, 60, 60, 40};
    int total = 0;
    for (int i = 0; i < 4; ++i) {
        setColumnWidth(i, widths[i]);
        total += widths[i];
    }
    setMinimumWidth(total);
    setRootIsDecorated(false);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setDropIndicatorShown(true);
    setDragEnabled(true);
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    g_unconfiguredTree = this;
}

UnconfiguredTree::~UnconfiguredTree()
{
    if (g_unconfiguredTree == this)
        g_unconfiguredTree = nullptr;
}

void UnconfiguredTree::addDevice(uint16_t typeId, uint32_t serial, uint8_t cellCount, uint16_t id)
{
    UnconfiguredDevice d;
    d.typeId = typeId;
    d.serial = serial;
    d.cellCount = cellCount;
    d.id = id;
    d.payload = CgmPayload::build(typeId, serial, cellCount, id);
    d.item = new QTreeWidgetItem(QStringList{canDevicePartNumber(typeId), QString::number(serial),
                                             cellCount == 255 ? QString() : QString::number(cellCount),
                                             QString::number(id)});
    addTopLevelItem(d.item);
    m_devices << d;
}

bool UnconfiguredTree::deviceAt(int index, uint16_t* typeId, uint32_t* serial) const
{
    if (index < 0 || index >= m_devices.size())
        return false;
    if (typeId)
        *typeId = m_devices.at(index).typeId;
    if (serial)
        *serial = m_devices.at(index).serial;
    return true;
}

void UnconfiguredTree::clearDevices()
{
    clear();
    m_devices.clear();
}

bool UnconfiguredTree::containsDevice(uint16_t typeId, uint32_t serial) const
{
    for (const UnconfiguredDevice& d : m_devices)
        if (d.typeId == typeId && d.serial == serial)
            return true;
    return false;
}

void UnconfiguredTree::setDragDropEnabled(bool enabled)
{
    viewport()->setAcceptDrops(enabled);
    setDragEnabled(enabled);
}

void UnconfiguredTree::slotAcceptDroppedDevice(uint16_t typeId, uint32_t serial, uint8_t cellCount, uint16_t id)
{
    addDevice(typeId, serial, cellCount, id);
}

void UnconfiguredTree::removeDragSource()
{
    m_dragSource = false;
    if (m_dragIndex < m_devices.size()) {
        delete takeTopLevelItem(m_dragIndex);
        m_devices.removeAt(m_dragIndex);
    }
}

void UnconfiguredTree::slotListDropAccepted(bool accepted)
{
    if (accepted && m_dragSource)
        removeDragSource();
    else
        m_dragSource = false;
}

QMimeData* UnconfiguredTree::beginDrag(const QPoint& viewportPoint)
{
    QTreeWidgetItem* item = itemAt(viewportPoint);
    const int row = item ? indexOfTopLevelItem(item) : -1;
    if (row < 0 || row >= m_devices.size())
        return nullptr;
    auto* mime = new QMimeData;
    mime->setData(CgmPayload::kMimeType, m_devices.at(row).payload.toLatin1());
    m_dragSource = true;
    m_dragIndex = uint16_t(row);
    return mime;
}

void UnconfiguredTree::startDrag()
{
    QMimeData* mime = beginDrag(m_dragPoint);
    if (!mime)
        return;
    auto* drag = new QDrag(this);
    drag->setMimeData(mime);
    drag->exec(Qt::MoveAction);
    endDrag();
}

void UnconfiguredTree::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        m_pressPoint = event->pos();
    QTreeWidget::mousePressEvent(event);
}

void UnconfiguredTree::mouseMoveEvent(QMouseEvent* event)
{
    if (event->buttons() == Qt::LeftButton && dragEnabled()
        && (event->pos() - m_pressPoint).manhattanLength() >= QApplication::startDragDistance()) {
        m_dragPoint = event->pos();
        startDrag();
    }
    QTreeWidget::mouseMoveEvent(event);
}

void UnconfiguredTree::dragEnterEvent(QDragEnterEvent* event) { acceptCgmEnter(event); }
void UnconfiguredTree::dragMoveEvent(QDragMoveEvent* event) { acceptCgmMove(event); }

void UnconfiguredTree::dropEvent(QDropEvent* event)
{
    CgmPayload d;
    if (!readPayload(event->mimeData(), &d))
        return;
    if (d.tag != QLatin1String("CGM")) {
        emit sigListDropAccepted(false);
        return;
    }
    if (m_dragSource)
        removeDragSource();
    if (!containsDevice(d.typeId, d.serial))
        addDevice(d.typeId, d.serial, d.cellCount, d.id);
    emit sigListDropAccepted(true);
}
