#include "canConfig.h"

#include "CanDeviceCatalog.h"
#include "CanLog.h"

#include <QThread>

#include <algorithm>

using namespace route;

namespace {
constexpr int kDiscoverListLimit = 200;
constexpr quint32 kUnknownBaseId = 0x1008;
} // namespace

bool canConfig::startDiscovery(bool legacy)
{
    if (!mayStart("can discover"))
        return false;
    if (!enterConfigModeToStart()) {
        // Said, so that a page waiting for the outcome does not wait forever.
        qCDebug(lcCanJobs) << "can discover: the control unit refused its configuration mode";
        emit sigCanDeviceOperationStatus(CanOpFailed, CanOpDiscovery);
        return false;
    }
    emit sigCanDeviceOperationStatus(CanOpStarted, CanOpDiscovery);
    clearDiscoverLists();
    m_disc.stage = 0;
    m_disc.legacy = legacy;
    m_discoveryRunning = true;
    return true;
}

bool canConfig::discoverListEntry(quint8 index, quint16& typeId, quint32& serial, quint32& version, quint32& baseId,
                                  quint8& cellCount) const
{
    if (index >= m_discTypes.size() || index >= m_discSerials.size() || index >= m_discVersions.size()
        || index >= m_discBaseIds.size() || index >= m_discCellCounts.size())
        return false;
    typeId = m_discTypes.at(index);
    serial = m_discSerials.at(index);
    version = m_discVersions.at(index);
    baseId = m_discBaseIds.at(index);
    cellCount = m_discCellCounts.at(index);
    return true;
}

void canConfig::clearDiscoverLists()
{
    m_discTypes.clear();
    m_discSerials.clear();
    m_discVersions.clear();
    m_discBaseIds.clear();
    m_discCellCounts.clear();
    m_discExtended.clear();
}

void canConfig::sortDiscoverList()
{
    qCDebug(lcCanJobs) << "discover list sort";
    qCDebug(lcCanJobs, "pn size %u, sn size %u", unsigned(m_discTypes.size()), unsigned(m_discSerials.size()));
    const int n = std::min(m_discTypes.size(), m_discSerials.size());
    QVector<std::pair<quint32, quint16>> pairs;
    for (int i = 0; i < n; ++i) {
        const std::pair<quint32, quint16> p{m_discSerials.at(i), m_discTypes.at(i)};
        if (!pairs.contains(p))
            pairs.append(p);
    }
    std::stable_sort(pairs.begin(), pairs.end(),
                     [](const auto& a, const auto& b) { return (a.first & 0xFFFF) < (b.first & 0xFFFF); });
    m_discTypes.clear();
    m_discSerials.clear();
    for (const auto& p : qAsConst(pairs)) {
        m_discSerials.append(p.first);
        m_discTypes.append(p.second);
    }
    qCDebug(lcCanJobs) << "discover list sort end";
}

void canConfig::onDiscoverReply(const quint8* data, quint8 length)
{
    Q_UNUSED(length)
    if (data[0] != Discover && data[0] != LegacyDiscover)
        return;
    const bool taken = (m_discoveryRunning && (m_disc.stage == 3 || m_disc.stage == 6))
                       || (m_splitterRunning && (m_splitterStage == 2 || m_splitterStage == 4))
                       || (m_speedChangeRunning
                           && (m_speedChangeStage == 2 || m_speedChangeStage == 4 || m_speedChangeStage == 6));
    if (!taken)
        return;
    const quint16 typeId = le16(data + 2);
    const quint32 serial = le32(data + 4);
    m_discTypes.append(typeId);
    m_discSerials.append(serial);
    if (m_discoveryRunning && m_disc.stage == 3) {
        QByteArray ack = addressed(DiscoverAck, typeId, serial);
        sendRoute(ack);
        m_disc.silence = 0;
        m_disc.stage = 2;
    }
}

void canConfig::finishDiscovery(int status)
{
    leaveConfigMode();
    m_discoveryRunning = false;
    m_disc.stage = 0;
    releaseConfigMode();
    emit sigCanDeviceOperationStatus(status, CanOpDiscovery);
}

void canConfig::processDiscovery()
{
    Discovery& d = m_disc;
    switch (d.stage) {
    case 0:
        d.index = 0;
        d.typeId = 0;
        d.serial = 0;
        d.sequence = 10;
        d.retries = 0;
        d.extended = true;
        d.requests = 0;
        clearDiscoverLists();
        qCDebug(lcCanJobs) << "can discover: internal debug, stage 0";
        d.stage = d.legacy ? 5 : 1;
        break;
    case 1: {
        const QByteArray start = QByteArray().append(char(DiscoverStart)).append(char(complement(DiscoverStart)));
        sendRoute(start);
        QThread::msleep(10);
        sendRoute(start);
        QThread::msleep(10);
        sendRoute(start);
        QThread::msleep(100);
        d.stage = 2;
        break;
    }
    case 2: {
        ++d.requests;
        d.silence = 0;
        QByteArray request;
        for (int i = 0; i < 4; ++i)
            request.append(char(Discover)).append(char(complement(Discover)));
        d.stage = 3;
        sendRoute(request);
        QThread::msleep(10);
        break;
    }
    case 3:
        if (++d.silence <= 10 && m_discTypes.size() <= kDiscoverListLimit)
            break;
        d.stage = d.requests > 2 ? 7 : 2;
        break;
    case 5: {
        QByteArray request;
        for (int i = 0; i < 4; ++i)
            request.append(char(LegacyDiscover)).append(char(complement(LegacyDiscover)));
        ++d.requests;
        d.silence = 0;
        d.stage = 6;
        sendRoute(request);
        break;
    }
    case 6:
        if (m_replies[LegacyDiscover].received) {
            m_replies[LegacyDiscover].received = false;
            break;
        }
        if (++d.silence > 100)
            d.stage = d.requests <= 2 ? 5 : 7;
        break;
    case 7:
        sortDiscoverList();
        d.index = 0;
        // A plain count: the list may hold up to 200 devices and more.
        d.remaining = m_discTypes.size();
        qCDebug(lcCanJobs) << "can discover: device list sort, device count" << d.remaining;
        d.stage = 8;
        break;
    case 8:
        if (d.remaining <= 0) {
            qCDebug(lcCanJobs) << "can discover: no devices to get info, stage 8";
            d.stage = 14;
            break;
        }
        d.typeId = m_discTypes.value(d.index);
        d.serial = m_discSerials.value(d.index);
        m_readBaseState = 0;
        m_cellCountState = 0;
        m_versionState = 0;
        m_enumState = 0;
        d.retries = 0;
        qCDebug(lcCanJobs, "can discover: cur dev %04X %08X", unsigned(d.typeId), unsigned(d.serial));
        d.stage = 9;
        break;
    case 9: {
        const quint8 r = routeReadBaseId(d.typeId, d.serial);
        if (r == 3) {
            if (++d.retries < 2)
                break;
            d.retries = 0;
            d.baseId = kUnknownBaseId;
            d.extended = true;
            m_discBaseIds.append(kUnknownBaseId);
            m_discExtended.append(1);
            m_discCellCounts.append(0);
            d.stage = 12;
        } else if (r == 2) {
            const quint32 value = m_baseIdRead;
            d.extended = value & 0x80000000u;
            d.baseId = cantunnel::maskId(value, d.extended);
            m_discExtended.append(d.extended ? 1 : 0);
            m_discBaseIds.append(d.baseId);
            d.retries = 0;
            if (canDeviceIsGroupModule(d.typeId)) {
                // Next stage first: the mode change runs queued events.
                d.stage = canDeviceIsGen2GroupModule(d.typeId) ? 10 : 11;
                enterConfigMode(qint32(value));
            } else {
                m_discCellCounts.append(0);
                d.stage = 12;
            }
        }
        break;
    }
    case 10: {
        const quint8 r = enumerateCgm(d.baseId, d.sequence, d.extended);
        if (r == 2 || r == 3) {
            ++d.sequence;
            d.stage = 11;
        }
        break;
    }
    case 11: {
        const quint8 r = queryCellCount(d.baseId, d.sequence, d.extended);
        if (r == 2) {
            ++d.sequence;
            m_discCellCounts.append(m_cellCount);
            d.retries = 0;
            d.stage = 12;
        } else if (r == 3) {
            ++d.sequence;
            if (++d.retries >= 2) {
                m_discCellCounts.append(0);
                d.retries = 0;
                d.stage = 12;
            }
        }
        break;
    }
    case 12: {
        const quint8 r = routeReadSoftwareVersion(d.typeId, d.serial);
        if (r == 2) {
            m_discVersions.append(m_versionRead);
            d.retries = 0;
            d.stage = 13;
        } else if (r == 3) {
            if (++d.retries >= 2) {
                m_discVersions.append(0);
                d.retries = 0;
                d.stage = 13;
            }
        }
        break;
    }
    case 13:
        ++d.index;
        --d.remaining;
        d.stage = 8;
        break;
    case 14:
        d.stage = 15;
        break;
    case 15: {
        m_discoveryRunning = false;
        const int n = m_discTypes.size();
        if (m_discTypes.isEmpty() && m_discSerials.isEmpty()) {
            qCDebug(lcCanJobs) << "there are no devices discovered";
            finishDiscovery(CanOpFinished);
            break;
        }
        if (m_discSerials.size() != n || m_discVersions.size() != n || m_discBaseIds.size() != n
            || m_discCellCounts.size() != n || m_discExtended.size() != n) {
            qCDebug(lcCanJobs) << "discover list sizes are wrong, do not sort, error";
            finishDiscovery(CanOpFailed);
            break;
        }
        // Ordered by base identifier; equal ones keep their order.
        bool swapped = n > 1;
        while (swapped) {
            swapped = false;
            for (int i = 1; i < n; ++i) {
                if (m_discBaseIds.at(i - 1) > m_discBaseIds.at(i)) {
                    std::swap(m_discTypes[i - 1], m_discTypes[i]);
                    std::swap(m_discSerials[i - 1], m_discSerials[i]);
                    std::swap(m_discVersions[i - 1], m_discVersions[i]);
                    std::swap(m_discBaseIds[i - 1], m_discBaseIds[i]);
                    std::swap(m_discCellCounts[i - 1], m_discCellCounts[i]);
                    std::swap(m_discExtended[i - 1], m_discExtended[i]);
                    swapped = true;
                }
            }
        }
        finishDiscovery(CanOpFinished);
        break;
    }
    default:
        finishDiscovery(CanOpFailed);
        break;
    }
}
