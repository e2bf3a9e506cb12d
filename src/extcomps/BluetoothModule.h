#pragma once

#include "BluetoothCommunicator.h"
#include "CommunicatorSelector.h"
#include "LabelToggleSwitch.h"
#include "TableView.h"
#include "ToggleButton.h"

#include <QByteArray>
#include <QStandardItem>
#include <QStandardItemModel>
#include <QString>
#include <QTimer>
#include <QWidget>

#include <memory>
#include <vector>

class ButtonDelegate;
class QDialog;
class QLineEdit;
class QPushButton;

// The boxes the Bluetooth module page puts in front of the user. The page
// shows them through this interface so that a test can answer them without a
// modal box blocking it.
class BluetoothPrompts
{
public:
    virtual ~BluetoothPrompts() = default;
    // A box with an Ok button; returns when it is closed.
    virtual void warning(const QString& title, const QString& text) = 0;
    // Ok and Cancel; true for Ok.
    virtual bool confirm(const QString& title, const QString& text) = 0;
};

// One module seen by the dongle's scan. A row is known by its three texts.
struct DeviceRow
{
    QStandardItem idItem;     // scan index, decimal
    QStandardItem nameItem;   // advertised name
    QStandardItem serialItem; // the control unit's serial number, decimal
    QTimer expiryTimer;       // restarted whenever the module is reported again
};

// The digits of a text as bytes: all of its characters when each is a decimal
// digit, else nothing.
QByteArray digitsOf(const QString& text);

// The page of the control unit's Bluetooth module: switches the whole tool to
// the Bluetooth link and back, lists the modules the dongle sees, connects to
// one (answering its passkey request), and sets its name and PIN, locks it or
// resets it.
class BluetoothModule : public QWidget
{
    Q_OBJECT
public:
    explicit BluetoothModule(QWidget* parent = nullptr);
    ~BluetoothModule() override;

    // Replaces the message boxes (tests); null restores the real ones. The
    // page does not own it.
    void setPrompts(BluetoothPrompts* prompts);

    // How long turning Bluetooth off waits for the module to let go.
    static constexpr int kDetachWaitMs = 5000;

public slots:
    void openConfigPage();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private slots:
    void NewDeviceFound(BluetoothCommunicator::BTDevInfo device);
    void UpdateDeviceName();
    void UpdateDevicePIN();
    void Connected();
    void Disconnected();
    void LockDevice();
    void SetUserPasskeyFromDevice(BluetoothCommunicator::BTDevPasskey passkey);
    void setSelectedDevice(int row);
    void processDongleFault();
    void providePasskey();
    void passkeyRejected();
    void connectionRequestStateChanged(ToggleButton::State state);
    void moduleDiscoveryStateChanged(LabelToggleSwitch::SwitchState state);

private:
    friend class TestBtDeviceList;
    friend class TestBtModule;

    void buildUi();
    void buildDeviceTable();
    void buildPasskeyDialog();
    bool attachCommunicator();
    void detachCommunicator();
    void startSelectedThread();
    // True for a signal of a transport that is no longer attached.
    bool fromStaleCommunicator() const;

    // The device list.
    void addOrUpdateRow(const BluetoothCommunicator::BTDevInfo& device);
    void rowTimerFired(DeviceRow* row);
    bool expireRow(DeviceRow* row);
    void refreshDeviceTable();
    void clearDeviceList();
    int connectToRow(DeviceRow* row);
    int rowIndex(const DeviceRow* row) const;
    void pickRow(const QModelIndex& index);
    void flashTableBorder();

    bool reportIfLocked();
    void disableModuleSettings();
    void enableModuleSettings();
    void setModuleSettingsEnabled(bool on);
    void clearFields();
    void maskPin();
    void setConnectButton(ToggleButton::State state);
    void resetModule();
    void passkeyOk();
    void passkeyCancel();
    void showDevicePin();
    void hideDevicePin();
    void startReconnect(const QString& serialText);
    void stopReconnect();
    void reconnectTick();

    BluetoothPrompts& prompts();

    BluetoothCommunicator* communicator = nullptr;
    TableView view;
    LabelToggleSwitch* enableSwitch = nullptr;
    ToggleButton* connectButton = nullptr;
    QLineEdit* nameEdit = nullptr;
    QLineEdit* pinEdit = nullptr;
    QStandardItemModel model;
    QString devicePin;
    QString typedPin;
    CommunicatorSelector::Selection rememberedSelection = CommunicatorSelector::NoSelection;
    QTimer dongleCheckTimer;
    QPushButton* lockButton = nullptr;
    QPushButton* updatePinButton = nullptr;
    QPushButton* showPinButton = nullptr;
    QPushButton* resetButton = nullptr;
    QPushButton* updateNameButton = nullptr;
    QDialog* passkeyDialog = nullptr;
    bool switchIdle = true;
    // Rows keep their address while listed, so the selection can point at one.
    std::vector<std::unique_ptr<DeviceRow>> rows;
    DeviceRow* selected = nullptr;

    QLineEdit* passkeyEdit = nullptr;
    ButtonDelegate* delegate = nullptr;
    QTimer* reconnectTimer = nullptr;
    std::vector<LabelToggleSwitch::SwitchState> pendingSwitch;
    bool dongleBoxOpen = false;
    QString reconnectSerial;
    BluetoothPrompts* customPrompts = nullptr;
};
