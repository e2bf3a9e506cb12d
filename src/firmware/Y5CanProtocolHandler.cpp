#include "Y5CanProtocolHandler.h"

#include "CanTunnel.h"
#include "Communicator.h"
#include "Log.h"
#include "RouteProtocol.h"
#include "Y5ProtocolHandler.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QStringList>
#include <QThread>

#include <algorithm>

namespace {

const QLatin1String kEnterReply("01FE0000");
const QLatin1String kCheckReply("09F600FF00FF");
const QLatin1String kRecordReply("08F7");
const QLatin1String kRecordAccepted("08F70000");
const QLatin1String kLeaveReply("02FD0000");

constexpr quint8 kRecordCommand = 0x08;
constexpr int kEnterAttempts = 30;
constexpr int kEnterRepliesNeeded = 7;
constexpr int kCheckAttempts = 3;
constexpr int kLongRecordPolls = 5;
// How often a reply wait looks at the port.
constexpr int kReplyPollMs = 5;

// The record text's digit pairs; false when it is not whole pairs of hex digits.
bool decodeRecord(const QString& record, QByteArray& bytes)
{
    if (record.isEmpty() || record.size() % 2 != 0)
        return false;
    bytes.clear();
    bytes.reserve(record.size() / 2);
    for (int i = 0; i < record.size(); i += 2) {
        bool ok = false;
        const uint v = record.midRef(i, 2).toUInt(&ok, 16);
        if (!ok || !record.at(i).isLetterOrNumber() || !record.at(i + 1).isLetterOrNumber())
            return false;
        bytes.append(char(v));
    }
    return true;
}

} // namespace

Y5CanProtocolHandler::Y5CanProtocolHandler(Communicator* owner) : QObject(nullptr), m_owner(owner) {}

Y5ProtocolHandler* Y5CanProtocolHandler::handler() const
{
    Communicator* o = m_owner;
    return o ? o->protocolHandler() : nullptr;
}

bool Y5CanProtocolHandler::stopAsked() const
{
    Communicator* o = m_owner;
    if (o && o->isStopRequested())
        return true;
    Y5ProtocolHandler* h = handler();
    return h && h->isStopAsked();
}

bool Y5CanProtocolHandler::wait(int ms) const
{
    for (int left = ms; left > 0; left -= 10) {
        if (stopAsked())
            return false;
        QThread::msleep(unsigned(std::min(left, 10)));
    }
    QCoreApplication::processEvents();
    return !stopAsked();
}

int Y5CanProtocolHandler::awaitReply(int ms, const std::function<bool(const QString&)>& isReply, bool alsoCn2,
                                     bool drainAll)
{
    // The pause is the longest the device may take: its reply ends it.
    QElapsedTimer t;
    t.start();
    for (;;) {
        if (stopAsked())
            return -1;
        if (readReplies(isReply, alsoCn2, drainAll)) {
            QCoreApplication::processEvents();
            return 1;
        }
        const qint64 left = ms - t.elapsed();
        if (left <= 0)
            break;
        QThread::msleep(unsigned(std::min<qint64>(left, kReplyPollMs)));
    }
    QCoreApplication::processEvents();
    if (stopAsked())
        return -1;
    return readReplies(isReply, alsoCn2, drainAll) ? 1 : 0;
}

void Y5CanProtocolHandler::sendCanFrame(quint32 identifier, const quint8* data, int length, bool extended)
{
    Communicator* o = m_owner;
    Y5ProtocolHandler* h = o ? o->protocolHandler() : nullptr;
    if (!h)
        return;
    const quint8 n = quint8(std::max(0, std::min(length, 8)));
    h->sendSentence(QStringLiteral("CN1,"), cantunnel::composeParameters(identifier, data, n, extended), 20);
    o->readIntoBuffer();
}

void Y5CanProtocolHandler::sendRoute(quint8 command)
{
    const QByteArray b = route::addressed(command, m_deviceType, m_serial);
    sendCanFrame(route::kRequestId, reinterpret_cast<const quint8*>(b.constData()), b.size(), true);
}

bool Y5CanProtocolHandler::readReplies(const std::function<bool(const QString&)>& isReply, bool alsoCn2,
                                       bool drainAll)
{
    Communicator* o = m_owner;
    Y5ProtocolHandler* h = o ? o->protocolHandler() : nullptr;
    if (!h)
        return false;
    o->readIntoBuffer();
    bool seen = false;
    QString line;
    // Stops at the reply, so a line that already answers the next step stays
    // queued for it.
    while ((drainAll || !seen) && h->getSentence(line)) {
        if (seen)
            continue;
        if (!(line.startsWith(QLatin1String("CN1")) || (alsoCn2 && line.startsWith(QLatin1String("CN2")))))
            continue;
        const QStringList f = line.split(QLatin1Char(','));
        if (f.size() <= 5)
            continue;
        bool ok = false;
        const quint32 id = f.at(1).toUInt(&ok, 16);
        // Devices answer from either reply identifier.
        if (!ok || !route::isReplyId(id))
            continue;
        if (isReply(f.at(5).toUpper()))
            seen = true;
    }
    return seen;
}

void Y5CanProtocolHandler::dropStaleReplies()
{
    // Whatever is queued before a record goes out answers an earlier one.
    readReplies([](const QString&) { return false; }, false, true);
}

bool Y5CanProtocolHandler::enterConfigMode()
{
    int counted = 0;
    for (int attempt = 0; attempt < kEnterAttempts; ++attempt) {
        sendRoute(route::EnterConfig);
        // The device is asked at this pace, whenever it answers.
        if (!wait(m_timing.enterWaitMs))
            return false;
        if (readReplies([](const QString& d) { return d == kEnterReply; }, true))
            ++counted;
        if (counted >= kEnterRepliesNeeded)
            return true;
        if (!wait(m_timing.enterGapMs))
            return false;
    }
    logMessage(QStringLiteral("CAN update: device %1/%2 answered the enter command %3 times")
                   .arg(m_deviceType.load())
                   .arg(m_serial.load())
                   .arg(counted),
               1);
    return false;
}

bool Y5CanProtocolHandler::checkConfigMode()
{
    for (int attempt = 0; attempt < kCheckAttempts; ++attempt) {
        sendRoute(route::ReadVersion);
        const int r = awaitReply(350, [](const QString& d) { return d == kCheckReply; }, false, true);
        if (r != 0)
            return r > 0;
    }
    return false;
}

bool Y5CanProtocolHandler::leaveConfigMode()
{
    sendRoute(route::LeaveConfig);
    return awaitReply(m_timing.leaveReplyMs, [](const QString& d) { return d == kLeaveReply; }) > 0;
}

bool Y5CanProtocolHandler::reenterConfigMode()
{
    for (int attempt = 0; attempt < 2; ++attempt) {
        sendRoute(route::EnterConfig);
        const int r = awaitReply(250, [](const QString& d) { return d == kEnterReply; });
        if (r != 0)
            return r > 0;
        if (attempt == 0 && !wait(50))
            return false;
    }
    return false;
}

QByteArray Y5CanProtocolHandler::shortRecordBuffer(const QString& record)
{
    QByteArray bytes;
    if (!decodeRecord(record, bytes) || bytes.size() > 254)
        return QByteArray();
    QByteArray b;
    b.append(char(bytes.size() + 1));
    b.append(bytes);
    quint8 sum = 0;
    for (char c : b)
        sum = quint8(sum + quint8(c));
    b.append(char(quint8(0x100 - sum)));
    return b;
}

QByteArray Y5CanProtocolHandler::longRecordBuffer(const QString& record)
{
    QByteArray bytes;
    if (!decodeRecord(record, bytes) || bytes.size() > 0xFFFF)
        return QByteArray();
    QByteArray b;
    route::putLe16(b, quint16(bytes.size()));
    b.append(bytes);
    return b;
}

void Y5CanProtocolHandler::sendBuffer(const QByteArray& buffer, quint8 firstSeq, int position, int imageSize)
{
    quint8 seq = firstSeq;
    int sent = 0;
    while (sent < buffer.size()) {
        const int n = std::min(6, buffer.size() - sent);
        quint8 frame[8] = {kRecordCommand, seq++};
        std::copy(buffer.constData() + sent, buffer.constData() + sent + n, reinterpret_cast<char*>(frame + 2));
        sendCanFrame(route::kRequestId, frame, 2 + n, true);
        sent += n;
        Communicator* o = m_owner;
        if (imageSize > 0 && o) {
            const quint64 value = (quint64(position) + 2ull * quint64(sent)) * 100ull / quint64(imageSize);
            emit o->sigCanUpdateProgress(int(std::min<quint64>(value, 100)));
        }
    }
}

bool Y5CanProtocolHandler::sendRecord(const QString& record, int recordNumber, int position, int imageSize)
{
    const QByteArray buffer = shortRecordBuffer(record);
    if (buffer.isEmpty()) {
        logMessage(QStringLiteral("CAN update: record %1 is not hexadecimal").arg(recordNumber), 0);
        return false;
    }
    dropStaleReplies();
    sendBuffer(buffer, 0x0A, position, imageSize);
    bool accepted = false;
    auto isAnswer = [&](const QString& d) {
        if (!d.startsWith(kRecordReply))
            return false;
        accepted = d == kRecordAccepted;
        return true;
    };
    // A slow answer is still waited for, so it is not taken for the next
    // record's.
    const int waitMs = (recordNumber == 0 ? 800 : 50) + m_timing.shortRecordGraceMs;
    return awaitReply(waitMs, isAnswer) > 0 && accepted;
}

bool Y5CanProtocolHandler::sendRecordLong(const QString& record, int position, int imageSize)
{
    const QByteArray buffer = longRecordBuffer(record);
    if (buffer.isEmpty()) {
        logMessage(QStringLiteral("CAN update: record at %1 is not hexadecimal").arg(position), 0);
        return false;
    }
    dropStaleReplies();
    sendBuffer(buffer, 0, position, imageSize);
    bool accepted = false;
    const int r = awaitReply(kLongRecordPolls * 250, [&accepted](const QString& d) {
        if (!d.startsWith(kRecordReply))
            return false;
        accepted = d == kRecordAccepted;
        return true;
    });
    if (r < 0)
        return false;
    if (accepted)
        return wait(m_timing.longRecordSettleMs);
    reenterConfigMode();
    wait(m_timing.longRecordSettleMs);
    return false;
}
