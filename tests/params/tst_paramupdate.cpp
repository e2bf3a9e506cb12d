#include "CellStringLayout.h"
#include "Param.h"
#include "SentenceMaps.h"
#include "TestSinks.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSpinBox>
#include <QTest>

#include <climits>
#include <memory>

namespace {

using VT = ParamValueType::Code;
using WK = ParamWidgetKind::Code;

// One row: a parameter, the sentence it receives and what its widget shows
// (the text of a label or edit, the value of a spin box, the index of a combo).
struct Case
{
    int type = VT::Text;
    int kind = WK::Label;
    int offset = 0;
    double scale = 1.0;
    int decimals = 0;
    QString unit;
    QString distanceUnit;
    QList<QPair<int, QString>> names;
    QList<QPair<int, QString>> bits;
    QString noFlag;
    int field = 0;
    bool pinAssigned = true;

    Case& t(int v) { type = v; return *this; }
    Case& k(int v) { kind = v; return *this; }
    Case& off(int v) { offset = v; return *this; }
    Case& sc(double v, int d) { scale = v; decimals = d; return *this; }
    Case& dec(int d) { decimals = d; return *this; }
    Case& u(const QString& v) { unit = v; return *this; }
    Case& du(const QString& v) { distanceUnit = v; return *this; }
    Case& name(int v, const QString& n) { names << qMakePair(v, n); return *this; }
    Case& bit(int b, const QString& n) { bits << qMakePair(b, n); return *this; }
    Case& none(const QString& v) { noFlag = v; return *this; }
    Case& f(int v) { field = v; return *this; }
    Case& unassigned() { pinAssigned = false; return *this; }
};

QWidget* makeWidget(int kind)
{
    switch (kind) {
    case WK::LineEdit:
        return new QLineEdit;
    case WK::SpinBox: {
        auto* spin = new QSpinBox;
        spin->setRange(INT_MIN, INT_MAX);
        spin->setValue(12345);
        return spin;
    }
    case WK::ComboBox: {
        auto* combo = new QComboBox;
        combo->addItems({"0", "1", "2", "3", "4"});
        combo->setCurrentIndex(4);
        return combo;
    }
    default: {
        auto* label = new QLabel;
        label->setText("untouched");
        return label;
    }
    }
}

QString shown(QWidget* w)
{
    if (auto* label = qobject_cast<QLabel*>(w))
        return label->text();
    if (auto* edit = qobject_cast<QLineEdit*>(w))
        return edit->text();
    if (auto* spin = qobject_cast<QSpinBox*>(w))
        return QString::number(spin->value());
    if (auto* combo = qobject_cast<QComboBox*>(w))
        return QString::number(combo->currentIndex());
    return QString();
}

} // namespace

Q_DECLARE_METATYPE(Case)

class TestParamUpdate : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();
    void update_data();
    void update();
    void valueNameAddedTwiceKeepsTheSecond();
    void textEditAppendsUnlessBlocked();
    void eventsAndStatisticsViews();
    void parameterWithoutWidget();
    void invalidFieldKeepsCurrentValue();
    void cells_data();
    void cells();
};

void TestParamUpdate::cleanup()
{
    g_distanceUnit.clear();
    setPinFunctionQuery(nullptr);
}

void TestParamUpdate::update_data()
{
    QTest::addColumn<Case>("param");
    QTest::addColumn<QString>("sentence");
    QTest::addColumn<QString>("expected");

    const QString V = " V";
    // Text
    QTest::newRow("text label + unit") << Case().u(V) << "X,abc" << "abc V";
    QTest::newRow("text line edit, empty field") << Case().k(WK::LineEdit).u(V) << "X," << " V";
    // Hexadecimal and decimal numbers
    QTest::newRow("hex eight F shows -1") << Case().t(VT::HexFlags).u(V) << "X,FFFFFFFF" << "-1 V";
    QTest::newRow("hex stray char") << Case().t(VT::HexFlags).u(V) << "X,12G4" << "";
    QTest::newRow("hex empty") << Case().t(VT::Hex).u(V) << "X," << "";
    QTest::newRow("hex 0x prefix") << Case().t(VT::Hex) << "X,0x1A" << "";
    QTest::newRow("hex over 32 bits") << Case().t(VT::Hex) << "X,100000000" << "";
    QTest::newRow("hex lower case") << Case().t(VT::Hex).u(V) << "X,1a" << "26 V";
    QTest::newRow("hex value name") << Case().t(VT::Hex).u(V).name(26, "Charging") << "X,1A" << "Charging";
    QTest::newRow("hex flags 0 and 3") << Case().t(VT::HexFlags).bit(3, "D").bit(0, "A").none("none")
                                       << "X,9" << "A,\nD";
    QTest::newRow("hex no named flag") << Case().t(VT::HexFlags).bit(0, "A").bit(3, "D").none("none") << "X,6"
                                       << "none";
    QTest::newRow("hex flag bit taken mod 32") << Case().t(VT::HexFlags).bit(35, "D").none("none") << "X,8"
                                               << "D";
    QTest::newRow("hex flags, invalid") << Case().t(VT::HexFlags).bit(0, "A").none("none") << "X,Q" << "";
    QTest::newRow("hex line edit ignores flags") << Case().t(VT::Hex).k(WK::LineEdit).bit(0, "A").u(V)
                                                 << "X,1" << "1 V";
    QTest::newRow("hex line edit name") << Case().t(VT::Hex).k(WK::LineEdit).name(1, "one") << "X,1" << "one";
    QTest::newRow("hex spin") << Case().t(VT::Hex).k(WK::SpinBox) << "X,1A" << "26";
    QTest::newRow("hex spin invalid") << Case().t(VT::Hex).k(WK::SpinBox) << "X,1Z" << "-1";
    QTest::newRow("hex combo") << Case().t(VT::Hex).k(WK::ComboBox) << "X,2" << "2";
    QTest::newRow("hex combo invalid") << Case().t(VT::Hex).k(WK::ComboBox) << "X," << "-1";
    QTest::newRow("hex combo past the items") << Case().t(VT::Hex).k(WK::ComboBox) << "X,9" << "-1";
    QTest::newRow("decimal") << Case().t(VT::Decimal).u(V) << "X,123" << "123 V";
    QTest::newRow("decimal rejects hex") << Case().t(VT::DecimalFlags).u(V) << "X,1A" << "";
    QTest::newRow("decimal max shows -1") << Case().t(VT::Decimal) << "X,4294967295" << "-1";
    QTest::newRow("decimal overflow") << Case().t(VT::Decimal) << "X,4294967296" << "";
    QTest::newRow("decimal sign") << Case().t(VT::Decimal) << "X,-5" << "";
    // "ST1" fields 5 and 8 form one 32-bit word
    const QString st1 = "ST1,0,0,0,0,0,1234,0,0,00AB";
    QTest::newRow("ST1 field 5 combined") << Case().t(VT::Hex).f(5) << st1 << QString::number(0x00AB1234);
    QTest::newRow("ST1 field 8 combined") << Case().t(VT::HexFlags).f(8) << st1 << QString::number(0x00AB1234);
    QTest::newRow("ST1 eight fields: field 5 alone") << Case().t(VT::Hex).f(5) << "ST1,0,0,0,0,0,1234,0,0"
                                                     << QString::number(0x1234);
    QTest::newRow("ST1 low half too wide counts 0") << Case().t(VT::Hex).f(5) << "ST1,0,0,0,0,0,12345,0,0,1"
                                                    << QString::number(0x10000);
    QTest::newRow("ST1 validity follows field 8") << Case().t(VT::Hex).f(5) << "ST1,0,0,0,0,0,1234,0,0,ZZ"
                                                  << "";
    QTest::newRow("ST1 flags over the combined word") << Case().t(VT::HexFlags).f(5).bit(0, "low").bit(16, "high")
                                                      << "ST1,0,0,0,0,0,1,0,0,1" << "low,\nhigh";
    QTest::newRow("ST1 decimal not combined") << Case().t(VT::Decimal).f(5) << "ST1,0,0,0,0,0,12,0,0,1" << "12";
    QTest::newRow("other name not combined") << Case().t(VT::Hex).f(5) << "ST2,0,0,0,0,0,1234,0,0,00AB"
                                             << QString::number(0x1234);
    // One bit
    QTest::newRow("bit set") << Case().t(VT::Bit).off(3).u(V) << "X,8" << "1 V";
    QTest::newRow("bit clear, name") << Case().t(VT::Bit).off(3).name(0, "OFF") << "X,7" << "OFF";
    QTest::newRow("bit offset mod 32") << Case().t(VT::Bit).off(35) << "X,8" << "1";
    QTest::newRow("bit invalid") << Case().t(VT::Bit).off(3) << "X,G" << "";
    QTest::newRow("bit line edit ignores names") << Case().t(VT::Bit).k(WK::LineEdit).off(0).name(1, "ON").u(V)
                                                 << "X,1" << "1 V";
    QTest::newRow("bit spin") << Case().t(VT::Bit).k(WK::SpinBox).off(1) << "X,2" << "1";
    QTest::newRow("bit combo invalid") << Case().t(VT::Bit).k(WK::ComboBox).off(1) << "X,-" << "-1";
    const Case onOff = Case().t(VT::Bit).off(4).name(0, "OFF").name(1, "ON").name(2, "Not used");
    QTest::newRow("ST1 pin function not assigned") << Case(onOff).unassigned() << "ST1,10" << "Not used";
    QTest::newRow("ST1 pin function assigned") << onOff << "ST1,10" << "ON";
    QTest::newRow("pin rule only on ST1") << Case(onOff).unassigned() << "ST2,10" << "ON";
    QTest::newRow("pin rule Inactive/Active, no name of 2")
        << Case().t(VT::Bit).off(0).name(0, "Inactive").name(1, "Active").u(V).unassigned() << "ST1,0" << "2 V";
    QTest::newRow("pin rule needs on/off names")
        << Case().t(VT::Bit).off(0).name(0, "Low").name(1, "High").unassigned() << "ST1,1" << "High";
    // Scaled numbers
    QTest::newRow("signed FF9C") << Case().t(VT::SignedScaled).sc(0.1, 1) << "X,FF9C" << "-10.0";
    QTest::newRow("signed 0064") << Case().t(VT::SignedScaled).sc(0.1, 1) << "X,0064" << "10.0";
    QTest::newRow("signed two digits 9C") << Case().t(VT::SignedScaled).sc(0.1, 1) << "X,9C" << "-10.0";
    QTest::newRow("signed 7FFE") << Case().t(VT::SignedScaled) << "X,7FFE" << "32766";
    QTest::newRow("signed FFFE") << Case().t(VT::SignedScaled) << "X,FFFE" << "-2";
    QTest::newRow("signed fifteen digits") << Case().t(VT::SignedScaled) << "X,FFFFFFFFFFFFFFF" << "-1";
    QTest::newRow("signed sixteen digits too wide") << Case().t(VT::SignedScaled) << "X,8000000000000000" << "";
    QTest::newRow("signed empty") << Case().t(VT::SignedScaled).sc(0.1, 1) << "X," << "";
    QTest::newRow("signed stray") << Case().t(VT::SignedScaled).sc(0.1, 1) << "X,FFXC" << "";
    QTest::newRow("signed name of raw") << Case().t(VT::SignedScaled).sc(0.1, 1).name(-100, "low") << "X,FF9C"
                                        << "low";
    QTest::newRow("signed line edit ignores names")
        << Case().t(VT::SignedScaled).k(WK::LineEdit).sc(0.1, 1).name(-100, "low").u(V) << "X,FF9C" << "-10.0 V";
    QTest::newRow("scale 0 shows 0") << Case().t(VT::SignedScaled).sc(0.0, 2) << "X,FF9C" << "0.00";
    QTest::newRow("offset before scale") << Case().t(VT::UnsignedScaled).off(-40).sc(0.5, 1) << "X,64" << "30.0";
    QTest::newRow("unsigned FFFF") << Case().t(VT::UnsignedScaled) << "X,FFFF" << "65535";
    QTest::newRow("unsigned spin 2.5 -> 3") << Case().t(VT::UnsignedScaled).k(WK::SpinBox).sc(0.5, 0) << "X,5"
                                            << "3";
    QTest::newRow("signed spin -2.5 -> -3") << Case().t(VT::SignedScaled).k(WK::SpinBox).sc(0.5, 0) << "X,FB"
                                            << "-3";
    QTest::newRow("scaled spin invalid") << Case().t(VT::UnsignedScaled).k(WK::SpinBox) << "X,?" << "-1";
    QTest::newRow("scaled combo") << Case().t(VT::UnsignedScaled).k(WK::ComboBox).sc(0.5, 0) << "X,3" << "2";
    QTest::newRow("scaled spin held in int") << Case().t(VT::UnsignedScaled).k(WK::SpinBox).sc(1e12, 0)
                                             << "X,FFFFFFFF" << QString::number(INT_MAX);
    // Distance unit
    QTest::newRow("[DU] replaced") << Case().t(VT::UnsignedScaled).u(" [DU]/h").du("km") << "X,A" << "10 km/h";
    QTest::newRow("only the first [DU]") << Case().t(VT::UnsignedScaled).u("[DU]-[DU]").du("mi") << "X,A"
                                         << "10mi-[DU]";
    // Duration, blank, date and time, floats
    QTest::newRow("duration 1 h") << Case().t(VT::Duration).u(V) << "X,E10" << "001:00:00";
    QTest::newRow("duration 24 h") << Case().t(VT::Duration) << "X,15180" << "024:00:00";
    QTest::newRow("duration 61 s") << Case().t(VT::Duration) << "X,3D" << "000:01:01";
    QTest::newRow("duration max") << Case().t(VT::Duration) << "X,FFFFFFFF" << "1193046:28:15";
    QTest::newRow("duration invalid") << Case().t(VT::Duration).k(WK::LineEdit) << "X,1:0" << "";
    QTest::newRow("blank") << Case().t(VT::Blank).u(V) << "X,1234" << "";
    QTest::newRow("date time, whole sentence") << Case().t(VT::DateTime).f(-1).u(V) << "X,21,3,7,12,5,9"
                                               << "21-3-7 12:5:9";
    QTest::newRow("date time, five parts") << Case().t(VT::DateTime).f(-1) << "X,21,3,7,12,5" << "";
    QTest::newRow("date time, a percent sign stays") << Case().t(VT::DateTime).f(-1) << "X,%1,%2,3,4,5,6"
                                                     << "%1-%2-3 4:5:6";
    QTest::newRow("float 1") << Case().t(VT::Float).dec(6).u(V) << "X,3F800000" << "1 V";
    QTest::newRow("float -2.5") << Case().t(VT::Float).dec(3) << "X,C0200000" << "-2.5";
    QTest::newRow("float invalid label") << Case().t(VT::Float).u(V) << "X,3F80000G" << "?";
    QTest::newRow("float invalid line edit") << Case().t(VT::Float).k(WK::LineEdit) << "X," << "?";
    QTest::newRow("double 1") << Case().t(VT::Double).dec(6).u(V) << "X,3FF0000000000000" << "1 V";
    QTest::newRow("double short field") << Case().t(VT::Double).dec(6) << "X,0" << "0";
    QTest::newRow("double seventeen digits") << Case().t(VT::Double).dec(6) << "X,3FF00000000000000" << "?";
    // Types without a display conversion only enable the widget
    QTest::newRow("type 8 untouched") << Case().t(VT::Editor8) << "X,1" << "untouched";
    QTest::newRow("type 14 untouched") << Case().t(VT::TwoChars) << "X,1" << "untouched";
    QTest::newRow("cells on a label untouched") << Case().t(VT::Cells).f(3) << "BV2,0,0,0,0A" << "untouched";
}

void TestParamUpdate::update()
{
    QFETCH(Case, param);
    QFETCH(QString, sentence);
    QFETCH(QString, expected);

    g_distanceUnit = param.distanceUnit;
    const bool assigned = param.pinAssigned;
    int askedFor = -1;
    setPinFunctionQuery([&](int function) {
        askedFor = function;
        return assigned;
    });

    std::unique_ptr<QWidget> widget(makeWidget(param.kind));
    widget->setEnabled(false);
    Param p;
    p.valueType = param.type;
    p.widgetKind = param.kind;
    p.widget = widget.get();
    p.offset = param.offset;
    p.scale = param.scale;
    p.decimals = param.decimals;
    p.unit = param.unit;
    p.noFlagText = param.noFlag;
    for (const auto& n : param.names)
        p.addValueName(n.first, n.second);
    for (const auto& b : param.bits)
        p.bitNames.insert(b.first, b.second);

    CSntcMap map;
    map.addHandler(sentence.section(',', 0, 0), param.field, &p);
    map.dispatch(sentence);

    QCOMPARE(shown(widget.get()), expected);
    QVERIFY(widget->isEnabled());
    if (expected == "Not used")
        QCOMPARE(askedFor, param.offset);
}

void TestParamUpdate::valueNameAddedTwiceKeepsTheSecond()
{
    QLabel label;
    Param p;
    p.valueType = VT::Hex;
    p.widget = &label;
    p.addValueName(1, "first");
    p.addValueName(1, "second");
    QCOMPARE(p.valueNames.size(), 1);
    p.updateValue("X", 0, "1", {"X", "1"});
    QCOMPARE(label.text(), QString("second"));
    p.updateValue("X", 0, "2", {"X", "2"});
    QCOMPARE(p.valueNames.size(), 1); // a lookup adds nothing
}

void TestParamUpdate::textEditAppendsUnlessBlocked()
{
    QPlainTextEdit edit;
    edit.setEnabled(false);
    Param p;
    p.valueType = VT::Text;
    p.widgetKind = WK::TextEdit;
    p.widget = &edit;
    p.unit = " V"; // not appended to text-edit lines
    p.updateValue("DG1", -1, "first", {"DG1", "first"});
    p.updateValue("DG1", -1, "second", {"DG1", "second"});
    QVERIFY(edit.isEnabled());
    const QString text = edit.toPlainText();
    QVERIFY2(text.indexOf("first") >= 0 && text.indexOf("first") < text.indexOf("second"), qPrintable(text));
    QVERIFY(!text.contains(" V"));
    QCOMPARE(edit.textCursor().position(), edit.document()->characterCount() - 1);

    edit.setProperty("blocked", true);
    edit.setEnabled(false);
    p.updateValue("DG1", -1, "third", {"DG1", "third"});
    QCOMPARE(edit.toPlainText(), text);
    QVERIFY(edit.isEnabled());
}

void TestParamUpdate::eventsAndStatisticsViews()
{
    FakeEventsView events;
    FakeStatisticsView statistics;
    QLabel notAView;
    Param e, s, wrong;
    e.widgetKind = WK::EventsView;
    e.widget = &events;
    s.widgetKind = WK::StatisticsView;
    s.widget = &statistics;
    wrong.widgetKind = WK::EventsView; // a widget that is no events view is left alone
    wrong.widget = &notAView;
    CSntcMap map;
    map.addHandler("LG1", -1, &e);
    map.addHandler("LG1", -1, &wrong);
    map.addHandler("SS1", -1, &s);
    map.dispatch("LG1,3,0001,5F00A0B1,,7");
    map.dispatch("SS1,2,00FF");
    map.dispatch("SS1");
    QCOMPARE(events.replies, (QStringList{"3,0001,5F00A0B1,,7"}));
    QCOMPARE(statistics.replies, (QStringList{"2,00FF", ""}));
    QVERIFY(notAView.isEnabled());
}

void TestParamUpdate::parameterWithoutWidget()
{
    Param p;
    p.valueType = VT::SignedScaled;
    p.scale = 1.0;
    p.updateValue("X", 0, "FF", {"X", "FF"}); // writes "NullWidget", nothing else
    QCOMPARE(p.currentValue, 0.0);
}

void TestParamUpdate::invalidFieldKeepsCurrentValue()
{
    QLabel label;
    Param p;
    p.valueType = VT::UnsignedScaled;
    p.scale = 2.0;
    p.widget = &label;
    p.updateValue("X", 0, "5", {"X", "5"});
    QCOMPARE(p.currentValue, 10.0);
    p.updateValue("X", 0, "zz", {"X", "zz"});
    QCOMPARE(p.currentValue, 10.0);
    QCOMPARE(label.text(), QString());
}

void TestParamUpdate::cells_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("offset");
    QTest::addColumn<double>("scale");
    QTest::addColumn<QString>("sentence");
    QTest::addColumn<QStringList>("calls");
    QTest::addColumn<bool>("wireBreakCleared");

    // Layout: two strings of four cells.
    const int plain = WK::CellsGraph, grouped = WK::GroupedCellsGraph;
    QTest::newRow("BV2 FF invalid") << plain << 0 << 1.0 << "BV2,0,0,0,0A0BFF"
                                    << QStringList{"add 0 0 10", "add 0 1 11", "inv 0 2", "repaint"} << false;
    QTest::newRow("offset and scale") << plain << -40 << 0.5 << "BT2,0,0,0,50"
                                      << QStringList{"add 0 0 20", "repaint"} << false;
    QTest::newRow("second string: pack-wide first cell") << plain << 0 << 1.0 << "BV2,1,4,0,0102"
                                                         << QStringList{"add 1 0 1", "add 1 1 2", "repaint"} << false;
    QTest::newRow("BB2 FF is a value") << plain << 0 << 1.0 << "BB2,0,0,0,FFZZ"
                                       << QStringList{"add 0 0 255", "inv 0 1", "repaint"} << false;
    QTest::newRow("BT2 00 is a value") << plain << 0 << 1.0 << "BT2,0,0,0,00FF"
                                       << QStringList{"add 0 0 0", "inv 0 1", "repaint"} << false;
    QTest::newRow("BV2 bad cell chars") << plain << 0 << 1.0 << "BV2,0,0,0,0G" << QStringList{"inv 0 0", "repaint"}
                                        << false;
    QTest::newRow("odd length: last digit dropped") << plain << 0 << 1.0 << "BV2,0,0,0,0A0"
                                                    << QStringList{"add 0 0 10", "repaint"} << false;
    QTest::newRow("BV2 field 2 not hex: wire breaks cleared, reset")
        << plain << 0 << 1.0 << "BV2,0,0,ZZ,0A0B" << QStringList{"reset"} << true;
    QTest::newRow("BT2 field 2 empty: reset only") << plain << 0 << 1.0 << "BT2,0,0,,0A"
                                                   << QStringList{"reset"} << false;
    QTest::newRow("field 2 signed is fine") << plain << 0 << 1.0 << "BV2,0,0,-1,0A"
                                            << QStringList{"add 0 0 10", "repaint"} << false;
    QTest::newRow("string beyond the count ignored") << plain << 0 << 1.0 << "BV2,2,8,0,0A0B"
                                                     << QStringList{"repaint"} << false;
    QTest::newRow("huge string ignored") << plain << 0 << 1.0 << "BV2,FFFFFFFF,0,0,0A"
                                         << QStringList{"repaint"} << false;
    QTest::newRow("negative cells ignored") << plain << 0 << 1.0 << "BV2,1,0,0,0A0B0C0D0E"
                                            << QStringList{"add 1 0 14", "repaint"} << false;
    QTest::newRow("cells past the string ignored") << plain << 0 << 1.0 << "BV2,0,3,0,0A0B"
                                                   << QStringList{"add 0 3 10", "repaint"} << false;
    QTest::newRow("huge first cell ignored") << plain << 0 << 1.0 << "BV2,0,FFFFFFFF,0,0A"
                                             << QStringList{"repaint"} << false;
    QTest::newRow("bad string field: cells of string 0 invalid") << plain << 0 << 1.0 << "BV2,ZZ,0,0,0A"
                                                                 << QStringList{"inv 0 0", "repaint"} << false;
    QTest::newRow("not a cell sentence") << plain << 0 << 1.0 << "XY2,0,0,0,0A" << QStringList{} << false;
    QTest::newRow("grouped BT2: 00 and FF invalid") << grouped << 0 << 1.0 << "BT2,0,0,0,00FF19"
                                                    << QStringList{"inv 0 0 0", "inv 0 1 0", "add 0 2 0 25", "repaint"}
                                                    << false;
    QTest::newRow("grouped BT4 at index 1") << grouped << 0 << 1.0 << "BT4,1,5,0,19"
                                            << QStringList{"add 1 1 1 25", "repaint"} << false;
    QTest::newRow("grouped BB2 stores every byte") << grouped << 0 << 1.0 << "BB2,0,0,0,00FFZZ"
                                                   << QStringList{"add 0 0 0 0", "add 0 1 0 255", "inv 0 2 0",
                                                                  "repaint"}
                                                   << false;
    QTest::newRow("grouped BB4 at index 1") << grouped << 0 << 1.0 << "BB4,0,0,0,10"
                                            << QStringList{"add 0 0 1 16", "repaint"} << false;
    QTest::newRow("grouped BV4 FF invalid") << grouped << 0 << 1.0 << "BV4,0,0,0,0AFF"
                                            << QStringList{"add 0 0 0 10", "inv 0 1 0", "repaint"} << false;
    QTest::newRow("grouped BV4 field 2 bad: reset") << grouped << 0 << 1.0 << "BV4,0,0,X,0A"
                                                    << QStringList{"reset"} << false;
    QTest::newRow("grouped BV2 field 2 bad: wire breaks cleared") << grouped << 0 << 1.0 << "BV2,0,0,X,0A"
                                                                  << QStringList{"reset"} << true;
    QTest::newRow("grouped out of range ignored") << grouped << 0 << 1.0 << "BT2,3,0,0,19"
                                                  << QStringList{"repaint"} << false;
}

void TestParamUpdate::cells()
{
    QFETCH(int, kind);
    QFETCH(int, offset);
    QFETCH(double, scale);
    QFETCH(QString, sentence);
    QFETCH(QStringList, calls);
    QFETCH(bool, wireBreakCleared);

    resetCellLayoutForGraph();
    setCellStringCount(2);
    setCellsInString(0, 4);
    setCellsInString(1, 4);
    setWireBreakWord(0, 0, 0x5);

    FakeCellGraph plain;
    FakeGroupedGraph grouped;
    QWidget* widget = kind == ParamWidgetKind::CellsGraph ? static_cast<QWidget*>(&plain) : &grouped;
    const QStringList& recorded = kind == ParamWidgetKind::CellsGraph ? plain.calls : grouped.calls;
    Param p;
    p.valueType = ParamValueType::Cells;
    p.widgetKind = kind;
    p.widget = widget;
    p.offset = offset;
    p.scale = scale;
    CSntcMap map;
    map.addHandler(sentence.section(',', 0, 0), 3, &p);
    map.dispatch(sentence);

    QCOMPARE(recorded, calls);
    QCOMPARE(wireBreakWord(0, 0) == 0, wireBreakCleared);
}

QTEST_MAIN(TestParamUpdate)
#include "tst_paramupdate.moc"
