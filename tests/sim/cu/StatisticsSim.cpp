#include "StatisticsSim.h"

#include "ControlUnitSim.h"

#include <algorithm>

namespace {
QString hex(quint32 v, int digits = 0)
{
    return QString::number(v, 16).toUpper().rightJustified(digits, QLatin1Char('0'));
}
bool readHex(const QString& text, quint32* out)
{
    bool ok = false;
    *out = text.toUInt(&ok, 16);
    return ok;
}
} // namespace

StatisticsSim::StatisticsSim()
{
    for (int i = 0; i <= 53; ++i)
        m_ss1[i] = Statistic{quint32(0x100 + i), quint32(i), quint32(0x1000 + i)};
    m_ss1[50] = Statistic{0, 0, 0xFFFFFFFF}; // all small units
    for (int i = 0; i <= 7; ++i)
        m_ss2[i] = Statistic{quint32(0x200 + i), quint32(i), quint32(0x2000 + i)};
    m_events = {Event{1, 0xFFFFFFFF, 0}, Event{22, 0x7FF, 3600}, Event{23, 0x800005, 7200}};
}

StatisticsSim::Statistic StatisticsSim::cleared(int index)
{
    const quint32 none = 0xFFFFFFFF;
    // Voltage and temperature extremes: nothing measured yet.
    if ((index >= 10 && index <= 17) || (index >= 47 && index <= 49))
        return Statistic{none, none, none};
    // Currents start from 0.
    if (index == 8 || index == 9)
        return Statistic{0, 0, none};
    // Counters: no event since (a count of all "F" reads as 0, with no
    // "Last event").
    return Statistic{0, none, none};
}

void StatisticsSim::setUnitHistory(const QDateTime& nowUtc, qint64 upSeconds, int seriesCells)
{
    // The unit counts seconds from 2000-01-01 UTC.
    const qint64 now = nowUtc.toSecsSinceEpoch() - 946684800;
    const auto ago = [now](double days) { return quint32(now - qint64(days * 86400)); };
    const quint32 never = 0xFFFFFFFF;
    const quint32 powerUp = quint32(now - upSeconds);
    const quint32 cells = quint32(qBound(1, seriesCells, 255));
    // The log reaches back 30 days; older last events are not in it.
    const double before = 45;
    std::lock_guard<std::mutex> lock(m_mutex);
    m_ss1.clear();
    // Lifetime totals (Ah, Wh, s, pulses; the variant byte 50 keeps the small units).
    const quint32 totals[] = {4520, 4610, 226000, 231000, 1200000, 930000, 0};
    for (int i = 0; i < 7; ++i)
        m_ss1[i] = Statistic{totals[i], 0, never};
    m_ss1[7] = Statistic{0, 2, ago(400)};            // master clears
    m_ss1[8] = Statistic{1850, 0, ago(12.5)};        // 185.0 A discharge
    m_ss1[9] = Statistic{950, 0, ago(11.9)};         // 95.0 A charge
    m_ss1[10] = Statistic{95, 12, ago(40)};          // 2.95 V on cell 13
    m_ss1[11] = Statistic{162, 7, ago(11.8)};        // 3.62 V on cell 8
    m_ss1[12] = Statistic{21, 0, ago(40)};           // 0.21 V
    m_ss1[13] = Statistic{300 * cells, 0, ago(40)};  // 3.00 V a cell: 48.00 V for 16
    m_ss1[14] = Statistic{355 * cells, 0, ago(11.8)}; // 3.55 V a cell: 56.80 V for 16
    m_ss1[15] = Statistic{88, 3, ago(60)};           // -12 degC on cell 4
    m_ss1[16] = Statistic{148, 10, ago(20)};         // 48 degC on cell 11
    m_ss1[17] = Statistic{9, 0, ago(20)};
    m_ss1[18] = Statistic{0, 212, powerUp};          // starts, the last one at power-up
    // Protection and reduction counters, last seen before the log begins.
    for (int i = 19; i <= 28; ++i) {
        const quint32 count = quint32((i * 7) % 5);
        m_ss1[i] = Statistic{0, count, count ? ago(before + i) : never};
    }
    // The cell link hiccup of the log.
    m_ss1[25] = Statistic{0, 3, ago(2.5)};
    // Charging: connections and disconnections pair up (the charger is off
    // now), and every stage count stays within them.
    m_ss1[29] = Statistic{0, 57, ago(12)};           // charger connect
    m_ss1[30] = Statistic{0, 57, ago(11.7)};         // charger disconnect
    m_ss1[31] = Statistic{0, 3, ago(before + 31)};   // pre-heat
    m_ss1[32] = Statistic{0, 44, ago(before + 32)};  // pre-charge
    m_ss1[33] = Statistic{0, 55, ago(11.99)};        // main charge
    m_ss1[34] = Statistic{0, 49, ago(11.8)};         // balancing
    m_ss1[35] = Statistic{0, 51, ago(11.75)};        // charging finished
    m_ss1[36] = Statistic{0, 2, ago(before + 36)};   // charging error
    m_ss1[37] = Statistic{0, 4, ago(before + 37)};   // retries
    m_ss1[38] = Statistic{0, 1310, ago(0.2)};        // trips
    m_ss1[39] = Statistic{0, 6, ago(before + 39)};   // charge restarts
    for (int i = 40; i <= 46; ++i)
        m_ss1[i] = Statistic{0, 0, never};           // a healthy network
    m_ss1[47] = Statistic{90, 5, ago(61)};           // -10 degC
    m_ss1[48] = Statistic{145, 10, ago(21)};         // 45 degC
    m_ss1[49] = Statistic{7, 0, ago(21)};
    m_ss1[50] = Statistic{0, 0, never};
    for (int i = 51; i <= 53; ++i)
        m_ss1[i] = Statistic{0, quint32(i == 52 ? 17 : 0), i == 52 ? ago(30) : never};
    for (int i = 0; i <= 7; ++i)
        m_ss2[i] = Statistic{quint32(10 * i), 0, ago(5 + i)};
    // A start, a charge (with the energies of the discharge before it and of
    // the charge), the cell link hiccup, and the last power-up.
    m_events = {Event{1, never, ago(30)},       Event{22, 0x800005, ago(12)},  Event{26, never, ago(11.99)},
                Event{27, never, ago(11.8)},    Event{28, never, ago(11.75)},  Event{23, 4810, ago(11.7)},
                Event{2, never, ago(2.5)},      Event{3, never, ago(2.5 - 0.0001)}, Event{1, never, powerUp}};
    std::sort(m_events.begin(), m_events.end(), [](const Event& x, const Event& y) { return x.time < y.time; });
}

void StatisticsSim::recordStart(const QDateTime& nowUtc)
{
    const quint32 now = quint32(nowUtc.toSecsSinceEpoch() - 946684800);
    std::lock_guard<std::mutex> lock(m_mutex);
    Statistic& starts = m_ss1[18];
    starts.info = starts.info == 0xFFFFFFFF ? 1 : starts.info + 1;
    starts.time = now;
    m_events.append(Event{1, 0xFFFFFFFF, now});
}

void StatisticsSim::install(ControlUnitSim& sim)
{
    for (const char* name : {"SS1", "SS2", "LG1", "SR1", "SR2"}) {
        const QString n = QLatin1String(name);
        sim.setHandler(n, [this, n](ControlUnitSim& s, const ControlUnitSim::Sentence& sentence) {
            answer(s, n, sentence.fields);
        });
    }
}

QString StatisticsSim::line(const QString& name, int index, const Statistic& s)
{
    return QStringLiteral("%1,%2,%3,%4,%5").arg(name, hex(quint32(index), 2), hex(s.value), hex(s.info),
                                                 hex(s.time, 8));
}

void StatisticsSim::answer(ControlUnitSim& sim, const QString& name, const QStringList& fields)
{
    QStringList replies;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        const QString first = fields.value(0);
        if (name == QLatin1String("SR1") || name == QLatin1String("SR2")) {
            m_writeBacks.append(name + QLatin1Char(',') + fields.join(QLatin1Char(',')));
            bool ok = false;
            const int index = first.toInt(&ok, 16);
            QMap<int, Statistic>& series = name == QLatin1String("SR1") ? m_ss1 : m_ss2;
            if (!ok || !series.contains(index) || (name == QLatin1String("SR1") && index == m_refusedWriteBack))
                return;
            Statistic s;
            if (fields.size() == 2 && fields[1] == QLatin1String("c")) {
                series[index] = name == QLatin1String("SR1") ? cleared(index) : Statistic{0, 0, 0xFFFFFFFF};
            } else if (fields.size() == 4 && readHex(fields[1], &s.value) && readHex(fields[2], &s.info)
                       && readHex(fields[3], &s.time)) {
                series[index] = s;
            }
            return;
        }
        if (first == QLatin1String("c")) {
            if (name == QLatin1String("SS1")) {
                ++m_statisticsClears;
                for (auto it = m_ss1.begin(); it != m_ss1.end(); ++it)
                    if (it.key() > 7 && it.key() != 50)
                        it.value() = cleared(it.key());
            } else if (name == QLatin1String("LG1")) {
                ++m_eventClears;
                m_events.clear();
            }
            return;
        }
        if (first != QLatin1String("?"))
            return;
        ++m_queries[name];
        if (m_silent)
            return;
        if (name == QLatin1String("SS1")) {
            const int lost = m_lostOnce;
            m_lostOnce = -1;
            for (int i = 0; i <= m_last; ++i) {
                if (i == m_omitted || i == lost)
                    continue;
                if (m_stopBefore >= 0 && i >= m_stopBefore)
                    break;
                replies << (m_corrupt ? QStringLiteral("SS1,Z%1,1,2,00000003").arg(i) : line(name, i, m_ss1.value(i)));
            }
        } else if (name == QLatin1String("SS2")) {
            for (auto it = m_ss2.cbegin(); it != m_ss2.cend(); ++it)
                replies << line(name, it.key(), it.value());
        } else if (name == QLatin1String("LG1")) {
            if (m_events.isEmpty())
                replies << QStringLiteral("LG1,");
            for (int i = 0; i < m_events.size(); ++i) {
                const Event& e = m_events[i];
                replies << (m_corrupt ? QStringLiteral("LG1,%1,QQ,0,0").arg(hex(quint32(i)))
                                      : QStringLiteral("LG1,%1,%2,%3,%4")
                                            .arg(hex(quint32(i)), hex(quint32(e.code)), hex(e.parameter),
                                                 hex(e.time)));
            }
        }
    }
    for (const QString& r : qAsConst(replies))
        sim.reply(r);
}

void StatisticsSim::setLastIndex(int last)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_last = last;
    for (int i = 0; i <= last; ++i)
        if (!m_ss1.contains(i))
            m_ss1[i] = Statistic{quint32(0x100 + i), quint32(i), quint32(0x1000 + i)};
}

void StatisticsSim::setStatistic(int index, const Statistic& s)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_ss1[index] = s;
}

void StatisticsSim::setStatistic2(int index, const Statistic& s)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_ss2[index] = s;
}

StatisticsSim::Statistic StatisticsSim::statistic(int index) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_ss1.value(index);
}

StatisticsSim::Statistic StatisticsSim::statistic2(int index) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_ss2.value(index);
}

QString StatisticsSim::statisticLine(int index) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return line(QStringLiteral("SS1"), index, m_ss1.value(index));
}

QString StatisticsSim::statistic2Line(int index) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return line(QStringLiteral("SS2"), index, m_ss2.value(index));
}

void StatisticsSim::setEvents(const QList<Event>& events)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_events = events;
}

QList<StatisticsSim::Event> StatisticsSim::events() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_events;
}

void StatisticsSim::setSilent(bool on)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_silent = on;
}

void StatisticsSim::setStopBefore(int index)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_stopBefore = index;
}

void StatisticsSim::setOmittedIndex(int index)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_omitted = index;
}

void StatisticsSim::setCorruptReplies(bool on)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_corrupt = on;
}

void StatisticsSim::loseOnce(int index)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_lostOnce = index;
}

void StatisticsSim::setRefusedWriteBack(int index)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_refusedWriteBack = index;
}

QStringList StatisticsSim::writeBacks() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_writeBacks;
}

int StatisticsSim::statisticsClears() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_statisticsClears;
}

int StatisticsSim::eventClears() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_eventClears;
}

int StatisticsSim::queries(const QString& name) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_queries.value(name);
}
