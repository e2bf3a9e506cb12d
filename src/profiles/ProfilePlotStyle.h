#pragma once

class QCPGraph;
class QCustomPlot;
class QColor;
class QString;

// The dark look shared by the profile editors' plots.
namespace ProfilePlotStyle {
// Background gradient, white axes and labels, dotted grids, spike arrows and
// the legend at the bottom right.
void applyDark(QCustomPlot* plot);
// A named curve listed in the legend, antialiased, 2-pixel solid line;
// markers of size 3 when withMarkers. Its name is also its plot tool tip.
void styleCurve(QCPGraph* graph, const QString& name, const QColor& color, bool withMarkers);
} // namespace ProfilePlotStyle
