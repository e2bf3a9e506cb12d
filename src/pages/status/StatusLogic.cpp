#include "StatusLogic.h"

#include "CellStringLayout.h"
#include "FieldText.h"

#include <QCoreApplication>

namespace StatusLogic {

namespace {

uint32_t hexOrZero(const QString& s)
{
    uint32_t v = 0;
    return FieldText::readHex32(s, &v) ? v : 0;
}

QString tr(const char* text)
{
    return QCoreApplication::translate("StatusPage", text);
}

} // namespace

QString firmwareVersion(const QString& versionLine)
{
    const QStringList f = versionLine.split(QLatin1Char(','));
    return f.size() > 3 ? f.at(3) : QString();
}

KindDecision decideHardwareKind(const QString& line, int currentKind, bool currentKnown)
{
    KindDecision d;
    d.kind = currentKind;
    d.known = currentKnown;
    if (!line.startsWith(QLatin1String("VR1")) || currentKnown)
        return d;
    d.examined = true;
    const QStringList f = line.split(QLatin1Char(','));
    const QString kind = f.value(1);
    const QString version = f.value(3);
    if (kind == QLatin1String("BMS1") || version.startsWith(QLatin1String("2.0"))) {
        d.kind = 1;
        d.known = true;
    } else if (kind == QLatin1String("BMS2") || kind == QLatin1String("BMS3")) {
        d.kind = 2;
        d.known = true;
    }
    if (d.kind == 1)
        d.tab = MasterSlaveTabAction::Remove;
    else if (d.kind == 2)
        d.tab = MasterSlaveTabAction::Restore;
    return d;
}

uint16_t cellsPeriodFor(uint32_t value)
{
    const uint16_t v = uint16_t(value & 0xFFFFu);
    return v < 5 ? 5 : v;
}

QString framePrefixFor(uint32_t value)
{
    return QString::asprintf("CN1,%08X", value);
}

MasterSlaveDecision masterSlaveFor(uint32_t value, int kind, bool kindKnown, bool feature75Supported)
{
    MasterSlaveDecision d;
    d.extColumns = kindKnown && kind == 2 && (value & 0x04000000u) && feature75Supported;
    if (kind == 2) {
        d.active = (value & 0x00804200u) == 0x00804200u;
        d.setTabEnabled = true;
    }
    return d;
}

QVector<QPair<int, bool>> chargerTypeGroupCalls(uint32_t value, bool feature17Supported)
{
    if (!feature17Supported)
        return {};
    switch (value) {
    case 5:
        return {{0, true}, {1, false}, {7, false}};
    case 6:
        return {{1, true}, {0, false}, {7, false}};
    case 8:
        return {{7, true}, {0, false}, {1, false}};
    default:
        return {{0, false}, {1, false}, {7, false}};
    }
}

bool isLithiumTitanate(const QString& vr1Line, bool ltoSupportEnabled)
{
    return vr1Line.contains(QLatin1String("SCiB")) || ltoSupportEnabled;
}

ModuleVersions parseModuleVersions(const QString& sentence)
{
    ModuleVersions r;
    const QStringList f = sentence.split(QLatin1Char(','));
    bool emptyField = false;
    for (int i = 1; i <= 4 && i < f.size(); ++i)
        emptyField = emptyField || f.at(i).isEmpty();
    if (f.size() < 5 || emptyField) {
        r.debugText = QString::asprintf("Fields in CMV1 %d", int(f.size()));
        return r;
    }
    r.ok = true;
    r.string = int(hexOrZero(f.at(1)) & 0xFFu);
    r.firstPosition = int(hexOrZero(f.at(2)) & 0xFFu);
    const int count = int(hexOrZero(f.at(3)) & 0xFFFFu);
    const QString& data = f.at(4);
    // Positions past the module table are dropped here, so a large count
    // never walks far beyond it.
    for (int i = 0; i < count && r.firstPosition + i < kCellModulePositions; ++i) {
        int v = 0;
        if (2 * i + 1 < data.size()) {
            const int hi = FieldText::hexDigit(data.at(2 * i));
            const int lo = FieldText::hexDigit(data.at(2 * i + 1));
            if (hi >= 0 && lo >= 0)
                v = hi * 16 + lo;
        }
        r.versions.append(v);
    }
    return r;
}

WireBreaks parseWireBreaks(const QString& sentence)
{
    WireBreaks r;
    const QStringList f = sentence.split(QLatin1Char(','));
    if (f.size() < 4) {
        // Nothing to store: the line ends here after the debug text.
        r.debugText = QString::asprintf("Fields in BW1 %d", int(f.size()));
        return r;
    }
    r.ok = true;
    if (sentence == QLatin1String("BW1,,,,,,")) {
        r.clearAll = true;
        return r;
    }
    r.string = int(hexOrZero(f.at(1)) & 0xFFu);
    r.firstWord = int(((hexOrZero(f.at(2)) & 0xFFFFu) >> 5) & 0xFFu);
    for (int k = 4; k < f.size() && r.firstWord + (k - 4) < kWireBreakWords; ++k)
        r.words.append(hexOrZero(f.at(k)));
    return r;
}

QString msDecimalText(uint32_t v)
{
    return QString::number(v);
}

QString msRoleText(uint32_t v)
{
    return v == 1 ? QStringLiteral("Master") : QStringLiteral("Slave");
}

QString msCanIdText(uint32_t v)
{
    return QStringLiteral("0x") + QString::number(v, 16).toUpper();
}

QString msContactorText(uint32_t v)
{
    return v == 1 ? QStringLiteral("On") : QStringLiteral("Off");
}

QString msVoltageText(uint32_t v)
{
    return QStringLiteral("%1 V").arg(double(v) / 100.0, 0, 'f', 2);
}

QString msCellVoltageText(uint32_t v, double cellVoltageOffset)
{
    if (v == 0)
        return QStringLiteral("0.00 V");
    return QStringLiteral("%1 V").arg(double(v) / 100.0 + cellVoltageOffset, 0, 'f', 2);
}

QString msTemperatureText(uint32_t v)
{
    if (v >= 1 && v <= 254)
        return QString::asprintf("%d", int(v) - 100) + QString::fromUtf8("\u00b0C");
    return tr(QT_TRANSLATE_NOOP("StatusPage", "Invalid"));
}

QString msBalancingRateText(uint32_t v)
{
    return QStringLiteral("%1 %").arg(qint64(double(v) / 2.55));
}

QString msCurrentText(uint32_t v)
{
    return QStringLiteral("%1 A").arg(double(v) / 100.0, 0, 'g', 3);
}

double msCellVoltageOffset(const QString& versionLine, bool ltoSupportEnabled)
{
    const QStringList f = versionLine.split(QLatin1Char(','));
    const QString version = f.size() > 3 ? f.at(3) : QString();
    return (version.contains(QLatin1String("SCiB")) || ltoSupportEnabled) ? 1.0 : 2.0;
}

MasterSlaveRow decodeMasterSlaveRow(const QString& sentence, double cellVoltageOffset)
{
    MasterSlaveRow r;
    if (!sentence.startsWith(QLatin1String("MS2,")) || sentence.count(QLatin1Char(',')) < 2)
        return r;
    r.decoded = true;
    const QStringList parts = sentence.split(QLatin1Char(','));
    const int carried = qMin(int(parts.size()) - 1, 23);
    uint32_t field[23] = {};
    for (int i = 0; i < carried; ++i)
        field[i] = hexOrZero(parts.at(i + 1));
    r.count = int(qMin<uint32_t>(field[0], kMasterSlaveRows));
    r.row = field[1] < uint32_t(kMasterSlaveRows) ? int(field[1]) : -1;
    r.full = carried >= 8;

    const int columns = r.full ? kMasterSlaveColumns : 5;
    for (int col = 0; col < columns; ++col) {
        const int k = col == 0 ? 3 : (col == 1 ? 2 : col + 2);
        if (k >= carried) {
            r.texts.append(QString());
            continue;
        }
        const uint32_t v = field[k];
        QString t;
        switch (col) {
        case 0:
        case 3:
            t = msDecimalText(v);
            break;
        case 1:
            t = msRoleText(v);
            break;
        case 2:
            t = msCanIdText(v);
            break;
        case 4:
            t = msContactorText(v);
            break;
        case 5:
            t = msVoltageText(v);
            break;
        case 6:
        case 7:
        case 8:
            t = msCellVoltageText(v, cellVoltageOffset);
            break;
        case 12:
        case 13:
        case 14:
            t = msBalancingRateText(v);
            break;
        case 18:
        case 19:
        case 20:
            t = msCurrentText(v);
            break;
        default: // 9-11, 15-17
            t = msTemperatureText(v);
            break;
        }
        r.texts.append(t);
    }
    return r;
}

NetworkFrame decodeNetworkFrame(const QString& sentence)
{
    NetworkFrame r;
    const QStringList f = sentence.split(QLatin1Char(','));
    if (f.size() < 6)
        return r;
    uint32_t length = 0;
    if (!FieldText::readDec32(f.at(4), &length) || length != 8)
        return r;
    uint8_t b[8] = {};
    const QString& data = f.at(5);
    for (int i = 0; i < 8; ++i) {
        if (2 * i + 1 >= data.size())
            break;
        const int hi = FieldText::hexDigit(data.at(2 * i));
        const int lo = FieldText::hexDigit(data.at(2 * i + 1));
        if (hi >= 0 && lo >= 0)
            b[i] = uint8_t(hi * 16 + lo);
    }
    if (b[0] != 1)
        return r;
    r.used = true;
    const uint32_t serial = uint32_t(b[1]) | (uint32_t(b[2]) << 8) | (uint32_t(b[3]) << 16) | (uint32_t(b[4]) << 24);
    r.serial = QString::number(serial);
    static const char* const states[4] = {
        QT_TRANSLATE_NOOP("StatusPage", "Network OK"), QT_TRANSLATE_NOOP("StatusPage", "Internal bus fail"),
        QT_TRANSLATE_NOOP("StatusPage", "Common bus fail"), QT_TRANSLATE_NOOP("StatusPage", "Internal & common bus fail")};
    static const char* const roles[4] = {
        QT_TRANSLATE_NOOP("StatusPage", "BMS slave"), QT_TRANSLATE_NOOP("StatusPage", "BMS master"),
        QT_TRANSLATE_NOOP("StatusPage", "BMS Config err"), QT_TRANSLATE_NOOP("StatusPage", "Config err & BMS master")};
    if (b[5] <= 3)
        r.state = tr(states[b[5]]);
    if (b[6] <= 3)
        r.role = tr(roles[b[6]]);
    return r;
}

uint16_t masterSlaveTickLimit(uint16_t timeoutBase)
{
    return uint16_t(timeoutBase + 5);
}

} // namespace StatusLogic
