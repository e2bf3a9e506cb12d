// Configuration values through the real transport and protocol handler and
// the control-unit emulator's parameter store: replies fill the editors, a
// commit writes the word, the unit's echo confirms it.
#include "ConfigPage.h"
#include "ConfigParam.h"
#include "FeatureSupportTable.h"
#include "SentenceMaps.h"
#include "SimLink.h"

#include <QCheckBox>
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
        link.sim.setParam(0x0004, 0x7B);
        link.sim.setParam(0x1600, 0x6);
        link.sim.setParam(0x0C88, 0x0);
        if (!link.start() || !link.waitLinked())
            return false;
        page.reset(new ConfigPage(&map, link.comm, nullptr, &features));
        page->setProtocolHandler(&link.handler);
        page->accessLevel = 2;
        // The window's pump: every received line to the page.
        QObject::connect(link.comm, &CommunicatorBase::sigReceivedSentence, page.get(), [this] {
            QString line;
            while (link.handler.getSentence(line))
                page->processSentence(line);
        }, Qt::QueuedConnection);
        return true;
    }
    ConfigParam* add(int kind, int id, double minimum, double maximum, int offset, double scale, uint32_t mask)
    {
        ConfigParam* p = nullptr;
        page->createParamWidget("P", kind, id, 2, minimum, maximum, offset, scale, &p);
        p->bitMask = mask;
        return p;
    }
    bool read(int id)
    {
        link.handler.sendParamRequest(quint16(id));
        QElapsedTimer t;
        t.start();
        while (!(page->paramSlot(id)->valid) && t.elapsed() < 10000)
            QTest::qWait(10);
        return page->paramSlot(id)->valid;
    }
    void commit(ConfigParam* p)
    {
        p->editState = ConfigPage::Edited;
        page->commitEditedParams(nullptr, nullptr);
    }
};

} // namespace

class TestConfigPageCf2Link : public QObject
{
    Q_OBJECT
private slots:
    void readEditWriteEcho();
    void unansweredWriteIsNotTheUnitsValue();
};

void TestConfigPageCf2Link::readEditWriteEcho()
{
    Bench b;
    QVERIFY(b.start());
    ConfigParam* cell = b.add(1, 0x0004, 2.0, 4.55, 200, 0.01, 0xFFFFFFFFu);
    ConfigParam* bit2 = b.add(7, 0x1600, -1, 1, 0, 1, 0x4);
    ConfigParam* bit3 = b.add(7, 0x1600, -1, 1, 0, 1, 0x8);
    ConfigParam* whole = b.add(7, 0x0C88, -1, 1, 0, 1, 0xFFFFFFFFu);
    std::unique_ptr<QWidget> owner(new QWidget);
    for (ConfigParam* p : {cell, bit2, bit3, whole})
        p->widget->setParent(owner.get());
    for (int id : {0x0004, 0x1600, 0x0C88})
        QVERIFY(b.read(id));
    auto* edit = static_cast<QLineEdit*>(cell->widget);
    QCOMPARE(edit->text(), QString("3.23"));
    QVERIFY(static_cast<QCheckBox*>(bit2->widget)->isChecked());
    QVERIFY(!static_cast<QCheckBox*>(bit3->widget)->isChecked());

    edit->setText("3,5");
    b.commit(cell);
    QTRY_COMPARE_WITH_TIMEOUT(b.link.sim.param(0x0004), 0x96u, 10000);
    QTRY_COMPARE_WITH_TIMEOUT(cell->editState, int(ConfigPage::Shown), 10000);
    QCOMPARE(edit->text(), QString("3.50"));

    // Two bits of one word, committed together: the second builds on the first.
    static_cast<QCheckBox*>(bit2->widget)->setChecked(false);
    static_cast<QCheckBox*>(bit3->widget)->setChecked(true);
    bit2->editState = ConfigPage::Edited;
    b.commit(bit3);
    QTRY_COMPARE_WITH_TIMEOUT(b.link.sim.param(0x1600), 0xAu, 10000);
    QTRY_COMPARE_WITH_TIMEOUT(b.page->paramValue(0x1600), 0xAu, 10000);

    // A mask-less check box on a one-byte id: the unit gets its byte.
    static_cast<QCheckBox*>(whole->widget)->setChecked(true);
    b.commit(whole);
    QTRY_COMPARE_WITH_TIMEOUT(b.link.sim.param(0x0C88), 0xFFu, 10000);
    QCOMPARE(b.link.sim.rejectedParamWrites(), 0);
    for (ConfigParam* p : {cell, bit2, bit3, whole})
        p->widget = nullptr; // the owner goes first
}

void TestConfigPageCf2Link::unansweredWriteIsNotTheUnitsValue()
{
    Bench b;
    QVERIFY(b.start());
    ConfigParam* cell = b.add(1, 0x0004, 2.0, 4.55, 200, 0.01, 0xFFFFFFFFu);
    std::unique_ptr<QWidget> owner(cell->widget);
    QVERIFY(b.read(0x0004));
    b.link.sim.setParamWritesIgnored(true);
    static_cast<QLineEdit*>(cell->widget)->setText("4.00");
    b.commit(cell);
    QCOMPARE(cell->editState, int(ConfigPage::Sent));
    QTest::qWait(300);
    QCOMPARE(b.link.sim.param(0x0004), 0x7Bu);
    QCOMPARE(b.page->paramValue(0x0004), 0x7Bu);
    // Read again: the unit's value is what shows.
    QVERIFY(b.read(0x0004));
    QTRY_COMPARE_WITH_TIMEOUT(static_cast<QLineEdit*>(cell->widget)->text(), QString("3.23"), 10000);
    cell->widget = nullptr;
}

QTEST_MAIN(TestConfigPageCf2Link)
#include "tst_configpage_cf2_link.moc"
