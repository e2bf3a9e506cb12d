// The I/O Pins tab: the two editors of each pin, the function lists, what a
// pin's reply shows and what its editors write, the output pins' lists by
// charger type, and the state-of-charge output range.
#include "TabTestHelpers.h"

#include <QCheckBox>
#include <QComboBox>
#include <QTest>

using namespace TabTest;

class TestTabIoPins : public QObject
{
    Q_OBJECT
private slots:
    void init() { m_pages.startRow(); }
    void cleanupTestCase() { m_pages.release(); }
    void twoEditorsPerPin();
    void functionLists_data();
    void functionLists();
    void replies_data();
    void replies();
    void writesKeepTheOtherBits();
    void outputListsFollowTheChargerType();
    void socOutput();
    void shownWhateverTheFirmware();

private:
    PagePerFunction<PageFixture> m_pages;
};

namespace {

const QList<int> kPinIds = {0x0800, 0x0801, 0x0802, 0x0803, 0x0804, 0x0805, 0x0806,
                            0x0807, 0x0809, 0x080A, 0x080B, 0x080C, 0x080D, 0x080E};

QWidget* pinsTab(const PageFixture& f) { return tabPage(f, "I/O Pins"); }

QComboBox* combo(const PageFixture& f, int id)
{
    return static_cast<QComboBox*>(f.page->paramSlot(id)->params.at(0)->widget);
}

QCheckBox* inversion(const PageFixture& f, int id)
{
    return static_cast<QCheckBox*>(f.page->paramSlot(id)->params.at(1)->widget);
}

QList<int> itemData(const QComboBox* c)
{
    QList<int> data;
    for (int i = 0; i < c->count(); ++i)
        data << c->itemData(i).toInt();
    return data;
}

} // namespace

void TestTabIoPins::twoEditorsPerPin()
{
    PageFixture& f = m_pages.get();
    QVERIFY(!f.page->paramSlot(0x0808));
    int editors = 0;
    for (ConfigParam* p : f.page->configParams())
        if (p->paramId() >= 0x0800 && p->paramId() <= 0x080F)
            ++editors;
    QCOMPARE(editors, 28);
    int tag = 1;
    for (int id : kPinIds) {
        const ConfigParamSlot* slot = f.page->paramSlot(id);
        QVERIFY(slot);
        QCOMPARE(slot->params.size(), 2);
        ConfigParam* function = slot->params.at(0);
        ConfigParam* invert = slot->params.at(1);
        QCOMPARE(function->widgetKind, 6);
        QCOMPARE(function->bitMask, 0x7Fu);
        QCOMPARE(invert->widgetKind, 7);
        QCOMPARE(invert->bitMask, 0x80u);
        QVERIFY(pinsTab(f)->isAncestorOf(function->widget));
        // INPUT 1 to 4 carry the tags the current sensor rules look for.
        const bool input = id <= 0x0803;
        QCOMPARE(function->ruleTag, input ? tag : 0xFFFF);
        QCOMPARE(invert->ruleTag, input ? tag + 1 : 0xFFFF);
        tag += 2;
    }
}

void TestTabIoPins::functionLists_data()
{
    QTest::addColumn<int>("id");
    QTest::addColumn<QList<int>>("items");
    const QList<int> outputs{5, 7, 8, 9, 10, 12, 13, 16, 17, 19, 20, 21, 22, 23, 24, 25, 26, 27, 29, 31, 32, 33, 34,
                             35, 36};
    auto output = [&outputs](int first) {
        QList<int> list{first};
        for (int f : outputs)
            if (f != first)
                list << f;
        return list << 0;
    };
    QTest::newRow("INPUT 1") << 0x0800 << QList<int>{14, 2, 3, 4, 15, 28, 30, 39, 40, 41, 42, 0};
    QTest::newRow("INPUT 4") << 0x0803 << QList<int>{14, 2, 3, 4, 15, 28, 30, 39, 40, 41, 42, 0};
    QTest::newRow("AC SENSE") << 0x0804 << QList<int>{3, 2, 4, 15, 28, 30, 0};
    QTest::newRow("IGNITION") << 0x0805 << QList<int>{4, 2, 3, 15, 28, 30, 0};
    QTest::newRow("FAST CHG") << 0x0806 << QList<int>{2, 3, 4, 15, 28, 30, 37, 38, 0};
    QTest::newRow("CHARGER") << 0x0807 << output(10);
    QTest::newRow("HEATER") << 0x0809 << output(5);
    QTest::newRow("LOW VOLTAGE") << 0x080A << output(8);
    QTest::newRow("BUZZER") << 0x080B << output(7);
    QTest::newRow("CHG IND") << 0x080C << output(9);
    QTest::newRow("SPEED") << 0x080D << QList<int>{1, 2, 3, 4, 15, 37, 38, 0};
    QTest::newRow("SOC OUT") << 0x080E
                             << QList<int>{11, 5, 7, 8, 9, 10, 12, 13, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27,
                                           29, 31, 0};
}

void TestTabIoPins::functionLists()
{
    QFETCH(int, id);
    QFETCH(QList<int>, items);
    PageFixture& f = m_pages.get();
    QComboBox* c = combo(f, id);
    QCOMPARE(itemData(c), items);
    QCOMPARE(c->itemText(c->count() - 1), QString("PF0 No Function"));
    // Every text is its function's: "PF<n> ...".
    for (int i = 0; i < c->count(); ++i)
        QVERIFY(c->itemText(i).startsWith(QString("PF%1 ").arg(c->itemData(i).toInt())));
    QVERIFY(!items.contains(6)); // "PF6 LED" is offered nowhere
    QCOMPARE(items.contains(18), id == 0x080E);
}

void TestTabIoPins::replies_data()
{
    QTest::addColumn<int>("id");
    QTest::addColumn<quint32>("raw");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<bool>("checked");
    QTest::addColumn<bool>("checkHidden");
    QTest::newRow("current sensor, inverted") << 0x0800 << 0x8Eu << "PF14 Current Sensor Input" << true << true;
    QTest::newRow("welding sense") << 0x0806 << 0x25u << "PF37 Contactor A Welding Sense Input" << false << false;
    QTest::newRow("function the pin lacks") << 0x0804 << 0x0Eu << "" << false << false;
    QTest::newRow("PSU sense") << 0x0801 << 0x1Cu << "PF28 PSU Under-voltage sense" << false << true;
    QTest::newRow("number above 42, inverted") << 0x080B << 0xFFu << "" << true << false;
}

void TestTabIoPins::replies()
{
    QFETCH(int, id);
    QFETCH(quint32, raw);
    QFETCH(QString, shown);
    QFETCH(bool, checked);
    QFETCH(bool, checkHidden);
    PageFixture& f = m_pages.get();
    f.reply(id, raw, 2);
    QCOMPARE(combo(f, id)->currentText(), shown);
    QCOMPARE(inversion(f, id)->isChecked(), checked);
    QCOMPARE(inversion(f, id)->isHidden(), checkHidden);
    QCOMPARE(f.page->paramSlot(id)->value, raw); // kept as the unit holds it
}

// Both editors write the whole byte with their own bits changed.
void TestTabIoPins::writesKeepTheOtherBits()
{
    PageFixture& f = m_pages.get();
    f.reply(0x0800, 0x02, 2);
    inversion(f, 0x0800)->setChecked(true);
    f.page->paramSlot(0x0800)->params.at(1)->editState = ConfigPage::Edited;
    f.page->commitEditedParams(nullptr, nullptr);
    QCOMPARE(f.lastWrite(), QString("0800=82"));
    QComboBox* c = combo(f, 0x0800);
    c->setCurrentIndex(c->findData(15));
    f.page->paramSlot(0x0800)->params.at(0)->editState = ConfigPage::Edited;
    f.page->commitEditedParams(nullptr, nullptr);
    QCOMPARE(f.lastWrite(), QString("0800=8F"));
    QCOMPARE(f.writes.size(), 2);
}

void TestTabIoPins::outputListsFollowTheChargerType()
{
    PageFixture& f = m_pages.get();
    // The charger type's editor stands in for the Charging tab's.
    ConfigParam* type = nullptr;
    std::unique_ptr<QWidget> typeEditor(f.page->createParamWidget("Charger Type", 6, 0x1800, 2, 0, 14, 0, 1, &type));
    f.reply(0x1800, 0, 2);
    for (int id : {0x0807, 0x0809, 0x080A, 0x080B, 0x080C, 0x080E}) {
        const QList<int> items = itemData(combo(f, id));
        for (int gone : {19, 20, 21, 22, 25})
            QVERIFY(!items.contains(gone));
        QVERIFY(items.contains(23)); // the default firmware has feature 55
        QCOMPARE(items.contains(18), false); // no analog charger edition
        QCOMPARE(items.last(), 0);
    }
    f.reply(0x1800, 5, 2);
    for (int id : {0x0807, 0x0809, 0x080A, 0x080B, 0x080C, 0x080E}) {
        const QList<int> items = itemData(combo(f, id));
        QCOMPARE(items.mid(items.size() - 4), (QList<int>{19, 20, 21, 0}));
    }
    // The inputs never change.
    QCOMPARE(combo(f, 0x0800)->count(), 12);
}

void TestTabIoPins::socOutput()
{
    PageFixture& f = m_pages.get();
    ConfigParam* minimum = paramOn(f, pinsTab(f), 0x0405);
    ConfigParam* maximum = paramOn(f, pinsTab(f), 0x0406);
    QVERIFY(minimum && maximum);
    f.reply(0x0405, 0xFF, 2);
    QCOMPARE(static_cast<QLineEdit*>(minimum->widget)->text(), QString("100"));
    f.reply(0x0406, 127, 2);
    QCOMPARE(static_cast<QLineEdit*>(maximum->widget)->text(), QString("50"));
    QVERIFY(accepts(minimum, "50"));
    QVERIFY(!accepts(minimum, "101"));
    QVERIFY(!accepts(minimum, "50.5"));
    typeAndCommit(f, minimum, "50");
    QCOMPARE(f.lastWrite(), QString("0405=80"));
}

// Nothing of the tab follows the firmware's features.
void TestTabIoPins::shownWhateverTheFirmware()
{
    PageFixture& f = m_pages.get();
    setFeatures(f, {1});
    f.page->updateFeatureVisibility(QString());
    int checked = 0;
    for (QWidget* w : pinsTab(f)->findChildren<QWidget*>()) {
        if (!w->inherits("QLabel") && !w->inherits("QComboBox") && !w->inherits("QCheckBox")
            && !w->inherits("QLineEdit") && !w->inherits("QGroupBox") && !w->inherits("WidgetFold"))
            continue; // tips and the folds' own parts
        QVERIFY2(!w->isHidden(), w->metaObject()->className());
        ++checked;
    }
    QVERIFY(checked > 30); // 28 pin editors and the output range at least
}

QTEST_MAIN(TestTabIoPins)
#include "tst_tab_iopins.moc"
