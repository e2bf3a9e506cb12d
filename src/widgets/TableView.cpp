#include "TableView.h"

#include "ItemDelegate.h"

#include <QEvent>
#include <QHeaderView>
#include <QMouseEvent>
#include <QStandardItemModel>

TableView::TableView(QWidget* parent)
    : QTableView(parent)
{
    delegate = new ItemDelegate(this);
    setItemDelegate(delegate);
    setMouseTracking(true);
    installEventFilter(this);
    horizontalHeader()->installEventFilter(this);
    setStyleSheet(QStringLiteral("QTableView { border: 1px solid lightgrey; }"));
}

TableView::~TableView()
{
    // The delegate has no parent, so that it never outlives the table by Qt
    // parenthood rules of its own: it goes here.
    setItemDelegate(nullptr);
    delete delegate;
}

QBrush TableView::highlightBrush()
{
    return QBrush(QColor(165, 219, 255, 100));
}

void TableView::paintRow(int row, const QBrush& brush)
{
    auto* m = qobject_cast<QStandardItemModel*>(model());
    if (!m || row < 0 || row >= m->rowCount())
        return;
    for (int c = 0; c < m->columnCount(); ++c) {
        if (QStandardItem* item = m->item(row, c))
            item->setBackground(brush);
    }
}

void TableView::clearRow(int row)
{
    paintRow(row, QBrush(Qt::transparent));
}

void TableView::setHoverRow(int row)
{
    if (row != -1 && mouseInside) {
        if (hoverActive && row == hovered)
            return;
        if (hoverActive && !(selectionActive && hovered == selected))
            clearRow(hovered);
        paintRow(row, highlightBrush());
        hovered = row;
        hoverActive = true;
    } else {
        if (hoverActive && !(selectionActive && hovered == selected))
            clearRow(hovered);
        hoverActive = false;
    }
}

void TableView::setSelectedRow(int row)
{
    if (selectionActive)
        clearRow(selected);
    selected = row;
    emit selectedRow(row);
    if (row != -1) {
        selectionActive = true;
        paintRow(row, highlightBrush());
    } else {
        selectionActive = false;
    }
}

void TableView::clearHover()
{
    if (hoverActive && !(selectionActive && hovered == selected))
        clearRow(hovered);
}

void TableView::clearSelectedRow()
{
    if (selectionActive)
        clearRow(selected);
}

bool TableView::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == this) {
        if (event->type() == QEvent::Enter) {
            mouseInside = true;
        } else if (event->type() == QEvent::Leave) {
            mouseInside = false;
            setHoverRow(-1);
        }
    } else if (watched == horizontalHeader()) {
        if (event->type() == QEvent::HoverEnter) {
            mouseInside = false;
            setHoverRow(-1);
        } else if (event->type() == QEvent::HoverLeave) {
            mouseInside = true;
        }
    }
    return false;
}

void TableView::mouseMoveEvent(QMouseEvent* e)
{
    setHoverRow(rowAt(qRound(e->localPos().y())));
    QTableView::mouseMoveEvent(e);
}

void TableView::mousePressEvent(QMouseEvent* e)
{
    setSelectedRow(rowAt(qRound(e->localPos().y())));
    QTableView::mousePressEvent(e);
}
