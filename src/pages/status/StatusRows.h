#pragma once

#include <QString>
#include <QVector>

class Param;

// The Status page's value rows as data: what each row binds (sentence, field,
// conversion), how it is captioned and which firmware feature shows it. The
// tab builders walk these tables; tests read them without building a page.

// Value-name and flag-name sets a row's Param is given.
enum class StatusNames {
    None,
    CellsCommunication,
    ChargingStage,
    ChargerConnection,
    LastError47,
    LastError50,
    InputPinIN1,   // 0 Inactive, 1 Active
    InputPinST1,   // as IN1, plus 2 Not mapped
    OutputPinOT1,  // 0 OFF, 1 ON
    OutputPinST1,  // as OT1, plus 2 Not mapped
    VehicleNA,     // raw -1 shows "N/A"
    Protection47,
    Protection48,
    Protection49,
    Protection111,
    Warning111,
    PowerReduction47,
    PowerReduction50,
    DeviceState,   // CAN device states 0..4
    CellCount,     // 0 shows "None"
};

// Which tip a row's value label carries.
enum class StatusTip {
    None,
    Uptime,
    CellsCommunication,
    Protection,
    Warning,
    PowerReduction,
    IgnitionKey,
    ChargerAc,
    FastCharge,
    Charger,
    ChargingIndicator,
    LowBatteryIndicator,
    Buzzer,
    Heater,
    ChargingStage,
    StageDuration,
    LastError,
    LastErrorParameter,
    AverageConsumption,
    LastTripConsumption,
};

struct StatusRowSpec
{
    const char* label;    // the caption label ("BMS Time:"), translatable
    const char* caption;  // the Param's caption (what getStatusValueText looks up)
    const char* sentence;
    int field;            // -1: the whole sentence
    int type;             // ParamValueType
    int offset;           // for type 5 the bit number
    double scale;
    int decimals;
    int row;              // grid row
    const char* unit = nullptr; // null: plain row; otherwise a unit row ("" = empty unit)
    int feature = -1;     // -1: not registered by feature
    int mode = 0;         // 1: manual entry of the feature registry
    int group = -1;       // widget group, -1 none
    bool valueOnly = false; // only the value label is registered by feature
    StatusNames names = StatusNames::None;
    StatusTip tip = StatusTip::None;
};

struct StatusGroupSpec
{
    const char* title;
    bool registerFold;    // the fold is a group of the feature registry
    bool leftAligned;     // plain rows placed with left alignment
    bool rightColumn;
    QVector<StatusRowSpec> rows;
};

// The General tab, group by group in creation order.
const QVector<StatusGroupSpec>& generalTabGroups();

// Sensors tab panels (unit rows, feature 0).
const QVector<StatusRowSpec>& canCurrentSensorRows();   // "CV2"
const QVector<StatusRowSpec>& analogCurrentSensorRows(); // "CV1"
// SOC / SOH tab: the battery state rows, and the "SE1" estimator captions.
const QVector<StatusRowSpec>& batteryStateRows();
struct EstimatorRowSpec
{
    const char* caption;
    const char* unit; // "" = none
};
const QVector<EstimatorRowSpec>& cellStateEstimateRows(); // "SE1"

// Sets a row's value names, flag names and no-flag text on its Param.
void applyStatusNames(Param* param, StatusNames names);
// The tip text of a row (translated), empty for none.
QString statusTipText(StatusTip tip);
// The maker's address at the end of two of the tips.
extern const char* const kMakerWebAddress;
