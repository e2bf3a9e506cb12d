// The CAN Devices tab of the main window against the emulated unit's CAN bus
// as bms-sim runs it by default: a discovery lists every device, and the
// temperature board window lists only the board.
#include "DefaultBusWindow.h"

class TstDefaultBusWindow : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { port_ = prepareBenchPort(dir_); }
    void everyDeviceFound();

private:
    QTemporaryDir dir_;
    QString port_;
};

void TstDefaultBusWindow::everyDeviceFound()
{
    const QStringList boards{"50001 Disabled"};
    discoverOnBus(port_, {},
                  firstGenerationRows() + QStringList{"MWB340 30001 16 4", "HTP230 40001  5", "HXTM641 50001 0 6"},
                  &boards);
}

QTEST_MAIN(TstDefaultBusWindow)
#include "tst_defaultbus_window.moc"
