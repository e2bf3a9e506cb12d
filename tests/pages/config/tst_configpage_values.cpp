// The editor factory, value display and submit, the page's reactions to
// some ids, widget groups and the LTO ranges; no unit, writes recorded.
#include "ConfigPageFixture.h"

#include "ParamConversion.h"
#include "SocCustomProfile.h"
#include "myRadioBox.h"
#include "WidgetFold.h"
#include "myTabWidget.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QSpinBox>
#include <QTest>

#include <cstring>
#include <vector>

using namespace ParamConversion;

class TestConfigPageValues : public QObject
{
    Q_OBJECT
private slots:
    // The page machinery alone: no tab declares parameters.
    void initTestCase() { ConfigPage::buildParameterTabs = false; }
    void factoryKinds_data();
    void factoryKinds();
    void factoryDetails();
    void canIdValidators_data();
    void canIdValidators();
    void shown_data();
    void shown();
    void submit_data();
    void submit();
    void flagWordBitsShareOneWord();
    void writtenWordAwaitsTheEcho();
    void badReplies();
    void comboWithoutTheValue();
    void editingNeedsTheLoginLevel();
    void flagWord0Reactions();
    void chargerTypeKeepsPinItems();
    void pinReactions();
    void widgetGroups();
    void ltoRanges();
    void chargingStateAndGeneration();
    void tabsAfterConstruction();
    void linkLossGreysEverything();
    void standardRow();
    void tabShortcuts();
    void cellModelEditorsThroughThePage();
};

void TestConfigPageValues::factoryKinds_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("className");
    QTest::newRow("label") << 0 << "QLabel";
    QTest::newRow("line edit") << 1 << "QLineEdit";
    QTest::newRow("hex") << 2 << "QLineEdit";
    QTest::newRow("immediate") << 3 << "QLineEdit";
    QTest::newRow("g") << 4 << "QLineEdit";
    QTest::newRow("spin") << 5 << "QSpinBox";
    QTest::newRow("combo") << 6 << "QComboBox";
    QTest::newRow("check") << 7 << "QCheckBox";
    QTest::newRow("display kind 8") << 8 << "";
    QTest::newRow("display kind 12") << 12 << "";
    QTest::newRow("radio") << 13 << "myRadioBox";
    QTest::newRow("unknown 14") << 14 << "";
}

void TestConfigPageValues::factoryKinds()
{
    QFETCH(int, kind);
    QFETCH(QString, className);
    PageFixture f;
    ConfigParam* p = nullptr;
    QWidget* w = f.page->createParamWidget("P", kind, 0x0004, 2, 0, 100, 0, 1.0, &p);
    // The parameter and its record exist whatever the kind.
    QVERIFY(p);
    QCOMPARE(p->slot, f.page->paramSlot(0x0004));
    QCOMPARE(p->editState, 0);
    if (className.isEmpty()) {
        QVERIFY(!w);
        QVERIFY(!p->widget);
        return;
    }
    QVERIFY(w);
    QCOMPARE(QString(w->metaObject()->className()), className);
    QVERIFY(!w->isEnabled());
    QCOMPARE(w->minimumWidth(), 50);
    QVERIFY(w->styleSheet().contains("color: white"));
    delete w;
}

void TestConfigPageValues::factoryDetails()
{
    PageFixture f;
    // The tabs' own parameters come first.
    const int before = f.page->configParams().size();
    // A negative id: an editor without parameter.
    ConfigParam* untouched = reinterpret_cast<ConfigParam*>(0x1);
    std::unique_ptr<QWidget> orphan(f.page->createParamWidget("N", 1, -1, 2, 0, 1, 0, 1, &untouched));
    QVERIFY(orphan);
    QCOMPARE(untouched, reinterpret_cast<ConfigParam*>(0x1));
    QCOMPARE(f.page->configParams().size(), before);

    std::unique_ptr<QWidget> spin(f.page->createParamWidget("S", 5, 0x0010, 2, 0.4, 32.6, 0, 1));
    QCOMPARE(static_cast<QSpinBox*>(spin.get())->minimum(), 0);
    QCOMPARE(static_cast<QSpinBox*>(spin.get())->maximum(), 33);

    std::unique_ptr<QWidget> unit(f.page->createParamWidget("U", 1, 0x0111, 14, 0, 65535, 0, 1));
    QCOMPARE(static_cast<QLineEdit*>(unit.get())->maxLength(), 2);
    QVERIFY(!static_cast<QLineEdit*>(unit.get())->validator());

    ConfigParam* byDecimals = nullptr;
    std::unique_ptr<QWidget> g(f.page->createParamWidgetByDecimals("F", 4, 0x2600, 6, -10, 10, 7, &byDecimals, -1,
                                                                    true));
    QCOMPARE(byDecimals->decimals, 7);
    QVERIFY(qAbs(byDecimals->scale - 1e-7) < 1e-20);
    QVERIFY(byDecimals->slot->isFloat);
    // A later declaration of the id does not change the record's kind.
    std::unique_ptr<QWidget> g2(f.page->createParamWidget("F2", 4, 0x2600, 6, -10, 10, 0, 1, nullptr, -1, false));
    QVERIFY(f.page->paramSlot(0x2600)->isFloat);
    QCOMPARE(f.page->paramSlot(0x2600)->params.size(), 2);
    QCOMPARE(f.page->paramIndex(byDecimals), before + 2);
}

void TestConfigPageValues::canIdValidators_data()
{
    QTest::addColumn<int>("valueType");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("acceptable");
    QTest::newRow("13-bit shown") << 15 << "0x1FFF" << true;
    QTest::newRow("13-bit plain digits") << 15 << "1FF" << true;
    QTest::newRow("13-bit x") << 15 << "x1FF" << true;
    QTest::newRow("13-bit too long") << 15 << "0x12345" << false;
    QTest::newRow("29-bit shown") << 16 << "0x18FF0000" << true;
    QTest::newRow("29-bit too long") << 16 << "0x18FF00000" << false;
    QTest::newRow("not hex") << 16 << "0xZZ" << false;
}

void TestConfigPageValues::canIdValidators()
{
    QFETCH(int, valueType);
    QFETCH(QString, text);
    QFETCH(bool, acceptable);
    PageFixture f;
    std::unique_ptr<QWidget> w(f.page->createParamWidget("ID", 2, 0x0D03, valueType, 0, 0x1FFFFFFF, 0, 1));
    auto* edit = static_cast<QLineEdit*>(w.get());
    QVERIFY(edit->validator());
    int pos = 0;
    QCOMPARE(edit->validator()->validate(text, pos) == QValidator::Acceptable, acceptable);
    // An 11-bit editor shows four digits and must take them.
    QString shown11 = "0x07FF";
    QCOMPARE(f.page->canIdValidator(ConfigPage::CanId11Validator)->validate(shown11, pos), QValidator::Acceptable);
}

void TestConfigPageValues::shown_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("valueType");
    QTest::addColumn<int>("offset");
    QTest::addColumn<double>("scale");
    QTest::addColumn<double>("minimum");
    QTest::addColumn<double>("maximum");
    QTest::addColumn<uint>("hexLow");
    QTest::addColumn<uint>("word");
    QTest::addColumn<QString>("text");
    QTest::newRow("cell voltage") << 1 << 2 << 200 << 0.01 << 2.0 << 4.55 << 0u << 0x7Bu << "3.23";
    QTest::newRow("below minimum") << 1 << 2 << 0 << 0.1 << 0.1 << 25.5 << 0u << 0u << "0.1";
    QTest::newRow("29-bit id held at its low limit") << 2 << 16 << 0 << 1.0 << 0.0 << 4e9 << 0x18FF0000u << 1u
                                                     << "0x18FF0000";
    QTest::newRow("13-bit id") << 2 << 15 << 0 << 1.0 << 0.0 << 8191.0 << 0u << 0x7FFu << "0x07FF";
    QTest::newRow("distance unit") << 1 << 14 << 0 << 1.0 << 0.0 << 65535.0 << 0u << 0x6D69u << "mi";
    QTest::newRow("immediate") << 3 << 2 << 0 << 1.0 << 0.0 << 1000.0 << 0u << 42u << "42";
    QTest::newRow("g format") << 4 << 2 << 0 << 0.001 << 0.0 << 1000.0 << 0u << 1500u << "1.5";
    QTest::newRow("label truncates") << 0 << 2 << 0 << 0.1 << 0.0 << 1000.0 << 0u << 257u << "25";
}

void TestConfigPageValues::shown()
{
    QFETCH(int, kind);
    QFETCH(int, valueType);
    QFETCH(int, offset);
    QFETCH(double, scale);
    QFETCH(double, minimum);
    QFETCH(double, maximum);
    QFETCH(uint, hexLow);
    QFETCH(uint, word);
    QFETCH(QString, text);
    PageFixture f;
    ConfigParam* p = nullptr;
    std::unique_ptr<QWidget> w(f.page->createParamWidget("P", kind, 0x0204, valueType, minimum, maximum, offset,
                                                         scale, &p, -1, false, hexLow, 0xFFFFFFFFu));
    f.reply(0x0204, word);
    QCOMPARE(p->editState, 1);
    QVERIFY(p->slot->valid);
    QVERIFY(w->isEnabled());
    QVERIFY(w->styleSheet().contains("color: black"));
    const QString shownText = kind == 0 ? static_cast<QLabel*>(w.get())->text() : static_cast<QLineEdit*>(w.get())->text();
    QCOMPARE(shownText, text);
    // Nothing was written by showing it (an immediate editor waits for the load).
    QVERIFY(f.writes.isEmpty());
}

// The user's text, and what goes to the unit (no write: empty).
void TestConfigPageValues::submit_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("id");
    QTest::addColumn<int>("valueType");
    QTest::addColumn<int>("offset");
    QTest::addColumn<double>("scale");
    QTest::addColumn<double>("minimum");
    QTest::addColumn<double>("maximum");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("written");
    QTest::newRow("cell voltage") << 1 << 0x0004 << 2 << 200 << 0.01 << 2.0 << 4.55 << "3.5" << "0004=96";
    QTest::newRow("comma decimal") << 1 << 0x0004 << 2 << 200 << 0.01 << 2.0 << 4.55 << "3,5" << "0004=96";
    QTest::newRow("held at the maximum") << 1 << 0x0004 << 2 << 200 << 0.01 << 2.0 << 4.55 << "9" << "0004=FF";
    QTest::newRow("not a number") << 1 << 0x0004 << 2 << 200 << 0.01 << 2.0 << 4.55 << "abc" << "";
    QTest::newRow("distance unit") << 1 << 0x0111 << 14 << 0 << 1.0 << 0.0 << 65535.0 << "km" << "0111=6B6D";
    QTest::newRow("hex id") << 2 << 0x0D03 << 15 << 0 << 1.0 << 0.0 << 8191.0 << "0x1AB" << "0D03=1AB";
    QTest::newRow("hex id held") << 2 << 0x0D03 << 15 << 0 << 1.0 << 0.0 << 2047.0 << "0x1FFF" << "0D03=7FF";
    QTest::newRow("immediate whole") << 3 << 0x0010 << 2 << 0 << 1.0 << 0.0 << 100.0 << "15" << "0010=F";
    QTest::newRow("immediate fraction") << 3 << 0x0010 << 2 << 0 << 1.0 << 0.0 << 100.0 << "1.5" << "";
}

void TestConfigPageValues::submit()
{
    QFETCH(int, kind);
    QFETCH(int, id);
    QFETCH(int, valueType);
    QFETCH(int, offset);
    QFETCH(double, scale);
    QFETCH(double, minimum);
    QFETCH(double, maximum);
    QFETCH(QString, typed);
    QFETCH(QString, written);
    PageFixture f;
    ConfigParam* p = nullptr;
    std::unique_ptr<QWidget> w(f.page->createParamWidget("P", kind, id, valueType, minimum, maximum, offset, scale,
                                                         &p));
    auto* edit = static_cast<QLineEdit*>(w.get());
    // Before the unit's value arrived nothing is written.
    edit->setText(typed);
    QVERIFY(!f.page->submitParam(p));
    QVERIFY(f.writes.isEmpty());

    f.reply(id, 0);
    edit->setText(typed);
    f.page->submitParam(p);
    QCOMPARE(f.lastWrite(), written);
    QCOMPARE(p->editState, written.isEmpty() ? 1 : 4);
}

void TestConfigPageValues::flagWordBitsShareOneWord()
{
    PageFixture f;
    QList<ConfigParam*> boxes;
    std::vector<std::unique_ptr<QWidget>> keep;
    // The tabs' check boxes of the word come first.
    const int before = f.page->paramSlot(0x1600) ? f.page->paramSlot(0x1600)->params.size() : 0;
    for (uint mask : {0x2u, 0x4u, 0x8u}) {
        ConfigParam* p = nullptr;
        keep.emplace_back((f.page->createParamWidget("BF", 7, 0x1600, 2, -1, 1, 0, 1, &p)));
        p->bitMask = mask;
        boxes << p;
    }
    QCOMPARE(f.page->paramSlot(0x1600)->params.mid(before), boxes);
    f.reply(0x1600, 6);
    QVERIFY(static_cast<QCheckBox*>(boxes[0]->widget)->isChecked());
    QVERIFY(static_cast<QCheckBox*>(boxes[1]->widget)->isChecked());
    QVERIFY(!static_cast<QCheckBox*>(boxes[2]->widget)->isChecked());
    static_cast<QCheckBox*>(boxes[1]->widget)->setChecked(false);
    f.page->submitParam(boxes[1]);
    QCOMPARE(f.lastWrite(), QString("1600=2"));
    // A second box of the same word, before the echo, builds on the first write.
    static_cast<QCheckBox*>(boxes[2]->widget)->setChecked(true);
    f.page->submitParam(boxes[2]);
    QCOMPARE(f.lastWrite(), QString("1600=A"));

    // A check box without a mask on a one-byte id sets its byte, not 32 bits.
    ConfigParam* whole = nullptr;
    std::unique_ptr<QWidget> w(f.page->createParamWidget("CO", 7, 0x0C88, 2, -1, 1, 0, 1, &whole));
    f.reply(0x0C88, 0);
    static_cast<QCheckBox*>(w.get())->setChecked(true);
    f.page->submitParam(whole);
    QCOMPARE(f.lastWrite(), QString("0C88=FF"));
}

// A written word is not the unit's value until the unit echoes it.
void TestConfigPageValues::writtenWordAwaitsTheEcho()
{
    PageFixture f;
    ConfigParam* p = nullptr;
    std::unique_ptr<QWidget> w(f.page->createParamWidget("P", 1, 0x0004, 2, 2.0, 4.55, 200, 0.01, &p));
    f.reply(0x0004, 0x7B);
    static_cast<QLineEdit*>(w.get())->setText("3.5");
    f.page->submitParam(p);
    QCOMPARE(f.page->paramValue(0x0004), 0x7Bu);
    QCOMPARE(p->slot->currentValue(), 0x96u);
    // The unit keeps its own value: that is what shows.
    f.reply(0x0004, 0x80);
    QCOMPARE(f.page->paramValue(0x0004), 0x80u);
    QCOMPARE(static_cast<QLineEdit*>(w.get())->text(), QString("3.28"));
    QCOMPARE(p->editState, 1);
}

void TestConfigPageValues::badReplies()
{
    PageFixture f;
    ConfigParam* p = nullptr;
    std::unique_ptr<QWidget> w(f.page->createParamWidget("P", 1, 0x0004, 2, 2.0, 4.55, 200, 0.01, &p));
    f.reply(0x0004, 0x7B);
    for (const char* line : {"CF2,0004,", "CF2,ZZ,01", "CF2,0004", "CF2,0004,XY", "CF2,0004,01,02"})
        f.page->receiveSentence(line);
    QCOMPARE(f.page->paramValue(0x0004), 0x7Bu);
    QCOMPARE(static_cast<QLineEdit*>(w.get())->text(), QString("3.23"));
    // "CF3" and "RS2" are not this page's.
    f.page->receiveSentence("CF3,0004,01");
    f.page->receiveSentence("RS2,01");
    QCOMPARE(f.page->paramValue(0x0004), 0x7Bu);
}

void TestConfigPageValues::comboWithoutTheValue()
{
    PageFixture f;
    ConfigParam* p = nullptr;
    std::unique_ptr<QWidget> w(f.page->createParamWidget("C", 6, 0x0020, 2, 0, 255, 0, 1, &p));
    ConfigPage::addComboItem(w.get(), "one", 1);
    ConfigPage::addComboItem(w.get(), "five", 5);
    auto* combo = static_cast<QComboBox*>(w.get());
    f.reply(0x0020, 5);
    QCOMPARE(combo->currentIndex(), 1);
    f.reply(0x0020, 3);
    QCOMPARE(combo->currentIndex(), -1);
}

void TestConfigPageValues::editingNeedsTheLoginLevel()
{
    PageFixture f;
    ConfigParam* p = nullptr;
    std::unique_ptr<QWidget> w(f.page->createParamWidget("P", 1, 0x0004, 2, 2.0, 4.55, 200, 0.01, &p));
    ConfigParam* estimator = nullptr;
    std::unique_ptr<QWidget> e(f.page->createParamWidget("E", 6, 0x2000, 2, 0, 3, 0, 1, &estimator));
    ConfigPage::addComboItem(e.get(), "Coulomb", 0);
    ConfigPage::addComboItem(e.get(), "Model", 1);
    QList<bool> soh;
    f.page->setSohVisibility([&soh](bool shown) { soh << shown; });
    // The default firmware has feature 14: level 1 may not edit.
    f.page->accessLevel = 1;
    f.reply(0x0004, 1);
    f.reply(0x2000, 1);
    QVERIFY(!w->isEnabled());
    // The estimator choice, though the firmware has it, follows the login too.
    QVERIFY(!e->isEnabled());
    QCOMPARE(static_cast<QComboBox*>(e.get())->currentIndex(), 1);
    QCOMPARE(soh, QList<bool>{true});
    f.page->accessLevel = 2;
    f.page->refreshParamWidget(p, false);
    f.page->refreshParamWidget(estimator, false);
    QVERIFY(w->isEnabled());
    QVERIFY(e->isEnabled());
    // A firmware without feature 14: level 1 edits.
    f.handler.setVersionLine("VR1,BMS1,00001234,2.0.10");
    f.comm.linked = true;
    f.page->accessLevel = 1;
    f.page->refreshParamWidget(p, true);
    QVERIFY(w->isEnabled());
    // Without feature 110 only the first estimator exists.
    f.page->refreshParamWidget(estimator, true);
    QVERIFY(!e->isEnabled());
    QCOMPARE(static_cast<QComboBox*>(e.get())->currentIndex(), 0);
    QCOMPARE(soh.last(), false);
}

void TestConfigPageValues::flagWord0Reactions()
{
    PageFixture f;
    ConfigParam* ext = nullptr;
    std::unique_ptr<QWidget> box(f.page->createParamWidget("BF12", 7, 0x1600, 2, -1, 1, 0, 1, &ext));
    ext->bitMask = 1u << 11;
    ConfigParam* base = nullptr;
    std::unique_ptr<QWidget> baseEdit(f.page->createParamWidget("Base", 2, 0x0D03, 15, 0, 0x1FFF, 0, 1, &base));
    myTabWidget* tabs = f.page->tabWidget;
    const int canDevices = tabs->indexOf(f.page->canDevicesTab);
    const int masterSlave = tabs->indexOf(f.page->masterSlaveTab);

    f.reply(0x1600, (1u << 9) | (1u << 11));
    QVERIFY(tabs->isTabEnabled(canDevices));
    QVERIFY(!tabs->isTabEnabled(masterSlave));
    QCOMPARE(base->maximum, double(0x1FFF));
    QCOMPARE(static_cast<QLineEdit*>(baseEdit.get())->validator(),
             f.page->canIdValidator(ConfigPage::CanId13Validator));

    f.reply(0x1600, (1u << 9) | (1u << 14) | (1u << 23));
    QVERIFY(tabs->isTabEnabled(masterSlave));
    QCOMPARE(base->maximum, double(0x7FF));
    QCOMPARE(static_cast<QLineEdit*>(baseEdit.get())->validator(),
             f.page->canIdValidator(ConfigPage::CanId11Validator));
    f.reply(0x1600, 0);
    QVERIFY(!tabs->isTabEnabled(canDevices));
}

void TestConfigPageValues::chargerTypeKeepsPinItems()
{
    PageFixture f;
    std::vector<std::unique_ptr<QWidget>> keep;
    QList<QComboBox*> pins;
    for (int id : {0x0807, 0x0809, 0x080A, 0x080B, 0x080C, 0x080E, 0x0801}) {
        keep.emplace_back((f.page->createParamWidget("Pin", 6, id, 2, 0, 255, 0, 1)));
        ConfigPage::addComboItem(keep.back().get(), "PF0 None", 0);
        ConfigPage::addComboItem(keep.back().get(), "PF42 Last", 42);
        pins << static_cast<QComboBox*>(keep.back().get());
    }
    ConfigParam* type = nullptr;
    std::unique_ptr<QWidget> t(f.page->createParamWidget("Type", 6, 0x1800, 2, 0, 255, 0, 1, &type));
    f.reply(0x1800, 5);
    for (int i = 0; i < 6; ++i) {
        QCOMPARE(pins[i]->count(), 5 + 1); // + PF23: the default firmware has feature 55
        QVERIFY(pins[i]->itemText(1).startsWith("PF19"));
        QCOMPARE(pins[i]->itemData(3).toInt(), 21);
        QVERIFY(pins[i]->itemText(pins[i]->count() - 1).startsWith("PF42"));
    }
    QCOMPARE(pins[6]->count(), 2); // not one of the trimmed pins
    f.reply(0x1800, 0);
    for (int i = 0; i < 6; ++i) {
        QCOMPARE(pins[i]->count(), 3);
        QVERIFY(pins[i]->itemText(1).startsWith("PF23"));
    }
}

void TestConfigPageValues::pinReactions()
{
    // The I/O Pins tab's editors of a pin: its function, then its inversion.
    WithParameterTabs tabs;
    PageFixture f;
    const ConfigParamSlot* slot = f.page->paramSlot(0x0805);
    QVERIFY(slot && slot->params.size() == 2);
    QWidget* box = slot->params.at(1)->widget;
    f.reply(0x0805, 0x8C);
    QVERIFY(f.page->isPinFunctionAssigned(12));
    QVERIFY(!f.page->isPinFunctionAssigned(14));
    QVERIFY(static_cast<QCheckBox*>(box)->isChecked());
    QVERIFY(!box->isHidden());
    f.reply(0x0805, 28);
    QVERIFY(box->isHidden());
}

void TestConfigPageValues::widgetGroups()
{
    PageFixture f;
    QWidget holder;
    QList<QWidget*> members;
    for (int i = 0; i < 8; ++i) {
        members << new QLabel(&holder);
        f.page->addToWidgetGroup(members.last(), 11);
        f.page->addToWidgetGroup(members.last(), 11); // once only
    }
    holder.show();
    QCOMPARE(f.page->widgetGroup(11).size(), 8);
    f.page->setWidgetGroupVisible(11, false);
    ConfigParam* count = nullptr;
    std::unique_ptr<QWidget> w(f.page->createParamWidget("N", 5, 0x1815, 2, 0, 16, 0, 1, &count));
    // Without the unit reporting feature 151 the count changes nothing.
    f.reply(0x1815, 2);
    QVERIFY(!members[0]->isVisible());
    f.bitmap.words = {0, 0, 0, 0, 1u << (151 % 32)};
    f.reply(0x1815, 2);
    for (int i = 0; i < 8; ++i)
        QCOMPARE(members[i]->isVisible(), i < 4);
    f.page->showWidgetGroupCount(11, 100);
    QVERIFY(members[7]->isVisible());
    // Shown by firmware support only: these labels are registered nowhere.
    f.page->setWidgetGroupVisible(11, true);
    QVERIFY(!members[0]->isVisible());
    // Groups without members.
    f.page->setWidgetGroupVisible(9, true);
    f.page->showWidgetGroupCount(6, 3);
    QVERIFY(f.page->widgetGroup(9).isEmpty());
}

void TestConfigPageValues::ltoRanges()
{
    PageFixture f;
    ConfigParam* cell = nullptr;
    std::unique_ptr<QWidget> w(f.page->createParamWidget("Cell", 1, 0x0004, 2, 2.0, 4.55, 200, 0.01, &cell));
    ConfigParam* other = nullptr;
    std::unique_ptr<QWidget> o(f.page->createParamWidget("Other", 1, 0x0010, 2, 0.1, 25.5, 0, 0.1, &other));
    ConfigParam* lto = nullptr;
    std::unique_ptr<QWidget> b(f.page->createParamWidget("BF76", 7, 0x1608, 2, -1, 1, 0, 1, &lto));
    lto->bitMask = 1u << 11;
    f.reply(0x0004, 150);
    QCOMPARE(static_cast<QLineEdit*>(w.get())->text(), QString("3.50"));
    f.reply(0x1608, 1u << 11);
    QVERIFY(f.page->isLtoSupportEnabled());
    QCOMPARE(static_cast<QLineEdit*>(w.get())->text(), QString("2.50"));
    QCOMPARE(cell->minimum, 1.0);
    QCOMPARE(cell->maximum, 3.55);
    QCOMPARE(other->minimum, 0.1);
    f.reply(0x1608, 0);
    QCOMPARE(static_cast<QLineEdit*>(w.get())->text(), QString("3.50"));
    QCOMPARE(cell->maximum, 4.55);
    QCOMPARE(cell->offset, 200);
    // A SCiB firmware has LTO cells whatever the flag says.
    f.page->applyCellVoltageRanges("2.5.0_SCiB", false);
    QCOMPARE(cell->offset, 100);
}

void TestConfigPageValues::chargingStateAndGeneration()
{
    PageFixture f;
    f.page->receiveSentence("CS1,01");
    QCOMPARE(int(f.page->chargingState), 1);
    f.page->receiveSentence("CS2,01");
    QCOMPARE(int(f.page->chargingState), 3);
    f.page->receiveSentence("CS1,00");
    QCOMPARE(int(f.page->chargingState), 2);
    f.page->receiveSentence("CS4,01");
    f.page->receiveSentence("CS3");
    QCOMPARE(int(f.page->chargingState), 2);

    struct Case { const char* line; int generation; };
    for (Case c : {Case{"VR1,BMS1,1,2.5.0", 1}, Case{"VR1,BMS3,1,2.0.9", 1}, Case{"VR1,BMS2,1,2.5.0", 2},
                   Case{"VR1,XYZ,1,2.5.0", 0}}) {
        PageFixture g;
        g.page->slotReceivedVersionString(c.line);
        QCOMPARE(g.page->unitGeneration(), c.generation);
        // Known until the link goes: a later line changes nothing.
        g.page->slotReceivedVersionString("VR1,BMS2,1,2.5.0");
        QCOMPARE(g.page->unitGeneration(), c.generation ? c.generation : 2);
    }
}

void TestConfigPageValues::tabsAfterConstruction()
{
    PageFixture f;
    QStringList titles;
    for (int i = 0; i < f.page->tabWidget->count(); ++i)
        titles << f.page->tabWidget->tabText(i);
    QCOMPARE(titles, (QStringList{"Management", "General", "CAN", "Charging", "SOC / SOH", "Protections", "Warnings",
                                  "Reductions", "Controls", "I/O Pins", "CGMs Map", "CAN Devices", "Master/Slave"}));
    QCOMPARE(f.page->securityButtons.size(), 5);
    QCOMPARE(f.page->securityButtons.first()->text(), QString("Login..."));
}

void TestConfigPageValues::linkLossGreysEverything()
{
    PageFixture f;
    ConfigParam* p = nullptr;
    std::unique_ptr<QWidget> w(f.page->createParamWidget("P", 1, 0x0004, 2, 2.0, 4.55, 200, 0.01, &p));
    f.reply(0x0004, 0x7B);
    f.page->slotReceivedVersionString("VR1,BMS2,1,2.5.0");
    QVERIFY(w->isEnabled());
    f.page->setConnected(false);
    QVERIFY(!p->slot->valid);
    QCOMPARE(p->editState, 0);
    QVERIFY(!w->isEnabled());
    QVERIFY(w->styleSheet().contains("color: white"));
    QCOMPARE(f.page->unitGeneration(), 0);
    // Nothing is written for a value the page no longer holds.
    QVERIFY(!f.page->submitParam(p));
}

// The row the tab builders lay out: caption, editor, unit, each shown by the
// parameter's feature; the fold hides when none of its rows shows.
void TestConfigPageValues::standardRow()
{
    PageFixture f;
    QGridLayout* grid = nullptr;
    std::unique_ptr<WidgetFold> fold(f.page->createParamGroup("Limits", &grid));
    QVERIFY(grid);
    const ConfigPage::ParamRow row = f.page->addParamRow(grid, 0, "Maximum", "V", "Highest cell voltage", "BF Max", 1,
                                                         0x0005, 2, 2.0, 4.55, 200, 0.01, 0);
    QVERIFY(row.editor && row.caption && row.unit && row.tip && row.param);
    QCOMPARE(grid->itemAtPosition(0, 0)->widget(), static_cast<QWidget*>(row.caption));
    QCOMPARE(grid->itemAtPosition(0, 1)->widget(), row.editor);
    QCOMPARE(grid->itemAtPosition(0, 2)->widget(), static_cast<QWidget*>(row.unit));
    QCOMPARE(row.param->paramId(), 0x0005);
    fold->show();
    f.page->updateFeatureVisibility("2.5.0");
    QVERIFY(row.caption->isVisibleTo(fold.get()));
    QVERIFY(row.unit->isVisibleTo(fold.get()));
    QVERIFY(fold->isVisible());

    // A group whose only row needs a feature the firmware lacks is hidden.
    QGridLayout* grid2 = nullptr;
    std::unique_ptr<WidgetFold> fold2(f.page->createParamGroup("Other", &grid2));
    const ConfigPage::ParamRow row2 = f.page->addParamRow(grid2, 0, "X", "", "tip", "X", 1, 0x0006, 2, 0, 10, 0, 1,
                                                          145);
    fold2->show();
    f.page->updateFeatureVisibility("2.5.0");
    QVERIFY(!row2.editor->isVisibleTo(fold2.get()));
    QVERIFY(!fold2->isVisible());
}

void TestConfigPageValues::tabShortcuts()
{
    PageFixture f;
    QShortcut* ctrl3 = nullptr;
    int valid = 0;
    for (QShortcut* s : f.page->findChildren<QShortcut*>()) {
        if (s->key() == QKeySequence("Ctrl+3"))
            ctrl3 = s;
        if (!s->key().isEmpty())
            ++valid;
    }
    QVERIFY(ctrl3);
    QCOMPARE(valid, 10); // the tabs from 10 on have no key
    emit ctrl3->activated();
    QCOMPARE(f.page->tabWidget->tabText(f.page->tabWidget->currentIndex()), QString("Charging"));
}

// The cell model page declares its editors through this page: float words
// show their single-precision value, a text submit writes the word.
void TestConfigPageValues::cellModelEditorsThroughThePage()
{
    PageFixture f;
    std::unique_ptr<SocCustomProfile> profile(new SocCustomProfile(f.page.get(), nullptr));
    ConfigParamSlot* r0 = f.page->paramSlot(0x2600);
    QVERIFY(r0 && r0->isFloat);
    const float value = 0.0012345f;
    quint32 bits;
    std::memcpy(&bits, &value, 4);
    f.reply(0x2600, bits);
    QCOMPARE(f.page->paramText(0x2600), QString("0.0012345"));
    f.reply(0x0102, 100);
    f.page->submitParamText(0x0102, "12.5");
    QCOMPARE(f.lastWrite(), QString("0102=7D"));
    f.page->submitParamText(0x2600, "0.5");
    const float half = 0.5f;
    std::memcpy(&bits, &half, 4);
    QCOMPARE(f.writes.last().second, bits);
}

QTEST_MAIN(TestConfigPageValues)
#include "tst_configpage_values.moc"
