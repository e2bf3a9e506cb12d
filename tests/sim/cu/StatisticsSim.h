#pragma once

#include <QDateTime>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

#include <mutex>

class ControlUnitSim;

// The control unit's statistics and event store behind the emulator:
//   "SS1,?"  one "SS1,<ii>,<value>,<info>,<time>" per statistic, index 0 up
//            to the last (ii two upper-case hex digits, time eight)
//   "SS2,?"  the second series, indexes 0 to 7, same layout
//   "LG1,?"  one "LG1,<index>,<code>,<parameter>,<time>" per log entry, or
//            "LG1," when the log is empty
//   "SS1,c"  clears every statistic except the lifetime ones (0 to 7) and
//            the unit-variant byte (50) to what a cleared unit holds
//            (cleared()); "LG1,c" empties the log
//   "SR1,<ii>,<value>,<info>,<time>" / "SR2,..." write one statistic back;
//   "SR1,<ii>,c" clears one
// Fault knobs: no reply at all, a series that stops before its last index,
// one index left out (always or once), replies whose fields do not parse, and
// a write-back the unit does not take.
// Settings may change while the emulator runs; every call is thread-safe.
class StatisticsSim
{
public:
    struct Statistic
    {
        quint32 value = 0;
        quint32 info = 0;
        quint32 time = 0xFFFFFFFF;
    };
    struct Event
    {
        int code = 1;
        quint32 parameter = 0xFFFFFFFF;
        quint32 time = 0;
    };

    // Statistics 0..53 and 0..7 with distinct values, and three log entries.
    StatisticsSim();

    void install(ControlUnitSim& sim);

    // A unit with a past, as of nowUtc: it powered up upSeconds ago (the
    // last start counted and logged then), its pack has seriesCells cells in
    // series near 3.3 V (the pack voltage extremes lie around their sum), and
    // its counters agree with each other and with the log (every logged
    // charger connection is counted, and so is its disconnection).
    void setUnitHistory(const QDateTime& nowUtc, qint64 upSeconds = 115365, int seriesCells = 16);
    // The unit started (again) at nowUtc: one more start, counted and logged.
    void recordStart(const QDateTime& nowUtc);
    // What a cleared unit holds at an index: extremes and counts not
    // available (all "F"; a count reads as 0), currents 0, no time.
    static Statistic cleared(int index);

    // The last "SS1" index sent (39, 44, 49, 52 or 53 on real units).
    void setLastIndex(int last);
    void setStatistic(int index, const Statistic& s);
    void setStatistic2(int index, const Statistic& s);
    Statistic statistic(int index) const;
    Statistic statistic2(int index) const;
    // The sentence the unit sends for a statistic, without check suffix.
    QString statisticLine(int index) const;
    QString statistic2Line(int index) const;

    void setEvents(const QList<Event>& events);
    QList<Event> events() const;

    // Fault knobs.
    void setSilent(bool on);          // statistics and log queries go unanswered
    void setStopBefore(int index);    // "SS1" series end before this index; -1 off
    void setOmittedIndex(int index);  // this "SS1" index is never sent; -1 off
    void setCorruptReplies(bool on);  // index and code fields that do not parse
    void loseOnce(int index);         // the next "SS1" series leaves this index out
    void setRefusedWriteBack(int index); // "SR1" for this index changes nothing; -1 off

    // What the tool wrote: "SR1"/"SR2" sentences in order, and clears.
    QStringList writeBacks() const;
    int statisticsClears() const;
    int eventClears() const;
    int queries(const QString& name) const;

private:
    void answer(ControlUnitSim& sim, const QString& name, const QStringList& fields);
    static QString line(const QString& name, int index, const Statistic& s);

    mutable std::mutex m_mutex;
    int m_last = 53;
    QMap<int, Statistic> m_ss1;
    QMap<int, Statistic> m_ss2;
    QList<Event> m_events;
    bool m_silent = false;
    int m_stopBefore = -1;
    int m_omitted = -1;
    bool m_corrupt = false;
    int m_lostOnce = -1;
    int m_refusedWriteBack = -1;
    QStringList m_writeBacks;
    int m_statisticsClears = 0;
    int m_eventClears = 0;
    QMap<QString, int> m_queries;
};
