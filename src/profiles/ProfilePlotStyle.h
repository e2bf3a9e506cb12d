#pragma once

class QCPGraph;
class QCustomPlot;
class QColor;

// The dark look shared by the profile editors' plots.
namespace ProfilePlotStyle {
// Background gradient, white axes and labels, dotted grids, spike arrows and
// the legend at the bottom right.
void applyDark(QCustomPlot* plot);
// A curve listed in the legend, antialiased, 2-pixel solid line; markers of
// size 3 when withMarkers.
void styleCurve(QCPGraph* graph, const QColor& color, bool withMarkers);
} // namespace ProfilePlotStyle
