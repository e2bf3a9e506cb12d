// The Toshiba SCiB tab: its mapping editors, discovery through the SCiB
// module service (on a fake link), configuring (records written at once,
// cell totals submitted) and the stored mapping shown after a load.
#include "../ConfigPageFixture.h"
#include "../../../can/FakeCanLink.h"
#include "HeldBox.h"
#include "ParamConversion.h"
#include "ToshibaSCiBMappingTables.h"
#include "ToshibaSCiBModuleConfig.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>

namespace {

int serialId(int m) { return 0x0D27 + 2 * (m - 1); }
int stringId(int m) { return 0x0C66 + m; }
int cellsId(int m) { return 0x0C06 + m; }

struct ScibBench
{
    PageFixture f;
    FakeCanLink* link = new FakeCanLink;
    ToshibaSCiBModuleConfig service{std::unique_ptr<CanLinkServices>(link)};
    // The General tab's editors the commit fills.
    std::unique_ptr<QWidget> cellCount{f.page->createParamWidget("Number of Cells", 1, 0x0100, 2, 0, 1000, 0, 1)};
    std::unique_ptr<QWidget> strings{f.page->createParamWidget("Strings", 0, 0x0013, 2, 0, 32, 0, 1)};
    int answer = QMessageBox::Ok;
    int boxes = 0;
    ConfigPage* page = f.page.get();

    ScibBench()
    {
        QObject::connect(&service, &ToshibaSCiBModuleConfig::sigToshibSCiBModuleOperationStatus, page,
                         &ConfigPage::slotToshibaSCiBOperationStatus);
        page->setModalBoxRunner([this](QMessageBox* box) {
            testkit::holdLikeABox();
            ++boxes;
            box->done(answer);
        });
    }
    // The unit reported every mapping value as 7, and the page is loaded.
    void loadValues()
    {
        f.reply(0x0C05, 7, 2);
        for (int m = 1; m <= 32; ++m) {
            f.reply(serialId(m), 7, 4);
            f.reply(stringId(m), 7, 2);
            f.reply(cellsId(m), 7, 2);
        }
        f.reply(0x0100, 7, 4);
        f.reply(0x0013, 1, 2);
        page->configurationLoaded = true;
    }
    QMap<int, quint32> written() const
    {
        QMap<int, quint32> w;
        for (const auto& p : f.writes)
            w[p.first] = p.second;
        return w;
    }
    void tickUntilIdle()
    {
        for (int i = 0; i < 5000 && service.isBusy(); ++i)
            service.slotCanProcess();
    }
};

} // namespace

class TestTabScib : public QObject
{
    Q_OBJECT
    // The data rows of one function share a page.
    PagePerFunction<PageFixture> pages;
private slots:
    void init() { pages.startRow(); }
    void cleanupTestCase() { pages.release(); }
    void mappingEditors_data();
    void mappingEditors();
    void tabStartsIdle();
    void configureWritesRecords();
    void configureCancelledOrNotLoaded();
    void discoveryUpdatesTableAndList();
    void discoveryThatCannotStart();
    void incompleteDiscoveryWarns();
    void loadShowsStoredMapping();
};

void TestTabScib::mappingEditors_data()
{
    QTest::addColumn<int>("id");
    QTest::addColumn<double>("maximum");
    QTest::newRow("module count") << 0x0C05 << 32.0;
    QTest::newRow("serial 1") << 0x0D27 << 65535.0;
    QTest::newRow("string 1") << 0x0C67 << 32.0;
    QTest::newRow("cells 1") << 0x0C07 << 255.0;
    QTest::newRow("serial 32") << 0x0D65 << 65535.0;
    QTest::newRow("string 32") << 0x0C86 << 32.0;
    QTest::newRow("cells 32") << 0x0C26 << 255.0;
}

void TestTabScib::mappingEditors()
{
    QFETCH(int, id);
    QFETCH(double, maximum);
    PageFixture& f = pages.get();
    ConfigParamSlot* slot = f.page->paramSlot(id);
    QVERIFY(slot);
    // The SCiB tab's editor, declared after the CGMs Map tab's.
    ConfigParam* p = slot->params.isEmpty() ? nullptr : slot->params.last();
    QVERIFY(p);
    QCOMPARE(p->widgetKind, int(ParamConversion::ImmediateLineEdit));
    QCOMPARE(p->minimum, 0.0);
    QCOMPARE(p->maximum, maximum);
    QCOMPARE(p->featureId, 0);
    QCOMPARE(p->scale, 1.0);
    QVERIFY(p->widget && p->widget->isHidden());
    QCOMPARE(f.page->scibModuleRecords.size(), 32);
    // The page's module records write through them.
    QCOMPARE(f.page->moduleRecords[31].serialEdit, static_cast<QWidget*>(f.page->scibModuleRecords.at(31).serialEdit));
    QCOMPARE(f.page->moduleCountEdit, static_cast<QWidget*>(f.page->scibModuleCountEdit));
}

void TestTabScib::tabStartsIdle()
{
    PageFixture f;
    ConfigPage* page = f.page.get();
    QVERIFY(page->scibTab);
    QVERIFY(!page->scibDiscoverButton->isEnabled());
    QVERIFY(!page->scibCommitButton->isEnabled());
    QCOMPARE(page->scibCommitButton->text(), QString("Commit configuration"));
    QCOMPARE(page->scibParallelStringsBox->minimum(), 1);
    QCOMPARE(page->scibParallelStringsBox->maximum(), 32);
    QVERIFY(!page->scibDiscoveryDone);
    QVERIFY(page->editingActionButtons.contains(page->scibCommitButton));
    // No discovery yet: a change of the table does not offer the commit.
    page->slotToshibaSCiBConfigurationChanged();
    QVERIFY(!page->scibCommitButton->isEnabled());
    page->scibDiscoveryDone = true;
    page->slotToshibaSCiBConfigurationChanged();
    QVERIFY(page->scibCommitButton->isEnabled());
    QVERIFY(page->scibCommitButton->styleSheet().contains("yellow"));
}

void TestTabScib::configureWritesRecords()
{
    ScibBench b;
    b.loadValues();
    ConfigPage* page = b.page;
    page->scibParallelStringsBox->setValue(2);
    page->scibTable->placeModuleAt(3, 0, 0, ScibUnconfirmed, 12);
    page->scibTable->placeModuleAt(70000, 0, 1, ScibUnconfirmed, 9);
    page->scibTable->placeModuleAt(5, 1, 0, ScibUnconfirmed, 12);
    page->scibList->addModule(9, 12);
    b.f.writes.clear();

    page->slotConfigureToshibaSCiBButtonPressed();

    const QMap<int, quint32> w = b.written();
    const QList<QPair<int, quint32>> expected = {
        {serialId(1), 3},     {stringId(1), 0}, {cellsId(1), 12}, {serialId(2), 70000 & 0xFFFF},
        {stringId(2), 0},     {cellsId(2), 9},  {serialId(3), 5}, {stringId(3), 1},
        {cellsId(3), 12},     {0x0C05, 3},      {0x0100, 33},     {0x0013, 2}};
    for (const auto& e : expected) {
        QVERIFY2(w.contains(e.first), qPrintable(QString::number(e.first, 16)));
        QCOMPARE(w.value(e.first), e.second);
    }
    QVERIFY(!w.contains(serialId(4)));
    QCOMPARE(b.service.commitModuleCount(), 3);
    QCOMPARE(b.service.unassignedModuleCount(), 1);
    QCOMPARE(int(page->scibTable->cellAt(0, 1).state), int(ScibConfirmed));
    QVERIFY(page->scibCommitButton->isEnabled());
    QVERIFY(page->scibCommitButton->styleSheet().isEmpty());
    QVERIFY(!QApplication::overrideCursor());
}

void TestTabScib::configureCancelledOrNotLoaded()
{
    ScibBench b;
    b.loadValues();
    ConfigPage* page = b.page;
    page->scibTable->placeModuleAt(3, 0, 0, ScibUnconfirmed, 12);
    b.f.writes.clear();

    b.answer = QMessageBox::Cancel;
    page->slotConfigureToshibaSCiBButtonPressed();
    QVERIFY(b.f.writes.isEmpty());
    QCOMPARE(page->scibModuleRecords.at(0).serialEdit->text(), QString("7"));
    QCOMPARE(int(page->scibTable->cellAt(0, 0).state), int(ScibUnconfirmed));

    b.answer = QMessageBox::Ok;
    page->configurationLoaded = false;
    page->slotConfigureToshibaSCiBButtonPressed();
    QVERIFY(b.f.writes.isEmpty());
    QCOMPARE(page->scibModuleRecords.at(0).serialEdit->text(), QString("3"));
}

void TestTabScib::discoveryUpdatesTableAndList()
{
    ScibBench b;
    ConfigPage* page = b.page;
    page->scibTable->placeModuleAt(3, 0, 0, ScibUnconfirmed, 12);
    page->scibTable->placeModuleAt(4, 0, 1, ScibConfirmed, 12);
    page->scibList->addModule(20, 9);

    page->slotDiscoverToshibaSCiBModulesButtonPressed();
    QVERIFY(b.service.isBusy());
    QCOMPARE(b.link->plainModes, QList<bool>({true}));
    QCOMPARE(page->scibList->moduleCount(), 0);
    QVERIFY(!page->scibDiscoverButton->isEnabled());
    QVERIFY(!page->scibTable->dragEnabled());
    QCOMPARE(int(page->scibTable->cellAt(0, 1).state), int(ScibUnconfirmed));
    QVERIFY(QApplication::overrideCursor());

    b.service.slotCanProcess();
    b.service.processSentence("CN1,00000534,0,0,8,AAAAAAAAAAAAAAAA"); // module 3, 9 cells
    b.service.processSentence("CN1,00000564,0,0,8,0000000000000000"); // module 6, 12 cells
    b.tickUntilIdle();

    QVERIFY(page->scibDiscoveryDone);
    QVERIFY(page->scibDiscoverButton->isEnabled());
    QVERIFY(page->scibCommitButton->isEnabled());
    QVERIFY(page->scibTable->dragEnabled());
    QVERIFY(!QApplication::overrideCursor());
    QCOMPARE(page->scibTable->cellAt(0, 0).moduleId, 3u);
    QCOMPARE(int(page->scibTable->cellAt(0, 0).cellCount), 9);
    QCOMPARE(int(page->scibTable->cellAt(0, 0).state), int(ScibConfirmed));
    QCOMPARE(int(page->scibTable->cellAt(0, 1).state), int(ScibUnconfirmed)); // not found
    QCOMPARE(page->scibList->moduleCount(), 1);
    uint32_t id = 0;
    QVERIFY(page->scibList->moduleAt(0, &id));
    QCOMPARE(id, 6u);
    QCOMPARE(b.boxes, 1); // the configuration-mode question only
}

void TestTabScib::discoveryThatCannotStart()
{
    ScibBench b;
    ConfigPage* page = b.page;
    page->scibDiscoverButton->setEnabled(true);
    b.link->plainModeWorks = false;
    page->slotDiscoverToshibaSCiBModulesButtonPressed();
    QVERIFY(!b.service.isBusy());
    QVERIFY(page->scibDiscoverButton->isEnabled());
    QVERIFY(!QApplication::overrideCursor());
    QCOMPARE(b.boxes, 2); // the question, then why nothing happened

    // The charging warning comes first, and the action goes on after it.
    b.link->plainModeWorks = true;
    page->chargingState = 1;
    page->configurationLoaded = true;
    page->slotDiscoverToshibaSCiBModulesButtonPressed();
    QCOMPARE(b.boxes, 4);
    QVERIFY(b.service.isBusy());
    b.tickUntilIdle();
}

void TestTabScib::incompleteDiscoveryWarns()
{
    ScibBench b;
    ConfigPage* page = b.page;
    page->slotDiscoverToshibaSCiBModulesButtonPressed();
    b.link->linked = false;
    b.tickUntilIdle();
    QCOMPARE(b.boxes, 2);
    QVERIFY(page->scibDiscoverButton->isEnabled());
    QVERIFY(!QApplication::overrideCursor());
}

void TestTabScib::loadShowsStoredMapping()
{
    ScibBench b;
    ConfigPage* page = b.page;
    // Records naming strings 0, 0, 1, 0; the first and the last both module 4.
    const QList<QList<int>> records = {{4, 0, 12}, {5, 0, 9}, {6, 1, 12}, {4, 0, 12}};
    b.f.reply(0x0C05, 4, 2);
    for (int m = 1; m <= records.size(); ++m) {
        b.f.reply(serialId(m), records[m - 1][0], 4);
        b.f.reply(stringId(m), records[m - 1][1], 2);
        b.f.reply(cellsId(m), records[m - 1][2], 2);
    }
    b.f.reply(0x0013, 3, 2);
    page->scibList->addModule(30, 9);
    page->finishScibLoad();

    ToshibaSCiBConfiguredTable* t = page->scibTable;
    QCOMPARE(t->placedCount(), 4);
    QCOMPARE(t->cellAt(0, 0).moduleId, 4u);
    QCOMPARE(t->cellAt(0, 1).moduleId, 5u);
    QCOMPARE(t->cellAt(1, 0).moduleId, 6u);
    QCOMPARE(t->cellAt(0, 2).moduleId, 4u);
    QCOMPARE(int(t->cellAt(0, 1).state), int(ScibUnconfirmed));
    QCOMPARE(int(t->cellAt(0, 2).state), int(ScibFailed)); // the duplicate
    QCOMPARE(page->scibParallelStringsBox->value(), 3);
    QCOMPARE(page->scibList->moduleCount(), 0);
    QVERIFY(page->scibDiscoverButton->isEnabled());
    QVERIFY(!page->scibCommitButton->isEnabled());
    QVERIFY(!page->scibDiscoveryDone);

    // A lost link disables the tab.
    page->setConnected(false);
    QVERIFY(!page->scibDiscoverButton->isEnabled());
}

QTEST_MAIN(TestTabScib)
#include "tst_tab_scib.moc"
