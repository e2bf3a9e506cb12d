// The temperature board power window against the control-unit emulator and
// group modules behind it.
#include "CanBusSim.h"
#include "CanLinkServices.h"
#include "SimLink.h"
#include "TempBreakOutBoardSupport.h"

#include <QPushButton>
#include <QTableWidget>
#include <QtTest>

namespace {
using Device = CanBusSim::Device;

class BoardRig : public QObject
{
public:
    SimLink link;
    CanBusSim bus;
    TempBreakOutBoardSupport* window = nullptr;

    BoardRig()
    {
        window = new TempBreakOutBoardSupport(
            nullptr,
            std::make_unique<HandlerCanLink>([this] { return &link.handler; }, [](int) { return 0u; }));
        connect(link.comm, &CommunicatorBase::sigReceivedSentence, this, &BoardRig::pump, Qt::QueuedConnection);
    }
    ~BoardRig() override
    {
        bus.stop();
        link.stop();
        delete window;
    }
    bool start()
    {
        bus.install(link.sim);
        return link.start() && link.waitLinked();
    }
    void pump()
    {
        QString line;
        while (link.handler.getSentence(line)) {
            link.handler.applyReplyFlags(line);
            if (line.startsWith(QLatin1String("CN1")))
                window->processSentence(line);
        }
    }
    int add(quint16 type, quint32 serial, int power = 0)
    {
        Device d;
        d.type = type;
        d.serial = serial;
        d.powerState = power;
        return bus.addDevice(d);
    }
    QStringList rows() const
    {
        QStringList list;
        QTableWidget* t = window->table();
        for (int r = 0; r < t->rowCount(); ++r)
            list.append(t->item(r, 0)->text() + QLatin1Char(' ') + t->item(r, 1)->text());
        return list;
    }
    // Route requests as "code:serial" (serial only for addressed ones).
    QStringList requests() const
    {
        QStringList list;
        for (const CanBusSim::Frame& f : bus.frames()) {
            if (f.id != 0x1FFFFEE5)
                continue;
            QString s = QString::fromLatin1(f.data.toHex().toUpper());
            list.append(s);
        }
        return list;
    }
};

constexpr int kEndMs = 15000;
} // namespace

class TstTempBoard : public QObject
{
    Q_OBJECT
private slots:
    void init() { QLoggingCategory::setFilterRules(QStringLiteral("bms.can.debug=false")); }
    void discoveryListsBoardsWithStates();
    void discoveryWithoutBoards();
    void enableAllSwitchesEachModule();
};

// Types 32 and 96 are not listed; the others show their power state.
void TstTempBoard::discoveryListsBoardsWithStates()
{
    BoardRig rig;
    rig.add(48, 500, 1);
    rig.add(32, 400);
    rig.add(96, 450);
    rig.add(130, 300, 0);
    QVERIFY(rig.start());
    QTest::mouseClick(rig.window->discoverButton(), Qt::LeftButton);
    QVERIFY(!rig.window->discoverButton()->isEnabled());
    QTRY_COMPARE_WITH_TIMEOUT(rig.rows(), (QStringList{"300 Disabled", "500 Enabled"}), kEndMs);
    QTRY_VERIFY_WITH_TIMEOUT(!rig.link.sim.configMode(), 5000);
    QTRY_VERIFY_WITH_TIMEOUT(rig.window->discoverButton()->isEnabled(), kEndMs);
    QCOMPARE(rig.bus.device(0).leaveRequests, 1);
    QCOMPARE(rig.bus.device(3).leaveRequests, 1);
    QCOMPARE(rig.bus.device(1).enterRequests, 0);
}

void TstTempBoard::discoveryWithoutBoards()
{
    BoardRig rig;
    QVERIFY(rig.start());
    QTest::mouseClick(rig.window->discoverButton(), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(rig.window->enableButton()->isEnabled(), kEndMs);
    QCOMPARE(rig.window->table()->rowCount(), 0);
    QVERIFY(!rig.link.sim.configMode());
    QCOMPARE(rig.requests(), QStringList{"00FF00FF00FF00FF"});
}

// Per module: enter, 0E F1 01, 0F F0, leave; the table shows the read-back.
void TstTempBoard::enableAllSwitchesEachModule()
{
    BoardRig rig;
    rig.add(50, 7);
    rig.add(112, 9);
    QVERIFY(rig.start());
    QTest::mouseClick(rig.window->discoverButton(), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(rig.rows(), (QStringList{"7 Disabled", "9 Disabled"}), kEndMs);
    QTRY_VERIFY_WITH_TIMEOUT(rig.window->enableButton()->isEnabled(), kEndMs);
    rig.bus.clearFrames();
    QTest::mouseClick(rig.window->enableButton(), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(rig.rows(), (QStringList{"7 Enabled", "9 Enabled"}), kEndMs);
    QCOMPARE(rig.requests(), (QStringList{"01FE320007000000", "0EF101", "0FF0", "02FD320007000000",
                                          "01FE700009000000", "0EF101", "0FF0", "02FD700009000000"}));
    QCOMPARE(rig.bus.device(0).powerState, 1);
    QTRY_VERIFY_WITH_TIMEOUT(!rig.link.sim.configMode(), 5000);
}

QTEST_MAIN(TstTempBoard)
#include "tst_tempboard.moc"
