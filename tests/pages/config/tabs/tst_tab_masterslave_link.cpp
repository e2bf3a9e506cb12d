// The tabs' writes through the real transport and protocol handler into the
// control-unit emulator's parameter store: a pin's inversion keeps its
// function, and the Parallel topology writes the units' string numbers as
// one-byte words.
#include "ConfigPage.h"
#include "ConfigParam.h"
#include "FeatureSupportTable.h"
#include "SentenceMaps.h"
#include "SimLink.h"

#include <QCheckBox>
#include <QRadioButton>
#include <QtTest>

#include <memory>

class TestTabMasterSlaveLink : public QObject
{
    Q_OBJECT
private slots:
    void writesReachTheUnit();
};

void TestTabMasterSlaveLink::writesReachTheUnit()
{
    SimLink link;
    CSntcMap map;
    FeatureSupportTable features;
    link.sim.setParam(0x0800, 0x02);
    link.sim.setParam(0x1C05, 4);
    for (int i = 0; i < 32; ++i)
        link.sim.setParam(quint16(0x1C86 + i), 0);
    QVERIFY(link.start() && link.waitLinked());
    std::unique_ptr<ConfigPage> page(new ConfigPage(&map, link.comm, nullptr, &features));
    page->setProtocolHandler(&link.handler);
    page->accessLevel = 2;
    QObject::connect(link.comm, &CommunicatorBase::sigReceivedSentence, page.get(), [&] {
        QString line;
        while (link.handler.getSentence(line))
            page->processSentence(line);
    }, Qt::QueuedConnection);

    QList<int> ids{0x0800, 0x1C05};
    for (int i = 0; i < 32; ++i)
        ids << 0x1C86 + i;
    for (int id : ids) {
        link.handler.sendParamRequest(quint16(id));
        QTRY_VERIFY_WITH_TIMEOUT(page->paramSlot(id)->valid, 10000);
    }
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

QTEST_MAIN(TestTabMasterSlaveLink)
#include "tst_tab_masterslave_link.moc"
