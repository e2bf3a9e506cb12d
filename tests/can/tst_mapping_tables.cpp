// The group-module mapping widgets, wired as the CAN Devices tab wires them,
// driven by synthetic drops (a real pointer drag cannot run headless).
#include "ModuleMappingTables.h"

#include <QDropEvent>
#include <QHeaderView>
#include <QMimeData>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTest>

namespace {

constexpr quint16 kGen2 = 9;   // a group module type
constexpr quint16 kSensor = 2; // not a group module

struct Rig
{
    QWidget host;
    QSpinBox strings;
    ConfiguredTable* table = nullptr;
    UnconfiguredTree* tree = nullptr;

    Rig()
    {
        strings.setRange(1, 32);
        strings.setValue(1);
        table = new ConfiguredTable(&host);
        tree = new UnconfiguredTree(&host);
        QObject::connect(&strings, QOverload<int>::of(&QSpinBox::valueChanged), table,
                         &ConfiguredTable::slotTableColumnCount);
        QObject::connect(table, &ConfiguredTable::sigColumnCountChanged, &strings, &QSpinBox::setValue);
        QObject::connect(table, &ConfiguredTable::sigDropDevice, tree, &UnconfiguredTree::slotAcceptDroppedDevice);
        QObject::connect(table, &ConfiguredTable::sigTableDropAccepted, tree, &UnconfiguredTree::slotListDropAccepted);
        QObject::connect(tree, &UnconfiguredTree::sigListDropAccepted, table, &ConfiguredTable::slotTableDropAccepted);
        table->resize(32 * 140 + 100, 32 * 45 + 100);
        tree->resize(300, 600);
        host.resize(5000, 2000);
        host.show();
    }

    QPoint cellPoint(int string, int position) const
    {
        return table->visualRect(table->model()->index(position, string)).center();
    }
    QPoint rowPoint(int row) const { return tree->visualItemRect(tree->topLevelItem(row)).center(); }

    // The application hands a drop only to the widget that took the drag's
    // entry, so the drag enters first.
    static void drop(QAbstractItemView* view, const QPoint& at, QMimeData* mime)
    {
        QDragEnterEvent enter(at, Qt::MoveAction, mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(view->viewport(), &enter);
        QDropEvent ev(at, Qt::MoveAction, mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(view->viewport(), &ev);
    }
    void dropOnTable(int string, int position, QMimeData* mime) { drop(table, cellPoint(string, position), mime); }
    void dropOnTree(QMimeData* mime) { drop(tree, QPoint(5, 5), mime); }

    // A drag from the table to the tree or to a table cell; the drag then
    // ends as a real one does.
    void dragTableToTree(int string, int position)
    {
        std::unique_ptr<QMimeData> m(table->beginDrag(cellPoint(string, position)));
        QVERIFY(m);
        dropOnTree(m.get());
        table->endDrag();
    }
    void dragTableToTable(int fs, int fp, int ts, int tp)
    {
        std::unique_ptr<QMimeData> m(table->beginDrag(cellPoint(fs, fp)));
        QVERIFY(m);
        dropOnTable(ts, tp, m.get());
        table->endDrag();
    }
    void dragTreeToTable(int row, int ts, int tp)
    {
        std::unique_ptr<QMimeData> m(tree->beginDrag(rowPoint(row)));
        QVERIFY(m);
        dropOnTable(ts, tp, m.get());
        tree->endDrag();
    }
    // Fills string s with modules serial base, base+1, ... (12 cells each).
    void fill(int string, int count, quint32 base)
    {
        for (int p = 0; p < count; ++p)
            QVERIFY(table->placeDeviceAt(kGen2, base + p, string, p, CellConfirmed, 12, 1));
    }
    QList<quint32> serials(int string) const
    {
        QList<quint32> out;
        for (int p = 0; p < ConfiguredTable::kPositions; ++p)
            out << (table->cell(string, p).occupied ? table->cell(string, p).serial : 0);
        while (!out.isEmpty() && out.last() == 0)
            out.removeLast();
        return out;
    }
    QList<quint32> treeSerials() const
    {
        QList<quint32> out;
        for (int i = 0; i < tree->deviceCount(); ++i)
            out << tree->device(i).serial;
        return out;
    }
};

QMimeData* payload(const QString& text)
{
    auto* m = new QMimeData;
    m->setData(CgmPayload::kMimeType, text.toLatin1());
    return m;
}

} // namespace

class TestMappingTables : public QObject
{
    Q_OBJECT
private slots:
    void payloadText_data();
    void payloadText();
    void payloadParse_data();
    void payloadParse();
    void newTableAndClearAll();
    void placingCountsCellsAndWidensStrings();
    void placingRefusesOutOfRangeAndFullTable();
    void dropOnEmptyCellClosesTheGap();
    void dropOnOccupiedCellShiftsDown();
    void dragFromTableToTreeClosesTheString();
    void dragWithinTable();
    void fullTableDrops();
    void fewerStringsReturnModules();
    void duplicatesAndFind();
    void cancelledDragRemovesNothing();
    void treeDrops();
    void foreignDataIsIgnored();
    void dragDropSwitch();
};

void TestMappingTables::payloadText_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<quint32>("serial");
    QTest::addColumn<int>("cells");
    QTest::addColumn<int>("id");
    QTest::addColumn<QString>("text");
    QTest::newRow("group module") << int(kGen2) << quint32(123456) << 12 << 3 << "CGM;9;123456;12;3";
    QTest::newRow("no cell count") << int(kGen2) << quint32(7) << 255 << 1 << "CGM;9;7;;1";
    QTest::newRow("other device") << int(kSensor) << quint32(4000000000u) << 255 << 2 << ";2;4000000000;;2";
    QTest::newRow("unknown type") << 0x7777 << quint32(1) << 0 << 0 << ";30583;1;0;0";
}

void TestMappingTables::payloadText()
{
    QFETCH(int, type);
    QFETCH(quint32, serial);
    QFETCH(int, cells);
    QFETCH(int, id);
    QFETCH(QString, text);
    QCOMPARE(CgmPayload::build(quint16(type), serial, quint8(cells), quint16(id)), text);
}

void TestMappingTables::payloadParse_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("tag");
    QTest::addColumn<int>("type");
    QTest::addColumn<quint32>("serial");
    QTest::addColumn<int>("cells");
    QTest::addColumn<int>("id");
    QTest::newRow("whole") << QByteArray("CGM;9;123456;12;3") << true << "CGM" << 9 << quint32(123456) << 12 << 3;
    QTest::newRow("empty cells read 0") << QByteArray("CGM;9;5;;1") << true << "CGM" << 9 << quint32(5) << 0 << 1;
    QTest::newRow("cells low byte") << QByteArray("CGM;9;5;300;1") << true << "CGM" << 9 << quint32(5) << 44 << 1;
    QTest::newRow("junk reads 0") << QByteArray("CGM;x;y;z;w") << true << "CGM" << 0 << quint32(0) << 0 << 0;
    QTest::newRow("four fields") << QByteArray("CGM;9;5;1") << false << "" << 0 << quint32(0) << 0 << 0;
    QTest::newRow("six fields") << QByteArray("CGM;9;5;1;1;") << false << "" << 0 << quint32(0) << 0 << 0;
}

void TestMappingTables::payloadParse()
{
    QFETCH(QByteArray, text);
    QFETCH(bool, ok);
    CgmPayload p;
    QCOMPARE(CgmPayload::parse(text, &p), ok);
    if (!ok)
        return;
    QTEST(p.tag, "tag");
    QTEST(int(p.typeId), "type");
    QTEST(p.serial, "serial");
    QTEST(int(p.cellCount), "cells");
    QTEST(int(p.id), "id");
}

void TestMappingTables::newTableAndClearAll()
{
    Rig r;
    QCOMPARE(g_configuredTable, r.table);
    QCOMPARE(g_unconfiguredTree, r.tree);
    QCOMPARE(r.table->horizontalHeaderItem(0)->text(), QString("String0"));
    QVERIFY(!r.table->isColumnHidden(0));
    QVERIFY(r.table->isColumnHidden(1));
    QVERIFY(!r.table->isRowHidden(0));
    QVERIFY(r.table->isRowHidden(1));
    r.fill(0, 2, 100);
    r.table->clearAll();
    QCOMPARE(r.table->horizontalHeaderItem(0)->text(), QString("Str0 (Cells: 0)"));
    QCOMPARE(r.table->placedCount(), 0);
    QVERIFY(r.table->isRowHidden(1));
    QCOMPARE(r.strings.value(), 1);
}

void TestMappingTables::placingCountsCellsAndWidensStrings()
{
    Rig r;
    r.strings.setValue(2);
    QVERIFY(r.table->placeDevice(5, 0, kGen2, 77, 14, 3));
    QCOMPARE(r.strings.value(), 6);
    for (int s = 0; s < 6; ++s)
        QVERIFY(!r.table->isColumnHidden(s));
    QVERIFY(r.table->isColumnHidden(6));
    const ModuleCell& c = r.table->cell(5, 0);
    QCOMPARE(c.text, QString("MWB340 SN: 77\nCells: 14\nID: 3"));
    QCOMPARE(r.table->item(0, 5)->text(), c.text);
    QCOMPARE(r.table->headerLabel(5), QString("Str5 (Cells: 14)"));
    QCOMPARE(r.table->headerLabel(0), QString("Str0 (Cells: 0)"));
    // an unknown type shows its placeholder part number
    QVERIFY(r.table->placeDevice(0, 0, 0x4321, 1, 2, 3));
    QVERIFY(r.table->cell(0, 0).text.startsWith("PN?_4321 SN: 1"));
    QCOMPARE(r.table->totalCellCount(), 16);
    // rows follow the highest occupied position, plus one empty row
    QVERIFY(r.table->placeDeviceAt(kGen2, 9, 1, 4, CellUnconfirmed, 1, 1));
    QVERIFY(!r.table->isRowHidden(5));
    QVERIFY(r.table->isRowHidden(6));
    QVERIFY(r.table->placeDeviceAt(kGen2, 9, 1, 4, CellEmpty, 1, 1)); // re-placing does not count twice
    QCOMPARE(r.table->placedCount(), 3);
}

void TestMappingTables::placingRefusesOutOfRangeAndFullTable()
{
    Rig r;
    QVERIFY(!r.table->placeDevice(32, 0, kGen2, 1, 1, 1));
    QVERIFY(!r.table->placeDevice(0, 32, kGen2, 1, 1, 1));
    QVERIFY(!r.table->placeDeviceAt(kGen2, 1, 0, 0, 4, 1, 1));
    QVERIFY(!r.table->setCellState(0, 0, 4));
    QVERIFY(!r.table->setAllCellStates(4));
    QCOMPARE(r.table->placedCount(), 0);
    for (int s = 0; s < 4; ++s)
        r.fill(s, 8, 1000 + 100 * s);
    QCOMPARE(r.table->placedCount(), 32);
    QVERIFY(!r.table->placeDevice(5, 0, kGen2, 1, 1, 1));
    QVERIFY(!r.table->cell(5, 0).occupied);
    QCOMPARE(r.table->collectPlacedDevices(), 32);
    quint16 type = 0;
    quint32 serial = 0;
    quint8 cells = 0, s = 0, p = 0, st = 9;
    QVERIFY(r.table->placedDeviceAt(9, &type, &serial, &cells, &s, &p, &st));
    QCOMPARE(serial, quint32(1101));
    QCOMPARE(int(s), 1);
    QCOMPARE(int(p), 1);
    QCOMPARE(int(st), int(CellConfirmed));
    QVERIFY(!r.table->placedDeviceAt(32, &type, &serial, &cells, &s, &p, &st));
}

void TestMappingTables::dropOnEmptyCellClosesTheGap()
{
    Rig r;
    r.strings.setValue(2);
    r.fill(1, 6, 200);
    QVERIFY(!r.table->isRowHidden(5));
    QSignalSpy changed(r.table, &ConfiguredTable::sigConfigurationChanged);
    std::unique_ptr<QMimeData> m(payload("CGM;9;555;10;4"));
    r.dropOnTable(0, 5, m.get());
    QCOMPARE(r.serials(0), QList<quint32>{555});
    QCOMPARE(int(r.table->cell(0, 0).state), int(CellUnconfirmed));
    QCOMPARE(int(r.table->cell(0, 0).cellCount), 10);
    QCOMPARE(changed.count(), 1);
}

void TestMappingTables::dropOnOccupiedCellShiftsDown()
{
    Rig r;
    r.fill(0, 4, 300);
    std::unique_ptr<QMimeData> m(payload("CGM;9;999;12;1"));
    r.dropOnTable(0, 2, m.get());
    QCOMPARE(r.serials(0), (QList<quint32>{300, 301, 999, 302, 303}));
    QCOMPARE(int(r.table->cell(0, 1).state), int(CellConfirmed));
    QCOMPARE(int(r.table->cell(0, 3).state), int(CellUnconfirmed));
    QCOMPARE(int(r.table->cell(0, 4).state), int(CellUnconfirmed));
    QCOMPARE(r.table->placedCount(), 5);
}

void TestMappingTables::dragFromTableToTreeClosesTheString()
{
    Rig r;
    r.fill(0, 3, 400);
    r.tree->addDevice(kSensor, 1, 255, 2);
    QSignalSpy changed(r.table, &ConfiguredTable::sigConfigurationChanged);
    r.dragTableToTree(0, 1);
    QCOMPARE(r.serials(0), (QList<quint32>{400, 402}));
    QCOMPARE(int(r.table->cell(0, 1).state), int(CellUnconfirmed));
    QCOMPARE(r.treeSerials(), (QList<quint32>{1, 401}));
    QCOMPARE(r.tree->topLevelItem(1)->text(2), QString("12"));
    QCOMPARE(changed.count(), 1);
    QVERIFY(!r.table->isDragSource());
}

void TestMappingTables::dragWithinTable()
{
    Rig r;
    r.strings.setValue(2);
    r.fill(0, 4, 500); // shows rows 0 to 4
    r.fill(1, 2, 600);
    r.dragTableToTable(0, 0, 1, 3);
    QCOMPARE(r.serials(0), (QList<quint32>{501, 502, 503}));
    QCOMPARE(r.serials(1), (QList<quint32>{600, 601, 500}));
    QCOMPARE(r.table->placedCount(), 6);
    QCOMPARE(r.tree->deviceCount(), 0);
}

void TestMappingTables::fullTableDrops()
{
    Rig r;
    r.strings.setValue(4);
    for (int s = 0; s < 4; ++s)
        r.fill(s, 8, 1000 + 100 * s);
    r.tree->addDevice(kGen2, 77, 12, 1);
    // empty cell: refused, the tree keeps its device
    QSignalSpy accepted(r.table, &ConfiguredTable::sigTableDropAccepted);
    r.dragTreeToTable(0, 0, 8);
    QCOMPARE(accepted.count(), 1);
    QCOMPARE(accepted.at(0).at(0).toBool(), false);
    QCOMPARE(r.treeSerials(), QList<quint32>{77});
    QCOMPARE(r.table->placedCount(), 32);
    // occupied cell: that string's last module goes to the tree
    r.dragTreeToTable(0, 2, 3);
    QCOMPARE(r.serials(2), (QList<quint32>{1200, 1201, 1202, 77, 1203, 1204, 1205, 1206}));
    QCOMPARE(r.treeSerials(), QList<quint32>{1207});
    QCOMPARE(r.table->placedCount(), 32);
}

void TestMappingTables::fewerStringsReturnModules()
{
    Rig r;
    r.strings.setValue(4);
    r.fill(1, 1, 10);
    r.fill(2, 2, 20);
    r.fill(3, 1, 30);
    r.strings.setValue(2);
    QCOMPARE(r.treeSerials(), (QList<quint32>{20, 21, 30}));
    QCOMPARE(r.table->placedCount(), 1);
    QVERIFY(r.table->isColumnHidden(2));
    QCOMPARE(r.table->headerLabel(2), QString("Str2 (Cells: 0)"));
    QCOMPARE(r.tree->topLevelItem(0)->text(2), QString("12"));
}

void TestMappingTables::duplicatesAndFind()
{
    Rig r;
    r.strings.setValue(2);
    r.fill(0, 5, 40); // serial 44 at (0, 4)
    QVERIFY(r.table->placeDeviceAt(kGen2, 44, 1, 2, CellUnconfirmed, 6, 1));
    QVERIFY(r.table->placeDeviceAt(1, 44, 1, 3, CellUnconfirmed, 6, 1)); // same serial, other type
    r.table->markDuplicateDevices();
    QCOMPARE(int(r.table->cell(0, 4).state), int(CellConfirmed));
    QCOMPARE(int(r.table->cell(1, 2).state), int(CellFailed));
    QCOMPARE(int(r.table->cell(1, 3).state), int(CellUnconfirmed));
    quint8 s = 0, p = 0, cells = 0;
    QVERIFY(r.table->findDevice(44, &s, &p, &cells));
    QCOMPARE(int(s), 1);
    QCOMPARE(int(p), 2);
    QCOMPARE(int(cells), 6);
    QVERIFY(!r.table->findDevice(4444, &s, &p, &cells));
    QVERIFY(r.table->setAllCellStates(CellUnconfirmed));
    QCOMPARE(int(r.table->cell(0, 0).state), int(CellUnconfirmed));
    QCOMPARE(int(r.table->cell(0, 6).state), int(CellEmpty));
}

void TestMappingTables::cancelledDragRemovesNothing()
{
    Rig r;
    r.fill(0, 2, 50);
    r.tree->addDevice(kGen2, 90, 12, 1);
    std::unique_ptr<QMimeData> cancelled(r.table->beginDrag(r.cellPoint(0, 0)));
    QVERIFY(cancelled);
    r.table->endDrag();
    QCOMPARE(r.serials(0), (QList<quint32>{50, 51}));
    r.dragTreeToTable(0, 0, 2);
    QCOMPARE(r.serials(0), (QList<quint32>{50, 51, 90}));
    QCOMPARE(r.tree->deviceCount(), 0);
}

void TestMappingTables::treeDrops()
{
    Rig r;
    r.tree->addDevice(kSensor, 1, 255, 2);
    r.tree->addDevice(kGen2, 2, 12, 3);
    r.tree->addDevice(kGen2, 3, 12, 4);
    QCOMPARE(r.tree->topLevelItem(0)->text(0), QString("NRV430/RV432"));
    QCOMPARE(r.tree->topLevelItem(0)->text(2), QString());
    QCOMPARE(r.tree->device(0).payload, QByteArray(";2;1;;2"));
    // a drag within the tree moves the row to the end
    {
        std::unique_ptr<QMimeData> m(r.tree->beginDrag(r.rowPoint(1)));
        r.dropOnTree(m.get());
        r.tree->endDrag();
    }
    QCOMPARE(r.treeSerials(), (QList<quint32>{1, 3, 2}));
    QCOMPARE(r.tree->topLevelItemCount(), 3);
    // a device that is not a group module is refused, and stays
    QSignalSpy accepted(r.tree, &UnconfiguredTree::sigListDropAccepted);
    {
        std::unique_ptr<QMimeData> m(r.tree->beginDrag(r.rowPoint(0)));
        r.dropOnTree(m.get());
        r.tree->endDrag();
    }
    QCOMPARE(accepted.count(), 1);
    QCOMPARE(accepted.at(0).at(0).toBool(), false);
    QCOMPARE(r.treeSerials(), (QList<quint32>{1, 3, 2}));
    // nor does the table take it
    {
        std::unique_ptr<QMimeData> m(r.tree->beginDrag(r.rowPoint(0)));
        r.dropOnTable(0, 0, m.get());
        r.tree->endDrag();
    }
    QCOMPARE(r.table->placedCount(), 0);
    QCOMPARE(r.tree->deviceCount(), 3);
    // a device already listed is not listed twice
    std::unique_ptr<QMimeData> again(payload("CGM;9;3;12;4"));
    r.dropOnTree(again.get());
    QCOMPARE(r.treeSerials(), (QList<quint32>{1, 3, 2}));
    quint16 type = 0;
    quint32 serial = 0;
    QVERIFY(r.tree->deviceAt(2, &type, &serial));
    QCOMPARE(serial, quint32(2));
    QVERIFY(!r.tree->deviceAt(3, &type, &serial));
    r.tree->clearDevices();
    QCOMPARE(r.tree->topLevelItemCount(), 0);
    QCOMPARE(r.tree->deviceCount(), 0);
}

void TestMappingTables::foreignDataIsIgnored()
{
    Rig r;
    r.fill(0, 1, 60);
    QSignalSpy accepted(r.table, &ConfiguredTable::sigTableDropAccepted);
    QSignalSpy listAccepted(r.tree, &UnconfiguredTree::sigListDropAccepted);
    const QByteArray bad[] = {"SCiB;1;12", "CGM;9;1;1", "cgm;9;1;1;1", ";9;1;1;1"};
    for (const QByteArray& text : bad) {
        std::unique_ptr<QMimeData> m(payload(QString::fromLatin1(text)));
        r.dropOnTable(0, 0, m.get());
    }
    auto* plain = new QMimeData;
    plain->setText("CGM;9;1;1;1");
    r.dropOnTable(0, 0, plain);
    r.dropOnTree(plain);
    delete plain;
    QCOMPARE(accepted.count(), 0);
    QCOMPARE(listAccepted.count(), 0);
    QCOMPARE(r.serials(0), QList<quint32>{60});
}

void TestMappingTables::dragDropSwitch()
{
    Rig r;
    r.table->setDragDropEnabled(false);
    r.tree->setDragDropEnabled(false);
    QVERIFY(!r.table->viewport()->acceptDrops());
    QVERIFY(!r.table->dragEnabled());
    QVERIFY(!r.tree->viewport()->acceptDrops());
    r.table->setDragDropEnabled(true);
    QVERIFY(r.table->viewport()->acceptDrops());
    QVERIFY(r.table->dragEnabled());
}

QTEST_MAIN(TestMappingTables)
#include "tst_mapping_tables.moc"
