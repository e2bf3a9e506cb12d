// The Status page against the control-unit emulator's pack, through the real
// serial transport and protocol handler: the status poller fills the General
// tab, the cells timer runs its cycle while the Cells tab is shown and fills
// the graphs, and unsolicited master/slave data fills the Master/Slave tab.
#include "CCellsGraph.h"
#include "CellStringLayout.h"
#include "GroupedCellsGraph.h"
#include "Param.h"
#include "StatusOverLink.h"
#include "myTabWidget.h"

#include <QLabel>
#include <QTableWidget>
#include <QTest>

namespace {

QString text(const StatusPage& page, const QString& caption)
{
    QString t;
    page.getStatusValueText(caption, t);
    return t;
}

bool isCellQuery(const QString& s)
{
    for (const char* n : {"CMV1,?", "BW1,?", "BV2,?", "BT2,?", "BB2,?", "BT4,?", "BB4,?"})
        if (s == QLatin1String(n))
            return true;
    return false;
}

} // namespace

class TestStatusPageLink : public QObject
{
    Q_OBJECT
private slots:
    void generalTabFromThePoller();
    void cellsCycleFillsTheGraphs();
    void masterSlaveFromTheUnit();
};

void TestStatusPageLink::generalTabFromThePoller()
{
    PackModel pack;
    StatusOverLink rig;
    QVERIFY(rig.start(pack));
    SimLink& link = rig.link;
    StatusFixture& fx = *rig.fx;
    StatusPage& page = rig.page();
    link.sim.clearReceived();

    page.connectionStatusChanged(true);
    QTRY_VERIFY_WITH_TIMEOUT(!page.currentSentenceLoader(), 15000); // one pass, then it ends
    QTRY_COMPARE(text(page, "Cells Communication"), QStringLiteral("OK"));
    QCOMPARE(text(page, "Current"), QStringLiteral("-12.5"));
    QCOMPARE(text(page, "SOC"), QStringLiteral("76.50"));
    const double maxV = text(page, "Max Voltage").toDouble();
    QVERIFY(maxV > 3.25 && maxV < 3.40);
    QCOMPARE(text(page, "Live Cells"), QStringLiteral("64"));
    QCOMPARE(text(page, "Uptime"), QStringLiteral("032:02:45"));
    QVERIFY(!text(page, "BMS Internal Time").isEmpty());
    QCOMPARE(text(page, "Battery Id"), QStringLiteral("DEMO-PACK-01"));
    QCOMPARE(text(page, "Ignition Input"), QStringLiteral("Active"));
    QCOMPARE(text(page, "Distance left"), QStringLiteral("N/A"));
    QCOMPARE(text(page, "Current Sensor State"), QStringLiteral("OK"));

    // One query per bound sentence, never "DB1", and "RS2,?" last.
    const QList<QString> sent = link.sim.goodSentences();
    QVERIFY(!sent.isEmpty());
    QCOMPARE(sent.last(), QStringLiteral("RS2,?"));
    for (const QString& name : fx.map.sentenceNames())
        QCOMPARE(sent.count(name + QStringLiteral(",?")), 1);

    page.connectionStatusChanged(false);
    QCOMPARE(text(page, "Current"), QString());
}

void TestStatusPageLink::cellsCycleFillsTheGraphs()
{
    PackModel pack;
    pack.setLayout(4, 16);
    pack.setCellInvalid(2, 3);
    pack.setWireBroken(1, 5);
    StatusOverLink rig;
    QVERIFY(rig.start(pack));
    SimLink& link = rig.link;
    StatusPage& page = rig.page();
    setCellStringCount(4);
    for (int s = 0; s < 4; ++s)
        setCellsInString(s, 16);
    clearWireBreakMap();

    page.connectionStatusChanged(true);
    QTRY_VERIFY_WITH_TIMEOUT(!page.currentSentenceLoader(), 15000);
    link.sim.clearReceived();

    page.slotConfigParamUpdate(0x0010, 5);
    page.tabs()->setCurrentIndex(1);
    page.slotCurrentPageChanged(0);
    QVERIFY(page.cellsPollTimer()->isActive());
    QTRY_VERIFY_WITH_TIMEOUT(link.sim.goodSentences().size() >= 7, 8000);

    QList<ControlUnitSim::Received> rec;
    for (const auto& r : link.sim.received())
        if (r.good && isCellQuery(r.sentence))
            rec << r;
    QStringList order;
    for (const auto& r : rec)
        order << r.sentence;
    // Without feature 34 the cycle is CMV1, BW1, BV2, BT2, BB2 and again.
    QCOMPARE(order.mid(0, 7), (QStringList{"CMV1,?", "BW1,?", "BV2,?", "BT2,?", "BB2,?", "CMV1,?", "BW1,?"}));
    for (int i = 1; i < rec.size(); ++i) {
        const qint64 gap = rec.at(i).ms - rec.at(i - 1).ms;
        QVERIFY2(gap > 350 && gap < 800, qPrintable(QString::number(gap)));
    }

    // The graphs and summaries of a 4 x 16 pack with one invalid cell and one
    // broken wire.
    QTRY_VERIFY(isValidCellValue(page.voltageGraph()->value(3, 15)));
    const float v = page.voltageGraph()->value(0, 0);
    QVERIFY(v > 3.2f && v < 3.4f);
    QVERIFY(!isValidCellValue(page.voltageGraph()->value(2, 3)));
    QVERIFY(isWireBroken(1, 5));
    QVERIFY(!isWireBroken(1, 4));
    QCOMPARE(cellModuleVersionRaw(1, 16), 121);
    QTRY_VERIFY(page.temperatureGraph()->value(3, 15) > 20.0f);
    QCOMPARE(text(page, "Min Voltage"), QStringLiteral("3.27 V"));
    QCOMPARE(text(page, "Total Voltage"), QStringLiteral("52.77"));
    QVERIFY(page.voltageGraph()->isEnabled());

    // Another page stops the cycle.
    page.slotCurrentPageChanged(2);
    QVERIFY(!page.cellsPollTimer()->isActive());
    QTest::qWait(300);
    link.sim.clearReceived();
    QTest::qWait(1200);
    for (const QString& s : link.sim.goodSentences())
        QVERIFY2(!isCellQuery(s), qPrintable(s));

    // Undocked, the Cells tab keeps its cycle whatever page is shown.
    page.tabs()->setCurrentIndex(1);
    page.tabs()->undockCurrentTab(30);
    QVERIFY(page.cellsPollTimer()->isActive());
    page.tabs()->closeTabWindow(1);
    page.connectionStatusChanged(false);
}

void TestStatusPageLink::masterSlaveFromTheUnit()
{
    PackModel pack;
    pack.setMasterSlaveUnits(3);
    StatusOverLink rig;
    QVERIFY(rig.start(pack));
    SimLink& link = rig.link;
    StatusPage& page = rig.page();

    page.slotReceivedVersionString(link.handler.versionLine());
    QVERIFY(page.tabs()->indexOf(page.masterSlavePage()) >= 0);
    page.slotConfigParamUpdate(0x1600, pack.configValue(0x1600));
    QVERIFY(page.isMasterSlaveActive());
    pack.sendMasterSlave(link.sim);
    QTableWidget* t = page.masterSlaveTableWidget();
    QTRY_COMPARE(t->item(2, 0)->text(), QStringLiteral("502"));
    QCOMPARE(t->item(0, 1)->text(), QStringLiteral("Master"));
    QCOMPARE(t->item(1, 1)->text(), QStringLiteral("Slave"));
    QVERIFY(!t->isRowHidden(2) && t->isRowHidden(3));
    QTRY_COMPARE(page.splitterSerialLabel()->text(), QStringLiteral("123456"));
    QCOMPARE(page.roleLabel()->text(), QStringLiteral("BMS master"));
    // No further data: both views blank after five ticks of 500 ms.
    QTRY_VERIFY_WITH_TIMEOUT(t->isRowHidden(0), 4000);
    QCOMPARE(t->item(2, 0)->text(), QString());
    QTRY_COMPARE(page.splitterSerialLabel()->text(), QString());
}

QTEST_MAIN(TestStatusPageLink)
#include "tst_statuspage_link.moc"
