// The current sensor's Discover and Commit actions on a page that records
// its writes, against a fake sensor service; the page's questions are
// answered by a script.
#include "ConfigPageFixture.h"
#include "ConfigPrompter.h"
#include "CurrentSensorActions.h"

#include <QLineEdit>
#include <QTest>

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
    quint16 baseCanId() const override { return 0x521; }
    void setBaseCanId(quint16 id) override { calls << QString::asprintf("id %X", id); }
    void setSensorSerial(quint32 serial) override { calls << QStringLiteral("serial %1").arg(serial); }
    void setPendingChange() override { calls << QStringLiteral("pending"); }
    void setVerify(bool on) override { calls << QStringLiteral("verify %1").arg(on); }
    void discardFoundSensor() override { calls << QStringLiteral("discard"); }
    bool isBusy() const override { return busy; }
};

// Charging warnings, confirmations, questions and warnings, in order; each
// holds its caller like a real box.
struct LoggingPrompter : ConfigPrompter
{
    QStringList log;
    bool confirmAnswer = true;
    QMessageBox::StandardButton foundAnswer = QMessageBox::Save;
    bool confirm(const QString&, const QString&) override
    {
        testkit::holdLikeABox();
        log << QStringLiteral("confirm");
        return confirmAnswer;
    }
    void warn(QWidget*, const QString&, const QString& text, bool) override
    {
        testkit::holdLikeABox();
        log << (text.startsWith(QLatin1String("Charging is in progress")) ? QStringLiteral("charging") : text);
    }
    QMessageBox::StandardButton ask(const QString& text, QMessageBox::StandardButtons buttons,
                                    QMessageBox::StandardButton defaultButton) override
    {
        testkit::holdLikeABox();
        log << text;
        return buttons == (QMessageBox::Save | QMessageBox::Discard) && defaultButton == QMessageBox::Save
                   ? foundAnswer
                   : QMessageBox::Cancel;
    }
};

struct Rig
{
    PageFixture fx;
    LoggingPrompter prompter;
    FakeSensorService* service = new FakeSensorService;
    CurrentSensorActions actions{fx.page.get()};
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
        fx.page->setPrompter(&prompter);
        actions.setService(std::unique_ptr<CurrentSensorService>(service));
    }
    bool waitCursor() const
    {
        return fx.page->testAttribute(Qt::WA_SetCursor) && fx.page->cursor().shape() == Qt::WaitCursor;
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
    rig.prompter.confirmAnswer = confirm;
    rig.actions.slotISADiscoverPressed();
    QCOMPARE(rig.prompter.log, log);
    QCOMPARE(rig.service->calls, calls);
    QCOMPARE(rig.waitCursor(), confirm);
    rig.actions.slotOperationStatus(1, 5);
    QVERIFY(!rig.waitCursor());
}

void TstCurrentSensorActions::savedSerialWrittenBeforeIdIsRead()
{
    Rig rig;
    int writesAtContinue = -1;
    rig.service->calls.clear();
    rig.actions.showSensorFound(1234567);
    writesAtContinue = rig.fx.writes.size();
    QCOMPARE(rig.prompter.log, QStringList{"Sensor found SN: 1234567"});
    QCOMPARE(rig.serialEdit->text(), QStringLiteral("1234567"));
    QVERIFY(!rig.serialEdit->isEnabled());
    QCOMPARE(rig.fx.writes, (QList<QPair<int, quint32>>{{0x120C, 1234567u}}));
    QCOMPARE(writesAtContinue, 1);
    QCOMPARE(rig.service->calls, QStringList{"discover E6"});
}

void TstCurrentSensorActions::discardedSerialEndsDiscovery()
{
    Rig rig;
    rig.prompter.foundAnswer = QMessageBox::Discard;
    rig.actions.showSensorFound(99);
    QVERIFY(rig.fx.writes.isEmpty());
    QCOMPARE(rig.service->calls, QStringList{"discard"});
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
    QCOMPARE(rig.prompter.log, log);
    QCOMPARE(rig.service->calls, calls);
}

// A commit before any discovery found a sensor starts nothing: the user is
// told and the cursor does not stay busy.
void TstCurrentSensorActions::commitWithoutKnownSensorIsTold()
{
    Rig rig;
    rig.service->starts = false;
    rig.canIdEdit->setText(QStringLiteral("0x521"));
    rig.actions.slotISAConfigCommitPressed();
    QCOMPARE(rig.prompter.log.size(), 2);
    QVERIFY(rig.prompter.log.last().startsWith(QStringLiteral("Current sensor configuration was not started.")));
    QVERIFY(!rig.waitCursor());
}

QTEST_MAIN(TstCurrentSensorActions)
#include "tst_currentsensoractions.moc"
