#include "ControlUnitSim.h"

#include <chrono>

namespace {
// Table-driven, reflected CRC-8 with polynomial 0x31: built here on its own so
// that the emulator checks the tool rather than agreeing with it by sharing code.
struct CrcTable
{
    quint8 t[256];
    CrcTable()
    {
        for (int i = 0; i < 256; ++i) {
            quint8 c = quint8(i);
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? quint8((c >> 1) ^ 0x8C) : quint8(c >> 1);
            t[i] = c;
        }
    }
};
const CrcTable kTable;

bool isHex(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

const qint64 kBytesPerSecond = 5760;
} // namespace

quint8 ControlUnitSim::deviceCrc(const QByteArray& bytes)
{
    quint8 crc = 0;
    for (char ch : bytes)
        crc = kTable.t[quint8(crc ^ quint8(ch))];
    return crc;
}

QByteArray ControlUnitSim::frame(const QString& text, bool corrupt)
{
    QByteArray out = text.toLatin1() + ',';
    quint8 crc = deviceCrc(out);
    if (corrupt)
        crc ^= 0x5A;
    out += QByteArray::number(crc, 16).rightJustified(2, '0').toUpper();
    out += '\r';
    return out;
}

ControlUnitSim::ControlUnitSim()
{
    setHandler(QStringLiteral("VR1"), [](ControlUnitSim& sim, const Sentence& s) {
        if (s.fields.value(0) == QLatin1String("?"))
            sim.reply(sim.versionReply());
    });
}

ControlUnitSim::~ControlUnitSim()
{
    stop();
}

qint64 ControlUnitSim::nowMs() const
{
    using namespace std::chrono;
    return (duration_cast<nanoseconds>(steady_clock::now().time_since_epoch()).count() - startNs_) / 1000000;
}

bool ControlUnitSim::start(const QString& linkPath)
{
    stop();
    {
        std::lock_guard<std::mutex> lock(ptyMutex_);
        if (!pty_.open(linkPath))
            return false;
    }
    using namespace std::chrono;
    startNs_ = duration_cast<nanoseconds>(steady_clock::now().time_since_epoch()).count();
    running_ = true;
    thread_ = std::thread([this] { loop(); });
    return true;
}

void ControlUnitSim::stop()
{
    running_ = false;
    if (thread_.joinable())
        thread_.join();
}

QString ControlUnitSim::portPath() const
{
    std::lock_guard<std::mutex> lock(ptyMutex_);
    return pty_.portPath();
}

void ControlUnitSim::setHandler(const QString& name, Handler handler)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (handler)
        handlers_[name] = std::move(handler);
    else
        handlers_.remove(name);
}

void ControlUnitSim::setVersion(const QString& kind, const QString& serial, const QString& version)
{
    std::lock_guard<std::mutex> lock(mutex_);
    versionReply_ = QStringLiteral("VR1,%1,%2,%3").arg(kind, serial, version);
}

QString ControlUnitSim::versionReply() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return versionReply_;
}

void ControlUnitSim::enqueue(qint64 dueMs, const QByteArray& bytes)
{
    // Keep the order of sending even when due times tie.
    outgoing_.push_back({dueMs, bytes});
}

void ControlUnitSim::reply(const QString& text)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (silent_)
        return;
    if (dropNext_ > 0) {
        --dropNext_;
        return;
    }
    bool corrupt = corruptAll_;
    if (corruptNext_ > 0) {
        --corruptNext_;
        corrupt = true;
    }
    const QByteArray bytes = frame(text, corrupt);
    qint64 due = nowMs() + delayMs_;
    if (!outgoing_.empty())
        due = std::max(due, outgoing_.back().dueMs);
    if (splitGapMs_ >= 0 && bytes.size() > 1) {
        const int half = bytes.size() / 2;
        enqueue(due, bytes.left(half));
        enqueue(due + splitGapMs_, bytes.mid(half));
    } else {
        enqueue(due, bytes);
    }
}

void ControlUnitSim::sendRaw(const QByteArray& bytes)
{
    std::lock_guard<std::mutex> lock(mutex_);
    enqueue(outgoing_.empty() ? nowMs() : std::max(nowMs(), outgoing_.back().dueMs), bytes);
}

void ControlUnitSim::sendProbe()
{
    sendRaw(QByteArrayLiteral("#?\r"));
}

void ControlUnitSim::writeGarbage(int n)
{
    QByteArray g;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (int i = 0; i < n; ++i) {
            garbageSeed_ = garbageSeed_ * 1103515245u + 12345u;
            char c = char((garbageSeed_ >> 16) & 0xFF);
            if (c == 0x11 || c == 0x13)
                c = '?';
            g.append(c);
        }
    }
    sendRaw(g);
}

QList<ControlUnitSim::Received> ControlUnitSim::received() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return record_;
}

QList<QString> ControlUnitSim::goodSentences() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    QList<QString> out;
    for (const Received& r : record_)
        if (r.good)
            out.append(r.sentence);
    return out;
}

void ControlUnitSim::clearReceived()
{
    std::lock_guard<std::mutex> lock(mutex_);
    record_.clear();
}

bool ControlUnitSim::waitUntil(const std::function<bool(const QList<Received>&)>& pred, int timeoutMs) const
{
    std::unique_lock<std::mutex> lock(mutex_);
    return recordChanged_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return pred(record_); });
}

bool ControlUnitSim::waitForSentence(const QString& prefix, int timeoutMs) const
{
    return waitUntil(
        [&](const QList<Received>& rec) {
            for (const Received& r : rec)
                if (r.good && r.sentence.startsWith(prefix))
                    return true;
            return false;
        },
        timeoutMs);
}

int ControlUnitSim::probeAnswerCount() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    int n = 0;
    for (const Received& r : record_)
        n += r.probeAnswer ? 1 : 0;
    return n;
}

void ControlUnitSim::setSilent(bool on)
{
    std::lock_guard<std::mutex> lock(mutex_);
    silent_ = on;
}
void ControlUnitSim::dropNextReplies(int n)
{
    std::lock_guard<std::mutex> lock(mutex_);
    dropNext_ = n;
}
void ControlUnitSim::setReplyDelay(int ms)
{
    std::lock_guard<std::mutex> lock(mutex_);
    delayMs_ = ms;
}
void ControlUnitSim::setCorruptChecksums(bool on)
{
    std::lock_guard<std::mutex> lock(mutex_);
    corruptAll_ = on;
}
void ControlUnitSim::corruptNextReplies(int n)
{
    std::lock_guard<std::mutex> lock(mutex_);
    corruptNext_ = n;
}
void ControlUnitSim::setSplitReplies(int gapMs)
{
    std::lock_guard<std::mutex> lock(mutex_);
    splitGapMs_ = gapMs;
}
void ControlUnitSim::setPacing(bool on)
{
    std::lock_guard<std::mutex> lock(mutex_);
    pacing_ = on;
}

void ControlUnitSim::vanish()
{
    std::lock_guard<std::mutex> lock(ptyMutex_);
    pty_.vanish();
    std::lock_guard<std::mutex> lock2(mutex_);
    outgoing_.clear();
    pending_.clear();
}

bool ControlUnitSim::reappear()
{
    std::lock_guard<std::mutex> lock(ptyMutex_);
    return pty_.reappear();
}

bool ControlUnitSim::isPresent() const
{
    std::lock_guard<std::mutex> lock(ptyMutex_);
    return pty_.isOpen();
}

void ControlUnitSim::flushDue()
{
    for (;;) {
        QByteArray bytes;
        bool pace;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (outgoing_.empty() || outgoing_.front().dueMs > nowMs())
                return;
            bytes = outgoing_.front().bytes;
            outgoing_.pop_front();
            pace = pacing_;
        }
        if (!pace) {
            std::lock_guard<std::mutex> lock(ptyMutex_);
            pty_.write(bytes);
            continue;
        }
        // At the wire's pace: ~5.76 bytes per millisecond, in small bursts.
        for (int i = 0; i < bytes.size() && running_; i += 16) {
            const QByteArray chunk = bytes.mid(i, 16);
            {
                std::lock_guard<std::mutex> lock(ptyMutex_);
                pty_.write(chunk);
            }
            std::this_thread::sleep_for(std::chrono::microseconds(chunk.size() * 1000000 / kBytesPerSecond));
        }
    }
}

void ControlUnitSim::loop()
{
    while (running_) {
        flushDue();
        QByteArray in;
        {
            std::lock_guard<std::mutex> lock(ptyMutex_);
            if (pty_.isOpen())
                in = pty_.read(5);
        }
        if (in.isEmpty()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            continue;
        }
        handleBytes(in);
    }
}

void ControlUnitSim::handleBytes(const QByteArray& bytes)
{
    for (char c : bytes) {
        if (c == 0x11 || c == 0x13) // flow control, not data
            continue;
        bool atLineStart;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            atLineStart = pending_.isEmpty();
        }
        if (c == '#' && atLineStart) {
            // The tool's answer to "#?": one raw byte, no line end.
            std::lock_guard<std::mutex> lock(mutex_);
            Received r;
            r.ms = nowMs();
            r.raw = QByteArrayLiteral("#");
            r.probeAnswer = true;
            record_.append(r);
            recordChanged_.notify_all();
            continue;
        }
        if (c == '\r' || c == '\n') {
            QByteArray line;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                line.swap(pending_);
            }
            if (!line.isEmpty())
                handleLine(line);
            continue;
        }
        std::lock_guard<std::mutex> lock(mutex_);
        pending_.append(c);
    }
}

void ControlUnitSim::handleLine(const QByteArray& line)
{
    Received r;
    r.ms = nowMs();
    r.raw = line;
    const int n = line.size();
    if (n >= 3 && line[n - 3] == ',' && isHex(line[n - 2]) && isHex(line[n - 1])) {
        bool ok = false;
        const int sum = line.right(2).toInt(&ok, 16);
        if (ok && sum == deviceCrc(line.left(n - 2))) {
            r.good = true;
            r.sentence = QString::fromLatin1(line.left(n - 3));
        }
    }
    Handler handler;
    Sentence s;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        record_.append(r);
        recordChanged_.notify_all();
        if (!r.good)
            return;
        s.text = r.sentence;
        s.fields = r.sentence.split(QLatin1Char(','));
        s.name = s.fields.takeFirst();
        handler = handlers_.value(s.name);
    }
    if (handler)
        handler(*this, s);
}
