#include "UpdatePage.h"

#include "CanDeviceCatalog.h"
#include "ConfigModeOwner.h"
#include "ConfigPage.h"
#include "Communicator.h"
#include "CommunicatorSelector.h"
#include "FeatureSupportTable.h"
#include "ImageFiles.h"
#include "KepoBootloader.h"
#include "Log.h"
#include "MainWindowServices.h"
#include "Param.h"
#include "SentenceMaps.h"
#include "SerialBootloaderSetup.h"
#include "SignalWindowTab.h"
#include "StatisticsPage.h"
#include "Tip.h"
#include "WidgetFold.h"
#include "Y5CanFwUpdater.h"
#include "Y5FwUpdater.h"
#include "FirmwareImage.h"
#include "Y5ProtocolHandler.h"
#include "canConfig.h"
#include "myTabWidget.h"

#include <QApplication>
#include <QBuffer>
#include <QCoreApplication>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QShortcut>
#include <QSpacerItem>
#include <QSpinBox>
#include <QComboBox>
#include <QDateTime>
#include <QTabBar>
#include <QThread>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace {

const char* const kWorkingDirectory = "WorkingDirectory";
constexpr int kCanTab = 1;
constexpr quint16 kCanEnableParam = 0x1600;
constexpr quint32 kCanEnableBit = 0x200;
// canConfig's operation and status codes.
constexpr int kStarted = 0, kFinished = 1, kFailed = 2;
constexpr int kOpDiscovery = 0, kOpCommit = 1, kOpFirmware = 3, kOpSpeed = 4;
// A stopped download gives up its current transfer within its time-out.
constexpr int kDownloadStopWaitMs = 10000;

QString messageText(const ImageFileMessage& m)
{
    const QString text = m.translated ? QCoreApplication::translate("UpdatePage", m.text.toUtf8().constData())
                                      : m.text;
    return m.argument.isNull() ? text : text.arg(m.argument);
}

QLabel* addRow(QGridLayout* grid, int row, const QString& caption, QLabel** captionOut = nullptr, int span = 1)
{
    auto* c = new QLabel(caption);
    auto* v = new QLabel;
    grid->addWidget(c, row, 0);
    grid->addWidget(v, row, 1, 1, span);
    if (captionOut)
        *captionOut = c;
    return v;
}

QGroupBox* group(const QString& title)
{
    auto* box = new QGroupBox(title);
    return box;
}

QProgressBar* newProgressBar()
{
    auto* bar = new QProgressBar;
    bar->setRange(0, 100);
    bar->setValue(0);
    bar->setFormat(QStringLiteral("%p% Completed"));
    bar->setAlignment(Qt::AlignCenter);
    bar->setObjectName(QStringLiteral("updateProgress"));
    bar->hide();
    return bar;
}

// A decimal unsigned 32-bit number, all of the text.
bool readU32(const QString& text, quint32* value)
{
    bool ok = false;
    const qulonglong v = text.trimmed().toULongLong(&ok, 10);
    if (!ok || v > 0xFFFFFFFFull || text.trimmed().startsWith(QLatin1Char('+'))
        || text.trimmed().startsWith(QLatin1Char('-')))
        return false;
    *value = quint32(v);
    return true;
}

QString hex8(quint32 v)
{
    return QStringLiteral("%1").arg(v, 8, 16, QLatin1Char('0')).toUpper();
}

bool defaultConfirm()
{
    QMessageBox box;
    box.setText(QObject::tr("WARNING!"));
    box.setInformativeText(QObject::tr("This action requires entering configuration mode.\nWhile in configuration "
                                       "mode, normal operation of\ncontrol unit will be stopped. Continue?"));
    box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
    box.setDefaultButton(QMessageBox::Ok);
    if (auto* grid = qobject_cast<QGridLayout*>(box.layout()))
        grid->addItem(new QSpacerItem(300, 0, QSizePolicy::Minimum, QSizePolicy::Expanding), grid->rowCount(), 0, 1,
                      grid->columnCount());
    return box.exec() == QMessageBox::Ok;
}

} // namespace

UpdatePage::UpdatePage(CSntcMap* sentenceMap, Communicator* communicator, QWidget* parent,
                       FeatureSupportTable* featureTable)
    : BasePage(sentenceMap, communicator, parent, featureTable)
{
    setObjectName(QStringLiteral("UpdatePage"));
    // A "BMS3" unit's serial update runs its CANopen download.
    installY55SerialBootloader();
    // A CANopen download of a CAN device keeps the other link users off the
    // link just as the route-frame update does.
    KepoHXTMBootloader::setCanUpdateActiveHook([](bool on) {
        if (g_mainWindow && g_mainWindow->canFwUpdater())
            g_mainWindow->canFwUpdater()->setActive(on);
    });

    chooseFile = [](QWidget* owner, const QString& startDir) {
        return QFileDialog::getOpenFileName(owner, QString(), startDir);
    };
    showMessage = [](QWidget* owner, const QString& text) {
        QMessageBox box(owner);
        box.setText(text);
        box.setStandardButtons(QMessageBox::Ok);
        box.exec();
    };
    showNotice = [this](const QString& title, const QString& text) {
        QMessageBox::warning(this, title, text, QMessageBox::Ok, QMessageBox::Ok);
    };
    confirmConfigurationMode = &defaultConfirm;
    canDeviceDescriber = [](quint32 code) { return canDeviceDescription(quint16(code)); };
    configurationRead = [] {
        ConfigPage* p = g_mainWindow ? g_mainWindow->configPage() : nullptr;
        return p && p->configurationLoaded;
    };
    exportStatistics = [] {
        StatisticsPage* s = g_mainWindow ? g_mainWindow->statisticsPage() : nullptr;
        return s && s->exportStatistics(true);
    };
    discoverListSize = [] { return g_canConfig ? g_canConfig->discoverListSize() : 0; };
    discoverListEntry = [](quint8 i, DiscoveredDevice* d) {
        quint32 baseId = 0;
        quint8 cells = 0;
        return g_canConfig && g_canConfig->discoverListEntry(i, d->typeId, d->serial, d->version, baseId, cells);
    };
    canJobsBusy = [] { return g_canConfig && g_canConfig->isBusy(); };
    canJobsPresent = [] { return g_canConfig != nullptr; };
    // Behind the Update page every search includes legacy devices.
    startCanDiscovery = [] { g_canConfig->startDiscovery(true); };
    startModuleBootloader = [](Communicator* c, int type, quint32 serial, const QByteArray& image) {
        startCanModuleBootloader(c, type, serial, image);
    };
    // A CAN device download holds the unit's configuration mode while it runs.
    ConfigModeOwner::watch(this, ConfigModeOwner::CanDeviceDownload, [this] {
        Y5CanFwUpdater* u = updater();
        return (u && u->isBusy()) || canModuleBootloaderRunning();
    });

    QList<QWidget*> pages{buildControlUnitTab(nullptr), buildCanDevicesTab(nullptr)};
    const QStringList titles{tr("Control Unit"), tr("CAN Devices")};
    QList<QShortcut*> shortcuts;
    for (int i = 0; i < pages.size(); ++i) {
        auto* shortcut = new QShortcut(QKeySequence(int(Qt::CTRL) + int(Qt::Key_0) + i), this);
        shortcut->setContext(Qt::WindowShortcut);
        shortcuts << shortcut;
    }
    tabWidget = new myTabWidget(pages, titles, &shortcuts, this);
    tabWidget->setFocusPolicy(Qt::WheelFocus);
    tabWidget->setTabShape(QTabWidget::Rounded);
    tabWidget->setElideMode(Qt::ElideNone);
    tabWidget->tabBar()->setAutoFillBackground(true);
    tabWidget->setUsesScrollButtons(true);
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(tabWidget);

    accessControls = {discoverButton, openCanFirmwareButton};
    chargingMask = 0;
    loggedIn = false;
    tabWidget->setTabEnabled(kCanTab, true);
}

void UpdatePage::stopCanDownloads()
{
    if (!stopCanModuleBootloaders(kDownloadStopWaitMs))
        logMessage(QStringLiteral("A CAN device download did not stop in time"), 0);
}

UpdatePage::~UpdatePage()
{
    ConfigModeOwner::unwatch(this);
    // A CAN device download must not outlive the link it uses.
    stopCanDownloads();
    clearCanDeviceList();
    // The device information Params stay registered in the root map, which
    // outlives the page in the window; they go with the page's widgets.
    qDeleteAll(deviceInfoParams);
}

// --- services

Y5ProtocolHandler* UpdatePage::handler() const
{
    if (g_mainWindow && g_mainWindow->protocolHandler())
        return g_mainWindow->protocolHandler();
    Communicator* c = communicator();
    return c ? c->protocolHandler() : nullptr;
}

bool UpdatePage::canUpdateBusy() const
{
    Y5CanFwUpdater* u = updater();
    return (u && u->isBusy()) || canModuleBootloaderRunning() || (canJobsBusy && canJobsBusy());
}

Y5CanFwUpdater* UpdatePage::updater() const
{
    if (canUpdater)
        return canUpdater;
    return g_mainWindow ? g_mainWindow->canFwUpdater() : nullptr;
}

// --- Control Unit tab

void UpdatePage::addDeviceInfoParam(const QString& caption, const QString& sentenceName, int field, int valueType)
{
    QWidget* w = createPlainParamWidget(ParamWidgetKind::Label);
    deviceInfoParams.append(createDisplayParam(caption, sentenceName, field, valueType, 0, 1.0, 0,
                                               ParamWidgetKind::Label, w, sentenceMap()));
}

QWidget* UpdatePage::buildControlUnitTab(QWidget* parent)
{
    updateActive = false;
    auto* tab = new SignalWindowTab(parent);
    auto* v = new QVBoxLayout(tab);

    addDeviceInfoParam(QStringLiteral("Firmware Version"), QStringLiteral("VR1"), 2, 0);
    addDeviceInfoParam(QStringLiteral("Serial Number"), QStringLiteral("VR1"), 1, 2);
    addDeviceInfoParam(QStringLiteral("Customer ID"), QStringLiteral("VR1"), 3, 2);
    addDeviceInfoParam(QStringLiteral("Feature Set ID"), QStringLiteral("VR1"), 4, 2);
    auto* info = group(tr("Device Information"));
    auto* infoGrid = new QGridLayout(info);
    const QStringList captions{tr("Firmware Version:"), tr("Serial Number:"), tr("Customer ID:"),
                               tr("Feature Set ID:")};
    for (int i = 0; i < captions.size(); ++i) {
        infoGrid->addWidget(new QLabel(captions.at(i)), i, 0);
        infoGrid->addWidget(deviceInfoParams.at(i)->widget, i, 1);
    }
    if (g_factoryMode) {
        setSerialButton = new QPushButton(tr("Set Serial Number:"));
        new Tip(setSerialButton, tr("Sets the serial number if it was not set yet and shows -1."), 1, 200, 10000, 0);
        serialEdit = new QLineEdit;
        setCustomerButton = new QPushButton(tr("Set Customer/Feature Set ID:"));
        customerEdit = new QLineEdit;
        featureSetEdit = new QLineEdit;
        infoGrid->addWidget(setSerialButton, 4, 0);
        infoGrid->addWidget(serialEdit, 4, 1);
        infoGrid->addWidget(setCustomerButton, 5, 0);
        infoGrid->addWidget(customerEdit, 5, 1);
        infoGrid->addWidget(featureSetEdit, 5, 2);
    }
    v->addWidget(new WidgetFold(info));
    v->addSpacing(13);

    auto* unitGroup = group(tr("New Firmware"));
    auto* unitGrid = new QGridLayout(unitGroup);
    fileValue = addRow(unitGrid, 0, tr("File:"));
    versionValue = addRow(unitGrid, 1, tr("Version:"));
    releaseDateValue = addRow(unitGrid, 2, tr("Release date:"), &releaseDateCaption);
    targetSerialValue = addRow(unitGrid, 3, tr("For device SN:"));
    unitGrid->addWidget(new QLabel, 4, 0, 1, 2);
    openFirmwareButton = new QPushButton(tr("Open firmware file..."));
    unitGrid->addWidget(openFirmwareButton, 5, 0, 1, 2);
    releaseDateCaption->hide();
    releaseDateValue->hide();
    v->addWidget(new WidgetFold(unitGroup));
    v->addSpacing(13);

    startUpdateButton = new QPushButton(tr("Start update"));
    startUpdateButton->setEnabled(false);
    v->addWidget(startUpdateButton);
    v->addSpacing(13);
    statusText = new QLabel;
    statusText->hide();
    v->addWidget(statusText);
    progressBar = newProgressBar();
    v->addWidget(progressBar);
    stopWaitButton = new QPushButton(tr("Stop waiting"));
    stopWaitButton->hide();
    v->addWidget(stopWaitButton);
    v->addStretch();
    m_unitWaitTimer = new QTimer(this);
    m_unitWaitTimer->setInterval(200);
    connect(m_unitWaitTimer, &QTimer::timeout, this, &UpdatePage::watchUnitWait);
    // The restore after an update may also begin when the tool connects.
    m_unitWaitTimer->start();
    connect(stopWaitButton, &QPushButton::clicked, this, &UpdatePage::slotStopWaitClicked);

    connect(openFirmwareButton, &QPushButton::clicked, this, &UpdatePage::slotOpenFirmwareFileClicked);
    connect(startUpdateButton, &QPushButton::clicked, this, &UpdatePage::slotStartUpdateClicked);
    connectProgress(communicator());
    if (setSerialButton) {
        connect(setSerialButton, &QPushButton::clicked, this, &UpdatePage::slotSerialNumberPressed);
        connect(setCustomerButton, &QPushButton::clicked, this, &UpdatePage::slotSetCustomerIDPressed);
    }
    connect(CommunicatorSelector::instance(), &CommunicatorSelector::CommunicatorChanged, this,
            [this](CommunicatorSelector::Selection, AbstractCommunicator* c) {
                QMutexLocker lock(&m_communicatorMutex);
                connectProgress(c ? c : communicator());
            },
            Qt::DirectConnection);
    return tab;
}

void UpdatePage::connectProgress(Communicator* c)
{
    if (!c)
        return;
    // Unique: a transport connected again does not report twice.
    connect(c, &CommunicatorBase::sigFirmwareUpdateProgress, this,
            QOverload<int, int, QString>::of(&UpdatePage::slotUpdateProgress),
            Qt::ConnectionType(Qt::AutoConnection | Qt::UniqueConnection));
}

void UpdatePage::versionReceived(const QString& sentence)
{
    Y5ProtocolHandler* h = handler();
    if (sentence.startsWith(QLatin1String("CS"))) {
        updateChargingState(sentence);
    } else if (sentence.startsWith(QLatin1String("PW1"))) {
        loggedIn = sentence.size() > 4 && sentence.at(4).isDigit() && sentence.at(4) > QLatin1Char('0');
    }
    if (h && setSerialButton && serialEdit && setCustomerButton && customerEdit && featureSetEdit) {
        const QStringList line = h->versionLine().split(QLatin1Char(','));
        const bool show = line.value(3).contains(QLatin1String("LED_TEST"))
                          || h->deviceSerial() == QLatin1String("FFFFFFFF");
        for (QWidget* w : QList<QWidget*>{setSerialButton, serialEdit, setCustomerButton, customerEdit, featureSetEdit})
            w->setVisible(show);
    }
}

void UpdatePage::updateChargingState(const QString& sentence)
{
    const QStringList f = sentence.split(QLatin1Char(','));
    for (int n = 1; n <= 4; ++n) {
        if (!sentence.startsWith(QStringLiteral("CS%1").arg(n)))
            continue;
        // A sentence without a field reads as an empty one: not charging.
        if (f.value(1) == QLatin1String("01"))
            chargingMask |= (1u << (n - 1));
        else
            chargingMask &= ~(1u << (n - 1));
        return;
    }
}

void UpdatePage::warnIfCharging()
{
    if (showNotice)
        showNotice(tr("WARNING!"), tr("Charging is in progress, and the action \nyou are trying to execute may cause "
                                      "\nundefined behavior. Please disconnect the \ncharger before and try again."));
}

void UpdatePage::connectionStatusChanged(bool linked)
{
    connected = linked;
    refreshUpdateButtons();
    // The link always drops around an update: its outcome stays.
    if (!updateActive && !outcomeShown) {
        statusText->hide();
        progressBar->hide();
    }
    if (linked) {
        if (Y5ProtocolHandler* h = handler())
            h->sendVersionRequest();
        discoverButton->setEnabled(true);
        updateFirmwareButton->setEnabled(false);
    } else {
        discoverButton->setEnabled(false);
        updateFirmwareButton->setEnabled(false);
        clearCanDeviceList();
    }
    for (Param* p : deviceInfoParams) {
        if (!p->widget)
            continue;
        if (linked) {
            p->widget->setEnabled(true);
        } else {
            if (p->widgetKind == ParamWidgetKind::Label)
                if (auto* l = qobject_cast<QLabel*>(p->widget))
                    l->clear();
            p->widget->setEnabled(false);
        }
    }
}

void UpdatePage::setControlsEnabled(bool enabled)
{
    m_controlsEnabled = enabled;
    for (QWidget* w : accessControls)
        w->setEnabled(enabled && connected);
}

void UpdatePage::slotConfigParamUpdate(int id, uint32_t value)
{
    if (id != kCanEnableParam || !tabWidget)
        return;
    const bool on = value & kCanEnableBit;
    if (tabWidget->isTabEnabled(kCanTab) != on)
        tabWidget->setTabEnabled(kCanTab, on);
}

bool UpdatePage::versionPair(const QString& text, int* major, int* minor)
{
    static const QRegularExpression re(QStringLiteral("^\\s*v?(\\d+)(?:\\.(\\d+))?"));
    const QRegularExpressionMatch m = re.match(text);
    if (!m.hasMatch())
        return false;
    *major = m.captured(1).toInt();
    *minor = m.captured(2).isEmpty() ? 0 : m.captured(2).toInt();
    return true;
}

void UpdatePage::refreshUpdateButtons()
{
    // One update at a time, and its image stays as it was started.
    startUpdateButton->setEnabled(!controlUnitImage.isEmpty() && connected && !updateActive);
    openFirmwareButton->setEnabled(!updateActive);
}

void UpdatePage::failStart(const QString& text)
{
    endUpdate(text, 0);
}

void UpdatePage::endUpdate(const QString& text, int barValue)
{
    // A refused start leaves the mark of whatever else holds the window.
    if (updateActive)
        updateRunning = false;
    updateActive = false;
    outcomeShown = true;
    m_unitWaitSinceMs = -1;
    stopWaitButton->hide();
    statusText->setText(text);
    progressBar->setRange(0, 100);
    progressBar->setValue(barValue);
    statusText->show();
    progressBar->show();
    refreshUpdateButtons();
}

void UpdatePage::watchUnitWait()
{
    Y5ProtocolHandler* h = handler();
    const bool waiting = h && h->isWaitingForUnit();
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    if (!waiting) {
        if (stopWaitButton->isVisible()) {
            stopWaitButton->hide();
            statusText->setText(m_textBeforeWait);
        }
        m_unitWaitSinceMs = -1;
        return;
    }
    if (m_unitWaitSinceMs < 0)
        m_unitWaitSinceMs = now;
    if (!stopWaitButton->isVisible() && now - m_unitWaitSinceMs >= unitWaitShowMs) {
        // A lost reply holds the login for minutes: say so, and let the user end it.
        m_textBeforeWait = statusText->text();
        statusText->setText(tr("Waiting for the Control Unit to answer..."));
        statusText->show();
        stopWaitButton->show();
    }
}

void UpdatePage::slotStopWaitClicked()
{
    if (Y5ProtocolHandler* h = handler())
        h->cancelUnitWait();
    stopWaitButton->hide();
    m_unitWaitSinceMs = -1;
    // The restore starts again when the unit answers; the saved
    // configuration is kept until then.
    statusText->setText(tr("Stopped waiting for the Control Unit. The configuration is restored when it answers "
                           "again."));
}

QString UpdatePage::startRefusal(Y5ProtocolHandler* h, bool saveFirst) const
{
    Communicator* c = communicator();
    if (!connected || !c || !c->linked)
        return tr("Update not started: there is no link to the Control Unit. Connect it and try again.");
    if (!imageFitsUnit(controlUnitImage, h->deviceKind()))
        return tr("Update not started: the loaded firmware file cannot be sent to this Control Unit. "
                  "Open a firmware file for it.");
    if (h->isFirmwareUpdating())
        return tr("Update not started: another firmware update is running. Wait until it has finished.");
    if (canUpdateBusy())
        return tr("Update not started: a CAN device operation is running. Wait until it has finished.");
    if (saveFirst && !(configurationRead && configurationRead()))
        return tr("Update not started: the configuration has not been read from the Control Unit, so it "
                  "cannot be saved before the update. Open the Configuration page, load the configuration "
                  "parameters from the Control Unit, then start the update again.");
    return QString();
}

bool UpdatePage::imageFitsUnit(const QByteArray& image, const QString& deviceKind)
{
    if (image.isEmpty())
        return false;
    if (deviceKind == QLatin1String("BMS3")) {
        QBuffer buffer;
        buffer.setData(image);
        return buffer.open(QIODevice::ReadOnly) && isFirmwareFileValid(buffer);
    }
    return Y5FwUpdater::isFrameImage(image);
}

void UpdatePage::slotStartUpdateClicked(bool)
{
    // The start waits with the event loop running: never a second one.
    if (updateActive)
        return;
    if (chargingMask != 0) {
        warnIfCharging();
        return;
    }
    Y5ProtocolHandler* h = handler();
    if (!h)
        return;
    const QString unitVersion = h->deviceVersion();
    if (!(loggedIn || h->isBootMode() || unitVersion == QLatin1String("version LED_TEST")
          || unitVersion == QLatin1String("version CAN_RETRANSMITTER"))) {
        if (showNotice)
            showNotice(tr("WARNING!"), tr("Please log in first"));
        return;
    }
    const bool saveFirst = !h->isBootMode() && !versionValue->text().startsWith(QLatin1String("CAN"))
                           && !versionValue->text().startsWith(QLatin1String("LED"))
                           && !unitVersion.startsWith(QLatin1String("CAN"))
                           && !unitVersion.startsWith(QLatin1String("LED"));
    // Everything that could refuse the update is checked before anything
    // changes the unit (saving, factory defaults, its bootloader).
    const QString refusal = startRefusal(h, saveFirst);
    if (!refusal.isEmpty()) {
        failStart(refusal);
        if (showMessage)
            showMessage(this, refusal);
        return;
    }
    // From here on the update holds the page and the window until its outcome.
    updateActive = true;
    updateRunning = true;
    outcomeShown = false;
    m_imageWritten = false;
    m_restoreSeen = false;
    refreshUpdateButtons();
    if (saveFirst) {
        statusText->setText(tr("Saving configuration..."));
        progressBar->setValue(0);
        statusText->show();
        progressBar->show();
        FeatureSupportTable* table = featureSupportTable();
        if (table && table->isSupportedByVersion(98, controlUnitImageVersion)
            && !(exportStatistics && exportStatistics())) {
            failStart(tr("Update failed! Could not save configuration."));
            return;
        }
        // The configuration must be safe before anything may erase it.
        if (!(saveConfiguration && saveConfiguration())) {
            failStart(tr("Update failed! Could not save configuration."));
            return;
        }
    }
    if (g_mainWindow)
        g_mainWindow->updateStatisticsActions(false);

    // Crossing version 2.7 either way needs the unit's factory defaults first.
    int curMajor = 0, curMinor = 0, newMajor = 0, newMinor = 0;
    const bool curRead = versionPair(unitVersion, &curMajor, &curMinor);
    const bool newRead = versionPair(controlUnitImageVersion, &newMajor, &newMinor);
    auto below27 = [](bool read, int major, int minor) { return !read || major < 2 || (major == 2 && minor < 7); };
    if (below27(curRead, curMajor, curMinor) != below27(newRead, newMajor, newMinor)
        && !h->versionLine().contains(QLatin1String("boot"))) {
        if (Communicator* c = communicator())
            emit c->sigFirmwareUpdateProgress(-1, 2, QString());
        h->sendFactoryDefaults();
        for (int i = 0; i < factoryResetWaitSteps; ++i) {
            QThread::msleep(10);
            QCoreApplication::processEvents();
        }
        h->authenticate();
    }
    h->startFirmwareUpdate(controlUnitImage);
    if (!h->isFirmwareUpdating()) {
        // Refused (link down, another update busy): say so at once.
        if (g_mainWindow)
            g_mainWindow->updateStatisticsActions(true);
        failStart(tr("Update failed! The update could not be started."));
        return;
    }
    statusText->setText(tr("Starting firmware update..."));
    progressBar->setValue(0);
    statusText->show();
    progressBar->show();
}

void UpdatePage::slotUpdateProgress(int value, int kind)
{
    slotUpdateProgress(value, kind, QString());
}

void UpdatePage::slotUpdateProgress(int value, int kind, QString text)
{
    if (text.size() > 1) {
        statusText->setText(text);
        return;
    }
    auto setBar = [this](int v) {
        progressBar->setMaximum(100);
        progressBar->setValue(v);
    };
    if (kind == 1) {
        if (value == -1 || value == -2) {
            endUpdate(value == -1 ? tr("Update failed! Bad file.") : tr("Update failed! Device not responding."),
                      value);
            return;
        }
        if (value == 100) {
            statusText->setText(tr("Update complete."));
            m_imageWritten = true;
            updateRunning = false;
        } else {
            statusText->setText(tr("Updating firmware..."));
        }
        setBar(value);
    } else if (kind == 2) {
        if (value == -1) {
            m_restoreSeen = m_restoreSeen || m_imageWritten;
            statusText->setText(tr("Formatting EEPROM..."));
            statusText->show();
            progressBar->show();
            progressBar->setRange(0, 0);
            progressBar->setValue(0);
        } else if (value == 100) {
            // Every link session reports this: only an update ends here, and
            // an outcome already shown stays.
            if (updateActive)
                endUpdate(m_restoreSeen ? tr("Loading configuration complete.") : tr("Update complete."), 100);
            else if (!outcomeShown) {
                statusText->setText(tr("Loading configuration complete."));
                statusText->hide();
                progressBar->hide();
                setBar(100);
            }
        } else {
            statusText->setText(tr("Loading configuration to BMS..."));
            statusText->show();
            progressBar->show();
            setBar(value);
        }
    } else if (kind == 0) {
        statusText->setText(value == 100 ? tr("Saving configuration complete.") : tr("Saving configuration..."));
        setBar(value);
    } else if (kind == -1 && value == -1) {
        progressBar->setRange(0, 0);
    } else {
        setBar(value);
    }
}

void UpdatePage::slotSerialNumberPressed()
{
    quint32 serial = 0;
    if (!serialEdit || !readU32(serialEdit->text(), &serial))
        return;
    sendSentence(QStringLiteral("SN1,"), hex8(serial), 20, 200);
    serialEdit->clear();
    if (Y5ProtocolHandler* h = handler())
        h->sendVersionRequest();
}

void UpdatePage::slotSetCustomerIDPressed()
{
    if (Y5ProtocolHandler* h = handler())
        h->sendVersionRequest();
    quint32 customer = 0, featureSet = 0;
    if (!customerEdit || !featureSetEdit || !readU32(customerEdit->text(), &customer)
        || !readU32(featureSetEdit->text(), &featureSet))
        return;
    sendSentence(QStringLiteral("CI1,"), hex8(customer) + QLatin1Char(',') + hex8(featureSet), 20, 200);
    customerEdit->clear();
    featureSetEdit->clear();
}

QString UpdatePage::askForFirmwareFile()
{
    QSettings settings;
    const QString start = settings.value(QLatin1String(kWorkingDirectory), QCoreApplication::applicationDirPath())
                              .toString();
    const QString path = chooseFile ? chooseFile(this, start) : QString();
    if (path.isEmpty())
        return QString();
    settings.setValue(QLatin1String(kWorkingDirectory), QFileInfo(path).absolutePath());
    return path;
}

void UpdatePage::resetNewFirmware()
{
    fileValue->clear();
    versionValue->clear();
    targetSerialValue->clear();
    startUpdateButton->setEnabled(false);
    releaseDateCaption->hide();
    releaseDateValue->hide();
    controlUnitImage.clear();
    controlUnitImageVersion.clear();
}

void UpdatePage::slotOpenFirmwareFileClicked(bool)
{
    // The running update reads the image.
    if (updateActive)
        return;
    const QString path = askForFirmwareFile();
    if (path.isEmpty())
        return;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (showMessage)
            showMessage(this, QString::fromLatin1(ImageFileText::kCouldNotOpen));
        resetNewFirmware();
        return;
    }
    controlUnitImage.clear();
    controlUnitImageVersion.clear();
    releaseDateCaption->hide();
    releaseDateValue->hide();
    fileValue->setText(path);

    Y5ProtocolHandler* h = g_mainWindow ? g_mainWindow->protocolHandler() : nullptr;
    const QString kind = h ? h->deviceKind() : QString();
    const quint32 serial = g_mainWindow ? g_mainWindow->bmsSerialNumber() : 0;
    const ControlUnitImageFile r = readControlUnitImage(file, kind, serial);
    file.close();
    if (!r.ok) {
        if (showMessage)
            showMessage(this, messageText(r.message));
        resetNewFirmware();
        return;
    }
    versionValue->setText(r.versionValue);
    targetSerialValue->setText(r.serialValue);
    releaseDateValue->setText(r.releaseDateValue);
    releaseDateCaption->setVisible(r.showReleaseDate);
    releaseDateValue->setVisible(r.showReleaseDate);
    controlUnitImage = r.image;
    controlUnitImageVersion = r.versionText;
    if (connected)
        startUpdateButton->setEnabled(true);
    // Something new begins: the last update's outcome goes.
    outcomeShown = false;
    statusText->hide();
    progressBar->hide();
}

// --- CAN Devices tab

QWidget* UpdatePage::buildCanDevicesTab(QWidget* parent)
{
    auto* tab = new SignalWindowTab(parent);
    auto* v = new QVBoxLayout(tab);

    auto* listGroup = group(tr("CAN device list"));
    auto* listLayout = new QVBoxLayout(listGroup);
    auto* row = new QHBoxLayout;
    discoverButton = new QPushButton(tr("Discover devices"));
    new Tip(discoverButton, tr("Discover devices on CAN bus."), 1, 200, 10000, 0);
    row->addWidget(discoverButton);
    row->addStretch();
    listLayout->addLayout(row);
    deviceTree = new QTreeWidget;
    deviceTree->setColumnCount(3);
    deviceTree->setHeaderLabels({tr("Device Type"), tr("Serial Number"), tr("Firmware Version")});
    deviceTree->setColumnWidth(0, 200);
    deviceTree->setColumnWidth(1, 100);
    deviceTree->setColumnWidth(2, 100);
    deviceTree->setRootIsDecorated(false);
    deviceTree->setDragEnabled(false);
    deviceTree->setAcceptDrops(false);
    deviceTree->setEditTriggers(QAbstractItemView::NoEditTriggers);
    deviceTree->setSelectionMode(QAbstractItemView::SingleSelection);
    listLayout->addWidget(deviceTree);
    canImageLoaded = false;
    selectedRow = 255;
    v->addWidget(new WidgetFold(listGroup));

    auto* fwGroup = group(tr("New firmware"));
    auto* fwGrid = new QGridLayout(fwGroup);
    canFileValue = addRow(fwGrid, 0, tr("File:"), nullptr, 3);
    canVersionValue = addRow(fwGrid, 1, tr("Version:"), nullptr, 3);
    canReleaseDateValue = addRow(fwGrid, 2, tr("Release date:"), &canReleaseDateCaption, 3);
    targetDeviceValue = addRow(fwGrid, 3, tr("Target device:"), nullptr, 3);
    openCanFirmwareButton = new QPushButton(tr("Open firmware file"));
    fwGrid->addWidget(openCanFirmwareButton, 4, 0, 1, 4);
    canReleaseDateCaption->hide();
    canReleaseDateValue->hide();
    v->addWidget(new WidgetFold(fwGroup));

    auto* upGroup = group(tr("Firmware update"));
    auto* upGrid = new QGridLayout(upGroup);
    updateFirmwareButton = new QPushButton(tr("Update Firmware"));
    updateFirmwareButton->setEnabled(false);
    upGrid->addWidget(updateFirmwareButton, 0, 0, 1, 2);
    upGrid->addWidget(new QLabel(tr("Status:")), 1, 0);
    canStatusText = new QLabel;
    upGrid->addWidget(canStatusText, 1, 1);
    upGrid->addWidget(new QLabel(tr("Progress:")), 2, 0);
    canProgressBar = newProgressBar();
    upGrid->addWidget(canProgressBar, 2, 1);
    v->addWidget(new WidgetFold(upGroup));
    v->addStretch();

    connect(discoverButton, &QPushButton::clicked, this, &UpdatePage::slotCanDevicesDiscover);
    connect(deviceTree, &QTreeWidget::clicked, this, &UpdatePage::slotCanDeviceListWidgetItemClicked);
    connect(openCanFirmwareButton, &QPushButton::clicked, this, &UpdatePage::slotCanDevicesOpenFirmware);
    connect(updateFirmwareButton, &QPushButton::clicked, this, &UpdatePage::slotCanDevicesStartUpdate);
    return tab;
}

bool UpdatePage::deviceMatches(quint16 t, quint16 c)
{
    if (t > 15 && c > 15)
        return (t >> 4) == (c >> 4);
    if (t <= 15 && c <= 15)
        return t == c;
    return false;
}

QString UpdatePage::versionColumnText(quint16 t, quint32 v)
{
    if (v == 0xFF00FF00u)
        return tr("Bootloader Mode");
    const bool threePart = t == 0x30 || t == 0x60 || t == 0x70 || t == 0x80 || t == 0x90;
    if (v <= 29 || !threePart)
        return QStringLiteral("%1.%2").arg(v / 10).arg(v % 10);
    return QStringLiteral("%1.%2.%3").arg(v >> 28).arg((v >> 20) & 0xFF).arg(v & 0xFFFFF);
}

void UpdatePage::clearCanDeviceList()
{
    while (deviceTree && deviceTree->topLevelItemCount() > 0)
        deviceTree->takeTopLevelItem(0);
    for (CanDeviceListEntry* e : deviceEntries) {
        delete e->item;
        delete e;
    }
    deviceEntries.clear();
}

void UpdatePage::addCanDeviceRow(quint16 typeId, quint32 serial, quint32 version)
{
    auto* e = new CanDeviceListEntry;
    e->typeId = typeId;
    e->serial = serial;
    e->softwareVersion = version;
    e->valid = true;
    e->item = new QTreeWidgetItem(QStringList{canDeviceDescription(typeId), QString::number(serial),
                                              versionColumnText(typeId, version)});
    deviceTree->addTopLevelItem(e->item);
    deviceEntries.append(e);
}

void UpdatePage::fillCanDeviceList()
{
    const int n = discoverListSize ? std::min(discoverListSize(), 255) : 0;
    for (int i = 0; i < n; ++i) {
        DiscoveredDevice d;
        if (discoverListEntry && discoverListEntry(quint8(i), &d))
            addCanDeviceRow(d.typeId, d.serial, d.version);
    }
    if (deviceEntries.size() == 1 && canImageLoaded && !(canJobsBusy && canJobsBusy())) {
        selectedRow = 0;
        updateFirmwareButton->setEnabled(deviceMatches(deviceEntries.at(0)->typeId, canProductCode));
    }
}

void UpdatePage::slotCanDevicesDiscover()
{
    if (chargingMask != 0) {
        warnIfCharging();
        return;
    }
    if (!(canJobsPresent && canJobsPresent()) || !startCanDiscovery)
        return;
    const ConfigModeOwner::Holder other = ConfigModeOwner::heldAgainst(ConfigModeOwner::CanJobs);
    if (other != ConfigModeOwner::Nobody) {
        if (showMessage)
            showMessage(this, ConfigModeOwner::refusalText(other));
        return;
    }
    if (confirmConfigurationMode && confirmConfigurationMode())
        startCanDiscovery();
}

void UpdatePage::slotCanDeviceOperationStatus(int status, int operation)
{
    if (operation == kOpFirmware && (status == kFinished || status == kFailed) && !updateActive)
        updateRunning = false;
    auto disableThree = [this] {
        discoverButton->setEnabled(false);
        updateFirmwareButton->setEnabled(false);
        openCanFirmwareButton->setEnabled(false);
    };
    auto enableBoth = [this] {
        discoverButton->setEnabled(true);
        openCanFirmwareButton->setEnabled(true);
    };
    if (status == kStarted) {
        if (operation == kOpDiscovery) {
            setCursor(Qt::WaitCursor);
            clearCanDeviceList();
            disableThree();
        } else if (operation == kOpCommit || operation == kOpFirmware) {
            setCursor(Qt::WaitCursor);
            disableThree();
        } else if (operation == kOpSpeed) {
            disableThree();
        }
    } else if (status == kFinished) {
        if (operation == kOpDiscovery) {
            setCursor(Qt::ArrowCursor);
            clearCanDeviceList();
            fillCanDeviceList();
            enableBoth();
        } else if (operation == kOpCommit || operation == kOpFirmware) {
            setCursor(Qt::ArrowCursor);
            enableBoth();
        } else if (operation == kOpSpeed) {
            enableBoth();
        }
    } else if (status == kFailed) {
        setCursor(Qt::ArrowCursor);
        if (operation == kOpDiscovery) {
            clearCanDeviceList();
            discoverButton->setEnabled(true);
        } else if (operation == kOpCommit || operation == kOpFirmware || operation == kOpSpeed) {
            enableBoth();
        }
    }
}

void UpdatePage::slotCanDeviceListWidgetItemClicked(const QModelIndex& index)
{
    selectedRow = quint8(index.row() & 0xFF);
    if (selectedRow >= deviceEntries.size() || !canImageLoaded || (canJobsBusy && canJobsBusy()))
        return;
    updateFirmwareButton->setEnabled(deviceMatches(deviceEntries.at(selectedRow)->typeId, canProductCode));
}

void UpdatePage::slotCanDevicesOpenFirmware()
{
    canImageLoaded = openCanFirmwareFile();
    if (!canImageLoaded) {
        updateFirmwareButton->setEnabled(false);
        return;
    }
    if (selectedRow < deviceEntries.size())
        updateFirmwareButton->setEnabled(deviceMatches(deviceEntries.at(selectedRow)->typeId, canProductCode));
}

void UpdatePage::slotCanDevicesStartUpdate()
{
    if (chargingMask != 0) {
        warnIfCharging();
        return;
    }
    if (!(confirmConfigurationMode && confirmConfigurationMode()))
        return;
    canProgressBar->setEnabled(true);
    canStatusText->setText(tr("Starting firmware update"));
    if (selectedRow >= deviceEntries.size())
        return;
    const CanDeviceListEntry* e = deviceEntries.at(selectedRow);
    DiscoveredDevice d;
    const bool same = discoverListEntry && discoverListEntry(selectedRow, &d) && d.typeId == e->typeId
                      && d.serial == e->serial;
    if (!same || !e->valid || !deviceMatches(e->typeId, canProductCode)) {
        if (showMessage)
            showMessage(this, tr("Wrong device index. Please re-discover CAN Devices"));
        return;
    }
    // One update at a time: a control-unit update owns the port, and a second
    // device update would share the unit's configuration mode.
    Y5ProtocolHandler* h = handler();
    const bool unitUpdating = h && h->isFirmwareUpdating();
    // Another job in the unit's configuration mode (the current sensor's,
    // the temperature boards') keeps the download from starting too.
    const ConfigModeOwner::Holder other = ConfigModeOwner::heldAgainst(ConfigModeOwner::CanDeviceDownload);
    if (!unitUpdating && !canUpdateBusy() && other != ConfigModeOwner::Nobody) {
        canProgressBar->setEnabled(false);
        canStatusText->setText(tr("Failed"));
        if (showMessage)
            showMessage(this, ConfigModeOwner::refusalText(other));
        return;
    }
    if (unitUpdating || canUpdateBusy()) {
        canProgressBar->setEnabled(false);
        canStatusText->setText(tr("Failed"));
        if (showMessage)
            showMessage(this, unitUpdating ? tr("The firmware of the Control Unit is being updated. Start the "
                                                "update of the device when it has finished.")
                                           : tr("A CAN device operation is running. Start the update of the "
                                                "device when it has finished."));
        return;
    }
    const quint16 t = e->typeId;
    if (t > 15) {
        const int high = t >> 4;
        if (!(high == 2 || high == 3 || high == 6 || high == 7 || high == 8 || high == 9)) {
            canProgressBar->setEnabled(false);
            canStatusText->setText(tr("Failed"));
            if (showMessage)
                showMessage(this, tr("Trying to start update of unsupported product: %1.").arg(t));
            return;
        }
        if (startModuleBootloader) {
            // Until it reports its end, closing the window would cut it off.
            updateRunning = true;
            startModuleBootloader(communicator(), t, e->serial, canImage);
        }
    } else {
        Y5CanFwUpdater* u = updater();
        if (u && g_mainWindow && g_mainWindow->canProtocolHandler())
            u->setProtocolHandler(g_mainWindow->canProtocolHandler());
        if (!u || !u->start(&canImage, t, e->serial)) {
            // Nothing was started: the tab stays usable.
            canStatusText->setText(tr("Failed"));
            canProgressBar->setEnabled(false);
            return;
        }
        // Closing mid-image would leave the device half written.
        updateRunning = true;
    }
    canProgressBar->show();
    discoverButton->setEnabled(false);
    openCanFirmwareButton->setEnabled(false);
    updateFirmwareButton->setEnabled(false);
}

void UpdatePage::slotCanDevicesProgress(int value)
{
    if (value == -1) {
        canProgressBar->setRange(0, 0);
        return;
    }
    // The range first, so the first value after a busy bar shows.
    canProgressBar->setMaximum(100);
    canProgressBar->setValue(value);
}

void UpdatePage::slotCanDevicesStatusUpdate(int stage, int code)
{
    slotCanDevicesStatusUpdate(stage, code, QString());
}

void UpdatePage::slotCanDevicesStatusUpdate(int stage, int code, QString text)
{
    if (stage < 0 || stage > 3 || code < 0 || code > 15)
        return;
    QString s;
    switch (stage * 16 + code) {
    case 0x01: s = tr("Starting firmware update"); break;
    case 0x05: s = text; break;
    case 0x10: s = tr("Entering Config Mode"); break;
    case 0x11: s = tr("Device is in Config Mode"); break;
    case 0x12: s = tr("Enter Config Mode timeout"); break;
    case 0x13: s = tr("Enter Config Mode failed"); break;
    case 0x20: s = tr("Uploading firmware"); break;
    case 0x21: s = tr("Firmware upload finished"); break;
    case 0x22: s = tr("Firmware packet upload timeout, retry"); break;
    case 0x23: s = tr("Firmware upload failed: too many retries"); break;
    case 0x24: s = tr("Firmware upload packet error, retry"); break;
    case 0x30: s = tr("Calculating application CRC"); break;
    case 0x31: s = tr("Application CRC OK, device is working. Update was successful"); break;
    case 0x32: s = tr("Devices is not responding. Update failed"); break;
    case 0x34: s = tr("Application CRC is not correct. Update failed"); break;
    default: return;
    }
    canStatusText->setText(s);
}

bool UpdatePage::openCanFirmwareFile()
{
    const QString path = askForFirmwareFile();
    if (path.isEmpty())
        return false;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (showMessage)
            showMessage(this, messageText({QString::fromLatin1(ImageFileText::kCouldNotOpen), true}));
        return false;
    }
    const CanImageFile r = readCanImage(file);
    file.close();
    for (const ImageFileMessage& m : r.messages)
        if (showMessage)
            showMessage(this, messageText(m));
    if (r.outcome == CanImageFile::Unchanged)
        return false;
    canImage = r.image;
    canProductCode = r.productCode;
    targetDeviceValue->setText(r.targetKnown && canDeviceDescriber ? canDeviceDescriber(r.descriptionCode)
                                                                   : QString());
    canVersionValue->setText(r.versionValue);
    canFileValue->setText(file.fileName());
    canReleaseDateValue->setText(r.releaseDateValue);
    canReleaseDateCaption->setVisible(r.showReleaseDate);
    canReleaseDateValue->setVisible(r.showReleaseDate);
    return r.ok();
}
