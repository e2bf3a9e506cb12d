// Identification of the unit and the start, watch and end of a link session.
#include "Communicator.h"
#include "DebugLevels.h"
#include "Log.h"
#include "SavedConfiguration.h"
#include "Y5ProtocolHandler.h"

#include <QMutexLocker>
#include <QSettings>

#include <chrono>
#include <cstdio>
#include <thread>

namespace {
bool startsWithAny(const QString& s, std::initializer_list<const char*> prefixes)
{
    for (const char* p : prefixes)
        if (s.startsWith(QLatin1String(p)))
            return true;
    return false;
}
} // namespace

bool Y5ProtocolHandler::identifyDevice(const QString& portName, bool& isLedOrCan)
{
    Communicator* c = communicator_;
    if (!c)
        return false;
    sendVersionRequest();
    if (!sleepUnlessStopped(timing_.identifyReplyWaitMs))
        return false;
    c->readIntoBuffer();

    for (;;) {
        QString sentence;
        if (!getSentence(sentence))
            return false;
        // Only a version reply is kept as the version line: other parts read
        // the firmware version from it.
        const QStringList fields = sentence.split(QLatin1Char(','));
        if (fields.size() < 4 || fields[0] != QLatin1String("VR1"))
            continue;
        const QString kind = fields[1], serial = fields[2], version = fields[3];
        setVersionFields(sentence, kind, serial, version);
        bootMode = version.startsWith(QLatin1String("boot"));
        firmwareStartedInBootMode = false;
        logMessage(QStringLiteral("Connected to %1 SN:%2 version:%3 on %4").arg(kind, serial, version, portName), 3);
        if (c->autoConnection)
            emit sigRefreshPortList();
        c->setConnectedPortName(portName);
        if (isDebugLevelEnabled(DBG_COMM_PORT, 3)) {
            std::printf("\33[1;36m%010d: DBG_COMM_PORT Connected to %s SN:%s version:%s on %s\r\n\33[0m",
                        debugTimestampMs(), qPrintable(kind), qPrintable(serial), qPrintable(version),
                        qPrintable(portName));
            std::fflush(stdout);
        }
        const bool ledOrCan = startsWithAny(version, {"LED", "CAN"});
        if (bootMode || ledOrCan || version.startsWith(QLatin1String("2"))) {
            if (ledOrCan)
                isLedOrCan = true;
            requestFP1();
            emit sigReceivedVersionString(sentence);
            return true;
        }

        // Firmware too old for this tool: the user decides.
        obsoleteAnswered = false;
        obsoleteAccepted = false;
        auto answer = std::make_shared<UserAnswer>();
        emit sigObsoleteFirmwareVersion();
        if (UserQuestionAsker* asker = asker_) {
            UserQuestion q;
            q.kind = UserQuestion::ObsoleteFirmware;
            q.text = obsoleteFirmwareQuestionText();
            asker->ask(q, answer);
        }
        const bool answered = waitForUserAnswer(
            [&] {
                if (answer->isAnswered()) {
                    obsoleteAccepted = answer->isYes();
                    obsoleteAnswered = true;
                }
                return bool(obsoleteAnswered);
            },
            [this] { return isStopAsked(); });
        if (!answered)
            return false;
        if (!obsoleteAccepted) {
            c->requestStop();
            return false;
        }
        detectBootMode();
    }
}

bool Y5ProtocolHandler::detectBootMode()
{
    Communicator* c = communicator_;
    if (!c)
        return false;
    bool sawReply = false;
    for (int pass = 0; pass < 4; ++pass) {
        if (isStopAsked())
            return false;
        std::printf("Sent version request\n");
        sendVersionRequest();
        if (!sleepUnlessStopped(timing_.bootPassWaitMs))
            return false;
        c->readIntoBuffer();
        sawReply = false;
        bool boot = false;
        QString s;
        while (getSentence(s)) {
            std::printf("Sentence: %s\n", qPrintable(s));
            if (sawReply)
                break; // the sentence after the version reply goes too
            if (s.startsWith(QLatin1String("VR1,BMS")) && s.size() > 7
                && (s[7] == QLatin1Char('1') || s[7] == QLatin1Char('2') || s[7] == QLatin1Char('3'))) {
                std::printf("Version string received. We'll check if it is in boot mode\n");
                sawReply = true;
                if (s.section(QLatin1Char(','), 3, 3).startsWith(QLatin1String("boot"))) {
                    std::printf("Device is in boot mode\n");
                    boot = true;
                }
            }
        }
        std::fflush(stdout);
        if (sawReply && boot)
            return true;
        if (sawReply) {
            std::printf("Device is NOT in boot mode. Sending Reset command\n");
            std::fflush(stdout);
            probeBootloader();
        }
    }
    return sawReply;
}

bool Y5ProtocolHandler::hasSavedConfiguration() const
{
    // The serial number of the unit just identified (not a copy that the
    // window updates later through a queued signal).
    bool ok = false;
    const quint32 serial = deviceSerial().toUInt(&ok, 16);
    if (!ok)
        return false;
    return SavedConfiguration::hasEntries(QSettings(), serial);
}

bool Y5ProtocolHandler::startSession(bool skipRestore, const QString& portName)
{
    Communicator* c = communicator_;
    if (!c)
        return false;
    sendVersionRequest();
    c->linked = true;
    if (!skipRestore && !bootMode && hasSavedConfiguration()) {
        restoring = true;
        if (restoreAfterUpdate()) {
            c->resetConnection();
        } else {
            restoring = false;
            if (!c->restoreHold && !isStopAsked()) {
                // The login failed: a link that is never announced must not
                // stay up. Back to searching.
                logMessage(QStringLiteral("Restoring the configuration failed: the login was not accepted"), 0);
                if (c->linked)
                    c->resetConnection();
            }
        }
        return false;
    }
    emit c->sigFirmwareUpdateProgress(100, 2, QString());
    restartKeepAlive();
    logMessage(QStringLiteral("Connected to BMS on port ") + portName, 0);
    emit c->sigStatusChanged(1);
    return true;
}

bool Y5ProtocolHandler::checkKeepAlive()
{
    Communicator* c = communicator_;
    if (!c || !c->linked || updateStarting || updateRunning || restoring)
        return true;
    // The bootloader sends no keep-alive answers; the firmware's banner says
    // the unit left it, and the link must identify the unit again.
    if (bootMode)
        return !firmwareStartedInBootMode;
    const qint64 silence = keepAliveSilenceMs();
    if (silence < 0 || silence <= keepAliveBudgetMs)
        return true;
    if (silence <= kKeepAliveLimitMs) {
        sendVersionRequest();
        keepAliveBudgetMs += kKeepAliveBudgetMs;
        return true;
    }
    return false;
}

void Y5ProtocolHandler::run()
{
    std::printf("Y5 Protocol Handler virtual run method\n");
    std::fflush(stdout);
    stopRequested = false;
    while (!stopRequested) {
        if (checkKeepAlive()) {
            processEvents();
            // Only this loop's own stop cuts the pause short: a stopped
            // transport must not turn it into a spin.
            const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timing_.keepAliveStepMs);
            while (!stopRequested && std::chrono::steady_clock::now() < until)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            continue;
        }
        if (firmwareStartedInBootMode)
            logMessage(QStringLiteral("The BMS left its bootloader: connecting to its firmware"), 0);
        else
            logMessage(QStringLiteral("Lost connection to BMS due to keep-alive expiry"), 0);
        resetSessionState();
        if (Communicator* c = communicator_) {
            c->linked = false;
            // Only the transport's own loop closes its port.
            c->requestPortClose();
            emit c->sigStatusChanged(0);
        }
    }
    emit done();
}

void Y5ProtocolHandler::resetSessionState()
{
    featureBitmapValid = false;
    unsupportedWarningShown = false;
    restoring = false;
    firmwareStartedInBootMode = false;
    QMutexLocker lock(&bitmapMutex_);
    bitmap_.clear();
}
