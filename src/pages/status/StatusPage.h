#pragma once

#include "BasePage.h"
#include "StatusLogic.h"

#include <QHash>
#include <QLabel>
#include <QList>
#include <QPointer>
#include <QString>

#include <cstdint>
#include <functional>

class CCellsGraph;
class CommunicatorSelector;
class GroupedCellsGraph;
class Param;
class QCheckBox;
class QGridLayout;
class QGroupBox;
class QLineEdit;
class QPushButton;
class QSplitter;
class QTabBar;
class QTableWidget;
class QTableWidgetItem;
class QPlainTextEdit;
class QThread;
class QTimer;
class SentenceLoader;
class SignalWindowTab;
class WidgetFold;
class myTabWidget;
struct StatusRowSpec;

// Page 0 of the main window: what the connected control unit reports about
// the pack, in the tabs "General", "Cells", "Sensors", "SOC / SOH",
// "CAN Devices" and "Master/Slave". Every value is a Param bound to one field
// of a status sentence (addStatusParam); binding a sentence is also what puts
// it on the status poller's list. Split by concern:
//   StatusPage.cpp              frame, binding, link state, poller, reactions
//   StatusPageGeneral.cpp       the General tab
//   StatusPageCells.cpp         the Cells tab and the cell polling cycle
//   StatusPageTabs.cpp          Sensors, SOC / SOH, CAN Devices, Debug
//   StatusPageMasterSlave.cpp   the Master/Slave tab
// GUI thread, except writeLog.
class StatusPage : public BasePage
{
    Q_OBJECT
public:
    // A unit label; "[DU]" in its template stands for the distance unit.
    class MeasureUnitLabel : public QLabel
    {
    public:
        explicit MeasureUnitLabel(const QString& unitTemplate);
        ~MeasureUnitLabel() override;
        QString unitTemplate;
    };

    // What the page needs of pages and objects built after it; the main
    // window sets them (each may stay unset: it then answers false or does
    // nothing).
    struct Hooks
    {
        std::function<bool()> parametersLoading;   // the configuration page reads all parameters
        std::function<bool()> ltoSupportEnabled;   // lithium-titanate support is configured
        std::function<bool()> canUpdateBusy;       // a CAN-device firmware update is busy
        // The obsolete-firmware question: true for Yes. Unset: the window
        // asks through the protocol handler's question asker and the page
        // only follows the answer (askObsoleteFirmwareBox is the page's own
        // box for a window without an asker).
        std::function<bool()> askObsoleteFirmware;
        // Closes the main window (asking "Quit"); true when it closes.
        std::function<bool()> closeMainWindow;
        // Starts the serial transport again after the user kept the tool
        // open. Default: through the transport selector.
        std::function<void()> restartTransport;
        // The transport selector (null: the process-wide one).
        CommunicatorSelector* selector = nullptr;
    };

    StatusPage(CSntcMap* sentenceMap, Communicator* communicator, QWidget* parent, FeatureSupportTable* featureTable);
    ~StatusPage() override;

    void setHooks(const Hooks& hooks);
    // The obsolete-firmware question as a modal box; true for Yes.
    static bool askObsoleteFirmwareBox();

    // --- binding
    QWidget* addStatusParam(const QString& caption, const QString& sentence, int field, int valueType, int offset,
                            double scale, int decimals, int widgetKind, Param** out);
    QWidget* addStatusParamToWidget(const QString& caption, const QString& sentence, int field, int valueType,
                                    int offset, double scale, int decimals, int widgetKind, QWidget* widget,
                                    Param** out = nullptr);
    void addMeasureUnitLabel(QGridLayout* grid, int row, const QString& caption, QWidget* value,
                             const QString& unitTemplate, int featureId);
    QWidget* addToWidgetGroup(QWidget* widget, int group);
    void setWidgetGroupVisible(int group, bool visible);
    bool isWidgetGroupVisible(int group) const;

    // --- called by the main window
    void processSentence(const QString& sentence) override;
    void connectionStatusChanged(bool connected) override;
    void setDistanceUnit(const QString& unit);
    void setPollingEnabled(bool enabled);
    // Stops the running status poller without waiting (shutdown).
    void stopSentenceLoader();
    // Stops every poller and waits for its thread: before the protocol
    // handler the pollers send through goes away.
    void shutDownSentenceLoaders();
    // Any thread: the line reaches the debug log window in the GUI thread.
    void writeLog(const QString& line);
    // The shown text of the first value with this caption; text unchanged
    // when there is none.
    void getStatusValueText(const QString& caption, QString& text) const;
    // The same, empty when there is no such value.
    QString getStatusValueText(const QString& caption) const;
    QString distanceUnit() const { return currentDistanceUnit; }
    bool isPollingEnabled() const { return activePolling; }

    // The State of Health value of the General tab; the configuration page
    // shows or hides it.
    QLabel* sohLabel = nullptr;

    // --- read by tests and the window
    myTabWidget* tabs() const { return tabWidget; }
    QWidget* masterSlavePage() const { return masterSlaveTab; }
    const QList<Param*>& statusParamList() const { return statusParams; }
    QTimer* cellsPollTimer() const { return cellsTimer; }
    QTimer* masterSlavePollTimer() const { return masterSlaveTimer; }
    uint16_t cellsPollPeriod() const { return cellsPeriod; }
    int cellsCycleStep() const { return cellsStep; }
    int moduleVersionRequestCount() const { return moduleVersionRequests; }
    uint8_t kind() const { return hardwareKind; }
    bool kindKnown() const { return hardwareKindKnown; }
    bool isMasterSlaveActive() const { return masterSlaveActive; }
    bool hasMasterSlaveExtColumns() const { return masterSlaveExtColumns; }
    QString masterSlaveFrame() const { return masterSlaveFramePrefix; }
    QTableWidget* masterSlaveTableWidget() const { return masterSlaveTable; }
    QLabel* splitterSerialLabel() const { return msSerialLabel; }
    QLabel* networkStateLabel() const { return msStateLabel; }
    QLabel* roleLabel() const { return msRoleLabel; }
    CCellsGraph* voltageGraph() const { return cellVoltageGraph; }
    GroupedCellsGraph* groupedTemperatures() const { return groupedTemperatureGraph; }
    CCellsGraph* temperatureGraph() const { return cellTemperatureGraph; }
    CCellsGraph* balancingGraph() const { return cellBalancingGraph; }
    SentenceLoader* currentSentenceLoader() const { return sentenceLoader; }
    QSplitter* cellsSplitter() const { return graphSplitter; }

    // The Debug tab (no path of the tool places it).
    SignalWindowTab* createDebugTab(QWidget* parent);
    WidgetFold* createCanDriverDiagnosticsPanel(int valueWidth);
    WidgetFold* createCanDriverResponseDiagnosticsPanel(int valueWidth);
    QPlainTextEdit* debugLogWindow() const { return debugLogEdit; }
    QPlainTextEdit* debugWindow() const { return debugEdit; }
    QLineEdit* sentenceLineEdit() const { return sendSentenceEdit; }
    QCheckBox* logActiveCheckBox() const { return logActiveCheck; }
    QCheckBox* debugActiveCheckBox() const { return debugActiveCheck; }

    // The master/slave decoders (the raw hook calls them while master/slave
    // operation is enabled).
    void parseMasterSlaveStatus(const QString& sentence);
    void parseMasterSlaveNetworkFrame(const QString& sentence);
    void updateTemperatureGroups();

signals:
    void sigWriteLog(QString line);
    void sigClose();

public slots:
    void slotWriteLog(QString line);
    void slotStartTestsPressed();
    void slotSendResetCmdPressed();
    void slotSendHashPressed();
    void slotDebugActivePressed();
    void slotSendSentenceSubmitted();
    void slotCurrentPageChanged(int page);
    void slotReceivedVersionString(QString line);
    void slotConfigParamUpdate(int id, uint32_t value);
    void slotDistanceUnitChanged();
    // A full parameter read started or ended: the cells timer gate runs again
    // for the page last shown.
    void slotParametersLoadingChanged();

private slots:
    void slotCurrentTabChanged(int index);
    void slotCellsTimerTimeoutEvent();
    void slotMasterSlaveTimerTimeoutEvent();

public slots:
    void slotObsoleteVersionDialog();

private:
    // Tab builders.
    SignalWindowTab* createGeneralTab(QWidget* parent);
    SignalWindowTab* createCellsTab(QWidget* parent);
    SignalWindowTab* createSensorsTab(QWidget* parent);
    SignalWindowTab* createSocSohTab(QWidget* parent);
    SignalWindowTab* createCanDevicesTab(QWidget* parent);
    SignalWindowTab* createMasterSlaveTab(QWidget* parent);
    // A box of row-table rows, registered as a feature group itself.
    QGroupBox* createRowsPanel(const QString& title, const QVector<StatusRowSpec>& rows, int valueWidth);
    // A box with a value grid inside a fold registered as a feature group.
    WidgetFold* createFoldedValueBox(const QString& title, int valueWidth, QGridLayout*& grid);
    WidgetFold* createCellStateGroup(int width);
    void addEstimatorRow(const QString& caption, const QString& unit, const QString& sentence, int& field,
                         int decimals, QGridLayout* grid, int& row);
    void addDiagnosticCounterRow(const QString& caption, const QString& unit, const QString& sentence, int& field,
                                 QGridLayout* grid, int& row);
    // One row of a row table: value label, names, tip and caption.
    QLabel* addRow(QGridLayout* grid, const StatusRowSpec& row, bool leftAligned, bool withCaption = true);

    void startSentenceLoader();
    void updateParamWidgetState(int index);
    void applyLithiumTitanate(bool lto);
    bool isFeatureSupportedNow(int featureId) const;
    QString currentVersionLine() const;
    bool parametersLoadingNow() const;
    void runCellsGate(int page);
    void requestCells(const char* name);
    void setMasterSlaveExtColumnsVisible(bool visible);
    void declineObsoleteFirmware();
    // After a "No" to the obsolete-firmware question the transport stops; if
    // the window is still open then (Quit cancelled), a new serial transport
    // goes on searching.
    void watchDeclinedTransport();
    void checkDeclinedTransport();
    void restartDeclinedTransport();
    CommunicatorSelector* transportSelector() const;

    QList<MeasureUnitLabel*> distanceUnitLabels;
    myTabWidget* tabWidget = nullptr;
    QTabBar* tabBar = nullptr;
    // The newest status poller; cleared in the GUI thread when that poller
    // ends, and only if it still is the newest.
    SentenceLoader* sentenceLoader = nullptr;
    // Set once the pollers were shut down for good: the window going may
    // still deliver a link report, and a new poller would outlive it.
    bool m_loadersShutDown = false;
    QThread* sentenceLoaderThread = nullptr;
    // Every poller whose thread has not been cleaned up yet (an ending one
    // may overlap the newest); deleted once its thread has finished.
    QList<QPair<SentenceLoader*, QThread*>> pollers;
    QHash<int, QList<QWidget*>> widgetGroups;
    bool activePolling = false;
    QTimer* cellsTimer = nullptr;
    QTimer* masterSlaveTimer = nullptr;
    uint16_t cellsPeriod = 1000;
    uint16_t masterSlaveTimeoutBase = 0;
    int cellsStep = 0;
    bool masterSlaveExtColumns = false;
    bool masterSlaveActive = false;
    QList<Param*> statusParams;
    QString masterSlaveFramePrefix = QStringLiteral("CN1,19B4FFFF");
    QWidget* masterSlaveTab = nullptr;
    Hooks hooks;
    int lastPage = 0;
    // Watches the parameter-load flag (which has no signal) and runs the
    // cells timer gate again when it changes.
    QTimer* loadingWatch = nullptr;
    bool loadingSeen = false;
    QTimer* declinedWatch = nullptr;
    QString currentDistanceUnit;

    // Cells tab.
    CCellsGraph* cellVoltageGraph = nullptr;
    GroupedCellsGraph* groupedTemperatureGraph = nullptr;
    CCellsGraph* cellTemperatureGraph = nullptr;
    GroupedCellsGraph* groupedBalancingGraph = nullptr;
    CCellsGraph* cellBalancingGraph = nullptr;
    QSplitter* graphSplitter = nullptr;

    // Master/Slave tab.
    QTableWidget* masterSlaveTable = nullptr;
    QTableWidgetItem* masterSlaveItems[StatusLogic::kMasterSlaveRows][StatusLogic::kMasterSlaveColumns];
    QLabel* msSerialLabel = nullptr;
    QLabel* msStateLabel = nullptr;
    QLabel* msRoleLabel = nullptr;
    int msTableTicks = 0;
    bool msTableTimedOut = false;
    int msNetworkTicks = 0;
    bool msNetworkTimedOut = false;

    // Debug tab (null unless built).
    QPushButton* startTestsButton = nullptr;
    QPushButton* sendResetButton = nullptr;
    QPushButton* sendHashButton = nullptr;
    QCheckBox* logActiveCheck = nullptr;
    QCheckBox* debugActiveCheck = nullptr;
    QPlainTextEdit* debugEdit = nullptr;
    QPlainTextEdit* debugLogEdit = nullptr;
    QLineEdit* sendSentenceEdit = nullptr;
};
