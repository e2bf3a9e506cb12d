#include "CISAConfig.h"

#include "CanLinkServices.h"
#include "CanTunnel.h"
#include "ConfigModeOwner.h"

#include <QApplication>
#include <QLoggingCategory>
#include <QMessageBox>

Q_LOGGING_CATEGORY(lcIsa, "bms.isa")

CISAConfig* g_cisaConfig = nullptr;

namespace {
constexpr quint32 kRequestId = 0x411;
constexpr quint32 kReplyId = 0x511;
constexpr quint32 kWaitTicks = 100; // about 3 s
constexpr quint8 kMaxRetries = 2;   // three tries in all
const std::array<quint8, 6> kBitRates{{2, 0, 4, 8, 0, 0}};
// The commands of a settings commit that the sensor answers.
constexpr quint8 kAnsweredCommands = CISAConfig::StopMode | CISAConfig::SetBaseId | CISAConfig::ResultConfig
                                     | CISAConfig::Store | CISAConfig::RunMode;

quint32 be32(const quint8* p)
{
    return (quint32(p[0]) << 24) | (quint32(p[1]) << 16) | (quint32(p[2]) << 8) | quint32(p[3]);
}
} // namespace

CISAConfig::CISAConfig(std::unique_ptr<CanLinkServices> link) : QObject(nullptr), m_link(std::move(link))
{
    if (!m_link)
        m_link = std::make_unique<HandlerCanLink>();
}

CISAConfig::~CISAConfig()
{
    ConfigModeOwner::release(ConfigModeOwner::CurrentSensor);
}

quint8 CISAConfig::bitRateForSpeed(int speedSetting)
{
    return speedSetting >= 0 && speedSetting < int(kBitRates.size()) ? kBitRates[size_t(speedSetting)] : 0;
}

void CISAConfig::changeMode(bool enter)
{
    const bool old = m_modeChanging;
    m_modeChanging = true;
    if (!enter)
        m_link->setConfigModeIfConnected(false);
    m_modeChanging = old;
}

bool CISAConfig::enterConfigMode()
{
    const bool old = m_modeChanging;
    m_modeChanging = true;
    bool ok = false;
    if (m_link->featureBitmapValid()) {
        m_filters = {0x700, 0x500, 0, 0, 0};
        ok = m_link->setCanConfigMode(true, m_filters);
    }
    if (!ok)
        ok = m_link->setConfigModeIfConnected(true);
    m_modeChanging = old;
    return ok;
}

// Asked before the unit is put into its configuration mode: while another
// job holds that mode the start is refused, and the user hears who holds it.
bool CISAConfig::takeConfigMode()
{
    const ConfigModeOwner::Holder other = ConfigModeOwner::heldAgainst(ConfigModeOwner::CurrentSensor);
    if (other != ConfigModeOwner::Nobody) {
        warn(ConfigModeOwner::refusalText(other));
        return false;
    }
    // Still held after a discovery that ended at its found sensor: the unit
    // is in its configuration mode, and a failed entry must not leave it so.
    const bool held = ConfigModeOwner::holder() == ConfigModeOwner::CurrentSensor;
    ConfigModeOwner::take(ConfigModeOwner::CurrentSensor);
    if (enterConfigMode())
        return true;
    if (held)
        changeMode(false);
    ConfigModeOwner::release(ConfigModeOwner::CurrentSensor);
    return false;
}

void CISAConfig::startDiscover(quint8 flags)
{
    if (m_job != NoJob || !takeConfigMode())
        return;
    emit sigCanDeviceOperationStatus(0, 5);
    m_job = Discovery;
    m_stage = 0;
    m_retries = 0;
    m_wait = 0;
    m_failed = false;
    m_pending = flags;
    if (flags & ReadBaseId)
        m_eActiveResultConfig = 0;
}

void CISAConfig::startCommit(quint8 flags)
{
    if (m_serial == 0 || m_job != NoJob || !takeConfigMode())
        return;
    emit sigCanDeviceOperationStatus(0, 6);
    m_job = Configuration;
    m_stage = 0;
    m_retries = 0;
    m_wait = 0;
    m_failed = false;
    m_pending = flags;
    m_eActiveResultConfig = 0;
    m_waitForReplies = !(flags & (StopMode | SetBitRate));
    m_pendingChange = false;
    // The sensor's settings commit listens for the answers it does not wait
    // for, and says which of them did not come.
    m_confirming = !m_waitForReplies && (flags & SetBaseId);
    m_sent = 0;
    m_answered = 0;
    m_confirmed = 0;
    m_listened = 0;
}

void CISAConfig::discardFoundSensor()
{
    if (m_job != NoJob)
        return;
    changeMode(false);
    ConfigModeOwner::release(ConfigModeOwner::CurrentSensor);
    emit sigCanDeviceOperationStatus(1, 5);
}

void CISAConfig::slotCanProcess()
{
    // A tick delivered inside a configuration-mode wait, or inside a box
    // the job has opened, is skipped: the job never runs its next step
    // behind its own box.
    if (m_modeChanging || m_inTick || m_boxOpen || m_job == NoJob)
        return;
    m_inTick = true;
    processStep();
    m_inTick = false;
}

void CISAConfig::sendCanFrame(quint32 id, const quint8* data, quint8 length)
{
    if (m_link->canSend())
        m_link->sendSentence(QStringLiteral("CN1,"), cantunnel::composeParameters(id & 0x7FF, data, length, false),
                             20);
    m_wait = 0;
}

void CISAConfig::sendRequest(quint8 command)
{
    std::array<quint8, 8> d{};
    const quint8 r = quint8(m_eActiveResultConfig);
    const auto putSerial = [&](int at) {
        for (int i = 0; i < 4; ++i)
            d[size_t(at + i)] = quint8((m_serial >> (24 - 8 * i)) & 0xFF);
    };
    switch (command) {
    case ReadSerial:
        d[0] = 0x7B;
        break;
    case ReadBaseId:
        d[0] = quint8(0x50 + r);
        putSerial(3);
        break;
    case StopMode:
        d = {0x34, 0x00, 0x01};
        break;
    case SetBitRate:
        d = {0x3A, m_bitRate};
        break;
    case SetBaseId:
        d[0] = quint8(0x10 + r);
        d[1] = quint8(m_baseId >> 8);
        d[2] = quint8(m_baseId & 0xFF);
        putSerial(3);
        break;
    case ResultConfig: {
        quint8 m = 0x40;
        quint8 t = 0;
        if (r <= 1) {
            m = 0x42;
            t = r == 0 ? 100 : 200;
        } else if (r <= 3) {
            t = 200;
        }
        d = {quint8(0x20 + r), m, 0x00, t};
        break;
    }
    case Store:
        d[0] = 0x32;
        break;
    case RunMode:
        d = {0x34, 0x01, 0x01};
        break;
    default:
        return;
    }
    sendCanFrame(kRequestId, d.data(), 8);
}

void CISAConfig::processStep()
{
    qCDebug(lcIsa) << "ISA can discover: internal debug, stage" << m_stage;
    if (m_retries > kMaxRetries) {
        qCDebug(lcIsa) << "ISA RETRY:" << m_retries;
        fail(QStringLiteral("The ISAScale sensor did not answer.\nReconnect sensor and try again."));
        return;
    }
    switch (m_stage) {
    case 0:
        m_stage = 1;
        m_retries = 0;
        Q_FALLTHROUGH();
    case 1: {
        if (m_pending == 0) {
            m_stage = 3;
            break;
        }
        const quint8 command = quint8(m_pending & -m_pending);
        m_lastSent = command;
        m_sent |= command;
        sendRequest(command);
        if (m_waitForReplies) {
            m_stage = 2;
        } else {
            m_pending &= quint8(~command);
            m_stage = m_pending ? 1 : 3;
        }
        return;
    }
    case 2:
        if (++m_wait > kWaitTicks) {
            ++m_retries;
            m_stage = 1;
        }
        return;
    default:
        break;
    }
    if (m_stage == 3 && m_confirming) {
        // All sent: the answers still on their way are waited for a while.
        const quint8 expected = m_sent & kAnsweredCommands;
        if ((m_answered & expected) != expected && ++m_listened <= kWaitTicks)
            return;
        if ((m_confirmed & expected) != expected) {
            fail(unconfirmedText());
            return;
        }
    }
    if (m_stage >= 3)
        endJob();
}

void CISAConfig::noteLateAnswer(quint8 code, const quint8* d)
{
    const auto take = [this](quint8 command, bool good) {
        if (!(m_sent & command) || (m_answered & command))
            return;
        m_answered |= command;
        if (good)
            m_confirmed |= command;
    };
    switch (code) {
    case 0xB4:
        // Stop and run mode have the same answer: the stop is answered first.
        if ((m_sent & StopMode) && !(m_answered & StopMode))
            take(StopMode, (d[1] & 0x01) == 0);
        else
            take(RunMode, true);
        break;
    case 0x90: take(SetBaseId, d[1] != 0 || d[2] != 0); break;
    case 0xA0: take(ResultConfig, (d[1] & 0x42) == 0x42); break;
    case 0xB2: take(Store, d[1] == 0); break;
    default: break;
    }
}

QString CISAConfig::unconfirmedText() const
{
    static const std::array<std::pair<quint8, const char*>, 5> names{{
        {StopMode, "stop mode"},
        {SetBaseId, "CAN ID"},
        {ResultConfig, "result configuration"},
        {Store, "storing the configuration"},
        {RunMode, "run mode"},
    }};
    QStringList confirmed;
    QStringList missing;
    for (const auto& n : names) {
        if (!(m_sent & n.first))
            continue;
        (m_confirmed & n.first ? confirmed : missing) << QString::fromLatin1(n.second);
    }
    return QStringLiteral("The ISAScale sensor did not confirm its configuration.\nConfirmed: %1.\nNot confirmed: "
                          "%2.\nReconnect sensor and try again.")
        .arg(confirmed.isEmpty() ? QStringLiteral("nothing") : confirmed.join(QStringLiteral(", ")),
             missing.join(QStringLiteral(", ")));
}

void CISAConfig::endJob()
{
    const int operation = m_job == Discovery ? 5 : 6;
    const bool failed = m_failed || m_stage >= 4;
    if (m_stage >= 4)
        qCDebug(lcIsa) << "can discover: end of discovery, stage default";
    qCDebug(lcIsa) << "ISA can discover finished";
    // Reset first: ticks arriving while the mode is left find no job.
    m_wait = 0;
    m_pending = 0;
    m_stage = 0;
    m_job = NoJob;
    m_retries = 0;
    m_verify = false;
    m_waitForReplies = true;
    m_failed = false;
    m_confirming = false;
    changeMode(false);
    ConfigModeOwner::release(ConfigModeOwner::CurrentSensor);
    emit sigCanDeviceOperationStatus(failed ? 2 : 1, operation);
}

void CISAConfig::fail(const QString& text)
{
    m_failed = true;
    m_stage = 4;
    endJob();
    warn(text);
}

void CISAConfig::endQuietly()
{
    m_job = NoJob;
    m_retries = 0;
    m_wait = 0;
    m_stage = 3;
}

void CISAConfig::acknowledge(quint8 command)
{
    m_retries = 0;
    m_wait = 0;
    m_pending &= quint8(~command);
    m_stage = m_pending ? 1 : 3;
}

void CISAConfig::negative(const QString& text)
{
    ++m_retries;
    if (m_retries > kMaxRetries) {
        fail(text);
    } else {
        m_stage = 1;
        m_wait = 0;
    }
}

void CISAConfig::warn(const QString& text)
{
    // Replies and ticks arriving while the box is open wait for it.
    const bool wasOpen = m_boxOpen;
    m_boxOpen = true;
    if (m_onWarning) {
        m_onWarning(text);
    } else {
        QApplication::restoreOverrideCursor();
        QMessageBox box(QMessageBox::Warning, QStringLiteral("WARNING!"), tr(qPrintable(text)), QMessageBox::Ok);
        box.exec();
    }
    m_boxOpen = wasOpen;
}

void CISAConfig::handleCanReply(const QString& line)
{
    // Its own box is open: what comes meanwhile would open another.
    if (m_boxOpen)
        return;
    CanTunnelFrame f;
    if (!cantunnel::parseLine(line, f) || (f.id & 0xFFFF) != kReplyId)
        return;
    const quint8* d = f.data.data();
    const quint8 code = d[0];
    // The commits that do not wait only note the answers: a late one would
    // put back or take away commands that are still to go out.
    if (m_job != NoJob && !m_waitForReplies) {
        noteLateAnswer(code, d);
        return;
    }
    const quint16 id = quint16((d[1] << 8) | d[2]);
    const bool indexed = m_eActiveResultConfig >= 0 && m_eActiveResultConfig < 256;

    // Answers to commands that are not pending (late answers of the
    // commits, which do not wait) change nothing.
    if (code == 0xB4) {
        if ((m_pending & StopMode) && m_lastSent == StopMode) {
            if ((d[1] & 0x01) == 0)
                acknowledge(StopMode);
            else
                negative(QStringLiteral("ISAScale Failed switching to STOP mode."));
        } else if ((m_pending & RunMode) && m_lastSent == RunMode) {
            acknowledge(RunMode);
        }
    } else if (indexed && code == quint8(0x90 + m_eActiveResultConfig) && m_eActiveResultConfig <= 7) {
        if (m_pending & ReadBaseId) {
            if (id == 0) {
                negative(QStringLiteral("ISAScale Failed geting Base CAN ID.\nReconnect sensor and try again."));
                return;
            }
            const bool same = m_verify && id == m_baseId;
            m_baseId = id;
            m_verify = false;
            m_pending = same ? quint8(0xE4) : quint8(m_pending & ~ReadBaseId);
            m_retries = 0;
            m_wait = 0;
            m_stage = m_pending ? 1 : 3;
            if (m_onCanId)
                m_onCanId(id);
        } else if (m_pending & SetBaseId) {
            if (id == 0) {
                negative(QStringLiteral("ISAScale Failed setting CAN ID.\nReconnect sensor and try again."));
                return;
            }
            m_retries = 0;
            if (m_eActiveResultConfig < 7) {
                ++m_eActiveResultConfig;
                m_wait = 0;
                m_stage = 1;
            } else {
                acknowledge(SetBaseId);
            }
        }
    } else if (indexed && code == quint8(0xA0 + m_eActiveResultConfig) && m_eActiveResultConfig <= 7) {
        if (!(m_pending & ResultConfig))
            return;
        if (m_eActiveResultConfig <= 1 && (d[1] & 0x42) != 0x42) {
            negative(QStringLiteral("ISAScale Failed result Config.\nReconnect sensor and try again."));
        } else if (m_eActiveResultConfig < 7) {
            m_retries = 0;
            ++m_eActiveResultConfig;
            m_wait = 0;
            m_stage = 1;
        } else {
            acknowledge(ResultConfig);
        }
    } else if (code == 0xB2) {
        if (!(m_pending & Store))
            return;
        if (d[1] == 0)
            acknowledge(Store);
        else
            negative(QStringLiteral("ISAScale Failed to STORE configuration.\nReconnect sensor and try again."));
    } else if (code == 0xBB) {
        const quint32 s = be32(d + 1);
        if (m_verify && s == m_serial) {
            m_eActiveResultConfig = 0;
            m_verify = false;
            acknowledge(ReadSerial);
            return;
        }
        if (m_serial != 0) {
            m_verify = false;
            m_pending = 0;
            m_serial = s;
            endQuietly();
        } else {
            m_serial = s;
            m_pending &= quint8(~ReadSerial);
            if (m_pending == 0) {
                endQuietly();
            } else {
                m_retries = 0;
                m_wait = 0;
                m_stage = 1;
            }
        }
        if (m_onSerial) {
            // The "Sensor found" question is the job's own box.
            const bool wasOpen = m_boxOpen;
            m_boxOpen = true;
            m_onSerial(s);
            m_boxOpen = wasOpen;
        }
    }
}
