#include "Y5CanFwUpdater.h"

#include "Communicator.h"
#include "CommunicatorSelector.h"
#include "Log.h"
#include "Y5CanProtocolHandler.h"
#include "Y5ProtocolHandler.h"

#include <QByteArray>

namespace {
constexpr int kRecordTries = 3;
constexpr quint8 kEndOfFileType = 0x01;

// The Intel HEX record type of a record text (its fourth byte), or -1.
int recordType(const QByteArray& image, int from, int to)
{
    if (to - from < 8)
        return -1;
    bool ok = false;
    const int t = QByteArray::fromRawData(image.constData() + from + 6, 2).toInt(&ok, 16);
    return ok ? t : -1;
}
} // namespace

Y5CanFwUpdater::Y5CanFwUpdater(Communicator* owner)
    : QObject(nullptr), m_ownHandler(new Y5CanProtocolHandler(owner)), m_handler(m_ownHandler)
{
    m_ownHandler->setParent(this);
    hook(owner);
    // The transports are replaced when the link switches between serial and
    // Bluetooth; the update follows the current one.
    connect(CommunicatorSelector::instance(), &CommunicatorSelector::CommunicatorChanged, this,
            [this](CommunicatorSelector::Selection, AbstractCommunicator* c) { setOwner(c); },
            Qt::DirectConnection);
}

void Y5CanFwUpdater::setProtocolHandler(Y5CanProtocolHandler* handler)
{
    // A running update keeps the sender it started with.
    if (isBusy())
        return;
    m_handler = handler ? handler : m_ownHandler;
    m_handler->setOwner(m_owner);
}

Y5CanProtocolHandler* Y5CanFwUpdater::protocolHandler() const
{
    return m_handler;
}

void Y5CanFwUpdater::hook(Communicator* owner)
{
    disconnect(m_passConnection);
    m_owner = owner;
    m_handler->setOwner(owner);
    if (m_ownHandler != m_handler)
        m_ownHandler->setOwner(owner);
    if (!owner)
        return;
    // Runs in the transport's worker thread, on its pass after the read.
    m_passConnection = connect(owner, &CommunicatorBase::sigCanProcess, this, [this] {
        if (armed)
            process();
    }, Qt::DirectConnection);
}

void Y5CanFwUpdater::setOwner(Communicator* owner)
{
    if (owner != m_owner)
        hook(owner);
}

bool Y5CanFwUpdater::start(const QByteArray* image, quint16 deviceType, quint32 serialNumber)
{
    Communicator* owner = m_owner;
    Y5ProtocolHandler* h = owner ? owner->protocolHandler() : nullptr;
    if (!h || !h->isConnected() || h->isFirmwareUpdating() || isBusy())
        return false;
    // Route records only: a binary image would go out as garbled records.
    if (!image || !image->startsWith(':'))
        return false;
    m_image = image;
    m_handler->setDevice(deviceType, serialNumber);
    armed = true;
    return true;
}

void Y5CanFwUpdater::status(int stage, int code)
{
    if (Communicator* owner = m_owner)
        emit owner->sigCanUpdateStatus(stage, code, QString());
}

bool Y5CanFwUpdater::process()
{
    if (!m_image || m_image->isEmpty()) {
        armed = false;
        return false;
    }
    if (!armed.exchange(false))
        return false;
    Communicator* owner = m_owner;
    Y5ProtocolHandler* h = owner ? owner->protocolHandler() : nullptr;
    if (!h)
        return false;

    // The control unit passes the route replies only in a configuration mode.
    bool filtered = false;
    if (h->isFeatureBitmapValid()) {
        const quint32 words[5] = {0x9FFFFFFF, 0x1FFFFEE6, 0x1FFFE5E6, 0x1FFFFFFF, 0x1FFFFFFF};
        std::copy(words, words + 5, m_filters);
        filtered = h->setCanConfigMode(true, m_filters[0], m_filters[1], m_filters[2], m_filters[3], m_filters[4]);
    }
    if (!filtered && !h->setConfigModeIfConnected(true)) {
        // The page has disabled its buttons for this update: tell it.
        emit owner->sigCanUpdateStatus(0, 5, tr("Control unit did not enter configuration mode. Update failed"));
        emit owner->sigCanDeviceOperationStatus(2, kOperation);
        return false;
    }

    running = true;
    emit owner->sigCanDeviceOperationStatus(0, kOperation);
    emit owner->sigCanUpdateProgress(0);
    status(1, 0);
    m_handler->wait(100);
    m_handler->wait(100);

    bool result = false;
    if (!m_handler->enterConfigMode()) {
        status(1, 2);
        m_handler->leaveConfigMode();
    } else if (!m_handler->checkConfigMode()) {
        status(1, 3);
        m_handler->leaveConfigMode();
    } else {
        status(1, 1);
        status(2, 0);
        if (!sendImageRecords()) {
            status(2, 4);
            m_handler->leaveConfigMode();
        } else {
            status(2, 1);
            result = m_handler->leaveConfigMode();
            status(3, result ? 1 : 4);
        }
    }

    running = false;
    const bool left = filtered ? h->setCanConfigMode(false, m_filters[0], m_filters[1], m_filters[2], m_filters[3],
                                                     m_filters[4])
                               : h->setConfigModeIfConnected(false);
    if (!left)
        logMessage(QStringLiteral("CAN update: the control unit did not confirm leaving configuration mode"), 0);
    // The outcome is the device's; a failure is never reported as finished.
    emit owner->sigCanDeviceOperationStatus(result ? 1 : 2, kOperation);
    return result && left;
}

bool Y5CanFwUpdater::sendImageRecords()
{
    const QByteArray image = m_image ? *m_image : QByteArray();
    const int n = image.size();
    Communicator* owner = m_owner;
    int number = 0;
    // Each record runs from after its ':' to the next ':' or the image's end;
    // the end-of-file record ends the transfer and is not sent.
    int from = image.indexOf(':');
    while (from >= 0) {
        const int start = from + 1;
        int end = image.indexOf(':', start);
        const int stop = end < 0 ? n : end;
        if (stop > start) {
            if (recordType(image, start, stop) == kEndOfFileType)
                break;
            const QString record = QString::fromLatin1(image.constData() + start, stop - start).trimmed();
            bool sent = false;
            for (int t = 0; t < kRecordTries && !sent; ++t) {
                sent = Y5CanProtocolHandler::takesLongRecords(m_handler->deviceType())
                           ? m_handler->sendRecordLong(record, start, n)
                           : m_handler->sendRecord(record, number, start, n);
                if (!sent && owner && owner->isStopRequested())
                    return false;
            }
            if (!sent) {
                logMessage(QStringLiteral("CAN update: record %1 failed %2 times").arg(number).arg(kRecordTries), 0);
                return false;
            }
            ++number;
        }
        from = end;
    }
    if (owner)
        emit owner->sigCanUpdateProgress(100);
    return true;
}
