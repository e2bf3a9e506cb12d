#include "ControlUnitSim.h"

#include <algorithm>
#include <chrono>
#include <limits>

#include <QSet>

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
    passwords_[1] = QStringLiteral("1111");
    passwords_[2] = QStringLiteral("2222");
    installDeviceHandlers();
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
    if (mode_ != Mode::Firmware)
        return;
    replyLocked(text);
}

void ControlUnitSim::replyLocked(const QString& text)
{
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
        tick();
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
        BootloaderByteHook hook;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (mode_ == Mode::Bootloader)
                hook = bootHook_;
        }
        if (hook && hook(*this, c)) {
            std::lock_guard<std::mutex> lock(mutex_);
            updateBegun_ = true;
            continue;
        }
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
            if (mode_ == Mode::AwaitingProbeAnswer) {
                mode_ = Mode::Bootloader;
                updateBegun_ = false;
                bootDeadlineMs_ = nowMs() + bootloaderWaitMsLocked();
            }
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
        if (handleOutsideFirmware(s))
            return;
        handler = handlers_.value(s.name);
    }
    if (handler)
        handler(*this, s);
}

// --- device behaviour

namespace {
// The tool's answer to a challenge, computed here on the device's side.
quint16 expectedResponse(quint16 challenge)
{
    const quint16 key = quint16((0x2D << 8) | 0x91);
    return quint16(challenge ^ key);
}

QString hex(quint32 v, int digits)
{
    return QString::number(v, 16).toUpper().rightJustified(digits, QLatin1Char('0'));
}

bool isHexText(const QString& t)
{
    if (t.isEmpty())
        return false;
    for (QChar c : t)
        if (!isHex(c.toLatin1()))
            return false;
    return true;
}
} // namespace

void ControlUnitSim::rebootLocked(qint64 silenceMs)
{
    mode_ = Mode::Rebooting;
    bootDeadlineMs_ = std::numeric_limits<qint64>::max();
    modeDeadlineMs_ = silenceMs < 0 ? std::numeric_limits<qint64>::max() : nowMs() + silenceMs;
    configMode_ = false;
    // A level without a password is open from the start.
    loginLevel_ = 0;
    while (passwords_.contains(loginLevel_ + 1) && passwords_.value(loginLevel_ + 1).isEmpty())
        ++loginLevel_;
    challengeIssued_ = false;
}

void ControlUnitSim::tick()
{
    std::lock_guard<std::mutex> lock(mutex_);
    const qint64 now = nowMs();
    if (mode_ == Mode::AwaitingProbeAnswer && now >= modeDeadlineMs_)
        rebootLocked(0);
    if (mode_ == Mode::Bootloader && !updateBegun_ && now >= bootDeadlineMs_)
        rebootLocked(rebootMs_);
    if (mode_ == Mode::Rebooting && now >= modeDeadlineMs_) {
        mode_ = Mode::Firmware;
        replyLocked(bannerText());
    }
}

bool ControlUnitSim::handleOutsideFirmware(const Sentence& s)
{
    switch (mode_) {
    case Mode::Firmware:
        return false;
    case Mode::Rebooting:
    case Mode::AwaitingProbeAnswer:
        return true;
    case Mode::Bootloader:
        break;
    }
    if (s.name == QLatin1String("VR1") && s.fields.value(0) == QLatin1String("?")) {
        QStringList f = versionReply_.split(QLatin1Char(','));
        replyLocked(QStringLiteral("VR1,%1,%2,%3").arg(f.value(1), f.value(2), bootVersion_));
    } else if (s.name == QLatin1String("RS1")) {
        rebootLocked(rebootMs_);
    }
    return true;
}

void ControlUnitSim::installDeviceHandlers()
{
    using S = ControlUnitSim;
    setHandler(QStringLiteral("FP1"), [](S& sim, const Sentence& s) {
        std::lock_guard<std::mutex> lock(sim.mutex_);
        if (s.fields.value(0) == QLatin1String("?") && !sim.featureReply_.isEmpty())
            sim.replyLocked(sim.featureReply_);
    });
    setHandler(QStringLiteral("CF2"), [](S& sim, const Sentence& s) {
        std::lock_guard<std::mutex> lock(sim.mutex_);
        const QString idText = s.fields.value(0), value = s.fields.value(1);
        bool ok = false;
        const uint id = idText.toUInt(&ok, 16);
        if (!ok || idText.size() != 4 || s.fields.size() != 2)
            return;
        const int code = (id >> 8) & 3;
        if (code == 3)
            return; // no such width
        const int digits = 2 << code;
        if (value == QLatin1String("?")) {
            if (sim.params_.contains(quint16(id)))
                sim.replyLocked(QStringLiteral("CF2,%1,%2").arg(idText, hex(sim.params_.value(quint16(id)), digits)));
            return;
        }
        if (sim.paramWritesIgnored_)
            return;
        if (value.size() != digits || !isHexText(value)) {
            ++sim.rejectedParamWrites_;
            return;
        }
        sim.params_[quint16(id)] = value.toUInt(nullptr, 16);
        sim.replyLocked(QStringLiteral("CF2,%1,%2").arg(idText, value.toUpper()));
    });
    setHandler(QStringLiteral("CM1"), [](S& sim, const Sentence& s) {
        std::lock_guard<std::mutex> lock(sim.mutex_);
        const QString f = s.fields.value(0);
        if (!sim.configConfirmed_ || (f != QLatin1String("1") && f != QLatin1String("0")))
            return;
        sim.configMode_ = f == QLatin1String("1");
        if (sim.configMode_)
            sim.canFilters_.clear(); // the plain mode passes every frame
        sim.replyLocked(QStringLiteral("CM1,0%1").arg(sim.configMode_ ? 1 : 0));
    });
    setHandler(QStringLiteral("CM2"), [](S& sim, const Sentence& s) {
        std::lock_guard<std::mutex> lock(sim.mutex_);
        const QString f = s.fields.value(0);
        if (f == QLatin1String("?")) {
            if (sim.fixedChallenge_ >= 0) {
                sim.challenge_ = quint16(sim.fixedChallenge_);
            } else {
                sim.challengeSeq_ = quint16(sim.challengeSeq_ * 25173u + 13849u);
                sim.challenge_ = sim.challengeSeq_;
            }
            sim.challengeIssued_ = true;
            sim.replyLocked(QStringLiteral("CM2,0%1,%2").arg(sim.configMode_ ? 1 : 0).arg(hex(sim.challenge_, 4)));
            return;
        }
        const bool enter = f == QLatin1String("1");
        if (!enter && f != QLatin1String("0"))
            return;
        const QString r = s.fields.value(1);
        const bool goodResponse = sim.challengeIssued_ && r.size() == 4 && isHexText(r)
                                  && quint16(r.toUInt(nullptr, 16)) == expectedResponse(sim.challenge_);
        const bool goodShape = enter ? s.fields.size() == 7 : s.fields.size() == 2;
        if (!goodResponse || !goodShape) {
            ++sim.badChallenges_;
            sim.replyLocked(QStringLiteral("CM2,0%1").arg(sim.configMode_ ? 1 : 0));
            return;
        }
        if (!sim.configConfirmed_)
            return;
        sim.configMode_ = enter;
        if (enter) {
            sim.canFilters_.clear();
            for (int i = 2; i < 7; ++i)
                sim.canFilters_.append(s.fields.value(i).toUInt(nullptr, 16));
        }
        sim.replyLocked(QStringLiteral("CM2,0%1").arg(enter ? 1 : 0));
    });
    setHandler(QStringLiteral("PW1"), [](S& sim, const Sentence& s) {
        std::lock_guard<std::mutex> lock(sim.mutex_);
        // The password may itself hold commas: take everything after the name.
        const QString given = s.text.mid(4);
        if (given == QLatin1String("?")) {
            sim.replyLocked(QStringLiteral("PW1,%1").arg(sim.loginLevel_));
            return;
        }
        // "PW1," logs out; a wrong password leaves the level where it was.
        int level = given.isEmpty() ? 0 : -1;
        for (auto it = sim.passwords_.cbegin(); it != sim.passwords_.cend(); ++it)
            if (!given.isEmpty() && it.value() == given)
                level = std::max(level, it.key());
        if (level >= 0)
            sim.loginLevel_ = level;
        sim.replyLocked(QStringLiteral("PW1,%1").arg(sim.loginLevel_));
    });
    setHandler(QStringLiteral("PW2"), [](S& sim, const Sentence& s) {
        std::lock_guard<std::mutex> lock(sim.mutex_);
        // "PW2,<password>" sets the password of the level logged in at; an
        // empty one takes the password off that level. The password may
        // itself hold commas: take everything after the name.
        const QString password = s.text.mid(4);
        const int level = sim.loginLevel_;
        const bool allowed = !sim.passwordChangesRefused_ && level >= 1
                             && (password.isEmpty() || (password.size() >= 4 && password.size() <= 8));
        if (allowed)
            sim.passwords_[level] = password;
        sim.replyLocked(QStringLiteral("PW2,%1").arg(allowed ? 1 : 0));
    });
    setHandler(QStringLiteral("RS1"), [](S& sim, const Sentence&) {
        std::lock_guard<std::mutex> lock(sim.mutex_);
        if (!sim.bootloaderEntry_) {
            sim.rebootLocked(sim.rebootMs_);
            return;
        }
        // The bootloader starts, asks "#?" and waits a moment for "#".
        sim.rebootLocked(-1);
        sim.mode_ = Mode::AwaitingProbeAnswer;
        const qint64 probeAt = sim.nowMs() + 100;
        sim.enqueue(std::max(probeAt, sim.outgoing_.empty() ? probeAt : sim.outgoing_.back().dueMs),
                    QByteArrayLiteral("#?\r"));
        sim.modeDeadlineMs_ = probeAt + 1000;
    });
    setHandler(QStringLiteral("FD1"), [](S& sim, const Sentence&) {
        std::lock_guard<std::mutex> lock(sim.mutex_);
        ++sim.factoryResets_;
        sim.params_ = sim.factoryParams_;
        sim.rebootLocked(sim.factoryResetHangs_ ? -1 : sim.rebootMs_);
    });
}

ControlUnitSim::Mode ControlUnitSim::mode() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return mode_;
}
void ControlUnitSim::setMode(Mode mode)
{
    std::lock_guard<std::mutex> lock(mutex_);
    mode_ = mode;
    modeDeadlineMs_ = nowMs() + rebootMs_;
    bootDeadlineMs_ = std::numeric_limits<qint64>::max();
}
void ControlUnitSim::setBootVersion(const QString& version)
{
    std::lock_guard<std::mutex> lock(mutex_);
    bootVersion_ = version;
}
void ControlUnitSim::setRebootMs(int ms)
{
    std::lock_guard<std::mutex> lock(mutex_);
    rebootMs_ = ms;
}
void ControlUnitSim::setBootloaderByteHook(BootloaderByteHook hook)
{
    std::lock_guard<std::mutex> lock(mutex_);
    bootHook_ = std::move(hook);
}

void ControlUnitSim::setBootloaderWaitMs(int ms)
{
    std::lock_guard<std::mutex> lock(mutex_);
    bootWaitMs_ = ms;
}
int ControlUnitSim::bootloaderWaitMs() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return bootloaderWaitMsLocked();
}
int ControlUnitSim::bootloaderWaitMsLocked() const
{
    if (bootWaitMs_ >= 0)
        return bootWaitMs_;
    // The "BMS3" update first starts a CANopen download, so it begins later.
    return versionReply_.section(QLatin1Char(','), 1, 1) == QLatin1String("BMS3") ? 30000 : 5000;
}
bool ControlUnitSim::updateBegun() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return updateBegun_;
}

void ControlUnitSim::setBootloaderEntry(bool on)
{
    std::lock_guard<std::mutex> lock(mutex_);
    bootloaderEntry_ = on;
}
void ControlUnitSim::setFeatureBitmap(int count, const QList<quint32>& words)
{
    QString t = QStringLiteral("FP1");
    if (count >= 0)
        t += QLatin1Char(',') + hex(quint32(count), 2);
    for (quint32 w : words)
        t += QLatin1Char(',') + hex(w, 8);
    setFeatureReplyText(t);
}
void ControlUnitSim::setFeatureReplyText(const QString& text)
{
    std::lock_guard<std::mutex> lock(mutex_);
    featureReply_ = text;
}
namespace {
struct FactoryParam
{
    quint16 id;
    quint32 value;
    const char* features;
};
const FactoryParam kFactoryParams[] = {
#include "FactoryConfiguration.inc"
};
} // namespace

QMap<quint16, quint32> ControlUnitSim::factoryConfiguration()
{
    QMap<quint16, quint32> out;
    for (const FactoryParam& p : kFactoryParams)
        out.insert(p.id, p.value);
    return out;
}

QList<int> ControlUnitSim::factoryFeatures()
{
    QSet<int> set;
    for (const FactoryParam& p : kFactoryParams)
        for (const QString& f : QString::fromLatin1(p.features).split(QLatin1Char(','), Qt::SkipEmptyParts))
            set.insert(f.toInt());
    QList<int> out = set.values();
    std::sort(out.begin(), out.end());
    return out;
}

void ControlUnitSim::holdFactoryConfiguration()
{
    const QList<int> features = factoryFeatures();
    QList<quint32> words;
    while (words.size() <= features.last() / 32)
        words.append(0u);
    for (int f : features)
        words[f / 32] |= 1u << (f % 32);
    setFeatureBitmap(features.last() + 1, words);
    std::lock_guard<std::mutex> lock(mutex_);
    params_ = factoryConfiguration();
    factoryParams_ = params_;
}

void ControlUnitSim::changeParam(quint16 id, quint32 value)
{
    std::lock_guard<std::mutex> lock(mutex_);
    params_[id] = value;
}

QMap<quint16, quint32> ControlUnitSim::params() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return params_;
}

void ControlUnitSim::setParam(quint16 id, quint32 value)
{
    std::lock_guard<std::mutex> lock(mutex_);
    params_[id] = value;
    factoryParams_[id] = value;
}
bool ControlUnitSim::hasParam(quint16 id) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return params_.contains(id);
}
quint32 ControlUnitSim::param(quint16 id) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return params_.value(id);
}
void ControlUnitSim::setParamWritesIgnored(bool on)
{
    std::lock_guard<std::mutex> lock(mutex_);
    paramWritesIgnored_ = on;
}
int ControlUnitSim::rejectedParamWrites() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return rejectedParamWrites_;
}
bool ControlUnitSim::configMode() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return configMode_;
}
void ControlUnitSim::setConfigModeConfirmed(bool on)
{
    std::lock_guard<std::mutex> lock(mutex_);
    configConfirmed_ = on;
}
void ControlUnitSim::setChallengeValue(quint16 value)
{
    std::lock_guard<std::mutex> lock(mutex_);
    fixedChallenge_ = value;
}
QList<quint32> ControlUnitSim::canFilters() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return canFilters_;
}
int ControlUnitSim::badChallengeResponses() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return badChallenges_;
}
void ControlUnitSim::setPasswordChangesRefused(bool on)
{
    std::lock_guard<std::mutex> lock(mutex_);
    passwordChangesRefused_ = on;
}
void ControlUnitSim::setPassword(int level, const QString& password)
{
    std::lock_guard<std::mutex> lock(mutex_);
    passwords_[level] = password;
}
QString ControlUnitSim::password(int level) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return passwords_.value(level);
}
int ControlUnitSim::loginLevel() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return loginLevel_;
}
void ControlUnitSim::setLoginLevel(int level)
{
    std::lock_guard<std::mutex> lock(mutex_);
    loginLevel_ = level;
}
void ControlUnitSim::setFactoryResetHangs(bool on)
{
    std::lock_guard<std::mutex> lock(mutex_);
    factoryResetHangs_ = on;
}
int ControlUnitSim::factoryResets() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return factoryResets_;
}
