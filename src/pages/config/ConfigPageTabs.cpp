// The tab list and the "Management" tab.
#include "ConfigPage.h"

#include "MyGroupBox.h"
#include "SignalWindowTab.h"
#include "Tip.h"
#include "WidgetFold.h"
#include "myTabWidget.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QShortcut>
#include <QTabBar>
#include <QVBoxLayout>

bool ConfigPage::buildParameterTabs = true;

void ConfigPage::buildTabs(QWidget* parent)
{
    QList<QWidget*> pages;
    QStringList titles;
    auto add = [&](QWidget* page, const QString& title) {
        pages << page;
        titles << title;
    };
    if (!buildParameterTabs) {
        add(createManagementGroups(parent), tr("Management"));
        for (const char* title : {"General", "CAN", "Charging", "SOC / SOH", "Protections", "Warnings", "Reductions",
                                  "Controls", "I/O Pins", "CGMs Map", "CAN Devices", "Toshiba SCiB", "Master/Slave"}) {
            auto* empty = new SignalWindowTab(parent);
            new QVBoxLayout(empty);
            add(empty, tr(title));
        }
        canDevicesTab = pages.at(11);
        scibTab = pages.at(12);
        masterSlaveTab = pages.at(13);
    } else {
        // The builders declare the parameters: this order is the order of every
        // pass over them (loading included).
        add(createManagementGroups(parent), tr("Management"));
        add(createGeneralTab(parent), tr("General"));
        add(createCanTab(parent), tr("CAN"));
        add(createChargingTab(parent), tr("Charging"));
        add(createSocSohTab(parent), tr("SOC / SOH"));
        add(createProtectionsTab(parent), tr("Protections"));
        add(createWarningsTab(parent), tr("Warnings"));
        add(createReductionsTab(parent), tr("Reductions"));
        add(createControlsTab(parent), tr("Controls"));
        add(createIoPinsTab(parent), tr("I/O Pins"));
        createCgmMappingParams();
        add(createCgmsMapTab(parent), tr("CGMs Map"));
        canDevicesTab = createCanDevicesGroup(parent);
        add(canDevicesTab, tr("CAN Devices"));
        scibTab = createScibTab(parent);
        add(scibTab, tr("Toshiba SCiB"));
        masterSlaveTab = createMasterSlaveTab(parent);
        add(masterSlaveTab, tr("Master/Slave"));
        fitEditorsToTheirRanges();
    }

    // Ctrl+0 .. Ctrl+9; the tabs from 10 on have no key.
    QList<QShortcut*> shortcuts;
    for (int i = 0; i < pages.size(); ++i) {
        const QKeySequence key = i < 10 ? QKeySequence(QStringLiteral("Ctrl+%1").arg(i)) : QKeySequence();
        auto* shortcut = new QShortcut(key, this);
        shortcut->setContext(Qt::WindowShortcut);
        shortcuts << shortcut;
    }

    tabWidget = new myTabWidget(pages, titles, &shortcuts, this);
    tabWidget->setFocusPolicy(Qt::WheelFocus);
    tabWidget->setTabShape(QTabWidget::Rounded);
    tabWidget->setElideMode(Qt::ElideNone);
    tabWidget->setMinimumWidth(40);
    tabWidget->tabBar()->setAutoFillBackground(true);
    tabWidget->setUsesScrollButtons(true);
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(tabWidget);
}

SignalWindowTab* ConfigPage::createManagementGroups(QWidget* parent)
{
    auto* tab = new SignalWindowTab(parent);
    auto* outer = new QGridLayout(tab);
    outer->addWidget(new QLabel, 0, 3, Qt::AlignLeft);
    outer->setColumnStretch(3, 100);

    auto button = [this](QGridLayout* grid, const QString& text, int row, int column, int rowSpan, int columnSpan,
                         const QString& tip, void (ConfigPage::*slot)()) {
        auto* b = new QPushButton(text);
        grid->addWidget(b, row, column, rowSpan, columnSpan);
        Tip* t = tip.isEmpty() ? nullptr : new Tip(b, tip, 1, 200, 10000, 0);
        if (slot)
            connect(b, &QPushButton::clicked, this, slot);
        return std::make_pair(b, t);
    };
    auto group = [&](const QString& title, int row) {
        auto* box = new MyGroupBox(title);
        auto* grid = new QGridLayout(box);
        outer->addWidget(new WidgetFold(box), row, 0, 1, 3);
        return grid;
    };

    QGridLayout* security = group(tr("Security"), 0);
    auto login = button(security, tr("Login..."), 0, 0, 1, 1,
                        tr("Login with password to enable configuration parameters change."),
                        &ConfigPage::slotLoginPressed);
    loginButton = login.first;
    loginTip = login.second;
    logoutButton = button(security, tr("Logout"), 1, 0, 1, 2, QString(), &ConfigPage::slotLogoutPressed).first;
    setPasswordButton = button(security, tr("Set password..."), 0, 1, 1, 1,
                               tr("Sets the configuration protection password. Must be logged in first.<br>Password "
                                  "must be from 4 to 8 characters long.<br>Enter empty password to disable it."),
                               &ConfigPage::slotSetPasswordPressed).first;

    QGridLayout* configuration = group(tr("Configuration"), 1);
    saveButton = button(configuration, tr("Save..."), 0, 0, 1, 1, tr("Saves the active configuration to local file."),
                        &ConfigPage::slotSaveConfigPressed).first;
    loadButton = button(configuration, tr("Load..."), 0, 1, 1, 1,
                        tr("Loads the active configuration to local file."), &ConfigPage::slotLoadConfigPressed).first;
    defaultsButton = button(configuration, tr("Defaults..."), 0, 2, 1, 1,
                            tr("Restores factory default configuration of BMS."), &ConfigPage::slotRestoreDefaultsPressed).first;
    resetButton = button(configuration, tr("Reset BMS"), 2, 0, 1, 3, tr("Resets the BMS Control Unit."), &ConfigPage::slotResetBMSPressed).first;
    maintenanceButton = button(configuration, tr("Enter Maintenance Mode"), 3, 0, 1, 3,
                               tr("Enter Maintenance Mode of BMS Control Unit."), &ConfigPage::slotEnterBMSMaintenancePressed).first;
    disableChargingButton = button(configuration, tr("Disable Charging"), 4, 0, 1, 3,
                                   tr("Disable charging of BMS. Reset BMS to enable it again"), &ConfigPage::slotDisableChargingPressed).first;

    // Both change the unit: the same rights as the tabs' device actions.
    // Maintenance mode and charging disable stay available.
    actionButtons << defaultsButton << resetButton;

    outer->addWidget(new QLabel, 5, 0);
    outer->setRowStretch(5, 1);
    return tab;
}
