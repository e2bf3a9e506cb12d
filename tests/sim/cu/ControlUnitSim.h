#pragma once

#include "Pty.h"

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <limits>
#include <mutex>
#include <thread>

// The BMS control unit's side of the sentence link, on a pseudo-terminal that
// the tool's real transport opens as a USB port. Frames and checks sentences
// like the device (its own CRC-8 routine), answers through one small handler
// per sentence name, records every line it receives, and has fault knobs.
// Runs on its own thread; every public call is safe from any thread.
//
// Built-in behaviour (each handler may be replaced with setHandler):
//   "VR1,?"  the version reply
//   "FP1,?"  the feature bitmap: "FP1,<count>,<words>" (setFeatureBitmap)
//   "CF2"    a parameter store, empty at first (setParam), or the unit's whole
//            configuration (holdFactoryConfiguration); "CF2,IIII,?" reads a
//            stored id, "CF2,IIII,V" writes (V in exactly the width of bits
//            8-9 of the id); the reply is the value; ids not held go unanswered
//   "CM1,1"/"CM1,0"  configuration mode, confirmed "CM1,01"/"CM1,00"
//   "CM2,?"  a challenge "CM2,0<mode>,CCCC"; "CM2,1,RRRR,W1..W5" enters and
//            "CM2,0,RRRR" leaves when RRRR answers the challenge
//   "PW1,?"  the login level "PW1,<level>"; "PW1,<password>" logs in; "PW1,"
//            logs out. "PW2,<new>" changes the password of the level logged
//            in at ("PW2,1" done; "PW2,0" refused: not logged in, or not
//            4 to 8 characters); "PW2," takes it off, so that the level is
//            open after the next start
//   "RS1,"   goes silent; sends "#?" and, answered with "#", runs its
//            bootloader (answers only "VR1,?" with a "boot" version, and
//            "RS1," back to the firmware); when no update begins there within
//            setBootloaderWaitMs, it starts its firmware again; unanswered, it
//            reboots at once. Either way the firmware's "DB1" banner follows.
//            Outside the firmware, reply() sends nothing: the application is
//            not running (the bootloader's own bytes go through sendRaw)
//   "FD1,"   factory defaults (parameters, passwords' login level, mode) and
//            a reboot with the banner
class ControlUnitSim
{
public:
    enum class Mode { Firmware, Rebooting, AwaitingProbeAnswer, Bootloader };

    // A good sentence as the device sees it.
    struct Sentence
    {
        QString text;       // without ",XX" and line end: "CF2,0010,?"
        QString name;       // "CF2"
        QStringList fields; // after the name: {"0010", "?"}
    };
    // One line (or raw probe answer) received from the tool.
    struct Received
    {
        qint64 ms = 0;            // since start()
        QByteArray raw;           // as received, without line end
        bool good = false;        // frame and check sum were right
        bool probeAnswer = false; // the raw "#" that answers "#?"
        QString sentence;         // accepted text, when good
    };
    using Handler = std::function<void(ControlUnitSim& sim, const Sentence& s)>;
    // Sees each received byte first while the bootloader runs; true when it
    // took the byte (then it is not part of a sentence).
    using BootloaderByteHook = std::function<bool(ControlUnitSim& sim, char byte)>;

    ControlUnitSim();
    ~ControlUnitSim();
    ControlUnitSim(const ControlUnitSim&) = delete;
    ControlUnitSim& operator=(const ControlUnitSim&) = delete;

    // Opens the pty (with an optional stable symlink) and starts the thread.
    bool start(const QString& linkPath = QString());
    void stop();
    QString portPath() const;

    // The handler for one sentence name ("VR1", "CF2", ...); replaces any
    // earlier one. A null handler removes it. Unknown names get no reply.
    void setHandler(const QString& name, Handler handler);

    // The "VR1" reply: "VR1,<kind>,<serial>,<version>".
    void setVersion(const QString& kind, const QString& serial, const QString& version);
    QString versionReply() const;

    // Frames text with ",XX" and CR and sends it, subject to the fault knobs.
    // Only while the firmware runs: these are the application's sentences.
    void reply(const QString& text);
    // Sends bytes exactly as given (no framing, no faults except pacing).
    void sendRaw(const QByteArray& bytes);
    // The bootloader's "#?" probe; the tool answers with a raw "#".
    void sendProbe();
    // n bytes of printable garbage and control bytes (never XON/XOFF).
    void writeGarbage(int n);

    // Record of everything received.
    QList<Received> received() const;
    QList<QString> goodSentences() const;
    void clearReceived();
    // Waits until pred(record) is true; false on time-out.
    bool waitUntil(const std::function<bool(const QList<Received>&)>& pred, int timeoutMs) const;
    // Waits for a good sentence that starts with prefix.
    bool waitForSentence(const QString& prefix, int timeoutMs) const;
    int probeAnswerCount() const;

    // Milliseconds since start(), the clock of the record.
    qint64 elapsedMs() const { return nowMs(); }

    // Modes: firmware, rebooting, waiting for the probe's "#", bootloader.
    Mode mode() const;
    void setMode(Mode mode);
    void setBootVersion(const QString& version); // default "boot1.0.3"
    void setRebootMs(int ms);                    // silence before the banner, default 300
    void setBootloaderEntry(bool on);            // default on; off: a reset only reboots
    // How long the bootloader, entered through "#?"/"#", waits for an update
    // to begin before it starts the firmware again. Default (-1): 5 s, or
    // 30 s for a "BMS3" unit, whose update starts later. A bootloader set by
    // setMode stays until "RS1," or its update restarts it.
    void setBootloaderWaitMs(int ms);
    int bootloaderWaitMs() const;
    // True once the bootloader took bytes of an update since it was entered.
    bool updateBegun() const;
    // Binary traffic of the bootloader (see BootloaderSim); null removes it.
    void setBootloaderByteHook(BootloaderByteHook hook);
    QString bannerText() const { return QStringLiteral("DB1,Kepo BMS firmware started"); }

    // "FP1": count < 0 leaves the count field out.
    void setFeatureBitmap(int count, const QList<quint32>& words);
    // The exact reply text; an empty text means no reply.
    void setFeatureReplyText(const QString& text);

    // "CF2" store. setParam sets the value and its factory default.
    void setParam(quint16 id, quint32 value);
    // Changes the value only, as a write over the link does ("FD1" undoes it).
    void changeParam(quint16 id, quint32 value);
    QMap<quint16, quint32> params() const;
    // The unit's whole configuration at its factory values, and the feature
    // bitmap that reports exactly the features of those ids. Ids set before
    // are replaced; setParam afterwards still adds or overrides ids.
    void holdFactoryConfiguration();
    static QMap<quint16, quint32> factoryConfiguration();
    static QList<int> factoryFeatures(); // ascending
    bool hasParam(quint16 id) const;
    quint32 param(quint16 id) const;
    void setParamWritesIgnored(bool on); // writes are neither stored nor answered
    int rejectedParamWrites() const;     // writes whose value had the wrong width

    // "CM1"/"CM2".
    bool configMode() const;
    void setConfigModeConfirmed(bool on); // off: never confirms (nor changes)
    void setChallengeValue(quint16 value); // the next challenges; default a sequence
    QList<quint32> canFilters() const;     // of the last accepted "CM2,1"; "CM1,1" empties them
    int badChallengeResponses() const;

    // "PW1"/"PW2". Default passwords: level 1 "1111", level 2 "2222".
    void setPassword(int level, const QString& password);
    void setPasswordChangesRefused(bool on); // every "PW2" gets "PW2,0"
    QString password(int level) const;
    int loginLevel() const;
    void setLoginLevel(int level);

    // "FD1".
    void setFactoryResetHangs(bool on); // never comes back after "FD1"
    int factoryResets() const;

    // Fault knobs.
    void setSilent(bool on);             // receive and record, never answer
    void dropNextReplies(int n);         // the next n replies are not sent
    void setReplyDelay(int ms);          // every reply waits this long
    void setCorruptChecksums(bool on);   // replies carry a wrong check sum
    void corruptNextReplies(int n);      // the next n replies do
    void setSplitReplies(int gapMs);     // each reply in two writes gapMs apart; <0 off
    void setPacing(bool on);             // output at 57600 baud (5760 bytes/s)
    // Closes the master side, as an unplugged adapter; the symlink goes.
    void vanish();
    bool reappear();
    bool isPresent() const;

    // The device's own CRC-8/MAXIM.
    static quint8 deviceCrc(const QByteArray& bytes);
    static QByteArray frame(const QString& text, bool corrupt = false);

private:
    struct Outgoing
    {
        qint64 dueMs;
        QByteArray bytes;
    };
    void loop();
    void handleBytes(const QByteArray& bytes);
    void handleLine(const QByteArray& line);
    void enqueue(qint64 dueMs, const QByteArray& bytes);
    void replyLocked(const QString& text);
    void flushDue();
    void tick();
    // Device behaviour for one good sentence while not in the firmware's
    // own handlers; true when handled here. Under mutex_.
    bool handleOutsideFirmware(const Sentence& s);
    void installDeviceHandlers();
    void rebootLocked(qint64 silenceMs);
    int bootloaderWaitMsLocked() const;
    qint64 nowMs() const;

    Pty pty_;
    mutable std::mutex ptyMutex_;
    std::thread thread_;
    std::atomic<bool> running_{false};
    qint64 startNs_ = 0;

    mutable std::mutex mutex_; // everything below
    mutable std::condition_variable recordChanged_;
    QMap<QString, Handler> handlers_;
    BootloaderByteHook bootHook_;
    QString versionReply_ = QStringLiteral("VR1,BMS2,0001E240,2.1.4.2");
    QList<Received> record_;
    std::deque<Outgoing> outgoing_;
    QByteArray pending_;
    bool silent_ = false;
    int dropNext_ = 0;
    int delayMs_ = 0;
    bool corruptAll_ = false;
    int corruptNext_ = 0;
    int splitGapMs_ = -1;
    bool pacing_ = false;
    quint32 garbageSeed_ = 12345;

    Mode mode_ = Mode::Firmware;
    qint64 modeDeadlineMs_ = 0;
    QString bootVersion_ = QStringLiteral("boot1.0.3");
    int rebootMs_ = 300;
    bool bootloaderEntry_ = true;
    int bootWaitMs_ = -1;
    qint64 bootDeadlineMs_ = std::numeric_limits<qint64>::max(); // while no wait runs
    bool updateBegun_ = false;
    QString featureReply_ = QStringLiteral("FP1,40,FFFFFFFF,0000FFFF,00000000,00000001");
    QMap<quint16, quint32> params_;
    QMap<quint16, quint32> factoryParams_;
    bool paramWritesIgnored_ = false;
    int rejectedParamWrites_ = 0;
    bool configMode_ = false;
    bool configConfirmed_ = true;
    int fixedChallenge_ = -1;
    quint16 challengeSeq_ = 0x1234;
    quint16 challenge_ = 0;
    bool challengeIssued_ = false;
    QList<quint32> canFilters_;
    int badChallenges_ = 0;
    QMap<int, QString> passwords_;
    int loginLevel_ = 0;
    bool passwordChangesRefused_ = false;
    bool factoryResetHangs_ = false;
    int factoryResets_ = 0;
};
