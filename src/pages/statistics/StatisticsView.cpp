#include "StatisticsView.h"

#include "ConfigPage.h"
#include "MainWindowServices.h"
#include "StatisticsText.h"
#include "Y5ProtocolHandler.h"

#include <QDateTime>
#include <QLocale>
#include <QStandardItem>
#include <QStandardItemModel>

namespace {
using VF = StatisticValueFormat;
using IF = StatisticInfoFormat;

struct RowDefinition
{
    const char* description;
    VF value;
    IF info;
};

// Rows 0 to 49 are translated, 50 to 61 are not.
const RowDefinition kRows[StatisticsView::kRowCount] = {
    {QT_TRANSLATE_NOOP("StatisticsView", "Total discharge *"), VF::Charge, IF::None},
    {QT_TRANSLATE_NOOP("StatisticsView", "Total charge *"), VF::Charge, IF::None},
    {QT_TRANSLATE_NOOP("StatisticsView", "Total discharge energy *"), VF::Energy, IF::None},
    {QT_TRANSLATE_NOOP("StatisticsView", "Total charge energy *"), VF::Energy, IF::None},
    {QT_TRANSLATE_NOOP("StatisticsView", "Total discharge time *"), VF::Time, IF::None},
    {QT_TRANSLATE_NOOP("StatisticsView", "Total charge time *"), VF::Time, IF::None},
    {QT_TRANSLATE_NOOP("StatisticsView", "Total distance *"), VF::Distance, IF::Unused},
    {QT_TRANSLATE_NOOP("StatisticsView", "Master clear count *"), VF::FromInfo, IF::Count},
    {QT_TRANSLATE_NOOP("StatisticsView", "Max Discharge Current"), VF::Current, IF::None},
    {QT_TRANSLATE_NOOP("StatisticsView", "Max Charge Current"), VF::Current, IF::None},
    {QT_TRANSLATE_NOOP("StatisticsView", "Min Cell Voltage"), VF::CellVoltage, IF::Cell},
    {QT_TRANSLATE_NOOP("StatisticsView", "Max Cell Voltage"), VF::CellVoltage, IF::Cell},
    {QT_TRANSLATE_NOOP("StatisticsView", "Max Cell Voltage Difference"), VF::VoltageDiff, IF::None},
    {QT_TRANSLATE_NOOP("StatisticsView", "Min Pack Voltage"), VF::PackVoltage, IF::None},
    {QT_TRANSLATE_NOOP("StatisticsView", "Max Pack Voltage"), VF::PackVoltage, IF::None},
    {QT_TRANSLATE_NOOP("StatisticsView", "Min Cell Temperature"), VF::Temperature, IF::Cell},
    {QT_TRANSLATE_NOOP("StatisticsView", "Max Cell Temperature"), VF::Temperature, IF::Cell},
    {QT_TRANSLATE_NOOP("StatisticsView", "Max Temperature Difference"), VF::TemperatureDiff, IF::None},
    {QT_TRANSLATE_NOOP("StatisticsView", "BMS starts count"), VF::FromInfo, IF::PowerUp},
    {QT_TRANSLATE_NOOP("StatisticsView", "Cell under-voltage protection count"), VF::FromInfo, IF::Event},
    {QT_TRANSLATE_NOOP("StatisticsView", "Cell over-voltage protection count"), VF::FromInfo, IF::Event},
    {QT_TRANSLATE_NOOP("StatisticsView", "Discharge over-current protection count"), VF::FromInfo, IF::Event},
    {QT_TRANSLATE_NOOP("StatisticsView", "Charge over-current protection count"), VF::FromInfo, IF::Event},
    {QT_TRANSLATE_NOOP("StatisticsView", "Overheat protection count"), VF::FromInfo, IF::Event},
    {QT_TRANSLATE_NOOP("StatisticsView", "Leakage protection count"), VF::FromInfo, IF::Event},
    {QT_TRANSLATE_NOOP("StatisticsView", "No cell comm. protection count"), VF::FromInfo, IF::Event},
    {QT_TRANSLATE_NOOP("StatisticsView", "Low voltage power reduction count"), VF::FromInfo, IF::Event},
    {QT_TRANSLATE_NOOP("StatisticsView", "High current power reduction count"), VF::FromInfo, IF::Event},
    {QT_TRANSLATE_NOOP("StatisticsView", "High temperature power reduction count"), VF::FromInfo, IF::Event},
    {QT_TRANSLATE_NOOP("StatisticsView", "Charger connect count"), VF::FromInfo, IF::Count},
    {QT_TRANSLATE_NOOP("StatisticsView", "Charger disconnect count"), VF::FromInfo, IF::Count},
    {QT_TRANSLATE_NOOP("StatisticsView", "Pre-heat stage count"), VF::FromInfo, IF::Count},
    {QT_TRANSLATE_NOOP("StatisticsView", "Pre-charge stage count"), VF::FromInfo, IF::Count},
    {QT_TRANSLATE_NOOP("StatisticsView", "Main charge stage count"), VF::FromInfo, IF::Count},
    {QT_TRANSLATE_NOOP("StatisticsView", "Balancing stage count"), VF::FromInfo, IF::Count},
    {QT_TRANSLATE_NOOP("StatisticsView", "Charging finished count"), VF::FromInfo, IF::Count},
    {QT_TRANSLATE_NOOP("StatisticsView", "Charging error occurred"), VF::FromInfo, IF::Count},
    {QT_TRANSLATE_NOOP("StatisticsView", "Charging retry count"), VF::FromInfo, IF::Count},
    {QT_TRANSLATE_NOOP("StatisticsView", "Trips count"), VF::FromInfo, IF::Count},
    {QT_TRANSLATE_NOOP("StatisticsView", "Charge restarts count"), VF::FromInfo, IF::Count},
    {QT_TRANSLATE_NOOP("StatisticsView", "Master/Slave configuration error count"), VF::FromInfo, IF::Event},
    {QT_TRANSLATE_NOOP("StatisticsView", "Master/Slave common CAN Bus failure count"), VF::FromInfo, IF::Event},
    {QT_TRANSLATE_NOOP("StatisticsView", "Master/Slave internal CAN Bus failure count"), VF::FromInfo, IF::Event},
    {QT_TRANSLATE_NOOP("StatisticsView", "Master/Slave configuration mismatch count"), VF::FromInfo, IF::Event},
    {QT_TRANSLATE_NOOP("StatisticsView", "Master/Slave common CAN Bus malfunction count"), VF::FromInfo, IF::Event},
    {QT_TRANSLATE_NOOP("StatisticsView", "Cell overheat protection count"), VF::FromInfo, IF::Event},
    {QT_TRANSLATE_NOOP("StatisticsView", "High cell temperature\npower reduction count"), VF::FromInfo, IF::Event},
    {QT_TRANSLATE_NOOP("StatisticsView", "Min Cell Temperature"), VF::Temperature, IF::Cell},
    {QT_TRANSLATE_NOOP("StatisticsView", "Max Cell Temperature"), VF::Temperature, IF::Cell},
    {QT_TRANSLATE_NOOP("StatisticsView", "Max Cell Temperature Difference"), VF::TemperatureDiff, IF::None},
    {"", VF::FromInfo, IF::None},
    {"No current sensor protection count", VF::FromInfo, IF::Event},
    {"Heater activation count", VF::FromInfo, IF::Count},
    {"Pack under-voltage protection count", VF::FromInfo, IF::Event},
    {"CAN Comm watchdog timeout count", VF::FromInfo, IF::Event},
    {"Pack over-voltage protection count", VF::FromInfo, IF::Event},
    {"Cell under-heat protection count", VF::FromInfo, IF::Event},
    {"Cell voltage deviation protection count", VF::FromInfo, IF::Event},
    {"Pack voltage deviation protection count", VF::FromInfo, IF::Event},
    {"Cell module under-heat protection count", VF::FromInfo, IF::Event},
    {"External temperature sensor loss protection count", VF::FromInfo, IF::Event},
    {"Cell Wire Break protection count", VF::FromInfo, IF::Event},
};

bool usesCount(IF f)
{
    return f == IF::PowerUp || f == IF::Event || f == IF::Count;
}
} // namespace

StatisticsView::StatisticsView(QWidget* parent) : QTreeView(parent)
{
    m_entries.resize(kRowCount);
    m_rowTexts.reserve(kRowCount);
    m_model = new QStandardItemModel(0, 3, this);
    m_model->setHorizontalHeaderLabels({tr("Description"), tr("Value"), tr("Additional info")});
    for (int i = 0; i < kRowCount; ++i) {
        StatisticEntry& e = m_entries[i];
        e.description = i < kVariantRow ? tr(kRows[i].description) : QString::fromLatin1(kRows[i].description);
        e.valueFormat = kRows[i].value;
        e.infoFormat = kRows[i].info;
        QList<QStandardItem*> row{new QStandardItem(e.description), new QStandardItem, new QStandardItem};
        for (QStandardItem* item : row)
            item->setFlags(Qt::ItemIsEnabled);
        m_model->appendRow(row);
        m_rowTexts.append(QString());
    }
    setModel(m_model);
    setRowHidden(kVariantRow, QModelIndex(), true);
    setRootIsDecorated(false);
    setAlternatingRowColors(true);
    setColumnWidth(0, 210);
    setColumnWidth(1, 80);
}

QString StatisticsView::firmwareVersion() const
{
    if (m_context.firmwareVersion)
        return m_context.firmwareVersion();
    if (g_mainWindow && g_mainWindow->protocolHandler())
        return g_mainWindow->protocolHandler()->versionLine().section(QLatin1Char(','), 3, 3);
    return QString();
}

bool StatisticsView::ltoSupportEnabled() const
{
    if (m_context.ltoSupportEnabled)
        return m_context.ltoSupportEnabled();
    return g_mainWindow && g_mainWindow->configPage() && g_mainWindow->configPage()->isLtoSupportEnabled();
}

void StatisticsView::updateStatistics(const QString& reply)
{
    const QStringList parts = reply.split(QLatin1Char(','));
    if (parts.size() != 4)
        return;
    bool ok = false;
    const int index = parts[0].toInt(&ok, 16);
    if (!ok || index < 0 || index >= kRowCount)
        return;
    if (index == kVariantRow) {
        m_variant = uint8_t(parts[1].toUInt(nullptr, 16) & 0xFFu);
        return;
    }
    const QString value = formatValue(index, parts[1], parts[2]);
    const QString info = formatAdditionalInfo(index, parts[2], parts[3]);
    m_rowTexts[index] = value + QLatin1Char(' ') + info + QLatin1Char('\n');
    setRowValues(index, value, info);
}

QString StatisticsView::formatValue(int index, const QString& value, const QString& info) const
{
    if (index < 0 || index >= kRowCount)
        return QString();
    const StatisticEntry& e = m_entries[index];
    double number = 0;
    int decimals = 0;
    QString unit;
    if (e.valueFormat != VF::FromInfo) {
        bool ok = false;
        const uint raw = value.toUInt(&ok, 16);
        if (!ok)
            return QString();
        const bool variant = index < 8 && (m_variant >> index) & 1u;
        switch (e.valueFormat) {
        case VF::CellVoltage:
        case VF::VoltageDiff:
        case VF::PackVoltage:
        case VF::Temperature:
        case VF::TemperatureDiff:
            if (isAllF(value))
                return QString();
            break;
        default:
            break;
        }
        switch (e.valueFormat) {
        case VF::CellVoltage: {
            const bool smallOffset = firmwareVersion().contains(QLatin1String("SCiB")) || ltoSupportEnabled();
            number = (double(raw) + (smallOffset ? 100 : 200)) / 100.0;
            decimals = 2;
            unit = QStringLiteral(" V");
            break;
        }
        case VF::VoltageDiff:
        case VF::PackVoltage:
            number = raw / 100.0;
            decimals = 2;
            unit = QStringLiteral(" V");
            break;
        case VF::Temperature:
            number = double(raw) - 100;
            unit = QStringLiteral(" °C");
            break;
        case VF::TemperatureDiff:
            number = raw;
            unit = QStringLiteral(" °C");
            break;
        case VF::Current:
            number = raw / 10.0;
            decimals = 1;
            unit = QStringLiteral(" A");
            break;
        case VF::Charge:
            number = variant ? raw / 100.0 : double(raw);
            decimals = variant ? 2 : 0;
            unit = variant ? QStringLiteral(" kAh") : QStringLiteral(" Ah");
            break;
        case VF::Energy:
            number = variant ? raw / 100.0 : double(raw);
            decimals = variant ? 2 : 0;
            unit = variant ? QStringLiteral(" kWh") : QStringLiteral(" Wh");
            break;
        case VF::Time:
            // Units of 10 s with the variant bit: raw / 360 hours.
            number = variant ? raw / 360.0 : double(raw);
            decimals = variant ? 2 : 0;
            unit = variant ? QStringLiteral(" h") : QStringLiteral(" s");
            break;
        case VF::Distance:
            number = raw;
            unit = QStringLiteral(" pulses");
            break;
        case VF::Plain:
        case VF::FromInfo:
            number = raw;
            break;
        }
    }
    if (usesCount(e.infoFormat)) {
        bool ok = false;
        const uint count = info.toUInt(&ok, 16);
        if (!ok)
            return QString();
        if (isAllF(info))
            return QStringLiteral("0");
        number = count;
        decimals = 0;
    }
    return QString::number(number, 'f', decimals) + unit;
}

QString StatisticsView::formatAdditionalInfo(int index, const QString& info, const QString& time) const
{
    if (index < 0 || index >= kRowCount)
        return QString();
    QString prefix;
    if (!info.isEmpty() && !isAllF(info)) {
        bool ok = false;
        const uint n = info.toUInt(&ok, 16);
        if (!ok)
            return QString();
        switch (m_entries[index].infoFormat) {
        case IF::Cell:
            prefix = tr("On cell# ") + QString::number(quint64(n) + 1);
            break;
        case IF::PowerUp:
            prefix = tr("Last power-up");
            break;
        case IF::Event:
            prefix = tr("Last event");
            break;
        default:
            break;
        }
    }
    QString when;
    if (time.size() == 8 && !isAllF(time)) {
        bool ok = false;
        const uint t = time.toUInt(&ok, 16);
        if (!ok)
            return QString();
        const QDateTime dt = QDateTime::fromSecsSinceEpoch(qint64(t) + kDeviceEpochOffset, Qt::UTC);
        when = (prefix.isEmpty() ? tr("On ") : tr(" on ")) + QLocale::system().toString(dt.date(), QLocale::ShortFormat)
            + tr(" at ") + dt.time().toString(Qt::TextDate);
    }
    return prefix + when;
}

void StatisticsView::setRowValues(int row, const QString& value, const QString& info)
{
    if (row < 0 || row >= m_model->rowCount())
        return;
    m_model->item(row, 1)->setData(value, Qt::DisplayRole);
    m_model->item(row, 2)->setData(info, Qt::DisplayRole);
}

void StatisticsView::clearValues()
{
    for (int row = 0; row < m_model->rowCount(); ++row) {
        m_model->item(row, 1)->setData(QString(), Qt::DisplayRole);
        m_model->item(row, 2)->setData(QString(), Qt::DisplayRole);
    }
    for (QString& text : m_rowTexts)
        text.clear();
}

void StatisticsView::setRowDescription(int row, const QString& text)
{
    if (row < 0 || row >= kRowCount)
        return;
    m_entries[row].description = text;
    m_model->item(row, 0)->setData(text, Qt::DisplayRole);
}

QString StatisticsView::rowDescription(int row) const
{
    return row >= 0 && row < kRowCount ? m_entries[row].description : QString();
}
