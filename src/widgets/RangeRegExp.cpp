#include "RangeRegExp.h"

#include <QByteArray>
#include <QRegExp>
#include <QString>

#include <cmath>
#include <utility>
#include <vector>

namespace {

using Range = std::pair<qint64, qint64>;

// The last non-zero digit and every zero after it become 9: 120 -> 199.
qint64 fillNines(qint64 v)
{
    QByteArray s = QByteArray::number(v);
    for (int i = s.size() - 1; i >= 0; --i) {
        const bool stop = s[i] != '0';
        s[i] = '9';
        if (stop)
            break;
    }
    return s.toLongLong();
}

// The last non-9 digit and every 9 after it become 0: 249 -> 200.
qint64 fillZeros(qint64 v)
{
    QByteArray s = QByteArray::number(v);
    for (int i = s.size() - 1; i >= 0; --i) {
        const bool stop = s[i] != '9';
        s[i] = '0';
        if (stop)
            break;
    }
    return s.toLongLong();
}

QByteArray subPattern(qint64 a, qint64 b, int decimals)
{
    QByteArray sa = QByteArray::number(a);
    QByteArray sb = QByteArray::number(b);
    if (decimals > 0) {
        sa = sa.rightJustified(decimals + 1, '0');
        sb = sb.rightJustified(decimals + 1, '0');
    }
    QByteArray out;
    for (int i = 0; i < sa.size() && i < sb.size(); ++i) {
        if (decimals > 0 && i == sa.size() - decimals)
            out += "(\\.|\\,)";
        const char x = sa[i];
        const char y = sb[i];
        if (x == y) {
            out += x;
        } else {
            out += '[';
            out += qMin(x, y);
            out += '-';
            out += qMax(x, y);
            out += ']';
        }
    }
    return out;
}

} // namespace

void buildRangeRegExp(QRegExp* exp, double min, double max, int decimals)
{
    if (!exp || std::isnan(min) || std::isnan(max))
        return;
    const double lo = qMin(min, max);
    const double hi = qMax(min, max);
    if (lo < 0)
        return;
    const int d = static_cast<unsigned char>(decimals);
    // Nines-filling may add a digit's worth of nines: stay clear of 2^63.
    const double limit = 1e18;
    const double scale = std::pow(10.0, d);
    if (!(hi * scale < limit))
        return;
    const qint64 L = std::llround(lo * scale);
    const qint64 H = std::llround(hi * scale);

    std::vector<Range> up;
    std::vector<Range> down;
    qint64 s = L;
    for (;;) {
        const qint64 c = fillNines(s);
        if (c >= H)
            break;
        up.emplace_back(s, c);
        s = c + 1;
    }
    qint64 e = H;
    for (;;) {
        const qint64 z = fillZeros(e);
        if (z <= s)
            break;
        down.emplace_back(z, e);
        e = z - 1;
    }

    std::vector<Range> ranges = up;
    ranges.emplace_back(s, e);
    ranges.insert(ranges.end(), down.rbegin(), down.rend());

    QByteArray pattern;
    for (const Range& r : ranges) {
        if (!pattern.isEmpty())
            pattern += '|';
        pattern += subPattern(r.first, r.second, d);
    }
    exp->setPattern(QString::fromLatin1(pattern));
}
