// The display unit's port finder over emulated adapters on ptys, with the
// system's port list stood in for by the test.

#include "DisplayUnitSim.h"
#include "SystemPorts.h"
#include "usbport.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

class TestDuPort : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void idlePort();
    void opensAUsbSerialPortAsTheSystemDescribesIt();
    void rejectedPortsAreTriedAgainAfterAFruitlessScan();
    void lossIsNoticedAndTheScanResumes();

private:
    DisplayUnitSim* addUnit();
    PortEntry entry(const DisplayUnitSim* unit, const QString& description) const;

    std::unique_ptr<QTemporaryDir> dir;
    QList<std::shared_ptr<DisplayUnitSim>> units;
    int serialNo = 0;
};

void TestDuPort::init()
{
    dir.reset(new QTemporaryDir);
    QVERIFY(dir->isValid());
    // Only the ports a test lists: none of the machine's own.
    setSystemPortLister([] { return QList<PortEntry>(); });
}

void TestDuPort::cleanup()
{
    setSystemPortLister(nullptr);
    units.clear();
    dir.reset();
}

DisplayUnitSim* TestDuPort::addUnit()
{
    auto unit = std::make_shared<DisplayUnitSim>();
    const QString link = dir->filePath(QStringLiteral("dp%1-%2").arg(QCoreApplication::applicationPid()).arg(++serialNo));
    if (!unit->start(link))
        return nullptr;
    units << unit;
    return unit.get();
}

PortEntry TestDuPort::entry(const DisplayUnitSim* unit, const QString& description) const
{
    PortEntry e;
    e.name = e.systemLocation = unit->portPath();
    e.description = description;
    return e;
}


void TestDuPort::idlePort()
{
    usbport port;
    port.stop(); // never started: nothing happens
    QVERIFY(!port.isPortPresent());
    QVERIFY(!port.isConnected());
    QCOMPARE(port.write("x", 1), qint64(-1));
    port.start();
    QVERIFY(!port.isScanning());
    QVERIFY(!port.isWatching());
    QVERIFY(!port.openPort(dir->filePath(QStringLiteral("no-such-port"))));
    QVERIFY(port.currentPortName().isEmpty());
}

void TestDuPort::opensAUsbSerialPortAsTheSystemDescribesIt()
{
    DisplayUnitSim* dongle = addUnit();
    DisplayUnitSim* unit = addUnit();
    QVERIFY(dongle && unit);
    // Neither is described "USB Serial Port"; the first is the BLE dongle.
    const QList<PortEntry> ports{usbAdapter(dongle->portPath(), "Low Energy Dongle", 0x2458, 0x0001),
                                 usbAdapter(unit->portPath(), "FT232R USB UART", 0x0403, 0x6001)};
    setSystemPortLister([ports] { return ports; });
    usbport port;
    QSignalSpy status(&port, &usbport::connStatus);
    port.start();
    port.startScan();
    QTRY_COMPARE_WITH_TIMEOUT(status.size(), 1, 10000);
    QCOMPARE(status.first().first().toBool(), true);
    QCOMPARE(port.currentPortName(), unit->portPath());
    QVERIFY(port.isConnected());
    QVERIFY(port.isWatching());
    // While the port is there the rescan tick leaves it alone.
    QTest::qWait(3 * usbport::kRescanMs);
    QCOMPARE(status.size(), 1);
    // A failed open has closed the previous port: nothing may claim it is open.
    port.stopScan();
    QVERIFY(!port.openPort(dir->filePath(QStringLiteral("no-such-port"))));
    QVERIFY(port.currentPortName().isEmpty());
    QVERIFY(!port.isConnected());
    QVERIFY(!port.isWatching());
}

void TestDuPort::rejectedPortsAreTriedAgainAfterAFruitlessScan()
{
    DisplayUnitSim* first = addUnit();
    DisplayUnitSim* second = addUnit();
    QVERIFY(first && second);
    const QList<PortEntry> ports{entry(first, QStringLiteral("USB Serial Port")),
                                 entry(second, QStringLiteral("USB Serial Port"))};
    setSystemPortLister([ports] { return ports; });
    usbport port;
    QStringList opened;
    connect(&port, &usbport::connStatus, &port, [&](bool present) {
        if (present)
            opened << port.currentPortName();
    });
    port.start();
    port.startScan();
    QTRY_COMPARE_WITH_TIMEOUT(opened.size(), 1, 10000);
    port.rejectCurrentPort();
    QTRY_COMPARE_WITH_TIMEOUT(opened.size(), 2, 10000);
    port.rejectCurrentPort();
    QCOMPARE(port.triedPortNames(), (QList<QString>{first->portPath(), second->portPath()}));
    // A scan that finds nothing untried empties the list; the next opens the
    // first port again.
    QTRY_COMPARE_WITH_TIMEOUT(opened.size(), 3, 10000);
    QCOMPARE(opened, (QStringList{first->portPath(), second->portPath(), first->portPath()}));
}

void TestDuPort::lossIsNoticedAndTheScanResumes()
{
    DisplayUnitSim* unit = addUnit();
    QVERIFY(unit);
    qputenv(kExtraPortsVariable, unit->portPath().toLocal8Bit());
    usbport port;
    QSignalSpy status(&port, &usbport::connStatus);
    QSignalSpy data(&port, &usbport::dataReceived);
    port.start();
    port.startScan();
    QTRY_COMPARE_WITH_TIMEOUT(status.size(), 1, 10000);
    port.stopScan();
    unit->sendPacket(0xD0);
    QTRY_VERIFY_WITH_TIMEOUT(!data.isEmpty(), 10000);

    unit->vanish();
    QTRY_COMPARE_WITH_TIMEOUT(status.size(), 2, 10000);
    QCOMPARE(status.last().first().toBool(), false);
    QVERIFY(!port.isWatching());
    QVERIFY(port.isScanning());
    QVERIFY(unit->reappear());
    QTRY_COMPARE_WITH_TIMEOUT(status.size(), 3, 10000);
    QCOMPARE(status.last().first().toBool(), true);
    port.stop();
    QVERIFY(!port.isScanning());
    QVERIFY(port.currentPortName().isEmpty());
    qputenv(kExtraPortsVariable, QByteArray());
}

QTEST_GUILESS_MAIN(TestDuPort)
#include "tst_duport.moc"
