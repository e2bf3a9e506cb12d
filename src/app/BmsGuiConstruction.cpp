// Building the window and wiring the pages, the CAN objects and the link.
#include "BmsGui.h"

#include "CISAConfig.h"
#include "BluetoothCommunicator.h"
#include "CommunicatorSelector.h"
#include "CurrentPageStack.h"
#include "ConfigPage.h"
#include "DebugLevels.h"
#include "ExternalComponentsPage.h"
#include "GeneralTab.h"
#include "IsaSensorService.h"
#include "Param.h"
#include "Log.h"
#include "StartupRules.h"
#include "StatisticsPage.h"
#include "StatusPage.h"
#include "Tip.h"
#include "ToshibaSCiBModuleConfig.h"
#include "UpdatePage.h"
#include "Y5CanFwUpdater.h"
#include "Y5CanProtocolHandler.h"
#include "Y5FwUpdater.h"
#include "Y5ProtocolHandler.h"
#include "canConfig.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHelpEvent>
#include <QLabel>
#include <QLayout>
#include <QListWidget>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QSettings>
#include <QStackedWidget>
#include <QThread>
#include <QToolTip>
#include <QVBoxLayout>

bool Menu::event(QEvent* e)
{
    if (e->type() == QEvent::ToolTip) {
        if (QAction* a = activeAction())
            QToolTip::showText(static_cast<QHelpEvent*>(e)->globalPos(), a->toolTip(), this);
    } else {
        QToolTip::hideText();
    }
    return QMenu::event(e);
}

static QPalette backgroundPalette(const QPalette& base)
{
    QPalette p(base);
    p.setBrush(QPalette::All, QPalette::Window, QBrush(QColor(QStringLiteral("#f0f0f0")), Qt::SolidPattern));
    return p;
}

BMS_GUI::BMS_GUI(QWidget* parent)
    : QMainWindow(parent),
      m_questionAsker([this](const UserQuestion& q) { return m_dialogs->askYesNo(q); }, [this] { close(); },
                      [this](const UserQuestion& q) { return m_dialogs->askChoice(q); }),
      m_log(LogWriter::Hooks{
                               [this] { return m_writeLogEnabled.load(); },
                               [this] { return m_protocolHandler && m_protocolHandler->isConnected(); },
                               [this](const QString& line) {
                                   if (StatusPage* page = m_statusPage)
                                       page->writeLog(line);
                               },
                               [] { return QDateTime::currentDateTime(); }})
{
    // Window flags go first: setting them re-creates the window, which on a
    // built window restyles every widget in it.
    setWindowFlags(windowFlags() | Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint);
    // Until the Options menu exists the stored "Write Log" decides.
    m_writeLogEnabled = QSettings().value(QStringLiteral("WriteLog"), true).toBool();
    m_portCombo = new QComboBox;

    // The transport, the protocol handler and the CAN update objects. The
    // Bluetooth module page may later switch to the Bluetooth transport.
    BluetoothCommunicator::registerTransport(*CommunicatorSelector::instance());
    Communicator* c = selectSerialTransport();
    m_communicator = c;
    m_protocolHandler = new Y5ProtocolHandler(c);
    // The selector binds the handler to this and every later transport and
    // routes each transport's received bytes to it.
    CommunicatorSelector::instance()->setProtocolHandler(m_protocolHandler);
    m_canProtocolHandler = new Y5CanProtocolHandler(c);
    m_canFwUpdater = new Y5CanFwUpdater(c);
    m_protocolHandler->setCanUpdateBusyProbe([u = m_canFwUpdater] { return u->isBusy(); });
    m_protocolHandler->setUserQuestionAsker(&m_questionAsker);
    m_protocolHandler->setFirmwareUpdaterFactory(Y5FwUpdater::factory());
    m_featureTable.setBitmapSource(&m_featureBitmap);
    connect(m_protocolHandler, &Y5ProtocolHandler::sigRefreshPortList, this, &BMS_GUI::refreshPortList,
            Qt::QueuedConnection);

    // The handler's thread; its loop starts last.
    m_handlerThread = new QThread;
    m_handlerThread->setObjectName(QStringLiteral("Y5 Handler Thread"));
    m_protocolHandler->moveToThread(m_handlerThread);
    // The window owns both and deletes them once the thread has ended.
    connect(m_handlerThread, &QThread::started, m_protocolHandler, &Y5ProtocolHandler::run, Qt::QueuedConnection);
    connect(m_protocolHandler, &Y5ProtocolHandler::done, m_handlerThread, &QThread::quit, Qt::DirectConnection);
    // The box only informs: no thread waits for it. The transport raises it
    // from its receive path and must go on reading while the box is open.
    connect(m_protocolHandler, &Y5ProtocolHandler::sigCreateInfoMessageBox, this,
            &BMS_GUI::slotCreateInfoMessageBox, Qt::QueuedConnection);

    initDebugLevels();

    // The log: its directory setting, and every log line of the program.
    QSettings settings;
    m_log.setRequestedDir(settings.value(QStringLiteral("LogFileDir"), QString()).toString());
    g_mainWindow = this;
    g_distanceUnit.clear();
    setLogSink([this](const QString& text, int level) { writeLog(text, level); });
    writeLog(QStringLiteral("KEPO BMS Dadevoz Arezi started"), 0);
    writeLog(QLatin1String(kApplicationVersion), 0);

    // Side list and page stack.
    m_pageList = new QListWidget;
    m_pageList->setViewMode(QListView::IconMode);
    m_pageList->setIconSize(QSize(77, 77));
    m_pageList->setMovement(QListView::Static);
    m_pageList->setSpacing(10);
    m_pageList->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_pageList->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_pageList->setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    m_pageList->setFocusPolicy(Qt::NoFocus);
    m_pageList->setContentsMargins(0, 0, 0, 0);
    m_pageList->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::MinimumExpanding);
    m_pageList->setObjectName(QStringLiteral("pageList"));
    m_pageStack = new CurrentPageStack;

    // The window's frame first, then the pages into it: a widget moved to
    // another parent is restyled with all it holds, and the pages are most
    // of the window, so each is moved once, not with every level above it.
    auto* pageArea = new QVBoxLayout;
    pageArea->addWidget(m_pageStack);
    auto* bottom = new QHBoxLayout;
    bottom->addStretch(1);
    pageArea->addLayout(bottom);
    auto* portRow = new QHBoxLayout;
    auto* grid = new QGridLayout;
    grid->addWidget(m_pageList, 0, 0, 2, 1);
    grid->addLayout(portRow, 0, 1);
    grid->addLayout(pageArea, 1, 1);
    m_contentWidget = new QWidget;
    m_contentWidget->setObjectName(QStringLiteral("contentWidget"));
    m_contentWidget->setLayout(grid);
    m_centralScroll = new QScrollArea;
    m_centralScroll->setWidget(m_contentWidget);
    m_centralScroll->setWidgetResizable(true);
    m_centralScroll->setFrameShape(QFrame::NoFrame);
    setCentralWidget(m_centralScroll);
    for (QWidget* w : {static_cast<QWidget*>(m_contentWidget), static_cast<QWidget*>(m_centralScroll),
                       static_cast<QWidget*>(this)}) {
        w->setPalette(backgroundPalette(w->palette()));
        w->setAutoFillBackground(true);
    }

    m_statusPage = new StatusPage(&m_rootSentenceMap, c, nullptr, &m_featureTable);
    m_pageStack->addWidget(m_statusPage);
    m_statisticsPage = new StatisticsPage(&m_rootSentenceMap, c, nullptr, &m_featureTable);
    m_pageStack->addWidget(m_statisticsPage);
    // The Configuration page holds most of the window's widgets and shows
    // nothing of the first frame: it is built once that frame is on screen
    // (main asks for it then), or before when anything needs it (configPage()).
    m_configPlaceholder = new QWidget;
    m_pageStack->addWidget(m_configPlaceholder);
    m_updatePage = new UpdatePage(&m_rootSentenceMap, c, nullptr, &m_featureTable);
    m_pageStack->addWidget(m_updatePage);
    m_extComponentsPage = new ExternalComponentsPage(nullptr);
    m_pageStack->addWidget(m_extComponentsPage);
    setPinFunctionQuery([this](int function) {
        ConfigPage* page = configPage();
        return page && page->isPinFunctionAssigned(function);
    });
    // What the Status page needs of the pages and objects built after it.
    StatusPage::Hooks statusHooks;
    // A page not yet built loads nothing.
    statusHooks.parametersLoading = [this] { return m_configPage && m_configPage->parametersLoading; };
    statusHooks.ltoSupportEnabled = [this] {
        ConfigPage* page = configPage();
        return page && page->isLtoSupportEnabled();
    };
    statusHooks.canUpdateBusy = [this] { return m_canFwUpdater && m_canFwUpdater->isBusy(); };
    m_statusPage->setHooks(statusHooks);

    m_canConfigurator = new canConfig;
    m_scibConfig = new ToshibaSCiBModuleConfig;
    g_cisaConfig = new CISAConfig;

    createPageList();
    m_pageList->setCurrentRow(0);

    connect(m_portCombo, QOverload<int>::of(&QComboBox::currentIndexChanged), this, &BMS_GUI::slotBMSIdxChanged);
    createPortRow(portRow);

    createMenus();

    // The pump's targets, in the order they are told.
    m_pump.handler = m_protocolHandler;
    m_pump.canFwUpdater = m_canFwUpdater;
    m_pump.statisticsPage = m_statisticsPage;
    m_pump.featureTable = &m_featureTable;
    m_pump.pages = {m_statusPage, m_updatePage}; // the Configuration page goes first once built
    m_pump.canConfigurator = m_canConfigurator;
    m_pump.cisaConfig = g_cisaConfig;
    m_pump.scibConfig = m_scibConfig;
    m_pump.chargingLine = [this](const QString& line) { processCsSentence(line); };
    m_pump.rootMap = [this](const QString& line) { m_rootSentenceMap.dispatch(line); };

    setMenuBar(m_mainMenuBar);

    setWindowTitle(QLatin1String(kApplicationName));

    wirePages();
    connectCommunicator();
    connect(
        CommunicatorSelector::instance(), &CommunicatorSelector::CommunicatorChanged, this,
        [this](CommunicatorSelector::Selection kind, AbstractCommunicator* next) {
            slotCommunicatorChanged(int(kind), next);
        },
        Qt::DirectConnection);

    slotListUpdate_();
    startTransportThread();

    m_handlerThread->start(QThread::InheritPriority);
}

BMS_GUI::~BMS_GUI()
{
    const bool closedBefore = m_closing;
    m_destroying = true;
    // Deleting the pages moves the focus: no call may reach this half-destroyed
    // window (main connects the application's focus change to it).
    disconnect(qApp, &QApplication::focusChanged, this, nullptr);
    // The status pollers send through the protocol handler deleted below.
    if (m_statusPage)
        m_statusPage->shutDownSentenceLoaders();
    stopTransport();
    if (m_updatePage) // a CAN device download uses the handler deleted below
        m_updatePage->stopCanDownloads();
    disconnect(CommunicatorSelector::instance(), nullptr, this, nullptr);
    // The idle transport outlives the window: it must not keep the handler.
    CommunicatorSelector::instance()->setProtocolHandler(nullptr);
    if (Communicator* idle = CommunicatorSelector::instance()->communicator())
        idle->setProtocolHandler(nullptr);
    // Normally the close handler has ended the handler's thread already (or
    // waited for it in vain); a window destroyed without it gives more time.
    m_questionAsker.close();
    const bool handlerEnded = stopHandlerThread(closedBefore ? kThreadStopWaitMs : 5000);
    setLogSink(nullptr);
    setPinFunctionQuery(nullptr);
    m_featureTable.setBitmapSource(nullptr);
    if (g_mainWindow == this)
        g_mainWindow = nullptr;
    delete g_cisaConfig;
    g_cisaConfig = nullptr;
    delete m_scibConfig;
    delete m_canConfigurator;
    delete m_canFwUpdater;
    delete m_canProtocolHandler;
    if (handlerEnded) {
        delete m_protocolHandler;
        delete m_handlerThread;
    }
    // Otherwise a hung handler thread keeps both; they end with the process.
    delete m_aboutWindow;
}

void BMS_GUI::createPageList()
{
    const QString texts[5] = {tr("Status"), tr("Statistics"), tr("Configuration"), tr("Update"),
                              tr("External\ncomponents")};
    for (int i = 0; i < 5; ++i) {
        auto* item = new QListWidgetItem(m_pageList);
        item->setIcon(QIcon(QStringLiteral(":/images/%1.png").arg(QLatin1String(pageIds[i]))));
        item->setText(texts[i]);
        item->setTextAlignment(Qt::AlignHCenter);
        item->setFlags(Qt::ItemIsEnabled);
    }
    sizePageList();
    connect(m_pageList, &QListWidget::currentItemChanged, this, &BMS_GUI::changePage);
    m_pageList->item(0)->setIcon(QIcon(QStringLiteral(":/images/%1_selected.png").arg(QLatin1String(pageIds[0]))));
}

void BMS_GUI::sizePageList()
{
    m_pageList->ensurePolished();
    // A row's own size hint would answer for it: measured afresh.
    for (int i = 0; i < m_pageList->count(); ++i)
        m_pageList->item(i)->setSizeHint(QSize());
    // Each row as high as its own text needs ("External\ncomponents" has two lines).
    for (int i = 0; i < m_pageList->count(); ++i)
        m_pageList->item(i)->setSizeHint(QSize(77, m_pageList->sizeHintForRow(i)));
    const int width = m_pageList->sizeHintForColumn(0);
    for (int i = 0; i < m_pageList->count(); ++i) {
        QListWidgetItem* item = m_pageList->item(i);
        item->setSizeHint(QSize(width, item->sizeHint().height()));
    }
    m_pageList->setFixedWidth(width + 21);
    m_pageList->doItemsLayout();
    m_pageList->update();
}

void BMS_GUI::changePage(QListWidgetItem* current, QListWidgetItem* previous)
{
    if (!current)
        current = previous;
    if (!current)
        return;
    if (m_pageList->row(current) == kConfigPageIndex)
        configPage();
    m_pageStack->setCurrentIndex(m_pageList->row(current));
    emit sigCurrentPageChanged(m_pageStack->currentIndex());
    const int row = m_pageList->row(current);
    const int previousRow = previous ? m_pageList->row(previous) : -1;
    if (row < 0 || previousRow < 0 || row > 4 || previousRow > 4)
        return;
    current->setIcon(QIcon(QStringLiteral(":/images/%1_selected.png").arg(QLatin1String(pageIds[row]))));
    if (previous != current)
        previous->setIcon(QIcon(QStringLiteral(":/images/%1.png").arg(QLatin1String(pageIds[previousRow]))));
}

void BMS_GUI::createPortRow(QHBoxLayout* row)
{
    m_refreshButton = new QPushButton(tr("Refresh"));
    m_refreshButton->setDefault(false);
    m_refreshButton->setAutoDefault(false);
    connect(m_refreshButton, &QPushButton::clicked, this, &BMS_GUI::slotListUpdate_);
    auto* label = new QLabel(tr("BMS Port:"));
    row->addWidget(label, 0, Qt::AlignRight);
    m_portCombo->setMinimumWidth(230);
    new Tip(m_portCombo, tr("Choose \"USB Serial Port\" to <br>connect to KEPO BMS."), 1, 0, 10000, 0);
    row->addWidget(m_portCombo, 0, Qt::AlignLeft);
    m_refreshButton->setMinimumWidth(150);
    row->addWidget(m_refreshButton, 0, Qt::AlignCenter);
    m_autoConnectBox = new QCheckBox(tr("Auto-connect to BMS"));
    m_autoConnectBox->setTristate(false);
    row->addWidget(m_autoConnectBox, 0, Qt::AlignLeft);
    row->addStretch(1);
    row->setAlignment(Qt::AlignRight);

    connect(m_autoConnectBox, &QCheckBox::stateChanged, this, [this, label](int state) {
        if (Communicator* c = m_communicator)
            c->setAutoConnection(state != 0);
        const bool hide = state >= 1;
        label->setVisible(!hide);
        m_portCombo->setVisible(!hide);
        m_refreshButton->setVisible(!hide);
        QSettings().setValue(QStringLiteral("AutoConnection"), state != 0);
    }, Qt::DirectConnection);

    const bool autoConnection = QSettings().value(QStringLiteral("AutoConnection"), false).toBool();
    m_communicator.load()->setAutoConnection(autoConnection);
    m_autoConnectBox->setChecked(autoConnection);
    const bool hide = autoConnection;
    label->setVisible(!hide);
    m_portCombo->setVisible(!hide);
    m_refreshButton->setVisible(!hide);
}

void BMS_GUI::createMenus()
{
    QSettings settings;
    m_mainMenuBar = new QMenuBar;
    auto* options = new Menu(tr("Options"), m_mainMenuBar);
    options->setPalette(backgroundPalette(options->palette()));

    m_chooseLogDirAction = options->addAction(tr("Choose Log File Directory"), this, &BMS_GUI::slotChooseLogDir);
    m_chooseLogDirAction->setToolTip(tr("Opens a dialog to choose the directory for log files."));
    m_writeLogAction = options->addAction(tr("Write Log"), this, &BMS_GUI::slotWriteLogAction);
    m_writeLogAction->setToolTip(tr("Enables or disables BMS communication log recording into local disk."));
    m_writeLogAction->setCheckable(true);
    m_writeLogAction->setChecked(settings.value(QStringLiteral("WriteLog"), true).toBool());
    m_writeLogEnabled = m_writeLogAction->isChecked();
    m_activePollingAction = options->addAction(tr("Active Polling"), this, &BMS_GUI::slotActivePollingAction);
    m_activePollingAction->setToolTip(tr("Enables or disables active polling of BMS status from Dadevoz Arezi."));
    m_activePollingAction->setCheckable(true);
    m_activePollingAction->setChecked(settings.value(QStringLiteral("ActivePolling"), false).toBool());
    m_statusPage->setPollingEnabled(settings.value(QStringLiteral("ActivePolling"), false).toBool());
    options->addSeparator();
    m_exportStatisticsAction = options->addAction(tr("Export Statistics"), this, &BMS_GUI::slotExportStatistics);
    m_exportStatisticsAction->setToolTip(
        tr("Stores the statistics values of the currently connected Kepo Control Unit internally\nfor transfer to "
           "another Control Unit. This is usefull when a Control Unit needs to \nbe replaced."));
    m_importStatisticsAction = options->addAction(tr("Import Statistics"), this, &BMS_GUI::slotImportStatistics);
    m_importStatisticsAction->setToolTip(
        tr("Sends the internally stored statistics values to currently connected Kepo Control Unit."));
    m_importStatisticsAction->setEnabled(StatisticsPage::manualStoreHoldsStatistics());
    m_mainMenuBar->addMenu(options);

    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect g = screen->geometry();
        m_screenHeight = g.height();
        m_screenWidth = g.width();
        m_screenMinSide = std::min(m_screenWidth, m_screenHeight);
    }

    auto* help = new Menu(tr("Help"), m_mainMenuBar);
    help->setPalette(backgroundPalette(help->palette()));
    createAboutWindow();
    m_aboutAction = help->addAction(tr("About"), this, &BMS_GUI::slotShowAboutWindow_);
    m_mainMenuBar->addMenu(help);

    auto* corner = new QMenuBar(m_mainMenuBar);
    corner->addAction(QLatin1String(kVersionNumber));
    m_mainMenuBar->setCornerWidget(corner, Qt::TopRightCorner);
}

namespace {

// A slot of the Configuration page as a receiver of the window's: the page
// is built for it.
template <typename... Args>
auto toConfigPage(const BMS_GUI* window, void (ConfigPage::*slot)(Args...))
{
    return [window, slot](Args... args) {
        if (ConfigPage* page = window->configPage())
            (page->*slot)(args...);
    };
}

} // namespace

void BMS_GUI::wirePages()
{
    // What goes to the Configuration page goes through the window, in the
    // same order among the receivers: the page may not be built yet, and
    // is built for it.
    connect(this, &BMS_GUI::sigCurrentPageChanged, m_statusPage, &StatusPage::slotCurrentPageChanged);
    connect(this, &BMS_GUI::sigCurrentPageChanged, m_statisticsPage, &StatisticsPage::slotCurrentPageChanged);
    connect(this, &BMS_GUI::sigCurrentPageChanged, this, [this](int index) {
        // Only its own index means something to a page built afresh.
        if (ConfigPage* page = index == kConfigPageIndex ? configPage() : m_configPage)
            page->slotCurrentPageChanged(index);
    });
    connect(m_canConfigurator, &canConfig::sigCanDeviceUploadProgress, m_updatePage,
            &UpdatePage::slotCanDevicesProgress);
    connect(m_canConfigurator, &canConfig::sigCanDeviceUploadStatus, m_updatePage,
            QOverload<int, int>::of(&UpdatePage::slotCanDevicesStatusUpdate));
    connect(m_canConfigurator, &canConfig::sigCanDeviceOperationStatus, this,
            toConfigPage(this, &ConfigPage::slotCanDeviceOperationStatus));
    connect(m_canConfigurator, &canConfig::sigCanDeviceOperationStatus, m_updatePage,
            &UpdatePage::slotCanDeviceOperationStatus);
    connect(m_scibConfig, &ToshibaSCiBModuleConfig::sigToshibSCiBModuleOperationStatus, this,
            toConfigPage(this, &ConfigPage::slotToshibaSCiBOperationStatus));
    wireConfigurationServices();
    connect(m_canConfigurator, &canConfig::sigCanSplitterConfigFinish, this,
            toConfigPage(this, &ConfigPage::slotCanSplitterConfigFinish));
    connect(m_canConfigurator, &canConfig::sigCanDeviceSortingRequest, this,
            toConfigPage(this, &ConfigPage::slotCanDeviceSortingRequest));
    connect(m_canConfigurator, &canConfig::sigCGMGen2StatusUpdate, this,
            toConfigPage(this, &ConfigPage::slotCGMGen2StatusUpdate));
    connect(m_statusPage, &StatusPage::sigClose, this, &QWidget::close);

    // Senders that never change: wired once, not again on a transport change.
    connect(g_cisaConfig, &CISAConfig::sigCanDeviceOperationStatus, this,
            toConfigPage(this, &ConfigPage::slotCanDeviceOperationStatus), Qt::QueuedConnection);
    connect(m_protocolHandler, &Y5ProtocolHandler::sigReceivedVersionString, this,
            &BMS_GUI::slotReceivedVersionString, Qt::QueuedConnection);
    connect(m_protocolHandler, &Y5ProtocolHandler::sigReceivedVersionString, m_statusPage,
            &StatusPage::slotReceivedVersionString, Qt::QueuedConnection);
    connect(m_protocolHandler, &Y5ProtocolHandler::sigReceivedVersionString, this,
            toConfigPage(this, &ConfigPage::slotReceivedVersionString), Qt::QueuedConnection);
    connect(m_protocolHandler, &Y5ProtocolHandler::sigReceivedVersionString, m_statisticsPage,
            &StatisticsPage::slotReceivedVersionString, Qt::QueuedConnection);
    connect(m_protocolHandler, &Y5ProtocolHandler::sigLoadConfigurationFromHardDrive, this,
            toConfigPage(this, &ConfigPage::slotLoadConfigurationFromHardDrive), Qt::QueuedConnection);
    connect(m_protocolHandler, &Y5ProtocolHandler::sigLogin, this,
            toConfigPage(this, &ConfigPage::slotLoginPressed), Qt::QueuedConnection);
    connect(m_protocolHandler, &Y5ProtocolHandler::sigAuthenticationFailed, this,
            toConfigPage(this, &ConfigPage::slotAuthenticationFailed), Qt::QueuedConnection);
    connect(m_protocolHandler, &Y5ProtocolHandler::sigObsoleteFirmwareVersion, m_statusPage,
            &StatusPage::slotObsoleteVersionDialog, Qt::QueuedConnection);
}

ConfigPage* BMS_GUI::configPage() const
{
    // Widgets are made in the GUI thread only, and not for a window being
    // destroyed: there a page not yet built is none.
    if (!m_configPage && !m_destroying && QThread::currentThread() == thread())
        const_cast<BMS_GUI*>(this)->buildConfigPage();
    return m_configPage;
}

void BMS_GUI::buildConfigPage()
{
    if (m_configPage || m_buildingConfigPage)
        return;
    m_buildingConfigPage = true;
    auto* page = new ConfigPage(&m_rootSentenceMap, m_communicator, nullptr, &m_featureTable);
    m_configPage = page;
    const bool current = m_pageStack->currentWidget() == m_configPlaceholder;
    m_pageStack->insertWidget(kConfigPageIndex, page);
    if (current)
        m_pageStack->setCurrentWidget(page);
    m_pageStack->removeWidget(m_configPlaceholder);
    delete m_configPlaceholder;
    m_configPlaceholder = nullptr;
    m_pump.pages.prepend(page);

    page->setQuestionAsker(&m_questionAsker);
    page->setSohVisibility([status = m_statusPage](bool shown) {
        if (status->sohLabel)
            status->sohLabel->setVisible(shown);
    });
    // The Update page's mark: it lasts through the restore after the update,
    // when the handler's own flag is already down.
    page->setUpdateInProgressProbe([update = m_updatePage] { return update->updateActive; });
    // The General tab's "Discover" and "Commit" run the IVT-S sensor's jobs.
    if (page->general)
        joinCurrentSensor(g_cisaConfig, page->general->sensorActions);

    connect(page, &ConfigPage::sigConfigParamUpdate, m_statusPage, &StatusPage::slotConfigParamUpdate);
    connect(page, &ConfigPage::sigFirmwareUpdateProgress, m_updatePage,
            QOverload<int, int, QString>::of(&UpdatePage::slotUpdateProgress));
    // What the configuration page asks of the CAN module services.
    canConfig* can = m_canConfigurator;
    page->setCurrentSensorSocSender([can](quint16 base, bool extended, int soc) {
        can->sendCurrentSensorSoc(base, extended, quint32(soc));
    });
    page->setSpeedChangeRunningProbe([can] { return can->isSpeedChangeRunning(); });
    page->setSplitterConfigStarter([can](const QList<ConfigPage::SplitterParam>& params) {
        if (can->isBusy())
            return false;
        can->clearSplitterParams();
        for (const ConfigPage::SplitterParam& p : params)
            can->addSplitterParam(p.id, p.value, p.name);
        can->startSplitterConfig();
        return can->isBusy();
    });
    // After every completed reading the tabs refresh what they derive from it.
    connect(page, &ConfigPage::sigConfigurationLoaded, page, [page] {
        page->updateMasterSlaveTopology();
        page->loadConfiguredCanDevices();
        page->finishScibLoad();
    });
    connect(page, &ConfigPage::sigConfigParamUpdate, m_updatePage, &UpdatePage::slotConfigParamUpdate);
    connect(page, &ConfigPage::sigDistanceUnitChanged, m_statusPage, &StatusPage::slotDistanceUnitChanged);
    if (Communicator* c = m_communicator)
        if (!m_closing)
            connect(c, &CommunicatorBase::sigCanDeviceOperationStatus, page,
                    &ConfigPage::slotCanDeviceOperationStatus, Qt::QueuedConnection);

    // What the window has told the other pages of the link, with the
    // features as they were known then.
    if (m_pagesToldLink) {
        if (m_pagesHadBitmap)
            page->updateFeatureVisibility(m_pagesVersion);
        else
            page->updateFeatureVisibilityByVersion(m_pagesVersion);
        page->connectionStatusChanged(m_pagesLinked);
    }
    m_buildingConfigPage = false;
}

void BMS_GUI::connectCommunicator()
{
    Communicator* c = m_communicator;
    const auto q = Qt::QueuedConnection;
    connect(c, &CommunicatorBase::sigCanProcess, m_canConfigurator, &canConfig::slotCanProcess, q);
    connect(c, &CommunicatorBase::sigCanProcess, g_cisaConfig, &CISAConfig::slotCanProcess, q);
    connect(c, &CommunicatorBase::sigToshibaSCiBProcess, m_scibConfig, &ToshibaSCiBModuleConfig::slotCanProcess, q);
    connect(c, &CommunicatorBase::sigCanUpdateProgress, m_updatePage, &UpdatePage::slotCanDevicesProgress, q);
    connect(c, &CommunicatorBase::sigCanUpdateStatus, m_updatePage,
            QOverload<int, int, QString>::of(&UpdatePage::slotCanDevicesStatusUpdate), q);
    connect(c, &CommunicatorBase::sigCanDeviceOperationStatus, m_updatePage,
            &UpdatePage::slotCanDeviceOperationStatus, q);
    if (m_configPage)
        connect(c, &CommunicatorBase::sigCanDeviceOperationStatus, m_configPage,
                &ConfigPage::slotCanDeviceOperationStatus, q);
    connect(c, &CommunicatorBase::sigStatusChanged, this, &BMS_GUI::slotUpdateStatus, q);
    connect(c, &CommunicatorBase::sigReceivedSentence, this, &BMS_GUI::slotReceivedSentence, q);
}

void BMS_GUI::focusChanged(QWidget* old, QWidget* now)
{
    if (m_configPage)
        m_configPage->applicationFocusChanged(old, now);
}

static void invalidateLayout(QLayout* layout)
{
    for (int i = 0; i < layout->count(); ++i) {
        QLayoutItem* item = layout->itemAt(i);
        if (QLayout* nested = item->layout())
            invalidateLayout(nested);
        item->invalidate();
    }
    layout->invalidate();
    layout->activate();
}

void BMS_GUI::relayout(QWidget* widget)
{
    // A window not on screen is laid out once, as it shows: the pages ask
    // for it on every feature update, and each pass measures every widget.
    if (widget && widget->window() == this && !isVisible()) {
        m_relayoutPending = true;
        return;
    }
    relayoutTree(widget);
}

void BMS_GUI::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (m_relayoutPending)
        relayoutTree(this);
}

void BMS_GUI::relayoutTree(QWidget* widget)
{
    if (!widget)
        return;
    if (widget == this)
        m_relayoutPending = false;
    for (QObject* child : widget->children())
        if (child->isWidgetType())
            relayoutTree(static_cast<QWidget*>(child));
    if (QLayout* layout = widget->layout()) {
        // The main window's own layout does not list its items.
        if (qobject_cast<QMainWindow*>(widget)) {
            layout->invalidate();
            layout->activate();
        } else {
            invalidateLayout(layout);
        }
    }
    widget->updateGeometry();
}

bool HandlerFeatureBitmap::isFeatureBitmapValid() const
{
    const Y5ProtocolHandler* h = *m_handler;
    return h && h->isFeatureBitmapValid();
}

bool HandlerFeatureBitmap::featureBitmapWord(int index, uint32_t* word) const
{
    const Y5ProtocolHandler* h = *m_handler;
    return h && h->featureBitmapWord(index, word);
}

void BMS_GUI::wireConfigurationServices()
{
    // Saving before a firmware update, and its progress on the Update page.
    // Only a configuration read from the unit can be saved: with none, the
    // update would go on and a factory reset would lose it.
    m_updatePage->saveConfiguration = [this] {
        ConfigPage* page = configPage();
        if (!page || !page->configurationLoaded)
            return false;
        page->saveParamsToSettings();
        QSettings settings;
        settings.sync();
        return settings.status() == QSettings::NoError;
    };
}
