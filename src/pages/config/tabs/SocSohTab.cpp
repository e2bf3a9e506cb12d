// The SOC / SOH tab: the estimator choice with the settings of the chosen
// estimator only, the distance estimate and the user SOC scaling.
#include "ConfigPage.h"
#include "ConfigParam.h"
#include "MyGroupBox.h"
#include "SignalWindowTab.h"
#include "SocCustomProfile.h"
#include "Tip.h"
#include "WidgetFold.h"

#include <QApplication>
#include <QComboBox>
#include <QFontMetrics>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

#include <array>

// The two estimator panels; the index is the estimator type's item value.
std::array<QWidget*, 2> g_estimatorPanels = {nullptr, nullptr};

namespace {

constexpr int kLineEdit = 1;
constexpr int kComboBox = 6;
constexpr int kCheckBox = 7;
constexpr int kPlain = 2;
constexpr int kReal = 6;
constexpr int kTwoChars = 14;
constexpr uint32_t kSocByVoltageBit = 0x40000000u;

} // namespace

SignalWindowTab* ConfigPage::createSocSohTab(QWidget* parent)
{
    auto* tab = new SignalWindowTab(parent);
    const int wt = QFontMetrics(QApplication::font()).horizontalAdvance(QStringLiteral("999999.9  "));
    auto* grid = new QGridLayout;
    grid->addWidget(new WidgetFold(createBatteryEstimatorGroup(tab)), 0, 0, 1, 2);
    grid->setColumnStretch(2, 1);
    grid->addWidget(createDistanceGroup(wt), 1, 0);
    grid->addWidget(createUserSocGroup(wt), 1, 1);
    grid->setRowStretch(2, 1);
    tab->setLayout(grid);
    return tab;
}

QGroupBox* ConfigPage::createBatteryEstimatorGroup(QWidget* tab)
{
    auto* box = new MyGroupBox(tr("Battery Estimator Parameters"));
    registerFeatureGroup(box, true);
    auto* grid = new QGridLayout(box);

    auto* combo = static_cast<QComboBox*>(
        createParamWidget("SOC estimator type", kComboBox, 0x2000, kPlain, 0, 2, 0, 1, nullptr, 110));
    socEstimatorCombo = combo;
    new Tip(combo, tr("SOC estimator algorithm type"), 3, 200, 10000, 0);
    addComboItem(combo, QStringLiteral("Legacy SOC adjustment algorithm"), 0);
    addComboItem(combo, QStringLiteral("SOC/SOH algorithm v1"), 1);
    // Readable before any value arrives, unlike the other editors.
    combo->setStyleSheet(QStringLiteral("QComboBox{color: black; background: white;}"));
    combo->setCurrentIndex(0);
    combo->setMinimumWidth(200);
    combo->setMinimumHeight(25);
    connect(combo, QOverload<int>::of(&QComboBox::activated), this, [](int index) {
        for (int j = 0; j < int(g_estimatorPanels.size()); ++j) {
            if (g_estimatorPanels[j])
                g_estimatorPanels[j]->setVisible(j == index);
        }
    });

    auto* caption = new QLabel(tr("Battery Estimator Type:"));
    registerFeatureWidget(caption, 110, 0);
    registerFeatureWidget(combo, 110, 0);
    auto* row0 = new QHBoxLayout;
    row0->addWidget(caption);
    row0->addWidget(combo, 0, Qt::AlignLeft);
    row0->addStretch(1);
    grid->addLayout(row0, 0, 0);

    auto* profile = new SocCustomProfile(this, tab);
    g_estimatorPanels[1] = profile;
    grid->addWidget(profile, 1, 0);
    QGroupBox* legacy = createSocAdjustmentGroup();
    g_estimatorPanels[0] = legacy;
    grid->addWidget(legacy, 2, 0);

    combo->setEnabled(true);
    emit combo->activated(combo->currentIndex());
    combo->repaint();
    return box;
}

QGroupBox* ConfigPage::createSocAdjustmentGroup()
{
    auto* box = new MyGroupBox(tr("SOC Adjustment By Voltage Settings"));
    auto* grid = new QGridLayout(box);
    grid->setColumnStretch(2, 40);
    const int ws = QFontMetrics(QApplication::font()).horizontalAdvance(QStringLiteral("9999.9  "));

    setSocButton = new QPushButton(tr("Set State of Charge..."));
    new Tip(setSocButton, tr("Sets the initial State of Charge of the pack."), 1, 200, 10000, 0);
    // By signature: the page's device actions own the slot.
    connect(setSocButton, &QPushButton::clicked, this, &ConfigPage::slotSetSOCPressed);
    registerFeatureWidget(setSocButton, 77, 0);
    // Enabled by the link and the login like the page's other actions.
    actionButtons << setSocButton;
    grid->addWidget(setSocButton, 0, 0, 1, 4);

    auto addFlag = [&](const char* name, const char* caption, int feature, int row, const QString& tip) {
        ConfigParam* param = nullptr;
        QWidget* check = createParamWidget(name, kCheckBox, 0x1600, kPlain, -1, 1, 0, 1, &param, feature);
        param->bitMask = kSocByVoltageBit;
        new Tip(check, tip, 0, 200, 10000, 0);
        auto* label = new QLabel(tr(caption));
        registerFeatureWidget(label, feature, 0);
        registerFeatureWidget(check, feature, 0);
        grid->addWidget(label, row, 0);
        grid->addWidget(check, row, 2, 1, 2, Qt::AlignLeft);
    };
    auto addNumber = [&](int id, const char* name, int valueType, double minimum, double maximum, int offset,
                         double scale, const QString& unit, const char* caption, int feature, int row,
                         const QString& tip) {
        QWidget* editor = createParamWidget(name, kLineEdit, id, valueType, minimum, maximum, offset, scale, nullptr,
                                            feature);
        new Tip(editor, tip, 0, 200, 10000, 0);
        editor->setFixedWidth(ws);
        auto* label = new QLabel(tr(caption));
        auto* unitLabel = new QLabel(unit);
        for (QWidget* w : {static_cast<QWidget*>(label), editor, static_cast<QWidget*>(unitLabel)})
            registerFeatureWidget(w, feature, 0);
        grid->addWidget(label, row, 0);
        grid->addWidget(editor, row, 1, Qt::AlignRight);
        grid->addWidget(unitLabel, row, 2, Qt::AlignRight);
    };

    addFlag("BF31_ADJUST_SOC_AT_LOW_VOLT_WARNING", "Reduce SOC at Under-Voltage", 78, 1,
            tr("If this function is enabled, SOC is set to a value that can be configured below<br>if \"Under-Voltage\" "
               "power reduction occurs. Also, if \"Under-Voltage\" protection<br>occurs, SOC is set to 0%"));
    addNumber(0x0022, "SOC at low volt. warn.", kPlain, 0, 100, 0, 1, tr("%"), "SOC at Low Volt. Warn.:", 78, 2,
              tr("SOC set when the \"Under-Voltage\" power reduction occurs<br>(the minimum cell voltage reaches the "
                 "Low Voltage Warning threshold)"));
    const QString adjustTip =
        tr("When enabled, SOC is corrected from the Cell Voltage/SOC table by linear interpolation<br>when the pack "
           "has been idle for the adjustment period of the table region the voltage lies in:<br>the current stays "
           "below the current threshold and the cell temperatures stay between the thresholds.<br>The default table is "
           "for typical 100 Ah LiFePO4 cells.");
    addFlag("BF31_ADJUST_SOC_BY_VOLTAGE 2", "Adjust SOC by Cell Voltage:", 79, 3, adjustTip);
    addFlag("BF31_ADJUST_SOC_BY_VOLTAGE 3", "Adjust SOC by Cell Voltage:", 80, 3,
            adjustTip + tr("<br>The thresholds are fixed at 0.5C, 10 °C and 30 °C."));
    addNumber(0x0064, "SOC Adjustment Lower Temperature Threshold", kPlain, -100, 155, -100, 1,
              QStringLiteral("°C"), "Lower Temperature Threshold:", 79, 4,
              tr("SOC is adjusted only while the minimum cell temperature stays above this threshold"));
    addNumber(0x0065, "SOC Adjustment Upper Temperature Threshold", kPlain, -100, 155, -100, 1,
              QStringLiteral("°C"), "Upper Temperature Threshold:", 79, 5,
              tr("SOC is adjusted only while the maximum cell temperature stays below this threshold"));
    addNumber(0x0066, "SOC Adjustment Current Threshold", kPlain, 0.0, 1.0, 0, 0.01, tr("C-rate"),
              "Current Threshold:", 79, 6,
              tr("SOC is adjusted only while the current stays below this fraction of the 1C current"));
    addNumber(0x0102, tr("Cbat Value").toUtf8().constData(), kReal, 0.1, 6553.5, 0, 0.1, tr("Ah"), "Cell Capacity:",
              110, 7, tr("Internal capacity of brand new cell - Cbat"));

    auto* table = new MyGroupBox(tr("Cell Voltage/SOC Table"));
    table->setObjectName(QStringLiteral("not_bold"));
    registerFeatureGroup(table, false);
    grid->addWidget(table, 8, 0, 1, 3);
    auto* tableGrid = new QGridLayout(table);
    auto addTableCell = [&](QWidget* w, int row, int column, Qt::Alignment align = Qt::Alignment()) {
        registerFeatureWidget(w, 81, 0);
        tableGrid->addWidget(w, row, column, align);
    };
    const QString periodTip =
        tr("Idle time needed before SOC is adjusted in this table region; it also sets how often it is adjusted "
           "there.<br>0 disables adjustment in the region. Periods shorter than the time needed to move between the "
           "two points at 0.5C<br>are not recommended (for example at least 1440 seconds for the 0 % to 20 % region).");
    for (int k = 1; k <= 5; ++k) {
        const int row = 6 + 2 * k;
        QWidget* soc = createParamWidget(QString("SOC at Voltage %1").arg(k), kLineEdit, 0x0052 + k, kPlain, 0, 100, 0,
                                         1, nullptr, 81);
        new Tip(soc, tr("SOC of table point %1").arg(k), 0, 200, 10000, 0);
        soc->setFixedWidth(3 * ws / 4);
        addTableCell(new QLabel(tr("SOC:")), row, 0);
        addTableCell(soc, row, 1);
        addTableCell(new QLabel(tr("%")), row, 2);
        QWidget* voltage = createParamWidget(QString("Voltage at SOC %1").arg(k), kLineEdit, 0x001A + k, kPlain, 2.00,
                                             4.55, 200, 0.01, nullptr, 81);
        new Tip(voltage, tr("Cell voltage of table point %1").arg(k), 0, 200, 10000, 0);
        voltage->setFixedWidth(ws);
        addTableCell(new QLabel(tr("Cell Voltage:")), row, 3);
        addTableCell(voltage, row, 4);
        addTableCell(new QLabel(tr("V")), row, 5);
        if (k == 5)
            break;
        QWidget* period = createParamWidget(QString("SOC Adjust Period %1").arg(k), kLineEdit, 0x0156 + 2 * k, kPlain,
                                            0, 65535, 0, 1, nullptr, 81);
        new Tip(period, periodTip, 0, 200, 10000, 0);
        period->setFixedWidth(ws);
        addTableCell(new QLabel(tr("Adjustment Period:")), row + 1, 3, Qt::AlignRight);
        addTableCell(period, row + 1, 4, Qt::AlignCenter);
        addTableCell(new QLabel(tr("s")), row + 1, 5);
    }
    return box;
}

namespace {

struct SimpleRow
{
    int id;
    const char* name;
    int valueType;
    double minimum;
    double maximum;
    double scale;
    const char* unit;
    const char* caption;
    int feature;
    const char* tip;
};

} // namespace

static QWidget* buildSimpleGroup(ConfigPage* page, const QString& title, int editorWidth,
                                 std::initializer_list<SimpleRow> rows, bool stretchUnitColumn)
{
    auto* box = new MyGroupBox(title);
    auto* grid = new QGridLayout(box);
    grid->setColumnStretch(0, 1);
    grid->setColumnMinimumWidth(1, editorWidth);
    if (stretchUnitColumn)
        grid->setColumnStretch(2, 1);
    auto* fold = new WidgetFold(box);
    page->registerFeatureGroup(fold, false);
    int row = 0;
    for (const SimpleRow& r : rows) {
        QWidget* editor = page->createParamWidget(r.name, kLineEdit, r.id, r.valueType, r.minimum, r.maximum, 0,
                                                  r.scale, nullptr, r.feature);
        new Tip(editor, ConfigPage::tr(r.tip), 0, 200, 10000, 0);
        auto* caption = new QLabel(ConfigPage::tr(r.caption));
        auto* unit = new QLabel(ConfigPage::tr(r.unit));
        for (QWidget* w : {static_cast<QWidget*>(caption), editor, static_cast<QWidget*>(unit)})
            page->registerFeatureWidget(w, r.feature, 0);
        grid->addWidget(caption, row, 0, Qt::AlignLeft);
        grid->addWidget(editor, row, 1, Qt::AlignLeft);
        grid->addWidget(unit, row, 2, Qt::AlignLeft);
        // Alternatives for different firmware share their cells.
        if (r.id != 0x0501)
            ++row;
    }
    return fold;
}

QWidget* ConfigPage::createDistanceGroup(int editorWidth)
{
    // 0x0501 is two bytes on the wire: its range stops at 65535.
    return buildSimpleGroup(
        this, tr("Distance Parameters"), editorWidth,
        {{0x0501, "Pulses per distance unit", kReal, 1, 65535, 1, " ", "Pulses per Distance Unit:", 2,
          "Number of speed sensor pulses per distance unit"},
         {0x0607, "Pulses per distance unit New", kReal, 1, 4294967295.0, 1, " ", "Pulses per Distance Unit:", 3,
          "Number of speed sensor pulses per distance unit"},
         {0x0503, "Distance unit name", kTwoChars, 0, 65535, 1, " ", "Distance Unit Name:", 4,
          "Sets the name of distance units for information purposes.<br>It does not affect any calculations."},
         {0x0400, "Distance safety margin", kPlain, 0, 100, 1, "%", "Estimate Safety Margin:", 5,
          "Sets the left distance estimate safety margin in % of total range of fully charged pack.<br>This value is "
          "subtracted from estimated left distance.<br>Recommended value is 5-15%."}},
        false);
}

QWidget* ConfigPage::createUserSocGroup(int editorWidth)
{
    return buildSimpleGroup(this, tr("User SOC config Parameters"), editorWidth,
                            {{0x01E2, "Min SoC Range", kReal, 0.0, 100.0, 0.01, "%", "0% User SoC from Real SOC:", 143,
                              "User SOC 0% limit of Real SOC value."},
                             {0x01E4, "Max SoC Range", kReal, 0.0, 100.0, 0.01, "%", "100% User SoC from Real SOC:",
                              143, "User SOC 100% limit of Real SOC value."}},
                            true);
}
