#include "CanBusSim.h"

#include "ControlUnitSim.h"

#include <QStringList>

#include <chrono>

namespace {
qint64 nowMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

constexpr quint32 kRequest = 0x1FFFFEE5;

quint16 le16(const QByteArray& b, int at)
{
    return quint16(quint8(b.at(at)) | (quint8(b.at(at + 1)) << 8));
}
quint32 le32(const QByteArray& b, int at)
{
    quint32 v = 0;
    for (int i = 3; i >= 0; --i)
        v = (v << 8) | quint8(b.at(at + i));
    return v;
}
void putLe32(QByteArray& b, quint32 v)
{
    for (int i = 0; i < 4; ++i)
        b.append(char((v >> (8 * i)) & 0xFF));
}
QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray b;
    for (int v : values)
        b.append(char(v));
    return b;
}
int hexNibble(QChar c)
{
    const ushort u = c.unicode();
    if (u >= '0' && u <= '9')
        return u - '0';
    if (u >= 'A' && u <= 'F')
        return u - 'A' + 10;
    if (u >= 'a' && u <= 'f')
        return u - 'a' + 10;
    return -1;
}
} // namespace

CanBusSim::Device CanBusSim::temperatureBoard(quint32 serial, int powerState)
{
    Device d;
    d.type = 48;
    d.serial = serial;
    d.cells = 0;
    d.powerState = powerState;
    return d;
}

CanBusSim::CanBusSim() = default;

CanBusSim::~CanBusSim()
{
    stop();
}

void CanBusSim::install(ControlUnitSim& unit)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        unit_ = &unit;
        if (!running_) {
            running_ = true;
            thread_ = std::thread([this] { loop(); });
        }
    }
    unit.setHandler(QStringLiteral("CN1"),
                    [this](ControlUnitSim&, const ControlUnitSim::Sentence& s) { onSentence(s.fields); });
}

void CanBusSim::stop()
{
    ControlUnitSim* unit = nullptr;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!running_)
            return;
        running_ = false;
        unit = unit_;
    }
    wake_.notify_all();
    if (thread_.joinable())
        thread_.join();
    if (unit)
        unit->setHandler(QStringLiteral("CN1"), nullptr);
}

int CanBusSim::addDevice(const Device& device)
{
    std::lock_guard<std::mutex> lock(mutex_);
    devices_.append(device);
    return devices_.size() - 1;
}

CanBusSim::Device CanBusSim::device(int index) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return devices_.value(index);
}

void CanBusSim::updateDevice(int index, const std::function<void(Device&)>& change)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (index >= 0 && index < devices_.size())
        change(devices_[index]);
}

int CanBusSim::deviceCount() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return devices_.size();
}

void CanBusSim::setAlternateReplyId(bool on)
{
    std::lock_guard<std::mutex> lock(mutex_);
    alternateReplyId_ = on;
}

QList<CanBusSim::Frame> CanBusSim::frames() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return frames_;
}

void CanBusSim::clearFrames()
{
    std::lock_guard<std::mutex> lock(mutex_);
    frames_.clear();
}

int CanBusSim::routeRequestCount(quint8 code) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    int n = 0;
    for (const Frame& f : frames_)
        if (f.extended && f.id == kRequest && !f.data.isEmpty() && quint8(f.data.at(0)) == code)
            ++n;
    return n;
}

// "CN1,<id hex>,<ext>,0,<length>,<data hex>" as the tool sends it.
void CanBusSim::onSentence(const QStringList& fields)
{
    if (fields.size() < 5)
        return;
    Frame f;
    bool ok = false;
    f.id = fields.at(0).toUInt(&ok, 16);
    if (!ok)
        return;
    f.extended = fields.at(1) == QLatin1String("1");
    const int length = fields.at(3).toInt(&ok, 16);
    const QString hex = fields.at(4);
    if (!ok || length < 0 || length > 8 || hex.size() != 2 * length)
        return;
    for (int i = 0; i < length; ++i) {
        const int hi = hexNibble(hex.at(2 * i));
        const int lo = hexNibble(hex.at(2 * i + 1));
        if (hi < 0 || lo < 0)
            return;
        f.data.append(char(hi * 16 + lo));
    }
    std::lock_guard<std::mutex> lock(mutex_);
    frames_.append(f);
    if (f.extended && f.id == kRequest) {
        handleRoute(f);
    } else {
        handleModule(f);
        for (const Peripheral& p : qAsConst(peripherals_))
            p(f, [this](quint32 id, bool extended, const QByteArray& data) { send(id, extended, data); });
    }
}

void CanBusSim::addPeripheral(Peripheral peripheral)
{
    std::lock_guard<std::mutex> lock(mutex_);
    peripherals_.append(std::move(peripheral));
}

void CanBusSim::send(quint32 id, bool extended, const QByteArray& data, int delayMs)
{
    QString line = QStringLiteral("CN1,%1,%2,0,%3,%4")
                       .arg(id, 8, 16, QLatin1Char('0'))
                       .arg(extended ? 1 : 0)
                       .arg(data.size())
                       .arg(QString::fromLatin1(data.toHex()))
                       .toUpper();
    outgoing_.push_back({nowMs() + delayMs, line, id, extended});
    wake_.notify_all();
}

void CanBusSim::sendRoute(Device& d, const QByteArray& data)
{
    QByteArray b = data;
    if (d.corruptRoute)
        b[1] = char(quint8(b.at(1)) ^ 0x01);
    send(alternateReplyId_ ? 0x1FFFE5E6 : 0x1FFFFEE6, true, b);
}

void CanBusSim::handleRoute(const Frame& f)
{
    const QByteArray& b = f.data;
    if (b.size() < 2 || quint8(b.at(1)) != quint8(0xFF - quint8(b.at(0))))
        return;
    const quint8 code = quint8(b.at(0));
    auto addressedTo = [&](const Device& d) {
        return b.size() >= 8 && le16(b, 2) == d.type && le32(b, 4) == d.serial;
    };
    auto address = [](const Device& d) {
        QByteArray a;
        a.append(char(d.type & 0xFF)).append(char(d.type >> 8));
        putLe32(a, d.serial);
        return a;
    };
    for (Device& d : devices_) {
        if (d.silent)
            continue;
        switch (code) {
        case 0x10:
            d.acknowledged = false;
            break;
        case 0x11:
            if (!d.legacy && !d.acknowledged)
                sendRoute(d, bytes({0x11, 0xEE}) + address(d));
            break;
        case 0x12:
            if (addressedTo(d))
                d.acknowledged = true;
            break;
        case 0x00:
            sendRoute(d, bytes({0x00, 0xFF}) + address(d));
            break;
        case 0x01:
            if (addressedTo(d)) {
                ++d.enterRequests;
                if (!d.refuseEnter) {
                    d.configMode = true;
                    sendRoute(d, bytes({0x01, 0xFE, 0x00, 0x00}));
                }
            }
            break;
        case 0x09:
            if (addressedTo(d) && !d.noVersionReply) {
                QByteArray r = bytes({0x09, 0xF6});
                putLe32(r, d.configMode ? 0xFF00FF00u : d.version);
                sendRoute(d, r);
            }
            break;
        case 0x02:
            if (addressedTo(d)) {
                ++d.leaveRequests;
                if (d.leaveSilent)
                    break;
                if (d.leaveStatus == 0)
                    d.configMode = false;
                sendRoute(d, bytes({0x02, 0xFD, d.leaveStatus, 0x00}));
            }
            break;
        case 0x03:
            if (addressedTo(d) && !d.noBaseIdReply) {
                QByteArray r = bytes({0x03, 0xFC, 0x00, 0x00});
                putLe32(r, d.baseId);
                sendRoute(d, r);
            }
            break;
        case 0x04:
        case 0x05:
            if (d.configMode && b.size() >= 6) {
                if (d.idStatus == 0) {
                    const quint32 v = le32(b, 2);
                    const quint32 id = (v & 0x80000000u) ? v : (v & 0x7FFu);
                    if (code == 0x04)
                        d.baseId = id;
                    else
                        d.secondaryId = id;
                }
                sendRoute(d, bytes({code, 0xFF - code, d.idStatus, 0x00}));
            }
            break;
        case 0x06:
            if (d.configMode && b.size() >= 3) {
                if (d.speedStatus == 0)
                    d.speed = quint8(b.at(2));
                sendRoute(d, bytes({0x06, 0xF9, d.speedStatus, 0x00}));
            }
            break;
        case 0x0B:
            if (d.configMode && b.size() >= 8 && !d.paramSilent) {
                if (d.paramStatus == 0)
                    d.params.insert(le16(b, 2), le32(b, 4));
                sendRoute(d, bytes({0x0B, 0xF4, d.paramStatus, 0x00}));
            }
            break;
        case 0x0F:
            if (d.configMode && servesBoards(d) && !d.powerSilent)
                sendRoute(d, bytes({0x0F, 0xF0, d.powerState}));
            break;
        case 0x0E:
            if (d.configMode && servesBoards(d) && !d.powerSilent && b.size() >= 3) {
                d.powerState = quint8(b.at(2));
                sendRoute(d, bytes({0x0E, 0xF1}));
            }
            break;
        default:
            break;
        }
    }
}

void CanBusSim::handleModule(const Frame& f)
{
    const QByteArray& b = f.data;
    if (b.size() < 2)
        return;
    for (int i = 0; i < devices_.size(); ++i) {
        Device& d = devices_[i];
        if (d.silent || isExtended(d) != f.extended || moduleId(d) != f.id)
            continue;
        const quint32 mask = f.extended ? 0x1FFFFFFFu : 0x7FFu;
        const quint32 reply = (f.id + 1) & mask;
        const quint32 error = (f.id + 2) & mask;
        const quint8 seq = quint8(b.at(0));
        const quint8 cmd = quint8(b.at(1));
        if (cmd == 0x01) {
            armed_[i] = qMakePair(seq, quint8(1));
        } else if (cmd == 0x0F && b.size() > 2 && d.type == 9) {
            armed_[i] = qMakePair(seq, quint8(0x10 + quint8(b.at(2)))); // 0x11 enumerate, 0x12 sort
        } else if (cmd == 0x0A && b.size() >= 3) {
            d.storedCells = quint8(b.at(2));
        } else if (cmd == 0x0B) {
            d.committed = true;
        } else if (cmd == 0xFF && armed_.contains(i)) {
            const quint8 what = armed_.take(i).second;
            if (what == 1) {
                if (d.cellCountError)
                    send(error, f.extended, bytes({seq, 0x01}));
                else if (!d.noCellCountReply)
                    send(reply, f.extended, bytes({seq, d.cells}));
            } else if (what == 0x11) {
                send(reply, f.extended, bytes({seq, 0x01, 0x00, 0x01}));
                if (d.enumerationMs >= 0) {
                    d.enumerated = true;
                    send(reply, f.extended, bytes({seq, 0x01, 0x00, 0x02}), d.enumerationMs);
                }
            } else if (what == 0x12) {
                ++d.sortRequests;
                if (d.sortingError) {
                    send(error, f.extended, bytes({seq, 0x02, 0x00, 0x01}));
                    continue;
                }
                send(reply, f.extended, bytes({seq, 0x02, 0x00, 0x03}));
                if (d.sortingMs >= 0)
                    for (int k = 0; k < d.sortingDoneRepeats; ++k)
                        send(reply, f.extended, bytes({seq, 0x02, 0x00, 0x04}), d.sortingMs + 20 * k);
            }
        }
    }
}

void CanBusSim::loop()
{
    std::unique_lock<std::mutex> lock(mutex_);
    while (running_) {
        if (outgoing_.empty()) {
            wake_.wait_for(lock, std::chrono::milliseconds(50));
            continue;
        }
        // The earliest due answer; equal times keep their order.
        auto next = outgoing_.begin();
        for (auto it = outgoing_.begin(); it != outgoing_.end(); ++it)
            if (it->dueMs < next->dueMs)
                next = it;
        const qint64 wait = next->dueMs - nowMs();
        if (wait > 0) {
            wake_.wait_for(lock, std::chrono::milliseconds(std::min<qint64>(wait, 50)));
            continue;
        }
        const Outgoing out = *next;
        outgoing_.erase(next);
        ControlUnitSim* unit = unit_;
        lock.unlock();
        // The unit passes bus frames to the tool only in a configuration
        // mode, and then only those its filter passes.
        bool pass = false;
        if (unit && unit->configMode())
            pass = passesFilter(unit->canFilters(), out.id, out.extended);
        if (pass)
            unit->reply(out.line);
        lock.lock();
        if (unit && !pass)
            ++filtered_;
    }
}

bool CanBusSim::passesFilter(const QList<quint32>& words, quint32 id, bool extended)
{
    if (words.size() != 5)
        return true;
    const bool forExtended = words.at(0) & 0x80000000u;
    if (forExtended != extended)
        return true;
    const quint32 mask = words.at(0) & (extended ? 0x1FFFFFFFu : 0x7FFu);
    for (int i = 1; i < 5; ++i)
        if ((id & mask) == (words.at(i) & mask))
            return true;
    return false;
}

int CanBusSim::filteredCount() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return filtered_;
}
