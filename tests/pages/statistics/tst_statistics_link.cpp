// The Statistics page against the control-unit emulator's statistics and
// event store, through the real serial transport and protocol handler, with
// the main window's sentence pump (its statistics capture included): polling
// and clearing, and the export into the settings stores and the import back,
// which takes only what the unit confirms.
#include "MyEventsView.h"
#include "StatisticsLinkRig.h"
#include "StatisticsView.h"
#include "myTabWidget.h"

#include <QCoreApplication>
#include <QPushButton>
#include <QSettings>
#include <QStandardItemModel>
#include <QTest>
#include <QTimer>


namespace {
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
    void init() { useEmptyStatisticsStores(); }

    void pollingFillsTheViewsAndClearsAsk();
    void exportThenImportWritesBackOnlyWhatDiffers();
    void automaticExportAndImportAfterAnUpdate();
    void importKeepsWhatTheUnitDidNotConfirm();
};

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
    // And the statistics of a cleared unit: extremes not available, not raw
    // zeros read as 2.00 V or -100 degC; counters at 0 with no time.
    page.tabWidget()->setCurrentIndex(0);
    for (int row : {10, 13, 15, 16})
        QTRY_COMPARE_WITH_TIMEOUT(page.statisticsView()->keptRowTexts().at(row), QString(" \n"), 8000);
    QCOMPARE(page.statisticsView()->keptRowTexts().at(19), QString("0 \n"));

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

// A saved value leaves the store only once the unit, read again, reports it:
// a refused write-back and a lost reply keep it and say so.
void TestStatisticsLink::importKeepsWhatTheUnitDidNotConfirm()
{
    Rig rig;
    QVERIFY(rig.start({72}));
    StatisticsPage& page = rig.page();
    QVERIFY(page.exportStatistics(false));
    QSettings manual(kStatisticsOrganisation, kManualStatisticsStore);
    const QStringList saved = statisticsKeys(manual);
    for (int index : {5, 7}) {
        StatisticsSim::Statistic s = rig.store.statistic(index);
        s.time += 1;
        rig.store.setStatistic(index, s);
    }
    const QString saved5 = saved.filter(QRegularExpression("^SS1,05,")).value(0);
    const QString saved7 = saved.filter(QRegularExpression("^SS1,07,")).value(0);
    const QString failed = "Critical!|Importing saved statistic values failed.\nPlease try again.";
    auto keptForLater = [&] { return manual.contains("Statistics") && statisticsKeys(manual) == saved; };

    // The unit does not take the write-back of 5: it still reports its own.
    rig.store.setRefusedWriteBack(5);
    QVERIFY(!page.importStatistics(false));
    QCOMPARE(rig.store.writeBacks(), (QStringList{"SR1" + saved5.mid(3), "SR1" + saved7.mid(3)}));
    QCOMPARE(rig.store.statisticLine(7), saved7);
    QVERIFY(rig.store.statisticLine(5) != saved5);
    // The box names the value the unit did not take.
    const QString notTaken = failed + "\n\nThe control unit did not take these values:\n" + saved5 + "\n";
    QCOMPARE(rig.fx->criticals, QStringList{notTaken});
    QVERIFY(keptForLater());

    // The unit's reply for 5 never arrives: the series is not whole, though
    // the store holds a saved 5.
    rig.store.setRefusedWriteBack(-1);
    rig.store.setOmittedIndex(5);
    QVERIFY(!page.importStatistics(false));
    QCOMPARE(rig.store.writeBacks().size(), 2);
    QCOMPARE(rig.fx->criticals.last(), failed + "\n\nThe control unit did not send its statistics whole.");
    QVERIFY(keptForLater());

    // Lost once: the next request brings the whole series, and 5 is written.
    rig.store.setOmittedIndex(-1);
    rig.store.loseOnce(5);
    QVERIFY(page.importStatistics(false));
    QCOMPARE(rig.store.writeBacks().mid(2), QStringList{"SR1" + saved5.mid(3)});
    QCOMPARE(rig.store.statisticLine(5), saved5);
    QCOMPARE(rig.fx->criticals.size(), 2);
    QVERIFY(!manual.contains("Statistics"));
    QVERIFY(statisticsKeys(manual).isEmpty());
}

QTEST_MAIN(TestStatisticsLink)
#include "tst_statistics_link.moc"
