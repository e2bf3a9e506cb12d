#pragma once

#include "BasePage.h"
#include "CellModelParamHost.h"
#include "ParamReplyWait.h"

#include <QHash>
#include <QList>
#include <QPointer>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

class ConfigParam;
class ConfiguredTable;
class TempBreakOutBoardSupport;
class QCheckBox;
class QComboBox;
class QDialog;
class QLineEdit;
class QSpinBox;
class UnconfiguredTree;
class ConfigPrompter;
class MyGroupBox;
class ConfigParamLoader;
class QGridLayout;
class QGroupBox;
class QLabel;
class QMessageBox;
class QProgressBar;
class QProgressDialog;
class QPushButton;
class QRadioButton;
class QRegExpValidator;
class ToshibaSCiBConfiguredTable;
class ToshibaSCiBUnconfiguredTree;
class QThread;
class SignalWindowTab;
class TemperatureCalibrationWindow;
class Tip;
class UserQuestionAsker;
class WidgetFold;
class Y5ProtocolHandler;
class myTabWidget;
struct ConfigParamSlot;

// The Configuration page (page 2): the editors of the unit's configuration
// parameters and their shared value records, the "CF2" exchange, the edit
// and commit cycle, the consistency rules, widget groups, the tab container
// and the routing of received sentences. One file per concern:
//   ConfigPage.cpp           construction, tabs, reading all parameters
//   ConfigPageFactory.cpp    editor factory, registry, the standard row
//   ConfigPageConversion.cpp value display, submit, "CF2" replies
//   ConfigPageEditCycle.cpp  edit marks and the focus-change commit
//   ConfigPageGroups.cpp     widget groups, LTO ranges, pin functions
//   ConfigPageRules.cpp      interdependent parameter rules
//   ConfigPageRouting.cpp    sentence routing, link state, unit generation
//   ConfigPageTabs.cpp       the tab list and the Management tab
//   ConfigPageAccess.cpp     access levels, login, logout, passwords
class ConfigPage : public BasePage, public CellModelParamHost
{
    Q_OBJECT
public:
    // Edit state of a parameter (ConfigParam::editState).
    enum EditState { NoValue = 0, Shown = 1, SubmitRequested = 2, Edited = 3, Sent = 4 };

    // Widget groups the page itself hides at construction.
    static constexpr int kWidgetGroupsHiddenAtStart[] = {6, 1, 2, 3, 4, 5, 11, 12};
    // An editor whose parameter has no value: nothing readable in it.
    static constexpr const char* kNoValueEditorStyle =
        "QLineEdit, QSpinBox, QComboBox{color: white; background: white;}";

    ConfigPage(CSntcMap* sentenceMap, Communicator* communicator, QWidget* parent, FeatureSupportTable* featureTable);
    ~ConfigPage() override;

    // The page's share of every received sentence.
    void processSentence(const QString& sentence) override { receiveSentence(sentence); }
    void connectionStatusChanged(bool linked) override { setConnected(linked); }
    void applicationFocusChanged(QWidget* old, QWidget* now) override { commitEditedParams(old, now); }

    void receiveSentence(const QString& sentence);
    void setConnected(bool linked);
    void commitEditedParams(QWidget* old, QWidget* now);

    // --- editors and value records (factory)
    // Makes the editor of the kind, binds it to the value record of the id
    // and registers the parameter. Null for kinds the page does not make
    // (8-12, above 13); the parameter is registered all the same. A
    // negative id makes an editor without parameter. GUI thread, while the
    // tabs are built.
    QWidget* createParamWidget(const QString& name, int kind, int id, int valueType, double minimum, double maximum,
                               int offset, double scale, ConfigParam** out = nullptr, int featureId = -1,
                               bool isFloat = false, uint32_t hexLow = 0, uint32_t hexHigh = 0xFFFFFFFFu) override;
    // The same with offset 0 and scale 10^-decimals.
    QWidget* createParamWidgetByDecimals(const QString& name, int kind, int id, int valueType, double minimum,
                                         double maximum, int decimals, ConfigParam** out = nullptr,
                                         int featureId = -1, bool isFloat = false, uint32_t hexLow = 0,
                                         uint32_t hexHigh = 0xFFFFFFFFu) override;
    ConfigParam* addConfigParam(const QString& name, QWidget* widget, int kind, int id, int valueType, int decimals,
                                double minimum, double maximum, int offset, double scale, ConfigParam** out,
                                int featureId, bool isFloat, uint32_t hexLow, uint32_t hexHigh);
    // A bare parameter (no editor) of id paramId needing feature featureId.
    ConfigParam* addConfigParam(int paramId, int featureId);
    ConfigParamSlot* paramSlot(int paramId) const { return m_slots.value(paramId); }
    const QList<ConfigParam*>& configParams() const { return m_params; }
    int paramIndex(const ConfigParam* param) const { return m_params.indexOf(const_cast<ConfigParam*>(param)); }

    // The standard parameter row for the tab builders: a group (grid in a
    // MyGroupBox in a WidgetFold registered as a feature group that hides
    // when none of its members shows), then one row per parameter: caption
    // in column 0, editor in 1, unit in 2, each registered under the
    // parameter's feature, and a hover tip on the editor. Texts are passed
    // translated.
    WidgetFold* createParamGroup(const QString& title, QGridLayout** grid);
    struct ParamRow
    {
        QLabel* caption = nullptr;
        QWidget* editor = nullptr;
        QLabel* unit = nullptr;
        Tip* tip = nullptr;
        ConfigParam* param = nullptr;
    };
    ParamRow addParamRow(QGridLayout* grid, int row, const QString& caption, const QString& unit,
                         const QString& tipText, const QString& name, int kind, int id, int valueType,
                         double minimum, double maximum, int offset, double scale, int featureId,
                         uint32_t hexLow = 0, uint32_t hexHigh = 0xFFFFFFFFu);
    // Combo box items carry the raw value as item data.
    static void addComboItem(QWidget* comboBox, const QString& text, int rawValue);

    // Hex CAN identifier validators: 29-bit (8 digits), 11-bit (3), 13-bit
    // (4), and a second 11-bit one.
    enum CanIdValidator { CanId29Validator = 0, CanId11Validator = 1, CanId13Validator = 2, CanId11BValidator = 3 };
    QRegExpValidator* canIdValidator(int which) const { return m_canIdValidators.value(which); }

    // --- values
    // Shows the record's value in the editor and runs the page's reactions
    // to the id.
    void refreshParamWidget(ConfigParam* param, bool versionKnown);
    // Reads the editor and writes the word; true when it was written.
    bool submitParam(ConfigParam* param);
    // GUI thread: a received "CF2" reply; stores the value, ends a wait for it.
    void parseParamReply(const QString& line);
    // The value the unit last reported (0 when no parameter has the id).
    uint32_t paramValue(int id) const;
    uint32_t getParamValue(int id) const;
    QString paramText(int id) const override;
    bool submitParamText(int id, const QString& text) override;
    // The page's services, also for the cell model page.
    // As BasePage's, through the page's own protocol handler.
    void sendSentence(const QString& name, const QString& parameters, unsigned delayMs, int timeoutMs) override;
    QWidget* registerFeatureWidget(QWidget* widget, int featureId, int mode) override
    {
        return BasePage::registerFeatureWidget(widget, featureId, mode);
    }
    // The firmware version text the feature tests use.
    QString versionText(bool versionKnown) const;
    bool isEditingAllowed(const QString& versionText) const;
    bool isFeatureReportedByDevice(int featureId) const;
    // Where written words go; by default the protocol handler.
    void setParamWriter(std::function<bool(int id, uint32_t word)> writer) { m_paramWriter = std::move(writer); }

    // --- edit cycle
    void submitParamByIndex(int index);

    // --- widget groups and firmware gating
    void addToWidgetGroup(QWidget* widget, int group);
    void setWidgetGroupVisible(int group, bool visible);
    void showWidgetGroupCount(int group, int count);
    QList<QWidget*> widgetGroup(int group) const { return m_widgetGroups.value(group); }
    bool isLtoSupportEnabled() const { return m_ltoSupport; }
    void updateLtoSupport();
    void applyCellVoltageRanges(const QString& versionText, bool versionKnown);
    bool isPinFunctionAssigned(int function) const;

    // --- consistency rules
    void processInterdependentParams(int index);
    // The CAN speed change the rules start when 0x0C02 changes.
    void setCanSpeedChange(std::function<void(int speedCode)> change) { m_canSpeedChange = std::move(change); }
    // Shows or hides the Status page's state-of-health value (shown with
    // estimator 1); the window connects it.
    void setSohVisibility(std::function<void(bool shown)> show) { m_showSoh = std::move(show); }
    // How the page runs its modal warning boxes; tests replace it.
    void setModalBoxRunner(std::function<void(QMessageBox*)> runner) { m_runModalBox = std::move(runner); }

    // --- access and device state
    int accessLevel = 0;              // from the unit's "PW1" reply
    bool manualChargerIdControl = false;
    uint8_t chargingState = 0;        // bits 0-2 from "CS1".."CS3"
    bool authenticationFailed = false;
    QString rememberedPassword;
    // A password sent with "Set password..." and not yet answered: it is
    // remembered only once the unit took it ("PW2,1").
    QString pendingPassword;
    bool passwordChangeSent = false;
    void takePasswordChangeReply(const QString& line);
    // The last answer to a password sentence: 0-2 "PW1" level, 3 "PW1,?",
    // 4 "PW2" accepted, 5 "PW2" refused; 7 is set by whoever then waits.
    int passwordReplyState = 0;
    void updateAccessLevelUi(const QString& line);
    void storePasswordReply(const QString& line);
    void updateButtonsEnabled();
    void resetAccessLevelUi();
    // Login and password dialogs; by default Qt's.
    void setPrompter(ConfigPrompter* prompter) { m_prompter = prompter; }
    ConfigPrompter* prompter();
    // Whether the unit's firmware is being updated (the remembered password
    // is then sent without asking).
    void setUpdateInProgressProbe(std::function<bool()> probe) { m_updateInProgress = std::move(probe); }
    int unitGeneration() const { return hardwareKind; }
    bool isUnitGenerationKnown() const { return hardwareKindKnown; }
    void updateChargingState(const QString& line);

    // --- the tabs
    // False: the parameter tabs are built empty (tests of the page's own
    // machinery that want no declared parameters).
    static bool buildParameterTabs;
    SignalWindowTab* createManagementGroups(QWidget* parent);
    // Builders of the parameter tabs; each returns its tab page.
    SignalWindowTab* createGeneralTab(QWidget* parent);
    SignalWindowTab* createCanTab(QWidget* parent);
    SignalWindowTab* createChargingTab(QWidget* parent);
    SignalWindowTab* createSocSohTab(QWidget* parent);
    SignalWindowTab* createProtectionsTab(QWidget* parent);
    QWidget* createProtectionGroup(int editorWidth);
    SignalWindowTab* createWarningsTab(QWidget* parent);
    QWidget* createWarningGroup(int editorWidth);
    SignalWindowTab* createReductionsTab(QWidget* parent);
    QWidget* createReductionGroup(int editorWidth);
    SignalWindowTab* createControlsTab(QWidget* parent);
    SignalWindowTab* createIoPinsTab(QWidget* parent);
    void createCgmMappingParams();
    SignalWindowTab* createCgmsMapTab(QWidget* parent);
    SignalWindowTab* createCanDevicesGroup(QWidget* parent);
    SignalWindowTab* createScibTab(QWidget* parent);
    SignalWindowTab* createMasterSlaveTab(QWidget* parent);
    // Parts of the Charging, SOC / SOH and General tabs.
    QWidget* createChargingTuningGroup(int editorWidth);
    QGroupBox* createBatteryEstimatorGroup(QWidget* tab);
    QGroupBox* createSocAdjustmentGroup();
    QWidget* createDistanceGroup(int editorWidth);
    QWidget* createUserSocGroup(int editorWidth);
    QGroupBox* createBroadcastPeriodGroup(int editorWidth);
    QGroupBox* createBatteryPackGroup(int editorWidth);
    QGroupBox* createCurrentSensorGroup();
    // Called at the end of every value refresh.
    void updateCurrentSensorInfo(ConfigParam* param, uint32_t value, const QString& version);
    QComboBox* socEstimatorCombo = nullptr;
    QPushButton* setSocButton = nullptr;
    // The General tab's widgets other code reaches (GeneralTab.h).
    struct GeneralTabWidgets* general = nullptr;
    // The external temperature calibration window ("Calibrate External
    // Temperature ..."), built hidden when first asked for.
    TemperatureCalibrationWindow* temperatureCalibrationWindow();


    // --- Toshiba SCiB tab (tabs/ScibTab.cpp)
    QPushButton* scibDiscoverButton = nullptr;
    QSpinBox* scibParallelStringsBox = nullptr;
    QPushButton* scibCommitButton = nullptr;
    Tip* scibCommitTip = nullptr;
    bool scibDiscoveryDone = false;
    ToshibaSCiBConfiguredTable* scibTable = nullptr;
    ToshibaSCiBUnconfiguredTree* scibList = nullptr;
    // The SCiB module mapping editors, written on every change.
    struct ScibModuleRecord
    {
        QLineEdit* serialEdit = nullptr;
        QLineEdit* stringEdit = nullptr;
        QLineEdit* cellCountEdit = nullptr;
    };
    QLineEdit* scibModuleCountEdit = nullptr;
    QList<ScibModuleRecord> scibModuleRecords;
    void loadConfiguredScibModules();
    void showDiscoveredScibModules();
    // The end of a load and a lost link, as the SCiB tab sees them.
    void finishScibLoad();
    void resetScibTab();

    // CAN tab groups (w: the numeric editors' width) and the editors the
    // CAN device actions read.
    QWidget* createCanBusGroup(int w);
    QWidget* createCanModulesGroup(int w);
    QWidget* createCanopenGroup(int w);
    QWidget* createCanMasterSlaveGroup(int w);
    QWidget* createCanSplitterGroup(int w);
    QWidget* createCanInterfaceGroup(int w);
    QComboBox* can1SpeedBox = nullptr;
    QCheckBox* extendedIdBox = nullptr;
    QLineEdit* deviceBaseIdEdit = nullptr;

    // Stored module mapping: the editors of module m's serial, string and
    // cell count, and its "Commit" button on the CGMs Map tab (1 to 16).
    struct ModuleRecord
    {
        QWidget* serialEdit = nullptr;
        QWidget* stringEdit = nullptr;
        QWidget* cellCountEdit = nullptr;
        QPushButton* commitButton = nullptr;
    };
    static constexpr int kModuleRecords = 32;
    ModuleRecord moduleRecords[kModuleRecords];
    QWidget* moduleCountEdit = nullptr;
    QComboBox* cgmTypeBox = nullptr;
    QWidget* parallelStringsEdit = nullptr;
    QWidget* createCgmMappingGroup();

    // CAN Devices tab.
    QPushButton* discoverButton = nullptr;
    QCheckBox* legacyDiscoveryBox = nullptr;
    QSpinBox* parallelStringsBox = nullptr;
    QPushButton* commitButton = nullptr;
    QPushButton* advancedButton = nullptr;
    // "Advanced configuration...": the temperature board power window, a
    // window of its own owned by the page; it hears every "CN1" line while
    // it is open.
    TempBreakOutBoardSupport* tempBoardWindow = nullptr;
    void passToTempBoardWindow(const QString& line);
    Tip* commitTip = nullptr;
    ConfiguredTable* configuredTable = nullptr;
    UnconfiguredTree* unconfiguredTree = nullptr;
    bool canDiscoveryDone = false;
    bool currentSensorFound = false;
    QList<uint32_t> currentSensorSerials;
    QList<uint16_t> currentSensorTypes;
    QProgressDialog* gen2ProgressDialog = nullptr;
    // Fills the table from the stored module mapping (end of a load).
    void loadConfiguredCanDevices();
    // The section after a lost link: no discovery, no buttons, empty lists.
    void clearCanDevicesSection();
    void resetBmsAndReconnect();
    void changeCanSpeed(uint8_t speedCode);
    void showDiscoveredCanDevices();
    // failed: some device failed; the box then names each one.
    void finishCanDeviceCommit(bool failed = false);
    void finishSingleModuleCommit();
    // A CAN device action may start: no charging (else the warning), and
    // the user accepts the configuration mode.
    bool canDeviceActionAllowed();
    // True, after telling the user, while a CAN job runs: one at a time.
    bool refuseWhileCanJobRuns();
    // The per-module "Commit" buttons of the CGMs Map tab.
    void setModuleCommitButtonsEnabled(bool on);
    // The speed (code) the unit and its devices ran at before the running
    // speed change; -1 when none runs.
    int canSpeedBeforeChange = -1;
    // The speed code the devices get once the current sensor has its own.
    int canSpeedAfterSensor = -1;
    // Starts the devices' speed change; a refusal is told and undone.
    void startDeviceSpeedChange(uint8_t speedCode, bool sensorMoved = false);
    // Shows the speed code in "CAN1 Speed:" and writes it to the unit.
    void putCanSpeedBack(int code);
    // How the page pauses after the reset; tests replace it.
    void setResetPause(std::function<void(int ms)> pause) { m_resetPause = std::move(pause); }

    myTabWidget* tabWidget = nullptr;
    QWidget* canDevicesTab = nullptr;
    QWidget* scibTab = nullptr;
    QWidget* masterSlaveTab = nullptr;
    QPushButton* loginButton = nullptr;
    QPushButton* logoutButton = nullptr;
    QPushButton* setPasswordButton = nullptr;
    QPushButton* saveButton = nullptr;
    QPushButton* loadButton = nullptr;
    QPushButton* defaultsButton = nullptr;
    QPushButton* resetButton = nullptr;
    QPushButton* maintenanceButton = nullptr;
    QPushButton* disableChargingButton = nullptr;
    Tip* loginTip = nullptr;
    QList<QPushButton*> securityButtons;
    // The tab builders append theirs in the documented order; those that
    // change the unit's configuration go into editingActionButtons too (they
    // need editing allowed, the others only a login).
    QList<QWidget*> actionButtons;
    QList<QWidget*> editingActionButtons;

    // --- reading all parameters
    // Where the loader's failure question goes (the window's asker). Without
    // one a parameter that never answers ends the reading.
    void setQuestionAsker(UserQuestionAsker* asker) { m_asker = asker; }
    // The handler the queries go through; by default the main window's.
    void setProtocolHandler(Y5ProtocolHandler* handler) { m_handler = handler; }
    // Starts the loader thread on one parameter per supported id. False when
    // a reading runs already or there is no protocol handler.
    bool startParamLoader();
    // Waits for the reply to paramId ("CF2,IIII," + the expected text;
    // empty: any value), from any thread (the loader's, or the GUI thread
    // while committing). False after the reply time-out or once stop is set.
    bool waitParamReply(int paramId, const QString& expectedValue, const std::atomic<bool>& stop);
    QProgressDialog* progressDialog() const { return m_progress; }

    // --- loading the configuration (ConfigPageLoading.cpp)
    // Offers a load when linked and nothing is loaded or loading.
    void askLoadConfiguration(bool connected);
    // The open load question (null before the first one); answered with done().
    QMessageBox* loadQuestion() const { return m_askLoadBox; }
    void closeLoadQuestion();
    // Adapts the page to the unit's firmware and starts the reading.
    void loadConfiguration(bool useDeviceVersion);
    // Number of editors of the parameter's id whose feature the firmware
    // lacks; trims the pin function lists and shows the charger groups.
    int countUnsupportedWidgets(ConfigParam* param, const QString& version);
    // The end of a completed reading.
    void finishLoading();
    // The parameters a reading queries, one per id (see the .cpp).
    QList<ConfigParam*> paramsToLoad(const QString& version);
    // Whether any editor of the id is supported by the firmware.
    bool isIdSupported(int id, const QString& version) const;
    // Set by saveParamsToSettings: the next completed load applies the rules
    // once more and writes what they changed.
    bool cacheRestorePending = false;

    // --- device actions (ConfigPageActions.cpp)
    void showChargingWarning();
    bool confirmConfigMode();
    void showWarningMessage(const char* text);
    // Charging bits set and the configuration loaded.
    bool isChargingCheckActive() const { return chargingState != 0 && configurationLoaded; }
    // Editors of other tabs the state of charge action reads; the tab
    // builders set them (with deviceBaseIdEdit, 0x0D03, and extendedIdBox,
    // 0x1600 mask 0x800, of the CAN tab).
    QCheckBox* analogCurrentSensorBox = nullptr; // 0x1600 mask 0x20000
    // The CAN current sensor's base id, as typed in the CAN tab's device base
    // editor; false when that holds no hexadecimal number.
    bool currentSensorBase(quint16* base) const;
    // The CAN current sensor's state of charge frame (the window passes
    // canConfig::sendCurrentSensorSoc).
    void setCurrentSensorSocSender(std::function<void(quint16 base, bool extended, int soc)> send)
    {
        m_sendSensorSoc = std::move(send);
    }
    // Whether a CAN speed change runs (canConfig::isSpeedChangeRunning):
    // the file load then leaves the unit unreset.
    void setSpeedChangeRunningProbe(std::function<bool()> probe) { m_speedChangeRunning = std::move(probe); }

    // --- configuration file (ConfigPageActions.cpp)
    // One password line's step (6 after the access-level query, 4 after a
    // "PW2", 0 after the logout); may change level.
    bool applyConfigFilePassword(uint8_t& level, int step);
    // Writes the file; false (with a message shown) when it could not be written.
    bool saveConfigFile(const QString& fileName);
    // Sends the file to the unit; false when it was refused or failed.
    bool loadConfigFile(const QString& fileName);
    // A file load runs (it processes events while it waits for the unit):
    // the window must not close the page under it.
    bool isFileLoadRunning() const { return m_fileLoadRunning; }
    // The running file load's progress window ("Hide" and "Stop"); null
    // when none runs.
    QDialog* fileLoadProgress() const;
    // Shows the running file load's progress again (after "Hide"), so that
    // it can be stopped.
    void showFileLoadProgress();

    // --- per-serial cache (ParamCache.cpp keeps the names)
    void saveParamsToSettings();
    // The statistics page's automatic import; by default the window's page.
    void setStatisticsImport(std::function<void()> import) { m_importStatistics = std::move(import); }
    // The serial number the cache is filed under; by default the window's.
    void setSerialNumberProbe(std::function<quint32()> probe) { m_serialNumber = std::move(probe); }

    // Set while a full parameter read runs; the Status page's cells timer reads it.
    std::atomic<bool> parametersLoading{false};
    // A full read has finished since the link came up.
    bool configurationLoaded = false;
    // The raw CAN speed (0x0C02) before the user's latest change of it.
    int previousCanSpeed = 0;
    // The running loader and its thread; null while no full read runs.
    QPointer<ConfigParamLoader> paramLoader;
    QThread* loaderThread = nullptr;

    // --- Controls, I/O Pins and Master/Slave tabs
    // Group builders; each returns its fold, not yet placed (w: editor width).
    QWidget* createHeaterFanGroup(int w);
    QWidget* createContactorGroup(int w);
    QWidget* createDcDcGroup(int w);
    QWidget* createPsuUnderVoltageGroup(int w);
    QWidget* createCurrentInRangeGroup(int w);
    QWidget* createBatteryControlsGroup(int w);
    MyGroupBox* createPinMappingGroup();
    MyGroupBox* createSocOutputGroup();
    // Sets Parallel or Series from the string numbers after a load.
    void updateMasterSlaveTopology();
    QRadioButton* parallelRadio = nullptr;
    QRadioButton* seriesRadio = nullptr;
    QPushButton* splitterCommitButton = nullptr;
    QSpinBox* controlUnitCountEdit = nullptr;   // 0x1C05, the 0 to 13 variant
    QList<QLineEdit*> stringNumberEdits;        // 0x1C86 + device, not placed
    // One parameter for the CAN Splitter job.
    struct SplitterParam
    {
        quint16 id = 0;
        quint32 value = 0;
        QString name;
    };
    // Hands the parameters to the CAN Splitter job and starts it; false when
    // no job started (then no result will come). The window connects it.
    void setSplitterConfigStarter(std::function<bool(const QList<SplitterParam>&)> starter)
    {
        m_splitterStarter = std::move(starter);
    }

signals:
    // Only for ids 0x1800, 0x0111, 0x0010, 0x1E00 and 0x1600.
    void sigConfigParamUpdate(int id, uint32_t value);
    void sigDistanceUnitChanged();
    // The cache's save (phase 0) and restore (phase 2) for the update page.
    void sigFirmwareUpdateProgress(int progress, int phase, QString text);
    // A reading has completed: the tabs refresh what they derive from the
    // values (configured CAN devices, SCiB modules, master/slave topology)
    // and reset their discovery state.
    void sigConfigurationLoaded();

public slots:
    void slotCurrentPageChanged(int index);
    void slotValueChanging(int index);
    void slotValueChanged(int index);
    void slotCanDeviceOperationStatus(int status, int operation);
    void slotToshibaSCiBOperationStatus(int status, int operation);
    void slotDiscoverToshibaSCiBModulesButtonPressed();
    void slotConfigureToshibaSCiBButtonPressed();
    void slotToshibaSCiBConfigurationChanged();
    void slotCanSplitterConfigFinish(int result);
    void slotMasterSlaveConfigurationChanged();
    void slotMasterSlaveUpdateSplitterConfiguration();
    void slotCanDeviceSortingRequest(uint8_t request);
    void slotCGMGen2StatusUpdate(uint32_t a, uint32_t b, uint32_t c, uint32_t d);
    void slotCGMGen2StatusCancel();
    void slotDiscoverButtonPressed();
    void slotConfigureButtonPressed();
    void slotCanDeviceConfigurationChanged();
    void slotCommitCGMButtonPressed();
    void slotReceivedVersionString(QString line);
    void slotLoadConfigurationFromHardDrive();
    void slotLoginPressed();
    void slotAuthenticationFailed();
    void slotLogoutPressed();
    void slotSetPasswordPressed();
    void slotResetZeroCurrentPressed();
    void slotSetBatteryIdPressed();

    // Device actions and the configuration file.
    void slotCalibratePressed();
    void slotSetSOCPressed();
    void slotSetDateTimePressed();
    void slotEnterBMSMaintenancePressed();
    void slotDisableChargingPressed();
    void slotResetBMSPressed();
    void slotRestoreDefaultsPressed();
    void slotSaveConfigPressed();
    void slotLoadConfigPressed();

    // The loading progress dialog. They never call back into the loader.
    void slotHideProgressBar();
    void slotShowProgressBar();
    void slotCloseProgressBar();
    void slotSetProgressBar(int percent);
    void slotDeleteProgressBarObjects();

protected:
    // A click on empty page space takes the focus from an editor (and so
    // commits it).
    void mousePressEvent(QMouseEvent* event) override;

private:
    static constexpr int kParamCellStrings = 0x0013; // parallel cell strings
    static constexpr int kParamCellCount = 0x0100;   // cells in the pack

    Y5ProtocolHandler* protocolHandler() const;
    bool isTwoLevelUnit() const;
    void createProgressDialog();
    // The bar of both progress dialogs (loading from and to the unit).
    static QProgressBar* newProgressBar();
    void layoutCellStrings(uint32_t value, int id);
    void buildTabs(QWidget* parent);
    // Widens every line edit and spin box that is too narrow for its range.
    void fitEditorsToTheirRanges();
    void connectEditor(QWidget* widget, int kind, int index);
    // Value display and reactions.
    void showValue(ConfigParam* p, uint32_t word);
    bool readEditorValue(const ConfigParam* p, double* value, bool* hexDone, uint32_t* hexRaw) const;
    void runRefreshEffects(ConfigParam* p, uint32_t raw, const QString& version, bool versionKnown);
    void applyFlagWord0(uint32_t raw);
    void applyChargerRules(uint32_t raw, const QString& version);
    void setCanIdEditorLimits(int id, double maximum, int validator);
    void highlightEdited(ConfigParam* p);
    // Rules.
    void applyPinRules(ConfigParam* subject, ConfigParam* other, const QString& version);
    void applyThresholdPairs(ConfigParam* subject, ConfigParam* other);
    void applyFlagWord0Rules(ConfigParam* subject, ConfigParam* other);
    void setEditorText(ConfigParam* p, const QString& text);
    QString editorText(const ConfigParam* p) const;
    double editorNumber(const ConfigParam* p) const;
    int comboFunction(const ConfigParam* p) const;
    void selectComboFunction(ConfigParam* p, int function);
    void runModalBox(QMessageBox* box);
    // SCiB actions: the charging warning (they go on after it), the
    // configuration-mode question, the busy cursor.
    void scibChargingCheck();
    bool scibConfirmConfigMode();
    void scibSetBusy(bool busy);
    bool m_scibBusyCursor = false;

    uint32_t m_cellStrings = 0;
    uint32_t m_cellCount = 0;

    bool m_ltoSupport = false;
    QList<ConfigParam*> m_params;
    QHash<int, ConfigParamSlot*> m_slots;
    QHash<int, QList<QWidget*>> m_widgetGroups;
    QList<QRegExpValidator*> m_canIdValidators;
    QList<QPointer<QWidget>> m_editors; // every editor the factory connected
    // The page itself changes an editor: its change signals mark nothing.
    int m_programmaticChange = 0;
    // Editors made while the tabs are built; styled once all stand. Those
    // of a parameter take the no-value look at once: the first link report
    // would restyle each of them to it.
    bool m_buildingTabs = false;
    QList<QPointer<QWidget>> m_editorsAwaitingStyle;
    QList<QPointer<QWidget>> m_paramEditorsAwaitingStyle;
    void styleNewEditors();
    std::function<bool(int, uint32_t)> m_paramWriter;
    std::function<void(int)> m_canSpeedChange;
    std::function<void(bool)> m_showSoh;
    std::function<void(QMessageBox*)> m_runModalBox;
    std::function<void(int)> m_resetPause;
    bool m_canSpeedWarningOpen = false;
    QMessageBox* m_disbalanceWarning = nullptr; // no parent: kept for the program's life
    bool m_disbalanceWarningOpen = false;
    double m_lastDisbalance = 0.0;
    // Shared with the loader's hooks: a loader that outlives the page (a
    // send that hung through a shutdown) still finds it.
    std::shared_ptr<ParamReplyWait> m_replyWait = std::make_shared<ParamReplyWait>();
    UserQuestionAsker* m_asker = nullptr;
    ConfigPrompter* m_prompter = nullptr;
    std::function<bool()> m_updateInProgress;
    Y5ProtocolHandler* m_handler = nullptr;
    QProgressDialog* m_progress = nullptr;
    TemperatureCalibrationWindow* m_temperatureCalibration = nullptr; // no parent
    // The user pressed "Hide": the dialog stays hidden for the rest of the load.
    bool m_progressHiddenByUser = false;
    // The running reading was stopped by a lost link: it does not complete.
    bool m_loadStopped = false;
    std::function<bool(const QList<SplitterParam>&)> m_splitterStarter;
    QMessageBox* m_askLoadBox = nullptr;
    // The link as the window last reported it: a report still queued may
    // say the link went, and must not find a load it would stop.
    bool m_linkReported = false;
    bool m_fileLoadRunning = false;
    QPointer<QDialog> m_fileLoadProgress;
    // "Stop" was pressed: the file load ends before its next line.
    bool m_fileLoadStopAsked = false;
    // The unit's last reply to the file line being written, for the reason
    // of a failure: the id, whether it replied, and its value text.
    int m_fileLoadAwaitedId = -1;
    bool m_fileLoadReplied = false;
    QString m_fileLoadReply;
    // Why the unit did not confirm the file line being written.
    QString fileLoadFailureReason(int attempts) const;
    // A configuration question of the Configuration group: Yes goes on.
    bool askYesNo(const QString& text);
    QString workingDirectory() const;
    void setWorkingDirectory(const QString& fileName);
    quint32 serialNumber() const;
    std::function<void(quint16, bool, int)> m_sendSensorSoc;
    std::function<bool()> m_speedChangeRunning;
    std::function<void()> m_importStatistics;
    std::function<quint32()> m_serialNumber;
};
