#pragma once

#include <QStyledItemDelegate>

class ITableView;

// The TableView's delegate: tells the table which row the mouse is over and
// keeps the style's own hover look away, so the table's row colours show.
class ItemDelegate : public QStyledItemDelegate
{
    Q_OBJECT
public:
    explicit ItemDelegate(ITableView* table);

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    ITableView* table;
};
