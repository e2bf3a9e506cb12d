#pragma once

#include "CanLinkServices.h"
#include "RouteProtocol.h"

#include <QMap>
#include <QObject>
#include <QSet>
#include <QString>
#include <QVector>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>

class QProgressBar;
class QProgressDialog;

// Codes of sigCanDeviceOperationStatus (status, operation).
enum CanOperationStatus { CanOpStarted = 0, CanOpFinished = 1, CanOpFailed = 2 };
enum CanDeviceOperation {
    CanOpDiscovery = 0,
    CanOpCommit = 1,
    CanOpSingleModuleCommit = 2,
    CanOpFirmwareUpdate = 3,
    CanOpSpeedChange = 4,
    CanOpSensorDiscovery = 5,
    CanOpSensorConfig = 6,
};

// Status of a commit-list entry after a configuration commit.
enum CommitDeviceStatus : quint8 {
    CommitConfigured = 0,
    CommitEnterFailed = 1,
    CommitBaseIdFailed = 2,
    CommitSecondaryIdFailed = 3,
    CommitSpeedFailed = 4,
    CommitLeaveRefused = 5,
    CommitPending = 6,
};

// Runs the CAN jobs through the control unit: discovery, configuration
// commit and single-module commit. Each job is a state machine stepped once
// per tick (slotCanProcess, after every read pass of the transport); a step
// sends at most a request or checks for its answer. GUI thread only.
//   canConfig.cpp           frames, replies, configuration mode, progress
//   canRouteSteps.cpp       route and module step operations
//   canDiscovery.cpp        discovery
//   canCommit.cpp           configuration commit, sorting, single module
class canConfig : public QObject
{
    Q_OBJECT
public:
    // link: where frames go and the configuration mode is set; by default
    // the main window's protocol handler and configuration page.
    explicit canConfig(std::unique_ptr<CanLinkServices> link = nullptr);
    ~canConfig() override;

    // True while any job runs; only then does the pump pass it lines.
    bool isBusy() const;
    bool isSpeedChangeRunning() const { return m_speedChangeRunning; }
    // One received line without its check suffix.
    void processSentence(const QString& line);

    // --- frames
    void sendCanFrame(quint32 id, const quint8* data, quint8 length, bool extended);
    void sendSentence(const QString& name, const QString& parameters);
    // Puts the control unit into its CAN configuration mode: target -1 at
    // the start of a job, a module's base id (bit 31: extended) before its
    // module requests. False when no configuration mode could be entered.
    bool enterConfigMode(qint32 target);
    // The same at a job's start, the unit's configuration mode taken from
    // its owner; the engine counts as busy meanwhile, as events (and so
    // other starts) run inside the wait.
    bool enterConfigModeToStart();
    // False (and a debug line) while a job runs or another service holds
    // the unit's configuration mode.
    bool mayStart(const char* job) const;
    const std::array<quint32, 5>& filterWords() const { return m_filters; }

    // --- route step operations: call once per tick until 2 or more
    quint8 routeEnterConfigMode(quint16 typeId, quint32 serial);
    quint8 routeLeaveConfigMode(quint16 typeId, quint32 serial);
    quint8 routeReadBaseId(quint16 typeId, quint32 serial);
    quint8 routeReadSoftwareVersion(quint16 typeId, quint32 serial);
    quint8 routeSetBaseId(quint32 id, bool extended);
    quint8 routeSetSecondaryId(quint32 id, bool extended);
    quint8 routeSetCanSpeed(quint8 speedCode);
    quint8 routeSetParameter(quint16 paramId, quint32 value);
    quint32 readBaseIdValue() const { return m_baseIdRead; }
    quint32 readSoftwareVersionValue() const { return m_versionRead; }

    // --- module step operations
    quint8 queryCellCount(quint32 baseId, quint8 sequence, bool extended);
    quint8 enumerateCgm(quint32 baseId, quint8 sequence, bool extended);
    quint8 cellCount() const { return m_cellCount; }

    // Route replies to the discovery requests while a job listens for them.
    void onDiscoverReply(const quint8* data, quint8 length);

    // --- discovery
    // Every start returns whether the job runs. One job at a time: a start
    // while any job runs, or while another service holds the unit's
    // configuration mode, is refused with no signal (the caller tells the
    // user); a unit refusing its configuration mode gives the failure status.
    bool startDiscovery(bool legacy);
    int discoverListSize() const { return m_discTypes.size(); }
    bool discoverListEntry(quint8 index, quint16& typeId, quint32& serial, quint32& version, quint32& baseId,
                           quint8& cellCount) const;
    void clearDiscoverLists();
    void sortDiscoverList();

    // --- configuration commit (the lists do not change while it runs)
    void clearCommitLists();
    void addCommitDevice(quint16 typeId, quint32 serial);
    void addUnassignedDevice(quint16 typeId, quint32 serial);
    bool startCommit(quint16 baseId, bool extended, quint8 speedCode);
    int commitDeviceCount() const { return m_commitTypes.size(); }
    // The commit list holds the results of a commit that ran to its end
    // (not those of one that could not start).
    bool commitResultsValid() const { return m_commitResultsValid; }
    int unassignedDeviceCount() const { return m_unassignedTypes.size(); }
    bool commitDeviceResult(quint8 index, quint8& status, quint32& serial, quint16& typeId, quint8& cellCount,
                            quint16& identifier) const;
    bool startSingleModuleCommit(quint8 moduleIndex, quint16 typeId, quint32 serial, quint8 cellCount,
                                 quint16 baseId, bool extended, quint8 speedCode);
    void setSortingAnswer(quint8 which, quint8 answer);
    void cancelGen2Operation(quint8 which);

    // --- CAN speed change and CAN Splitter set-up (canSpeedSplitter.cpp)
    bool startSpeedChange(quint8 speedCode);
    void clearSplitterParams();
    void addSplitterParam(quint16 id, quint32 value, const QString& name);
    void removeDuplicateSplitterParams();
    void startSplitterConfig();
    int splitterParamCount() const { return m_splitterIds.size(); }
    // How a parameter the splitter refused is told to the user; by default
    // a modal box. Ticks are held off while it runs.
    void setSplitterRefusalReporter(std::function<void(const QString&)> report)
    {
        m_reportRefusal = std::move(report);
    }
    // Single frames to the CAN current sensor; no reply is awaited.
    void sendCurrentSensorZero(quint32 identifier, bool extended);
    void sendCurrentSensorSoc(quint32 identifier, bool extended, quint32 stateOfCharge);
    void sendCurrentSensorConfig(quint32 identifier, bool extended, quint8 setting, bool flag, qint16 period);

    // --- progress dialog, shared by all jobs
    void showDiscoveryProgress();
    void showCommitProgress(const QString& name);
    void updateProgress(int percent, const QString& text, const QString& name);
    void hideProgress();
    QProgressDialog* progressDialog() const { return m_progress; }

    // Identifier allocation of the commit: offset from base, 29 or 11 bits.
    static quint32 allocatedId(quint16 base, bool extended, quint32 offset);

signals:
    void sigCanDeviceUploadProgress(int percent);
    void sigCanDeviceUploadStatus(int status, int code);
    void sigCanDeviceOperationStatus(int status, int operation);
    void sigCanSplitterConfigFinish(int result);
    void sigCanDeviceSortingRequest(uint8_t request);
    void sigCGMGen2StatusUpdate(uint32_t a, uint32_t b, uint32_t c, uint32_t d);

public slots:
    // Steps every armed job once, in the order commit, single-module commit,
    // discovery.
    void slotCanProcess();

private:
    // The generic waiting route step (see canRouteSteps.cpp).
    quint8 routeStep(quint8& state, quint8 code, const QByteArray& request, unsigned firstLimit,
                     int secondLimit, quint8 noReplyResult, quint8 (canConfig::*result)(const RouteReply&));
    quint8 resultAny(const RouteReply&) { return 2; }
    quint8 resultStatus(const RouteReply& r) { return r.status == 0 ? 2 : 3; }
    quint8 resultBaseId(const RouteReply& r);
    quint8 resultVersion(const RouteReply& r);
    void sendRoute(const QByteArray& bytes);
    void sendModule(const QByteArray& bytes);
    void clearStepStates();
    // Changes the unit's mode with the ticks held off: the waits process
    // events, and a nested tick would run the job (and further mode
    // changes) before this one is confirmed.
    bool leaveConfigMode();
    // Gives the unit's configuration mode back once no job runs.
    void releaseConfigMode();
    void finishDiscovery(int status);
    void processDiscovery();
    void processCommit();
    quint8 processSorting();
    void processSingleModuleCommit();
    void finishCommit();
    void recordCommitFailure(quint8 status);
    void takeSortingReplies(const CanTunnelFrame& frame);
    void processSpeedChange();
    void processCanSplitterConfig();
    void sendLegacyDiscover();
    void sendSensorFrame(quint32 identifier, bool extended, const quint8* data, quint8 length);
    void finishSplitter(int result);

    std::unique_ptr<CanLinkServices> m_link;
    QProgressDialog* m_progress = nullptr;
    QProgressBar* m_progressBar = nullptr;
    bool m_progressHidden = false;

    // Run flags.
    bool m_commitRunning = false;
    bool m_singleRunning = false;
    bool m_discoveryRunning = false;
    bool m_speedChangeRunning = false;
    bool m_splitterRunning = false;
    bool m_commitResultsValid = false;
    // Set while the unit's configuration mode is being changed.
    bool m_modeChanging = false;
    // Set while a job start waits for the unit's configuration mode: events
    // are processed in that wait, and no other job may start meanwhile.
    bool m_starting = false;
    // Set while a tick runs: a box opened inside it holds the next step off.
    bool m_inTick = false;

    // Route steps.
    std::array<RouteReply, 16> m_replies{};
    unsigned m_ticks = 0;
    quint8 m_enterState = 0;
    quint8 m_enterAttempts = 0;
    quint8 m_leaveState = 0;
    quint8 m_readBaseState = 0;
    quint8 m_setBaseState = 0;
    quint8 m_setSecondaryState = 0;
    quint8 m_setSpeedState = 0;
    quint8 m_versionState = 0;
    quint8 m_setParamState = 0;
    quint8 m_cellCountState = 0;
    unsigned m_cellCountCalls = 0;
    quint8 m_enumState = 0;
    quint32 m_baseIdRead = 0;
    quint32 m_versionRead = 0;
    quint8 m_cellCount = 0;
    ModuleQuery m_query;
    std::array<quint32, 5> m_filters{};

    // Discover list: parallel lists.
    QVector<quint16> m_discTypes;
    QVector<quint32> m_discSerials;
    QVector<quint32> m_discVersions;
    QVector<quint32> m_discBaseIds;
    QVector<quint8> m_discCellCounts;
    QVector<quint8> m_discExtended;
    struct Discovery
    {
        int stage = 0;
        bool legacy = false;
        int requests = 0;
        int silence = 0;
        int remaining = 0;
        int index = 0;
        quint16 typeId = 0;
        quint32 serial = 0;
        quint32 baseId = 0;
        bool extended = true;
        quint8 sequence = 10;
        int retries = 0;
    } m_disc;
    int m_speedChangeStage = 0;
    int m_splitterStage = 0;
    struct SpeedChange
    {
        quint8 speed = 0;
        int remaining = 0;
        bool firstPass = true;
        int retries = 0;
        bool speedFailed = false;
        quint16 typeId = 0;
        quint32 serial = 0;
    } m_speed;
    QVector<quint16> m_splitterIds;
    QVector<quint32> m_splitterValues;
    QMap<quint16, QString> m_splitterNames;
    struct Splitter
    {
        quint16 typeId = 0;
        quint32 serial = 0;
        int index = 0;
        int timeouts = 0;
        int result = 0;
    } m_splitter;
    std::function<void(const QString&)> m_reportRefusal;
    bool m_reportingRefusal = false;

    // Commit lists.
    QVector<quint16> m_commitTypes;
    QVector<quint32> m_commitSerials;
    QVector<quint8> m_commitStatus;
    QVector<quint8> m_commitCells;
    QVector<quint16> m_commitIds;
    QVector<quint16> m_unassignedTypes;
    QVector<quint32> m_unassignedSerials;
    struct Commit
    {
        int stage = 0;
        int remainingCommit = 0;
        int remainingUnassigned = 0;
        int nextCommit = 0;
        int nextUnassigned = 0;
        int current = 0;
        int groupModules = 0;
        quint16 typeId = 0;
        quint32 serial = 0;
        bool fromCommitList = false;
        bool followUp = false;
        quint32 newBase = 0;
        quint32 newSecondary = 0;
        quint16 base = 0;
        bool extended = false;
        quint8 speed = 0;
        int retries = 0;
        quint8 sequence = 4;
        bool anyFailed = false;    // any device of this commit failed
        bool deviceFailed = false; // the current device failed a step
    } m_commit;
    QVector<quint32> m_gen2Ids;
    bool m_gen2Extended = false;
    int m_gen2Count = 0;
    int m_gen2Index = 0;
    struct Sorting
    {
        int stage = 0;
        int request = 0;
        quint8 sequence = 0;
        bool repliesEnabled = false;
        bool error = false;
        QVector<std::pair<quint32, quint8>> statusReplies; // module, status
        QSet<quint32> finished;
        bool sortAnswered = false;
        quint8 sortAnswer = 0;
        bool retryAnswered = false;
        quint8 retryAnswer = 0;
        bool cancelEnumeration = false;
        bool cancelSorting = false;
    } m_sort;
    struct Single
    {
        int stage = 0;
        quint8 module = 0;
        quint16 typeId = 0;
        quint32 serial = 0;
        quint8 cells = 0;
        quint16 base = 0;
        bool extended = false;
        quint8 speed = 0;
        int retries = 0;
        quint8 sequence = 4;
        quint32 newBase = 0;
        quint32 newSecondary = 0;
        bool failed = false;
    } m_single;
};

// The one instance; null before it is built and after it is gone.
extern canConfig* g_canConfig;
