#pragma once

#include <QString>
#include <QVector>

// The curve arithmetic of the external temperature calibration window: the
// built-in thermistor curve sets, the ADC position of a resistance, the
// interpolated curve values and the "TC2" parameters. No widgets.
namespace TemperatureCalibration {

struct CurveSet
{
    QVector<int> temperatures; // °C, cold to hot
    QVector<int> resistances;  // Ω
    QVector<int> adcCodes;     // 10-bit
    double pullUp = 0.0;       // Ω
};

// Sets A (19 points), B (43) and C (37) as the firmware defines them.
const CurveSet& curveSetA();
const CurveSet& curveSetB();
const CurveSet& curveSetC();
// The set of a "Module:" combo index; A for anything unknown (-1 too).
const CurveSet& curveSetForModule(int index);
// The combo entries in order.
QStringList moduleNames();

// ADC position x = 1024 R / (R + P).
double adcPosition(double resistance, double pullUp);

// Rounded half up (the same rule mirrored for negatives).
int roundHalfUp(double x);

struct Coefficients
{
    int beta = 1000;  // thousandths, 1000..1150
    int gamma = 1000; // thousandths, 1000..1150
    int delta = 0;    // °C, -128..127
};

// The temperature of keys[index] interpolated over the curve keys and the
// set's temperatures; current: with the coefficients bent in. False when the
// two bracketing keys round to the same ADC code (no slope): the point is
// then left out.
bool curveValue(const QVector<double>& keys, const QVector<int>& temperatures, int index, bool current,
                const Coefficients& c, int* value);

// "IIII,BB,GG,DD": module id (0 = all) in upper-case hexadecimal, at least 4
// digits, then beta - 1000, gamma - 1000 and delta as two hexadecimal digits.
QString tc2Parameters(unsigned moduleId, const Coefficients& c);

} // namespace TemperatureCalibration
