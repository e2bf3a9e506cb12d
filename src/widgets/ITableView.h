#pragma once

// How a delegate tells its table which row the mouse is over.
class ITableView
{
public:
    virtual ~ITableView() = default;
    virtual void setHoverRow(int row) = 0;
};
