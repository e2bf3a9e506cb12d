// The CAN Devices section against the emulated control unit: the
// temperature board window of "Advanced configuration...".
#include "CanLinkedPage.h"

#include "TempBreakOutBoardSupport.h"

#include <QTableWidget>

class TestTabCanTempBoardLink : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { prepareCanJobTest(); }
    void advancedConfigurationSwitchesTemperatureBoards();
};

// "Advanced configuration..." opens the temperature board window; the page
// hands it the "CN1" lines, and its jobs reach the boards on the bus.
void TestTabCanTempBoardLink::advancedConfigurationSwitchesTemperatureBoards()
{
    LinkedPage p;
    const int board = p.rig.bus.addDevice(CanBusSim::temperatureBoard(4711, 0));
    p.rig.bus.addDevice(device(1, 0x00AA0001, 0x120, 12)); // not a board
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
    QTRY_COMPARE_WITH_TIMEOUT(rows(), QStringList{"4711 Disabled"}, 20000);
    QTRY_VERIFY_WITH_TIMEOUT(w->enableButton()->isEnabled(), 20000);
    QTest::mouseClick(w->enableButton(), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(rows(), QStringList{"4711 Enabled"}, 20000);
    QCOMPARE(p.rig.bus.device(board).powerState, 1);
    QTRY_VERIFY_WITH_TIMEOUT(w->discoverButton()->isEnabled(), 20000);
    p.rig.alsoLine = nullptr;
}

QTEST_MAIN(TestTabCanTempBoardLink)
#include "tst_tab_can_tempboard_link.moc"
