#include "RouteBootloaderSim.h"

#include "ControlUnitSim.h"

#include <QStringList>

namespace {
constexpr quint32 kRequestId = 0x1FFFFEE5;

quint16 le16(const QByteArray& b, int i)
{
    return quint16(quint8(b.at(i)) | (quint8(b.at(i + 1)) << 8));
}
quint32 le32(const QByteArray& b, int i)
{
    return quint32(le16(b, i)) | (quint32(le16(b, i + 2)) << 16);
}
QByteArray bytes(std::initializer_list<int> list)
{
    QByteArray b;
    for (int v : list)
        b.append(char(v));
    return b;
}
} // namespace

RouteBootloaderSim::RouteBootloaderSim(quint16 type, quint32 serial) : type_(type), serial_(serial) {}

RouteBootloaderSim::~RouteBootloaderSim()
{
    uninstall();
}

void RouteBootloaderSim::install(ControlUnitSim& unit)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        unit_ = &unit;
    }
    unit.setHandler(QStringLiteral("CN1"),
                    [this](ControlUnitSim& u, const ControlUnitSim::Sentence& s) { onFrame(u, s.fields); });
}

void RouteBootloaderSim::uninstall()
{
    ControlUnitSim* unit = nullptr;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        unit = unit_;
        unit_ = nullptr;
    }
    if (unit)
        unit->setHandler(QStringLiteral("CN1"), nullptr);
}

void RouteBootloaderSim::answer(ControlUnitSim& unit, const QByteArray& data)
{
    if (!unit.configMode())
        return;
    const QString line = QStringLiteral("CN1,%1,1,0,%2,%3")
                             .arg(alternateId_ ? 0x1FFFE5E6u : 0x1FFFFEE6u, 8, 16, QLatin1Char('0'))
                             .arg(data.size())
                             .arg(QString::fromLatin1(data.toHex()))
                             .toUpper();
    replyBytes_ += ControlUnitSim::frame(line).size();
    unit.reply(line);
}

void RouteBootloaderSim::onFrame(ControlUnitSim& unit, const QStringList& fields)
{
    if (fields.size() < 5)
        return;
    bool ok = false;
    const quint32 id = fields.at(0).toUInt(&ok, 16);
    const int length = fields.at(3).toInt(nullptr, 16);
    const QByteArray data = QByteArray::fromHex(fields.at(4).toLatin1());
    if (!ok || id != kRequestId || fields.at(1) != QLatin1String("1") || data.size() != length || length < 2)
        return;
    std::lock_guard<std::mutex> lock(mutex_);
    frames_.append({id, data});
    const quint8 code = quint8(data.at(0));
    if (code == 0x08) {
        recordFrame(unit, data);
        return;
    }
    if (quint8(data.at(1)) != quint8(0xFF - code) || data.size() < 8 || le16(data, 2) != type_
        || le32(data, 4) != serial_)
        return;
    switch (code) {
    case 0x01:
        ++enterRequests_;
        if (enterReplyLimit_ >= 0 && enterReplies_ >= enterReplyLimit_)
            break;
        ++enterReplies_;
        if (!inBootloader_)
            badSinceEnter_ = false;
        inBootloader_ = true;
        answer(unit, bytes({0x01, 0xFE, 0x00, 0x00}));
        break;
    case 0x09:
        ++checkRequests_;
        if (inBootloader_ && !checkFails_)
            answer(unit, bytes({0x09, 0xF6, 0x00, 0xFF, 0x00, 0xFF}));
        break;
    case 0x02: {
        ++leaveRequests_;
        const bool good = inBootloader_ && !badApplication_ && !records_.isEmpty();
        inBootloader_ = false;
        if (!leaveSilent_)
            answer(unit, bytes({0x02, 0xFD, good ? 0x00 : 0x01, 0x00}));
        break;
    }
    default:
        break;
    }
}

void RouteBootloaderSim::recordFrame(ControlUnitSim& unit, const QByteArray& b)
{
    const quint8 first = longRecords() ? 0 : 0x0A;
    const int seq = quint8(b.at(1));
    if (seq == first) {
        buffer_.clear();
        broken_ = false;
        expectedSeq_ = first;
    }
    if (expectedSeq_ < 0)
        return;
    if (seq != expectedSeq_)
        broken_ = true;
    expectedSeq_ = seq + 1;
    buffer_.append(b.mid(2));
    int total = 0;
    if (longRecords())
        total = buffer_.size() >= 2 ? 2 + le16(buffer_, 0) : 0;
    else
        total = buffer_.isEmpty() ? 0 : quint8(buffer_.at(0)) + 1;
    if (total > 0 && buffer_.size() >= total) {
        if (buffer_.size() > total)
            broken_ = true;
        finishRecord(unit);
    }
}

void RouteBootloaderSim::finishRecord(ControlUnitSim& unit)
{
    QByteArray record;
    bool good = !broken_ && inBootloader_;
    if (longRecords()) {
        record = buffer_.mid(2);
    } else {
        quint8 sum = 0;
        for (char c : buffer_)
            sum = quint8(sum + quint8(c));
        good = good && sum == 0;
        record = buffer_.mid(1, buffer_.size() - 2);
    }
    // The Intel HEX record itself: length, address, type, data, checksum.
    quint8 hexSum = 0;
    for (char c : record)
        hexSum = quint8(hexSum + quint8(c));
    good = good && record.size() >= 5 && record.size() == 5 + quint8(record.at(0)) && hexSum == 0;
    buffer_.clear();
    expectedSeq_ = -1;
    if (good && rejectNext_ > 0) {
        --rejectNext_;
        good = false;
    } else if (ignoreNext_ > 0) {
        --ignoreNext_;
        return;
    }
    // A record written again (its answer came late) replaces itself.
    if (good && (records_.isEmpty() || records_.last() != record))
        records_.append(record);
    else {
        ++refused_;
        badSinceEnter_ = true;
    }
    answer(unit, bytes({0x08, 0xF7, good ? 0x00 : 0x01, 0x00}));
}

void RouteBootloaderSim::setEnterReplyLimit(int n) { std::lock_guard<std::mutex> l(mutex_); enterReplyLimit_ = n; }
void RouteBootloaderSim::setCheckFails(bool on) { std::lock_guard<std::mutex> l(mutex_); checkFails_ = on; }
void RouteBootloaderSim::rejectNextRecords(int n) { std::lock_guard<std::mutex> l(mutex_); rejectNext_ = n; }
void RouteBootloaderSim::ignoreNextRecords(int n) { std::lock_guard<std::mutex> l(mutex_); ignoreNext_ = n; }
void RouteBootloaderSim::setLeaveSilent(bool on) { std::lock_guard<std::mutex> l(mutex_); leaveSilent_ = on; }
void RouteBootloaderSim::setBadApplication(bool on) { std::lock_guard<std::mutex> l(mutex_); badApplication_ = on; }
void RouteBootloaderSim::setAlternateReplyId(bool on) { std::lock_guard<std::mutex> l(mutex_); alternateId_ = on; }
bool RouteBootloaderSim::inBootloader() const { std::lock_guard<std::mutex> l(mutex_); return inBootloader_; }
int RouteBootloaderSim::enterRequests() const { std::lock_guard<std::mutex> l(mutex_); return enterRequests_; }
int RouteBootloaderSim::checkRequests() const { std::lock_guard<std::mutex> l(mutex_); return checkRequests_; }
int RouteBootloaderSim::leaveRequests() const { std::lock_guard<std::mutex> l(mutex_); return leaveRequests_; }
int RouteBootloaderSim::recordsStored() const { std::lock_guard<std::mutex> l(mutex_); return records_.size(); }
int RouteBootloaderSim::replyBytes() const { return replyBytes_; }
int RouteBootloaderSim::recordsRefused() const { std::lock_guard<std::mutex> l(mutex_); return refused_; }
QList<QByteArray> RouteBootloaderSim::records() const { std::lock_guard<std::mutex> l(mutex_); return records_; }
QList<RouteBootloaderSim::Frame> RouteBootloaderSim::frames() const { std::lock_guard<std::mutex> l(mutex_); return frames_; }
