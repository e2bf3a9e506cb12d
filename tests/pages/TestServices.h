#pragma once

// The main window's services as a page test needs them: the protocol handler
// the test sets, a count of relayout requests, nothing else.
#include "MainWindowServices.h"

class Y5ProtocolHandler;

class TestServices : public MainWindowServices
{
public:
    Y5ProtocolHandler* handler = nullptr;
    int relayouts = 0;
    Y5ProtocolHandler* protocolHandler() const override { return handler; }
    Y5CanProtocolHandler* canProtocolHandler() const override { return nullptr; }
    Y5CanFwUpdater* canFwUpdater() const override { return nullptr; }
    FeatureSupportTable* featureTable() override { return nullptr; }
    CSntcMap* rootSentenceMap() override { return nullptr; }
    StatusPage* statusPage() const override { return nullptr; }
    StatisticsPage* statisticsPage() const override { return nullptr; }
    ConfigPage* configPage() const override { return nullptr; }
    UpdatePage* updatePage() const override { return nullptr; }
    ExternalComponentsPage* extComponentsPage() const override { return nullptr; }
    void setAccessLevel(int) override {}
    quint32 bmsSerialNumber() const override { return 0; }
    void updateStatisticsActions(bool) override {}
    void enableStatisticsImport() override {}
    void relayout(QWidget*) override { ++relayouts; }
    void writeLog(const QString&, int) override {}
};
