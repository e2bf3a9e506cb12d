#pragma once

// Test doubles for the widgets the parameter update hands values to: they
// record every call as one line of text, and refuse (abort) any cell index
// outside the layout, so a test or the fuzzer sees an out-of-bounds write.

#include "CellGraphSinks.h"
#include "CellStringLayout.h"
#include "FeatureSupportTable.h"
#include "ViewSinks.h"

#include <QStringList>
#include <QVector>
#include <QWidget>

#include <cstdlib>

inline void requireCellInLayout(int string, int cell)
{
    if (string < 0 || string >= cellStringCount() || cell < 0 || cell >= cellsInString(string))
        std::abort();
}

class FakeCellGraph : public QWidget, public CellGraphSink
{
public:
    QStringList calls;
    void addValue(int string, int cell, float value) override
    {
        requireCellInLayout(string, cell);
        calls << QStringLiteral("add %1 %2 %3").arg(string).arg(cell).arg(double(value));
    }
    void setInvalid(int string, int cell) override
    {
        requireCellInLayout(string, cell);
        calls << QStringLiteral("inv %1 %2").arg(string).arg(cell);
    }
    void resetValues() override { calls << QStringLiteral("reset"); }
    void requestRepaint() override { calls << QStringLiteral("repaint"); }
};

class FakeGroupedGraph : public QWidget, public GroupedCellGraphSink
{
public:
    QStringList calls;
    void addValue(int string, int group, int index, float value) override
    {
        requireCellInLayout(string, group);
        calls << QStringLiteral("add %1 %2 %3 %4").arg(string).arg(group).arg(index).arg(double(value));
    }
    void setInvalid(int string, int group, int index) override
    {
        requireCellInLayout(string, group);
        calls << QStringLiteral("inv %1 %2 %3").arg(string).arg(group).arg(index);
    }
    void resetValues() override { calls << QStringLiteral("reset"); }
    void requestRepaint() override { calls << QStringLiteral("repaint"); }
};

class FakeEventsView : public QWidget, public EventsViewSink
{
public:
    QStringList replies;
    void updateEvents(const QString& reply) override { replies << reply; }
};

class FakeStatisticsView : public QWidget, public StatisticsViewSink
{
public:
    QStringList replies;
    void updateStatistics(const QString& reply) override { replies << reply; }
};

class FakeFeatureBitmap : public FeatureBitmapSource
{
public:
    bool valid = false;
    QVector<uint32_t> words;
    bool isFeatureBitmapValid() const override { return valid; }
    bool featureBitmapWord(int index, uint32_t* word) const override
    {
        if (!valid || index < 0 || index >= words.size())
            return false;
        *word = words.at(index);
        return true;
    }
};
