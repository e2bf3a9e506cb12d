// The Status page's decisions and texts: reactions to the unit's kind and
// configuration values, the raw cell sentences, the master/slave rows.
#include "CellStringLayout.h"
#include "StatusLogic.h"

#include <QTest>

using namespace StatusLogic;

Q_DECLARE_METATYPE(MasterSlaveTabAction)

class TestStatusLogic : public QObject
{
    Q_OBJECT
private slots:
    void hardwareKind_data();
    void hardwareKind();
    void configValues();
    void masterSlaveConfig_data();
    void masterSlaveConfig();
    void chargerType_data();
    void chargerType();
    void lithiumTitanate();
    void moduleVersions_data();
    void moduleVersions();
    void wireBreaks_data();
    void wireBreaks();
    void masterSlaveTexts_data();
    void masterSlaveTexts();
    void masterSlaveRows();
    void networkFrame_data();
    void networkFrame();
};

void TestStatusLogic::hardwareKind_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<int>("kindBefore");
    QTest::addColumn<bool>("knownBefore");
    QTest::addColumn<int>("kind");
    QTest::addColumn<bool>("known");
    QTest::addColumn<MasterSlaveTabAction>("tab");
    using A = MasterSlaveTabAction;
    QTest::newRow("BMS2 2.1") << "VR1,BMS2,0001E240,2.1.4.2" << 0 << false << 2 << true << A::Restore;
    QTest::newRow("BMS3") << "VR1,BMS3,0001E240,2.1.0" << 0 << false << 2 << true << A::Restore;
    QTest::newRow("BMS1") << "VR1,BMS1,0001E240,2.1.4.2" << 0 << false << 1 << true << A::Remove;
    QTest::newRow("BMS2 with 2.0 firmware") << "VR1,BMS2,0001E240,2.0.19_RC7" << 0 << false << 1 << true << A::Remove;
    QTest::newRow("kind known already") << "VR1,BMS1,1,2.1" << 2 << true << 2 << true << A::None;
    QTest::newRow("not a version line") << "ST1,BMS1,1,2.1" << 0 << false << 0 << false << A::None;
    QTest::newRow("unknown kind, none before") << "VR1,LED,1,2.1" << 0 << false << 0 << false << A::None;
    QTest::newRow("unknown kind keeps kind 2's tab") << "VR1,XYZ,1,2.1" << 2 << false << 2 << false << A::Restore;
    QTest::newRow("unknown kind keeps kind 1 away") << "VR1,XYZ,1,2.1" << 1 << false << 1 << false << A::Remove;
    QTest::newRow("short line") << "VR1" << 0 << false << 0 << false << A::None;
}

void TestStatusLogic::hardwareKind()
{
    QFETCH(QString, line);
    QFETCH(int, kindBefore);
    QFETCH(bool, knownBefore);
    const KindDecision d = decideHardwareKind(line, kindBefore, knownBefore);
    QTEST(d.kind, "kind");
    QTEST(d.known, "known");
    QTEST(d.tab, "tab");
}

void TestStatusLogic::configValues()
{
    QCOMPARE(cellsPeriodFor(3), uint16_t(5));
    QCOMPARE(cellsPeriodFor(5), uint16_t(5));
    QCOMPARE(cellsPeriodFor(12), uint16_t(12));
    QCOMPARE(cellsPeriodFor(0x10003), uint16_t(5));  // low 16 bits only
    QCOMPARE(cellsPeriodFor(0x10020), uint16_t(0x20));
    QCOMPARE(framePrefixFor(0x1A), QStringLiteral("CN1,0000001A"));
    QCOMPARE(framePrefixFor(0x19b4ffff), QStringLiteral("CN1,19B4FFFF"));
    QCOMPARE(masterSlaveTickLimit(0), uint16_t(5));
    QCOMPARE(masterSlaveTickLimit(0xFFFF), uint16_t(4)); // 16-bit arithmetic
    QCOMPARE(firmwareVersion("VR1,BMS2,0001E240,2.1.4.2"), QStringLiteral("2.1.4.2"));
    QCOMPARE(firmwareVersion("VR1,BMS2"), QString());
}

void TestStatusLogic::masterSlaveConfig_data()
{
    QTest::addColumn<uint>("value");
    QTest::addColumn<int>("kind");
    QTest::addColumn<bool>("known");
    QTest::addColumn<bool>("feature75");
    QTest::addColumn<bool>("ext");
    QTest::addColumn<bool>("active");
    QTest::addColumn<bool>("setTab");
    QTest::newRow("kind 2 on") << 0x00804200u << 2 << true << true << false << true << true;
    QTest::newRow("kind 2 on, ext") << 0x04804200u << 2 << true << true << true << true << true;
    QTest::newRow("ext without feature 75") << 0x04804200u << 2 << true << false << false << true << true;
    QTest::newRow("kind 2, kind not known") << 0x04804200u << 2 << false << true << false << true << true;
    QTest::newRow("kind 2 partial mask") << 0x00800200u << 2 << true << true << false << false << true;
    QTest::newRow("kind 1 leaves the tab") << 0x00804200u << 1 << true << true << false << false << false;
    QTest::newRow("kind unknown") << 0x04804200u << 0 << false << true << false << false << false;
}

void TestStatusLogic::masterSlaveConfig()
{
    QFETCH(uint, value);
    QFETCH(int, kind);
    QFETCH(bool, known);
    QFETCH(bool, feature75);
    const MasterSlaveDecision d = masterSlaveFor(value, kind, known, feature75);
    QTEST(d.extColumns, "ext");
    QTEST(d.active, "active");
    QTEST(d.setTabEnabled, "setTab");
}

using Calls = QVector<QPair<int, bool>>;
Q_DECLARE_METATYPE(Calls)

void TestStatusLogic::chargerType_data()
{
    QTest::addColumn<uint>("value");
    QTest::addColumn<bool>("feature17");
    QTest::addColumn<Calls>("calls");
    QTest::newRow("5") << 5u << true << Calls{{0, true}, {1, false}, {7, false}};
    QTest::newRow("6") << 6u << true << Calls{{1, true}, {0, false}, {7, false}};
    QTest::newRow("8") << 8u << true << Calls{{7, true}, {0, false}, {1, false}};
    QTest::newRow("7") << 7u << true << Calls{{0, false}, {1, false}, {7, false}};
    QTest::newRow("no feature 17") << 5u << false << Calls{};
}

void TestStatusLogic::chargerType()
{
    QFETCH(uint, value);
    QFETCH(bool, feature17);
    QTEST(chargerTypeGroupCalls(value, feature17), "calls");
}

void TestStatusLogic::lithiumTitanate()
{
    QVERIFY(isLithiumTitanate("VR1,BMS2,1,2.1.4_SCiB", false));
    QVERIFY(isLithiumTitanate("VR1,BMS2,1,2.1.4", true));
    QVERIFY(!isLithiumTitanate("VR1,BMS2,1,2.1.4", false));
    QCOMPARE(msCellVoltageOffset("VR1,BMS2,1,2.1.4_SCiB", false), 1.0);
    QCOMPARE(msCellVoltageOffset("VR1,BMS2,1,2.1.4", true), 1.0);
    QCOMPARE(msCellVoltageOffset("VR1,BMS2,1,2.1.4", false), 2.0);
    // Only the version field counts for the table's offset.
    QCOMPARE(msCellVoltageOffset("VR1,SCiB,1,2.1.4", false), 2.0);
}

void TestStatusLogic::moduleVersions_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("debug");
    QTest::addColumn<int>("string");
    QTest::addColumn<int>("first");
    QTest::addColumn<QVector<int>>("versions");
    QTest::newRow("two modules") << "CMV1,0,3,2,6566" << true << "" << 0 << 3 << QVector<int>{101, 102};
    QTest::newRow("no versions field") << "CMV1,0,3,2" << false << "Fields in CMV1 4" << 0 << 0 << QVector<int>{};
    QTest::newRow("empty count") << "CMV1,0,3,,6566" << false << "Fields in CMV1 5" << 0 << 0 << QVector<int>{};
    QTest::newRow("versions run short") << "CMV1,1,0,3,65" << true << "" << 1 << 0 << QVector<int>{101, 0, 0};
    QTest::newRow("bad digits read 0") << "CMV1,1,0,2,XX66" << true << "" << 1 << 0 << QVector<int>{0, 102};
    // A 16-bit count from the device never walks past the module table.
    QTest::newRow("huge count") << "CMV1,1,FF,FFFF,66" << true << "" << 1 << 255
                                << QVector<int>{};
}

void TestStatusLogic::moduleVersions()
{
    QFETCH(QString, line);
    QFETCH(QVector<int>, versions);
    const ModuleVersions m = parseModuleVersions(line);
    QTEST(m.ok, "ok");
    QTEST(m.debugText, "debug");
    if (!m.ok)
        return;
    QTEST(m.string, "string");
    QTEST(m.firstPosition, "first");
    if (QByteArray(QTest::currentDataTag()) == "huge count") {
        QCOMPARE(m.versions.size(), kCellModulePositions - 255);
        QCOMPARE(m.versions.at(0), 0x66);
        return;
    }
    QCOMPARE(m.versions, versions);
}

void TestStatusLogic::wireBreaks_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<bool>("clear");
    QTest::addColumn<QString>("debug");
    QTest::addColumn<int>("string");
    QTest::addColumn<int>("firstWord");
    QTest::addColumn<QVector<uint32_t>>("words");
    QTest::newRow("clear") << "BW1,,,,,," << true << true << "" << 0 << 0 << QVector<uint32_t>{};
    QTest::newRow("word 2") << "BW1,1,40,0,8" << true << false << "" << 1 << 2 << QVector<uint32_t>{8};
    QTest::newRow("two words") << "BW1,0,0,0,1,80000000" << true << false << "" << 0 << 0
                               << QVector<uint32_t>{1, 0x80000000u};
    // Fewer than four fields: only the debug text, no field is read.
    QTest::newRow("short") << "BW1,1" << false << false << "Fields in BW1 2" << 0 << 0 << QVector<uint32_t>{};
    QTest::newRow("name only") << "BW1" << false << false << "Fields in BW1 1" << 0 << 0 << QVector<uint32_t>{};
    QTest::newRow("no words") << "BW1,1,0,0" << true << false << "" << 1 << 0 << QVector<uint32_t>{};
    // Words beyond the table are never handed on.
    QTest::newRow("past the table") << "BW1,1,E0,0,1,2,3" << true << false << "" << 1 << 7 << QVector<uint32_t>{1};
    QTest::newRow("first cell FFFF") << "BW1,1,FFFF,0,1" << true << false << "" << 1 << 255 << QVector<uint32_t>{};
}

void TestStatusLogic::wireBreaks()
{
    QFETCH(QString, line);
    const WireBreaks w = parseWireBreaks(line);
    QTEST(w.ok, "ok");
    QTEST(w.clearAll, "clear");
    QTEST(w.debugText, "debug");
    QTEST(w.string, "string");
    QTEST(w.firstWord, "firstWord");
    QTEST(w.words, "words");
}

void TestStatusLogic::masterSlaveTexts_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    QTest::newRow("serial 1F4") << msDecimalText(0x1F4) << "500";
    QTest::newRow("can id a0") << msCanIdText(0xa0) << "0xA0";
    QTest::newRow("master") << msRoleText(1) << "Master";
    QTest::newRow("slave") << msRoleText(2) << "Slave";
    QTest::newRow("contactor on") << msContactorText(1) << "On";
    QTest::newRow("contactor off") << msContactorText(3) << "Off";
    QTest::newRow("total") << msVoltageText(4321) << "43.21 V";
    QTest::newRow("temp 125") << msTemperatureText(125) << QString::fromUtf8("25\u00b0C");
    QTest::newRow("temp 1") << msTemperatureText(1) << QString::fromUtf8("-99\u00b0C");
    QTest::newRow("temp 0") << msTemperatureText(0) << "Invalid";
    QTest::newRow("temp 255") << msTemperatureText(255) << "Invalid";
    QTest::newRow("bal 255") << msBalancingRateText(255) << "100 %";
    QTest::newRow("bal 128") << msBalancingRateText(128) << "50 %";
    QTest::newRow("cell 150") << msCellVoltageText(150, 2.0) << "3.50 V";
    QTest::newRow("cell 150 SCiB") << msCellVoltageText(150, 1.0) << "2.50 V";
    QTest::newRow("cell 0") << msCellVoltageText(0, 2.0) << "0.00 V";
    QTest::newRow("current 25") << msCurrentText(25) << "0.25 A";
    QTest::newRow("current 150") << msCurrentText(150) << "1.5 A";
    QTest::newRow("current 12345") << msCurrentText(12345) << "123 A";
}

void TestStatusLogic::masterSlaveTexts()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QCOMPARE(text, expected);
}

void TestStatusLogic::masterSlaveRows()
{
    // Short row (fields 0-6): columns 0-4 only.
    MasterSlaveRow r = decodeMasterSlaveRow("MS2,3,1,1,1F4,a0,2,1", 2.0);
    QVERIFY(r.decoded);
    QVERIFY(!r.full);
    QCOMPARE(r.count, 3);
    QCOMPARE(r.row, 1);
    QCOMPARE(r.texts, (QStringList{"500", "Master", "0xA0", "2", "On"}));
    // Fewer fields still: the missing cells read empty.
    r = decodeMasterSlaveRow("MS2,3,1,1,1F4", 2.0);
    QCOMPARE(r.texts, (QStringList{"500", "Master", "", "", ""}));

    // Full row.
    r = decodeMasterSlaveRow("MS2,2,0,2,1F4,A0,0,1,10E1,96,97,98,7D,7E,7F,FF,80,0,7D,0,FF,19,96,3039", 2.0);
    QVERIFY(r.full);
    QCOMPARE(r.texts.size(), kMasterSlaveColumns);
    QCOMPARE(r.texts.at(1), QStringLiteral("Slave"));
    QCOMPARE(r.texts.at(4), QStringLiteral("On"));
    QCOMPARE(r.texts.at(5), QStringLiteral("43.21 V"));
    QCOMPARE(r.texts.at(6), QStringLiteral("3.50 V"));
    QCOMPARE(r.texts.at(9), QString::fromUtf8("25\u00b0C"));
    QCOMPARE(r.texts.at(12), QStringLiteral("100 %"));
    QCOMPARE(r.texts.at(13), QStringLiteral("50 %"));
    QCOMPARE(r.texts.at(16), QStringLiteral("Invalid"));
    QCOMPARE(r.texts.at(17), QStringLiteral("Invalid"));
    QCOMPARE(r.texts.at(18), QStringLiteral("0.25 A"));
    QCOMPARE(r.texts.at(20), QStringLiteral("123 A"));

    // A full row cut short: missing fields read empty, bad ones as 0.
    r = decodeMasterSlaveRow("MS2,1,0,zz,1,1,1,1,64", 2.0);
    QVERIFY(r.full);
    QCOMPARE(r.texts.at(1), QStringLiteral("Slave"));
    QCOMPARE(r.texts.at(5), QStringLiteral("1.00 V"));
    QCOMPARE(r.texts.at(6), QString());

    // Field 0 of 40 shows all 32 rows; a row outside the table is not written.
    r = decodeMasterSlaveRow("MS2,28,20,1,1,1,1,1", 2.0);
    QCOMPARE(r.count, 32);
    QCOMPARE(r.row, -1);
    r = decodeMasterSlaveRow("MS2,0,1F,1", 2.0);
    QCOMPARE(r.row, 31);
    QCOMPARE(r.count, 0);

    // A single comma is not decoded.
    QVERIFY(!decodeMasterSlaveRow("MS2,3", 2.0).decoded);
}

void TestStatusLogic::networkFrame_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<bool>("used");
    QTest::addColumn<QString>("serial");
    QTest::addColumn<QString>("state");
    QTest::addColumn<QString>("role");
    QTest::newRow("kind 1") << "CN1,19B4FFFF,1,0,8,0140E20100000100" << true << "123456" << "Network OK"
                            << "BMS master";
    QTest::newRow("states 3 and 2") << "CN1,19B4FFFF,1,0,8,01FFFFFFFF030200" << true << "4294967295"
                                    << "Internal & common bus fail" << "BMS Config err";
    QTest::newRow("state and role out of range") << "CN1,19B4FFFF,1,0,8,0101000000040400" << true << "1" << QString()
                                                 << QString();
    QTest::newRow("kind 2") << "CN1,19B4FFFF,1,0,8,0240E20100000100" << false << "" << "" << "";
    QTest::newRow("length 7") << "CN1,19B4FFFF,1,0,7,0140E20100000100" << false << "" << "" << "";
    QTest::newRow("too few fields") << "CN1,19B4FFFF,1,0,8" << false << "" << "" << "";
    QTest::newRow("short data") << "CN1,19B4FFFF,1,0,8,0102" << true << "2" << "Network OK" << "BMS slave";
}

void TestStatusLogic::networkFrame()
{
    QFETCH(QString, line);
    QFETCH(bool, used);
    const NetworkFrame f = decodeNetworkFrame(line);
    QCOMPARE(f.used, used);
    if (!used)
        return;
    QTEST(f.serial, "serial");
    QFETCH(QString, state);
    QFETCH(QString, role);
    QCOMPARE(f.state.isNull(), state.isNull());
    QCOMPARE(f.state, state);
    QCOMPARE(f.role.isNull(), role.isNull());
    QCOMPARE(f.role, role);
}

QTEST_APPLESS_MAIN(TestStatusLogic)
#include "tst_statuslogic.moc"
