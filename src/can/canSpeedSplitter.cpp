#include "canConfig.h"

#include "CanLog.h"

#include <QMessageBox>

#include <algorithm>

using namespace route;

namespace {
constexpr int kListenTicks = 100;
constexpr int kSplitterTimeouts = 9;

bool isSplitterType(quint16 typeId)
{
    return typeId == 3 || typeId == 8 || typeId == 13 || typeId == 15;
}
} // namespace

void canConfig::sendLegacyDiscover()
{
    const quint8 request[8] = {0x00, 0xFF, 0x00, 0xFF, 0x00, 0xFF, 0x00, 0xFF};
    m_replies[LegacyDiscover].received = false;
    sendCanFrame(kRequestId, request, 8, true);
}

// --- CAN speed change

bool canConfig::startSpeedChange(quint8 speedCode)
{
    if (!mayStart("speed change"))
        return false;
    if (!enterConfigModeToStart()) {
        // Said, so that the page waiting for the outcome does not wait forever.
        qCDebug(lcCanJobs) << "speed change: the control unit refused its configuration mode";
        emit sigCanDeviceOperationStatus(CanOpFailed, CanOpSpeedChange);
        return false;
    }
    emit sigCanDeviceOperationStatus(CanOpStarted, CanOpSpeedChange);
    m_speed = SpeedChange{};
    m_speed.speed = speedCode;
    m_speedChangeStage = 0;
    clearDiscoverLists();
    m_speedChangeRunning = true;
    return true;
}

// Three legacy discoveries, then every device is entered (last to first),
// one set-speed request reaches all of them, and every device is left.
void canConfig::processSpeedChange()
{
    switch (m_speedChangeStage) {
    case 0:
        clearDiscoverLists();
        m_speedChangeStage = 1;
        break;
    case 1:
    case 3:
    case 5:
        sendLegacyDiscover();
        ++m_speedChangeStage;
        break;
    case 2:
    case 4:
    case 6:
        if (m_replies[LegacyDiscover].received) {
            m_replies[LegacyDiscover].received = false;
            break;
        }
        if (int(++m_ticks) > kListenTicks)
            ++m_speedChangeStage;
        break;
    case 7:
        sortDiscoverList();
        m_speed.firstPass = true;
        m_speed.remaining = m_discSerials.size();
        m_speedChangeStage = m_speed.remaining == 0 ? 12 : 8;
        break;
    case 8:
        m_speed.retries = 0;
        if (m_speed.remaining > 0) {
            --m_speed.remaining;
            m_speed.typeId = m_discTypes.value(m_speed.remaining);
            m_speed.serial = m_discSerials.value(m_speed.remaining);
            m_setSpeedState = 0;
            m_enterState = 0;
            m_leaveState = 0;
            m_speedChangeStage = m_speed.firstPass ? 9 : 11;
        } else {
            m_speedChangeStage = m_speed.firstPass ? 10 : 12;
        }
        break;
    case 9: {
        const quint8 r = routeEnterConfigMode(m_speed.typeId, m_speed.serial);
        if (r == 2 || r == 3)
            m_speedChangeStage = 8;
        break;
    }
    case 10: {
        const quint8 r = routeSetCanSpeed(m_speed.speed);
        bool secondPass = r == 2;
        if (r == 3 || r == 4) {
            if (++m_speed.retries >= 2) {
                // The devices are released at their old speed anyway: the
                // job then ends as failed.
                m_speed.speedFailed = true;
                secondPass = true;
            }
        }
        if (secondPass) {
            m_speed.retries = 0;
            m_speed.firstPass = false;
            m_speed.remaining = m_discSerials.size();
            m_speedChangeStage = 8;
        }
        break;
    }
    case 11: {
        const quint8 r = routeLeaveConfigMode(m_speed.typeId, m_speed.serial);
        if (r >= 2)
            m_speedChangeStage = 8;
        break;
    }
    default:
        // Configuration mode left before anyone hears of the end.
        m_speedChangeRunning = false;
        m_speedChangeStage = 0;
        leaveConfigMode();
        releaseConfigMode();
        emit sigCanDeviceOperationStatus(m_speed.speedFailed ? CanOpFailed : CanOpFinished, CanOpSpeedChange);
        break;
    }
}

// --- CAN Splitter set-up

void canConfig::clearSplitterParams()
{
    m_splitterIds.clear();
    m_splitterValues.clear();
    m_splitterNames.clear();
}

void canConfig::addSplitterParam(quint16 id, quint32 value, const QString& name)
{
    m_splitterIds.append(id);
    m_splitterValues.append(value);
    m_splitterNames.insert(id, name);
}

void canConfig::removeDuplicateSplitterParams()
{
    QVector<std::pair<quint16, quint32>> pairs;
    const int n = std::min(m_splitterIds.size(), m_splitterValues.size());
    for (int i = 0; i < n; ++i)
        pairs.append({m_splitterIds.at(i), m_splitterValues.at(i)});
    std::sort(pairs.begin(), pairs.end());
    pairs.erase(std::unique(pairs.begin(), pairs.end()), pairs.end());
    m_splitterIds.clear();
    m_splitterValues.clear();
    for (const auto& p : qAsConst(pairs)) {
        m_splitterIds.append(p.first);
        m_splitterValues.append(p.second);
    }
}

void canConfig::startSplitterConfig()
{
    if (isBusy()) {
        emit sigCanSplitterConfigFinish(6);
        return;
    }
    // Another service holds the unit's configuration mode: no result, the
    // caller sees nothing running and names the holder.
    if (!mayStart("CAN Splitter"))
        return;
    removeDuplicateSplitterParams();
    showCommitProgress(QStringLiteral("CAN Splitter"));
    if (!enterConfigModeToStart()) {
        // Not left open with nothing behind it, and the page hears why.
        hideProgress();
        emit sigCanSplitterConfigFinish(6);
        return;
    }
    m_splitter = Splitter{};
    m_splitterStage = 0;
    m_splitterRunning = true;
}

void canConfig::finishSplitter(int result)
{
    updateProgress(0, QStringLiteral("Leaving BMS configuration mode..."), QStringLiteral("CAN Splitter"));
    leaveConfigMode();
    hideProgress();
    m_splitterRunning = false;
    m_splitterStage = 0;
    releaseConfigMode();
    emit sigCanSplitterConfigFinish(result);
}

void canConfig::processCanSplitterConfig()
{
    const QString name = QStringLiteral("CAN Splitter");
    switch (m_splitterStage) {
    case 0:
        m_splitter = Splitter{};
        clearDiscoverLists();
        m_splitterStage = 1;
        break;
    case 1:
    case 3:
        updateProgress(0, QStringLiteral("Starting CAN devices discovery..."), name);
        sendLegacyDiscover();
        ++m_splitterStage;
        break;
    case 2:
    case 4:
        if (m_replies[LegacyDiscover].received) {
            m_replies[LegacyDiscover].received = false;
            break;
        }
        if (int(++m_ticks) > kListenTicks)
            ++m_splitterStage;
        break;
    case 5: {
        updateProgress(0, QStringLiteral("Looking for CAN Splitter among responded devices..."), name);
        sortDiscoverList();
        m_splitter.index = 0;
        m_splitterStage = 10;
        m_splitter.result = 1;
        for (int i = 0; i < m_discTypes.size() && i < m_discSerials.size(); ++i) {
            if (isSplitterType(m_discTypes.at(i))) {
                m_splitter.typeId = m_discTypes.at(i);
                m_splitter.serial = m_discSerials.at(i);
                m_splitter.result = 0;
                m_enterState = 0;
                m_splitterStage = 6;
                break;
            }
        }
        break;
    }
    case 6: {
        updateProgress(0, QStringLiteral("Entering CAN Splitter configuration mode..."), name);
        const quint8 r = routeEnterConfigMode(m_splitter.typeId, m_splitter.serial);
        if (r == 2) {
            m_splitterStage = 7;
        } else if (r == 3) {
            m_splitter.result = 2;
            m_leaveState = 0;
            m_splitterStage = 9;
        }
        break;
    }
    case 7:
        if (m_splitter.index < m_splitterIds.size()) {
            m_splitter.timeouts = 0;
            m_setParamState = 0;
            m_splitterStage = 8;
        } else {
            updateProgress(0, QStringLiteral("All CAN Splitter parameters sent."), name);
            m_leaveState = 0;
            m_splitterStage = 9;
        }
        break;
    case 8: {
        const int count = m_splitterIds.size();
        const quint16 id = m_splitterIds.at(m_splitter.index);
        const quint32 value = m_splitterValues.at(m_splitter.index);
        updateProgress(m_splitter.index * 100 / count,
                       QStringLiteral("Setting CAN Splitter parameter 0x%1").arg(id, 0, 16), name);
        const quint8 r = routeSetParameter(id, value);
        if (r == 2) {
            ++m_splitter.index;
            m_splitterStage = 7;
        } else if (r == 3) {
            ++m_splitter.index;
            m_splitterStage = 7;
            const QString text = QStringLiteral("Error setting CAN Splitter parameter %1 [0x%2] = 0x%3")
                                     .arg(m_splitterNames.value(id))
                                     .arg(id, 0, 16)
                                     .arg(value, 0, 16);
            // The box runs its own event loop: ticks arriving meanwhile are
            // skipped, so the job neither goes on nor stacks further boxes.
            m_reportingRefusal = true;
            if (m_reportRefusal) {
                m_reportRefusal(text);
            } else {
                QMessageBox box(QMessageBox::Warning, QStringLiteral("CAN Splitter"), text, QMessageBox::Ok);
                box.exec();
            }
            m_reportingRefusal = false;
        } else if (r == 4) {
            if (++m_splitter.timeouts > kSplitterTimeouts) {
                m_splitter.timeouts = 0;
                m_splitter.result = 3;
                m_leaveState = 0;
                m_splitterStage = 9;
            }
        }
        break;
    }
    case 9: {
        updateProgress(100, QStringLiteral("Leaving CAN Splitter configuration mode..."), name);
        const quint8 r = routeLeaveConfigMode(m_splitter.typeId, m_splitter.serial);
        if (r == 3)
            m_splitter.result = 5;
        else if (r == 4)
            m_splitter.result = 6;
        if (r >= 2)
            m_splitterStage = 10;
        break;
    }
    default:
        finishSplitter(m_splitter.result);
        break;
    }
}

// --- frames to the CAN current sensor

namespace {
quint32 sensorFrameId(quint32 identifier, bool extended)
{
    return extended ? ((identifier << 16) & 0x1FFFFFFFu) : (identifier & 0x7FFu);
}
} // namespace

// Sent beside any running job: its time-out counter is left alone.
void canConfig::sendSensorFrame(quint32 identifier, bool extended, const quint8* data, quint8 length)
{
    sendSentence(QStringLiteral("CN1,"),
                 cantunnel::composeParameters(sensorFrameId(identifier, extended), data, length, extended));
}

void canConfig::sendCurrentSensorZero(quint32 identifier, bool extended)
{
    const quint8 data[2] = {0x12, 0x05};
    sendSensorFrame(identifier, extended, data, 2);
}

void canConfig::sendCurrentSensorSoc(quint32 identifier, bool extended, quint32 stateOfCharge)
{
    const quint8 data[6] = {0x13,
                            0x03,
                            quint8(stateOfCharge & 0xFF),
                            quint8((stateOfCharge >> 8) & 0xFF),
                            quint8((stateOfCharge >> 16) & 0xFF),
                            quint8((stateOfCharge >> 24) & 0xFF)};
    sendSensorFrame(identifier, extended, data, 6);
}

void canConfig::sendCurrentSensorConfig(quint32 identifier, bool extended, quint8 setting, bool flag, qint16 period)
{
    const quint16 p = quint16(period);
    const quint8 flags = quint8((flag ? 1 : 0) + (period >= 0 ? 4 : 0));
    const quint8 data[6] = {0x14, 0x07, setting, flags, quint8(p & 0xFF), quint8(p >> 8)};
    sendSensorFrame(identifier, extended, data, 6);
}
