#include "ToolTipPlot.h"

#include <QHelpEvent>
#include <QToolTip>

namespace {
const char* const ToolTipProperty = "bmsToolTip";
}

void setPlotToolTip(QCPLayerable* itemOrGraph, const QString& text)
{
    if (itemOrGraph)
        itemOrGraph->setProperty(ToolTipProperty, text);
}

QString plotToolTip(const QCPLayerable* itemOrGraph)
{
    return itemOrGraph ? itemOrGraph->property(ToolTipProperty).toString() : QString();
}

ToolTipPlot::ToolTipPlot(QWidget* parent)
    : QCustomPlot(parent)
{
    connect(this, &QCustomPlot::mouseMove, this, &ToolTipPlot::showPointToolTip);
    connect(this, &QCustomPlot::mouseDoubleClick, this, &ToolTipPlot::showCoords);
}

int ToolTipPlot::graphIndexAt(const QPoint& pos, bool onlySelectable)
{
    int result = -1;
    for (int i = 0; i < graphCount(); ++i) {
        QCPGraph* g = graph(i);
        if (onlySelectable && !g->selectable())
            continue;
        QCPAxis* keyAxis = g->keyAxis();
        QCPAxis* valueAxis = g->valueAxis();
        if (!keyAxis || !valueAxis)
            continue;
        const QRect clip = keyAxis->axisRect()->rect() & valueAxis->axisRect()->rect();
        if (!clip.contains(pos))
            continue;
        const double d = g->selectTest(pos, false);
        if (d >= 0 && d < selectionTolerance())
            result = i;
    }
    return result;
}

bool ToolTipPlot::event(QEvent* e)
{
    if (e->type() != QEvent::ToolTip)
        return QCustomPlot::event(e);
    auto* help = static_cast<QHelpEvent*>(e);
    const QPoint p = help->pos();
    const QPoint g = help->globalPos();
    if (QCPAbstractItem* item = itemAt(p, true)) {
        QToolTip::showText(g, plotToolTip(item), this);
        const int gi = graphIndexAt(p, true);
        if (gi >= 0)
            QToolTip::showText(g, plotToolTip(graph(gi)), this);
        return true;
    }
    const int gi = graphIndexAt(p, true);
    if (gi >= 0) {
        QToolTip::showText(g, plotToolTip(graph(gi)), this);
    } else {
        QToolTip::showText(g, QString(), this);
        e->ignore();
    }
    return true;
}

void ToolTipPlot::showPointToolTip(QMouseEvent* e)
{
    if (!xAxis || !yAxis)
        return;
    const double x = xAxis->pixelToCoord(e->pos().x());
    const double y = yAxis->pixelToCoord(e->pos().y());
    QCPTextElement* title = nullptr;
    if (plotLayout() && plotLayout()->elementCount() > 0)
        title = qobject_cast<QCPTextElement*>(plotLayout()->elementAt(0));
    emit plotPoint(title, x, y);
}

void ToolTipPlot::showCoords(QMouseEvent*)
{
}
