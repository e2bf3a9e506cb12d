#include "DisplayUnitSim.h"

#include <chrono>

namespace {
constexpr quint32 kFlashBase = 0x08000000;
const quint32 kSectorStart[] = {0x08000000, 0x08004000, 0x08008000, 0x0800C000,
                                0x08010000, 0x08020000, 0x08040000, 0x08060000, 0x08080000};

quint32 le32(const QByteArray& b, int at)
{
    quint32 v = 0;
    for (int i = 0; i < 4; ++i)
        if (at + i < b.size())
            v |= quint32(quint8(b.at(at + i))) << (8 * i);
    return v;
}

QByteArray le32Bytes(quint32 v)
{
    QByteArray b;
    for (int i = 0; i < 4; ++i)
        b.append(char((v >> (8 * i)) & 0xFF));
    return b;
}
} // namespace

DisplayUnitSim::DisplayUnitSim() : DisplayUnitSim(Options()) {}

DisplayUnitSim::DisplayUnitSim(const Options& options) : opt_(options)
{
    serial_ = opt_.serial;
    version_ = opt_.version;
    params_ = opt_.params;
    boot_ = opt_.startInBootloader;
    flash_ = QByteArray(int(kFlashEnd - kFlashBase), char(0xA5));
    if (boot_) // no application: its sectors are blank
        flash_.replace(int(kAppStart - kFlashBase), int(kFlashEnd - kAppStart), QByteArray(int(kFlashEnd - kAppStart), char(0xFF)));
}

DisplayUnitSim::~DisplayUnitSim()
{
    stop();
}

qint64 DisplayUnitSim::nowMs() const
{
    const qint64 ns = std::chrono::duration_cast<std::chrono::nanoseconds>(
                          std::chrono::steady_clock::now().time_since_epoch()).count();
    return (ns - startNs_) / 1000000;
}

bool DisplayUnitSim::start(const QString& linkPath)
{
    if (running_)
        return true;
    if (!pty_.open(linkPath))
        return false;
    present_ = true;
    startNs_ = std::chrono::duration_cast<std::chrono::nanoseconds>(
                   std::chrono::steady_clock::now().time_since_epoch()).count();
    running_ = true;
    thread_ = std::thread([this] { loop(); });
    return true;
}

void DisplayUnitSim::stop()
{
    if (!running_)
        return;
    running_ = false;
    thread_.join();
}

QString DisplayUnitSim::portPath() const
{
    std::lock_guard<std::mutex> lock(ptyMutex_);
    return pty_.portPath();
}

quint32 DisplayUnitSim::unitCrc(const QByteArray& block)
{
    // CRC-32/MPEG-2, fed each 32-bit word's bytes from the most significant.
    quint32 crc = 0xFFFFFFFFu;
    for (int w = 0; w + 4 <= block.size(); w += 4) {
        for (int i = 3; i >= 0; --i) {
            crc ^= quint32(quint8(block.at(w + i))) << 24;
            for (int bit = 0; bit < 8; ++bit)
                crc = (crc & 0x80000000u) ? (crc << 1) ^ 0x04C11DB7u : (crc << 1);
        }
    }
    return crc;
}

QByteArray DisplayUnitSim::frame(quint8 command, const QByteArray& payload, bool corrupt)
{
    QByteArray block;
    block.append(char(command));
    block.append(payload);
    while (block.size() % 4 != 0)
        block.append('\0');
    quint32 crc = unitCrc(block);
    if (corrupt)
        crc ^= 0x00010000u;
    QByteArray out;
    out.append(char(0x55));
    out.append(char(block.size() + 4));
    out.append(block);
    for (int shift = 24; shift >= 0; shift -= 8)
        out.append(char((crc >> shift) & 0xFF));
    out.append(char(0xC3));
    return out;
}

void DisplayUnitSim::loop()
{
    while (running_) {
        QByteArray bytes;
        bool open = false;
        {
            std::lock_guard<std::mutex> lock(ptyMutex_);
            open = pty_.isOpen();
            if (open)
                bytes = pty_.read(20);
        }
        if (!open)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        if (!bytes.isEmpty())
            handleBytes(bytes);
    }
}

void DisplayUnitSim::handleBytes(const QByteArray& bytes)
{
    std::unique_lock<std::mutex> lock(mutex_);
    rx_.append(bytes);
    for (;;) {
        const int start = rx_.indexOf(char(0x55));
        if (start < 0) {
            rx_.clear();
            return;
        }
        rx_.remove(0, start);
        if (rx_.size() < 2)
            return;
        const int len = quint8(rx_.at(1));
        if (len < 8 || len % 4 != 0) {
            rx_.remove(0, 1);
            continue;
        }
        if (rx_.size() < len + 3)
            return;
        if (quint8(rx_.at(len + 2)) != 0xC3) {
            rx_.remove(0, 1);
            continue;
        }
        const QByteArray block = rx_.mid(2, len - 4);
        const QByteArray crcBytes = rx_.mid(len - 2, 4);
        rx_.remove(0, len + 3);
        quint32 crc = 0;
        for (int i = 0; i < 4; ++i)
            crc = crc << 8 | quint8(crcBytes.at(i));
        Received r;
        r.ms = nowMs();
        r.command = quint8(block.at(0));
        r.payload = block.mid(1);
        r.crcOk = unitCrc(block) == crc;
        record_.append(r);
        changed_.notify_all();
        if (silent_)
            continue;
        if (!r.crcOk) {
            replyLocked(0x87, QByteArray());
            continue;
        }
        handlePacket(r.command, r.payload);
    }
}

int DisplayUnitSim::sectorOf(quint32 address) const
{
    for (int i = 0; i < 8; ++i)
        if (address >= kSectorStart[i] && address < kSectorStart[i + 1])
            return i;
    return -1;
}

void DisplayUnitSim::statusReply(quint8 command, bool ok)
{
    if (plainStatus_ && ok)
        replyLocked(command, QByteArray(1, '\0'));
    else
        replyLocked(command, ok ? QByteArray("0") : QByteArray("1"));
}

void DisplayUnitSim::handlePacket(quint8 command, const QByteArray& payload)
{
    switch (command) {
    case 0x86:
        replyLocked(0x86, QByteArray());
        break;
    case 0x84: {
        QByteArray p(1, char(4));
        p.append(le32Bytes(serial_));
        replyLocked(0x84, p);
        break;
    }
    case 0x85: {
        QByteArray p(1, char(4));
        p.append(le32Bytes(boot_ ? 0 : version_));
        replyLocked(0x85, p);
        break;
    }
    case 0xA0: {
        if (boot_)
            break;
        const quint32 write = le32(payload, 0);
        const int id = int(le32(payload, 4));
        if (write == 1) {
            const quint32 value = le32(payload, 8);
            if (id == 0) {
                if (serial_ == 0xFFFFFFFFu) // blank: programmed once only
                    serial_ = value;
            } else {
                params_[id] = value;
            }
        }
        const quint32 value = id == 0 ? serial_ : params_.value(id);
        QByteArray p = le32Bytes(quint32(id));
        p.append(char(4));
        p.append(le32Bytes(value));
        replyLocked(0xA0, p);
        break;
    }
    case 0x81:
        boot_ = true;
        replyLocked(0x81, QByteArray());
        break;
    case 0x83: {
        if (!boot_) {
            replyLocked(0x83, QByteArray());
            break;
        }
        const bool appValid = le32(flash_, int(kAppStart - kFlashBase)) != 0xFFFFFFFFu;
        if (stuck_ || !appValid) {
            replyLocked(0x81, QByteArray());
        } else {
            boot_ = false;
            replyLocked(0x83, QByteArray());
        }
        break;
    }
    case 0x80: {
        const quint32 address = le32(payload, 0);
        const int sector = sectorOf(address);
        if (!boot_ || sector < 3 || failErase_) {
            failErase_ = false;
            statusReply(0x80, false);
            break;
        }
        erased_.append(address);
        const int from = int(kSectorStart[sector] - kFlashBase);
        const int size = int(kSectorStart[sector + 1] - kSectorStart[sector]);
        flash_.replace(from, size, QByteArray(size, char(0xFF)));
        statusReply(0x80, true);
        break;
    }
    case 0x82: {
        const int index = chunkWrites_;
        if (repeatAt_ == index) {
            repeatAt_ = -1;
            replyLocked(0x87, QByteArray());
            break;
        }
        ++chunkWrites_;
        const quint32 address = le32(payload, 0);
        const int length = int(le32(payload, 4));
        const QByteArray data = payload.mid(8);
        if (data.size() < length)
            ++shortWrites_;
        if (!boot_ || failWrite_ || address < kAppStart || address + quint32(length) > kFlashEnd) {
            failWrite_ = false;
            statusReply(0x82, false);
            break;
        }
        const int from = int(address - kFlashBase);
        const QByteArray target = flash_.mid(from, length);
        if (target.count(char(0xFF)) != length)
            ++writesOverUnerased_;
        flash_.replace(from, length, data.left(length).leftJustified(length, char(0xFF)));
        statusReply(0x82, true);
        break;
    }
    default:
        break;
    }
}

void DisplayUnitSim::replyLocked(quint8 command, const QByteArray& payload)
{
    bool corrupt = false;
    if (corruptNext_ > 0) {
        --corruptNext_;
        corrupt = true;
    }
    const QByteArray bytes = frame(command, payload, corrupt);
    if (delayMs_ > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(delayMs_));
    std::lock_guard<std::mutex> lock(ptyMutex_);
    pty_.write(bytes);
}

QList<DisplayUnitSim::Received> DisplayUnitSim::received() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return record_;
}

QList<quint8> DisplayUnitSim::receivedCommands() const
{
    QList<quint8> out;
    for (const Received& r : received())
        out.append(r.command);
    return out;
}

void DisplayUnitSim::clearReceived()
{
    std::lock_guard<std::mutex> lock(mutex_);
    record_.clear();
}

bool DisplayUnitSim::waitUntil(const std::function<bool(const QList<Received>&)>& pred, int timeoutMs) const
{
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return pred(record_); });
}

bool DisplayUnitSim::waitForCommand(quint8 command, int timeoutMs, int count) const
{
    return waitUntil([command, count](const QList<Received>& rec) {
        int n = 0;
        for (const Received& r : rec)
            if (r.command == command && ++n >= count)
                return true;
        return false;
    }, timeoutMs);
}

bool DisplayUnitSim::inBootloader() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return boot_;
}

quint32 DisplayUnitSim::serial() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return serial_;
}

quint32 DisplayUnitSim::param(int id) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return params_.value(id);
}

void DisplayUnitSim::setParam(int id, quint32 value)
{
    std::lock_guard<std::mutex> lock(mutex_);
    params_[id] = value;
}

QByteArray DisplayUnitSim::flash(int length) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return flash_.mid(int(kAppStart - kFlashBase), length);
}

QList<quint32> DisplayUnitSim::erasedSectors() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return erased_;
}

int DisplayUnitSim::writesOverUnerased() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return writesOverUnerased_;
}

int DisplayUnitSim::shortWrites() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return shortWrites_;
}

int DisplayUnitSim::chunkWrites() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return chunkWrites_;
}

void DisplayUnitSim::sendPacket(quint8 command, const QByteArray& payload)
{
    std::lock_guard<std::mutex> lock(mutex_);
    replyLocked(command, payload);
}

void DisplayUnitSim::sendRaw(const QByteArray& bytes)
{
    std::lock_guard<std::mutex> lock(mutex_);
    std::lock_guard<std::mutex> ptyLock(ptyMutex_);
    pty_.write(bytes);
}

void DisplayUnitSim::setSilent(bool on)
{
    std::lock_guard<std::mutex> lock(mutex_);
    silent_ = on;
}

void DisplayUnitSim::corruptNextReplies(int n)
{
    std::lock_guard<std::mutex> lock(mutex_);
    corruptNext_ = n;
}

void DisplayUnitSim::failNextErase()
{
    std::lock_guard<std::mutex> lock(mutex_);
    failErase_ = true;
}

void DisplayUnitSim::failNextWrite()
{
    std::lock_guard<std::mutex> lock(mutex_);
    failWrite_ = true;
}

void DisplayUnitSim::repeatWrite(int chunkIndex)
{
    std::lock_guard<std::mutex> lock(mutex_);
    repeatAt_ = chunkIndex;
}

void DisplayUnitSim::setStuckInBootloader(bool on)
{
    std::lock_guard<std::mutex> lock(mutex_);
    stuck_ = on;
}

void DisplayUnitSim::setReplyDelay(int ms)
{
    std::lock_guard<std::mutex> lock(mutex_);
    delayMs_ = ms;
}

void DisplayUnitSim::setPlainStatus(bool on)
{
    std::lock_guard<std::mutex> lock(mutex_);
    plainStatus_ = on;
}

void DisplayUnitSim::vanish()
{
    std::lock_guard<std::mutex> lock(mutex_);
    std::lock_guard<std::mutex> ptyLock(ptyMutex_);
    present_ = false;
    pty_.vanish();
}

bool DisplayUnitSim::reappear()
{
    std::lock_guard<std::mutex> lock(mutex_);
    std::lock_guard<std::mutex> ptyLock(ptyMutex_);
    rx_.clear();
    present_ = pty_.reappear();
    return present_;
}
