#include "ItemDelegate.h"

#include "ITableView.h"

ItemDelegate::ItemDelegate(ITableView* t)
    : QStyledItemDelegate(nullptr)
    , table(t)
{
}

void ItemDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    QStyleOptionViewItem opt(option);
    initStyleOption(&opt, index);
    if ((opt.state & QStyle::State_MouseOver) && table)
        table->setHoverRow(index.row());
    opt.state &= ~QStyle::State_MouseOver;
    QStyledItemDelegate::paint(painter, opt, index);
}
