#include "FeatureSupportTable.h"
#include "TestSinks.h"

#include <QSet>
#include <QTest>

class TestFeatureTable : public QObject
{
    Q_OBJECT

private slots:
    void parseVersion_data();
    void parseVersion();
    void compiledRows();
    void byVersion_data();
    void byVersion();
    void bitmap_data();
    void bitmap();
    void bitmapAbsentOrInvalidFallsBackToRows();
    void featureIdMinusOne();
};

void TestFeatureTable::parseVersion_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<uint>("number");
    QTest::newRow("RC") << "2.0.19_RC7" << 2001907u;
    QTest::newRow("test build with edition") << "2.1.0_Test1_SpecialCase5" << 2010000u;
    QTest::newRow("four parts") << "2.0.21.2" << 2002100u;
    QTest::newRow("four parts, last zero") << "2.0.21.0" << 2002100u;
    QTest::newRow("2.1.4.2") << "2.1.4.2" << 2010400u;
    QTest::newRow("RC and edition") << "2.0.19_RC3_SpecialCase9" << 2001903u;
    QTest::newRow("four parts with edition") << "2.0.21.0_SpecialCase8" << 2002100u;
    QTest::newRow("four parts, RC in the last") << "2.1.2.0_RC4" << 2010204u;
    QTest::newRow("two parts") << "2.0" << 0u;
    QTest::newRow("five parts") << "2.0.1.2.3" << 0u;
    QTest::newRow("empty") << "" << 0u;
    QTest::newRow("RC without number") << "2.0.19_RCx_A" << 2001900u;
    QTest::newRow("single RC piece alone is no RC") << "2.0.RC5" << 2000000u;
    QTest::newRow("not numbers") << "a.b.c" << 0u;
}

void TestFeatureTable::parseVersion()
{
    QFETCH(QString, text);
    QFETCH(uint, number);
    QCOMPARE(parseFirmwareVersion(text), number);
}

void TestFeatureTable::compiledRows()
{
    FeatureSupportTable table;
    const auto& rows = table.rows();
    QCOMPARE(rows.size(), 122);
    QSet<int> ids;
    for (auto it = rows.cbegin(); it != rows.cend(); ++it)
        ids.insert(it.key());
    QCOMPARE(ids.size(), 118);
    for (int id = 0; id <= 115; ++id)
        QVERIFY2(ids.contains(id), qPrintable(QString::number(id)));
    QVERIFY(ids.contains(143) && ids.contains(149));
    for (int id : {72, 78, 79, 81})
        QCOMPARE(rows.count(id), 2);
    const FeatureSupportRecord r105 = rows.value(105);
    QCOMPARE(r105.firstVersion, QString("2.1.27.0"));
    QCOMPARE(r105.requiredEditions, QString("Reririd,vUROD"));
    const FeatureSupportRecord r114 = rows.value(114);
    QCOMPARE(r114.excludedVersions, QString("2.1.26"));
    const FeatureSupportRecord r49 = rows.value(49);
    QCOMPARE(r49.firstVersion, QString("2.0.21.2"));
    QCOMPARE(r49.endVersion, QString("2.5.0.0"));
}

void TestFeatureTable::byVersion_data()
{
    QTest::addColumn<int>("id");
    QTest::addColumn<QString>("version");
    QTest::addColumn<bool>("supported");

    QTest::newRow("end is exclusive") << 11 << "2.0.19_RC7" << false;
    QTest::newRow("first is inclusive") << 12 << "2.0.19_RC7" << true;
    QTest::newRow("2.0 bound mapped onto 2.1") << 3 << "2.1.4.2" << true;
    QTest::newRow("2.0 bound mapped, below") << 3 << "2.1.3" << false;
    QTest::newRow("2.0 line") << 3 << "2.0.21.0" << true;
    QTest::newRow("release after a test row") << 7 << "2.1.0" << true;
    QTest::newRow("test build above a 2.0 row") << 17 << "2.1.0_Test3" << true;
    QTest::newRow("edition 8 refused for Redazad") << 1 << "2.0.21.0_Redazad" << false;
    QTest::newRow("edition 8 otherwise") << 1 << "2.0.21.0" << true;
    QTest::newRow("edition 9 with Redazad") << 39 << "2.0.19_RC3_Redazad" << true;
    QTest::newRow("edition 9 with Revov") << 39 << "2.0.19_RC3_Revov" << true;
    QTest::newRow("edition 9 without") << 39 << "2.0.19_RC3" << false;
    QTest::newRow("excluded version") << 114 << "2.1.26.0" << false;
    QTest::newRow("not excluded") << 114 << "2.1.27.0" << true;
    QTest::newRow("required edition missing") << 105 << "2.1.27.0" << false;
    QTest::newRow("required edition Reririd") << 105 << "2.1.27.0_Reririd" << true;
    QTest::newRow("required edition vUROD") << 105 << "2.1.27.0_vUROD" << true;
    QTest::newRow("id without rows") << 116 << "2.7.5.23" << false;
    QTest::newRow("every version from 2.0.0") << 0 << "2.0.0" << true;
    QTest::newRow("older than 2.0.0") << 0 << "1.9.3" << false;
    QTest::newRow("two rows: first accepts") << 72 << "2.0.21.2" << true;
    QTest::newRow("two rows: both refuse") << 72 << "2.1.3.0" << false;
    QTest::newRow("two rows: second accepts") << 78 << "2.0.23.0" << true;
    QTest::newRow("2.0.6 without Eltek") << 29 << "2.0.6" << false;
    QTest::newRow("2.0.6 for Eltek") << 29 << "2.0.6_eltek" << true;
    QTest::newRow("2.0.7 without Eltek") << 29 << "2.0.7.0" << false;
    QTest::newRow("2.0.10 plain") << 29 << "2.0.10" << true;
    QTest::newRow("test 8 refused by test 1 edition 5") << 94 << "2.1.0_Test8" << false;
    QTest::newRow("test 9 with test 1 edition 5") << 94 << "2.1.0_Test9" << true;
    QTest::newRow("edition 6 only for test 8") << 95 << "2.1.0_Test9" << false;
    QTest::newRow("edition 6 for test 8") << 95 << "2.1.0_Test8" << true;
    QTest::newRow("test 8 refused by test 6") << 8 << "2.1.0_Test8" << false;
    QTest::newRow("early test refused by 2.0.17_RC1_SpecialCase1") << 52 << "2.1.0_Test4" << false;
    QTest::newRow("later test accepted by 2.0.17_RC1_SpecialCase1") << 52 << "2.1.0_Test5" << true;
    QTest::newRow("edition 3 refused for test 8") << 42 << "2.1.0_Test8" << false;
    QTest::newRow("edition 3 for test 9") << 42 << "2.1.0_Test9" << true;
    QTest::newRow("2.0.18 row refuses 2.1.0") << 56 << "2.1.0" << false;
    QTest::newRow("2.0.18 row refuses 2.0.16_RC6_Test") << 56 << "2.0.16_RC6_Test2" << false;
    QTest::newRow("2.1.0_RC1 refused by test 13") << 91 << "2.1.0_RC1" << false;
    QTest::newRow("2.1.0_RC2 with test 13") << 91 << "2.1.0_RC2" << true;
    QTest::newRow("edition 11 needs Vivivado") << 86 << "2.1.2_RC15" << false;
    QTest::newRow("edition 11 with Vivivado") << 86 << "2.1.2_RC15_Vivivado" << true;
    QTest::newRow("newest row") << 149 << "2.7.5.23" << true;
    QTest::newRow("newest row, older unit") << 149 << "2.7.5.22" << true; // last part does not count
    QTest::newRow("newest row, 2.7.4") << 149 << "2.7.4.99" << false;
}

void TestFeatureTable::byVersion()
{
    QFETCH(int, id);
    QFETCH(QString, version);
    QFETCH(bool, supported);
    FeatureSupportTable table;
    QCOMPARE(table.isSupportedByVersion(id, version), supported);
    QCOMPARE(table.isFeatureSupported(id, version), supported); // no bitmap: the rows decide
}

void TestFeatureTable::bitmap_data()
{
    QTest::addColumn<int>("id");
    QTest::addColumn<bool>("supported");
    // Words 0x80000001, 0x80000001: bits 0, 31, 32 and 63.
    QTest::newRow("0") << 0 << true;
    QTest::newRow("1 (the rows would say yes)") << 1 << false;
    QTest::newRow("31") << 31 << true;
    QTest::newRow("32") << 32 << true;
    QTest::newRow("33") << 33 << false;
    QTest::newRow("63") << 63 << true;
    QTest::newRow("64: word not sent") << 64 << false;
    QTest::newRow("149: word not sent") << 149 << false;
    QTest::newRow("-2") << -2 << false;
}

void TestFeatureTable::bitmap()
{
    QFETCH(int, id);
    QFETCH(bool, supported);
    FakeFeatureBitmap bitmap;
    bitmap.valid = true;
    bitmap.words = {0x80000001u, 0x80000001u};
    FeatureSupportTable table(&bitmap);
    // A 2.0.0 unit: the rows would refuse ids 31, 32 and 63 and accept id 1.
    QCOMPARE(table.isFeatureSupported(id, "2.0.0"), supported);
    QCOMPARE(table.isFeatureReportedByDevice(id), supported);
}

void TestFeatureTable::bitmapAbsentOrInvalidFallsBackToRows()
{
    FakeFeatureBitmap bitmap;
    bitmap.words = {0u, 0u};
    FeatureSupportTable table; // no source at all
    QVERIFY(table.isFeatureSupported(1, "2.0.21.0"));
    QVERIFY(!table.isFeatureReportedByDevice(1));
    table.setBitmapSource(&bitmap); // a source without a valid bitmap
    QVERIFY(table.isFeatureSupported(1, "2.0.21.0"));
    QVERIFY(!table.isFeatureReportedByDevice(1));
    bitmap.valid = true;
    QVERIFY(!table.isFeatureSupported(1, "2.0.21.0"));
    QVERIFY(table.isSupportedByVersion(1, "2.0.21.0")); // the rows alone ignore the bitmap
}

void TestFeatureTable::featureIdMinusOne()
{
    FakeFeatureBitmap bitmap;
    bitmap.valid = true;
    bitmap.words = {0xFFFFFFFFu};
    FeatureSupportTable table(&bitmap);
    QVERIFY(!table.isFeatureSupported(kUnsupportedFeature, "2.7.5.23"));
    QVERIFY(!table.isFeatureReportedByDevice(kUnsupportedFeature));
    table.setBitmapSource(nullptr);
    QVERIFY(!table.isFeatureSupported(kUnsupportedFeature, "2.7.5.23"));
    QVERIFY(!requiresFeature(kNoFeature));
    QVERIFY(requiresFeature(0));
}

QTEST_APPLESS_MAIN(TestFeatureTable)
#include "tst_featuretable.moc"
