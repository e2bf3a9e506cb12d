#include "SdoServerSim.h"

#include "ControlUnitSim.h"

#include <QStringList>

#include <chrono>
#include <cstring>

namespace {
quint32 le32(const quint8* p)
{
    return quint32(p[0]) | quint32(p[1]) << 8 | quint32(p[2]) << 16 | quint32(p[3]) << 24;
}

constexpr quint32 kAbortToggle = 0x05030000;
constexpr quint32 kAbortCommand = 0x05040001;
constexpr quint32 kAbortCrc = 0x05040004;
constexpr quint32 kAbortNoObject = 0x06020000;
constexpr quint32 kAbortLength = 0x06070010;
} // namespace

// --- SdoServer

SdoServer::SdoServer(int nodeId) : nodeId_(nodeId) {}

SdoServer::Frame SdoServer::response(std::initializer_list<quint8> bytes) const
{
    Frame f;
    f.id = quint32(0x580 + nodeId_);
    f.length = 8;
    int i = 0;
    for (quint8 b : bytes)
        f.data[i++] = b;
    return f;
}

SdoServer::Frame SdoServer::abortFrame(int index, int subindex, quint32 code) const
{
    return response({0x80, quint8(index), quint8(index >> 8), quint8(subindex), quint8(code), quint8(code >> 8),
                     quint8(code >> 16), quint8(code >> 24)});
}

bool SdoServer::abortFor(int index, int subindex, bool atEnd, quint32* code) const
{
    for (const AbortRule& a : aborts_)
        if (a.index == index && a.subindex == subindex && a.atEnd == atEnd) {
            *code = a.code;
            return true;
        }
    return false;
}

bool SdoServer::store(int index, int subindex, const QByteArray& value, quint32* code)
{
    if (index == 0x1F51 && subindex == 1) {
        const int command = value.isEmpty() ? -1 : quint8(value.at(0));
        if (command == 3) {
            ++programClears_;
            programCleared_ = true;
            objects_.remove({0x1F50, 1});
        } else if (command == 1) {
            ++programStarts_;
        } else {
            *code = 0x08000022; // not in this state
            return false;
        }
    }
    if (index == 0x1F50 && subindex == 1) {
        if (requireClear_ && !programCleared_)
            flashError_ = flashError_ ? flashError_ : 4; // flash not cleared before write
        programCleared_ = false;
    }
    objects_[{index, subindex}] = value;
    return true;
}

QByteArray SdoServer::read(int index, int subindex, bool* ok) const
{
    *ok = true;
    if (objects_.contains({index, subindex}))
        return objects_.value({index, subindex});
    if (index == 0x1F57 && subindex == 1) {
        const quint32 v = quint32(flashError_) << 1;
        const char b[4] = {char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
        return QByteArray(b, 4);
    }
    *ok = false;
    return QByteArray();
}

QList<SdoServer::Frame> SdoServer::handle(const Frame& request)
{
    std::lock_guard<std::mutex> lock(mutex_);
    requests_.append(request);
    changed_.notify_all();
    if (silent_ || request.id != quint32(0x600 + nodeId_))
        return {};
    const int startsBefore = programStarts_;
    QList<Frame> out = handleLocked(request);
    // The device restarts into its program before it answers.
    if (startUnanswered_ && programStarts_ > startsBefore)
        return {};
    QList<Frame> sent;
    for (const Frame& f : out) {
        if (dropNext_ > 0) {
            --dropNext_;
            continue;
        }
        sent.append(f);
        if (duplicate_ && (f.data[0] >> 5) <= 1)
            sent.append(f);
    }
    return sent;
}

QList<SdoServer::Frame> SdoServer::handleLocked(const Frame& r)
{
    const quint8 b0 = r.data[0];
    const int ccs = b0 >> 5;
    quint32 code = 0;

    // In a sub-block every frame is a segment; sequence 0 does not exist, so
    // 0x80 there is the client's abort.
    if (ccs == 4 && (state_ != State::BlockDownload || b0 == 0x80)) {
        state_ = State::Idle;
        return {};
    }

    if (state_ == State::BlockDownload) {
        const int seq = b0 & 0x7F;
        const bool last = b0 & 0x80;
        if (seq == expectedSeq_) {
            buffer_.append(reinterpret_cast<const char*>(r.data + 1), 7);
            ++expectedSeq_;
        }
        if (!last && seq < blockSize_)
            return {};
        int ackSeq = expectedSeq_ - 1;
        bool complete = last && seq == ackSeq;
        ++subBlocks_;
        if (subBlocks_ == loseAtSubBlock_ && ackSeq > loseAckSeq_) {
            buffer_.chop((ackSeq - loseAckSeq_) * 7);
            ackSeq = loseAckSeq_;
            complete = false;
            loseAtSubBlock_ = 0;
        }
        if (complete) {
            state_ = State::BlockEnd;
        } else if (ackSeq == blockSize_) {
            expectedSeq_ = 1;
        } else {
            expectedSeq_ = ackSeq + 1;
        }
        return {response({0xA2, quint8(ackSeq), quint8(blockSize_)})};
    }

    if (state_ == State::BlockEnd) {
        state_ = State::Idle;
        if (ccs != 6 || (b0 & 0x03) != 1)
            return {abortFrame(index_, subindex_, kAbortCommand)};
        const int unused = (b0 >> 2) & 7;
        buffer_.chop(unused);
        if (crc_) {
            const quint16 crc = SdoSerialSim::crc16(reinterpret_cast<const quint8*>(buffer_.constData()),
                                                    int(buffer_.size()));
            if (crc != quint16(r.data[1] | r.data[2] << 8))
                return {abortFrame(index_, subindex_, kAbortCrc)};
        }
        if (size_ && quint32(buffer_.size()) != size_)
            return {abortFrame(index_, subindex_, kAbortLength)};
        if (abortFor(index_, subindex_, true, &code) || !store(index_, subindex_, buffer_, &code))
            return {abortFrame(index_, subindex_, code)};
        return {response({0xA1})};
    }

    const int index = r.data[1] | r.data[2] << 8;
    const int subindex = r.data[3];
    switch (ccs) {
    case 1: { // initiate download
        state_ = State::Idle;
        if (abortFor(index, subindex, false, &code))
            return {abortFrame(index, subindex, code)};
        if (b0 & 0x02) {
            const int n = (b0 & 0x01) ? 4 - ((b0 >> 2) & 3) : 4;
            if (abortFor(index, subindex, true, &code)
                || !store(index, subindex, QByteArray(reinterpret_cast<const char*>(r.data + 4), n), &code))
                return {abortFrame(index, subindex, code)};
        } else {
            state_ = State::Download;
            index_ = index;
            subindex_ = subindex;
            size_ = (b0 & 0x01) ? le32(r.data + 4) : 0;
            buffer_.clear();
            toggle_ = 0;
        }
        return {response({0x60, quint8(index), quint8(index >> 8), quint8(subindex)})};
    }
    case 0: { // download segment
        if (state_ != State::Download)
            return {abortFrame(index_, subindex_, kAbortCommand)};
        const int t = (b0 >> 4) & 1;
        if (t != toggle_) {
            state_ = State::Idle;
            return {abortFrame(index_, subindex_, kAbortToggle)};
        }
        buffer_.append(reinterpret_cast<const char*>(r.data + 1), 7 - ((b0 >> 1) & 7));
        toggle_ ^= 1;
        if (b0 & 0x01) {
            state_ = State::Idle;
            if (size_ && quint32(buffer_.size()) != size_)
                return {abortFrame(index_, subindex_, kAbortLength)};
            if (abortFor(index_, subindex_, true, &code) || !store(index_, subindex_, buffer_, &code))
                return {abortFrame(index_, subindex_, code)};
        }
        return {response({quint8(0x20 | t << 4)})};
    }
    case 6: { // block download
        if ((b0 & 0x01) != 0)
            return {abortFrame(index, subindex, kAbortCommand)};
        if (abortFor(index, subindex, false, &code))
            return {abortFrame(index, subindex, code)};
        state_ = State::BlockDownload;
        index_ = index;
        subindex_ = subindex;
        crc_ = (b0 >> 2) & 1;
        size_ = (b0 & 0x02) ? le32(r.data + 4) : 0;
        buffer_.clear();
        expectedSeq_ = 1;
        subBlocks_ = 0;
        return {response({0xA4, quint8(index), quint8(index >> 8), quint8(subindex), quint8(blockSize_)})};
    }
    case 2: { // initiate upload
        state_ = State::Idle;
        if (abortFor(index, subindex, false, &code))
            return {abortFrame(index, subindex, code)};
        bool ok = false;
        const QByteArray value = read(index, subindex, &ok);
        if (!ok)
            return {abortFrame(index, subindex, kAbortNoObject)};
        if (!value.isEmpty() && value.size() <= expeditedLimit_ && value.size() <= 4) {
            const int n = int(value.size());
            Frame f = response({quint8(0x43 | ((4 - n) & 3) << 2), quint8(index), quint8(index >> 8),
                                quint8(subindex)});
            if (uploadWithoutSize_)
                f.data[0] = 0x42;
            std::memcpy(f.data + 4, value.constData(), size_t(n));
            return {f};
        }
        state_ = State::Upload;
        index_ = index;
        subindex_ = subindex;
        buffer_ = value;
        uploadPos_ = 0;
        toggle_ = 0;
        const quint32 s = uploadWithoutSize_ ? 0 : quint32(value.size());
        return {response({quint8(uploadWithoutSize_ ? 0x40 : 0x41), quint8(index), quint8(index >> 8),
                          quint8(subindex), quint8(s), quint8(s >> 8), quint8(s >> 16), quint8(s >> 24)})};
    }
    case 3: { // upload segment
        if (state_ != State::Upload)
            return {abortFrame(index_, subindex_, kAbortCommand)};
        const int t = (b0 >> 4) & 1;
        if (t != toggle_) {
            state_ = State::Idle;
            return {abortFrame(index_, subindex_, kAbortToggle)};
        }
        const int n = std::min(7, int(buffer_.size()) - uploadPos_);
        const bool last = uploadPos_ + n >= buffer_.size();
        Frame f = response({quint8(t << 4 | (7 - n) << 1 | (last ? 1 : 0))});
        std::memcpy(f.data + 1, buffer_.constData() + uploadPos_, size_t(n));
        uploadPos_ += n;
        toggle_ ^= 1;
        if (last)
            state_ = State::Idle;
        return {f};
    }
    default:
        state_ = State::Idle;
        return {abortFrame(index, subindex, kAbortCommand)};
    }
}

void SdoServer::setObject(int index, int subindex, const QByteArray& value)
{
    std::lock_guard<std::mutex> lock(mutex_);
    objects_[{index, subindex}] = value;
}

QByteArray SdoServer::object(int index, int subindex) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return objects_.value({index, subindex});
}

bool SdoServer::hasObject(int index, int subindex) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return objects_.contains({index, subindex});
}

QByteArray SdoServer::programData() const { return object(0x1F50, 1); }

int SdoServer::programClears() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return programClears_;
}

int SdoServer::programStarts() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return programStarts_;
}

void SdoServer::setStartUnanswered(bool on)
{
    std::lock_guard<std::mutex> lock(mutex_);
    startUnanswered_ = on;
}

void SdoServer::setFlashErrorCode(int code)
{
    std::lock_guard<std::mutex> lock(mutex_);
    flashError_ = code;
}

void SdoServer::setRequireClear(bool on)
{
    std::lock_guard<std::mutex> lock(mutex_);
    requireClear_ = on;
}

void SdoServer::setBlockSize(int n)
{
    std::lock_guard<std::mutex> lock(mutex_);
    blockSize_ = n;
}

void SdoServer::loseSegmentsOnce(int subBlock, int ackSeq)
{
    std::lock_guard<std::mutex> lock(mutex_);
    loseAtSubBlock_ = subBlock;
    loseAckSeq_ = ackSeq;
}

void SdoServer::abortOn(int index, int subindex, quint32 code, bool atEnd)
{
    std::lock_guard<std::mutex> lock(mutex_);
    aborts_.append({index, subindex, code, atEnd});
}

void SdoServer::clearAborts()
{
    std::lock_guard<std::mutex> lock(mutex_);
    aborts_.clear();
}

void SdoServer::setSilent(bool on)
{
    std::lock_guard<std::mutex> lock(mutex_);
    silent_ = on;
}

void SdoServer::dropNextResponses(int n)
{
    std::lock_guard<std::mutex> lock(mutex_);
    dropNext_ = n;
}

void SdoServer::setExpeditedUploadLimit(int n)
{
    std::lock_guard<std::mutex> lock(mutex_);
    expeditedLimit_ = n;
}

void SdoServer::setUploadWithoutSize(bool on)
{
    std::lock_guard<std::mutex> lock(mutex_);
    uploadWithoutSize_ = on;
}

void SdoServer::setDuplicateSegmentResponses(bool on)
{
    std::lock_guard<std::mutex> lock(mutex_);
    duplicate_ = on;
}

QList<SdoServer::Frame> SdoServer::requests() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
}

void SdoServer::clearRequests()
{
    std::lock_guard<std::mutex> lock(mutex_);
    requests_.clear();
}

bool SdoServer::waitForRequests(int count, int timeoutMs) const
{
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return requests_.size() >= count; });
}

// --- SdoSerialSim

SdoSerialSim::SdoSerialSim(SdoServer& server) : server_(server) {}

SdoSerialSim::~SdoSerialSim() { stop(); }

quint16 SdoSerialSim::crc16(const quint8* bytes, int count)
{
    // Bit by bit, as the device computes it.
    quint16 crc = 0;
    for (int i = 0; i < count; ++i) {
        crc ^= quint16(bytes[i] << 8);
        for (int k = 0; k < 8; ++k)
            crc = (crc & 0x8000) ? quint16((crc << 1) ^ 0x1021) : quint16(crc << 1);
    }
    return crc;
}

QByteArray SdoSerialSim::record(const SdoServer::Frame& f, bool corruptCrc)
{
    quint8 r[14] = {};
    r[0] = 0x02;
    r[1] = quint8(f.id);
    r[2] = quint8((f.length & 0x0F) << 3 | ((f.id >> 8) & 7));
    std::memcpy(r + 3, f.data, f.length);
    quint16 crc = crc16(r + 1, 10);
    if (corruptCrc)
        crc ^= 0x0100;
    r[11] = quint8(crc);
    r[12] = quint8(crc >> 8);
    r[13] = 0x03;
    return QByteArray(reinterpret_cast<const char*>(r), 14);
}

bool SdoSerialSim::start(const QString& linkPath)
{
    if (!pty_.open(linkPath))
        return false;
    running_ = true;
    thread_ = std::thread([this] { loop(); });
    return true;
}

void SdoSerialSim::stop()
{
    running_ = false;
    if (thread_.joinable())
        thread_.join();
}

void SdoSerialSim::corruptNextCrcs(int n) { corruptNext_ = n; }
void SdoSerialSim::garbageBeforeNext(int n) { garbageNext_ = n; }

void SdoSerialSim::loop()
{
    while (running_) {
        const QByteArray bytes = pty_.read(20);
        for (char c : bytes) {
            window_.append(c);
            if (window_.size() > 14)
                window_.remove(0, 1);
            if (window_.size() < 14)
                continue;
            const auto* r = reinterpret_cast<const quint8*>(window_.constData());
            if (r[0] != 0x02 || r[13] != 0x03)
                continue;
            if (crc16(r + 1, 10) != quint16(r[11] | r[12] << 8)) {
                ++badRecords_;
                continue;
            }
            SdoServer::Frame f;
            f.id = quint32(r[1] | (r[2] & 7) << 8);
            f.length = quint8((r[2] >> 3) & 0x0F);
            std::memcpy(f.data, r + 3, 8);
            window_.clear();
            for (const SdoServer::Frame& out : server_.handle(f)) {
                QByteArray wire;
                if (garbageNext_ > 0) {
                    --garbageNext_;
                    wire += QByteArray("\x02\x81\x45\x03 junk", 9);
                }
                bool corrupt = false;
                if (corruptNext_ > 0) {
                    --corruptNext_;
                    corrupt = true;
                }
                wire += record(out, corrupt);
                pty_.write(wire);
            }
        }
    }
}

// --- SdoBusSim

namespace {
QString hexBytes(const quint8* data, int n)
{
    QString t;
    for (int i = 0; i < n; ++i)
        t += QStringLiteral("%1").arg(data[i], 2, 16, QLatin1Char('0')).toUpper();
    return t;
}

QString cn1(quint32 id, bool extended, const quint8* data, int n)
{
    return QStringLiteral("CN1,%1,%2,0,%3,%4")
        .arg(QStringLiteral("%1").arg(id, 8, 16, QLatin1Char('0')).toUpper())
        .arg(extended ? 1 : 0)
        .arg(n)
        .arg(hexBytes(data, n));
}
} // namespace

SdoBusSim::SdoBusSim(ControlUnitSim& cu, SdoServer& server, int deviceType, quint32 serial)
    : cu_(cu), server_(server), type_(deviceType), serial_(serial)
{
    cu_.setHandler(QStringLiteral("CN1"), [this](ControlUnitSim& sim, const ControlUnitSim::Sentence& s) {
        // The unit puts frames on its bus only in configuration mode.
        if (!sim.configMode() || s.fields.size() < 5)
            return;
        bool ok = false;
        const quint32 id = s.fields.at(0).toUInt(&ok, 16);
        const int length = s.fields.at(3).toInt();
        const QString hex = s.fields.at(4);
        if (!ok || length < 0 || length > 8 || hex.size() != 2 * length)
            return;
        SdoServer::Frame f;
        f.id = id;
        f.length = quint8(length);
        for (int i = 0; i < length; ++i)
            f.data[i] = quint8(hex.mid(2 * i, 2).toUInt(nullptr, 16));

        if (id == quint32(0x600 + server_.nodeId())) {
            if (!inBootloader())
                return;
            for (const SdoServer::Frame& out : server_.handle(f))
                sim.reply(cn1(out.id, false, out.data, out.length));
            return;
        }
        if (id != 0x1FFFFEE5 || length < 2 || f.data[1] != quint8(0xFF - f.data[0]))
            return;
        const int command = f.data[0];
        if (length == 8) {
            const int type = f.data[2] | f.data[3] << 8;
            const quint32 serial = quint32(f.data[4] | f.data[5] << 8 | f.data[6] << 16) | quint32(f.data[7]) << 24;
            if (type != type_ || serial != serial_)
                return;
        }
        {
            std::lock_guard<std::mutex> lock(mutex_);
            routeCommands_.append(command);
        }
        const quint8 reply01[4] = {0x01, 0xFE, 0x00, 0x00};
        const quint8 reply02[4] = {0x02, 0xFD, 0x00, 0x00};
        switch (command) {
        case 0x01:
            sim.reply(cn1(0x1FFFFEE6, true, reply01, 4));
            break;
        case 0x0C: {
            std::lock_guard<std::mutex> lock(mutex_);
            if (!refused_)
                bootloader_ = true;
            break;
        }
        case 0x09: {
            const quint8 boot[6] = {0x09, 0xF6, 0x00, 0xFF, 0x00, 0xFF};
            const quint8 app[6] = {0x09, 0xF6, 0x15, 0x00, 0x00, 0x00};
            sim.reply(cn1(0x1FFFFEE6, true, inBootloader() ? boot : app, 6));
            break;
        }
        case 0x02:
            sim.reply(cn1(0x1FFFFEE6, true, reply02, 4));
            break;
        default:
            break;
        }
    });
}

SdoBusSim::~SdoBusSim() { cu_.setHandler(QStringLiteral("CN1"), nullptr); }

void SdoBusSim::setInBootloader(bool on)
{
    std::lock_guard<std::mutex> lock(mutex_);
    bootloader_ = on;
}

void SdoBusSim::setBootloaderRefused(bool on)
{
    std::lock_guard<std::mutex> lock(mutex_);
    refused_ = on;
}

bool SdoBusSim::inBootloader() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return bootloader_;
}

QList<int> SdoBusSim::routeCommands() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return routeCommands_;
}

void SdoBusSim::injectFrame(quint32 id, bool extended, const QByteArray& data)
{
    cu_.reply(cn1(id, extended, reinterpret_cast<const quint8*>(data.constData()), int(data.size())));
}

// --- the "BMS3" bootloader on the control-unit emulator

SdoBootHook::SdoBootHook(ControlUnitSim& cu, SdoServer& server) : cu_(cu), server_(server)
{
    cu_.setBootloaderByteHook([this](ControlUnitSim& sim, char c) { return takeByte(sim, c); });
}

SdoBootHook::~SdoBootHook()
{
    cu_.setBootloaderByteHook(nullptr);
}

int SdoBootHook::restarts() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return restarts_;
}

bool SdoBootHook::takeByte(ControlUnitSim& cu, char c)
{
    QByteArray complete;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (record_.isEmpty() && c != 0x02)
            return false;
        record_.append(c);
        if (record_.size() < 14)
            return true;
        complete = record_;
        record_.clear();
    }
    const auto* r = reinterpret_cast<const quint8*>(complete.constData());
    if (r[13] != 0x03 || SdoSerialSim::crc16(r + 1, 10) != quint16(r[11] | r[12] << 8))
        return true;
    SdoServer::Frame f;
    f.id = quint32(r[1] | (r[2] & 7) << 8);
    f.length = quint8((r[2] >> 3) & 0x0F);
    std::memcpy(f.data, r + 3, 8);
    const int startsBefore = server_.programStarts();
    const QList<SdoServer::Frame> answers = server_.handle(f);
    const bool started = server_.programStarts() > startsBefore;
    for (const SdoServer::Frame& out : answers)
        cu.sendRaw(SdoSerialSim::record(out));
    if (started) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            ++restarts_;
        }
        cu.setMode(ControlUnitSim::Mode::Rebooting);
    }
    return true;
}
