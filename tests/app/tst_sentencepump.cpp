// The sentence pump against the control-unit emulator: lines reach the pages'
// hooks and the root map in order, and the link-state checks set the flags.
#include "BasePage.h"
#include "CISAConfig.h"
#include "Communicator.h"
#include "FeatureSupportTable.h"
#include "StartupRules.h"
#include "StatisticsPage.h"
#include "SentencePump.h"
#include "SimLink.h"
#include "ToshibaSCiBModuleConfig.h"
#include "Y5CanFwUpdater.h"
#include "canConfig.h"

#include <QSettings>
#include <QTest>

namespace {

QStringList g_calls;

class RecordingPage : public BasePage
{
public:
    RecordingPage(const QString& name, Communicator* c) : BasePage(nullptr, c, nullptr, nullptr), name_(name) {}
    void processSentence(const QString& sentence) override { g_calls << name_ + ":" + sentence; }

private:
    QString name_;
};

// The emulator and the real link, with a pump fed from the transport's signal.
struct Rig
{
    SimLink link;
    Y5CanFwUpdater canUpdater{nullptr};
    canConfig can;
    ToshibaSCiBModuleConfig scib;
    CISAConfig cisa;
    RecordingPage* config = nullptr;
    RecordingPage* status = nullptr;
    RecordingPage* update = nullptr;
    SentencePump pump;
    QObject context;

    bool start()
    {
        g_calls.clear();
        config = new RecordingPage("config", link.comm);
        status = new RecordingPage("status", link.comm);
        update = new RecordingPage("update", link.comm);
        pump.handler = &link.handler;
        pump.canFwUpdater = &canUpdater;
        pump.pages = {config, status, update};
        pump.canConfigurator = &can;
        pump.cisaConfig = &cisa;
        pump.scibConfig = &scib;
        pump.chargingLine = [](const QString& l) { g_calls << "charging:" + l; };
        pump.rootMap = [](const QString& l) { g_calls << "root:" + l; };
        QObject::connect(link.comm, &CommunicatorBase::sigReceivedSentence, &context, [this] { pump.drain(); },
                         Qt::QueuedConnection);
        link.sim.setHandler("CM1", [](ControlUnitSim& sim, const ControlUnitSim::Sentence& s) {
            sim.reply("CM1,0" + s.fields.value(0));
        });
        if (!link.start() || !link.waitLinked())
            return false;
        // Lines of the handshake still on their way are not the test's.
        QTest::qWait(300);
        g_calls.clear();
        link.handler.deviceAnswered = false;
        return true;
    }
    ~Rig()
    {
        delete config;
        delete status;
        delete update;
    }
};

} // namespace

class TestSentencePump : public QObject
{
    Q_OBJECT
private slots:
    void linesReachHooksInOrderThenTheRootMap();
    void configurationModeFollowsCm1Replies();
    void awaitedLoginReply_data();
    void awaitedLoginReply();
    void deviceBannerOrVersionMeansTheUnitAnswered_data();
    void deviceBannerOrVersionMeansTheUnitAnswered();
    void linesWaitWhileFirmwareIsWritten();
    void statisticsExportCapture_data();
    void statisticsExportCapture();
};

void TestSentencePump::linesReachHooksInOrderThenTheRootMap()
{
    Rig rig;
    QVERIFY(rig.start());
    g_calls.clear();
    rig.link.sim.reply("ST1,1A,,3");
    rig.link.sim.reply("CS1,01");
    QTRY_COMPARE(g_calls.size(), 9);
    QCOMPARE(g_calls, (QStringList{"config:ST1,1A,,3", "status:ST1,1A,,3", "update:ST1,1A,,3", "root:ST1,1A,,3",
                                   "charging:CS1,01", "config:CS1,01", "status:CS1,01", "update:CS1,01",
                                   "root:CS1,01"}));
}

void TestSentencePump::configurationModeFollowsCm1Replies()
{
    Rig rig;
    QVERIFY(rig.start());
    rig.link.handler.sendSentence("CM1", ",1");
    QTRY_VERIFY2(rig.link.comm->configModeActive, qPrintable(g_calls.join(" | ")));
    QVERIFY(g_calls.contains("root:CM1,01"));
    rig.link.handler.sendSentence("CM1", ",0");
    QTRY_VERIFY(!rig.link.comm->configModeActive);
    // A one-character field leaves the mode as it is.
    rig.link.comm->configModeActive = true;
    rig.link.sim.reply("CM1,1");
    QTRY_VERIFY(g_calls.contains("root:CM1,1"));
    QVERIFY(rig.link.comm->configModeActive);
}

void TestSentencePump::awaitedLoginReply_data()
{
    QTest::addColumn<bool>("awaited");
    QTest::addColumn<QString>("reply");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("level 2") << true << "PW1,2" << true;
    QTest::newRow("level 1") << true << "PW1,1" << true;
    QTest::newRow("level 0") << true << "PW1,0" << false;
    QTest::newRow("a letter") << true << "PW1,A" << false;
    QTest::newRow("no level") << true << "PW1" << false;
    QTest::newRow("not awaited") << false << "PW1,2" << false;
}

void TestSentencePump::awaitedLoginReply()
{
    QFETCH(bool, awaited);
    QFETCH(QString, reply);
    QFETCH(bool, accepted);
    Rig rig;
    QVERIFY(rig.start());
    rig.link.handler.loginAccepted = false;
    rig.link.handler.pw1ReplyPending = awaited;
    rig.link.handler.resetPending = true;
    rig.link.sim.reply(reply);
    QTRY_VERIFY(g_calls.contains("root:" + reply));
    QCOMPARE(bool(rig.link.handler.loginAccepted), accepted);
    QVERIFY(!rig.link.handler.pw1ReplyPending);
    // The login reply also ends a pending reset's wait.
    QCOMPARE(bool(rig.link.handler.resetPending), !awaited);
}

void TestSentencePump::deviceBannerOrVersionMeansTheUnitAnswered_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<bool>("answered");
    QTest::newRow("banner") << "DB1,KEPO BMS boot" << true;
    QTest::newRow("version") << "VR1,BMS2,0001E240,2.1.4.2" << true;
    QTest::newRow("status line") << "ST1,1" << false;
}

void TestSentencePump::deviceBannerOrVersionMeansTheUnitAnswered()
{
    QFETCH(QString, line);
    QFETCH(bool, answered);
    Rig rig;
    QVERIFY(rig.start());
    rig.link.handler.deviceAnswered = false;
    rig.link.sim.reply(line);
    QTRY_VERIFY(g_calls.contains("root:" + line));
    QCOMPARE(bool(rig.link.handler.deviceAnswered), answered);
}

void TestSentencePump::linesWaitWhileFirmwareIsWritten()
{
    Rig rig;
    QVERIFY(rig.start());
    // Drain by hand: the lines queue up first.
    QObject::disconnect(rig.link.comm, nullptr, &rig.context, nullptr);
    rig.link.sim.reply("ST1,1");
    rig.link.sim.reply("ST1,2");
    QTRY_COMPARE(rig.link.handler.queuedSentenceCount(), 2);

    rig.link.handler.updateRunning = true;
    rig.pump.drain();
    rig.link.handler.updateRunning = false;
    rig.canUpdater.armed = true;
    rig.pump.drain();
    QVERIFY(g_calls.isEmpty());
    QCOMPARE(rig.link.handler.queuedSentenceCount(), 2);

    rig.canUpdater.armed = false;
    rig.pump.drain();
    QCOMPARE(rig.link.handler.queuedSentenceCount(), 0);
    QCOMPARE(g_calls.filter("root:"), (QStringList{"root:ST1,1", "root:ST1,2"}));
}

namespace {
// A unit whose firmware reports every statistics feature.
class AllFeatures : public FeatureBitmapSource
{
public:
    bool isFeatureBitmapValid() const override { return true; }
    bool featureBitmapWord(int, uint32_t* word) const override
    {
        *word = 0xFFFFFFFFu;
        return true;
    }
};
} // namespace

void TestSentencePump::statisticsExportCapture_data()
{
    QTest::addColumn<int>("flags");
    QTest::addColumn<QString>("prefix");
    QTest::addColumn<int>("stored");    // lines in the store that is written
    QTest::addColumn<bool>("manual");
    QTest::addColumn<int>("flagsAfter");
    // 0x00..0x35 sent; the automatic export leaves out 0x12 and 0x1E.
    QTest::newRow("automatic SS1") << int(StatisticsPage::ExportAutoSs1) << "SS1" << 52 << false << 0;
    QTest::newRow("manual SS1") << int(StatisticsPage::ExportManualSs1) << "SS1" << 54 << true << 0;
    QTest::newRow("SS1 while only SS2 is pending") << int(StatisticsPage::ExportAutoSs2) << "SS1" << 0 << false
                                                   << int(StatisticsPage::ExportAutoSs2);
    // SS2 ends at index 7 and clears both exports.
    QTest::newRow("manual SS2") << int(StatisticsPage::ExportManualSs2 | StatisticsPage::ExportAutoSs1) << "SS2" << 8
                                << true << 0;
}

void TestSentencePump::statisticsExportCapture()
{
    QFETCH(int, flags);
    QFETCH(QString, prefix);
    QFETCH(int, stored);
    QFETCH(bool, manual);
    QFETCH(int, flagsAfter);
    QCoreApplication::setOrganizationName(kOrganisationName);
    QCoreApplication::setApplicationName(kApplicationName);
    QSettings manualStore(kOrganisationName, kManualStatisticsStore);
    QSettings appStore;
    manualStore.clear();
    appStore.clear();

    AllFeatures features;
    FeatureSupportTable table(&features);
    Communicator transport;
    StatisticsPage page(nullptr, &transport, nullptr, &table);
    page.StatisticsExportFlags = uint8_t(flags);
    SentencePump pump;
    pump.statisticsPage = &page;
    pump.featureTable = &table;
    const int last = prefix == "SS1" ? 0x35 : 7;
    for (int i = 0; i <= last + 1; ++i)
        pump.handleLine(QString("%1,%2,00AB").arg(prefix).arg(i, 2, 16, QChar('0')).toUpper());
    manualStore.sync();
    appStore.sync();
    QSettings& written = manual ? manualStore : appStore;
    QSettings& other = manual ? appStore : manualStore;
    QCOMPARE(written.allKeys().size(), stored);
    QCOMPARE(other.allKeys().size(), 0);
    QCOMPARE(int(page.StatisticsExportFlags), flagsAfter);
    if (stored && prefix == "SS1") {
        QCOMPARE(written.value("SS1,35,00AB").toInt(), 0);
        QCOMPARE(written.contains("SS1,12,00AB"), manual);
        QVERIFY(!written.contains("SS1,36,00AB")); // after the end
    }
}

QTEST_MAIN(TestSentencePump)
#include "tst_sentencepump.moc"
