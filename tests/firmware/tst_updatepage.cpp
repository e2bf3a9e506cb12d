// The Update page's two tabs without a link: the CAN device list, the
// matching of devices and images, the start of a CAN update, the status
// texts, and the control unit's gates and progress.
#include "Communicator.h"
#include "HeldBox.h"
#include "SentenceMaps.h"
#include "TestServices.h"
#include "UpdatePage.h"
#include "Y5CanFwUpdater.h"
#include "Y5ProtocolHandler.h"
#include "Param.h"
#include "myTabWidget.h"

#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QTest>
#include <QTreeWidget>

namespace {

// Two whole legacy frames.
const QByteArray kFrames("\x00\x01\xAA\x00\x02\xBB\xCC", 7);

struct VersionHandler : Y5ProtocolHandler
{
    using Y5ProtocolHandler::Y5ProtocolHandler;
    void setVersion(const QString& version, const QString& kind = QStringLiteral("BMS2"))
    {
        setVersionFields("VR1," + kind + ",0001E240," + version, kind, "0001E240", version);
    }
};

struct Rig
{
    Communicator comm;
    VersionHandler handler{&comm};
    TestServices services;
    CSntcMap map;
    Y5CanFwUpdater canUpdater{&comm};
    UpdatePage page{&map, &comm, nullptr, nullptr};
    QList<UpdatePage::DiscoveredDevice> list;
    bool busy = false;
    int discoveries = 0;
    bool confirm = true;
    QStringList messages;
    QStringList notices;
    struct ModuleStart
    {
        int type;
        quint32 serial;
        QByteArray image;
    };
    QList<ModuleStart> moduleStarts;
    bool saved = false;
    bool saveResult = true;

    Rig()
    {
        services.handler = &handler;
        g_mainWindow = &services;
        // No unit answers the login after a factory reset: give up at once.
        Y5Timing t;
        t.authFirstSleepMs = 1;
        t.authLongPolls = 1;
        t.authLongPollMs = 1;
        handler.setTiming(t);
        page.canUpdater = &canUpdater;
        page.discoverListSize = [this] { return list.size(); };
        page.discoverListEntry = [this](quint8 i, UpdatePage::DiscoveredDevice* d) {
            if (i >= list.size())
                return false;
            *d = list.at(i);
            return true;
        };
        page.canJobsBusy = [this] { return busy; };
        page.canJobsPresent = [] { return true; };
        page.startCanDiscovery = [this] { ++discoveries; };
        page.confirmConfigurationMode = [this] {
            testkit::holdLikeABox();
            return confirm;
        };
        page.showMessage = [this](QWidget*, const QString& t) {
            testkit::holdLikeABox();
            messages << t;
        };
        page.showNotice = [this](const QString&, const QString& t) {
            testkit::holdLikeABox();
            notices << t;
        };
        page.startModuleBootloader = [this](Communicator*, int t, quint32 s, const QByteArray& img) {
            moduleStarts.append({t, s, img});
        };
        page.saveConfiguration = [this] {
            saved = true;
            return saveResult;
        };
        page.exportStatistics = [] { return true; };
        page.configurationRead = [] { return true; };
        page.factoryResetWaitSteps = 1;
    }
    ~Rig() { g_mainWindow = nullptr; }

    // A finished discovery of the devices in list.
    void discovered()
    {
        page.slotCanDeviceOperationStatus(0, 0);
        page.slotCanDeviceOperationStatus(1, 0);
    }
    void loadImage(quint16 code)
    {
        page.canImage = ":0400000001020304F2:00000001FF";
        page.canProductCode = code;
        page.canImageLoaded = true;
    }
    void click(int row)
    {
        page.slotCanDeviceListWidgetItemClicked(page.deviceTree->model()->index(row, 0));
    }
};

} // namespace

class TestUpdatePage : public QObject
{
    Q_OBJECT
private slots:
    void init() { QSettings().clear(); }
    void deviceMatches_data();
    void deviceMatches();
    void versionColumn_data();
    void versionColumn();
    void listAndSelection();
    void discoveryKeepsSelectedRow();
    void startUpdate_data();
    void startUpdate();
    void refusedRouteStartKeepsTabUsable();
    void chargingAndCancelStartNothing();
    void canStatusAndProgress();
    void controlUnitGates();
    void controlUnitProgress();
    void versionCrossing_data();
    void versionCrossing();
    void canTabFollowsParameter();
    void deviceInformationAndFactoryFields();
};

void TestUpdatePage::deviceMatches_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("code");
    QTest::addColumn<bool>("match");
    QTest::newRow("same upper bits") << 0x2C << 0x21 << true;
    QTest::newRow("other upper bits") << 0x31 << 0x21 << false;
    QTest::newRow("small, equal") << 0x05 << 0x05 << true;
    QTest::newRow("small type, large code") << 0x05 << 0x15 << false;
    QTest::newRow("large type, small code") << 0x15 << 0x05 << false;
    QTest::newRow("small, different") << 0x05 << 0x06 << false;
}

void TestUpdatePage::deviceMatches()
{
    QFETCH(int, type);
    QFETCH(int, code);
    QFETCH(bool, match);
    QCOMPARE(UpdatePage::deviceMatches(quint16(type), quint16(code)), match);
}

void TestUpdatePage::versionColumn_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<quint32>("version");
    QTest::addColumn<QString>("text");
    QTest::newRow("bootloader") << 0x30 << 0xFF00FF00u << "Bootloader Mode";
    QTest::newRow("small version, three-part type") << 0x30 << 21u << "2.1";
    QTest::newRow("two-part type") << 0x05 << 21u << "2.1";
    QTest::newRow("large version, two-part type") << 0x31 << 300u << "30.0";
    QTest::newRow("three parts") << 0x30 << ((1u << 28) | (2u << 20) | 3u) << "1.2.3";
    QTest::newRow("three parts, 0x90") << 0x90 << ((15u << 28) | (255u << 20) | 0xFFFFFu) << "15.255.1048575";
}

void TestUpdatePage::versionColumn()
{
    QFETCH(int, type);
    QFETCH(quint32, version);
    QFETCH(QString, text);
    QCOMPARE(UpdatePage::versionColumnText(quint16(type), version), text);
}

void TestUpdatePage::listAndSelection()
{
    Rig rig;
    rig.page.connectionStatusChanged(true);
    rig.loadImage(0x05);
    rig.list = {{0x05, 1001, 21}};
    rig.discovered();
    // One device and a matching image: selected without a click.
    QCOMPARE(rig.page.deviceTree->topLevelItemCount(), 1);
    QCOMPARE(rig.page.deviceTree->topLevelItem(0)->text(1), QString("1001"));
    QCOMPARE(rig.page.deviceTree->topLevelItem(0)->text(2), QString("2.1"));
    QCOMPARE(int(rig.page.selectedRow), 0);
    QVERIFY(rig.page.updateFirmwareButton->isEnabled());
    QVERIFY(rig.page.discoverButton->isEnabled());

    // Two devices: a click decides.
    rig.list = {{0x05, 1001, 21}, {0x2C, 7, 0xFF00FF00}};
    rig.discovered();
    QVERIFY(!rig.page.updateFirmwareButton->isEnabled());
    rig.click(1);
    QVERIFY(!rig.page.updateFirmwareButton->isEnabled());
    rig.click(0);
    QVERIFY(rig.page.updateFirmwareButton->isEnabled());
    // While a CAN job runs a click changes nothing.
    rig.busy = true;
    rig.click(1);
    QVERIFY(rig.page.updateFirmwareButton->isEnabled());
    rig.busy = false;

    // The link goes: the list empties.
    rig.page.connectionStatusChanged(false);
    QCOMPARE(rig.page.deviceTree->topLevelItemCount(), 0);
    QVERIFY(rig.page.deviceEntries.isEmpty());
    QVERIFY(!rig.page.discoverButton->isEnabled());
    QVERIFY(!rig.page.updateFirmwareButton->isEnabled());
}

void TestUpdatePage::discoveryKeepsSelectedRow()
{
    Rig rig;
    rig.page.connectionStatusChanged(true);
    rig.loadImage(0x21);
    rig.list = {{0x05, 1, 21}, {0x2C, 2, 21}};
    rig.discovered();
    rig.click(1);
    QVERIFY(rig.page.updateFirmwareButton->isEnabled());
    rig.page.slotCanDevicesDiscover();
    QCOMPARE(rig.discoveries, 1);
    rig.page.slotCanDeviceOperationStatus(0, 0);
    QCOMPARE(rig.page.deviceTree->topLevelItemCount(), 0);
    QCOMPARE(int(rig.page.selectedRow), 1);
    QVERIFY(!rig.page.updateFirmwareButton->isEnabled());
    rig.list = {{0x2C, 2, 21}, {0x05, 1, 21}};
    rig.page.slotCanDeviceOperationStatus(1, 0);
    QVERIFY(!rig.page.updateFirmwareButton->isEnabled());
    // Opening an image now weighs the old index against the new list: a
    // refused open disables the button.
    rig.page.chooseFile = [](QWidget*, const QString&) {
        testkit::holdLikeABox();
        return QString("/nonexistent/file.hex");
    };
    rig.page.slotCanDevicesOpenFirmware();
    QVERIFY(!rig.page.canImageLoaded);
    QVERIFY(!rig.page.updateFirmwareButton->isEnabled());
}

void TestUpdatePage::startUpdate_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("code");
    QTest::addColumn<bool>("listChanged");
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("moduleStarted");
    QTest::newRow("CANopen device") << 0x2C << 0x21 << false << QString() << true;
    QTest::newRow("unsupported product") << 0x45 << 0x40 << false
                                         << "Trying to start update of unsupported product: 69." << false;
    QTest::newRow("list changed since") << 0x2C << 0x21 << true << "Wrong device index. Please re-discover CAN Devices"
                                        << false;
}

void TestUpdatePage::startUpdate()
{
    QFETCH(int, type);
    QFETCH(int, code);
    QFETCH(bool, listChanged);
    QFETCH(QString, message);
    QFETCH(bool, moduleStarted);
    Rig rig;
    rig.page.connectionStatusChanged(true);
    rig.loadImage(quint16(code));
    rig.list = {{quint16(type), 99, 21}};
    rig.discovered();
    QVERIFY(rig.page.updateFirmwareButton->isEnabled());
    if (listChanged)
        rig.list = {{quint16(type), 98, 21}};
    rig.page.slotCanDevicesStartUpdate();
    QCOMPARE(rig.messages, message.isEmpty() ? QStringList() : QStringList{message});
    QCOMPARE(rig.moduleStarts.size(), moduleStarted ? 1 : 0);
    if (moduleStarted) {
        QCOMPARE(rig.moduleStarts.at(0).type, type);
        QCOMPARE(rig.moduleStarts.at(0).serial, 99u);
        QCOMPARE(rig.moduleStarts.at(0).image, rig.page.canImage);
        QVERIFY(!rig.page.canProgressBar->isHidden());
        QVERIFY(!rig.page.discoverButton->isEnabled());
        QVERIFY(!rig.page.openCanFirmwareButton->isEnabled());
        QVERIFY(!rig.page.updateFirmwareButton->isEnabled());
        // The operation's end gives the tab back.
        rig.page.slotCanDeviceOperationStatus(2, 3);
        QVERIFY(rig.page.discoverButton->isEnabled());
        QVERIFY(rig.page.openCanFirmwareButton->isEnabled());
    } else if (type == 0x45) {
        QCOMPARE(rig.page.canStatusText->text(), QString("Failed"));
    }
}

void TestUpdatePage::refusedRouteStartKeepsTabUsable()
{
    Rig rig; // the transport is not linked: the route updater refuses
    rig.page.connectionStatusChanged(true);
    rig.loadImage(0x05);
    rig.list = {{0x05, 3, 21}};
    rig.discovered();
    rig.page.slotCanDevicesStartUpdate();
    QVERIFY(!rig.canUpdater.isBusy());
    QCOMPARE(rig.page.canStatusText->text(), QString("Failed"));
    QVERIFY(rig.page.discoverButton->isEnabled());
    QVERIFY(rig.page.updateFirmwareButton->isEnabled());
}

void TestUpdatePage::chargingAndCancelStartNothing()
{
    Rig rig;
    rig.page.connectionStatusChanged(true);
    rig.loadImage(0x21);
    rig.list = {{0x2C, 3, 21}};
    rig.discovered();
    rig.page.versionReceived("CS3,01");
    QCOMPARE(rig.page.chargingMask, 4u);
    rig.page.slotCanDevicesDiscover();
    rig.page.slotCanDevicesStartUpdate();
    QCOMPARE(rig.notices.size(), 2);
    QVERIFY(rig.notices.at(0).startsWith("Charging is in progress"));
    QCOMPARE(rig.discoveries, 0);
    QVERIFY(rig.moduleStarts.isEmpty());
    rig.page.versionReceived("CS3,1");
    QCOMPARE(rig.page.chargingMask, 0u);
    rig.confirm = false;
    rig.page.slotCanDevicesDiscover();
    rig.page.slotCanDevicesStartUpdate();
    QCOMPARE(rig.discoveries, 0);
    QVERIFY(rig.moduleStarts.isEmpty());
}

void TestUpdatePage::canStatusAndProgress()
{
    Rig rig;
    rig.page.slotCanDevicesStatusUpdate(1, 0);
    QCOMPARE(rig.page.canStatusText->text(), QString("Entering Config Mode"));
    rig.page.slotCanDevicesStatusUpdate(3, 1);
    QCOMPARE(rig.page.canStatusText->text(), QString("Application CRC OK, device is working. Update was successful"));
    rig.page.slotCanDevicesStatusUpdate(0, 5, "Step text");
    QCOMPARE(rig.page.canStatusText->text(), QString("Step text"));
    rig.page.slotCanDevicesStatusUpdate(3, 3); // not a pair the page knows
    QCOMPARE(rig.page.canStatusText->text(), QString("Step text"));
    rig.page.slotCanDevicesProgress(-1);
    QCOMPARE(rig.page.canProgressBar->maximum(), 0);
    // The first value after the busy bar shows.
    rig.page.slotCanDevicesProgress(40);
    QCOMPARE(rig.page.canProgressBar->maximum(), 100);
    QCOMPARE(rig.page.canProgressBar->value(), 40);
}

void TestUpdatePage::controlUnitGates()
{
    Rig rig;
    rig.handler.setVersion("2.8.0");
    rig.comm.linked = true;
    rig.page.connectionStatusChanged(true);
    rig.page.controlUnitImage = kFrames;
    rig.page.controlUnitImageVersion = "2.8.1";
    // Not logged in.
    rig.page.slotStartUpdateClicked();
    QCOMPARE(rig.notices, QStringList{"Please log in first"});
    QVERIFY(!rig.saved);
    rig.page.versionReceived("PW1,2");
    QVERIFY(rig.page.loggedIn);
    rig.page.versionReceived("PW1,0");
    QVERIFY(!rig.page.loggedIn);
    rig.page.versionReceived("PW1");
    QVERIFY(!rig.page.loggedIn);
    rig.page.versionReceived("PW1,1");
    // The configuration cannot be saved: nothing else happens.
    rig.saveResult = false;
    rig.page.slotStartUpdateClicked();
    QVERIFY(rig.saved);
    QCOMPARE(rig.page.statusText->text(), QString("Update failed! Could not save configuration."));
    QVERIFY(!rig.page.updateActive);
    QVERIFY(!rig.page.updateRunning);
    // Saved, but the handler refuses the start (it has no updater): said so.
    rig.saveResult = true;
    rig.page.slotStartUpdateClicked();
    QCOMPARE(rig.page.statusText->text(), QString("Update failed! The update could not be started."));
    QVERIFY(!rig.page.updateActive);
    QVERIFY(!rig.page.updateRunning);
}

void TestUpdatePage::controlUnitProgress()
{
    Rig rig;
    rig.page.slotUpdateProgress(-1, 2);
    QCOMPARE(rig.page.statusText->text(), QString("Formatting EEPROM..."));
    QCOMPARE(rig.page.progressBar->maximum(), 0);
    rig.page.slotUpdateProgress(40, 2);
    QCOMPARE(rig.page.statusText->text(), QString("Loading configuration to BMS..."));
    QCOMPARE(rig.page.progressBar->value(), 40);
    rig.page.controlUnitImage = kFrames;
    rig.page.connectionStatusChanged(true);
    rig.page.updateActive = true;
    rig.page.slotUpdateProgress(-2, 1);
    QCOMPARE(rig.page.statusText->text(), QString("Update failed! Device not responding."));
    QVERIFY(!rig.page.updateActive);
    QVERIFY(rig.page.startUpdateButton->isEnabled());
    rig.page.slotUpdateProgress(0, 0, "A step");
    QCOMPARE(rig.page.statusText->text(), QString("A step"));
    // The outcome outlasts the link loss that follows a failure, and the
    // next link session's report.
    rig.page.connectionStatusChanged(false);
    rig.page.connectionStatusChanged(true);
    rig.page.slotUpdateProgress(100, 2);
    QCOMPARE(rig.page.statusText->text(), QString("A step"));
    QVERIFY(!rig.page.statusText->isHidden());
    QVERIFY(!rig.page.progressBar->isHidden());
}

void TestUpdatePage::versionCrossing_data()
{
    QTest::addColumn<QString>("current");
    QTest::addColumn<QString>("next");
    QTest::addColumn<bool>("crosses");
    QTest::newRow("2.6.3 to 2.7.0") << "2.6.3" << "2.7.0" << true;
    QTest::newRow("2.7.1 to 2.8.0") << "2.7.1" << "2.8.0" << false;
    QTest::newRow("2.8 to 2.6") << "2.8" << "2.6" << true;
    QTest::newRow("2.6.1 to 2.10.0") << "2.6.1" << "2.10.0" << true;
    QTest::newRow("2.10.0 to 2.8.0") << "2.10.0" << "2.8.0" << false;
}

void TestUpdatePage::versionCrossing()
{
    QFETCH(QString, current);
    QFETCH(QString, next);
    QFETCH(bool, crosses);
    Rig rig;
    rig.handler.setVersion(current);
    rig.comm.linked = true;
    rig.page.connectionStatusChanged(true);
    rig.page.versionReceived("PW1,2");
    rig.page.controlUnitImage = kFrames;
    rig.page.controlUnitImageVersion = next;
    QList<int> kinds;
    QObject context;
    connect(&rig.comm, &CommunicatorBase::sigFirmwareUpdateProgress, &context,
            [&kinds](int v, int kind, const QString&) {
                if (v == -1)
                    kinds << kind;
            });
    rig.page.slotStartUpdateClicked();
    QCOMPARE(kinds.contains(2), crosses);
}

void TestUpdatePage::canTabFollowsParameter()
{
    Rig rig;
    QVERIFY(rig.page.tabWidget->isTabEnabled(1));
    rig.page.slotConfigParamUpdate(0x1600, 0);
    QVERIFY(!rig.page.tabWidget->isTabEnabled(1));
    rig.page.slotConfigParamUpdate(0x1601, 0x200);
    QVERIFY(!rig.page.tabWidget->isTabEnabled(1));
    rig.page.slotConfigParamUpdate(0x1600, 0x200);
    QVERIFY(rig.page.tabWidget->isTabEnabled(1));
}

void TestUpdatePage::deviceInformationAndFactoryFields()
{
    g_factoryMode = true;
    Rig rig;
    g_factoryMode = false;
    QVERIFY(rig.page.serialEdit);
    rig.page.connectionStatusChanged(true);
    rig.map.dispatch("VR1,BMS2,0001E240,2.8.0,0000000A,00000002");
    auto* version = qobject_cast<QLabel*>(rig.page.deviceInfoParams.at(0)->widget);
    QVERIFY(version);
    QCOMPARE(version->text(), QString("2.8.0"));
    QVERIFY(version->isEnabled());

    // The provisioning fields show for a unit without serial or a test firmware.
    rig.handler.setVersion("2.8.0");
    rig.page.versionReceived("ST1,0");
    QVERIFY(rig.page.serialEdit->isHidden());
    rig.handler.setVersion("version LED_TEST");
    rig.page.versionReceived("ST1,0");
    QVERIFY(!rig.page.serialEdit->isHidden());
    QVERIFY(!rig.page.featureSetEdit->isHidden());

    // Unlinked: the labels empty and disabled.
    rig.page.connectionStatusChanged(false);
    QVERIFY(version->text().isEmpty());
    QVERIFY(!version->isEnabled());
}

QTEST_MAIN(TestUpdatePage)
#include "tst_updatepage.moc"
