// The Protections tab: its flags on the flag words, the encodings of its
// limits, the special block layouts and what each firmware range shows.
#include "LimitTabProbe.h"

#include "Tip.h"

using namespace LimitTabProbe;

namespace {
const QString kTitle = QStringLiteral("Protection / Fault Settings");
}

class TestTabProtections : public QObject
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
    void specialColumnWidths();
    void featureGating_data();
    void featureGating();
    void flagWrites_data();
    void flagWrites();
    void boxesOfOneBitAgree();
    void sharedIdWithAnotherEditor();

private:
    PagePerFunction<PageFixture> m_pages;
};

void TestTabProtections::flags_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("word");
    QTest::addColumn<uint>("mask");
    QTest::addColumn<int>("feature"); // the parameter's own
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("block");
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("caption"); // the texts of the caption cell
    auto row = [](const char* name, int word, uint mask, int feature, int width, int block, int r, int c,
                  const char* caption) {
        QTest::newRow(name) << QString(name) << word << mask << feature << width << block << r << c
                            << QString::fromUtf8(caption);
    };
    row("BF2 Under Voltage Cutoff", 0x1600, 0x00000002, 60, 15, 0, 0, 1, "Cell Under-Voltage:");
    row("BF1 Over Voltage Cutoff", 0x1600, 0x00000001, 60, 15, 1, 0, 1, "Cell Over-Voltage:");
    row("BF3 Over-Current Cutoff", 0x1600, 0x00000004, 60, 15, 2, 0, 1, "Discharge Over-Current:");
    row("BF16 Charge Over-Current Cutoff", 0x1600, 0x00008000, 60, 15, 3, 0, 1, "Charge Over-Current:");
    row("BF63 cell module Underheat Cutoff", 0x1604, 0x40000000, 111, 15, 4, 0, 1, "Cell Module Under-Heat:");
    row("BF4 Overheat Cutoff", 0x1600, 0x00000008, 61, 15, 5, 0, 1, "Cell Over-Heat:|Cell Module Over-Heat:");
    row("BF14_NO_COMM_CUTOFF", 0x1600, 0x00002000, 60, 15, 6, 0, 1, "No Cell Communication:");
    row("BF23 Cell Comm Restore 1", 0x1600, 0x00400000, 63, 13, 6, 1, 7, "No Cell Communication:");
    row("BF23 Cell Comm Restore 2", 0x1600, 0x00400000, 64, 13, 6, 1, 3, "No Cell Communication:");
    row("BF5_LEAKAGE_CUTOFF", 0x1600, 0x00000010, 65, 15, 7, 0, 1, "Insulation Fault:");
    row("BF60 Underheat Cutoff", 0x1604, 0x08000000, 111, 15, 8, 0, 1, "Cell Under-Heat:");
    row("BF40 Overheat Cutoff", 0x1604, 0x00000080, 66, 15, 9, 0, 1, "Cell Over-Heat:");
    row("BF42_NO_CURRENT_SENSOR_CUTOFF", 0x1604, 0x00000200, 67, 15, 10, 0, 1, "No Current Sensor:");
    row("AC Presence Cutoff", 0x1604, 0x00000010, 70, 25, 11, 0, 1, "AC Presence:|Charger Connected:");
    row("Charger Connected cutoff", 0x1604, 0x00000010, 71, 25, 11, 0, 1, "AC Presence:|Charger Connected:");
    row("BF44 Pack Under-Voltage Cutoff", 0x1604, 0x00000800, 72, 15, 12, 0, 1, "Pack Under-Voltage:");
    row("BF59 Pack Over-Voltage Cutoff", 0x1604, 0x04000000, 111, 15, 13, 0, 1, "Pack Over-Voltage:");
    row("BF61 Cell Voltage Deviation CutOff", 0x1604, 0x10000000, 111, 15, 14, 0, 1, "Cell Voltage Deviation");
    row("BF_62 Pack Voltage Deviation Protection Flag", 0x1604, 0x20000000, 111, 15, 15, 0, 1,
        "Pack Voltage Deviation");
    row("BF64 External Temperature Sensor loss Cutoff", 0x1604, 0x80000000, 111, 15, 16, 0, 1,
        "Ext. Temp. Sensor Loss:");
    row("MSD Enable", 0x1608, 0x00000010, 115, 15, 17, 0, 1, "MSD Enable:");
    row("BF75_WIRE_BREAK_CUTOFF", 0x1608, 0x00000400, 145, 15, 18, 0, 1, "Cell Wire Break:");
}

void TestTabProtections::flags()
{
    QFETCH(QString, name);
    QFETCH(int, word);
    QFETCH(uint, mask);
    QFETCH(int, feature);
    QFETCH(int, width);
    QFETCH(int, block);
    QFETCH(int, row);
    QFETCH(int, column);
    QFETCH(QString, caption);
    PageFixture& f = m_pages.get();
    QGroupBox* box = groupBox(f, kTitle);
    QVERIFY(box);
    ConfigParam* p = param(f, box, name);
    QVERIFY(p);
    QCOMPARE(p->paramId(), word);
    QCOMPARE(p->bitMask, quint32(mask));
    QCOMPARE(p->featureId, feature);
    QVERIFY(qobject_cast<QCheckBox*>(p->widget));
    QCOMPARE(p->widget->minimumWidth(), width);
    QCOMPARE(p->widget->maximumWidth(), width);
    QVERIFY(p->widget->findChild<Tip*>());
    const Cell c = cellOf(box, p->widget);
    QCOMPARE(c.block, block);
    QCOMPARE(c.row, row);
    QCOMPARE(c.column, column);
    QCOMPARE(labelText(blocks(box).at(block), 0, 0), caption);
}

void TestTabProtections::editorsFitTheirWords()
{
    PageFixture& f = m_pages.get();
    QGroupBox* box = groupBox(f, kTitle);
    QVERIFY(box);
    checkEditorsFitTheirWords(f, box,
                              {"No cell communication restore duration",
                               "BT_CELL_WIRE_BREAK_PROTECTION_ACTIVATION_THRESHOLD"});
    QCOMPARE(blocks(box).size(), 19);
    // One value record per id: the flags of a word share it.
    QCOMPARE(f.page->paramSlot(0x1604)->params.size() >= 11, true);
}

void TestTabProtections::encodings_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<uint>("raw");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("written"); // empty: the validator refuses the text
    QTest::newRow("cell voltage low end") << "Minimum Allowed Cell Voltage" << 0u << "2.00" << "3.65"
                                          << "0004=A5";
    QTest::newRow("cell voltage high end") << "Cell over-voltage protection deactivation threshold" << 255u
                                           << "4.55" << "4.56" << "";
    QTest::newRow("over-heat below 20") << "Maximum Critical Temperature" << 119u << "20" << "60" << "0006=A0";
    QTest::newRow("over-heat refuses 19") << "Cell over-heat protection deactivation threshold" << 200u << "100"
                                          << "19" << "";
    QTest::newRow("under-heat") << "Minimum Critical Cell Temperature" << 0u << "-100" << "-40" << "00C3=3C";
    QTest::newRow("activation delay") << "Cell under-heat protection activation delay" << 255u << "25.5"
                                      << "0.3" << "00B5=3";
    QTest::newRow("deactivation delay") << "Cell under-Voltage protection deactivation delay" << 255u << "255"
                                        << "12" << "0026=C";
    QTest::newRow("current raw 0") << "Discharge Current Limit" << 0u << "0.1" << "3200.0" << "1911=7D00";
    QTest::newRow("current above 3200") << "Charge Current Limit" << 100u << "10.0" << "3200.1" << "";
    QTest::newRow("pack voltage below 2") << "Pack under-voltage protection activation threshold" << 199u
                                          << "2.00" << "42949672.95" << "0267=FFFFFFFF";
    QTest::newRow("pack voltage") << "Pack over-voltage protection deactivation threshold" << 48000u << "480.00"
                                  << "350.5" << "02BF=88EA";
    QTest::newRow("cell deviation") << "Cell Voltage Deviation Protection" << 200u << "1.50" << "0.05"
                                    << "00C5=5";
    QTest::newRow("pack deviation") << "Pack Voltage Deviation Protection deactivation threshold" << 0u << "0.00"
                                    << "1.5" << "02CB=96";
    QTest::newRow("wire break threshold") << "BT_CELL_WIRE_BREAK_PROTECTION_ACTIVATION_THRESHOLD" << 0u << "1"
                                          << "8160" << "01F9=1FE0";
    QTest::newRow("wire break refuses 0") << "BT_CELL_WIRE_BREAK_PROTECTION_ACTIVATION_THRESHOLD" << 9000u
                                          << "8160" << "0" << "";
    QTest::newRow("wire break deactivation in tenths")
        << "BT_CELL_WIRE_BREAK_PROTECTION_DEACTIVATION_DELAY" << 255u << "25.5" << "2.5" << "00F8=19";
    QTest::newRow("restore duration") << "No cell communication restore duration" << 255u << "254" << "255"
                                      << "";
}

void TestTabProtections::encodings()
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
    QVERIFY(edit);
    f.reply(p->paramId(), raw);
    QCOMPARE(edit->text(), shown);
    QCOMPARE(typeInto(edit, typed), !written.isEmpty());
    if (written.isEmpty())
        return;
    QVERIFY(f.page->submitParam(p));
    QCOMPARE(f.lastWrite(), written);
}

void TestTabProtections::editorCells_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("block");
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("fixedText"); // in the cell left of the editor
    QTest::addColumn<int>("unitColumn");
    QTest::addColumn<QString>("unit");
    auto row = [](const char* tag, const char* name, int block, int r, int c, const char* fixed, int unitColumn,
                  const char* unit) {
        QTest::newRow(tag) << QString(name) << block << r << c << QString(fixed) << unitColumn
                           << QString::fromUtf8(unit);
    };
    row("standard activation", "Minimum Allowed Cell Voltage", 0, 0, 3, "Activate at:", 4, "V");
    row("standard act delay", "Cell under-Voltage protection activation delay", 0, 0, 6, "Act. delay:", 7, "s");
    row("standard deactivation", "Cell under-voltage protection deactivation threshold", 0, 1, 3,
        "Deactivate at:", 4, "V");
    row("standard deact delay", "Cell under-Voltage protection deactivation delay", 0, 1, 6, "Deact. delay:", 7,
        "s");
    row("current", "Discharge Current Limit", 2, 0, 3, "Activate at:", 4, "A");
    row("no deactivation threshold", "Charge over-current protection deactivation delay", 3, 1, 6,
        "Deact. delay:", 7, "s");
    row("module under-heat", "Cell Module under-heat protection deactivation threshold", 4, 1, 3,
        "Deactivate at:", 4, "°C");
    row("over-heat", "Maximum Critical Temperature", 5, 0, 3, "Activate at:", 4, "°C");
    row("no comm act delay", "No cell communication protection activation delay", 6, 0, 3, "Act. delay:", 5, "s");
    row("no comm deact delay", "No cell communication protection deactivation delay", 6, 0, 7, "Deact. delay:", 9,
        "s");
    // With feature 63 the restore flag's caption takes the same cell.
    row("restore duration", "No cell communication restore duration", 6, 1, 7, "Cell Comm Restore:|Restore duration:",
        9, "s");
    row("side by side act", "Insulation leakage protection activation delay", 7, 0, 3, "Act. delay:", 4, "s");
    row("side by side deact", "No current sensor protection deactivation delay", 10, 0, 6, "Deact. delay:", 7,
        "s");
    row("pack voltage", "Pack under-voltage protection deactivation threshold", 12, 1, 3, "Deactivate at:", 4,
        "V");
    row("stacked act", "Ext Temperatire Sensor Loss activation delay", 16, 0, 6, "Act. delay:", 7, "s");
    row("stacked deact", "Ext Temperatire Sensor Loss deactivation delay", 16, 1, 6, "Deact. delay:", 7, "s");
    row("wire count", "BT_CELL_WIRE_BREAK_PROTECTION_ACTIVATION_THRESHOLD", 18, 0, 3, "Activate at:", 4,
        "Wire(s)");
    row("wire break deact delay", "BT_CELL_WIRE_BREAK_PROTECTION_DEACTIVATION_DELAY", 18, 1, 6, "Deact. delay:", 7,
        "s");
}

void TestTabProtections::editorCells()
{
    QFETCH(QString, name);
    QFETCH(int, block);
    QFETCH(int, row);
    QFETCH(int, column);
    QFETCH(QString, fixedText);
    QFETCH(int, unitColumn);
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
    QCOMPARE(labelText(grid, row, unitColumn), unit);
}

void TestTabProtections::specialColumnWidths()
{
    PageFixture& f = m_pages.get();
    QGroupBox* box = groupBox(f, kTitle);
    const QList<QGridLayout*> grids = blocks(box);
    auto widths = [](QGridLayout* g, int n) {
        QList<int> list;
        for (int c = 0; c < n; ++c)
            list << g->columnMinimumWidth(c);
        return list;
    };
    QCOMPARE(widths(grids.at(0), 8), (QList<int>{160, 25, 75, 47, 25, 70, 47, 0}));
    QCOMPARE(widths(grids.at(6), 9), (QList<int>{160, 25, 75, 0, 7, 25, 70, 0, 7}));
    QCOMPARE(widths(grids.at(17), 2), (QList<int>{160, 0}));
    QCOMPARE(widths(grids.at(18), 7), (QList<int>{160, 25, 75, 35, 37, 70, 47}));
    QCOMPARE(grids.at(3)->verticalSpacing(), 1);
    QCOMPARE(qobject_cast<QGridLayout*>(box->layout())->verticalSpacing(), 7);

    // The narrow editors and the alignments of the special cells.
    ConfigParam* restore = param(f, box, "No cell communication restore duration");
    QVERIFY(restore->widget->maximumWidth() >= 3 * (editorWidth() / 5));
    QCOMPARE(cellOf(box, restore->widget).alignment, Qt::AlignRight);
    ConfigParam* wires = param(f, box, "BT_CELL_WIRE_BREAK_PROTECTION_ACTIVATION_THRESHOLD");
    QVERIFY(wires->widget->maximumWidth()
            >= QFontMetrics(QApplication::font()).horizontalAdvance(QStringLiteral("999.9 ")));
    QVERIFY(wires->widget->findChild<Tip*>());
    QCOMPARE(cellOf(box, param(f, box, "BF3 Over-Current Cutoff")->widget).alignment, Qt::AlignLeft);
    QCOMPARE(cellOf(box, param(f, box, "BF23 Cell Comm Restore 1")->widget).alignment, Qt::AlignLeft);
    QCOMPARE(cellOf(box, param(f, box, "MSD Enable")->widget).alignment, Qt::AlignLeft);
    QCOMPARE(cellOf(box, param(f, box, "BF1 Over Voltage Cutoff")->widget).alignment, Qt::Alignment());
}

void TestTabProtections::featureGating_data()
{
    QTest::addColumn<QList<int>>("features");
    QTest::addColumn<QList<int>>("shownBlocks");
    QTest::addColumn<QList<int>>("hiddenBlocks");
    QTest::addColumn<QStringList>("shownParts"); // "block:text" labels or parameter names
    QTest::addColumn<QStringList>("hiddenParts");
    QTest::newRow("2.0.19 range")
        << QList<int>{60, 61, 63, 65, 70} << QList<int>{0, 1, 2, 3, 7} << QList<int>{4, 8, 9, 10, 12, 13, 14, 15, 16, 17, 18}
        << QStringList{"5:Cell Over-Heat:", "BF4 Overheat Cutoff", "Maximum Critical Temperature",
                       "BF14_NO_COMM_CUTOFF", "6:Cell Comm Restore:", "BF23 Cell Comm Restore 1",
                       "AC Presence Cutoff", "11:AC Presence:"}
        << QStringList{"5:Cell Module Over-Heat:", "BF23 Cell Comm Restore 2",
                       "No cell communication restore duration", "6:Restore duration:", "Charger Connected cutoff",
                       "11:Charger Connected:"};
    QTest::newRow("without 111")
        << QList<int>{60, 62, 64, 65, 66, 67, 71, 72} << QList<int>{0, 1, 2, 3, 7, 9, 10, 12}
        << QList<int>{4, 8, 13, 14, 15, 16, 17, 18}
        << QStringList{"5:Cell Module Over-Heat:", "BF23 Cell Comm Restore 2",
                       "No cell communication restore duration", "Charger Connected cutoff"}
        << QStringList{"5:Cell Over-Heat:", "BF23 Cell Comm Restore 1", "AC Presence Cutoff", "11:AC Presence:"};
    QTest::newRow("everything")
        << QList<int>{60, 62, 64, 65, 66, 67, 71, 72, 111, 115, 145}
        << QList<int>{0, 1, 2, 3, 4, 7, 8, 9, 10, 12, 13, 14, 15, 16, 17, 18} << QList<int>{}
        << QStringList{"5:Cell Module Over-Heat:"} << QStringList{"5:Cell Over-Heat:"};
    QTest::newRow("wire break only by the bitmap")
        << QList<int>{145} << QList<int>{18} << QList<int>{0, 4, 5, 6, 11, 17} << QStringList{} << QStringList{};
}

void TestTabProtections::featureGating()
{
    QFETCH(QList<int>, features);
    QFETCH(QList<int>, shownBlocks);
    QFETCH(QList<int>, hiddenBlocks);
    QFETCH(QStringList, shownParts);
    QFETCH(QStringList, hiddenParts);
    PageFixture& f = m_pages.get();
    QGroupBox* box = groupBox(f, kTitle);
    reportFeatures(f, features);
    const QList<QGridLayout*> grids = blocks(box);
    for (int b : shownBlocks)
        QVERIFY2(blockShown(grids.at(b)) == 1, qPrintable(QString("block %1").arg(b)));
    for (int b : hiddenBlocks)
        QVERIFY2(blockShown(grids.at(b)) == 0, qPrintable(QString("block %1").arg(b)));
    auto find = [&](const QString& part) -> QWidget* {
        const int colon = part.indexOf(':');
        bool isBlock = false;
        const int b = part.left(colon).toInt(&isBlock);
        if (isBlock) {
            for (QWidget* w : blockWidgets(grids.at(b)))
                if (auto* l = qobject_cast<QLabel*>(w))
                    if (l->text() == part.mid(colon + 1))
                        return l;
            return nullptr;
        }
        ConfigParam* p = param(f, box, part);
        return p ? p->widget : nullptr;
    };
    for (const QString& part : shownParts) {
        QWidget* w = find(part);
        QVERIFY2(w && !w->isHidden(), qPrintable(part));
    }
    for (const QString& part : hiddenParts) {
        QWidget* w = find(part);
        QVERIFY2(w && w->isHidden(), qPrintable(part));
    }
    QVERIFY(!foldOf(box)->isHidden());
}

void TestTabProtections::flagWrites_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<uint>("before");
    QTest::addColumn<bool>("check");
    QTest::addColumn<QString>("written");
    QTest::newRow("under-voltage on") << "BF2 Under Voltage Cutoff" << 0u << true << "1600=2";
    QTest::newRow("under-voltage off, others kept") << "BF2 Under Voltage Cutoff" << 0xFFFFFFFFu << false
                                                    << "1600=FFFFFFFD";
    QTest::newRow("bit 31 of the second word") << "BF64 External Temperature Sensor loss Cutoff" << 0x1u << true
                                               << "1604=80000001";
    QTest::newRow("MSD on the third word") << "MSD Enable" << 0x400u << true << "1608=410";
    QTest::newRow("restore 2 shares bit 22") << "BF23 Cell Comm Restore 2" << 0x2u << true << "1600=400002";
}

void TestTabProtections::flagWrites()
{
    QFETCH(QString, name);
    QFETCH(uint, before);
    QFETCH(bool, check);
    QFETCH(QString, written);
    PageFixture& f = m_pages.get();
    ConfigParam* p = param(f, groupBox(f, kTitle), name);
    QVERIFY(p);
    f.reply(p->paramId(), before);
    auto* box = static_cast<QCheckBox*>(p->widget);
    QCOMPARE(box->isChecked(), bool(before & p->bitMask));
    box->setChecked(check);
    QVERIFY(f.page->submitParam(p));
    QCOMPARE(f.lastWrite(), written);
    // Back again once the unit took it: only that bit changes.
    f.reply(p->paramId(), f.writes.last().second);
    box->setChecked(!check);
    QVERIFY(f.page->submitParam(p));
    QCOMPARE(f.writes.last().second, quint32(before));
}

void TestTabProtections::boxesOfOneBitAgree()
{
    PageFixture& f = m_pages.get();
    QGroupBox* box = groupBox(f, kTitle);
    const QList<QPair<QString, QString>> pairs{{"AC Presence Cutoff", "Charger Connected cutoff"},
                                              {"BF23 Cell Comm Restore 1", "BF23 Cell Comm Restore 2"}};
    for (const auto& pair : pairs) {
        auto* a = static_cast<QCheckBox*>(param(f, box, pair.first)->widget);
        auto* b = static_cast<QCheckBox*>(param(f, box, pair.second)->widget);
        const int word = param(f, box, pair.first)->paramId();
        const quint32 mask = param(f, box, pair.first)->bitMask;
        f.reply(word, mask);
        QVERIFY(a->isChecked() && b->isChecked());
        f.reply(word, ~mask);
        QVERIFY(!a->isChecked() && !b->isChecked());
        // A change through one is what the other shows once the unit has it.
        a->setChecked(true);
        QVERIFY(f.page->submitParam(param(f, box, pair.first)));
        f.reply(word, f.writes.last().second);
        QVERIFY(b->isChecked());
    }
}

// 0x0004 is edited on the Charging tab too: every editor of an id shows the
// unit's one value.
void TestTabProtections::sharedIdWithAnotherEditor()
{
    PageFixture& f = m_pages.get();
    ConfigParam* here = param(f, groupBox(f, kTitle), "Minimum Allowed Cell Voltage");
    ConfigParam* elsewhere = nullptr;
    std::unique_ptr<QWidget> other(
        f.page->createParamWidget("Other", 1, 0x0004, 6, 2.0, 4.55, 200, 0.01, &elsewhere, 60));
    QCOMPARE(elsewhere->slot, here->slot);
    f.reply(0x0004, 100);
    QCOMPARE(static_cast<QLineEdit*>(here->widget)->text(), QString("3.00"));
    static_cast<QLineEdit*>(other.get())->setText("3.10");
    QVERIFY(f.page->submitParam(elsewhere));
    f.reply(0x0004, f.writes.last().second);
    QCOMPARE(static_cast<QLineEdit*>(here->widget)->text(), QString("3.10"));
}

QTEST_MAIN(TestTabProtections)
#include "tst_tab_protections.moc"
