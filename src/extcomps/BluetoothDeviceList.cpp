// The list of modules the dongle's scan reports: rows that expire when a
// module is no longer seen, the table that shows them, the selection and the
// connection request.
#include "BluetoothModule.h"

#include "ButtonDelegate.h"

#include <QHeaderView>
#include <QLineEdit>
#include <QScrollBar>

namespace {

constexpr int kRowLifeMs = 1000;

const char* const kTableStyle = "QTableView { border: 1px solid lightgrey; }";
const char* const kTableAlertStyle = "QTableView { border: 2px dashed #FA8072; }";

} // namespace

void BluetoothModule::buildDeviceTable()
{
    delegate = new ButtonDelegate;
    view.setModel(&model);
    view.setItemDelegate(delegate);
    view.setObjectName(QStringLiteral("BluetoothView"));

    QHeaderView* header = view.horizontalHeader();
    header->setStretchLastSection(true);
    header->setSectionResizeMode(QHeaderView::Fixed);
    header->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view.verticalHeader()->hide();

    view.setEditTriggers(QAbstractItemView::NoEditTriggers);
    view.setSelectionMode(QAbstractItemView::SingleSelection);
    view.setDragEnabled(false);
    view.setShowGrid(false);
    view.setFocusPolicy(Qt::NoFocus);
    view.setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    view.verticalScrollBar()->setFixedWidth(8);
    view.setFixedWidth(260);
    view.setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);

    struct Column
    {
        const char* title;
        int width;
    };
    const Column columns[] = {{QT_TR_NOOP("ID"), 20}, {QT_TR_NOOP("Name"), 135}, {QT_TR_NOOP("BMS S/N"), 90}};
    model.setColumnCount(3);
    model.setSortRole(Qt::DisplayRole);
    for (int c = 0; c < 3; ++c) {
        auto* item = new QStandardItem(tr(columns[c].title));
        item->setEditable(false);
        item->setTextAlignment(Qt::AlignCenter);
        model.setHorizontalHeaderItem(c, item);
        view.setColumnWidth(c, columns[c].width);
    }

    connect(&view, &TableView::selectedRow, this, &BluetoothModule::setSelectedDevice);
}

void BluetoothModule::NewDeviceFound(BluetoothCommunicator::BTDevInfo device)
{
    if (fromStaleCommunicator() || connectButton->state == ToggleButton::on)
        return;
    addOrUpdateRow(device);
}

void BluetoothModule::addOrUpdateRow(const BluetoothCommunicator::BTDevInfo& device)
{
    if (device.name.toUtf8().size() < 4 || device.value == 0)
        return;
    const QString id = QString::number(device.index);
    const QString serial = QString::number(device.value);
    for (const auto& row : rows) {
        if (row->idItem.text() == id && row->nameItem.text() == device.name && row->serialItem.text() == serial) {
            row->expiryTimer.start(kRowLifeMs);
            return;
        }
    }
    auto row = std::make_unique<DeviceRow>();
    row->idItem.setText(id);
    row->nameItem.setText(device.name);
    row->serialItem.setText(serial);
    DeviceRow* r = row.get();
    r->expiryTimer.setSingleShot(true);
    // Queued: the decision may delete the row, timer and all, which must not
    // happen inside the timer's own signal.
    connect(&r->expiryTimer, &QTimer::timeout, this, [this, r] { rowTimerFired(r); }, Qt::QueuedConnection);
    r->expiryTimer.start(kRowLifeMs);
    rows.push_back(std::move(row));
    refreshDeviceTable();
}

void BluetoothModule::rowTimerFired(DeviceRow* row)
{
    // Gone meanwhile, or reported again since the timer fired.
    if (rowIndex(row) < 0 || row->expiryTimer.isActive())
        return;
    if (!expireRow(row))
        row->expiryTimer.start(kRowLifeMs);
}

bool BluetoothModule::expireRow(DeviceRow* row)
{
    if (connectButton->state == ToggleButton::on)
        return false;
    // The selected row itself, not any row of the same name: two modules may
    // well advertise the same default name.
    if (selected && selected == row) {
        if (communicator && communicator->isDeviceConnected())
            return false;
        selected = nullptr;
    }
    const int index = rowIndex(row);
    if (index < 0)
        return false;
    rows.erase(rows.begin() + index);
    refreshDeviceTable();
    return true;
}

int BluetoothModule::rowIndex(const DeviceRow* row) const
{
    for (size_t i = 0; i < rows.size(); ++i) {
        if (rows[i].get() == row)
            return int(i);
    }
    return -1;
}

void BluetoothModule::refreshDeviceTable()
{
    model.removeRows(0, model.rowCount());
    QFont font(QStringLiteral("Tahoma"), 8);
    font.setStyleStrategy(QFont::PreferAntialias);
    for (const auto& row : rows) {
        QList<QStandardItem*> items;
        for (const QStandardItem* source : {&row->idItem, &row->nameItem, &row->serialItem}) {
            auto* item = new QStandardItem(source->text());
            item->setFlags(Qt::ItemIsEnabled);
            item->setTextAlignment(Qt::AlignCenter);
            item->setFont(font);
            items.append(item);
        }
        model.appendRow(items);
    }
}

void BluetoothModule::clearDeviceList()
{
    rows.clear();
    selected = nullptr;
    model.removeRows(0, model.rowCount());
    update();
}

void BluetoothModule::setSelectedDevice(int row)
{
    selected = nullptr;
    if (row < 0 || row >= model.rowCount())
        return;
    const QString id = model.item(row, 0)->text();
    for (auto it = rows.rbegin(); it != rows.rend(); ++it) {
        if ((*it)->idItem.text() == id) {
            selected = it->get();
            return;
        }
    }
}

void BluetoothModule::pickRow(const QModelIndex& index)
{
    if (!index.isValid() || index.row() >= int(rows.size()))
        return;
    selected = rows[size_t(index.row())].get();
    nameEdit->setText(selected->nameItem.text());
}

int BluetoothModule::connectToRow(DeviceRow* row)
{
    if (!row)
        return -1;
    if (!communicator)
        return 1; // no transport: nothing can be started
    BluetoothCommunicator::BTDevInfo info;
    bool ok = false;
    const uint index = row->idItem.text().toUInt(&ok);
    info.index = ok && index <= 0xFF ? quint8(index) : 0;
    info.name = row->nameItem.text();
    info.value = row->serialItem.text().toUInt();
    return communicator->connectDevice(info);
}

void BluetoothModule::flashTableBorder()
{
    view.setStyleSheet(QLatin1String(kTableAlertStyle));
    QTimer::singleShot(1000, this, [this] { view.setStyleSheet(QLatin1String(kTableStyle)); });
}
