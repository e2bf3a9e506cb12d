#pragma once

#include "ITableView.h"

#include <QBrush>
#include <QTableView>

class ItemDelegate;

// A table over a QStandardItemModel that paints the row under the mouse and
// the last clicked row light blue, and reports the clicked row.
class TableView : public QTableView, public ITableView
{
    Q_OBJECT
public:
    explicit TableView(QWidget* parent = nullptr);
    ~TableView() override;

    void setHoverRow(int row) override;
    void setSelectedRow(int row);
    void clearHover();
    void clearSelectedRow();

    int hoverRow() const { return hoverActive ? hovered : -1; }
    int selectedRowIndex() const { return selectionActive ? selected : -1; }

    static QBrush highlightBrush();

    bool eventFilter(QObject* watched, QEvent* event) override;

signals:
    void selectedRow(int row);

protected:
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;

private:
    void paintRow(int row, const QBrush& brush);
    void clearRow(int row);

    ItemDelegate* delegate;
    bool mouseInside = false;
    bool hoverActive = false;
    int hovered = -1;
    bool selectionActive = false;
    int selected = -1;
};
