#include "ParamConversion.h"

#include "ConfigParam.h"

#include <cmath>
#include <cstring>

namespace ParamConversion {

double roundHalfAway(double v)
{
    return std::round(v); // std::round rounds halves away from zero
}

int decimalsForScale(double scale)
{
    if (!(scale > 0.0) || !std::isfinite(scale))
        return 0;
    const double d = roundHalfAway(std::log10(1.0 / scale));
    if (d < 0.0)
        return 0;
    if (d > 11.0)
        return 11;
    return int(d);
}

int valueWidth(int id)
{
    switch ((id >> 8) & 3) {
    case 0:
        return 1;
    case 1:
        return 2;
    case 2:
        return 4;
    default:
        return 0;
    }
}

uint32_t widthMask(int id)
{
    switch (valueWidth(id)) {
    case 1:
        return 0xFFu;
    case 2:
        return 0xFFFFu;
    case 4:
        return 0xFFFFFFFFu;
    default:
        return 0;
    }
}

static double limited(const ConfigParam& p, double v)
{
    if (v < p.minimum)
        return p.minimum;
    if (v > p.maximum)
        return p.maximum;
    return v;
}

// The raw number of an integer word. A range reaching below the offset's
// value writes negative raw values as two's complement of the id's width
// (rawFromValue): those read back signed, as long as the editor owns the
// whole width.
static double rawNumber(const ConfigParam& p, uint32_t m)
{
    const uint32_t width = widthMask(p.paramId());
    const bool negativeWritable = p.minimum < double(p.offset) * p.scale;
    if (!negativeWritable || width == 0 || (p.bitMask & width) != width)
        return double(m);
    const uint32_t bits = m & width;
    const uint32_t sign = (width >> 1) + 1;
    return (bits & sign) ? double(int64_t(bits) - int64_t(width) - 1) : double(bits);
}

double shownValue(const ConfigParam& p, uint32_t word, bool isFloat)
{
    const uint32_t m = word & p.bitMask;
    double v;
    if (isFloat) {
        float f;
        std::memcpy(&f, &m, sizeof f);
        v = double(p.offset) + double(f);
    } else {
        v = (double(p.offset) + rawNumber(p, m)) * p.scale;
    }
    return limited(p, v);
}

uint32_t shownHexValue(const ConfigParam& p, uint32_t word)
{
    return p.shownRaw(word & p.bitMask);
}

uint32_t rawFromValue(const ConfigParam& p, double value, bool isFloat)
{
    const double v = limited(p, value);
    if (isFloat) {
        const float f = float(v - double(p.offset));
        uint32_t bits;
        std::memcpy(&bits, &f, sizeof bits);
        return bits;
    }
    if (p.scale == 0.0)
        return 0;
    const double raw = roundHalfAway(v / p.scale - double(p.offset));
    // Beyond 64 bits nothing sensible remains; the limits keep real editors far below.
    if (!std::isfinite(raw) || std::fabs(raw) >= 9.2e18)
        return 0;
    return uint32_t(uint64_t(int64_t(raw)));
}

QString twoCharsText(uint32_t value)
{
    QString text;
    text += QChar(ushort((value >> 8) & 0xFF));
    text += QChar(ushort(value & 0xFF));
    return text;
}

uint32_t twoCharsValue(const QString& text)
{
    uint32_t first = 0, second = 0;
    if (text.size() > 0 && text.at(0).unicode() < 256)
        first = text.at(0).unicode();
    if (text.size() > 1 && text.at(1).unicode() < 256)
        second = text.at(1).unicode();
    return first * 256u + second;
}

QString canIdText(uint32_t value, int valueType)
{
    if (valueType == CanId13)
        return QString::asprintf("0x%04X", value & 0xFFFFu);
    return QString::asprintf("0x%08X", value);
}

bool parseCanIdText(const QString& text, uint32_t* value)
{
    QString digits = text;
    digits.remove(QLatin1Char('x'));
    digits.remove(QLatin1Char('X'));
    if (digits.isEmpty()) {
        *value = 0;
        return true;
    }
    bool ok = false;
    const uint v = digits.toUInt(&ok, 16);
    if (ok)
        *value = v;
    return ok;
}

bool parseDecimalText(const QString& text, double* value)
{
    QString t = text;
    t.replace(QLatin1Char(','), QLatin1Char('.'));
    bool ok = false;
    const double v = t.trimmed().toDouble(&ok);
    if (ok && std::isfinite(v))
        *value = v;
    return ok && std::isfinite(v);
}

} // namespace ParamConversion
