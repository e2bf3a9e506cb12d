#include "CellStringLayout.h"

#include <QTest>

#include <climits>

class TstCellStringLayout : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        resetCellLayoutForGraph();
        clearWireBreakMap();
    }

    void stringCountAcceptsZeroToThirtyOne_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("expected");
        QTest::newRow("31 stored") << 31 << 31;
        QTest::newRow("0 stored") << 0 << 0;
        QTest::newRow("32 refused") << 32 << 5;
        QTest::newRow("-1 refused") << -1 << 5;
        QTest::newRow("INT_MAX refused") << INT_MAX << 5;
        QTest::newRow("INT_MIN refused") << INT_MIN << 5;
    }
    void stringCountAcceptsZeroToThirtyOne()
    {
        QFETCH(int, count);
        QFETCH(int, expected);
        setCellStringCount(5);
        setCellStringCount(count);
        QCOMPARE(cellStringCount(), expected);
    }

    void cellsInStringNeedTheStringCountFirst()
    {
        setCellsInString(0, 16);
        QCOMPARE(cellsInString(0), 0);
        setCellStringCount(2);
        setCellsInString(0, 16);
        setCellsInString(1, 16);
        setCellsInString(2, 16); // at the count: ignored
        setCellsInString(-1, 16);
        setCellsInString(1, -3);
        QCOMPARE(cellsInString(0), 16);
        QCOMPARE(cellsInString(1), 16);
        QCOMPARE(cellsInString(2), 0);
        QCOMPARE(cellsBeforeString(2), 32);
        QCOMPARE(cellsBeforeString(0), 0);
        QCOMPARE(cellsBeforeString(-5), 0);
    }

    // A device-sized index never reads outside the 32-row table, and an
    // absurd cell count is refused so the pack-wide sums cannot overflow.
    void indicesOutsideTheTablesAreHarmless()
    {
        setCellStringCount(31);
        for (int s = 0; s < 31; ++s)
            setCellsInString(s, 12);
        QCOMPARE(cellsInString(-1), 0);
        QCOMPARE(cellsInString(32), 0);
        QCOMPARE(cellsInString(INT_MAX), 0);
        QCOMPARE(cellsBeforeString(INT_MAX), 31 * 12);

        setCellsInString(3, INT_MAX);
        QCOMPARE(cellsInString(3), 12);
        setCellsInString(3, kMaxCellsInString);
        QCOMPARE(cellsInString(3), kMaxCellsInString);
    }

    void moduleVersions_data()
    {
        QTest::addColumn<int>("string");
        QTest::addColumn<int>("position");
        QTest::addColumn<int>("version");
        QTest::addColumn<int>("raw");
        QTest::addColumn<float>("shown");
        QTest::newRow("100 reads 1.00") << 0 << 5 << 100 << 100 << 1.0f;
        QTest::newRow("254 stored") << 1 << 8217 << 254 << 254 << 2.54f;
        QTest::newRow("99 never stored") << 0 << 5 << 99 << 255 << 2.55f;
        QTest::newRow("255 never stored") << 0 << 5 << 255 << 255 << 2.55f;
        QTest::newRow("position past table") << 0 << 8218 << 120 << 0 << 0.0f;
        QTest::newRow("negative position") << 0 << -1 << 120 << 0 << 0.0f;
        QTest::newRow("string at the count") << 2 << 5 << 120 << 0 << 0.0f;
        QTest::newRow("negative string") << -1 << 5 << 120 << 0 << 0.0f;
    }
    void moduleVersions()
    {
        QFETCH(int, string);
        QFETCH(int, position);
        QFETCH(int, version);
        QFETCH(int, raw);
        QFETCH(float, shown);
        setCellStringCount(2);
        setCellModuleVersion(string, position, version);
        QCOMPARE(cellModuleVersionRaw(string, position), raw);
        QCOMPARE(cellModuleVersion(string, position), shown);
    }

    // The string index only gates the write: versions are pack-wide.
    void versionTableIsSharedByAllStrings()
    {
        setCellStringCount(2);
        setCellModuleVersion(1, 20, 123);
        QCOMPARE(cellModuleVersionRaw(0, 20), 123);
        resetCellLayoutForGraph();
        setCellStringCount(1);
        QCOMPARE(cellModuleVersionRaw(0, 20), 255);
    }

    void wireBreakWords()
    {
        setCellStringCount(2);
        setWireBreakWord(1, 0, 0x5u);
        setWireBreakWord(1, 7, 0x80000000u);
        setWireBreakWord(1, 8, 0xFFFFFFFFu);   // past the map: ignored
        setWireBreakWord(1, -1, 0xFFFFFFFFu);  // ignored
        setWireBreakWord(2, 0, 0xFFFFFFFFu);   // string at the count: ignored
        setWireBreakWord(INT_MAX, 0, 0xFFFFFFFFu);
        QCOMPARE(wireBreakWord(1, 0), 0x5u);
        QVERIFY(isWireBroken(1, 0));
        QVERIFY(!isWireBroken(1, 1));
        QVERIFY(isWireBroken(1, 2));
        QVERIFY(isWireBroken(1, 255));
        QVERIFY(!isWireBroken(1, 256));
        QVERIFY(!isWireBroken(1, -1));
        QCOMPARE(wireBreakWord(1, 8), 0u);
        QCOMPARE(wireBreakWord(2, 0), 0u);
        QCOMPARE(wireBreakWord(0, 0), 0u);

        clearWireBreakMap();
        for (int s = 0; s < 2; ++s)
            for (int w = 0; w < kWireBreakWords * 32; ++w)
                QVERIFY(!isWireBroken(s, w));
    }

    void invalidThreshold()
    {
        QVERIFY(isValidCellValue(-10000.0f));
        QVERIFY(!isValidCellValue(-10000.5f));
        QVERIFY(!isValidCellValue(INVALID_CELL_VALUE));
        QVERIFY(isValidCellValue(0.0f));
    }
};

QTEST_APPLESS_MAIN(TstCellStringLayout)
#include "tst_cellstringlayout.moc"
