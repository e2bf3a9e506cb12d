// The edit and commit cycle with real focus changes, and the consistency
// rules run by a commit.
#include "ConfigPageFixture.h"

#include "Param.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTest>
#include <QVBoxLayout>

#include <vector>

namespace {

// Editors of cell voltages: raw x 0.01 + 2.00 V.
struct Bench : PageFixture
{
    QWidget window;
    QVBoxLayout* layout = new QVBoxLayout(&window);

    ConfigParam* add(int kind, int id, double minimum = 2.0, double maximum = 4.55, int offset = 200,
                     double scale = 0.01, int valueType = 2)
    {
        ConfigParam* p = nullptr;
        QWidget* w = page->createParamWidget(QString("P%1").arg(id, 4, 16), kind, id, valueType, minimum, maximum,
                                             offset, scale, &p);
        layout->addWidget(w);
        return p;
    }
    QLineEdit* edit(ConfigParam* p) { return static_cast<QLineEdit*>(p->widget); }
    // What a user edit leaves behind.
    void userEdit(ConfigParam* p, const QString& text)
    {
        edit(p)->setText(text);
        p->editState = ConfigPage::Edited;
    }
    bool showWindow()
    {
        window.show();
        QApplication::setActiveWindow(&window);
        return QTest::qWaitForWindowActive(&window);
    }
    QStringList writeTexts() const
    {
        QStringList list;
        for (const auto& w : writes)
            list << QString::asprintf("%04X=%X", w.first, w.second);
        return list;
    }
};

} // namespace

class TestConfigPageCommit : public QObject
{
    Q_OBJECT
private slots:
    // The page machinery alone: no tab declares parameters.
    void initTestCase() { ConfigPage::buildParameterTabs = false; }
    void typingMarksAndFocusCommits();
    void clickOnThePageCommits();
    void valueArrivingInAFocusedEditorIsNoEdit();
    void editWithoutValueStaysEdited();
    void flagWordWrittenBeforeItsRules();
    void distanceUnit();
    void immediateEditorWaitsForTheLoad();
    void thresholdRules_data();
    void thresholdRules();
    void disbalanceWarning();
    void inputFunction14();
    void oneFunctionPerPin_data();
    void oneFunctionPerPin();
    void canSpeedChange();
};

void TestConfigPageCommit::typingMarksAndFocusCommits()
{
    Bench b;
    ConfigParam* cell = b.add(1, 0x0004);
    ConfigParam* other = b.add(1, 0x0010, 0.1, 25.5, 0, 0.1);
    QObject::connect(qApp, &QApplication::focusChanged, b.page.get(), &ConfigPage::applicationFocusChanged);
    b.reply(0x0004, 0x7B);
    b.reply(0x0010, 10);
    QVERIFY(b.showWindow());
    b.edit(cell)->setFocus();
    QTRY_VERIFY(b.edit(cell)->hasFocus());
    b.edit(cell)->selectAll();
    QTest::keyClicks(b.edit(cell), "3.5");
    QCOMPARE(cell->editState, int(ConfigPage::Edited));
    QVERIFY(cell->widget->styleSheet().contains("yellow"));
    QVERIFY(b.writes.isEmpty());

    b.edit(other)->setFocus();
    QTRY_COMPARE(b.writeTexts(), QStringList{"0004=96"});
    QCOMPARE(cell->editState, int(ConfigPage::Sent));
    // The unit's echo shows the value and takes the yellow away.
    b.reply(0x0004, 0x96);
    QCOMPARE(cell->editState, int(ConfigPage::Shown));
    QVERIFY(!cell->widget->styleSheet().contains("yellow"));
    // A focus change without edits writes nothing.
    b.edit(cell)->setFocus();
    QTRY_VERIFY(b.edit(cell)->hasFocus());
    QCOMPARE(b.writes.size(), 1);
}

void TestConfigPageCommit::clickOnThePageCommits()
{
    Bench b;
    ConfigParam* cell = b.add(1, 0x0004);
    b.layout->addWidget(b.page.get());
    QObject::connect(qApp, &QApplication::focusChanged, b.page.get(), &ConfigPage::applicationFocusChanged);
    b.reply(0x0004, 0x7B);
    QVERIFY(b.showWindow());
    b.edit(cell)->setFocus();
    QTRY_VERIFY(b.edit(cell)->hasFocus());
    b.edit(cell)->selectAll();
    QTest::keyClicks(b.edit(cell), "4");
    QTest::mouseClick(b.page.get(), Qt::LeftButton, Qt::NoModifier, QPoint(2, 2));
    QTRY_COMPARE(b.writeTexts(), QStringList{"0004=C8"});
    b.page->setParent(nullptr);
}

void TestConfigPageCommit::valueArrivingInAFocusedEditorIsNoEdit()
{
    Bench b;
    ConfigParam* spin = b.add(5, 0x0020, 0, 100, 0, 1);
    b.reply(0x0020, 5);
    QVERIFY(b.showWindow());
    spin->widget->setFocus();
    QTRY_VERIFY(spin->widget->hasFocus());
    b.reply(0x0020, 7);
    QCOMPARE(static_cast<QSpinBox*>(spin->widget)->value(), 7);
    QCOMPARE(spin->editState, int(ConfigPage::Shown));
    b.page->commitEditedParams(nullptr, nullptr);
    QVERIFY(b.writes.isEmpty());
    // The user's own change in it is one.
    QTest::keyClick(spin->widget, Qt::Key_Up);
    QCOMPARE(spin->editState, int(ConfigPage::Edited));
    b.page->commitEditedParams(nullptr, nullptr);
    QCOMPARE(b.writeTexts(), QStringList{"0020=8"});
}

void TestConfigPageCommit::editWithoutValueStaysEdited()
{
    Bench b;
    ConfigParam* cell = b.add(1, 0x0004);
    b.userEdit(cell, "3.5");
    b.page->commitEditedParams(nullptr, nullptr);
    QVERIFY(b.writes.isEmpty());
    QCOMPARE(cell->editState, int(ConfigPage::Edited));
}

// 0x1600 goes first, then its rules; a rule's correction of another editor
// is written by the same commit, so the unit and the editors agree.
void TestConfigPageCommit::flagWordWrittenBeforeItsRules()
{
    Bench b;
    ConfigParam* base = b.add(2, 0x0D03, 0, 0x1FFF, 0, 1, 15);
    ConfigParam* extended = b.add(7, 0x1600, -1, 1, 0, 1);
    extended->bitMask = 1u << 11;
    b.reply(0x1600, 1u << 11);
    b.reply(0x0D03, 0x100);
    b.userEdit(base, "0x1FFF");
    static_cast<QCheckBox*>(extended->widget)->setChecked(false);
    extended->editState = ConfigPage::Edited;
    b.page->commitEditedParams(nullptr, nullptr);
    QCOMPARE(b.writeTexts(), (QStringList{"0D03=1FFF", "1600=0", "0D03=7FF"}));
    QCOMPARE(b.edit(base)->text(), QString("0x07FF"));
}

void TestConfigPageCommit::distanceUnit()
{
    Bench b;
    ConfigParam* unit = b.add(1, 0x0111, 0, 65535, 0, 1, 14);
    b.reply(0x0111, 0x6D69);
    QSignalSpy changed(b.page.get(), &ConfigPage::sigDistanceUnitChanged);
    b.userEdit(unit, "km");
    b.page->commitEditedParams(nullptr, nullptr);
    QCOMPARE(b.writeTexts(), QStringList{"0111=6B6D"});
    QCOMPARE(g_distanceUnit, QString("km"));
    QCOMPARE(changed.size(), 1);
}

void TestConfigPageCommit::immediateEditorWaitsForTheLoad()
{
    Bench b;
    ConfigParam* immediate = b.add(3, 0x0030, 0, 1000, 0, 1);
    b.reply(0x0030, 4);
    b.edit(immediate)->setText("12");
    QVERIFY(b.writes.isEmpty());
    b.page->configurationLoaded = true;
    b.edit(immediate)->setText("13");
    b.edit(immediate)->setText("1.5"); // not a whole number: not written
    QCOMPARE(b.writeTexts(), QStringList{"0030=D"});
    // Showing the unit's value is no change to write back, not even when
    // the editor holds it in its limits.
    b.reply(0x0030, 2000);
    QCOMPARE(b.edit(immediate)->text(), QString("1000"));
    QCOMPARE(b.writeTexts(), QStringList{"0030=D"});
    QVERIFY(!immediate->widget->styleSheet().contains("yellow"));
}

// Editors declared in this order: 0x0004, 0x0031, 0x000B, 0x001A, 0x0005,
// 0x0032 (cell voltages). "edited" is committed; "texts" are what the
// editors show afterwards (in declaration order), "written" the writes.
void TestConfigPageCommit::thresholdRules_data()
{
    QTest::addColumn<QString>("edited");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("with0005");
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<QStringList>("written");
    // Shown before: 0004 3.00, 0031 3.00, 000B 3.90, 001A 3.95, 0005 4.20, 0032 4.10.
    QTest::newRow("trip above release raises the release")
        << "0004" << "3.10" << true << QStringList{"3.10", "3.1", "3.90", "3.95", "4.20", "4.10"}
        << QStringList{"0004=6E", "0031=6E"};
    QTest::newRow("release below trip is set to the trip")
        << "0031" << "2.90" << true << QStringList{"3.00", "3", "3.90", "3.95", "4.20", "4.10"}
        << QStringList{"0031=64"};
    QTest::newRow("fully charged above restart")
        << "000B" << "4.00" << true << QStringList{"3.00", "3.00", "4.05", "3.95", "4.20", "4.10"}
        << QStringList{"000B=CD"};
    QTest::newRow("release at most the trip")
        << "0032" << "4.30" << true << QStringList{"3.00", "3.00", "3.90", "3.95", "4.20", "4.2"}
        << QStringList{"0032=DC"};
    // A partner the unit never reported is no reference.
    QTest::newRow("blank partner") << "0032" << "4.30" << false
                                   << QStringList{"3.00", "3.00", "3.90", "3.95", "", "4.30"}
                                   << QStringList{"0032=E6"};
}

void TestConfigPageCommit::thresholdRules()
{
    QFETCH(QString, edited);
    QFETCH(QString, text);
    QFETCH(bool, with0005);
    QFETCH(QStringList, texts);
    QFETCH(QStringList, written);
    Bench b;
    const QList<QPair<int, quint32>> shown{{0x0004, 100}, {0x0031, 100}, {0x000B, 190},
                                           {0x001A, 195}, {0x0005, 220}, {0x0032, 210}};
    QList<ConfigParam*> params;
    for (const auto& s : shown) {
        params << b.add(1, s.first);
        if (s.first != 0x0005 || with0005)
            b.reply(s.first, s.second);
    }
    ConfigParam* subject = nullptr; // the bench's editor, not a tab's
    for (ConfigParam* p : params)
        if (p->paramId() == edited.toInt(nullptr, 16))
            subject = p;
    b.userEdit(subject, text);
    b.page->commitEditedParams(nullptr, nullptr);
    QStringList after;
    for (ConfigParam* p : params)
        after << b.edit(p)->text();
    QCOMPARE(after, texts);
    // A tab's editor of the same id is corrected and written too: the same word.
    QStringList writes = b.writeTexts();
    writes.removeDuplicates();
    QCOMPARE(writes, written);
}

void TestConfigPageCommit::disbalanceWarning()
{
    Bench b;
    ConfigParam* disbalance = b.add(1, 0x000C, 0, 0.5, 0, 0.001);
    b.reply(0x000C, 100);
    for (const char* v : {"0", "0.04", "0.04", "0.03", "0.2"}) {
        b.userEdit(disbalance, v);
        b.page->commitEditedParams(nullptr, nullptr);
    }
    QCOMPARE(b.modalBoxes, 2);
}

// Inputs 1 to 4 take function 14 together, and are written at once.
void TestConfigPageCommit::inputFunction14()
{
    // The I/O Pins tab's editors of INPUT 1 to 4.
    WithParameterTabs tabs;
    Bench b;
    QList<ConfigParam*> inputs;
    for (int id : {0x0800, 0x0801, 0x0802, 0x0803}) {
        ConfigParam* p = b.page->paramSlot(id)->params.first();
        b.reply(id, 0);
        inputs << p;
    }
    auto* second = static_cast<QComboBox*>(inputs[1]->widget);
    second->setCurrentIndex(second->findData(14));
    inputs[1]->editState = ConfigPage::Edited;
    b.page->commitEditedParams(nullptr, nullptr);
    QCOMPARE(b.writeTexts(), (QStringList{"0800=E", "0802=E", "0803=E", "0801=E"}));
    for (ConfigParam* p : inputs)
        QCOMPARE(static_cast<QComboBox*>(p->widget)->currentData().toInt(), 14);
    b.writes.clear();
    second->setCurrentIndex(second->findData(2));
    inputs[1]->editState = ConfigPage::Edited;
    b.page->commitEditedParams(nullptr, nullptr);
    QCOMPARE(b.writeTexts(), (QStringList{"0800=0", "0802=0", "0803=0", "0801=2"}));
}

void TestConfigPageCommit::oneFunctionPerPin_data()
{
    QTest::addColumn<int>("function");
    QTest::addColumn<int>("pin");
    QTest::addColumn<int>("otherPin");
    QTest::addColumn<QString>("version");
    QTest::addColumn<int>("otherAfter");
    QTest::newRow("shared function, firmware allows it") << 9 << 0x0807 << 0x0809 << "" << 9;
    QTest::newRow("shared function, older firmware") << 9 << 0x0807 << 0x0809 << "VR1,BMS1,1,2.0.10" << 0;
    QTest::newRow("always exclusive") << 3 << 0x0805 << 0x0804 << "" << 0;
}

void TestConfigPageCommit::oneFunctionPerPin()
{
    QFETCH(int, function);
    QFETCH(int, pin);
    QFETCH(int, otherPin);
    QFETCH(QString, version);
    QFETCH(int, otherAfter);
    WithParameterTabs tabs;
    Bench b;
    if (!version.isEmpty()) {
        b.handler.setVersionLine(version);
        b.comm.linked = true;
    }
    // The I/O Pins tab's function editors of two pins offering the function.
    ConfigParam* subject = b.page->paramSlot(pin)->params.first();
    ConfigParam* other = b.page->paramSlot(otherPin)->params.first();
    b.reply(pin, 0);
    b.reply(otherPin, quint32(function));
    auto* combo = static_cast<QComboBox*>(subject->widget);
    combo->setCurrentIndex(combo->findData(function));
    subject->editState = ConfigPage::Edited;
    b.page->commitEditedParams(nullptr, nullptr);
    QCOMPARE(static_cast<QComboBox*>(other->widget)->currentData().toInt(), otherAfter);
    QCOMPARE(b.writes.size(), otherAfter == function ? 1 : 2);
}

void TestConfigPageCommit::canSpeedChange()
{
    Bench b;
    QList<int> changes;
    b.page->setCanSpeedChange([&changes](int speed) { changes << speed; });
    ConfigParam* speed = b.add(6, 0x0C02, 0, 5, 0, 1);
    for (int code = 0; code < 6; ++code)
        ConfigPage::addComboItem(speed->widget, QString::number(code), code);
    b.reply(0x0C02, 2);
    QVERIFY(b.showWindow());
    speed->widget->setFocus();
    QTRY_VERIFY(speed->widget->hasFocus());
    QTest::keyClick(speed->widget, Qt::Key_Down); // activated: speed 3
    QCOMPARE(speed->editState, int(ConfigPage::Edited));
    QCOMPARE(b.page->previousCanSpeed, 2);
    b.page->commitEditedParams(nullptr, nullptr);
    QCOMPARE(changes, QList<int>{3});
    QCOMPARE(b.writeTexts(), QStringList{"0C02=3"});
}

QTEST_MAIN(TestConfigPageCommit)
#include "tst_configpage_commit.moc"
