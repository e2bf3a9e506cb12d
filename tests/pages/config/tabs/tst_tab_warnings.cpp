// The Warnings tab: its flags, encodings, block layouts, and the group shown
// by feature 111 with the wire-break row by 145.
#include "LimitTabProbe.h"

#include "Tip.h"

using namespace LimitTabProbe;

namespace {
const QString kTitle = QStringLiteral("Warning");
}

class TestTabWarnings : public QObject
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
    void editorCells_data();
    void editorCells();
    void featureGating_data();
    void featureGating();
    void flagWrites_data();
    void flagWrites();

private:
    PagePerFunction<PageFixture> m_pages;
};

void TestTabWarnings::flags_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("word");
    QTest::addColumn<uint>("mask");
    QTest::addColumn<int>("feature");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("block");
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("caption"); // column 0 of the flag's row
    auto row = [](const char* name, int word, uint mask, int feature, int width, int block, int r,
                  const char* caption) {
        QTest::newRow(name) << QString(name) << word << mask << feature << width << block << r << QString(caption);
    };
    row("BF48 Low Voltage Warning Flag", 0x1604, 0x00008000, 111, 15, 0, 0, "Cell Under- Voltage:");
    row("BF49 High Voltage Warning Flag", 0x1604, 0x00010000, 111, 15, 1, 0, "Cell Over- Voltage:");
    row("BF54 Low Voltage Warning Flag", 0x1604, 0x00200000, 111, 15, 2, 0, "Pack Under- Voltage");
    row("BF58 High Voltage Warning Flag", 0x1604, 0x02000000, 111, 15, 3, 0, "Pack Over- Voltage");
    row("BF50 High Discharge Current Warning", 0x1604, 0x00020000, 111, 25, 4, 0, "Discharge Over- Current:");
    row("BF51 High Charge Current Warning", 0x1604, 0x00040000, 111, 25, 5, 0, "Charge Over- Current :");
    row("BF52 High Cell Module Temperature Warning", 0x1604, 0x00080000, 111, 15, 6, 0, "Cell Module Over-Heat:");
    row("BF53 High Cell Temperature Warning", 0x1604, 0x00100000, 111, 15, 7, 0, "Cell Over- Heat");
    row("BF55 Low Cell Temperature Warning", 0x1604, 0x00400000, 111, 15, 8, 0, "Cell Under- Heat");
    row("BF55 Low Cell Module Temperature Warning", 0x1608, 0x00000001, 111, 15, 9, 0, "Cell Module Under- Heat");
    row("BF66 Activated reduction warning", 0x1608, 0x00000002, 111, 15, 10, 0, "Reduction Active:");
    row("BF67 Communication Loss warning", 0x1608, 0x00000004, 111, 15, 11, 0, "Cell Communication Loss:");
    row("BF56 Cell Voltage Deviation Warning Flag", 0x1604, 0x00800000, 111, 15, 12, 0, "Cell Voltage Deviation");
    row("BF_57 Pack Voltage Deviation Warning Flag", 0x1604, 0x01000000, 111, 15, 13, 0, "Pack Voltage Deviation");
    row("BF77_WIRE_BREAK_WARNING", 0x1608, 0x00001000, 145, 15, 13, 2, "Cell Wire Break");
}

void TestTabWarnings::flags()
{
    QFETCH(QString, name);
    QFETCH(int, word);
    QFETCH(uint, mask);
    QFETCH(int, feature);
    QFETCH(int, width);
    QFETCH(int, block);
    QFETCH(int, row);
    QFETCH(QString, caption);
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
    QCOMPARE(c.row, row);
    QCOMPARE(c.column, 1);
    QCOMPARE(labelText(blocks(box).at(block), row, 0), caption);
}

void TestTabWarnings::editorsFitTheirWords()
{
    PageFixture& f = m_pages.get();
    QGroupBox* box = groupBox(f, kTitle);
    checkEditorsFitTheirWords(f, box, {});
    QCOMPARE(blocks(box).size(), 14);
    // The wire-break row is the group's last parameter.
    QCOMPARE(params(f, box).last()->name, QString("BF77_WIRE_BREAK_WARNING"));
}

void TestTabWarnings::encodings_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<uint>("raw");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("written"); // empty: refused
    QTest::newRow("cell voltage") << "Low Voltage Warning" << 165u << "3.65" << "2.5" << "0079=32";
    QTest::newRow("current raw 0") << "High Discharge Current Warning" << 0u << "0.1" << "3200.0" << "1933=7D00";
    QTest::newRow("current refuses 0") << "High Charge Current Warning" << 5u << "0.5" << "0.0" << "";
    QTest::newRow("pack voltage below 2") << "Low Pack Voltage Warning" << 150u << "2.00" << "52.5"
                                          << "0281=1482";
    QTest::newRow("high temperature below 20") << "Cell Warning High Temperature" << 100u << "20" << "45"
                                               << "007F=91";
    QTest::newRow("low temperature") << "Cell Module Warning Low Temperature" << 0u << "-100" << "-20"
                                     << "00D5=50";
    QTest::newRow("cell deviation above 1.5") << "Cell Voltage Deviation Warning" << 255u << "1.50" << "1.51"
                                              << "";
    QTest::newRow("pack deviation") << "Pack Voltage Deviation Warning deactivation threshold" << 0u << "0.00"
                                    << "10" << "02A7=3E8";
    QTest::newRow("stacked activation delay") << "Reduction Active warning activation delay" << 7u << "0.7"
                                              << "25.5" << "00D9=FF";
}

void TestTabWarnings::encodings()
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

void TestTabWarnings::editorCells_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("block");
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("fixedText");
    QTest::addColumn<QString>("unit");
    auto row = [](const char* tag, const char* name, int block, int r, int c, const char* fixed, const char* unit) {
        QTest::newRow(tag) << QString(name) << block << r << c << QString(fixed) << QString::fromUtf8(unit);
    };
    row("standard", "Low cell voltage warning deactivation threshold", 0, 1, 3, "Deactivate at:", "V");
    row("pack voltage", "High Pack Voltage Warning", 3, 0, 3, "Activate at:", "V");
    row("current", "High Charge Current Warning", 5, 0, 3, "Activate at:", "A");
    row("no deactivation threshold", "High charge current warning deactivation delay", 5, 1, 6, "Deact. delay:",
        "s");
    row("temperature", "Cell module high temperature warning deactivation threshold", 6, 1, 3, "Deactivate at:",
        "°C");
    row("stacked act", "Reduction Active warning activation delay", 10, 0, 6, "Act. delay:", "s");
    row("stacked deact", "Cell Communication Loss warning deactivation delay", 11, 1, 6, "Deact. delay:", "s");
}

void TestTabWarnings::editorCells()
{
    QFETCH(QString, name);
    QFETCH(int, block);
    QFETCH(int, row);
    QFETCH(int, column);
    QFETCH(QString, fixedText);
    QFETCH(QString, unit);
    PageFixture& f = m_pages.get();
    QGroupBox* box = groupBox(f, kTitle);
    ConfigParam* p = param(f, box, name);
    QVERIFY(p);
    const Cell c = cellOf(box, p->widget);
    QCOMPARE(c.block, block);
    QCOMPARE(c.row, row);
    QCOMPARE(c.column, column);
    QGridLayout* grid = blocks(box).at(block);
    QCOMPARE(labelText(grid, row, column - 1), fixedText);
    QCOMPARE(labelText(grid, row, column + 1), unit);
    // Columns 2 to 4 of the stacked blocks stay empty.
    if (block == 10 || block == 11)
        QVERIFY(widgetsAt(grid, 0, 2).isEmpty() && widgetsAt(grid, 1, 3).isEmpty());
}

void TestTabWarnings::featureGating_data()
{
    QTest::addColumn<QList<int>>("features");
    QTest::addColumn<bool>("groupShown");
    QTest::addColumn<bool>("limitsShown"); // every widget of rows 0 and 1 of the blocks
    QTest::addColumn<bool>("wireBreakShown");
    QTest::newRow("111 only") << QList<int>{111} << true << true << false;
    QTest::newRow("145 only") << QList<int>{145} << true << false << true;
    QTest::newRow("both") << QList<int>{111, 145} << true << true << true;
    QTest::newRow("older firmware") << QList<int>{60, 61, 62, 63, 64, 72} << false << false << false;
}

void TestTabWarnings::featureGating()
{
    QFETCH(QList<int>, features);
    QFETCH(bool, groupShown);
    QFETCH(bool, limitsShown);
    QFETCH(bool, wireBreakShown);
    PageFixture& f = m_pages.get();
    QGroupBox* box = groupBox(f, kTitle);
    reportFeatures(f, features);
    QCOMPARE(!foldOf(box)->isHidden(), groupShown);
    const QList<QGridLayout*> grids = blocks(box);
    for (int b = 0; b < grids.size(); ++b) {
        for (int r = 0; r < 2; ++r)
            for (int c = 0; c < 8; ++c)
                for (QWidget* w : widgetsAt(grids.at(b), r, c))
                    QVERIFY2(w->isHidden() != limitsShown, qPrintable(QString("block %1 (%2,%3)").arg(b).arg(r).arg(c)));
    }
    QList<QWidget*> wireRow = widgetsAt(grids.at(13), 2, 0) + widgetsAt(grids.at(13), 2, 1);
    QCOMPARE(wireRow.size(), 2);
    for (QWidget* w : wireRow)
        QCOMPARE(!w->isHidden(), wireBreakShown);
}

void TestTabWarnings::flagWrites_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<uint>("before");
    QTest::addColumn<QString>("written");
    QTest::newRow("module under-heat is bit 0 of the third word")
        << "BF55 Low Cell Module Temperature Warning" << 0u << "1608=1";
    QTest::newRow("cell under-heat is bit 22 of the second word")
        << "BF55 Low Cell Temperature Warning" << 0u << "1604=400000";
    QTest::newRow("wire break kept with the others") << "BF77_WIRE_BREAK_WARNING" << 0x410u << "1608=1410";
}

void TestTabWarnings::flagWrites()
{
    QFETCH(QString, name);
    QFETCH(uint, before);
    QFETCH(QString, written);
    PageFixture& f = m_pages.get();
    ConfigParam* p = param(f, groupBox(f, kTitle), name);
    QVERIFY(p);
    f.reply(p->paramId(), before);
    static_cast<QCheckBox*>(p->widget)->setChecked(true);
    QVERIFY(f.page->submitParam(p));
    QCOMPARE(f.lastWrite(), written);
}

QTEST_MAIN(TestTabWarnings)
#include "tst_tab_warnings.moc"
