// The cell model page's own sentences ("SC1", "RE1") reach the control-unit
// emulator through the page base, the protocol handler and the real serial
// transport; its feature-gated widgets follow the unit's feature bitmap.
#include "BasePage.h"
#include "FakeParamHost.h"
#include "FeatureSupportTable.h"
#include "HandlerBitmap.h"
#include "ScriptedDialogs.h"
#include "SimLink.h"
#include "SocCustomProfile.h"
#include "TestServices.h"

#include <QPushButton>
#include <QTest>

namespace {

// Shaped as the configuration page is meant to be: a page that is also the
// profile's host. The parameter side stays a stand-in; sentences and feature
// gating are the page base's.
class PageHost : public BasePage, public FakeParamHost
{
public:
    using BasePage::BasePage;
    void sendSentence(const QString& name, const QString& parameters, unsigned delayMs = 0, int timeoutMs = 0) override
    {
        BasePage::sendSentence(name, parameters, delayMs, timeoutMs);
    }
    QWidget* registerFeatureWidget(QWidget* widget, int featureId, int mode) override
    {
        return BasePage::registerFeatureWidget(widget, featureId, mode);
    }
};

struct Rig
{
    SimLink link;
    HandlerBitmap bitmap{link.handler};
    FeatureSupportTable features{&bitmap};
    TestServices services;
    ScriptedDialogs dialogs;
    std::unique_ptr<PageHost> base;
    SocCustomProfile* page = nullptr;

    explicit Rig(quint32 word3)
    {
        link.sim.setFeatureBitmap(0x80, {0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu, word3});
        services.handler = &link.handler;
        g_mainWindow = &services;
    }
    ~Rig()
    {
        base.reset();
        g_mainWindow = nullptr;
    }
    bool start()
    {
        if (!link.start() || !link.waitLinked())
            return false;
        base = std::make_unique<PageHost>(nullptr, link.comm, nullptr, &features);
        page = new SocCustomProfile(base.get(), base.get());
        page->setDialogs(&dialogs);
        return true;
    }
    QPushButton* button(const QString& text) const
    {
        for (QPushButton* b : page->findChildren<QPushButton*>())
            if (b->text() == text)
                return b;
        return nullptr;
    }
    // The fields of every good sentence with that name the unit received.
    QList<QStringList> received(const QString& name) const
    {
        QList<QStringList> out;
        for (const QString& s : link.sim.goodSentences()) {
            QStringList parts = s.split(QLatin1Char(','));
            if (parts.takeFirst() == name)
                out << parts;
        }
        return out;
    }
};

constexpr quint32 kFeature110 = 1u << (110 - 96);
constexpr quint32 kFeature111 = 1u << (111 - 96);

} // namespace

class TestSocCustomProfileLink : public QObject
{
    Q_OBJECT
private slots:
    void setSocAndRestartsReachTheUnit();
    void featureWidgetsFollowTheUnit_data();
    void featureWidgetsFollowTheUnit();
};

void TestSocCustomProfileLink::setSocAndRestartsReachTheUnit()
{
    Rig rig(kFeature110 | kFeature111);
    QVERIFY(rig.start());
    rig.dialogs.intAnswer = 100;
    rig.button("Set SOC")->click();
    rig.dialogs.intAnswer = 5;
    rig.button("Set SOC")->click();
    QVERIFY(rig.link.sim.waitForSentence("SC1,05", 10000));
    QCOMPARE(rig.received("SC1"), (QList<QStringList>{{"64"}, {"05"}}));

    rig.button("Restart Estimator")->click();
    rig.button("Restart SOC Estimator")->click();
    rig.button("Restart Cbat Estimator")->click();
    QVERIFY(rig.link.sim.waitForSentence("RE1,3", 10000));
    QCOMPARE(rig.received("RE1"), (QList<QStringList>{{""}, {"2"}, {"3"}}));

    rig.dialogs.answerYes = false;
    rig.dialogs.intAccepted = false;
    rig.button("Restart Estimator")->click();
    rig.button("Set SOC")->click();
    rig.link.handler.sendSentence(QStringLiteral("VR1,"), QStringLiteral("?")); // a marker after them
    QVERIFY(rig.link.sim.waitUntil(
        [](const QList<ControlUnitSim::Received>& r) { return !r.isEmpty() && r.last().sentence == "VR1,?"; }, 10000));
    QCOMPARE(rig.received("RE1").size(), 3);
    QCOMPARE(rig.received("SC1").size(), 2);
}

void TestSocCustomProfileLink::featureWidgetsFollowTheUnit_data()
{
    QTest::addColumn<quint32>("word3");
    QTest::addColumn<bool>("shown");
    QTest::newRow("with feature 110") << (kFeature110 | kFeature111) << true;
    QTest::newRow("without feature 110") << kFeature111 << false;
}

void TestSocCustomProfileLink::featureWidgetsFollowTheUnit()
{
    QFETCH(quint32, word3);
    QFETCH(bool, shown);
    Rig rig(word3);
    QVERIFY(rig.start());
    QTRY_VERIFY_WITH_TIMEOUT(rig.link.handler.isFeatureBitmapValid(), 10000);
    rig.base->show();
    rig.base->updateFeatureVisibility(rig.link.handler.deviceVersion());
    QCOMPARE(rig.button("Set SOC")->isVisible(), shown);
    const Declaration* debug = rig.base->declaration("ESTIMATOR_DEBUG_ENABLE");
    QCOMPARE(debug->widget->isVisible(), shown);
    QVERIFY(rig.button("Restart Estimator")->isVisible());
}

QTEST_MAIN(TestSocCustomProfileLink)
#include "tst_soccustomprofile_link.moc"
