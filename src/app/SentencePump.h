#pragma once

#include <QList>
#include <QString>

#include <functional>

class BasePage;
class canConfig;
class CISAConfig;
class Communicator;
class FeatureSupportTable;
class StatisticsPage;
class ToshibaSCiBModuleConfig;
class Y5CanFwUpdater;
class Y5ProtocolHandler;

// Hands every verified received line, in a fixed order, to the statistics
// export capture, the link-state checks, the pages' hooks (configuration,
// status, update), the CAN objects and last the root sentence map. GUI thread.
class SentencePump
{
public:
    Y5ProtocolHandler* handler = nullptr;
    Y5CanFwUpdater* canFwUpdater = nullptr;
    StatisticsPage* statisticsPage = nullptr;
    const FeatureSupportTable* featureTable = nullptr;
    // In the order they are told: configuration, status, update.
    QList<BasePage*> pages;
    canConfig* canConfigurator = nullptr;
    CISAConfig* cisaConfig = nullptr;
    ToshibaSCiBModuleConfig* scibConfig = nullptr;
    std::function<void(const QString&)> chargingLine;
    std::function<void(const QString&)> rootMap;

    // Takes every queued line, unless a firmware update of the unit or of a
    // CAN device runs: then the lines stay queued for a later call.
    void drain();
    void handleLine(const QString& line);

private:
    void captureStatistics(const QString& line);
};
