#include "Y5FwUpdater.h"

#include "Communicator.h"
#include "Log.h"
#include "Y5ProtocolHandler.h"

#include <QMutex>
#include <QMutexLocker>
#include <QThread>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>

namespace {

constexpr char kFrameTaken = 0x11;
// A unit that keeps talking must not hold a drain for ever.
constexpr int kDrainLimit = 4096;

QMutex g_runnerMutex;
SerialBootloaderRunner g_runner;

int frameLengthAt(const QByteArray& image, qint64 index)
{
    const auto* p = reinterpret_cast<const uchar*>(image.constData()) + index;
    return ((p[0] << 8) | p[1]) + 2;
}

} // namespace

void setSerialBootloaderRunner(SerialBootloaderRunner runner)
{
    QMutexLocker lock(&g_runnerMutex);
    g_runner = std::move(runner);
}

bool runSerialBootloader(Communicator* transport, const QByteArray& image)
{
    SerialBootloaderRunner runner;
    {
        QMutexLocker lock(&g_runnerMutex);
        runner = g_runner;
    }
    if (!runner) {
        logMessage(QStringLiteral("The CANopen download for this control unit is not available"), 0);
        return false;
    }
    return runner(transport, image);
}

Y5FwUpdater::Y5FwUpdater(Communicator* transport)
    : transport_(transport), handler_(transport ? transport->protocolHandler() : nullptr)
{
}

FirmwareUpdaterFactory Y5FwUpdater::factory(const Y5FwTiming& timing)
{
    return [timing](Y5ProtocolHandler*, Communicator* transport) -> FirmwareUpdater* {
        auto* updater = new Y5FwUpdater(transport);
        updater->setTiming(timing);
        return updater;
    };
}

bool Y5FwUpdater::isFrameImage(const QByteArray& image)
{
    qint64 index = 0;
    while (index < image.size()) {
        if (image.size() - index < 2)
            return false;
        index += frameLengthAt(image, index);
    }
    return index == image.size();
}

bool Y5FwUpdater::stopAsked() const
{
    return transport_->isStopRequested() || handler_->isFirmwareUpdateStopAsked();
}

bool Y5FwUpdater::pause(int ms) const
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        if (stopAsked())
            return false;
        const auto left = until - std::chrono::steady_clock::now();
        if (left <= std::chrono::milliseconds(0))
            return true;
        QThread::usleep(quint64(std::min<qint64>(
            std::chrono::duration_cast<std::chrono::microseconds>(left).count(), 5000)));
    }
}

void Y5FwUpdater::drainBytes(bool logEach)
{
    transport_->setTimeout(1);
    int drained = 0;
    char b = 0;
    while (drained < kDrainLimit && !stopAsked() && transport_->read(&b, 1) == 1) {
        ++drained;
        if (logEach)
            logMessage(QStringLiteral("Byte reception ongoing"), 0);
    }
    std::printf("Drained %d bytes\n", drained);
    std::fflush(stdout);
}

void Y5FwUpdater::readAndDrop(int max)
{
    QByteArray scratch(max, '\0');
    transport_->read(scratch.data(), max);
}

void Y5FwUpdater::finish()
{
    // Flags first: whoever waits on them sees the port free once done() is out.
    handler_->updateStarting = false;
    handler_->updateRunning = false;
    emit done();
}

bool Y5FwUpdater::fail(int progress, const QString& logLine, bool restoreFlow)
{
    if (!logLine.isEmpty())
        logMessage(logLine, 0);
    if (restoreFlow) {
        transport_->setTimeout(50);
        transport_->setFlowControl(SerialPort::XonXoff);
    }
    if (progress != 0)
        emit transport_->sigFirmwareUpdateProgress(progress, 1, QString());
    finish();
    return false;
}

bool Y5FwUpdater::updateFirmware()
{
    if (!transport_ || !handler_) {
        logMessage(QStringLiteral("Software update failed: no link to the control unit"), 0);
        if (transport_)
            emit transport_->sigFirmwareUpdateProgress(-2, 1, QString());
        if (handler_) {
            handler_->updateStarting = false;
            handler_->updateRunning = false;
        }
        emit done();
        return false;
    }
    logMessage(QStringLiteral("Initiated software update"), 0);
    const QByteArray imageCopy = image();
    const bool canopen = handler_->deviceKind() == QLatin1String("BMS3");
    // An empty or damaged image is refused before the unit leaves its
    // firmware: nothing would be written, yet success reported.
    if (imageCopy.isEmpty() || (!canopen && !isFrameImage(imageCopy)))
        return fail(-1, QStringLiteral("Software update failed: the image is damaged"), false);

    handler_->clearSentenceQueue();
    transport_->clearReceiveBuffer();
    // Off for the whole transfer: the unit's answer 0x11 is XON.
    transport_->setFlowControl(SerialPort::NoFlowControl);

    if (!handler_->detectBootMode())
        return fail(-2, QString(), true);

    if (!pause(timing_.bootSettleMs))
        return fail(-2, QString(), false);
    transport_->clearReceiveBuffer();
    readAndDrop(100);

    handler_->sendVersionRequest();
    if (!pause(timing_.versionDrainMs))
        return fail(-2, QString(), false);
    transport_->setTimeout(1);
    readAndDrop(100);

    transport_->setTimeout(50);
    handler_->sendVersionRequest();
    handler_->updateRunning = true;
    if (!pause(timing_.versionDrainMs))
        return fail(-2, QString(), false);
    readAndDrop(100);
    handler_->updateStarting = false;

    const bool written = canopen ? serialBootloaderTransfer(imageCopy) : legacyTransfer(imageCopy);
    if (!written)
        return false;

    emit transport_->sigFirmwareUpdateProgress(100, 1, QString());
    // The unit restarts: the transport finds it again.
    transport_->linked = false;
    logMessage(QStringLiteral("Software update successfully complete"), 0);
    std::printf("\nSoftware update finished.\n");
    std::fflush(stdout);
    finish();
    return true;
}

bool Y5FwUpdater::serialBootloaderTransfer(const QByteArray& image)
{
    // The download reports its own steps and errors as status lines (kind 0).
    // The last one is kept to show again after the failure code, which the
    // page needs to offer "Start update" again.
    struct LastLine
    {
        QMutex mutex;
        QString text;
    };
    auto last = std::make_shared<LastLine>();
    const QMetaObject::Connection watch = connect(
        transport_, &CommunicatorBase::sigFirmwareUpdateProgress, transport_,
        [last](int, int kind, const QString& text) {
            if (kind == 0 && text.size() > 1) {
                QMutexLocker lock(&last->mutex);
                last->text = text;
            }
        },
        Qt::DirectConnection);
    transport_->setTimeout(1);
    drainBytes(false);
    transport_->setTimeout(100);
    const bool ok = runSerialBootloader(transport_, image);
    disconnect(watch);
    if (ok)
        return true;
    QString line;
    {
        QMutexLocker lock(&last->mutex);
        line = last->text;
    }
    logMessage(QStringLiteral("Software update failed"), 0);
    transport_->setTimeout(50);
    transport_->setFlowControl(SerialPort::XonXoff);
    emit transport_->sigFirmwareUpdateProgress(-2, 1, QString());
    if (!line.isEmpty())
        emit transport_->sigFirmwareUpdateProgress(0, 0, line);
    finish();
    return false;
}

bool Y5FwUpdater::legacyTransfer(const QByteArray& image)
{
    const qint64 size = image.size();
    qint64 acknowledged = 0;
    qint64 index = 0;
    int retries = 0;
    while (index < size) {
        if (stopAsked())
            return fail(-2, QString(), false);
        const int frameLength = frameLengthAt(image, index);
        drainBytes(true);
        transport_->setTimeout(timing_.frameReadTimeoutMs);
        emit transport_->sigFirmwareUpdateProgress(int(acknowledged * 100 / size), 1, QString());
        std::printf("Frame length %d at index %lld: %s\n", frameLength, static_cast<long long>(index),
                    image.mid(int(index), frameLength).toHex(' ').constData());
        transport_->write(image.constData() + index, frameLength);
        transport_->flush();
        logMessage(QStringLiteral("Sending frame:\n"), 0);
        if (!waitFrameAck(acknowledged, frameLength, index, retries))
            return false;
        index += frameLength;
    }
    return true;
}

bool Y5FwUpdater::waitFrameAck(qint64& acknowledged, int frameLength, qint64& index, int& retries)
{
    // Each poll looks once at what has come: the frame's read time-out must
    // not turn 150 short polls into minutes of waiting.
    transport_->setTimeout(0);
    char answer = 0;
    bool got = false;
    for (int poll = 0; poll < timing_.ackPolls && !got; ++poll) {
        if (!pause(timing_.ackPollMs))
            return fail(-2, QString(), false);
        got = transport_->read(&answer, 1) == 1;
    }
    if (!got) {
        std::printf("\nFailed: Target is not responding.\n");
        std::fflush(stdout);
        return fail(-2, QStringLiteral("Software update failed as device is not responding"), true);
    }
    if (answer == kFrameTaken) {
        std::printf("\nCRC OK\r\n");
        acknowledged += frameLength;
        retries = 0;
        return true;
    }
    ++retries;
    if (retries <= 3) {
        std::printf("\nCRC Error. Retrying %i time\n", retries);
        std::printf("Received %d\n", int(quint8(answer)));
        std::fflush(stdout);
        index -= frameLength;
        return true;
    }
    std::printf("\nCRC Error  %i\r\n", retries);
    std::fflush(stdout);
    return fail(-1, QStringLiteral("Software update failed due to multiple CRC errors"), true);
}
