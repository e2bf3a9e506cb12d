#pragma once

#include "FirmwareUpdater.h"
#include "UserQuestion.h"

#include <QByteArray>
#include <QMutex>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVector>

#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

class Communicator;
class QThread;

// The waits of the link session and of the protocol operations. The defaults
// are the protocol's; tests shorten the long ones.
struct Y5Timing
{
    int identifyReplyWaitMs = 100;   // after the handshake's version query
    int bootPassWaitMs = 50;         // after each version query of the boot-mode check
    int featurePassWaitMs = 50;      // after each "FP1" request
    int keepAliveStepMs = 326;       // between keep-alive checks
    int authFirstSleepMs = 400;      // after the login query
    int authLongPollMs = 100;        // wait for the first login reply...
    int authLongPolls = 2501;        // ...this many times
    int authShortPollMs = 400;       // wait for the reply to the typed password...
    int authShortPolls = 9;          // ...this many times
    int restoreFactorySleepMs = 2000; // after factory defaults
    int restoreStepMs = 100;         // the wait for the unit to come back:
    int restoreStepsPerPass = 35;    //   steps per read,
    int restorePasses = 5;           //   reads
    int restoreBackSleepMs = 500;    // once it is back
    int probeResetWaitMs = 300;      // after the reset of the bootloader probe
    int probeAnswerWaitMs = 200;     // after the probe's "#"
};

// The one sentence-link service: frames and sends sentences, splits, checks
// and queues received lines, identifies the unit and runs the link session,
// and offers the protocol operations. Split by concern:
//   Y5ProtocolHandler.cpp     framing, sending, reception and the queue
//   Y5Session.cpp             identification and link session
//   Y5Operations.cpp          named protocol operations
//   Y5FeatureBitmap.cpp       the unit's feature bitmap ("FP1")
class Y5ProtocolHandler : public QObject
{
    Q_OBJECT
public:
    static constexpr int kKeepAliveBudgetMs = 2000;
    static constexpr int kKeepAliveLimitMs = 7999;
    // The key that answers the "CM2" challenge.
    static constexpr quint16 kChallengeKey = 0x2D91;

    explicit Y5ProtocolHandler(Communicator* communicator);
    ~Y5ProtocolHandler() override;

    // The transport every operation works on. The handler follows a change of
    // transport through this (the one whose sigDataReceived reaches
    // slotDataReceived).
    void setCommunicator(Communicator* communicator) { communicator_ = communicator; }
    Communicator* communicator() const { return communicator_; }

    // While this reports true (a CAN-device firmware update is busy) every
    // send pauses exactly 15 ms instead of the caller's delay.
    void setCanUpdateBusyProbe(std::function<bool()> probe) { canUpdateBusy_ = std::move(probe); }

    // Set these before the transport's thread starts.
    // Where worker threads put questions to the user (not owned). Without
    // one, the question is only signalled (sigObsoleteFirmwareVersion) and the
    // answer is awaited in obsoleteAnswered / obsoleteAccepted.
    void setUserQuestionAsker(UserQuestionAsker* asker) { asker_ = asker; }
    // Builds the serial firmware updater (see startFirmwareUpdate).
    void setFirmwareUpdaterFactory(FirmwareUpdaterFactory factory) { updaterFactory_ = std::move(factory); }
    void setTiming(const Y5Timing& timing) { timing_ = timing; }
    const Y5Timing& timing() const { return timing_; }
    // The clock of the keep-alive (ms, monotonic); tests drive it by hand.
    void setClock(std::function<qint64()> clock) { clock_ = std::move(clock); }

    // --- framing and sending
    // Pauses (delay, or 15 ms while a CAN update is busy), frames
    // name + parameters + "," + CRC + CR, writes it in one piece and logs it.
    // False when the sentence did not reach the port.
    bool sendSentence(const QString& name, const QString& parameters, unsigned delayMs = 0);

    // --- reception and queue
    // True for a good line "text,XX" (XX the CRC-8 of "text,", either case);
    // length is then shortened by 3.
    static bool checkSentenceCrc(const char* bytes, int& length);
    bool getSentence(QString& sentence);
    // Removes and returns the oldest entry (the caller knows it is there).
    QString takeSentence();
    void clearSentenceQueue();
    int queuedSentenceCount() const;
    // Resets a unit that runs its firmware and answers its bootloader's "#".
    void probeBootloader();

    // --- link session
    bool identifyDevice(const QString& portName, bool& isLedOrCan);
    // Puts a unit that runs its firmware into its bootloader; true when the
    // last pass saw a version reply (at once when it was in boot mode).
    bool detectBootMode();
    bool startSession(bool skipRestore, const QString& portName);
    // The settings hold a configuration saved for the identified unit.
    bool hasSavedConfiguration() const;
    void requestFP1();
    void parseFP1(const QString& sentence);
    // One keep-alive step; false when the link is lost.
    bool checkKeepAlive();
    // Frees the feature bitmap and clears the per-session flags; every end of
    // a link session calls it.
    void resetSessionState();
    bool isBootMode() const { return bootMode; }
    bool isFeatureBitmapValid() const { return featureBitmapValid; }
    bool isConnected() const;
    bool isFirmwareUpdating() const { return updateStarting || updateRunning; }
    void requestStop() { stopRequested = true; }
    // Milliseconds since the last good line (or the session start); -1 while
    // the clock has not been started.
    qint64 keepAliveSilenceMs() const;
    int keepAliveBudget() const { return keepAliveBudgetMs; }
    // True while a worker wait should give up: the transport or the handler
    // was asked to stop.
    bool isStopAsked() const;

    // --- the unit's feature bitmap, read under its mutex (any thread)
    // Word index of the bitmap; false when the bitmap does not hold it.
    bool featureBitmapWord(int index, uint32_t* word) const;
    int featureBitmapWordCount() const;
    QVector<quint32> featureBitmap() const;

    // Values of the last "VR1" reply (read from any thread).
    QString versionLine() const;
    QString deviceKind() const;
    QString deviceSerial() const;
    QString deviceVersion() const;

    // --- protocol operations
    void sendVersionRequest();
    void sendReset(unsigned delayMs);
    void sendFactoryDefaults();
    void sendConfigMode(bool enter);
    void sendPasswordQuery(unsigned delayMs);
    // Refuses (false, logged, nothing sent) a password that would break the
    // sentence: a comma, a line end or a character outside Latin-1; false too
    // when the sentence did not reach the port.
    bool sendPassword(const QString& password);
    void sendLogout();
    void sendParamRequest(quint16 id);
    // Refuses (false, logged, nothing sent) a value that does not fit the
    // id's width and an id of width code 3; false too when the sentence did
    // not reach the port.
    bool sendParamValue(quint16 id, quint32 value);
    // Byte width of a parameter id's value: 1, 2, 4 or 8 (never sent).
    static int paramWidth(quint16 id) { return 1 << ((id >> 8) & 3); }

    // Waiting operations: each read the port themselves between tests of the
    // flag the pump sets, process the calling thread's events, and give up
    // (false) after their tries or when asked to stop.
    bool setConfigMode(bool enter);
    bool setConfigModeIfConnected(bool enter);
    bool requestChallenge();
    bool setCanConfigMode(bool enter, quint32 w1, quint32 w2, quint32 w3, quint32 w4, quint32 w5);
    void setChallenge(const QString& challenge);
    bool isWaitingForChallenge() const { return challengePending; }
    QString challenge() const;
    // Login after a firmware update; false (link reset) on a time-out.
    bool authenticate();
    // True while authenticate waits for the unit's "PW1" reply (up to about
    // 250 s); cancelUnitWait ends that wait now, as its time-out would.
    bool isWaitingForUnit() const { return waitingForUnit_; }
    void cancelUnitWait() { unitWaitCancel_ = true; }
    // The configuration restore after a firmware update; true when the unit
    // did not come back after its factory reset (the caller resets the link).
    bool restoreAfterUpdate();
    void startFirmwareUpdate(const QByteArray& image);
    void startUpdaterThread();
    // The running updater's thread; none once it has finished.
    QThread* updaterThread() const { return updaterThread_; }
    // Asks a running serial updater to stop and waits (at most waitMs) until
    // its thread has ended; true when none runs any more. Whatever replaces
    // or deletes the transport the updater works on calls this first.
    bool endFirmwareUpdate(int waitMs = 30000);
    // The updater's stop question: the handler's or the transport's stop, or
    // endFirmwareUpdate.
    bool isFirmwareUpdateStopAsked() const { return updaterStop_ || isStopAsked(); }
    void setResetPending(bool on) { resetPending = on; }

    // The pump's reply checks, for each line it takes from the queue: a "PW1"
    // reply while one is awaited sets loginAccepted and clears
    // pw1ReplyPending (and resetPending); "CM1"/"CM2" replies set or clear the
    // transport's configuration mode; a "CM2" reply with a challenge field
    // while a challenge is awaited delivers it; a "DB1" banner or a "VR1"
    // line sets deviceAnswered; a "DB1" banner while linked to the bootloader
    // with no update under way means the unit started its firmware again.
    void applyReplyFlags(const QString& line);

    const QStringList sentenceNames;

    // Flags shared between threads.
    std::atomic<bool> bootMode{false};
    std::atomic<bool> featureBitmapValid{false};
    std::atomic<bool> unsupportedWarningShown{false};
    std::atomic<bool> restoring{false};
    std::atomic<bool> obsoleteAnswered{false};
    std::atomic<bool> obsoleteAccepted{false};
    std::atomic<bool> updateStarting{false};
    std::atomic<bool> updateRunning{false};
    std::atomic<bool> stopRequested{false};
    std::atomic<bool> pw1ReplyPending{false};
    std::atomic<bool> loginAccepted{false};
    std::atomic<bool> loginAnswered{false};
    std::atomic<bool> resetPending{false};
    std::atomic<bool> deviceAnswered{false};
    std::atomic<bool> challengePending{false};
    std::atomic<bool> firmwareStartedInBootMode{false};

signals:
    void done();
    void sigAuthenticationFailed();
    void sigReceivedVersionString(QString version);
    void sigLogin();
    void sigObsoleteFirmwareVersion();
    void sigLoadConfigurationFromHardDrive();
    // A box that only informs; raised from the receive path, so receivers
    // must not make the emitting thread wait for it.
    void sigCreateInfoMessageBox(QString text);
    // With auto-connection, after an identification: the window refills its
    // port list (without reselecting, which would reset the new link).
    void sigRefreshPortList();

public slots:
    // Splits the transport's receive buffer into lines, answers "#?", checks
    // and queues the good lines. Runs in the thread that read the bytes.
    void slotDataReceived();
    // The keep-alive loop ("Y5 Handler Thread"); emits done() at its end.
    void run();

protected:
    // Called under the queue mutex for each good line (the link being up);
    // later parsing of replies hooks in here.
    // Returns true when the not-fully-supported message is due (emitted by the
    // caller once the locks are released).
    bool noteReceived(const QString& text, bool linkUp);
    void restartKeepAlive();
    qint64 nowMs() const;
    // Fills the bitmap; true when the not-fully-supported message is due.
    bool takeFeatureReply(const QString& sentence);
    QString unsupportedFirmwareText() const;
    // Sleeps in short steps; false (early) when asked to stop.
    bool sleepUnlessStopped(int ms) const;
    // Reads once, tests, sleeps 1 ms and processes events, up to polls times.
    bool pollFor(int polls, const std::function<bool()>& condition);
    // Up to 5 sends, each followed by up to 101 polls.
    bool pollingWait(const std::function<void()>& send, const std::function<bool()>& condition);
    void processEvents();
    void setVersionFields(const QString& line, const QString& kind, const QString& serial,
                          const QString& version);

    std::atomic<Communicator*> communicator_{nullptr};
    std::function<bool()> canUpdateBusy_;
    // When bytes last crossed the port either way (steady clock, ns).
    std::atomic<qint64> lastLineActivityNs_{0};

    mutable QMutex queueMutex_;
    std::deque<QString> queue_;
    mutable QMutex bitmapMutex_;
    std::vector<quint32> bitmap_; // empty: none in this link session

    std::atomic<qint64> keepAliveStartMs_{-1};
    std::atomic<int> keepAliveBudgetMs{kKeepAliveBudgetMs};

    UserQuestionAsker* asker_ = nullptr;
    FirmwareUpdaterFactory updaterFactory_;
    FirmwareUpdater* updater_ = nullptr;
    std::atomic<QThread*> updaterThread_{nullptr};
    std::atomic<bool> updaterStop_{false};
    std::atomic<bool> waitingForUnit_{false};
    std::atomic<bool> unitWaitCancel_{false};
    struct UpdaterEnd;
    QMutex updaterEndMutex_;
    std::shared_ptr<UpdaterEnd> updaterEnd_; // of the last updater started
    Y5Timing timing_;
    std::function<qint64()> clock_;

private:
    mutable QMutex challengeMutex_;
    QString challenge_;
    // "CM2,?" sent and challenges received in the current request.
    std::atomic<int> challengeRequests_{0};
    std::atomic<int> challengeReplies_{0};
    mutable QMutex versionMutex_;
    QString versionLine_ = QStringLiteral("VR1,BMS1,FFFFFFFF,2.5.0");
    QString deviceKind_;
    QString deviceSerial_;
    QString deviceVersion_;
};
