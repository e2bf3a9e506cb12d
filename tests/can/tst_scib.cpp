// SCiB module discovery (polls, replies, order, failures) and the SCiB
// mapping widgets (payload, drops, strings, duplicates).
#include "FakeCanLink.h"
#include "ToshibaSCiBMappingTables.h"
#include "ToshibaSCiBModuleConfig.h"

#include <QMimeData>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTest>

namespace {

struct Rig
{
    FakeCanLink* link = new FakeCanLink;
    ToshibaSCiBModuleConfig cfg{std::unique_ptr<CanLinkServices>(link)};
    QSignalSpy status{&cfg, &ToshibaSCiBModuleConfig::sigToshibSCiBModuleOperationStatus};

    int tickUntilIdle()
    {
        int ticks = 0;
        while (cfg.isBusy() && ticks < 5000) {
            cfg.slotCanProcess();
            ++ticks;
        }
        return ticks;
    }
};

QString reply(quint32 id, int length, const QString& hex)
{
    return QString("CN1,%1,0,0,%2,%3").arg(id, 8, 16, QChar('0')).arg(length).arg(hex).toUpper();
}

QMimeData* mime(const QByteArray& text, const char* type = "SCiB/text")
{
    auto* m = new QMimeData;
    m->setData(type, text);
    return m;
}

} // namespace

class TestScib : public QObject
{
    Q_OBJECT
private slots:
    void pollsEveryModuleThenLeavesConfigMode();
    void configModeRefusedStartsNothing();
    void replyRule_data();
    void replyRule();
    void firstReplyWinsAndResultIsSorted();
    void skippedPollsReportFailure();
    void commitLists();

    void payloadRules_data();
    void payloadRules();
    void newTableAndClearAll();
    void dropOnEmptyAndOccupiedCells();
    void dragTableToTreeAndWithinTable();
    void fullTable();
    void fewerStringsReturnModules();
    void placingIntoHiddenStringWidensTable();
    void duplicatesAndFind();
    void cancelledDragRemovesNothing();
};

void TestScib::pollsEveryModuleThenLeavesConfigMode()
{
    Rig r;
    QVERIFY(r.cfg.startDiscovery());
    QCOMPARE(r.status.size(), 1);
    QCOMPARE(r.status.at(0), QVariantList({0, 0}));
    QVERIFY(r.cfg.isBusy());
    const int ticks = r.tickUntilIdle();
    QCOMPARE(ticks, 1 + 32 * 19 + 1);
    QCOMPARE(r.link->sent.size(), 32);
    QCOMPARE(r.link->sent.first(), QString("CN1,00000514,0,0,0,"));
    QCOMPARE(r.link->sent.last(), QString("CN1,00000704,0,0,0,"));
    QCOMPARE(r.link->plainModes, QList<bool>({true, false}));
    QCOMPARE(r.status.size(), 2);
    QCOMPARE(r.status.at(1), QVariantList({1, 0}));
    QCOMPARE(r.cfg.discoveredCount(), 0);
    // Ticks while idle do nothing.
    r.cfg.slotCanProcess();
    QCOMPARE(r.link->sent.size(), 32);
}

void TestScib::configModeRefusedStartsNothing()
{
    Rig r;
    r.link->plainModeWorks = false;
    QVERIFY(!r.cfg.startDiscovery());
    QVERIFY(!r.cfg.isBusy());
    QCOMPARE(r.status.size(), 0);
    r.cfg.slotCanProcess();
    QVERIFY(r.link->sent.isEmpty());
}

void TestScib::replyRule_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<int>("module");
    QTest::addColumn<int>("cells");
    QTest::newRow("module 1, 9 cells") << reply(0x514, 8, "AAAAAAAAAAAAAAAA") << 1 << 9;
    QTest::newRow("0x51C is module 1") << reply(0x51C, 8, "0102AAAAAAAAAAAA") << 1 << 9;
    QTest::newRow("module 32") << reply(0x704, 8, "0000000000000000") << 32 << 12;
    QTest::newRow("seven AA bytes") << reply(0x524, 7, "AAAAAAAAAAAAAA") << 2 << 12;
    QTest::newRow("length 8, data short") << reply(0x524, 8, "AAAAAAAAAAAA") << 2 << 12;
    QTest::newRow("one byte not AA") << reply(0x534, 8, "AAAAAAAAAAAAAA00") << 3 << 12;
    QTest::newRow("module 0") << reply(0x504, 8, "AAAAAAAAAAAAAAAA") << 0 << 0;
    QTest::newRow("bits 4-11 0x71") << reply(0x714, 8, "AAAAAAAAAAAAAAAA") << 0 << 0;
    QTest::newRow("bits 0-2 = 5") << reply(0x515, 8, "AAAAAAAAAAAAAAAA") << 0 << 0;
    QTest::newRow("five fields") << QString("CN1,00000514,0,0,8") << 0 << 0;
    QTest::newRow("bad id") << QString("CN1,XYZ,0,0,8,AAAAAAAAAAAAAAAA") << 0 << 0;
    QTest::newRow("other sentence") << QString("CF2,00000514,0,0,8,AAAAAAAAAAAAAAAA") << 0 << 0;
}

void TestScib::replyRule()
{
    QFETCH(QString, line);
    QFETCH(int, module);
    QFETCH(int, cells);
    int m = 0;
    uint8_t c = 0;
    QCOMPARE(ToshibaSCiBModuleConfig::parseReply(line, &m, &c), module != 0);
    if (module) {
        QCOMPARE(m, module);
        QCOMPARE(int(c), cells);
    }
}

void TestScib::firstReplyWinsAndResultIsSorted()
{
    Rig r;
    QVERIFY(r.cfg.startDiscovery());
    r.cfg.slotCanProcess(); // stage 0 empties the lists
    r.cfg.processSentence(reply(0x574, 8, "AAAAAAAAAAAAAAAA")); // 7: 9 cells
    r.cfg.processSentence(reply(0x534, 8, "0000000000000000")); // 3: 12 cells
    r.cfg.processSentence(reply(0x554, 8, "AAAAAAAAAAAAAAAA")); // 5: 9 cells
    r.cfg.processSentence(reply(0x57C, 8, "0000000000000000")); // 7 again, ignored
    r.cfg.processSentence(reply(0x515, 8, "AAAAAAAAAAAAAAAA")); // no module
    r.tickUntilIdle();
    QCOMPARE(r.cfg.discoveredCount(), 3);
    const QList<QPair<uint32_t, int>> expected = {{3, 12}, {5, 9}, {7, 9}};
    for (int i = 0; i < 3; ++i) {
        uint32_t id = 0;
        uint8_t cells = 0;
        QVERIFY(r.cfg.discoveredModule(&id, &cells, i));
        QCOMPARE(id, expected.at(i).first);
        QCOMPARE(int(cells), expected.at(i).second);
    }
    uint32_t id = 0;
    uint8_t cells = 0;
    QVERIFY(!r.cfg.discoveredModule(&id, &cells, 3));
    // The next discovery starts from nothing.
    QVERIFY(r.cfg.startDiscovery());
    QCOMPARE(r.cfg.discoveredCount(), 0);
}

void TestScib::skippedPollsReportFailure()
{
    Rig r;
    QVERIFY(r.cfg.startDiscovery());
    for (int i = 0; i < 30; ++i)
        r.cfg.slotCanProcess();
    r.link->linked = false; // link lost while polling
    r.tickUntilIdle();
    QVERIFY(r.link->sent.size() < 32);
    QCOMPARE(r.status.last(), QVariantList({2, 0}));
    QCOMPARE(r.link->plainModes.last(), false); // still asked to leave the mode
}

void TestScib::commitLists()
{
    Rig r;
    r.cfg.addCommitModule(70000, 9);
    r.cfg.addCommitModule(4, 12);
    r.cfg.addUnassignedModule(5);
    QCOMPARE(r.cfg.commitModuleCount(), 2);
    uint8_t status = 9, cells = 0;
    uint32_t id = 0;
    QVERIFY(r.cfg.commitModuleResult(0, &status, &id, &cells));
    QCOMPARE(int(status), 0);
    QCOMPARE(id, 70000u);
    QCOMPARE(int(cells), 9);
    QVERIFY(!r.cfg.commitModuleResult(2, &status, &id, &cells));
    r.cfg.clearCommitList();
    QCOMPARE(r.cfg.commitModuleCount(), 0);
    QCOMPARE(r.cfg.unassignedModuleCount(), 0);
}

void TestScib::payloadRules_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("type");
    QTest::addColumn<int>("kind");
    QTest::addColumn<uint>("id");
    QTest::addColumn<int>("cells");
    QTest::newRow("module") << QByteArray("SCiB;7;9") << QByteArray("SCiB/text") << int(scib::PayloadKind::Module)
                            << 7u << 9;
    QTest::newRow("low 8 bits of cells") << QByteArray("SCiB;7;265") << QByteArray("SCiB/text")
                                         << int(scib::PayloadKind::Module) << 7u << 9;
    QTest::newRow("four fields") << QByteArray("SCiB;7;9;1") << QByteArray("SCiB/text")
                                 << int(scib::PayloadKind::NotOurs) << 0u << 0;
    QTest::newRow("tag case") << QByteArray("scib;7;9") << QByteArray("SCiB/text")
                              << int(scib::PayloadKind::WrongTag) << 0u << 0;
    QTest::newRow("other mime") << QByteArray("SCiB;7;9") << QByteArray("CGM/text")
                                << int(scib::PayloadKind::NotOurs) << 0u << 0;
}

void TestScib::payloadRules()
{
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, type);
    QFETCH(int, kind);
    QFETCH(uint, id);
    QFETCH(int, cells);
    QScopedPointer<QMimeData> m(mime(text, type.constData()));
    uint32_t gotId = 0;
    uint8_t gotCells = 0;
    QCOMPARE(int(scib::parsePayload(m.data(), &gotId, &gotCells)), kind);
    if (kind == int(scib::PayloadKind::Module)) {
        QCOMPARE(gotId, uint32_t(id));
        QCOMPARE(int(gotCells), cells);
    }
    QCOMPARE(scib::payload(12, 9), QByteArray("SCiB;12;9"));
}

void TestScib::newTableAndClearAll()
{
    ToshibaSCiBConfiguredTable t;
    QCOMPARE(g_toshibaSCiBConfiguredTable, &t);
    QCOMPARE(t.horizontalHeaderItem(0)->text(), QString("String0"));
    QCOMPARE(t.columnWidth(0), 145);
    QVERIFY(!t.isColumnHidden(0));
    QVERIFY(t.isColumnHidden(1));
    QVERIFY(!t.isRowHidden(0));
    QVERIFY(t.isRowHidden(1));
    QVERIFY(t.placeModule(0, 0, 3, 12));
    QCOMPARE(t.cellAt(0, 0).text, QString("Module ID: 3, cells: 12"));
    QCOMPARE(t.horizontalHeaderItem(0)->text(), QString("String 0 (Cells: 12)"));
    QVERIFY(!t.isRowHidden(1)); // one empty row follows
    QVERIFY(!t.placeModule(32, 0, 1, 9));
    QVERIFY(!t.placeModuleAt(1, 0, 0, 4, 9));
    QVERIFY(!t.setCellState(0, 32, 0));
    QVERIFY(!t.setAllCellStates(4));
    QSignalSpy cols(&t, &ToshibaSCiBConfiguredTable::sigColumnCountChanged);
    t.clearAll();
    QCOMPARE(cols.size(), 1);
    QCOMPARE(cols.at(0).at(0).toInt(), 1);
    QCOMPARE(t.placedCount(), 0);
    QCOMPARE(t.horizontalHeaderItem(0)->text(), QString("String 0 (Cells: 0)"));
    QVERIFY(t.isRowHidden(1));
}

void TestScib::dropOnEmptyAndOccupiedCells()
{
    ToshibaSCiBConfiguredTable t;
    t.slotTableColumnCount(2);
    for (int p = 0; p < 6; ++p)
        t.placeModuleAt(uint32_t(10 + p), 0, p, 0, 9);
    for (int p = 0; p < 4; ++p)
        t.placeModuleAt(uint32_t(20 + p), 1, p, 0, 12);
    QSignalSpy accepted(&t, &ToshibaSCiBConfiguredTable::sigTableDropAccepted);
    QSignalSpy changed(&t, &ToshibaSCiBConfiguredTable::sigConfigurationChanged);

    // Row 5 of string 1 (positions 4 and 5 free): the module closes up to 4.
    QScopedPointer<QMimeData> a(mime("SCiB;30;9"));
    t.acceptDrop(a.data(), 5, 1);
    QCOMPARE(t.cellAt(1, 4).moduleId, 30u);
    QCOMPARE(int(t.cellAt(1, 4).state), int(ScibUnconfirmed));
    QVERIFY(!t.cellAt(1, 5).occupied);

    // Occupied position 2: 2.. move down one, the new one takes 2.
    QScopedPointer<QMimeData> b(mime("SCiB;31;12"));
    t.acceptDrop(b.data(), 2, 1);
    QCOMPARE(t.cellAt(1, 2).moduleId, 31u);
    QCOMPARE(t.cellAt(1, 3).moduleId, 22u);
    QCOMPARE(t.cellAt(1, 4).moduleId, 23u);
    QCOMPARE(t.cellAt(1, 5).moduleId, 30u);
    QCOMPARE(int(t.cellAt(1, 3).state), int(ScibUnconfirmed));
    QCOMPARE(t.cellAt(1, 1).moduleId, 21u);
    QCOMPARE(int(t.cellAt(1, 1).state), int(ScibConfirmed));
    QCOMPARE(accepted.size(), 2);
    QCOMPARE(changed.size(), 2);
    QCOMPARE(t.placedCount(), 12);

    // Foreign or malformed data is ignored.
    QScopedPointer<QMimeData> c(mime("SCiB;1;9;0"));
    t.acceptDrop(c.data(), 0, 0);
    QScopedPointer<QMimeData> d(mime("CGM;9;1;12;3", "CGM/text"));
    t.acceptDrop(d.data(), 0, 0);
    QCOMPARE(accepted.size(), 2);
    QCOMPARE(t.placedCount(), 12);
}

void TestScib::dragTableToTreeAndWithinTable()
{
    ToshibaSCiBConfiguredTable t;
    ToshibaSCiBUnconfiguredTree tree;
    connect(&t, &ToshibaSCiBConfiguredTable::sigDropDevice, &tree, &ToshibaSCiBUnconfiguredTree::slotAcceptDroppedDevice);
    connect(&t, &ToshibaSCiBConfiguredTable::sigTableDropAccepted, &tree,
            &ToshibaSCiBUnconfiguredTree::slotListDropAccepted);
    connect(&tree, &ToshibaSCiBUnconfiguredTree::sigListDropAccepted, &t,
            &ToshibaSCiBConfiguredTable::slotTableDropAccepted);
    QSignalSpy changed(&t, &ToshibaSCiBConfiguredTable::sigConfigurationChanged);
    tree.addModule(99, 9);
    for (int p = 0; p < 3; ++p)
        t.placeModuleAt(uint32_t(1 + p), 0, p, 0, 12);

    // Table (0,1) onto the tree: the tree appends it, string 0 closes up.
    QScopedPointer<QMimeData> m(t.beginDrag(0, 1));
    QVERIFY(m);
    tree.acceptDrop(m.data());
    t.endDrag();
    QCOMPARE(tree.moduleCount(), 2);
    uint32_t id = 0;
    QVERIFY(tree.moduleAt(1, &id));
    QCOMPARE(id, 2u);
    QCOMPARE(int(tree.moduleCellCount(1)), 12);
    QCOMPARE(t.cellAt(0, 1).moduleId, 3u);
    QCOMPARE(int(t.cellAt(0, 1).state), int(ScibUnconfirmed));
    QVERIFY(!t.cellAt(0, 2).occupied);
    QCOMPARE(changed.size(), 1);

    // Tree row 0 onto the table: it leaves the tree once the table took it.
    QScopedPointer<QMimeData> m2(tree.beginDrag(0));
    t.acceptDrop(m2.data(), 0, 0);
    tree.endDrag();
    QCOMPARE(tree.moduleCount(), 1);
    QCOMPARE(t.cellAt(0, 0).moduleId, 99u);
    QCOMPARE(t.cellAt(0, 1).moduleId, 1u);

    // Within the table: (0,0) to (1,3) where string 1 has two modules.
    t.slotTableColumnCount(2);
    t.placeModuleAt(50, 1, 0, 0, 9);
    t.placeModuleAt(51, 1, 1, 0, 9);
    QScopedPointer<QMimeData> m3(t.beginDrag(0, 0));
    t.acceptDrop(m3.data(), 3, 1);
    t.endDrag();
    QCOMPARE(t.cellAt(1, 2).moduleId, 99u);
    QCOMPARE(t.cellAt(0, 0).moduleId, 1u); // string 0 closed up
    QVERIFY(!t.isDragSource());
    QCOMPARE(t.placedCount(), 5);
}

void TestScib::fullTable()
{
    ToshibaSCiBConfiguredTable t;
    ToshibaSCiBUnconfiguredTree tree;
    connect(&t, &ToshibaSCiBConfiguredTable::sigDropDevice, &tree, &ToshibaSCiBUnconfiguredTree::slotAcceptDroppedDevice);
    connect(&t, &ToshibaSCiBConfiguredTable::sigTableDropAccepted, &tree,
            &ToshibaSCiBUnconfiguredTree::slotListDropAccepted);
    t.slotTableColumnCount(4);
    for (int i = 0; i < 32; ++i)
        QVERIFY(t.placeModule(i / 8, i % 8, uint32_t(i + 1), 9));
    QVERIFY(!t.placeModule(4, 0, 100, 9));
    tree.addModule(100, 12);

    QScopedPointer<QMimeData> m(tree.beginDrag(0));
    t.acceptDrop(m.data(), 8, 0); // empty cell: refused, the tree keeps it
    QCOMPARE(tree.moduleCount(), 1);
    QVERIFY(!tree.isDragSource());

    QScopedPointer<QMimeData> m2(tree.beginDrag(0));
    t.acceptDrop(m2.data(), 2, 1); // occupied: the string's last goes back
    QCOMPARE(t.cellAt(1, 2).moduleId, 100u);
    QCOMPARE(t.cellAt(1, 7).moduleId, 15u);
    QCOMPARE(t.placedCount(), 32);
    QCOMPARE(tree.moduleCount(), 1);
    uint32_t id = 0;
    QVERIFY(tree.moduleAt(0, &id));
    QCOMPARE(id, 16u);
}

void TestScib::fewerStringsReturnModules()
{
    ToshibaSCiBConfiguredTable t;
    ToshibaSCiBUnconfiguredTree tree;
    connect(&t, &ToshibaSCiBConfiguredTable::sigDropDevice, &tree, &ToshibaSCiBUnconfiguredTree::slotAcceptDroppedDevice);
    t.slotTableColumnCount(4);
    for (int s = 0; s < 4; ++s)
        t.placeModule(s, 0, uint32_t(s + 1), 9);
    t.slotTableColumnCount(2);
    QVERIFY(t.isColumnHidden(2));
    QCOMPARE(t.placedCount(), 2);
    QCOMPARE(tree.moduleCount(), 2);
    uint32_t id = 0;
    tree.moduleAt(0, &id);
    QCOMPARE(id, 3u);
}

void TestScib::placingIntoHiddenStringWidensTable()
{
    ToshibaSCiBConfiguredTable t;
    QSpinBox spin;
    spin.setRange(1, 32);
    connect(&spin, QOverload<int>::of(&QSpinBox::valueChanged), &t, &ToshibaSCiBConfiguredTable::slotTableColumnCount);
    connect(&t, &ToshibaSCiBConfiguredTable::sigColumnCountChanged, &spin, &QSpinBox::setValue);
    spin.setValue(2);
    t.placeModule(5, 0, 8, 12);
    QCOMPARE(spin.value(), 6);
    QCOMPARE(t.visibleStringCount(), 6);
    QVERIFY(!t.isColumnHidden(5));
}

void TestScib::duplicatesAndFind()
{
    ToshibaSCiBConfiguredTable t;
    t.slotTableColumnCount(3);
    t.placeModuleAt(7, 0, 4, 2, 9);
    t.placeModuleAt(7, 1, 2, 2, 9);
    t.placeModuleAt(7, 2, 0, 2, 9);
    t.placeModuleAt(7, 2, 1, 2, 9);
    t.markDuplicateModules();
    QCOMPARE(int(t.cellAt(0, 4).state), int(ScibUnconfirmed));
    QCOMPARE(int(t.cellAt(1, 2).state), int(ScibFailed));
    QCOMPARE(int(t.cellAt(2, 0).state), int(ScibFailed));
    uint8_t s = 0, p = 0, cells = 0;
    QVERIFY(t.findModule(7, &s, &p, &cells));
    QCOMPARE(int(s), 2); // the lowest position of the highest string
    QCOMPARE(int(p), 0);
    QVERIFY(!t.findModule(8, &s, &p, &cells));
    QCOMPARE(t.collectPlacedModules(), 4);
    uint32_t id = 0;
    uint8_t state = 0;
    QVERIFY(t.placedModuleAt(3, &id, &cells, &s, &p, &state));
    QCOMPARE(int(s), 2);
    QCOMPARE(int(p), 1);
    QVERIFY(!t.placedModuleAt(4, &id, &cells, &s, &p, &state));
    QCOMPARE(t.totalCellCount(), 36);
}

void TestScib::cancelledDragRemovesNothing()
{
    ToshibaSCiBConfiguredTable t;
    ToshibaSCiBUnconfiguredTree tree;
    connect(&t, &ToshibaSCiBConfiguredTable::sigTableDropAccepted, &tree,
            &ToshibaSCiBUnconfiguredTree::slotListDropAccepted);
    connect(&tree, &ToshibaSCiBUnconfiguredTree::sigListDropAccepted, &t,
            &ToshibaSCiBConfiguredTable::slotTableDropAccepted);
    t.placeModuleAt(1, 0, 0, 0, 9);
    delete t.beginDrag(0, 0);
    t.endDrag(); // cancelled
    tree.addModule(2, 12);
    QScopedPointer<QMimeData> m(tree.beginDrag(0));
    t.acceptDrop(m.data(), 0, 0);
    QCOMPARE(t.cellAt(0, 0).moduleId, 2u);
    QCOMPARE(t.cellAt(0, 1).moduleId, 1u);
    QCOMPARE(t.placedCount(), 2);
    QCOMPARE(tree.moduleCount(), 0);
}

QTEST_MAIN(TestScib)
#include "tst_scib.moc"
