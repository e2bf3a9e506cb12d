#include "CellStringLayout.h"
#include "Communicator.h"
#include "ConfigPage.h"
#include "FeatureSupportTable.h"
#include "SentenceMaps.h"

#include <QTest>

#include <memory>

// The pack's cell layout follows the unit's 0x0013 (strings) and 0x0100
// (cells in the pack) values, whichever arrived last.
class TestConfigPageLayout : public QObject
{
    Q_OBJECT

private slots:
    void layoutFollowsStringsAndCells_data()
    {
        QTest::addColumn<QStringList>("replies");
        QTest::addColumn<int>("strings");
        QTest::addColumn<int>("cells");
        QTest::newRow("no strings is one string") << QStringList{"CF2,0013,00", "CF2,0100,0010"} << 1 << 16;
        QTest::newRow("remainder dropped") << QStringList{"CF2,0013,03", "CF2,0100,000A"} << 3 << 3;
        QTest::newRow("cells first") << QStringList{"CF2,0100,0040", "CF2,0013,04"} << 4 << 16;
        QTest::newRow("too many strings keep the count")
            << QStringList{"CF2,0013,02", "CF2,0100,0010", "CF2,0013,40"} << 2 << 0;
        QTest::newRow("huge values stay in the tables")
            << QStringList{"CF2,0013,01", "CF2,0100,FFFFFFFF"} << 1 << kMaxCellsInString;
    }
    void layoutFollowsStringsAndCells()
    {
        QFETCH(QStringList, replies);
        QFETCH(int, strings);
        QFETCH(int, cells);
        // One page for all rows: both values back to the 0 a new page holds.
        if (!m_page)
            m_page.reset(new ConfigPage(&m_root, &m_idle, nullptr, &m_features));
        m_page->receiveSentence("CF2,0013,00");
        m_page->receiveSentence("CF2,0100,0000");
        setCellStringCount(0);
        for (const QString& r : replies)
            m_page->receiveSentence(r);
        QCOMPARE(cellStringCount(), strings);
        QCOMPARE(cellsInString(0), cells);
        QCOMPARE(cellsInString(strings - 1), cells);
    }
    void cleanupTestCase() { m_page.reset(); }

private:
    CSntcMap m_root;
    Communicator m_idle;
    FeatureSupportTable m_features;
    std::unique_ptr<ConfigPage> m_page;
};

QTEST_MAIN(TestConfigPageLayout)
#include "tst_configpage_layout.moc"
