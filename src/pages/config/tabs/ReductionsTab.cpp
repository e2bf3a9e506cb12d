// The Reductions tab: each power reduction of the unit switched on or off,
// with the thresholds and delays at which the unit drives the power
// reduction output (pin function PF16) and releases it.
#include "ConfigPage.h"

#include "LimitBlock.h"
#include "SignalWindowTab.h"
#include "WidgetFold.h"

#include <QGridLayout>

using namespace LimitEncodings;
using FlagWord::W0;
using FlagWord::W1;

namespace {

using Spec = LimitBlockSpec;

const Spec kLowCellVoltage{
    "Low Cell Voltage:", "BF7 Low Voltage Reduction", W0, flagBit(6), 60, "", "minimum cell voltage", true,
    {"Low Voltage", 0x0008, &CellVoltage},
    {"Low cell voltage reduction activation delay", 0x0034, &ActivationDelay},
    {"Low cell voltage reduction deactivation threshold", 0x003A, &CellVoltage},
    {"Low cell voltage reduction deactivation delay", 0x0035, &DeactivationDelay}};
const Spec kHighDischargeCurrent{
    "High Discharge Current:", "BF8 High discharge current reduction", W0, flagBit(7), 60,
    "Activate power reduction output pin PF16 (if assigned) in case discharge current is above \"Activate "
    "at\"<br>treshold. Activation and deactivation can be delayed using \"Activation delay\" and \"Dectivation "
    "delay\" parameters.",
    "", false,
    {"Discharge Current Warning", 0x190F, &ReductionCurrent},
    {"High discharge current reduction activation delay", 0x0038, &ActivationDelay},
    {},
    {"High discharge current reduction deactivation delay", 0x0039, &DeactivationDelay}};
// Block 2: captioned by firmware range.
const Spec kHighModuleTemperature{
    "", "BF9 High Cell Temperature", W0, flagBit(8), 60, "", "maximum cell module temperature", false,
    {"Warning Temperature", 0x0015, &HighTemperature},
    {"Cell module high temperature reduction activation delay", 0x0036, &ActivationDelay},
    {"Cell module high temperature reduction deactivation threshold", 0x003B, &HighTemperature},
    {"Cell module high temperature reduction deactivation delay", 0x0037, &DeactivationDelay}};
const Spec kHighCellTemperature{
    "High Cell Temperature:", "BF41 High Cell Temperature", W1, flagBit(8), 62, "", "maximum cell temperature",
    false,
    {"Cell Warning Temperature", 0x004F, &HighTemperature},
    {"Cell high temperature reduction activation delay", 0x0051, &ActivationDelay},
    {"Cell high temperature reduction deactivation threshold", 0x0050, &HighTemperature},
    {"Cell high temperature reduction deactivation delay", 0x0052, &DeactivationDelay},
    Spec::Standard, 25};

QString tipFor(const Spec& spec)
{
    if (spec.tip && *spec.tip)
        return ConfigPage::tr(spec.tip);
    return ConfigPage::tr("Activate power reduction output pin PF16 (if assigned) in case %1 goes %2 \"Activate "
                          "at\"<br>treshold. The pin is deactivated if %1 goes %3 \"Deactivate at\" threshold. "
                          "Both activation<br>and deactivation can be delayed using \"Activation delay\" and "
                          "\"Dectivation delay\" parameters, meaning that the<br>activation/deactivation condition "
                          "has to persist for as long as the specified delay.")
        .arg(ConfigPage::tr(spec.subject), spec.below ? ConfigPage::tr("below") : ConfigPage::tr("above"),
             spec.below ? ConfigPage::tr("above") : ConfigPage::tr("below"));
}

} // namespace

SignalWindowTab* ConfigPage::createReductionsTab(QWidget* parent)
{
    return makeLimitTab(parent, [this](int editorWidth) { return createReductionGroup(editorWidth); });
}

QWidget* ConfigPage::createReductionGroup(int editorWidth)
{
    QGridLayout* groupGrid = nullptr;
    WidgetFold* fold = createParamGroup(tr("Reduction"), &groupGrid);
    groupGrid->setVerticalSpacing(7);
    LimitBlockBuilder b(this, groupGrid, editorWidth);

    b.addBlock(kLowCellVoltage, tipFor(kLowCellVoltage));
    b.addBlock(kHighDischargeCurrent, tipFor(kHighDischargeCurrent));

    // The same limits are the cell module's on later firmware, where the
    // cell's own follow in the next block.
    b.beginBlock();
    b.addLabel(tr("High Cell Temperature:"), 61, 0, 0);
    b.addLabel(tr("High Cell Module\nTemperature:"), 62, 0, 0);
    const Spec& m = kHighModuleTemperature;
    b.addFlag(m.flagName, m.flagWord, m.flagMask, 60, 60, tipFor(m), m.checkBoxWidth, 0, 1);
    b.addLimits(m);

    b.addBlock(kHighCellTemperature, tipFor(kHighCellTemperature));
    return fold;
}
