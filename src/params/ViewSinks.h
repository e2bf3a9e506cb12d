#pragma once

#include <QString>

// What the parameter update needs of the Statistics page's views. The views
// implement these, so the parameter model does not depend on the pages.

class EventsViewSink
{
public:
    virtual ~EventsViewSink() = default;
    // One event-log reply: the whole rest of an "LG1" sentence after its name.
    virtual void updateEvents(const QString& reply) = 0;
};

class StatisticsViewSink
{
public:
    virtual ~StatisticsViewSink() = default;
    // One statistics reply: the rest of an "SS1" sentence after its name.
    virtual void updateStatistics(const QString& reply) = 0;
};
