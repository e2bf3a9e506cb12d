#include "canConfig.h"

#include "CanLog.h"

using namespace route;

namespace {
QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray b;
    for (int v : values)
        b.append(char(v));
    return b;
}
} // namespace

// In state 0 clear the command's reply, send, wait in state 1. A reply ends
// the step with result(); without one the shared tick counter runs up to
// firstLimit, then the request is either sent once more (secondLimit >= 0,
// waiting in state 2) or the step gives up with noReplyResult.
quint8 canConfig::routeStep(quint8& state, quint8 code, const QByteArray& request, unsigned firstLimit,
                            int secondLimit, quint8 noReplyResult,
                            quint8 (canConfig::*result)(const RouteReply&))
{
    RouteReply& reply = m_replies[code];
    switch (state) {
    case 0:
        reply.received = false;
        sendRoute(request);
        state = 1;
        return 1;
    case 1:
    case 2: {
        if (reply.received) {
            reply.received = false;
            state = 0;
            return (this->*result)(reply);
        }
        ++m_ticks;
        const unsigned limit = state == 1 ? firstLimit : unsigned(secondLimit);
        if (m_ticks <= limit)
            return 0;
        if (state == 1 && secondLimit >= 0) {
            reply.received = false;
            sendRoute(request);
            state = 2;
            return 1;
        }
        state = 0;
        return noReplyResult;
    }
    default:
        state = 0;
        return 0;
    }
}

quint8 canConfig::resultBaseId(const RouteReply& r)
{
    m_baseIdRead = r.value;
    return 2;
}

quint8 canConfig::resultVersion(const RouteReply& r)
{
    m_versionRead = r.value;
    return 2;
}

quint8 canConfig::routeLeaveConfigMode(quint16 typeId, quint32 serial)
{
    return routeStep(m_leaveState, LeaveConfig, addressed(LeaveConfig, typeId, serial), 33, 100, 4,
                     &canConfig::resultStatus);
}

quint8 canConfig::routeReadBaseId(quint16 typeId, quint32 serial)
{
    return routeStep(m_readBaseState, ReadBaseId, addressed(ReadBaseId, typeId, serial), 17, -1, 3,
                     &canConfig::resultBaseId);
}

// A device that answers a new identifier with a status other than 0 has
// not taken it: that is a failure like no answer at all.
quint8 canConfig::routeSetBaseId(quint32 id, bool extended)
{
    return routeStep(m_setBaseState, SetBaseId, withId(SetBaseId, id, extended), 17, -1, 3,
                     &canConfig::resultStatus);
}

quint8 canConfig::routeSetSecondaryId(quint32 id, bool extended)
{
    return routeStep(m_setSecondaryState, SetSecondaryId, withId(SetSecondaryId, id, extended), 17, -1, 3,
                     &canConfig::resultStatus);
}

quint8 canConfig::routeSetCanSpeed(quint8 speedCode)
{
    return routeStep(m_setSpeedState, SetCanSpeed, bytes({SetCanSpeed, complement(SetCanSpeed), speedCode}), 17, -1, 4, &canConfig::resultStatus);
}

quint8 canConfig::routeReadSoftwareVersion(quint16 typeId, quint32 serial)
{
    return routeStep(m_versionState, ReadVersion, addressed(ReadVersion, typeId, serial), 17, 17, 3,
                     &canConfig::resultVersion);
}

quint8 canConfig::routeSetParameter(quint16 paramId, quint32 value)
{
    QByteArray b;
    b.append(char(SetParameter));
    b.append(char(complement(SetParameter)));
    putLe16(b, paramId);
    putLe32(b, value);
    return routeStep(m_setParamState, SetParameter, b, 33, -1, 4, &canConfig::resultStatus);
}

// Two enter requests, each awaited; then the version query must give the
// configuration-mode marker. Up to 20 attempts.
quint8 canConfig::routeEnterConfigMode(quint16 typeId, quint32 serial)
{
    RouteReply& reply = m_replies[EnterConfig];
    bool failed = false;
    switch (m_enterState) {
    case 0:
        m_enterState = 1;
        m_enterAttempts = 0;
        return 0;
    case 1:
    case 3:
        reply.received = false;
        sendRoute(addressed(EnterConfig, typeId, serial));
        ++m_enterState;
        return 1;
    case 2:
    case 4:
        if (reply.received) {
            reply.received = false;
            m_versionState = 0;
            ++m_enterState;
            return 0;
        }
        if (++m_ticks <= 17)
            return 0;
        failed = true;
        break;
    case 5: {
        const quint8 r = routeReadSoftwareVersion(typeId, serial);
        if (r == 0 || r == 1)
            return 0;
        if (r == 2 && m_versionRead == kConfigModeMarker) {
            m_enterState = 0;
            return 2;
        }
        failed = true;
        break;
    }
    default:
        m_enterState = 0;
        return 0;
    }
    if (failed) {
        if (++m_enterAttempts >= 20) {
            m_enterState = 0;
            m_enterAttempts = 0;
            return 3;
        }
        m_enterState = 1;
    }
    return 0;
}

// --- module requests on the module's own identifiers

quint8 canConfig::queryCellCount(quint32 baseId, quint8 sequence, bool extended)
{
    switch (m_cellCountState) {
    case 0: {
        m_query.setUp(baseId, sequence, extended, 1);
        qCDebug(lcCanJobs) << "get cell count: sending out request";
        sendModule(bytes({sequence, 0x01, 0xD8, 0x03}));
        m_cellCountState = 1;
        m_cellCountCalls = 0;
        return 1;
    }
    case 1:
        if (++m_cellCountCalls < 17)
            return 1;
        m_query.replied = false;
        sendModule(bytes({sequence, 0xFF}));
        m_cellCountState = 2;
        m_cellCountCalls = 0;
        return 1;
    case 2:
        if (m_query.replied) {
            m_cellCount = m_query.cellCount;
            m_query.active = false;
            m_cellCountState = 0;
            qCDebug(lcCanJobs, "get cell count: got %u cells for %08X", unsigned(m_cellCount), unsigned(m_query.requestId));
            return 2;
        }
        if (++m_cellCountCalls > 49 || m_query.error) {
            m_query.error = false;
            m_query.active = false;
            m_cellCount = 0;
            m_cellCountState = 0;
            qCDebug(lcCanJobs, "get cell count: timeout or error for %08X", unsigned(m_query.requestId));
            return 3;
        }
        return 0;
    default:
        m_cellCountState = 0;
        return 0;
    }
}

quint8 canConfig::enumerateCgm(quint32 baseId, quint8 sequence, bool extended)
{
    switch (m_enumState) {
    case 0:
        m_query.setUp(baseId, sequence, extended, 15);
        sendModule(bytes({sequence, 0x0F, 0x01}));
        m_enumState = 1;
        return 1;
    case 1:
        m_query.error = false;
        m_query.replied = false;
        sendModule(bytes({sequence, 0xFF}));
        m_enumState = 2;
        return 1;
    case 2:
        if (m_query.replied) {
            m_query.replied = false;
            m_ticks = 0;
            if (m_query.gen2Reply[0] != 1)
                return 0;
            if (m_query.gen2Reply[2] == 2) {
                m_query.active = false;
                m_enumState = 0;
                return 2;
            }
            return 0;
        }
        if (++m_ticks > 299) {
            m_enumState = 0;
            m_query.active = false;
            return 3;
        }
        return 0;
    default:
        m_query.active = false;
        m_enumState = 0;
        return 0;
    }
}

void canConfig::clearStepStates()
{
    m_enterState = 0;
    m_enterAttempts = 0;
    m_leaveState = 0;
    m_readBaseState = 0;
    m_setBaseState = 0;
    m_setSecondaryState = 0;
    m_setSpeedState = 0;
    m_versionState = 0;
    m_setParamState = 0;
    m_cellCountState = 0;
    m_enumState = 0;
}
