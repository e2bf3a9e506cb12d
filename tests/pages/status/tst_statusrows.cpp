// The Status page's row tables: each row bound to a label through the real
// dispatch shows the specified text for the unit's fields, and the emulator's
// pack answers every sentence the rows bind with plausible values.
#include "PackModel.h"
#include "Param.h"
#include "SentenceMaps.h"
#include "StatusRows.h"

#include <QLabel>
#include <QSet>
#include <QTest>

#include <memory>
#include <vector>

namespace {

// The rows of the General, Sensors and SOC / SOH tables bound as the page
// binds them, plus the CAN device rows, each to a label.
struct BoundRows
{
    CSntcMap map;
    std::vector<std::unique_ptr<Param>> params;
    std::vector<std::unique_ptr<QLabel>> labels;

    Param* bind(const QString& caption, const QString& sentence, int field, int type, int offset, double scale,
                int decimals, StatusNames names)
    {
        auto label = std::make_unique<QLabel>();
        auto p = std::make_unique<Param>();
        p->caption = caption;
        p->sentenceName = sentence;
        p->fieldIndex = field;
        p->valueType = type;
        p->offset = offset;
        p->scale = scale;
        p->decimals = decimals;
        p->widgetKind = 0;
        p->widget = label.get();
        applyStatusNames(p.get(), names);
        map.addHandler(sentence, field, p.get());
        params.push_back(std::move(p));
        labels.push_back(std::move(label));
        return params.back().get();
    }

    void bind(const StatusRowSpec& r)
    {
        bind(QString::fromUtf8(r.caption), QLatin1String(r.sentence), r.field, r.type, r.offset, r.scale, r.decimals,
             r.names);
    }

    BoundRows()
    {
        for (const StatusGroupSpec& g : generalTabGroups())
            for (const StatusRowSpec& r : g.rows)
                bind(r);
        for (const StatusRowSpec& r : analogCurrentSensorRows())
            bind(r);
        for (const StatusRowSpec& r : canCurrentSensorRows())
            bind(r);
        for (const StatusRowSpec& r : batteryStateRows())
            bind(r);
        bind("Current Sensor", "CG1", 0, 2, 0, 1, 0, StatusNames::DeviceState);
        for (int n = 1; n <= 32; ++n) {
            bind(QStringLiteral("Module %1 state").arg(n), "CG1", 2 * n, 2, 0, 1, 0, StatusNames::DeviceState);
            bind(QStringLiteral("Module %1 cells").arg(n), "CG1", 2 * n + 1, 2, 0, 1, 0, StatusNames::CellCount);
        }
    }

    QString text(const QString& caption) const
    {
        for (const auto& p : params)
            if (p->caption == caption)
                return static_cast<QLabel*>(p->widget)->text();
        return QStringLiteral("<no row>");
    }
};

} // namespace

class TestStatusRows : public QObject
{
    Q_OBJECT
private slots:
    void cleanup() { setPinFunctionQuery(nullptr); }
    void rowTexts_data();
    void rowTexts();
    void notMappedOutput();
    void tableShape();
    void packAnswersEveryBoundSentence();
};

void TestStatusRows::rowTexts_data()
{
    QTest::addColumn<QString>("sentence");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("expected");
    const QString st1 = QStringLiteral("ST1,0,0,0,0,%1,%2,%3,0,%4,0,%5");
    QTest::newRow("cells comm 39") << st1.arg("27", "0", "0", "0", "0") << "Cells Communication" << "OK";
    QTest::newRow("cells comm 40") << st1.arg("28", "0", "0", "0", "0") << "Cells Communication"
                                   << "Error - incorrect number of cells";
    QTest::newRow("cells comm 16") << st1.arg("10", "0", "0", "0", "0") << "Cells Communication" << "16";
    QTest::newRow("cells comm 0") << st1.arg("0", "0", "0", "0", "0") << "Cells Communication"
                                  << "Error - no response";
    QTest::newRow("protection none") << st1.arg("27", "0", "0", "0", "0") << "Protection status" << "OK";
    QTest::newRow("protection word split over f5 and f8")
        << st1.arg("27", "1", "0", "1", "0") << "Protection status4 2" << "Cell Under-Voltage,\nCell Voltage Deviation";
    QTest::newRow("protection3 cell names") << st1.arg("27", "2003", "0", "0", "0") << "Protection status3"
                                            << "Cell Under-Voltage,\nCell Over-Voltage,\nPack Under-Voltage";
    QTest::newRow("warning none") << st1.arg("27", "0", "0", "0", "0") << "Warning status1" << "OK";
    QTest::newRow("warning wire break") << st1.arg("27", "0", "0", "0", "4000") << "Warning status1"
                                        << "Cell Wire Break";
    QTest::newRow("power reduction none") << st1.arg("27", "0", "0", "0", "0") << "Power Reduction status" << "";
    QTest::newRow("power reduction over-heat") << st1.arg("27", "0", "4", "0", "0") << "Power Reduction status"
                                               << "Over-Heat";
    QTest::newRow("charging stage") << "ST1,4,0,0,3C" << "Charging Stage" << "Balancing Stage";
    QTest::newRow("stage duration") << "ST1,4,0,0,3C" << "Stage Duration" << "000:01:00";
    QTest::newRow("last error 47") << "ST1,0,A" << "Last Error" << "Protection event occurred";
    QTest::newRow("uptime") << "TD1,26,12,10,13,30,5,0,E10" << "Uptime" << "001:00:00";
    QTest::newRow("clock") << "TD1,26,12,10,13,30,5,0,E10" << "BMS Internal Time" << "26-12-10 13:30:5";
    QTest::newRow("ignition on") << "IN1,20" << "Ignition Input" << "Active";
    QTest::newRow("mains off") << "IN1,20" << "Mains Input" << "Inactive";
    QTest::newRow("heater OT1") << "OT1,0,0,10" << "Heater Output" << "ON";
    QTest::newRow("charger connection 17") << "CS1,11,0,0,0,0,0" << "Charger Connection" << "17";
    QTest::newRow("charger connection 3") << "CS1,3,0,0,0,0,0" << "Charger Connection" << "Connected";
    QTest::newRow("chargers count") << "CS1,11,0,0,0,0,0" << "Number of connected charger" << "17";
    QTest::newRow("charger actual current") << "CS1,1,0,0,0,0,FF9C" << "Actual Current" << "-10.0";
    QTest::newRow("max cell voltage 7D") << "BV1,40,7A,7D,7B,14A0" << "Max Voltage" << "3.25";
    QTest::newRow("pack voltage") << "BV1,40,7A,7D,7B,14A0" << "Total Voltage" << "52.80";
    QTest::newRow("live cells") << "BV1,40,7A,7D,7B,14A0" << "Live Cells" << "64";
    QTest::newRow("max temperature 7D") << "BT3,40,7B,7D,7C" << "Max Temperature" << "25";
    QTest::newRow("pack current") << "CV1,14A0,FF83" << "Current" << "-12.5";
    QTest::newRow("soc") << "BC1,0,0,1DE2,2648,0,1DE2" << "SOC" << "76.50";
    QTest::newRow("vehicle N/A") << "DT1,0,0,0,FFFF" << "Distance left" << "N/A";
    QTest::newRow("vehicle value") << "DT1,0,0,0,64" << "Distance left" << "1.00";
    QTest::newRow("battery id") << "ID1,DEMO-PACK-01" << "Battery Id" << "DEMO-PACK-01";
    // Sensors tab.
    QTest::newRow("CV2 current FC18") << "CV2,1,FC18" << "CAN Sensor Current" << "-1.000";
    QTest::newRow("CV2 current 0FC18") << "CV2,1,0FC18" << "CAN Sensor Current" << "64.536";
    QTest::newRow("CV2 voltage D2F0") << "CV2,1,0,D2F0" << "CAN Sensor Battery Voltage" << "-11.536";
    QTest::newRow("CV2 voltage 0D2F0") << "CV2,1,0,0D2F0" << "CAN Sensor Battery Voltage" << "54.000";
    QTest::newRow("CV2 empty field") << "CV2,1,,D2F0" << "CAN Sensor Current" << "";
    QTest::newRow("CV1 calculated FF9C") << "CV1,0,FF9C,3FF" << "Calculated Current" << "-10.0";
    QTest::newRow("CV1 ADC0") << "CV1,0,FF9C,3FF" << "ADC0" << "1023";
    QTest::newRow("CV1 reference L") << "CV1,0,0,0,0,0,0,0,0,8000" << "Reference L" << "-32768";
    // SOC / SOH tab.
    QTest::newRow("R0 float") << "BC1,0,0,0,0,3F800000" << "R0" << "1";
    QTest::newRow("SoC unsigned") << "BC1,0,0,1DE2" << "SoC" << "76.50";
    // CAN Devices tab.
    QTest::newRow("current sensor OK") << "CG1,1" << "Current Sensor" << "OK";
    QTest::newRow("module 17 from field 34")
        << "CG1,0,0,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,4" << "Module 17 state" << "Alarm";
    QTest::newRow("module state 1F") << "CG1,0,0,1F" << "Module 1 state" << "31";
    QTest::newRow("module cells 10") << "CG1,0,0,1,10" << "Module 1 cells" << "16";
    QTest::newRow("module cells 0") << "CG1,0,0,1,0" << "Module 1 cells" << "None";
    QTest::newRow("module state empty") << "CG1,0,0,,0" << "Module 1 state" << "";
}

void TestStatusRows::rowTexts()
{
    QFETCH(QString, sentence);
    QFETCH(QString, caption);
    BoundRows rows;
    rows.map.dispatch(sentence);
    QTEST(rows.text(caption), "expected");
}

void TestStatusRows::notMappedOutput()
{
    // An "ST1" output whose pin function no pin carries reads "Not mapped"
    // whatever its bit; the "IN1"/"OT1" rows never do.
    setPinFunctionQuery([](int function) { return function != 12; });
    BoundRows rows;
    rows.map.dispatch(QStringLiteral("ST1,0,0,0,0,27,0,0,3000,0,0,0"));
    QCOMPARE(rows.text("Battery Relay"), QStringLiteral("Not mapped"));
    QCOMPARE(rows.text("Battery Fan"), QStringLiteral("ON"));
    QCOMPARE(rows.text("Charger Enable"), QStringLiteral("OFF"));
}

void TestStatusRows::tableShape()
{
    const auto& groups = generalTabGroups();
    QStringList titles;
    for (const auto& g : groups)
        titles << QLatin1String(g.title);
    QCOMPARE(titles, (QStringList{"Time", "Errors, Protections", "Input Pins Status", "Output Pins Status",
                                  "Charging Process", "CAN Charger", "Battery Pack", "Vehicle"}));
    // The protection rows have a registry group of their own, so the "Time"
    // fold never follows their features.
    QVERIFY(groups.at(1).registerFold);
    QStringList registered;
    for (const auto& g : groups)
        if (g.registerFold)
            registered << QLatin1String(g.title);
    QCOMPARE(registered, (QStringList{"Time", "Errors, Protections", "Input Pins Status", "Output Pins Status",
                                      "Charging Process", "Vehicle"}));
    // "Current" is the first row of that caption: the configuration page reads
    // the pack current through it.
    for (const auto& g : groups)
        for (const auto& r : g.rows)
            if (QLatin1String(r.caption) == QLatin1String("Current")) {
                QCOMPARE(QLatin1String(r.sentence), QLatin1String("CV1"));
                QCOMPARE(r.field, 1);
            }
    // Charger-type rows are manual entries of widget groups 0, 1 and 7.
    int manual = 0;
    for (const auto& r : groups.at(3).rows)
        if (r.group >= 0) {
            QCOMPARE(r.mode, 1);
            ++manual;
        }
    QCOMPARE(manual, 6);
    QCOMPARE(statusTipText(StatusTip::ChargerAc).right(int(strlen(kMakerWebAddress))),
             QLatin1String(kMakerWebAddress));
}

void TestStatusRows::packAnswersEveryBoundSentence()
{
    PackModel pack;
    pack.setLayout(4, 16);
    BoundRows rows;
    QSet<QString> names;
    for (const auto& p : rows.params)
        names.insert(p->sentenceName);
    for (const QString& n : names) {
        const QStringList replies = pack.replyFor(n);
        QVERIFY2(!replies.isEmpty(), qPrintable(n));
        for (const QString& line : replies) {
            QVERIFY(line.startsWith(n + QLatin1Char(',')));
            rows.map.dispatch(line);
        }
    }
    // Every bound label shows something.
    for (const auto& p : rows.params)
        QVERIFY2(!static_cast<QLabel*>(p->widget)->text().isEmpty() || p->caption == QLatin1String("Power Reduction status"),
                 qPrintable(p->caption));
    // A coherent pack: cells near 3.3 V and 25 degC, 16 cells in series.
    QCOMPARE(rows.text("Cells Communication"), QStringLiteral("OK"));
    const double maxV = rows.text("Max Voltage").toDouble();
    QVERIFY(maxV > 3.25 && maxV < 3.40);
    const double pack16 = rows.text("Total Voltage").toDouble();
    QVERIFY(pack16 > 16 * 3.25 && pack16 < 16 * 3.35);
    const int maxT = rows.text("Max Temperature").toInt();
    QVERIFY(maxT >= 20 && maxT <= 30);
    QCOMPARE(rows.text("Current"), QStringLiteral("-12.5"));
    QCOMPARE(rows.text("SOC"), QStringLiteral("76.50"));
    QCOMPARE(rows.text("Live Cells"), QStringLiteral("64"));
    QCOMPARE(rows.text("Module 4 cells"), QStringLiteral("16"));
    QCOMPARE(rows.text("Module 5 state"), QStringLiteral("Unconfigured"));
    // An invalid cell leaves the live-cell count short.
    pack.setCellInvalid(2, 3);
    for (const QString& line : pack.replyFor("BV1"))
        rows.map.dispatch(line);
    QCOMPARE(rows.text("Live Cells"), QStringLiteral("63"));
}

QTEST_MAIN(TestStatusRows)
#include "tst_statusrows.moc"
