#pragma once

#include "BasePage.h"

#include <atomic>
#include <cstdint>

class myTabWidget;

class ConfigParamLoader;
class QThread;

// The Configuration page (page 2). For now the hooks, slots and signals the
// main window wires and the flags the link and the loader read.
class ConfigPage : public BasePage
{
    Q_OBJECT
public:
    ConfigPage(CSntcMap* sentenceMap, Communicator* communicator, QWidget* parent, FeatureSupportTable* featureTable);

    // The page's share of every received sentence.
    void processSentence(const QString& sentence) override { receiveSentence(sentence); }
    void connectionStatusChanged(bool linked) override { setConnected(linked); }
    void applicationFocusChanged(QWidget* old, QWidget* now) override { commitEditedParams(old, now); }

    void receiveSentence(const QString& sentence);
    void setConnected(bool linked);
    void commitEditedParams(QWidget* old, QWidget* now);

    bool isPinFunctionAssigned(int function) const;
    bool isLtoSupportEnabled() const { return m_ltoSupport; }

    // Set while a full parameter read runs; the Status page's cells timer reads it.
    // The page's tabs; null until the page builds them.
    myTabWidget* tabWidget = nullptr;

    std::atomic<bool> parametersLoading{false};
    // The running loader and its thread; null while no full read runs.
    ConfigParamLoader* paramLoader = nullptr;
    QThread* loaderThread = nullptr;

signals:
    void sigConfigParamUpdate(int id, uint32_t value);
    void sigDistanceUnitChanged();

public slots:
    void slotCurrentPageChanged(int index);
    void slotCanDeviceOperationStatus(int status, int operation);
    void slotToshibaSCiBOperationStatus(int status, int operation);
    void slotCanSplitterConfigFinish(int result);
    void slotCanDeviceSortingRequest(uint8_t request);
    void slotCGMGen2StatusUpdate(uint32_t a, uint32_t b, uint32_t c, uint32_t d);
    void slotReceivedVersionString(QString line);
    void slotLoadConfigurationFromHardDrive();
    void slotLoginPressed();
    void slotAuthenticationFailed();

private:
    bool m_ltoSupport = false;
};
