#include "CellGraphMath.h"

#include "CellStringLayout.h"

#include <algorithm>
#include <cmath>

namespace {

// The value tables held no valid reading when an end of the range still sits
// at the sentinel.
bool nearSentinel(double v) { return std::fabs(v - double(INVALID_CELL_VALUE)) < 1.0; }

double factorOf(const QVector<float>& factors, int index)
{
    return (index >= 0 && index < factors.size()) ? double(factors[index]) : 1.0;
}

// A span of zero (equal values, no minimum span) would divide by zero when
// the bars are scaled.
void keepSpanOpen(CellRange& r)
{
    if (!(r.hi > r.lo)) {
        r.lo -= 0.5;
        r.hi += 0.5;
    }
}

// A tenth of the span of the readings as margin on each side (the top
// margin measured on the span already widened at the bottom).
void addMargins(CellRange& r)
{
    r.lo = r.lo - (r.hi - r.lo) / 10.0;
    r.hi = r.hi + (r.hi - r.lo) / 10.0;
}

// A range still at the sentinel falls back to the limits; a closed span is
// opened.
CellRange finished(CellRange r, const RangeSettings& st)
{
    if (nearSentinel(r.lo) || nearSentinel(r.hi)) {
        r.lo = st.rangeMin;
        r.hi = st.rangeMax;
    }
    keepSpanOpen(r);
    return r;
}

} // namespace

CellRange plainGraphRange(const std::vector<std::vector<float>>& values, const RangeSettings& st)
{
    CellRange r{st.rangeMin, st.rangeMax};
    if (!st.fixedRange) {
        // Start from the first valid reading: starting from an invalid cell
        // would pin the range to rangeMin..rangeMax and hide the data.
        bool started = false;
        for (const auto& string : values) {
            for (float v : string) {
                if (!isValidCellValue(v))
                    continue;
                if (!started) {
                    r.lo = r.hi = v;
                    started = true;
                } else if (v < r.lo) {
                    r.lo = v;
                } else if (v > r.hi) {
                    r.hi = v;
                }
            }
        }
    }
    addMargins(r);
    if (r.lo < st.rangeMin)
        r.lo = st.rangeMin;
    if (r.hi > st.rangeMax)
        r.hi = st.rangeMax;
    const double span = std::fabs(r.hi - r.lo);
    if (span < st.minSpan) {
        const double e = (st.minSpan - span) / 2.0;
        r.hi += e;
        r.lo -= e;
    }
    return finished(r, st);
}

CellRange groupedGraphRange(const std::vector<std::vector<std::vector<float>>>& values,
                            const QVector<float>& factors, const RangeSettings& st)
{
    CellRange r{st.rangeMin, st.rangeMax};
    if (!st.fixedRange) {
        bool started = false;
        for (const auto& string : values) {
            for (const auto& cell : string) {
                for (int k = 0; k < int(cell.size()); ++k) {
                    if (isValidCellValue(cell[k])) {
                        r.lo = r.hi = double(cell[k]) * factorOf(factors, k);
                        started = true;
                        break;
                    }
                }
                if (started)
                    break;
            }
            if (started)
                break;
        }
        if (!started) {
            // No reading at all: the limits as they are, not widened.
            r = CellRange{st.rangeMin, st.rangeMax};
            keepSpanOpen(r);
            return r;
        }
    }
    for (const auto& string : values) {
        for (const auto& cell : string) {
            for (int k = 0; k < int(cell.size()); ++k) {
                const float v = cell[k];
                if (!isValidCellValue(v))
                    continue;
                const double w = double(v) * factorOf(factors, k);
                if (w > r.hi)
                    r.hi = w;
                if (w < r.lo)
                    r.lo = w;
            }
        }
    }
    addMargins(r);
    const double span = std::fabs(r.hi - r.lo);
    const double sentinel = double(INVALID_CELL_VALUE);
    if (span < st.minSpan && r.lo > sentinel && r.hi > sentinel) {
        const double e = (st.minSpan - span) / 2.0;
        r.hi += e;
        r.lo -= e;
    }
    return finished(r, st);
}

ScaleTicks scaleTicks(double lo, double hi, int plotHeight, int fontHeight)
{
    ScaleTicks t;
    const double range = hi - lo;
    if (!std::isfinite(range) || !std::isfinite(lo) || range <= 0.0 || fontHeight <= 0 || plotHeight <= 0)
        return t;
    const int maxTicks = int(plotHeight / (1.5 * fontHeight));
    double step = 0.01;
    double k = std::round(range / step);
    while (maxTicks < k) {
        step *= 10.0;
        k = std::round(range / step);
    }
    if (5.0 * k < maxTicks) {
        step /= 5.0;
        k = std::round(range / step);
    } else if (2.0 * k < maxTicks) {
        step /= 2.0;
        k = std::round(range / step);
    }
    double first = std::round(lo / step) * step;
    if (lo > first)
        first += step;
    t.first = first;
    t.step = step;
    t.count = int(k) + 1;
    return t;
}

QString cellTipText(const QString& label, int cellNumber, float value, int decimals, const QString& unit,
                    int versionRaw)
{
    QString text = label + QStringLiteral("[%1] ").arg(cellNumber);
    if (!isValidCellValue(value))
        text += QStringLiteral("Invalid");
    else
        text += QString::number(double(value), 'f', std::clamp(decimals, 0, 20)) + unit;
    if (versionRaw > 254)
        text += QStringLiteral("\n CM VER: N/A");
    else
        text += QStringLiteral("\n CM VER: ") + QString::number(double(versionRaw) / 100.0, 'f', 2);
    return text;
}

int groupedTipIndex(int r, double cw, int groupSize)
{
    if (groupSize < 1 || !(cw > 0.0))
        return -1;
    const double edge = cw / 16.0;
    if (r < edge || cw - r < edge)
        return -1;
    const int t = std::max(0, int(r - edge));
    const int k = int(t / ((cw - cw / 8.0) / groupSize));
    return std::min(k, groupSize - 1);
}

int toPixel(double v)
{
    if (std::isnan(v))
        return 0;
    return int(std::clamp(v, -1.0e6, 1.0e6));
}
