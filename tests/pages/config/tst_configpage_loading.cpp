// What a load adapts on the page before the reading: the tab for SCiB
// units, the parameters queued by the unit's feature bitmap, the pin and
// charger lists; and the password steps of the file load.
#include "ConfigPageFixture.h"
#include "ConfigParamLoader.h"
#include "ScriptedPrompter.h"
#include "myTabWidget.h"

#include <QComboBox>
#include <QTest>

class TestConfigPageLoading : public QObject
{
    Q_OBJECT
private slots:
    // The page machinery alone: no tab declares parameters.
    void initTestCase() { ConfigPage::buildParameterTabs = false; }
    void scibUnitsSwapTheDevicesTab();
    void bitmapQueuesByFeature();
    void listsFollowTheFirmware();
    void passwordSteps_data();
    void passwordSteps();
};

void TestConfigPageLoading::scibUnitsSwapTheDevicesTab()
{
    PageFixture f;
    myTabWidget* tabs = f.page->tabWidget;
    const int devicesAt = tabs->indexOf(f.page->canDevicesTab);
    QVERIFY(devicesAt >= 0);
    QCOMPARE(tabs->indexOf(f.page->scibTab), -1);
    for (const char* version : {"2.1.4 SCiB", "2.1.4"}) {
        const bool scib = QString(version).contains("SCiB");
        f.handler.setVersionLine(QString("VR1,BMS2,1,") + version);
        f.page->loadConfiguration(true);
        QVERIFY(ConfigParamLoader::shutdown(f.page->paramLoader, 5000));
        QTRY_VERIFY_WITH_TIMEOUT(!f.page->parametersLoading, 5000);
        QCOMPARE(tabs->indexOf(f.page->scibTab), scib ? devicesAt : -1);
        QCOMPARE(tabs->indexOf(f.page->canDevicesTab), scib ? -1 : devicesAt);
    }
}

void TestConfigPageLoading::bitmapQueuesByFeature()
{
    PageFixture f;
    f.page->addConfigParam(0x0020, 3);
    f.page->addConfigParam(0x0010, 0);
    f.page->addConfigParam(0x0010, 0); // a second editor of the id
    f.page->addConfigParam(0x0030, 1); // feature not reported
    f.bitmap.words = {0x9}; // features 0 and 3
    QList<int> ids;
    for (ConfigParam* p : f.page->paramsToLoad("2.1.4"))
        ids << p->paramId();
    QCOMPARE(ids, (QList<int>{0x0010, 0x0020}));
}

void TestConfigPageLoading::listsFollowTheFirmware()
{
    PageFixture f;
    ConfigParam* pin = nullptr;
    ConfigParam* other = nullptr;
    ConfigParam* charger = nullptr;
    std::unique_ptr<QWidget> pinBox(f.page->createParamWidget("PIN", 6, 0x0807, 2, 0, 50, 0, 1, &pin, 0));
    std::unique_ptr<QWidget> otherBox(f.page->createParamWidget("PIN", 6, 0x0808, 2, 0, 50, 0, 1, &other, 0));
    std::unique_ptr<QWidget> chargerBox(f.page->createParamWidget("CH", 6, 0x1800, 2, 0, 50, 0, 1, &charger, 0));
    for (QWidget* w : {pinBox.get(), otherBox.get()}) {
        ConfigPage::addComboItem(w, "PF0 None", 0);
        ConfigPage::addComboItem(w, "PF24 DC/DC Control Output", 24);
        ConfigPage::addComboItem(w, "PF42 Last", 42);
    }
    ConfigPage::addComboItem(chargerBox.get(), "Non-CAN charger", 0);
    ConfigPage::addComboItem(chargerBox.get(), "Eltek Valere EV Charger", 3);
    ConfigPage::addComboItem(chargerBox.get(), "ZVU", 5);
    auto texts = [](QWidget* w) {
        QStringList t;
        auto* box = static_cast<QComboBox*>(w);
        for (int i = 0; i < box->count(); ++i)
            t << box->itemText(i);
        return t;
    };
    // Features 0 and 44 only: no DC/DC output (53), no CAN charger (18).
    f.bitmap.words = {0x1, 1u << (44 - 32)};
    f.page->paramsToLoad("2.1.4");
    QCOMPARE(texts(pinBox.get()), (QStringList{"PF0 None", "PF26 Contactor Pre-charge Output", "PF42 Last"}));
    QCOMPARE(texts(otherBox.get()).size(), 3); // not an output pin
    QCOMPARE(texts(chargerBox.get()), (QStringList{"Non-CAN charger", "J1939 charger with CAN"}));
    // Feature 53 as well: the item comes back before the last one.
    f.bitmap.words = {0x1, (1u << (44 - 32)) | (1u << (53 - 32))};
    f.page->paramsToLoad("2.1.4");
    QCOMPARE(texts(pinBox.get()).at(2), QString("PF24 DC/DC Control Output"));
}

void TestConfigPageLoading::passwordSteps_data()
{
    QTest::addColumn<int>("reply");
    QTest::addColumn<int>("step");
    QTest::addColumn<int>("levelBefore");
    QTest::addColumn<bool>("result");
    QTest::addColumn<int>("levelAfter");
    QTest::addColumn<int>("messages");
    QTest::newRow("query: level 1") << 1 << 6 << 2 << true << 1 << 0;
    QTest::newRow("query: ?") << 3 << 6 << 2 << false << 2 << 0;
    QTest::newRow("PW2 accepted") << 4 << 4 << 2 << true << 2 << 0;
    QTest::newRow("PW2 level reply") << 2 << 4 << 2 << false << 2 << 0;
    QTest::newRow("refused at 1") << 5 << 4 << 1 << false << 1 << 1;
    QTest::newRow("refused at 2") << 5 << 4 << 2 << false << 2 << 0;
    QTest::newRow("logout to 1") << 1 << 0 << 2 << true << 1 << 0;
    QTest::newRow("logout at 1") << 1 << 0 << 1 << false << 1 << 0;
    QTest::newRow("no reply") << 7 << 6 << 2 << false << 2 << 0;
}

void TestConfigPageLoading::passwordSteps()
{
    QFETCH(int, reply);
    QFETCH(int, step);
    QFETCH(int, levelBefore);
    QFETCH(bool, result);
    QFETCH(int, levelAfter);
    QFETCH(int, messages);
    testkit::ScriptedPrompter prompter;
    PageFixture f;
    f.page->setPrompter(&prompter);
    f.page->passwordReplyState = reply;
    uint8_t level = uint8_t(levelBefore);
    QCOMPARE(f.page->applyConfigFilePassword(level, step), result);
    QCOMPARE(int(level), levelAfter);
    QCOMPARE(prompter.messages.size(), messages);
}

QTEST_MAIN(TestConfigPageLoading)
#include "tst_configpage_loading.moc"
