#pragma once

#include "ViewSinks.h"

#include <QString>
#include <QStringList>
#include <QTreeView>
#include <QVector>

#include <cstdint>
#include <functional>

class QStandardItemModel;

// How field 1 of an "SS1" reply becomes the Value column.
enum class StatisticValueFormat : uint8_t {
    FromInfo = 0,       // the value is the count in field 2
    CellVoltage = 1,    // (raw + 100 or 200) / 100 V
    VoltageDiff = 2,    // raw / 100 V
    PackVoltage = 3,    // raw / 100 V
    Temperature = 4,    // raw - 100 degC
    TemperatureDiff = 5, // raw degC
    Plain = 6,          // raw
    Current = 7,        // raw / 10 A
    Charge = 8,         // Ah, or kAh (raw / 100) with the row's variant bit
    Energy = 9,         // Wh, or kWh (raw / 100)
    Time = 10,          // s, or h (raw / 360)
    Distance = 11,      // pulses
};

// What field 2 means and what the Additional info column starts with.
enum class StatisticInfoFormat : uint8_t {
    None = 0,
    Cell = 1,      // zero-based cell number: "On cell# n+1"
    PowerUp = 2,   // count; "Last power-up"
    Event = 3,     // count; "Last event"
    Count = 4,     // count; no prefix
    Unused = 5,
};

// The unit's lifetime statistics: 62 fixed rows (description, value,
// additional info) filled by "SS1" replies, with a plain-text copy of every
// row for the clipboard. GUI thread.
class StatisticsView : public QTreeView, public StatisticsViewSink
{
    Q_OBJECT
public:
    struct StatisticEntry
    {
        QString description;
        StatisticValueFormat valueFormat = StatisticValueFormat::FromInfo;
        StatisticInfoFormat infoFormat = StatisticInfoFormat::None;
    };
    static constexpr int kRowCount = 62;
    static constexpr int kVariantRow = 50;

    // Where the cell-voltage offset comes from. Unset members ask the main
    // window: the stored version line and the configuration page.
    struct Context
    {
        std::function<QString()> firmwareVersion;
        std::function<bool()> ltoSupportEnabled;
    };

    explicit StatisticsView(QWidget* parent = nullptr);

    void setContext(const Context& context) { m_context = context; }

    // One "SS1" reply: the text after "SS1,".
    void updateStatistics(const QString& reply) override;
    QString formatValue(int index, const QString& value, const QString& info) const;
    QString formatAdditionalInfo(int index, const QString& info, const QString& time) const;
    void setRowValues(int row, const QString& value, const QString& info);
    void clearValues();
    void setRowDescription(int row, const QString& text);
    QString rowDescription(int row) const;
    const QStringList& keptRowTexts() const { return m_rowTexts; }
    uint8_t variantByte() const { return m_variant; }

    QStandardItemModel* statisticsModel() const { return m_model; }

private:
    QString firmwareVersion() const;
    bool ltoSupportEnabled() const;

    QVector<StatisticEntry> m_entries;
    QStandardItemModel* m_model = nullptr;
    uint8_t m_variant = 0;
    QStringList m_rowTexts;
    Context m_context;
};
