// The General tab: broadcast periods, the battery pack and the current
// sensor with its calibration, compensation and reset actions.
#include "GeneralTab.h"

#include "ConfigPage.h"
#include "ConfigParam.h"
#include "CurrentSensorActions.h"
#include "CurrentSensorCompensation.h"
#include "MainWindowServices.h"
#include "MyGroupBox.h"
#include "Communicator.h"
#include "ConfigPrompter.h"
#include "SignalWindowTab.h"
#include "StatusPage.h"
#include "TemperatureCalibrationWindow.h"
#include "Tip.h"
#include "WidgetFold.h"
#include "canConfig.h"
#include "myRadioBox.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFontMetrics>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

#include <cstdio>
#include <limits>

namespace {

constexpr int kLabel = 0;
constexpr int kLineEdit = 1;
constexpr int kHexLineEdit = 2;
constexpr int kComboBox = 6;
constexpr int kCheckBox = 7;
constexpr int kRadioBox = 13;
constexpr int kPlain = 2;
constexpr int kReal = 6;
constexpr int kCanId11 = 15;

constexpr int kSensorType = 0x1009;
constexpr int kSensorSerial = 0x120C;
constexpr int kSensorCanId = 0x110A;
constexpr int kLowCalibration = 0x1100;
constexpr int kHighCalibration = 0x1103;
constexpr int kIvtS = 2;
constexpr int kSensorReverse = 0x1007;
constexpr int kSensorDeadzone = 0x1008;
constexpr int kFlagWord0 = 0x1600;
constexpr uint32_t kAnalogSensorFlag = 0x00020000u; // BF18_USE_ANALOG_CURRENT_SENSOR
constexpr int kDeviceCanBase = 0x0D03;
constexpr qint16 kSensorSettingsPeriod = 1000;

const char* const kCompensationHelp =
    "Momentary current value which should be measured with external current measuring tools.<br>When compensation "
    "is applied, current sensor is recalibrated by this momentary current<br>value so that its and provided current "
    "values match.";
const char* const kCalibrateTip =
    "Calibrate current sensor with provided momentary current.<br>System will use this value and recalibrates its "
    "current sensor<br>so that its reading would match provided one.";

QString sensorBlock(const char* name, const char* picture)
{
    return QStringLiteral("<div align=\"center\" style=\"font-size: 12pt;\">%1<br><img src=\"%2\"></div>")
        .arg(QString::fromUtf8(name), QString::fromLatin1(picture));
}

// Tenths of an ampere of a shown current ("10.5" -> 105); false when the
// text is not such a number.
bool tenthsOfAmpere(const QString& shown, qint64* tenths)
{
    QString digits = shown.trimmed();
    digits.remove(QLatin1Char('.'));
    bool ok = false;
    *tenths = digits.toLongLong(&ok, 10);
    return ok;
}

} // namespace

GeneralTabWidgets::~GeneralTabWidgets()
{
    delete lowWindow;
    delete highWindow;
    delete compensationWindow;
}

void GeneralTabWidgets::showSensorRows(int index)
{
    const bool ivt = index == kIvtS;
    for (QWidget* w : {static_cast<QWidget*>(commitButton), static_cast<QWidget*>(discoverButton),
                       static_cast<QWidget*>(serialEditor), static_cast<QWidget*>(serialCaption),
                       static_cast<QWidget*>(canIdCaption), static_cast<QWidget*>(canIdEditor)})
        w->setVisible(ivt);
    for (QWidget* w : {static_cast<QWidget*>(lowCaption), lowEditor, static_cast<QWidget*>(lowButton),
                       static_cast<QWidget*>(highCaption), highEditor, static_cast<QWidget*>(highButton)})
        w->setVisible(!ivt);
}

SignalWindowTab* ConfigPage::createGeneralTab(QWidget* parent)
{
    if (!general)
        general = new GeneralTabWidgets(this);
    auto* tab = new SignalWindowTab(parent);
    auto* tabLayout = new QHBoxLayout;
    const int w = QFontMetrics(QApplication::font()).horizontalAdvance(QStringLiteral("9999999.9  "));

    auto* left = new QVBoxLayout;
    general->dateTimeButton = new QPushButton(tr("Set Date and Time of BMS..."));
    new Tip(general->dateTimeButton, tr("Sets the date and time of BMS internal clock."), 1, 200, 10000, 0);
    connect(general->dateTimeButton, &QPushButton::clicked, this, &ConfigPage::slotSetDateTimePressed);
    actionButtons << general->dateTimeButton;
    left->addWidget(general->dateTimeButton);
    left->addWidget(new WidgetFold(createBroadcastPeriodGroup(w)));
    left->addWidget(new WidgetFold(createBatteryPackGroup(w)));
    left->addStretch(1);
    tabLayout->addLayout(left);

    auto* right = new QVBoxLayout;
    right->addWidget(new WidgetFold(createCurrentSensorGroup()));
    right->addStretch(1);
    tabLayout->addLayout(right);
    tabLayout->addStretch(1);
    tab->setLayout(tabLayout);
    return tab;
}

QGroupBox* ConfigPage::createBroadcastPeriodGroup(int editorWidth)
{
    auto* box = new MyGroupBox(tr("Data Transmission to Display Period"));
    auto* grid = new QGridLayout(box);
    grid->setColumnStretch(0, 1);
    grid->setColumnMinimumWidth(1, editorWidth);
    const struct
    {
        int id;
        const char* name;
        double maximum;
        const char* caption;
        const char* tip;
    } kRows[] = {
        {0x0010, "Active State Display Period", 25.5, "In Active State:",
         "Display update period which defines the frequency of broadcasting <br>the parameters via RS232/USB interface "
         "and/or CAN bus.<br>Active state is when either charger is connected or<br>ignition key on IGN input PF5 is in "
         "switched on."},
        {0x0111, "Sleep State Display Period", 5000.0, "In Sleep State:",
         "Display update period which defines the frequency of broadcasting<br>the parameters via RS232/USB interface "
         "and/or CAN bus.<br>Sleep state is when charger is de-activated and<br>on IGN input is in switched off."},
    };
    int row = 0;
    for (const auto& r : kRows) {
        QWidget* editor = createParamWidget(r.name, kLineEdit, r.id, kReal, 0.1, r.maximum, 0, 0.1, nullptr, 0);
        new Tip(editor, tr(r.tip), 0, 200, 10000, 0);
        grid->addWidget(new QLabel(tr(r.caption)), row, 0, Qt::AlignLeft);
        grid->addWidget(editor, row, 1, Qt::AlignLeft);
        grid->addWidget(new QLabel(QStringLiteral("s")), row, 2, Qt::AlignLeft);
        ++row;
    }
    ConfigParam* param = nullptr;
    QWidget* broadcast =
        createParamWidget("BF13_PERIODIC_SERIAL_BROADCAST", kCheckBox, 0x1600, kPlain, -1, 1, 0, 1, &param, 0);
    param->bitMask = 0x00001000u;
    new Tip(broadcast, tr("Broadcast the data periodically over the RS232/USB interface"), 0, 200, 10000, 0);
    grid->addWidget(new QLabel(tr("Broadcast on RS232/USB:")), row, 0, Qt::AlignLeft);
    grid->addWidget(broadcast, row, 1, Qt::AlignLeft);
    return box;
}

QGroupBox* ConfigPage::createBatteryPackGroup(int editorWidth)
{
    auto* box = new MyGroupBox(tr("Battery Pack"));
    registerFeatureGroup(box, false);
    auto* grid = new QGridLayout(box);
    const struct
    {
        int id;
        const char* name;
        int kind;
        int valueType;
        double minimum;
        double maximum;
        double scale;
        const char* unit;
        const char* caption;
        int feature;
        bool group10;
        uint32_t mask; // check boxes
        const char* tip;
    } kRows[] = {
        {0x000F, "Cells Poll Period", kLineEdit, kReal, 0.1, 25.5, 0.1, "s", "Cells Poll Period:", 33, true, 0,
         "Cells measurements collection target period.<br/>Note: Actual period could be longer than setting for larger "
         "battery configurations."},
        {0x0100, "Number of Cells", kLineEdit, kPlain, 0, 8128, 1, nullptr, "Number of Overall Cells:", 33, false, 0,
         "Total number of cells in the battery pack (if the battery pack consists of several cell strings<br>connected "
         "in parallel using Kepo CAN Cell Group Modules, this parameter needs to be equal to the<br>sum of number of "
         "cells in each string). This setting allows BMS to verify if the detected number<br>of cells is correct."},
        {0x0013, "Number of Cells strings", kLabel, kPlain, 1, 32, 1, nullptr, "Number of Cells Strings:", 33, false,
         0, "Number of cell strings connected in parallel"},
        {0x0007, "Balancing Current", kLineEdit, kReal, 0, 100, 0.392156863, "%", "Maximum Balancing Current:", 33,
         true, 0, "Maximum balancing current in % of the cell modules' balancing capability"},
        {0x1608, "BF78_WIRE_BREAK_ENABLE", kCheckBox, kPlain, -1, 1, 1, nullptr,
         "Enable Cell Wire Break<br>Detection:", 145, false, 0x00002000u,
         "Enables detection of a broken cell measurement wire"},
        {0x1608, "BF76_LTO_SUPPORT", kCheckBox, kPlain, -1, 1, 1, nullptr, "Enable LTO support:", 160, false,
         0x00000800u,
         "Check to enable LTO cells support.When enabled the<br>range of supported cell voltage switches to "
         "1.0-3.54V<br>(which is suitable for LTO cells)"},
        {0x01F5, "Capacity", kLineEdit, kReal, 0.1, 6553.5, 0.1, "Ah", "Capacity:", 161, false, 0,
         "Battery pack capacity in Ah. If the battery pack consists of several parallel strings of cells (using Kepo "
         "CAN Cell<br>Group Modules), capacity of a single string should be multiplied by the number of strings to "
         "obtain value of this<br>parameter."},
    };
    int row = 0;
    for (const auto& r : kRows) {
        ConfigParam* param = nullptr;
        // The balancing scale is 100/255 in single precision: 0 decimals.
        QWidget* editor = createParamWidget(r.name, r.kind, r.id, r.valueType, r.minimum, r.maximum, 0, r.scale,
                                            &param, r.feature);
        if (r.mask)
            param->bitMask = r.mask;
        new Tip(editor, tr(r.tip), 0, 200, 10000, 0);
        if (r.kind == kLineEdit)
            editor->setFixedWidth(editorWidth);
        auto* caption = new QLabel(tr(r.caption));
        QLabel* unit = r.unit ? new QLabel(r.unit[0] == 's' ? QStringLiteral("s") : tr(r.unit)) : nullptr;
        const int mode = r.group10 ? 1 : 0;
        for (QWidget* w : {static_cast<QWidget*>(caption), editor, static_cast<QWidget*>(unit)}) {
            if (!w)
                continue;
            if (r.group10)
                addToWidgetGroup(w, 10);
            registerFeatureWidget(w, r.feature, mode);
        }
        grid->addWidget(caption, row, 1);
        grid->addWidget(editor, row, 2);
        if (unit)
            grid->addWidget(unit, row, 3);
        if (r.id == 0x0100)
            general->cellCountEditor = editor;
        if (r.id == 0x0013)
            general->cellStringsLabel = static_cast<QLabel*>(editor);
        ++row;
    }

    auto* commBox = new QGroupBox(QStringLiteral("Communication type:"));
    commBox->setObjectName(QStringLiteral("not_bold"));
    auto* commGrid = new QGridLayout(commBox);
    ConfigParam* param = nullptr;
    auto* radio = static_cast<myRadioBox*>(
        createParamWidget("BF17_USE_SERIAL_CELLS_COMM", kRadioBox, 0x1600, kPlain, -1, 1, 0, 1, &param, 0));
    if (param)
        param->bitMask = 0x00010000u;
    if (radio) {
        radio->addOption(QStringLiteral("Serial"), 0);
        radio->addOption(QStringLiteral("CAN"), 1);
        commGrid->addWidget(radio, 0, 0);
        addToWidgetGroup(radio, 10);
        registerFeatureWidget(radio, 0, 1);
    }
    addToWidgetGroup(commBox, 10);
    registerFeatureWidget(commBox, 0, 1);
    grid->addWidget(commBox, 7, 1, 1, 3);

    general->calibrateCellsButton = new QPushButton(tr("Calibrate Cells Temperature ..."));
    new Tip(general->calibrateCellsButton,
            tr("Sends the calibration command to cell modules to set the temperature value<br>(NOTE: This is not "
               "applicable to HXTMs)"),
            0, 200, 10000, 0);
    connect(general->calibrateCellsButton, &QPushButton::clicked, this, &ConfigPage::slotCalibratePressed);
    general->calibrateExternalButton = new QPushButton(tr("Calibrate External Temperature ..."));
    new Tip(general->calibrateExternalButton, tr("Recalibrates temperature curve of external thermistor"), 3, 200,
            10000, 0);
    connect(general->calibrateExternalButton, &QPushButton::clicked, this,
            [this] { temperatureCalibrationWindow()->openWindow(); });
    general->batteryIdButton = new QPushButton(tr("Set Battery ID ..."));
    new Tip(general->batteryIdButton, tr("Sets the battery identification text of the BMS"), 0, 200, 10000, 0);
    connect(general->batteryIdButton, &QPushButton::clicked, this, &ConfigPage::slotSetBatteryIdPressed);
    addToWidgetGroup(general->calibrateCellsButton, 10);
    addToWidgetGroup(general->calibrateExternalButton, 10);
    registerFeatureWidget(general->calibrateCellsButton, 33, 0);
    registerFeatureWidget(general->calibrateExternalButton, 34, 0);
    registerFeatureWidget(general->batteryIdButton, 159, 0);
    grid->addWidget(general->calibrateCellsButton, 8, 1, 1, 3);
    grid->addWidget(general->calibrateExternalButton, 9, 1, 1, 3);
    grid->addWidget(general->batteryIdButton, 10, 1, 1, 3);
    actionButtons << general->calibrateCellsButton << general->calibrateExternalButton << general->batteryIdButton;
    editingActionButtons << general->batteryIdButton;
    return box;
}

QGroupBox* ConfigPage::createCurrentSensorGroup()
{
    GeneralTabWidgets* g = general;
    auto* box = new MyGroupBox(tr("Current Sensor"));
    auto* grid = new QGridLayout(box);
    grid->setColumnStretch(2, 1);
    const int w2 = QFontMetrics(QApplication::font()).horizontalAdvance(QStringLiteral("99999999.9 "));
    auto place = [&](QWidget* widget, int feature, int row, int column, int span = 1) {
        registerFeatureWidget(widget, feature, 0);
        grid->addWidget(widget, row, column, 1, span, Qt::AlignLeft);
    };
    auto caption = [&](const char* text, int feature, int row) {
        auto* label = new QLabel(tr(text));
        place(label, feature, row, 0);
        return label;
    };

    ConfigParam* param = nullptr;
    g->analogInputsCheck = static_cast<QCheckBox*>(
        createParamWidget("BF18_USE_ANALOG_CURRENT_SENSOR", kCheckBox, kFlagWord0, kPlain, -1, 1, 0, 1, &param, 82));
    param->bitMask = kAnalogSensorFlag;
    analogCurrentSensorBox = g->analogInputsCheck;
    caption("Use Analog Inputs:", 82, 0);
    place(g->analogInputsCheck, 82, 0, 1);

    g->sensorTypeCombo = static_cast<QComboBox*>(
        createParamWidget("Current Sensor Type", kComboBox, kSensorType, kPlain, 0, 2, 0, 1, nullptr, 83));
    addComboItem(g->sensorTypeCombo, QStringLiteral("KEPO RV430/RV432 Current Sensor"), 0);
    addComboItem(g->sensorTypeCombo, QStringLiteral("KEPO RV440 Current Sensor"), 1);
    caption("Sensor Type:", 83, 1);
    registerFeatureWidget(g->sensorTypeCombo, 83, 0);
    grid->addWidget(g->sensorTypeCombo, 1, 1, 1, 2, Qt::AlignRight);
    connect(g->sensorTypeCombo, QOverload<int>::of(&QComboBox::activated), g, &GeneralTabWidgets::showSensorRows);

    g->serialEditor = static_cast<QLineEdit*>(
        createParamWidget("Serial Number", kLineEdit, kSensorSerial, kPlain, 0, 4294967295.0, 0, 1, nullptr, 85));
    g->serialEditor->setFixedWidth(w2);
    new Tip(g->serialEditor, tr("Serial number of the IVT-S sensor, read by Discover"), 0, 200, 10000, 0);
    g->serialCaption = caption("Serial Number:", 85, 2);
    place(g->serialEditor, 85, 2, 1);

    g->canIdEditor = static_cast<QLineEdit*>(createParamWidget("Current CAN ID", kHexLineEdit, kSensorCanId, kCanId11,
                                                               0, 2047, 0, 1, nullptr, 85, false, 0, 0x7FF));
    g->canIdEditor->setFixedWidth(w2);
    new Tip(g->canIdEditor,
            tr("<FONT COLOR='#000000'><nobr>Current CAN ID for data transmission.</nobr><br></br><FONT "
               "COLOR='#ff0000'><nobr>NOTE: U1, U2, U3 CAN ID's are in sequence after Current CAN ID</nobr><br></br>"),
            0, 200, 10000, 0);
    g->canIdCaption = caption("Current CAN ID:", 85, 3);
    place(g->canIdEditor, 85, 3, 1);

    auto calibrationRow = [&](int id, const char* name, const char* captionText, const char* buttonText, int row,
                              QLabel** captionOut, QWidget** editorOut, QPushButton** buttonOut) {
        QWidget* editor = createParamWidget(name, kLineEdit, id, kPlain, 0, 65000, 0, 1, nullptr, 84);
        editor->setFixedWidth(w2);
        new Tip(editor, tr("Calibration value of the current sensor"), 0, 200, 10000, 0);
        *captionOut = caption(captionText, 84, row);
        place(editor, 84, row, 1);
        auto* button = new QPushButton(QString::fromLatin1(buttonText));
        new Tip(button, QString::fromLatin1(kCalibrateTip), 3, 200, 10000, 0);
        place(button, 84, row, 2);
        *editorOut = editor;
        *buttonOut = button;
    };
    calibrationRow(kLowCalibration, "Current sensor L Calibration Value", "L Calibration Value:", "Calibrate L value",
                   4, &g->lowCaption, &g->lowEditor, &g->lowButton);
    g->lowWindow = new CurrentSensorCompensation(QStringLiteral("Calibrate"),
                                                 QStringLiteral("Current sensor low current value calibration"),
                                                 QString::fromLatin1(kCompensationHelp), 0, 100);
    createParamWidget("Current sensor L Ref Value", kLineEdit, 0x1105, kPlain, 0, 255, 0, 1, nullptr, 0);
    calibrationRow(kHighCalibration, "Current sensor H Calibration Value", "H  Calibration Value:",
                   "Calibrate H value", 5, &g->highCaption, &g->highEditor, &g->highButton);
    g->highWindow = new CurrentSensorCompensation(QStringLiteral("Calibrate"),
                                                  QStringLiteral("Current sensor high current value calibration"),
                                                  QString::fromLatin1(kCompensationHelp), 100, 1500);
    // One byte on the wire: its range stops at 255.
    createParamWidget("Current sensor H Ref Value", kLineEdit, 0x1002, kPlain, 0, 255, 0, 1, nullptr, 0);

    QWidget* deadzone =
        createParamWidget("Current sensor Deadzone", kLineEdit, 0x1008, kReal, 0.0, 2.55, 0, 0.01, nullptr, 84);
    deadzone->setFixedWidth(w2);
    new Tip(deadzone,
            tr("Dead zone current of the sensor reading to improve 0 value stability.<br>Use small values in range up "
               "to ~1.0A."),
            0, 200, 10000, 0);
    caption("Deadzone:", 84, 6);
    place(deadzone, 84, 6, 1);
    place(new QLabel(tr("A")), 84, 6, 2);

    QWidget* reverse =
        createParamWidget("Current sensor Direction Reverse", kCheckBox, 0x1007, kPlain, -1, 1, 0, 1, nullptr, 84);
    new Tip(reverse,
            tr("Reverses the direction of current sensor.<br>Use this setting to ensure that positive current value is "
               "when charging<br>and negative current value is when discharging."),
            0, 200, 10000, 0);
    caption("Reverse Direction:", 84, 7);
    place(reverse, 84, 7, 1);

    g->resetZeroButton = new QPushButton(tr("Reset Current to 0"));
    new Tip(g->resetZeroButton, tr("Resets current sensor to zero which compensates for surrounding magnetic fields"),
            1, 200, 10000, 0);
    registerFeatureWidget(g->resetZeroButton, 84, 0);
    grid->addWidget(g->resetZeroButton, 8, 0, 1, 3);
    connect(g->resetZeroButton, &QPushButton::clicked, this, &ConfigPage::slotResetZeroCurrentPressed);

    g->compensateButton = new QPushButton(QStringLiteral("Compensate current.."));
    new Tip(g->compensateButton, QString::fromLatin1(kCalibrateTip), 3, 200, 10000, 0);
    registerFeatureWidget(g->compensateButton, 107, 0);
    grid->addWidget(g->compensateButton, 9, 0, 1, 3);
    g->compensationWindow = new CurrentSensorCompensation(
        QStringLiteral("Compensate"), QStringLiteral("Current compensation"), QString::fromLatin1(kCompensationHelp),
        -1500, 1500);

    g->discoverButton = new QPushButton(tr("Discover"));
    new Tip(g->discoverButton,
            tr("<FONT COLOR='#000000'><nobr>Discover connected Current CAN sensor.</nobr><br></br><FONT "
               "COLOR='#ff0000'><nobr>Default CAN speed for new sensors is 500kbps</nobr><br></br>"),
            1, 200, 10000, 0);
    place(g->discoverButton, 85, 10, 0);
    g->commitButton = new QPushButton(tr("Commit"));
    new Tip(g->commitButton, tr("Commit current parameters to Current sensor"), 1, 200, 10000, 0);
    place(g->commitButton, 85, 10, 2);
    g->sensorActions = new CurrentSensorActions(this, g);
    connect(g->discoverButton, &QPushButton::clicked, g->sensorActions,
            &CurrentSensorActions::slotISADiscoverPressed);
    connect(g->commitButton, &QPushButton::clicked, g->sensorActions,
            &CurrentSensorActions::slotISAConfigCommitPressed);

    // Opening and applying the three windows.
    connect(g->lowButton, &QPushButton::clicked, g->lowWindow, &CurrentSensorCompensation::open);
    connect(g->highButton, &QPushButton::clicked, g->highWindow, &CurrentSensorCompensation::open);
    connect(g->compensateButton, &QPushButton::clicked, g->compensationWindow, &CurrentSensorCompensation::open);
    auto recalibrate = [this](int id, float current) {
        GeneralTabWidgets* gw = general;
        const QString shown = gw->shownCurrent ? gw->shownCurrent() : QString();
        qint64 entered = 0;
        qint64 reading = 0;
        tenthsOfAmpere(QString::number(double(current), 'f', 1), &entered);
        ConfigParamSlot* slot = paramSlot(id);
        QString problem;
        if (!slot || !slot->valid)
            problem = tr("The calibration value has not been read from the BMS yet.");
        else if (entered == 0)
            problem = tr("The entered current is zero: the sensor cannot be calibrated against it.");
        else if (!tenthsOfAmpere(shown, &reading) || reading == 0)
            problem = tr("The current reading is zero or unknown: the sensor cannot be calibrated against it.");
        else if ((reading < 0) != (entered < 0))
            problem = tr("The entered current and the current reading have opposite directions.");
        qint64 result = 0;
        if (problem.isEmpty()) {
            result = qint64(int32_t(getParamValue(id))) * entered / reading;
            // A calibration value of 0 silences the sensor for good: every
            // later reading, and so every later calibration, is 0.
            if (result < 1 || result > 65000)
                problem = tr("The new calibration value %1 is outside the range 1 to 65000.").arg(result);
        }
        if (!problem.isEmpty()) {
            QMessageBox box(QMessageBox::Warning, tr("Current sensor calibration"),
                            problem + tr("<br>Nothing was sent."), QMessageBox::Ok);
            runModalBox(&box);
            return;
        }
        sendSentence(QStringLiteral("CF2"), QString::asprintf(",%04X,%04X", id, uint32_t(result)), 20, 200);
    };
    connect(g->lowWindow, &CurrentSensorCompensation::ApplyCompensation, this,
            [recalibrate](float x) { recalibrate(kLowCalibration, x); });
    connect(g->highWindow, &CurrentSensorCompensation::ApplyCompensation, this,
            [recalibrate](float x) { recalibrate(kHighCalibration, x); });
    connect(g->compensationWindow, &CurrentSensorCompensation::ApplyCompensation, this, [this](float x) {
        qint64 tenths = 0;
        tenthsOfAmpere(QString::number(double(x), 'f', 1), &tenths);
        sendSentence(QStringLiteral("RC2"), QString::asprintf(",%04X", unsigned(tenths) & 0xFFFFu), 20, 200);
    });
    if (!g->shownCurrent) {
        g->shownCurrent = [] {
            StatusPage* status = g_mainWindow ? g_mainWindow->statusPage() : nullptr;
            return status ? status->getStatusValueText(QStringLiteral("Current")) : QString();
        };
    }

    actionButtons << g->resetZeroButton << g->compensateButton << g->commitButton << g->discoverButton;
    editingActionButtons << g->commitButton << g->discoverButton;
    g->showSensorRows(g->sensorTypeCombo->currentIndex());
    return box;
}

void ConfigPage::updateCurrentSensorInfo(ConfigParam* param, uint32_t value, const QString& version)
{
    GeneralTabWidgets* g = general;
    if (!g || !param || !param->slot)
        return;
    const int id = param->slot->id;
    // The serial comes from the sensor through discovery, never typed.
    g->serialEditor->setEnabled(false);
    CurrentSensorService* sensor = g->sensorActions ? g->sensorActions->service() : nullptr;
    if (id == kSensorSerial) {
        bool ok = false;
        const quint32 serial = g->serialEditor->text().toUInt(&ok, 10);
        if (!ok) {
            std::printf("Current sensor serial number \"%s\" is not a number\n", qPrintable(g->serialEditor->text()));
            return;
        }
        if (sensor) {
            sensor->setSensorSerial(serial);
            sensor->setPendingChange();
        }
    }
    if (id == kSensorCanId) {
        QString text = g->canIdEditor->text();
        text.remove(QLatin1Char('x')).remove(QLatin1Char('X'));
        bool ok = false;
        const quint16 canId = text.toUShort(&ok, 16);
        if (!ok) {
            std::printf("Current sensor CAN id \"%s\" is not a number\n", qPrintable(g->canIdEditor->text()));
            return;
        }
        // A CAN id other than the sensor's is waiting to be committed to it;
        // only a user who may edit gets the button.
        if (sensor && sensor->baseCanId() != canId) {
            g->commitButton->setEnabled(isConnected() && isEditingAllowed(version));
            sensor->setBaseCanId(canId);
            sensor->setPendingChange();
        } else {
            g->commitButton->setEnabled(false);
        }
    }
    // The sensor takes its dead zone and direction whenever the unit reports
    // them after the load, unless the current is read from analog inputs.
    const ConfigParamSlot* base = paramSlot(kDeviceCanBase);
    if ((id == kSensorReverse || id == kSensorDeadzone) && configurationLoaded && g_canConfig && base
        && base->valid && !(paramValue(kFlagWord0) & kAnalogSensorFlag)) {
        g_canConfig->sendCurrentSensorConfig(paramValue(kDeviceCanBase) & 0xFFFF,
                                             extendedIdBox && extendedIdBox->isChecked(),
                                             quint8(paramValue(kSensorDeadzone) & 0xFF),
                                             paramValue(kSensorReverse) & 1, kSensorSettingsPeriod);
    }
    if (id != kSensorType)
        return;

    QComboBox* combo = g->sensorTypeCombo;
    int type = param->slot->valid ? int(value) : combo->currentData().toInt();
    // One tip, made at the first refresh.
    auto setSensorTypeTip = [g, combo](const QString& text) {
        if (g->sensorTypeTip)
            g->sensorTypeTip->setText(text);
        else
            g->sensorTypeTip = new Tip(combo, text, 1, 200, 10000, 0);
    };
    bool showEstimate = false;
    if (combo->count() <= 2) {
        const QString two = sensorBlock("KEPO RV430/RV432 Current Sensor", ":/images/cs_gen1.png") + "<br>"
                            + sensorBlock("KEPO RV440 Current Sensor", ":/images/cs_gen2.png");
        if (featureSupported(85, version)) {
            setSensorTypeTip("There are 3 types of current sensors:<br><br>" + two + "<br>"
                             + sensorBlock("IsabellenHütte IVT-S", ":/images/cs_ISAScale_IVT-S.png"));
            addComboItem(combo, QStringLiteral("Isabellenhütte IVT-S"), kIvtS);
        } else {
            setSensorTypeTip("There are 2 types of current sensors:<br><br>" + two);
            if (type == kIvtS) {
                type = 0;
                showEstimate = true;
            }
        }
    }
    if (type == kIvtS) {
        g->commitButton->setEnabled(false);
        showEstimate = true;
    }
    if (showEstimate) {
        if (m_showSoh)
            m_showSoh(true);
        if (socEstimatorCombo)
            socEstimatorCombo->setVisible(true);
    }
    combo->setCurrentIndex(type);
    emit combo->activated(type);
    combo->repaint();
}

void ConfigPage::slotResetZeroCurrentPressed()
{
    // Charging does not stop the reset; the user is only told.
    if (isChargingCheckActive())
        showChargingWarning();
    sendSentence(QStringLiteral("RC1,"), QString(), 20, 200);
    GeneralTabWidgets* g = general;
    if ((g && g->analogInputsCheck->isChecked()) || !g_canConfig)
        return;
    // The CAN current sensor is reset as well.
    quint16 base = 0;
    if (!currentSensorBase(&base)) {
        // Without a base id the frame would go to CAN id 0.
        showWarningMessage(QT_TR_NOOP("The current sensor's CAN base id is not valid: its current was not reset "
                                      "to 0."));
        return;
    }
    g_canConfig->sendCurrentSensorZero(base, extendedIdBox && extendedIdBox->isChecked());
}

void ConfigPage::slotSetBatteryIdPressed()
{
    GeneralTabWidgets* g = general;
    for (;;) {
        bool ok = false;
        const QString text = g && g->askBatteryId
                                 ? g->askBatteryId(this, &ok)
                                 : QInputDialog::getText(this, tr("Battery ID"), tr("Battery Id:"), QLineEdit::Normal,
                                                         QString(), &ok);
        if (!ok)
            return;
        const bool levelAllows =
            accessLevel == 2 || (accessLevel == 1 && communicator() && communicator()->isConfigModeActive());
        // A comma or a control character would break the sentence apart.
        bool printable = true;
        for (const QChar c : text)
            printable = printable && c != QLatin1Char(',') && c.isPrint();
        if (!text.isEmpty() && text.size() <= 16 && printable && levelAllows) {
            sendSentence(QStringLiteral("ID1"), QLatin1Char(',') + text, 20, 200);
            return;
        }
        prompter()->showMessage(
            tr("\"Battery ID\" must be between 1 and 16 characters long.<br/>NOTE: To set \"Battery ID\" mandatory "
               "login with the second-level password <br/>")
            + (printable ? QString() : tr("<br/>It must not contain commas or control characters.")));
    }
}
