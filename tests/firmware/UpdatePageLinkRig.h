#pragma once

// The Update page over the emulator's real link, as the firmware tests use
// it: the window's services, its route updater, its pump and its
// connections of the update signals.
#include "HeldBox.h"
#include "RouteBootloaderSim.h"
#include "SentenceMaps.h"
#include "SimLink.h"
#include "TestImages.h"
#include "TestServices.h"
#include "UpdatePage.h"
#include "Y5CanFwUpdater.h"

#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>

namespace {

// The window's services with its route updater, which a CAN device download
// marks busy so that the window's pump leaves the replies to it.
struct LinkServices : TestServices
{
    Y5CanFwUpdater* updater = nullptr;
    Y5CanFwUpdater* canFwUpdater() const override { return updater; }
};

struct Rig
{
    SimLink link;
    RouteBootloaderSim device{7, 4242};
    LinkServices services;
    CSntcMap map;
    Y5CanFwUpdater updater{link.comm};
    UpdatePage* page = nullptr;
    QObject context;
    QList<UpdatePage::DiscoveredDevice> list{{7, 4242, 21}};
    QTemporaryDir dir;
    QString nextFile;
    QStringList messages;
    bool configurationRead = true;
    bool canJobBusy = false;
    int saves = 0;
    bool routeDevice = true; // off: another device answers "CN1"
    std::atomic<int> linesRead{0};

    Rig()
    {
        services.handler = &link.handler;
        services.updater = &updater;
        g_mainWindow = &services;
        // No unit answers the login after a factory reset here: give up soon.
        Y5Timing t;
        t.authFirstSleepMs = 1;
        t.authLongPolls = 1;
        t.authLongPollMs = 1;
        t.authShortPolls = 1;
        t.authShortPollMs = 1;
        // The boot-mode check gives the unit four short looks; an emulator
        // starved on a busy machine answers later than a real unit.
        t.bootPassWaitMs = 200;
        link.handler.setTiming(t);
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
        page->canJobsBusy = [this] { return canJobBusy; };
        page->confirmConfigurationMode = [] {
            testkit::holdLikeABox();
            return true;
        };
        page->chooseFile = [this](QWidget*, const QString&) {
            testkit::holdLikeABox();
            return nextFile;
        };
        page->showMessage = [this](QWidget*, const QString& text) {
            testkit::holdLikeABox();
            messages << text;
        };
        page->configurationRead = [this] { return configurationRead; };
        page->saveConfiguration = [this] {
            ++saves;
            return true;
        };
        page->exportStatistics = [] { return true; };
        page->factoryResetWaitSteps = 1;
        QObject::connect(link.comm, &CommunicatorBase::sigReceivedSentence, &context, [this] { ++linesRead; },
                         Qt::DirectConnection);
        // The window's pump and its connections of the CAN update signals.
        QObject::connect(link.comm, &CommunicatorBase::sigReceivedSentence, &context, [this] {
            if (updater.isBusy())
                return;
            QString line;
            while (link.handler.getSentence(line)) {
                link.handler.applyReplyFlags(line);
                if (page)
                    page->processSentence(line);
            }
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
    QString writeFile(const QString& name, const QByteArray& bytes)
    {
        QFile file(dir.filePath(name));
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            qFatal("cannot write a test file");
        return file.fileName();
    }
    // Linked, logged in, and the file opened with "Open firmware file...".
    bool startWithImage(const QByteArray& file)
    {
        link.sim.setLoginLevel(2);
        if (!start())
            return false;
        link.handler.sendPasswordQuery(0);
        if (!QTest::qWaitFor([this] { return page->loggedIn; }, 20000))
            return false;
        nextFile = writeFile("fw.bin", file);
        QTest::mouseClick(page->openFirmwareButton, Qt::LeftButton);
        return messages.isEmpty() && page->startUpdateButton->isEnabled();
    }
    // While an update is marked running the transport leaves the port to it
    // and reopens it afterwards. Waits until the link reads again: a line
    // read after this call began, with the link up.
    bool settleLink()
    {
        const int before = linesRead;
        link.handler.sendVersionRequest();
        return QTest::qWaitFor([&] { return linesRead > before && link.comm->linked; }, 20000);
    }
    // The link state reaches the page as the window passes it on.
    void followLinkStatus()
    {
        QObject::connect(link.comm, &CommunicatorBase::sigStatusChanged, page,
                         [this](int status) { page->connectionStatusChanged(status == 1); }, Qt::QueuedConnection);
    }
    bool start()
    {
        if (routeDevice)
            device.install(link.sim);
        if (!(link.start() && link.waitLinked()))
            return false;
        page->connectionStatusChanged(true);
        return true;
    }
};

} // namespace

namespace {
// A SHA-1 image for CAN devices of product code 0x21.
QByteArray canDeviceImage()
{
    TestImages::Sha1Image image;
    image.product = 0x21;
    image.records = TestImages::versionRecord("1.0");
    image.payload = QByteArray(400, '\x5A');
    return image.build();
}

// The one discovered device (type 0x21) selected with the image loaded.
bool selectCanDevice(Rig& rig)
{
    rig.list = {{0x21, 0x87654321, 21}};
    rig.nextFile = rig.writeFile("can.bin", canDeviceImage());
    QTest::mouseClick(rig.page->openCanFirmwareButton, Qt::LeftButton);
    // The discovery engine reports a finished search.
    rig.page->slotCanDeviceOperationStatus(0, 0);
    rig.page->slotCanDeviceOperationStatus(1, 0);
    return rig.messages.isEmpty() && rig.page->updateFirmwareButton->isEnabled();
}
} // namespace
