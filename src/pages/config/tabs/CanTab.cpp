// The CAN tab: the control unit's own CAN settings.
#include "ConfigPage.h"

#include "ConfigParam.h"
#include "MyGroupBox.h"
#include "ParamConversion.h"
#include "SignalWindowTab.h"
#include "Tip.h"
#include "WidgetFold.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFontMetrics>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

using namespace ParamConversion;

namespace {

constexpr int kNoFeature = -1;
constexpr int kNotShown = -1; // not registered for firmware visibility
// Read with the unit's basic parameters: every unit has its CAN1 speed and
// its own CAN id base, and the device actions depend on both.
constexpr int kUnitBasics = 33;

enum Items { NoItems, SpeedItems, InterfaceItems };

struct CanRow
{
    int id;
    uint32_t mask; // 0: none set (whole value)
    const char* name;
    int kind;
    int valueType;
    double minimum;
    double maximum;
    double scale;
    const char* unit;
    const char* caption;
    int feature;
    int shownBy;
    const char* tip; // null: no tip
    int items = NoItems;
    uint32_t hexLow = 0;
    uint32_t hexHigh = 0xFFFFFFFFu;
};

const char* const kSpeedTip = QT_TRANSLATE_NOOP(
    "ConfigPage",
    "Bit rate of the CAN interface.<br><font color=\"red\">NOTE: Requires BMS restart to take effect.<br>"
    "Before changing the CAN speed, all Kepo CAN devices must be connected to the bus and configured.<br>"
    "Default CAN speed of Kepo CAN devices is 250 kbps.</font>");

// Words with one enable flag per bit.
constexpr int kFlags0 = 0x1600;
constexpr int kFlags1 = 0x1604;
constexpr int kFlags2 = 0x1608;

// The speed boxes hold a speed code; 1 Mbps is code 0.
void addSpeedItems(QWidget* box)
{
    const char* texts[] = {"50 kbps", "125 kbps", "250 kbps", "500 kbps", "800 kbps", "1 Mbps"};
    for (int i = 0; i < 6; ++i)
        ConfigPage::addComboItem(box, QCoreApplication::translate("ConfigPage", texts[i]), 5 - i);
}

void addInterfaceItems(QWidget* box)
{
    ConfigPage::addComboItem(box, QCoreApplication::translate("ConfigPage", "CAN1"), 0);
    ConfigPage::addComboItem(box, QCoreApplication::translate("ConfigPage", "CAN2"), 1);
}

QString tr(const char* text) { return QCoreApplication::translate("ConfigPage", text); }

} // namespace

// Makes one row: editor, mask, items, tip, caption and unit, registration.
static QWidget* addCanRow(ConfigPage* page, QGridLayout* grid, int row, const CanRow& r,
                          Qt::Alignment align = Qt::AlignLeft, QLabel** captionOut = nullptr)
{
    ConfigParam* param = nullptr;
    QWidget* editor = page->createParamWidget(tr(r.name), r.kind, r.id, r.valueType, r.minimum, r.maximum, 0,
                                              r.scale, &param, r.feature, false, r.hexLow, r.hexHigh);
    if (!editor)
        return nullptr;
    if (r.mask && param)
        param->bitMask = r.mask;
    if (r.items == SpeedItems)
        addSpeedItems(editor);
    else if (r.items == InterfaceItems)
        addInterfaceItems(editor);
    if (r.tip) {
        const int placement = r.items == SpeedItems && r.id != 0x1C04 ? 3 : 0;
        new Tip(editor, tr(r.tip), placement, 200, 10000, 0);
    }
    auto* caption = new QLabel(tr(r.caption));
    grid->addWidget(caption, row, 0, align);
    grid->addWidget(editor, row, 1, align);
    QLabel* unit = nullptr;
    if (r.unit && *r.unit) {
        // "s" and "°C" are not translated
        unit = new QLabel(QString::fromUtf8(r.unit) == "s" ? QStringLiteral("s") : tr(r.unit));
        grid->addWidget(unit, row, 2, align);
    }
    if (r.shownBy != kNotShown) {
        page->registerFeatureWidget(caption, r.shownBy, 0);
        page->registerFeatureWidget(editor, r.shownBy, 0);
        if (unit)
            page->registerFeatureWidget(unit, r.shownBy, 0);
    }
    if (captionOut)
        *captionOut = caption;
    return editor;
}

static QGridLayout* newGrid(MyGroupBox* box, int w)
{
    auto* grid = new QGridLayout;
    box->setLayout(grid);
    grid->setColumnStretch(0, 1);
    grid->setColumnMinimumWidth(1, w);
    return grid;
}

SignalWindowTab* ConfigPage::createCanTab(QWidget* parent)
{
    auto* tab = new SignalWindowTab(parent);
    const int w = QFontMetrics(QApplication::font()).horizontalAdvance(QStringLiteral("9999.9  "));
    auto* outer = new QVBoxLayout;
    auto* columns = new QHBoxLayout;
    outer->addLayout(columns);
    auto* left = new QVBoxLayout;
    columns->addLayout(left);
    left->addWidget(new WidgetFold(createCanBusGroup(w)));
    left->addWidget(new WidgetFold(createCanModulesGroup(w)));
    left->addWidget(createCanopenGroup(w));
    left->addStretch();
    auto* right = new QVBoxLayout;
    columns->addLayout(right);
    right->addWidget(createCanMasterSlaveGroup(w));
    right->addWidget(createCanSplitterGroup(w));
    right->addWidget(createCanInterfaceGroup(w));
    right->addStretch();
    columns->addStretch();
    outer->addStretch();
    tab->setLayout(outer);
    return tab;
}

QWidget* ConfigPage::createCanBusGroup(int w)
{
    auto* box = new MyGroupBox(tr("BMS CAN Bus Parameters"));
    registerFeatureGroup(box, false);
    QGridLayout* grid = newGrid(box, w);
    const CanRow rows[] = {
        {kFlags0, 0x00000200, "ENABLE_CAN", CheckBox, Plain, -1, 1, 1, "", "Enable CAN:", kNoFeature, 0,
         "Enables CAN interface for transmission and reception.<br>NOTE: Requires BMS restart to take effect."},
        {0x0C02, 0, "CAN speed", ComboBox, Plain, 0, 6, 1, "", "CAN1 Speed:", kUnitBasics, kNotShown, kSpeedTip,
         SpeedItems},
        {0x0C95, 0, "CAN2 Speed", ComboBox, Plain, 0, 6, 1, "", "CAN2 Speed:", 113, 113, kSpeedTip, SpeedItems},
        {kFlags0, 0x00000400, "BF11_PERIODIC_CAN_BROADCAST", CheckBox, Plain, -1, 1, 1, "",
         "Periodic Data Broadcast:", kNoFeature, kNotShown, "Enables periodic broadcast of the BMS data on CAN."},
        {0x0C8C, 0, "CAN Broadcast Period", LineEdit, Real, 0.1, 25.5, 0.1, "s", "CAN Broadcast Period:", 112,
         kNotShown, "Period of the CAN data broadcast in seconds."},
        {kFlags0, 0x00080000, "BF20_BROADCAST_INDIVIDUAL_CELLS", CheckBox, Plain, -1, 1, 1, "",
         "Broadcast Each Cell Value:", kNoFeature, kNotShown,
         "Enables broadcasting of each cell values along with overall status.\nNOTE: Use with caution as it may "
         "increase system load on bigger battery systems."},
        {kFlags1, 0x00000400, "BF43_BROADCAST_TM4_NEURO_MESSAGES", CheckBox, Plain, -1, 1, 1, "",
         "Broadcast TM4 NEURO Messages:", 1, 1, nullptr},
        {kFlags0, 0x00000800, "BF12_USE_EXTENDED_CAN_IDS", CheckBox, Plain, -1, 1, 1, "", "Use Extended 29bit ID:",
         kNoFeature, kNotShown, "Check to use extended 29 bit CAN ids instead of basic 11 bit ids."},
        {kFlags0, 0x00004000, "BF15_CAN_TRANSPARENT", CheckBox, Plain, -1, 1, 1, "", "Send to RS232/USB:",
         kNoFeature, kNotShown,
         "Enables the transmission of received CAN messages to corresponding serial interface sentences \"CN1...\" "
         "(see manual for format)."},
        {kFlags2, 0x00000020, "BF70_ONLY_MS_CAN_MESSAGES", CheckBox, Plain, -1, 1, 1, "", "Only M/S messages",
         kNoFeature, kNotShown,
         "Disables CN1 message retransmission except for Master/Slave<br>status messages (when \"Send to "
         "RS232/USB:\" is checked)."},
        {0x0D00, 0, "BMS CAN ID Base", HexLineEdit, CanId13, 0, 8191, 1, "", "CAN ID Base:", kUnitBasics, kNotShown,
         "CAN ID Base address in HEX.<br>For extended 29 bit ID it represents upper 13 bits of ID.<br>For basic 11 "
         "bit ID it this a base address number",
         NoItems, 0x0000, 0x1FFF},
    };
    int row = 0;
    for (const CanRow& r : rows) {
        const bool canIdBase = r.id == 0x0D00;
        QLabel* caption = nullptr;
        QWidget* editor = addCanRow(this, grid, row, r, Qt::AlignLeft, &caption);
        if (canIdBase && caption) {
            grid->removeWidget(caption);
            grid->addWidget(caption, row, 0);
        }
        if (editor && (r.id == 0x0C02 || r.id == 0x0C95 || r.id == 0x0C8C || r.mask == 0x00000800 || canIdBase))
            editor->setMinimumWidth(w);
        if (r.id == 0x0C02)
            can1SpeedBox = qobject_cast<QComboBox*>(editor);
        else if (r.id == kFlags0 && r.mask == 0x00000800)
            extendedIdBox = qobject_cast<QCheckBox*>(editor);
        else if (r.id == kFlags1)
            if (auto* check = qobject_cast<QCheckBox*>(editor))
                check->setChecked(false);
        ++row;
    }
    return box;
}

QWidget* ConfigPage::createCanModulesGroup(int w)
{
    auto* box = new MyGroupBox(tr("KEPO CAN Modules Parameters"));
    registerFeatureGroup(box, true); // only widget group 10 hides it
    QGridLayout* grid = newGrid(box, w);
    const CanRow r{0x0D03, 0, "CC_CAN_PERIPHERALS_BASE_ADDRESS", HexLineEdit, CanId13, 0, 8191, 1, "",
                   "Device CAN ID Base:", 6, kNotShown,
                   "CAN Identifier base, allocated for communication with Kepo BMS <br>internal peripherals. For "
                   "extended 29 bit ID it represents upper <br>13 bits of ID. For basic 11 bit ID it this a base "
                   "address number.",
                   NoItems, 0x0000, 0x1FFF};
    QLabel* caption = nullptr;
    QWidget* editor = addCanRow(this, grid, 0, r, Qt::AlignLeft, &caption);
    deviceBaseIdEdit = qobject_cast<QLineEdit*>(editor);
    // The firmware check may hide these but never shows them.
    registerFeatureWidget(caption, 6, 1);
    registerFeatureWidget(editor, 6, 1);
    addToWidgetGroup(box, 10);
    addToWidgetGroup(caption, 10);
    addToWidgetGroup(editor, 10);
    return box;
}

QWidget* ConfigPage::createCanopenGroup(int w)
{
    auto* box = new MyGroupBox(tr("CANopen Parameters"));
    auto* fold = new WidgetFold(box);
    registerFeatureGroup(fold, false);
    QGridLayout* grid = newGrid(box, w);
    const CanRow rows[] = {
        {0x0C88, 0, "Enable CANopen protocol", CheckBox, Plain, -1, 1, 1, "", "Enable CANopen Support", 106, 106,
         "Enables the CANopen protocol of the BMS."},
        {0x0C89, 0, "BMS Node Id", LineEdit, Plain, 1, 127, 1, "", "BMS Node Id:", 106, 106,
         "CANopen Node Id which will be set for Y5 BMS.<br>Available Ids: 1 - 127"},
        {0x0D8A, 0, "CANopen Node Heartbeat Period", LineEdit, Plain, 0, 65530, 1, "ms", "Heartbeat period:", 106,
         106,
         "CANopen Node heartbeat period in milliseconds. Possible values: 0 - 65530.<br>If period is set to 0 "
         "milliseconds, then heartbeat will be stopped.<br>Any positive value will re-enable heartbeat."},
        {0x0CA0, 0, "Enable NMT Master", CheckBox, Plain, -1, 1, 1, "", "Enable NMT Master", 106, 106,
         "Makes the BMS the CANopen NMT master of the bus."},
    };
    int row = 0;
    for (const CanRow& r : rows) {
        QWidget* editor = addCanRow(this, grid, row++, r, Qt::Alignment());
        if (r.id == 0x0C89)
            if (auto* edit = qobject_cast<QLineEdit*>(editor))
                edit->setValidator(new QIntValidator(1, 127, edit));
    }
    return fold;
}

QWidget* ConfigPage::createCanMasterSlaveGroup(int w)
{
    auto* box = new MyGroupBox(tr("Master/Slave Parameters"));
    auto* fold = new WidgetFold(box);
    registerFeatureGroup(fold, false);
    QGridLayout* grid = newGrid(box, w);
    const CanRow rows[] = {
        {kFlags0, 0x00800000, "BF24_ENABLE_MASTER_SLAVE", CheckBox, Plain, -1, 1, 1, "", "Enable Master/Slave:", 7,
         7, "Enables the master/slave link between control units."},
        {0x1E00, 0, "MS2_BROADCAST_ID", HexLineEdit, CanId29, 0, 536870911, 1, "", "KeepAlive ID:", 7, 7,
         "CAN id of the master/slave keep-alive message.", NoItems, 0, 0x1FFFFFFF},
        {0x1EA6, 0, "MS2_SYSTEM_STATUS_ID1", HexLineEdit, CanId29, 0, 536870911, 1, "", "System Status ID 1:", 8, 8,
         "CAN id of the first system status message.", NoItems, 0, 0x1FFFFFFF},
        {0x1EAA, 0, "MS2_SYSTEM_STATUS_ID2", HexLineEdit, CanId29, 0, 536870911, 1, "", "System Status ID 2:", 8, 8,
         "CAN id of the second system status message.", NoItems, 0, 0x1FFFFFFF},
        {kFlags0, 0x01000000, "BF25_MS2_USE_EXT_IDS_FOR_KEEPALIVE", CheckBox, Plain, -1, 1, 1, "",
         "Use Extended 29bit ID:", 7, 7,
         "Check to use extended 29 bit CAN id instead of basic 11 bits.<br>If Master/Slave functionality is "
         "enabled, this parameter is also<br>used for CAN messages in battery parameters CAN protocol"},
    };
    int row = 0;
    for (const CanRow& r : rows)
        addCanRow(this, grid, row++, r);
    return fold;
}

QWidget* ConfigPage::createCanSplitterGroup(int w)
{
    auto* box = new MyGroupBox(tr("CAN Splitter Parameters"));
    auto* fold = new WidgetFold(box);
    registerFeatureGroup(fold, false);
    QGridLayout* grid = newGrid(box, w);
    const CanRow shown{0x1C04, 0, "MS2_COMMON_BUS_SPEED", ComboBox, Plain, 0, 6, 1, "", "Common Bus Speed:", 7, 9,
                       "Bus speed of the CAN splitters' common bus.", SpeedItems};
    if (QWidget* editor = addCanRow(this, grid, 0, shown))
        editor->setMinimumWidth(80);
    // Loaded, saved and sent to the splitter by the Master/Slave tab; never shown.
    for (int i = 0; i < 16; ++i)
        createParamWidget(QStringLiteral("MS2_GNR_PURPOSE_ID_%1").arg(i), HexLineEdit, 0x1EB2 + 4 * i, CanId29, 0,
                          536870911, 0, 1, nullptr, 10, false, 0, 0xFFFFFFFFu);
    createParamWidget(QStringLiteral("MS2_SYSTEM_STATUS_ID3"), HexLineEdit, 0x1EAE, CanId29, 0, 536870911, 0, 1,
                      nullptr, 8, false, 0, 0x1FFFFFFF);
    // A 16-bit word: its range is what the word carries.
    createParamWidget(QStringLiteral("MS2_GNR_PURPOSE_ID_ACTV_FLG"), HexLineEdit, 0x1DF2, CanId29, 0, 0xFFFF, 0, 1,
                      nullptr, 10, false, 0, 0xFFFF);
    return fold;
}

QWidget* ConfigPage::createCanInterfaceGroup(int w)
{
    auto* box = new MyGroupBox(tr("CAN Interface Assignment"));
    auto* fold = new WidgetFold(box);
    registerFeatureGroup(fold, false);
    QGridLayout* grid = newGrid(box, w);
    const CanRow rows[] = {
        {0x0C8D, 0, "Broadcast Interface", ComboBox, Plain, 0, 3, 1, "", "Broadcast Interface:", 113, 113,
         "CAN interface that carries the BMS data broadcast.", InterfaceItems},
        {0x0C8E, 0, "Charger Interface", ComboBox, Plain, 0, 3, 1, "", "Charger Interface:", 113, 113,
         "CAN interface that carries the charger messages.", InterfaceItems},
        {0x0C8F, 0, "CGM Interface", ComboBox, Plain, 0, 3, 1, "", "CGM Interface:", 113, 113,
         "CAN interface that carries the cell group modules.", InterfaceItems},
        {0x0C90, 0, "Master/Slave Interface", ComboBox, Plain, 0, 3, 1, "", "Master/Slave Interface:", 113, 113,
         "CAN interface that carries the master/slave link.", InterfaceItems},
        {0x0C91, 0, "EVCC Interface", ComboBox, Plain, 0, 3, 1, "", "EVCC Interface:", 113, 113,
         "CAN interface that carries the EVCC messages.", InterfaceItems},
    };
    int row = 0;
    for (const CanRow& r : rows)
        if (QWidget* editor = addCanRow(this, grid, row++, r))
            editor->setMinimumWidth(80);
    return fold;
}
