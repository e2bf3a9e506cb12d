#include "CCellsGraph.h"

#include "MyToolTip.h"

#include <QEvent>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

void reportError(const char* text)
{
    std::fputs(text, stderr);
    std::fflush(stderr);
}

QLinearGradient gradientOf(const QColor* colors, const float* stops, int count, double cw)
{
    QLinearGradient g(0.0, 0.0, cw, 0.0);
    for (int i = 0; i < count; ++i)
        g.setColorAt(double(stops[i]), colors[i]);
    return g;
}

bool stopInRange(float s) { return s >= 0.0f && s <= 1.0f; }

} // namespace

CCellsGraph::CCellsGraph(QWidget* parent)
    : QWidget(parent)
{
    QPalette pal = palette();
    pal.setColor(QPalette::All, QPalette::Shadow, QColor("#696969"));
    setPalette(pal);
    setBackgroundRole(QPalette::Shadow);
    setAutoFillBackground(true);
    setMouseTracking(true);

    resetCellLayoutForGraph();

    for (int s = 0; s < kCellStringRows; ++s) {
        stringLeft[s] = -1;
        stringRight[s] = -1;
        cellWidth[s] = 1.0;
    }
    bar.colors[0] = QColor(0, 170, 174);
    bar.colors[1] = QColor(0, 191, 183);
    bar.colors[2] = QColor(0, 130, 128);
    alarm.colors[0] = QColor(255, 0, 0);
    alarm.colors[1] = QColor(153, 1, 0);
    alarm.colors[2] = QColor(153, 1, 0);
}

CCellsGraph::~CCellsGraph() = default;

void CCellsGraph::setAlarmRange(int low, int high)
{
    if (low != high && low >= 0 && high >= 0) {
        alarmLow = low;
        alarmHigh = high;
    }
}

void CCellsGraph::setAlarmColoring(bool on) { alarmColoring = on; }
void CCellsGraph::setAlarmBlending(bool on) { alarmBlending = on; }

namespace {
void takeColors(QColor* colors, int& count, const QColor& c1, const QColor& c2, const QColor& c3)
{
    colors[0] = c1;
    count = 1;
    if (c2.alpha() != 0) {
        colors[1] = c2;
        count = 2;
        if (c3.alpha() != 0) {
            colors[2] = c3;
            count = 3;
        }
    }
}

// 0xFF000000 ends the list; any other word is an opaque RGB colour.
QColor rgbWord(uint32_t w)
{
    if (w == 0xFF000000u)
        return QColor(0, 0, 0, 0);
    return QColor::fromRgb(w | 0xFF000000u);
}

void takeStops(float* stops, int count, float s1, float s2, float s3)
{
    if (!stopInRange(s1))
        return;
    stops[0] = s1;
    if (!stopInRange(s2) || count == 1)
        return;
    stops[1] = s2;
    if (!stopInRange(s3) || count != 3)
        return;
    stops[2] = s3;
}
} // namespace

void CCellsGraph::setBarColors(const QColor& c1, const QColor& c2, const QColor& c3)
{
    takeColors(bar.colors, bar.count, c1, c2, c3);
}

void CCellsGraph::setAlarmColors(const QColor& c1, const QColor& c2, const QColor& c3)
{
    takeColors(alarm.colors, alarm.count, c1, c2, c3);
}

void CCellsGraph::setBarColors(uint32_t rgb1, uint32_t rgb2, uint32_t rgb3)
{
    setBarColors(QColor::fromRgb(rgb1 | 0xFF000000u), rgbWord(rgb2), rgbWord(rgb3));
}

void CCellsGraph::setAlarmColors(uint32_t rgb1, uint32_t rgb2, uint32_t rgb3)
{
    setAlarmColors(QColor::fromRgb(rgb1 | 0xFF000000u), rgbWord(rgb2), rgbWord(rgb3));
}

void CCellsGraph::setBarColorStops(float s1, float s2, float s3) { takeStops(bar.stops, bar.count, s1, s2, s3); }

void CCellsGraph::setAlarmColorStops(float s1, float s2, float s3)
{
    takeStops(alarm.stops, alarm.count, s1, s2, s3);
}

bool CCellsGraph::layoutMatches() const
{
    const int n = cellStringCount();
    if (int(values.size()) != n)
        return false;
    for (int s = 0; s < n; ++s)
        if (int(values[s].size()) != cellsInString(s))
            return false;
    return true;
}

void CCellsGraph::syncLayout()
{
    values.clear();
    const int n = cellStringCount();
    values.reserve(n);
    for (int s = 0; s < n; ++s)
        values.emplace_back(size_t(cellsInString(s)), INVALID_CELL_VALUE);
}

void CCellsGraph::addValue(int string, int cell, float v)
{
    if (string >= cellStringCount()) {
        reportError("ERROR: total string number is less than in request to add values\n");
        return;
    }
    if (string < 0) {
        reportError("ERROR: unexisting string\n");
        return;
    }
    if (int(values.size()) != cellStringCount() || int(values[string].size()) != cellsInString(string))
        syncLayout();
    if (string >= int(values.size())) {
        reportError("ERROR: unexisting string\n");
        return;
    }
    auto& row = values[string];
    if (cell < 0 || cell >= int(row.size())) {
        reportError("ERROR: unexisting cell\n");
        return;
    }
    // A value that is not a number could never be drawn or compared.
    row[cell] = std::isfinite(v) ? v : INVALID_CELL_VALUE;
    emit dataUpdated();
}

void CCellsGraph::setInvalid(int string, int cell) { addValue(string, cell, INVALID_CELL_VALUE); }

void CCellsGraph::resetValues()
{
    for (auto& row : values)
        std::fill(row.begin(), row.end(), INVALID_CELL_VALUE);
    update();
}

void CCellsGraph::requestRepaint() { update(); }

float CCellsGraph::value(int string, int cell) const
{
    if (string < 0 || string >= int(values.size()) || cell < 0 || cell >= int(values[string].size()))
        return INVALID_CELL_VALUE;
    return values[string][cell];
}

void CCellsGraph::clearValues() { values.clear(); }

int CCellsGraph::Frame::avail() const { return W - wM - (n - 1) * gap; }
int CCellsGraph::Frame::left(int s) const { return wM + (s * avail()) / n + s * gap; }
int CCellsGraph::Frame::right(int s) const { return wM + ((s + 1) * avail()) / n + s * gap; }

CCellsGraph::Frame CCellsGraph::frame(const QPainter& p, int strings) const
{
    Frame f;
    const QFontMetrics fm = p.fontMetrics();
    f.h = fm.height();
    f.W = width();
    f.H = height();
    f.wM = fm.horizontalAdvance(QStringLiteral("MMMMM"));
    f.n = strings;
    f.gap = stringGap;
    return f;
}

void CCellsGraph::rememberString(int s, int left, int right, double cw)
{
    if (s < 0 || s >= kCellStringRows)
        return;
    stringLeft[s] = left;
    stringRight[s] = right;
    cellWidth[s] = cw;
}

int CCellsGraph::stringAt(int x) const
{
    for (int s = 0; s < kCellStringRows; ++s)
        if (stringLeft[s] <= x && x <= stringRight[s])
            return s;
    return -1;
}

namespace {
// The colour of a padded linear gradient at t (0 at its start, 1 at its end).
QColor colorAt(const QColor* colors, const float* stops, int count, double t)
{
    if (count <= 1 || t <= double(stops[0]))
        return colors[0];
    for (int i = 1; i < count; ++i) {
        if (t <= double(stops[i])) {
            const double span = double(stops[i]) - double(stops[i - 1]);
            const double f = span > 0.0 ? (t - double(stops[i - 1])) / span : 1.0;
            auto mix = [f](int a, int b) { return std::clamp(int(std::lround(a + (b - a) * f)), 0, 255); };
            const QColor& a = colors[i - 1];
            const QColor& b = colors[i];
            return QColor(mix(a.red(), b.red()), mix(a.green(), b.green()), mix(a.blue(), b.blue()),
                          mix(a.alpha(), b.alpha()));
        }
    }
    return colors[count - 1];
}
} // namespace

CCellsGraph::BarBrushes::BarBrushes(const CCellsGraph& graph, double width)
    : g(graph)
    , cw(width > 0.0 ? width : 1.0)
{
}

void CCellsGraph::BarBrushes::make(Fill& fill, const QColor* colors, int count, const float* stops)
{
    fill.brush = QBrush(gradientOf(colors, stops, count, cw));
    for (int x = 0; x < kSolidColumns; ++x)
        fill.columns[x] = colorAt(colors, stops, count, (x + 0.5) / cw);
    fill.made = true;
}

CCellsGraph::BarBrushes::Fill& CCellsGraph::BarBrushes::forValue(double rawValue)
{
    const int w = toPixel(rawValue * 100.0);
    const int low = std::min(g.alarmLow, g.alarmHigh);
    const int high = std::max(g.alarmLow, g.alarmHigh);
    if (!g.alarmColoring) {
        if (!bar.made)
            make(bar, g.bar.colors, g.bar.count, g.bar.stops);
        return bar;
    }
    if (w < low || w > high || !g.alarmBlending) {
        if (!alarm.made)
            make(alarm, g.alarm.colors, g.alarm.count, g.alarm.stops);
        return alarm;
    }
    // Inside the alarm range the bar fades from the alarm colour at the low
    // end to the normal colour at the high end.
    const double r = 1.0 - double(w - g.alarmLow) / double(g.alarmHigh - g.alarmLow);
    const int step = std::clamp(int(std::lround(r * kBlendSteps)), 0, kBlendSteps);
    Fill& fill = blended[step];
    if (!fill.made) {
        const double q = double(step) / kBlendSteps;
        QColor colors[3];
        for (int i = 0; i < g.alarm.count; ++i) {
            const QColor& b = g.bar.colors[std::min(i, g.bar.count - 1)];
            const QColor& a = g.alarm.colors[i];
            auto mix = [q](int from, int to) { return std::clamp(int(from + (to - from) * q), 0, 255); };
            colors[i] = QColor(mix(b.red(), a.red()), mix(b.green(), a.green()), mix(b.blue(), a.blue()));
        }
        make(fill, colors, g.alarm.count, g.alarm.stops);
    }
    return fill;
}

void CCellsGraph::BarBrushes::fill(QPainter& p, const QRect& rect, double rawValue)
{
    if (rect.width() <= 0 || rect.height() <= 0)
        return;
    Fill& f = forValue(rawValue);
    if (rect.left() >= 0 && rect.right() < kSolidColumns) {
        for (int x = rect.left(); x <= rect.right(); ++x)
            p.fillRect(QRect(x, rect.top(), 1, rect.height()), f.columns[x]);
    } else {
        p.fillRect(rect, f.brush);
    }
}

void CCellsGraph::paintEvent(QPaintEvent*)
{
    if (!layoutMatches())
        syncLayout();
    const int n = int(values.size());
    if (n == 0)
        return;

    RangeSettings st{rangeMin, rangeMax, minSpan, fixedRange};
    const CellRange range = plainGraphRange(values, st);
    paintStrings(n, range.lo, range.hi);
}

void CCellsGraph::paintStrings(int n, double lo, double hi)
{
    QPainter p(this);
    const Frame f = frame(p, n);
    for (int s = 0; s < n; ++s)
        drawString(p, f, s, lo, hi);
    drawScale(p, f, lo, hi);
    drawSeparators(p, f);
}

void CCellsGraph::drawString(QPainter& p, const Frame& f, int s, double lo, double hi)
{
    const auto& row = values[s];
    const int c = int(row.size());
    if (c == 0)
        return;
    const int left = f.left(s);
    const int right = f.right(s);
    const double cw = double(right - left + 1) / c;
    rememberString(s, left, right, cw);

    const int top = f.h / 2 + 1;
    const int bottom = f.H - f.h / 2;
    const int P = bottom - top + 1;
    const int barWidth = int(cw);
    BarBrushes brushes(*this, cw);
    const QBrush hatch(Qt::black, Qt::BDiagPattern);

    // Bars start on whole pixels and are drawn without antialiasing: blending
    // the fractional edges of a thousand bars costs more than a repaint may.
    p.save();
    p.setPen(Qt::NoPen);
    p.setRenderHint(QPainter::Antialiasing, false);
    const QTransform base = p.worldTransform();
    const QPen markPen(QColor(255, 0, 0), 3, Qt::DashLine);
    for (int j = 0; j < c; ++j) {
        const float v = row[j];
        QTransform at(base);
        at.translate(std::floor(left + j * cw), top);
        p.setWorldTransform(at);
        if (isValidCellValue(v)) {
            const int y1 = toPixel(P - (double(v) - lo) * P / (hi - lo));
            brushes.fill(p, QRect(1, y1, barWidth, f.H - y1), v);
        } else {
            const int y1 = -f.h;
            p.fillRect(QRect(1, y1, barWidth, f.H - y1), hatch);
        }
        if (wireBreaks) {
            const bool before = j == 0 && isWireBroken(s, 0);
            const bool after = isWireBroken(s, j + 1);
            if (before || after) {
                p.setPen(markPen);
                if (before)
                    p.drawLine(s == 0 ? 1 : 4, f.H, s == 0 ? 1 : 4, top);
                if (after) {
                    const int x = j == c - 1 ? barWidth - 3 : barWidth;
                    p.drawLine(x, f.H, x, top);
                }
                p.setPen(Qt::NoPen);
            }
        }
    }
    p.restore();
}

void CCellsGraph::drawScale(QPainter& p, const Frame& f, double lo, double hi) const
{
    const int top = f.h / 2 + 1;
    const int bottom = f.H - f.h / 2;
    const int P = bottom - top + 1;
    const ScaleTicks ticks = scaleTicks(lo, hi, P, f.h);
    const double range = hi - lo;

    p.save();
    p.setRenderHint(QPainter::Antialiasing, false);
    QPen grid(QColor(200, 200, 200, 150));
    grid.setCosmetic(true);
    const int dec = decimals.isEmpty() ? 0 : std::clamp(decimals[0], 0, 20);
    const QString unit = units.isEmpty() ? QString() : units[0];
    for (int i = 0; i < ticks.count; ++i) {
        const double v = ticks.first + i * ticks.step;
        const int y = toPixel(bottom - std::round((v - lo) * P / range));
        if (y < 0)
            continue;
        p.setPen(grid);
        p.drawLine(f.wM - 2, y, f.W, y);
        const int margin = f.h / 2 - 4;
        if (margin < y && y < f.H - margin) {
            p.setPen(Qt::white);
            const QRect box(QPoint(0, y - f.h), QPoint(f.wM - 5, y + f.h));
            p.drawText(box, Qt::AlignRight | Qt::AlignVCenter, QString::number(v, 'f', dec) + unit);
        }
    }
    p.restore();
}

void CCellsGraph::drawSeparators(QPainter& p, const Frame& f) const
{
    const QColor window = palette().color(QPalette::Active, QPalette::Window);
    p.save();
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(window);
    p.setBrush(window);
    for (int s = 0; s + 1 < f.n; ++s)
        p.drawRect(f.right(s), 0, f.gap, f.H);
    p.restore();
}

CCellsGraph::TipAction CCellsGraph::tipAt(const QPoint& pos, QString* text) const
{
    const int s = stringAt(pos.x());
    if (s < 0)
        return TipAction::Hide;
    // Remembered edges may belong to a string the layout no longer has.
    const int c = s < int(values.size()) ? int(values[s].size()) : 0;
    if (c == 0)
        return TipAction::Keep;
    const double cw = cellWidth[s] > 0.0 ? cellWidth[s] : 1.0;
    const int j = std::clamp(int((pos.x() - stringLeft[s]) / cw), 0, c - 1);
    const int position = s * c + j;
    const int dec = decimals.isEmpty() ? 0 : decimals[0];
    const QString unit = units.isEmpty() ? QString() : units[0];
    if (text)
        *text = cellTipText(QString(), position + 1, values[s][j], dec, unit, cellModuleVersionRaw(s, position));
    return TipAction::Show;
}

void CCellsGraph::showTip(TipAction action, const QString& text, bool fromEvent)
{
    if (action == TipAction::Hide) {
        if (fromEvent) {
            MyToolTip::showText(QPoint(0, 0), QString());
            lastMousePos = QPoint(0, 0);
        }
        return;
    }
    if (action == TipAction::Show)
        MyToolTip::showText(mapToGlobal(lastMousePos), text, nullptr);
}

void CCellsGraph::showCellTip(QMouseEvent* event)
{
    if (event)
        lastMousePos = event->localPos().toPoint();
    QString text;
    const TipAction action = tipAt(lastMousePos, &text);
    showTip(action, text, event != nullptr);
}

void CCellsGraph::mouseMoveEvent(QMouseEvent* event) { showCellTip(event); }

void CCellsGraph::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::EnabledChange && !isEnabled()) {
        clearValues();
        update();
    }
    QWidget::changeEvent(event);
}
