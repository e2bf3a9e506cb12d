#pragma once

#include "CanLinkServices.h"

#include <QList>
#include <QObject>
#include <QString>

#include <cstdint>
#include <memory>

// Discovery of Toshiba SCiB battery modules over CAN, and the scratch lists
// the configuration page fills and reads back when it stores the mapping.
// Each module n (1 to 32) is polled with an empty 11-bit frame on
// 0x504 + 0x10 n and answers with its cell count. GUI thread only: ticks and
// received lines arrive through queued connections, never overlapping.
class ToshibaSCiBModuleConfig : public QObject
{
    Q_OBJECT
public:
    // Status codes of sigToshibSCiBModuleOperationStatus (operation 0 is the
    // discovery). Failed: some polls could not be sent (link down or the
    // unit's firmware being written), so the result may be incomplete.
    enum Status { Started = 0, Finished = 1, Failed = 2 };
    static constexpr int kModuleCount = 32;
    static constexpr int kWaitTicks = 18;

    // link: where the polls go and the configuration mode is set; by
    // default the main window's protocol handler.
    explicit ToshibaSCiBModuleConfig(std::unique_ptr<CanLinkServices> link = nullptr);
    ~ToshibaSCiBModuleConfig() override;

    // False (and no status) when a discovery runs, when another job holds
    // the unit's configuration mode, or when that mode could not be entered.
    bool startDiscovery();
    // True while its discovery runs; only then does the pump pass it lines.
    bool isBusy() const { return m_busy; }
    void processSentence(const QString& line);

    int discoveredCount() const { return m_foundIds.size(); }
    bool discoveredModule(uint32_t* moduleId, uint8_t* cellCount, int index) const;

    void clearCommitList();
    void addCommitModule(uint32_t moduleId, uint8_t cellCount);
    void addUnassignedModule(uint32_t moduleId);
    int commitModuleCount() const { return m_commitIds.size(); }
    int unassignedModuleCount() const { return m_unassigned.size(); }
    bool commitModuleResult(int index, uint8_t* status, uint32_t* moduleId, uint8_t* cellCount) const;

    // The poll of module n and the reply rule, for tests and the emulator.
    static quint32 pollId(int module) { return 0x504u + 0x10u * quint32(module); }
    static QString pollParameters(int module);
    // Module number (1-32) and cell count of a reply line; false when it is
    // no module reply.
    static bool parseReply(const QString& line, int* module, uint8_t* cellCount);

signals:
    void sigToshibSCiBModuleOperationStatus(int status, int operation);

public slots:
    void slotCanProcess();

protected:
    void processStep();

private:
    void finish();

    std::unique_ptr<CanLinkServices> m_link;
    QList<uint32_t> m_foundIds;
    QList<uint8_t> m_foundCells;
    QList<uint32_t> m_commitIds;
    QList<uint8_t> m_commitStatus;
    QList<uint8_t> m_commitCells;
    QList<uint32_t> m_unassigned;
    bool m_busy = false;
    uint8_t m_stage = 0;
    uint8_t m_module = 1;
    uint32_t m_ticks = 0;
    int m_skippedPolls = 0;
    bool m_inTick = false;
};

// The one instance, set by its constructor and cleared by its destructor.
extern ToshibaSCiBModuleConfig* g_toshibaSCiBModuleConfig;
