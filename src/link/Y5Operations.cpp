// Named protocol operations: each builds one sentence and sends it; the
// waiting ones poll the flags the received-sentence pump sets.
#include "Communicator.h"
#include "Log.h"
#include "Y5ProtocolHandler.h"

#include <QCoreApplication>
#include <QMutexLocker>
#include <QThread>
#include <QWaitCondition>

#include <chrono>
#include <cstdio>
#include <thread>

namespace {
void sleepMs(int ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}
constexpr int kPollingSends = 5;
constexpr int kPollsPerSend = 101;
} // namespace

void Y5ProtocolHandler::sendVersionRequest()
{
    sendSentence(QStringLiteral("VR1,"), QStringLiteral("?"), 20);
}

void Y5ProtocolHandler::sendReset(unsigned delayMs)
{
    sendSentence(QStringLiteral("RS1,"), QString(), delayMs);
}

void Y5ProtocolHandler::sendFactoryDefaults()
{
    sendSentence(QStringLiteral("FD1,"), QString(), 20);
}

void Y5ProtocolHandler::sendConfigMode(bool enter)
{
    sendSentence(QStringLiteral("CM1,"), QString::number(enter ? 1 : 0), 20);
}

void Y5ProtocolHandler::sendPasswordQuery(unsigned delayMs)
{
    sendSentence(sentenceNames.at(2) + QLatin1Char(','), QStringLiteral("?"), delayMs);
}

bool Y5ProtocolHandler::sendPassword(const QString& password)
{
    for (const QChar ch : password) {
        if (ch == QLatin1Char(',') || ch == QLatin1Char('\r') || ch == QLatin1Char('\n') || ch.unicode() > 0xFF
            || ch.unicode() < 0x20) {
            logMessage(QStringLiteral("Password not sent: it holds a character the sentence cannot carry"), 0);
            return false;
        }
    }
    return sendSentence(sentenceNames.at(2) + QLatin1Char(','), password, 20);
}

void Y5ProtocolHandler::sendLogout()
{
    sendSentence(sentenceNames.at(2) + QLatin1Char(','), QString(), 20);
}

void Y5ProtocolHandler::sendParamRequest(quint16 id)
{
    // The 3 ms are the line's rest before the query, counted from the last
    // bytes either way: the time this thread took to see the reply is part
    // of it, not added to it. A busy CAN update keeps its own longer pause.
    constexpr auto kRest = std::chrono::milliseconds(3);
    unsigned delayMs = 0;
    if (canUpdateBusy_ && canUpdateBusy_()) {
        delayMs = 3;
    } else {
        const auto now = std::chrono::steady_clock::now();
        const auto last = std::chrono::steady_clock::time_point(std::chrono::nanoseconds(lastLineActivityNs_.load()));
        std::this_thread::sleep_until(std::min(now + kRest, std::max(now, last + kRest)));
    }
    sendSentence(QStringLiteral("%1,%2,").arg(sentenceNames.at(0)).arg(id, 4, 16, QLatin1Char('0')).toUpper(),
                 QStringLiteral("?"), delayMs);
}

bool Y5ProtocolHandler::sendParamValue(quint16 id, quint32 value)
{
    const int width = paramWidth(id);
    const QString idText = QStringLiteral("%1").arg(id, 4, 16, QLatin1Char('0')).toUpper();
    if (width > 4) {
        logMessage(QStringLiteral("Parameter %1 not written: its width code is 3").arg(idText), 0);
        return false;
    }
    if (width < 4 && value >= (quint32(1) << (8 * width))) {
        logMessage(QStringLiteral("Parameter %1 not written: value %2 does not fit %3 byte(s)")
                       .arg(idText)
                       .arg(value, 0, 16)
                       .arg(width),
                   0);
        return false;
    }
    const QString valueText = QStringLiteral("%1").arg(value, 2 * width, 16, QLatin1Char('0')).toUpper();
    return sendSentence(sentenceNames.at(0) + QLatin1Char(',') + idText + QLatin1Char(','), valueText, 20);
}

bool Y5ProtocolHandler::pollFor(int polls, const std::function<bool()>& condition)
{
    Communicator* c = communicator_;
    for (int i = 0; i < polls; ++i) {
        if (isStopAsked())
            return false;
        if (c)
            c->readIntoBuffer();
        if (condition())
            return true;
        sleepMs(1);
        processEvents();
    }
    return false;
}

bool Y5ProtocolHandler::pollingWait(const std::function<void()>& send, const std::function<bool()>& condition)
{
    for (int attempt = 0; attempt < kPollingSends; ++attempt) {
        if (isStopAsked())
            return false;
        send();
        if (pollFor(kPollsPerSend, condition))
            return true;
    }
    return false;
}

bool Y5ProtocolHandler::setConfigMode(bool enter)
{
    return pollingWait([&] { sendConfigMode(enter); },
                       [&] {
                           Communicator* c = communicator_;
                           return c && bool(c->configModeActive) == enter;
                       });
}

bool Y5ProtocolHandler::setConfigModeIfConnected(bool enter)
{
    return isConnected() && setConfigMode(enter);
}

// Every "CM2,?" makes the unit issue a new challenge and forget the one
// before, so only the reply to the last request may be answered. A request
// is repeated only while no reply has come back at all; after that the wait
// goes on until every request is answered, keeping the latest challenge.
bool Y5ProtocolHandler::requestChallenge()
{
    challengeRequests_ = 0;
    challengeReplies_ = 0;
    for (int attempt = 0; attempt < kPollingSends; ++attempt) {
        if (isStopAsked())
            return false;
        if (challengeReplies_ == 0) {
            // Pending before the send: a fast reply must find it set.
            challengePending = true;
            ++challengeRequests_;
            sendSentence(QStringLiteral("CM2,"), QStringLiteral("?"), 20);
        }
        if (pollFor(kPollsPerSend, [&] { return !challengePending; }))
            return true;
    }
    if (challengeReplies_ == 0)
        return false;
    // A reply was lost on the way: the latest one that came is the best guess.
    challengePending = false;
    return true;
}

void Y5ProtocolHandler::setChallenge(const QString& challenge)
{
    {
        QMutexLocker lock(&challengeMutex_);
        challenge_ = challenge;
    }
    if (++challengeReplies_ >= challengeRequests_)
        challengePending = false;
}

QString Y5ProtocolHandler::challenge() const
{
    QMutexLocker lock(&challengeMutex_);
    return challenge_;
}

bool Y5ProtocolHandler::setCanConfigMode(bool enter, quint32 w1, quint32 w2, quint32 w3, quint32 w4, quint32 w5)
{
    if (!isConnected() || !requestChallenge())
        return false;
    bool ok = false;
    const uint read = challenge().toUInt(&ok, 16);
    const quint16 response = quint16((ok && read <= 0xFFFF ? read : 0) ^ kChallengeKey);
    auto hex = [](quint32 v, int digits) { return QStringLiteral("%1").arg(v, digits, 16, QLatin1Char('0')).toUpper(); };
    QString parameters = QStringLiteral("%1,%2").arg(enter ? 1 : 0).arg(hex(response, 4));
    if (enter)
        for (quint32 w : {w1, w2, w3, w4, w5})
            parameters += QLatin1Char(',') + hex(w, 8);
    return pollingWait([&] { sendSentence(QStringLiteral("CM2,"), parameters, 20); },
                       [&] {
                           Communicator* c = communicator_;
                           return c && bool(c->configModeActive) == enter;
                       });
}

bool Y5ProtocolHandler::authenticate()
{
    Communicator* c = communicator_;
    if (!c)
        return false;
    // Awaited before it is asked: the reply can come back on the transport's
    // thread before the next line here runs.
    pw1ReplyPending = true;
    sendPasswordQuery(20);
    if (!sleepUnlessStopped(timing_.authFirstSleepMs))
        return false;
    processEvents();

    bool replied = false;
    unitWaitCancel_ = false;
    waitingForUnit_ = true;
    struct Clear
    {
        std::atomic<bool>& flag;
        ~Clear() { flag = false; }
    } clear{waitingForUnit_};
    for (int i = 0; i < timing_.authLongPolls && !replied && !unitWaitCancel_.exchange(false); ++i) {
        if (!sleepUnlessStopped(timing_.authLongPollMs))
            return false;
        processEvents();
        c->readIntoBuffer();
        if (pw1ReplyPending)
            sleepMs(1);
        replied = !pw1ReplyPending;
    }
    waitingForUnit_ = false;
    if (!replied) {
        std::printf("timeout auth  long\n");
        std::fflush(stdout);
        c->resetConnection();
        return false;
    }
    if (loginAccepted)
        return true;

    // A password is needed: the user types it meanwhile; the unit is kept in
    // configuration mode and the link alive.
    pw1ReplyPending = true;
    loginAnswered = false;
    emit sigLogin();
    int pass = 0;
    while (!loginAnswered) {
        if (isStopAsked())
            return false;
        ++pass;
        c->readIntoBuffer();
        sleepMs(1);
        if (pass == 500)
            sendConfigMode(true);
        if (pass > 1000) {
            sendVersionRequest();
            pass = 0;
        }
        processEvents();
    }
    for (int i = 0; i < timing_.authShortPolls; ++i) {
        if (!sleepUnlessStopped(timing_.authShortPollMs))
            return false;
        processEvents();
        c->readIntoBuffer();
        if (!pw1ReplyPending && loginAccepted)
            return true;
        sleepMs(1);
    }
    std::printf("timeout auth short\n");
    std::fflush(stdout);
    c->resetConnection();
    return false;
}

bool Y5ProtocolHandler::restoreAfterUpdate()
{
    Communicator* c = communicator_;
    if (!c)
        return false;
    emit c->sigFirmwareUpdateProgress(-1, 2, QString());
    if (c->linked)
        setConfigMode(true);
    if (!authenticate()) {
        emit sigAuthenticationFailed();
        return false;
    }
    sendFactoryDefaults();
    c->configModeActive = false;
    deviceAnswered = false;
    if (!sleepUnlessStopped(timing_.restoreFactorySleepMs))
        return false;

    bool back = false;
    for (int pass = 0; pass < timing_.restorePasses && !back; ++pass) {
        for (int step = 0; step < timing_.restoreStepsPerPass; ++step) {
            if (!sleepUnlessStopped(timing_.restoreStepMs))
                return false;
            processEvents();
        }
        c->readIntoBuffer();
        back = deviceAnswered;
    }
    if (!back) {
        restoring = false;
        return true;
    }
    restoring = false;
    if (!sleepUnlessStopped(timing_.restoreBackSleepMs))
        return false;
    processEvents();
    if (authenticate()) {
        c->restoreHold = true;
        emit sigLoadConfigurationFromHardDrive();
    } else {
        emit sigAuthenticationFailed();
    }
    return false;
}

void Y5ProtocolHandler::startFirmwareUpdate(const QByteArray& image)
{
    Communicator* c = communicator_;
    if (!c || !c->linked || updateStarting || updateRunning)
        return;
    if (canUpdateBusy_ && canUpdateBusy_())
        return;
    if (image.isEmpty()) {
        updateStarting = false;
        return;
    }
    if (!updaterFactory_) {
        logMessage(QStringLiteral("Firmware update not started: no updater is available"), 0);
        return;
    }
    FirmwareUpdater* updater = updaterFactory_(this, c);
    if (!updater)
        return;
    updater_ = updater;
    updateStarting = true;
    updaterStop_ = false;
    updater->setImage(image);
    startUpdaterThread();
}

struct Y5ProtocolHandler::UpdaterEnd
{
    QMutex mutex;
    QWaitCondition changed;
    bool ended = false;
};

void Y5ProtocolHandler::startUpdaterThread()
{
    FirmwareUpdater* updater = updater_;
    if (!updater)
        return;
    updater_ = nullptr;
    auto* thread = new QThread;
    updaterThread_ = thread;
    updater->moveToThread(thread);
    thread->setObjectName(QStringLiteral("Y5 FW Updater Thread"));
    connect(thread, &QThread::started, updater, &FirmwareUpdater::T_UpdateFirmware, Qt::QueuedConnection);
    // Direct: quit() is safe from the updater's own thread, and the thread
    // ends even while the thread that owns it waits in endFirmwareUpdate.
    connect(updater, &FirmwareUpdater::done, thread, &QThread::quit, Qt::DirectConnection);
    // Direct, in the ending thread: a queued call would wait for an event
    // loop that no longer runs there, and the updater would never be freed.
    connect(thread, &QThread::finished, updater, &QObject::deleteLater, Qt::DirectConnection);
    connect(thread, &QThread::finished, thread, &QObject::deleteLater, Qt::QueuedConnection);
    // Forgotten as it ends, before it is deleted.
    connect(thread, &QThread::finished, this, [this, thread] {
        QThread* expected = thread;
        updaterThread_.compare_exchange_strong(expected, nullptr);
    }, Qt::DirectConnection);
    auto end = std::make_shared<UpdaterEnd>();
    {
        QMutexLocker lock(&updaterEndMutex_);
        updaterEnd_ = end;
    }
    // Last of the thread's own work on this handler: whoever waits in
    // endFirmwareUpdate may take the transport and the handler away after it.
    connect(thread, &QThread::finished, thread, [end] {
        QMutexLocker lock(&end->mutex);
        end->ended = true;
        end->changed.wakeAll();
    }, Qt::DirectConnection);
    thread->start(QThread::InheritPriority);
}

bool Y5ProtocolHandler::endFirmwareUpdate(int waitMs)
{
    std::shared_ptr<UpdaterEnd> end;
    {
        QMutexLocker lock(&updaterEndMutex_);
        end = updaterEnd_;
    }
    if (!end || QThread::currentThread() == updaterThread_.load())
        return !end;
    updaterStop_ = true;
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
    QMutexLocker lock(&end->mutex);
    while (!end->ended) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            break;
        end->changed.wait(&end->mutex, ulong(left.count()));
    }
    if (!end->ended)
        logMessage(QStringLiteral("The firmware updater did not end in time"), 0);
    return end->ended;
}

void Y5ProtocolHandler::applyReplyFlags(const QString& line)
{
    if (pw1ReplyPending && line.startsWith(sentenceNames.at(2))) {
        pw1ReplyPending = false;
        const QChar level = line.size() > 4 ? line.at(4) : QChar();
        loginAccepted = level >= QLatin1Char('1') && level <= QLatin1Char('9');
        if (resetPending)
            setResetPending(false);
    }
    if (line.startsWith(QLatin1String("CM1")) || line.startsWith(QLatin1String("CM2"))) {
        const QChar mode = line.size() > 5 ? line.at(5) : QChar();
        if (Communicator* c = communicator_) {
            if (mode == QLatin1Char('1'))
                c->configModeActive = true;
            else if (mode == QLatin1Char('0'))
                c->configModeActive = false;
        }
    }
    // Only a reply with a challenge field: the unit's answer to a response
    // ("CM2,01") may still be on its way from an earlier try.
    if (line.startsWith(QLatin1String("CM2")) && line.size() > 7 && isWaitingForChallenge())
        setChallenge(line.mid(7, 4));
    if (bootMode && !updateStarting && !updateRunning && line.startsWith(QLatin1String("DB1")))
        firmwareStartedInBootMode = true;
    if (!deviceAnswered && (line.startsWith(QLatin1String("DB1")) || line.startsWith(QLatin1String("VR1"))))
        deviceAnswered = true;
}
