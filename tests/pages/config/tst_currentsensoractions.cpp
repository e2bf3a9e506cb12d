// The current sensor's Discover and Commit actions on a page that records
// its writes, against a fake sensor service.
#include "ConfigPageFixture.h"
#include "CurrentSensorActions.h"

#include <QApplication>
#include <QLineEdit>
#include <QtTest>

namespace {
struct FakeSensorService : CurrentSensorService
{
    QStringList calls;
    bool starts = true; // a start makes the service busy
    bool busy = false;
    void startDiscover(quint8 steps) override
    {
        calls << QString::asprintf("discover %02X", steps);
        busy = starts;
    }
    void startCommit(quint8 steps) override
    {
        calls << QString::asprintf("commit %02X", steps);
        busy = starts;
    }
    void setBaseCanId(quint16 id) override { calls << QString::asprintf("id %X", id); }
    void setVerify(bool on) override { calls << QStringLiteral("verify %1").arg(on); }
    void discardFoundSensor() override { calls << QStringLiteral("discard"); }
    bool isBusy() const override { return busy; }
};

struct Rig
{
    PageFixture fx;
    FakeSensorService service;
    CurrentSensorActions actions{fx.page.get()};
    QStringList log; // charging warnings, confirmations, warnings in order
    bool confirm = true;
    bool save = true;
    QLineEdit* serialEdit = nullptr;
    QLineEdit* canIdEdit = nullptr;

    Rig()
    {
        serialEdit = qobject_cast<QLineEdit*>(
            fx.page->createParamWidget(QStringLiteral("Serial Number"), 1, 0x120C, 2, 0, 4294967295.0, 0, 1.0));
        canIdEdit = qobject_cast<QLineEdit*>(fx.page->createParamWidget(QStringLiteral("Current CAN ID"), 2,
                                                                         0x110A, 15, 0, 0x7FF, 0, 1.0, nullptr,
                                                                         -1, false, 0, 0x7FF));
        // The unit's values are in (a parameter is written only then).
        fx.reply(0x120C, 0);
        fx.reply(0x110A, 0x521, 4);
        actions.setService(&service);
        actions.setConfirmConfigMode([this] {
            log << QStringLiteral("confirm");
            return confirm;
        });
        actions.setChargingWarning([this] { log << QStringLiteral("charging"); });
        actions.setWarning([this](const QString& t) { log << t; });
        actions.setFoundSensorQuestion([this](quint32 s) {
            log << QStringLiteral("found %1").arg(s);
            return save;
        });
    }
    ~Rig()
    {
        while (QApplication::overrideCursor())
            QApplication::restoreOverrideCursor();
    }
};
} // namespace

class TstCurrentSensorActions : public QObject
{
    Q_OBJECT
private slots:
    // The actions on editors of their own: no tab declares parameters.
    void initTestCase() { ConfigPage::buildParameterTabs = false; }
    void discover_data();
    void discover();
    void savedSerialWrittenBeforeIdIsRead();
    void discardedSerialEndsDiscovery();
    void sensorCanIdShownAndWritten();
    void commit_data();
    void commit();
    void commitWithoutKnownSensorIsTold();
};

void TstCurrentSensorActions::discover_data()
{
    QTest::addColumn<bool>("charging");
    QTest::addColumn<bool>("confirm");
    QTest::addColumn<QStringList>("log");
    QTest::addColumn<QStringList>("calls");
    QTest::newRow("plain") << false << true << QStringList{"confirm"} << QStringList{"discover 01"};
    QTest::newRow("charging warns and goes on")
        << true << true << QStringList{"charging", "confirm"} << QStringList{"discover 01"};
    QTest::newRow("cancelled") << false << false << QStringList{"confirm"} << QStringList{};
}

void TstCurrentSensorActions::discover()
{
    QFETCH(bool, charging);
    QFETCH(bool, confirm);
    QFETCH(QStringList, log);
    QFETCH(QStringList, calls);
    Rig rig;
    rig.fx.page->chargingState = charging ? 1 : 0;
    rig.fx.page->configurationLoaded = true;
    rig.confirm = confirm;
    rig.actions.slotISADiscoverPressed();
    QCOMPARE(rig.log, log);
    QCOMPARE(rig.service.calls, calls);
    QCOMPARE(rig.actions.waitCursorShown(), confirm);
    rig.actions.slotOperationStatus(1, 5);
    QVERIFY(!rig.actions.waitCursorShown());
}

void TstCurrentSensorActions::savedSerialWrittenBeforeIdIsRead()
{
    Rig rig;
    rig.service.calls.clear();
    int writesAtContinue = -1;
    rig.actions.showSensorFound(1234567);
    writesAtContinue = rig.fx.writes.size();
    QCOMPARE(rig.log, QStringList{"found 1234567"});
    QCOMPARE(rig.serialEdit->text(), QStringLiteral("1234567"));
    QCOMPARE(rig.fx.writes, (QList<QPair<int, quint32>>{{0x120C, 1234567u}}));
    QCOMPARE(writesAtContinue, 1);
    QCOMPARE(rig.service.calls, QStringList{"discover E6"});
}

void TstCurrentSensorActions::discardedSerialEndsDiscovery()
{
    Rig rig;
    rig.save = false;
    rig.actions.showSensorFound(99);
    QVERIFY(rig.fx.writes.isEmpty());
    QCOMPARE(rig.service.calls, QStringList{"discard"});
}

void TstCurrentSensorActions::sensorCanIdShownAndWritten()
{
    Rig rig;
    rig.actions.setCurrentSensorCanId(0x1A5);
    QCOMPARE(rig.canIdEdit->text(), QStringLiteral("0x01A5"));
    QCOMPARE(rig.canIdEdit->styleSheet(), QStringLiteral("QLineEdit{color: black; background: white;}"));
    QCOMPARE(rig.fx.writes, (QList<QPair<int, quint32>>{{0x110A, 0x1A5u}}));
}

void TstCurrentSensorActions::commit_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("log");
    QTest::addColumn<QStringList>("calls");
    QTest::newRow("empty") << "" << QStringList{"No Base CAN address set"} << QStringList{};
    QTest::newRow("only x") << "xX" << QStringList{"No Base CAN address set"} << QStringList{};
    QTest::newRow("0x is id 0") << "0x" << QStringList{"confirm"}
                                << QStringList{"id 0", "verify 1", "commit F4"};
    QTest::newRow("typed id") << "0x01A5" << QStringList{"confirm"}
                              << QStringList{"id 1A5", "verify 1", "commit F4"};
}

void TstCurrentSensorActions::commit()
{
    QFETCH(QString, text);
    QFETCH(QStringList, log);
    QFETCH(QStringList, calls);
    Rig rig;
    rig.canIdEdit->setText(text);
    rig.actions.slotISAConfigCommitPressed();
    QCOMPARE(rig.log, log);
    QCOMPARE(rig.service.calls, calls);
}

// A commit before any discovery found a sensor starts nothing: the user is
// told and the cursor does not stay busy.
void TstCurrentSensorActions::commitWithoutKnownSensorIsTold()
{
    Rig rig;
    rig.service.starts = false;
    rig.canIdEdit->setText(QStringLiteral("0x521"));
    rig.actions.slotISAConfigCommitPressed();
    QCOMPARE(rig.log.size(), 2);
    QVERIFY(rig.log.last().startsWith(QStringLiteral("Current sensor configuration was not started.")));
    QVERIFY(!rig.actions.waitCursorShown());
    QVERIFY(!QApplication::overrideCursor());
}

QTEST_MAIN(TstCurrentSensorActions)
#include "tst_currentsensoractions.moc"
