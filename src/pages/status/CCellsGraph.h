#pragma once

#include "CellGraphMath.h"
#include "CellGraphSinks.h"
#include "CellStringLayout.h"

#include <QColor>
#include <QPoint>
#include <QStringList>
#include <QVector>
#include <QWidget>

#include <cstdint>
#include <vector>

class QLinearGradient;
class QPainter;

// One vertical bar per cell of every cell string, strings side by side, a
// value scale at the left. The layout comes from the global cell tables;
// values arrive one sentence at a time and the caller asks for one repaint
// per sentence.
class CCellsGraph : public QWidget, public CellGraphSink
{
    Q_OBJECT

public:
    explicit CCellsGraph(QWidget* parent = nullptr);
    ~CCellsGraph() override;

    // Display settings; the owner sets them after construction.
    float rangeMin = 0.0f;
    float rangeMax = 1.0f;
    float minSpan = 0.0f;
    bool fixedRange = false;
    QVector<int> decimals{0};
    QStringList units;
    float minHalfSpan = 100.0f;
    int stringGap = 2;

    void setAlarmRange(int low, int high);
    void setAlarmColoring(bool on);
    void setAlarmBlending(bool on);
    void setBarColors(const QColor& c1, const QColor& c2, const QColor& c3);
    void setAlarmColors(const QColor& c1, const QColor& c2, const QColor& c3);
    // RGB words, alpha always 255; 0xFF000000 as colour 2 or 3 ends the list.
    void setBarColors(uint32_t rgb1, uint32_t rgb2, uint32_t rgb3);
    void setAlarmColors(uint32_t rgb1, uint32_t rgb2, uint32_t rgb3);
    // Qt::red and the like would silently take the RGB-word form.
    void setBarColors(Qt::GlobalColor, Qt::GlobalColor, Qt::GlobalColor) = delete;
    void setAlarmColors(Qt::GlobalColor, Qt::GlobalColor, Qt::GlobalColor) = delete;
    void setBarColorStops(float s1, float s2, float s3);
    void setAlarmColorStops(float s1, float s2, float s3);

    // Red marks on broken cell wires; only the cell voltage graph shows them.
    void setWireBreakMarks(bool on) { wireBreaks = on; }
    bool wireBreakMarks() const { return wireBreaks; }

    // CellGraphSink. Out-of-range strings and cells are reported on stderr
    // and ignored.
    void addValue(int string, int cell, float value) override;
    void setInvalid(int string, int cell) override;
    void resetValues() override;
    void requestRepaint() override;

    // The stored value; INVALID_CELL_VALUE outside the tables.
    float value(int string, int cell) const;
    virtual void clearValues();
    void syncLayout();
    // Shows the tip for the event's position, or for the last position.
    void showCellTip(QMouseEvent* event = nullptr);

    // What the tip would show at a widget position, as of the last paint.
    enum class TipAction { Hide, Keep, Show };
    virtual TipAction tipAt(const QPoint& pos, QString* text) const;

signals:
    void dataUpdated();

protected:
    void mouseMoveEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

    struct Gradient
    {
        QColor colors[3];
        float stops[3] = {0.0f, 0.3f, 1.0f};
        int count = 3;
    };

    // Geometry shared by the bars, the scale and the separators.
    struct Frame
    {
        int h = 0;  // font height
        int W = 0;
        int H = 0;
        int wM = 0; // width of the scale labels
        int n = 0;  // strings
        int left(int s) const;
        int right(int s) const;
        int avail() const;
        int gap = 2;
    };
    Frame frame(const QPainter& p, int strings) const;

    // The fills of the bars of one string: the bar gradient, or with alarm
    // colouring the alarm gradient (value outside the alarm range) or a blend
    // of both. Blends come in a few steps so that repaints reuse them. Bars
    // only a few pixels wide are filled column by column with the colour the
    // gradient has there, which looks the same and costs far less.
    class BarBrushes
    {
    public:
        BarBrushes(const CCellsGraph& graph, double cw);
        // rect is in the frame of the cell, whose gradient runs from 0 to cw.
        void fill(QPainter& p, const QRect& rect, double rawValue);

    private:
        static constexpr int kBlendSteps = 32;
        static constexpr int kSolidColumns = 4;
        struct Fill
        {
            bool made = false;
            QBrush brush;
            QColor columns[kSolidColumns];
        };
        void make(Fill& fill, const QColor* colors, int count, const float* stops);
        Fill& forValue(double rawValue);

        const CCellsGraph& g;
        double cw;
        Fill bar;
        Fill alarm;
        Fill blended[kBlendSteps + 1];
    };
    void drawScale(QPainter& p, const Frame& f, double lo, double hi) const;
    void drawSeparators(QPainter& p, const Frame& f) const;
    // Paints n strings with drawString, then the scale and the separators.
    void paintStrings(int n, double lo, double hi);
    void rememberString(int s, int left, int right, double cw);
    int stringAt(int x) const;
    void showTip(TipAction action, const QString& text, bool fromEvent);

    QPoint lastMousePos;
    // Edges and cell width of each string as last painted (-1: never).
    int stringLeft[kCellStringRows];
    int stringRight[kCellStringRows];
    double cellWidth[kCellStringRows];

private:
    bool layoutMatches() const;
    // One string's bars; the grouped graph draws its own.
    virtual void drawString(QPainter& p, const Frame& f, int s, double lo, double hi);

    std::vector<std::vector<float>> values;
    int alarmLow = 0;
    int alarmHigh = 500;
    bool alarmColoring = false;
    bool alarmBlending = false;
    bool wireBreaks = false;
    Gradient bar;
    Gradient alarm;
};
