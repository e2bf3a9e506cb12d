#include "ToshibaSCiBMappingTables.h"

#include <QApplication>
#include <QDrag>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QHeaderView>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>

#include <algorithm>

ToshibaSCiBConfiguredTable* g_toshibaSCiBConfiguredTable = nullptr;
ToshibaSCiBUnconfiguredTree* g_toshibaSCiBUnconfiguredTree = nullptr;

namespace scib {

const char* const kMimeType = "SCiB/text";

QByteArray payload(uint32_t moduleId, uint8_t cellCount)
{
    return QStringLiteral("SCiB;%1;%2").arg(moduleId).arg(cellCount).toLatin1();
}

PayloadKind parsePayload(const QMimeData* data, uint32_t* moduleId, uint8_t* cellCount)
{
    if (!data || !data->hasFormat(QLatin1String(kMimeType)))
        return PayloadKind::NotOurs;
    const QStringList f = QString::fromLatin1(data->data(QLatin1String(kMimeType))).split(QLatin1Char(';'));
    if (f.size() != 3)
        return PayloadKind::NotOurs;
    if (f.at(0) != QLatin1String("SCiB"))
        return PayloadKind::WrongTag;
    *moduleId = f.at(1).toUInt(nullptr, 10);
    *cellCount = uint8_t(f.at(2).toUShort(nullptr, 10) & 0xFF);
    return PayloadKind::Module;
}

namespace {
// Drawn when the program's pictures are not in the resources.
QIcon drawnIcon(int state)
{
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    if (state == ScibConfirmed) {
        p.setPen(QPen(QColor(0, 150, 0), 2.5));
        p.drawPolyline(QPolygonF({QPointF(3, 8), QPointF(7, 12), QPointF(13, 3)}));
    } else if (state == ScibFailed) {
        p.setPen(QPen(QColor(200, 0, 0), 2.5));
        p.drawLine(3, 3, 13, 13);
        p.drawLine(13, 3, 3, 13);
    } else if (state == ScibUnconfirmed) {
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

QIcon stateIcon(int state)
{
    static const char* const names[] = {":/images/icon_check.png", ":/images/icon_x.png",
                                        ":/images/icon_question.png"};
    if (state < 0 || state > 2)
        return QIcon();
    const QPixmap pm{QString::fromLatin1(names[state])};
    return pm.isNull() ? drawnIcon(state) : QIcon(pm);
}

} // namespace scib

using namespace scib;

namespace {
bool validCell(int string, int position)
{
    return string >= 0 && string < kStrings && position >= 0 && position < kPositions;
}

// Exactly the left button, moved at least the platform's drag distance.
bool dragWanted(QMouseEvent* event, const QPoint& pressPoint)
{
    return event->buttons() == Qt::LeftButton &&
           (event->pos() - pressPoint).manhattanLength() >= QApplication::startDragDistance();
}
} // namespace

// ---------------------------------------------------------------- table

ToshibaSCiBConfiguredTable::ToshibaSCiBConfiguredTable(QWidget* parent) : QTableWidget(kPositions, kStrings, parent)
{
    setMinimumHeight(400);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::SingleSelection);
    viewport()->setAcceptDrops(true);
    setDragEnabled(true);
    for (int s = 0; s < kStrings; ++s) {
        setColumnWidth(s, 145);
        m_headers << QStringLiteral("String%1").arg(s);
        for (int p = 0; p < kPositions; ++p) {
            SCiBModuleCell& c = m_cells[s][p];
            c.string = uint8_t(s);
            c.position = uint8_t(p);
            c.item = new QTableWidgetItem;
            c.item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
            c.item->setIcon(QIcon());
            setItem(p, s, c.item);
        }
    }
    setHorizontalHeaderLabels(m_headers);
    for (int i = 1; i < kStrings; ++i)
        setColumnHidden(i, true);
    for (int i = 1; i < kPositions; ++i)
        setRowHidden(i, true);
    g_toshibaSCiBConfiguredTable = this;
}

bool ToshibaSCiBConfiguredTable::placeModule(int string, int position, uint32_t moduleId, uint8_t cellCount)
{
    if (!validCell(string, position) || m_placedCount >= kStrings)
        return false;
    SCiBModuleCell& c = m_cells[string][position];
    if (!c.occupied)
        ++m_placedCount;
    c.moduleId = moduleId;
    c.cellCount = cellCount;
    c.occupied = true;
    c.text = QStringLiteral("Module ID: %1, cells: %2").arg(moduleId).arg(cellCount);
    c.item->setText(c.text);
    updateStringHeaders();
    if (string >= m_visibleStrings)
        emit sigColumnCountChanged(string + 1);
    updateVisibleRows();
    return true;
}

bool ToshibaSCiBConfiguredTable::placeModuleAt(uint32_t moduleId, int string, int position, int state,
                                               uint8_t cellCount)
{
    if (!validCell(string, position) || state < 0 || state > 3)
        return false;
    clearCell(string, position);
    placeModule(string, position, moduleId, cellCount);
    setCellState(string, position, state);
    return true;
}

bool ToshibaSCiBConfiguredTable::setCellState(int string, int position, int state)
{
    if (!validCell(string, position) || state < 0 || state > 3)
        return false;
    SCiBModuleCell& c = m_cells[string][position];
    c.state = uint8_t(state);
    c.item->setIcon(stateIcon(state));
    return true;
}

bool ToshibaSCiBConfiguredTable::setAllCellStates(int state)
{
    if (state < 0 || state > 3)
        return false;
    for (int s = 0; s < kStrings; ++s)
        for (int p = 0; p < kPositions; ++p)
            if (m_cells[s][p].occupied)
                setCellState(s, p, state);
    return true;
}

void ToshibaSCiBConfiguredTable::markDuplicateModules()
{
    QList<uint32_t> seen;
    for (int s = 0; s < kStrings; ++s)
        for (int p = 0; p < kPositions; ++p) {
            const SCiBModuleCell& c = m_cells[s][p];
            if (!c.occupied)
                continue;
            if (seen.contains(c.moduleId))
                setCellState(s, p, ScibFailed);
            else
                seen << c.moduleId;
        }
}

bool ToshibaSCiBConfiguredTable::findModule(uint32_t moduleId, uint8_t* string, uint8_t* position,
                                            uint8_t* cellCount) const
{
    bool found = false;
    for (int s = 0; s < kStrings; ++s)
        for (int p = 0; p < kPositions; ++p) {
            const SCiBModuleCell& c = m_cells[s][p];
            if (c.occupied && c.moduleId == moduleId) {
                *string = uint8_t(s);
                *position = uint8_t(p);
                *cellCount = c.cellCount;
                found = true;
                break;
            }
        }
    return found;
}

int ToshibaSCiBConfiguredTable::collectPlacedModules()
{
    m_placed.clear();
    for (int s = 0; s < kStrings; ++s)
        for (int p = 0; p < kPositions; ++p)
            if (m_cells[s][p].occupied)
                m_placed << uint16_t(s << 8 | p);
    return m_placed.size();
}

bool ToshibaSCiBConfiguredTable::placedModuleAt(int index, uint32_t* moduleId, uint8_t* cellCount, uint8_t* string,
                                                uint8_t* position, uint8_t* state) const
{
    if (index < 0 || index >= m_placed.size())
        return false;
    const uint16_t key = m_placed.at(index);
    const SCiBModuleCell& c = m_cells[key >> 8][key & 0xFF];
    *moduleId = c.moduleId;
    *cellCount = c.cellCount;
    *string = c.string;
    *position = c.position;
    *state = c.state;
    return true;
}

int ToshibaSCiBConfiguredTable::totalCellCount() const
{
    int total = 0;
    for (int s = 0; s < kStrings; ++s)
        for (int p = 0; p < kPositions; ++p)
            if (m_cells[s][p].occupied)
                total += m_cells[s][p].cellCount;
    return total;
}

void ToshibaSCiBConfiguredTable::clearAll()
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

void ToshibaSCiBConfiguredTable::setDragDropEnabled(bool enabled)
{
    viewport()->setAcceptDrops(enabled);
    setDragEnabled(enabled);
}

// Only the occupied flag, text and icon go: the module's values stay for
// the callers that hand it on.
void ToshibaSCiBConfiguredTable::clearCell(int string, int position)
{
    SCiBModuleCell& c = m_cells[string][position];
    if (c.occupied && m_placedCount > 0)
        --m_placedCount;
    c.occupied = false;
    c.text.clear();
    c.item->setText(QString());
    setCellState(string, position, ScibEmpty);
    updateVisibleRows();
}

void ToshibaSCiBConfiguredTable::updateVisibleRows()
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
    m_rowMark = uint8_t(m);
}

void ToshibaSCiBConfiguredTable::updateStringHeaders()
{
    for (int s = 0; s < kStrings; ++s) {
        int sum = 0;
        for (int p = 0; p < kPositions; ++p)
            if (m_cells[s][p].occupied)
                sum += m_cells[s][p].cellCount;
        m_headers[s] = QStringLiteral("String %1 (Cells: %2)").arg(s).arg(sum);
    }
    setHorizontalHeaderLabels(m_headers);
}

void ToshibaSCiBConfiguredTable::slotTableColumnCount(int count)
{
    const int n = std::max(1, std::min(count, kStrings));
    if (n > m_visibleStrings) {
        for (int s = m_visibleStrings; s < n; ++s)
            setColumnHidden(s, false);
    } else if (n < m_visibleStrings) {
        for (int s = n; s < kStrings; ++s)
            setColumnHidden(s, true);
    }
    m_visibleStrings = uint8_t(n);
    for (int s = n; s < kStrings; ++s)
        for (int p = 0; p < kPositions; ++p)
            if (m_cells[s][p].occupied) {
                clearCell(s, p);
                handBack(m_cells[s][p]);
                updateStringHeaders();
            }
}

void ToshibaSCiBConfiguredTable::returnLastModule(int string, int position)
{
    for (int p = kPositions - 1; p >= position; --p)
        if (m_cells[string][p].occupied) {
            clearCell(string, p);
            handBack(m_cells[string][p]);
            return;
        }
}

void ToshibaSCiBConfiguredTable::shiftDown(int string, int position)
{
    if (!validCell(string, position))
        return;
    if (m_cells[string][kPositions - 1].occupied) {
        clearCell(string, kPositions - 1);
        handBack(m_cells[string][kPositions - 1]);
    }
    for (int p = kPositions - 2; p >= position; --p) {
        const SCiBModuleCell& c = m_cells[string][p];
        if (!c.occupied)
            continue;
        clearCell(string, p);
        placeModuleAt(c.moduleId, string, p + 1, ScibUnconfirmed, c.cellCount);
    }
}

void ToshibaSCiBConfiguredTable::removeAndShiftUp(int string, int position)
{
    if (!validCell(string, position))
        return;
    clearCell(string, position);
    for (int p = position + 1; p < kPositions; ++p) {
        const SCiBModuleCell& c = m_cells[string][p];
        if (!c.occupied)
            continue;
        clearCell(string, p);
        placeModuleAt(c.moduleId, string, p - 1, ScibUnconfirmed, c.cellCount);
    }
}

void ToshibaSCiBConfiguredTable::removeDragSource()
{
    m_dragSource = false;
    const int s = m_dragCell >> 8;
    const int p = m_dragCell & 0xFF;
    if (!validCell(s, p))
        return;
    removeAndShiftUp(s, p);
    emit sigConfigurationChanged();
}

void ToshibaSCiBConfiguredTable::slotTableDropAccepted(bool accepted)
{
    if (accepted && m_dragSource)
        removeDragSource();
    else
        m_dragSource = false;
}

QMimeData* ToshibaSCiBConfiguredTable::beginDrag(int string, int position)
{
    if (!validCell(string, position) || !m_cells[string][position].occupied)
        return nullptr;
    const SCiBModuleCell& c = m_cells[string][position];
    auto* data = new QMimeData;
    data->setData(QLatin1String(kMimeType), payload(c.moduleId, c.cellCount));
    m_dragSource = true;
    m_dragCell = uint16_t(string << 8 | position);
    updateStringHeaders();
    return data;
}

void ToshibaSCiBConfiguredTable::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        m_pressPoint = event->pos();
    QTableWidget::mousePressEvent(event);
}

void ToshibaSCiBConfiguredTable::mouseMoveEvent(QMouseEvent* event)
{
    if (dragEnabled() && dragWanted(event, m_pressPoint)) {
        m_dragPoint = event->pos();
        const QModelIndex index = indexAt(m_dragPoint);
        if (QMimeData* data = index.isValid() ? beginDrag(index.column(), index.row()) : nullptr) {
            auto* drag = new QDrag(this);
            drag->setMimeData(data);
            drag->exec(Qt::MoveAction);
            endDrag();
            return;
        }
    }
    QTableWidget::mouseMoveEvent(event);
}

void ToshibaSCiBConfiguredTable::dragEnterEvent(QDragEnterEvent* event)
{
    if (event->mimeData()->hasFormat(QLatin1String(kMimeType)))
        event->acceptProposedAction();
}

void ToshibaSCiBConfiguredTable::dragMoveEvent(QDragMoveEvent* event)
{
    if (event->mimeData()->hasFormat(QLatin1String(kMimeType)))
        event->accept();
}

void ToshibaSCiBConfiguredTable::dropEvent(QDropEvent* event)
{
    const QModelIndex index = indexAt(event->pos());
    if (index.isValid())
        acceptDrop(event->mimeData(), index.row(), index.column());
}

void ToshibaSCiBConfiguredTable::acceptDrop(const QMimeData* data, int row, int column)
{
    uint32_t moduleId = 0;
    uint8_t cells = 0;
    if (parsePayload(data, &moduleId, &cells) != PayloadKind::Module || !validCell(column, row))
        return;
    if (m_dragSource)
        removeDragSource();
    const int s = column;
    int p = row;
    if (m_placedCount > kStrings - 1) {
        if (!m_cells[s][p].occupied) {
            emit sigTableDropAccepted(false);
            return;
        }
        returnLastModule(s, p);
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
    placeModule(s, p, moduleId, cells);
    setCellState(s, p, ScibUnconfirmed);
    emit sigTableDropAccepted(true);
    emit sigConfigurationChanged();
}

// ---------------------------------------------------------------- tree

ToshibaSCiBUnconfiguredTree::ToshibaSCiBUnconfiguredTree(QWidget* parent) : QTreeWidget(parent)
{
    setColumnCount(2);
    setHeaderLabels({QStringLiteral("ID"), QStringLiteral("Cell Count")});
    setColumnWidth(0, 100);
    setColumnWidth(1, 60);
    setMinimumWidth(160);
    setRootIsDecorated(false);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setDropIndicatorShown(true);
    setDragEnabled(true);
    viewport()->setAcceptDrops(true);
    g_toshibaSCiBUnconfiguredTree = this;
}

void ToshibaSCiBUnconfiguredTree::addModule(uint32_t moduleId, uint8_t cellCount)
{
    UnconfiguredSCiBModule m;
    m.moduleId = moduleId;
    m.cellCount = cellCount;
    m.payload = payload(moduleId, cellCount);
    m.item = new QTreeWidgetItem({QString::number(moduleId), QString::number(cellCount)});
    addTopLevelItem(m.item);
    m_modules << m;
}

bool ToshibaSCiBUnconfiguredTree::containsModule(uint32_t moduleId) const
{
    return std::any_of(m_modules.begin(), m_modules.end(),
                       [moduleId](const UnconfiguredSCiBModule& m) { return m.moduleId == moduleId; });
}

bool ToshibaSCiBUnconfiguredTree::moduleAt(int index, uint32_t* moduleId) const
{
    if (index < 0 || index >= m_modules.size())
        return false;
    *moduleId = m_modules.at(index).moduleId;
    return true;
}

void ToshibaSCiBUnconfiguredTree::clearModules()
{
    clear();
    m_modules.clear();
}

void ToshibaSCiBUnconfiguredTree::setDragDropEnabled(bool enabled)
{
    viewport()->setAcceptDrops(enabled);
    setDragEnabled(enabled);
}

QMimeData* ToshibaSCiBUnconfiguredTree::beginDrag(int row)
{
    if (row < 0 || row >= m_modules.size())
        return nullptr;
    auto* data = new QMimeData;
    data->setData(QLatin1String(kMimeType), m_modules.at(row).payload);
    m_dragSource = true;
    m_dragIndex = uint16_t(row);
    return data;
}

void ToshibaSCiBUnconfiguredTree::removeDragSource()
{
    m_dragSource = false;
    if (m_dragIndex < m_modules.size()) {
        delete takeTopLevelItem(m_dragIndex);
        m_modules.removeAt(m_dragIndex);
    }
}

void ToshibaSCiBUnconfiguredTree::slotListDropAccepted(bool accepted)
{
    if (accepted && m_dragSource)
        removeDragSource();
    else
        m_dragSource = false;
}

void ToshibaSCiBUnconfiguredTree::acceptDrop(const QMimeData* data)
{
    uint32_t moduleId = 0;
    uint8_t cells = 0;
    const PayloadKind kind = parsePayload(data, &moduleId, &cells);
    if (kind == PayloadKind::NotOurs)
        return;
    if (kind == PayloadKind::WrongTag) {
        emit sigListDropAccepted(false);
        return;
    }
    if (m_dragSource)
        removeDragSource();
    if (!containsModule(moduleId))
        addModule(moduleId, cells);
    emit sigListDropAccepted(true);
}

void ToshibaSCiBUnconfiguredTree::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        m_pressPoint = event->pos();
    QTreeWidget::mousePressEvent(event);
}

void ToshibaSCiBUnconfiguredTree::mouseMoveEvent(QMouseEvent* event)
{
    if (dragEnabled() && dragWanted(event, m_pressPoint)) {
        m_dragPoint = event->pos();
        QTreeWidgetItem* item = itemAt(m_dragPoint);
        if (QMimeData* data = item ? beginDrag(indexOfTopLevelItem(item)) : nullptr) {
            auto* drag = new QDrag(this);
            drag->setMimeData(data);
            drag->exec(Qt::MoveAction);
            endDrag();
            return;
        }
    }
    QTreeWidget::mouseMoveEvent(event);
}

void ToshibaSCiBUnconfiguredTree::dragEnterEvent(QDragEnterEvent* event)
{
    if (event->mimeData()->hasFormat(QLatin1String(kMimeType)))
        event->acceptProposedAction();
}

void ToshibaSCiBUnconfiguredTree::dragMoveEvent(QDragMoveEvent* event)
{
    if (event->mimeData()->hasFormat(QLatin1String(kMimeType)))
        event->accept();
}

void ToshibaSCiBUnconfiguredTree::dropEvent(QDropEvent* event)
{
    acceptDrop(event->mimeData());
}
