#pragma once

#include <QMetaType>
#include <QSize>
#include <QString>
#include <QStyledItemDelegate>

class QPainter;
class QRect;
class QPalette;

// A cell value drawn as a button by its owner.
class ButtonItem
{
public:
    explicit ButtonItem(const QString& text = QString())
        : text(text)
    {
    }

    QSize sizeHint() const { return QSize(60, 20); }
    void paint(QPainter* painter, const QRect& rect, const QPalette& palette) const;

    QString text;
};
Q_DECLARE_METATYPE(ButtonItem)

// Leaves cells that hold a ButtonItem unpainted and unedited; every other
// cell is handled as by a plain delegate.
class ButtonDelegate : public QStyledItemDelegate
{
    Q_OBJECT
public:
    explicit ButtonDelegate(QObject* parent = nullptr);

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override;
    void setEditorData(QWidget* editor, const QModelIndex& index) const override;
    void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override;

    static bool holdsButton(const QModelIndex& index);

public slots:
    void acceptAndCloseEditor();
};
