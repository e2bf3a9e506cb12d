// The Controls tab: encodings of its editors, the words its check boxes
// write, and which boxes and rows the firmware's features show.
#include "TabTestHelpers.h"

#include "WidgetFold.h"

#include <QApplication>
#include <QCheckBox>
#include <QFontMetrics>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QTest>

using namespace TabTest;

class TestTabControls : public QObject
{
    Q_OBJECT
private slots:
    void init() { m_pages.startRow(); }
    void cleanupTestCase() { m_pages.release(); }
    void shown_data();
    void shown();
    void typed_data();
    void typed();
    void flags_data();
    void flags();
    void editorWidths();
    void features_data();
    void features();

private:
    PagePerFunction<PageFixture> m_pages;
};

namespace {

QWidget* controlsTab(const PageFixture& f) { return tabPage(f, "Controls"); }

QGroupBox* box(const PageFixture& f, const QString& title)
{
    for (QGroupBox* b : controlsTab(f)->findChildren<QGroupBox*>())
        if (b->title() == title)
            return b;
    return nullptr;
}

// The fold around a group box: the box's nearest WidgetFold ancestor.
QWidget* foldOf(QWidget* w)
{
    for (QWidget* p = w; p; p = p->parentWidget())
        if (qobject_cast<WidgetFold*>(p))
            return p;
    return nullptr;
}

} // namespace

void TestTabControls::shown_data()
{
    QTest::addColumn<int>("id");
    QTest::addColumn<quint32>("raw");
    QTest::addColumn<QString>("text");
    QTest::newRow("min charging temp, pre-heating off") << 0x0009 << 0u << "-100";
    QTest::newRow("min charging temp held at 20") << 0x0009 << 200u << "20";
    QTest::newRow("fan on held at 20") << 0x0014 << 100u << "20";
    QTest::newRow("fan on") << 0x0014 << 150u << "50";
    QTest::newRow("climate minimum SOC") << 0x0118 << 5000u << "50.00";
    QTest::newRow("heater compensation") << 0x1918 << 16000u << "1600.0";
    QTest::newRow("DC/DC threshold") << 0x000A << 0u << "2.00";
    QTest::newRow("zero current margin") << 0x00F4 << 255u << "2.55";
    QTest::newRow("current in range, lowest") << 0x0177 << 0u << "-3000.0";
    QTest::newRow("current in range, zero") << 0x0175 << 30000u << "0.0";
    QTest::newRow("set temperature, lowest") << 0x00E8 << 40u << "0.0";
    QTest::newRow("set temperature, highest") << 0x00E8 << 210u << "85.0";
    QTest::newRow("set temperature, half degree") << 0x00E8 << 83u << "21.5";
    QTest::newRow("divider, whole range shown") << 0x0073 << 255u << "25.5";
    QTest::newRow("divider held at 0.1") << 0x0073 << 0u << "0.1";
}

void TestTabControls::shown()
{
    QFETCH(int, id);
    QFETCH(quint32, raw);
    QFETCH(QString, text);
    PageFixture& f = m_pages.get();
    ConfigParam* p = paramOn(f, controlsTab(f), id);
    QVERIFY(p);
    f.reply(id, raw);
    QCOMPARE(static_cast<QLineEdit*>(p->widget)->text(), text);
}

void TestTabControls::typed_data()
{
    QTest::addColumn<int>("id");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("write");
    QTest::newRow("current in range below zero") << 0x0177 << "-12.5" << "0177=74B3"; // 30000 - 125
    QTest::newRow("set temperature, half degree") << 0x00E8 << "21.5" << "00E8=53";
    QTest::newRow("divider, two digits") << 0x0073 << "12.5" << "0073=7D";
    QTest::newRow("minimum charging temperature") << 0x0009 << "-100" << "0009=0";
    QTest::newRow("pre-charge duration") << 0x003C << "255" << "003C=FF";
}

void TestTabControls::typed()
{
    QFETCH(int, id);
    QFETCH(QString, text);
    QFETCH(QString, write);
    PageFixture& f = m_pages.get();
    ConfigParam* p = paramOn(f, controlsTab(f), id);
    QVERIFY(p);
    f.reply(id, 1);
    QVERIFY(accepts(p, text));
    typeAndCommit(f, p, text);
    QCOMPARE(f.lastWrite(), write);
}

void TestTabControls::flags_data()
{
    QTest::addColumn<int>("id");
    QTest::addColumn<quint32>("mask");
    QTest::newRow("climate control") << 0x1600 << 0x00100000u;
    QTest::newRow("water pump") << 0x1608 << 0x00000008u;
    QTest::newRow("BF47 ignition contactor") << 0x1604 << 0x00004000u;
    QTest::newRow("BF28 external contactor") << 0x1600 << 0x08000000u;
    QTest::newRow("BF39") << 0x1604 << 0x00000040u;
    QTest::newRow("BF38 pre-charge") << 0x1604 << 0x00000020u;
    QTest::newRow("zero current DC/DC") << 0x1608 << 0x00000100u;
}

// Each flag writes its word with its bit alone changed.
void TestTabControls::flags()
{
    QFETCH(int, id);
    QFETCH(quint32, mask);
    PageFixture& f = m_pages.get();
    ConfigParam* p = paramOn(f, controlsTab(f), id, mask);
    QVERIFY(p);
    const quint32 others = 0x00010001u & ~mask;
    f.reply(id, others);
    auto* check = static_cast<QCheckBox*>(p->widget);
    QVERIFY(!check->isChecked());
    check->setChecked(true);
    p->editState = ConfigPage::Edited;
    f.page->commitEditedParams(nullptr, nullptr);
    QCOMPARE(f.writes.first(), qMakePair(id, others | mask));
    f.reply(id, others | mask);
    check->setChecked(false);
    p->editState = ConfigPage::Edited;
    f.page->commitEditedParams(nullptr, nullptr);
    QCOMPARE(f.writes.last(), qMakePair(id, others));
}

void TestTabControls::editorWidths()
{
    PageFixture& f = m_pages.get();
    const int w = QFontMetrics(QApplication::font()).horizontalAdvance("9999.9  ");
    int lineEdits = 0;
    for (QLineEdit* edit : controlsTab(f)->findChildren<QLineEdit*>()) {
        QCOMPARE(edit->minimumWidth(), edit->maximumWidth());
        QVERIFY(edit->maximumWidth() >= w);
        ++lineEdits;
    }
    QCOMPARE(lineEdits, 25);
    QCOMPARE(paramOn(f, controlsTab(f), 0x1608, 0x100)->widget->maximumWidth(), 15);
    QCOMPARE(static_cast<QLineEdit*>(paramOn(f, controlsTab(f), 0x0073)->widget)->maxLength(), 4);
}

void TestTabControls::features_data()
{
    QTest::addColumn<QList<int>>("features");
    QTest::addColumn<QStringList>("shownBoxes");
    QTest::addColumn<QStringList>("hiddenBoxes");
    QTest::addColumn<bool>("heaterFoldShown");
    const QStringList all{"Climate Control", "Water Pump Control", "Redazad Climate Control"};
    QTest::newRow("climate control only") << QList<int>{35, 37} << QStringList{"Climate Control"}
                                          << QStringList{"Water Pump Control", "Redazad Climate Control"} << true;
    QTest::newRow("Redazad only") << QList<int>{35, 41} << QStringList{"Redazad Climate Control"}
                                  << QStringList{"Climate Control", "Water Pump Control"} << true;
    QTest::newRow("both climate controls") << QList<int>{35, 37, 41, 115} << all << QStringList{} << true;
    // Without the fan rows the fold still shows its supported box.
    QTest::newRow("box without the fan rows") << QList<int>{115} << QStringList{"Water Pump Control"}
                                              << QStringList{"Climate Control", "Redazad Climate Control"} << true;
    QTest::newRow("fan rows without a box") << QList<int>{35} << QStringList{} << all << true;
    QTest::newRow("nothing of the group") << QList<int>{103} << QStringList{} << all << false;
}

void TestTabControls::features()
{
    QFETCH(QList<int>, features);
    QFETCH(QStringList, shownBoxes);
    QFETCH(QStringList, hiddenBoxes);
    QFETCH(bool, heaterFoldShown);
    PageFixture& f = m_pages.get();
    QList<quint32> words;
    for (int i = 0; i < 8; ++i)
        words << 0u;
    for (int feature : features)
        words[feature / 32] |= 1u << (feature % 32);
    f.bitmap.words = words;
    f.page->updateFeatureVisibility(QString());
    for (const QString& title : shownBoxes)
        QVERIFY2(!box(f, title)->isHidden(), qPrintable(title));
    for (const QString& title : hiddenBoxes)
        QVERIFY2(box(f, title)->isHidden(), qPrintable(title));
    QCOMPARE(!foldOf(box(f, "Heater And Fan Control"))->isHidden(), heaterFoldShown);
    // Both climate controls never cover each other.
    auto* grid = static_cast<QGridLayout*>(box(f, "Heater And Fan Control")->layout());
    int climateRow = -1, redazadRow = -1, span = 0;
    grid->getItemPosition(grid->indexOf(box(f, "Climate Control")), &climateRow, &span, &span, &span);
    grid->getItemPosition(grid->indexOf(box(f, "Redazad Climate Control")), &redazadRow, &span, &span, &span);
    QVERIFY(climateRow != redazadRow);
    // The PSU rows follow 103 alone.
    const bool psu = features.contains(103);
    QCOMPARE(!foldOf(box(f, "PSU Under-Voltage Sense Control"))->isHidden(), psu);
    QCOMPARE(!paramOn(f, controlsTab(f), 0x0073)->widget->isHidden(), psu);
}

QTEST_MAIN(TestTabControls)
#include "tst_tab_controls.moc"
