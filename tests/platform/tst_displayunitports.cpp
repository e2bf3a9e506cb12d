// Which ports the display unit's search may probe: USB serial adapters as
// the system lists them, never the BLE dongle, never a port another part of
// the program holds.
#include "DisplayUnitPorts.h"
#include "DonglePort.h"
#include "HeldPorts.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class TestDisplayUnitPorts : public QObject
{
    Q_OBJECT
private slots:
    void candidates_data();
    void candidates();
    void heldAndOverriddenPortsAreLeftAlone();
};

void TestDisplayUnitPorts::candidates_data()
{
    QTest::addColumn<QString>("location");
    QTest::addColumn<QString>("description");
    QTest::addColumn<int>("vendor"); // -1: no USB ids
    QTest::addColumn<int>("product");
    QTest::addColumn<bool>("candidate");
    QTest::newRow("windows adapter") << "COM7" << "USB Serial Port (COM7)" << -1 << 0 << true;
    QTest::newRow("linux adapter by ids") << "/dev/serial7" << "FT232R USB UART" << 0x0403 << 0x6001 << true;
    QTest::newRow("ttyUSB without ids") << "/dev/ttyUSB3" << "" << -1 << 0 << true;
    QTest::newRow("ttyACM without ids") << "/dev/ttyACM0" << "" << -1 << 0 << true;
    QTest::newRow("built-in uart") << "/dev/ttyS0" << "" << -1 << 0 << false;
    QTest::newRow("bluetooth link") << "/dev/rfcomm0" << "Bluetooth link" << -1 << 0 << false;
    QTest::newRow("dongle by description") << "COM9" << "Bluegiga Bluetooth Low Energy" << -1 << 0 << false;
    QTest::newRow("dongle by ids") << "/dev/ttyACM1" << "Low Energy Dongle" << 0x2458 << 0x0001 << false;
}

void TestDisplayUnitPorts::candidates()
{
    QFETCH(QString, location);
    QFETCH(QString, description);
    QFETCH(int, vendor);
    QFETCH(int, product);
    QFETCH(bool, candidate);
    qunsetenv(kDonglePortVariable);
    PortEntry e;
    e.name = e.systemLocation = location;
    e.description = description;
    e.hasIds = vendor >= 0;
    e.vendorId = quint16(qMax(vendor, 0));
    e.productId = quint16(product);
    QCOMPARE(displayUnitCandidates({e}).size(), candidate ? 1 : 0);
}

void TestDisplayUnitPorts::heldAndOverriddenPortsAreLeftAlone()
{
    QTemporaryDir dir;
    const QString a = dir.filePath("deviceA");
    const QString b = dir.filePath("deviceB");
    for (const QString& path : {a, b}) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
    }
    // The links reach each device under another name.
    const QString linkA = dir.filePath("byId-A");
    const QString linkB = dir.filePath("byId-B");
    QVERIFY(QFile::link(a, linkA));
    QVERIFY(QFile::link(b, linkB));
    auto entry = [](const QString& path) {
        PortEntry e;
        e.name = e.systemLocation = path;
        e.description = QStringLiteral("USB Serial Port");
        return e;
    };
    const QList<PortEntry> ports{entry(a), entry(b)};
    auto locations = [&ports] {
        QStringList out;
        for (const PortEntry& p : displayUnitCandidates(ports))
            out << p.systemLocation;
        return out;
    };

    // The control unit's link holds A through its link name, also while it
    // has the port closed; the display unit's own hold does not keep it out.
    {
        HeldPort controlUnit(PortHolder::ControlUnit);
        controlUnit.hold(linkA);
        QVERIFY(isSerialPortHeld(a));
        QCOMPARE(locations(), QStringList{b});
        HeldPort displayUnit(PortHolder::DisplayUnit);
        displayUnit.hold(b);
        QCOMPARE(locations(), QStringList{b});
        controlUnit.release();
        QCOMPARE(locations(), (QStringList{a, b}));
        controlUnit.hold(linkA);
    }
    // Holds end with their holders.
    QCOMPARE(locations(), (QStringList{a, b}));

    qputenv(kDonglePortVariable, QFile::encodeName(linkB));
    QCOMPARE(locations(), QStringList{a});
    qunsetenv(kDonglePortVariable);
}

QTEST_GUILESS_MAIN(TestDisplayUnitPorts)
#include "tst_displayunitports.moc"
