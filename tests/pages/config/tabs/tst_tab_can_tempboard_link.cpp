// The CAN Devices section against the emulated control unit and its default
// CAN bus: the temperature board window of "Advanced configuration...".
#include "CanLinkedPage.h"

#include "EmulatedBus.h"

#include "TempBreakOutBoardSupport.h"

#include <QTableWidget>

class TestTabCanTempBoardLink : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { prepareCanJobTest(); }
    void advancedConfigurationSwitchesTemperatureBoards();
    void boardDiscoveryRefusedDuringDeviceDiscovery();
};

// "Advanced configuration..." opens the temperature board window; the page
// hands it the "CN1" lines, and its jobs reach the boards on the bus.
void TestTabCanTempBoardLink::advancedConfigurationSwitchesTemperatureBoards()
{
    LinkedPage p;
    const EmulatedBus::Devices unit = EmulatedBus::populate(p.rig.bus);
    const int board = unit.temperatureBoard;
    QVERIFY(p.start());
    ConfigPage* page = p.f.page.get();
    TempBreakOutBoardSupport* w = page->tempBoardWindow;
    QVERIFY(w);
    w->setLink(std::make_unique<HandlerCanLink>([&p] { return &p.rig.link.handler; }, [](int) { return 0u; }));
    p.rig.alsoLine = [page](const QString& line) { page->receiveSentence(line); };
    QVERIFY(!w->isVisible());
    QTest::mouseClick(page->advancedButton, Qt::LeftButton);
    QVERIFY(w->isVisible());

    auto rows = [w] {
        QStringList list;
        for (int r = 0; r < w->table()->rowCount(); ++r)
            list << w->table()->item(r, 0)->text() + " " + w->table()->item(r, 1)->text();
        return list;
    };
    QTest::mouseClick(w->discoverButton(), Qt::LeftButton);
    // Only the board among the devices.
    QTRY_COMPARE_WITH_TIMEOUT(rows(), QStringList{"50001 Disabled"}, 20000);
    QTRY_VERIFY_WITH_TIMEOUT(w->enableButton()->isEnabled(), 20000);
    QTest::mouseClick(w->enableButton(), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(rows(), QStringList{"50001 Enabled"}, 20000);
    QCOMPARE(p.rig.bus.device(board).powerState, 1);
    QTRY_VERIFY_WITH_TIMEOUT(w->discoverButton()->isEnabled(), 20000);
    p.rig.alsoLine = nullptr;
}

// The unit's configuration mode has one holder: the temperature board
// window's "Discover devices" during the page's discovery is refused with a
// word, sends nothing, and the discovery goes on to find its devices.
void TestTabCanTempBoardLink::boardDiscoveryRefusedDuringDeviceDiscovery()
{
    LinkedPage p;
    const EmulatedBus::Devices unit = EmulatedBus::populate(p.rig.bus);
    QVERIFY(p.start());
    ConfigPage* page = p.f.page.get();
    TempBreakOutBoardSupport* w = page->tempBoardWindow;
    w->setLink(std::make_unique<HandlerCanLink>([&p] { return &p.rig.link.handler; }, [](int) { return 0u; }));
    QStringList refusals;
    w->setRefusalReporter([&refusals](const QString& text) {
        testkit::holdLikeABox();
        refusals << text;
    });
    p.rig.alsoLine = [page](const QString& line) { page->receiveSentence(line); };
    QTest::mouseClick(page->advancedButton, Qt::LeftButton);
    p.load({});

    p.status.clear();
    QTest::mouseClick(page->discoverButton, Qt::LeftButton);
    QVERIFY(p.rig.cc->isBusy());
    p.rig.link.sim.clearReceived();
    QTest::mouseClick(w->discoverButton(), Qt::LeftButton);
    QCOMPARE(refusals, QStringList{"Another CAN device operation is running.\nTry again when it has finished."});
    QVERIFY(w->discoverButton()->isEnabled());
    QCOMPARE(p.waitEnd(CanOpDiscovery), int(CanOpFinished));
    p.rig.cc->hideProgress();
    for (const QString& s : p.rig.link.sim.goodSentences())
        QVERIFY2(!s.startsWith("CM1,1"), qPrintable(s));
    // Every device found, the modules with their cells.
    QCOMPARE(p.rig.cc->discoverListSize(), p.rig.bus.deviceCount());
    QStringList found;
    for (int i = 0; i < p.rig.cc->discoverListSize(); ++i) {
        quint16 type = 0;
        quint32 serial = 0, version = 0, base = 0;
        quint8 cells = 0;
        QVERIFY(p.rig.cc->discoverListEntry(quint8(i), type, serial, version, base, cells));
        found << QStringLiteral("%1:%2").arg(serial).arg(cells);
    }
    QVERIFY2(found.contains("20001:16") && found.contains("30001:16"), qPrintable(found.join(' ')));

    // The bus is free again: the window's own discovery runs.
    QTest::mouseClick(w->discoverButton(), Qt::LeftButton);
    QCOMPARE(refusals.size(), 1);
    QTRY_COMPARE_WITH_TIMEOUT(w->table()->rowCount(), 1, 20000);
    p.rig.alsoLine = nullptr;
}

QTEST_MAIN(TestTabCanTempBoardLink)
#include "tst_tab_can_tempboard_link.moc"
