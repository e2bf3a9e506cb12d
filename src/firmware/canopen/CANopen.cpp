#include "CANopen.h"


#include <algorithm>
#include <cstring>

namespace CO {

namespace {
quint32 le32(const quint8* p)
{
    return quint32(p[0]) | quint32(p[1]) << 8 | quint32(p[2]) << 16 | quint32(p[3]) << 24;
}
int scsOf(const CanMessage& m) { return m.data[0] >> 5; }
} // namespace

// --- default callbacks

void ISessionCallback::onUploadData(int, int, const QByteArray&) {}
void ISessionCallback::onComplete(int, int) {}
void ISessionCallback::onAbort(int, int, quint32) {}
void ISessionCallback::onProgress(int, int, int) {}
void ICANopenCallback::onAbort(int, int, quint32) {}
void ICANopenCallback::onProgress(int, int, int) {}

// --- Session

Session::Session(int index_, int subindex_, ISessionCallback* owner_)
    : index(index_), subindex(subindex_), owner(owner_)
{
}

void Session::sendRequest(quint8 command, const quint8* payload, int n)
{
    quint8 b[8] = {command, quint8(index & 0xFF), quint8((index >> 8) & 0xFF), quint8(subindex & 0xFF), 0, 0, 0, 0};
    if (payload)
        std::memcpy(b + 4, payload, size_t(std::min(n, 4)));
    sendRaw(b);
}

bool Session::abortTransfer(quint32 code)
{
    const quint8 c[4] = {quint8(code), quint8(code >> 8), quint8(code >> 16), quint8(code >> 24)};
    sendRequest(0x80, c, 4);
    owner->onAbort(index, subindex, code);
    return true;
}

bool Session::serverAbort(const CanMessage& m)
{
    owner->onAbort(m.data[1] | m.data[2] << 8, m.data[3], le32(m.data + 4));
    return true;
}

bool Session::sameObject(const CanMessage& m) const
{
    return (m.data[1] | m.data[2] << 8) == index && m.data[3] == subindex;
}

void Session::progress(int done)
{
    if (total > 0)
        owner->onProgress(int(qint64(done) * 100 / total), done, total);
}

// --- upload

void UploadSession::start()
{
    sendRequest(0x40);
}

bool UploadSession::onResponse(const CanMessage& m)
{
    const quint8 b0 = m.data[0];
    switch (scsOf(m)) {
    case 2: // initiate upload response
        if (segmented_)
            return abortTransfer(kAbortCommand);
        // A response for another object is a late one of an earlier transfer.
        if (!sameObject(m))
            return false;
        if (b0 & 0x02) {
            // Expedited; without the size bit all four bytes are data.
            const int n = (b0 & 0x01) ? 4 - ((b0 >> 2) & 3) : 4;
            owner->onUploadData(m.data[1] | m.data[2] << 8, m.data[3],
                                QByteArray(reinterpret_cast<const char*>(m.data + 4), n));
            return true;
        }
        // Segmented, with the size when indicated.
        segmented_ = true;
        total = (b0 & 0x01) ? int(std::min<quint32>(le32(m.data + 4), 0x7FFFFFFF)) : 0;
        data.clear();
        if (total > 0)
            owner->onProgress(0, 0, total);
        toggle_ = 0;
        sendRequest(0x60);
        return false;
    case 0: { // upload segment response
        if (!segmented_)
            return abortTransfer(kAbortCommand);
        // A repeated segment would be appended twice.
        if (((b0 >> 4) & 1) != toggle_)
            return abortTransfer(kAbortToggle);
        const int n = 7 - ((b0 >> 1) & 7);
        data.append(reinterpret_cast<const char*>(m.data + 1), n);
        total = std::max(total, int(data.size()));
        progress(data.size());
        if (b0 & 0x01) {
            owner->onUploadData(index, subindex, data);
            return true;
        }
        toggle_ ^= 1;
        sendRequest(quint8(0x60 | toggle_ << 4));
        return false;
    }
    case 4:
        return serverAbort(m);
    default:
        // Not an upload response: the transfer cannot be trusted.
        return abortTransfer(kAbortCommand);
    }
}

// --- download

void DownloadSession::start(const QByteArray& bytes)
{
    data = bytes;
    position = 0;
    end = int(bytes.size());
    total = end;
    const quint32 size = quint32(end);
    const quint8 sizeBytes[4] = {quint8(size), quint8(size >> 8), quint8(size >> 16), quint8(size >> 24)};
    if (end <= 4) {
        mode_ = Mode::Expedited;
        expedited = 1;
        sendRequest(quint8(0x23 | ((4 - end) & 3) << 2), reinterpret_cast<const quint8*>(data.constData()), end);
        position = end;
    } else if (end <= 34) {
        mode_ = Mode::Segmented;
        sendRequest(0x21, sizeBytes, 4);
    } else {
        mode_ = Mode::Block;
        sendRequest(0xC2, sizeBytes, 4);
    }
}

void DownloadSession::sendSegment()
{
    const int n = std::min(7, end - position);
    quint8 b[8] = {};
    std::memcpy(b + 1, data.constData() + position, size_t(n));
    position += n;
    const int last = position == end ? 1 : 0;
    b[0] = quint8(toggle << 4 | (7 - n) << 1 | last);
    sendRaw(b);
}

bool DownloadSession::onResponse(const CanMessage& m)
{
    switch (scsOf(m)) {
    case 3: // initiate download response
        if (mode_ == Mode::Block || initiated_)
            return abortTransfer(kAbortCommand);
        if (!sameObject(m))
            return false;
        initiated_ = true;
        if (mode_ == Mode::Expedited) {
            owner->onComplete(index, subindex);
            return true;
        }
        toggle = 0;
        sendSegment();
        return false;
    case 1: // download segment response
        if (mode_ != Mode::Segmented || !initiated_)
            return abortTransfer(kAbortCommand);
        // The server echoes the toggle of the segment it took.
        if (((m.data[0] >> 4) & 1) != toggle)
            return abortTransfer(kAbortToggle);
        if (position == end) {
            owner->onComplete(index, subindex);
            return true;
        }
        toggle ^= 1;
        sendSegment();
        progress(total - (end - position));
        return false;
    case 5:
        if (mode_ != Mode::Block)
            return abortTransfer(kAbortCommand);
        return onBlockResponse(m);
    case 4:
        return serverAbort(m);
    default:
        return abortTransfer(kAbortCommand);
    }
}

void DownloadSession::fillSubBlock(int blockSize)
{
    auto sb = std::make_unique<SubBlock>();
    const int n = std::min(blockSize * 7, end - position);
    sb->data = data.mid(position, n);
    position += n;
    sb->length = n;
    sb->largestLength = std::max(n, subBlock ? subBlock->largestLength : 0);
    sb->offset = 0;
    sb->segmentCount = (n + 6) / 7;
    sb->nextSequence = 1;
    subBlock = std::move(sb);
}

void DownloadSession::sendSubBlockSegments()
{
    SubBlock& sb = *subBlock;
    for (int seq = sb.nextSequence; seq <= sb.segmentCount; ++seq) {
        const int n = std::min(7, sb.length - sb.offset);
        const bool last = position == end && sb.length - sb.offset <= 7;
        quint8 b[8] = {};
        b[0] = quint8((last ? 0x80 : 0) | (seq & 0x7F));
        std::memcpy(b + 1, sb.data.constData() + sb.offset, size_t(n));
        sb.offset += n;
        sendRaw(b);
    }
    sb.nextSequence = sb.segmentCount + 1;
}

bool DownloadSession::onBlockResponse(const CanMessage& m)
{
    switch (m.data[0] & 0x03) {
    case 0: { // initiate response
        if (initiated_)
            return abortTransfer(kAbortCommand);
        if (!sameObject(m))
            return false;
        initiated_ = true;
        const int blockSize = m.data[4];
        if (blockSize < 1 || blockSize > 127)
            return abortTransfer(kAbortBlockSize);
        fillSubBlock(blockSize);
        sendSubBlockSegments();
        return false;
    }
    case 2: { // sub-block acknowledgement
        const int ackSeq = m.data[1];
        const int newBlockSize = m.data[2];
        progress(total - (end - position));
        if (!subBlock)
            return abortTransfer(kAbortNoSubBlock);
        if (endSent_)
            return abortTransfer(kAbortCommand);
        SubBlock& sb = *subBlock;
        if (ackSeq > sb.segmentCount)
            return abortTransfer(kAbortSequence);
        if (ackSeq == sb.segmentCount) {
            if (position == end) {
                const int rest = sb.length % 7;
                const int n = rest == 0 ? 7 : rest;
                quint8 b[8] = {};
                b[0] = quint8(0xC1 | ((7 - n) & 7) << 2);
                sendRaw(b);
                data.clear();
                position = end = 0;
                endSent_ = true;
                return false;
            }
            // The server asks for no more data while some is left: the
            // image would end short.
            if (newBlockSize < 1 || newBlockSize > 127)
                return abortTransfer(kAbortBlockSize);
            fillSubBlock(newBlockSize);
            sendSubBlockSegments();
            return false;
        }
        // Segments after ackSeq were lost: send them again.
        sb.nextSequence = ackSeq + 1;
        sb.offset = ackSeq * 7;
        sendSubBlockSegments();
        return false;
    }
    case 1: // end response
        if (!endSent_)
            return abortTransfer(kAbortCommand);
        owner->onComplete(index, subindex);
        return true;
    default:
        return abortTransfer(kAbortCommand);
    }
}

// --- CANopen

CANopen::CANopen(void* link, int nodeId, ICANopenCallback* callback)
    : link_(link), received_(0), nodeId_(nodeId), callback_(callback)
{
}

CANopen::~CANopen() = default;

void CANopen::sendSdoRequest(const quint8 request[8])
{
    CanMessage m;
    m.cobId = quint16(0x600 + nodeId_);
    m.length = 8;
    std::memcpy(m.data, request, 8);
    sendCanMessage(m);
}

void CANopen::onUploadData(int, int, const QByteArray& data) { uploaded_ = data; }
void CANopen::onComplete(int, int) {}

void CANopen::onAbort(int index, int subindex, quint32 code)
{
    aborted_ = true;
    if (callback_)
        callback_->onAbort(index, subindex, code);
}

void CANopen::onProgress(int percent, int done, int total)
{
    if (callback_)
        callback_->onProgress(percent, done, total);
}

void CANopen::frameReceived(const CanMessage& message)
{
    {
        QMutexLocker lock(&queueMutex_);
        if (int(queue_.size()) >= kQueueLimit)
            queue_.pop_front();
        queue_.push_back(message);
    }
    received_.release();
}

void CANopen::cancel()
{
    cancelled_ = true;
    received_.release();
}

void CANopen::clearQueue()
{
    QMutexLocker lock(&queueMutex_);
    queue_.clear();
}

bool CANopen::waitForResponse(int timeoutMs)
{
    for (;;) {
        if (cancelled_)
            return false;
        // The time-out starts again with every message taken.
        if (timeoutMs > 0) {
            if (!received_.tryAcquire(1, timeoutMs))
                return false;
        } else {
            received_.acquire();
        }
        if (cancelled_)
            return false;
        CanMessage m;
        {
            QMutexLocker lock(&queueMutex_);
            if (queue_.empty())
                continue;
            m = queue_.front();
            queue_.pop_front();
        }
        if ((m.cobId & 0xFF80) == 0x580 && current_ && current_->onResponse(m))
            return true;
    }
}

int CANopen::finish(bool answered)
{
    current_ = nullptr;
    if (!answered)
        return TimedOut;
    return aborted_ ? Aborted : Done;
}

QByteArray CANopen::upload(int index, int subindex, int timeoutMs, int* status)
{
    aborted_ = false;
    uploaded_.clear();
    // Responses left from an earlier transfer must not answer this one.
    clearQueue();
    UploadSession session(index, subindex, this);
    current_ = &session;
    session.start();
    const int result = finish(waitForResponse(timeoutMs));
    if (status)
        *status = result;
    return uploaded_;
}

int CANopen::download(int index, int subindex, const QByteArray& data, int timeoutMs)
{
    aborted_ = false;
    clearQueue();
    DownloadSession session(index, subindex, this);
    current_ = &session;
    session.start(data);
    return finish(waitForResponse(timeoutMs));
}

} // namespace CO
