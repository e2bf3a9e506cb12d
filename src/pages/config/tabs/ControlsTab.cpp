// The Controls tab: how the unit drives heater and fan, the battery
// contactor, a DC/DC converter, the supply under-voltage sensing, the
// "Current Sense In Range" output and the battery heating. Every editor is a
// parameter editor; the tab holds no values and no buttons of its own.
#include "ConfigPage.h"

#include "ConfigParam.h"
#include "MyGroupBox.h"
#include "ParamConversion.h"
#include "SignalWindowTab.h"
#include "Tip.h"
#include "WidgetFold.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDoubleValidator>
#include <QFontMetrics>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include <iterator>

using namespace ParamConversion;

namespace {

#define TR(text) QT_TRANSLATE_NOOP("ConfigPage", text)

QString trText(const char* text)
{
    return QCoreApplication::translate("ConfigPage", text);
}

// One row of a group: a check box on one bit of a flag word (mask set) or a
// numeric line edit.
struct Row
{
    int id;
    uint32_t mask; // 0: numeric editor
    const char* name;
    int valueType;
    double minimum;
    double maximum;
    int offset;
    double scale;
    const char* unit;
    bool plainUnit; // the unit is not translated
    const char* caption;
    int feature; // given to the factory
    int shownBy; // the feature the row's widgets are registered under
    const char* tip; // null: the editor has no tip
};

struct Placed
{
    QLabel* caption = nullptr;
    QWidget* editor = nullptr;
    QLabel* unit = nullptr;
    ConfigParam* param = nullptr;
};

struct Alignments
{
    Qt::Alignment caption;
    Qt::Alignment editor;
    Qt::Alignment unit;
};

Placed addRow(ConfigPage* page, QGridLayout* grid, int gridRow, const Row& r, int width, int tipPlacement,
              Alignments align)
{
    Placed placed;
    const bool flag = r.mask != 0;
    if (flag)
        placed.editor = page->createParamWidget(QString::fromUtf8(r.name), CheckBox, r.id, Plain, -1, 1, 0, 1,
                                                &placed.param, r.feature, false, 0, 0xFFFFFFFFu);
    else
        placed.editor = page->createParamWidget(QString::fromUtf8(r.name), LineEdit, r.id, r.valueType, r.minimum,
                                                r.maximum, r.offset, r.scale, &placed.param, r.feature, false, 0,
                                                0xFFFFFFFFu);
    if (flag)
        placed.param->bitMask = r.mask;
    if (r.tip)
        new Tip(placed.editor, trText(r.tip), tipPlacement, 200, 10000, 0);
    if (!flag)
        placed.editor->setFixedWidth(width);
    placed.caption = new QLabel(trText(r.caption));
    page->registerFeatureWidget(placed.caption, r.shownBy, 0);
    page->registerFeatureWidget(placed.editor, r.shownBy, 0);
    grid->addWidget(placed.caption, gridRow, 1, align.caption);
    grid->addWidget(placed.editor, gridRow, 2, align.editor);
    placed.unit = new QLabel(r.plainUnit ? QString::fromUtf8(r.unit) : trText(r.unit));
    page->registerFeatureWidget(placed.unit, r.shownBy, 0);
    grid->addWidget(placed.unit, gridRow, 3, align.unit);
    return placed;
}

constexpr Alignments kPlain{Qt::Alignment(), Qt::Alignment(), Qt::AlignLeft};
constexpr Alignments kAllLeft{Qt::AlignLeft, Qt::AlignLeft, Qt::AlignLeft};

// --- Heater And Fan Control

const Row kHeaterFanRows[] = {
    {0x0014, 0, "Fan On Temperature", Plain, 20, 155, -100, 1, "°C", true, TR("Fan On Temperature:"), 35, 35,
     TR("Sets the temperature threshold above which BMS enables<br>fan output (if PF13 function enabled and "
        "assigned), regardless of battery climate control.")},
    {0x0009, 0, "Minimum charging temperature", Real, -100, 20, -100, 1, "°C", true,
     TR("Minimum Charging Temperature:"), 35, 35,
     TR("Sets the lowest cell temperature at which charging is allowed. If the minimum cell temperature<br>is below "
        "this value and charger is connected then BMS starts with pre-heating stage which enables heater output "
        "pin<br>Pin Function 5 (PF5) (if enabled) that is controlling external heater which should be heating up the "
        "cells until they<br>reach this minimum temperature. Charging starts once they have.<br>To disable "
        "pre-heating and charge delay, enter a value of -100°C.")},
};

const Row kClimateRows[] = {
    {0x1600, 0x00100000u, "Battery Climate Control in Heater and Fan", Plain, 0, 0, 0, 1, " ", false,
     TR("Enable:"), 37, 37,
     TR("Enable or disable battery climate control. If enabled, PF5 and PF13 pins will be<br> used to enable either "
        "heater or fan, depending on the average temperature of the cells.")},
    {0x0016, 0, "Climate Control Normal Temperature in Climate Control", Plain, -40, 155, -100, 1, "°C", true,
     TR("Normal Temperature:"), 0, 37,
     TR("Average cell temperature that battery climate control keeps while no charger is connected.")},
    {0x0017, 0, "Climate Control Charging Temperature 1", Plain, -40, 155, -100, 1, "°C", true,
     TR("Charging Temperature:"), 0, 37,
     TR("Average cell temperature that battery climate control keeps while a charger is connected.")},
    {0x0118, 0, "Climate Control Minimum SOC in FP::ClimateControl", Plain, 0, 100, 0, 0.01, TR("%"), false,
     TR("Minimum SOC:"), 0, 37,
     TR("Minimum value of SOC, below which battery climate is no longer controlled to prevent deep discharge.")},
    {0x0048, 0, "Max duration when not charging", Plain, 0, 255, 0, 1, TR("h"), false,
     TR("Max duration\nwhen not charging:"), 38, 37,
     TR("If the charger is not connected, the climate will no longer be controlled after this period of "
        "time.<br>This functionality can be disabled by setting this parameter to 0.")},
};

const Row kWaterPumpRows[] = {
    {0x1608, 0x00000008u, "Battery Water Pump Control", Plain, 0, 0, 0, 1, " ", false, TR("Enable:"), 115, 115,
     TR("Enable or disable water pump control. If enabled, PF5 and PF13 pins will be<br> used to enable either "
        "heater or fan, depending on the cell module over/under heat protections <br>and normal temperature water "
        "pump thresholds.")},
    {0x00DE, 0, "Overheat threshold", Plain, -100, 155, -100, 1, "°C", true, TR("Over-Heat Threshold:"), 115, 115,
     TR("Cell module temperature above which the water pump is switched on.")},
    {0x00DF, 0, "Water Pump Under-Heat Threshold", Plain, -100, 155, -100, 1, "°C", true,
     TR("Under-Heat Threshold:"), 115, 115, TR("Cell module temperature below which the water pump is switched on.")},
    {0x00E0, 0, "Activation delay", Plain, 0, 25.5, 0, 0.1, "s", true, TR("Act. delay:"), 115, 115, nullptr},
};

const Row kRedazadRows[] = {
    {0x0023, 0, "Redazad Climate Control Lower Temperature 1", Plain, -100, 155, -100, 1, "°C", true,
     TR("Lower Temperature:"), 41, 41, TR("Lower temperature threshold of the Redazad climate control algorithm.")},
    {0x0024, 0, "Redazad Climate Control Upper Temperature 1", Plain, -100, 155, -100, 1, "°C", true,
     TR("Upper Temperature:"), 41, 41, TR("Upper temperature threshold of the Redazad climate control algorithm.")},
    {0x1918, 0, "Redazad Climate Control Heater Compensation Current 1", Real, 0, 1600, 0, 0.1, TR("A"), false,
     TR("Heater Compensation Current:"), 41, 41,
     TR("Sets the current value drawn by heater, which is compensated as Redazad<br>climate control algorithm "
        "increases the amount of charger current by this<br>value.")},
};

// --- Battery Contactor Control

const Row kContactorRows[] = {
    {0x1604, 0x00004000u, "BF47_IGNITION_CONTROLLED_CONTACTOR", Plain, 0, 0, 0, 1, "", false,
     TR("Enable contactor control by Ignition:"), 102, 102,
     TR("If enabled, the battery contactor is closed and opened by the Ignition input.")},
    {0x1600, 0x08000000u, "BF28_ENABLE_EXTERNAL_CONTACTOR_ACTIVATION 1", Plain, 0, 0, 0, 1, "", false,
     TR("External Contactor Control:"), 42, 42,
     TR("If enabled, battery contactor can be controlled over CAN message (see Kepo BMS CAN documentation)")},
    {0x1604, 0x00000040u, "BF39_PROTECTIONS_OVERRIDE_EXT_CONTACTOR_ACT", Plain, 0, 0, 0, 1, "", false,
     TR("Reset External Contactor <br>Deactivation On Protection:"), 43, 43,
     TR("If enabled, external contactor dectivation will be reset if a protection event occurs, meaning<br>that "
        "contactor will not be automatically closed after the protection clears, but instead the<br>Control Unit "
        "will wait for an external activation CAN message again.")},
    {0x1604, 0x00000020u, "BF38_ENABLE_CONTACTOR_PRECHARGE", Plain, 0, 0, 0, 1, "", false,
     TR("Enable Contactor Pre-charge:"), 44, 44,
     TR("If enabled, the Contactor Pre-charge Output (PF26) is switched on for the Contactor Pre-charge "
        "Duration<br>every time before the battery contactor (PF12) is closed.<br>The duration is counted after the "
        "protection deactivation delay has passed.")},
    {0x003C, 0, "Contactor Pre-charge Duration", Plain, 0, 255, 0, 1, "s", true, TR("Contactor Pre-charge Duration:"),
     44, 44, nullptr},
};

// --- DC/DC Converter Control

const char* const kDcDcThresholdTip =
    TR("The PF24 DC/DC Control Output pin is switched off after the deactivation timeout when the minimum cell "
       "voltage<br>falls below the threshold in force, and switched on again when it rises more than 0.10 V above "
       "that threshold,<br>but not sooner than the activation timeout. The active state threshold is in force while "
       "the Ignition input<br>is high or a charger is connected, the passive state threshold otherwise. The function "
       "serves a DC/DC converter<br>that powers the control unit from the battery it monitors when no external "
       "supply is available.");

const Row kDcDcRows[] = {
    {0x000A, 0, "DC/DC Control Threshold In Active State", Plain, 2.00, 4.55, 200, 0.01, TR("V"), false,
     TR("Active State Threshold:"), 45, 45, kDcDcThresholdTip},
    {0x0060, 0, "DC/DC Control Threshold In Passive State", Plain, 2.00, 4.55, 200, 0.01, TR("V"), false,
     TR("Passive State Threshold:"), 46, 46, kDcDcThresholdTip},
    {0x00F1, 0, "DC/DC Control Activation Timeout", Plain, 0, 25.5, 0, 0.1, TR("s"), false, TR("Activation timeout:"),
     149, 149,
     TR("Least time before the PF24 DC/DC Control Output is switched on again<br>after the minimum cell voltage has "
        "risen above the threshold.")},
    {0x00F2, 0, "DC/DC Control Deactivation Timeout", Plain, 0, 25.5, 0, 0.1, TR("s"), false,
     TR("Deactivation timeout:"), 149, 149,
     TR("Time the minimum cell voltage must stay below the threshold in force<br>before the PF24 DC/DC Control "
        "Output is switched off.")},
    {0x1608, 0x00000100u, "BF_72 DC/DC Zero Current Control", Plain, 0, 0, 0, 1, "", false,
     TR("Zero Current DC/DC Control"), 150, 150,
     TR("If enabled, the PF24 DC/DC Control Output is switched off after the zero current timeout<br>when the "
        "discharge current falls below the zero current margin. It works only while the<br>battery contactor output "
        "(PF12) is active and a current sensor is connected.")},
    {0x00F4, 0, "DC/DC Zero Current Margin", Plain, 0, 2.55, 0, 0.01, TR("A"), false,
     TR("Discharge Zero Current Margin:"), 150, 150,
     TR("Discharge current below which the PF24 DC/DC Control Output is switched off<br>after the zero current "
        "timeout.")},
    {0x00F3, 0, "DC/DC Zero Current Delay", Plain, 0, 25.5, 0, 0.1, TR("s"), false, TR("Zero Current Timeout:"), 150,
     150,
     TR("Time the discharge current must stay below the zero current margin<br>before the PF24 DC/DC Control Output "
        "is switched off.")},
};

// --- PSU Under-Voltage Sense Control

const Row kPsuRows[] = {
    {0x0071, 0, "PSU Under-Voltage Upper Threshold", Plain, 0, 25.5, 0, 0.1, TR("V"), false,
     TR("Deactivation threshold:"), 103, 103,
     TR("Above this voltage threshold system recovers from Power Supply Unit under-voltage.")},
    {0x0072, 0, "PSU Under-Voltage Lower Threshold", Plain, 0, 25.5, 0, 0.1, TR("V"), false,
     TR("Activation threshold:"), 103, 103,
     TR("Below this voltage threshold system detects Power Supply Unit under-voltage.")},
    {0x0073, 0, "PSU Under-Voltage Divider Value", Plain, 0.1, 25.5, 0, 0.1, "", false, TR("Voltage divider value:"),
     103, 103,
     TR("This value is used for scaling input reading so that input voltage<br>is correctly estimated.<br>E.g. input "
        "voltage= 4V, divider= 3.5, real estimated voltage= 14V.")},
};

// Long enough for every value of the range ("25.5").
constexpr int kDividerMaxLength = 4;

const char* const kCurrentInRangeTip =
    TR("Current threshold 'Current Sense In Range' pin function is will be activated if current is in set range, "
       "deactivated if out ot these ranges.");

template <size_t N>
void addRows(ConfigPage* page, QGridLayout* grid, int firstRow, const Row (&rows)[N], int width, int tipPlacement,
             Alignments align, Alignments firstRowAlign)
{
    for (size_t i = 0; i < N; ++i)
        addRow(page, grid, firstRow + int(i), rows[i], width, tipPlacement, i == 0 ? firstRowAlign : align);
}

// An inner box of Heater And Fan Control, registered as a group of its own
// (without a fold) once the outer group's entries are all in.
QGridLayout* startInnerBox(ConfigPage* page, MyGroupBox* box)
{
    page->registerFeatureGroup(box, false);
    return new QGridLayout(box);
}

} // namespace

SignalWindowTab* ConfigPage::createControlsTab(QWidget* parent)
{
    auto* tab = new SignalWindowTab(parent);
    const int w = QFontMetrics(QApplication::font()).horizontalAdvance(QStringLiteral("9999.9  "));

    auto* page = new QVBoxLayout;
    auto* row = new QHBoxLayout;
    page->addLayout(row);

    auto* left = new QVBoxLayout;
    row->addLayout(left);
    left->addWidget(createHeaterFanGroup(w));
    left->addWidget(createContactorGroup(w));
    left->addStretch(1);

    auto* right = new QVBoxLayout;
    row->addLayout(right);
    right->addWidget(createDcDcGroup(w));
    right->addWidget(createPsuUnderVoltageGroup(w));
    right->addWidget(createCurrentInRangeGroup(w));
    right->addWidget(createBatteryControlsGroup(w));
    right->addStretch(1);

    row->addStretch(1);
    page->addStretch(1);
    tab->setLayout(page);
    return tab;
}

QWidget* ConfigPage::createHeaterFanGroup(int w)
{
    QGridLayout* grid = nullptr;
    WidgetFold* fold = createParamGroup(tr("Heater And Fan Control"), &grid);
    addRow(this, grid, 1, kHeaterFanRows[0], w, 0, kAllLeft);
    addRow(this, grid, 2, kHeaterFanRows[1], w, 0, kPlain);

    auto* climate = new MyGroupBox(tr("Climate Control"));
    auto* waterPump = new MyGroupBox(tr("Water Pump Control"));
    auto* redazad = new MyGroupBox(tr("Redazad Climate Control"));
    redazad->setObjectName(QStringLiteral("not_bold"));
    // In the fold's own group beside the fan rows: the fold shows whenever
    // its rows or one of its boxes do. A second group for the boxes alone
    // would hide the fold again on a unit with the fan rows and no box.
    registerFeatureWidget(climate, 37, 0);
    registerFeatureWidget(waterPump, 115, 0);
    registerFeatureWidget(redazad, 41, 0);

    grid->addWidget(climate, 4, 1, 1, 3);
    addRows(this, startInnerBox(this, climate), 0, kClimateRows, w, 0, kPlain, kAllLeft);
    grid->addWidget(waterPump, 10, 1, 1, 3);
    addRows(this, startInnerBox(this, waterPump), 0, kWaterPumpRows, w, 0, kPlain, kAllLeft);
    // Its own row just below "Climate Control": a firmware offering both
    // climate controls shows both, one above the other, instead of one on
    // top of the other. Either one alone takes the same place as before.
    grid->addWidget(redazad, 5, 1, 1, 3);
    addRows(this, startInnerBox(this, redazad), 4, kRedazadRows, w, 0, kPlain, kPlain);
    return fold;
}

QWidget* ConfigPage::createContactorGroup(int w)
{
    QGridLayout* grid = nullptr;
    WidgetFold* fold = createParamGroup(tr("Battery Contactor Control"), &grid);
    const Alignments align{Qt::Alignment(), Qt::AlignRight, Qt::Alignment()};
    addRows(this, grid, 0, kContactorRows, w, 0, align, align);
    return fold;
}

QWidget* ConfigPage::createDcDcGroup(int w)
{
    QGridLayout* grid = nullptr;
    WidgetFold* fold = createParamGroup(tr("DC/DC Converter Control"), &grid);
    for (int i = 0; i < int(std::size(kDcDcRows)); ++i) {
        const Placed placed = addRow(this, grid, 1 + i, kDcDcRows[i], w, 0, kPlain);
        if (kDcDcRows[i].mask)
            placed.editor->setFixedWidth(15);
    }
    return fold;
}

QWidget* ConfigPage::createPsuUnderVoltageGroup(int w)
{
    QGridLayout* grid = nullptr;
    WidgetFold* fold = createParamGroup(tr("PSU Under-Voltage Sense Control"), &grid);
    for (int i = 0; i < int(std::size(kPsuRows)); ++i) {
        const Placed placed = addRow(this, grid, i, kPsuRows[i], w, 1, kPlain);
        if (kPsuRows[i].id == 0x0073)
            static_cast<QLineEdit*>(placed.editor)->setMaxLength(kDividerMaxLength);
    }
    return fold;
}

QWidget* ConfigPage::createCurrentInRangeGroup(int w)
{
    QGridLayout* grid = nullptr;
    WidgetFold* fold = createParamGroup(tr("Current in Range Control"), &grid);
    auto* caption = new QLabel(tr("Limit thresholds:"));
    registerFeatureWidget(caption, 109, 0);
    grid->addWidget(caption, 0, 1);
    const struct
    {
        int id;
        const char* name;
        int column;
    } editors[] = {
        {0x0177, "Current Sense In Range Upper Threshold", 2},
        {0x0175, "Current Sense In Range Lower Threshold", 3},
    };
    for (const auto& e : editors) {
        QWidget* editor = createParamWidget(QString::fromLatin1(e.name), LineEdit, e.id, Plain, -3000.0, 3000.0,
                                            -30000, 0.1, nullptr, 109, false, 0, 0xFFFFFFFFu);
        new Tip(editor, trText(kCurrentInRangeTip), 1, 200, 10000, 0);
        editor->setFixedWidth(w);
        registerFeatureWidget(editor, 109, 0);
        grid->addWidget(editor, 0, e.column);
    }
    auto* unit = new QLabel(tr("A"));
    registerFeatureWidget(unit, 109, 0);
    grid->addWidget(unit, 0, 4, Qt::AlignLeft);
    return fold;
}

QWidget* ConfigPage::createBatteryControlsGroup(int w)
{
    QGridLayout* grid = nullptr;
    WidgetFold* fold = createParamGroup(tr("Battery Controls"), &grid);
    ConfigParam* p = nullptr;
    auto* editor = static_cast<QLineEdit*>(createParamWidget(QStringLiteral("Battery Set temperature"), LineEdit,
                                                             0x00E8, Plain, 0.0, 85.0, -40, 0.5, &p, 115, false, 0,
                                                             0xFFFFFFFFu));
    // Half degrees: the scale alone would round them away ("21.5" shown as
    // "22", and refused when typed).
    p->decimals = 1;
    if (auto* validator = qobject_cast<const QDoubleValidator*>(editor->validator()))
        const_cast<QDoubleValidator*>(validator)->setDecimals(1);
    new Tip(editor, tr("Battery Set temperature indicating when the BCS will turn ON"), 1, 200, 10000, 0);
    editor->setFixedWidth(w);
    auto* caption = new QLabel(tr("On temperature:"));
    registerFeatureWidget(caption, 115, 0);
    registerFeatureWidget(editor, 115, 0);
    grid->addWidget(caption, 0, 1);
    grid->addWidget(editor, 0, 2);
    auto* unit = new QLabel(tr("C"));
    registerFeatureWidget(unit, 115, 0);
    grid->addWidget(unit, 0, 4);
    return fold;
}
