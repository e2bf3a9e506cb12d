#include "PortList.h"

#include <QTest>

class TstPortList : public QObject
{
    Q_OBJECT

private slots:
    void extraPortsFollowTheSystemList()
    {
        qputenv(kExtraPortsVariable, "/tmp/x-1/ttyBMS0::/dev/pts/7");
        const auto ports = availableSerialPorts();
        QVERIFY(ports.size() >= 2);
        const PortEntry& a = ports.at(ports.size() - 2);
        const PortEntry& b = ports.last();
        QCOMPARE(a.systemLocation, QString("/tmp/x-1/ttyBMS0"));
        QCOMPARE(a.description, QString("USB Serial Port"));
        QCOMPARE(b.name, QString("/dev/pts/7"));
        QCOMPARE(portEntryText(a), QString("/tmp/x-1/ttyBMS0 - USB Serial Port"));
        QCOMPARE(portNameFromEntry(portEntryText(a)), QString("/tmp/x-1/ttyBMS0"));
        QCOMPARE(portSystemLocation(b.name), QString("/dev/pts/7"));
        qunsetenv(kExtraPortsVariable);
    }

    void entryNames_data()
    {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QString>("name");
        QTest::newRow("usb") << "ttyUSB0 - USB Serial Port" << "ttyUSB0";
        QTest::newRow("dash in path") << "/tmp/my-dev/tty-1 - USB Serial Port" << "/tmp/my-dev/tty-1";
        QTest::newRow("dash in description") << "ttyS0 - Serial-Port - x" << "ttyS0";
        QTest::newRow("bare name") << "ttyACM0" << "ttyACM0";
        QTest::newRow("empty") << "" << "";
        QTest::newRow("only description") << " - USB Serial Port" << "";
    }
    void entryNames()
    {
        QFETCH(QString, entry);
        QFETCH(QString, name);
        QCOMPARE(portNameFromEntry(entry), name);
    }

    void autoConnectCandidates_data()
    {
        QTest::addColumn<QString>("location");
        QTest::addColumn<QString>("description");
        QTest::addColumn<bool>("candidate");
        QTest::newRow("usb serial description") << "/dev/ttyS4" << "USB Serial Port" << true;
        QTest::newRow("case matters") << "/dev/ttyS4" << "usb serial port" << false;
        QTest::newRow("bluetooth link") << "/dev/rfcomm0" << "Bluetooth link" << false;
        QTest::newRow("ttyUSB") << "/dev/ttyUSB0" << "FT232R" << true;
        QTest::newRow("ttyACM") << "/dev/ttyACM3" << "" << true;
        QTest::newRow("plain uart") << "/dev/ttyS0" << "" << false;
    }
    void autoConnectCandidates()
    {
        QFETCH(QString, location);
        QFETCH(QString, description);
        QFETCH(bool, candidate);
        PortEntry e;
        e.systemLocation = location;
        e.description = description;
        QCOMPARE(isAutoConnectCandidate(e), candidate);
    }
};

QTEST_GUILESS_MAIN(TstPortList)
#include "tst_portlist.moc"
