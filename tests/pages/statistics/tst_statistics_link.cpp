// The Statistics page against the control-unit emulator's statistics and
// event store, through the real serial transport and protocol handler, with
// the main window's sentence pump (its statistics capture included): polling
// and clearing, and the export into the settings stores and the import back.
#include "MyEventsView.h"
#include "SentencePump.h"
#include "SimLink.h"
#include "StatisticsFixture.h"
#include "StatisticsSim.h"
#include "StatisticsView.h"
#include "myTabWidget.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QStandardItemModel>
#include <QSettings>
#include <QTimer>
#include <QtTest>

#include <optional>

namespace {
QStringList statisticsKeys(QSettings& s)
{
    QStringList keys;
    for (const QString& k : s.allKeys())
        if (k.startsWith("SS1") || k.startsWith("SS2"))
            keys << k;
    keys.sort();
    return keys;
}

// The unit, the link, the page and the main window's pump.
struct Rig
{
    StatisticsSim store;
    SimLink link;
    std::optional<StatisticsFixture> fx;
    SentencePump pump;
    QTimer pumpTimer;

    bool start(const QSet<int>& features)
    {
        store.install(link.sim);
        if (!link.start() || !link.waitLinked())
            return false;
        fx.emplace(link.comm, &link.handler);
        fx->bits.features = features;
        pump.handler = &link.handler;
        pump.statisticsPage = fx->page.get();
        pump.featureTable = &fx->features;
        pump.rootMap = [this](const QString& line) { fx->map.dispatch(line); };
        QObject::connect(&pumpTimer, &QTimer::timeout, [this] { pump.drain(); });
        pumpTimer.start(20);
        fx->page->connectionStatusChanged(true);
        return true;
    }
    StatisticsPage& page() { return *fx->page; }
    ~Rig()
    {
        pumpTimer.stop();
        link.stop();
    }
};

QStringList sentencesStartingWith(const ControlUnitSim& sim, const QString& prefix)
{
    QStringList out;
    for (const QString& s : sim.goodSentences())
        if (s.startsWith(prefix))
            out << s;
    return out;
}
} // namespace

class TestStatisticsLink : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();

    void pollingFillsTheViewsAndClearsAsk();
    void exportThenImportWritesBackOnlyWhatDiffers();
    void automaticExportAndImportAfterAnUpdate();
    void incompleteSeriesFailTheExport_data();
    void incompleteSeriesFailTheExport();
    void failedImportKeepsTheSavedValues();
};

void TestStatisticsLink::initTestCase()
{
    QCoreApplication::setOrganizationName(kStatisticsOrganisation);
    QCoreApplication::setApplicationName("KEPO BMS Dadevoz Arezi");
}

void TestStatisticsLink::init()
{
    QSettings().clear();
    QSettings(kStatisticsOrganisation, kManualStatisticsStore).clear();
}

void TestStatisticsLink::pollingFillsTheViewsAndClearsAsk()
{
    Rig rig;
    QVERIFY(rig.start({72}));
    StatisticsPage& page = rig.page();
    page.setAccessEnabled(true);
    page.slotCurrentPageChanged(1);
    QTRY_VERIFY_WITH_TIMEOUT(!page.statisticsView()->keptRowTexts().at(53).isEmpty(), 8000);
    // Statistic 19 of the emulator: count 0x13, time 0x1013 s after 2000.
    QVERIFY(page.statisticsView()->keptRowTexts().at(19).startsWith("19 Last event on "));
    QVERIFY(page.eventsView()->allText().isEmpty()); // the events tab is not shown

    page.tabWidget()->setCurrentIndex(1);
    QVERIFY(!page.statisticsTimer()->isActive());
    QTRY_COMPARE_WITH_TIMEOUT(page.eventsView()->keptRowTexts().size(), 3, 8000);
    QVERIFY(page.eventsView()->allText().contains("Charger disconnected\tLast charge energy 5 kWh\n"));

    rig.link.sim.clearReceived();
    page.clearEventsButton()->click();
    page.clearStatisticsButton()->click();
    QVERIFY(rig.link.sim.waitForSentence("SS1,c", 5000));
    QCOMPARE(sentencesStartingWith(rig.link.sim, "LG1,c"), QStringList{"LG1,c"});
    // The emulator records a sentence before it acts on it.
    QTRY_COMPARE_WITH_TIMEOUT(rig.store.eventClears(), 1, 5000);
    QTRY_COMPARE_WITH_TIMEOUT(rig.store.statisticsClears(), 1, 5000);
    // The next poll shows the empty log.
    QTRY_VERIFY_WITH_TIMEOUT(rig.store.queries("LG1") > 1 && page.eventsView()->allText().isEmpty(), 8000);
    QCOMPARE(page.eventsView()->eventModel()->rowCount(), 0);

    // No polling while the link is down.
    page.connectionStatusChanged(false);
    const int before = rig.store.queries("SS1") + rig.store.queries("LG1");
    QTest::qWait(1500);
    QCOMPARE(rig.store.queries("SS1") + rig.store.queries("LG1"), before);
}

void TestStatisticsLink::exportThenImportWritesBackOnlyWhatDiffers()
{
    Rig rig;
    QVERIFY(rig.start({72, 99}));
    StatisticsPage& page = rig.page();
    // A second export or import asked for while one waits is refused.
    QList<bool> nested;
    QObject context;
    QTimer::singleShot(0, &context, [&] { nested << page.exportStatistics(true) << page.importStatistics(true); });
    QVERIFY(page.exportStatistics(false));
    QCOMPARE(nested, (QList<bool>{false, false}));
    QCOMPARE(page.StatisticsExportFlags, uint8_t(0));
    QSettings manual(kStatisticsOrganisation, kManualStatisticsStore);
    QVERIFY(manual.contains("Statistics"));
    const QStringList saved = statisticsKeys(manual);
    QCOMPARE(saved.size(), 54 + 8); // 18 and 30 included
    QVERIFY(saved.contains(rig.store.statisticLine(0x12)));
    QVERIFY(saved.contains(rig.store.statistic2Line(7)));
    QVERIFY(statisticsKeys(*std::make_unique<QSettings>()).isEmpty());

    // The unit changes: another time for 5, another variant byte, another
    // second-series value.
    StatisticsSim::Statistic s5 = rig.store.statistic(5);
    s5.time += 1;
    rig.store.setStatistic(5, s5);
    rig.store.setStatistic(50, {0x3F, 0, 0xFFFFFFFF});
    StatisticsSim::Statistic t3 = rig.store.statistic2(3);
    t3.value = 0;
    rig.store.setStatistic2(3, t3);
    const QString saved5 = saved.filter(QRegularExpression("^SS1,05,")).value(0);
    const QString saved50 = saved.filter(QRegularExpression("^SS1,32,")).value(0);
    const QString saved2_3 = saved.filter(QRegularExpression("^SS2,03,")).value(0);

    QVERIFY(page.importStatistics(false));
    QTRY_COMPARE_WITH_TIMEOUT(rig.store.writeBacks().size(), 3, 5000);
    QTest::qWait(300);
    QCOMPARE(rig.store.writeBacks(),
             (QStringList{"SR1" + saved50.mid(3), "SR1" + saved5.mid(3), "SR2" + saved2_3.mid(3)}));
    QCOMPARE(rig.store.statisticLine(5), saved5);
    QCOMPARE(rig.store.statisticLine(50), saved50);
    QVERIFY(!manual.contains("Statistics"));
    QVERIFY(statisticsKeys(manual).isEmpty());
    QVERIFY(rig.fx->criticals.isEmpty());

    // A store without the marker: nothing to do, nothing sent.
    rig.link.sim.clearReceived();
    QVERIFY(page.importStatistics(false));
    QTest::qWait(300);
    QVERIFY(rig.link.sim.goodSentences().filter(QRegularExpression("^S[SR][12],")).isEmpty());
}

void TestStatisticsLink::automaticExportAndImportAfterAnUpdate()
{
    Rig rig;
    rig.store.setLastIndex(49);
    QVERIFY(rig.start({62}));
    StatisticsPage& page = rig.page();
    QVERIFY(page.exportStatistics(true));
    QSettings app;
    QVERIFY(app.contains("Statistics"));
    const QStringList saved = statisticsKeys(app);
    QCOMPARE(saved.size(), 50 - 2); // never 18 and 30
    QVERIFY(!saved.contains(rig.store.statisticLine(0x12)));
    QVERIFY(!saved.contains(rig.store.statisticLine(0x1E)));

    // The new firmware has statistics 50 to 53 and clears single ones.
    rig.store.setLastIndex(53);
    rig.fx->bits.features = {62, 72, 100};
    rig.store.setStatistic(0x12, {0, 0x99, 0x1234});
    QVERIFY(page.importStatistics(true));
    QTRY_COMPARE_WITH_TIMEOUT(rig.store.writeBacks().size(), 4, 5000);
    QTest::qWait(300);
    QCOMPARE(rig.store.writeBacks(), (QStringList{"SR1,32,c", "SR1,33,c", "SR1,34,c", "SR1,35,c"}));
    QVERIFY(!app.contains("Statistics"));
    QVERIFY(statisticsKeys(app).isEmpty());
}

void TestStatisticsLink::incompleteSeriesFailTheExport_data()
{
    QTest::addColumn<QString>("fault");
    QTest::newRow("never the last index") << "stop";
    // The pump ends a capture at the last index; a series that lacks one in
    // the middle must not count as whole.
    QTest::newRow("one index missing") << "gap";
    QTest::newRow("no reply") << "silent";
    QTest::newRow("replies that do not read") << "corrupt";
}

void TestStatisticsLink::incompleteSeriesFailTheExport()
{
    QFETCH(QString, fault);
    Rig rig;
    if (fault == "stop")
        rig.store.setStopBefore(53);
    else if (fault == "gap")
        rig.store.setOmittedIndex(3);
    else if (fault == "silent")
        rig.store.setSilent(true);
    else
        rig.store.setCorruptReplies(true);
    QVERIFY(rig.start({72}));
    QElapsedTimer t;
    t.start();
    QVERIFY(!rig.page().exportStatistics(false));
    if (fault != "gap")
        QVERIFY(t.elapsed() >= 2500); // three waits of about a second
    QCOMPARE(rig.store.queries("SS1"), 3);
    QSettings manual(kStatisticsOrganisation, kManualStatisticsStore);
    QVERIFY(!manual.contains("Statistics"));
    QVERIFY(statisticsKeys(manual).isEmpty());
}

void TestStatisticsLink::failedImportKeepsTheSavedValues()
{
    Rig rig;
    QVERIFY(rig.start({72}));
    StatisticsPage& page = rig.page();
    QSettings manual(kStatisticsOrganisation, kManualStatisticsStore);
    manual.setValue("Statistics", 0);
    manual.setValue("SS1,00,1,1,00000001", 0); // an older manual export
    QVERIFY(page.exportStatistics(true));
    QSettings app;
    const QStringList saved = statisticsKeys(app);
    QCOMPARE(saved.size(), 52);

    rig.store.setSilent(true);
    // While the import waits for the unit, the saved values are still in
    // the store: a program that ends here loses nothing.
    QStringList duringImport;
    QObject context;
    QTimer::singleShot(500, &context, [&] { duringImport = statisticsKeys(app); });
    QVERIFY(!page.importStatistics(true));
    QCOMPARE(duringImport, saved);
    QCOMPARE(rig.fx->criticals,
             QStringList{"Critical!|Importing saved statistic values failed.\nPlease try again manually from the\n"
                         "\"Options\" menu."});
    QVERIFY(!app.contains("Statistics"));
    QVERIFY(statisticsKeys(app).isEmpty());
    QVERIFY(manual.contains("Statistics"));
    QCOMPARE(statisticsKeys(manual), saved);
    QVERIFY(rig.store.writeBacks().isEmpty());
    // The capture ended with the import: a later series reaches no store.
    QCOMPARE(page.StatisticsExportFlags, uint8_t(0));
    rig.store.setSilent(false);
    page.slotCurrentPageChanged(1);
    QTRY_VERIFY_WITH_TIMEOUT(!page.statisticsView()->keptRowTexts().at(53).isEmpty(), 8000);
    page.slotCurrentPageChanged(0);
    QCOMPARE(statisticsKeys(manual), saved);
    QVERIFY(statisticsKeys(app).isEmpty());
    rig.store.setSilent(true);

    // Again by hand: the same values stay for a later try.
    QVERIFY(!page.importStatistics(false));
    QCOMPARE(rig.fx->criticals.last(), QStringLiteral("Critical!|Importing saved statistic values failed.\nPlease "
                                                      "try again."));
    QVERIFY(manual.contains("Statistics"));
    QCOMPARE(statisticsKeys(manual), saved);

    // The unit answers again: the import sends nothing (all equal).
    rig.store.setSilent(false);
    QVERIFY(page.importStatistics(false));
    QVERIFY(!manual.contains("Statistics"));
    QTest::qWait(300);
    QVERIFY(rig.store.writeBacks().isEmpty());
}

QTEST_MAIN(TestStatisticsLink)
#include "tst_statistics_link.moc"
