#include "PackModel.h"

#include "ControlUnitSim.h"

#include <QDateTime>

#include <chrono>
#include <cstring>

namespace {

QString hex(uint32_t v)
{
    return QString::number(v, 16).toUpper();
}

QString hex2(int v)
{
    return QString::asprintf("%02X", unsigned(v) & 0xFFu);
}

// Two's complement over a fixed number of digits, as the unit writes signed fields.
QString signedHex(int64_t v, int digits)
{
    const uint64_t mask = digits >= 16 ? ~0ull : ((1ull << (4 * digits)) - 1);
    return QString::asprintf("%0*llX", digits, static_cast<unsigned long long>(uint64_t(v) & mask));
}

QString floatHex(float f)
{
    uint32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    return QString::asprintf("%08X", bits);
}

} // namespace

PackModel::PackModel()
{
    config_[0x0010] = 5;
    config_[0x0111] = 0;
    config_[0x1600] = 0x00804200; // master/slave operation enabled
    config_[0x1800] = 0;
    config_[0x1E00] = 0x19B4FFFF;
}

namespace {
qint64 steadyMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}
const qint64 kUptimeAtStart = 0x1C2A5; // the unit has run for about 32 hours
} // namespace

void PackModel::setLive(bool on)
{
    std::lock_guard<std::mutex> lock(mutex_);
    // The unit's clock keeps local wall time, counted from 2000-01-01.
    const QDateTime now = QDateTime::currentDateTime();
    clockAtStart_ = now.toSecsSinceEpoch() + now.offsetFromUtc() - 946684800;
    liveStartMs_ = steadyMs();
    uptimeFromMs_ = liveStartMs_.load();
    live_ = on;
}

qint64 PackModel::uptimeSeconds() const
{
    return uptimeBase_ + (live_ ? (steadyMs() - uptimeFromMs_) / 1000 : 0);
}

void PackModel::restartUptime()
{
    uptimeFromMs_ = steadyMs();
    uptimeBase_ = 0;
}

qint64 PackModel::liveSeconds() const
{
    return live_ ? (steadyMs() - liveStartMs_) / 1000 : 0;
}

int PackModel::drift(int seed, int periodS) const
{
    if (!live_)
        return 0;
    return int((seed + liveSeconds() / periodS) % 3) - 1;
}

void PackModel::install(ControlUnitSim& sim)
{
    static const char* const names[] = {"TD1", "ST1", "IN1", "OT1", "CS1", "ID1", "BV1", "CV1", "BC1", "BT1",
                                        "BT3", "DT1", "BB1", "BB3", "CV2", "SE1", "CG1", "BV2", "BT2", "BB2",
                                        "BT4", "BB4", "CMV1", "BW1"};
    for (const char* n : names) {
        sim.setHandler(QString::fromLatin1(n), [this](ControlUnitSim& s, const ControlUnitSim::Sentence& q) {
            if (q.name == QLatin1String("TD1") && q.fields.size() == 6) {
                // The tool sets the clock: "%04i,%02i,%02i,%02i,%02i,%02i".
                const QDateTime t(QDate(q.fields[0].toInt(), q.fields[1].toInt(), q.fields[2].toInt()),
                                  QTime(q.fields[3].toInt(), q.fields[4].toInt(), q.fields[5].toInt()), Qt::UTC);
                std::lock_guard<std::mutex> lock(mutex_);
                if (t.isValid())
                    clockAtStart_ = t.toSecsSinceEpoch() - 946684800 - liveSeconds();
                return;
            }
            if (q.fields.value(0) != QLatin1String("?"))
                return;
            for (const QString& line : replyFor(q.name))
                s.reply(line);
        });
    }
}

void PackModel::installConfigReplies(ControlUnitSim& sim)
{
    // The emulator's own parameter store answers "CF2"; the pack fills it.
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto it = config_.cbegin(); it != config_.cend(); ++it)
        sim.setParam(quint16(it.key()), it.value());
    sim.setParam(0x0013, quint32(strings_));
    sim.setParam(0x0100, quint32(strings_ * cells_));
}

void PackModel::setLayout(int strings, int cellsPerString)
{
    std::lock_guard<std::mutex> lock(mutex_);
    strings_ = qBound(1, strings, 31);
    cells_ = qBound(1, cellsPerString, 255);
}

int PackModel::stringCount() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return strings_;
}

int PackModel::cellsPerString() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return cells_;
}

void PackModel::setCellInvalid(int string, int cell, bool invalid)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (invalid)
        invalid_.insert({string, cell});
    else
        invalid_.remove({string, cell});
}

void PackModel::setWireBroken(int string, int wire, bool broken)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (broken)
        wireBreaks_.insert({string, wire});
    else
        wireBreaks_.remove({string, wire});
}

void PackModel::setCurrentDeciAmps(int deciAmps)
{
    std::lock_guard<std::mutex> lock(mutex_);
    currentDeciAmps_ = deciAmps;
}

void PackModel::setSocHundredths(int hundredths)
{
    std::lock_guard<std::mutex> lock(mutex_);
    socHundredths_ = hundredths;
}

void PackModel::setMasterSlaveUnits(int units)
{
    std::lock_guard<std::mutex> lock(mutex_);
    msUnits_ = qBound(0, units, 32);
}

void PackModel::setConfigValue(int id, uint32_t value)
{
    std::lock_guard<std::mutex> lock(mutex_);
    config_[id] = value;
}

uint32_t PackModel::configValue(int id) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return config_.value(id, 0);
}

void PackModel::setModuleVersionsAnswered(bool on)
{
    std::lock_guard<std::mutex> lock(mutex_);
    answerModuleVersions_ = on;
}

// Codes are computed from the position so that the pack looks alive but
// stays the same from one query to the next.
int PackModel::cellVoltageCode(int string, int cell) const
{
    if (invalid_.contains({string, cell}))
        return 0xFF;
    // 3.27 .. 3.33 V, live one step either way
    return 130 + ((string * 7 + cell * 3) % 7) - 3 + drift(string * 5 + cell, 2);
}

int PackModel::cellTemperatureCode(int string, int cell) const
{
    return 125 + ((string * 5 + cell) % 5) - 2 + drift(string + cell * 2, 7); // 23 .. 27 degC, live +-1
}

int PackModel::balancingRateCode(int string, int cell) const
{
    // The highest cells balance.
    const int v = cellVoltageCode(string, cell);
    return (v != 0xFF && v >= 132) ? 64 * (v - 131) : 0;
}

uint32_t PackModel::wireBreakWord(int string, int word) const
{
    uint32_t w = 0;
    for (const auto& b : wireBreaks_)
        if (b.first == string && b.second / 32 == word)
            w |= 1u << (b.second % 32);
    return w;
}

int PackModel::liveCells() const
{
    int n = 0;
    for (int s = 0; s < strings_; ++s)
        for (int c = 0; c < cells_; ++c)
            if (cellVoltageCode(s, c) != 0xFF)
                ++n;
    return n;
}

int PackModel::totalCentivolts() const
{
    // Strings are in parallel: the pack voltage is one string's sum.
    int sum = 0;
    for (int c = 0; c < cells_; ++c) {
        const int v = cellVoltageCode(0, c);
        sum += v == 0xFF ? 330 : v + 200;
    }
    return sum;
}

QStringList PackModel::replyFor(const QString& name) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (name == QLatin1String("BV2") || name == QLatin1String("BT2") || name == QLatin1String("BB2") ||
        name == QLatin1String("BT4") || name == QLatin1String("BB4") || name == QLatin1String("CMV1") ||
        name == QLatin1String("BW1"))
        return cellSentences(name);
    const QString line = statusLine(name);
    return line.isEmpty() ? QStringList() : QStringList{line};
}

QStringList PackModel::cellSentences(const QString& name) const
{
    QStringList out;
    for (int s = 0; s < strings_; ++s) {
        const int first = s * cells_;
        if (name == QLatin1String("CMV1")) {
            if (!answerModuleVersions_)
                return {};
            QString vers;
            for (int c = 0; c < cells_; ++c)
                vers += hex2(120 + s); // 1.20, 1.21, ...
            out << QStringLiteral("CMV1,%1,%2,%3,%4").arg(hex(uint32_t(s)), hex(uint32_t(first) & 0xFFu),
                                                          hex(uint32_t(cells_)), vers);
            continue;
        }
        if (name == QLatin1String("BW1")) {
            QString line = QStringLiteral("BW1,%1,0,0").arg(hex(uint32_t(s)));
            const int words = cells_ / 32 + 1; // cells + 1 boundary wires
            for (int w = 0; w < words; ++w)
                line += QLatin1Char(',') + QString::asprintf("%08X", wireBreakWord(s, w));
            out << line;
            continue;
        }
        QString data;
        for (int c = 0; c < cells_; ++c) {
            int code = 0;
            if (name == QLatin1String("BV2"))
                code = cellVoltageCode(s, c);
            else if (name == QLatin1String("BT2"))
                code = cellTemperatureCode(s, c);
            else if (name == QLatin1String("BT4"))
                code = cellTemperatureCode(s, c) - 3; // the external sensors read a little cooler
            else if (name == QLatin1String("BB2"))
                code = balancingRateCode(s, c);
            else // BB4: balancing current, 0.01 A
                code = balancingRateCode(s, c) ? 12 : 0;
            data += hex2(code);
        }
        out << QStringLiteral("%1,%2,%3,0,%4").arg(name, hex(uint32_t(s)), hex(uint32_t(first)), data);
    }
    return out;
}

QString PackModel::statusLine(const QString& name) const
{
    int vMin = 255, vMax = 0, vSum = 0, vN = 0, tMin = 255, tMax = 0, tSum = 0, bMin = 255, bMax = 0, bSum = 0;
    const int cells = strings_ * cells_;
    for (int s = 0; s < strings_; ++s)
        for (int c = 0; c < cells_; ++c) {
            const int v = cellVoltageCode(s, c);
            if (v != 0xFF) {
                vMin = qMin(vMin, v);
                vMax = qMax(vMax, v);
                vSum += v;
                ++vN;
            }
            const int t = cellTemperatureCode(s, c);
            tMin = qMin(tMin, t);
            tMax = qMax(tMax, t);
            tSum += t;
            const int b = balancingRateCode(s, c);
            bMin = qMin(bMin, b);
            bMax = qMax(bMax, b);
            bSum += b;
        }
    const int vAvg = vN ? vSum / vN : 0;
    const int tAvg = cells ? tSum / cells : 0;
    const int bAvg = cells ? bSum / cells : 0;
    const int packCv = totalCentivolts();
    const int capacityC = 100 * 3600 * strings_ / 4; // 25 Ah a string
    const int chargeC = int(int64_t(capacityC) * socHundredths_ / 10000);
    const int currentDeciAmps = currentDeciAmps_ + 3 * drift(0, 3);

    if (name == QLatin1String("TD1")) {
        if (!live_)
            return QStringLiteral("TD1,26,12,10,13,30,5,0,%1").arg(hex(kUptimeAtStart));
        const QDateTime t = QDateTime::fromSecsSinceEpoch(clockAtStart_ + 946684800 + liveSeconds(), Qt::UTC);
        return QStringLiteral("TD1,%1,0,%2")
            .arg(t.toString(QStringLiteral("yy,MM,dd,HH,mm,ss")), hex(uint32_t(uptimeSeconds())));
    }
    if (name == QLatin1String("ST1"))
        // stage, error, parameter, duration, cells comm (39 = OK), protection low,
        // power reduction, pins (ignition, contactor, fan), protection high, -, warnings
        return QStringLiteral("ST1,0,0,0,0,27,0,0,%1,0,0,0").arg(hex((1u << 4) | (1u << 12) | (1u << 13)));
    if (name == QLatin1String("IN1"))
        return QStringLiteral("IN1,20");
    if (name == QLatin1String("OT1"))
        return QStringLiteral("OT1,0,0,0");
    if (name == QLatin1String("CS1"))
        return QStringLiteral("CS1,00,0,0,0,0,0");
    if (name == QLatin1String("ID1"))
        return QStringLiteral("ID1,DEMO-PACK-01");
    if (name == QLatin1String("BV1"))
        return QStringLiteral("BV1,%1,%2,%3,%4,%5")
            .arg(hex(uint32_t(liveCells())), hex2(vMin), hex2(vMax), hex2(vAvg), hex(uint32_t(packCv)));
    if (name == QLatin1String("CV1"))
        return QStringLiteral("CV1,%1,%2,200,201,1FF,200,400,410,%3,%4")
            .arg(hex(uint32_t(packCv)), signedHex(currentDeciAmps, 4), signedHex(16, 4), signedHex(-16, 4));
    if (name == QLatin1String("CV2"))
        return QStringLiteral("CV2,1,%1,%2,%3,%4")
            .arg(signedHex(int64_t(currentDeciAmps) * 100, 8), signedHex(int64_t(packCv) * 10, 8),
                 signedHex(int64_t(packCv) * 10 - 40, 8), signedHex(12000, 8));
    if (name == QLatin1String("BC1"))
        return QStringLiteral("BC1,%1,%2,%3,%4,%5,%6")
            .arg(signedHex(chargeC, 8), hex(uint32_t(capacityC)), signedHex(socHundredths_, 4), signedHex(9800, 4),
                 floatHex(0.0012f), signedHex(socHundredths_, 4));
    if (name == QLatin1String("BT1"))
        return QStringLiteral("BT1,%1,%2,%3,%4").arg(hex(uint32_t(strings_)), hex2(tMin - 1), hex2(tMax + 1), hex2(tAvg));
    if (name == QLatin1String("BT3"))
        return QStringLiteral("BT3,%1,%2,%3,%4").arg(hex(uint32_t(cells)), hex2(tMin), hex2(tMax), hex2(tAvg));
    if (name == QLatin1String("BB1"))
        return QStringLiteral("BB1,%1,%2,%3,%4,0,%5").arg(hex(uint32_t(cells)), hex2(bMin), hex2(bMax), hex2(bAvg), hex2(132));
    if (name == QLatin1String("BB3"))
        return QStringLiteral("BB3,%1,0,%2,%3").arg(hex(uint32_t(cells)), hex(bMax ? 12 : 0), hex(bAvg ? 3 : 0));
    if (name == QLatin1String("DT1"))
        return QStringLiteral("DT1,0,0,0,FFFF,1388,1194,FFFF,FFFF,1200,1400,FFFF,FFFF,FFFF");
    if (name == QLatin1String("SE1"))
        return QStringLiteral("SE1,%1,%2,%3,%4,%5")
            .arg(floatHex(float(socHundredths_) / 10000.0f), floatHex(3.30f), floatHex(0.0012f),
                 floatHex(float(capacityC) / float(strings_)), floatHex(0.012f));
    if (name == QLatin1String("CG1")) {
        QString line = QStringLiteral("CG1,1,0");
        for (int n = 1; n <= 32; ++n) {
            const bool present = n <= strings_;
            line += present ? QStringLiteral(",1,%1").arg(hex(uint32_t(cells_))) : QStringLiteral(",0,0");
        }
        return line;
    }
    return QString();
}

QString PackModel::masterSlaveRow(int row, bool full) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    const uint32_t serial = 500 + uint32_t(row);
    QString line = QStringLiteral("MS2,%1,%2,%3,%4,%5,%6,%7")
                       .arg(hex(uint32_t(msUnits_)), hex(uint32_t(row)), row == 0 ? "1" : "0", hex(serial),
                            hex(0xA0 + 0x10 * uint32_t(row)), hex(uint32_t(row)), "1");
    if (!full)
        return line;
    const int packCv = totalCentivolts() + row * 3;
    // total, cell V (min/max/avg), temperatures, balancing rates, external
    // temperatures, balancing currents
    line += QStringLiteral(",%1,%2,%3,%4,%5,%6,%7,%8,%9")
                .arg(hex(uint32_t(packCv)), hex(127 + row), hex(133 + row), hex(130 + row), hex(123), hex(127),
                     hex(125), hex(0), hex(128));
    line += QStringLiteral(",%1,%2,%3,%4,%5,%6,%7").arg(hex(20), hex(120), hex(122), hex(121), hex(0), hex(25), hex(5));
    return line;
}

QString PackModel::networkFrame(int kind) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    const uint32_t splitter = 123456;
    const QString data = QString::asprintf("%02X%02X%02X%02X%02X%02X%02X%02X", kind & 0xFF, splitter & 0xFF,
                                           (splitter >> 8) & 0xFF, (splitter >> 16) & 0xFF, (splitter >> 24) & 0xFF,
                                           0, 1, 0);
    return QString::asprintf("CN1,%08X,1,0,8,", config_.value(0x1E00, 0x19B4FFFF)) + data;
}

void PackModel::sendMasterSlave(ControlUnitSim& sim, bool full) const
{
    int units;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        units = msUnits_;
    }
    for (int r = 0; r < units; ++r)
        sim.reply(masterSlaveRow(r, full));
    sim.reply(networkFrame());
}
