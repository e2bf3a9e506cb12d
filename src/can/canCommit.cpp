#include "canConfig.h"

#include "CanDeviceCatalog.h"
#include "CanLog.h"

#include <algorithm>

using namespace route;

namespace {
QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray b;
    for (int v : values)
        b.append(char(v));
    return b;
}

// Every device takes a block of four identifiers from base + 8 on (the
// current sensor and the secondary ids sit below). A block past the end of
// the identifier space would wrap onto other devices' identifiers.
bool blocksFit(quint16 base, bool extended, int blocks)
{
    if (blocks <= 0)
        return true;
    const quint64 lastOffset = 8 + 4 * quint64(blocks) - 1;
    if (extended)
        return base <= 0x1FFF && lastOffset <= 0xFFFF;
    return quint64(base) + lastOffset <= 0x7FF;
}
} // namespace

quint32 canConfig::allocatedId(quint16 base, bool extended, quint32 offset)
{
    return extended ? (quint32(base) << 16) + offset : (quint32(base) + offset) & 0x7FF;
}

// The lists stay as they are while a commit runs: the job indexes them.
void canConfig::clearCommitLists()
{
    if (m_commitRunning)
        return;
    m_commitTypes.clear();
    m_commitSerials.clear();
    m_commitStatus.clear();
    m_commitCells.clear();
    m_commitIds.clear();
    m_unassignedTypes.clear();
    m_unassignedSerials.clear();
}

void canConfig::addCommitDevice(quint16 typeId, quint32 serial)
{
    if (m_commitRunning)
        return;
    m_commitTypes.append(typeId);
    m_commitSerials.append(serial);
    m_commitStatus.append(CommitPending);
    m_commitCells.append(0);
    m_commitIds.append(0);
}

void canConfig::addUnassignedDevice(quint16 typeId, quint32 serial)
{
    if (m_commitRunning)
        return;
    m_unassignedTypes.append(typeId);
    m_unassignedSerials.append(serial);
}

bool canConfig::commitDeviceResult(quint8 index, quint8& status, quint32& serial, quint16& typeId, quint8& cellCount,
                                   quint16& identifier) const
{
    if (index >= m_commitTypes.size())
        return false;
    status = m_commitStatus.at(index);
    serial = m_commitSerials.at(index);
    typeId = m_commitTypes.at(index);
    cellCount = m_commitCells.at(index);
    identifier = m_commitIds.at(index);
    return true;
}

bool canConfig::startCommit(quint16 baseId, bool extended, quint8 speedCode)
{
    if (!mayStart("commit"))
        return false;
    m_commitResultsValid = false;
    if (!blocksFit(baseId, extended, m_commitTypes.size() + m_unassignedTypes.size())) {
        qCDebug(lcCanJobs, "commit: identifiers from base %04X do not fit", unsigned(baseId));
        emit sigCanDeviceOperationStatus(CanOpFailed, CanOpCommit);
        return false;
    }
    if (!enterConfigModeToStart()) {
        emit sigCanDeviceOperationStatus(CanOpFailed, CanOpCommit);
        return false;
    }
    emit sigCanDeviceOperationStatus(CanOpStarted, CanOpCommit);
    m_commit.base = baseId;
    m_commit.extended = extended;
    m_commit.speed = speedCode;
    m_commit.stage = 0;
    m_commitRunning = true;
    return true;
}

bool canConfig::startSingleModuleCommit(quint8 moduleIndex, quint16 typeId, quint32 serial, quint8 cellCount,
                                        quint16 baseId, bool extended, quint8 speedCode)
{
    if (!mayStart("single module commit"))
        return false;
    if (!blocksFit(baseId, extended, moduleIndex + 1)) {
        qCDebug(lcCanJobs, "single module commit: identifiers from base %04X do not fit", unsigned(baseId));
        emit sigCanDeviceOperationStatus(CanOpFailed, CanOpSingleModuleCommit);
        return false;
    }
    if (!enterConfigModeToStart()) {
        emit sigCanDeviceOperationStatus(CanOpFailed, CanOpSingleModuleCommit);
        return false;
    }
    showCommitProgress(QStringLiteral("Single CGM"));
    emit sigCanDeviceOperationStatus(CanOpStarted, CanOpSingleModuleCommit);
    m_single.module = moduleIndex;
    m_single.typeId = typeId;
    m_single.serial = serial;
    m_single.cells = cellCount;
    m_single.base = baseId;
    m_single.extended = extended;
    m_single.speed = speedCode;
    m_single.stage = 0;
    m_single.failed = false;
    m_singleRunning = true;
    return true;
}

void canConfig::setSortingAnswer(quint8 which, quint8 answer)
{
    if (which == 0) {
        m_sort.sortAnswered = true;
        m_sort.sortAnswer = answer;
    } else if (which == 1) {
        m_sort.retryAnswered = true;
        m_sort.retryAnswer = answer;
    } else {
        qCDebug(lcCanJobs, "unknown response received %u", unsigned(which));
        m_sort.sortAnswered = m_sort.retryAnswered = true;
        m_sort.sortAnswer = m_sort.retryAnswer = 0;
        return;
    }
    qCDebug(lcCanJobs, "sorting ack received %u %u", unsigned(which), unsigned(answer));
}

void canConfig::cancelGen2Operation(quint8 which)
{
    if (which != 1)
        m_sort.cancelEnumeration = true;
    if (which != 0)
        m_sort.cancelSorting = true;
}

// A failure of the current device: kept in its commit-list entry, and for
// every device in the job's outcome.
void canConfig::recordCommitFailure(quint8 status)
{
    m_commit.anyFailed = true;
    m_commit.deviceFailed = true;
    if (m_commit.fromCommitList) {
        m_commitStatus[m_commit.current] = status;
        m_commitCells[m_commit.current] = 0;
        if (status == CommitEnterFailed || status == CommitBaseIdFailed || status == CommitSecondaryIdFailed)
            m_commitIds[m_commit.current] = 0;
    }
}

void canConfig::finishCommit()
{
    m_commitRunning = false;
    m_commit.stage = 0;
    m_commitResultsValid = true;
    leaveConfigMode();
    releaseConfigMode();
    emit sigCanDeviceOperationStatus(m_commit.anyFailed ? CanOpFailed : CanOpFinished, CanOpCommit);
}

void canConfig::processCommit()
{
    Commit& c = m_commit;
    auto status = [this](quint8 s) {
        if (m_commit.fromCommitList)
            m_commitStatus[m_commit.current] = s;
    };
    switch (c.stage) {
    case 0:
        c.remainingCommit = m_commitTypes.size();
        c.remainingUnassigned = m_unassignedTypes.size();
        c.nextCommit = c.nextUnassigned = c.current = c.groupModules = 0;
        c.retries = 0;
        c.sequence = 4;
        c.anyFailed = false;
        m_sort = Sorting();
        m_gen2Ids.clear();
        m_gen2Count = int(std::count(m_commitTypes.cbegin(), m_commitTypes.cend(), quint16(9)));
        m_gen2Index = 0;
        c.stage = 1;
        break;
    case 1:
        c.retries = 0;
        c.deviceFailed = false;
        if (c.remainingUnassigned > 0) {
            const int j = c.nextUnassigned++;
            --c.remainingUnassigned;
            c.typeId = m_unassignedTypes.at(j);
            c.serial = m_unassignedSerials.at(j);
            c.fromCommitList = false;
            c.followUp = false;
            const quint32 n = quint32(m_commitTypes.size());
            c.newBase = allocatedId(c.base, c.extended, 8 + 4 * (n + quint32(j)));
            c.newSecondary = allocatedId(c.base, c.extended, 6);
            clearStepStates();
            c.stage = 2;
        } else if (c.remainingCommit > 0) {
            const int i = c.nextCommit++;
            --c.remainingCommit;
            c.current = i;
            c.typeId = m_commitTypes.at(i);
            c.serial = m_commitSerials.at(i);
            c.fromCommitList = true;
            clearStepStates();
            if (canDeviceIsGroupModule(c.typeId)) {
                c.newBase = allocatedId(c.base, c.extended, 8 + 4 * quint32(c.groupModules));
                c.newSecondary = allocatedId(c.base, c.extended, 7);
                ++c.groupModules;
                c.followUp = true;
                c.stage = 2;
            } else if (c.typeId == kCanCurrentSensorType) {
                c.newBase = allocatedId(c.base, c.extended, 1);
                c.newSecondary = allocatedId(c.base, c.extended, 0);
                c.followUp = false;
                c.stage = 2;
            }
            // Any other device is left as it is (pending).
        } else {
            c.stage = 11;
        }
        break;
    case 2: {
        const quint8 r = routeEnterConfigMode(c.typeId, c.serial);
        if (r == 2) {
            c.stage = 3;
        } else if (r == 3) {
            recordCommitFailure(CommitEnterFailed);
            c.stage = 1;
        }
        break;
    }
    case 3:
    case 4: {
        const bool base = c.stage == 3;
        const quint8 r = base ? routeSetBaseId(c.newBase, c.extended) : routeSetSecondaryId(c.newSecondary, c.extended);
        if (r == 2) {
            c.retries = 0;
            c.stage = base ? 4 : 5;
        } else if (r == 3 && ++c.retries >= 2) {
            c.retries = 0;
            // The leave request still goes out: the device must not stay
            // in its configuration mode.
            recordCommitFailure(base ? CommitBaseIdFailed : CommitSecondaryIdFailed);
            c.stage = 6;
        }
        break;
    }
    case 5: {
        const quint8 r = routeSetCanSpeed(c.speed);
        if (r == 2) {
            c.retries = 0;
            c.stage = 6;
        } else if ((r == 3 || r == 4) && ++c.retries >= 2) {
            c.retries = 0;
            recordCommitFailure(CommitSpeedFailed);
            c.stage = 6;
        }
        break;
    }
    case 6: {
        const quint8 r = routeLeaveConfigMode(c.typeId, c.serial);
        if (r == 3) {
            recordCommitFailure(CommitLeaveRefused);
            c.stage = 1;
        } else if (r == 4) {
            if (++c.retries >= 2) {
                recordCommitFailure(CommitPending);
                c.stage = 1;
            }
        } else if (r == 2) {
            c.retries = 0;
            // A device that failed an earlier step keeps that status and
            // gets no module requests on identifiers it did not take.
            if (c.deviceFailed) {
                c.stage = 1;
                break;
            }
            status(CommitConfigured);
            if (c.followUp && canDeviceIsGroupModule(c.typeId)) {
                if (canDeviceIsGen2GroupModule(c.typeId)) {
                    m_gen2Ids.append(c.newBase);
                    m_gen2Extended = c.extended;
                    ++m_gen2Index;
                    emit sigCGMGen2StatusUpdate(0, 0, uint32_t(m_gen2Index), uint32_t(m_gen2Count));
                    c.stage = 7;
                } else {
                    c.stage = 8;
                }
                // Next stage first: the mode change runs queued events.
                enterConfigMode(qint32(c.extended ? (c.newBase | 0x80000000u) : c.newBase));
            } else {
                c.stage = 1;
            }
        }
        break;
    }
    case 7: {
        const quint8 r = enumerateCgm(c.newBase, c.sequence, c.extended);
        if (r == 2 || r == 3) {
            qCDebug(lcCanJobs, r == 2 ? "cgm2 enum finished %04X;" : "cgm2 enum timeout %04X;", unsigned(c.newBase));
            ++c.sequence;
            c.stage = 8;
            emit sigCGMGen2StatusUpdate(0, r == 2 ? 1 : 2, uint32_t(m_gen2Index), uint32_t(m_gen2Count));
        }
        break;
    }
    case 8: {
        const quint8 r = queryCellCount(c.newBase, c.sequence, c.extended);
        if (r == 2) {
            m_commitCells[c.current] = m_cellCount;
            m_commitStatus[c.current] = CommitConfigured;
            m_commitIds[c.current] = quint16(c.newBase & 0xFFFF);
            ++c.sequence;
            c.stage = 9;
        } else if (r == 3) {
            ++c.sequence;
            if (++c.retries >= 2) {
                c.retries = 0;
                recordCommitFailure(CommitPending);
                c.stage = 1;
            }
        }
        break;
    }
    case 9:
    case 10: {
        const QByteArray b = c.stage == 9 ? bytes({c.sequence, 0x0A, m_commitCells.at(c.current)})
                                          : bytes({c.sequence, 0x0B, 0x00});
        sendCanFrame(cantunnel::maskId(c.newBase, c.extended), reinterpret_cast<const quint8*>(b.constData()),
                     quint8(b.size()), c.extended);
        ++c.sequence;
        c.stage = c.stage == 9 ? 10 : 1;
        break;
    }
    case 11: {
        const quint8 r = processSorting();
        if (r == 4 || r == 5)
            c.stage = 12;
        break;
    }
    default:
        finishCommit();
        break;
    }
}

void canConfig::takeSortingReplies(const CanTunnelFrame& f)
{
    const quint8* d = f.data.data();
    if (d[0] > m_sort.sequence || d[1] != 2)
        return;
    const quint32 id = cantunnel::maskId(f.id, m_gen2Extended);
    for (quint32 module : qAsConst(m_gen2Ids)) {
        const quint32 r = cantunnel::maskId(module, m_gen2Extended);
        if (id == cantunnel::maskId(r + 1, m_gen2Extended)) {
            m_sort.statusReplies.append({r, d[3]});
            return;
        }
        if (id == cantunnel::maskId(r + 2, m_gen2Extended)) {
            m_sort.error = true;
            return;
        }
    }
}

quint8 canConfig::processSorting()
{
    Sorting& s = m_sort;
    auto restart = [&] {
        s.request = 0;
        s.finished.clear();
        s.sequence = 0;
        s.repliesEnabled = true;
        s.statusReplies.clear();
        s.error = false;
        s.stage = 2;
        emit sigCGMGen2StatusUpdate(1, 0, 0, uint32_t(m_gen2Ids.size()));
    };
    // Sorting progress: 1 while running, 4 when over (done or given up).
    auto progress = [&](uint32_t stage) {
        emit sigCGMGen2StatusUpdate(1, stage, uint32_t(s.finished.size()), uint32_t(m_gen2Ids.size()));
    };
    switch (s.stage) {
    case 0: {
        if (m_gen2Ids.isEmpty()) {
            qCDebug(lcCanJobs) << "nothing to sort! ";
            return 5;
        }
        QVector<quint32> unique;
        for (quint32 id : qAsConst(m_gen2Ids))
            if (!unique.contains(id))
                unique.append(id);
        m_gen2Ids = unique;
        s.sortAnswered = s.retryAnswered = false;
        s.stage = 1;
        emit sigCanDeviceSortingRequest(0);
        return 0;
    }
    case 1:
        if (!s.sortAnswered)
            return 0;
        if (s.sortAnswer) {
            qCDebug(lcCanJobs, "procees with sorting, %u", unsigned(m_gen2Ids.size()));
            restart();
            return 0;
        }
        qCDebug(lcCanJobs) << "do not sort, user said so!";
        s.repliesEnabled = false;
        s.stage = 0;
        return 5;
    case 2:
        if (s.request < m_gen2Ids.size()) {
            const quint32 id = m_gen2Ids.at(s.request);
            qCDebug(lcCanJobs, "sending request to sort for %04X", unsigned(id));
            const QByteArray b = bytes({s.sequence, 0x0F, 0x02});
            sendCanFrame(id, reinterpret_cast<const quint8*>(b.constData()), 3, m_gen2Extended);
            s.stage = 3;
            return 1;
        }
        qCDebug(lcCanJobs) << "end of base id list, lets wait for acks";
        s.stage = 4;
        return 0;
    case 3: {
        const QByteArray b = bytes({s.sequence, 0xFF});
        sendCanFrame(m_gen2Ids.at(s.request), reinterpret_cast<const quint8*>(b.constData()), 2, m_gen2Extended);
        ++s.request;
        s.stage = 2;
        return 1;
    }
    case 4: {
        if (!s.statusReplies.isEmpty()) {
            m_ticks = 0;
            quint8 result = 0;
            // Each module counts once, however often it reports done.
            for (const auto& reply : qAsConst(s.statusReplies)) {
                if (reply.second == 4) {
                    s.finished.insert(reply.first);
                    qCDebug(lcCanJobs, "finished sorting %u of total %u", unsigned(s.finished.size()),
                            unsigned(m_gen2Ids.size()));
                } else {
                    qCDebug(lcCanJobs, "sorting status update received %u", unsigned(reply.second));
                    result = 2;
                }
            }
            s.statusReplies.clear();
            if (s.finished.size() >= m_gen2Ids.size()) {
                s.repliesEnabled = false;
                s.stage = 0;
                progress(4);
                return 4;
            }
            progress(1);
            return result;
        }
        if (s.error) {
            s.error = false;
            qCDebug(lcCanJobs) << "sorting ack error received";
            return 3;
        }
        if (++m_ticks >= 300) {
            m_ticks = 0;
            s.stage = 5;
            qCDebug(lcCanJobs) << "sorting timeout, not enough ack's received, retry?";
            s.repliesEnabled = false;
            // An answer to an earlier retry question does not answer this one.
            s.retryAnswered = false;
            progress(4);
            emit sigCanDeviceSortingRequest(1);
            return 6;
        }
        return 0;
    }
    case 5:
        if (!s.retryAnswered)
            return 0;
        if (s.retryAnswer) {
            qCDebug(lcCanJobs) << "retry sorting";
            restart();
            return 0;
        }
        qCDebug(lcCanJobs) << "do not retry with sorting;";
        m_gen2Ids.clear();
        s.repliesEnabled = false;
        s.stage = 0;
        return 5;
    default:
        s.stage = 0;
        return 0;
    }
}

void canConfig::processSingleModuleCommit()
{
    Single& m = m_single;
    switch (m.stage) {
    case 0:
        m.stage = 1;
        m.retries = 0;
        m.sequence = 4;
        break;
    case 1:
        clearStepStates();
        m.newBase = allocatedId(m.base, m.extended, 8 + 4 * quint32(m.module));
        m.newSecondary = allocatedId(m.base, m.extended, 7);
        m.stage = 2;
        break;
    case 2: {
        const quint8 r = routeEnterConfigMode(m.typeId, m.serial);
        if (r == 2) {
            m.stage = 3;
        } else if (r == 3) {
            m.failed = true;
            m.stage = 11;
        }
        break;
    }
    case 3:
    case 4:
    case 5: {
        quint8 r = 0;
        if (m.stage == 3)
            r = routeSetBaseId(m.newBase, m.extended);
        else if (m.stage == 4)
            r = routeSetSecondaryId(m.newSecondary, m.extended);
        else
            r = routeSetCanSpeed(m.speed);
        if (r == 2) {
            m.retries = 0;
            ++m.stage;
        } else if (r >= 3 && ++m.retries >= 2) {
            m.retries = 0;
            m.failed = true;
            m.stage = 6;
        }
        break;
    }
    case 6: {
        const quint8 r = routeLeaveConfigMode(m.typeId, m.serial);
        if (r == 2) {
            m.retries = 0;
            // No module requests on identifiers the module did not take.
            m.stage = m.failed ? 11 : 8;
        } else if (r == 3) {
            m.failed = true;
            m.stage = 11;
        } else if (r == 4 && ++m.retries >= 2) {
            // The module never confirmed: not a success.
            m.failed = true;
            m.stage = 11;
        }
        break;
    }
    case 8: {
        const quint8 r = queryCellCount(m.newBase, m.sequence, m.extended);
        if (r == 2) {
            ++m.sequence;
            m.retries = 0;
            m.stage = 9;
        } else if (r == 3) {
            ++m.sequence;
            if (++m.retries >= 2) {
                m.retries = 0;
                m.stage = 9;
            }
        }
        break;
    }
    case 9:
    case 10: {
        const QByteArray b = m.stage == 9 ? bytes({m.sequence, 0x0A, m.cells}) : bytes({m.sequence, 0x0B, 0x00});
        sendCanFrame(cantunnel::maskId(m.newBase, m.extended), reinterpret_cast<const quint8*>(b.constData()),
                     quint8(b.size()), m.extended);
        ++m.sequence;
        m.stage = m.stage == 9 ? 10 : 11;
        break;
    }
    default: {
        m_singleRunning = false;
        m.stage = 0;
        leaveConfigMode();
        releaseConfigMode();
        hideProgress();
        const bool failed = m.failed;
        m.failed = false;
        emit sigCanDeviceOperationStatus(failed ? CanOpFailed : CanOpFinished, CanOpSingleModuleCommit);
        break;
    }
    }
}
