// A unit that reports more features than this tool knows gets an information
// box; the link goes on while the user reads it, past the keep-alive limit.
#include "WindowLink.h"
#include "Y5ProtocolHandler.h"

#include <QSignalSpy>
#include <QTest>

#include <functional>

using namespace windowlink;

namespace {

// An information box that stays open while whileOpen runs (events flow, as
// under a modal box).
struct HoldingDialogs : ScriptedDialogs
{
    std::function<void()> whileOpen;
    void information(QWidget* parent, const QString& text) override
    {
        ScriptedDialogs::information(parent, text);
        if (whileOpen)
            whileOpen();
    }
};

int keepAliveQueries(const ControlUnitSim& sim)
{
    return int(sim.goodSentences().count(QStringLiteral("VR1,?")));
}

} // namespace

class TestLinkInfoBox : public QObject
{
    Q_OBJECT
private slots:
    void linkRunsWhileTheUnsupportedFirmwareBoxIsOpen();
};

void TestLinkInfoBox::linkRunsWhileTheUnsupportedFirmwareBoxIsOpen()
{
    QTemporaryDir dir;
    prepareApplication(dir.path());
    ControlUnitSim sim;
    const QString port = dir.filePath("ttyBMS0");
    QVERIFY(sim.start(port));
    sim.setFeatureBitmap(0xAB, {0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0x7FF});
    listPorts({port});

    HoldingDialogs dialogs;
    BMS_GUI w;
    w.setDialogs(&dialogs);
    const QString linked = titleLinkedTo(port, "123456", "2.1.4.2");
    QStringList titlesWhileOpen;
    bool linkedWhileOpen = false;
    dialogs.whileOpen = [&] {
        QSignalSpy titles(&w, &QWidget::windowTitleChanged);
        // The link is made and then kept while the user reads, for longer
        // than the keep-alive limit after which a transport that stopped
        // reading would lose it, and over several keep-alive rounds.
        linkedWhileOpen = QTest::qWaitFor([&] { return w.windowTitle() == linked; }, kLinkTimeoutMs);
        QElapsedTimer open;
        open.start();
        const int before = keepAliveQueries(sim);
        const bool roundsWhileOpen = QTest::qWaitFor(
            [&] {
                return open.elapsed() > Y5ProtocolHandler::kKeepAliveLimitMs + 2000
                    && keepAliveQueries(sim) >= before + 3;
            },
            3 * kLinkTimeoutMs);
        linkedWhileOpen =
            linkedWhileOpen && roundsWhileOpen && w.communicator()->linked && w.windowTitle() == linked;
        for (const auto& args : titles)
            titlesWhileOpen << args.at(0).toString();
    };
    QVERIFY(choosePort(w, port));

    QTRY_COMPARE_WITH_TIMEOUT(dialogs.informations.size(), 1, kLinkTimeoutMs);
    QVERIFY(dialogs.informations.first().startsWith("The connected version of BMS firmware is not<br>fully supported"));
    QVERIFY(linkedWhileOpen);
    for (const QString& t : qAsConst(titlesWhileOpen))
        QVERIFY2(!t.startsWith("Trying"), qPrintable(t));
    QCOMPARE(w.windowTitle(), linked);
}

QTEST_MAIN(TestLinkInfoBox)
#include "tst_link_infobox.moc"
