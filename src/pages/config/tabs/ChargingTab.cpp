// The Charging tab: cell charging thresholds beside the charge curve, the
// charger group, stage durations, charge end, discharge limit and the
// current regulation steps of a controlled charger.
#include "ConfigPage.h"
#include "ConfigParam.h"
#include "MyGroupBox.h"
#include "SignalWindowTab.h"
#include "Tip.h"
#include "WidgetFold.h"

#include <QApplication>
#include <QComboBox>
#include <QFontMetrics>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPixmap>
#include <QVBoxLayout>

#include <cstdlib>

namespace {

constexpr int kLineEdit = 1;
constexpr int kHexLineEdit = 2;
constexpr int kComboBox = 6;
constexpr int kCheckBox = 7;
constexpr int kPlain = 2;
constexpr int kReal = 6;
constexpr int kCanId11 = 15;
constexpr int kCanId29 = 16;

struct VoltageRow
{
    int id;
    const char* name;
    const char* caption;
    int feature;      // passed to the factory
    int registeredAs; // -1: not registered
    int row;
    const char* tip;
};

struct CurrentRow
{
    int id;
    const char* name;
    const char* label;
    double minimum;
    double maximum;
    double scale;
    int feature; // 0: always shown
    int row;
    const char* tip;
};

const char* const kRestartTip = "Cell voltage below which a finished charge starts again";
const char* const kFinishedTip = "Current at which charging is finished, in % of the nominal battery capacity";
const char* const kFinishedTipAnalog =
    "Current at which charging is finished, in % of the nominal battery capacity<br>"
    "(with an analog signal controlled charger: in % of the maximum charging current)";
const char* const kFinishedTipNominal =
    "Current at which charging is finished, in % of the nominal charging current (fast or slow)<br>"
    "Applies only with a controlled charger";
const char* const kPreTip = "Pre-charge current, in % of the nominal battery capacity";
const char* const kPreTipAnalog = "Pre-charge current, in % of the nominal battery capacity<br>"
                                  "(with an analog signal controlled charger: in % of the maximum charging current)";
const char* const kPreTipNominal = "Pre-charge current, in % of the nominal charging current (fast or slow)<br>"
                                   "Applies only with a controlled charger";

// Build order of the voltage rows.
const VoltageRow kVoltageRows[] = {
    {0x0005, "Maximum Allowed voltage", "Maximum Allowed Voltage", 15, 15, 1,
     "Maximum Allowed Voltage at which, if enabled, contactor will be disconnected<br>This value must be at least "
     "0.1V higher, than Fully Charged Voltage"},
    {0x000B, "Fully Charged voltage", "Fully Charged Voltage", 0, -1, 2,
     "Voltage to which charging proceeds. When this voltage is reached charging goes into constant voltage "
     "phase<br>This value must be at least 0.1V higher than Early Balancng Threshold"},
    {0x000C, "Allowed Disbalance", "Allowed Disbalance", 0, -1, 3,
     "Allowed voltage difference between the cells at the end of charging"},
    {0x000E, "Early balancing threshold", "Early Balancing Threshold", 0, -1, 4,
     "Voltage at which early balancing starts to reduce the balancing stage duration<br>This value must be at "
     "least 0.1V higher than Empty voltage"},
    {0x001A, "Charge restart voltage 1", "Charge Restart Voltage", 15, 15, 6, kRestartTip},
    {0x001A, "Charge restart voltage 2", "Charge Restart Voltage", 16, 16, 5, kRestartTip},
    {0x000D, "Pre-charge Threshold", "Pre-charge Threshold", 0, -1, 7,
     "Voltage threshold below which a cell is considered deeply discharged<br>Below this threshold battery will "
     "be charged with pre-charge current, if CAN charger is used "},
    {0x000A, "Empty voltage", "Empty Voltage", 0, 11, 8,
     "Voltage at which cell is considered empty<br>This value must be at least 0.1V higher than Minimal Allowed "
     "Voltage"},
    {0x0004, "Minimal voltage", "Minimal Allowed Voltage", 15, 15, 9,
     "Minimal Allowed Voltage at which, if enabled, contactor will be disconnected"},
};

const CurrentRow kCurrentRows[] = {
    {0x1901, "Normal charge current", "A, Fast Charging Current", 0.1, 3200.0, 0.1, 0, 1,
     "Constant current phase current of a controlled charger for fast charging"},
    {0x1903, "Slow charge current", "A, Slow Charging Current", 0.1, 3200.0, 0.1, 0, 2,
     "Constant current phase current of a controlled charger for slow charging"},
    {0x1806, "Charge finishing current 4", "%, Charge Finished Current", 0.1, 25.5, 0.1, 20, 6, kFinishedTipAnalog},
    {0x1806, "Charge finishing current 3", "%, Charge Finished Current", 0.1, 25.5, 0.1, 21, 6, kFinishedTip},
    {0x1806, "Charge finishing current 2", "%, Charge Finished Current", 1, 100, 1, 22, 6, kFinishedTip},
    {0x1806, "Charge finishing current 1", "%, Charge Finished Current", 1, 100, 1, 23, 6, kFinishedTipNominal},
    {0x1805, "Pre-charge current 5", "%, Pre-charge Current", 0.1, 25.5, 0.1, 25, 7, kPreTipAnalog},
    {0x1805, "Pre-charge current 3", "%, Pre-charge Current", 0.1, 25.5, 0.1, 21, 7, kPreTip},
    {0x1805, "Pre-charge current 2", "%, Pre-charge Current", 1, 100, 1, 22, 7, kPreTip},
    {0x1805, "Pre-charge current 1", "%, Pre-charge Current", 1, 100, 1, 23, 7, kPreTipNominal},
    {0x1806, "Charge finishing current 5", "%, Charge Finished Current", 0.1, 25.5, 0.1, 24, 8, kFinishedTipAnalog},
};

struct ChargerTypeItem
{
    const char* text;
    int value;
};

const ChargerTypeItem kChargerTypes[] = {
    {QT_TRANSLATE_NOOP("ConfigPage", "Non-CAN charger"), 0},
    {QT_TRANSLATE_NOOP("ConfigPage", "J1939 charger with CAN"), 1},
    {QT_TRANSLATE_NOOP("ConfigPage", "Eltek Valere EV Charger"), 3},
    {QT_TRANSLATE_NOOP("ConfigPage", "Analog Signal controlled charger"), 4},
    {QT_TRANSLATE_NOOP("ConfigPage", "ZVU"), 5},
    {QT_TRANSLATE_NOOP("ConfigPage", "Margen Inverter"), 6},
    {QT_TRANSLATE_NOOP("ConfigPage", "EDN charger"), 7},
    {QT_TRANSLATE_NOOP("ConfigPage", "Eltek SmartPack Charger"), 8},
    {QT_TRANSLATE_NOOP("ConfigPage", "Eltek Flatpack2 Recifier"), 9},
    {QT_TRANSLATE_NOOP("ConfigPage", "Zivan RE Charger"), 10},
    {QT_TRANSLATE_NOOP("ConfigPage", "Sunny Island Inverter"), 11},
    {QT_TRANSLATE_NOOP("ConfigPage", "Zivan Q9 Charger"), 12},
    {QT_TRANSLATE_NOOP("ConfigPage", "Powerfinn Charger"), 13},
    {QT_TRANSLATE_NOOP("ConfigPage", "G-Power EV33 Charger"), 14},
};

} // namespace

// The pictures live in this static library: register them before use.
static void initChargingResources() { Q_INIT_RESOURCE(chargingtabs); }

SignalWindowTab* ConfigPage::createChargingTab(QWidget* parent)
{
    initChargingResources();
    auto* tab = new SignalWindowTab(parent);
    const QFontMetrics metrics(QApplication::font());

    // Cell Charging Parameters
    auto* cellGrid = new QGridLayout;
    cellGrid->setVerticalSpacing(0);
    for (int row = 0; row <= 8; ++row)
        cellGrid->setRowMinimumHeight(row, 26 - row / 4);
    auto* cellBox = new MyGroupBox(tr("Cell Charging Parameters"));
    auto* cellFold = new WidgetFold(cellBox);
    registerFeatureGroup(cellFold, false);
    auto* leftColumn = new QVBoxLayout;
    leftColumn->addWidget(cellFold);

    static const struct
    {
        const char* path;
        int feature;
    } kPictures[] = {{":/images/chargeCurve1.png", 11}, {":/images/chargeCurve2.png", 12},
                     {":/images/chargeCurve3.png", 13}};
    for (const auto& picture : kPictures) {
        const QPixmap pixmap(QString::fromLatin1(picture.path));
        if (pixmap.isNull()) {
            // Only a broken build gets here; it must not pass for a clean exit.
            QMessageBox::information(this, tr("Runtime Error"), tr("Error: Could not load charge curve image"),
                                     QMessageBox::Ok);
            std::exit(EXIT_FAILURE);
        }
        auto* label = new QLabel;
        label->setPixmap(pixmap);
        registerFeatureWidget(label, picture.feature, 0);
        cellGrid->addWidget(label, 1, 3, 10, 1);
    }

    const int wv = metrics.horizontalAdvance(QStringLiteral("4.55    "));
    cellGrid->addWidget(new QLabel(tr("")), 0, 0);
    cellGrid->addWidget(new QLabel(tr("")), 1, 0);
    for (const VoltageRow& r : kVoltageRows) {
        // The disbalance is a difference: no offset, and a small range.
        const bool difference = r.id == 0x000C;
        QWidget* editor = createParamWidget(r.name, kLineEdit, r.id, kPlain, difference ? 0.00 : 2.00,
                                            difference ? 0.20 : 4.55, difference ? 0 : 200, 0.01, nullptr, r.feature);
        auto* caption = new QLabel(tr(r.caption));
        auto* unit = new QLabel(tr("V"));
        if (r.registeredAs >= 0) {
            registerFeatureWidget(caption, r.registeredAs, 0);
            registerFeatureWidget(editor, r.registeredAs, 0);
            registerFeatureWidget(unit, r.registeredAs, 0);
        }
        cellGrid->addWidget(caption, r.row, 0, Qt::AlignRight);
        cellGrid->addWidget(editor, r.row, 1);
        editor->setFixedWidth(wv);
        cellGrid->addWidget(unit, r.row, 2);
        new Tip(editor, QString::fromLatin1(r.tip), 0, 200, 10000, 0);
    }

    const int wn = metrics.horizontalAdvance(QStringLiteral("9999.9   "));
    for (const CurrentRow& r : kCurrentRows) {
        QWidget* editor = createParamWidget(r.name, kLineEdit, r.id, kPlain, r.minimum, r.maximum, 0, r.scale,
                                            nullptr, r.feature);
        cellGrid->addWidget(editor, r.row, 4);
        editor->setFixedWidth(wn);
        auto* label = new QLabel(tr(r.label));
        cellGrid->addWidget(label, r.row, 5);
        if (r.feature != 0) {
            registerFeatureWidget(editor, r.feature, 0);
            registerFeatureWidget(label, r.feature, 0);
        }
        new Tip(editor, QString::fromLatin1(r.tip), 0, 200, 10000, 0);
    }
    for (int row : {11, 12, 13})
        cellGrid->addWidget(new QLabel(tr("")), row, 0);
    cellBox->setLayout(cellGrid);

    // Charger Parameters
    auto* lowerRow = new QHBoxLayout;
    auto* columnA = new QVBoxLayout;
    auto* chargerGrid = new QGridLayout;
    chargerGrid->setColumnStretch(5, 2);
    auto* chargerBox = new MyGroupBox(tr("Charger Parameters"));
    chargerBox->setLayout(chargerGrid);
    auto* chargerFold = new WidgetFold(chargerBox);
    registerFeatureGroup(chargerFold, false);
    columnA->addWidget(chargerFold);

    // Each row of its own: the alternatives the rules show never overlap.
    enum { TypeRow = 0, Count1Row = 1, Count2Row = 2, ManualRow = 3, IdsRow = 4, BaseRow = 5, PwmMinRow = 6,
           PwmMaxRow = 7, MargenRow = 8 };
    {
        QWidget* combo = createParamWidget("Charger Type", kComboBox, 0x1800, kPlain, 0, 14, 0, 1, nullptr, 26);
        for (const ChargerTypeItem& item : kChargerTypes)
            addComboItem(combo, tr(item.text), item.value);
        new Tip(combo,
                tr("Configure the type of charger used with BMS.<br>It allows to select either non-CAN type charger "
                   "or some model of charger with CAN interface."),
                0, 200, 10000, 0);
        auto* caption = new QLabel(tr("Charger Type:"));
        registerFeatureWidget(caption, 26, 0);
        registerFeatureWidget(combo, 26, 0);
        chargerGrid->addWidget(caption, TypeRow, 0);
        chargerGrid->addWidget(combo, TypeRow, 1, 1, 2);
    }
    const struct
    {
        const char* name;
        int group;
        int feature;
        int row;
    } kCounts[] = {{"Number of Chargers 1", 7, 27, Count1Row}, {"Number of Chargers 2", 8, 28, Count2Row}};
    for (const auto& c : kCounts) {
        QWidget* editor = createParamWidget(c.name, kLineEdit, 0x1815, kPlain, 1, 16, 0, 1, nullptr, c.feature);
        new Tip(editor, tr("Number of chargers the BMS controls"), 0, 200, 10000, 0);
        editor->setFixedWidth(wn);
        auto* caption = new QLabel(tr("Number of Chargers:"));
        addToWidgetGroup(caption, c.group);
        addToWidgetGroup(editor, c.group);
        registerFeatureWidget(caption, c.feature, 1);
        registerFeatureWidget(editor, c.feature, 1);
        chargerGrid->addWidget(caption, c.row, 0);
        chargerGrid->addWidget(editor, c.row, 1);
    }
    {
        ConfigParam* param = nullptr;
        QWidget* check = createParamWidget("BF_73_MANUAL_J1939_CHARGERS_ID_CONTROL", kCheckBox, 0x1608, kPlain, -1,
                                           1, 0, 1, &param, 151);
        param->bitMask = 0x00000200u;
        new Tip(check,
                tr("When enabled, automatic chargers detection is disabled.<br>BMS detecting only manually configured "
                   "chargers.<br>When disabled, automatic chargers detection is enabled.<br>BMS detecting "
                   "automatically and previously manually configured chargers.<br>"),
                0, 200, 10000, 0);
        auto* caption = new QLabel(tr("Manual CAN ID Control:"));
        registerFeatureWidget(caption, 151, 0);
        registerFeatureWidget(check, 151, 0);
        chargerGrid->addWidget(caption, ManualRow, 0, Qt::AlignLeft);
        chargerGrid->addWidget(check, ManualRow, 1, Qt::AlignLeft);
    }
    auto* idGrid = new QGridLayout;
    idGrid->setContentsMargins(0, 0, 0, 0);
    chargerGrid->addLayout(idGrid, IdsRow, 0, 1, 5);
    const QString idTip = QStringLiteral("Note: \"Disable chargers auto-detection\" checkbox must be enabled.");
    for (int n = 1; n <= 16; ++n) {
        const int transmitId = 0x1A3A + 8 * (n - 1);
        QWidget* rx = createParamWidget(QString::asprintf("CH_RECEIVE_ID_%u", n), kHexLineEdit, transmitId + 4,
                                        kCanId29, 0x18060000, 0x1806FFFF, 0, 1, nullptr, 151, false, 0x18060000u,
                                        0x1806FFFFu);
        new Tip(rx, idTip, 0, 200, 10000, 0);
        auto* rxLabel = new QLabel(QString::asprintf("%u. Charger CAN RX ID:", n));
        addToWidgetGroup(rxLabel, 12);
        addToWidgetGroup(rx, 12);
        registerFeatureWidget(rxLabel, 151, 0);
        registerFeatureWidget(rx, 151, 0);
        idGrid->addWidget(rxLabel, n - 1, 0, Qt::AlignLeft);
        idGrid->addWidget(rx, n - 1, 1, Qt::AlignLeft);
        QWidget* tx = createParamWidget(QString::asprintf("CH_TRANSMIT_ID_%u", 2 * (n - 1)), kHexLineEdit, transmitId,
                                        kCanId29, 0x18FF0000, 0x18FFFFFF, 0, 1, nullptr, 151, false, 0x18FF0000u,
                                        0x18FFFFFFu);
        new Tip(tx, idTip, 0, 200, 10000, 0);
        auto* txLabel = new QLabel(QString::asprintf("%u. Charger CAN TX ID:", n));
        addToWidgetGroup(txLabel, 11);
        addToWidgetGroup(tx, 11);
        registerFeatureWidget(txLabel, 151, 0);
        registerFeatureWidget(tx, 151, 0);
        idGrid->addWidget(txLabel, n - 1, 2, Qt::AlignLeft);
        idGrid->addWidget(tx, n - 1, 3, Qt::AlignLeft);
        showWidgetGroupCount(12, 0);
        showWidgetGroupCount(11, 0);
        chargerGrid->setSpacing(5);
    }
    lowerRow->addLayout(columnA);
    lowerRow->addStretch(1);
    {
        QWidget* editor = createParamWidget("CAN Base ID", kHexLineEdit, 0x1916, kCanId11, 0, 2047, 0, 1, nullptr, 29,
                                            false, 0, 2047);
        new Tip(editor,
                tr("Sets the Base ID for communication with chargers that have configurable CAN ID<br>(such as Eltek "
                   "Valere EV Charger)."),
                0, 200, 10000, 0);
        editor->setFixedWidth(wn);
        auto* caption = new QLabel(tr("Charger CAN Base ID:"));
        addToWidgetGroup(caption, 0);
        addToWidgetGroup(editor, 0);
        registerFeatureWidget(caption, 29, 1);
        registerFeatureWidget(editor, 29, 1);
        chargerGrid->addWidget(caption, BaseRow, 0);
        chargerGrid->addWidget(editor, BaseRow, 1);
        setWidgetGroupVisible(0, false);
    }
    const struct
    {
        int id;
        const char* name;
        const char* caption;
        const char* tip;
        int row;
    } kPwm[] = {{0x191A, "Min PWM Output", "Min PWM Output:",
                 "Output voltage of the PWM signal at a charging intensity of 0 %", PwmMinRow},
                {0x191C, "Max PWM Output", "Max PWM Output:",
                 "Output voltage of the PWM signal at a charging intensity of 100 %", PwmMaxRow}};
    for (const auto& r : kPwm) {
        QWidget* editor = createParamWidget(r.name, kLineEdit, r.id, kPlain, 0.0, 5.0, 0, 0.01, nullptr, 30);
        new Tip(editor, tr(r.tip), 0, 200, 10000, 0);
        editor->setFixedWidth(wn);
        auto* caption = new QLabel(tr(r.caption));
        auto* unit = new QLabel(tr("V"));
        for (QWidget* w : {static_cast<QWidget*>(caption), editor, static_cast<QWidget*>(unit)})
            registerFeatureWidget(w, 30, 0);
        chargerGrid->addWidget(caption, r.row, 0);
        chargerGrid->addWidget(editor, r.row, 1);
        chargerGrid->addWidget(unit, r.row, 2);
    }
    {
        auto* margenGrid = new QGridLayout;
        margenGrid->setColumnStretch(3, 1);
        auto* margenBox = new MyGroupBox(tr("Margen Inverter Specific Parameters"));
        margenBox->setLayout(margenGrid);
        auto* margenFold = new WidgetFold(margenBox);
        addToWidgetGroup(margenFold, 2);
        registerFeatureGroup(margenFold, true);
        chargerGrid->addWidget(margenFold, MargenRow, 0, 1, 3);
        auto addToMargen = [this](QWidget* w) {
            addToWidgetGroup(w, 2);
            registerFeatureWidget(w, 31, 1);
        };
        ConfigParam* param = nullptr;
        QWidget* equalize = createParamWidget("BF29_ENABLE_STRING_VOLTAGE_EQUALIZATION Margen", kCheckBox, 0x1600,
                                              kPlain, -1, 1, 0, 1, &param, 31);
        param->bitMask = 0x10000000u;
        new Tip(equalize,
                tr("When enabled, the voltage of a string is equalized with the rest of the strings before its "
                   "string contactor closes,<br>by connecting the string through an equalization resistor with the "
                   "pin of the Equalization Enable Output."),
                0, 200, 10000, 0);
        auto* equalizeCaption = new QLabel(tr("Enable String Voltage Equalization:"));
        addToMargen(equalizeCaption);
        addToMargen(equalize);
        margenGrid->addWidget(equalizeCaption, 0, 0);
        margenGrid->addWidget(equalize, 0, 1);
        QWidget* voltage = createParamWidget("Equalization Voltage Margen", kLineEdit, 0x0120, kReal, 1.0, 100.0, 0,
                                             0.01, nullptr, 31);
        new Tip(voltage,
                tr("Minimum voltage difference between the string and the rest of the battery<br>above which "
                   "equalization is done."),
                0, 200, 10000, 0);
        voltage->setFixedWidth(wn);
        auto* voltageCaption = new QLabel(tr("Equalization Voltage:"));
        auto* voltageUnit = new QLabel(tr("V"));
        addToMargen(voltageCaption);
        addToMargen(voltage);
        addToMargen(voltageUnit);
        margenGrid->addWidget(voltageCaption, 1, 0);
        margenGrid->addWidget(voltage, 1, 1);
        margenGrid->addWidget(voltageUnit, 1, 2);
        QWidget* combine = createParamWidget("BF30_COMBINE_BMS_FAILURE_SIGNALS", kCheckBox, 0x1600, kPlain, -1, 1, 0,
                                             1, &param, 31);
        param->bitMask = 0x20000000u;
        new Tip(combine,
                tr("When enabled, the BMS Failure status sent over CAN is 1 only when every string has an active "
                   "protection event (logical AND);<br>otherwise it is the logical OR of the strings' failure "
                   "signals."),
                0, 200, 10000, 0);
        auto* combineCaption = new QLabel(tr("Combine BMS Failure Signals:"));
        addToMargen(combineCaption);
        addToMargen(combine);
        margenGrid->addWidget(combineCaption, 3, 0);
        margenGrid->addWidget(combine, 3, 1);
        setWidgetGroupVisible(2, false);
    }

    // Charging Stage Duration Parameters
    struct PlainRow
    {
        int id;
        const char* name;
        const char* caption;
        const char* unit;
        double minimum;
        double maximum;
        double scale;
        int feature;
        const char* tip;
    };
    auto addRows = [&](QGridLayout* grid, std::initializer_list<PlainRow> rows) {
        int row = 0;
        for (const PlainRow& r : rows) {
            const ParamRow made = addParamRow(grid, row++, tr(r.caption), tr(r.unit), tr(r.tip), r.name, kLineEdit,
                                              r.id, kPlain, r.minimum, r.maximum, 0, r.scale, r.feature);
            made.editor->setFixedWidth(wn);
        }
    };
    QGridLayout* durationGrid = nullptr;
    WidgetFold* durationFold = createParamGroup(tr("Charging Stage Duration Parameters"), &durationGrid);
    durationGrid->setColumnStretch(5, 2);
    addRows(durationGrid,
            {{0x1907, "Maximum Pre-charge Duration", "Max Pre-charge Stage Duration:", "min", 0, 65000, 1, 32,
              "Maximum duration of the pre-charge stage.<br>When it is exceeded, BMS registers a charging error and "
              "stops charging."},
             {0x1909, "Maximum Main Charge Duration", "Max Main Charge Stage Duration:", "min", 0, 65000, 1, 32,
              "Maximum duration of the main charge stage.<br>When it is exceeded, BMS registers a charging error and "
              "stops charging."},
             {0x190B, "Maximum Balancing Duration", "Max Balancing Stage Duration:", "min", 0, 65000, 1, 32,
              "Maximum duration of the balancing stage.<br>When it is exceeded, BMS registers a charging error and "
              "stops charging."}});
    columnA->addWidget(durationFold, 2);
    columnA->addStretch(1);

    // Charging parameters
    auto* columnB = new QVBoxLayout;
    QGridLayout* chargingGrid = nullptr;
    WidgetFold* chargingFold = createParamGroup(tr("Charging parameters"), &chargingGrid);
    // 0x1837 is one byte on the wire: its range stops at 255.
    addRows(chargingGrid,
            {{0x1820, "Optimised Battery Charging Level", "Optimised Battery Charging Level:", "%", 0, 100, 1, 104,
              "State of charge at which charging is declared finished"},
             {0x1938, "Regeneration time", "Regeneration time:", "s", 0, 65535, 1, 115,
              "Time used to compute the charge limit reduction while regenerating"},
             {0x1837, "Charger detect time", "Charger detection time:", "s", 0, 255, 1, 115,
              "Detection time of a second charger plug"}});
    chargingGrid->setColumnStretch(3, 1);
    columnB->addWidget(chargingFold);

    // Discharging Parameters
    QGridLayout* dischargeGrid = nullptr;
    WidgetFold* dischargeFold = createParamGroup(tr("Discharging Parameters"), &dischargeGrid);
    {
        QWidget* limit = createParamWidget("Discharge Current Limitation", kLineEdit, 0x191E, kPlain, 0.1, 6553.5, 0,
                                           0.1, nullptr, 105);
        limit->setFixedWidth(wn);
        new Tip(limit,
                QStringLiteral("Discharge current limitation determines maximum allowed discharge current<br>which is "
                               "provided to Reririd Inverter"),
                1, 200, 10000, 0);
        auto* caption = new QLabel(tr("Discharge Current Limitation:"));
        auto* unit = new QLabel(tr("A"));
        for (QWidget* w : {static_cast<QWidget*>(caption), limit, static_cast<QWidget*>(unit)})
            registerFeatureWidget(w, 105, 0);
        dischargeGrid->addWidget(caption, 0, 0);
        dischargeGrid->addWidget(limit, 0, 1);
        dischargeGrid->addWidget(unit, 0, 2);
        dischargeGrid->setColumnStretch(3, 1);
        const ParamRow reduction = addParamRow(dischargeGrid, 1, tr("Reduction coeficients:"), QString(),
                                               tr("Coefficient of the current reduction on cell over-heat"),
                                               "Reduction coefficient", kLineEdit, 0x01E6, kPlain, 0, 65535, 0, 1, 115);
        reduction.editor->setFixedWidth(wn);
    }
    columnB->addWidget(dischargeFold);
    columnB->addWidget(createChargingTuningGroup(wn));
    columnB->addStretch(1);

    lowerRow->addLayout(columnB);
    leftColumn->addLayout(lowerRow);
    auto* tabLayout = new QHBoxLayout;
    tabLayout->addLayout(leftColumn);
    tabLayout->addStretch(1);
    tab->setLayout(tabLayout);
    return tab;
}

QWidget* ConfigPage::createChargingTuningGroup(int editorWidth)
{
    auto* grid = new QGridLayout;
    auto* box = new MyGroupBox(tr("Charging Tuning Parameters"));
    auto* fold = new WidgetFold(box);
    registerFeatureGroup(fold, false);
    box->setLayout(grid);
    const double step = 100.0 / 65535.0;
    const struct
    {
        int id;
        const char* name;
        const char* caption;
        const char* unit;
        double minimum;
        double maximum;
        double scale;
        const char* tip;
    } kRows[] = {
        {0x1921, "Safety Margin Current", "Safety Margin Current:", "A", 0.0, 6553.5, 0.1,
         "The charging current safety limit limits the requested charging current for each configured charger.<br>"
         "This functionality becomes active when the sum of the total actual received charging current and the "
         "configured safety limit current <br>multiplied by the configured number of chargers is less than the total "
         "requested charging current of all chargers."},
        {0x1923, "Current Increment Small Step", "Current Increment Small Step:", "%", 1.0 / 65535.0, 100, step,
         "Charging current increment when the cell voltage is close to the Fully Charged Voltage"},
        {0x1925, "Current Increment Medium Step", "Current Increment Medium Step:", "%", 1.0 / 65535.0, 100, step,
         "Charging current increment when the cell voltage is below the Fully Charged Voltage"},
        {0x1927, "Current Increment Large Step", "Current Increment Large Step:", "%", 1.0 / 65535.0, 100, step,
         "Charging current increment when the cell voltage is well below the Fully Charged Voltage"},
        {0x1929, "Current Decrement Small Step", "Current Decrement Small Step:", "%", 1.0 / 65535.0, 100, step,
         "Charging current decrement when the cell voltage is below the Fully Charged Voltage"},
        {0x192B, "Current Decrement Medium Step", "Current Decrement Medium Step:", "%", 1.0 / 65535.0, 100, step,
         "Charging current decrement when the cell voltage is above the Fully Charged Voltage"},
        {0x192D, "Current Decrement Large Step", "Current Decrement Large Step:", "%", 1.0 / 65535.0, 100, step,
         "Charging current decrement when the cell voltage is above the Maximum Allowed Voltage"},
    };
    int row = 0;
    for (const auto& r : kRows) {
        QWidget* editor = createParamWidget(r.name, kLineEdit, r.id, kPlain, r.minimum, r.maximum, 0, r.scale, nullptr,
                                            114);
        new Tip(editor, QString::fromLatin1(r.tip), 1, 200, 10000, 0);
        editor->setFixedWidth(editorWidth);
        auto* caption = new QLabel(tr(r.caption));
        registerFeatureWidget(caption, 114, 0);
        grid->addWidget(caption, row, 1);
        registerFeatureWidget(editor, 114, 0);
        grid->addWidget(editor, row, 2);
        auto* unit = new QLabel(tr(r.unit));
        registerFeatureWidget(unit, 114, 0);
        grid->addWidget(unit, row, 3, Qt::AlignLeft);
        ++row;
    }
    return fold;
}
