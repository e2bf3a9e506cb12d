// The I/O Pins tab: the function and inversion of each of the unit's
// fourteen configurable pins, and the range of the state-of-charge output.
// Nothing here follows the firmware's features: the whole tab always shows.
#include "ConfigPage.h"

#include "ConfigParam.h"
#include "MyGroupBox.h"
#include "ParamConversion.h"
#include "SignalWindowTab.h"
#include "Tip.h"
#include "WidgetFold.h"

#include <QAbstractItemModel>
#include <QComboBox>
#include <QCoreApplication>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include <memory>
#include <vector>

using namespace ParamConversion;

namespace {

#define TR(text) QT_TRANSLATE_NOOP("ConfigPage", text)

// Pin function texts by their number (the value of bits 0 to 6).
const char* const kPinFunctionTexts[] = {
    TR("PF0 No Function"),
    TR("PF1 Speed Sensor Input"),
    TR("PF2 Fast Charge Switch Input"),
    TR("PF3 Charger Mains AC Sense Input"),
    TR("PF4 Ignition Key Input"),
    TR("PF5 Heater Enable Output"),
    TR("PF6 LED"),
    TR("PF7 Sound Buzzer Output"),
    TR("PF8 Battery Low Indication Output"),
    TR("PF9 Charging Indication Output"),
    TR("PF10 Charger Enable Output"),
    TR("PF11 State of Charge Output"),
    TR("PF12 Battery Contactor Output"),
    TR("PF13 Battery Fan Output"),
    TR("PF14 Current Sensor Input"),
    TR("PF15 Leakage Sensor Input"),
    TR("PF16 Power Reduction Output"),
    TR("PF17 Charging Interlock"),
    TR("PF18 Analog Charger Control Output"),
    TR("PF19 ZVU Boost Charge Output"),
    TR("PF20 ZVU Slow Charge Output"),
    TR("PF21 ZVU Buffer Mode Output"),
    TR("PF22 BMS Failure Output"),
    TR("PF23 Equalization Enable Output"),
    TR("PF24 DC/DC Control Output"),
    TR("PF25 Eltek SmartPack Recitfier Limit"),
    TR("PF26 Contactor Pre-charge Output"),
    TR("PF27 Toshiba SCiB Module ICGT Control Output"),
    TR("PF28 PSU Under-voltage sense"),
    TR("PF29 PSU Under-voltage indication"),
    TR("PF30 Optimised Battery Charging Sense"),
    TR("PF31 Current Sense In Range Indication"),
    TR("PF32 Contactor A(Negative)"),
    TR("PF33 Contactor B(Precharge)"),
    TR("PF34 Contactor C(Positive)"),
    TR("PF35 Contactor D(CHG)"),
    TR("PF36 Contactor E(EPT)"),
    TR("PF37 Contactor A Welding Sense Input"),
    TR("PF38 Contactor C Welding Sense Input"),
    TR("PF39 Interlock high-side current sensing"),
    TR("PF40 Interlock low-side current sensing"),
    TR("PF41 Interlock set (sent) voltage"),
    TR("PF42 Interlock got (received) voltage"),
};
constexpr int kPinFunctionCount = int(sizeof(kPinFunctionTexts) / sizeof(kPinFunctionTexts[0]));
static_assert(kPinFunctionCount == 43, "pin functions are numbered 0 to 42");

// The functions each pin offers, its default first, "PF0 No Function" last.
const std::vector<int> kInputItems = {14, 2, 3, 4, 15, 28, 30, 39, 40, 41, 42, 0};
const std::vector<int> kAcSenseItems = {3, 2, 4, 15, 28, 30, 0};
const std::vector<int> kIgnitionItems = {4, 2, 3, 15, 28, 30, 0};
const std::vector<int> kFastChargeItems = {2, 3, 4, 15, 28, 30, 37, 38, 0};
const std::vector<int> kSpeedItems = {1, 2, 3, 4, 15, 37, 38, 0};

// An output pin's list: its default, then the other outputs.
std::vector<int> outputItems(int first)
{
    std::vector<int> items = {first};
    for (int f : {5, 7, 8, 9, 10, 12, 13, 16, 17, 19, 20, 21, 22, 23, 24, 25, 26, 27, 29, 31, 32, 33, 34, 35, 36})
        if (f != first)
            items.push_back(f);
    items.push_back(0);
    return items;
}

std::vector<int> socOutItems()
{
    std::vector<int> items = {11, 5, 7, 8, 9, 10, 12, 13, 16, 17, 18};
    for (int f = 19; f <= 27; ++f)
        items.push_back(f);
    items.insert(items.end(), {29, 31, 0});
    return items;
}

struct Pin
{
    int id;
    const char* name;
    const char* inversionName;
    const char* caption;
    std::vector<int> items;
    int ruleTag; // combo box's; the check box's is one more. 0: none
};

const std::vector<Pin>& pins()
{
    static const std::vector<Pin> list = {
        {0x0800, "INPUT 1", "Input 1 inversion", TR("INPUT 1:"), kInputItems, 1},
        {0x0801, "INPUT 2", "Input 2 Inversion", TR("INPUT 2:"), kInputItems, 3},
        {0x0802, "INPUT 3", "Input 3 Inversion", TR("INPUT 3:"), kInputItems, 5},
        {0x0803, "INPUT 4", "Input 4 Inversion", TR("INPUT 4:"), kInputItems, 7},
        {0x0804, "AC SENSE", "AC SENSE Inversion", TR("AC SENSE:"), kAcSenseItems, 0},
        {0x0805, "IGNITION", "IGNITION Inversion", TR("IGN. IN:"), kIgnitionItems, 0},
        {0x0806, "FAST CHG", "FAST CHG Inversion", TR("FAST CHG.:"), kFastChargeItems, 0},
        {0x0807, "CHARGER", "CHARGER Inversion", TR("CHARGER:"), outputItems(10), 0},
        {0x0809, "HEATER", "HEATER Inversion", TR("HEATER:"), outputItems(5), 0},
        {0x080A, "LOW VOLTAGE", "LOW VOLTAGE Inversion", TR("BAT. LOW:"), outputItems(8), 0},
        {0x080B, "BUZZER", "BUZZER Inversion", TR("BUZZER:"), outputItems(7), 0},
        {0x080C, "CHG IND", "CHG IND Inversion", TR("CHG. IND.:"), outputItems(9), 0},
        {0x080D, "SPEED", "SPEED inversion", TR("SPEED IN:"), kSpeedItems, 0},
        {0x080E, "SOC", "SOC inversion", TR("SOC OUT:"), socOutItems(), 0},
    };
    return list;
}

constexpr uint32_t kFunctionMask = 0x7F;
constexpr uint32_t kInversionMask = 0x80;
// 100 / 255: a byte spans 0 to 100 %.
constexpr double kSocOutputScale = 0.392156862745;

} // namespace

SignalWindowTab* ConfigPage::createIoPinsTab(QWidget* parent)
{
    auto* tab = new SignalWindowTab(parent);
    auto* outer = new QVBoxLayout;
    auto* row = new QHBoxLayout;
    outer->addLayout(row);

    auto* columnA = new QVBoxLayout;
    row->addLayout(columnA);
    columnA->addWidget(new WidgetFold(createPinMappingGroup()));
    columnA->addStretch(1);

    auto* columnB = new QVBoxLayout;
    row->addLayout(columnB);
    columnB->addWidget(new WidgetFold(createSocOutputGroup()));
    columnB->addStretch(1);

    row->addStretch(1);
    outer->addStretch(1);
    tab->setLayout(outer);
    return tab;
}

MyGroupBox* ConfigPage::createPinMappingGroup()
{
    auto* box = new MyGroupBox(tr("I/O Pin Mapping"));
    auto* grid = new QGridLayout(box);
    grid->addWidget(new QLabel(tr("Pin Name")), 0, 0);
    grid->addWidget(new QLabel(tr("Assigned Pin Function")), 0, 1);
    grid->addWidget(new QLabel(tr("Invert")), 0, 2, 1, 2);
    grid->setColumnStretch(3, 1);

    QStringList texts;
    for (const char* text : kPinFunctionTexts)
        texts << tr(text);

    // The output pins' lists change with the firmware and the charger type. A
    // list that loses the shown function shows no item, not the neighbour the
    // combo box would move to; one that gets the stored function back shows
    // it again.
    auto keepShowingStoredFunction = [this](QComboBox* combo, const ConfigParam* function) {
        QAbstractItemModel* model = combo->model();
        auto shownGoes = std::make_shared<bool>(false);
        connect(model, &QAbstractItemModel::rowsAboutToBeRemoved, combo,
                [combo, shownGoes](const QModelIndex&, int first, int last) {
                    *shownGoes = combo->currentIndex() >= first && combo->currentIndex() <= last;
                });
        auto show = [this, combo](int index) {
            ++m_programmaticChange;
            combo->setCurrentIndex(index);
            --m_programmaticChange;
        };
        connect(model, &QAbstractItemModel::rowsRemoved, combo, [shownGoes, show] {
            if (*shownGoes)
                show(-1);
            *shownGoes = false;
        });
        connect(model, &QAbstractItemModel::rowsInserted, combo, [combo, function, show] {
            if (combo->currentIndex() >= 0 || !function->slot || !function->slot->valid)
                return;
            const int index = combo->findData(int(function->slot->currentValue() & kFunctionMask));
            if (index >= 0)
                show(index);
        });
    };

    int r = 1;
    for (const Pin& pin : pins()) {
        // The combo box first, then the check box: the rules and the value
        // display find them by that order in the id's record.
        ConfigParam* function = nullptr;
        QWidget* combo = createParamWidget(QString::fromLatin1(pin.name), ComboBox, pin.id, Plain, 0, 43, 0, 1,
                                           &function, 0, false, 0, 0xFFFFFFFFu);
        function->bitMask = kFunctionMask;
        if (pin.ruleTag)
            function->ruleTag = pin.ruleTag;
        for (int f : pin.items)
            addComboItem(combo, texts.at(f), f);
        keepShowingStoredFunction(static_cast<QComboBox*>(combo), function);

        ConfigParam* inversion = nullptr;
        QWidget* check = createParamWidget(QString::fromLatin1(pin.inversionName), CheckBox, pin.id, Plain, -1, 1, 0,
                                           1, &inversion, 0, false, 0, 0xFFFFFFFFu);
        inversion->bitMask = kInversionMask;
        if (pin.ruleTag)
            inversion->ruleTag = pin.ruleTag + 1;

        new Tip(combo, tr("Sets the mapped function of the pin.<br>The default function is on top of the list."), 0,
                200, 10000, 0);
        new Tip(check, tr("Inverts the operation of the pin."), 0, 200, 10000, 0);

        grid->addWidget(new QLabel(tr(pin.caption)), r, 0);
        grid->addWidget(combo, r, 1);
        grid->addWidget(check, r, 2);
        ++r;
    }
    grid->addWidget(new QLabel, r, 0);
    grid->setRowStretch(r, 1);
    return box;
}

MyGroupBox* ConfigPage::createSocOutputGroup()
{
    auto* box = new MyGroupBox(tr("SOC OUT Signal Parameters"));
    auto* grid = new QGridLayout(box);
    const struct
    {
        int id;
        const char* name;
        const char* caption;
        const char* tip;
    } rows[] = {
        {0x0405, "Min SoC Output", TR("Min SoC Output:"), TR("Output PWM signal range corresponding to 0% SOC value.")},
        {0x0406, "Max SoC Output", TR("Max SoC Output:"),
         TR("Output PWM signal range corresponding to 100% SOC value.")},
    };
    int r = 0;
    for (const auto& row : rows) {
        QWidget* editor = createParamWidget(QString::fromLatin1(row.name), LineEdit, row.id, Real, 0, 100, 0,
                                            kSocOutputScale, nullptr, 0, false, 0, 0xFFFFFFFFu);
        new Tip(editor, tr(row.tip), 0, 200, 10000, 0);
        grid->addWidget(new QLabel(tr(row.caption)), r, 0, Qt::AlignLeft);
        grid->addWidget(editor, r, 1, Qt::AlignLeft);
        grid->addWidget(new QLabel(tr("%")), r, 2, Qt::AlignLeft);
        ++r;
    }
    grid->setColumnStretch(2, 1);
    return box;
}
