#include "ProfilePlotStyle.h"

#include "ToolTipPlot.h"

#include <qcustomplot.h>

namespace ProfilePlotStyle {

void applyDark(QCustomPlot* plot)
{
    const QFont labelFont(QStringLiteral("Helvetica Neue"), 8);
    for (QCPAxis* axis : {plot->xAxis, plot->yAxis}) {
        axis->setBasePen(QPen(Qt::white, 1));
        axis->setTickPen(QPen(Qt::white, 1));
        axis->setSubTickPen(QPen(Qt::white, 1));
        axis->setTickLabelColor(Qt::white);
        axis->setLabelColor(Qt::white);
        axis->setLabelFont(labelFont);
        axis->grid()->setPen(QPen(QColor(140, 140, 140), 1, Qt::DotLine));
        axis->grid()->setSubGridPen(QPen(QColor(80, 80, 80), 1, Qt::DotLine));
        axis->grid()->setSubGridVisible(true);
        axis->grid()->setZeroLinePen(Qt::NoPen);
        axis->setUpperEnding(QCPLineEnding(QCPLineEnding::esSpikeArrow, 8, 10));
    }
    QLinearGradient gradient(0, 0, 0, 350);
    gradient.setColorAt(0, QColor(60, 60, 60));
    gradient.setColorAt(1, QColor(30, 30, 30));
    plot->setBackground(QBrush(gradient));
    plot->axisRect()->setBackground(QBrush(gradient));

    plot->legend->setVisible(true);
    plot->legend->setBrush(QBrush(Qt::white));
    plot->legend->setFont(labelFont);
    plot->legend->setMargins(QMargins(0, 0, 0, 0));
    plot->legend->setRowSpacing(0);
    plot->legend->setColumnSpacing(0);
    plot->axisRect()->insetLayout()->setInsetAlignment(0, Qt::AlignBottom | Qt::AlignRight);
}

void styleCurve(QCPGraph* graph, const QString& name, const QColor& color, bool withMarkers)
{
    graph->setName(name);
    setPlotToolTip(graph, name);
    QPen pen(color, 2, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin);
    graph->setPen(pen);
    graph->setAntialiased(true);
    graph->setLineStyle(QCPGraph::lsLine);
    if (withMarkers)
        graph->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssCircle, 3));
    graph->addToLegend();
}

} // namespace ProfilePlotStyle
