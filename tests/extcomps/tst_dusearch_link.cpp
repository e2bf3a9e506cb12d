// The display unit found where the system lists it, as Linux describes a
// real adapter (never "USB Serial Port") and without any setting, among other
// USB serial ports: the control unit's port, held by the tool's own link, and
// the BLE dongle are never probed.
#include "ButtonImageGallery.h"
#include "DisplayPacket.h"
#include "DisplayUnit.h"
#include "DisplayUnitSim.h"
#include "ExternalComponentsPage.h"
#include "Pty.h"
#include "SimLink.h"
#include "SystemPorts.h"
#include "usbport.h"

#include <QLabel>
#include <QTemporaryDir>
#include <QTest>


class TestDuSearchLink : public QObject
{
    Q_OBJECT
private slots:
    void cleanup() { setSystemPortLister(nullptr); }
    void findsTheUnitButNeverTheControlUnitOrTheDongle();
};

void TestDuSearchLink::findsTheUnitButNeverTheControlUnitOrTheDongle()
{
    SimLink link;
    QVERIFY(link.start(SimLink::Unlisted));
    QVERIFY(link.waitLinked());
    QTemporaryDir dir;
    Pty dongle;
    QVERIFY(dongle.open(dir.filePath("ttyDongle")));
    DisplayUnitSim unit;
    QVERIFY(unit.start(dir.filePath("ttyDisplay")));
    // The control unit's adapter first, the display unit's last.
    const QList<PortEntry> system{usbAdapter(link.portPath, "FT232R USB UART", 0x0403, 0x6001),
                                  usbAdapter(dongle.portPath(), "Low Energy Dongle", 0x2458, 0x0001),
                                  usbAdapter(unit.portPath(), "CP2102 USB to UART Bridge Controller", 0x10C4, 0xEA60)};
    setSystemPortLister([system] { return system; });
    qunsetenv(kExtraPortsVariable);

    ExternalComponentsPage page;
    page.show();
    DisplayUnit* du = page.findChild<DisplayUnit*>();
    QVERIFY(du);
    QStringList opened;
    connect(du->port(), &usbport::connStatus, this, [&](bool present) {
        if (present)
            opened << du->port()->currentPortName();
    });
    const auto pictures = page.findChildren<ClickableLabel*>();
    QVERIFY(!pictures.isEmpty());
    QTest::mouseClick(pictures.first(), Qt::LeftButton);

    QTRY_COMPARE_WITH_TIMEOUT(du->windowTitle(), QStringLiteral("BMS Display Unit - Connected"), 10000);
    QCOMPARE(du->serialNumberLabel()->text(), QStringLiteral("12345678"));
    QCOMPARE(opened, QStringList{unit.portPath()});
    QCOMPARE(unit.receivedCommands().value(0), quint8(CmdIdentify));

    // The control unit's line stayed clean: a marker arrives whole, with no
    // stray bytes before it.
    link.handler.sendSentence(QStringLiteral("VR1,"), QStringLiteral("?"));
    QVERIFY(link.sim.waitUntil(
        [](const QList<ControlUnitSim::Received>& r) { return !r.isEmpty() && r.last().sentence == "VR1,?"; }, 10000));
    for (const ControlUnitSim::Received& r : link.sim.received())
        QVERIFY2(r.good, r.raw.toHex(' ').constData());
    QCOMPARE(dongle.read(100), QByteArray());
}

QTEST_MAIN(TestDuSearchLink)
#include "tst_dusearch_link.moc"
