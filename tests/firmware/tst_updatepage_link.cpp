// The Update page over a real link: a CAN device updated by route frames from
// the "Update Firmware" button to the final status text, and the factory
// provisioning sentences as the unit receives them.
#include "RouteBootloaderSim.h"
#include "SentenceMaps.h"
#include "SimLink.h"
#include "TestServices.h"
#include "UpdatePage.h"
#include "Y5CanFwUpdater.h"

#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QtTest>

namespace {

struct Rig
{
    SimLink link;
    RouteBootloaderSim device{7, 4242};
    TestServices services;
    CSntcMap map;
    Y5CanFwUpdater updater{link.comm};
    UpdatePage* page = nullptr;
    QObject context;
    QList<UpdatePage::DiscoveredDevice> list{{7, 4242, 21}};

    Rig()
    {
        services.handler = &link.handler;
        g_mainWindow = &services;
        link.handler.setCanUpdateBusyProbe([this] { return updater.isBusy(); });
        page = new UpdatePage(&map, link.comm, nullptr, nullptr);
        page->canUpdater = &updater;
        page->discoverListSize = [this] { return list.size(); };
        page->discoverListEntry = [this](quint8 i, UpdatePage::DiscoveredDevice* d) {
            if (i >= list.size())
                return false;
            *d = list.at(i);
            return true;
        };
        page->canJobsBusy = [] { return false; };
        page->confirmConfigurationMode = [] { return true; };
        // The window's pump and its connections of the CAN update signals.
        QObject::connect(link.comm, &CommunicatorBase::sigReceivedSentence, &context, [this] {
            if (updater.isBusy())
                return;
            QString line;
            while (link.handler.getSentence(line))
                link.handler.applyReplyFlags(line);
        }, Qt::QueuedConnection);
        QObject::connect(link.comm, &CommunicatorBase::sigCanUpdateProgress, page, &UpdatePage::slotCanDevicesProgress,
                         Qt::QueuedConnection);
        QObject::connect(link.comm, &CommunicatorBase::sigCanUpdateStatus, page,
                         QOverload<int, int, QString>::of(&UpdatePage::slotCanDevicesStatusUpdate),
                         Qt::QueuedConnection);
        QObject::connect(link.comm, &CommunicatorBase::sigCanDeviceOperationStatus, page,
                         &UpdatePage::slotCanDeviceOperationStatus, Qt::QueuedConnection);
    }
    ~Rig()
    {
        device.uninstall();
        link.stop();
        delete page;
        g_mainWindow = nullptr;
        g_factoryMode = false;
    }
    bool start()
    {
        device.install(link.sim);
        if (!(link.start() && link.waitLinked()))
            return false;
        page->connectionStatusChanged(true);
        return true;
    }
};

} // namespace

class TestUpdatePageLink : public QObject
{
    Q_OBJECT
private slots:
    void routeUpdateFromTheButton();
    void factoryProvisioning();
};

void TestUpdatePageLink::routeUpdateFromTheButton()
{
    Rig rig;
    QVERIFY(rig.start());
    rig.page->canImage = ":0400000001020304F2:0400040005060708DE:00000001FF";
    rig.page->canProductCode = 7;
    rig.page->canImageLoaded = true;
    rig.page->slotCanDeviceOperationStatus(0, 0);
    rig.page->slotCanDeviceOperationStatus(1, 0);
    QVERIFY(rig.page->updateFirmwareButton->isEnabled());

    rig.page->updateFirmwareButton->click();
    QVERIFY(!rig.page->discoverButton->isEnabled());
    QVERIFY(!rig.page->openCanFirmwareButton->isEnabled());
    QTRY_COMPARE_WITH_TIMEOUT(rig.page->canStatusText->text(),
                              QString("Application CRC OK, device is working. Update was successful"), 60000);
    QTRY_VERIFY_WITH_TIMEOUT(rig.page->discoverButton->isEnabled(), 10000);
    QVERIFY(rig.page->openCanFirmwareButton->isEnabled());
    QCOMPARE(rig.device.recordsStored(), 2);
    QCOMPARE(rig.page->canProgressBar->value(), 100);
    QVERIFY(!rig.updater.isBusy());
}

void TestUpdatePageLink::factoryProvisioning()
{
    g_factoryMode = true;
    Rig rig;
    QVERIFY(rig.start());
    QVERIFY(rig.page->serialEdit);
    rig.page->serialEdit->setText("123");
    rig.page->slotSerialNumberPressed();
    QVERIFY(rig.link.sim.waitForSentence("SN1,0000007B", 5000));
    QVERIFY(rig.page->serialEdit->text().isEmpty());
    rig.page->serialEdit->setText("12a");
    rig.page->slotSerialNumberPressed();
    rig.page->customerEdit->setText("x");
    rig.page->featureSetEdit->setText("2");
    rig.page->slotSetCustomerIDPressed();
    rig.page->customerEdit->setText("1");
    rig.page->slotSetCustomerIDPressed();
    QVERIFY(rig.link.sim.waitForSentence("CI1,00000001,00000002", 5000));
    // Neither refused text was sent.
    int sn = 0, ci = 0;
    for (const QString& s : rig.link.sim.goodSentences()) {
        sn += s.startsWith("SN1,");
        ci += s.startsWith("CI1,");
    }
    QCOMPARE(sn, 1);
    QCOMPARE(ci, 1);
}

QTEST_MAIN(TestUpdatePageLink)
#include "tst_updatepage_link.moc"
