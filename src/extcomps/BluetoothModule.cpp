#include "BluetoothModule.h"

#include "ButtonDelegate.h"
#include "Log.h"
#include "Tip.h"

#include <QApplication>
#include <QDebug>
#include <QDialog>
#include <QElapsedTimer>
#include <QEvent>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QThread>

namespace {

constexpr int kPinLength = 6;
constexpr int kNameMin = 4;
constexpr int kNameMax = 20;
constexpr int kReconnectTickMs = 2500;

const char* const kPinMask = "******";
const char* const kLabelStyle = "QLabel {font-family: Ubuntu; font-size: 10pt;}";

class MessageBoxPrompts : public BluetoothPrompts
{
public:
    void warning(const QString& title, const QString& text) override
    {
        QMessageBox box(QMessageBox::Warning, title, text, QMessageBox::Ok);
        box.exec();
    }
    bool confirm(const QString& title, const QString& text) override
    {
        QMessageBox box(QMessageBox::NoIcon, title, text, QMessageBox::Ok | QMessageBox::Cancel);
        return box.exec() == QMessageBox::Ok;
    }
};

QFrame* separator()
{
    auto* line = new QFrame;
    line->setObjectName(QStringLiteral("separator"));
    line->setFrameStyle(QFrame::HLine);
    line->setLineWidth(1);
    return line;
}

QLabel* fieldLabel(const QString& text)
{
    auto* label = new QLabel(text);
    label->setFixedWidth(90);
    label->setStyleSheet(QLatin1String(kLabelStyle));
    return label;
}

// The module commands' results are not shown, but a refused one is logged.
bool logIfRefused(const char* command, int result)
{
    if (result != 0)
        logMessage(QStringLiteral("Bluetooth module %1 not sent (code %2)").arg(QLatin1String(command)).arg(result),
                   0);
    return result == 0;
}

void waitProcessing(QEventLoop::ProcessEventsFlags flags)
{
    QCoreApplication::processEvents(flags, 20);
    QThread::msleep(1);
}

} // namespace

QByteArray digitsOf(const QString& text)
{
    QByteArray digits;
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return QByteArray();
        digits.append(char(c.unicode()));
    }
    return digits;
}

BluetoothModule::BluetoothModule(QWidget* /*parent: placed by its owner*/) : QWidget(nullptr)
{
    buildUi();
    QPalette p = palette();
    p.setBrush(QPalette::All, QPalette::Window, QBrush(Qt::white, Qt::SolidPattern));
    setPalette(p);
    buildPasskeyDialog();
    installEventFilter(this);
    disableModuleSettings();
    // The check only lists the ports. It runs here: the transport's thread
    // is busy in its loop and would never take a queued call.
    connect(&dongleCheckTimer, &QTimer::timeout, this, [this] {
        if (communicator)
            communicator->CheckSerialPortConnection();
    });
    // The switch rests a second after every change.
    connect(enableSwitch, &LabelToggleSwitch::stateChanged, this, [this] {
        enableSwitch->setEnabled(false);
        QTimer::singleShot(1000, this, [this] { enableSwitch->setEnabled(true); });
    });
}

BluetoothModule::~BluetoothModule()
{
    stopReconnect();
    dongleCheckTimer.stop();
    rows.clear();
    delete passkeyDialog;
    delete lockButton;
    delete updatePinButton;
    delete showPinButton;
    delete resetButton;
    delete updateNameButton;
    delete nameEdit;
    delete pinEdit;
    delete connectButton;
    delete enableSwitch;
    view.setItemDelegate(nullptr);
    delete delegate;
}

void BluetoothModule::setPrompts(BluetoothPrompts* prompts)
{
    customPrompts = prompts;
}

BluetoothPrompts& BluetoothModule::prompts()
{
    static MessageBoxPrompts boxes;
    return customPrompts ? *customPrompts : boxes;
}

void BluetoothModule::buildUi()
{
    auto* page = new QGridLayout(this);
    page->setSpacing(10);
    page->setContentsMargins(5, 0, 0, 0);

    auto* left = new QGridLayout;
    left->setSpacing(10);
    enableSwitch = new LabelToggleSwitch(tr("Enable Bluetooth"), QFont(QStringLiteral("Ubuntu"), 10));
    connect(enableSwitch, &LabelToggleSwitch::stateChanged, this, &BluetoothModule::moduleDiscoveryStateChanged);
    left->addWidget(enableSwitch, 0, 0);
    buildDeviceTable();
    left->addWidget(&view, 1, 0);
    left->setRowStretch(1, 1);
    connectButton = new ToggleButton(tr("Connect"), tr("Disconnect"));
    connectButton->setEnabled(false);
    connect(connectButton, QOverload<ToggleButton::State>::of(&ToggleButton::clicked), this,
            &BluetoothModule::connectionRequestStateChanged);
    left->addWidget(connectButton, 2, 0);
    connect(&view, &QAbstractItemView::pressed, this, &BluetoothModule::pickRow, Qt::DirectConnection);
    connect(
        &view, &QAbstractItemView::doubleClicked, this,
        [this](const QModelIndex& index) {
            pickRow(index);
            connectionRequestStateChanged(ToggleButton::on);
        },
        Qt::DirectConnection);

    auto* box = new QGroupBox;
    box->setObjectName(QStringLiteral("not_bold"));
    auto* settings = new QGridLayout(box);
    settings->setSpacing(10);

    auto* nameGrid = new QGridLayout;
    nameGrid->setSpacing(2);
    nameGrid->setContentsMargins(0, 0, 0, 0);
    nameGrid->addWidget(fieldLabel(tr("Device name:")), 0, 0);
    nameEdit = new QLineEdit;
    nameEdit->setMaxLength(kNameMax);
    nameGrid->addWidget(nameEdit, 0, 1);
    updateNameButton = new QPushButton(tr("Update"));
    nameGrid->addWidget(updateNameButton, 1, 1, Qt::AlignTop);
    connect(nameEdit, &QLineEdit::returnPressed, this, &BluetoothModule::UpdateDeviceName);
    connect(updateNameButton, &QPushButton::released, this, &BluetoothModule::UpdateDeviceName);
    settings->addLayout(nameGrid, 0, 0);
    settings->addWidget(separator(), 1, 0);

    auto* pinGrid = new QGridLayout;
    pinGrid->setSpacing(5);
    pinGrid->setContentsMargins(0, 0, 0, 0);
    pinGrid->addWidget(fieldLabel(tr("PIN code:")), 0, 0);
    pinEdit = new QLineEdit;
    pinEdit->setMaxLength(kPinLength);
    pinEdit->setValidator(new QIntValidator(0, 999999, pinEdit));
    pinEdit->setFixedWidth(130);
    pinEdit->setEchoMode(QLineEdit::Password);
    pinGrid->addWidget(pinEdit, 0, 1, 1, 2);
    showPinButton = new QPushButton(tr("Show PIN"));
    pinGrid->addWidget(showPinButton, 1, 1, Qt::AlignTop);
    updatePinButton = new QPushButton(tr("Update"));
    pinGrid->addWidget(updatePinButton, 1, 2, Qt::AlignTop);
    connect(pinEdit, &QLineEdit::returnPressed, this, &BluetoothModule::UpdateDevicePIN);
    connect(updatePinButton, &QPushButton::released, this, &BluetoothModule::UpdateDevicePIN);
    maskPin();
    settings->addLayout(pinGrid, 2, 0);
    settings->addWidget(separator(), 3, 0);

    lockButton = new QPushButton(tr("Lock device"));
    connect(lockButton, &QPushButton::released, this, &BluetoothModule::LockDevice);
    settings->addWidget(lockButton, 4, 0);
    settings->addWidget(separator(), 5, 0);
    resetButton = new QPushButton(tr("Reset device"));
    connect(resetButton, &QPushButton::released, this, &BluetoothModule::resetModule);
    settings->addWidget(resetButton, 6, 0);

    for (QPushButton* b : {updateNameButton, showPinButton, updatePinButton, lockButton})
        b->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);

    new Tip(nameEdit,
            tr("Bluetooth module name. To change its name, text inside adjacent field must be overridden.<br>Name "
               "should consists of at least %1 and no more thant %2 symbols.")
                .arg(kNameMin)
                .arg(kNameMax),
            1, 200, 10000, 0);
    new Tip(pinEdit, tr("PIN code must be 6 digits long. Used to secure connection to Kepo BMS."), 1, 200, 10000, 0);

    connect(showPinButton, &QPushButton::pressed, this, &BluetoothModule::showDevicePin);
    connect(showPinButton, &QPushButton::released, this, &BluetoothModule::hideDevicePin);

    auto* right = new QGridLayout;
    right->addWidget(box, 0, 0);
    page->addLayout(left, 0, 0);
    page->addLayout(right, 0, 1);
    page->setColumnStretch(2, 1);
    page->setRowStretch(1, 1);

    setFixedWidth(width());
}

void BluetoothModule::buildPasskeyDialog()
{
    passkeyDialog = new QDialog(nullptr);
    passkeyDialog->setWindowTitle(QString());
    auto* grid = new QGridLayout(passkeyDialog);
    passkeyEdit = new QLineEdit;
    passkeyEdit->setMaxLength(kPinLength);
    passkeyEdit->setPlaceholderText(QStringLiteral("Enter device PIN"));
    passkeyEdit->setValidator(new QIntValidator(0, 999999, passkeyEdit));
    passkeyEdit->setEchoMode(QLineEdit::Password);
    grid->addWidget(passkeyEdit, 0, 0, 1, 2, Qt::AlignCenter);
    passkeyDialog->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    auto* ok = new QPushButton(tr("Ok"));
    auto* cancel = new QPushButton(tr("Cancel"));
    ok->setObjectName(QStringLiteral("passkeyOk"));
    cancel->setObjectName(QStringLiteral("passkeyCancel"));
    grid->addWidget(ok, 1, 0);
    grid->addWidget(cancel, 1, 1);
    connect(ok, &QPushButton::clicked, this, &BluetoothModule::passkeyOk);
    connect(cancel, &QPushButton::clicked, this, &BluetoothModule::passkeyCancel);
}

void BluetoothModule::openConfigPage()
{
    show();
    raise();
}

// ---- the transport switch

void BluetoothModule::moduleDiscoveryStateChanged(LabelToggleSwitch::SwitchState state)
{
    // A change that comes while another is handled (from events processed
    // inside it) waits its turn here; waiting on the stack below the running
    // one would never end.
    pendingSwitch.push_back(state);
    if (!switchIdle)
        return;
    switchIdle = false;
    while (!pendingSwitch.empty()) {
        const LabelToggleSwitch::SwitchState next = pendingSwitch.front();
        pendingSwitch.erase(pendingSwitch.begin());
        if (next == LabelToggleSwitch::on) {
            bool attached = true;
            if (rememberedSelection != CommunicatorSelector::Bluetooth)
                attached = attachCommunicator();
            if (attached) {
                connectButton->setEnabled(true);
            } else {
                enableSwitch->moveSlider(LabelToggleSwitch::off);
                connectButton->setEnabled(false);
            }
        } else {
            detachCommunicator();
            connectButton->setEnabled(false);
        }
    }
    switchIdle = true;
}

bool BluetoothModule::attachCommunicator()
{
    CommunicatorSelector* selector = CommunicatorSelector::instance();
    const CommunicatorSelector::Selection before = selector->currentSelection();
    if (Communicator* current = selector->communicator())
        current->resetConnection();
    selector->select(CommunicatorSelector::Bluetooth);
    auto* bt = qobject_cast<BluetoothCommunicator*>(selector->communicator());
    if (!bt || selector->currentSelection() != CommunicatorSelector::Bluetooth) {
        logMessage(QStringLiteral("The Bluetooth link is not available"), 0);
        return false;
    }
    rememberedSelection = before;
    communicator = bt;
    // Connected before the thread starts, so that nothing it reports at once
    // (a missing dongle, the first scan results) is lost.
    const auto queued = Qt::ConnectionType(Qt::QueuedConnection | Qt::UniqueConnection);
    connect(bt, &BluetoothCommunicator::NewDeviceFound, this, &BluetoothModule::NewDeviceFound, queued);
    connect(bt, &BluetoothCommunicator::DongleConnectionFailed, this, &BluetoothModule::processDongleFault, queued);
    connect(bt, &BluetoothCommunicator::Disconnected, this, &BluetoothModule::Disconnected, queued);
    connect(bt, &BluetoothCommunicator::Connected, this, &BluetoothModule::Connected, queued);
    connect(bt, &BluetoothCommunicator::passkeyRequested, this, &BluetoothModule::providePasskey, queued);
    connect(bt, &BluetoothCommunicator::incorrectPasskey, this, &BluetoothModule::passkeyRejected, queued);
    connect(bt, &BluetoothCommunicator::PasskeyReceived, this, &BluetoothModule::SetUserPasskeyFromDevice, queued);
    startSelectedThread();
    dongleCheckTimer.start(1000);
    return true;
}

void BluetoothModule::detachCommunicator()
{
    CommunicatorSelector* selector = CommunicatorSelector::instance();
    if (rememberedSelection == selector->currentSelection())
        return;
    if (connectButton->state == ToggleButton::on) {
        setConnectButton(ToggleButton::off);
        connectionRequestStateChanged(ToggleButton::off);
    }
    // The module gets a bounded while to let go; the transport's own stop
    // disconnects it in any case.
    QElapsedTimer waited;
    waited.start();
    while (communicator && communicator->isDeviceConnected() && waited.elapsed() < kDetachWaitMs)
        waitProcessing(QEventLoop::AllEvents);
    if (communicator && communicator->isDeviceConnected())
        logMessage(QStringLiteral("The Bluetooth module did not confirm the disconnection"), 0);

    clearDeviceList();
    stopReconnect();
    if (communicator)
        disconnect(communicator, nullptr, this, nullptr);
    communicator = nullptr;
    dongleCheckTimer.stop();
    disableModuleSettings();
    passkeyDialog->hide();

    selector->select(rememberedSelection);
    startSelectedThread();
}

void BluetoothModule::startSelectedThread()
{
    CommunicatorSelector* selector = CommunicatorSelector::instance();
    QThread* thread = selector->communicatorThread();
    if (!thread || thread->isRunning() || thread->isFinished())
        return;
    selector->startCommunicator();
    QElapsedTimer waited;
    waited.start();
    while (!thread->isRunning() && !thread->isFinished() && waited.elapsed() < 5000)
        QThread::usleep(100);
}

bool BluetoothModule::fromStaleCommunicator() const
{
    QObject* s = sender();
    return s && qobject_cast<BluetoothCommunicator*>(s) && s != communicator;
}

// ---- connection

void BluetoothModule::setConnectButton(ToggleButton::State state)
{
    connectButton->state = state;
    connectButton->setText(state == ToggleButton::on ? connectButton->onText : connectButton->offText);
}

void BluetoothModule::connectionRequestStateChanged(ToggleButton::State state)
{
    if (state == ToggleButton::on) {
        if (!selected) {
            setConnectButton(ToggleButton::off);
            if (enableSwitch->state() == LabelToggleSwitch::on)
                flashTableBorder();
            return;
        }
        if (connectToRow(selected) != 0)
            setConnectButton(ToggleButton::off);
        return;
    }
    selected = nullptr;
    if (communicator)
        communicator->disconnectDevice();
    Disconnected();
}

void BluetoothModule::Connected()
{
    if (fromStaleCommunicator())
        return;
    if (reportIfLocked()) {
        disableModuleSettings();
        showPinButton->setEnabled(true);
    } else {
        enableModuleSettings();
    }
    setConnectButton(ToggleButton::on);
    view.setEnabled(false);
}

void BluetoothModule::Disconnected()
{
    if (fromStaleCommunicator())
        return;
    clearFields();
    disableModuleSettings();
    setConnectButton(ToggleButton::off);
    view.setEnabled(true);
}

bool BluetoothModule::reportIfLocked()
{
    if (communicator && !communicator->isModuleBusy())
        return false;
    prompts().warning(tr("Device security"), tr("Device is currently locked.\nAll configurations are disabled.\n"
                                                "Unlocking procedure can be found in the reference manual."));
    return true;
}

void BluetoothModule::disableModuleSettings()
{
    setModuleSettingsEnabled(false);
}

void BluetoothModule::enableModuleSettings()
{
    setModuleSettingsEnabled(true);
}

void BluetoothModule::setModuleSettingsEnabled(bool on)
{
    for (QWidget* w : std::initializer_list<QWidget*>{nameEdit, updateNameButton, pinEdit, lockButton, resetButton,
                                                      showPinButton, updatePinButton})
        w->setEnabled(on);
}

void BluetoothModule::clearFields()
{
    nameEdit->clear();
    pinEdit->clear();
    clearDeviceList();
}

void BluetoothModule::maskPin()
{
    pinEdit->setText(QLatin1String(kPinMask));
}

// ---- passkey and PIN

void BluetoothModule::providePasskey()
{
    if (fromStaleCommunicator())
        return;
    passkeyDialog->show();
}

void BluetoothModule::passkeyRejected()
{
    if (fromStaleCommunicator())
        return;
    // The module ends this connection: a passkey typed now would go nowhere.
    // The next connection asks again.
    passkeyDialog->hide();
    passkeyEdit->clear();
    prompts().warning(QStringLiteral("Bluetooth module passkey"),
                      tr("The passkey was wrong. Connect again to enter it."));
}

void BluetoothModule::passkeyOk()
{
    const QByteArray digits = digitsOf(passkeyEdit->text());
    if (digits.size() == kPinLength) {
        const int rc = communicator ? communicator->enterPasskey(digits.constData()) : 1;
        passkeyDialog->hide();
        if (rc != 0)
            prompts().warning(QStringLiteral("Bluetooth module passkey"),
                              tr("The module no longer waits for a passkey. Connect again to enter it."));
    } else {
        prompts().warning(QStringLiteral("Bluetooth module passkey"),
                          tr(QStringLiteral("PIN must be %1 digits long").arg(kPinLength).toUtf8().constData()));
    }
    passkeyEdit->clear();
}

void BluetoothModule::passkeyCancel()
{
    selected = nullptr;
    if (communicator)
        communicator->disconnectDevice();
}

void BluetoothModule::SetUserPasskeyFromDevice(BluetoothCommunicator::BTDevPasskey passkey)
{
    if (fromStaleCommunicator())
        return;
    devicePin = passkey.text();
    maskPin();
}

void BluetoothModule::showDevicePin()
{
    typedPin = pinEdit->text();
    pinEdit->setEchoMode(QLineEdit::Normal);
    pinEdit->setText(devicePin);
}

void BluetoothModule::hideDevicePin()
{
    maskPin();
    pinEdit->setEchoMode(QLineEdit::Password);
    if (!typedPin.isEmpty())
        pinEdit->setText(typedPin);
}

void BluetoothModule::UpdateDevicePIN()
{
    if (reportIfLocked())
        return;
    const QString text = pinEdit->text();
    const QString title = tr("User PIN change");
    // An empty field switches the protection off: the question says so
    // rather than promise a new PIN.
    const QString question =
        text.isEmpty() ? tr("KEPO BMS Bluetooth module PIN protection will be switched off.\nPress 'Ok' to proceed.")
                       : tr("KEPO BMS Bluetooth module will be set with the provided PIN code.\nPress 'Ok' to proceed.");
    if (!prompts().confirm(title, question))
        return;
    if (text.isEmpty()) {
        if (logIfRefused("PIN protection off", communicator->setPinProtection(nullptr, false)))
            devicePin.clear();
        return;
    }
    // Six digits or nothing: the mask "******" left in the field is no PIN,
    // and must not switch the protection off.
    const QByteArray digits = digitsOf(text);
    if (digits.size() != kPinLength) {
        prompts().warning(title,
                          tr(QStringLiteral("PIN must be %1 digits long.").arg(kPinLength).toUtf8().constData()));
        return;
    }
    // The PIN shown later is the one the module took.
    if (logIfRefused("PIN", communicator->setPinProtection(digits.constData(), true)))
        devicePin = text;
}

// ---- name, lock, reset

void BluetoothModule::UpdateDeviceName()
{
    if (reportIfLocked() || !selected)
        return;
    const QString name = nameEdit->text();
    if (name.size() < kNameMin || name.size() > kNameMax)
        return;
    logIfRefused("name", communicator->setDeviceName(name));
    const QString serial = selected->serialItem.text();
    selected = nullptr;
    if (communicator->disconnectDevice() != 0)
        return;
    clearFields();
    startReconnect(serial);
}

void BluetoothModule::startReconnect(const QString& serialText)
{
    stopReconnect();
    reconnectSerial = serialText;
    reconnectTimer = new QTimer(this);
    connect(reconnectTimer, &QTimer::timeout, this, &BluetoothModule::reconnectTick);
    reconnectTimer->start(kReconnectTickMs);
}

void BluetoothModule::stopReconnect()
{
    if (!reconnectTimer)
        return;
    reconnectTimer->stop();
    reconnectTimer->deleteLater();
    reconnectTimer = nullptr;
}

void BluetoothModule::reconnectTick()
{
    if (!communicator) {
        stopReconnect();
        return;
    }
    if (rows.empty())
        return;
    if (rows.front()->serialItem.text() == reconnectSerial)
        selected = rows.front().get();
    if (connectToRow(selected) == 0)
        nameEdit->setText(selected->nameItem.text());
    stopReconnect();
}

void BluetoothModule::LockDevice()
{
    if (communicator)
        logIfRefused("lock", communicator->lockModule());
}

void BluetoothModule::resetModule()
{
    if (!reportIfLocked())
        logIfRefused("reset", communicator->resetModule());
}

// ---- dongle

void BluetoothModule::processDongleFault()
{
    if (fromStaleCommunicator() || dongleBoxOpen)
        return;
    if (enableSwitch->state() == LabelToggleSwitch::on) {
        enableSwitch->setState(LabelToggleSwitch::off);
        setConnectButton(ToggleButton::off);
    }
    dongleBoxOpen = true;
    prompts().warning(QStringLiteral("Failed to detect Bluetooth Dongle"),
                      tr("Check if Bluetooth Dongle is connected to USB port\nand/or its drivers are properly "
                         "installed."));
    dongleBoxOpen = false;
}

bool BluetoothModule::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == this && event->type() == QEvent::MouseButtonPress) {
        if (QWidget* focused = QApplication::focusWidget())
            focused->clearFocus();
        if (selected && nameEdit->text().isEmpty())
            nameEdit->setText(selected->nameItem.text());
    }
    return false;
}
