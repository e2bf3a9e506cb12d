// Identification of the unit and the start and end of a link session.
#include "Communicator.h"
#include "DebugLevels.h"
#include "Log.h"
#include "Y5ProtocolHandler.h"

#include <QMutexLocker>

#include <chrono>
#include <cstdio>
#include <thread>

bool Y5ProtocolHandler::identifyDevice(const QString& portName, bool& isLedOrCan)
{
    Communicator* c = communicator_;
    if (!c)
        return false;
    sendVersionRequest();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    c->readIntoBuffer();

    for (;;) {
        QString sentence;
        if (!getSentence(sentence))
            return false;
        {
            QMutexLocker lock(&versionMutex_);
            versionLine_ = sentence;
        }
        const QStringList fields = sentence.split(QLatin1Char(','));
        if (fields.size() < 4 || fields[0] != QLatin1String("VR1"))
            continue;
        const QString kind = fields[1], serial = fields[2], version = fields[3];
        setVersionFields(sentence, kind, serial, version);
        bootMode = version.startsWith(QLatin1String("boot"));
        logMessage(QStringLiteral("Connected to %1 SN:%2 version:%3 on %4").arg(kind, serial, version, portName), 3);
        c->setConnectedPortName(portName);
        if (isDebugLevelEnabled(DBG_COMM_PORT, 3)) {
            std::printf("\33[1;36m%010d: DBG_COMM_PORT Connected to %s SN:%s version:%s on %s\r\n\33[0m",
                        debugTimestampMs(), qPrintable(kind), qPrintable(serial), qPrintable(version),
                        qPrintable(portName));
            std::fflush(stdout);
        }
        const bool ledOrCan = version.startsWith(QLatin1String("LED")) || version.startsWith(QLatin1String("CAN"));
        if (bootMode || ledOrCan || version.startsWith(QLatin1String("2"))) {
            if (ledOrCan)
                isLedOrCan = true;
            emit sigReceivedVersionString(sentence);
            return true;
        }
        // Older firmware: the question to the user and the bootloader entry
        // belong to the full session; until then it is not taken.
    }
}

bool Y5ProtocolHandler::startSession(bool skipRestore, const QString& portName)
{
    Communicator* c = communicator_;
    if (!c)
        return false;
    sendVersionRequest();
    c->linked = true;
    emit c->sigFirmwareUpdateProgress(100, 2, QString());
    restartKeepAlive();
    logMessage(QStringLiteral("Connected to BMS on port ") + portName, 0);
    emit c->sigStatusChanged(1);
    return true;
}

void Y5ProtocolHandler::resetSessionState()
{
    featureBitmapValid = false;
    unsupportedWarningShown = false;
    restoring = false;
}
