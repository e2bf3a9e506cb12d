#pragma once

#include "BasePage.h"

#include <atomic>
#include <cstdint>

class myTabWidget;

// The Update page (page 3). For now the hooks and slots the main window wires
// and the flag that keeps the window open during a control-unit update.
class UpdatePage : public BasePage
{
    Q_OBJECT
public:
    UpdatePage(CSntcMap* sentenceMap, Communicator* communicator, QWidget* parent, FeatureSupportTable* featureTable);

    void processSentence(const QString& sentence) override { versionReceived(sentence); }
    void versionReceived(const QString& sentence);
    void connectionStatusChanged(bool linked) override;
    void setControlsEnabled(bool enabled);
    bool controlsEnabled() const { return m_controlsEnabled; }

    // Set while a control-unit firmware update runs: the window refuses to close.
    // The page's tabs; null until the page builds them.
    myTabWidget* tabWidget = nullptr;

    std::atomic<bool> updateRunning{false};

public slots:
    void slotCanDevicesProgress(int percent);
    void slotCanDevicesStatusUpdate(int stage, int code);
    void slotCanDevicesStatusUpdate(int stage, int code, QString text);
    void slotCanDeviceOperationStatus(int status, int operation);
    void slotConfigParamUpdate(int id, uint32_t value);

private:
    bool m_controlsEnabled = false;
};
