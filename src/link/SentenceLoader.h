#pragma once

#include <QObject>
#include <QStringList>

#include <atomic>
#include <functional>

// The status poller: asks the unit for every sentence some page listens to
// (each name with ",?"), ends each pass with "RS2,?", and repeats every 2 s
// while "Active Polling" is on. Runs in "Sentence Loader Thread"; the flags
// are written from the GUI thread and read at every check, and every wait
// ends early when the poller is told to stop.
class SentenceLoader : public QObject
{
    Q_OBJECT
public:
    struct Hooks
    {
        std::function<QStringList()> sentenceNames;  // the root map's names
        std::function<void(const QString& name, const QString& parameters, unsigned delayMs)> send;
        std::function<bool()> canUpdateBusy;         // CAN-device firmware update armed or running
        std::function<bool()> parametersLoading;     // the configuration page reads all parameters
        std::function<bool()> configModeActive;      // the unit is in configuration mode
        std::function<bool()> firmwareUpdating;      // serial firmware update of the unit
    };
    struct Timing
    {
        int startMs = 200;
        int busyWaitMs = 5000;
        int sendDelayMs = 50;
        int afterSendMs = 10;
        int afterBulkMs = 200; // more after "SS1" and "LG1"
        int passGapMs = 2000;
    };

    explicit SentenceLoader(Hooks hooks, QObject* parent = nullptr);
    void setTiming(const Timing& timing) { timing_ = timing; }

    void setPollingEnabled(bool on) { pollingEnabled_ = on; }
    void setActive(bool on) { active_ = on; }
    bool isPollingEnabled() const { return pollingEnabled_; }
    bool isActive() const { return active_; }

public slots:
    void pollAllSentences_();

signals:
    void done();

private:
    bool busy() const;
    // Sleeps up to ms; returns false as soon as the poller should end.
    bool sleepWhileRunning(int ms, bool passStartedWithPolling = false);
    bool running(bool passStartedWithPolling) const;

    Hooks hooks_;
    Timing timing_;
    std::atomic<bool> pollingEnabled_{false};
    std::atomic<bool> active_{false};
};
