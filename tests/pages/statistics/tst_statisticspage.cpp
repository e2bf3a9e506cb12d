// The Statistics page without a unit: polling timers by page, tab and
// undocked windows; wording by hardware and firmware; what the link state,
// the bootloader and the access level enable; the clipboard text; the clear
// questions; and the exports a unit must refuse.
#include "MyEventsView.h"
#include "StatisticsFixture.h"
#include "StatisticsView.h"
#include "myTabWidget.h"

#include <QApplication>
#include <QClipboard>
#include <QPushButton>
#include <QSettings>
#include <QTest>
#include <QTimer>

class TestStatisticsPage : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void timersFollowPageAndTabs_data();
    void timersFollowPageAndTabs();
    void disconnectionStopsTimersAndWording();
    void wordingByHardware_data();
    void wordingByHardware();
    void otherHardwareIsExaminedAgain();
    void enablingByLinkBootloaderAndAccess();
    void repliesReachTheViewsThroughTheMap();
    void clipboardHoldsShownRowsAndEvents();
    void clearQuestions();
    void exportRefused_data();
    void exportRefused();

private:
    Communicator* transport = nullptr;
    VersionedHandler* handler = nullptr;
    StatisticsFixture* fx = nullptr;
};

void TestStatisticsPage::init()
{
    transport = new Communicator;
    handler = new VersionedHandler(transport);
    handler->setVersion("VR1,BMS2,0001E240,2.5.0");
    fx = new StatisticsFixture(transport, handler);
}

void TestStatisticsPage::cleanup()
{
    delete fx;
    delete handler;
    delete transport;
}

void TestStatisticsPage::timersFollowPageAndTabs_data()
{
    QTest::addColumn<int>("page");
    QTest::addColumn<int>("currentTab");
    QTest::addColumn<int>("undock"); // page index to undock, -1 none
    QTest::addColumn<bool>("statistics");
    QTest::addColumn<bool>("events");
    QTest::newRow("statistics page, statistics tab") << 1 << 0 << -1 << true << false;
    QTest::newRow("statistics page, events tab") << 1 << 1 << -1 << false << true;
    QTest::newRow("other page") << 0 << 0 << -1 << false << false;
    QTest::newRow("events undocked, other page") << 2 << 1 << 1 << false << true;
    QTest::newRow("statistics undocked, other page") << 3 << 0 << 0 << true << false;
    QTest::newRow("statistics undocked, events shown") << 1 << 0 << 0 << true << true;
}

void TestStatisticsPage::timersFollowPageAndTabs()
{
    QFETCH(int, page);
    QFETCH(int, currentTab);
    QFETCH(int, undock);
    QFETCH(bool, statistics);
    QFETCH(bool, events);
    StatisticsPage& p = *fx->page;
    p.show();
    p.tabWidget()->setCurrentIndex(currentTab);
    if (undock >= 0) {
        p.tabWidget()->undockCurrentTab(100);
        QVERIFY(!p.tabWidget()->isTabDocked(undock));
    }
    p.slotCurrentPageChanged(page);
    QCOMPARE(p.statisticsTimer()->isActive(), statistics);
    QCOMPARE(p.eventsTimer()->isActive(), events);
    if (statistics)
        QCOMPARE(p.statisticsTimer()->interval(), 1000);
    if (undock >= 0) {
        // Docked back while on the page: the current tab's timer alone.
        p.tabWidget()->closeTabWindow(undock);
        QTRY_VERIFY(p.tabWidget()->isTabDocked(undock));
        const bool statisticsCurrent = p.tabWidget()->currentIndex() == 0;
        QCOMPARE(p.statisticsTimer()->isActive(), statisticsCurrent);
        QCOMPARE(p.eventsTimer()->isActive(), !statisticsCurrent);
    }
}

void TestStatisticsPage::disconnectionStopsTimersAndWording()
{
    StatisticsPage& p = *fx->page;
    p.connectionStatusChanged(true);
    p.slotCurrentPageChanged(1);
    p.slotReceivedVersionString("VR1,BMS2,0001E240,2.5.0");
    QVERIFY(p.isWordingApplied());
    handler->bootMode = true;
    p.connectionStatusChanged(true); // the bootloader: views off, timers on
    QVERIFY(p.statisticsTimer()->isActive());
    QVERIFY(p.isWordingApplied());
    handler->bootMode = false;
    p.connectionStatusChanged(false);
    QVERIFY(!p.statisticsTimer()->isActive());
    QVERIFY(!p.eventsTimer()->isActive());
    QVERIFY(!p.isWordingApplied());
    QCOMPARE(p.hardwareKindCode(), 0);
    // The next connection's version sentence applies the wording again.
    fx->bits.features = {62};
    p.slotReceivedVersionString("VR1,BMS1,0001E240,2.5.0");
    QVERIFY(p.isWordingApplied());
    QCOMPARE(p.statisticsView()->rowDescription(23), QStringLiteral("Cell module overheat protection count"));
}

void TestStatisticsPage::wordingByHardware_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("deviceVersion");
    QTest::addColumn<QList<int>>("features");
    QTest::addColumn<int>("kind");
    QTest::addColumn<bool>("masterSlaveRows");
    QTest::addColumn<bool>("moduleRows");  // 45..49 and the module wording
    QTest::addColumn<bool>("rows51and52");
    QTest::addColumn<bool>("row53");

    QTest::newRow("BMS1") << "VR1,BMS1,1,2.5.0" << "2.5.0" << QList<int>{98} << 1 << false << false << false
                          << false;
    QTest::newRow("firmware 2.0 on other hardware") << "VR1,XY,1,2.0.19" << "2.0.19" << QList<int>{} << 1 << false
                                                    << false << false << false;
    QTest::newRow("BMS2 with master/slave") << "VR1,BMS2,1,2.5.0" << "2.5.0" << QList<int>{98} << 2 << true
                                            << false << false << false;
    QTest::newRow("BMS2 on 2.1.0_RC1") << "VR1,BMS2,1,2.1.0_RC15" << "2.1.0_RC15" << QList<int>{98} << 2 << false
                                       << false << false << false;
    QTest::newRow("BMS3, every feature") << "VR1,BMS3,1,2.7.0" << "2.7.0" << QList<int>{98, 62, 67, 72} << 2 << true
                                         << true << true << true;
}

void TestStatisticsPage::wordingByHardware()
{
    QFETCH(QString, line);
    QFETCH(QString, deviceVersion);
    QFETCH(QList<int>, features);
    QFETCH(int, kind);
    QFETCH(bool, masterSlaveRows);
    QFETCH(bool, moduleRows);
    QFETCH(bool, rows51and52);
    QFETCH(bool, row53);
    handler->setVersion("VR1,BMS2,1," + deviceVersion);
    fx->bits.features = QSet<int>(features.begin(), features.end());
    StatisticsPage& p = *fx->page;
    StatisticsView* v = p.statisticsView();
    p.slotReceivedVersionString(line);
    QCOMPARE(p.hardwareKindCode(), kind);
    for (int row = 40; row <= 44; ++row)
        QCOMPARE(v->isRowHidden(row, QModelIndex()), !masterSlaveRows);
    for (int row = 45; row <= 49; ++row)
        QCOMPARE(v->isRowHidden(row, QModelIndex()), !moduleRows);
    QCOMPARE(v->isRowHidden(51, QModelIndex()), !rows51and52);
    QCOMPARE(v->isRowHidden(52, QModelIndex()), !rows51and52);
    QCOMPARE(v->isRowHidden(53, QModelIndex()), !row53);
    QVERIFY(v->isRowHidden(50, QModelIndex()));
    for (int row = 54; row <= 61; ++row)
        QVERIFY(!v->isRowHidden(row, QModelIndex()));
    QCOMPARE(v->rowDescription(15), moduleRows ? QStringLiteral("Min cell module temperature")
                                               : QStringLiteral("Min Cell Temperature"));
    QCOMPARE(p.eventsView()->eventText(20), moduleRows
                 ? QStringLiteral("Warning: High cell module temperature - reducing power")
                 : QStringLiteral("Warning: High temperature - reducing power"));
}

void TestStatisticsPage::otherHardwareIsExaminedAgain()
{
    StatisticsPage& p = *fx->page;
    StatisticsView* v = p.statisticsView();
    fx->bits.features = {62};
    for (const char* line : {"VR1,LED_TEST,1,1.0", "VR1,BMS2", "XX1,BMS1,1,2.5.0"}) {
        p.slotReceivedVersionString(line);
        QVERIFY(!p.isWordingApplied());
        QCOMPARE(v->rowDescription(23), QStringLiteral("Overheat protection count"));
        QVERIFY(!v->isRowHidden(45, QModelIndex()));
    }
    p.slotReceivedVersionString("VR1,BMS2,1,2.5.0");
    QVERIFY(p.isWordingApplied());
    QCOMPARE(v->rowDescription(23), QStringLiteral("Cell module overheat protection count"));
    // Applied once per connection: a later sentence changes nothing.
    fx->bits.features = {};
    p.slotReceivedVersionString("VR1,BMS2,1,2.5.0");
    QCOMPARE(v->rowDescription(23), QStringLiteral("Cell module overheat protection count"));
}

void TestStatisticsPage::enablingByLinkBootloaderAndAccess()
{
    StatisticsPage& p = *fx->page;
    auto state = [&] {
        return QList<bool>{p.statisticsView()->isEnabled(), p.eventsView()->isEnabled(),
                           p.clearStatisticsButton()->isEnabled(), p.clearEventsButton()->isEnabled()};
    };
    QCOMPARE(state(), (QList<bool>{false, false, false, false}));
    p.setAccessEnabled(true);
    QCOMPARE(state(), (QList<bool>{false, false, false, false}));
    p.connectionStatusChanged(true);
    QCOMPARE(state(), (QList<bool>{true, true, true, true}));
    p.setAccessEnabled(false);
    QCOMPARE(state(), (QList<bool>{true, true, false, false}));
    p.setAccessEnabled(true);

    fx->map.dispatch("SS1,13,0,5,FFFFFFFF");
    fx->map.dispatch("LG1,0,1,FFFFFFFF,0");
    handler->bootMode = true;
    p.connectionStatusChanged(true);
    QCOMPARE(state(), (QList<bool>{false, false, false, false}));
    QVERIFY(p.statisticsView()->keptRowTexts().at(19).isEmpty());
    QVERIFY(p.eventsView()->allText().isEmpty());
}

void TestStatisticsPage::repliesReachTheViewsThroughTheMap()
{
    QVERIFY(fx->map.contains("SS1"));
    QVERIFY(fx->map.contains("LG1"));
    fx->map.dispatch("SS1,13,0,5,FFFFFFFF");
    fx->map.dispatch("LG1,1,16,7FF,0");
    QCOMPARE(fx->page->statisticsView()->keptRowTexts().at(19), QStringLiteral("5 Last event\n"));
    QVERIFY(fx->page->eventsView()->allText().contains("Charger connected\tLast discharge energy 2047 Wh"));
    QVERIFY(fx->page->statisticsView()->isEnabled()); // the parameter enables its widget
}

void TestStatisticsPage::clipboardHoldsShownRowsAndEvents()
{
    StatisticsPage& p = *fx->page;
    fx->bits.features = {};
    p.slotReceivedVersionString("VR1,BMS1,1,2.5.0"); // hides 40..49, 51..53
    fx->map.dispatch("SS1,13,0,5,FFFFFFFF");
    fx->map.dispatch("SS1,28,0,5,FFFFFFFF"); // row 40: hidden
    fx->map.dispatch("SS1,32,1,0,FFFFFFFF"); // the variant byte
    fx->map.dispatch("LG1,0,1,FFFFFFFF,0");
    p.slotCopyToClipboardPressed();
    const QString text = QApplication::clipboard()->text();
    QCOMPARE(text, p.collectText());
    // Rows without a value yet keep a line of their own.
    QVERIFY(text.startsWith("Statistics:\nTotal discharge *: \nTotal charge *: \n"));
    QVERIFY(text.contains("\nCell under-voltage protection count: 5 Last event\n"));
    QVERIFY(!text.contains("Master/Slave configuration error count"));
    QVERIFY(!text.contains("Heater activation count"));
    QVERIFY(text.contains("Cell Wire Break protection count: "));
    const int shownRows = StatisticsView::kRowCount - 1 - 5 - 5 - 3;
    QCOMPARE(text.section("\nEvents:\n", 0, 0).count(": "), shownRows);
    QCOMPARE(text.section("\nEvents:\n", 0, 0).count("\n"), 1 + shownRows);
    QVERIFY(text.endsWith("\nEvents:\n" + p.eventsView()->allText()));
    QVERIFY(text.endsWith(": BMS Started\t\n"));
}

void TestStatisticsPage::clearQuestions()
{
    StatisticsPage& p = *fx->page;
    fx->map.dispatch("LG1,0,1,FFFFFFFF,0");
    fx->map.dispatch("SS1,13,0,5,FFFFFFFF");
    fx->answer = false;
    p.slotClearEventsLogPressed();
    p.slotClearStatisticsPressed();
    QCOMPARE(fx->questions, (QStringList{"Do you really want to clear all log events?",
                                         "Do you really want to clear all statistics?"}));
    QVERIFY(!p.eventsView()->allText().isEmpty());
    fx->answer = true;
    p.slotClearEventsLogPressed();
    p.slotClearStatisticsPressed();
    QVERIFY(p.eventsView()->allText().isEmpty());
    // The statistics stay until the next poll overwrites them.
    QCOMPARE(p.statisticsView()->keptRowTexts().at(19), QStringLiteral("5 Last event\n"));
}

void TestStatisticsPage::exportRefused_data()
{
    QTest::addColumn<bool>("linked");
    QTest::addColumn<QString>("version");
    QTest::newRow("no link") << false << "2.5.0";
    QTest::newRow("bootloader") << true << "boot1.0.3";
    QTest::newRow("LED unit") << true << "LED_1.2";
    QTest::newRow("CAN device") << true << "CAN_2.0";
}

void TestStatisticsPage::exportRefused()
{
    QFETCH(bool, linked);
    QFETCH(QString, version);
    QSettings manual(kStatisticsOrganisation, kManualStatisticsStore);
    manual.clear();
    manual.setValue("Statistics", 0);
    manual.setValue("SS1,00,1,2,00000003", 0);
    transport->linked = linked;
    handler->setVersion("VR1,BMS2,1," + version);
    for (bool automatic : {false, true})
        QVERIFY(!fx->page->exportStatistics(automatic));
    QCOMPARE(fx->page->StatisticsExportFlags, uint8_t(0));
    QCOMPARE(manual.allKeys(), (QStringList{"SS1,00,1,2,00000003", "Statistics"}));
    transport->linked = false;
    manual.clear();
}

QTEST_MAIN(TestStatisticsPage)
#include "tst_statisticspage.moc"
