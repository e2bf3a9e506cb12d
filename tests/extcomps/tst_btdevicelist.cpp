// The Bluetooth device list on its own: which scan results are listed, how
// rows expire and keep their order, the selection by mouse, and what a
// connection request does without a module to reach.
#include "BluetoothModule.h"
#include "RecordingPrompts.h"

#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>

using BTDevInfo = BluetoothCommunicator::BTDevInfo;

namespace {

BTDevInfo device(int index, const QString& name, quint32 value)
{
    BTDevInfo d;
    d.index = quint8(index);
    d.name = name;
    d.value = value;
    return d;
}

} // namespace

class TestBtDeviceList : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void listsOnlyNamedModulesWithASerial_data();
    void listsOnlyNamedModulesWithASerial();
    void rowsFollowTheScanInOrderOfFirstSighting();
    void listIsFrozenWhileConnected();
    void selectionByMouseAndExpiry();
    void connectRequestWithoutModule();
    void digitsOfTakesOnlyAllDigitTexts_data();
    void digitsOfTakesOnlyAllDigitTexts();

private:
    void report(const BTDevInfo& d) { page->NewDeviceFound(d); }
    QStringList table() const
    {
        QStringList out;
        for (int r = 0; r < page->model.rowCount(); ++r)
            out << page->model.item(r, 0)->text() + ' ' + page->model.item(r, 1)->text() + ' '
                       + page->model.item(r, 2)->text();
        return out;
    }
    // Reports the devices every 200 ms for about ms milliseconds (well inside
    // a row's life, also on a busy machine).
    void keepReporting(const QList<BTDevInfo>& devices, int ms)
    {
        for (int t = 0; t < ms; t += 200) {
            for (const BTDevInfo& d : devices)
                report(d);
            QTest::qWait(200);
        }
    }
    void pressRow(int row)
    {
        const QRect r = page->view.visualRect(page->model.index(row, 1));
        QTest::mouseClick(page->view.viewport(), Qt::LeftButton, {}, r.center());
    }

    std::unique_ptr<BluetoothModule> page;
    RecordingPrompts prompts;
};

void TestBtDeviceList::init()
{
    prompts = RecordingPrompts();
    page = std::make_unique<BluetoothModule>();
    page->setPrompts(&prompts);
    page->resize(640, 400);
    page->show();
    QVERIFY(QTest::qWaitForWindowExposed(page.get()));
}

void TestBtDeviceList::cleanup()
{
    page.reset();
}

void TestBtDeviceList::listsOnlyNamedModulesWithASerial_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<quint32>("value");
    QTest::addColumn<QString>("row"); // empty: not listed

    QTest::newRow("listed") << "BMS Module" << quint32(66051) << "3 BMS Module 66051";
    QTest::newRow("four bytes") << "BMS1" << quint32(1) << "3 BMS1 1";
    QTest::newRow("three bytes") << "BMS" << quint32(66051) << QString();
    QTest::newRow("empty name") << QString() << quint32(66051) << QString();
    QTest::newRow("two characters, four bytes") << QString::fromUtf8("\xc3\xa9\xc3\xa9") << quint32(7)
                                                << QString::fromUtf8("3 \xc3\xa9\xc3\xa9 7");
    QTest::newRow("serial 0") << "BMS Module" << quint32(0) << QString();
    QTest::newRow("serial unsigned") << "BMS Module" << quint32(0xFFFFFFFF) << "3 BMS Module 4294967295";
}

void TestBtDeviceList::listsOnlyNamedModulesWithASerial()
{
    QFETCH(QString, name);
    QFETCH(quint32, value);
    QFETCH(QString, row);
    report(device(3, name, value));
    QCOMPARE(table(), row.isEmpty() ? QStringList() : QStringList{row});
    if (!row.isEmpty()) {
        // Cells are shown, centred, but neither editable nor selectable.
        const QStandardItem* item = page->model.item(0, 1);
        QCOMPARE(item->flags(), Qt::ItemFlags(Qt::ItemIsEnabled));
        QCOMPARE(item->textAlignment(), Qt::Alignment(Qt::AlignCenter));
    }
}

void TestBtDeviceList::rowsFollowTheScanInOrderOfFirstSighting()
{
    const BTDevInfo a = device(0, "Module A", 100);
    const BTDevInfo b = device(1, "Module B", 200);
    // Reported again and again: one row each, in the order first seen, well
    // past the row's life.
    keepReporting({a}, 600);
    keepReporting({b, a}, 1800);
    QCOMPARE(table(), QStringList({"0 Module A 100", "1 Module B 200"}));

    // A stops: its row goes and B closes the gap.
    QElapsedTimer since;
    since.start();
    for (int i = 0; i < 4 && table().size() == 2; ++i)
        keepReporting({b}, 600);
    QCOMPARE(table(), QStringList({"1 Module B 200"}));
    QVERIFY(since.elapsed() >= 600); // not before its life was over

    // B renamed: listed anew, and the old name expires.
    const BTDevInfo renamed = device(1, "Pack 7", 200);
    keepReporting({renamed}, 200);
    QCOMPARE(table(), QStringList({"1 Module B 200", "1 Pack 7 200"}));
    for (int i = 0; i < 6 && table().size() == 2; ++i)
        keepReporting({renamed}, 600);
    QCOMPARE(table(), QStringList({"1 Pack 7 200"}));
    QCOMPARE(int(page->rows.size()), 1);

    // Unreported, it goes too.
    QTRY_COMPARE_WITH_TIMEOUT(table(), QStringList(), 5000);
    QVERIFY(page->rows.empty());
}

void TestBtDeviceList::listIsFrozenWhileConnected()
{
    report(device(0, "Module A", 100));
    page->setConnectButton(ToggleButton::on); // what a connection does
    report(device(1, "Module B", 200));
    QTest::qWait(2500);
    QCOMPARE(table(), QStringList({"0 Module A 100"}));

    // Connection over: a disconnection empties the list; new results count.
    page->Disconnected();
    QCOMPARE(table(), QStringList());
    QCOMPARE(page->connectButton->text(), QString("Connect"));
    report(device(1, "Module B", 200));
    QCOMPARE(table(), QStringList({"1 Module B 200"}));
}

void TestBtDeviceList::selectionByMouseAndExpiry()
{
    report(device(0, "Module A", 100));
    report(device(4, "Module B", 200));
    pressRow(1);
    QCOMPARE(page->selected, page->rows[1].get());
    QCOMPARE(page->nameEdit->text(), QString("Module B"));

    // Below the rows: nothing is selected.
    QTest::mouseClick(page->view.viewport(), Qt::LeftButton, {},
                      QPoint(10, page->view.viewport()->height() - 3));
    QVERIFY(!page->selected);

    // A background press restores the selected module's name in an emptied field.
    pressRow(0);
    page->nameEdit->clear();
    QTest::mouseClick(page.get(), Qt::LeftButton, {}, QPoint(page->width() - 3, page->height() - 3));
    QCOMPARE(page->nameEdit->text(), QString("Module A"));

    // Another module of the same name expiring leaves the selection alone.
    report(device(9, "Module A", 900));
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < 2000) {
        report(device(0, "Module A", 100));
        QTest::qWait(200);
    }
    QCOMPARE(table(), QStringList({"0 Module A 100"}));
    QCOMPARE(page->selected, page->rows[0].get());

    // The selected row expiring takes the selection with it.
    QTRY_VERIFY_WITH_TIMEOUT(page->rows.empty(), 5000);
    QVERIFY(!page->selected);
}

void TestBtDeviceList::connectRequestWithoutModule()
{
    // Connect with no selection while Bluetooth is on: the button stays
    // "Connect" and the table's border flashes for a second.
    page->enableSwitch->moveSlider(LabelToggleSwitch::on);
    page->connectButton->setEnabled(true);
    QTest::mouseClick(page->connectButton, Qt::LeftButton);
    QCOMPARE(page->connectButton->state, ToggleButton::off);
    QCOMPARE(page->connectButton->text(), QString("Connect"));
    QCOMPARE(page->view.styleSheet(), QString("QTableView { border: 2px dashed #FA8072; }"));
    QTRY_COMPARE_WITH_TIMEOUT(page->view.styleSheet(), QString("QTableView { border: 1px solid lightgrey; }"), 3000);

    // A double click on a row asks for a connection; with no transport it
    // cannot start, and the button never claims one.
    report(device(2, "Module A", 100));
    const QRect r = page->view.visualRect(page->model.index(0, 1));
    QSignalSpy dbl(&page->view, &QAbstractItemView::doubleClicked);
    // A real double click: a click, then the double click and its release.
    QTest::mouseClick(page->view.viewport(), Qt::LeftButton, {}, r.center());
    QTest::mouseDClick(page->view.viewport(), Qt::LeftButton, {}, r.center());
    QTest::mouseRelease(page->view.viewport(), Qt::LeftButton, {}, r.center());
    QCOMPARE(dbl.size(), 1);
    QCOMPARE(page->selected, page->rows[0].get());
    QCOMPARE(page->connectToRow(page->selected), 1);
    QCOMPARE(page->connectToRow(nullptr), -1);
    QCOMPARE(page->connectButton->state, ToggleButton::off);
    QCOMPARE(page->connectButton->text(), QString("Connect"));
}

void TestBtDeviceList::digitsOfTakesOnlyAllDigitTexts_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("digits");
    QTest::newRow("six digits") << "012345" << QByteArray("012345");
    QTest::newRow("empty") << QString() << QByteArray();
    QTest::newRow("mask") << "******" << QByteArray();
    QTest::newRow("one letter") << "12a456" << QByteArray();
    QTest::newRow("sign") << "-12345" << QByteArray();
    QTest::newRow("other script digit") << QString::fromUtf8("12345\xd9\xa3") << QByteArray();
}

void TestBtDeviceList::digitsOfTakesOnlyAllDigitTexts()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, digits);
    QCOMPARE(digitsOf(text), digits);
}

QTEST_MAIN(TestBtDeviceList)
#include "tst_btdevicelist.moc"
