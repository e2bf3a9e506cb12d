// The CAN Devices tab: discovery of the CAN peripherals, the mapping of the
// group modules onto cell strings and its commit, the per-module commit of
// the CGMs Map tab, and the CAN speed change.
#include "ConfigPage.h"

#include "CanDeviceCatalog.h"
#include "ConfigModeOwner.h"
#include "ConfigParam.h"
#include "CurrentSensorActions.h"
#include "GeneralTab.h"
#include "ModuleMappingTables.h"
#include "MyGroupBox.h"
#include "SignalWindowTab.h"
#include "TempBreakOutBoardSupport.h"
#include "Tip.h"
#include "canConfig.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QSpacerItem>
#include <QSpinBox>
#include <QThread>
#include <QtDebug>

namespace {

constexpr int kMaxCells = 512;
constexpr int kCurrentSensorType = 0x1009; // "Current Sensor Type"
constexpr int kIvtSensor = 2;
constexpr int kCanSpeed = 0x0C02;
constexpr int kCellCount = 0x0100;
constexpr int kCellStrings = 0x0013;

// The IVT-S sensor's own code for each of our speed codes; 0: it cannot.
constexpr int kIvtSpeeds[] = {2, 0, 4, 8, 0, 0};
// The sensor job of a speed change: stop mode, then its CAN speed.
constexpr quint8 kSensorSpeedSteps = 0x0C;

QString lineText(QWidget* w)
{
    auto* e = qobject_cast<QLineEdit*>(w);
    return e ? e->text() : QString();
}

void setLineText(QWidget* w, const QString& text)
{
    if (auto* e = qobject_cast<QLineEdit*>(w))
        e->setText(text);
}

void widenBox(QMessageBox* box)
{
    if (auto* grid = qobject_cast<QGridLayout*>(box->layout()))
        grid->addItem(new QSpacerItem(300, 0, QSizePolicy::Minimum, QSizePolicy::Expanding), grid->rowCount(), 0,
                      1, grid->columnCount());
}

} // namespace

SignalWindowTab* ConfigPage::createCanDevicesGroup(QWidget* parent)
{
    auto* tab = new SignalWindowTab(parent);
    tab->setSizePolicy(QSizePolicy::MinimumExpanding, QSizePolicy::MinimumExpanding);
    auto* grid = new QGridLayout;
    tab->setLayout(grid);
    grid->setColumnStretch(0, 1);

    discoverButton = new QPushButton(tr("Discover Devices"));
    discoverButton->setEnabled(false);
    discoverButton->setContentsMargins(0, 10, 0, 4);
    new Tip(discoverButton, tr("Discover devices on CAN bus."), 1, 200, 10000, 0);
    legacyDiscoveryBox = new QCheckBox(tr("Discover Legacy Devices"));
    legacyDiscoveryBox->setChecked(false);
    new Tip(legacyDiscoveryBox,
            tr("Also look for legacy devices (before version 2.5).<br>The discovery is then slower."), 1, 200, 10000,
            0);
    grid->addWidget(discoverButton, 0, 0);
    grid->addWidget(legacyDiscoveryBox, 0, 1, Qt::AlignLeft);

    auto* configured = new MyGroupBox(tr("Configured CAN Group Modules"));
    auto* cgrid = new QGridLayout;
    configured->setLayout(cgrid);
    cgrid->setColumnStretch(0, 1);
    auto* stringsRow = new QHBoxLayout;
    parallelStringsBox = new QSpinBox;
    parallelStringsBox->setRange(1, 32);
    parallelStringsBox->setValue(1);
    parallelStringsBox->setMaximumWidth(60);
    stringsRow->addWidget(new QLabel(tr("Number of Parallel Strings:")), 0, Qt::AlignLeft);
    stringsRow->addWidget(parallelStringsBox, 0, Qt::AlignLeft);
    cgrid->addLayout(stringsRow, 0, 0);
    configuredTable = new ConfiguredTable(this);
    cgrid->addWidget(configuredTable, 1, 0, 1, 2);
    commitButton = new QPushButton(QStringLiteral("Commit Configuration"));
    commitButton->setEnabled(false);
    commitTip = new Tip(commitButton, tr("Commit CAN Device Discovery first"), 1, 200, 10000, 0);
    cgrid->addWidget(commitButton, 2, 0, 1, 2);
    advancedButton = new QPushButton(QStringLiteral("Advanced configuration..."));
    new Tip(advancedButton, tr("Open advanced configuration"), 1, 200, 10000, 0);
    cgrid->addWidget(advancedButton, 3, 0, 1, 2);
    grid->addWidget(configured, 1, 0);

    auto* unconfigured = new MyGroupBox(tr("Unconfigured KEPO CAN Devices"));
    unconfigured->setMaximumWidth(300);
    auto* ugrid = new QGridLayout;
    unconfigured->setLayout(ugrid);
    unconfiguredTree = new UnconfiguredTree(this);
    ugrid->addWidget(unconfiguredTree, 0, 0);
    grid->addWidget(unconfigured, 1, 1);

    actionButtons << discoverButton << commitButton;
    editingActionButtons << discoverButton << commitButton;

    // Progress of the second-generation modules' enumeration and sorting
    // during a commit. Nothing stops those once started: no cancel button.
    gen2ProgressDialog = new QProgressDialog(this);
    gen2ProgressDialog->setWindowTitle(tr("Cell Group Modules"));
    gen2ProgressDialog->setCancelButton(nullptr);
    gen2ProgressDialog->setRange(0, 100);
    gen2ProgressDialog->setAutoClose(false);
    gen2ProgressDialog->setAutoReset(false);
    gen2ProgressDialog->setMinimumWidth(400);
    gen2ProgressDialog->cancel(); // hidden, and never shown by its own timer

    // Owned by the page, shown as a window of its own.
    tempBoardWindow = new TempBreakOutBoardSupport(this);
    tempBoardWindow->setParent(this, Qt::Window);
    connect(advancedButton, &QPushButton::clicked, this, [this] {
        tempBoardWindow->show();
        tempBoardWindow->raise();
        tempBoardWindow->activateWindow();
    });

    connect(discoverButton, &QPushButton::clicked, this, &ConfigPage::slotDiscoverButtonPressed);
    connect(commitButton, &QPushButton::clicked, this, &ConfigPage::slotConfigureButtonPressed);
    connect(parallelStringsBox, QOverload<int>::of(&QSpinBox::valueChanged), configuredTable,
            &ConfiguredTable::slotTableColumnCount);
    connect(configuredTable, &ConfiguredTable::sigColumnCountChanged, parallelStringsBox, &QSpinBox::setValue);
    connect(configuredTable, &ConfiguredTable::sigConfigurationChanged, this,
            &ConfigPage::slotCanDeviceConfigurationChanged);
    connect(configuredTable, &ConfiguredTable::sigDropDevice, unconfiguredTree,
            &UnconfiguredTree::slotAcceptDroppedDevice);
    connect(configuredTable, &ConfiguredTable::sigTableDropAccepted, unconfiguredTree,
            &UnconfiguredTree::slotListDropAccepted);
    connect(unconfiguredTree, &UnconfiguredTree::sigListDropAccepted, configuredTable,
            &ConfiguredTable::slotTableDropAccepted);

    // A committed new CAN1 speed moves the devices (unless the window
    // routes it elsewhere).
    if (!m_canSpeedChange)
        setCanSpeedChange([this](int code) { changeCanSpeed(uint8_t(code)); });

    // The end of every load: what was found before belongs to the old
    // reading; the table shows the unit's stored mapping.
    connect(this, &ConfigPage::sigConfigurationLoaded, this, [this] {
        clearCanDevicesSection();
        discoverButton->setEnabled(true);
        loadConfiguredCanDevices();
    });

    canDiscoveryDone = false;
    currentSensorFound = false;
    currentSensorSerials.clear();
    currentSensorTypes.clear();
    return tab;
}

bool ConfigPage::canDeviceActionAllowed()
{
    if (chargingState != 0 && configurationLoaded) {
        QMessageBox box(QMessageBox::Warning, tr("WARNING!"),
                        tr("Charging is in progress, and the action \nyou are trying to execute may cause \nundefined "
                           "behavior. Please disconnect the \ncharger before configuring any parameters."),
                        QMessageBox::Ok, this);
        box.setDefaultButton(QMessageBox::Ok);
        runModalBox(&box);
        return false;
    }
    QMessageBox box;
    box.setText(QStringLiteral("WARNING!"));
    box.setInformativeText(QStringLiteral("This action requires entering configuration mode.\nWhile in configuration "
                                          "mode, normal operation of\ncontrol unit will be stopped. Continue?"));
    box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
    box.setDefaultButton(QMessageBox::Ok);
    widenBox(&box);
    runModalBox(&box);
    return box.result() == QMessageBox::Ok;
}

void ConfigPage::passToTempBoardWindow(const QString& line)
{
    if (tempBoardWindow && tempBoardWindow->isVisible())
        tempBoardWindow->processSentence(line);
}

// Who keeps a CAN job of the page from starting: a CAN job already running,
// or another service holding the unit's configuration mode.
static ConfigModeOwner::Holder canJobBlocker()
{
    if (g_canConfig && g_canConfig->isBusy())
        return ConfigModeOwner::CanJobs;
    return ConfigModeOwner::heldAgainst(ConfigModeOwner::CanJobs);
}

bool ConfigPage::refuseWhileCanJobRuns()
{
    const ConfigModeOwner::Holder blocker = canJobBlocker();
    if (blocker == ConfigModeOwner::Nobody)
        return false;
    QMessageBox box(QMessageBox::NoIcon, QString(), ConfigModeOwner::refusalText(blocker), QMessageBox::Ok, this);
    runModalBox(&box);
    return true;
}

void ConfigPage::setModuleCommitButtonsEnabled(bool on)
{
    for (const ModuleRecord& r : moduleRecords)
        if (r.commitButton)
            r.commitButton->setEnabled(on);
}

static void setTablesDragDrop(ConfigPage* page, bool on)
{
    if (page->configuredTable)
        page->configuredTable->setDragDropEnabled(on);
    if (page->unconfiguredTree)
        page->unconfiguredTree->setDragDropEnabled(on);
}

static void setCanButtons(ConfigPage* page, bool on)
{
    if (page->discoverButton)
        page->discoverButton->setEnabled(on);
    if (page->commitButton)
        page->commitButton->setEnabled(on);
}

static quint16 deviceBaseId(const ConfigPage* page)
{
    if (!page->deviceBaseIdEdit)
        return 0;
    QString text = page->deviceBaseIdEdit->text();
    text.remove('x');
    return quint16(text.toUInt(nullptr, 16));
}

// The speed the unit itself runs its CAN1 bus at, as last read from or
// written to it; false while unknown. The box may show an edit not yet sent.
static bool unitCanSpeed(const ConfigPage* page, quint8* code)
{
    const ConfigParamSlot* slot = page->paramSlot(kCanSpeed);
    if (!slot || !slot->valid || slot->value > 5)
        return false;
    *code = quint8(slot->value);
    return true;
}

// A device commit gives the devices the unit's speed, never a guessed one.
const char* const kSpeedUnknown = "The CAN1 speed of the control unit is not known.\nLoad the configuration from the "
                                  "unit, then commit again.";

void ConfigPage::slotDiscoverButtonPressed()
{
    if (!g_canConfig || !configuredTable)
        return;
    if (refuseWhileCanJobRuns() || !canDeviceActionAllowed())
        return;
    setCursor(Qt::WaitCursor);
    const bool commitWasEnabled = commitButton->isEnabled();
    setCanButtons(this, false);
    if (!g_canConfig->startDiscovery(legacyDiscoveryBox && legacyDiscoveryBox->isChecked())) {
        // Nothing started: what the last discovery found stays, and so do
        // the controls. A job that took the bus meanwhile is named.
        unsetCursor();
        discoverButton->setEnabled(true);
        commitButton->setEnabled(commitWasEnabled);
        refuseWhileCanJobRuns();
        return;
    }
    unconfiguredTree->clearDevices();
    configuredTable->setAllCellStates(CellUnconfirmed);
    currentSensorFound = false;
    currentSensorSerials.clear();
    currentSensorTypes.clear();
}

void ConfigPage::slotConfigureButtonPressed()
{
    if (!g_canConfig || !configuredTable)
        return;
    if (refuseWhileCanJobRuns())
        return;
    quint8 speed = 0;
    if (!unitCanSpeed(this, &speed)) {
        QMessageBox box(QMessageBox::NoIcon, QString(), QString::fromLatin1(kSpeedUnknown), QMessageBox::Ok, this);
        runModalBox(&box);
        return;
    }
    if (!canDeviceActionAllowed())
        return;
    setCursor(Qt::WaitCursor);
    const int n = configuredTable->collectPlacedDevices();
    g_canConfig->clearCommitLists();
    if (currentSensorFound)
        for (int i = 0; i < currentSensorTypes.size() && i < currentSensorSerials.size(); ++i)
            g_canConfig->addCommitDevice(kCanCurrentSensorType, currentSensorSerials.at(i));
    for (int i = 0; i < n; ++i) {
        quint16 type = 0;
        quint32 serial = 0;
        if (configuredTable->placedDeviceAt(i, &type, &serial, nullptr, nullptr, nullptr, nullptr))
            g_canConfig->addCommitDevice(type, serial);
    }
    const quint16 base = deviceBaseId(this);
    for (int i = 0; i < unconfiguredTree->deviceCount(); ++i) {
        quint16 type = 0;
        quint32 serial = 0;
        if (unconfiguredTree->deviceAt(i, &type, &serial))
            g_canConfig->addUnassignedDevice(type, serial);
    }
    const bool started = g_canConfig->startCommit(base, extendedIdBox && extendedIdBox->isChecked(), speed);
    setCanButtons(this, false);
    if (!started) {
        unsetCursor();
        setCanButtons(this, true);
        refuseWhileCanJobRuns();
    }
}

void ConfigPage::slotCanDeviceOperationStatus(int status, int operation)
{
    auto failureBox = [this](const QString& text) {
        QMessageBox box(QMessageBox::NoIcon, QString(), text, QMessageBox::Ok, this);
        box.setDefaultButton(QMessageBox::Ok);
        runModalBox(&box);
    };
    auto enable = [this](bool on) {
        setCanButtons(this, on);
        setTablesDragDrop(this, on);
    };
    // A speed change that did not happen: the controls come back, the unit
    // returns to the speed before the change, and the user is told why.
    auto abandonSpeedChange = [&](const QString& text) {
        unsetCursor();
        enable(true);
        if (canSpeedBeforeChange >= 0)
            putCanSpeedBack(canSpeedBeforeChange);
        canSpeedBeforeChange = -1;
        failureBox(text);
    };
    // No per-module commit while a job holds the bus.
    if (operation <= CanOpSpeedChange && (status == CanOpStarted || status == CanOpFinished || status == CanOpFailed))
        setModuleCommitButtonsEnabled(status != CanOpStarted);
    if (status == CanOpStarted) {
        switch (operation) {
        case CanOpDiscovery:
            setCursor(Qt::WaitCursor);
            if (g_canConfig)
                g_canConfig->showDiscoveryProgress();
            if (unconfiguredTree)
                unconfiguredTree->clearDevices();
            enable(false);
            break;
        case CanOpCommit:
        case CanOpFirmwareUpdate: enable(false); break;
        case CanOpSingleModuleCommit: setCanButtons(this, false); break;
        case CanOpSpeedChange:
            setCursor(Qt::WaitCursor);
            enable(false);
            break;
        default: break;
        }
    } else if (status == CanOpFinished) {
        switch (operation) {
        case CanOpDiscovery:
            if (g_canConfig)
                g_canConfig->hideProgress();
            setCanButtons(this, true);
            showDiscoveredCanDevices();
            setTablesDragDrop(this, true);
            unsetCursor();
            break;
        case CanOpCommit:
            if (gen2ProgressDialog)
                gen2ProgressDialog->hide();
            finishCanDeviceCommit();
            setTablesDragDrop(this, true);
            unsetCursor();
            break;
        case CanOpSingleModuleCommit:
            unsetCursor();
            finishSingleModuleCommit();
            break;
        case CanOpFirmwareUpdate: enable(true); break;
        case CanOpSpeedChange:
            canSpeedBeforeChange = -1;
            enable(true);
            resetBmsAndReconnect();
            unsetCursor();
            break;
        case CanOpSensorDiscovery: unsetCursor(); break;
        case CanOpSensorConfig:
            unsetCursor();
            if (canSpeedAfterSensor >= 0) {
                const int code = canSpeedAfterSensor;
                canSpeedAfterSensor = -1;
                startDeviceSpeedChange(uint8_t(code), true);
            }
            break;
        default: break;
        }
    } else if (status == CanOpFailed) {
        switch (operation) {
        case CanOpDiscovery:
            if (g_canConfig)
                g_canConfig->hideProgress();
            failureBox(QStringLiteral("CAN Devices Discovery has failed.\nPlease retry CAN Devices Discovery."));
            enable(true);
            unsetCursor();
            break;
        case CanOpCommit:
            unsetCursor();
            if (gen2ProgressDialog)
                gen2ProgressDialog->hide();
            if (g_canConfig && g_canConfig->commitResultsValid())
                finishCanDeviceCommit(true);
            else
                failureBox(QStringLiteral(
                    "CAN Devices Configuration has failed.\nPlease retry CAN Devices Configuration."));
            enable(true);
            break;
        case CanOpSingleModuleCommit:
            unsetCursor();
            failureBox(QStringLiteral("CGM Configuration has failed.\nPlease retry."));
            setCanButtons(this, true);
            break;
        case CanOpFirmwareUpdate:
            unsetCursor();
            enable(true);
            break;
        case CanOpSensorConfig:
            // The sensor keeps its speed: so do the devices and the unit.
            if (canSpeedAfterSensor >= 0) {
                canSpeedAfterSensor = -1;
                setModuleCommitButtonsEnabled(true);
                abandonSpeedChange(QStringLiteral("The current sensor did not take the new CAN speed.\nThe CAN1 "
                                                  "speed is not changed."));
            }
            break;
        case CanOpSpeedChange:
            // The devices did not take the new speed: the unit goes back to
            // theirs rather than lose them at its next start.
            abandonSpeedChange(QStringLiteral("CAN speed change has failed.\nThe devices keep their CAN speed, "
                                              "and so does the control unit."));
            break;
        default: break;
        }
    }
}

// A module read back from the unit's mapping carries only the low 16 bits
// of its serial and no type: a discovered module matches it by those bits.
static bool findMappedModule(const ConfiguredTable* table, quint32 serial, quint8* string, quint8* position)
{
    if (table->findDevice(serial, string, position, nullptr))
        return true;
    for (int s = ConfiguredTable::kStrings - 1; s >= 0; --s) {
        for (int p = 0; p < ConfiguredTable::kPositions; ++p) {
            const ModuleCell& c = table->cell(s, p);
            if (c.occupied && c.typeId == 0 && c.serial == (serial & 0xFFFFu)) {
                *string = quint8(s);
                *position = quint8(p);
                return true;
            }
        }
    }
    return false;
}

void ConfigPage::showDiscoveredCanDevices()
{
    if (!g_canConfig || !configuredTable)
        return;
    unconfiguredTree->clearDevices();
    canDiscoveryDone = true;
    for (int i = 0; i < g_canConfig->discoverListSize() && i < 256; ++i) {
        quint16 type = 0;
        quint32 serial = 0, version = 0, base = 0;
        quint8 cells = 0;
        if (!g_canConfig->discoverListEntry(quint8(i), type, serial, version, base, cells))
            break;
        const quint16 moduleId = quint16(((base - 8u) >> 2) + 1u);
        if (canDeviceIsGroupModule(type)) {
            quint8 s = 0, p = 0;
            if (findMappedModule(configuredTable, serial, &s, &p))
                configuredTable->placeDeviceAt(type, serial, s, p, cells != 0 ? CellConfirmed : CellUnconfirmed,
                                               cells, moduleId);
            else
                unconfiguredTree->addDevice(type, serial, cells, moduleId);
        } else {
            if (type == kCanCurrentSensorType) {
                currentSensorFound = true;
                currentSensorTypes << type;
                currentSensorSerials << serial;
            }
            unconfiguredTree->addDevice(type, serial, 255, moduleId);
        }
    }
}

static QString commitFailureText(quint8 status)
{
    switch (status) {
    case CommitEnterFailed: return QStringLiteral("did not enter its configuration mode");
    case CommitBaseIdFailed: return QStringLiteral("did not take its CAN identifier");
    case CommitSecondaryIdFailed: return QStringLiteral("did not take its second CAN identifier");
    case CommitSpeedFailed: return QStringLiteral("did not take the CAN speed");
    case CommitLeaveRefused: return QStringLiteral("did not leave its configuration mode");
    default: return QStringLiteral("did not answer");
    }
}

void ConfigPage::finishCanDeviceCommit(bool failed)
{
    if (!g_canConfig || !configuredTable)
        return;
    const int n = g_canConfig->commitDeviceCount();
    unsigned k = 0;      // records written
    unsigned placed = 0; // group modules of the table, each given its ids
    quint16 total = 0;
    QStringList failures;
    // The current sensors come first in the list: every entry is read, up
    // to the 32 module records.
    for (int i = 0; i < n && i < 256 && placed < unsigned(kModuleRecords); ++i) {
        quint8 st = 0, cells = 0;
        quint32 serial = 0;
        quint16 type = 0, canId = 0;
        if (!g_canConfig->commitDeviceResult(quint8(i), st, serial, type, cells, canId))
            continue;
        if (st != CommitConfigured)
            failures << canDevicePartNumber(type) + QStringLiteral(" SN: %1 ").arg(serial) + commitFailureText(st);
        const quint16 moduleId = quint16((int(canId) - 8) / 4 + 1);
        quint8 s = 0, p = 0;
        if (!canDeviceIsGroupModule(type) || !configuredTable->findDevice(serial, &s, &p, nullptr))
            continue;
        ++placed;
        // A module that did not take its configuration gets no record and
        // adds no cells: what it has is not known.
        if (st != CommitConfigured) {
            configuredTable->setCellState(s, p, CellFailed);
            continue;
        }
        const ModuleRecord& r = moduleRecords[k];
        setLineText(r.serialEdit, QString::number(serial & 0xFFFFu));
        setLineText(r.stringEdit, QString::number(s));
        setLineText(r.cellCountEdit, QString::number(cells));
        total = quint16(total + cells);
        configuredTable->placeDeviceAt(type, serial, s, p, CellConfirmed, cells, moduleId);
        ++k;
    }
    setLineText(moduleCountEdit, QString::number(k));
    const quint8 m = quint8(placed + unsigned(g_canConfig->unassignedDeviceCount()));
    const bool tooMany = total > kMaxCells;
    // The table has already said so when it holds that total itself.
    if (!failed && tooMany && total != quint16(configuredTable->totalCellCount())) {
        QMessageBox box(QMessageBox::NoIcon, QString(),
                        QString::asprintf("Total cell count %u is greater that maximum supported number",
                                          unsigned(total)),
                        QMessageBox::Ok, this);
        runModalBox(&box);
    }
    if (!tooMany && !failed) {
        // The pack's size follows the committed mapping, not past the limit,
        // and never a partial one: after a failure the pack keeps its size.
        for (ConfigParam* p : m_params) {
            if (!p->slot || !p->widget)
                continue;
            if (p->slot->id == kCellCount)
                setLineText(p->widget, QString::number(total));
            else if (p->slot->id == kCellStrings && parallelStringsBox) {
                const QString strings = QString::number(parallelStringsBox->value());
                if (auto* label = qobject_cast<QLabel*>(p->widget))
                    label->setText(strings);
                else
                    setLineText(p->widget, strings);
            }
        }
        for (int i = 0; i < m_params.size(); ++i) {
            const ConfigParam* p = m_params.at(i);
            if (p->slot && (p->slot->id == kCellCount || p->slot->id == kCellStrings))
                slotValueChanged(i);
        }
    }
    const quint16 base = deviceBaseId(this);
    quint32 first = 0, last = 0;
    if (extendedIdBox && extendedIdBox->isChecked()) {
        first = quint32(base) * 0x10000u + 1u;
        last = quint32(base) * 0x10000u + 4u * m + 7u;
    } else {
        first = (quint32(base) + 1u) & 0x7FFu;
        last = (quint32(base) + 4u * m + 7u) & 0x7FFu;
    }
    QString text = QStringLiteral("Internal CAN devices configuration finished.\nUsed CAN Address range is from 0x")
                   + QString::asprintf("%08X", first) + QStringLiteral("\nup to 0x") + QString::asprintf("%08X", last)
                   + QStringLiteral(". If those addresses are conflicting,\nthen choose different base ID and "
                                    "reconfigure CAN Devices");
    // What did work is kept above; the box says which devices did not.
    if (failed)
        text = QStringLiteral("CAN Devices Configuration has failed.\nPlease retry CAN Devices Configuration.")
               + (failures.isEmpty() ? QString() : QStringLiteral("\n\n") + failures.join(QLatin1Char('\n')));
    QMessageBox box(QMessageBox::NoIcon, QString(), text, QMessageBox::Ok, this);
    if (failed)
        box.setDefaultButton(QMessageBox::Ok);
    runModalBox(&box);
    setCanButtons(this, true);
    commitButton->setStyleSheet(QString());
    commitTip->setText(tr("Reconfigure the devices on internal CAN bus."));
}

void ConfigPage::finishSingleModuleCommit()
{
    QMessageBox box(QMessageBox::NoIcon, QString(), QStringLiteral("CGM configuration finished.\n"), QMessageBox::Ok,
                    this);
    runModalBox(&box);
    setCanButtons(this, true);
}

void ConfigPage::slotCanDeviceConfigurationChanged()
{
    if (!configuredTable || !commitButton)
        return;
    const quint16 total = quint16(configuredTable->totalCellCount());
    if (total > kMaxCells) {
        commitButton->setEnabled(false);
        commitButton->setStyleSheet(QStringLiteral("QPushButton {background-color: red;}"));
        commitTip->setText(tr("Total cell count is greated that 512"));
        QMessageBox box(QMessageBox::NoIcon, QString(),
                        QString::asprintf("Total cell count %u is greater that maximum supported number!",
                                          unsigned(total)),
                        QMessageBox::Ok, this);
        runModalBox(&box);
    } else if (canDiscoveryDone) {
        commitButton->setEnabled(true);
        commitButton->setStyleSheet(QStringLiteral("QPushButton {background-color: yellow;}"));
        commitTip->setText(tr("Configuration changed: commit new configuration"));
    } else {
        commitButton->setEnabled(false);
        commitTip->setText(tr("Commit CAN Device Discovery first"));
    }
}

void ConfigPage::loadConfiguredCanDevices()
{
    if (!configuredTable)
        return;
    configuredTable->clearAll();
    unconfiguredTree->clearDevices();
    const unsigned count = qMin(lineText(moduleCountEdit).toUInt(nullptr, 10), unsigned(kModuleRecords));
    // Each string fills from position 0 in record order, whatever order
    // the records name the strings in: no record takes another's place.
    int nextPosition[ConfiguredTable::kStrings] = {};
    for (unsigned k = 0; k < count; ++k) {
        const ModuleRecord& r = moduleRecords[k];
        const quint32 serial = lineText(r.serialEdit).toUInt(nullptr, 10);
        const unsigned string = lineText(r.stringEdit).toUInt(nullptr, 10);
        const quint8 cells = quint8(lineText(r.cellCountEdit).toUInt(nullptr, 10));
        if (string >= unsigned(ConfiguredTable::kStrings))
            continue;
        const int position = nextPosition[string]++;
        if (configuredTable->placeDevice(int(string), position, 0, serial, cells, 0))
            configuredTable->setCellState(int(string), position, CellUnconfirmed);
    }
    configuredTable->markDuplicateDevices();
    // An unknown string count (0) leaves the placed modules where they are.
    if (parallelStringsBox && paramValue(kCellStrings) != 0)
        parallelStringsBox->setValue(int(paramValue(kCellStrings)));
}

// The devices, sensors and discovery of one unit never reach another's
// commit.
void ConfigPage::clearCanDevicesSection()
{
    canDiscoveryDone = false;
    currentSensorFound = false;
    currentSensorSerials.clear();
    currentSensorTypes.clear();
    setCanButtons(this, false);
    if (configuredTable)
        configuredTable->clearAll();
    if (unconfiguredTree)
        unconfiguredTree->clearDevices();
}

void ConfigPage::slotCanDeviceSortingRequest(uint8_t request)
{
    if (!g_canConfig)
        return;
    if (request > 1) {
        g_canConfig->setSortingAnswer(2, false);
        return;
    }
    QMessageBox box;
    box.setText(QStringLiteral("Cells sorting!"));
    box.setInformativeText(request == 0 ? QStringLiteral("There are some cells to sort.\nIt will take some time. "
                                                         "Continue?")
                                        : QStringLiteral("Sorting of cells failed.\nRetry?"));
    box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
    box.setDefaultButton(QMessageBox::Ok);
    widenBox(&box);
    runModalBox(&box);
    if (box.result() == QMessageBox::Ok)
        g_canConfig->setSortingAnswer(request, true);
    else if (box.result() == QMessageBox::Cancel)
        g_canConfig->setSortingAnswer(request, false);
    else
        g_canConfig->setSortingAnswer(2, false);
}

void ConfigPage::slotCGMGen2StatusUpdate(uint32_t operation, uint32_t stage, uint32_t done, uint32_t total)
{
    if (!gen2ProgressDialog) {
        qDebug("need to create cgm gen 2 progress bar;\n");
        return;
    }
    const int percent = total ? int(done * 100u / total) : 0;
    if (operation == 0 || operation == 1) {
        gen2ProgressDialog->setLabelText(operation == 0 ? tr("Enumerating cells") : tr("Sorting cells"));
        const uint32_t lastStage = operation == 0 ? 1 : 3;
        if (stage == 0) {
            // An enumeration starts per module: the modules before it are done.
            gen2ProgressDialog->reset();
            gen2ProgressDialog->setValue(operation == 0 && done > 0 && total ? int((done - 1) * 100u / total) : 0);
            gen2ProgressDialog->show();
        } else if (stage <= lastStage) {
            gen2ProgressDialog->setValue(percent);
        } else {
            gen2ProgressDialog->setValue(100);
            gen2ProgressDialog->hide();
        }
    } else if (g_canConfig) {
        g_canConfig->cancelGen2Operation(quint8(operation));
    }
}

void ConfigPage::slotCGMGen2StatusCancel()
{
    qDebug("cgm gen2 status cancel\n");
}

void ConfigPage::slotCommitCGMButtonPressed()
{
    const QVariant v = sender() ? sender()->property("CGMID") : QVariant();
    bool ok = false;
    const unsigned index = v.toUInt(&ok);
    if (!v.isValid() || !ok || index >= unsigned(kModuleRecords))
        return;
    qDebug() << QStringLiteral("CGM Commit Slot clicked: %1").arg(index);
    if (!g_canConfig)
        return;
    if (refuseWhileCanJobRuns())
        return;
    quint8 speed = 0;
    if (!unitCanSpeed(this, &speed)) {
        QMessageBox box(QMessageBox::NoIcon, QString(), QString::fromLatin1(kSpeedUnknown), QMessageBox::Ok, this);
        runModalBox(&box);
        return;
    }
    if (!canDeviceActionAllowed())
        return;
    setCursor(Qt::WaitCursor);
    const ModuleRecord& r = moduleRecords[index];
    const quint16 type = cgmTypeBox ? quint16(cgmTypeBox->currentData().toUInt()) : 0;
    quint32 serial = lineText(r.serialEdit).toUInt(nullptr, 10);
    // The record keeps the low 16 bits: a placed module with those bits
    // gives its whole serial.
    if (configuredTable) {
        for (int s = 0; s < ConfiguredTable::kStrings; ++s)
            for (int p = 0; p < ConfiguredTable::kPositions; ++p) {
                const ModuleCell& c = configuredTable->cell(s, p);
                if (c.occupied && c.typeId != 0 && (c.serial & 0xFFFFu) == serial)
                    serial = c.serial;
            }
    }
    const quint8 cells = quint8(lineText(r.cellCountEdit).toUInt(nullptr, 10));
    const bool started = g_canConfig->startSingleModuleCommit(quint8(index), type, serial, cells, deviceBaseId(this),
                                                              extendedIdBox && extendedIdBox->isChecked(), speed);
    setCanButtons(this, false);
    if (!started) {
        unsetCursor();
        setCanButtons(this, true);
        refuseWhileCanJobRuns();
    }
}

void ConfigPage::putCanSpeedBack(int code)
{
    if (!can1SpeedBox)
        return;
    ++m_programmaticChange;
    can1SpeedBox->setCurrentIndex(can1SpeedBox->findData(code));
    --m_programmaticChange;
    for (ConfigParam* p : qAsConst(m_params))
        if (p->slot && p->slot->id == kCanSpeed && p->widget == can1SpeedBox)
            submitParam(p);
}

void ConfigPage::changeCanSpeed(uint8_t speedCode)
{
    if (m_canSpeedWarningOpen)
        return;
    const int previous = previousCanSpeed;
    // The new speed is already in the unit: while another job holds the bus
    // (or the unit's configuration mode) the devices and the sensor cannot
    // follow, so the unit goes back to theirs.
    const ConfigModeOwner::Holder blocker = canJobBlocker();
    if (blocker != ConfigModeOwner::Nobody) {
        putCanSpeedBack(previous);
        QMessageBox box(QMessageBox::NoIcon, QString(),
                        ConfigModeOwner::holderName(blocker)
                            + QStringLiteral(" is running.\nThe CAN1 speed is not changed."),
                        QMessageBox::Ok, this);
        runModalBox(&box);
        return;
    }
    bool ivt = false;
    for (ConfigParam* p : m_params)
        if (p->slot && p->slot->id == kCurrentSensorType)
            if (auto* combo = qobject_cast<QComboBox*>(p->widget))
                ivt = combo->currentData().toInt() == kIvtSensor;
    const bool ivtRefuses = ivt && (speedCode >= 6 || kIvtSpeeds[speedCode] == 0);
    QMessageBox box;
    box.setText(QStringLiteral("WARNING!"));
    if (ivtRefuses) {
        ++m_programmaticChange;
        if (can1SpeedBox)
            can1SpeedBox->setCurrentIndex(can1SpeedBox->findData(previous));
        --m_programmaticChange;
        box.setInformativeText(QStringLiteral("This speed mode is not supported by ISAScale Isabellenhütte "
                                              "sensor.\nUse 1Mbps, 500Kbps(default) or 250Kbps."));
        box.setStandardButtons(QMessageBox::Ok);
    } else {
        box.setInformativeText(QStringLiteral("This action requires entering configuration mode.\nWhile in "
                                              "configuration mode, normal operation of\ncontrol unit will be "
                                              "stopped."));
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        box.setDefaultButton(QMessageBox::Ok);
    }
    widenBox(&box);
    m_canSpeedWarningOpen = true;
    runModalBox(&box);
    m_canSpeedWarningOpen = false;
    if (ivtRefuses || box.result() != QMessageBox::Ok) {
        // Refused or cancelled: the devices stay at their speed, and so
        // does the unit.
        putCanSpeedBack(previous);
        return;
    }
    if (!g_canConfig)
        return;
    canSpeedBeforeChange = previous;
    // The current sensor first: it is stopped and given its code of the new
    // speed; the devices follow when its job has ended (one job on the bus
    // at a time). A sensor never discovered starts nothing.
    CurrentSensorService* sensor =
        ivt && general && general->sensorActions ? general->sensorActions->service() : nullptr;
    if (sensor && !sensor->isBusy()) {
        sensor->setBitRateCode(quint8(kIvtSpeeds[speedCode]));
        sensor->startCommit(kSensorSpeedSteps);
        if (sensor->isBusy()) {
            canSpeedAfterSensor = speedCode;
            setCursor(Qt::WaitCursor);
            setCanButtons(this, false);
            setModuleCommitButtonsEnabled(false);
            return;
        }
    }
    startDeviceSpeedChange(speedCode);
}

void ConfigPage::startDeviceSpeedChange(uint8_t speedCode, bool sensorMoved)
{
    if (!g_canConfig)
        return;
    // A failure to start has already been reported (and undone) through
    // the status; a refusal (a job started meanwhile) has no status.
    if (!g_canConfig->startSpeedChange(quint8(speedCode)) && canSpeedBeforeChange >= 0) {
        const int previous = canSpeedBeforeChange;
        putCanSpeedBack(previous);
        canSpeedBeforeChange = -1;
        unsetCursor();
        setCanButtons(this, true);
        setModuleCommitButtonsEnabled(true);
        QString text = ConfigModeOwner::holderName(canJobBlocker())
                       + QStringLiteral(" is running.\nThe CAN1 speed is not changed.");
        // The sensor cannot be moved back while the bus is taken: say where
        // it is, so that the next change brings everything together.
        if (sensorMoved)
            text += QStringLiteral("\nThe current sensor already uses the new speed: set the CAN1 speed again "
                                   "when the other operation has ended.");
        QMessageBox refused(QMessageBox::NoIcon, QString(), text, QMessageBox::Ok, this);
        runModalBox(&refused);
    }
}

void ConfigPage::resetBmsAndReconnect()
{
    sendSentence(QStringLiteral("RS1,"), QString(), 20, 200);
    if (m_resetPause)
        m_resetPause(1000);
    else
        QThread::msleep(1000);
    setConnected(true);
}
