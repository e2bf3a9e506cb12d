#pragma once

#include "BasePage.h"

#include <QByteArray>
#include <QList>
#include <QModelIndex>
#include <QString>

#include <atomic>
#include <cstdint>
#include <functional>

class myTabWidget;
class Param;
class QLabel;
class QLineEdit;
class QProgressBar;
class QTimer;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;
class Y5CanFwUpdater;
class Y5ProtocolHandler;

// One discovered CAN device, one row of the device list.
struct CanDeviceListEntry
{
    quint16 typeId = 0;
    quint32 serial = 0;
    quint32 softwareVersion = 0;
    QTreeWidgetItem* item = nullptr; // owned by the entry
    bool valid = false;
};

// The Update page: the control unit's firmware ("Control Unit" tab) and the
// firmware of one CAN device behind it ("CAN Devices" tab). GUI thread only;
// the updaters' signals arrive queued.
class UpdatePage : public BasePage
{
    Q_OBJECT
public:
    UpdatePage(CSntcMap* sentenceMap, Communicator* communicator, QWidget* parent, FeatureSupportTable* featureTable);
    ~UpdatePage() override;

    void processSentence(const QString& sentence) override { versionReceived(sentence); }
    void versionReceived(const QString& sentence);
    void connectionStatusChanged(bool linked) override;
    void setControlsEnabled(bool enabled);
    bool controlsEnabled() const { return m_controlsEnabled; }
    void updateChargingState(const QString& sentence);
    void warnIfCharging();

    // The page's tabs.
    myTabWidget* tabWidget = nullptr;

    // Set while a firmware update runs that closing the window would cut
    // off (the control unit's, or a CAN device's CANopen download): the
    // window refuses to close.
    std::atomic<bool> updateRunning{false};

    // Stops a running CAN device download and waits for its end (the window
    // calls it before the link and its handler go).
    void stopCanDownloads();

    // Opens a CAN-device image ("Open firmware file" of the CAN Devices tab);
    // true when it is loaded. The caller marks it loaded.
    bool openCanFirmwareFile();

    // --- what tests (and the window) may replace
    // The file dialog and the message boxes of opening an image; chooseFile
    // gets the start directory and returns the chosen path (empty: none);
    // showMessage shows one modal message.
    std::function<QString(QWidget* parent, const QString& startDir)> chooseFile;
    std::function<void(QWidget* parent, const QString& text)> showMessage;
    // Titled modal notices: the charging warning and "Please log in first".
    std::function<void(const QString& title, const QString& text)> showNotice;
    // The "WARNING!" box before anything puts the unit into configuration
    // mode; true for Ok.
    std::function<bool()> confirmConfigurationMode;
    // The description of a CAN product code for "Target device:".
    std::function<QString(quint32 productCode)> canDeviceDescriber;
    // Saves the unit's configuration before a control-unit update; false
    // when it could not. Until it is set, updates that need it are refused
    // (the configuration is never put at risk).
    std::function<bool()> saveConfiguration;
    // Whether the unit's configuration was read (default: the configuration
    // page's); an update that must save it first is refused until then.
    std::function<bool()> configurationRead;
    // The statistics export before an update (default: the Statistics page's
    // automatic export).
    std::function<bool()> exportStatistics;
    // The CANopen download of a CAN device with a product code above 15.
    std::function<void(Communicator*, int deviceType, quint32 serial, const QByteArray& image)> startModuleBootloader;
    // The discovery engine (default the one canConfig) and the route-frame
    // updater (default the window's).
    struct DiscoveredDevice
    {
        quint16 typeId = 0;
        quint32 serial = 0;
        quint32 version = 0;
    };
    std::function<int()> discoverListSize;
    std::function<bool(quint8 index, DiscoveredDevice* device)> discoverListEntry;
    std::function<bool()> canJobsBusy;
    std::function<bool()> canJobsPresent;
    std::function<void()> startCanDiscovery;
    Y5CanFwUpdater* canUpdater = nullptr;
    // The factory reset's wait before the login (800 x 10 ms).
    int factoryResetWaitSteps = 800;

    // --- Control Unit tab
    bool updateActive = false;
    // An update's outcome, or why it did not start, is on the page: it stays
    // through link changes until the user opens a file or starts again.
    bool outcomeShown = false;
    // Shown while the update waits long for the unit's answer to its login.
    QPushButton* stopWaitButton = nullptr;
    // How long the login may wait unseen before the page says so.
    int unitWaitShowMs = 3000;
    QList<Param*> deviceInfoParams;
    QPushButton* openFirmwareButton = nullptr;
    QPushButton* startUpdateButton = nullptr;
    QLabel* fileValue = nullptr;
    QLabel* versionValue = nullptr;
    QLabel* releaseDateCaption = nullptr;
    QLabel* releaseDateValue = nullptr;
    QLabel* targetSerialValue = nullptr;
    QLabel* statusText = nullptr;
    QProgressBar* progressBar = nullptr;
    QPushButton* setSerialButton = nullptr;
    QLineEdit* serialEdit = nullptr;
    QPushButton* setCustomerButton = nullptr;
    QLineEdit* customerEdit = nullptr;
    QLineEdit* featureSetEdit = nullptr;
    QList<QWidget*> accessControls;
    quint32 chargingMask = 0;
    bool loggedIn = false;
    // The image the serial updater writes; read by its thread during an
    // update, so it changes only through "Open firmware file...".
    QByteArray controlUnitImage;
    // The loaded image's own version (without the "v" shown).
    QString controlUnitImageVersion;

    // --- CAN Devices tab
    QTreeWidget* deviceTree = nullptr;
    QList<CanDeviceListEntry*> deviceEntries;
    QPushButton* discoverButton = nullptr;
    QPushButton* openCanFirmwareButton = nullptr;
    QLabel* canFileValue = nullptr;
    QLabel* canVersionValue = nullptr;
    QLabel* canReleaseDateCaption = nullptr;
    QLabel* canReleaseDateValue = nullptr;
    QLabel* targetDeviceValue = nullptr;
    QLabel* canStatusText = nullptr;
    QProgressBar* canProgressBar = nullptr;
    QPushButton* updateFirmwareButton = nullptr;
    bool canImageLoaded = false;
    quint8 selectedRow = 255;
    QByteArray canImage;
    quint16 canProductCode = 0;

    // Device type t against image product code c: above 15 the upper bits
    // count, up to 15 the whole code, never across.
    static bool deviceMatches(quint16 typeId, quint16 productCode);
    // The "Firmware Version" column of a device.
    static QString versionColumnText(quint16 typeId, quint32 version);
    // Major and minor of a version text ("2.10.1" -> 2, 10); false when it
    // does not start with digits.
    static bool versionPair(const QString& text, int* major, int* minor);

    void clearCanDeviceList();
    void addCanDeviceRow(quint16 typeId, quint32 serial, quint32 version);
    void fillCanDeviceList();

public slots:
    void slotOpenFirmwareFileClicked(bool checked = false);
    void slotStartUpdateClicked(bool checked = false);
    void slotUpdateProgress(int value, int kind, QString text);
    void slotUpdateProgress(int value, int kind);
    void slotSerialNumberPressed();
    void slotSetCustomerIDPressed();
    void slotCanDevicesDiscover();
    void slotCanDevicesOpenFirmware();
    void slotCanDevicesStartUpdate();
    void slotCanDevicesProgress(int value);
    void slotCanDevicesStatusUpdate(int stage, int code, QString text);
    void slotCanDevicesStatusUpdate(int stage, int code);
    void slotCanDeviceListWidgetItemClicked(const QModelIndex& index);
    void slotCanDeviceOperationStatus(int status, int operation);
    void slotConfigParamUpdate(int id, uint32_t value);

private:
    QWidget* buildControlUnitTab(QWidget* parent);
    QWidget* buildCanDevicesTab(QWidget* parent);
    void addDeviceInfoParam(const QString& caption, const QString& sentenceName, int field, int valueType);
    // The chosen file, or empty; remembers its folder for the next dialog.
    QString askForFirmwareFile();
    void resetNewFirmware();
    void connectProgress(Communicator* c);
    Y5ProtocolHandler* handler() const;
    Y5CanFwUpdater* updater() const;
    // A route update, a CAN device download or another CAN job runs.
    bool canUpdateBusy() const;
    void failStart(const QString& text);
    // Ends the update on the page with its outcome shown.
    void endUpdate(const QString& text, int barValue);
    // "Start update" and "Open firmware file..." as the link and the update allow.
    void refreshUpdateButtons();
    void watchUnitWait();
    void slotStopWaitClicked();
    // Why a control-unit update must not start now; empty when it may.
    QString startRefusal(Y5ProtocolHandler* h, bool saveFirst) const;
    // A SHA-1 image for a "BMS3" unit, whole legacy frames for any other.
    static bool imageFitsUnit(const QByteArray& image, const QString& deviceKind);
    bool m_controlsEnabled = false;
    bool m_imageWritten = false; // the updater reported the image written
    bool m_restoreSeen = false;  // the configuration restore began after it
    QTimer* m_unitWaitTimer = nullptr;
    qint64 m_unitWaitSinceMs = -1;
    QString m_textBeforeWait;
};
