// The Reductions tab: its four flags, the 1600 A current limit, and the
// caption and fourth block that change with the firmware range.
#include "LimitTabProbe.h"

#include "Tip.h"

using namespace LimitTabProbe;

namespace {
const QString kTitle = QStringLiteral("Reduction");
}

class TestTabReductions : public QObject
{
    Q_OBJECT
private slots:
    void init() { m_pages.startRow(); }
    void cleanupTestCase() { m_pages.release(); }
    void flags_data();
    void flags();
    void editorsFitTheirWords();
    void encodings_data();
    void encodings();
    void firmwareRanges_data();
    void firmwareRanges();

private:
    PagePerFunction<PageFixture> m_pages;
};

void TestTabReductions::flags_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("word");
    QTest::addColumn<uint>("mask");
    QTest::addColumn<int>("feature");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("block");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("written"); // checking it while the word holds 0
    QTest::newRow("BF7") << "BF7 Low Voltage Reduction" << 0x1600 << 0x40u << 60 << 15 << 0 << "Low Cell Voltage:"
                         << "1600=40";
    QTest::newRow("BF8") << "BF8 High discharge current reduction" << 0x1600 << 0x80u << 60 << 15 << 1
                         << "High Discharge Current:" << "1600=80";
    QTest::newRow("BF9") << "BF9 High Cell Temperature" << 0x1600 << 0x100u << 60 << 15 << 2
                         << "High Cell Temperature:|High Cell Module\nTemperature:" << "1600=100";
    QTest::newRow("BF41") << "BF41 High Cell Temperature" << 0x1604 << 0x100u << 62 << 25 << 3
                          << "High Cell Temperature:" << "1604=100";
}

void TestTabReductions::flags()
{
    QFETCH(QString, name);
    QFETCH(int, word);
    QFETCH(uint, mask);
    QFETCH(int, feature);
    QFETCH(int, width);
    QFETCH(int, block);
    QFETCH(QString, caption);
    QFETCH(QString, written);
    PageFixture& f = m_pages.get();
    QGroupBox* box = groupBox(f, kTitle);
    QVERIFY(box);
    ConfigParam* p = param(f, box, name);
    QVERIFY(p);
    QCOMPARE(p->paramId(), word);
    QCOMPARE(p->bitMask, quint32(mask));
    QCOMPARE(p->featureId, feature);
    QCOMPARE(p->widget->maximumWidth(), width);
    QVERIFY(p->widget->findChild<Tip*>());
    const Cell c = cellOf(box, p->widget);
    QCOMPARE(c.block, block);
    QCOMPARE(c.row, 0);
    QCOMPARE(c.column, 1);
    QCOMPARE(labelText(blocks(box).at(block), 0, 0), caption);

    f.reply(word, 0);
    static_cast<QCheckBox*>(p->widget)->setChecked(true);
    QVERIFY(f.page->submitParam(p));
    QCOMPARE(f.lastWrite(), written);
}

void TestTabReductions::editorsFitTheirWords()
{
    PageFixture& f = m_pages.get();
    QGroupBox* box = groupBox(f, kTitle);
    checkEditorsFitTheirWords(f, box, {});
    QCOMPARE(blocks(box).size(), 4);
    // The current block has no deactivation threshold.
    QVERIFY(widgetsAt(blocks(box).at(1), 1, 3).isEmpty());
}

void TestTabReductions::encodings_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<uint>("raw");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("written"); // empty: refused
    QTest::newRow("current raw 0") << "Discharge Current Warning" << 0u << "0.1" << "1600.0" << "190F=3E80";
    QTest::newRow("current above 1600") << "Discharge Current Warning" << 20000u << "1600.0" << "1600.1" << "";
    QTest::newRow("module temperature below 20") << "Warning Temperature" << 119u << "20" << "20" << "0015=78";
    QTest::newRow("cell temperature at 255") << "Cell Warning Temperature" << 255u << "155" << "155"
                                             << "004F=FF";
    QTest::newRow("cell voltage") << "Low cell voltage reduction deactivation threshold" << 0u << "2.00" << "3.2"
                                  << "003A=78";
}

void TestTabReductions::encodings()
{
    QFETCH(QString, name);
    QFETCH(uint, raw);
    QFETCH(QString, shown);
    QFETCH(QString, typed);
    QFETCH(QString, written);
    PageFixture& f = m_pages.get();
    ConfigParam* p = param(f, groupBox(f, kTitle), name);
    QVERIFY(p);
    auto* edit = qobject_cast<QLineEdit*>(p->widget);
    f.reply(p->paramId(), raw);
    QCOMPARE(edit->text(), shown);
    QCOMPARE(typeInto(edit, typed), !written.isEmpty());
    if (written.isEmpty())
        return;
    QVERIFY(f.page->submitParam(p));
    QCOMPARE(f.lastWrite(), written);
}

void TestTabReductions::firmwareRanges_data()
{
    QTest::addColumn<QList<int>>("features");
    QTest::addColumn<QString>("caption"); // block 2's caption shown
    QTest::addColumn<bool>("cellBlockShown");
    QTest::newRow("61") << QList<int>{60, 61} << "High Cell Temperature:" << false;
    QTest::newRow("62") << QList<int>{60, 62} << "High Cell Module\nTemperature:" << true;
}

void TestTabReductions::firmwareRanges()
{
    QFETCH(QList<int>, features);
    QFETCH(QString, caption);
    QFETCH(bool, cellBlockShown);
    PageFixture& f = m_pages.get();
    QGroupBox* box = groupBox(f, kTitle);
    reportFeatures(f, features);
    const QList<QGridLayout*> grids = blocks(box);
    QCOMPARE(blockShown(grids.at(0)), 1);
    QCOMPARE(blockShown(grids.at(1)), 1);
    QCOMPARE(blockShown(grids.at(3)), cellBlockShown ? 1 : 0);
    // Block 2: everything but the other caption.
    QStringList shownCaptions;
    for (QWidget* w : widgetsAt(grids.at(2), 0, 0))
        if (!w->isHidden())
            shownCaptions << static_cast<QLabel*>(w)->text();
    QCOMPARE(shownCaptions, QStringList{caption});
    for (QWidget* w : blockWidgets(grids.at(2)))
        if (cellOf(box, w).column != 0)
            QVERIFY(!w->isHidden());
}

QTEST_MAIN(TestTabReductions)
#include "tst_tab_reductions.moc"
