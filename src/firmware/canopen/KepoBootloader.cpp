#include "KepoBootloader.h"

#include "Communicator.h"
#include "Log.h"
#include "Y5ProtocolHandler.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QDeadlineTimer>
#include <QList>
#include <QMutex>

#include <algorithm>
#include <cstring>

namespace {
const char* const kFlashStatusTexts[69] = {
    "No error occurred",
    "No valid program available",
    "Data format unknown",
    "Data format error or data CRC error",
    "Flash not cleared before write",
    "Flash write error",
    "General address error",
    "Flash secured",
    "Unknown", "Unknown", "Unknown", "Unknown", "Unknown", "Unknown", "Unknown", "Unknown", "Unknown", // 8-16
    "Unknown", "Unknown", "Unknown", "Unknown", "Unknown", "Unknown", "Unknown", "Unknown", "Unknown", // 17-25
    "Unknown", "Unknown", "Unknown", "Unknown", "Unknown", "Unknown", "Unknown", "Unknown", "Unknown", // 26-34
    "Unknown", "Unknown", "Unknown", "Unknown", "Unknown", "Unknown", "Unknown", "Unknown", "Unknown", // 35-43
    "Unknown", "Unknown", "Unknown", "Unknown", "Unknown", "Unknown", "Unknown", "Unknown", "Unknown", // 44-52
    "Unknown", "Unknown", "Unknown", "Unknown", "Unknown", "Unknown", "Unknown", "Unknown", "Unknown", // 53-61
    "Unknown",                                                                                           // 62
    "Unspecified error",
    "Firmware file is corrupted",
    "Firmware file is not for this product",
    "Internal assert error",
    "Bootloader update required to install this firmware",
    "Serial number does not match with this device",
};

constexpr int kProgramData = 0x1F50;
constexpr int kProgramControl = 0x1F51;
constexpr int kFlashStatus = 0x1F57;
constexpr int kProbeObject = 0x1017;

constexpr quint32 kRouteRequestId = 0x1FFFFEE5;
constexpr quint32 kRouteReplyId = 0x1FFFFEE6;

QMutex g_hookMutex;
std::function<void(bool)> g_canUpdateActiveHook;

// The CAN device downloads whose run has not ended.
QMutex g_runningMutex;
QList<KepoHXTMBootloader*> g_running;
} // namespace

QString flashStatusText(int code)
{
    if (code < 0 || code > 68)
        return QStringLiteral("Unknown");
    return QString::fromLatin1(kFlashStatusTexts[code]);
}

// --- KepoBootloader

KepoBootloader::KepoBootloader(CANopenInterface* transport, const QByteArray& image, const KepoTiming& timing)
    : transport_(transport), image_(image), timing_(timing)
{
    connect(this, &QThread::finished, this, &QObject::deleteLater);
}

KepoBootloader::~KepoBootloader()
{
    wait();
}

bool KepoBootloader::flashStatusCode(const QByteArray& value, int* code)
{
    const auto* b = reinterpret_cast<const quint8*>(value.constData());
    qint32 v = 0;
    switch (value.size()) {
    case 1:
        v = qint8(b[0]);
        break;
    case 2:
        v = qint16(quint16(b[0] | b[1] << 8));
        break;
    case 4:
        v = qint32(quint32(b[0]) | quint32(b[1]) << 8 | quint32(b[2]) << 16 | quint32(b[3]) << 24);
        break;
    default:
        return false;
    }
    *code = (v >> 1) & 0xFF;
    return true;
}

void KepoBootloader::requestStop()
{
    requestInterruption();
    transport_->cancel();
}

bool KepoBootloader::pause(int ms)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) {
        if (stopAsked())
            return false;
        QThread::msleep(static_cast<unsigned long>(std::min<qint64>(20, ms - t.elapsed())));
    }
    return !stopAsked();
}

bool KepoBootloader::runStep(int step)
{
    if (stopAsked()) {
        statusText_ = QStringLiteral("Update stopped");
        return false;
    }
    bool ok = false;
    QString error;
    int status = CO::Done;
    switch (step) {
    case Clear:
        showStatus(QStringLiteral("Clearing old firmware..."));
        ok = transport_->download(kProgramControl, 1, QByteArray(1, '\x03'), 7000) == CO::Done;
        error = QStringLiteral("Failed to clear firmware");
        break;
    case Start:
        showStatus(QStringLiteral("Restarting device..."));
        ok = transport_->download(kProgramControl, 1, QByteArray(1, '\x01'), 3000) == CO::Done;
        error = QStringLiteral("Failed to start program");
        break;
    case Enter:
        showStatus(QStringLiteral("Entering bootloader..."));
        enterBootloader();
        return true;
    case Write:
        showStatus(QStringLiteral("Writing firmware..."));
        ok = transport_->download(kProgramData, 1, image_, 2000) == CO::Done;
        error = QStringLiteral("Failed to send firmware");
        break;
    case Check:
        ok = checkBootloader();
        error = QStringLiteral("Request enter bootloader failed");
        break;
    case FlashStatus: {
        const QByteArray value = transport_->upload(kFlashStatus, 1, 3000, &status);
        int code = 0;
        // Only a value of 1, 2 or 4 bytes is a flash status; an empty or odd
        // one tells nothing and must not pass as success.
        if (status != CO::Done || !flashStatusCode(value, &code)) {
            error = QStringLiteral("Failed to read flash status");
        } else if (code != 0) {
            error = flashStatusText(code);
        } else {
            ok = true;
        }
        break;
    }
    case Probe:
        ok = transport_->download(kProbeObject, 0, QByteArray(), 3000) == CO::Done;
        error = QStringLiteral("Device does not respond to CANopen packets");
        break;
    default:
        return false;
    }
    if (ok)
        return true;

    statusText_ = error;
    if (abortCode_ != 0) {
        // The device said why: its flash status explains the abort.
        const quint32 code = abortCode_;
        const int index = abortIndex_;
        const int subindex = abortSubindex_;
        const QByteArray value = transport_->upload(kFlashStatus, 1, 3000, &status);
        int flashCode = 0;
        if (status != CO::Done || !flashStatusCode(value, &flashCode))
            statusText_ = QString::asprintf("Abort code: %#x : %#x:%02d. Failed to read flash status.", code,
                                            unsigned(index), subindex);
        else if (flashCode == 0)
            statusText_ = QString::asprintf("Abort code: %#x : %#x:%02d. No flash status error recorded.", code,
                                            unsigned(index), subindex);
        else
            statusText_ = flashStatusText(flashCode);
    }
    return false;
}

bool KepoBootloader::flash()
{
    if (!runStep(Check)) {
        runStep(Enter);
        bool entered = false;
        for (int i = 0; i < 3 && !entered; ++i) {
            if (!pause(timing_.recheckWaitMs))
                return false;
            entered = runStep(Check);
        }
        if (!entered)
            return false;
    }
    for (int step : {Probe, Clear, Write, FlashStatus})
        if (!runStep(step))
            return false;
    beforeRestart();
    // Without a confirmed start the device may still sit in its bootloader:
    // not a success.
    return runStep(Start);
}

void KepoBootloader::onAbort(int index, int subindex, quint32 code)
{
    abortIndex_ = index;
    abortSubindex_ = subindex;
    abortCode_ = code;
}

void KepoBootloader::sendRawFrame(quint32 identifier, const quint8* bytes, int length)
{
    CanFrame f;
    f.identifier = identifier;
    f.length = quint8(length);
    std::memcpy(f.data, bytes, size_t(std::min(std::max(length, 0), 8)));
    transport_->sendFrame(f, true);
}

void KepoBootloader::waitRawFrame(CanFrame* record)
{
    transport_->waitForFrame(record);
}

void KepoBootloader::run()
{
    if (!prepare())
        return;
    if (pause(timing_.firstWaitMs))
        QCoreApplication::processEvents();
    if (pause(timing_.secondWaitMs))
        QCoreApplication::processEvents();
    abortCode_ = 0;
    onProgress(-1, 0, 0);
    // Without an image the clear step would leave the device with nothing.
    if (image_.isEmpty()) {
        statusText_ = QStringLiteral("Failed to send firmware");
        onFailure();
        showStatus(statusText_);
        return;
    }
    if (flash()) {
        onSuccess();
    } else {
        onFailure();
        showStatus(statusText_);
    }
}

// --- KepoY55Bootloader

KepoY55Bootloader::KepoY55Bootloader(Communicator* link, const QByteArray& image, const KepoTiming& timing)
    : KepoBootloader(&transport_, image, timing), link_(link), transport_(link, 1, this)
{
    start(QThread::InheritPriority);
}

KepoY55Bootloader::~KepoY55Bootloader()
{
    wait();
}

bool KepoY55Bootloader::flash()
{
    for (int step : {Clear, Write, FlashStatus})
        if (!runStep(step))
            return false;
    beforeRestart();
    return runStep(Start);
}

void KepoY55Bootloader::onProgress(int percent, int, int)
{
    if (!link_)
        return;
    // The last block's acknowledgement is not the end: the flash status and
    // the restart follow, and only the serial updater's 100 says "done".
    if (percent == -1)
        emit link_->sigFirmwareUpdateProgress(-1, -1, QString());
    else
        emit link_->sigFirmwareUpdateProgress(std::min(percent, 99), 1, QString());
}

void KepoY55Bootloader::onSuccess()
{
    running = false;
}

void KepoY55Bootloader::onFailure()
{
    result = false;
    running = false;
}

void KepoY55Bootloader::showStatus(const QString& text)
{
    if (link_)
        emit link_->sigFirmwareUpdateProgress(0, 0, text);
}

// --- KepoHXTMBootloader

KepoHXTMBootloader::KepoHXTMBootloader(Communicator* link, int deviceType, quint32 serialNumber,
                                       const QByteArray& image, const KepoTiming& timing)
    : KepoBootloader(&transport_, image, timing),
      deviceType_(deviceType),
      serialNumber_(serialNumber),
      link_(link),
      transport_(link, 120, this)
{
    {
        QMutexLocker lock(&g_runningMutex);
        g_running.append(this);
    }
    start(QThread::InheritPriority);
}

KepoHXTMBootloader::~KepoHXTMBootloader()
{
    wait();
    QMutexLocker lock(&g_runningMutex);
    g_running.removeAll(this);
}

void KepoHXTMBootloader::run()
{
    KepoBootloader::run();
    QMutexLocker lock(&g_runningMutex);
    g_running.removeAll(this);
}

bool KepoHXTMBootloader::stopAsked() const
{
    return KepoBootloader::stopAsked() || (link_ && link_->isStopRequested());
}

void KepoHXTMBootloader::setCanUpdateActiveHook(std::function<void(bool)> hook)
{
    QMutexLocker lock(&g_hookMutex);
    g_canUpdateActiveHook = std::move(hook);
}

void KepoHXTMBootloader::setCanUpdateActive(bool on)
{
    std::function<void(bool)> hook;
    {
        QMutexLocker lock(&g_hookMutex);
        hook = g_canUpdateActiveHook;
    }
    if (hook)
        hook(on);
}

Y5ProtocolHandler* KepoHXTMBootloader::handler() const
{
    return link_ ? link_->protocolHandler() : nullptr;
}

bool KepoHXTMBootloader::prepare()
{
    Y5ProtocolHandler* h = handler();
    if (!h || !h->isConnected()) {
        // The Update page waits for an outcome: say that there was none.
        if (link_) {
            emit link_->sigCanUpdateStatus(0, 5, QStringLiteral("No connection to the BMS"));
            emit link_->sigCanDeviceOperationStatus(2, 3);
        }
        return false;
    }
    emit link_->sigCanDeviceOperationStatus(0, 3);
    emit link_->sigCanUpdateProgress(0);
    emit link_->sigCanUpdateStatus(1, 0, QString());
    bool entered = false;
    if (h->isFeatureBitmapValid()) {
        cm2_ = true;
        const quint32 words[5] = {0x9FFFFF00, 0x00000500, 0x1FFFFEE6, 0x1FFFE5E6, 0x1FFFFFFF};
        std::memcpy(filters_, words, sizeof filters_);
        entered = h->setCanConfigMode(true, filters_[0], filters_[1], filters_[2], filters_[3], filters_[4]);
        if (!entered) {
            cm2_ = false;
            entered = h->setConfigModeIfConnected(true);
        }
    } else {
        cm2_ = false;
        entered = h->setConfigModeIfConnected(true);
    }
    if (entered) {
        setCanUpdateActive(true);
        return true;
    }
    emit link_->sigCanUpdateStatus(0, 5, QStringLiteral("Failed to enter configuration mode"));
    emit link_->sigCanDeviceOperationStatus(2, 3);
    return false;
}

void KepoHXTMBootloader::routeFrame(quint8 command, quint8 out[8]) const
{
    out[0] = command;
    out[1] = quint8(~command);
    out[2] = quint8(deviceType_ & 0xFF);
    out[3] = quint8((deviceType_ >> 8) & 0xFF);
    out[4] = quint8(serialNumber_ & 0xFF);
    out[5] = quint8((serialNumber_ >> 8) & 0xFF);
    out[6] = quint8((serialNumber_ >> 16) & 0xFF);
    out[7] = quint8((serialNumber_ >> 24) & 0xFF);
}

void KepoHXTMBootloader::enterBootloader()
{
    quint8 frame[8];
    routeFrame(0x01, frame);
    sendRawFrame(kRouteRequestId, frame, 8);
    routeFrame(0x0C, frame);
    sendRawFrame(kRouteRequestId, frame, 8);
}

bool KepoHXTMBootloader::checkBootloader()
{
    CanFrame request;
    request.identifier = kRouteRequestId;
    request.length = 8;
    routeFrame(0x09, request.data);
    CanFrame reply;
    // Armed before the request goes out, so a quick reply is not missed.
    transport_.sendAndWaitForFrame(request, true, &reply);
    return reply.identifier == kRouteReplyId && reply.data[0] == 0x09 && reply.data[2] == 0x00
           && reply.data[3] == 0xFF && reply.data[4] == 0x00 && reply.data[5] == 0xFF;
}

void KepoHXTMBootloader::beforeRestart()
{
    emit link_->sigCanUpdateStatus(2, 0, QString());
}

void KepoHXTMBootloader::leaveConfigMode()
{
    Y5ProtocolHandler* h = handler();
    if (!h)
        return;
    if (cm2_)
        h->setCanConfigMode(false, filters_[0], filters_[1], filters_[2], filters_[3], filters_[4]);
    else
        h->setConfigModeIfConnected(false);
    h->setConfigModeIfConnected(false);
}

void KepoHXTMBootloader::onSuccess()
{
    emit link_->sigCanUpdateStatus(2, 1, QString());
    setCanUpdateActive(false);
    leaveConfigMode();
    emit link_->sigCanDeviceOperationStatus(1, 3);
}

void KepoHXTMBootloader::onFailure()
{
    emit link_->sigCanUpdateProgress(0);
    setCanUpdateActive(false);
    // A failed download must not leave the control unit in configuration mode.
    leaveConfigMode();
    emit link_->sigCanDeviceOperationStatus(2, 3);
}

void KepoHXTMBootloader::showStatus(const QString& text)
{
    emit link_->sigCanUpdateStatus(0, 5, text);
}

void KepoHXTMBootloader::onProgress(int percent, int, int)
{
    if (link_)
        emit link_->sigCanUpdateProgress(percent);
}

void startCanModuleBootloader(Communicator* link, int deviceType, quint32 serialNumber, const QByteArray& image)
{
    new KepoHXTMBootloader(link, deviceType, serialNumber, image);
}

bool canModuleBootloaderRunning()
{
    QMutexLocker lock(&g_runningMutex);
    return !g_running.isEmpty();
}

bool stopCanModuleBootloaders(int waitMs)
{
    QList<KepoHXTMBootloader*> running;
    {
        QMutexLocker lock(&g_runningMutex);
        running = g_running;
    }
    for (KepoHXTMBootloader* b : running)
        b->requestStop();
    QElapsedTimer t;
    t.start();
    for (KepoHXTMBootloader* b : running)
        b->wait(QDeadlineTimer(std::max<qint64>(0, waitMs - t.elapsed())));
    return !canModuleBootloaderRunning();
}
