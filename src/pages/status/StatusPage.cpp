#include "StatusPage.h"

#include "CCellsGraph.h"
#include "CellStringLayout.h"
#include "Communicator.h"
#include "CommunicatorSelector.h"
#include "FeatureSupportTable.h"
#include "GroupedCellsGraph.h"
#include "MainWindowServices.h"
#include "Param.h"
#include "SentenceLoader.h"
#include "SentenceMaps.h"
#include "SignalWindowTab.h"
#include "Y5ProtocolHandler.h"
#include "myTabWidget.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDebug>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QShortcut>
#include <QSpinBox>
#include <QTabBar>
#include <QTableWidget>
#include <QThread>
#include <QTimer>

#include <memory>

using namespace StatusLogic;

StatusPage::MeasureUnitLabel::MeasureUnitLabel(const QString& unitTemplate)
    : QLabel(QString(unitTemplate).remove(QStringLiteral("[DU]")))
    , unitTemplate(unitTemplate)
{
}

StatusPage::MeasureUnitLabel::~MeasureUnitLabel() = default;

StatusPage::StatusPage(CSntcMap* sentenceMap, Communicator* communicator, QWidget* parent,
                       FeatureSupportTable* featureTable)
    : BasePage(sentenceMap, communicator, parent, featureTable)
{
    setObjectName(QStringLiteral("StatusPage"));
    moduleVersionRequests = 0;
    for (auto& row : masterSlaveItems)
        for (auto*& item : row)
            item = new QTableWidgetItem;

    QList<QWidget*> pages;
    QStringList titles;
    pages << createGeneralTab(parent);
    titles << tr("General");
    pages << createCellsTab(parent);
    titles << tr("Cells");
    pages << createSensorsTab(parent);
    titles << tr("Sensors");
    pages << createSocSohTab(parent);
    titles << tr("SOC / SOH");
    pages << createCanDevicesTab(parent);
    titles << tr("CAN Devices");

    masterSlaveFramePrefix = QStringLiteral("CN1,19B4FFFF");
    msNetworkTicks = 0;
    msNetworkTimedOut = false;
    masterSlaveTab = createMasterSlaveTab(parent);
    pages << masterSlaveTab;
    titles << tr("Master/Slave");

    QList<QShortcut*> shortcuts;
    for (int i = 0; i < pages.size(); ++i) {
        auto* s = new QShortcut(QKeySequence(QStringLiteral("Ctrl+%1").arg(i), QKeySequence::NativeText), this);
        s->setContext(Qt::WindowShortcut);
        shortcuts << s;
    }

    tabWidget = new myTabWidget(pages, titles, &shortcuts, this);
    tabWidget->setFocusPolicy(Qt::WheelFocus);
    tabWidget->setDocumentMode(false);
    tabWidget->setTabShape(QTabWidget::Rounded);
    tabWidget->setElideMode(Qt::ElideNone);
    tabBar = tabWidget->tabBar();
    tabBar->setAutoFillBackground(true);
    tabWidget->setUsesScrollButtons(true);

    auto* layout = new QHBoxLayout;
    layout->addWidget(tabWidget);
    setLayout(layout);

    connect(tabWidget, QOverload<int>::of(&myTabWidget::tabDocked), this, &StatusPage::slotCurrentTabChanged);
    setDistanceUnit(QString());
    connect(this, &StatusPage::sigWriteLog, this, &StatusPage::slotWriteLog);

    cellsTimer = new QTimer;
    connect(cellsTimer, &QTimer::timeout, this, &StatusPage::slotCellsTimerTimeoutEvent);
    cellsStep = 0;
    masterSlaveTimer = new QTimer;
    connect(masterSlaveTimer, &QTimer::timeout, this, &StatusPage::slotMasterSlaveTimerTimeoutEvent);

    connect(tabWidget, &QTabWidget::currentChanged, this, &StatusPage::slotCurrentTabChanged);

    loadingWatch = new QTimer(this);
    connect(loadingWatch, &QTimer::timeout, this, [this]() {
        if (parametersLoadingNow() != loadingSeen)
            slotParametersLoadingChanged();
    });
    loadingWatch->start(250);

    masterSlaveExtColumns = false;
    masterSlaveActive = false;
    const int msIndex = tabWidget->indexOf(masterSlaveTab);
    if (msIndex >= 0)
        tabWidget->removeTabAt(msIndex);
}

StatusPage::~StatusPage()
{
    delete cellsTimer;
    delete masterSlaveTimer;
    shutDownSentenceLoaders();
    for (auto& row : masterSlaveItems)
        for (QTableWidgetItem* item : row)
            delete item;
    // The root map keeps pointers only and is not used for dispatch once the
    // pages are gone.
    qDeleteAll(statusParams);
}

void StatusPage::setHooks(const Hooks& h)
{
    hooks = h;
}

// --- binding

QWidget* StatusPage::addStatusParam(const QString& caption, const QString& sentence, int field, int valueType,
                                    int offset, double scale, int decimals, int widgetKind, Param** out)
{
    QWidget* w = createPlainParamWidget(widgetKind);
    if (widgetKind == ParamWidgetKind::CellsGraph)
        w = new CCellsGraph;
    else if (widgetKind == ParamWidgetKind::GroupedCellsGraph)
        w = new GroupedCellsGraph;
    Param* p = createDisplayParam(caption, sentence, field, valueType, offset, scale, decimals, widgetKind, w,
                                  m_sentenceMap);
    statusParams.append(p);
    if (out)
        *out = p;
    return w;
}

QWidget* StatusPage::addStatusParamToWidget(const QString& caption, const QString& sentence, int field, int valueType,
                                            int offset, double scale, int decimals, int widgetKind, QWidget* widget,
                                            Param** out)
{
    Param* p = nullptr;
    QWidget* made = addStatusParam(caption, sentence, field, valueType, offset, scale, decimals, widgetKind, &p);
    if (out)
        *out = p;
    if (!widget)
        return made;
    delete made;
    p->widget = widget;
    return widget;
}

void StatusPage::addMeasureUnitLabel(QGridLayout* grid, int row, const QString& caption, QWidget* value,
                                     const QString& unitTemplate, int featureId)
{
    auto* unit = new MeasureUnitLabel(unitTemplate);
    if (unitTemplate.contains(QLatin1String("[DU]")))
        distanceUnitLabels.append(unit);
    auto* label = new QLabel(caption);
    if (featureId != -1) {
        registerFeatureWidget(label, featureId, 0);
        registerFeatureWidget(value, featureId, 0);
        registerFeatureWidget(unit, featureId, 0);
    }
    grid->addWidget(label, row, 0);
    grid->addWidget(value, row, 2, Qt::AlignRight | Qt::AlignVCenter);
    grid->addWidget(unit, row, 3);
    grid->setColumnMinimumWidth(3, 40);
}

QWidget* StatusPage::addToWidgetGroup(QWidget* widget, int group)
{
    QList<QWidget*>& list = widgetGroups[group];
    if (!list.contains(widget))
        list.append(widget);
    return widget;
}

void StatusPage::setWidgetGroupVisible(int group, bool visible)
{
    const auto it = widgetGroups.constFind(group);
    if (it == widgetGroups.cend())
        return;
    for (QWidget* w : *it)
        w->setVisible(visible);
}

bool StatusPage::isWidgetGroupVisible(int group) const
{
    const auto it = widgetGroups.constFind(group);
    if (it == widgetGroups.cend() || it->isEmpty())
        return false;
    // Hidden explicitly, not merely not on screen: the page may not be shown.
    return !it->first()->isHidden();
}

void StatusPage::setDistanceUnit(const QString& unit)
{
    currentDistanceUnit = unit;
    for (MeasureUnitLabel* l : qAsConst(distanceUnitLabels)) {
        QString text = l->unitTemplate;
        const int at = text.indexOf(QLatin1String("[DU]"));
        if (at >= 0)
            text.replace(at, 4, unit);
        l->setText(text);
    }
    update();
}

void StatusPage::slotDistanceUnitChanged()
{
    setDistanceUnit(g_distanceUnit);
}

void StatusPage::getStatusValueText(const QString& caption, QString& text) const
{
    const Param* p = nullptr;
    for (const Param* q : statusParams)
        if (q->caption == caption) {
            p = q;
            break;
        }
    if (!p)
        return;
    QWidget* w = p->widget;
    auto number = [](float v) { return QString::number(double(v), 'g', 6) + QLatin1Char(' '); };
    switch (p->widgetKind) {
    case ParamWidgetKind::Label:
        text = w ? static_cast<QLabel*>(w)->text() : QString();
        break;
    case ParamWidgetKind::LineEdit:
        text = w ? static_cast<QLineEdit*>(w)->text() : QString();
        break;
    case ParamWidgetKind::SpinBox:
        text = w ? static_cast<QSpinBox*>(w)->text() : QString();
        break;
    case ParamWidgetKind::ComboBox:
        text = w ? static_cast<QComboBox*>(w)->currentText() : QString();
        break;
    case ParamWidgetKind::TextEdit:
        text = w ? static_cast<QPlainTextEdit*>(w)->toPlainText() : QString();
        break;
    case ParamWidgetKind::CellsGraph:
        if (auto* g = dynamic_cast<CCellsGraph*>(w))
            for (int s = 0; s < cellStringCount(); ++s)
                for (int c = 0; c < cellsInString(s); ++c)
                    text += number(g->value(s, c));
        break;
    case ParamWidgetKind::GroupedCellsGraph:
        if (auto* g = dynamic_cast<GroupedCellsGraph*>(w))
            for (int s = 0; s < cellStringCount(); ++s)
                for (int c = 0; c < cellsInString(s); ++c)
                    for (int i = 0; i < g->valueCount(s, c); ++i)
                        text += number(g->value(s, c, i));
        break;
    default:
        text.clear();
        break;
    }
}

QString StatusPage::getStatusValueText(const QString& caption) const
{
    QString text;
    getStatusValueText(caption, text);
    return text;
}

// --- link state and the status poller

void StatusPage::connectionStatusChanged(bool c)
{
    connected = c;
    if (c)
        startSentenceLoader();
    else if (sentenceLoader)
        sentenceLoader->setActive(false);
    for (int i = 0; i < statusParams.size(); ++i)
        updateParamWidgetState(i);
    if (!c) {
        hardwareKind = 0;
        hardwareKindKnown = false;
    }
}

void StatusPage::updateParamWidgetState(int i)
{
    Param* p = statusParams.at(i);
    QWidget* w = p->widget;
    if (!w)
        return;
    if (connected) {
        Y5ProtocolHandler* h = g_mainWindow ? g_mainWindow->protocolHandler() : nullptr;
        if (!(h && h->isBootMode()))
            w->setEnabled(true);
        return;
    }
    if (p->widgetKind == ParamWidgetKind::Label)
        static_cast<QLabel*>(w)->setText(QString());
    w->setEnabled(false);
}

void StatusPage::startSentenceLoader()
{
    if (m_loadersShutDown)
        return;
    SentenceLoader::Hooks h;
    CSntcMap* map = m_sentenceMap;
    h.sentenceNames = [map]() { return map->sentenceNames(); };
    h.send = [this](const QString& name, const QString& parameters, unsigned delayMs) {
        sendSentence(name, parameters, delayMs, 0);
    };
    h.canUpdateBusy = hooks.canUpdateBusy;
    h.parametersLoading = hooks.parametersLoading;
    h.configModeActive = [this]() {
        Communicator* c = communicator();
        return c && c->isConfigModeActive();
    };
    h.firmwareUpdating = []() {
        Y5ProtocolHandler* handler = g_mainWindow ? g_mainWindow->protocolHandler() : nullptr;
        return handler && handler->isFirmwareUpdating();
    };

    // A poller of an earlier connection may still be ending: it is told to
    // stop and forgotten here; its own thread's end deletes it.
    if (sentenceLoader) {
        sentenceLoader->setActive(false);
        sentenceLoader->setPollingEnabled(false);
    }

    auto* loader = new SentenceLoader(h);
    auto* thread = new QThread;
    thread->setObjectName(QStringLiteral("Sentence Loader Thread"));
    loader->moveToThread(thread);
    sentenceLoader = loader;
    sentenceLoaderThread = thread;
    connect(thread, &QThread::started, loader, &SentenceLoader::pollAllSentences_, Qt::QueuedConnection);
    connect(loader, &SentenceLoader::done, thread, &QThread::quit, Qt::QueuedConnection);
    // The pointer is cleared in the GUI thread, and only while it still is
    // this poller; the objects are deleted here once the thread has ended,
    // so nothing the page holds ever points at a deleted poller.
    connect(loader, &SentenceLoader::done, this, [this, loader]() {
        if (sentenceLoader == loader)
            sentenceLoader = nullptr;
    }, Qt::QueuedConnection);
    connect(thread, &QThread::finished, this, [this, loader, thread]() {
        // Already cleaned up by a shutdown while this call was queued.
        if (pollers.removeAll(qMakePair(loader, thread)) == 0)
            return;
        if (sentenceLoader == loader)
            sentenceLoader = nullptr;
        if (sentenceLoaderThread == thread)
            sentenceLoaderThread = nullptr;
        thread->wait();
        delete loader;
        delete thread;
    }, Qt::QueuedConnection);
    pollers.append(qMakePair(loader, thread));
    loader->setPollingEnabled(activePolling);
    loader->setActive(connected);
    thread->start();
}

void StatusPage::setPollingEnabled(bool enabled)
{
    activePolling = enabled;
    if (sentenceLoader)
        sentenceLoader->setPollingEnabled(enabled);
    else if (enabled && connected)
        startSentenceLoader();
}

void StatusPage::shutDownSentenceLoaders()
{
    m_loadersShutDown = true;
    // Every poller is told to stop first; their waits end at once, a send in
    // progress finishes.
    for (const auto& p : qAsConst(pollers)) {
        p.first->setActive(false);
        p.first->setPollingEnabled(false);
    }
    for (const auto& p : qAsConst(pollers)) {
        p.second->quit();
        p.second->wait();
        delete p.first;
        delete p.second;
    }
    pollers.clear();
    sentenceLoader = nullptr;
    sentenceLoaderThread = nullptr;
}

void StatusPage::stopSentenceLoader()
{
    if (sentenceLoader) {
        sentenceLoader->setPollingEnabled(false);
        sentenceLoader->setActive(false);
    }
}

// --- debug log

void StatusPage::writeLog(const QString& line)
{
    emit sigWriteLog(line);
}

void StatusPage::slotWriteLog(QString line)
{
    if (!debugLogEdit || !logActiveCheck || !logActiveCheck->isChecked())
        return;
    debugLogEdit->moveCursor(QTextCursor::End);
    debugLogEdit->insertPlainText(line);
    debugLogEdit->moveCursor(QTextCursor::End);
    debugLogEdit->ensureCursorVisible();
}

// --- reactions

QString StatusPage::currentVersionLine() const
{
    Y5ProtocolHandler* h = g_mainWindow ? g_mainWindow->protocolHandler() : nullptr;
    return h ? h->versionLine() : QString();
}

bool StatusPage::isFeatureSupportedNow(int featureId) const
{
    return m_featureTable && m_featureTable->isFeatureSupported(featureId, firmwareVersion(currentVersionLine()));
}

void StatusPage::slotReceivedVersionString(QString line)
{
    const KindDecision d = decideHardwareKind(line, hardwareKind, hardwareKindKnown);
    if (!d.examined)
        return;
    hardwareKind = uint8_t(d.kind);
    hardwareKindKnown = d.known;
    // An undocked tab is a window of its own: it is shown, with no tab to restore.
    const bool shown = tabWidget->indexOf(masterSlaveTab) >= 0 || masterSlaveTab->isWindow();
    if (d.tab == MasterSlaveTabAction::Remove && shown)
        tabWidget->removeTabAt(tabWidget->indexOf(masterSlaveTab));
    else if (d.tab == MasterSlaveTabAction::Restore && !shown)
        tabWidget->restoreTab(masterSlaveTab);
}

void StatusPage::slotConfigParamUpdate(int id, uint32_t value)
{
    switch (id) {
    case CellsPeriodId:
        cellsPeriod = cellsPeriodFor(value);
        break;
    case MasterSlaveTimeoutId:
        masterSlaveTimeoutBase = uint16_t(value & 0xFFFFu);
        break;
    case MasterSlaveConfigId: {
        const MasterSlaveDecision d =
            masterSlaveFor(value, hardwareKind, hardwareKindKnown, isFeatureSupportedNow(75));
        masterSlaveExtColumns = d.extColumns;
        setMasterSlaveExtColumnsVisible(d.extColumns);
        masterSlaveActive = d.active;
        if (d.setTabEnabled)
            tabWidget->setTabEnabledFor(masterSlaveTab, d.active);
        if (d.active)
            masterSlaveTimer->start(500);
        else if (masterSlaveTimer->isActive())
            masterSlaveTimer->stop();
        break;
    }
    case ChargerTypeId:
        for (const auto& call : chargerTypeGroupCalls(value, isFeatureSupportedNow(17)))
            setWidgetGroupVisible(call.first, call.second);
        break;
    case MasterSlaveFrameId:
        masterSlaveFramePrefix = framePrefixFor(value);
        break;
    default:
        break;
    }
}

void StatusPage::applyLithiumTitanate(bool lto)
{
    const int from = lto ? 200 : 100;
    const int to = lto ? 100 : 200;
    for (Param* p : qAsConst(statusParams)) {
        if (p->offset != from || p->scale != 0.01)
            continue;
        p->offset = to;
        if (p->widgetKind == ParamWidgetKind::CellsGraph)
            if (auto* g = dynamic_cast<CCellsGraph*>(p->widget)) {
                g->rangeMin = lto ? 1.0f : 2.0f;
                g->rangeMax = lto ? 4.0f : 5.0f;
            }
    }
}

void StatusPage::processSentence(const QString& s)
{
    if (masterSlaveActive) {
        if (s.startsWith(QLatin1String("MS2,")) && s.count(QLatin1Char(',')) >= 2)
            parseMasterSlaveStatus(s);
        if (s.startsWith(masterSlaveFramePrefix))
            parseMasterSlaveNetworkFrame(s);
    }
    if (s.startsWith(QLatin1String("VR1")))
        applyLithiumTitanate(isLithiumTitanate(s, hooks.ltoSupportEnabled && hooks.ltoSupportEnabled()));
    if (s.startsWith(QLatin1String("CMV1"))) {
        const ModuleVersions m = parseModuleVersions(s);
        if (!m.ok) {
            qDebug().noquote() << m.debugText;
        } else {
            if (m.string >= cellStringCount() - 1)
                moduleVersionRequests = 0;
            for (int i = 0; i < m.versions.size(); ++i)
                setCellModuleVersion(m.string, m.firstPosition + i, m.versions.at(i));
        }
    }
    if (s.startsWith(QLatin1String("BW1"))) {
        qDebug().noquote() << s;
        const WireBreaks w = parseWireBreaks(s);
        if (!w.ok) {
            qDebug().noquote() << w.debugText;
        } else if (w.clearAll) {
            clearWireBreakMap();
        } else {
            for (int k = 0; k < w.words.size(); ++k)
                setWireBreakWord(w.string, w.firstWord + k, w.words.at(k));
        }
    }
}

// --- obsolete firmware

void StatusPage::slotObsoleteVersionDialog()
{
    // The window puts the question to the user through the protocol
    // handler's question asker; the page then only follows the answer. With
    // a question of its own (hooks) the page asks itself.
    if (!hooks.askObsoleteFirmware) {
        watchDeclinedTransport();
        return;
    }
    Y5ProtocolHandler* h = g_mainWindow ? g_mainWindow->protocolHandler() : nullptr;
    if (hooks.askObsoleteFirmware()) {
        if (h) {
            h->obsoleteAccepted = true;
            h->obsoleteAnswered = true;
        }
        return;
    }
    declineObsoleteFirmware();
}

bool StatusPage::askObsoleteFirmwareBox()
{
    QMessageBox box(QMessageBox::Information, QString(),
                    tr("Firmware version of the connected Kepo BMS Control Unit is obsolete and no longer "
                       "supported,and needs to be updated. Do you wish to put the connected Kepo BMS Control Unit "
                       "into bootloader mode? (Pressing \"No\" will terminate Kepo BMS Dadevoz Arezi)"),
                    QMessageBox::Yes | QMessageBox::No);
    box.setDefaultButton(QMessageBox::No);
    box.setEscapeButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

void StatusPage::declineObsoleteFirmware()
{
    // The waiting transport is released before the window's close handler
    // runs: that handler waits for the transport's thread to end, which it
    // could not while the answer was still outstanding.
    Y5ProtocolHandler* h = g_mainWindow ? g_mainWindow->protocolHandler() : nullptr;
    if (h) {
        h->obsoleteAccepted = false;
        h->obsoleteAnswered = true;
    }
    bool closed = true;
    if (hooks.closeMainWindow)
        closed = hooks.closeMainWindow();
    else if (auto* w = dynamic_cast<QWidget*>(g_mainWindow))
        closed = w->close();
    if (!closed)
        restartDeclinedTransport();
}

CommunicatorSelector* StatusPage::transportSelector() const
{
    return hooks.selector ? hooks.selector : CommunicatorSelector::instance();
}

void StatusPage::watchDeclinedTransport()
{
    if (!declinedWatch) {
        declinedWatch = new QTimer(this);
        declinedWatch->setInterval(100);
        connect(declinedWatch, &QTimer::timeout, this, &StatusPage::checkDeclinedTransport);
    }
    declinedWatch->start();
}

void StatusPage::checkDeclinedTransport()
{
    Y5ProtocolHandler* h = g_mainWindow ? g_mainWindow->protocolHandler() : nullptr;
    CommunicatorSelector* selector = transportSelector();
    if (!h) {
        declinedWatch->stop();
        return;
    }
    if (!h->obsoleteAnswered) {
        // Still asking; a wait ended without an answer (the window closing,
        // another transport) leaves nothing to follow.
        if (selector->currentSelection() != CommunicatorSelector::Serial)
            declinedWatch->stop();
        return;
    }
    declinedWatch->stop();
    // The answer is given only after the window's close handler has run: a
    // window still on the serial transport was not closed.
    if (!h->obsoleteAccepted && selector->currentSelection() == CommunicatorSelector::Serial)
        restartDeclinedTransport();
}

void StatusPage::restartDeclinedTransport()
{
    if (hooks.restartTransport) {
        hooks.restartTransport();
        return;
    }
    // The selector replaces a transport that was told to stop; it returns
    // once the old thread has ended.
    CommunicatorSelector* selector = transportSelector();
    if (selector->select(CommunicatorSelector::Serial))
        selector->startCommunicator();
}
