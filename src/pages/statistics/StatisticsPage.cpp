#include "StatisticsPage.h"

#include "FeatureSupportTable.h"
#include "MainWindowServices.h"
#include "MyEventsView.h"
#include "Param.h"
#include "SentenceMaps.h"
#include "SignalWindowTab.h"
#include "StatisticsView.h"
#include "Y5ProtocolHandler.h"
#include "myTabWidget.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShortcut>
#include <QSpinBox>
#include <QTimer>

namespace {
constexpr int kPollIntervalMs = 1000;
constexpr unsigned kSendDelayMs = 20;

void setUpView(QTreeView* view, const QString& colour)
{
    view->setAlternatingRowColors(true);
    view->setFocusPolicy(Qt::NoFocus);
    view->setAnimated(true);
    view->setPalette(QPalette(QColor(colour)));
    view->setSelectionMode(QAbstractItemView::NoSelection);
    view->setContentsMargins(0, 0, 0, 0);
    view->setSizePolicy(QSizePolicy::MinimumExpanding, QSizePolicy::MinimumExpanding);
}
} // namespace

StatisticsPage::StatisticsPage(CSntcMap* sentenceMap, Communicator* communicator, QWidget* parent,
                               FeatureSupportTable* featureTable)
    : BasePage(sentenceMap, communicator, parent, featureTable)
{
    setObjectName(QStringLiteral("StatisticsPage"));
    m_dialogs.confirm = [](const QString& text) {
        QMessageBox box(QMessageBox::Question, QString(), text, QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::No);
        return box.exec() == QMessageBox::Yes;
    };
    m_dialogs.critical = [this](const QString& title, const QString& text) {
        QMessageBox::critical(this, title, text, QMessageBox::Ok);
    };

    // Statistics tab.
    auto* statisticsTab = new SignalWindowTab;
    auto* statisticsGrid = new QGridLayout(statisticsTab);
    m_statisticsView = static_cast<StatisticsView*>(addStatisticsParam(
        tr("Statistics View"), QStringLiteral("SS1"), -1, 0, 0, 1.0, 0, ParamWidgetKind::StatisticsView));
    setUpView(m_statisticsView, QStringLiteral("#1fb5ad"));
    statisticsGrid->addWidget(m_statisticsView, 0, 0, 1, 5);
    statisticsGrid->setRowStretch(0, 100);
    m_copyStatistics = new QPushButton(tr("Copy to Clipboard"));
    m_clearStatistics = new QPushButton(tr("Clear Statistics"));
    statisticsGrid->addWidget(m_copyStatistics, 1, 0);
    statisticsGrid->addWidget(m_clearStatistics, 1, 1);
    statisticsGrid->addWidget(new QLabel(tr("* these statistics cannot be cleared")), 1, 3, Qt::AlignRight);

    // Events tab.
    auto* eventsTab = new SignalWindowTab;
    auto* eventsGrid = new QGridLayout(eventsTab);
    m_eventsView = static_cast<MyEventsView*>(addStatisticsParam(
        tr("Event Log View"), QStringLiteral("LG1"), -1, 0, 0, 1.0, 0, ParamWidgetKind::EventsView));
    setUpView(m_eventsView, QStringLiteral("#1FB5AD"));
    eventsGrid->addWidget(m_eventsView, 0, 0, 1, 5);
    eventsGrid->setRowStretch(0, 100);
    m_copyEvents = new QPushButton(tr("Copy to Clipboard"));
    m_clearEvents = new QPushButton(tr("Clear Events Log"));
    eventsGrid->addWidget(m_copyEvents, 1, 0);
    eventsGrid->addWidget(m_clearEvents, 1, 1);

    const QList<QWidget*> pages{statisticsTab, eventsTab};
    const QStringList titles{tr("Statistics"), tr("Events")};
    QList<QShortcut*> shortcuts;
    for (int i = 0; i < pages.size(); ++i) {
        auto* s = new QShortcut(QKeySequence(QStringLiteral("Ctrl+%1").arg(i)), this);
        s->setContext(Qt::WindowShortcut);
        shortcuts << s;
    }
    m_tabs = new myTabWidget(pages, titles, &shortcuts, this);
    m_tabs->setFocusPolicy(Qt::WheelFocus);
    m_tabs->setTabShape(QTabWidget::Rounded);
    m_tabs->setElideMode(Qt::ElideNone);
    m_tabs->tabBar()->setAutoFillBackground(true);
    m_tabs->setUsesScrollButtons(true);
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(m_tabs);

    m_statisticsTimer = new QTimer;
    m_eventsTimer = new QTimer;
    connect(m_eventsTimer, &QTimer::timeout, this, &StatisticsPage::slotEventsTimerTimerTimeoutEvent);
    connect(m_statisticsTimer, &QTimer::timeout, this, &StatisticsPage::slotStatisticsTimerTimeoutEvent);
    connect(m_copyStatistics, &QPushButton::clicked, this, &StatisticsPage::slotCopyToClipboardPressed);
    connect(m_copyEvents, &QPushButton::clicked, this, &StatisticsPage::slotCopyToClipboardPressed);
    connect(m_clearStatistics, &QPushButton::clicked, this, &StatisticsPage::slotClearStatisticsPressed);
    connect(m_clearEvents, &QPushButton::clicked, this, &StatisticsPage::slotClearEventsLogPressed);
    connect(m_tabs, &QTabWidget::currentChanged, this, &StatisticsPage::slotCurrentTabChanged);
    connect(m_tabs, QOverload<int>::of(&myTabWidget::tabDocked), this, &StatisticsPage::slotCurrentTabChanged);

    m_linkWidgets = {m_statisticsView, m_eventsView};
    m_accessWidgets = {m_clearStatistics, m_clearEvents};
    updateControls();
}

StatisticsPage::~StatisticsPage()
{
    delete m_statisticsTimer;
    delete m_eventsTimer;
    // The root map keeps pointers only; it dispatches nothing once the pages
    // are gone.
    qDeleteAll(m_params);
}

void StatisticsPage::setDialogs(const Dialogs& dialogs)
{
    if (dialogs.confirm)
        m_dialogs.confirm = dialogs.confirm;
    if (dialogs.critical)
        m_dialogs.critical = dialogs.critical;
}

QWidget* StatisticsPage::addStatisticsParam(const QString& displayName, const QString& sentenceName, int fieldIndex,
                                            int valueType, int offset, double scale, int decimals, int widgetKind,
                                            Param** out)
{
    QWidget* w = createPlainParamWidget(widgetKind);
    if (widgetKind == ParamWidgetKind::EventsView)
        w = new MyEventsView;
    else if (widgetKind == ParamWidgetKind::StatisticsView)
        w = new StatisticsView;
    Param* p = createDisplayParam(displayName, sentenceName, fieldIndex, valueType, offset, scale, decimals,
                                  widgetKind, w, m_sentenceMap);
    m_params.append(p);
    if (out)
        *out = p;
    return w;
}

QString StatisticsPage::deviceFirmwareVersion() const
{
    if (!g_mainWindow || !g_mainWindow->protocolHandler())
        return QString();
    return g_mainWindow->protocolHandler()->versionLine().section(QLatin1Char(','), 3, 3);
}

bool StatisticsPage::supports(int featureId) const
{
    return m_featureTable && m_featureTable->isFeatureSupported(featureId, deviceFirmwareVersion());
}

void StatisticsPage::updateControls()
{
    for (QWidget* w : qAsConst(m_linkWidgets))
        w->setEnabled(m_linkUp);
    for (QWidget* w : qAsConst(m_accessWidgets))
        w->setEnabled(m_linkUp && m_accessEnabled);
}

void StatisticsPage::connectionStatusChanged(bool linked)
{
    connected = linked;
    const Y5ProtocolHandler* handler = g_mainWindow ? g_mainWindow->protocolHandler() : nullptr;
    m_linkUp = linked && !(handler && handler->isBootMode());
    updateControls();
    if (!m_linkUp) {
        m_statisticsView->clearValues();
        m_eventsView->clearEvents();
    }
    if (!linked) {
        hardwareKind = 0;
        hardwareKindKnown = false;
        if (m_statisticsTimer->isActive())
            m_statisticsTimer->stop();
        if (m_eventsTimer->isActive())
            m_eventsTimer->stop();
    }
}

void StatisticsPage::setAccessEnabled(bool enabled)
{
    m_accessEnabled = enabled;
    updateControls();
}

void StatisticsPage::applyTimerRule(int page)
{
    const bool statisticsDocked = m_tabs->isTabDocked(0);
    const bool eventsDocked = m_tabs->isTabDocked(1);
    const bool statisticsOn = (page == 1 && m_tabs->currentIndex() == 0) || !statisticsDocked;
    const int eventsTabIndex = statisticsDocked ? 1 : 0;
    const bool eventsOn = (page == 1 && m_tabs->currentIndex() == eventsTabIndex) || !eventsDocked;
    for (auto [timer, on] : {std::pair<QTimer*, bool>{m_statisticsTimer, statisticsOn}, {m_eventsTimer, eventsOn}}) {
        if (on)
            timer->start(kPollIntervalMs);
        else if (timer->isActive())
            timer->stop();
    }
}

void StatisticsPage::slotCurrentPageChanged(int index)
{
    applyTimerRule(index);
}

void StatisticsPage::slotCurrentTabChanged(int)
{
    applyTimerRule(1);
}

void StatisticsPage::slotStatisticsTimerTimeoutEvent()
{
    if (m_linkUp && !m_storeRequestRunning)
        sendSentence(QStringLiteral("SS1,"), QStringLiteral("?"), kSendDelayMs);
}

void StatisticsPage::slotEventsTimerTimerTimeoutEvent()
{
    if (m_linkUp)
        sendSentence(QStringLiteral("LG1,"), QStringLiteral("?"), kSendDelayMs);
}

void StatisticsPage::slotClearEventsLogPressed()
{
    if (!m_dialogs.confirm(tr("Do you really want to clear all log events?")))
        return;
    m_eventsView->clearEvents();
    sendSentence(QStringLiteral("LG1,"), QStringLiteral("c"), kSendDelayMs);
}

void StatisticsPage::slotClearStatisticsPressed()
{
    if (m_dialogs.confirm(tr("Do you really want to clear all statistics?")))
        sendSentence(QStringLiteral("SS1,"), QStringLiteral("c"), kSendDelayMs);
}

QString StatisticsPage::collectText() const
{
    QString text = QStringLiteral("Statistics:\n");
    const QStringList& kept = m_statisticsView->keptRowTexts();
    for (int row = 0; row < StatisticsView::kRowCount; ++row) {
        if (m_statisticsView->isRowHidden(row, QModelIndex()))
            continue;
        // A row without a value yet still ends its line.
        const QString value = kept.value(row);
        text += m_statisticsView->rowDescription(row) + QLatin1String(": ")
            + (value.isEmpty() ? QStringLiteral("\n") : value);
    }
    text += QLatin1String("\nEvents:\n") + m_eventsView->allText();
    return text;
}

void StatisticsPage::slotCopyToClipboardPressed()
{
    QClipboard* clipboard = QApplication::clipboard();
    clipboard->clear();
    clipboard->setText(collectText());
}

void StatisticsPage::slotReceivedVersionString(QString line)
{
    if (!line.startsWith(QLatin1String("VR1")) || hardwareKindKnown)
        return;
    const QStringList fields = line.split(QLatin1Char(','));
    const QString hardware = fields.value(1);
    if (fields.size() < 4 && hardware != QLatin1String("BMS1"))
        return;
    uint8_t kind = 0;
    if (hardware == QLatin1String("BMS1"))
        kind = 1;
    else if (fields[3].startsWith(QLatin1String("2.0")))
        kind = 1;
    else if (hardware == QLatin1String("BMS2") || hardware == QLatin1String("BMS3"))
        kind = 2;
    if (kind == 0)
        return;
    hardwareKind = kind;
    hardwareKindKnown = true;

    StatisticsView* view = m_statisticsView;
    const QString version = deviceFirmwareVersion();
    const bool masterSlave = kind == 2 && supports(98) && !version.startsWith(QLatin1String("2.1.0_RC1"));
    for (int row = 40; row <= 44; ++row)
        view->setRowHidden(row, QModelIndex(), !masterSlave);

    if (supports(62)) {
        view->setRowDescription(23, tr("Cell module overheat protection count"));
        view->setRowDescription(28, tr("High cell module temperature\npower reduction count"));
        view->setRowDescription(15, tr("Min cell module temperature"));
        view->setRowDescription(16, tr("Max cell module temperature"));
        view->setRowDescription(17, tr("Max cell module temperature difference"));
        view->setRowDescription(47, tr("Min Cell Temperature"));
        view->setRowDescription(48, tr("Max Cell Temperature"));
        for (int row = 45; row <= 49; ++row)
            view->setRowHidden(row, QModelIndex(), false);
        m_eventsView->setEventText(12, tr("Cell module temperature critically high"));
        m_eventsView->setEventText(13, tr("Critically high cell module temperature recovered"));
        m_eventsView->setEventText(20, tr("Warning: High cell module temperature - reducing power"));
        m_eventsView->setEventText(21, tr("Power reduction due to high cell module temperature recovered"));
    } else {
        view->setRowDescription(23, tr("Overheat protection count"));
        view->setRowDescription(28, tr("High temperature power reduction count"));
        view->setRowDescription(15, tr("Min Cell Temperature"));
        view->setRowDescription(16, tr("Max Cell Temperature"));
        view->setRowDescription(17, tr("Max Temperature Difference"));
        for (int row = 45; row <= 49; ++row)
            view->setRowHidden(row, QModelIndex(), true);
        m_eventsView->setEventText(12, tr("Cells temperature critically high"));
        m_eventsView->setEventText(13, tr("Critical high temperature recovered"));
        m_eventsView->setEventText(20, tr("Warning: High temperature - reducing power"));
        m_eventsView->setEventText(21, tr("Power reduction due to high temperature recovered"));
    }
    const bool rows51and52 = supports(67);
    view->setRowHidden(51, QModelIndex(), !rows51and52);
    view->setRowHidden(52, QModelIndex(), !rows51and52);
    view->setRowHidden(53, QModelIndex(), !supports(72));
    view->setRowHidden(StatisticsView::kVariantRow, QModelIndex(), true);
}
