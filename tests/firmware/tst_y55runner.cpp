// The "BMS3" seam of the serial update: the installed runner drives the
// CANopen download against the bootloader emulator on a pty, from a thread
// of its own as the serial updater does.
#include "Communicator.h"
#include "SdoServerSim.h"
#include "SerialBootloaderSetup.h"
#include "Y5FwUpdater.h"

#include <QTest>
#include <QThread>

#include <atomic>

class TestY55Runner : public QObject
{
    Q_OBJECT
private slots:
    void downloadsThroughInstalledRunner_data();
    void downloadsThroughInstalledRunner();
};

void TestY55Runner::downloadsThroughInstalledRunner_data()
{
    QTest::addColumn<int>("flashError");
    QTest::addColumn<bool>("result");
    QTest::newRow("written") << 0 << true;
    QTest::newRow("flash error") << 5 << false;
}

void TestY55Runner::downloadsThroughInstalledRunner()
{
    QFETCH(int, flashError);
    QFETCH(bool, result);
    SdoServer server{1};
    server.setFlashErrorCode(flashError);
    SdoSerialSim sim{server};
    QVERIFY(sim.start());
    Communicator comm;
    comm.setPortName(sim.portPath());
    QVERIFY(comm.open());
    comm.configurePort();
    comm.setFlowControl(SerialPort::NoFlowControl);
    comm.setTimeout(20);

    installY55SerialBootloader();
    QByteArray image;
    for (int i = 0; i < 300; ++i)
        image.append(char(i * 13 + 1));
    std::atomic<int> outcome{-1};
    QThread* worker = QThread::create([&] { outcome = runSerialBootloader(&comm, image) ? 1 : 0; });
    worker->start();
    QVERIFY(worker->wait(60000));
    delete worker;
    QCOMPARE(outcome.load(), result ? 1 : 0);
    if (result)
        QCOMPARE(server.programData(), image);
    comm.close();
    setSerialBootloaderRunner(nullptr);
}

QTEST_MAIN(TestY55Runner)
#include "tst_y55runner.moc"
