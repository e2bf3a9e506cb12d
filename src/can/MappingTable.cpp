#include "MappingTable.h"

#include <QApplication>
#include <QDrag>
#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QHeaderView>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>

#include <algorithm>

static void initMappingIcons()
{
    Q_INIT_RESOURCE(mapping_icons);
}

namespace {

bool validCell(int string, int position)
{
    return string >= 0 && string < MappingGrid::kStrings && position >= 0 && position < MappingGrid::kPositions;
}

// Exactly the left button, moved at least the platform's drag distance.
bool dragWanted(QMouseEvent* event, const QPoint& pressPoint)
{
    return event->buttons() == Qt::LeftButton
           && (event->pos() - pressPoint).manhattanLength() >= QApplication::startDragDistance();
}

bool carries(const MappingKind& kind, const QMimeData* data)
{
    return data && data->hasFormat(QLatin1String(kind.mimeType));
}

QIcon drawnIcon(int state)
{
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    if (state == MappingConfirmed) {
        p.setPen(QPen(QColor(0, 150, 0), 2.5));
        p.drawPolyline(QPolygonF({QPointF(3, 8), QPointF(7, 12), QPointF(13, 3)}));
    } else if (state == MappingFailed) {
        p.setPen(QPen(QColor(200, 0, 0), 2.5));
        p.drawLine(3, 3, 13, 13);
        p.drawLine(13, 3, 3, 13);
    } else if (state == MappingUnconfirmed) {
        p.setPen(QColor(0, 80, 200));
        QFont f = p.font();
        f.setBold(true);
        f.setPixelSize(14);
        p.setFont(f);
        p.drawText(pm.rect(), Qt::AlignCenter, QStringLiteral("?"));
    }
    return QIcon(pm);
}

} // namespace

MappingPayload MappingKind::read(const QMimeData* data, MappedModule* out) const
{
    if (!carries(*this, data))
        return MappingPayload::NotOurs;
    return decode(data->data(QLatin1String(mimeType)), out);
}

QIcon mappingStateIcon(int state)
{
    static const char* const names[] = {":/images/icon_check.png", ":/images/icon_x.png",
                                        ":/images/icon_question.png"};
    if (state < 0 || state > 2)
        return drawnIcon(MappingEmpty); // blank, so that texts stay aligned
    const QPixmap pm{QString::fromLatin1(names[state])};
    return pm.isNull() ? drawnIcon(state) : QIcon(pm);
}

// ---------------------------------------------------------------- drag side

template <class View>
void MappingDragView<View>::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        m_pressPoint = event->pos();
    View::mousePressEvent(event);
}

template <class View>
void MappingDragView<View>::mouseMoveEvent(QMouseEvent* event)
{
    if (this->dragEnabled() && dragWanted(event, m_pressPoint)) {
        if (QMimeData* data = payloadAt(event->pos())) {
            auto* drag = new QDrag(this);
            drag->setMimeData(data);
            drag->exec(Qt::MoveAction);
            dragDone();
            return;
        }
    }
    View::mouseMoveEvent(event);
}

template <class View>
void MappingDragView<View>::dragEnterEvent(QDragEnterEvent* event)
{
    if (carries(m_kind, event->mimeData()))
        event->acceptProposedAction();
}

template <class View>
void MappingDragView<View>::dragMoveEvent(QDragMoveEvent* event)
{
    if (carries(m_kind, event->mimeData()))
        event->accept();
}

template class MappingDragView<QTableWidget>;
template class MappingDragView<QTreeWidget>;

// ---------------------------------------------------------------- grid

MappingGrid::MappingGrid(const MappingKind& kind, QWidget* parent)
    : MappingDragView<QTableWidget>(kind, parent)
{
    initMappingIcons();
    setRowCount(kPositions);
    setColumnCount(kStrings);
    setMinimumHeight(400);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::SingleSelection);
    viewport()->setAcceptDrops(true);
    setDragEnabled(true);
    const QIcon blank = mappingStateIcon(MappingEmpty);
    for (int s = 0; s < kStrings; ++s) {
        setColumnWidth(s, kind.columnWidth);
        m_headers << QStringLiteral("String%1").arg(s);
        for (int p = 0; p < kPositions; ++p) {
            MappedCell& c = m_cells[s][p];
            c.string = uint8_t(s);
            c.position = uint8_t(p);
            c.item = new QTableWidgetItem;
            // Not drag-enabled: the grid runs its own drag, never the view's.
            c.item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
            c.item->setIcon(blank);
            setItem(p, s, c.item);
        }
    }
    if (kind.rowHeight > 0)
        for (int p = 0; p < kPositions; ++p)
            setRowHeight(p, kind.rowHeight);
    setHorizontalHeaderLabels(m_headers);
    for (int i = 1; i < kStrings; ++i)
        setColumnHidden(i, true);
    for (int i = 1; i < kPositions; ++i)
        setRowHidden(i, true);
}

bool MappingGrid::place(int string, int position, const MappedModule& module)
{
    if (!validCell(string, position) || m_placedCount >= kMaxPlaced)
        return false;
    MappedCell& c = m_cells[string][position];
    if (c.occupied) // callers empty the cell first; never count it twice
        clearCell(string, position);
    static_cast<MappedModule&>(c) = module;
    c.occupied = true;
    ++m_placedCount;
    c.text = m_kind.cellText(module);
    c.item->setText(c.text);
    updateStringHeaders();
    if (string >= m_visibleStrings)
        emit sigColumnCountChanged(string + 1);
    updateVisibleRows();
    return true;
}

bool MappingGrid::placeAt(int string, int position, const MappedModule& module, int state)
{
    if (!validCell(string, position) || state < 0 || state > 3)
        return false;
    clearCell(string, position);
    if (!place(string, position, module))
        return false;
    setCellState(string, position, state);
    return true;
}

bool MappingGrid::setCellState(int string, int position, int state)
{
    if (!validCell(string, position) || state < 0 || state > 3)
        return false;
    MappedCell& c = m_cells[string][position];
    c.state = uint8_t(state);
    c.item->setIcon(mappingStateIcon(state));
    return true;
}

bool MappingGrid::setAllCellStates(int state)
{
    if (state < 0 || state > 3)
        return false;
    for (int s = 0; s < kStrings; ++s)
        for (int p = 0; p < kPositions; ++p)
            if (m_cells[s][p].occupied)
                setCellState(s, p, state);
    return true;
}

void MappingGrid::markDuplicates()
{
    QList<const MappedCell*> seen;
    for (int s = 0; s < kStrings; ++s)
        for (int p = 0; p < kPositions; ++p) {
            const MappedCell& c = m_cells[s][p];
            if (!c.occupied)
                continue;
            const bool duplicate = std::any_of(seen.begin(), seen.end(), [&c](const MappedCell* e) {
                return e->serial == c.serial && e->typeId == c.typeId;
            });
            if (duplicate)
                setCellState(s, p, MappingFailed);
            else
                seen << &c;
        }
}

bool MappingGrid::find(uint32_t serial, uint8_t* string, uint8_t* position, uint8_t* cellCount) const
{
    bool found = false;
    for (int s = 0; s < kStrings; ++s)
        for (int p = 0; p < kPositions; ++p) {
            const MappedCell& c = m_cells[s][p];
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
    return found;
}

int MappingGrid::collectPlaced()
{
    m_placed.clear();
    for (int s = 0; s < kStrings; ++s)
        for (int p = 0; p < kPositions; ++p)
            if (m_cells[s][p].occupied)
                m_placed << uint16_t(s << 8 | p);
    return m_placed.size();
}

bool MappingGrid::placedAt(int index, MappedModule* module, uint8_t* string, uint8_t* position,
                           uint8_t* state) const
{
    if (index < 0 || index >= m_placed.size())
        return false;
    const uint16_t key = m_placed.at(index);
    const MappedCell& c = m_cells[key >> 8][key & 0xFF];
    if (module)
        *module = c;
    if (string)
        *string = c.string;
    if (position)
        *position = c.position;
    if (state)
        *state = c.state;
    return true;
}

int MappingGrid::totalCellCount() const
{
    int total = 0;
    for (const auto& str : m_cells)
        for (const MappedCell& c : str)
            if (c.occupied)
                total += c.cellCount;
    return total;
}

void MappingGrid::clearAll()
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

void MappingGrid::setDragDropEnabled(bool enabled)
{
    viewport()->setAcceptDrops(enabled);
    setDragEnabled(enabled);
}

// Only the occupied flag, text and icon go: the module's values stay for
// the callers that hand it on.
void MappingGrid::clearCell(int string, int position)
{
    MappedCell& c = m_cells[string][position];
    if (c.occupied && m_placedCount > 0)
        --m_placedCount;
    c.occupied = false;
    c.text.clear();
    c.item->setText(QString());
    setCellState(string, position, MappingEmpty);
    updateVisibleRows();
}

void MappingGrid::updateVisibleRows()
{
    int m = 0;
    for (int s = 0; s < kStrings; ++s)
        for (int p = 0; p < kPositions; ++p)
            if (m_cells[s][p].occupied)
                m = std::max(m, p + 1);
    if (m_rowMark <= m) {
        for (int r = 0; r <= std::min(m, kPositions - 1); ++r)
            setRowHidden(r, false);
    } else {
        for (int r = m + 1; r < kPositions; ++r)
            setRowHidden(r, true);
    }
    m_rowMark = m;
}

void MappingGrid::updateStringHeaders()
{
    for (int s = 0; s < kStrings; ++s) {
        int sum = 0;
        for (const MappedCell& c : m_cells[s])
            if (c.occupied)
                sum += c.cellCount;
        m_headers[s] = QString::fromLatin1(m_kind.headerFormat).arg(s).arg(sum);
    }
    setHorizontalHeaderLabels(m_headers);
}

void MappingGrid::slotTableColumnCount(int count)
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
    for (int s = n; s < kStrings; ++s)
        for (int p = 0; p < kPositions; ++p) {
            if (!m_cells[s][p].occupied)
                continue;
            clearCell(s, p);
            handBack(m_cells[s][p]);
            updateStringHeaders();
        }
}

void MappingGrid::returnLast(int string, int position)
{
    if (!validCell(string, position))
        return;
    for (int p = kPositions - 1; p >= position; --p)
        if (m_cells[string][p].occupied) {
            clearCell(string, p);
            handBack(m_cells[string][p]);
            return;
        }
}

void MappingGrid::shiftDown(int string, int position)
{
    if (!validCell(string, position))
        return;
    auto& str = m_cells[string];
    if (str[kPositions - 1].occupied) {
        clearCell(string, kPositions - 1);
        handBack(str[kPositions - 1]);
    }
    for (int p = kPositions - 2; p >= position; --p) {
        if (!str[p].occupied)
            continue;
        clearCell(string, p);
        placeAt(string, p + 1, str[p], MappingUnconfirmed);
    }
}

void MappingGrid::removeAndShiftUp(int string, int position)
{
    if (!validCell(string, position))
        return;
    auto& str = m_cells[string];
    clearCell(string, position);
    for (int p = position + 1; p < kPositions; ++p) {
        if (!str[p].occupied)
            continue; // the empty cell moves up as the one above is already empty
        clearCell(string, p);
        placeAt(string, p - 1, str[p], MappingUnconfirmed);
    }
}

void MappingGrid::removeDragSource()
{
    m_dragSource = false;
    const int s = m_dragCell >> 8;
    const int p = m_dragCell & 0xFF;
    if (!validCell(s, p))
        return;
    removeAndShiftUp(s, p);
    emit sigConfigurationChanged();
}

void MappingGrid::slotTableDropAccepted(bool accepted)
{
    if (accepted && m_dragSource)
        removeDragSource();
    else
        m_dragSource = false;
}

QMimeData* MappingGrid::beginDrag(int string, int position)
{
    if (!validCell(string, position) || !m_cells[string][position].occupied)
        return nullptr;
    auto* data = new QMimeData;
    data->setData(QLatin1String(m_kind.mimeType), m_kind.encode(m_cells[string][position]));
    m_dragSource = true;
    m_dragCell = uint16_t(string << 8 | position);
    updateStringHeaders();
    return data;
}

QMimeData* MappingGrid::beginDrag(const QPoint& viewportPoint)
{
    const QModelIndex index = indexAt(viewportPoint);
    return index.isValid() ? beginDrag(index.column(), index.row()) : nullptr;
}

void MappingGrid::acceptDrop(const QMimeData* data, int row, int column)
{
    MappedModule module;
    if (m_kind.read(data, &module) != MappingPayload::Module || !validCell(column, row))
        return;
    if (m_dragSource)
        removeDragSource();
    const int s = column;
    int p = row;
    if (m_placedCount > kMaxPlaced - 1) {
        if (!m_cells[s][p].occupied) {
            emit sigTableDropAccepted(false);
            return;
        }
        returnLast(s, p);
        shiftDown(s, p);
    } else if (!m_cells[s][p].occupied) {
        // A string never gets a gap from a drop.
        for (int i = 0; i < p; ++i)
            if (!m_cells[s][i].occupied) {
                p = i;
                break;
            }
    } else {
        shiftDown(s, p);
    }
    placeAt(s, p, module, MappingUnconfirmed);
    emit sigTableDropAccepted(true);
    emit sigConfigurationChanged();
}

void MappingGrid::dropEvent(QDropEvent* event)
{
    const QModelIndex index = indexAt(event->pos());
    if (index.isValid())
        acceptDrop(event->mimeData(), index.row(), index.column());
}

// ---------------------------------------------------------------- list

MappingList::MappingList(const MappingKind& kind, QWidget* parent)
    : MappingDragView<QTreeWidget>(kind, parent)
{
    QStringList headers;
    for (const char* h : kind.listHeaders)
        headers << QString::fromLatin1(h);
    setColumnCount(headers.size());
    setHeaderLabels(headers);
    int total = 0;
    for (int i = 0; i < int(kind.listWidths.size()); ++i) {
        setColumnWidth(i, kind.listWidths[size_t(i)]);
        total += kind.listWidths[size_t(i)];
    }
    setMinimumWidth(total);
    setRootIsDecorated(false);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setDropIndicatorShown(true);
    setDragEnabled(true);
    viewport()->setAcceptDrops(true);
}

void MappingList::add(const MappedModule& module)
{
    ListedModule m;
    static_cast<MappedModule&>(m) = module;
    m.payload = m_kind.encode(module);
    m.item = new QTreeWidgetItem(m_kind.rowTexts(module));
    addTopLevelItem(m.item);
    m_entries << m;
}

bool MappingList::contains(const MappedModule& module) const
{
    return std::any_of(m_entries.begin(), m_entries.end(), [&module](const ListedModule& m) {
        return m.typeId == module.typeId && m.serial == module.serial;
    });
}

void MappingList::clearEntries()
{
    clear();
    m_entries.clear();
}

void MappingList::setDragDropEnabled(bool enabled)
{
    viewport()->setAcceptDrops(enabled);
    setDragEnabled(enabled);
}

QMimeData* MappingList::beginDrag(int row)
{
    if (row < 0 || row >= m_entries.size())
        return nullptr;
    auto* data = new QMimeData;
    data->setData(QLatin1String(m_kind.mimeType), m_entries.at(row).payload);
    m_dragSource = true;
    m_dragIndex = uint16_t(row);
    return data;
}

QMimeData* MappingList::beginDrag(const QPoint& viewportPoint)
{
    QTreeWidgetItem* item = itemAt(viewportPoint);
    return item ? beginDrag(indexOfTopLevelItem(item)) : nullptr;
}

void MappingList::removeDragSource()
{
    m_dragSource = false;
    if (m_dragIndex < m_entries.size()) {
        delete takeTopLevelItem(m_dragIndex);
        m_entries.removeAt(m_dragIndex);
    }
}

void MappingList::slotListDropAccepted(bool accepted)
{
    if (accepted && m_dragSource)
        removeDragSource();
    else
        m_dragSource = false;
}

void MappingList::acceptDrop(const QMimeData* data)
{
    MappedModule module;
    const MappingPayload kind = m_kind.read(data, &module);
    if (kind == MappingPayload::NotOurs)
        return;
    if (kind == MappingPayload::WrongTag) {
        emit sigListDropAccepted(false);
        return;
    }
    if (m_dragSource)
        removeDragSource();
    if (!contains(module))
        add(module);
    emit sigListDropAccepted(true);
}

void MappingList::dropEvent(QDropEvent* event)
{
    acceptDrop(event->mimeData());
}
