// The Master/Slave tab: several control units running one battery, one
// string each, over a common CAN bus through CAN Splitters. The topology
// (Parallel or Series) is not a parameter of its own: it is read from and
// written as the units' string numbers.
#include "ConfigPage.h"

#include "ConfigModeOwner.h"
#include "ConfigParam.h"
#include "MyGroupBox.h"
#include "ParamConversion.h"
#include "SignalWindowTab.h"
#include "Tip.h"
#include "WidgetFold.h"

#include <QApplication>
#include <QCoreApplication>
#include <QFontMetrics>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSet>
#include <QSpacerItem>
#include <QSpinBox>
#include <QVBoxLayout>

using namespace ParamConversion;

namespace {

#define TR(text) QT_TRANSLATE_NOOP("ConfigPage", text)

QString trText(const char* text)
{
    return QCoreApplication::translate("ConfigPage", text);
}

constexpr int kDevices = 32;
constexpr int kControlUnitCount = 0x1C05;
constexpr int kFirstSerial = 0x1E06;
constexpr int kFirstStringNumber = 0x1C86;

// Widget groups the topology shows and hides.
constexpr int kDeviceRowsGroup = 1;
constexpr int kBypassGroup = 3;
constexpr int kEqualizationGroup = 4;
constexpr int kCurrentDeviationGroup = 5;

// Ids whose values the CAN Splitter keeps too.
bool isSplitterParam(int id)
{
    switch (id) {
    case 0x0C02: case 0x0D00: case 0x1600: case 0x1604: case 0x1815: case 0x18BA: case 0x1916:
    case 0x1C04: case 0x1C05: case 0x1DF2: case 0x1E00:
        return true;
    default:
        break;
    }
    return (id >= 0x1A3A && id <= 0x1AB6) || (id >= 0x1E06 && id <= 0x1E82) || (id >= 0x1EA6 && id <= 0x1EAE)
           || (id >= 0x1EB2 && id <= 0x1EEE);
}

struct Row
{
    int id;
    uint32_t mask; // 0: numeric editor
    const char* name;
    int valueType;
    double minimum;
    double maximum;
    double scale;
    const char* unit;
    const char* caption;
    int feature;
    int group; // widget group, 0: none
    const char* tip;
};

const Row kConfigurationRows[] = {
    {0x1600, 0x02000000u, "BF26_MS2_USING_BYPASS_CONTACTOR", Plain, 0, 0, 1, "", TR("Bypass contactor:"), 88,
     kBypassGroup, TR("Check if bypass contactor is used.")},
    {0x1600, 0x10000000u, "BF29_ENABLE_STRING_VOLTAGE_EQUALIZATION", Plain, 0, 0, 1, "",
     TR("Enable String Voltage Equalization:"), 89, kEqualizationGroup,
     TR("If enabled, string voltage will be equalized with the rest of the strings<br>before closing string "
        "contactor. Equalization is performed by connecting<br>the string with equalization resistor in series using "
        "the Equalization<br>Enable Output pin. Do not use this feature if equalization circuitry between<br>string "
        "does not exist.")},
    {0x0120, 0, "Equalization Voltage", Real, 1.00, 100.00, 0.01, TR("V"), TR("Equalization Voltage:"), 89,
     kEqualizationGroup,
     TR("Minimum voltage difference between string and the rest of the battery,<br>above which equalization is "
        "performed if enabled, before closing the<br>contactor")},
    // A two-byte value: 6553.5 A is the most it can hold.
    {0x1DF8, 0, "Equalization Cancellation Current", Real, 0.0, 6553.5, 0.1, TR("A"),
     TR("Equalization Cancellation Current:"), 90, kEqualizationGroup,
     TR("Current value, that when reached on any string that is already connected<br>while others are equalizing, "
        "will cancel the equalization process to avoid<br>even deeper string voltage imbalance. This functionality "
        "can be turned off<br>by setting this parameter to 0.0.")},
    {0x0047, 0, "Equalization Max Duration", Real, 1, 255, 1, TR("min"), TR("Equalization Max Duration:"), 89,
     kEqualizationGroup,
     TR("Maximum string voltage equalization duration. Contactor is closed regardless of the voltage difference "
        "between strings<br>if this duration is exceeded.")},
};

struct Block
{
    int flagId;
    uint32_t mask;
    const char* flagName;
    const char* caption;
    const char* tip;
    int activationId;
    const char* activationName;
    int deactivationId;
    const char* deactivationName;
    double deactivationMinimum;
};

const Block kBlocks[] = {
    {0x1600, 0x80000000u, "BF32_MS2_CONFIG_ERROR_CUTOFF", TR("Master/Slave Configuration Error Cutoff:"),
     TR("If enabled, a protection will become active in case<br>Master/Slave topology is incorrectly specified, not "
        "all<br>devices specified in the Master/Slave configuration are<br>detected (applies to series topology "
        "without bypass contactor), or<br>an unspecified device is detected"),
     0x003D, "Master/Slave Configuration Error protection activation delay", 0x003E,
     "Master/Slave Configuration Error protection deactivation delay", 5},
    {0x1604, 0x00000004u, "BF35_MS2_CONFIG_MISMATCH_REDUCTION", TR("Master/Slave Configuration Mismatch Reduction:"),
     TR("If enabled, power reduction output pin PF16 (if assigned<br>will be activated in case not all devices "
        "specified in the<br>Master/Slave configuration are detected (applies to parallel<br>topology or series "
        "topology with bypass contactor)"),
     0x0043, "Master/Slave Configuration Mismatch reduction activation delay", 0x0044,
     "Master/Slave Configuration Mismatch reduction deactivation delay", 0},
    {0x1604, 0x00000002u, "BF34_MS2_COM_CAN_FAIL_CUTOFF", TR("Master/Slave Common Bus Failure Cutoff:"),
     TR("If enabled, a protection will become active in case<br>a fault is detected on the common CAN bus (one or "
        "more<br>CAN splitters are not transpitting/responding). Applies<br>to parallel topology and series topology "
        "with bypass<br>contactors only if the number of remaining active devices<br>is less than half of the number "
        "of specified devices, or if<br>the number of active devices is equal to half of the number<br>of specified "
        "devices, but the initial master device is not in<br>the active configuration (to achieve redundancy)."),
     0x0041, "Master/Slave Common Bus failure protection activation delay", 0x0042,
     "Master/Slave Common Bus failure protection deactivation delay", 0},
    {0x1604, 0x00000008u, "BF36_MS2_COM_CAN_MALFUNCTION_REDUCTION",
     TR("Master/Slave Common Bus Malfunction Reduction:"),
     TR("If enabled, power reduction output pin PF16 (if assigned<br>will be activated in case a fault is detected "
        "on the common CAN bus (one or more<br>CAN splitters are not transpitting/responding). Applies<br>only to "
        "parallel topology and series topology with bypass<br>contactors, and only if the number of remaining active "
        "devices<br>is more than half of the number of specified devices, or if<br>the number of active devices is "
        "equal to half of the number<br>of specified devices, but the initial master device is in the<br>active "
        "configuration."),
     0x0045, "Master/Slave Common Bus malfunction reduction activation delay", 0x0046,
     "Master/Slave Common Bus malfunction reduction deactivation delay", 0},
    {0x1604, 0x00000001u, "BF33_MS2_INT_CAN_FAIL_CUTOFF", TR("Master/Slave Internal Bus Failure Cutoff:"),
     TR("If enabled, a protection will become active in case<br>connection with CAN splitter on the internal CAN "
        "bus<br>is lost."),
     0x003F, "Master/Slave Internal Bus failure protection activation delay", 0x0040,
     "Master/Slave Internal Bus failure protection deactivation delay", 0},
};

const char* const kSplitterResultTexts[] = {
    TR("CAN Splitter configuration finished."),
    TR("CAN Splitter not found."),
    TR("Error entering config mode to configure CAN Splitter. Please try again."),
    TR("Error sending parameter to CAN Splitter. Please try again."),
    TR("Error sending not existing parameter to CAN Splitter. Please try again."),
    TR("Error leaving BMS configuration mode .Please try again."),
    TR("CAN Splitter configuration error. Please try again."),
};

// While a page starts the CAN Splitter job, the results reported meanwhile
// belong to the start and are kept for it (GUI thread only).
class SplitterStart
{
public:
    SplitterStart(const ConfigPage* page, int* heard) : m_outer(s_current), m_page(page), m_heard(heard)
    {
        s_current = this;
    }
    ~SplitterStart() { s_current = m_outer; }
    SplitterStart(const SplitterStart&) = delete;
    SplitterStart& operator=(const SplitterStart&) = delete;

    static bool takes(const ConfigPage* page, int result)
    {
        if (!s_current || s_current->m_page != page)
            return false;
        *s_current->m_heard = result;
        return true;
    }

private:
    static SplitterStart* s_current;
    SplitterStart* m_outer;
    const ConfigPage* m_page;
    int* m_heard;
};

SplitterStart* SplitterStart::s_current = nullptr;

WidgetFold* groupInFold(const QString& title, QGridLayout** grid)
{
    auto* box = new MyGroupBox(title);
    *grid = new QGridLayout(box);
    return new WidgetFold(box);
}

} // namespace

SignalWindowTab* ConfigPage::createMasterSlaveTab(QWidget* parent)
{
    auto* tab = new SignalWindowTab(parent);
    auto* tabLayout = new QHBoxLayout;
    auto* left = new QVBoxLayout;
    const int w = QFontMetrics(QApplication::font()).horizontalAdvance(QStringLiteral("9999.9  "));

    // Master/Slave Configuration. Its rows hide with their unsupported
    // features but only the topology shows them; the group of their own
    // keeps them out of another tab's group.
    QGridLayout* grid = nullptr;
    left->addWidget(groupInFold(tr("Master/Slave Configuration"), &grid));
    registerFeatureGroup(nullptr, true);
    parallelRadio = new QRadioButton;
    seriesRadio = new QRadioButton;
    grid->addWidget(new QLabel(tr("Parallel:")), 0, 0, Qt::AlignLeft);
    grid->addWidget(parallelRadio, 0, 1, Qt::AlignLeft);
    grid->addWidget(new QLabel(tr("Series:")), 1, 0, Qt::AlignLeft);
    grid->addWidget(seriesRadio, 1, 1, Qt::AlignLeft);
    connect(parallelRadio, &QRadioButton::clicked, this, &ConfigPage::slotMasterSlaveConfigurationChanged);
    connect(seriesRadio, &QRadioButton::clicked, this, &ConfigPage::slotMasterSlaveConfigurationChanged);
    actionButtons << parallelRadio << seriesRadio;
    editingActionButtons << parallelRadio << seriesRadio;

    int r = 2;
    for (const Row& row : kConfigurationRows) {
        const bool flag = row.mask != 0;
        ConfigParam* p = nullptr;
        QWidget* editor = flag ? createParamWidget(QString::fromLatin1(row.name), CheckBox, row.id, Plain, -1, 1, 0,
                                                   1, &p, row.feature, false, 0, 0xFFFFFFFFu)
                               : createParamWidget(QString::fromLatin1(row.name), LineEdit, row.id, row.valueType,
                                                   row.minimum, row.maximum, 0, row.scale, &p, row.feature, false,
                                                   0, 0xFFFFFFFFu);
        if (flag) {
            p->bitMask = row.mask;
            editor->setFixedWidth(25);
        } else {
            editor->setFixedWidth(w);
        }
        new Tip(editor, trText(row.tip), 0, 200, 10000, 0);
        auto* caption = new QLabel(trText(row.caption));
        auto* unit = new QLabel(trText(row.unit));
        grid->addWidget(caption, r, 0, Qt::AlignLeft);
        grid->addWidget(editor, r, 1, Qt::AlignLeft);
        grid->addWidget(unit, r, 2, 1, 5, Qt::AlignLeft);
        for (QWidget* widget : {static_cast<QWidget*>(caption), editor, static_cast<QWidget*>(unit)}) {
            registerFeatureWidget(widget, row.feature, 1);
            addToWidgetGroup(widget, row.group);
        }
        ++r;
    }
    setWidgetGroupVisible(kBypassGroup, false);
    setWidgetGroupVisible(kEqualizationGroup, false);

    // Current Deviation: shown by the topology, never hidden by the registry.
    WidgetFold* deviation = groupInFold(tr("Current Deviation"), &grid);
    addToWidgetGroup(deviation, kCurrentDeviationGroup);
    registerFeatureGroup(deviation, true);
    left->addWidget(deviation);
    const struct
    {
        int id;
        const char* name;
        double maximum;
        double scale;
        const char* unit;
        const char* caption;
        const char* tip;
    } deviationRows[] = {
        {0x1DF4, "MS2_MAX_CURRENT_DEVIATION", 1024.0, 0.1, "A", "Max Current Deviation:",
         TR("The difference between maximum and minimum currents in parallel strings,<br>that sets the current "
            "deviation flag, if the difference persists longer<br>longer than Max Current Deviation Time. The current "
            "deviation flag status<br>is sent out to the external application in system status messages over "
            "CAN,<br>but has no direct effect on the system")},
        {0x1DF6, "MS2_MAX_CURRENT_DEVIATION_TIME", 512, 1, "s", "Max Current Deviation Time:",
         TR("The duration of time, required for the difference between maximum and minimum<br>currents in parallel "
            "strings to be higher than Max Current Deviation, to set<br>the current deviation flag.")},
    };
    r = 0;
    for (const auto& row : deviationRows) {
        QWidget* editor = createParamWidget(QString::fromLatin1(row.name), LineEdit, row.id, Plain, 0, row.maximum,
                                            0, row.scale, nullptr, 91, false, 0, 0xFFFFFFFFu);
        editor->setFixedWidth(w);
        new Tip(editor, trText(row.tip), 0, 200, 10000, 0);
        auto* caption = new QLabel(QString::fromLatin1(row.caption));
        auto* unit = new QLabel(QString::fromLatin1(row.unit));
        grid->addWidget(caption, r, 0, Qt::AlignLeft);
        grid->addWidget(editor, r, 1, Qt::AlignLeft);
        grid->addWidget(unit, r, 2, 1, 5, Qt::AlignLeft);
        registerFeatureWidget(caption, 91, 0);
        registerFeatureWidget(editor, 91, 0);
        registerFeatureWidget(unit, 91, 0);
        ++r;
    }
    setWidgetGroupVisible(kCurrentDeviationGroup, false);

    // CAN Splitter Configuration.
    WidgetFold* splitter = groupInFold(tr("CAN Splitter Configuration"), &grid);
    splitterCommitButton = new QPushButton(tr("Commit configuration"));
    new Tip(splitterCommitButton, tr("Update CAN Splitter configuration."), 1, 200, 10000, 0);
    grid->addWidget(splitterCommitButton, 0, 0, Qt::AlignLeft);
    connect(splitterCommitButton, &QPushButton::clicked, this,
            &ConfigPage::slotMasterSlaveUpdateSplitterConfiguration);
    actionButtons << splitterCommitButton;

    // Protections and Reductions: five blocks of three rows.
    WidgetFold* protections = groupInFold(tr("Protections and Reductions"), &grid);
    registerFeatureGroup(protections, false);
    r = 0;
    for (const Block& block : kBlocks) {
        ConfigParam* p = nullptr;
        QWidget* flag = createParamWidget(QString::fromLatin1(block.flagName), CheckBox, block.flagId, Plain, -1, 1,
                                          0, 1, &p, 92, false, 0, 0xFFFFFFFFu);
        p->bitMask = block.mask;
        new Tip(flag, trText(block.tip), 0, 200, 10000, 0);
        auto* caption = new QLabel(trText(block.caption));
        registerFeatureWidget(caption, 92, 0);
        registerFeatureWidget(flag, 92, 0);
        grid->addWidget(caption, r, 0, 1, 6, Qt::AlignLeft);
        grid->addWidget(flag, r, 7, Qt::AlignLeft);

        QWidget* activation = createParamWidget(QString::fromLatin1(block.activationName), LineEdit,
                                                block.activationId, Plain, 0.0, 25.5, 0, 0.1, nullptr, 93, false, 0,
                                                0xFFFFFFFFu);
        QWidget* deactivation = createParamWidget(QString::fromLatin1(block.deactivationName), LineEdit,
                                                  block.deactivationId, Plain, block.deactivationMinimum, 255, 0, 1,
                                                  nullptr, 93, false, 0, 0xFFFFFFFFu);
        activation->setFixedWidth(w);
        deactivation->setFixedWidth(w);
        QWidget* delayRow[] = {new QLabel(tr("Act. delay:")), activation, new QLabel(QStringLiteral("s")),
                               new QLabel(tr("Deact. delay:")), deactivation, new QLabel(QStringLiteral("s"))};
        for (int column = 0; column < 6; ++column) {
            registerFeatureWidget(delayRow[column], 93, 0);
            grid->addWidget(delayRow[column], r + 1, column, Qt::AlignLeft);
        }
        auto* separator = new QLabel;
        separator->setMaximumHeight(1);
        registerFeatureWidget(separator, 93, 0);
        grid->addWidget(separator, r + 2, 0);
        r += 3;
    }
    left->addWidget(splitter);
    left->addWidget(protections);
    left->addStretch(1);
    tabLayout->addLayout(left);

    // BMS List.
    auto* right = new QVBoxLayout;
    WidgetFold* list = groupInFold(tr("BMS List"), &grid);
    registerFeatureGroup(list, false);
    right->addWidget(list);
    const struct
    {
        const char* name;
        int maximum;
        int feature;
    } counts[] = {
        {"Number of CU in Master/Slave configuration 1", 32, 94},
        {"Number of CU in Master/Slave configuration 2", 13, 95},
    };
    for (const auto& count : counts) {
        QWidget* spin = createParamWidget(QString::fromLatin1(count.name), SpinBox, kControlUnitCount, Plain, 0,
                                          count.maximum, 0, 1, nullptr, count.feature, false, 0, 0xFFFFFFFFu);
        new Tip(spin, tr("Set number of BMS used in configuration."), 0, 200, 10000, 0);
        auto* caption = new QLabel(tr("Number of BMS:"));
        registerFeatureWidget(caption, count.feature, 0);
        registerFeatureWidget(spin, count.feature, 0);
        grid->addWidget(caption, 0, 0, Qt::AlignLeft);
        grid->addWidget(spin, 0, 1, Qt::AlignLeft);
        controlUnitCountEdit = static_cast<QSpinBox*>(spin);
    }
    stringNumberEdits.clear();
    for (int i = 0; i < kDevices; ++i) {
        const int feature = i <= 12 ? 88 : 94;
        QWidget* serial = createParamWidget(QString::asprintf("MS2_DEVICE_SERIAL_DEV%u", unsigned(i)), LineEdit,
                                            kFirstSerial + 4 * i, Plain, 0, 4294967295.0, 0, 1, nullptr, feature,
                                            false, 0, 0xFFFFFFFFu);
        new Tip(serial, QString::asprintf("BMS %u Serial Number", unsigned(i + 1)), 0, 200, 10000, 0);
        // Not shown: the topology sets them. Kept by the tab so that they go
        // with it.
        QWidget* stringNumber = createParamWidget(QString::asprintf("MS2_DEVICE_STRING_NR_DEV%u", unsigned(i)),
                                                  ImmediateLineEdit, kFirstStringNumber + i, Plain, 0, 32, 0, 1,
                                                  nullptr, feature, false, 0, 0xFFFFFFFFu);
        stringNumber->setParent(tab);
        stringNumber->hide();
        stringNumberEdits << static_cast<QLineEdit*>(stringNumber);

        auto* caption = new QLabel(QString::asprintf("BMS %u Serial:", unsigned(i + 1)));
        const int row = 1 + i % 16;
        const int column = i < 16 ? 0 : 3;
        grid->addWidget(caption, row, column);
        grid->addWidget(serial, row, column + 1);
        addToWidgetGroup(caption, kDeviceRowsGroup);
        addToWidgetGroup(serial, kDeviceRowsGroup);
        registerFeatureWidget(caption, feature, 0);
        registerFeatureWidget(serial, feature, 0);
    }
    showWidgetGroupCount(kDeviceRowsGroup, 0);
    right->addStretch(1);
    tabLayout->addLayout(right);
    tabLayout->addStretch(1);
    tab->setLayout(tabLayout);
    masterSlaveTab = tab;
    return tab;
}

void ConfigPage::slotMasterSlaveConfigurationChanged()
{
    const bool parallel = parallelRadio->isChecked();
    // Parallel: each unit on a string of its own; Series: all on one. Each
    // changed string number is written at once by its editor.
    for (int i = 0; i < stringNumberEdits.size(); ++i)
        stringNumberEdits.at(i)->setText(parallel ? QString::number(i) : QStringLiteral("0"));
    setWidgetGroupVisible(kBypassGroup, !parallel);
    setWidgetGroupVisible(kCurrentDeviationGroup, parallel);
    setWidgetGroupVisible(kEqualizationGroup, parallel);
}

void ConfigPage::updateMasterSlaveTopology()
{
    if (unitGeneration() == 1)
        return;
    // The count as the unit holds it: the 0 to 13 spin box would cut a
    // larger count of a 32-unit firmware.
    const ConfigParamSlot* countSlot = paramSlot(kControlUnitCount);
    const int count = int(qMin<uint32_t>(countSlot && countSlot->valid ? countSlot->value : 0,
                                         uint32_t(stringNumberEdits.size())));
    uint32_t sum = 0;
    for (int i = 0; i < count; ++i) {
        bool ok = false;
        const uint v = stringNumberEdits.at(i)->text().toUInt(&ok, 10);
        if (ok)
            sum += v;
    }
    const bool parallel = sum != 0;
    parallelRadio->setChecked(parallel);
    seriesRadio->setChecked(!parallel);
    setWidgetGroupVisible(kBypassGroup, !parallel);
    setWidgetGroupVisible(kCurrentDeviationGroup, parallel);
    setWidgetGroupVisible(kEqualizationGroup, parallel);
}

void ConfigPage::slotMasterSlaveUpdateSplitterConfiguration()
{
    // Each id once, and only what the unit has reported: a value never read
    // would overwrite the splitter's own with 0.
    QList<SplitterParam> params;
    QSet<int> taken;
    for (const ConfigParam* p : qAsConst(m_params)) {
        const int id = p->paramId();
        if (!isSplitterParam(id) || !p->slot->valid || taken.contains(id))
            continue;
        taken.insert(id);
        params.append({quint16(id), quint32(p->slot->value), p->name});
    }
    if (params.isEmpty()) {
        QMessageBox box(QMessageBox::NoIcon, QString(),
                        tr("The configuration has not been read from the BMS yet.\nLoad it before committing it to "
                           "the CAN Splitter."),
                        QMessageBox::Ok);
        runModalBox(&box);
        return;
    }

    QMessageBox question;
    question.setText(QStringLiteral("WARNING!"));
    question.setInformativeText(QStringLiteral("This action requires entering configuration mode.\nWhile in "
                                               "configuration mode, normal operation of\ncontrol unit will be "
                                               "stopped. Continue?"));
    question.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
    question.setDefaultButton(QMessageBox::Ok);
    if (auto* layout = qobject_cast<QGridLayout*>(question.layout()))
        layout->addItem(new QSpacerItem(300, 0, QSizePolicy::Minimum, QSizePolicy::Expanding), layout->rowCount(), 0,
                        1, layout->columnCount());
    runModalBox(&question);
    if (question.standardButton(question.clickedButton()) != QMessageBox::Ok)
        return;

    setCursor(Qt::WaitCursor);
    // A start that fails reports a general result on its way out; the user
    // gets one box naming the cause instead of that one and then another.
    int heard = -1;
    bool started = false;
    {
        const SplitterStart start(this, &heard);
        started = m_splitterStarter && m_splitterStarter(params);
    }
    if (started) {
        if (heard >= 0)
            slotCanSplitterConfigFinish(heard);
        return;
    }
    // No job, so no result will come to end the wait. A result heard means
    // the job was tried and the unit's configuration mode could not be
    // entered; none means it was not tried, another CAN job being under way
    // or another service holding that mode.
    setCursor(Qt::ArrowCursor);
    const ConfigModeOwner::Holder other = ConfigModeOwner::heldAgainst(ConfigModeOwner::CanJobs);
    const QString text = heard >= 0 ? tr("Error entering BMS configuration mode. Please try again.")
                         : other != ConfigModeOwner::Nobody
                             ? ConfigModeOwner::refusalText(other)
                             : tr("Another CAN operation is running. Please try again when it has finished.");
    QMessageBox box(QMessageBox::NoIcon, QString(), text, QMessageBox::Ok);
    runModalBox(&box);
}

void ConfigPage::slotCanSplitterConfigFinish(int result)
{
    if (SplitterStart::takes(this, result))
        return;
    const int count = int(sizeof(kSplitterResultTexts) / sizeof(kSplitterResultTexts[0]));
    const QString text = result >= 0 && result < count ? tr(kSplitterResultTexts[result]) : QString();
    QMessageBox box(QMessageBox::NoIcon, QString(), text, QMessageBox::Ok);
    box.setDefaultButton(QMessageBox::Ok);
    runModalBox(&box);
    setCursor(Qt::ArrowCursor);
}
