// The tabs' writes through the real transport and protocol handler into the
// control-unit emulator's parameter store: a pin's inversion keeps its
// function, and the Parallel topology writes the units' string numbers as
// one-byte words. In the main window: a CAN Splitter set-up that cannot start.
#include "ConfigUnitRig.h"

#include "ConfigPage.h"
#include "ConfigParam.h"
#include "FeatureSupportTable.h"
#include "HeldBox.h"
#include "SentenceMaps.h"
#include "SimLink.h"
#include "myTabWidget.h"

#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QListWidget>
#include <QRadioButton>
#include <QTest>

#include <memory>

namespace {

// Firmware features as a unit's bitmap reports them.
struct Bitmap : FeatureBitmapSource
{
    QList<quint32> words{0u, 0u, 0u, 0u, 0u, 0u, 0u, 0u};
    explicit Bitmap(std::initializer_list<int> features)
    {
        for (int f : features)
            words[f / 32] |= 1u << (f % 32);
    }
    bool isFeatureBitmapValid() const override { return true; }
    bool featureBitmapWord(int index, uint32_t* word) const override
    {
        if (index < 0 || index >= words.size())
            return false;
        *word = words.at(index);
        return true;
    }
};

// A configuration page on the emulator's link, its received sentences
// handled as the window hands them over, editing allowed.
struct LinkedPage
{
    SimLink link;
    CSntcMap map;
    std::unique_ptr<ConfigPage> page;

    bool start(FeatureSupportTable* features)
    {
        if (!link.start() || !link.waitLinked())
            return false;
        page.reset(new ConfigPage(&map, link.comm, nullptr, features));
        page->setProtocolHandler(&link.handler);
        page->accessLevel = 2;
        QObject::connect(link.comm, &CommunicatorBase::sigReceivedSentence, page.get(), [this] {
            QString line;
            while (link.handler.getSentence(line))
                page->processSentence(line);
        }, Qt::QueuedConnection);
        return true;
    }
    // Asks the unit for each id and waits for its value on the page.
    bool read(const QList<int>& ids)
    {
        for (int id : ids) {
            link.handler.sendParamRequest(quint16(id));
            QElapsedTimer t;
            t.start();
            while (!page->paramSlot(id)->valid && t.elapsed() < 20000)
                QTest::qWait(10);
            if (!page->paramSlot(id)->valid)
                return false;
        }
        return true;
    }
};

} // namespace

class TestTabMasterSlaveLink : public QObject
{
    Q_OBJECT
private slots:
    void writesReachTheUnit();
    void pinsHoldingAFunctionTheirListLacks();
    void splitterSetUpThatCannotStart();
};

void TestTabMasterSlaveLink::writesReachTheUnit()
{
    LinkedPage linked;
    SimLink& link = linked.link;
    FeatureSupportTable features;
    link.sim.setParam(0x0800, 0x02);
    link.sim.setParam(0x1C05, 4);
    for (int i = 0; i < 32; ++i)
        link.sim.setParam(quint16(0x1C86 + i), 0);
    QVERIFY(linked.start(&features));
    ConfigPage* page = linked.page.get();

    QList<int> ids{0x0800, 0x1C05};
    for (int i = 0; i < 32; ++i)
        ids << 0x1C86 + i;
    QVERIFY(linked.read(ids));
    page->configurationLoaded = true;

    ConfigParam* inversion = page->paramSlot(0x0800)->params.at(1);
    static_cast<QCheckBox*>(inversion->widget)->setChecked(true);
    inversion->editState = ConfigPage::Edited;
    page->commitEditedParams(nullptr, nullptr);
    QTRY_COMPARE_WITH_TIMEOUT(link.sim.param(0x0800), 0x82u, 10000);

    page->parallelRadio->setEnabled(true);
    page->parallelRadio->click();
    QTRY_COMPARE_WITH_TIMEOUT(link.sim.param(0x1CA5), 31u, 10000);
    for (int i = 0; i < 32; ++i)
        QCOMPARE(link.sim.param(quint16(0x1C86 + i)), quint32(i));
    QCOMPARE(link.sim.rejectedParamWrites(), 0);
    // The unit's echoes leave the topology as it was chosen.
    QTRY_COMPARE_WITH_TIMEOUT(page->paramValue(0x1CA5), 31u, 10000);
    page->updateMasterSlaveTopology();
    QVERIFY(page->parallelRadio->isChecked());
}

// CHARGER holds the Eltek rectifier limit (PF25); the unit's charger type
// turns from Eltek (8) to none (0), which takes PF25 off the output lists.
// CHARGER then shows no function, and a function picked on HEATER leaves
// CHARGER's on the unit. The Eltek type brings PF25 back on CHARGER.
void TestTabMasterSlaveLink::pinsHoldingAFunctionTheirListLacks()
{
    LinkedPage linked;
    SimLink& link = linked.link;
    Bitmap bitmap{14, 26}; // editing at level 2, the charger type; not 17: one pin per function
    FeatureSupportTable features(&bitmap);
    link.sim.setParam(0x1800, 8);
    link.sim.setParam(0x0807, 25);
    link.sim.setParam(0x0809, 5);
    QVERIFY(linked.start(&features));
    ConfigPage* page = linked.page.get();
    QVERIFY(linked.read({0x1800, 0x0807, 0x0809}));
    page->configurationLoaded = true;
    auto* charger = static_cast<QComboBox*>(page->paramSlot(0x0807)->params.at(0)->widget);
    auto* heater = static_cast<QComboBox*>(page->paramSlot(0x0809)->params.at(0)->widget);
    QCOMPARE(charger->currentData().toInt(), 25);

    link.sim.setParam(0x1800, 0);
    link.handler.sendParamRequest(0x1800);
    QTRY_COMPARE_WITH_TIMEOUT(charger->findData(25), -1, 20000);
    QCOMPARE(charger->currentIndex(), -1);

    // PF26 stood next to PF25 in CHARGER's list.
    heater->setCurrentIndex(heater->findData(26));
    page->paramSlot(0x0809)->params.at(0)->editState = ConfigPage::Edited;
    page->commitEditedParams(nullptr, nullptr);
    QTRY_COMPARE_WITH_TIMEOUT(link.sim.param(0x0809), 26u, 20000);
    QCOMPARE(link.sim.param(0x0807), 25u);
    QCOMPARE(page->paramSlot(0x0807)->currentValue(), 25u);

    link.sim.setParam(0x1800, 8);
    link.handler.sendParamRequest(0x1800);
    QTRY_COMPARE_WITH_TIMEOUT(charger->currentData().toInt(), 25, 20000);

    // AC SENSE holds the speed sensor (PF1), which its list lacks: picked on
    // SPEED, PF1 leaves AC SENSE, one pin per input function.
    link.sim.setParam(0x0804, 0x01);
    link.sim.setParam(0x080D, 0x25);
    QVERIFY(linked.read({0x0804, 0x080D}));
    auto* acSense = static_cast<QComboBox*>(page->paramSlot(0x0804)->params.at(0)->widget);
    auto* speed = static_cast<QComboBox*>(page->paramSlot(0x080D)->params.at(0)->widget);
    QCOMPARE(acSense->currentIndex(), -1);
    speed->setCurrentIndex(speed->findData(1));
    page->paramSlot(0x080D)->params.at(0)->editState = ConfigPage::Edited;
    page->commitEditedParams(nullptr, nullptr);
    QTRY_COMPARE_WITH_TIMEOUT(link.sim.param(0x080D), 0x01u, 20000);
    QTRY_COMPARE_WITH_TIMEOUT(link.sim.param(0x0804), 0x00u, 20000);
}

// The unit never confirms its configuration mode: the set-up cannot start,
// and the user hears that once, with that cause.
void TestTabMasterSlaveLink::splitterSetUpThatCannotStart()
{
    ConfigUnitRig rig;
    QVERIFY(rig.startEmulator());
    rig.sim.setParam(0x1600, 0x00804200u); // CAN, transparent, master/slave: the tab is enabled
    QVERIFY(rig.linkUnit("00000301", 1, batteryPackValues()));
    rig.window->pageList()->setCurrentRow(2);
    QVERIFY(rig.loadConfiguration());
    rig.window->protocolHandler()->sendParamRequest(0x1600);
    QTRY_VERIFY_WITH_TIMEOUT(rig.page->paramSlot(0x1600)->valid, 20000);
    rig.page->tabWidget->setCurrentWidget(rig.page->masterSlaveTab);
    QTRY_VERIFY_WITH_TIMEOUT(rig.page->splitterCommitButton->isEnabled(), 20000);

    QStringList boxes;
    rig.page->setModalBoxRunner([&boxes](QMessageBox* box) {
        testkit::holdLikeABox();
        boxes << box->text();
        box->button(QMessageBox::Ok)->click();
    });
    rig.sim.setConfigModeConfirmed(false);
    QTest::mouseClick(rig.page->splitterCommitButton, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(boxes.size(), 2, 20000);
    QCOMPARE(boxes.at(0), QString("WARNING!"));
    QCOMPARE(boxes.at(1), QString("Error entering BMS configuration mode. Please try again."));
    QCOMPARE(rig.page->cursor().shape(), Qt::ArrowCursor);
    rig.sim.setConfigModeConfirmed(true);
    rig.closeWindow();
}

QTEST_MAIN(TestTabMasterSlaveLink)
#include "tst_tab_masterslave_link.moc"
