#pragma once

#include "BasePage.h"

#include <QByteArray>

#include <atomic>
#include <cstdint>
#include <functional>

class myTabWidget;
class QLabel;
class QPushButton;

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

    // Opens a CAN-device image ("Open firmware file" of the CAN Devices tab);
    // true when it is loaded. The caller marks it loaded.
    bool openCanFirmwareFile();

    // The file dialog and the message boxes of opening an image; tests
    // replace them. chooseFile gets the start directory and returns the
    // chosen path (empty: none); showMessage shows one modal message.
    std::function<QString(QWidget* parent, const QString& startDir)> chooseFile;
    std::function<void(QWidget* parent, const QString& text)> showMessage;
    // The description of a CAN product code for "Target device:".
    std::function<QString(quint32 productCode)> canDeviceDescriber;

    // "New Firmware" of the Control Unit tab.
    QPushButton* openFirmwareButton = nullptr;
    QPushButton* startUpdateButton = nullptr;
    QLabel* fileValue = nullptr;
    QLabel* versionValue = nullptr;
    QLabel* releaseDateCaption = nullptr;
    QLabel* releaseDateValue = nullptr;
    QLabel* targetSerialValue = nullptr;
    // The image the serial updater writes; read by its thread during an
    // update, so it changes only through "Open firmware file...".
    QByteArray controlUnitImage;
    // The loaded image's own version (without the "v" shown).
    QString controlUnitImageVersion;

    // "New firmware" of the CAN Devices tab.
    QPushButton* openCanFirmwareButton = nullptr;
    QLabel* canFileValue = nullptr;
    QLabel* canVersionValue = nullptr;
    QLabel* canReleaseDateCaption = nullptr;
    QLabel* canReleaseDateValue = nullptr;
    QLabel* targetDeviceValue = nullptr;
    QByteArray canImage;
    bool canImageLoaded = false;
    quint16 canProductCode = 0;

public slots:
    // "Open firmware file..." of the Control Unit tab.
    void slotOpenFirmwareFileClicked(bool checked = false);
    void slotCanDevicesOpenFirmware();

    void slotCanDevicesProgress(int percent);
    void slotCanDevicesStatusUpdate(int stage, int code);
    void slotCanDevicesStatusUpdate(int stage, int code, QString text);
    void slotCanDeviceOperationStatus(int status, int operation);
    void slotConfigParamUpdate(int id, uint32_t value);

private:
    // The chosen file, or empty; remembers its folder for the next dialog.
    QString askForFirmwareFile();
    void resetNewFirmware();
    bool m_controlsEnabled = false;
};
