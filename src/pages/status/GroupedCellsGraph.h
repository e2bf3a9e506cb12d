#pragma once

#include "CCellsGraph.h"

#include <QStringList>
#include <QVector>

#include <vector>

// The cell bar graph with several values per cell side by side (internal and
// external temperature, balancing rate and current). Shares the scale, the
// separators and the colours of CCellsGraph; has its own tables and tip.
class GroupedCellsGraph : public CCellsGraph, public GroupedCellGraphSink
{
public:
    explicit GroupedCellsGraph(QWidget* parent = nullptr);

    static constexpr int kMaxGroupSize = 10;

    // 1 to 10 values per cell; anything else is refused.
    void setGroupSize(int n);
    int groupSize() const { return groupSz; }

    // Per value index: tip prefix and the factor applied for range and bars.
    QStringList valueLabels;
    QVector<float> valueFactors{1.0f};

    // GroupedCellGraphSink. Out-of-range indices are ignored.
    void addValue(int string, int cell, int index, float value) override;
    void setInvalid(int string, int cell, int index) override;
    void resetValues() override;
    void requestRepaint() override;

    // 0 / 0.0 / false outside the tables.
    int valueCount(int string, int cell) const;
    float value(int string, int cell, int index) const;
    bool isValid(int string, int cell, int index) const;

    void syncLayout();
    void clearValues() override;

    TipAction tipAt(const QPoint& pos, QString* text) const override;

protected:
    void mouseMoveEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    // Values reach a grouped graph with their index; the plain tables of the
    // base graph stay empty.
    void addValue(int, int, float) override {}
    void setInvalid(int, int) override {}

    bool layoutMatches() const;
    const float* cellAt(int string, int cell, int index) const;
    void drawString(QPainter& p, const Frame& f, int s, double lo, double hi) override;

    std::vector<std::vector<std::vector<float>>> grouped;
    int groupSz = 1;
};
