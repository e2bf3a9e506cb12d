// The limit tabs' editors over the real transport and the control-unit
// emulator: flags of the three words and numbers of the three widths are
// read, committed and echoed with the widths the unit expects.
#include "ConfigPage.h"
#include "ConfigParam.h"
#include "FeatureSupportTable.h"
#include "SentenceMaps.h"
#include "SimLink.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QTest>

#include <memory>

namespace {

struct Bench
{
    SimLink link;
    CSntcMap map;
    FeatureSupportTable features;
    std::unique_ptr<ConfigPage> page;

    bool start()
    {
        link.sim.setParam(0x1600, 0x00000001);
        link.sim.setParam(0x1604, 0x80000000);
        link.sim.setParam(0x1608, 0x00000000);
        link.sim.setParam(0x0004, 100);   // byte: 3.00 V
        link.sim.setParam(0x1911, 5000);  // 16-bit: 500.0 A
        link.sim.setParam(0x0267, 40000); // 32-bit: 400.00 V
        if (!link.start() || !link.waitLinked())
            return false;
        page.reset(new ConfigPage(&map, link.comm, nullptr, &features));
        page->setProtocolHandler(&link.handler);
        page->accessLevel = 2;
        QObject::connect(link.comm, &CommunicatorBase::sigReceivedSentence, page.get(), [this] {
            QString line;
            while (link.handler.getSentence(line))
                page->processSentence(line);
        }, Qt::QueuedConnection);
        return true;
    }
    ConfigParam* param(const QString& group, const QString& name) const
    {
        for (ConfigParam* p : page->configParams()) {
            if (p->name != name || !p->widget)
                continue;
            for (QWidget* w = p->widget; w; w = w->parentWidget())
                if (auto* box = qobject_cast<QGroupBox*>(w))
                    if (box->title() == group)
                        return p;
        }
        return nullptr;
    }
    bool read(int id)
    {
        link.handler.sendParamRequest(quint16(id));
        QElapsedTimer t;
        t.start();
        while (!page->paramSlot(id)->valid && t.elapsed() < 10000)
            QTest::qWait(10);
        return page->paramSlot(id)->valid;
    }
    void commit(ConfigParam* p)
    {
        p->editState = ConfigPage::Edited;
        page->commitEditedParams(nullptr, nullptr);
    }
};

const QString kProtections = QStringLiteral("Protection / Fault Settings");

} // namespace

class TestTabLimitsLink : public QObject
{
    Q_OBJECT
private slots:
    void flagsAndLimitsRoundTrip();
};

void TestTabLimitsLink::flagsAndLimitsRoundTrip()
{
    Bench b;
    QVERIFY(b.start());
    for (int id : {0x1600, 0x1604, 0x1608, 0x0004, 0x1911, 0x0267})
        QVERIFY(b.read(id));

    ConfigParam* overVoltage = b.param(kProtections, "BF1 Over Voltage Cutoff");
    ConfigParam* underVoltage = b.param(kProtections, "BF2 Under Voltage Cutoff");
    ConfigParam* acPresence = b.param(kProtections, "AC Presence Cutoff");
    ConfigParam* chargerConnected = b.param(kProtections, "Charger Connected cutoff");
    ConfigParam* extSensor = b.param(kProtections, "BF64 External Temperature Sensor loss Cutoff");
    ConfigParam* moduleUnderHeat = b.param("Warning", "BF55 Low Cell Module Temperature Warning");
    QVERIFY(overVoltage && underVoltage && acPresence && chargerConnected && extSensor && moduleUnderHeat);
    auto box = [](ConfigParam* p) { return static_cast<QCheckBox*>(p->widget); };
    QVERIFY(box(overVoltage)->isChecked());
    QVERIFY(!box(underVoltage)->isChecked());
    QVERIFY(box(extSensor)->isChecked());

    box(underVoltage)->setChecked(true);
    b.commit(underVoltage);
    QTRY_COMPARE_WITH_TIMEOUT(b.link.sim.param(0x1600), 0x3u, 10000);
    box(acPresence)->setChecked(true);
    b.commit(acPresence);
    QTRY_COMPARE_WITH_TIMEOUT(b.link.sim.param(0x1604), 0x80000010u, 10000);
    // The unit's echo shows on the other box of the same bit.
    QTRY_VERIFY_WITH_TIMEOUT(box(chargerConnected)->isChecked(), 10000);
    box(moduleUnderHeat)->setChecked(true);
    b.commit(moduleUnderHeat);
    QTRY_COMPARE_WITH_TIMEOUT(b.link.sim.param(0x1608), 0x1u, 10000);

    auto edit = [](ConfigParam* p) { return static_cast<QLineEdit*>(p->widget); };
    ConfigParam* cell = b.param(kProtections, "Minimum Allowed Cell Voltage");
    ConfigParam* current = b.param(kProtections, "Discharge Current Limit");
    ConfigParam* pack = b.param(kProtections, "Pack under-voltage protection activation threshold");
    QCOMPARE(edit(cell)->text(), QString("3.00"));
    QCOMPARE(edit(current)->text(), QString("500.0"));
    QCOMPARE(edit(pack)->text(), QString("400.00"));
    edit(cell)->setText("2.75");
    b.commit(cell);
    edit(current)->setText("1234.5");
    b.commit(current);
    edit(pack)->setText("650.25");
    b.commit(pack);
    QTRY_COMPARE_WITH_TIMEOUT(b.link.sim.param(0x0004), 75u, 10000);
    QTRY_COMPARE_WITH_TIMEOUT(b.link.sim.param(0x1911), 12345u, 10000);
    QTRY_COMPARE_WITH_TIMEOUT(b.link.sim.param(0x0267), 65025u, 10000);
    QTRY_COMPARE_WITH_TIMEOUT(pack->editState, int(ConfigPage::Shown), 10000);
    QCOMPARE(b.link.sim.rejectedParamWrites(), 0);
}

QTEST_MAIN(TestTabLimitsLink)
#include "tst_tab_limits_link.moc"
