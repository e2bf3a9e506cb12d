// The two views of the Statistics page fed with "LG1" and "SS1" replies as
// the sentence dispatch hands them over (the text after the name's comma).
#include "MyEventsView.h"
#include "StatisticsView.h"

#include <QDateTime>
#include <QLocale>
#include <QStandardItemModel>
#include <QTest>

namespace {
QString cell(QStandardItemModel* m, int row, int column)
{
    const QStandardItem* item = m->item(row, column);
    return item ? item->data(Qt::DisplayRole).toString() : QString();
}

QString shortDate(int y, int mo, int d)
{
    return QLocale::system().toString(QDate(y, mo, d), QLocale::ShortFormat);
}
} // namespace

class TestStatisticsViews : public QObject
{
    Q_OBJECT
private slots:
    void eventReplies_data();
    void eventReplies();
    void eventInfo_data();
    void eventInfo();
    void eventRewriteKeepsTheCopyOfLaterRows();
    void eventTextReplacedForLaterRows();

    void statisticReplies_data();
    void statisticReplies();
    void variantByteSelectsLargeUnits();
    void cellVoltageOffsetBySCiBOrLto();
    void malformedStatisticsChangeNothing();
    void clearValuesEmptiesRowsAndCopies();
};

void TestStatisticsViews::eventReplies_data()
{
    QTest::addColumn<QString>("reply");
    QTest::addColumn<int>("rows");     // after the reply, on a view holding row 0
    QTest::addColumn<int>("copyLines");

    QTest::newRow("index 5 fills 0..4 empty") << "5,1,0,0" << 6 << 6;
    QTest::newRow("code 41 hex (65) ignored") << "1,41,0,0" << 1 << 1;
    QTest::newRow("three fields ignored") << "1,1,0" << 1 << 1;
    QTest::newRow("five fields ignored") << "1,1,0,0,0" << 1 << 1;
    QTest::newRow("negative index ignored") << "-1,1,0,0" << 1 << 1;
    QTest::newRow("index not hex ignored") << "G,1,0,0" << 1 << 1;
    QTest::newRow("time above 32 bits ignored") << "1,1,0,100000000" << 1 << 1;
    QTest::newRow("parameter not hex still adds") << "1,17,XYZ,0" << 2 << 2;
    QTest::newRow("index at the cap") << "FFFF,1,0,0" << 0x10000 << 0x10000;
    QTest::newRow("index beyond the cap ignored") << "10000,1,0,0" << 1 << 1;
    QTest::newRow("damaged huge index ignored") << "7FFFFFFF,1,0,0" << 1 << 1;
    QTest::newRow("empty reply empties the log") << "" << 0 << 0;
}

void TestStatisticsViews::eventReplies()
{
    QFETCH(QString, reply);
    QFETCH(int, rows);
    QFETCH(int, copyLines);
    MyEventsView view;
    view.updateEvents("0,1,FFFFFFFF,0");
    QCOMPARE(view.eventModel()->rowCount(), 1);
    view.updateEvents(reply);
    QCOMPARE(view.eventModel()->rowCount(), rows);
    QCOMPARE(view.keptRowTexts().size(), copyLines);

    if (reply == "5,1,0,0") {
        const QDateTime start(QDate(2000, 1, 1), QTime(0, 0), Qt::UTC);
        QCOMPARE(view.eventModel()->item(5, 0)->data(Qt::DisplayRole).toDateTime(), start);
        QCOMPARE(cell(view.eventModel(), 5, 1), QStringLiteral("BMS Started"));
        QVERIFY(!view.eventModel()->item(3, 1)); // rows between stay empty
        QCOMPARE(view.keptRowTexts().at(5), start.toString(Qt::TextDate) + ": BMS Started\t\n");
        QCOMPARE(view.eventModel()->item(5, 1)->flags(), Qt::ItemIsEnabled);
    }
}

void TestStatisticsViews::eventInfo_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("parameter");
    QTest::addColumn<QString>("info");
    QTest::newRow("charger connected, Wh") << 22 << "7FF" << "Last discharge energy 2047 Wh";
    QTest::newRow("charger connected, kWh") << 22 << "800123" << "Last discharge energy 291 kWh";
    QTest::newRow("charger disconnected, kWh") << 23 << "800005" << "Last charge energy 5 kWh";
    QTest::newRow("all F: no value") << 23 << "FFFFFF" << "";
    QTest::newRow("empty") << 23 << "" << "";
    QTest::newRow("not hex") << 23 << "12Q" << "";
    QTest::newRow("other code") << 1 << "7FF" << "";
    QTest::newRow("code 21") << 21 << "7FF" << "";
}

void TestStatisticsViews::eventInfo()
{
    QFETCH(int, code);
    QFETCH(QString, parameter);
    QFETCH(QString, info);
    MyEventsView view;
    QCOMPARE(view.eventInfoText(code, parameter), info);
    view.updateEvents(QStringLiteral("0,%1,%2,E10").arg(code, 0, 16).arg(parameter));
    QCOMPARE(cell(view.eventModel(), 0, 2), info);
    QVERIFY(view.allText().endsWith("\t" + info + "\n"));
}

void TestStatisticsViews::eventRewriteKeepsTheCopyOfLaterRows()
{
    MyEventsView view;
    for (int i = 0; i < 10; ++i)
        view.updateEvents(QStringLiteral("%1,1,0,%2").arg(i, 0, 16).arg(i * 60, 0, 16));
    view.updateEvents("4,16,7FF,0");
    QCOMPARE(view.eventModel()->rowCount(), 10);
    QCOMPARE(cell(view.eventModel(), 4, 1), QStringLiteral("Charger connected"));
    // The copy holds what the view shows: ten lines, row 4 rewritten.
    const QStringList lines = view.allText().split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 10);
    QVERIFY(lines.at(4).contains("Charger connected\tLast discharge energy 2047 Wh"));
    QVERIFY(lines.at(9).contains("BMS Started"));
}

void TestStatisticsViews::eventTextReplacedForLaterRows()
{
    MyEventsView view;
    view.updateEvents("0,C,0,0");
    view.setEventText(12, "Cell module temperature critically high");
    view.updateEvents("1,C,0,0");
    QCOMPARE(cell(view.eventModel(), 0, 1), QStringLiteral("Cells temperature critically high"));
    QCOMPARE(cell(view.eventModel(), 1, 1), QStringLiteral("Cell module temperature critically high"));
}

void TestStatisticsViews::statisticReplies_data()
{
    QTest::addColumn<QString>("reply");
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("info");

    const QString at1h = shortDate(2000, 1, 1) + " at 01:00:00";
    QTest::newRow("charge energy Wh") << "03,1F4,0,FFFFFFFF" << 3 << "500 Wh" << "";
    QTest::newRow("charge time s") << "04,E10,0,FFFFFFFF" << 4 << "3600 s" << "";
    QTest::newRow("charge Ah") << "01,64,0,FFFFFFFF" << 1 << "100 Ah" << "";
    QTest::newRow("distance") << "06,2A,0,FFFFFFFF" << 6 << "42 pulses" << "";
    QTest::newRow("current") << "08,7B,0,FFFFFFFF" << 8 << "12.3 A" << "";
    QTest::newRow("min cell voltage, cell 4") << "0A,96,3,FFFFFFFF" << 10 << "3.50 V" << "On cell# 4";
    QTest::newRow("cell voltage diff") << "0C,7B,0,FFFFFFFF" << 12 << "1.23 V" << "";
    QTest::newRow("pack voltage") << "0D,1388,0,FFFFFFFF" << 13 << "50.00 V" << "";
    QTest::newRow("temperature") << "0F,7D,0,00000E10" << 15 << "25 °C" << "On cell# 1 on " + at1h;
    QTest::newRow("temperature all F") << "0F,FF,0,FFFFFFFF" << 15 << "" << "On cell# 1";
    QTest::newRow("temperature below zero") << "10,5A,1,FFFFFFFF" << 16 << "-10 °C" << "On cell# 2";
    QTest::newRow("temperature difference") << "11,7,0,FFFFFFFF" << 17 << "7 °C" << "";
    QTest::newRow("power-up count") << "12,0,2A,00000E10" << 18 << "42" << "Last power-up on " + at1h;
    QTest::newRow("event count with time") << "13,0,0000000C,00000E10" << 19 << "12" << "Last event on " + at1h;
    QTest::newRow("event count all F") << "13,0,FFFFFFFF,FFFFFFFF" << 19 << "0" << "";
    QTest::newRow("event count not hex") << "13,0,ZZ,00000E10" << 19 << "" << "";
    QTest::newRow("count without prefix, time only") << "1D,0,5,00000E10" << 29 << "5" << "On " + at1h;
    QTest::newRow("time of 7 digits") << "13,0,1,0000E10" << 19 << "1" << "Last event";
    QTest::newRow("time of 9 digits") << "13,0,1,000000E10" << 19 << "1" << "Last event";
    QTest::newRow("value not hex") << "08,XY,0,FFFFFFFF" << 8 << "" << "";
    QTest::newRow("row 61") << "3D,0,3,FFFFFFFF" << 61 << "3" << "Last event";
}

void TestStatisticsViews::statisticReplies()
{
    QFETCH(QString, reply);
    QFETCH(int, row);
    QFETCH(QString, value);
    QFETCH(QString, info);
    StatisticsView view;
    view.setContext({[] { return QStringLiteral("2.1.4.2"); }, [] { return false; }});
    view.updateStatistics(reply);
    QCOMPARE(cell(view.statisticsModel(), row, 1), value);
    QCOMPARE(cell(view.statisticsModel(), row, 2), info);
    QCOMPARE(view.keptRowTexts().at(row), value + " " + info + "\n");
}

void TestStatisticsViews::variantByteSelectsLargeUnits()
{
    StatisticsView view;
    view.updateStatistics("03,1F4,0,FFFFFFFF");
    QCOMPARE(cell(view.statisticsModel(), 3, 1), QStringLiteral("500 Wh"));
    view.updateStatistics("32,18,0,FFFFFFFF"); // bits 3 and 4
    QCOMPARE(view.variantByte(), uint8_t(0x18));
    QVERIFY(cell(view.statisticsModel(), 50, 1).isEmpty());
    QVERIFY(view.keptRowTexts().at(50).isEmpty());
    view.updateStatistics("03,1F4,0,FFFFFFFF");
    QCOMPARE(cell(view.statisticsModel(), 3, 1), QStringLiteral("5.00 kWh"));
    view.updateStatistics("04,E10,0,FFFFFFFF");
    QCOMPARE(cell(view.statisticsModel(), 4, 1), QStringLiteral("10.00 h"));
    view.updateStatistics("00,1F4,0,FFFFFFFF"); // bit 0 clear
    QCOMPARE(cell(view.statisticsModel(), 0, 1), QStringLiteral("500 Ah"));
    view.updateStatistics("32,ZZ,0,FFFFFFFF"); // does not read: all small units
    view.updateStatistics("03,1F4,0,FFFFFFFF");
    QCOMPARE(cell(view.statisticsModel(), 3, 1), QStringLiteral("500 Wh"));
}

void TestStatisticsViews::cellVoltageOffsetBySCiBOrLto()
{
    StatisticsView view;
    QString version = "2.1.4.2";
    bool lto = false;
    view.setContext({[&] { return version; }, [&] { return lto; }});
    QCOMPARE(view.formatValue(10, "96", "3"), QStringLiteral("3.50 V"));
    version = "2.3.0_SCiB";
    QCOMPARE(view.formatValue(11, "96", "3"), QStringLiteral("2.50 V"));
    version = "2.1.4.2";
    lto = true;
    QCOMPARE(view.formatValue(10, "96", "3"), QStringLiteral("2.50 V"));
}

void TestStatisticsViews::malformedStatisticsChangeNothing()
{
    StatisticsView view;
    view.updateStatistics("13,0,5,FFFFFFFF");
    const QStringList before = view.keptRowTexts();
    for (const char* reply : {"3E,0,5,FFFFFFFF", "13,0,6,FFFFFFFF,0", "13,0,6", "-1,0,6,FFFFFFFF", "QQ,0,6,FFFFFFFF",
                              ""})
        view.updateStatistics(reply);
    QCOMPARE(view.keptRowTexts(), before);
    QCOMPARE(view.statisticsModel()->rowCount(), StatisticsView::kRowCount);
    QVERIFY(view.isRowHidden(StatisticsView::kVariantRow, QModelIndex()));
}

void TestStatisticsViews::clearValuesEmptiesRowsAndCopies()
{
    StatisticsView view;
    view.updateStatistics("13,0,5,00000E10");
    view.setRowDescription(23, "Cell module overheat protection count");
    view.clearValues();
    QVERIFY(cell(view.statisticsModel(), 19, 1).isEmpty());
    QVERIFY(cell(view.statisticsModel(), 19, 2).isEmpty());
    QVERIFY(view.keptRowTexts().at(19).isEmpty());
    QCOMPARE(view.keptRowTexts().size(), StatisticsView::kRowCount);
    QCOMPARE(cell(view.statisticsModel(), 23, 0), QStringLiteral("Cell module overheat protection count"));
    QCOMPARE(view.rowDescription(23), QStringLiteral("Cell module overheat protection count"));
}

QTEST_MAIN(TestStatisticsViews)
#include "tst_statisticsviews.moc"
