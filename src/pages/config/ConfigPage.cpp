// Construction, and the reading of all parameters through the loader.
#include "ConfigPage.h"

#include "CellStringLayout.h"
#include "Communicator.h"

#include "ConfigParam.h"
#include "ConfigParamLoader.h"
#include "MainWindowServices.h"
#include "TemperatureCalibrationWindow.h"
#include "Y5ProtocolHandler.h"
#include "myTabWidget.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QProgressBar>
#include <QProgressDialog>
#include <QRegExpValidator>
#include <QThread>

namespace {

// Hex CAN identifier texts: "0x" (or "x", or nothing) and 3, 4 or 8 hex
// digits. An 11-bit editor shows four digits ("0x07FF"), so a leading zero
// is allowed before its three.
const char* const kCanIdPatterns[] = {
    "(0?[xX])?[0-9A-Fa-f]{1,8}",
    "(0?[xX])?0?[0-9A-Fa-f]{1,3}",
    "(0?[xX])?[0-9A-Fa-f]{1,4}",
    "(0?[xX])?0?[0-9A-Fa-f]{1,3}",
};

} // namespace

ConfigPage::ConfigPage(CSntcMap* sentenceMap, Communicator* communicator, QWidget* parent,
                       FeatureSupportTable* featureTable)
    : BasePage(sentenceMap, communicator, parent, featureTable)
{
    setObjectName(QStringLiteral("ConfigPage"));
    for (const char* pattern : kCanIdPatterns)
        m_canIdValidators << new QRegExpValidator(QRegExp(QLatin1String(pattern)), this);

    m_buildingTabs = true;
    buildTabs(parent);
    styleNewEditors();

    securityButtons = {loginButton, setPasswordButton, logoutButton, saveButton, loadButton};
    for (int group : kWidgetGroupsHiddenAtStart)
        setWidgetGroupVisible(group, false);
    // The load shows it instead of "CAN Devices" for units that need it.
    const int scibIndex = tabWidget->indexOf(scibTab);
    if (scibIndex >= 0)
        tabWidget->removeTabAt(scibIndex);
    updateButtonsEnabled();
}

ConfigPage::~ConfigPage()
{
    // Normally the window's close handler has ended the reading already, or
    // has waited for it in vain: then it is not waited for again.
    if (paramLoader && !ConfigParamLoader::shutdown(paramLoader, paramLoader->isStopped() ? 0 : 200)) {
        // A send that hangs: loader and thread go once the thread ends (the
        // loader's hooks keep what they use of this page alive).
        QPointer<ConfigParamLoader> loader = paramLoader;
        QPointer<QThread> thread = loaderThread;
        auto cleanup = [loader, thread] {
            if (!thread)
                return;
            thread->wait();
            delete loader.data();
            delete thread.data();
        };
        if (thread) {
            connect(thread, &QThread::finished, QCoreApplication::instance(), cleanup, Qt::QueuedConnection);
            if (thread->isFinished())
                cleanup();
        }
    }
    delete m_disbalanceWarning;
    delete m_progress; // no parent: it does not go with the page
    delete m_temperatureCalibration;
    // The editors go with the tabs after this: nothing they signal on the
    // way may reach the page's handlers.
    for (const QPointer<QWidget>& editor : qAsConst(m_editors))
        if (editor)
            editor->disconnect(this);
    qDeleteAll(m_params);
    qDeleteAll(m_slots);
}

TemperatureCalibrationWindow* ConfigPage::temperatureCalibrationWindow()
{
    if (!m_temperatureCalibration)
        m_temperatureCalibration = new TemperatureCalibrationWindow(this);
    return m_temperatureCalibration;
}

Y5ProtocolHandler* ConfigPage::protocolHandler() const
{
    if (m_handler)
        return m_handler;
    return g_mainWindow ? g_mainWindow->protocolHandler() : nullptr;
}

void ConfigPage::sendSentence(const QString& name, const QString& parameters, unsigned delayMs, int timeoutMs)
{
    Q_UNUSED(timeoutMs)
    Y5ProtocolHandler* handler = protocolHandler();
    // Nothing goes to the unit while its firmware is written.
    if (!communicator() || !handler || handler->updateRunning)
        return;
    handler->sendSentence(name, parameters, delayMs);
}

// --- reading all parameters

bool ConfigPage::startParamLoader()
{
    Y5ProtocolHandler* handler = protocolHandler();
    if (paramLoader || !handler)
        return false;

    ConfigParamLoader::Hooks hooks;
    std::shared_ptr<ParamReplyWait> wait = m_replyWait;
    hooks.sendParamRequest = [handler, wait](int id) { handler->sendParamRequest(quint16(id)); };
    hooks.replyWait = wait.get();
    hooks.asker = m_asker;
    hooks.linkUp = [handler] { return handler->isConnected(); };
    // The flag is cleared here, on done(), not by the loader's thread: the
    // page may be gone by the time a hung loader ends.
    hooks.loadingFlag = nullptr;
    auto* loader = new ConfigParamLoader(std::move(hooks));

    // One parameter per id the connected firmware has.
    loader->queueParams(paramsToLoad(handler->deviceVersion()));

    const auto q = Qt::QueuedConnection;
    connect(loader, &ConfigParamLoader::sigHideProgressBar, this, &ConfigPage::slotHideProgressBar, q);
    connect(loader, &ConfigParamLoader::sigShowProgressBar, this, &ConfigPage::slotShowProgressBar, q);
    connect(loader, &ConfigParamLoader::sigCloseProgressBar, this, &ConfigPage::slotCloseProgressBar, q);
    connect(loader, &ConfigParamLoader::sigSetProgressBar, this, &ConfigPage::slotSetProgressBar, q);
    connect(loader, &ConfigParamLoader::sigDeleteProgressBarObjects, this,
            &ConfigPage::slotDeleteProgressBarObjects, q);
    connect(loader, &ConfigParamLoader::done, this, [this] {
        parametersLoading = false;
        if (!m_loadStopped)
            return;
        m_loadStopped = false;
        // The link may have come back before the stopped reading ended: the
        // new unit is offered its load now.
        if (communicator() && communicator()->linked)
            setConnected(true);
    }, q);

    createProgressDialog();
    m_loadStopped = false;
    parametersLoading = true;
    paramLoader = loader;
    loaderThread = ConfigParamLoader::start(loader, this);
    connect(loaderThread, &QThread::destroyed, this, [this] { loaderThread = nullptr; });
    return true;
}

bool ConfigPage::waitParamReply(int paramId, const QString& expectedValue, const std::atomic<bool>& stop)
{
    m_replyWait->expect(paramId, expectedValue);
    return m_replyWait->wait(stop);
}

// The pack's cell layout follows whichever of the two values arrived last:
// strings = 0x0013 (1 when 0), cells per string = 0x0100 / strings.
void ConfigPage::layoutCellStrings(uint32_t value, int id)
{
    if (id == kParamCellStrings)
        m_cellStrings = value;
    else
        m_cellCount = value;
    const uint32_t strings = m_cellStrings == 0 ? 1 : m_cellStrings;
    const uint32_t cells = m_cellCount / strings;
    // Above 31 strings the table keeps its old count, and only the strings
    // below it take the new cell count (the setters ignore the rest).
    setCellStringCount(strings <= uint32_t(kMaxCellStrings) ? int(strings) : -1);
    const int rows = int(qMin<uint32_t>(strings, uint32_t(kCellStringRows)));
    for (int i = 0; i < rows; ++i)
        setCellsInString(i, int(qMin<uint32_t>(cells, uint32_t(kMaxCellsInString))));
}

QProgressBar* ConfigPage::newProgressBar()
{
    auto* bar = new QProgressBar;
    bar->setFormat(tr("%p% Completed"));
    bar->setAlignment(Qt::AlignCenter);
    bar->setObjectName(QStringLiteral("progressParameters")); // the style sheet's hook
    return bar;
}

void ConfigPage::createProgressDialog()
{
    delete m_progress;
    m_progressHiddenByUser = false;
    // Without a parent window its modality blocks no window: the user goes on
    // working while the parameters arrive.
    m_progress = new QProgressDialog(tr("Loading parameters from BMS..."), tr("Hide"), 0, 100, nullptr,
                                     Qt::Dialog);
    m_progress->setMinimumWidth(400);
    m_progress->setBar(newProgressBar());
    m_progress->setWindowModality(Qt::WindowModal);
    m_progress->setMinimumDuration(0);
    m_progress->setAutoClose(true);
    m_progress->setAutoReset(true);
    // "Hide" only hides: the reading goes on. The loader learns it through
    // its flag, never by asking the dialog from its thread.
    connect(m_progress, &QProgressDialog::canceled, this, [this] {
        m_progressHiddenByUser = true;
        if (m_progress)
            m_progress->hide();
        if (paramLoader)
            paramLoader->hideProgress();
    });
    m_progress->setValue(0);
    m_progress->show();
}

void ConfigPage::slotHideProgressBar()
{
    if (m_progress)
        m_progress->hide();
}

void ConfigPage::slotShowProgressBar()
{
    if (m_progress && !m_progressHiddenByUser)
        m_progress->show();
}

void ConfigPage::slotCloseProgressBar()
{
    if (m_progress)
        m_progress->close();
}

void ConfigPage::slotSetProgressBar(int percent)
{
    if (m_progress && !m_progressHiddenByUser)
        m_progress->setValue(percent);
    // The loader reports 100 only after its last parameter; a reading the
    // lost link stopped may have reported it just before.
    if (percent == 100 && !m_loadStopped)
        finishLoading();
}

void ConfigPage::slotDeleteProgressBarObjects()
{
    if (m_progress) {
        m_progress->deleteLater();
        m_progress = nullptr;
    }
}

// --- window and link hooks

