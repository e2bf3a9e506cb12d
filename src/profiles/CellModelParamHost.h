#pragma once

#include <QString>

#include <cstdint>

class ConfigParam;
class QWidget;

// What the cell model page needs of the configuration page: its parameter
// factory, the text of a parameter and a parameter write, and the page's
// sentence and firmware-feature services. The configuration page implements
// it (it derives from it); tests give a stand-in. GUI thread only.
class CellModelParamHost
{
public:
    virtual ~CellModelParamHost() = default;

    // The editor of a configuration parameter (unplaced, disabled until the
    // page's access rules allow it); out receives its ConfigParam.
    virtual QWidget* createParamWidget(const QString& name, int kind, int id, int valueType, double minimum,
                                       double maximum, int offset, double scale, ConfigParam** out, int featureId,
                                       bool isFloat, uint32_t hexLow, uint32_t hexHigh) = 0;
    // The same with offset 0 and a step of 10^-decimals, without a value converter.
    virtual QWidget* createParamWidgetByDecimals(const QString& name, int kind, int id, int valueType, double minimum,
                                                 double maximum, int decimals, ConfigParam** out, int featureId,
                                                 bool isFloat, uint32_t hexLow, uint32_t hexHigh) = 0;
    // Text shown by the first editor of the id; empty until a value is known.
    virtual QString paramText(int id) const = 0;
    // Puts the text into the first editor of the id and writes it to the unit;
    // false when nothing was written (a value never read from the unit).
    virtual bool submitParamText(int id, const QString& text) = 0;
    // A sentence to the unit; no reply is awaited.
    virtual void sendSentence(const QString& name, const QString& parameters, unsigned delayMs, int timeoutMs) = 0;
    // The widget is shown only while the unit's firmware has the feature.
    virtual QWidget* registerFeatureWidget(QWidget* widget, int featureId, int mode) = 0;
};
