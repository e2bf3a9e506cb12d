#pragma once

#include "Communicator.h"
#include "FeatureSupportTable.h"
#include "GuiQuestionAsker.h"
#include "LogWriter.h"
#include "MainWindowServices.h"
#include "SentenceMaps.h"
#include "SentencePump.h"
#include "WindowDialogs.h"

#include <QMainWindow>
#include <QMenu>
#include <QMutex>

#include <atomic>
#include <cstdint>

class BasePage;
class CISAConfig;
class QAction;
class QCheckBox;
class QComboBox;
class QElapsedTimer;
class QLabel;
class QListWidget;
class QListWidgetItem;
class QMenuBar;
class QPushButton;
class QScrollArea;
class QStackedWidget;
class QThread;
class ToshibaSCiBModuleConfig;
class canConfig;

// The feature table's view of the connected unit's own feature bitmap.
class HandlerFeatureBitmap : public FeatureBitmapSource
{
public:
    explicit HandlerFeatureBitmap(const Y5ProtocolHandler* const* handler) : m_handler(handler) {}
    bool isFeatureBitmapValid() const override;
    bool featureBitmapWord(int index, uint32_t* word) const override;

private:
    const Y5ProtocolHandler* const* m_handler;
};

// A menu whose entries show their tool tips when hovered.
class Menu : public QMenu
{
    Q_OBJECT
public:
    using QMenu::QMenu;

protected:
    bool event(QEvent* e) override;
};

// The main window and owner of the running system: transport, protocol
// handler and its thread, the pages, the CAN objects, the side list, the port
// row and the menus. Split by concern:
//   BmsGuiConstruction.cpp  building and wiring
//   BmsGuiTransport.cpp     the transport, its thread and transport changes
//   BmsGuiLink.cpp          sentence pump, link status, first show
//   BmsGuiActions.cpp       port row, menus, access level, log, shutdown
class BMS_GUI : public QMainWindow, public MainWindowServices
{
    Q_OBJECT
public:
    // How long closing waits for each worker thread to end.
    static constexpr int kThreadStopWaitMs = 500;

    explicit BMS_GUI(QWidget* parent = nullptr);
    ~BMS_GUI() override;

    // MainWindowServices
    Y5ProtocolHandler* protocolHandler() const override { return m_protocolHandler; }
    Y5CanProtocolHandler* canProtocolHandler() const override { return m_canProtocolHandler; }
    Y5CanFwUpdater* canFwUpdater() const override { return m_canFwUpdater; }
    FeatureSupportTable* featureTable() override { return &m_featureTable; }
    CSntcMap* rootSentenceMap() override { return &m_rootSentenceMap; }
    StatusPage* statusPage() const override { return m_statusPage; }
    StatisticsPage* statisticsPage() const override { return m_statisticsPage; }
    // Built at the first call if the window has not built it yet.
    ConfigPage* configPage() const override;
    UpdatePage* updatePage() const override { return m_updatePage; }
    ExternalComponentsPage* extComponentsPage() const override { return m_extComponentsPage; }
    void setAccessLevel(int level) override;
    quint32 bmsSerialNumber() const override { return m_bmsSerial; }
    void updateStatisticsActions(bool enable) override;
    void enableStatisticsImport() override;
    void relayout(QWidget* widget) override;
    void writeLog(const QString& text, int level) override;

    Communicator* communicator() const { return m_communicator; }
    bool isCharging() const { return m_charging; }
    QComboBox* portCombo() const { return m_portCombo; }
    QListWidget* pageList() const { return m_pageList; }
    QStackedWidget* pageStack() const { return m_pageStack; }

    // Every box the window shows goes through dialogs (tests script them);
    // null restores the real message boxes. Not owned.
    void setDialogs(WindowDialogs* dialogs);
    // Ctrl+Q, added to the window: it closes the window through closeEvent.
    QAction* addQuitAction();
    bool isClosing() const { return m_closing; }
    QAction* writeLogAction() const { return m_writeLogAction; }
    QAction* chooseLogDirAction() const { return m_chooseLogDirAction; }
    QAction* activePollingAction() const { return m_activePollingAction; }
    QAction* exportStatisticsAction() const { return m_exportStatisticsAction; }
    QAction* importStatisticsAction() const { return m_importStatisticsAction; }
    QPushButton* refreshButton() const { return m_refreshButton; }
    QWidget* aboutWindow() const { return m_aboutWindow; }
    int accessLevel() const { return m_accessLevel; }
    QString logFilePath() const { return m_log.currentFilePath(); }

    // Selects the first port entry whose text contains text.
    void selectPortByText(const QString& text);
    // Makes code the default locale, stores "language" and asks for a restart.
    void changeLanguage(const QString& code);

    void connectCommunicator();
    void processCsSentence(const QString& line);
    // Refills the port list; from any thread (the connection thread asks for
    // it after an identification): the work is done in the GUI thread.
    void refreshPortList();

signals:
    void sigCurrentPageChanged(int index);

public slots:
    void focusChanged(QWidget* old, QWidget* now);
    void changePage(QListWidgetItem* current, QListWidgetItem* previous);
    void slotCreateInfoMessageBox(QString text);
    // A new transport became current; a null one is refused.
    void slotCommunicatorChanged(int selection, Communicator* transport);

private slots:
    void slotUpdateStatus(int status);
    void slotReceivedSentence();
    void slotWriteLogAction();
    void slotChooseLogDir();
    void slotActivePollingAction();
    void slotExportStatistics();
    void slotImportStatistics();
    void slotShowAboutWindow_();
    void slotBMSIdxChanged(int index);
    void slotListUpdate_();
    void slotReceivedVersionString(QString line);

protected slots:
    void slotLanguageChanged(QAction* action);

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void createPageList();
    // The rows' sizes under the style in force (main applies the style sheet
    // once the window is built): at construction and before the first show.
    void sizePageList();
    void createPortRow(class QHBoxLayout* row);
    void createMenus();
    void createAboutWindow();
    void wirePages();
    void fitToScreenAndShow();
    // Invalidates and activates every layout from widget down.
    void relayoutTree(QWidget* widget);
    bool m_relayoutPending = false;
    // Content and menu bar, without scroll bars.
    QSize neededWindowSize() const;
    // Grows the window when its content grew (values arrived), within the screen.
    void growToContent();
    void refillPortCombo();
    Communicator* selectSerialTransport();
    void startTransportThread();
    // Stops the serial transport (the idle one takes its place).
    void stopTransport();
    // Asks the handler's thread to end and waits up to waitMs, events
    // flowing. True when it has ended.
    bool stopHandlerThread(int waitMs);

    QScrollArea* m_centralScroll = nullptr;
    QWidget* m_contentWidget = nullptr;
    std::atomic<Communicator*> m_communicator{nullptr};
    Y5ProtocolHandler* m_protocolHandler = nullptr;
    Y5CanProtocolHandler* m_canProtocolHandler = nullptr;
    Y5CanFwUpdater* m_canFwUpdater = nullptr;
    QThread* m_handlerThread = nullptr;
    CSntcMap m_rootSentenceMap;
    FeatureSupportTable m_featureTable;
    canConfig* m_canConfigurator = nullptr;
    ToshibaSCiBModuleConfig* m_scibConfig = nullptr;
    ConfigPage* m_configPage = nullptr;
    // The page's place in the stack until it is built.
    QWidget* m_configPlaceholder = nullptr;
    bool m_buildingConfigPage = false;
    bool m_destroying = false;
    static constexpr int kConfigPageIndex = 2;
    void buildConfigPage();
    // The link as the window last told the pages: a page built later is told the same.
    bool m_pagesToldLink = false;
    bool m_pagesLinked = false;
    bool m_pagesHadBitmap = false;
    QString m_pagesVersion;
    void wireConfigurationServices();
    StatusPage* m_statusPage = nullptr;
    StatisticsPage* m_statisticsPage = nullptr;
    UpdatePage* m_updatePage = nullptr;
    ExternalComponentsPage* m_extComponentsPage = nullptr;
    QComboBox* m_portCombo = nullptr;
    bool m_closing = false;
    bool m_charging = false;
    QAction* m_importStatisticsAction = nullptr;
    QAction* m_exportStatisticsAction = nullptr;
    QMutex m_communicatorMutex;
    quint32 m_bmsSerial = 0;
    int m_screenHeight = 0;
    int m_screenWidth = 0;
    int m_screenMinSide = 0;
    QWidget* m_aboutWindow = nullptr;
    QPushButton* m_refreshButton = nullptr;
    QCheckBox* m_autoConnectBox = nullptr;
    QAction* m_writeLogAction = nullptr;
    QAction* m_activePollingAction = nullptr;
    QAction* m_aboutAction = nullptr;
    QAction* m_chooseLogDirAction = nullptr;
    QListWidget* m_pageList = nullptr;
    QStackedWidget* m_pageStack = nullptr;
    QMenuBar* m_mainMenuBar = nullptr;
    uint8_t m_accessLevel = 0;

    // Link status of the title.
    int m_lastLinkStatus = -1;
    bool m_windowShown = false;
    bool m_growPending = false;
    int m_connectDots = 0;

    WindowDialogs* m_dialogs = MessageBoxDialogs::instance();
    HandlerFeatureBitmap m_featureBitmap{&m_protocolHandler};
    GuiQuestionAsker m_questionAsker;
    SentencePump m_pump;
    // "Write Log" as the log's threads read it; the action lives in the GUI thread.
    std::atomic<bool> m_writeLogEnabled{true};
    LogWriter m_log;
};
