// Labels registered on a root sentence map, in a small offscreen window, show
// the control unit's values after its lines arrive through the real serial
// transport from the emulator on a pty.

#include "SimLink.h"
#include "ControlUnitSim.h"
#include "Param.h"
#include "PortList.h"
#include "SentenceMaps.h"
#include "Y5ProtocolHandler.h"

#include <QFormLayout>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <memory>
#include <vector>

namespace {

// A status window: caption and value label per row, each value a Param on
// the root map.
struct StatusWindow
{
    QWidget window;
    QFormLayout* form = new QFormLayout(&window);
    CSntcMap root;
    std::vector<std::unique_ptr<Param>> params;

    QLabel* add(const QString& caption, const QString& sentence, int field, int type, int offset, double scale,
                int decimals, const QString& unit)
    {
        auto* label = new QLabel;
        label->setEnabled(false);
        form->addRow(caption, label);
        auto p = std::make_unique<Param>();
        p->caption = caption;
        p->sentenceName = sentence;
        p->fieldIndex = field;
        p->valueType = type;
        p->offset = offset;
        p->scale = scale;
        p->decimals = decimals;
        p->unit = unit;
        p->widget = label;
        p->widgetKind = ParamWidgetKind::Label;
        root.addHandler(sentence, field, p.get());
        params.push_back(std::move(p));
        return label;
    }
};

} // namespace

class TestStatusWindowOverLink : public QObject
{
    Q_OBJECT
private slots:
    void labelsShowTheUnitsValues();
};

void TestStatusWindowOverLink::labelsShowTheUnitsValues()
{
    g_distanceUnit = "km";
    StatusWindow w;
    QLabel* voltage = w.add("Voltage", "ST1", 0, ParamValueType::UnsignedScaled, 0, 0.01, 2, " V");
    QLabel* current = w.add("Current", "ST1", 1, ParamValueType::SignedScaled, 0, 0.1, 1, " A");
    QLabel* flags = w.add("Flags", "ST1", 5, ParamValueType::HexFlags, 0, 1.0, 0, "");
    w.params.back()->bitNames = {{0, "Charging"}, {3, "Balancing"}, {16, "Heater"}};
    w.params.back()->noFlagText = "None";
    QLabel* range = w.add("Range", "ST1", 2, ParamValueType::UnsignedScaled, 0, 1.0, 0, " [DU]");
    QLabel* uptime = w.add("Up time", "CV1", 1, ParamValueType::Duration, 0, 1.0, 0, "");
    QLabel* gain = w.add("Gain", "CV1", 0, ParamValueType::Float, 0, 1.0, 4, "");

    SimLink link;
    // The unit answers the status queries the poller sends.
    link.sim.setHandler("ST1", [](ControlUnitSim& sim, const ControlUnitSim::Sentence& s) {
        if (s.fields == QStringList{"?"})
            sim.reply("ST1,14B4,FF9C,012C,0,0,0009,0,0,0001");
    });
    link.sim.setHandler("CV1", [](ControlUnitSim& sim, const ControlUnitSim::Sentence& s) {
        if (s.fields == QStringList{"?"})
            sim.reply("CV1,3FC00000,E10");
    });

    // The received-sentence pump: the GUI thread takes every queued line to
    // the root map.
    QObject::connect(link.comm, &CommunicatorBase::sigReceivedSentence, &w.window, [&] {
        QString line;
        while (link.handler.getSentence(line))
            w.root.dispatch(line);
    }, Qt::QueuedConnection);

    w.window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w.window));
    QVERIFY(link.start());
    QTRY_VERIFY_WITH_TIMEOUT(link.comm->linked, 5000);
    QVERIFY(!voltage->isEnabled());

    // One poll pass over the map's names.
    QStringList names = w.root.sentenceNames();
    names.sort();
    QCOMPARE(names, (QStringList{"CV1", "ST1"}));
    for (const QString& name : names)
        link.handler.sendSentence(name + ",", "?");

    QTRY_COMPARE_WITH_TIMEOUT(voltage->text(), QString("53.00 V"), 5000);
    QTRY_COMPARE_WITH_TIMEOUT(gain->text(), QString("1.5"), 5000);
    QCOMPARE(current->text(), QString("-10.0 A"));
    QCOMPARE(flags->text(), QString("Charging,\nBalancing,\nHeater"));
    QCOMPARE(range->text(), QString("300 km"));
    QCOMPARE(uptime->text(), QString("001:00:00"));
    QVERIFY(voltage->isEnabled() && uptime->isEnabled());

    // A line spoiled on the way is dropped by the link and changes nothing;
    // the good line sent after it shows that it has been handled.
    link.sim.corruptNextReplies(1);
    link.sim.reply("ST1,0001,0,0,0,0,0,0,0,0");
    link.sim.reply("CV1,40000000,E11");
    QTRY_COMPARE_WITH_TIMEOUT(gain->text(), QString("2"), 5000);
    QCOMPARE(uptime->text(), QString("001:00:01"));
    QCOMPARE(voltage->text(), QString("53.00 V"));
    QCOMPARE(flags->text(), QString("Charging,\nBalancing,\nHeater"));

    link.sim.reply("ST1,1388,0064,0,0,0,0,0,0,0");
    QTRY_COMPARE_WITH_TIMEOUT(voltage->text(), QString("50.00 V"), 5000);
    QCOMPARE(current->text(), QString("10.0 A"));
    QCOMPARE(flags->text(), QString("None"));
    g_distanceUnit.clear();
}

QTEST_MAIN(TestStatusWindowOverLink)
#include "tst_statuswindow_link.moc"
