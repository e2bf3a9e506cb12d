#include "CANopenInterface.h"

#include "Communicator.h"
#include "Y5ProtocolHandler.h"

#include <QDeadlineTimer>
#include <QLoggingCategory>
#include <QStringList>

#include <cstring>

namespace {
Q_LOGGING_CATEGORY(lcCanopen, "bms.canopen", QtInfoMsg)

// A CRC parameter set; the table routine also serves reflected sets.
struct CrcParams
{
    quint16 poly;
    quint16 init;
    bool reflectIn;
    bool reflectOut;
    quint16 xorOut;
};
constexpr CrcParams kXmodem{0x1021, 0x0000, false, false, 0x0000};

quint16 reflect16(quint16 v)
{
    quint16 r = 0;
    for (int i = 0; i < 16; ++i)
        if (v & (1u << i))
            r |= quint16(1u << (15 - i));
    return r;
}

struct CrcTable
{
    quint16 entries[256];
    explicit CrcTable(const CrcParams& p)
    {
        for (int i = 0; i < 256; ++i) {
            if (p.reflectIn) {
                const quint16 poly = reflect16(p.poly);
                quint16 c = quint16(i);
                for (int k = 0; k < 8; ++k)
                    c = (c & 1) ? quint16((c >> 1) ^ poly) : quint16(c >> 1);
                entries[i] = c;
            } else {
                quint16 c = quint16(i << 8);
                for (int k = 0; k < 8; ++k)
                    c = (c & 0x8000) ? quint16((c << 1) ^ p.poly) : quint16(c << 1);
                entries[i] = c;
            }
        }
    }
};

quint16 crcCompute(const CrcParams& p, const CrcTable& t, const quint8* bytes, int count)
{
    quint16 crc = p.reflectIn ? reflect16(p.init) : p.init;
    for (int i = 0; i < count; ++i) {
        if (p.reflectIn)
            crc = quint16((crc >> 8) ^ t.entries[(crc ^ bytes[i]) & 0xFF]);
        else
            crc = quint16((crc << 8) ^ t.entries[((crc >> 8) ^ bytes[i]) & 0xFF]);
    }
    if (p.reflectIn != p.reflectOut)
        crc = reflect16(crc);
    return quint16(crc ^ p.xorOut);
}
} // namespace

quint16 crc16Xmodem(const quint8* bytes, int count)
{
    static const CrcTable table(kXmodem); // built once, thread-safe
    return crcCompute(kXmodem, table, bytes, count);
}

CanFrame::CanFrame(const CO::CanMessage& m) : identifier(m.cobId), length(m.length)
{
    std::memcpy(data, m.data, 8);
}

// --- CANopenInterface

CANopenInterface::CANopenInterface(Communicator* link, int nodeId, CO::ICANopenCallback* callback)
    : QObject(nullptr), CO::CANopen(link, nodeId, callback)
{
}

bool CANopenInterface::deliverToWaiter(const CanFrame& frame)
{
    QMutexLocker lock(&waitMutex_);
    if (!waiterArmed_ || !waiterRecord_)
        return false;
    *waiterRecord_ = frame;
    waiterArmed_ = 0;
    waitCondition_.wakeAll();
    return true;
}

void CANopenInterface::armWaiter(CanFrame* record)
{
    QMutexLocker lock(&waitMutex_);
    waiterRecord_ = record;
    waiterArmed_ = 1;
}

void CANopenInterface::awaitArmedFrame()
{
    QMutexLocker lock(&waitMutex_);
    QDeadlineTimer deadline(kFrameWaitMs);
    while (waiterArmed_ && !deadline.hasExpired() && !isCancelled())
        waitCondition_.wait(&waitMutex_, deadline);
    waiterArmed_ = 0;
    waiterRecord_ = nullptr;
}

void CANopenInterface::sendAndWaitForFrame(const CanFrame& frame, bool extended, CanFrame* record)
{
    armWaiter(record);
    sendFrame(frame, extended);
    awaitArmedFrame();
}

// --- serial records

CANopenOverSerial::CANopenOverSerial(Communicator* link, int nodeId, CO::ICANopenCallback* callback)
    : CANopenInterface(link, nodeId, callback)
{
}

QByteArray CANopenOverSerial::encodeRecord(const CanFrame& frame)
{
    if (frame.length > 8)
        return QByteArray();
    quint8 r[kRecordSize] = {};
    r[0] = 0x02;
    r[1] = quint8(frame.identifier & 0xFF);
    r[2] = quint8((frame.length & 0x0F) << 3 | ((frame.identifier >> 8) & 0x07));
    std::memcpy(r + 3, frame.data, frame.length);
    const quint16 crc = crc16Xmodem(r + 1, 10);
    r[11] = quint8(crc & 0xFF);
    r[12] = quint8(crc >> 8);
    r[13] = 0x03;
    return QByteArray(reinterpret_cast<const char*>(r), kRecordSize);
}

bool CANopenOverSerial::decodeRecord(const quint8* r, CanFrame* frame)
{
    if (r[0] != 0x02 || r[13] != 0x03)
        return false;
    if (crc16Xmodem(r + 1, 10) != quint16(r[11] | r[12] << 8))
        return false;
    const int length = (r[2] >> 3) & 0x0F;
    if (length > 8)
        return false;
    frame->identifier = quint32(r[1] | (r[2] & 0x07) << 8);
    frame->length = quint8(length);
    std::memcpy(frame->data, r + 3, 8);
    return true;
}

void CANopenOverSerial::sendFrame(const CanFrame& frame, bool)
{
    const QByteArray record = encodeRecord(frame);
    if (record.isEmpty() || !communicator())
        return;
    communicator()->write(record.constData(), record.size());
}

void CANopenOverSerial::sendCanMessage(const CO::CanMessage& message)
{
    sendFrame(CanFrame(message), false);
}

void CANopenOverSerial::waitForFrame(CanFrame* record)
{
    armWaiter(record);
    awaitArmedFrame();
}

void CANopenOverSerial::poll()
{
    char byte = 0;
    if (!communicator() || communicator()->read(&byte, 1) != 1)
        return;
    feedByte(quint8(byte));
}

void CANopenOverSerial::feedByte(quint8 byte)
{
    window_[kRecordSize - 1] = byte;
    CanFrame frame;
    const bool found = decodeRecord(window_, &frame);
    if (found) {
        // The record's bytes are used up: none of them starts another.
        std::memset(window_, 0, sizeof window_);
        if (!deliverToWaiter(frame)) {
            CO::CanMessage m;
            m.cobId = quint16(frame.identifier);
            m.length = frame.length;
            std::memcpy(m.data, frame.data, 8);
            frameReceived(m);
        }
        return;
    }
    std::memmove(window_, window_ + 1, kRecordSize - 1);
}

// --- "CN1" sentences

CANopenOverSentences::CANopenOverSentences(Communicator* link, int nodeId, CO::ICANopenCallback* callback)
    : CANopenInterface(link, nodeId, callback)
{
    if (link)
        connect(link, &CommunicatorBase::sigReceivedSentence, this, &CANopenOverSentences::slotSentenceReceived,
                Qt::QueuedConnection);
}

Y5ProtocolHandler* CANopenOverSentences::handler() const
{
    return communicator() ? communicator()->protocolHandler() : nullptr;
}

QString CANopenOverSentences::sentenceParameters(const CanFrame& frame, bool extended)
{
    if (frame.length > 8)
        return QString();
    const quint32 id = extended ? frame.identifier : (frame.identifier & 0x7FF);
    QString text = QStringLiteral("%1,%2,0,%3,")
                       .arg(id, 8, 16, QLatin1Char('0'))
                       .arg(extended ? 1 : 0)
                       .arg(frame.length)
                       .toUpper();
    for (int i = 0; i < frame.length; ++i)
        text += QStringLiteral("%1").arg(frame.data[i], 2, 16, QLatin1Char('0')).toUpper();
    return text;
}

void CANopenOverSentences::sendFrame(const CanFrame& frame, bool extended)
{
    const QString parameters = sentenceParameters(frame, extended);
    Y5ProtocolHandler* h = handler();
    if (parameters.isEmpty() || !h)
        return;
    qCDebug(lcCanopen).noquote() << QStringLiteral("Send: CN1,%1").arg(parameters);
    h->sendSentence(QStringLiteral("CN1,"), parameters, 10);
}

void CANopenOverSentences::sendCanMessage(const CO::CanMessage& message)
{
    sendFrame(CanFrame(message), true);
}

void CANopenOverSentences::waitForFrame(CanFrame* record)
{
    armWaiter(record);
    awaitArmedFrame();
}

bool CANopenOverSentences::parseSentence(const QString& line, CanFrame* frame)
{
    if (!line.startsWith(QLatin1String("CN1")))
        return false;
    const QStringList f = line.split(QLatin1Char(','));
    if (f.size() < 6)
        return false;
    bool ok = false;
    const quint32 id = f.at(1).toUInt(&ok, 16);
    if (!ok)
        return false;
    const int length = f.at(4).toInt(&ok, 10);
    if (!ok || length < 0 || length > 8)
        return false;
    const QString& hex = f.at(5);
    if (hex.size() % 2 != 0 || hex.size() > 16)
        return false;
    CanFrame out;
    out.identifier = id;
    out.length = quint8(length);
    for (int i = 0; i < hex.size() / 2; ++i) {
        const uint b = hex.midRef(2 * i, 2).toUInt(&ok, 16);
        if (!ok)
            return false;
        out.data[i] = quint8(b);
    }
    *frame = out;
    return true;
}

void CANopenOverSentences::slotSentenceReceived()
{
    Y5ProtocolHandler* h = handler();
    if (!h)
        return;
    QString line;
    while (h->getSentence(line)) {
        if (!line.startsWith(QLatin1String("CN1"))) {
            // The window's pump stands aside while the update runs: the
            // configuration-mode and challenge replies still count.
            h->applyReplyFlags(line);
            continue;
        }
        CanFrame frame;
        if (!parseSentence(line, &frame))
            continue;
        qCDebug(lcCanopen).noquote() << QStringLiteral("Received: %1").arg(line);
        if (deliverToWaiter(frame))
            continue;
        if (frame.identifier <= 0x7FF) {
            CO::CanMessage m;
            m.cobId = quint16(frame.identifier);
            m.length = frame.length;
            std::memcpy(m.data, frame.data, 8);
            frameReceived(m);
        }
    }
}
