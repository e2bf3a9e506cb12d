#include "canConfig.h"

#include "CanLinkServices.h"
#include "CanLog.h"
#include "ConfigModeOwner.h"

#include <QProgressBar>
#include <QProgressDialog>

Q_LOGGING_CATEGORY(lcCanJobs, "bms.can")

canConfig* g_canConfig = nullptr;

canConfig::canConfig(std::unique_ptr<CanLinkServices> link) : QObject(nullptr), m_link(std::move(link))
{
    if (!m_link)
        m_link = std::make_unique<HandlerCanLink>();
    m_progress = new QProgressDialog;
    m_progressBar = new QProgressBar(m_progress);
    m_progress->setBar(m_progressBar);
    m_progress->setLabelText(QStringLiteral("canConfigCommitProgress"));
    m_progress->cancel();
    connect(m_progress, &QProgressDialog::canceled, this, [this] { m_progressHidden = true; });
    g_canConfig = this;
}

canConfig::~canConfig()
{
    if (g_canConfig == this)
        g_canConfig = nullptr;
    ConfigModeOwner::release(ConfigModeOwner::CanJobs);
    delete m_progress;
}

bool canConfig::isBusy() const
{
    return m_starting || m_commitRunning || m_singleRunning || m_query.active || m_speedChangeRunning
           || m_discoveryRunning || m_splitterRunning;
}

// --- frames

void canConfig::sendSentence(const QString& name, const QString& parameters)
{
    // Dropped while unlinked or during the unit's own firmware transfer: the
    // waiting step then runs into its time-out.
    if (m_link->canSend())
        m_link->sendSentence(name, parameters, 20);
}

void canConfig::sendCanFrame(quint32 id, const quint8* data, quint8 length, bool extended)
{
    sendSentence(QStringLiteral("CN1,"), cantunnel::composeParameters(id, data, length, extended));
    m_ticks = 0;
}

void canConfig::sendRoute(const QByteArray& bytes)
{
    sendCanFrame(route::kRequestId, reinterpret_cast<const quint8*>(bytes.constData()), quint8(bytes.size()), true);
}

void canConfig::sendModule(const QByteArray& bytes)
{
    sendCanFrame(m_query.requestId, reinterpret_cast<const quint8*>(bytes.constData()), quint8(bytes.size()),
                 m_query.extended);
}

void canConfig::processSentence(const QString& line)
{
    CanTunnelFrame f;
    if (!cantunnel::parseLine(line, f))
        return;
    const quint8* d = f.data.data();

    if (route::isRouteReply(f)) {
        const bool listening = m_discoveryRunning || m_splitterRunning || m_speedChangeRunning;
        if (listening)
            onDiscoverReply(d, f.length);
        const quint8 code = d[0];
        if (code < m_replies.size()) {
            RouteReply& r = m_replies[code];
            if (code == route::LegacyDiscover) {
                r.received = true;
                r.typeId = route::le16(d + 2);
                r.serial = route::le32(d + 4);
            } else if ((code >= 0x01 && code <= 0x07) || code == 0x0B) {
                r.received = true;
                r.status = d[2];
                r.byte3 = d[3];
                if (code == route::ReadBaseId)
                    r.value = route::le32(d + 4);
            } else if (code == route::ReadVersion) {
                r.received = true;
                r.value = route::le32(d + 2);
            }
        }
    }

    if (m_query.active) {
        const quint32 id = cantunnel::maskId(f.id, m_query.extended);
        if (id == m_query.replyId && d[0] == m_query.sequence) {
            if (m_query.awaited == 1) {
                m_query.cellCount = d[1];
                m_query.replied = true;
            } else if (m_query.awaited == 15) {
                for (int i = 0; i < 4; ++i)
                    m_query.gen2Reply[size_t(i)] = d[1 + i];
                m_query.replied = true;
            }
        }
        if (id == m_query.errorId)
            m_query.error = true;
    }

    if (m_sort.repliesEnabled)
        takeSortingReplies(f);
}

// --- configuration mode of the control unit

bool canConfig::enterConfigMode(qint32 target)
{
    struct Guard
    {
        bool& flag;
        bool old;
        explicit Guard(bool& f) : flag(f), old(f) { flag = true; }
        ~Guard() { flag = old; }
    } guard(m_modeChanging);

    if (m_link->featureBitmapValid()) {
        const bool extended = m_link->paramValue(0x1600) & (1u << 11);
        const quint32 a = m_link->paramValue(0x0D03) & 0x1FFF;
        const quint32 b = m_link->paramValue(0x0D00) & 0x1FFF;
        if (target == -1) {
            if (extended)
                m_filters = {0x9FFF0000u, a << 16, b << 16, 0x1FFFFFFFu, 0x1FFFFFFFu};
            else
                m_filters = {0, 0, 0, 0, 0};
        } else if (target < -1) {
            m_filters = {0x9FFF0000u, a << 16, b << 16, quint32(target), 0x1FFFFFFFu};
        } else {
            const quint32 t = quint32(target);
            m_filters = {0x1FFu, t, t + 1, t + 2, t + 3};
        }
        if (m_link->setCanConfigMode(true, m_filters))
            return true;
    }
    return m_link->setConfigModeIfConnected(true);
}

bool canConfig::mayStart(const char* job) const
{
    if (isBusy()) {
        qCDebug(lcCanJobs) << job << ": refused, another CAN job runs";
        return false;
    }
    const ConfigModeOwner::Holder other = ConfigModeOwner::heldAgainst(ConfigModeOwner::CanJobs);
    if (other != ConfigModeOwner::Nobody) {
        qCDebug(lcCanJobs) << job << ": refused," << ConfigModeOwner::holderName(other) << "holds configuration mode";
        return false;
    }
    return true;
}

bool canConfig::enterConfigModeToStart()
{
    if (!ConfigModeOwner::take(ConfigModeOwner::CanJobs))
        return false;
    m_starting = true;
    const bool ok = enterConfigMode(-1);
    m_starting = false;
    if (!ok)
        releaseConfigMode();
    return ok;
}

void canConfig::releaseConfigMode()
{
    if (!(m_starting || m_commitRunning || m_singleRunning || m_discoveryRunning || m_speedChangeRunning
          || m_splitterRunning))
        ConfigModeOwner::release(ConfigModeOwner::CanJobs);
}

bool canConfig::leaveConfigMode()
{
    const bool old = m_modeChanging;
    m_modeChanging = true;
    const bool ok = m_link->setConfigModeIfConnected(false);
    m_modeChanging = old;
    return ok;
}

// --- the tick

void canConfig::slotCanProcess()
{
    // A tick delivered inside a configuration-mode wait, or inside a box or
    // question opened by a step, is skipped; the job goes on with the next.
    if (m_modeChanging || m_reportingRefusal || m_inTick)
        return;
    struct InTick
    {
        bool& flag;
        explicit InTick(bool& f) : flag(f) { flag = true; }
        ~InTick() { flag = false; }
    } inTick(m_inTick);
    if (m_commitRunning)
        processCommit();
    if (m_singleRunning)
        processSingleModuleCommit();
    if (m_discoveryRunning)
        processDiscovery();
    if (m_speedChangeRunning)
        processSpeedChange();
    if (m_splitterRunning)
        processCanSplitterConfig();
}

// --- progress dialog

void canConfig::showDiscoveryProgress()
{
    showCommitProgress(QString());
    m_progress->setLabelText(QStringLiteral("CAN device discovery... Looking for devices"));
}

void canConfig::showCommitProgress(const QString& name)
{
    m_progress->reset();
    m_progressHidden = false;
    m_progress->setFixedHeight(100);
    m_progress->setMinimumWidth(400);
    m_progress->setWindowFlags(Qt::Dialog);
    m_progress->setWindowModality(Qt::WindowModal);
    m_progress->setLabelText(QStringLiteral("Sending configuration to ") + name + QStringLiteral("..."));
    m_progress->setCancelButtonText(QStringLiteral("Hide"));
    m_progressBar->setAlignment(Qt::AlignCenter);
    m_progressBar->setObjectName(QStringLiteral("progressParameters"));
    m_progress->setRange(0, 0);
    m_progress->setValue(0);
    m_progress->show();
}

void canConfig::updateProgress(int percent, const QString& text, const QString& name)
{
    if (m_progressHidden) {
        m_progress->hide();
        return;
    }
    if (percent != 0) {
        m_progress->setRange(0, 100);
        m_progressBar->setFormat(QStringLiteral("%p% Completed"));
        m_progress->setValue(percent);
    }
    m_progress->setLabelText(QStringLiteral("Sending configuration to ") + name + QStringLiteral("...") + text);
}

void canConfig::hideProgress()
{
    // cancel() would count as the user's "Hide".
    const bool hidden = m_progressHidden;
    m_progress->cancel();
    m_progressHidden = hidden;
}
