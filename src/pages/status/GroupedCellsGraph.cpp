#include "GroupedCellsGraph.h"

#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>

GroupedCellsGraph::GroupedCellsGraph(QWidget* parent)
    : CCellsGraph(parent)
{
    // The plain constructor already emptied the layout; a grouped graph built
    // later empties it once more, as every graph construction does.
    setCellStringCount(0);
    for (int s = 0; s < kCellStringRows; ++s)
        setCellsInString(s, 0);
}

void GroupedCellsGraph::setGroupSize(int n)
{
    // 0 would leave no value per cell and divide by zero in the tip.
    if (n >= 1 && n <= kMaxGroupSize)
        groupSz = n;
}

bool GroupedCellsGraph::layoutMatches() const
{
    const int n = cellStringCount();
    if (int(grouped.size()) != n)
        return false;
    for (int s = 0; s < n; ++s) {
        const auto& row = grouped[s];
        if (int(row.size()) != cellsInString(s))
            return false;
        for (const auto& cell : row)
            if (int(cell.size()) != groupSz)
                return false;
    }
    return true;
}

void GroupedCellsGraph::syncLayout()
{
    if (layoutMatches())
        return;
    clearValues();
    const int n = cellStringCount();
    grouped.reserve(n);
    for (int s = 0; s < n; ++s)
        grouped.emplace_back(size_t(cellsInString(s)), std::vector<float>(size_t(groupSz), INVALID_CELL_VALUE));
}

void GroupedCellsGraph::clearValues()
{
    CCellsGraph::clearValues();
    grouped.clear();
}

const float* GroupedCellsGraph::cellAt(int string, int cell, int index) const
{
    if (string < 0 || string >= int(grouped.size()))
        return nullptr;
    const auto& row = grouped[string];
    if (cell < 0 || cell >= int(row.size()))
        return nullptr;
    const auto& values = row[cell];
    if (index < 0 || index >= int(values.size()))
        return nullptr;
    return &values[index];
}

void GroupedCellsGraph::addValue(int string, int cell, int index, float v)
{
    syncLayout();
    float* slot = const_cast<float*>(cellAt(string, cell, index));
    if (!slot)
        return;
    *slot = std::isfinite(v) ? v : INVALID_CELL_VALUE;
    emit dataUpdated();
}

void GroupedCellsGraph::setInvalid(int string, int cell, int index)
{
    addValue(string, cell, index, INVALID_CELL_VALUE);
}

void GroupedCellsGraph::resetValues()
{
    for (auto& row : grouped)
        for (auto& cell : row)
            std::fill(cell.begin(), cell.end(), INVALID_CELL_VALUE);
    update();
}

void GroupedCellsGraph::requestRepaint() { update(); }

int GroupedCellsGraph::valueCount(int string, int cell) const
{
    if (string < 0 || string >= int(grouped.size()) || cell < 0 || cell >= int(grouped[string].size()))
        return 0;
    return int(grouped[string][cell].size());
}

float GroupedCellsGraph::value(int string, int cell, int index) const
{
    const float* v = cellAt(string, cell, index);
    return (v && isValidCellValue(*v)) ? *v : 0.0f;
}

bool GroupedCellsGraph::isValid(int string, int cell, int index) const
{
    const float* v = cellAt(string, cell, index);
    return v && isValidCellValue(*v);
}

void GroupedCellsGraph::paintEvent(QPaintEvent*)
{
    syncLayout();
    const int n = int(grouped.size());
    if (n == 0)
        return;
    const RangeSettings st{rangeMin, rangeMax, minSpan, fixedRange};
    const CellRange range = groupedGraphRange(grouped, valueFactors, st);
    paintStrings(n, range.lo, range.hi);
}

void GroupedCellsGraph::drawString(QPainter& p, const Frame& f, int s, double lo, double hi)
{
    const auto& row = grouped[s];
    const int c = int(row.size());
    if (c == 0 || row[0].empty())
        return;
    // The bars keep a span of at least twice minHalfSpan; the scale does not.
    double R = hi - lo;
    if (2.0 * minHalfSpan > R) {
        const double e = (2.0 * minHalfSpan - R) / 2.0 + 1.0;
        lo -= e;
        hi += e;
        R = hi - lo;
    }
    const int top = int(f.h + 2);
    const int P = f.H - top + 1;
    const int left = f.left(s);
    const int right = f.right(s);
    const double cw = double(right - left + 1) / c;
    const double inner = std::max(1.0, cw / 8.0);
    rememberString(s, left, right, cw);

    BarBrushes brushes(*this, cw);
    const QBrush hatch(Qt::black, Qt::BDiagPattern);
    const double sentinel = double(INVALID_CELL_VALUE);

    p.save();
    p.setPen(Qt::NoPen);
    // Whole pixels, no antialiasing: see CCellsGraph::drawString.
    p.setRenderHint(QPainter::Antialiasing, false);
    const QTransform base = p.worldTransform();
    for (int j = 0; j < c; ++j) {
        const auto& cell = row[j];
        const int m = int(cell.size());
        const double slot = (cw - inner) / m;
        const int barWidth = int(slot);
        for (int k = 0; k < m; ++k) {
            const float v = cell[k];
            QTransform at(base);
            at.translate(std::floor(left + j * cw + inner / 2.0 + k * slot), top);
            p.setWorldTransform(at);
            if (double(v) > sentinel) {
                const int fi = k % groupSz;
                const double factor = fi < valueFactors.size() ? double(valueFactors[fi]) : 1.0;
                const int y1 = toPixel(P - (P / R) * (double(v) * factor - lo));
                brushes.fill(p, QRect(0, y1, barWidth + 1, f.H - top - y1), v);
            } else {
                p.fillRect(QRect(0, 0, barWidth + 1, f.H - top), hatch);
            }
        }
    }
    p.restore();
}

CCellsGraph::TipAction GroupedCellsGraph::tipAt(const QPoint& pos, QString* text) const
{
    const int x = pos.x();
    const int s = stringAt(x);
    if (s < 0 || s >= int(grouped.size()) || grouped[s].empty())
        return TipAction::Hide;
    const double cw = cellWidth[s] > 0.0 ? cellWidth[s] : 1.0;
    const int d = x - stringLeft[s];
    const int c = int(grouped[s].size());
    int j = int(d / cw);
    const int r = int(d - j * cw);
    const int k = groupedTipIndex(r, cw, groupSz);
    if (k < 0)
        return TipAction::Hide;
    // The last pixel of a string belongs to its last cell.
    j = std::min(j, c - 1);
    const float* v = cellAt(s, j, k);
    if (!v)
        return TipAction::Hide;
    const int n = cellsBeforeString(s) + j + 1;
    const QString label = k < valueLabels.size() ? valueLabels[k] : QString();
    const int dec = k < decimals.size() ? decimals[k] : 0;
    const QString unit = k < units.size() ? units[k] : QString();
    if (text)
        *text = cellTipText(label, n, *v, dec, unit, cellModuleVersionRaw(s, n - 1));
    return TipAction::Show;
}

void GroupedCellsGraph::mouseMoveEvent(QMouseEvent* event) { showCellTip(event); }
