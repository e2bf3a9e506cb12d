// The Master/Slave tab: encodings, the Parallel/Series topology written as
// string numbers and read back after a load, the BMS list by count, the tab
// enabled by flag word 0, and the CAN Splitter commit.
#include "TabTestHelpers.h"

#include "HeldBox.h"

#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTest>

using namespace TabTest;

namespace {

// A row's topology undone: neither button checked and its groups hidden, as
// the tab is built.
struct MasterSlaveFixture : PageFixture
{
    void resetForRow()
    {
        PageFixture::resetForRow();
        for (QRadioButton* b : {page->parallelRadio, page->seriesRadio}) {
            b->setAutoExclusive(false);
            b->setChecked(false);
            b->setAutoExclusive(true);
        }
        for (int group : {3, 4, 5})
            page->setWidgetGroupVisible(group, false);
    }
};

} // namespace

class TestTabMasterSlave : public QObject
{
    Q_OBJECT
private slots:
    void init() { m_pages.startRow(); }
    void cleanupTestCase() { m_pages.release(); }
    void shown_data();
    void shown();
    void clickWritesStringNumbers();
    void topologyAfterLoad_data();
    void topologyAfterLoad();
    void deviceRowsFollowTheCount();
    void tabEnabledByFlagWord0_data();
    void tabEnabledByFlagWord0();
    void splitterCommit();
    void splitterCommitRefusedOrNotStarted_data();
    void splitterCommitRefusedOrNotStarted();
    void splitterResults_data();
    void splitterResults();

private:
    PagePerFunction<MasterSlaveFixture> m_pages;
};

namespace {

QWidget* msTab(const PageFixture& f) { return f.page->masterSlaveTab; }

// The features of the tab's rows, so that the topology may show them.
void allFeatures(PageFixture& f) { setFeatures(f, {88, 89, 90, 91, 92, 93, 94}); }

// The unit reports every string number, and the load has ended.
void loadStringNumbers(PageFixture& f, const QList<int>& numbers)
{
    for (int i = 0; i < 32; ++i)
        f.reply(0x1C86 + i, quint32(numbers.value(i)), 2);
    f.page->configurationLoaded = true;
}

QWidget* bypassEditor(const PageFixture& f) { return paramOn(f, msTab(f), 0x1600, 0x02000000u)->widget; }
QWidget* equalizationEditor(const PageFixture& f) { return paramOn(f, msTab(f), 0x0120)->widget; }
QWidget* deviationFold(const PageFixture& f) { return f.page->widgetGroup(5).value(0); }

// Answers every box with Ok (or closes it) and keeps its text.
struct Boxes
{
    QStringList texts;
    bool ok = true;
    void install(PageFixture& f)
    {
        f.page->setModalBoxRunner([this](QMessageBox* box) {
            testkit::holdLikeABox();
            texts << box->text();
            if (ok)
                box->button(QMessageBox::Ok)->click();
            else if (box->button(QMessageBox::Cancel))
                box->button(QMessageBox::Cancel)->click();
        });
    }
};

} // namespace

void TestTabMasterSlave::shown_data()
{
    QTest::addColumn<int>("id");
    QTest::addColumn<quint32>("raw");
    QTest::addColumn<QString>("text");
    QTest::newRow("equalization voltage") << 0x0120 << 10000u << "100.00";
    QTest::newRow("cancellation current, whole word") << 0x1DF8 << 0xFFFFu << "6553.5";
    QTest::newRow("equalization duration held at 1") << 0x0047 << 0u << "1";
    QTest::newRow("current deviation") << 0x1DF4 << 10240u << "1024.0";
    QTest::newRow("activation delay") << 0x003D << 255u << "25.5";
    QTest::newRow("config error deactivation held at 5") << 0x003E << 0u << "5";
    QTest::newRow("other deactivation delays from 0") << 0x0040 << 0u << "0";
    QTest::newRow("serial number") << 0x1E06 + 4 * 31 << 0xFFFFFFFFu << "4294967295";
}

void TestTabMasterSlave::shown()
{
    QFETCH(int, id);
    QFETCH(quint32, raw);
    QFETCH(QString, text);
    MasterSlaveFixture& f = m_pages.get();
    ConfigParam* p = paramOn(f, msTab(f), id);
    QVERIFY(p);
    f.reply(id, raw);
    QCOMPARE(static_cast<QLineEdit*>(p->widget)->text(), text);
    // A value the word cannot hold is refused when typed.
    if (id == 0x1DF8)
        QVERIFY(!accepts(p, "6553.6"));
}

void TestTabMasterSlave::clickWritesStringNumbers()
{
    MasterSlaveFixture& f = m_pages.get();
    allFeatures(f);
    loadStringNumbers(f, {});
    f.page->parallelRadio->setEnabled(true);
    f.page->seriesRadio->setEnabled(true);
    f.page->parallelRadio->click();
    QCOMPARE(f.writes.size(), 31);
    for (int i = 1; i < 32; ++i)
        QCOMPARE(f.writes.at(i - 1), qMakePair(0x1C86 + i, quint32(i)));
    QVERIFY(!deviationFold(f)->isHidden());
    QVERIFY(bypassEditor(f)->isHidden());
    f.writes.clear();
    f.page->seriesRadio->click();
    QCOMPARE(f.writes.size(), 31);
    for (int i = 1; i < 32; ++i)
        QCOMPARE(f.writes.at(i - 1), qMakePair(0x1C86 + i, 0u));
    QVERIFY(deviationFold(f)->isHidden());
    QVERIFY(!bypassEditor(f)->isHidden());
    // The same topology again writes nothing.
    f.writes.clear();
    f.page->seriesRadio->click();
    QVERIFY(f.writes.isEmpty());
}

void TestTabMasterSlave::topologyAfterLoad_data()
{
    QTest::addColumn<QString>("version");
    QTest::addColumn<int>("count");
    QTest::addColumn<QList<int>>("numbers");
    QTest::addColumn<int>("topology"); // 1 Parallel, 2 Series, 0 unchanged
    QTest::newRow("three units on their strings") << "VR1,BMS2,1,2.5.0" << 3 << QList<int>{0, 1, 2} << 1;
    QTest::newRow("all on one string") << "VR1,BMS2,1,2.5.0" << 3 << QList<int>{0, 0, 0} << 2;
    QTest::newRow("numbers beyond the count") << "VR1,BMS2,1,2.5.0" << 2 << QList<int>{0, 0, 3} << 2;
    // A 32-unit firmware: the count is not cut to 13.
    QTest::newRow("count above 13")
        << "VR1,BMS2,1,2.5.0" << 20 << QList<int>{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 19} << 1;
    QTest::newRow("first generation unit") << "VR1,BMS1,1,2.5.0" << 3 << QList<int>{0, 1, 2} << 0;
}

void TestTabMasterSlave::topologyAfterLoad()
{
    QFETCH(QString, version);
    QFETCH(int, count);
    QFETCH(QList<int>, numbers);
    QFETCH(int, topology);
    MasterSlaveFixture& f = m_pages.get();
    allFeatures(f);
    f.page->slotReceivedVersionString(version);
    f.reply(0x1C05, quint32(count), 2);
    loadStringNumbers(f, numbers);
    f.page->updateMasterSlaveTopology();
    QVERIFY(f.writes.isEmpty());
    QCOMPARE(f.page->parallelRadio->isChecked(), topology == 1);
    QCOMPARE(f.page->seriesRadio->isChecked(), topology == 2);
    if (topology == 0) {
        QVERIFY(bypassEditor(f)->isHidden());
        return;
    }
    const bool parallel = topology == 1;
    QCOMPARE(deviationFold(f)->isHidden(), !parallel);
    QCOMPARE(equalizationEditor(f)->isHidden(), !parallel);
    QCOMPARE(bypassEditor(f)->isHidden(), parallel);
}

void TestTabMasterSlave::deviceRowsFollowTheCount()
{
    MasterSlaveFixture& f = m_pages.get();
    const QList<QWidget*> rows = f.page->widgetGroup(1);
    QCOMPARE(rows.size(), 64);
    for (QWidget* w : rows)
        QVERIFY(w->isHidden());
    f.reply(0x1C05, 5, 2);
    for (int i = 0; i < rows.size(); ++i)
        QCOMPARE(rows.at(i)->isHidden(), i >= 10);
    QCOMPARE(static_cast<QLabel*>(rows.at(8))->text(), QString("BMS 5 Serial:"));
    QCOMPARE(f.page->controlUnitCountEdit->maximum(), 13);
    QCOMPARE(f.page->controlUnitCountEdit->value(), 5);
}

void TestTabMasterSlave::tabEnabledByFlagWord0_data()
{
    QTest::addColumn<quint32>("word");
    QTest::addColumn<bool>("enabled");
    const quint32 all = (1u << 9) | (1u << 14) | (1u << 23);
    QTest::newRow("all three") << all << true;
    QTest::newRow("all three and more") << (all | 1u) << true;
    QTest::newRow("no CAN") << (all & ~(1u << 9)) << false;
    QTest::newRow("not transparent") << (all & ~(1u << 14)) << false;
    QTest::newRow("no master/slave") << (all & ~(1u << 23)) << false;
}

void TestTabMasterSlave::tabEnabledByFlagWord0()
{
    QFETCH(quint32, word);
    QFETCH(bool, enabled);
    MasterSlaveFixture& f = m_pages.get();
    f.reply(0x1600, word);
    QCOMPARE(f.page->tabWidget->isTabEnabled(f.page->tabWidget->indexOf(msTab(f))), enabled);
}

// Each id of the splitter's set once, with the value the unit reported; ids
// never read are left out.
void TestTabMasterSlave::splitterCommit()
{
    MasterSlaveFixture& f = m_pages.get();
    Boxes boxes;
    boxes.install(f);
    QList<ConfigPage::SplitterParam> sent;
    f.page->setSplitterConfigStarter([&sent](const QList<ConfigPage::SplitterParam>& params) {
        sent = params;
        return true;
    });
    f.reply(0x1600, 0x00804200u);
    f.reply(0x1604, 0x0000000Fu);
    f.reply(0x1C05, 2, 2);
    f.reply(0x1E06, 0x12345678u);
    f.reply(0x1E0A, 0x9ABCDEF0u);
    f.reply(0x0120, 100, 4); // not one of the splitter's
    f.page->slotMasterSlaveUpdateSplitterConfiguration();
    QCOMPARE(boxes.texts, QStringList{"WARNING!"});
    QList<QPair<int, quint32>> got;
    for (const ConfigPage::SplitterParam& p : sent)
        got << qMakePair(int(p.id), p.value);
    QCOMPARE(got, (QList<QPair<int, quint32>>{{0x1600, 0x00804200u},
                                              {0x1604, 0x0000000Fu},
                                              {0x1C05, 2u},
                                              {0x1E06, 0x12345678u},
                                              {0x1E0A, 0x9ABCDEF0u}}));
    QCOMPARE(sent.at(3).name, QString("MS2_DEVICE_SERIAL_DEV0"));
    QCOMPARE(f.page->cursor().shape(), Qt::WaitCursor);
    f.page->slotCanSplitterConfigFinish(0);
    QCOMPARE(boxes.texts.last(), QString("CAN Splitter configuration finished."));
    QCOMPARE(f.page->cursor().shape(), Qt::ArrowCursor);
}

void TestTabMasterSlave::splitterCommitRefusedOrNotStarted_data()
{
    QTest::addColumn<bool>("loaded");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<bool>("starts");
    QTest::addColumn<int>("starterCalls");
    QTest::addColumn<int>("boxCount");
    QTest::newRow("nothing read yet") << false << true << true << 0 << 1;
    QTest::newRow("configuration mode refused") << true << false << true << 0 << 1;
    QTest::newRow("job not started") << true << true << false << 1 << 2;
}

void TestTabMasterSlave::splitterCommitRefusedOrNotStarted()
{
    QFETCH(bool, loaded);
    QFETCH(bool, ok);
    QFETCH(bool, starts);
    QFETCH(int, starterCalls);
    QFETCH(int, boxCount);
    MasterSlaveFixture& f = m_pages.get();
    Boxes boxes;
    boxes.ok = ok;
    boxes.install(f);
    int calls = 0;
    f.page->setSplitterConfigStarter([&](const QList<ConfigPage::SplitterParam>&) {
        ++calls;
        return starts;
    });
    if (loaded)
        f.reply(0x1600, 0x00804200u);
    f.page->slotMasterSlaveUpdateSplitterConfiguration();
    QCOMPARE(calls, starterCalls);
    QCOMPARE(boxes.texts.size(), boxCount);
    // No result will come: the page does not stay waiting.
    QCOMPARE(f.page->cursor().shape(), Qt::ArrowCursor);
}

void TestTabMasterSlave::splitterResults_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("text");
    QTest::newRow("1") << 1 << "CAN Splitter not found.";
    QTest::newRow("2") << 2 << "Error entering config mode to configure CAN Splitter. Please try again.";
    QTest::newRow("3") << 3 << "Error sending parameter to CAN Splitter. Please try again.";
    QTest::newRow("4") << 4 << "Error sending not existing parameter to CAN Splitter. Please try again.";
    QTest::newRow("5") << 5 << "Error leaving BMS configuration mode .Please try again.";
    QTest::newRow("6") << 6 << "CAN Splitter configuration error. Please try again.";
    QTest::newRow("other") << 7 << "";
    QTest::newRow("negative") << -1 << "";
}

void TestTabMasterSlave::splitterResults()
{
    QFETCH(int, code);
    QFETCH(QString, text);
    MasterSlaveFixture& f = m_pages.get();
    Boxes boxes;
    boxes.install(f);
    f.page->setCursor(Qt::WaitCursor);
    f.page->slotCanSplitterConfigFinish(code);
    QCOMPARE(boxes.texts, QStringList{text});
    QCOMPARE(f.page->cursor().shape(), Qt::ArrowCursor);
}

QTEST_MAIN(TestTabMasterSlave)
#include "tst_tab_masterslave.moc"
