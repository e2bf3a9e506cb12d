// SCiB discovery end to end: the real transport and protocol handler, the
// control-unit emulator with SCiB modules behind it, ticks from the
// transport and lines through a stand-in pump, as the main window joins them.
#include "CanLinkServices.h"
#include "ScibModuleSim.h"
#include "SimLink.h"
#include "ToshibaSCiBModuleConfig.h"

#include <QSignalSpy>
#include <QTest>

class TestScibLink : public QObject
{
    Q_OBJECT
private slots:
    void discoveryFindsModules();
};

void TestScibLink::discoveryFindsModules()
{
    SimLink link;
    ScibModuleSim modules;
    ScibModuleSim::Module nine;
    nine.cells = 9;
    ScibModuleSim::Module alt = nine;
    alt.altReplyId = true;
    ScibModuleSim::Module chatty; // 12 cells, then a second, different answer
    chatty.extraReplies = 1;
    ScibModuleSim::Module silent;
    silent.silent = true;
    ScibModuleSim::Module shortAnswer = nine;
    shortAnswer.dataBytes = 7;
    modules.setModule(7, chatty);
    modules.setModule(3, alt);
    modules.setModule(32, nine);
    modules.setModule(5, silent);
    modules.setModule(12, shortAnswer);
    modules.install(link.sim);

    ToshibaSCiBModuleConfig cfg(std::make_unique<HandlerCanLink>([&link] { return &link.handler; },
                                                                  [](int) { return quint32(0); }));
    QObject context;
    QObject::connect(link.comm, &CommunicatorBase::sigToshibaSCiBProcess, &cfg,
                     &ToshibaSCiBModuleConfig::slotCanProcess, Qt::QueuedConnection);
    QObject::connect(link.comm, &CommunicatorBase::sigReceivedSentence, &context, [&link, &cfg] {
        QString line;
        while (link.handler.getSentence(line)) {
            link.handler.applyReplyFlags(line);
            if (cfg.isBusy())
                cfg.processSentence(line);
        }
    }, Qt::QueuedConnection);
    QSignalSpy status(&cfg, &ToshibaSCiBModuleConfig::sigToshibSCiBModuleOperationStatus);
    QVERIFY(link.start());
    QVERIFY(link.waitLinked());

    QVERIFY(cfg.startDiscovery());
    QVERIFY(link.sim.configMode());
    QTRY_VERIFY_WITH_TIMEOUT(!cfg.isBusy(), 90000);
    QCOMPARE(status.size(), 2);
    QCOMPARE(status.last(), QVariantList({1, 0}));
    QTRY_VERIFY_WITH_TIMEOUT(!link.sim.configMode(), 10000);

    const QList<QPair<uint32_t, int>> expected = {{3, 9}, {7, 12}, {12, 12}, {32, 9}};
    QCOMPARE(cfg.discoveredCount(), expected.size());
    for (int i = 0; i < expected.size(); ++i) {
        uint32_t id = 0;
        uint8_t cells = 0;
        QVERIFY(cfg.discoveredModule(&id, &cells, i));
        QCOMPARE(id, expected.at(i).first);
        QCOMPARE(int(cells), expected.at(i).second);
    }
    for (int n = 1; n <= 32; ++n)
        QCOMPARE(modules.pollCount(n), 1);
    modules.uninstall();
}

QTEST_MAIN(TestScibLink)
#include "tst_scib_link.moc"
