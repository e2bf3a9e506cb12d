// How a CAN device update ends on the Update page when the device falls
// silent halfway through its image, for each of the two update paths, from
// the "Update Firmware" button against the emulated bus.
#include "KepoBootloader.h"
#include "SdoServerSim.h"
#include "UpdatePageLinkRig.h"

#include <QLabel>

#include <memory>

namespace {
constexpr int kWaitMs = 30000;
}

class TestUpdatePageCanDevice : public QObject
{
    Q_OBJECT
private slots:
    void canDeviceFallsSilent_data();
    void canDeviceFallsSilent();
};

void TestUpdatePageCanDevice::canDeviceFallsSilent_data()
{
    QTest::addColumn<bool>("canopen");
    QTest::newRow("route frames") << false;
    QTest::newRow("CANopen") << true;
}

// The device stops answering halfway through its image: the tab ends with
// the reason, its buttons back, the window free to close and the control
// unit out of its configuration mode.
void TestUpdatePageCanDevice::canDeviceFallsSilent()
{
    QFETCH(bool, canopen);
    Rig rig;
    SdoServer server(120);
    std::unique_ptr<SdoBusSim> bus;
    UpdatePage* page = rig.page;
    if (canopen) {
        rig.routeDevice = false;
        bus.reset(new SdoBusSim(rig.link.sim, server, 0x21, 0x87654321));
        bus->setInBootloader(true);
        QVERIFY(rig.start());
        QTRY_VERIFY_WITH_TIMEOUT(rig.link.handler.isFeatureBitmapValid(), kWaitMs);
        QVERIFY(selectCanDevice(rig));
    } else {
        QVERIFY(rig.start());
        rig.list = {{7, 4242, 21}};
        QByteArray file = "$7$15\r\n";
        for (int i = 0; i < 6; ++i) {
            QByteArray record = QByteArray::fromHex("10") + char(0) + char(i * 16) + char(0) + QByteArray(16, char(i));
            quint8 sum = 0;
            for (char c : record)
                sum = quint8(sum + quint8(c));
            file += ":" + (record + char(quint8(-sum))).toHex().toUpper() + "\r\n";
        }
        file += ":00000001FF\r\n";
        rig.nextFile = rig.writeFile("device.hex", file);
        QTest::mouseClick(page->openCanFirmwareButton, Qt::LeftButton);
        page->slotCanDeviceOperationStatus(0, 0);
        page->slotCanDeviceOperationStatus(1, 0);
        QVERIFY(rig.messages.isEmpty());
        QVERIFY(page->updateFirmwareButton->isEnabled());
    }

    QTest::mouseClick(page->updateFirmwareButton, Qt::LeftButton);
    QVERIFY(page->updateRunning);
    if (canopen) {
        // Its replies reach it through the window's thread: wait with events.
        QTRY_VERIFY_WITH_TIMEOUT(server.requests().size() >= 12, kWaitMs);
        server.setSilent(true);
    } else {
        QTRY_VERIFY_WITH_TIMEOUT(rig.device.recordsStored() >= 1, kWaitMs);
        rig.device.ignoreNextRecords(1000);
    }
    QTRY_VERIFY_WITH_TIMEOUT(!page->updateRunning, kWaitMs);
    QTRY_VERIFY_WITH_TIMEOUT(page->discoverButton->isEnabled(), kWaitMs);
    QVERIFY(page->openCanFirmwareButton->isEnabled());
    QCOMPARE(page->canStatusText->text(),
             canopen ? QString("Failed to send firmware") : QString("Firmware upload packet error, retry"));
    QVERIFY(!canModuleBootloaderRunning());
    QTRY_VERIFY_WITH_TIMEOUT(!rig.link.sim.configMode(), kWaitMs);
    if (!canopen)
        QVERIFY(rig.device.recordsStored() < 6);
}

QTEST_MAIN(TestUpdatePageCanDevice)
#include "tst_updatepage_candevice.moc"
