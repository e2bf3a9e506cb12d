#pragma once

#include "CanTunnel.h"

#include <QMap>
#include <QString>
#include <QWidget>

#include <functional>
#include <memory>

class CanLinkServices;
class QPushButton;
class QTableWidget;
class QTimer;

// The window "Temperature Board Power Settings": finds the centralized
// group modules that serve temperature boards and switches their power
// function for all of them at once, module by module with the route
// protocol. Received "CN1" lines come from the configuration page's hook.
// GUI thread only.
class TempBreakOutBoardSupport : public QWidget
{
    Q_OBJECT
public:
    enum Operation { Listening = 0, Reading = 1, EnablingAll = 4, DisablingAll = 5, Idle = 6 };
    struct Board
    {
        quint16 typeId = 0;
        int powerState = -1; // -1 unknown, 0 disabled, 1 enabled
    };

    // owner: kept, not used. link: by default the main window's handler.
    explicit TempBreakOutBoardSupport(QObject* owner = nullptr, std::unique_ptr<CanLinkServices> link = nullptr);
    ~TempBreakOutBoardSupport() override;

    // Every received "CN1" line; taken only while an operation runs.
    void processSentence(const QString& line);

    // Where its frames go from now on (tests link it to an emulator).
    void setLink(std::unique_ptr<CanLinkServices> link);
    // How a button refused while another job holds the unit's configuration
    // mode is told; by default a modal box on this window.
    void setRefusalReporter(std::function<void(const QString&)> report) { m_reportRefusal = std::move(report); }

    bool isBusy() const { return m_busy; }
    int operation() const { return m_operation; }
    const QMap<quint32, Board>& boards() const { return m_boards; }
    QTableWidget* table() const { return m_table; }
    QPushButton* discoverButton() const { return m_discover; }
    QPushButton* enableButton() const { return m_enable; }
    QPushButton* disableButton() const { return m_disable; }
    static bool servesTemperatureBoards(quint16 typeId);

private slots:
    void initiateDiscoverDevices();
    void initiateEnableAllDevices();
    void initiateDisableAllDevices();

private:
    bool startOperation();
    // The 3 s without a step: the operation ends where it stands.
    void endOperation();
    // Idle again: buttons back, configuration mode given back.
    void becomeIdle();
    void step(const CanTunnelFrame& frame, bool received);
    void runSequence(const CanTunnelFrame& frame, bool received, bool switching, quint8 value);
    bool selectNextDevice();
    void refreshTable();
    void sendFrame(quint32 id, bool extended, const QByteArray& data);
    void sendRoute(const QByteArray& data) { sendFrame(0x1FFFFEE5, true, data); }
    QByteArray addressedToCurrent(quint8 code) const;
    void setButtonsEnabled(bool on);

    QObject* m_owner = nullptr;
    std::unique_ptr<CanLinkServices> m_link;
    QMap<quint32, Board> m_boards;
    int m_operation = Idle;
    int m_step = 9;
    qint64 m_currentSerial = -1;
    bool m_busy = false;
    bool m_deviceEntered = false;
    QTimer* m_timer = nullptr;
    QTableWidget* m_table = nullptr;
    QPushButton* m_discover = nullptr;
    QPushButton* m_enable = nullptr;
    QPushButton* m_disable = nullptr;
    std::function<void(const QString&)> m_reportRefusal;
};
