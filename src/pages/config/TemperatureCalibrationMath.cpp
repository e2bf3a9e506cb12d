#include "TemperatureCalibrationMath.h"

#include <QStringList>

#include <cmath>

namespace TemperatureCalibration {

namespace {
QVector<int> steps(int from, int to, int step)
{
    QVector<int> v;
    for (int t = from; t <= to; t += step)
        v.append(t);
    return v;
}
} // namespace

// The tables are the firmware's, copied as they are (set B repeats 27233 Ω
// at 55 and 60 °C).
const CurveSet& curveSetA()
{
    static const CurveSet set{
        {-40, -30, -20, -10, 0, 5, 10, 20, 25, 30, 40, 50, 60, 70, 80, 90, 110, 130, 150},
        {3974110, 1822600, 1020550, 575201, 337600, 261622, 204500, 126197, 100000, 79614, 51153, 33365, 22267,
         15086, 10406, 7308, 3804, 2443, 2200},
        {996, 973, 934, 874, 791, 741, 687, 571, 512, 454, 349, 267, 192, 141, 103, 76, 42, 24, 14},
        100000.0};
    return set;
}

const CurveSet& curveSetB()
{
    static const CurveSet set{
        steps(-55, 155, 5),
        {15985700, 9519670, 6010780, 3974110, 2724720, 1922600, 1388000, 1020550, 761563, 575201, 438812,
         337600, 261622, 204500, 160044, 126197, 100000, 79614, 63674, 51153, 41276, 33365, 27233, 27233,
         18287, 15086, 12501, 10406, 8701, 7308, 6166, 5226, 4449, 3804, 3268, 2819, 2443, 2043, 1643, 1243,
         843, 443, 400},
        {1012, 1008, 1002, 993, 983, 968, 950, 927, 900, 866, 827, 783, 734, 681, 625, 568, 512, 456, 404, 356,
         311, 271, 235, 204, 176, 153, 132, 114, 99, 86, 75, 65, 57, 50, 44, 38, 34, 30, 26, 23, 21, 19, 17},
        100000.0};
    return set;
}

const CurveSet& curveSetC()
{
    static const CurveSet set{
        steps(-55, 125, 5),
        {1104010, 770849, 542972, 385921, 276807, 200363, 146350, 107856, 80188, 60131, 45470, 34665, 26636,
         20690, 16088, 12640, 10000, 7964, 6383, 5148, 4177, 3410, 2797, 2308, 1914, 1595, 1336, 1124, 950, 806,
         687, 588, 505, 435, 376, 327, 285},
        {1015, 1011, 1005, 998, 988, 975, 959, 937, 910, 878, 839, 795, 744, 690, 631, 572, 512, 454, 399, 348,
         302, 260, 224, 192, 165, 141, 121, 103, 89, 76, 66, 57, 49, 43, 37, 32, 28},
        10000.0};
    return set;
}

const CurveSet& curveSetForModule(int index)
{
    switch (index) {
    case 1:
    case 5:
        return curveSetB();
    case 7:
        return curveSetC();
    default:
        return curveSetA();
    }
}

QStringList moduleNames()
{
    return {QStringLiteral("TJ730"), QStringLiteral("TJ731"), QStringLiteral("TJ741"), QStringLiteral("TJ751"),
            QStringLiteral("TJ771"), QStringLiteral("TJ791"), QStringLiteral("TJ820"), QStringLiteral("UTJ730")};
}

double adcPosition(double resistance, double pullUp)
{
    const double sum = resistance + pullUp;
    return sum == 0.0 ? 0.0 : 1024.0 * resistance / sum;
}

int roundHalfUp(double x)
{
    return x >= 0 ? int(std::trunc(x + 0.5)) : -int(std::trunc(-x + 0.5));
}

bool curveValue(const QVector<double>& keys, const QVector<int>& temperatures, int index, bool current,
                const Coefficients& c, int* value)
{
    const int n = keys.size();
    if (index < 0 || index >= n || n < 2 || temperatures.size() < n)
        return false;
    const int a = roundHalfUp(keys.at(index));
    if (a <= 9) {
        *value = 155;
        return true;
    }
    if (a > 1015) {
        *value = -100;
        return true;
    }
    int lo = n - 2;
    int hi = n - 1;
    if (a >= int(std::trunc(keys.at(0)))) {
        lo = 0;
        hi = 1;
    } else {
        for (int j = 1; j < n; ++j) {
            if (a >= int(std::trunc(keys.at(j)))) {
                lo = j - 1;
                hi = j;
                break;
            }
        }
    }
    const long long xLo = roundHalfUp(keys.at(lo));
    const long long xHi = roundHalfUp(keys.at(hi));
    if (xLo == xHi)
        return false;
    const long long mid = (xLo + xHi) / 2;
    const long long tLo = temperatures.at(lo);
    const long long tHi = temperatures.at(hi);
    long long t = 0;
    if (current)
        t = ((mid - xHi) * tLo + (c.beta * xLo / 1000 - c.gamma * mid / 1000) * tHi) / (xLo - xHi) + c.delta;
    else
        t = ((mid - xHi) * tLo + (xLo - mid) * tHi) / (xLo - xHi);
    *value = int(t > 154 ? 154 : t);
    return true;
}

QString tc2Parameters(unsigned moduleId, const Coefficients& c)
{
    return QString::asprintf("%04X,%02X,%02X,%02X", moduleId, unsigned(c.beta - 1000) & 0xFF,
                             unsigned(c.gamma - 1000) & 0xFF, unsigned(c.delta) & 0xFF);
}

} // namespace TemperatureCalibration
