#pragma once

#include <QString>
#include <QVector>

#include <vector>

// The arithmetic of the cell bar graphs, kept free of painting so that the
// range, the scale and the tip texts can be checked on their own.

struct CellRange
{
    double lo = 0.0;
    double hi = 1.0;
};

struct RangeSettings
{
    double rangeMin = 0.0;
    double rangeMax = 1.0;
    double minSpan = 0.0;
    bool fixedRange = false;
};

// Drawn range of the plain graph: follows the valid values (+/- 10 %) inside
// rangeMin..rangeMax, or is rangeMin..rangeMax with a fixed range or no valid
// value; never narrower than minSpan.
CellRange plainGraphRange(const std::vector<std::vector<float>>& values, const RangeSettings& settings);

// Drawn range of the grouped graph: starts from rangeMin..rangeMax (or the
// first valid value) and grows with every valid value times its factor; a
// fixed range is only the starting range here.
CellRange groupedGraphRange(const std::vector<std::vector<std::vector<float>>>& values,
                            const QVector<float>& factors, const RangeSettings& settings);

// Grid lines of the value scale: k + 1 lines from `first`, `step` apart.
struct ScaleTicks
{
    double first = 0.0;
    double step = 0.01;
    int count = 0; // lines to draw (k + 1); 0 draws none
};

// plotHeight is the height of the value area in pixels, fontHeight the label
// font's height; ticks are spaced so that the labels do not crowd.
ScaleTicks scaleTicks(double lo, double hi, int plotHeight, int fontHeight);

// "[n] value unit\n CM VER: x.yy" (or "Invalid", "N/A"). label goes in front
// (the grouped graph's value label); versionRaw is the module version x 100,
// above 254 meaning unknown.
QString cellTipText(const QString& label, int cellNumber, float value, int decimals, const QString& unit,
                    int versionRaw);

// Which value of a grouped cell the pointer is over: pixel r within a cell of
// width cw, groupSize values side by side. -1 in the outer sixteenth of the
// cell on either side (no tip there).
int groupedTipIndex(int r, double cw, int groupSize);

// A finite coordinate turned into a pixel without overflowing an int.
int toPixel(double v);
