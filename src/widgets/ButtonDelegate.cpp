#include "ButtonDelegate.h"

#include <QPainter>
#include <QPalette>

void ButtonItem::paint(QPainter* painter, const QRect& rect, const QPalette& palette) const
{
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing, true);
    painter->setPen(QPen(Qt::black, 1, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin));
    painter->setBrush(palette.highlight());
    const QRect r(rect.topLeft(), QSize(int(rect.width() * 0.7), int(rect.height() * 0.7)));
    painter->drawRect(r);
    painter->fillRect(r, Qt::black);
    painter->restore();
}

ButtonDelegate::ButtonDelegate(QObject* parent)
    : QStyledItemDelegate(parent)
{
}

bool ButtonDelegate::holdsButton(const QModelIndex& index)
{
    static const int type = qRegisterMetaType<ButtonItem>("ButtonItem");
    Q_UNUSED(type);
    return index.data().canConvert<ButtonItem>();
}

void ButtonDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    if (holdsButton(index))
        return;
    QStyledItemDelegate::paint(painter, option, index);
}

QSize ButtonDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    return QStyledItemDelegate::sizeHint(option, index);
}

QWidget* ButtonDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                                      const QModelIndex& index) const
{
    return QStyledItemDelegate::createEditor(parent, option, index);
}

void ButtonDelegate::setEditorData(QWidget* editor, const QModelIndex& index) const
{
    if (holdsButton(index))
        return;
    QStyledItemDelegate::setEditorData(editor, index);
}

void ButtonDelegate::setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const
{
    if (holdsButton(index))
        return;
    QStyledItemDelegate::setModelData(editor, model, index);
}

void ButtonDelegate::acceptAndCloseEditor()
{
}
