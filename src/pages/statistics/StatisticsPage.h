#pragma once

#include "BasePage.h"

#include <cstdint>

// The store of manual statistics exports: organisation "KEPO", this
// application name. One name for every reader and writer.
inline constexpr const char* kManualStatisticsStore = "KEPO BMS Dadevoz Arezi/Manually Exported Statistics";

// The Statistics page (page 1): statistics and event log of the unit. For now
// the hooks and the export state the main window uses.
class StatisticsPage : public BasePage
{
    Q_OBJECT
public:
    // Bits of StatisticsExportFlags: which export captures which reply.
    enum : uint8_t {
        ExportAutoSs1 = 0x01,
        ExportManualSs1 = 0x02,
        ExportAutoSs2 = 0x04,
        ExportManualSs2 = 0x08,
    };

    StatisticsPage(CSntcMap* sentenceMap, Communicator* communicator, QWidget* parent,
                   FeatureSupportTable* featureTable);

    void connectionStatusChanged(bool linked) override;
    void setAccessEnabled(bool enabled);
    // Starts an export into the automatic or the manual store; false when it
    // could not start.
    bool exportStatistics(bool automatic);
    // Sends stored statistics back to the unit; false on failure.
    bool importStatistics(bool automatic);

    // Read and cleared by the main window's sentence pump.
    uint8_t StatisticsExportFlags = 0;

public slots:
    void slotCurrentPageChanged(int index);
    void slotReceivedVersionString(QString line);

private:
    bool m_accessEnabled = false;
};
