#pragma once

#include <qcustomplot.h>

// The plot widget of the tool: a QCustomPlot that shows the tool-tip text of
// the selectable item or graph under the mouse. The texts are attached to the
// items and graphs themselves (setPlotToolTip), so any item or graph of the
// plot can carry one.
class ToolTipPlot : public QCustomPlot
{
    Q_OBJECT
public:
    explicit ToolTipPlot(QWidget* parent = nullptr);

    bool event(QEvent* e) override;

    // Index in the graph list of the graph under pos, or -1. The last graph
    // in the list within the selection tolerance wins, not the nearest one.
    int graphIndexAt(const QPoint& pos, bool onlySelectable);

signals:
    // The plot coordinates under the moving mouse on the first axis pair.
    // The first argument is the layout's first element when it is a title,
    // else null.
    void plotPoint(QCPTextElement* title, double x, double y);

private slots:
    void showPointToolTip(QMouseEvent* e);
    void showCoords(QMouseEvent* e);
};

// The tool-tip text of an item or a graph; empty when none was set.
void setPlotToolTip(QCPLayerable* itemOrGraph, const QString& text);
QString plotToolTip(const QCPLayerable* itemOrGraph);
