// The unit's configuration mode has one holder: while one service's job
// runs, every other service refuses to start without touching the unit's
// mode, and the ones with a voice of their own say who holds it.
#include "../can/FakeCanLink.h"
#include "CISAConfig.h"
#include "ConfigModeOwner.h"
#include "HeldBox.h"
#include "TempBreakOutBoardSupport.h"
#include "ToshibaSCiBModuleConfig.h"
#include "canConfig.h"

#include <QLoggingCategory>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

namespace {

enum Service { CanJobs, Sensor, Boards, Scib };

// The four services, each on a link of its own that answers every mode
// change; the refusals they voice are recorded.
struct Services
{
    FakeCanLink* canLink = new FakeCanLink;
    FakeCanLink* sensorLink = new FakeCanLink;
    FakeCanLink* boardLink = new FakeCanLink;
    FakeCanLink* scibLink = new FakeCanLink;
    canConfig can{std::unique_ptr<CanLinkServices>(canLink)};
    CISAConfig sensor{std::unique_ptr<CanLinkServices>(sensorLink)};
    TempBreakOutBoardSupport boards{nullptr, std::unique_ptr<CanLinkServices>(boardLink)};
    ToshibaSCiBModuleConfig scib{std::unique_ptr<CanLinkServices>(scibLink)};
    QStringList said;

    Services()
    {
        sensor.setWarningHandler([this](const QString& text) {
            testkit::holdLikeABox();
            said << text;
        });
        boards.setRefusalReporter([this](const QString& text) {
            testkit::holdLikeABox();
            said << text;
        });
    }
    FakeCanLink* link(Service s) const
    {
        return s == CanJobs ? canLink : s == Sensor ? sensorLink : s == Boards ? boardLink : scibLink;
    }
    void start(Service s)
    {
        switch (s) {
        case CanJobs: can.startDiscovery(false); break;
        case Sensor: sensor.startDiscover(CISAConfig::ReadSerial); break;
        case Boards: boards.discoverButton()->click(); break;
        case Scib: scib.startDiscovery(); break;
        }
    }
    bool running(Service s) const
    {
        switch (s) {
        case CanJobs: return can.isBusy();
        case Sensor: return sensor.isBusy();
        case Boards: return boards.isBusy();
        case Scib: return scib.isBusy();
        }
        return false;
    }
};

int modeChanges(const FakeCanLink* l)
{
    return l->canModes.size() + l->plainModes.size();
}

} // namespace

class TstConfigModeOwner : public QObject
{
    Q_OBJECT
private slots:
    void init() { QLoggingCategory::setFilterRules(QStringLiteral("bms.*.debug=false")); }
    void secondServiceRefused_data();
    void secondServiceRefused();
};

void TstConfigModeOwner::secondServiceRefused_data()
{
    QTest::addColumn<int>("holder");
    QTest::addColumn<int>("starter");
    QTest::addColumn<QString>("said");
    const QString can = "Another CAN device operation is running.\nTry again when it has finished.";
    const QString sensor = "The current sensor set-up is running.\nTry again when it has finished.";
    const QString boards = "The temperature board power settings operation is running.\nTry again when it has "
                           "finished.";
    const QString scib = "The SCiB module discovery is running.\nTry again when it has finished.";
    // The CAN jobs and the SCiB discovery are refused silently: their pages
    // ask the owner first and say it there.
    QTest::newRow("CAN discovery, sensor") << int(CanJobs) << int(Sensor) << can;
    QTest::newRow("CAN discovery, boards") << int(CanJobs) << int(Boards) << can;
    QTest::newRow("CAN discovery, SCiB") << int(CanJobs) << int(Scib) << QString();
    QTest::newRow("sensor, CAN discovery") << int(Sensor) << int(CanJobs) << QString();
    QTest::newRow("sensor, boards") << int(Sensor) << int(Boards) << sensor;
    QTest::newRow("boards, sensor") << int(Boards) << int(Sensor) << boards;
    QTest::newRow("boards, CAN discovery") << int(Boards) << int(CanJobs) << QString();
    QTest::newRow("SCiB, boards") << int(Scib) << int(Boards) << scib;
}

void TstConfigModeOwner::secondServiceRefused()
{
    QFETCH(int, holder);
    QFETCH(int, starter);
    QFETCH(QString, said);
    {
        Services s;
        s.start(Service(holder));
        QVERIFY(s.running(Service(holder)));
        QSignalSpy status(&s.can, &canConfig::sigCanDeviceOperationStatus);
        s.start(Service(starter));
        QVERIFY(!s.running(Service(starter)));
        QCOMPARE(modeChanges(s.link(Service(starter))), 0);
        QCOMPARE(s.said, said.isEmpty() ? QStringList() : QStringList{said});
        if (starter == CanJobs)
            QVERIFY(status.isEmpty());
        QVERIFY(s.running(Service(holder)));
    }
    // Gone with its holder: the mode is free again.
    QCOMPARE(int(ConfigModeOwner::holder()), int(ConfigModeOwner::Nobody));
}

QTEST_MAIN(TstConfigModeOwner)
#include "tst_configmodeowner.moc"
