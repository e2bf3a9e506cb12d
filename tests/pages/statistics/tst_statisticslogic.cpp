// The statistics store's rules: the end of a series, whether a captured
// series is whole, and what an import writes back.
#include "../../params/FeatureSetBitmap.h"
#include "FeatureSupportTable.h"
#include "StatisticsLogic.h"

#include <QSet>
#include <QTest>

using namespace StatisticsLogic;

namespace {
using Bitmap = FeatureSetBitmap;

QString ss1(int index, const QString& rest = "10,2,00000E10")
{
    return QStringLiteral("SS1,%1,%2").arg(index, 2, 16, QLatin1Char('0')).toUpper().arg(rest);
}

QStringList series(int last, const QString& rest = "10,2,00000E10")
{
    QStringList out;
    for (int i = 0; i <= last; ++i)
        out << ss1(i, rest);
    return out;
}

using Sends = StatisticsLogic::Sends;
} // namespace

class TestStatisticsLogic : public QObject
{
    Q_OBJECT
private slots:
    void lastIndexByFeatures_data();
    void lastIndexByFeatures();
    void completeSeries();
    void restore_data();
    void restore();
};

void TestStatisticsLogic::lastIndexByFeatures_data()
{
    QTest::addColumn<QList<int>>("features");
    QTest::addColumn<QString>("version");
    QTest::addColumn<int>("last");
    QTest::newRow("72 first") << QList<int>{72, 19, 62, 96} << "2.5.0" << 53;
    QTest::newRow("19") << QList<int>{19, 62} << "2.5.0" << 52;
    QTest::newRow("62") << QList<int>{62, 96} << "2.5.0" << 49;
    QTest::newRow("96") << QList<int>{96} << "2.5.0" << 44;
    QTest::newRow("96 on 2.1.0_RC1") << QList<int>{96} << "2.1.0_RC12" << 39;
    QTest::newRow("none") << QList<int>{} << "2.5.0" << 39;
}

void TestStatisticsLogic::lastIndexByFeatures()
{
    QFETCH(QList<int>, features);
    QFETCH(QString, version);
    QFETCH(int, last);
    Bitmap bitmap;
    bitmap.features = QSet<int>(features.begin(), features.end());
    FeatureSupportTable table(&bitmap);
    QCOMPARE(lastSs1Index(table, version), last);
}

void TestStatisticsLogic::completeSeries()
{
    QStringList keys = series(53);
    keys << "Statistics" << "SS2,00,1,2,3";
    QVERIFY(isCompleteSeries(keys, "SS1", 53, false));
    QVERIFY(!isCompleteSeries(keys, "SS2", 7, false));
    keys.removeAll(ss1(0x12));
    keys.removeAll(ss1(0x1E));
    QVERIFY(!isCompleteSeries(keys, "SS1", 53, false));
    QVERIFY(isCompleteSeries(keys, "SS1", 53, true)); // never in the automatic store
    keys.removeAll(ss1(3));
    QVERIFY(!isCompleteSeries(keys, "SS1", 53, true)); // a series caught from its middle
}

void TestStatisticsLogic::restore_data()
{
    QTest::addColumn<QStringList>("saved");
    QTest::addColumn<QStringList>("device");
    QTest::addColumn<bool>("clearAdded");
    QTest::addColumn<Sends>("sends");

    QStringList device = series(49);
    device[5] = ss1(5, "10,2,00000E11");
    QTest::newRow("only the time of index 5 differs")
        << series(49) << device << false << Sends{{"SR1,05,10,2,00000E10", ""}};
    QTest::newRow("equal sets send nothing") << series(49) << series(49) << true << Sends{};

    QStringList saved = series(53);
    saved[0x32] = ss1(0x32, "18,0,FFFFFFFF");
    saved[7] = ss1(7, "1,1,00000E10");
    QTest::newRow("variant byte first")
        << saved << series(53) << false
        << Sends{{"SR1,32,18,0,FFFFFFFF", ""}, {"SR1,07,1,1,00000E10", ""}};

    QStringList newer = series(53);
    QTest::newRow("added statistics cleared, 50 included")
        << series(49) << newer << true
        << Sends{{"SR1,32,", "c"}, {"SR1,33,", "c"}, {"SR1,34,", "c"}, {"SR1,35,", "c"}};
    QTest::newRow("no clears without the feature") << series(49) << newer << false << Sends{};

    QStringList gap = series(49);
    gap.removeAll(ss1(4));
    gap.removeAll(ss1(0x12));
    gap.removeAll(ss1(0x1E));
    QTest::newRow("a gap below the saved end is never cleared")
        << gap << series(49) << true << Sends{};

    QStringList withStarts = series(0x1E);
    QTest::newRow("18 and 30 are never cleared")
        << series(0x11) << withStarts << true
        << [] {
               Sends s;
               for (int i = 0x13; i <= 0x1D; ++i)
                   s << qMakePair(QStringLiteral("SR1,%1,").arg(i, 2, 16, QLatin1Char('0')).toUpper(),
                                  QStringLiteral("c"));
               return s;
           }();

    QTest::newRow("SS2 without device sentences is not sent")
        << (series(3) << "SS2,00,5,5,00000001") << series(3) << false << Sends{};
    QTest::newRow("SS2 differing is written back")
        << (series(3) << "SS2,00,5,5,00000001") << (series(3) << "SS2,00,0,0,00000001") << false
        << Sends{{"SR2,00,5,5,00000001", ""}};
}

void TestStatisticsLogic::restore()
{
    QFETCH(QStringList, saved);
    QFETCH(QStringList, device);
    QFETCH(bool, clearAdded);
    QFETCH(Sends, sends);
    QCOMPARE(restoreSentences(saved, device, clearAdded), sends);
}

QTEST_MAIN(TestStatisticsLogic)
#include "tst_statisticslogic.moc"
