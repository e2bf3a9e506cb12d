#pragma once

#include <QString>

class QWidget;
class Communicator;
class CSntcMap;
class FeatureSupportTable;
class Y5ProtocolHandler;
class Y5CanProtocolHandler;
class Y5CanFwUpdater;
class StatusPage;
class StatisticsPage;
class ConfigPage;
class UpdatePage;
class ExternalComponentsPage;

// What the pages and the feature code may ask of the main window. The window
// implements it and publishes itself as g_mainWindow; the pages never see
// the window's own class.
class MainWindowServices
{
public:
    virtual ~MainWindowServices() = default;

    virtual Y5ProtocolHandler* protocolHandler() const = 0;
    virtual Y5CanProtocolHandler* canProtocolHandler() const = 0;
    virtual Y5CanFwUpdater* canFwUpdater() const = 0;
    virtual FeatureSupportTable* featureTable() = 0;
    virtual CSntcMap* rootSentenceMap() = 0;

    virtual StatusPage* statusPage() const = 0;
    virtual StatisticsPage* statisticsPage() const = 0;
    virtual ConfigPage* configPage() const = 0;
    virtual UpdatePage* updatePage() const = 0;
    virtual ExternalComponentsPage* extComponentsPage() const = 0;

    // 0, 1 or 2 from the last login reply.
    virtual void setAccessLevel(int level) = 0;
    // Serial number of the linked unit; 0 until a version reply was seen.
    virtual quint32 bmsSerialNumber() const = 0;
    virtual void updateStatisticsActions(bool enable) = 0;
    // "Import Statistics" after a failed automatic import moved the saved
    // values into the manual store; "Export Statistics" keeps its own rule.
    virtual void enableStatisticsImport() = 0;
    // Lays the widget and its children out again (after visibility changes).
    virtual void relayout(QWidget* widget) = 0;
    virtual void writeLog(const QString& text, int level) = 0;
};

// The one main window; null before it is built and after it is gone.
extern MainWindowServices* g_mainWindow;

// Factory mode ("-m" on the command line): shows the provisioning fields.
extern bool g_factoryMode;
