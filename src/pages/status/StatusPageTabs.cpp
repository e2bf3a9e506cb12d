#include "StatusPage.h"

#include "Param.h"
#include "SignalWindowTab.h"
#include "StatusRows.h"
#include "WidgetFold.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>
#include <QVBoxLayout>

namespace {

QGridLayout* valueGrid(int valueWidth)
{
    auto* grid = new QGridLayout;
    grid->setColumnStretch(0, 1);
    grid->setColumnMinimumWidth(1, 5);
    grid->setColumnMinimumWidth(2, valueWidth);
    return grid;
}

// A tab of columns side by side, each topped up with a stretch, the whole
// kept to the left.
SignalWindowTab* columnsTab(QWidget* parent, std::initializer_list<std::initializer_list<QWidget*>> columns)
{
    auto* tab = new SignalWindowTab(parent);
    auto* outer = new QHBoxLayout;
    for (const auto& widgets : columns) {
        auto* column = new QVBoxLayout;
        for (QWidget* w : widgets)
            column->addWidget(w);
        column->addStretch(1);
        outer->addLayout(column);
    }
    outer->addStretch(1);
    tab->setLayout(outer);
    return tab;
}

} // namespace

QGroupBox* StatusPage::createRowsPanel(const QString& title, const QVector<StatusRowSpec>& rows, int valueWidth)
{
    QGridLayout* grid = valueGrid(valueWidth);
    auto* box = new QGroupBox(title);
    registerFeatureGroup(box, false);
    box->setLayout(grid);
    for (const StatusRowSpec& r : rows)
        addRow(grid, r, false);
    return box;
}

WidgetFold* StatusPage::createFoldedValueBox(const QString& title, int valueWidth, QGridLayout*& grid)
{
    grid = valueGrid(valueWidth);
    auto* box = new QGroupBox(title);
    auto* fold = new WidgetFold(box);
    registerFeatureGroup(fold, false);
    box->setLayout(grid);
    return fold;
}

// --- Sensors

SignalWindowTab* StatusPage::createSensorsTab(QWidget* parent)
{
    QWidget* analog = new WidgetFold(createRowsPanel(tr("Analog Current Sensor Diag."), analogCurrentSensorRows(), 45));
    QWidget* can = new WidgetFold(createRowsPanel(tr("CAN Current Sensor Readings"), canCurrentSensorRows(), 45));
    return columnsTab(parent, {{analog}, {can}});
}

// --- SOC / SOH

void StatusPage::addEstimatorRow(const QString& caption, const QString& unit, const QString& sentence, int& field,
                                 int decimals, QGridLayout* grid, int& row)
{
    QWidget* value = addStatusParam(QStringLiteral("Last RpCp reactive resistance"), sentence, field,
                                    ParamValueType::Float, 0, 1.0, decimals, ParamWidgetKind::Label, nullptr);
    addMeasureUnitLabel(grid, row, caption, value, unit, 110);
    ++field;
    ++row;
}

WidgetFold* StatusPage::createCellStateGroup(int width)
{
    QGridLayout* grid = nullptr;
    WidgetFold* fold = createFoldedValueBox(tr("Cell State Estimate"), width, grid);
    int field = 0;
    int row = 0;
    for (const EstimatorRowSpec& r : cellStateEstimateRows())
        addEstimatorRow(QString::fromUtf8(r.caption), QString::fromUtf8(r.unit), QStringLiteral("SE1"), field, 5, grid,
                        row);
    return fold;
}

SignalWindowTab* StatusPage::createSocSohTab(QWidget* parent)
{
    QWidget* battery = new WidgetFold(createRowsPanel(tr("Battery State Estimate"), batteryStateRows(), 45));
    QWidget* cells = createCellStateGroup(45);
    // The right column stays empty.
    return columnsTab(parent, {{battery, cells}, {}});
}

// --- CAN Devices

SignalWindowTab* StatusPage::createCanDevicesTab(QWidget* parent)
{
    auto state = [this](const QString& caption, int field) {
        Param* p = nullptr;
        QWidget* w = addStatusParam(caption, QStringLiteral("CG1"), field, ParamValueType::HexFlags, 0, 1, 0,
                                    ParamWidgetKind::Label, &p);
        applyStatusNames(p, StatusNames::DeviceState);
        return w;
    };

    auto* sensorGrid = new QGridLayout;
    auto* sensorBox = new QGroupBox(tr("Current Sensor"));
    sensorBox->setLayout(sensorGrid);
    auto* sensorFold = new WidgetFold(sensorBox);
    registerFeatureGroup(sensorFold, false);
    sensorGrid->addWidget(registerFeatureWidget(new QLabel(tr("Current Sensor:")), 97, 0), 0, 0, Qt::AlignLeft);
    sensorGrid->addWidget(registerFeatureWidget(state(QStringLiteral("Current Sensor State"), 0), 97, 0), 0, 1,
                          Qt::AlignLeft);
    sensorGrid->setColumnStretch(2, 100);

    auto* moduleGrid = new QGridLayout;
    auto* moduleBox = new QGroupBox(tr("Cells Group Modules"));
    moduleBox->setLayout(moduleGrid);
    auto* moduleFold = new WidgetFold(moduleBox);
    moduleGrid->setColumnStretch(3, 1);
    moduleGrid->setColumnStretch(7, 1);
    moduleGrid->setColumnMinimumWidth(4, 30);
    for (int n = 1; n <= 32; ++n) {
        const int row = (n - 1) % 16;
        const int c = n <= 16 ? 0 : 5;
        moduleGrid->addWidget(new QLabel(tr("Group Module ") + QString::asprintf("%d:", n)), row, c, Qt::AlignLeft);
        moduleGrid->addWidget(state(QStringLiteral("Group Module %1 State").arg(n), 2 * n), row, c + 1, Qt::AlignLeft);
        moduleGrid->addWidget(new QLabel(tr("Cells: ")), row, c + 2, Qt::AlignLeft);
        Param* p = nullptr;
        QWidget* cells = addStatusParam(QStringLiteral("Group Module %1 Cells").arg(n), QStringLiteral("CG1"),
                                        2 * n + 1, ParamValueType::HexFlags, 0, 1, 0, ParamWidgetKind::Label, &p);
        applyStatusNames(p, StatusNames::CellCount);
        moduleGrid->addWidget(cells, row, c + 3, Qt::AlignLeft);
    }

    return columnsTab(parent, {{sensorFold, moduleFold}});
}

// --- Debug (built only by tests)

void StatusPage::addDiagnosticCounterRow(const QString& caption, const QString& unit, const QString& sentence,
                                         int& field, QGridLayout* grid, int& row)
{
    QWidget* value = addStatusParam(caption, sentence, field, ParamValueType::HexFlags, 0, 1, 0,
                                    ParamWidgetKind::Label, nullptr);
    addMeasureUnitLabel(grid, row, caption, value, unit, 0);
    ++row;
    ++field;
}

WidgetFold* StatusPage::createCanDriverDiagnosticsPanel(int valueWidth)
{
    QGridLayout* grid = nullptr;
    WidgetFold* fold = createFoldedValueBox(tr("CAN Driver Diagnostics"), valueWidth, grid);
    static const char* const rows[][2] = {{"CAN Rx Buffer Overflow cnt", ""},  {"CAN Rx Message count", ""},
                                          {"Dropped/Received Msg Ratio", "%"}, {"CAN Tx Buffer Overflow cnt", ""},
                                          {"MCP Rx Buffer0 Overflow cnt", ""}, {"MCP Rx Buffer1 Overflow cnt", ""}};
    int field = 0;
    int row = 0;
    for (const auto& r : rows)
        addDiagnosticCounterRow(QLatin1String(r[0]), QLatin1String(r[1]), QStringLiteral("DG1"), field, grid, row);
    return fold;
}

WidgetFold* StatusPage::createCanDriverResponseDiagnosticsPanel(int valueWidth)
{
    QGridLayout* grid = nullptr;
    WidgetFold* fold = createFoldedValueBox(tr("CAN Driver Response Diagnostics"), valueWidth, grid);
    static const char* const single[] = {
        "diagSRespReceivedInvalidGroupId_",  "diagSRespCannotFit_",          "diagSRespReceiveRetries_",
        "diagSRespMaxRetriesLevel_",         "diagSRespMaxRetriesExceeded_", "diagSRespMaxRetriesExceededPlus_",
        "diagSRespNotAllResponsesCollected_", "diagSRespReceivedOKResponse_", "diagSRespReceivedWrongSequence_",
        "diagSRespReceivedErrorResponse_"};
    static const char* const multi[] = {
        "diagMRespResponseWithNoData_",       "diagMRespResponseNotReceived_",
        "diagMRespCollectedIncorrectValuesNumber_", "diagMRespReceivedOutOfBoundsPackets_",
        "diagMRespReceivedOKResponses_",      "diagMRespReceivedBadMessageLength_",
        "diagMRespReceivedOKForWrongSequence_", "diagMRespReceivedErrorResponse_"};
    grid->addWidget(new QLabel(tr("Single Response:")), 0, 0);
    int field = 0;
    int row = 1;
    for (const char* c : single)
        addDiagnosticCounterRow(QLatin1String(c), QString(), QStringLiteral("DG2"), field, grid, row);
    grid->addWidget(new QLabel, 11, 0);
    grid->addWidget(new QLabel(tr("Multi Response:")), 12, 0);
    field = 0;
    row = 13;
    for (const char* c : multi)
        addDiagnosticCounterRow(QLatin1String(c), QString(), QStringLiteral("DG3"), field, grid, row);
    return fold;
}

SignalWindowTab* StatusPage::createDebugTab(QWidget* parent)
{
    auto* tab = new SignalWindowTab(parent);
    auto* splitter = new QSplitter(Qt::Vertical);
    auto* layout = new QVBoxLayout;
    layout->addWidget(splitter);
    tab->setLayout(layout);

    auto* upper = new QWidget;
    auto* grid = new QGridLayout(upper);
    startTestsButton = new QPushButton(tr("Start Tests"));
    connect(startTestsButton, &QPushButton::clicked, this, &StatusPage::slotStartTestsPressed);
    grid->addWidget(startTestsButton, 0, 0);
    logActiveCheck = new QCheckBox(tr("Log Active"));
    logActiveCheck->setChecked(true);
    logActiveCheck->setToolTip(tr("Enables or disables display of BMS messages in below window.") +
                               QStringLiteral("\r\n") +
                               tr("Note: it does not control messages sending from control unit."));
    grid->addWidget(logActiveCheck, 1, 0);
    auto* sendRow = new QHBoxLayout;
    sendRow->addWidget(new QLabel(tr("Send Sentence:")));
    sendSentenceEdit = new QLineEdit;
    sendSentenceEdit->setToolTip(tr("Enter BMS Y5 serial protocol command with parameters and press Enter to send."));
    connect(sendSentenceEdit, &QLineEdit::returnPressed, this, &StatusPage::slotSendSentenceSubmitted);
    sendRow->addWidget(sendSentenceEdit);
    grid->addLayout(sendRow, 1, 2);
    sendResetButton = new QPushButton(tr("Send Reset Command"));
    connect(sendResetButton, &QPushButton::clicked, this, &StatusPage::slotSendResetCmdPressed);
    grid->addWidget(sendResetButton, 1, 3);
    sendHashButton = new QPushButton(tr("Send #"));
    connect(sendHashButton, &QPushButton::clicked, this, &StatusPage::slotSendHashPressed);
    grid->addWidget(sendHashButton, 1, 4);
    debugLogEdit = new QPlainTextEdit;
    debugLogEdit->setReadOnly(true);
    debugLogEdit->setLineWrapMode(QPlainTextEdit::NoWrap);
    debugLogEdit->setMaximumBlockCount(1000);
    grid->addWidget(debugLogEdit, 2, 0, 1, 5);
    splitter->addWidget(upper);

    auto* lower = new QWidget;
    auto* lowerGrid = new QGridLayout(lower);
    debugActiveCheck = new QCheckBox(tr("Debug Active"));
    debugActiveCheck->setChecked(true);
    debugActiveCheck->setToolTip(tr("Enables or disables display of debug messages in below window.") +
                                 QStringLiteral("\r\n") +
                                 tr("Note: it does not control debug messages sending from control unit."));
    connect(debugActiveCheck, &QCheckBox::clicked, this, &StatusPage::slotDebugActivePressed);
    lowerGrid->addWidget(debugActiveCheck, 0, 0);
    debugEdit = static_cast<QPlainTextEdit*>(addStatusParam(QStringLiteral("Debug"), QStringLiteral("DB1"), -1,
                                                            ParamValueType::Text, 0, 1, 0, ParamWidgetKind::TextEdit,
                                                            nullptr));
    debugEdit->setReadOnly(true);
    debugEdit->setLineWrapMode(QPlainTextEdit::NoWrap);
    debugEdit->setProperty("blocked", false);
    lowerGrid->addWidget(debugEdit, 1, 0);
    splitter->addWidget(lower);
    return tab;
}

void StatusPage::slotStartTestsPressed()
{
    sendSentence(QStringLiteral("TST1,"), QStringLiteral("1"), 20, 200);
}

void StatusPage::slotSendResetCmdPressed()
{
    sendSentence(QStringLiteral("RS1,"), QString(), 20, 200);
}

void StatusPage::slotSendHashPressed()
{
    sendRawSentence(QStringLiteral("#"));
}

void StatusPage::slotDebugActivePressed()
{
    if (debugEdit && debugActiveCheck)
        debugEdit->setProperty("blocked", !debugActiveCheck->isChecked());
}

void StatusPage::slotSendSentenceSubmitted()
{
    if (sendSentenceEdit)
        sendSentence(sendSentenceEdit->text(), QString(), 20, 200);
}
