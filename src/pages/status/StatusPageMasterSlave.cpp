#include "StatusPage.h"

#include "MainWindowServices.h"
#include "SignalWindowTab.h"
#include "Y5ProtocolHandler.h"

#include <QAbstractItemView>
#include <QFont>
#include <QFontMetrics>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QTableWidget>
#include <QVBoxLayout>

using namespace StatusLogic;

namespace {

struct Column
{
    const char* heading;
    const char* hover;
};

const Column kColumns[kMasterSlaveColumns] = {
    {"Serial Number", QT_TRANSLATE_NOOP("StatusPage", "Serial Number of BMS")},
    {"Status", QT_TRANSLATE_NOOP("StatusPage", "Status of BMS: Master or Slave")},
    {"CAN ID Base", QT_TRANSLATE_NOOP("StatusPage", "BMS ID Base")},
    {"String", QT_TRANSLATE_NOOP("StatusPage", "BMS String number")},
    {"Contactor", QT_TRANSLATE_NOOP("StatusPage", "BMS Contactor status")},
    {"Total Volt", QT_TRANSLATE_NOOP("StatusPage", "Total voltage")},
    {"Min Volt", QT_TRANSLATE_NOOP("StatusPage", "Minimum cell voltage")},
    {"Max Volt", QT_TRANSLATE_NOOP("StatusPage", "Maximum cell voltage")},
    {"Avg Volt", QT_TRANSLATE_NOOP("StatusPage", "Average cell voltage")},
    {"Min Temp", QT_TRANSLATE_NOOP("StatusPage", "Minimum cell temperature")},
    {"Max Temp", QT_TRANSLATE_NOOP("StatusPage", "Maximum cell temperature")},
    {"Avg Temp", QT_TRANSLATE_NOOP("StatusPage", "Average cell temperature")},
    {"Min Bal", QT_TRANSLATE_NOOP("StatusPage", "Minimum cell balancing rate")},
    {"Max Bal", QT_TRANSLATE_NOOP("StatusPage", "Maximum cell balancing rate")},
    {"Avg Bal", QT_TRANSLATE_NOOP("StatusPage", "Average cell balancing rate")},
    {"Min Ext Temp", QT_TRANSLATE_NOOP("StatusPage", "Minimum external cell temperature")},
    {"Max Ext Temp", QT_TRANSLATE_NOOP("StatusPage", "Maximum external cell temperature")},
    {"Avg Ext Temp", QT_TRANSLATE_NOOP("StatusPage", "Average external cell temperature")},
    {"Min Bal Curr", QT_TRANSLATE_NOOP("StatusPage", "Minimum cell balancing current")},
    {"Max Bal Curr", QT_TRANSLATE_NOOP("StatusPage", "Maximum cell balancing current")},
    {"Avg Bal Curr", QT_TRANSLATE_NOOP("StatusPage", "Average cell balancing current")},
};

} // namespace

SignalWindowTab* StatusPage::createMasterSlaveTab(QWidget* parent)
{
    auto* tab = new SignalWindowTab(parent);
    auto* layout = new QVBoxLayout;
    auto* grid = new QGridLayout;
    msSerialLabel = new QLabel;
    msStateLabel = new QLabel;
    msRoleLabel = new QLabel;
    grid->addWidget(new QLabel(tr("Splitter S/N")), 0, 0, Qt::AlignLeft);
    grid->addWidget(msSerialLabel, 0, 1, Qt::AlignLeft);
    grid->setColumnMinimumWidth(1, 20);
    grid->addWidget(new QLabel(tr(" Status:")), 0, 2, Qt::AlignLeft);
    grid->addWidget(msStateLabel, 0, 3, Qt::AlignLeft);
    grid->setColumnMinimumWidth(3, 200);
    grid->addWidget(msRoleLabel, 0, 4, Qt::AlignLeft);
    grid->setColumnMinimumWidth(4, 200);
    grid->addWidget(new QLabel, 0, 5, Qt::AlignLeft);
    grid->setColumnStretch(5, 1);
    layout->addLayout(grid);

    masterSlaveTable = new QTableWidget(kMasterSlaveRows, kMasterSlaveColumns);
    masterSlaveTable->setDragEnabled(false);
    masterSlaveTable->viewport()->setAcceptDrops(false);
    masterSlaveTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    masterSlaveTable->setSelectionMode(QAbstractItemView::SingleSelection);
    QStringList headings;
    for (const Column& c : kColumns)
        headings << QLatin1String(c.heading);
    masterSlaveTable->setHorizontalHeaderLabels(headings);
    const QFontMetrics fm{QFont()};
    for (int c = 0; c < kMasterSlaveColumns; ++c) {
        masterSlaveTable->setColumnWidth(c, fm.boundingRect(headings.at(c)).width() + 20);
        masterSlaveTable->horizontalHeader()->setSectionResizeMode(c, QHeaderView::Fixed);
    }
    for (int r = 0; r < kMasterSlaveRows; ++r) {
        for (int c = 0; c < kMasterSlaveColumns; ++c) {
            masterSlaveItems[r][c]->setText(QString());
            masterSlaveTable->setItem(r, c, masterSlaveItems[r][c]);
            masterSlaveItems[r][c]->setData(Qt::ToolTipRole, tr(kColumns[c].hover));
        }
        masterSlaveTable->hideRow(r);
    }
    layout->addWidget(masterSlaveTable);
    tab->setLayout(layout);
    msTableTicks = 0;
    msTableTimedOut = false;
    return tab;
}

void StatusPage::setMasterSlaveExtColumnsVisible(bool visible)
{
    for (int c = 20; c >= 15; --c)
        masterSlaveTable->setColumnHidden(c, !visible);
}

void StatusPage::parseMasterSlaveStatus(const QString& sentence)
{
    Y5ProtocolHandler* h = g_mainWindow ? g_mainWindow->protocolHandler() : nullptr;
    const double offset =
        msCellVoltageOffset(h ? h->versionLine() : QString(), hooks.ltoSupportEnabled && hooks.ltoSupportEnabled());
    const MasterSlaveRow row = decodeMasterSlaveRow(sentence, offset);
    if (!row.decoded)
        return;
    msTableTicks = 0;
    msTableTimedOut = false;
    if (row.full) {
        for (int c = 5; c <= 14; ++c)
            masterSlaveTable->setColumnHidden(c, false);
        for (int c = 15; c <= 20; ++c)
            masterSlaveTable->setColumnHidden(c, !masterSlaveExtColumns);
    } else {
        for (int c = 5; c <= 20; ++c)
            masterSlaveTable->setColumnHidden(c, true);
    }
    for (int r = 0; r < kMasterSlaveRows; ++r)
        masterSlaveTable->setRowHidden(r, r >= row.count);
    // A row number outside the table writes nothing.
    if (row.row < 0)
        return;
    for (int c = 0; c < row.texts.size(); ++c)
        masterSlaveItems[row.row][c]->setText(row.texts.at(c));
}

void StatusPage::parseMasterSlaveNetworkFrame(const QString& sentence)
{
    const NetworkFrame f = decodeNetworkFrame(sentence);
    if (!f.used)
        return;
    msNetworkTicks = 0;
    msNetworkTimedOut = false;
    msSerialLabel->setText(f.serial);
    if (!f.state.isNull())
        msStateLabel->setText(f.state);
    if (!f.role.isNull())
        msRoleLabel->setText(f.role);
}

void StatusPage::slotMasterSlaveTimerTimeoutEvent()
{
    const int limit = masterSlaveTickLimit(masterSlaveTimeoutBase);
    if (!msTableTimedOut && ++msTableTicks >= limit) {
        msTableTimedOut = true;
        for (auto& row : masterSlaveItems)
            for (QTableWidgetItem* item : row)
                item->setText(QString());
        for (int r = 0; r < kMasterSlaveRows; ++r)
            masterSlaveTable->hideRow(r);
    }
    if (!msNetworkTimedOut && ++msNetworkTicks >= limit) {
        msNetworkTimedOut = true;
        msSerialLabel->clear();
        msStateLabel->clear();
        msRoleLabel->clear();
    }
}
