#include "StatusRows.h"

#include "Param.h"

#include <QCoreApplication>

const char* const kMakerWebAddress = "https://www.example.com";

namespace {

using N = StatusNames;
using T = StatusTip;

QString tr(const char* text)
{
    return QCoreApplication::translate("StatusPage", text);
}

StatusRowSpec plain(const char* label, const char* caption, const char* sentence, int field, int type, int offset,
                    double scale, int decimals, int row, int feature = -1, N names = N::None, T tip = T::None)
{
    StatusRowSpec r{label, caption, sentence, field, type, offset, scale, decimals, row};
    r.feature = feature;
    r.names = names;
    r.tip = tip;
    return r;
}

StatusRowSpec unitRow(const char* label, const char* caption, const char* sentence, int field, int type, int offset,
                      double scale, int decimals, int row, const char* unit, int feature = -1, N names = N::None,
                      T tip = T::None)
{
    StatusRowSpec r = plain(label, caption, sentence, field, type, offset, scale, decimals, row, feature, names, tip);
    r.unit = unit;
    return r;
}

// A manual output row shown only for one charger type.
StatusRowSpec chargerRow(const char* label, const char* caption, int bit, int row, int feature, int group)
{
    StatusRowSpec r = plain(label, caption, "ST1", 7, 5, bit, 1, 0, row, feature, N::OutputPinST1);
    r.mode = 1;
    r.group = group;
    return r;
}

StatusRowSpec valueOnly(StatusRowSpec r)
{
    r.valueOnly = true;
    return r;
}

QVector<StatusGroupSpec> buildGeneral()
{
    QVector<StatusGroupSpec> g;

    g.append({QT_TRANSLATE_NOOP("StatusPage", "Time"), true, false, false,
              {
                  plain(QT_TRANSLATE_NOOP("StatusPage", "BMS Time:"), "BMS Internal Time", "TD1", -1, 13, 0, 1, 0, 0),
                  plain(QT_TRANSLATE_NOOP("StatusPage", "BMS Uptime:"), "Uptime", "TD1", 7, 11, 0, 1, 0, 1, -1,
                        N::None, T::Uptime),
              }});

    // Registered as a group of its own (kept shown: the cells communication
    // row is not tied to a feature), so that firmware without the protection
    // features hides only those rows and never the "Time" fold.
    g.append({QT_TRANSLATE_NOOP("StatusPage", "Errors, Protections"), true, true, false,
              {
                  plain(QT_TRANSLATE_NOOP("StatusPage", "Cells Communication:"), "Cells Communication", "ST1", 4, 2, 0,
                        1, 0, 0, -1, N::CellsCommunication, T::CellsCommunication),
                  plain(QT_TRANSLATE_NOOP("StatusPage", "Protection status:"), "Protection status", "ST1", 5, 2, 0, 1,
                        0, 1, 47, N::Protection47, T::Protection),
                  plain(QT_TRANSLATE_NOOP("StatusPage", "Protection status:"), "Protection status2", "ST1", 5, 2, 0, 1,
                        0, 1, 48, N::Protection48, T::Protection),
                  plain(QT_TRANSLATE_NOOP("StatusPage", "Protection status:"), "Protection status3", "ST1", 5, 2, 0, 1,
                        0, 2, 49, N::Protection49, T::Protection),
                  plain(QT_TRANSLATE_NOOP("StatusPage", "Protection status:"), "Protection status4 2", "ST1", 8, 2, 0,
                        1, 0, 3, 111, N::Protection111, T::Protection),
                  plain(QT_TRANSLATE_NOOP("StatusPage", "Warning Status:"), "Warning status1", "ST1", 10, 2, 0, 1, 0, 4,
                        111, N::Warning111, T::Warning),
                  plain(QT_TRANSLATE_NOOP("StatusPage", "Power Reduction:"), "Power Reduction status", "ST1", 6, 2, 0, 1,
                        0, 5, 47, N::PowerReduction47, T::PowerReduction),
                  plain(QT_TRANSLATE_NOOP("StatusPage", "Power Reduction:"), "Power Reduction status", "ST1", 6, 2, 0, 1,
                        0, 6, 50, N::PowerReduction50, T::PowerReduction),
              }});

    g.append({QT_TRANSLATE_NOOP("StatusPage", "Input Pins Status"), true, false, false,
              {
                  plain(QT_TRANSLATE_NOOP("StatusPage", "Ignition Key:"), "Ignition Input", "IN1", 0, 5, 5, 1, 0, 0, 51,
                        N::InputPinIN1, T::IgnitionKey),
                  plain(QT_TRANSLATE_NOOP("StatusPage", "Charger AC:"), "Mains Input", "IN1", 0, 5, 4, 1, 0, 1, 51,
                        N::InputPinIN1, T::ChargerAc),
                  plain(QT_TRANSLATE_NOOP("StatusPage", "Fast Charge:"), "Fast Charge Input", "IN1", 0, 5, 6, 1, 0, 2, 51,
                        N::InputPinIN1, T::FastCharge),
                  plain(QT_TRANSLATE_NOOP("StatusPage", "Fast Charge:"), "Fast Charge Btn", "ST1", 7, 5, 2, 1, 0, 3, 52,
                        N::InputPinST1),
                  plain(QT_TRANSLATE_NOOP("StatusPage", "Mains Sense:"), "Mains Sense", "ST1", 7, 5, 3, 1, 0, 4, 52,
                        N::InputPinST1),
                  plain(QT_TRANSLATE_NOOP("StatusPage", "Ignition:"), "Ignition buton", "ST1", 7, 5, 4, 1, 0, 5, 52,
                        N::InputPinST1),
                  plain(QT_TRANSLATE_NOOP("StatusPage", "Leakage:"), "Leakage", "ST1", 7, 5, 15, 1, 0, 6, 52,
                        N::InputPinST1),
                  plain(QT_TRANSLATE_NOOP("StatusPage", "Optimised Battery Charging:"),
                        "Optimised battery charging sense", "ST1", 7, 5, 30, 1, 0, 7, 104, N::InputPinST1),
              }});

    g.append({QT_TRANSLATE_NOOP("StatusPage", "Output Pins Status"), true, false, false,
              {
                  plain(QT_TRANSLATE_NOOP("StatusPage", "Charger:"), "Charger Enable Output", "OT1", 0, 5, 7, 1, 0, 0, 51,
                        N::OutputPinOT1, T::Charger),
                  plain(QT_TRANSLATE_NOOP("StatusPage", "Charging Indicator:"), "Charging Indicator Output", "OT1", 2, 5,
                        7, 1, 0, 1, 51, N::OutputPinOT1, T::ChargingIndicator),
                  plain(QT_TRANSLATE_NOOP("StatusPage", "Low Battery Indicator:"), "Low Voltage Indicator Output", "OT1",
                        2, 5, 5, 1, 0, 2, 51, N::OutputPinOT1, T::LowBatteryIndicator),
                  plain(QT_TRANSLATE_NOOP("StatusPage", "Buzzer:"), "Buzzer Output", "OT1", 2, 5, 6, 1, 0, 3, 51,
                        N::OutputPinOT1, T::Buzzer),
                  plain(QT_TRANSLATE_NOOP("StatusPage", "Heater:"), "Heater Output", "OT1", 2, 5, 4, 1, 0, 4, 51,
                        N::OutputPinOT1, T::Heater),
                  plain(QT_TRANSLATE_NOOP("StatusPage", "Heater:"), "Heater Output", "ST1", 7, 5, 5, 1, 0, 5, 52,
                        N::OutputPinST1),
                  plain(QT_TRANSLATE_NOOP("StatusPage", "Buzzer:"), "Buzzer Output", "ST1", 7, 5, 7, 1, 0, 6, 52,
                        N::OutputPinST1),
                  plain(QT_TRANSLATE_NOOP("StatusPage", "Low Battery Indicator:"), "Low Voltage Indicator Output", "ST1",
                        7, 5, 8, 1, 0, 7, 52, N::OutputPinST1),
                  plain(QT_TRANSLATE_NOOP("StatusPage", "Charging Indication:"), "Charging Indication", "ST1", 7, 5, 9, 1,
                        0, 8, 52, N::OutputPinST1),
                  plain(QT_TRANSLATE_NOOP("StatusPage", "Charger Enable:"), "Charger Enable", "ST1", 7, 5, 10, 1, 0, 9,
                        52, N::OutputPinST1),
                  plain(QT_TRANSLATE_NOOP("StatusPage", "Contactor:"), "Battery Relay", "ST1", 7, 5, 12, 1, 0, 10, 52,
                        N::OutputPinST1),
                  plain(QT_TRANSLATE_NOOP("StatusPage", "Fan:"), "Battery Fan", "ST1", 7, 5, 13, 1, 0, 11, 52,
                        N::OutputPinST1),
                  plain(QT_TRANSLATE_NOOP("StatusPage", "Power Reduce:"), "Power reduce", "ST1", 7, 5, 16, 1, 0, 12, 52,
                        N::OutputPinST1),
                  plain(QT_TRANSLATE_NOOP("StatusPage", "Charging Interlock:"), "Charging Interlock", "ST1", 7, 5, 17, 1,
                        0, 13, 52, N::OutputPinST1),
                  plain(QT_TRANSLATE_NOOP("StatusPage", "DCDC Control Output:"), "DC/DC Control", "ST1", 7, 5, 24, 1, 0,
                        14, 53, N::OutputPinST1),
                  chargerRow(QT_TRANSLATE_NOOP("StatusPage", "ZVU Boost Charge Output:"), "ZVU Boost Charge Output", 19,
                             15, 52, 0),
                  chargerRow(QT_TRANSLATE_NOOP("StatusPage", "ZVU Slow Charge Output:"), "ZVU Slow Charge Output", 20, 16,
                             52, 0),
                  chargerRow(QT_TRANSLATE_NOOP("StatusPage", "ZVU Buffer Moude Output:"), "ZVU Buffer Modue Output", 21,
                             17, 52, 0),
                  chargerRow(QT_TRANSLATE_NOOP("StatusPage", "BMS Failure Output:"), "BMS Failure Output", 22, 18, 52, 1),
                  chargerRow(QT_TRANSLATE_NOOP("StatusPage", "Equalization Enable Output:"),
                             "Equalization Enable Output", 23, 19, 54, 1),
                  plain(QT_TRANSLATE_NOOP("StatusPage", "Equalization Enable Output:"), "Equalization Enable Output",
                        "ST1", 7, 5, 23, 1, 0, 19, 55, N::OutputPinST1),
                  chargerRow(QT_TRANSLATE_NOOP("StatusPage", "Eltek SP Rectifier Current Limit:"),
                             "Eltek SP Rectifier Current Limit", 25, 20, 56, 7),
                  plain(QT_TRANSLATE_NOOP("StatusPage", "Contactor Pre-charge Output:"), "Contactor Pre-charge", "ST1", 7,
                        5, 26, 1, 0, 21, 57, N::OutputPinST1),
                  plain(QT_TRANSLATE_NOOP("StatusPage", "PSU Under-voltage Indication:"), "PSU Under-voltage Indication",
                        "ST1", 7, 5, 29, 1, 0, 22, 103, N::OutputPinST1),
                  plain(QT_TRANSLATE_NOOP("StatusPage", "Current Sense In Range Indicator:"),
                        "Current Sense In Range Indication", "ST1", 7, 5, 31, 1, 0, 23, 109, N::OutputPinST1),
              }});

    g.append({QT_TRANSLATE_NOOP("StatusPage", "Charging Process"), true, false, true,
              {
                  plain(QT_TRANSLATE_NOOP("StatusPage", "Charging Stage:"), "Charging Stage", "ST1", 0, 2, 0, 1, 0, 0, -1,
                        N::ChargingStage, T::ChargingStage),
                  plain(QT_TRANSLATE_NOOP("StatusPage", "Stage Duration:"), "Stage Duration", "ST1", 3, 11, 0, 1, 0, 1,
                        -1, N::None, T::StageDuration),
                  plain(QT_TRANSLATE_NOOP("StatusPage", "Charger Connection:"), "Charger Connection", "CS1", 0, 2, 0, 1, 0,
                        2, -1, N::ChargerConnection),
                  plain(QT_TRANSLATE_NOOP("StatusPage", "Number of Connected Chargers:"), "Number of connected charger",
                        "CS1", 0, 2, 0, 1, 0, 3),
                  valueOnly(plain(QT_TRANSLATE_NOOP("StatusPage", "Last Error:"), "Last Error", "ST1", 1, 2, 0, 1, 0, 4,
                                  47, N::LastError47, T::LastError)),
                  valueOnly(plain(QT_TRANSLATE_NOOP("StatusPage", "Last Error:"), "Last Error", "ST1", 1, 2, 0, 1, 0, 4,
                                  50, N::LastError50, T::LastError)),
                  plain(QT_TRANSLATE_NOOP("StatusPage", "Last Error Parameter:"), "Last Error Parameter", "ST1", 2, 2, 0,
                        1, 0, 5, -1, N::None, T::LastErrorParameter),
              }});

    g.append({QT_TRANSLATE_NOOP("StatusPage", "CAN Charger"), false, false, true,
              {
                  plain(QT_TRANSLATE_NOOP("StatusPage", "Charger Status:"), "Charger status", "CS1", 1, 2, 0, 1, 0, 0),
                  unitRow(QT_TRANSLATE_NOOP("StatusPage", "Set Voltage:"), "Set Voltage", "CS1", 2, 7, 0, 0.1, 1, 1, "V"),
                  unitRow(QT_TRANSLATE_NOOP("StatusPage", "Set Current:"), "Set Current", "CS1", 3, 7, 0, 0.1, 1, 2, "A"),
                  unitRow(QT_TRANSLATE_NOOP("StatusPage", "Actual Voltage:"), "Actual Voltage", "CS1", 4, 7, 0, 0.1, 1, 3,
                          "V"),
                  unitRow(QT_TRANSLATE_NOOP("StatusPage", "Actual Current:"), "Actual Current", "CS1", 5, 6, 0, 0.1, 1, 4,
                          "A"),
              }});

    g.append({QT_TRANSLATE_NOOP("StatusPage", "Battery Pack"), false, false, true,
              {
                  unitRow(QT_TRANSLATE_NOOP("StatusPage", "Battery ID:"), "Battery Id", "ID1", -1, 0, 0, 1, 0, 0, ""),
                  unitRow(QT_TRANSLATE_NOOP("StatusPage", "Battery Voltage:"), "Total Voltage", "BV1", 4, 7, 0, 0.01, 2, 1,
                          "V"),
                  unitRow(QT_TRANSLATE_NOOP("StatusPage", "Current:"), "Current", "CV1", 1, 6, 0, 0.1, 1, 2, "A"),
                  unitRow(QT_TRANSLATE_NOOP("StatusPage", "Number of Cells:"), "Live Cells", "BV1", 0, 2, 0, 1, 0, 3, ""),
                  unitRow(QT_TRANSLATE_NOOP("StatusPage", "State of Charge:"), "SOC", "BC1", 2, 6, 0, 0.01, 2, 4, "%"),
                  unitRow(QT_TRANSLATE_NOOP("StatusPage", "State of Health:"), "SOH", "BC1", 3, 6, 0, 0.01, 2, 5, "%"),
                  unitRow(QT_TRANSLATE_NOOP("StatusPage", "User State of Charge:"), "User SOC", "BC1", 5, 6, 0, 0.01, 2, 6,
                          "%"),
                  unitRow(QT_TRANSLATE_NOOP("StatusPage", "Max Cell Voltage:"), "Max Voltage", "BV1", 2, 7, 200, 0.01, 2,
                          7, "V"),
                  unitRow(QT_TRANSLATE_NOOP("StatusPage", "Max Cell Temperature:"), "Max Temperature", "BT3", 2, 7, -100, 1,
                          0, 8, "\u00b0C"),
                  unitRow(QT_TRANSLATE_NOOP("StatusPage", "Max Cell Module\nTemperature:"), "Max Cell Module\nTemperature",
                          "BT1", 2, 7, -100, 1, 0, 9, "\u00b0C"),
              }});

    g.append({QT_TRANSLATE_NOOP("StatusPage", "Vehicle"), true, false, true,
              {
                  unitRow(QT_TRANSLATE_NOOP("StatusPage", "Speed:"), "Speed", "DT1", 0, 7, 0, 0.1, 1, 0, "[DU]/h", 0),
                  unitRow(QT_TRANSLATE_NOOP("StatusPage", "Distance Since Charge:"), "Distance", "DT1", 1, 6, 0, 0.01, 2,
                          1, "[DU]", 0),
                  unitRow(QT_TRANSLATE_NOOP("StatusPage",
                                            "Estimated Distance Left<br>Based On Filtered Consumption:"),
                          "Distance left based on filtered consumption", "DT1", 12, 6, 0, 0.01, 2, 2, "[DU]", 162,
                          N::VehicleNA),
                  unitRow(QT_TRANSLATE_NOOP("StatusPage", "Momentary Consumption:"), "Momentary Consumption", "DT1", 2, 6,
                          0, 0.1, 1, 3, "Wh/[DU]", 0, N::VehicleNA),
                  unitRow(QT_TRANSLATE_NOOP("StatusPage", "Estimated Distance Left<br>Based On Momentary Consump.:"),
                          "Distance left", "DT1", 3, 6, 0, 0.01, 2, 4, "[DU]", 0, N::VehicleNA),
                  unitRow(QT_TRANSLATE_NOOP("StatusPage", "Average Consumption:"), "Current Trip Average Consumption",
                          "DT1", 10, 6, 0, 0.1, 1, 5, "Wh/[DU]", 58, N::VehicleNA, T::AverageConsumption),
                  unitRow(QT_TRANSLATE_NOOP("StatusPage", "Estimated Distance Left<br>Based On Avg. Consump.:"),
                          "Distance left based on current trip average consumption", "DT1", 11, 6, 0, 0.01, 2, 6, "[DU]",
                          58, N::VehicleNA),
                  unitRow(QT_TRANSLATE_NOOP("StatusPage", "Last Trip Avg. Consump.:"), "Last Trip Average Consumption",
                          "DT1", 6, 6, 0, 0.1, 1, 7, "Wh/[DU]", 59, N::VehicleNA, T::LastTripConsumption),
                  unitRow(QT_TRANSLATE_NOOP("StatusPage", "Estimated Distance Left<br>Based On Last Trip:"),
                          "Distance left based on average consumption", "DT1", 7, 6, 0, 0.01, 2, 8, "[DU]", 59,
                          N::VehicleNA),
              }});
    return g;
}

QVector<StatusRowSpec> buildCanSensor()
{
    return {
        unitRow(QT_TRANSLATE_NOOP("StatusPage", "Current:"), "CAN Sensor Current", "CV2", 1, 6, 0, 0.001, 3, 0, "A", 0),
        unitRow(QT_TRANSLATE_NOOP("StatusPage", "Battery Voltage:"), "CAN Sensor Battery Voltage", "CV2", 2, 6, 0, 0.001, 3, 1, "V",
                0),
        unitRow(QT_TRANSLATE_NOOP("StatusPage", "Load Voltage:"), "CAN Sensor Load Voltage", "CV2", 3, 6, 0, 0.001, 3, 2, "V", 0),
        unitRow(QT_TRANSLATE_NOOP("StatusPage", "Aux Voltage:"), "CAN Sensor Aux Voltage", "CV2", 4, 6, 0, 0.001, 3, 3, "V", 0),
    };
}

QVector<StatusRowSpec> buildAnalogSensor()
{
    return {
        unitRow(QT_TRANSLATE_NOOP("StatusPage", "Calculated Current:"), "Calculated Current", "CV1", 1, 6, 0, 0.1, 1, 0,
                "A", 0),
        unitRow(QT_TRANSLATE_NOOP("StatusPage", "ADC0:"), "ADC0", "CV1", 2, 7, 0, 1, 0, 1, "ADC", 0),
        unitRow(QT_TRANSLATE_NOOP("StatusPage", "ADC1:"), "ADC1", "CV1", 3, 7, 0, 1, 0, 2, "ADC", 0),
        unitRow(QT_TRANSLATE_NOOP("StatusPage", "ADC2:"), "ADC2", "CV1", 4, 7, 0, 1, 0, 3, "ADC", 0),
        unitRow(QT_TRANSLATE_NOOP("StatusPage", "ADC3:"), "ADC3", "CV1", 5, 7, 0, 1, 0, 4, "ADC", 0),
        unitRow(QT_TRANSLATE_NOOP("StatusPage", "Coeficient L:"), "Coeficient L", "CV1", 6, 7, 0, 1, 0, 5, "", 0),
        unitRow(QT_TRANSLATE_NOOP("StatusPage", "Coeficient H:"), "Coeficient H", "CV1", 7, 7, 0, 1, 0, 6, "", 0),
        unitRow(QT_TRANSLATE_NOOP("StatusPage", "Reference L:"), "Reference L", "CV1", 8, 6, 0, 1, 0, 7, "ADC", 0),
        unitRow(QT_TRANSLATE_NOOP("StatusPage", "Reference H:"), "Reference H", "CV1", 9, 6, 0, 1, 0, 8, "ADC", 0),
    };
}

QVector<StatusRowSpec> buildBatteryState()
{
    return {
        unitRow(QT_TRANSLATE_NOOP("StatusPage", "Voltage:"), "Battery Voltage", "CV1", 0, 7, 0, 0.01, 2, 0, "V", 0),
        unitRow(QT_TRANSLATE_NOOP("StatusPage", "Battery Charge:"), "Battery Charge", "BC1", 0, 6, 0, 1.0, 0, 1, "C", 0),
        unitRow(QT_TRANSLATE_NOOP("StatusPage", "Capacity:"), "Capacity", "BC1", 1, 7, 0, 1.0, 0, 2, "C", 0),
        unitRow(QT_TRANSLATE_NOOP("StatusPage", "State of Charge:"), "SoC", "BC1", 2, 7, 0, 0.01, 2, 3, "%", 0),
        unitRow(QT_TRANSLATE_NOOP("StatusPage", "State of Health:"), "SoH", "BC1", 3, 7, 0, 0.01, 2, 4, "%", 87),
        unitRow(QT_TRANSLATE_NOOP("StatusPage", "User State of Charge:"), "USoC", "BC1", 5, 7, 0, 0.01, 2, 5, "%", 115),
        unitRow(QT_TRANSLATE_NOOP("StatusPage", "R0:"), "R0", "BC1", 4, 17, 0, 0.01, 5, 6, "\u03a9", 110),
        unitRow(QT_TRANSLATE_NOOP("StatusPage", "Last Charge Energy:"), "Last Charge", "DT1", 4, 7, 0, 1.0, 0, 7, "Wh", 0),
        unitRow(QT_TRANSLATE_NOOP("StatusPage", "Last Dischg. Energy:"), "Last Discharge", "DT1", 5, 7, 0, 1.0, 0, 8, "Wh",
                0),
        unitRow(QT_TRANSLATE_NOOP("StatusPage", "Avg. Dischg. Energy:"), "Average Discharge", "DT1", 8, 7, 0, 1.0, 0, 9,
                "Wh", 59),
        unitRow(QT_TRANSLATE_NOOP("StatusPage", "Max Dischg. Energy:"), "Max Discharge", "DT1", 9, 7, 0, 1.0, 0, 10, "Wh",
                59),
    };
}

void names(Param* p, std::initializer_list<std::pair<int, const char*>> list)
{
    for (const auto& e : list)
        p->addValueName(e.first, tr(e.second));
}

// Protection and warning flag names are fixed texts (not translated).
void flags(Param* p, std::initializer_list<std::pair<int, const char*>> list)
{
    for (const auto& e : list)
        p->bitNames.insert(e.first, QString::fromUtf8(e.second));
}

void protection47(Param* p)
{
    flags(p, {{0, "Under-Voltage"},
              {1, "Over-Voltage"},
              {2, "Discharge Over-Current"},
              {3, "Charge Over-Current"},
              {4, "Over-Heat"},
              {5, "Leakage"},
              {6, "No Cell Comm"},
              {7, "Master/Slave Configuration Error"},
              {8, "Master/Slave Internal CAN Bus Error"},
              {9, "Master/Slave Common CAN Bus Error"},
              {10, "Charger Connected"}});
}

void protection48(Param* p)
{
    protection47(p);
    flags(p, {{4, "Cell Module Over-Heat"}, {10, "Charger connected"}, {11, "Cell Over-Heat"}, {12, "No Curent Sensor"}});
}

void protection49(Param* p)
{
    protection48(p);
    flags(p, {{0, "Cell Under-Voltage"},
              {1, "Cell Over-Voltage"},
              {13, "Pack Under-Voltage"},
              {14, "Pack Over-Voltage"},
              {15, "Cell Under-Heat"}});
}

void lastError47(Param* p)
{
    names(p, {{0, QT_TRANSLATE_NOOP("StatusPage", "No error")},
              {1, QT_TRANSLATE_NOOP("StatusPage", "Cells voltage is too low")},
              {2, QT_TRANSLATE_NOOP("StatusPage", "No comm. with cells with non-CAN charger")},
              {3, QT_TRANSLATE_NOOP("StatusPage", "Stage duration was too long")},
              {4, QT_TRANSLATE_NOOP("StatusPage", "Cannot balance when no comm. with cells")},
              {5, QT_TRANSLATE_NOOP("StatusPage", "Cannot set balancing voltage to cells")},
              {6, QT_TRANSLATE_NOOP("StatusPage", "Cells temperature is too high")},
              {7, QT_TRANSLATE_NOOP("StatusPage", "Cannot determine cells temperature")},
              {8, QT_TRANSLATE_NOOP("StatusPage", "Number of cells does not match pre-set")},
              {9, QT_TRANSLATE_NOOP("StatusPage", "Cell overvoltage")},
              {10, QT_TRANSLATE_NOOP("StatusPage", "Protection event occurred")}});
}

void powerReduction47(Param* p)
{
    auto add = [p](int bit, const char* text) { p->bitNames.insert(bit, tr(text)); };
    add(0, QT_TRANSLATE_NOOP("StatusPage", "Under-Voltage"));
    add(1, QT_TRANSLATE_NOOP("StatusPage", "Over-Current"));
    add(2, QT_TRANSLATE_NOOP("StatusPage", "Over-Heat"));
    add(3, QT_TRANSLATE_NOOP("StatusPage", "Master/Slave Configuration Mismatch"));
    add(4, QT_TRANSLATE_NOOP("StatusPage", "Master/Slave Common CAN Bus Malfunction"));
    p->noFlagText = QString();
}

} // namespace

const QVector<StatusGroupSpec>& generalTabGroups()
{
    static const QVector<StatusGroupSpec> groups = buildGeneral();
    return groups;
}

const QVector<StatusRowSpec>& canCurrentSensorRows()
{
    static const QVector<StatusRowSpec> rows = buildCanSensor();
    return rows;
}

const QVector<StatusRowSpec>& analogCurrentSensorRows()
{
    static const QVector<StatusRowSpec> rows = buildAnalogSensor();
    return rows;
}

const QVector<StatusRowSpec>& batteryStateRows()
{
    static const QVector<StatusRowSpec> rows = buildBatteryState();
    return rows;
}

const QVector<EstimatorRowSpec>& cellStateEstimateRows()
{
    static const QVector<EstimatorRowSpec> rows = {
        {"SoC", ""}, {"OCV", "V"}, {"R0", "\u03a9"}, {"Cbat", "C"}, {"Vp1", "V"}};
    return rows;
}

void applyStatusNames(Param* p, StatusNames set)
{
    switch (set) {
    case N::None:
        break;
    case N::CellsCommunication:
        for (int v = 0; v < 48; ++v) {
            if (v >= 16 && v < 32)
                continue;
            const int k = v % 32;
            if (k == 0)
                p->addValueName(v, tr(QT_TRANSLATE_NOOP("StatusPage", "Error - no response")));
            else if (k <= 6)
                p->addValueName(v, tr(QT_TRANSLATE_NOOP("StatusPage", "Partial data received")));
            else if (k == 7)
                p->addValueName(v, tr(QT_TRANSLATE_NOOP("StatusPage", "OK")));
            else
                p->addValueName(v, tr(QT_TRANSLATE_NOOP("StatusPage", "Error - incorrect number of cells")));
        }
        break;
    case N::ChargingStage:
        names(p, {{0, QT_TRANSLATE_NOOP("StatusPage", "Charger Disconnected")},
                  {1, QT_TRANSLATE_NOOP("StatusPage", "Pre-Heating Stage")},
                  {2, QT_TRANSLATE_NOOP("StatusPage", "Pre-Charging Stage")},
                  {3, QT_TRANSLATE_NOOP("StatusPage", "Main Charging Stage")},
                  {4, QT_TRANSLATE_NOOP("StatusPage", "Balancing Stage")},
                  {5, QT_TRANSLATE_NOOP("StatusPage", "Charging Finished")},
                  {6, QT_TRANSLATE_NOOP("StatusPage", "Charging Error")}});
        break;
    case N::ChargerConnection:
        p->addValueName(0, tr(QT_TRANSLATE_NOOP("StatusPage", "Disconnected")));
        for (int v = 1; v <= 16; ++v)
            p->addValueName(v, tr(QT_TRANSLATE_NOOP("StatusPage", "Connected")));
        break;
    case N::LastError47:
        lastError47(p);
        break;
    case N::LastError50:
        lastError47(p);
        names(p, {{6, QT_TRANSLATE_NOOP("StatusPage", "Cell or cell module temperature is too high")},
                  {10, QT_TRANSLATE_NOOP("StatusPage", "Protection event occured")},
                  {11, QT_TRANSLATE_NOOP("StatusPage", "Charger Malfunction")},
                  {12, QT_TRANSLATE_NOOP("StatusPage", "Charger cannot provide current")}});
        break;
    case N::InputPinIN1:
        names(p, {{0, QT_TRANSLATE_NOOP("StatusPage", "Inactive")}, {1, QT_TRANSLATE_NOOP("StatusPage", "Active")}});
        break;
    case N::InputPinST1:
        names(p, {{0, QT_TRANSLATE_NOOP("StatusPage", "Inactive")},
                  {1, QT_TRANSLATE_NOOP("StatusPage", "Active")},
                  {2, QT_TRANSLATE_NOOP("StatusPage", "Not mapped")}});
        break;
    case N::OutputPinOT1:
        names(p, {{0, QT_TRANSLATE_NOOP("StatusPage", "OFF")}, {1, QT_TRANSLATE_NOOP("StatusPage", "ON")}});
        break;
    case N::OutputPinST1:
        names(p, {{0, QT_TRANSLATE_NOOP("StatusPage", "OFF")},
                  {1, QT_TRANSLATE_NOOP("StatusPage", "ON")},
                  {2, QT_TRANSLATE_NOOP("StatusPage", "Not mapped")}});
        break;
    case N::VehicleNA:
        names(p, {{-1, QT_TRANSLATE_NOOP("StatusPage", "N/A")}});
        break;
    case N::Protection47:
        protection47(p);
        p->noFlagText = QStringLiteral("OK");
        break;
    case N::Protection48:
        protection48(p);
        p->noFlagText = QStringLiteral("OK");
        break;
    case N::Protection49:
        protection49(p);
        p->noFlagText = QStringLiteral("OK");
        break;
    case N::Protection111:
        protection49(p);
        flags(p, {{16, "Cell Voltage Deviation"},
                  {17, "Pack Voltage Deviation"},
                  {18, "Cell Module Under Heat"},
                  {19, "Ext. Temperature Sensor Lost"},
                  {20, "Cell Wire Break"}});
        p->noFlagText = QStringLiteral("OK");
        break;
    case N::Warning111:
        flags(p, {{0, "Cell Under-Voltage"},
                  {1, "Cell Over-Voltage"},
                  {2, "Discharge Over-Current"},
                  {3, "Charge Over-Current"},
                  {4, "Cell Module Over-Heat"},
                  {5, "Cell Over-Heat"},
                  {6, "Pack Under-Voltage"},
                  {7, "Cell Under-Heat"},
                  {8, "Cell Voltage Deviation"},
                  {9, "Pack Voltage Deviation"},
                  {10, "Pack Over-Voltage"},
                  {11, "Cell Module Under-Heat"},
                  {12, "Reduction Active"},
                  {13, "Communication Loss"},
                  {14, "Cell Wire Break"},
                  {15, "Wire Break Unsupported"}});
        p->noFlagText = QStringLiteral("OK");
        break;
    case N::PowerReduction47:
        powerReduction47(p);
        break;
    case N::PowerReduction50:
        powerReduction47(p);
        p->bitNames.insert(2, tr(QT_TRANSLATE_NOOP("StatusPage", "Cell Module Over-Heat")));
        p->bitNames.insert(5, tr(QT_TRANSLATE_NOOP("StatusPage", "Cell Over-Heat")));
        break;
    case N::DeviceState:
        names(p, {{0, QT_TRANSLATE_NOOP("StatusPage", "Unconfigured")},
                  {1, QT_TRANSLATE_NOOP("StatusPage", "OK")},
                  {2, QT_TRANSLATE_NOOP("StatusPage", "Cells response error")},
                  {3, QT_TRANSLATE_NOOP("StatusPage", "Not responding")},
                  {4, QT_TRANSLATE_NOOP("StatusPage", "Alarm")}});
        break;
    case N::CellCount:
        names(p, {{0, QT_TRANSLATE_NOOP("StatusPage", "None")}});
        break;
    }
}

QString statusTipText(StatusTip tip)
{
    const QString relay = QStringLiteral("<br>You may use optional sensing and charger control relay with this "
                                         "input<br>available from ") +
                          QLatin1String(kMakerWebAddress);
    switch (tip) {
    case T::None:
        return QString();
    case T::Uptime:
        return tr(QT_TRANSLATE_NOOP("StatusPage", "Time of BMS operation since last reset."));
    case T::CellsCommunication:
        return tr(QT_TRANSLATE_NOOP("StatusPage", "BMS status of cell communication."));
    case T::Protection:
        return tr(QT_TRANSLATE_NOOP("StatusPage", "BMS protection of battery pack functions status."));
    case T::Warning:
        return tr(QT_TRANSLATE_NOOP("StatusPage", "BMS warning of battery pack functions status."));
    case T::PowerReduction:
        return tr(QT_TRANSLATE_NOOP("StatusPage", "BMS power reduction output functions status."));
    case T::IgnitionKey:
        return tr(QT_TRANSLATE_NOOP("StatusPage", "The state of ignition key switch."));
    case T::ChargerAc:
        return tr(QT_TRANSLATE_NOOP("StatusPage",
                                    "Indicates if the onboard non-CAN charger is connected to AC mains.<br>When the "
                                    "charger is connected the BMS starts the charging process.")) +
               relay;
    case T::FastCharge:
        return tr(QT_TRANSLATE_NOOP(
            "StatusPage",
            "The state of Fast/Slow charging switch.<br>If CAN charger is used this switch selects what charging "
            "current<br>should be used during main charging stage.<br>The main porpose of this switch is to select "
            "lower charging speed<br>when car is connected to lower power AC socket (for example 10A)<br>than possible "
            "charger maximum."));
    case T::Charger:
        return tr(QT_TRANSLATE_NOOP("StatusPage",
                                    "This output switches the power of on-board non-CAN charger.<br>Once BMS senses "
                                    "charger AC mains input it starts the charging process<br>and switches on the "
                                    "charger via a relay connected to this output.")) +
               relay;
    case T::ChargingIndicator:
        return tr(QT_TRANSLATE_NOOP(
            "StatusPage",
            "This output should be connected to on-board indicator lamp which shows<br>the status of charging "
            "process.<br>Off state indicates that charging is not happening.<br>The number of pulses with long pause "
            "between show the charging stage:<br> 2 pulse - Pre-charging stage<br> 3 pulses - Main charging "
            "stage<br> 4 pulses - Balancing stage<br>Constantly on with short switch off indicates that charging is "
            "complete ok.<br>Rapid flashing indicates charging error."));
    case T::LowBatteryIndicator:
        return tr(QT_TRANSLATE_NOOP("StatusPage",
                                    "This output should be connected to on-board indicator lamp which indicates<br>the "
                                    "warning when battery voltage level is becoming low."));
    case T::Buzzer:
        return tr(QT_TRANSLATE_NOOP("StatusPage",
                                    "This output should be connected to on-board audio buzzer which sounds an "
                                    "alarm<br>when there is a charging error or battery low condition."));
    case T::Heater:
        return tr(QT_TRANSLATE_NOOP("StatusPage",
                                    "This output should be connected to relay which is enabling the heater elements of "
                                    "battery cells<br>if the battery pack is equipped with it.<br>"));
    case T::ChargingStage:
        return tr(QT_TRANSLATE_NOOP("StatusPage", "The stage of BMS charging operation"));
    case T::StageDuration:
        return tr(QT_TRANSLATE_NOOP("StatusPage", "Current BMS charging stage duration in seconds"));
    case T::LastError:
        return tr(QT_TRANSLATE_NOOP("StatusPage", "Last registered error during cells initialisation or charging."));
    case T::LastErrorParameter:
        return tr(QT_TRANSLATE_NOOP("StatusPage",
                                    "This is the parameter of last registered error.<br>For charging errors parameter "
                                    "shows the stage number in which the error occured.<br>For cells init error it "
                                    "shows the number of cells detected."));
    case T::AverageConsumption:
        return tr(QT_TRANSLATE_NOOP("StatusPage",
                                    "Average consumption calculated from the driven distance and discharged "
                                    "energy<br>of the current trip, i.e. starting from the moment when charger was "
                                    "disconnected."));
    case T::LastTripConsumption:
        return tr(QT_TRANSLATE_NOOP("StatusPage",
                                    "Average consumption calculated from the driven distance and discharged "
                                    "energy<br>of the last trip, i.e. starting from the moment when charger was "
                                    "disconnected,<br>until it was connected again."));
    }
    return QString();
}
