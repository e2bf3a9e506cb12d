#pragma once

#include <QMutex>
#include <QObject>
#include <QString>
#include <QStringList>

#include <atomic>
#include <deque>
#include <functional>

class Communicator;

// The one sentence-link service: frames and sends sentences, splits, checks
// and queues received lines, identifies the unit and runs the link session,
// and offers the protocol operations. Split by concern:
//   Y5ProtocolHandler.cpp     framing, sending, reception and the queue
//   Y5Session.cpp             identification and link session
//   Y5Operations.cpp          named protocol operations
class Y5ProtocolHandler : public QObject
{
    Q_OBJECT
public:
    static constexpr int kKeepAliveBudgetMs = 2000;

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

    // --- framing and sending
    // Pauses (delay, or 15 ms while a CAN update is busy), frames
    // name + parameters + "," + CRC + CR, writes it in one piece and logs it.
    void sendSentence(const QString& name, const QString& parameters, unsigned delayMs = 0);

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
    bool startSession(bool skipRestore, const QString& portName);
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

    // Values of the last "VR1" reply (read from any thread).
    QString versionLine() const;
    QString deviceKind() const;
    QString deviceSerial() const;
    QString deviceVersion() const;

    // --- protocol operations
    void sendVersionRequest();
    void sendReset(unsigned delayMs);

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

signals:
    void done();
    void sigAuthenticationFailed();
    void sigReceivedVersionString(QString version);
    void sigLogin();
    void sigObsoleteFirmwareVersion();
    void sigLoadConfigurationFromHardDrive();
    void sigCreateInfoMessageBox(QString text);

public slots:
    // Splits the transport's receive buffer into lines, answers "#?", checks
    // and queues the good lines. Runs in the thread that read the bytes.
    void slotDataReceived();

protected:
    // Called under the queue mutex for each good line (the link being up);
    // later parsing of replies hooks in here.
    void noteReceived(const QString& text, bool linkUp);
    void restartKeepAlive();
    static qint64 nowMs();
    void setVersionFields(const QString& line, const QString& kind, const QString& serial,
                          const QString& version);

    std::atomic<Communicator*> communicator_{nullptr};
    std::function<bool()> canUpdateBusy_;

    mutable QMutex queueMutex_;
    std::deque<QString> queue_;
    QMutex bitmapMutex_;

    std::atomic<qint64> keepAliveStartMs_{-1};
    std::atomic<int> keepAliveBudgetMs{kKeepAliveBudgetMs};

private:
    mutable QMutex versionMutex_;
    QString versionLine_ = QStringLiteral("VR1,BMS1,FFFFFFFF,2.5.0");
    QString deviceKind_;
    QString deviceSerial_;
    QString deviceVersion_;
};
