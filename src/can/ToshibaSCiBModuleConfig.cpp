#include "ToshibaSCiBModuleConfig.h"

#include "ConfigModeOwner.h"

#include <QStringList>

#include <algorithm>
#include <cstdio>

ToshibaSCiBModuleConfig* g_toshibaSCiBModuleConfig = nullptr;

ToshibaSCiBModuleConfig::ToshibaSCiBModuleConfig(std::unique_ptr<CanLinkServices> link)
    : QObject(nullptr), m_link(link ? std::move(link) : std::make_unique<HandlerCanLink>())
{
    g_toshibaSCiBModuleConfig = this;
}

ToshibaSCiBModuleConfig::~ToshibaSCiBModuleConfig()
{
    if (g_toshibaSCiBModuleConfig == this)
        g_toshibaSCiBModuleConfig = nullptr;
    if (m_busy)
        ConfigModeOwner::release(ConfigModeOwner::ScibModules);
}

bool ToshibaSCiBModuleConfig::startDiscovery()
{
    if (m_busy || !ConfigModeOwner::take(ConfigModeOwner::ScibModules))
        return false;
    if (!m_link->setConfigModeIfConnected(true)) {
        ConfigModeOwner::release(ConfigModeOwner::ScibModules);
        return false;
    }
    emit sigToshibSCiBModuleOperationStatus(Started, 0);
    m_foundIds.clear();
    m_foundCells.clear();
    m_stage = 0;
    m_busy = true;
    return true;
}

void ToshibaSCiBModuleConfig::slotCanProcess()
{
    // Not again inside a box opened by the end of the discovery.
    if (!m_busy || m_inTick)
        return;
    m_inTick = true;
    processStep();
    m_inTick = false;
}

QString ToshibaSCiBModuleConfig::pollParameters(int module)
{
    return QString::asprintf("%08X,0,0,0,", pollId(module));
}

void ToshibaSCiBModuleConfig::processStep()
{
    switch (m_stage) {
    case 0:
        m_foundIds.clear();
        m_foundCells.clear();
        m_module = 1;
        m_ticks = 0;
        m_skippedPolls = 0;
        m_stage = 1;
        return;
    case 1:
        if (m_link->canSend())
            m_link->sendSentence(QStringLiteral("CN1,"), pollParameters(m_module), 20);
        else
            ++m_skippedPolls;
        m_stage = 2;
        m_ticks = 0;
        return;
    case 2:
        if (++m_ticks >= kWaitTicks) {
            if (m_module < kModuleCount) {
                ++m_module;
                m_stage = 1;
            } else {
                m_stage = 3;
            }
        }
        return;
    case 3: {
        m_busy = false;
        // Ascending by module number, each cell count kept with its id.
        QList<int> order;
        for (int i = 0; i < m_foundIds.size(); ++i)
            order << i;
        std::stable_sort(order.begin(), order.end(), [this](int a, int b) { return m_foundIds[a] < m_foundIds[b]; });
        QList<uint32_t> ids;
        QList<uint8_t> cells;
        for (int i : order) {
            ids << m_foundIds.at(i);
            cells << m_foundCells.at(i);
        }
        m_foundIds = ids;
        m_foundCells = cells;
        finish();
        return;
    }
    default:
        finish();
        return;
    }
}

void ToshibaSCiBModuleConfig::finish()
{
    m_link->setConfigModeIfConnected(false);
    m_busy = false;
    m_stage = 0;
    ConfigModeOwner::release(ConfigModeOwner::ScibModules);
    // A skipped poll leaves that module unknown: say so instead of
    // presenting a partial list as the whole bus.
    if (m_skippedPolls > 0)
        std::printf("SCiB discovery: %d of %d polls not sent\n", m_skippedPolls, kModuleCount);
    emit sigToshibSCiBModuleOperationStatus(m_skippedPolls > 0 ? Failed : Finished, 0);
}

bool ToshibaSCiBModuleConfig::parseReply(const QString& line, int* module, uint8_t* cellCount)
{
    if (!line.startsWith(QLatin1String("CN1")))
        return false;
    const QStringList f = line.split(QLatin1Char(','));
    if (f.size() < 6)
        return false;
    bool ok = false;
    const quint32 id = f.at(1).toUInt(&ok, 16);
    if (!ok)
        return false;
    const quint32 number = (id >> 4) & 0xFF;
    if (number < 0x51 || number > 0x70 || (id & 0x7) != 4)
        return false;
    int length = f.at(4).toInt(&ok, 10);
    if (!ok || length < 0)
        length = 0;
    length = std::min(length, 8);
    const QString hex = f.at(5);
    quint8 data[8] = {};
    for (int i = 0; i < length && 2 * i + 1 < hex.size(); ++i) {
        const uint byte = hex.mid(2 * i, 2).toUInt(&ok, 16);
        data[i] = ok ? quint8(byte) : 0; // a missing or bad byte reads as 0
    }
    bool nineCells = length == 8;
    for (int i = 2; i < 8 && nineCells; ++i)
        nineCells = data[i] == 0xAA;
    *module = int(number) - 0x50;
    *cellCount = nineCells ? 9 : 12;
    return true;
}

void ToshibaSCiBModuleConfig::processSentence(const QString& line)
{
    int module = 0;
    uint8_t cells = 0;
    if (!parseReply(line, &module, &cells))
        return;
    // The first reply of a module counts.
    if (m_foundIds.contains(uint32_t(module)))
        return;
    m_foundIds << uint32_t(module);
    m_foundCells << cells;
}

bool ToshibaSCiBModuleConfig::discoveredModule(uint32_t* moduleId, uint8_t* cellCount, int index) const
{
    if (index < 0 || index >= m_foundIds.size())
        return false;
    *moduleId = m_foundIds.at(index);
    *cellCount = m_foundCells.at(index);
    return true;
}

void ToshibaSCiBModuleConfig::clearCommitList()
{
    m_commitIds.clear();
    m_commitStatus.clear();
    m_commitCells.clear();
    m_unassigned.clear();
}

void ToshibaSCiBModuleConfig::addCommitModule(uint32_t moduleId, uint8_t cellCount)
{
    m_commitIds << moduleId;
    m_commitStatus << 0;
    m_commitCells << cellCount;
}

void ToshibaSCiBModuleConfig::addUnassignedModule(uint32_t moduleId)
{
    m_unassigned << moduleId;
}

bool ToshibaSCiBModuleConfig::commitModuleResult(int index, uint8_t* status, uint32_t* moduleId,
                                                 uint8_t* cellCount) const
{
    if (index < 0 || index >= m_commitIds.size())
        return false;
    *status = m_commitStatus.at(index);
    *moduleId = m_commitIds.at(index);
    *cellCount = m_commitCells.at(index);
    return true;
}
