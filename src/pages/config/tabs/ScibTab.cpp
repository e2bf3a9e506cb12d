// The Toshiba SCiB tab: finds the SCiB modules on the CAN bus, lets the user
// place them onto cell strings, and stores that mapping in the unit's module
// mapping parameters. Nothing is sent to the modules themselves.
#include "ConfigPage.h"

#include "ConfigModeOwner.h"
#include "ConfigParam.h"
#include "MyGroupBox.h"
#include "ParamConversion.h"
#include "SignalWindowTab.h"
#include "Tip.h"
#include "ToshibaSCiBMappingTables.h"
#include "ToshibaSCiBModuleConfig.h"
#include "WidgetFold.h"

#include <QApplication>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSpacerItem>
#include <QSpinBox>
#include <QVBoxLayout>

namespace {

constexpr int kScibModuleCountId = 0x0C05;
constexpr int kCellCountId = 0x0100;
constexpr int kCellStringsId = 0x0013;

int scibSerialId(int m) { return 0x0D27 + 2 * (m - 1); }
int scibStringId(int m) { return 0x0C66 + m; }
int scibCellCountId(int m) { return 0x0C06 + m; }

const char* const kPressDiscoverFirst = "Press \"Discover devices\" first";

} // namespace

SignalWindowTab* ConfigPage::createScibTab(QWidget* parent)
{
    auto* tab = new SignalWindowTab(parent);
    scibTab = tab;
    auto* outer = new QVBoxLayout(tab);

    scibDiscoverButton = new QPushButton(tr("Discover devices"));
    scibDiscoverButton->setEnabled(false);
    new Tip(scibDiscoverButton, tr("Discover devices on CAN bus."), 1, 200, 10000, 0);
    auto* top = new QHBoxLayout;
    top->addWidget(scibDiscoverButton);
    top->addStretch();
    outer->addLayout(top);

    auto* body = new QHBoxLayout;
    outer->addLayout(body);

    auto* left = new QVBoxLayout;
    auto* configBox = new MyGroupBox(tr("Configuration"));
    auto* grid = new QGridLayout(configBox);
    scibParallelStringsBox = new QSpinBox;
    scibParallelStringsBox->setRange(1, 32);
    scibParallelStringsBox->setValue(1);
    grid->addWidget(new QLabel(tr("Number of parallel strings:")), 0, 0, Qt::AlignLeft);
    grid->addWidget(scibParallelStringsBox, 0, 1, Qt::AlignLeft);
    grid->setColumnStretch(2, 1);
    scibTable = new ToshibaSCiBConfiguredTable;
    grid->addWidget(scibTable, 1, 0, 1, 3);
    left->addWidget(new WidgetFold(configBox));
    scibCommitButton = new QPushButton(QStringLiteral("Commit configuration"));
    scibCommitButton->setEnabled(false);
    scibCommitTip = new Tip(scibCommitButton, tr(kPressDiscoverFirst), 1, 200, 10000, 0);
    auto* commitRow = new QHBoxLayout;
    commitRow->addWidget(scibCommitButton);
    commitRow->addStretch();
    left->addLayout(commitRow);
    left->addStretch();
    body->addLayout(left);

    auto* right = new QVBoxLayout;
    auto* listBox = new MyGroupBox(tr("Unconfigured Device List"));
    listBox->setMaximumWidth(220);
    auto* listLayout = new QHBoxLayout(listBox);
    scibList = new ToshibaSCiBUnconfiguredTree;
    listLayout->addWidget(scibList);
    listLayout->addStretch();
    right->addWidget(new WidgetFold(listBox));
    right->addStretch();
    body->addLayout(right);

    actionButtons << scibDiscoverButton << scibCommitButton;
    editingActionButtons << scibDiscoverButton << scibCommitButton;
    scibDiscoveryDone = false;

    // The second set of module mapping editors: every change is written at
    // once. Kept on the tab, hidden, in no layout.
    auto immediate = [this, tab](const QString& name, int id, double maximum) {
        QWidget* w = createParamWidget(name, ParamConversion::ImmediateLineEdit, id, ParamConversion::Plain, 0,
                                       maximum, 0, 1.0, nullptr, 0, false);
        auto* edit = qobject_cast<QLineEdit*>(w);
        if (w) {
            w->setParent(tab);
            w->hide();
        }
        return edit;
    };
    scibModuleCountEdit = immediate(QStringLiteral("Number of cells CAN modules 2"), kScibModuleCountId, 32);
    scibModuleRecords.clear();
    for (int m = 1; m <= 32; ++m) {
        ScibModuleRecord r;
        r.serialEdit = immediate(QString::asprintf("Module %u Serial SCiB", unsigned(m)), scibSerialId(m), 65535);
        r.stringEdit = immediate(QString::asprintf("Module %u String SCiB", unsigned(m)), scibStringId(m), 32);
        r.cellCountEdit =
            immediate(QString::asprintf("Module %u Cell Count SCiB", unsigned(m)), scibCellCountId(m), 255);
        scibModuleRecords << r;
    }
    // From here on the device actions write the stored mapping through these
    // editors, which send every change at once.
    for (int k = 0; k < kModuleRecords && k < scibModuleRecords.size(); ++k) {
        moduleRecords[k].serialEdit = scibModuleRecords.at(k).serialEdit;
        moduleRecords[k].stringEdit = scibModuleRecords.at(k).stringEdit;
        moduleRecords[k].cellCountEdit = scibModuleRecords.at(k).cellCountEdit;
    }
    moduleCountEdit = scibModuleCountEdit;

    connect(scibDiscoverButton, &QPushButton::clicked, this, &ConfigPage::slotDiscoverToshibaSCiBModulesButtonPressed);
    connect(scibCommitButton, &QPushButton::clicked, this, &ConfigPage::slotConfigureToshibaSCiBButtonPressed);
    connect(scibParallelStringsBox, QOverload<int>::of(&QSpinBox::valueChanged), scibTable,
            &ToshibaSCiBConfiguredTable::slotTableColumnCount);
    connect(scibTable, &ToshibaSCiBConfiguredTable::sigColumnCountChanged, scibParallelStringsBox,
            &QSpinBox::setValue);
    connect(scibTable, &ToshibaSCiBConfiguredTable::sigConfigurationChanged, this,
            &ConfigPage::slotToshibaSCiBConfigurationChanged);
    connect(scibTable, &ToshibaSCiBConfiguredTable::sigDropDevice, scibList,
            &ToshibaSCiBUnconfiguredTree::slotAcceptDroppedDevice);
    connect(scibTable, &ToshibaSCiBConfiguredTable::sigTableDropAccepted, scibList,
            &ToshibaSCiBUnconfiguredTree::slotListDropAccepted);
    connect(scibList, &ToshibaSCiBUnconfiguredTree::sigListDropAccepted, scibTable,
            &ToshibaSCiBConfiguredTable::slotTableDropAccepted);
    return tab;
}

void ConfigPage::scibChargingCheck()
{
    if (chargingState == 0 || !configurationLoaded)
        return;
    QMessageBox box(QMessageBox::Warning, tr("WARNING!"),
                    tr("Charging is in progress, and the action \nyou are trying to execute may cause \nundefined "
                       "behavior. Please disconnect the \ncharger before configuring any parameters."),
                    QMessageBox::Ok, this);
    box.setDefaultButton(QMessageBox::Ok);
    runModalBox(&box);
}

bool ConfigPage::scibConfirmConfigMode()
{
    QMessageBox box;
    box.setText(QStringLiteral("WARNING!"));
    box.setInformativeText(QStringLiteral("This action requires entering configuration mode.\nWhile in configuration "
                                          "mode, normal operation of\ncontrol unit will be stopped. Continue?"));
    box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
    box.setDefaultButton(QMessageBox::Ok);
    if (auto* grid = qobject_cast<QGridLayout*>(box.layout()))
        grid->addItem(new QSpacerItem(300, 0, QSizePolicy::Minimum, QSizePolicy::Expanding), grid->rowCount(), 0, 1,
                      grid->columnCount());
    runModalBox(&box);
    return box.result() == QMessageBox::Ok;
}

// One wait cursor however often the steps ask for it.
void ConfigPage::scibSetBusy(bool busy)
{
    if (busy == m_scibBusyCursor)
        return;
    m_scibBusyCursor = busy;
    if (busy)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
}

void ConfigPage::slotDiscoverToshibaSCiBModulesButtonPressed()
{
    scibChargingCheck();
    ToshibaSCiBModuleConfig* service = g_toshibaSCiBModuleConfig;
    if (!service || !scibTable)
        return;
    // Another job holding the unit's configuration mode is named first.
    auto refused = [this] {
        const ConfigModeOwner::Holder other = ConfigModeOwner::heldAgainst(ConfigModeOwner::ScibModules);
        if (other == ConfigModeOwner::Nobody)
            return false;
        QMessageBox box(QMessageBox::Warning, tr("WARNING!"), ConfigModeOwner::refusalText(other), QMessageBox::Ok,
                        this);
        runModalBox(&box);
        return true;
    };
    if (refused() || !scibConfirmConfigMode())
        return;
    const bool commitWasEnabled = scibCommitButton->isEnabled();
    scibSetBusy(true);
    scibDiscoverButton->setEnabled(false);
    scibCommitButton->setEnabled(false);
    if (!service->startDiscovery()) {
        // Nothing started and nothing will report: give the tab back and
        // say why instead of leaving it waiting.
        scibSetBusy(false);
        scibDiscoverButton->setEnabled(true);
        scibCommitButton->setEnabled(commitWasEnabled);
        if (refused())
            return;
        QMessageBox box(QMessageBox::Warning, tr("WARNING!"),
                        tr("The control unit could not enter configuration mode.\nNo SCiB module was searched."),
                        QMessageBox::Ok, this);
        runModalBox(&box);
        return;
    }
    scibList->clearModules();
    scibTable->setAllCellStates(ScibUnconfirmed);
}

void ConfigPage::slotToshibaSCiBOperationStatus(int status, int operation)
{
    if (operation != 0 || !scibTable)
        return;
    if (status == ToshibaSCiBModuleConfig::Started) {
        scibSetBusy(true);
        scibList->clearModules();
        scibDiscoverButton->setEnabled(false);
        scibCommitButton->setEnabled(false);
        scibList->setDragDropEnabled(false);
        scibTable->setDragDropEnabled(false);
    } else if (status == ToshibaSCiBModuleConfig::Finished || status == ToshibaSCiBModuleConfig::Failed) {
        scibDiscoverButton->setEnabled(true);
        scibCommitButton->setEnabled(true);
        showDiscoveredScibModules();
        scibList->setDragDropEnabled(true);
        scibTable->setDragDropEnabled(true);
        scibSetBusy(false);
        if (status == ToshibaSCiBModuleConfig::Failed) {
            QMessageBox box(QMessageBox::Warning, tr("WARNING!"),
                            tr("Some SCiB modules could not be polled (link lost or firmware update running).\n"
                               "The list of found modules may be incomplete."),
                            QMessageBox::Ok, this);
            runModalBox(&box);
        }
    }
}

void ConfigPage::showDiscoveredScibModules()
{
    ToshibaSCiBModuleConfig* service = g_toshibaSCiBModuleConfig;
    scibList->clearModules();
    scibDiscoveryDone = true;
    if (!service)
        return;
    const int count = service->discoveredCount();
    for (int i = 0; i < count; ++i) {
        uint32_t id = 0;
        uint8_t cells = 0;
        if (!service->discoveredModule(&id, &cells, i))
            break;
        uint8_t s = 0, p = 0, known = 0;
        if (scibTable->findModule(id, &s, &p, &known))
            scibTable->placeModuleAt(id, s, p, cells ? ScibConfirmed : ScibUnconfirmed, cells);
        else
            scibList->addModule(id, cells);
    }
}

void ConfigPage::slotToshibaSCiBConfigurationChanged()
{
    if (!scibCommitButton)
        return;
    if (scibDiscoveryDone) {
        scibCommitButton->setEnabled(true);
        scibCommitButton->setStyleSheet(QStringLiteral("QPushButton {background-color: yellow;}"));
        scibCommitTip->setText(tr("Configuration changed: commit new configuration"));
    } else {
        scibCommitButton->setEnabled(false);
        scibCommitTip->setText(tr(kPressDiscoverFirst));
    }
}

void ConfigPage::slotConfigureToshibaSCiBButtonPressed()
{
    scibChargingCheck();
    ToshibaSCiBModuleConfig* service = g_toshibaSCiBModuleConfig;
    if (!service || !scibTable)
        return;
    if (!scibConfirmConfigMode())
        return;
    scibDiscoverButton->setEnabled(false);
    scibCommitButton->setEnabled(false);
    scibSetBusy(true);

    const int placed = scibTable->collectPlacedModules();
    service->clearCommitList();
    for (int i = 0; i < placed && i < 256; ++i) {
        uint32_t id = 0;
        uint8_t cells = 0, s = 0, p = 0, state = 0;
        if (scibTable->placedModuleAt(i, &id, &cells, &s, &p, &state))
            service->addCommitModule(id, cells);
    }
    for (int i = 0; i < scibList->moduleCount() && i < 256; ++i) {
        uint32_t id = 0;
        if (scibList->moduleAt(i, &id))
            service->addUnassignedModule(id);
    }

    const int c = service->commitModuleCount();
    int k = 0;
    uint16_t total = 0;
    for (int i = 0; i < c && i <= 31; ++i) {
        uint8_t status = 0, cells = 0;
        uint32_t id = 0;
        if (!service->commitModuleResult(i, &status, &id, &cells))
            continue;
        uint8_t s = 0, p = 0, known = 0;
        if (!scibTable->findModule(id, &s, &p, &known) || k >= scibModuleRecords.size())
            continue;
        // Each text change is written at once while the configuration is loaded.
        const ScibModuleRecord& r = scibModuleRecords.at(k);
        r.serialEdit->setText(QString::number(id & 0xFFFFu));
        r.stringEdit->setText(QString::number(s));
        r.cellCountEdit->setText(QString::number(cells));
        total = uint16_t(total + cells);
        scibTable->placeModuleAt(id, s, p, status ? ScibFailed : ScibConfirmed, cells);
        ++k;
    }
    if (scibModuleCountEdit)
        scibModuleCountEdit->setText(QString::number(k));

    for (int i = 0; i < m_params.size(); ++i) {
        ConfigParam* p = m_params.at(i);
        if (p->paramId() == kCellCountId && p->widget) {
            if (qobject_cast<QLineEdit*>(p->widget))
                setEditorText(p, QString::number(total));
            else if (auto* spin = qobject_cast<QSpinBox*>(p->widget)) {
                ++m_programmaticChange;
                spin->setValue(total);
                --m_programmaticChange;
            }
        } else if (p->paramId() == kCellStringsId && p->widget) {
            if (auto* label = qobject_cast<QLabel*>(p->widget))
                label->setText(QString::number(scibParallelStringsBox->value()));
        }
    }
    if (configurationLoaded) {
        for (int i = 0; i < m_params.size(); ++i) {
            const int id = m_params.at(i)->paramId();
            if (id == kCellCountId || id == kCellStringsId)
                submitParamByIndex(i);
        }
    }

    scibSetBusy(false);
    scibDiscoverButton->setEnabled(true);
    scibCommitButton->setEnabled(true);
    scibCommitButton->setStyleSheet(QString());
    scibCommitTip->setText(tr("Reconfigure the devices on internal CAN bus."));
}

void ConfigPage::loadConfiguredScibModules()
{
    if (!scibTable)
        return;
    scibTable->clearAll();
    scibList->clearModules();
    const int count = scibModuleCountEdit ? scibModuleCountEdit->text().toInt() : 0;
    // Positions follow on within each string, so records naming strings
    // 0, 0, 1, 0 land at (0,0), (0,1), (1,0), (0,2): none overwrites another.
    int nextPosition[scib::kStrings] = {};
    for (int m = 0; m < count && m < scibModuleRecords.size(); ++m) {
        const ScibModuleRecord& r = scibModuleRecords.at(m);
        const uint32_t id = r.serialEdit->text().toUInt();
        const int s = r.stringEdit->text().toInt();
        const int cells = r.cellCountEdit->text().toInt();
        if (s < 0 || s >= scib::kStrings)
            continue;
        const int p = nextPosition[s]++;
        if (scibTable->placeModule(s, p, id, uint8_t(cells)))
            scibTable->setCellState(s, p, ScibUnconfirmed);
    }
    scibTable->markDuplicateModules();
    int strings = 0;
    for (ConfigParam* p : qAsConst(m_params))
        if (p->paramId() == kCellStringsId && p->widget)
            if (auto* label = qobject_cast<QLabel*>(p->widget))
                strings = label->text().toInt();
    if (strings >= 1 && strings <= 32)
        scibParallelStringsBox->setValue(strings);
}

void ConfigPage::finishScibLoad()
{
    if (!scibTable)
        return;
    scibDiscoveryDone = false;
    scibDiscoverButton->setEnabled(true);
    scibCommitButton->setEnabled(false);
    loadConfiguredScibModules();
}

void ConfigPage::resetScibTab()
{
    scibDiscoveryDone = false;
    if (scibDiscoverButton)
        scibDiscoverButton->setEnabled(false);
    if (scibCommitButton)
        scibCommitButton->setEnabled(false);
}
