// The Charging tab and its charger group: encodings of the editors, the
// rows each firmware shows and the rows the charger values show.
#include "TabTestSupport.h"

#include "ParamConversion.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QPixmap>
#include <QSet>
#include <QTest>

class TestTabCharging : public QObject
{
    Q_OBJECT
private slots:
    void init() { m_pages.startRow(); }
    void cleanupTestCase() { m_pages.release(); }
    void encodings_data();
    void encodings();
    void pictures();
    void firmwareGating_data();
    void firmwareGating();
    void chargerIds();
    void chargerCountShowsIdRows();
    void chargerTypeShowsRows_data();
    void chargerTypeShowsRows();
    void manualIdFlagEnablesIds();
    void cellGridPlaces_data();
    void cellGridPlaces();
    void chargerRowsNeverShareACell();

private:
    PagePerFunction<PageFixture> m_pages;
};

namespace {

// Row and column of a widget in the grid that holds it.
QPair<int, int> cellOf(QWidget* w)
{
    auto* grid = qobject_cast<QGridLayout*>(w->parentWidget()->layout());
    for (int i = 0; grid && i < grid->count(); ++i) {
        if (grid->itemAt(i)->widget() == w) {
            int row = 0, column = 0, rows = 0, columns = 0;
            grid->getItemPosition(i, &row, &column, &rows, &columns);
            return qMakePair(row, column);
        }
    }
    return qMakePair(-1, -1);
}

} // namespace

void TestTabCharging::encodings_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<quint32>("raw");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("written");
    QTest::newRow("threshold low") << "Fully Charged voltage" << 0u << "2.00" << "3.65" << "000B=A5";
    QTest::newRow("threshold high") << "Maximum Allowed voltage" << 255u << "4.55" << "" << "";
    QTest::newRow("disbalance") << "Allowed Disbalance" << 20u << "0.20" << "0.05" << "000C=5";
    QTest::newRow("disbalance clamped") << "Allowed Disbalance" << 50u << "0.20" << "" << "";
    QTest::newRow("charge current clamped") << "Normal charge current" << 0u << "0.1" << "" << "";
    QTest::newRow("charge current") << "Slow charge current" << 32000u << "3200.0" << "12.5" << "1903=7D";
    QTest::newRow("finished tenths") << "Charge finishing current 4" << 50u << "5.0" << "" << "";
    QTest::newRow("finished percent") << "Charge finishing current 1" << 50u << "50" << "" << "";
    QTest::newRow("tuning step 1") << "Current Increment Small Step" << 1u << "0.002" << "50" << "1923=8000";
    QTest::newRow("tuning step full") << "Current Decrement Large Step" << 65535u << "100.000" << "" << "";
    QTest::newRow("tuning step 0") << "Current Decrement Small Step" << 0u << "0.000" << "" << "";
    // One byte on the wire: the editor stops at 255.
    QTest::newRow("detect time held") << "Charger detect time" << 10u << "10" << "300" << "1837=FF";
    QTest::newRow("pwm") << "Max PWM Output" << 500u << "5.00" << "2.5" << "191C=FA";
    QTest::newRow("equalization") << "Equalization Voltage Margen" << 150u << "1.50" << "" << "";
    QTest::newRow("base id") << "CAN Base ID" << 0x1A5u << "0x01A5" << "0x7FF" << "1916=7FF";
    QTest::newRow("tx id held") << "CH_TRANSMIT_ID_0" << 5u << "0x18FF0000" << "" << "";
    QTest::newRow("rx id") << "CH_RECEIVE_ID_1" << 0x18061234u << "0x18061234" << "" << "";
}

void TestTabCharging::encodings()
{
    QFETCH(QString, name);
    QFETCH(quint32, raw);
    QFETCH(QString, shown);
    QFETCH(QString, typed);
    QFETCH(QString, written);
    PageFixture& f = m_pages.get();
    checkEncoding(f, name, raw, shown, typed, written);
}

void TestTabCharging::pictures()
{
    for (int i = 1; i <= 3; ++i) {
        const QPixmap picture(QString(":/images/chargeCurve%1.png").arg(i));
        QCOMPARE(picture.size(), QSize(320, 240));
    }
}

// Which of the alternative rows a firmware shows.
void TestTabCharging::firmwareGating_data()
{
    QTest::addColumn<QList<int>>("features");
    QTest::addColumn<QStringList>("shown");
    QTest::addColumn<QStringList>("hidden");
    QTest::newRow("16 without 15") << QList<int>{16, 11}
                                   << QStringList{"Charge restart voltage 2", "Empty voltage", "Fully Charged voltage"}
                                   << QStringList{"Charge restart voltage 1", "Maximum Allowed voltage",
                                                  "Minimal voltage"};
    QTest::newRow("15 without 16") << QList<int>{15}
                                   << QStringList{"Charge restart voltage 1", "Maximum Allowed voltage",
                                                  "Minimal voltage"}
                                   << QStringList{"Charge restart voltage 2", "Empty voltage"};
    QTest::newRow("finished 22, pre 25") << QList<int>{22, 25}
                                         << QStringList{"Charge finishing current 2", "Pre-charge current 5"}
                                         << QStringList{"Charge finishing current 4", "Charge finishing current 1",
                                                        "Charge finishing current 5", "Pre-charge current 1",
                                                        // shares its cell with the newer 5
                                                        "Pre-charge current 2"};
    QTest::newRow("tuning 114") << QList<int>{114} << QStringList{"Safety Margin Current"}
                                << QStringList{"Regeneration time", "Discharge Current Limitation"};
}

void TestTabCharging::firmwareGating()
{
    QFETCH(QList<int>, features);
    QFETCH(QStringList, shown);
    QFETCH(QStringList, hidden);
    PageFixture& f = m_pages.get();
    reportFeatures(f, features);
    f.page->updateFeatureVisibility("2.5.0");
    for (const QString& name : shown) {
        ConfigParam* p = paramNamed(f, name);
        QVERIFY2(p && !p->widget->isHidden(), qPrintable(name));
    }
    for (const QString& name : hidden) {
        ConfigParam* p = paramNamed(f, name);
        QVERIFY2(p && p->widget->isHidden(), qPrintable(name));
    }
}

void TestTabCharging::chargerIds()
{
    PageFixture& f = m_pages.get();
    int ids = 0;
    for (ConfigParam* p : f.page->configParams())
        ids += p->paramId() >= 0x1A3A && p->paramId() <= 0x1AB6;
    QCOMPARE(ids, 32);
    QCOMPARE(paramNamed(f, "CH_TRANSMIT_ID_30")->paramId(), 0x1AB2);
    QCOMPARE(paramNamed(f, "CH_RECEIVE_ID_16")->paramId(), 0x1AB6);
    QCOMPARE(paramNamed(f, "CH_TRANSMIT_ID_2")->paramId(), 0x1A42);
    QCOMPARE(f.page->widgetGroup(11).size(), 32);
    QCOMPARE(f.page->widgetGroup(12).size(), 32);
    // Label then editor, charger by charger.
    QCOMPARE(static_cast<QLabel*>(f.page->widgetGroup(11).at(30))->text(), QString("16. Charger CAN TX ID:"));
    QCOMPARE(f.page->widgetGroup(11).at(31), paramNamed(f, "CH_TRANSMIT_ID_30")->widget);
}

void TestTabCharging::chargerCountShowsIdRows()
{
    PageFixture& f = m_pages.get();
    auto rowShown = [&f](int n) {
        QWidget* rx = paramNamed(f, QString("CH_RECEIVE_ID_%1").arg(n))->widget;
        QWidget* tx = paramNamed(f, QString("CH_TRANSMIT_ID_%1").arg(2 * (n - 1)))->widget;
        return !rx->isHidden() && !tx->isHidden();
    };
    // Not reported by the unit: no count shows a row.
    f.reply(0x1815, 3);
    for (int n = 1; n <= 16; ++n)
        QVERIFY(!rowShown(n));
    reportFeatures(f, {151});
    f.reply(0x1815, 3);
    for (int n = 1; n <= 16; ++n)
        QCOMPARE(rowShown(n), n <= 3);
    f.reply(0x1815, 1);
    for (int n = 1; n <= 16; ++n)
        QCOMPARE(rowShown(n), n == 1);
}

void TestTabCharging::chargerTypeShowsRows_data()
{
    QTest::addColumn<quint32>("type");
    QTest::addColumn<bool>("baseId");
    QTest::addColumn<bool>("count");
    QTest::addColumn<bool>("margen");
    QTest::newRow("Eltek Valere") << 3u << true << true << false;
    QTest::newRow("Flatpack2") << 9u << false << true << false;
    QTest::newRow("Margen") << 6u << false << false << true;
    QTest::newRow("non-CAN") << 0u << false << false << false;
}

void TestTabCharging::chargerTypeShowsRows()
{
    QFETCH(quint32, type);
    QFETCH(bool, baseId);
    QFETCH(bool, count);
    QFETCH(bool, margen);
    PageFixture& f = m_pages.get();
    reportFeatures(f, {26, 27, 29, 31});
    f.handler.setVersionLine("VR1,1,1234,2.5.0");
    f.page->updateFeatureVisibility("2.5.0");
    f.reply(0x1800, type);
    QCOMPARE(!paramNamed(f, "CAN Base ID")->widget->isHidden(), baseId);
    QCOMPARE(!paramNamed(f, "Number of Chargers 1")->widget->isHidden(), count);
    QCOMPARE(!f.page->widgetGroup(2).first()->isHidden(), margen);
    QCOMPARE(!paramNamed(f, "Equalization Voltage Margen")->widget->isHidden(), margen);
    auto* combo = static_cast<QComboBox*>(paramNamed(f, "Charger Type")->widget);
    QCOMPARE(combo->count(), 14);
    QCOMPARE(combo->currentData().toUInt(), type);
}

void TestTabCharging::manualIdFlagEnablesIds()
{
    PageFixture& f = m_pages.get();
    ConfigParam* id = paramNamed(f, "CH_RECEIVE_ID_5");
    f.reply(id->paramId(), 0x18060001);
    f.reply(0x1608, 0);
    QVERIFY(!id->widget->isEnabled());
    QVERIFY(!f.page->manualChargerIdControl);
    f.reply(0x1608, 0x200);
    QVERIFY(f.page->manualChargerIdControl);
    QVERIFY(static_cast<QCheckBox*>(paramNamed(f, "BF_73_MANUAL_J1939_CHARGERS_ID_CONTROL")->widget)->isChecked());
}

void TestTabCharging::cellGridPlaces_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("column");
    QTest::newRow("maximum") << "Maximum Allowed voltage" << 1 << 1;
    QTest::newRow("restart by 16") << "Charge restart voltage 2" << 5 << 1;
    QTest::newRow("restart by 15") << "Charge restart voltage 1" << 6 << 1;
    QTest::newRow("minimal") << "Minimal voltage" << 9 << 1;
    QTest::newRow("fast current") << "Normal charge current" << 1 << 4;
    QTest::newRow("finished") << "Charge finishing current 3" << 6 << 4;
    QTest::newRow("pre-charge") << "Pre-charge current 1" << 7 << 4;
    QTest::newRow("finished by 24") << "Charge finishing current 5" << 8 << 4;
}

void TestTabCharging::cellGridPlaces()
{
    QFETCH(QString, name);
    QFETCH(int, row);
    QFETCH(int, column);
    PageFixture& f = m_pages.get();
    QCOMPARE(cellOf(paramNamed(f, name)->widget), qMakePair(row, column));
}

// Rows the charger values show together each have their own cells.
void TestTabCharging::chargerRowsNeverShareACell()
{
    PageFixture& f = m_pages.get();
    QWidget* box = paramNamed(f, "Charger Type")->widget->parentWidget();
    auto* grid = qobject_cast<QGridLayout*>(box->layout());
    QVERIFY(grid);
    QSet<QPair<int, int>> cells;
    for (int i = 0; i < grid->count(); ++i) {
        int row = 0, column = 0, rows = 0, columns = 0;
        grid->getItemPosition(i, &row, &column, &rows, &columns);
        QVERIFY2(!cells.contains(qMakePair(row, column)), qPrintable(QString("%1,%2").arg(row).arg(column)));
        cells.insert(qMakePair(row, column));
    }
    QVERIFY(cellOf(paramNamed(f, "CAN Base ID")->widget) != cellOf(paramNamed(f, "CH_RECEIVE_ID_2")->widget)
            || paramNamed(f, "CAN Base ID")->widget->parentWidget()->layout()
                   != paramNamed(f, "CH_RECEIVE_ID_2")->widget->parentWidget()->layout());
}

QTEST_MAIN(TestTabCharging)
#include "tst_tab_charging.moc"
