// The Warnings tab: each warning of the unit switched on or off, with the
// thresholds and delays at which the unit raises and clears it.
#include "ConfigPage.h"

#include "LimitBlock.h"
#include "SignalWindowTab.h"
#include "WidgetFold.h"

#include <QGridLayout>

using namespace LimitEncodings;
using FlagWord::W1;
using FlagWord::W2;

namespace {

using Spec = LimitBlockSpec;

struct WarningBlock
{
    Spec spec;
    const char* warning; // its name in the composed hover tip
};

// The current blocks have no deactivation threshold; their tip takes the
// warning's name and the current it watches.
const char* const kCurrentTip =
    "Activate %1 in case %2 is above \"Activate at\"<br>threshold. Activation and deactivation can be delayed "
    "using \"Activation delay\" and \"Dectivation delay\" parameters.";

// In build order; the row of block 13's wire-break warning follows them.
const WarningBlock kBlocks[] = {
    {{"Cell Under- Voltage:", "BF48 Low Voltage Warning Flag", W1, flagBit(15), 111, "", "minimum cell voltage",
      true, {"Low Voltage Warning", 0x0079, &CellVoltage},
      {"Low cell voltage warning activation delay", 0x0089, &ActivationDelay},
      {"Low cell voltage warning deactivation threshold", 0x007A, &CellVoltage},
      {"Low cell voltage warning deactivation delay", 0x008A, &DeactivationDelay}},
     "Low Cell Voltage Warning"},
    {{"Cell Over- Voltage:", "BF49 High Voltage Warning Flag", W1, flagBit(16), 111, "", "maximum cell voltage",
      false, {"High Voltage Warning", 0x007B, &CellVoltage},
      {"High Cell Voltage Warning activation delay", 0x008B, &ActivationDelay},
      {"High Cell Voltage Warning deactivation threshold", 0x007C, &CellVoltage},
      {"High Cell Voltage Warning deactivation delay", 0x008C, &DeactivationDelay}},
     "High Cell Voltage Warning"},
    {{"Pack Under- Voltage", "BF54 Low Voltage Warning Flag", W1, flagBit(21), 111, "", "total voltage", true,
      {"Low Pack Voltage Warning", 0x0281, &PackVoltage},
      {"Low pack voltage warning activation delay", 0x0091, &ActivationDelay},
      {"Low pack voltage warning deactivation threshold", 0x0285, &PackVoltage},
      {"Low pack voltage warning deactivation delay", 0x0092, &DeactivationDelay}},
     "Low Pack Voltage Warning"},
    {{"Pack Over- Voltage", "BF58 High Voltage Warning Flag", W1, flagBit(25), 111, "", "total voltage", false,
      {"High Pack Voltage Warning", 0x0297, &PackVoltage},
      {"High pack voltage warning activation delay", 0x00AB, &ActivationDelay},
      {"High pack voltage warning deactivation threshold", 0x029B, &PackVoltage},
      {"High pack voltage warning deactivation delay", 0x00AC, &DeactivationDelay}},
     "High Pack Voltage Warning"},
    {{"Discharge Over- Current:", "BF50 High Discharge Current Warning", W1, flagBit(17), 111, kCurrentTip,
      "discharge current", false, {"High Discharge Current Warning", 0x1933, &Current},
      {"High discharge current warning activation delay", 0x0095, &ActivationDelay}, {},
      {"High discharge current warning deactivation delay", 0x0096, &DeactivationDelay}, Spec::Standard, 25},
     "High Discharge Current Warning"},
    {{"Charge Over- Current :", "BF51 High Charge Current Warning", W1, flagBit(18), 111, kCurrentTip,
      "charge current", false, {"High Charge Current Warning", 0x192F, &Current},
      {"High charge current warning activation delay", 0x0093, &ActivationDelay}, {},
      {"High charge current warning deactivation delay", 0x0094, &DeactivationDelay}, Spec::Standard, 25},
     "High Charge Current Warning"},
    {{"Cell Module Over-Heat:", "BF52 High Cell Module Temperature Warning", W1, flagBit(19), 111, "",
      "maximum cell module temperature", false, {"Cell Module Warning Temperature", 0x007D, &HighTemperature},
      {"Cell module high temperature warning activation delay", 0x008D, &ActivationDelay},
      {"Cell module high temperature warning deactivation threshold", 0x007E, &HighTemperature},
      {"Cell module high temperature warning deactivation delay", 0x008E, &DeactivationDelay}},
     "High Cell Module Temperature Warning"},
    {{"Cell Over- Heat", "BF53 High Cell Temperature Warning", W1, flagBit(20), 111, "",
      "maximum cell temperature", false, {"Cell Warning High Temperature", 0x007F, &HighTemperature},
      {"Cell high temperature warning activation delay", 0x008F, &ActivationDelay},
      {"Cell high temperature warning deactivation threshold", 0x0080, &HighTemperature},
      {"Cell high temperature warning deactivation delay", 0x0090, &DeactivationDelay}},
     "High Cell Temperature Warning"},
    {{"Cell Under- Heat", "BF55 Low Cell Temperature Warning", W1, flagBit(22), 111, "", "minimum cell temperature",
      true, {"Cell Warning Low Temperature", 0x009F, &LowTemperature},
      {"Cell low temperature warning activation delay", 0x00AD, &ActivationDelay},
      {"Cell low temperature warning deactivation threshold", 0x00A0, &LowTemperature},
      {"Cell low temperature warning deactivation delay", 0x00AE, &DeactivationDelay}},
     "Low Cell Temperature Warning"},
    // Named BF55 like the one above, but bit 0 of the third word.
    {{"Cell Module Under- Heat", "BF55 Low Cell Module Temperature Warning", W2, flagBit(0), 111, "",
      "minimum cell module temperature", true, {"Cell Module Warning Low Temperature", 0x00D5, &LowTemperature},
      {"Cell module low temperature warning activation delay", 0x00D7, &ActivationDelay},
      {"Cell module low temperature warning deactivation threshold", 0x00D6, &LowTemperature},
      {"Cell module low temperature warning deactivation delay", 0x00D8, &DeactivationDelay}},
     "Low Cell Module Temperature Warning"},
    {{"Reduction Active:", "BF66 Activated reduction warning", W2, flagBit(1), 111,
      "Activate Reduction Active Warning in case one of reductions is active<br>Warning is deactivated if all "
      "reductions are deactivated.<br> Both activation and deactivation can be delayed using \"Activation delay\" "
      "and \"Dectivation delay\" parameters, meaning that the<br>activation/deactivation condition has to persist "
      "for as long as the specified delay.",
      "", false, {}, {"Reduction Active warning activation delay", 0x00D9, &ActivationDelay}, {},
      {"Reduction active warning deactivation delay", 0x00DA, &DeactivationDelay}, Spec::DelaysStacked},
     ""},
    {{"Cell Communication Loss:", "BF67 Communication Loss warning", W2, flagBit(2), 111,
      "Activate Cell Communication Loss Warning in case one of cell communication is lost<br>Warning is "
      "deactivated if cell communication is recovered.<br> Both activation and deactivation can be delayed using "
      "\"Activation delay\" and \"Dectivation delay\" parameters, meaning that the<br>activation/deactivation "
      "condition has to persist for as long as the specified delay.",
      "", false, {}, {"Cell Communication Loss warning activation delay", 0x00DB, &ActivationDelay}, {},
      {"Cell Communication Loss warning deactivation delay", 0x00DC, &DeactivationDelay}, Spec::DelaysStacked},
     ""},
    {{"Cell Voltage Deviation", "BF56 Cell Voltage Deviation Warning Flag", W1, flagBit(23), 111, "",
      "the difference between the maximum and minimum cell voltages", false,
      {"Cell Voltage Deviation Warning", 0x00A1, &CellDeviation},
      {"Cell Voltage Deviation Warning activation delay", 0x00AF, &ActivationDelay},
      {"Cell Voltage Deviation Warning deactivation threshold", 0x00A2, &CellDeviation},
      {"Cell Voltage Deviation Warning deactivation delay", 0x00B0, &DeactivationDelay}},
     "Cell Voltage Deviation Warning"},
    {{"Pack Voltage Deviation", "BF_57 Pack Voltage Deviation Warning Flag", W1, flagBit(24), 111, "",
      "the difference between the maximum and minimum total voltages", false,
      {"Pack Voltage Deviation Warning", 0x02A3, &PackDeviation},
      {"Pack Voltage Deviation Warning activation delay", 0x00B1, &ActivationDelay},
      {"Pack Voltage Deviation Warning deactivation threshold", 0x02A7, &PackDeviation},
      {"Pack Voltage Deviation Warning deactivation delay", 0x00B2, &DeactivationDelay}},
     "Pack Voltage Deviation Warning"},
};

QString tipFor(const WarningBlock& block)
{
    const Spec& s = block.spec;
    if (s.tip == kCurrentTip)
        return ConfigPage::tr(kCurrentTip).arg(ConfigPage::tr(block.warning), ConfigPage::tr(s.subject));
    if (s.tip && *s.tip)
        return ConfigPage::tr(s.tip);
    return ConfigPage::tr("Activate %1 in case %2 goes %3 \"Activate at\"<br>treshold. The Warning is deactivated "
                          "if %2 goes %4 \"Deactivate at\" threshold. Both activation<br>and deactivation can be "
                          "delayed using \"Activation delay\" and \"Dectivation delay\" parameters, meaning that "
                          "the<br>activation/deactivation condition has to persist for as long as the specified "
                          "delay.")
        .arg(ConfigPage::tr(block.warning), ConfigPage::tr(s.subject),
             s.below ? ConfigPage::tr("below") : ConfigPage::tr("above"),
             s.below ? ConfigPage::tr("above") : ConfigPage::tr("below"));
}

} // namespace

SignalWindowTab* ConfigPage::createWarningsTab(QWidget* parent)
{
    return makeLimitTab(parent, [this](int editorWidth) { return createWarningGroup(editorWidth); });
}

QWidget* ConfigPage::createWarningGroup(int editorWidth)
{
    QGridLayout* groupGrid = nullptr;
    WidgetFold* fold = createParamGroup(tr("Warning"), &groupGrid);
    groupGrid->setVerticalSpacing(7);
    LimitBlockBuilder b(this, groupGrid, editorWidth);
    for (const WarningBlock& block : kBlocks)
        b.addBlock(block.spec, tipFor(block));

    // Shown by its own feature: on a unit that reports only that one, the
    // group shows this row alone.
    b.addLabel(tr("Cell Wire Break"), 145, 2, 0);
    b.addFlag("BF77_WIRE_BREAK_WARNING", W2, flagBit(12), 145, 145,
              tr("Activate Cell Wire Break Warning in case cell wire break is detected.<br>The Warning is "
                 "deactivated when no broken wires are found."),
              15, 2, 1);
    return fold;
}
