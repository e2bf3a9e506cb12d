// The Protections tab: each protection of the unit switched on or off, with
// the thresholds and delays at which it opens the battery contactor (pin
// function PF12) and closes it again.
#include "ConfigPage.h"

#include "LimitBlock.h"
#include "SignalWindowTab.h"
#include "Tip.h"
#include "WidgetFold.h"

#include <QApplication>
#include <QFontMetrics>
#include <QGridLayout>
#include <QLineEdit>

using namespace LimitEncodings;
using FlagWord::W0;
using FlagWord::W1;
using FlagWord::W2;

namespace {

using Spec = LimitBlockSpec;

// Standard blocks (and those that differ only in which limits they have),
// by block number.
const Spec kCellUnderVoltage{
    "Cell Under-Voltage:", "BF2 Under Voltage Cutoff", W0, flagBit(1), 60, "", "minimum cell voltage", true,
    {"Minimum Allowed Cell Voltage", 0x0004, &CellVoltage},
    {"Cell under-Voltage protection activation delay", 0x0025, &ActivationDelay},
    {"Cell under-voltage protection deactivation threshold", 0x0031, &CellVoltage},
    {"Cell under-Voltage protection deactivation delay", 0x0026, &DeactivationDelay}};
const Spec kCellOverVoltage{
    "Cell Over-Voltage:", "BF1 Over Voltage Cutoff", W0, flagBit(0), 60, "", "maximum cell voltage", false,
    {"Maximum Allowed Cell Voltage", 0x0005, &CellVoltage},
    {"Cell over-voltage protection activation delay", 0x0027, &ActivationDelay},
    {"Cell over-voltage protection deactivation threshold", 0x0032, &CellVoltage},
    {"Cell over-voltage protection deactivation delay", 0x0028, &DeactivationDelay}};
const Spec kDischargeOverCurrent{
    "Discharge Over-Current:", "BF3 Over-Current Cutoff", W0, flagBit(2), 60,
    "Open the battery contactor by using pin PF12 (if assigned) in case discharge current is above \"Activate "
    "at\"<br>threshold. Activation and deactivation can be delayed using \"Activation delay\" and \"Deactivation "
    "delay\" parameters.",
    "", false,
    {"Discharge Current Limit", 0x1911, &Current},
    {"Discharge over-current protection activation delay", 0x002B, &ActivationDelay},
    {},
    {"Discharge over-current protection deactivation delay", 0x002C, &DeactivationDelay},
    Spec::Standard, 15, true};
const Spec kChargeOverCurrent{
    "Charge Over-Current:", "BF16 Charge Over-Current Cutoff", W0, flagBit(15), 60,
    "Open the battery contactor by using pin PF12 (if assigned) in case charge current is above \"Activate "
    "at\"<br>threshold. Activation and deactivation can be delayed using \"Activation delay\" and \"Deactivation "
    "delay\" parameters.",
    "", false,
    {"Charge Current Limit", 0x190D, &Current},
    {"Charge over-current protection activation delay", 0x002D, &ActivationDelay},
    {},
    {"Charge over-current protection deactivation delay", 0x002E, &DeactivationDelay}};
const Spec kCellModuleUnderHeat{
    "Cell Module Under-Heat:", "BF63 cell module Underheat Cutoff", W1, flagBit(30), 111, "",
    "minimum cell module temperature", true,
    {"Minimum Critical Cell Module Temperature", 0x00CF, &LowTemperature},
    {"Cell Module under-heat protection activation delay", 0x00D1, &ActivationDelay},
    {"Cell Module under-heat protection deactivation threshold", 0x00D0, &LowTemperature},
    {"Cell Module under-heat protection deactivation delay", 0x00D2, &DeactivationDelay}};
// Block 5: captioned by firmware range, its flag made with 61 but shown by 60.
const Spec kOverHeat{
    "", "BF4 Overheat Cutoff", W0, flagBit(3), 60, "", "maximum cell module temperature", false,
    {"Maximum Critical Temperature", 0x0006, &HighTemperature},
    {"Cell module over-heat protection activation delay", 0x0029, &ActivationDelay},
    {"Cell module over-heat protection deactivation threshold", 0x0033, &HighTemperature},
    {"Cell module over-heat protection deactivation delay", 0x002A, &DeactivationDelay}};
const Spec kInsulationFault{
    "Insulation Fault:", "BF5_LEAKAGE_CUTOFF", W0, flagBit(4), 65,
    "Open the battery contactor by using pin PF12 (if assigned) in case a logic high is detected on the input "
    "with<br>pin function \"PF15 Leakage Sensor Input\", which is wired to an insulation fault detector.<br>"
    "Activation and deactivation can be delayed using \"Activation delay\" and \"Deactivation delay\" parameters.",
    "", false, {},
    {"Insulation leakage protection activation delay", 0x0049, &ActivationDelay}, {},
    {"Insulation leakage protection deactivation delay", 0x004A, &DeactivationDelay}, Spec::DelaysSideBySide};
const Spec kCellUnderHeat{
    "Cell Under-Heat:", "BF60 Underheat Cutoff", W1, flagBit(27), 111, "", "minimum cell temperature", true,
    {"Minimum Critical Cell Temperature", 0x00C3, &LowTemperature},
    {"Cell under-heat protection activation delay", 0x00B5, &ActivationDelay},
    {"Cell under-heat protection deactivation threshold", 0x00C4, &LowTemperature},
    {"Cell under-heat protection deactivation delay", 0x00B6, &DeactivationDelay}};
const Spec kCellOverHeat{
    "Cell Over-Heat:", "BF40 Overheat Cutoff", W1, flagBit(7), 66, "", "maximum cell temperature", false,
    {"Maximum Critical Cell Temperature", 0x004B, &HighTemperature},
    {"Cell over-heat protection activation delay", 0x004D, &ActivationDelay},
    {"Cell over-heat protection deactivation threshold", 0x004C, &HighTemperature},
    {"Cell over-heat protection deactivation delay", 0x004E, &DeactivationDelay}};
const Spec kNoCurrentSensor{
    "No Current Sensor:", "BF42_NO_CURRENT_SENSOR_CUTOFF", W1, flagBit(9), 67,
    "Open the battery contactor by using pin PF12 (if assigned) in case the control unit detects that no "
    "current<br>sensor is connected to it. Activation and deactivation can be delayed using \"Activation delay\" "
    "and<br>\"Deactivation delay\" parameters.",
    "", false, {},
    {"No current sensor protection activation delay", 0x0061, &ActivationDelay}, {},
    {"No current sensor protection deactivation delay", 0x0062, &DeactivationDelay}, Spec::DelaysSideBySide};
const Spec kPackUnderVoltage{
    "Pack Under-Voltage:", "BF44 Pack Under-Voltage Cutoff", W1, flagBit(11), 72, "", "total voltage", true,
    {"Pack under-voltage protection activation threshold", 0x0267, &PackVoltage},
    {"Pack under-voltage protection activation delay", 0x006F, &ActivationDelay},
    {"Pack under-voltage protection deactivation threshold", 0x026B, &PackVoltage},
    {"Pack under-voltage protection deactivation delay", 0x0070, &DeactivationDelay}};
const Spec kPackOverVoltage{
    "Pack Over-Voltage:", "BF59 Pack Over-Voltage Cutoff", W1, flagBit(26), 111, "", "total voltage", false,
    {"Pack over-voltage protection activation threshold", 0x02BB, &PackVoltage},
    {"Pack over-voltage protection activation delay", 0x00B3, &ActivationDelay},
    {"Pack over-voltage protection deactivation threshold", 0x02BF, &PackVoltage},
    {"Pack over-voltage protection deactivation delay", 0x00B4, &DeactivationDelay}};
const Spec kCellVoltageDeviation{
    "Cell Voltage Deviation", "BF61 Cell Voltage Deviation CutOff", W1, flagBit(28), 111, "",
    "the difference between the maximum and minimum cell voltages", false,
    {"Cell Voltage Deviation Protection", 0x00C5, &CellDeviation},
    {"Cell Voltage Deviation Perotection activation delay", 0x00B7, &ActivationDelay},
    {"Cell Voltage Deviation Protection deactivation threshold", 0x00C6, &CellDeviation},
    {"Cell Voltage Deviation Protection deactivation delay", 0x00B8, &DeactivationDelay}};
const Spec kPackVoltageDeviation{
    "Pack Voltage Deviation", "BF_62 Pack Voltage Deviation Protection Flag", W1, flagBit(29), 111, "",
    "the difference between the maximum and minimum total voltages", false,
    {"Pack Voltage Deviation Protection", 0x02C7, &PackDeviation},
    {"Pack Voltage Deviation Protection activation delay", 0x00B9, &ActivationDelay},
    {"Pack Voltage Deviation Protection deactivation threshold", 0x02CB, &PackDeviation},
    {"Pack Voltage Deviation Protection deactivation delay", 0x00BA, &DeactivationDelay}};
const Spec kExtSensorLoss{
    "Ext. Temp. Sensor Loss:", "BF64 External Temperature Sensor loss Cutoff", W1, flagBit(31), 111,
    "Open the battery contactor by using pin PF12 (if assigned) in case one external temperature sensor is "
    "lost.<br>The contactor is closed again when all external temperature sensors send valid data. Both "
    "activation<br>and deactivation can be delayed using \"Activation delay\" and \"Deactivation delay\" "
    "parameters, meaning that the<br>activation/deactivation condition has to persist for as long as the "
    "specified delay.",
    "", false, {},
    {"Ext Temperatire Sensor Loss activation delay", 0x00D3, &ActivationDelay}, {},
    {"Ext Temperatire Sensor Loss deactivation delay", 0x00D4, &DeactivationDelay}, Spec::DelaysStacked};

const char* const kNoCommTip =
    "Open the battery contactor by using pin PF12 (if assigned) in case cell communication is lost.<br>Activation "
    "and deactivation can be delayed using \"Activation delay\" and \"Deactivation delay\" parameters.";
const char* const kRestore1Tip =
    "If this function is enabled, when charger of any type is connected<br>and there is no cell communication due "
    "to deep cell discharge,<br>charging will be enabled to try to restore cell communication.<br>If CAN charger "
    "(or any other type of fully controlled charger) <br>is used, the current is set to Pre-charge Current.";
const char* const kRestore2Tip =
    "If this function is enabled, when charger of any type is connected<br>and there is no cell communication due "
    "to deep cell discharge,<br>the charging process will be initiated anyway to try to restore<br>cell "
    "communication. For safety, this will continue only for a number<br>of seconds that is equal to the \"Rest. "
    "duration\" parameter value,<br>after that a charging error will be registered.<br>If CAN charger (or any "
    "other type of fully controlled charger is <br>used, the current is set to Pre-charge Current.";
const char* const kAcPresenceTip =
    "Enable or disable AC presence cutoff. If enabled, battery contactor (PF12 pin) will be<br>disconnected when "
    "charger is connected.";
const char* const kChargerConnectedTip =
    "Enable or disable Charger Connected cutoff. If enabled, battery contactor (PF12 pin) will be<br>disconnected "
    "when charger is connected.";
const char* const kWireBreakTip =
    "Open the battery contactor by using pin PF12 (if assigned) in case the number of broken cell wires "
    "found<br>reaches \"Activate at\" threshold. The contactor is closed again when no broken wires are "
    "detected.<br>Activation and deactivation can be delayed using \"Activation delay\" and \"Deactivation "
    "delay\" parameters.";
const char* const kWireBreakThresholdTip =
    "Minimum number of wires to be found broken at which<br>the protection will be activated.<br><FONT "
    "COLOR='#ff0000'><b><nobr>NOTE: If any of modules has its first wire broken, then the protectiong will"
    "</nobr><br></br>activate regardless of \"Activate at\" threshold value";

QString tipFor(const Spec& spec)
{
    if (spec.tip && *spec.tip)
        return ConfigPage::tr(spec.tip);
    return ConfigPage::tr("Open the battery contactor by using pin PF12 (if assigned) in case %1 goes %2 \"Activate "
                          "at\"<br>treshold. The contactor is closed again if %1 goes %3 \"Deactivate at\" "
                          "threshold. Both activation<br>and deactivation can be delayed using \"Activation "
                          "delay\" and \"Deactivation delay\" parameters, meaning that the<br>"
                          "activation/deactivation condition has to persist for as long as the specified delay.")
        .arg(ConfigPage::tr(spec.subject), spec.below ? ConfigPage::tr("below") : ConfigPage::tr("above"),
             spec.below ? ConfigPage::tr("above") : ConfigPage::tr("below"));
}

} // namespace

SignalWindowTab* ConfigPage::createProtectionsTab(QWidget* parent)
{
    return makeLimitTab(parent, [this](int editorWidth) { return createProtectionGroup(editorWidth); });
}

QWidget* ConfigPage::createProtectionGroup(int editorWidth)
{
    QGridLayout* groupGrid = nullptr;
    WidgetFold* fold = createParamGroup(tr("Protection / Fault Settings"), &groupGrid);
    groupGrid->setVerticalSpacing(7);
    LimitBlockBuilder b(this, groupGrid, editorWidth);
    const int w = editorWidth;

    b.addBlock(kCellUnderVoltage, tipFor(kCellUnderVoltage));           // 0
    b.addBlock(kCellOverVoltage, tipFor(kCellOverVoltage));             // 1
    b.addBlock(kDischargeOverCurrent, tipFor(kDischargeOverCurrent));   // 2
    b.addBlock(kChargeOverCurrent, tipFor(kChargeOverCurrent));         // 3
    b.addBlock(kCellModuleUnderHeat, tipFor(kCellModuleUnderHeat));     // 4

    // 5: the same limits, named after the cell or the cell module by
    // firmware range.
    b.beginBlock();
    b.addLabel(tr("Cell Over-Heat:"), 61, 0, 0);
    b.addLabel(tr("Cell Module Over-Heat:"), 62, 0, 0);
    b.addFlag(kOverHeat.flagName, kOverHeat.flagWord, kOverHeat.flagMask, 61, 60, tipFor(kOverHeat), 15, 0, 1);
    b.addLimits(kOverHeat);

    // 6: no cell communication, and the charging that may restore it.
    b.beginBlock({160, 25, 75, 0, 7, 25, 70, 0, 7});
    b.addLabel(tr("No Cell Communication:"), 60, 0, 0);
    b.addFlag("BF14_NO_COMM_CUTOFF", W0, flagBit(13), 60, 60, tr(kNoCommTip), 15, 0, 1);
    b.addEditor({"No cell communication protection activation delay", 0x002F, &ActivationDelay}, 60,
                tr("Act. delay:"), 0, 2, 3, 5);
    b.addEditor({"No cell communication protection deactivation delay", 0x0030, &DeactivationDelay}, 60,
                tr("Deact. delay:"), 0, 6, 7, 9);
    b.addLabel(tr("Cell Comm Restore:"), 63, 1, 6, Qt::AlignLeft);
    b.addFlag("BF23 Cell Comm Restore 1", W0, flagBit(22), 63, 63, tr(kRestore1Tip), 13, 1, 7, Qt::AlignLeft);
    b.addLabel(tr("Cell Comm Restore:"), 64, 1, 2, Qt::AlignLeft);
    b.addFlag("BF23 Cell Comm Restore 2", W0, flagBit(22), 64, 64, tr(kRestore2Tip), 13, 1, 3, Qt::AlignLeft);
    b.addEditor({"No cell communication restore duration", 0x0063, &RestoreDuration}, 64, tr("Restore duration:"),
                1, 6, 7, 9, 3 * (w / 5), Qt::AlignRight);

    b.addBlock(kInsulationFault, tipFor(kInsulationFault)); // 7
    b.addBlock(kCellUnderHeat, tipFor(kCellUnderHeat));     // 8
    b.addBlock(kCellOverHeat, tipFor(kCellOverHeat));       // 9
    b.addBlock(kNoCurrentSensor, tipFor(kNoCurrentSensor)); // 10

    // 11: one bit, named by firmware range.
    b.beginBlock();
    b.addLabel(tr("AC Presence:"), 70, 0, 0);
    b.addFlag("AC Presence Cutoff", W1, flagBit(4), 70, 70, tr(kAcPresenceTip), 25, 0, 1, Qt::AlignLeft);
    b.addLabel(tr("Charger Connected:"), 71, 0, 0);
    b.addFlag("Charger Connected cutoff", W1, flagBit(4), 71, 71, tr(kChargerConnectedTip), 25, 0, 1,
              Qt::AlignLeft);

    b.addBlock(kPackUnderVoltage, tipFor(kPackUnderVoltage));         // 12
    b.addBlock(kPackOverVoltage, tipFor(kPackOverVoltage));           // 13
    b.addBlock(kCellVoltageDeviation, tipFor(kCellVoltageDeviation)); // 14
    b.addBlock(kPackVoltageDeviation, tipFor(kPackVoltageDeviation)); // 15
    b.addBlock(kExtSensorLoss, tipFor(kExtSensorLoss));               // 16

    // 17: the interlock diagnosis, a flag alone.
    b.beginBlock({160});
    b.addLabel(tr("MSD Enable:"), 115, 0, 0);
    b.addFlag("MSD Enable", W2, flagBit(4), 115, 115, tr("Enable interlock connection diagnosis"), 15, 0, 1,
              Qt::AlignLeft);

    // 18: cell wire break; its deactivation delay is in tenths, unlike the others.
    b.beginBlock({160, 25, 75, 35, 37, 70, 47});
    b.addLabel(tr("Cell Wire Break:"), 145, 0, 0);
    b.addFlag("BF75_WIRE_BREAK_CUTOFF", W2, flagBit(10), 145, 145, tr(kWireBreakTip), 15, 0, 1);
    QLineEdit* wires =
        b.addEditor({"BT_CELL_WIRE_BREAK_PROTECTION_ACTIVATION_THRESHOLD", 0x01F9, &WireCount}, 145,
                    tr("Activate at:"), 0, 2, 3, 4,
                    QFontMetrics(QApplication::font()).horizontalAdvance(QStringLiteral("999.9 ")));
    new Tip(wires, tr(kWireBreakThresholdTip), 0, 200, 10000, 0);
    b.addEditor({"BT_CELL_WIRE_BREAK_PROTECTION_ACTIVATION_DELAY", 0x00F7, &ActivationDelay}, 145,
                tr("Act. delay:"), 0, 5, 6, 7);
    b.addEditor({"BT_CELL_WIRE_BREAK_PROTECTION_DEACTIVATION_DELAY", 0x00F8, &ActivationDelay}, 145,
                tr("Deact. delay:"), 1, 5, 6, 7);
    return fold;
}
