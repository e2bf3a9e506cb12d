#pragma once

// What the parameter update needs of the cell graphs. The graphs implement
// these, so the parameter model does not depend on the pages.

class CellGraphSink
{
public:
    virtual ~CellGraphSink() = default;
    virtual void addValue(int string, int cell, float value) = 0;
    virtual void setInvalid(int string, int cell) = 0;
    virtual void resetValues() = 0;
    virtual void requestRepaint() = 0;
};

class GroupedCellGraphSink
{
public:
    virtual ~GroupedCellGraphSink() = default;
    virtual void addValue(int string, int group, int index, float value) = 0;
    virtual void setInvalid(int string, int group, int index) = 0;
    virtual void resetValues() = 0;
    virtual void requestRepaint() = 0;
};
