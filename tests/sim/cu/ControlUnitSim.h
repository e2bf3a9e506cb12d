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
#include <mutex>
#include <thread>

// The BMS control unit's side of the sentence link, on a pseudo-terminal that
// the tool's real transport opens as a USB port. Frames and checks sentences
// like the device (its own CRC-8 routine), answers through one small handler
// per sentence name, records every line it receives, and has fault knobs.
// Runs on its own thread; every public call is safe from any thread.
class ControlUnitSim
{
public:
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
    void flushDue();
    qint64 nowMs() const;

    Pty pty_;
    mutable std::mutex ptyMutex_;
    std::thread thread_;
    std::atomic<bool> running_{false};
    qint64 startNs_ = 0;

    mutable std::mutex mutex_; // everything below
    mutable std::condition_variable recordChanged_;
    QMap<QString, Handler> handlers_;
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
};
