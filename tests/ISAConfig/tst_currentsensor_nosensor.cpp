// The General tab's current sensor buttons in the main window when the
// emulated bus has no sensor (bms-sim's "--no-sensor"): each job ends with
// one warning, the unit leaves its configuration mode, and a commit says what
// was not confirmed.
#include "CurrentSensorBench.h"

#include <QTest>

namespace {
BusOptions noSensor()
{
    BusOptions options;
    EmulatedBus::parseOption("--no-sensor", options);
    return options;
}
} // namespace

class TstCurrentSensorNoSensor : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { port_ = prepareBenchPort(dir_); }
    void discoverWarnsOnce();
    void commitSaysWhatWasNotConfirmed();

private:
    QTemporaryDir dir_;
    QString port_;
};

// The warning is open while the transport's ticks keep coming: the job has
// already ended, so no further request and no second box follow.
void TstCurrentSensorNoSensor::discoverWarnsOnce()
{
    Bench b(true, noSensor());
    QCOMPARE(b.start(port_), QString());
    const QString warning = "The ISAScale sensor did not answer.\nReconnect sensor and try again.";
    b.prompter.confirms = {true};
    QTest::mouseClick(b.g->discoverButton, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(b.prompter.asked.contains(warning), kJobMs);
    QTRY_VERIFY_WITH_TIMEOUT(!b.sim.configMode(), kJobMs);
    QTRY_VERIFY_WITH_TIMEOUT(!b.waitCursor(), kJobMs);
    QCOMPARE(b.prompter.asked, (QStringList{kConfigModeText, warning}));
    QCOMPARE(b.sensorCommands(), (QList<quint8>{0x7B, 0x7B, 0x7B}));
    QVERIFY(b.g->discoverButton->isEnabled());
}

// The commit does not wait for each answer, but at its end it says which
// steps the sensor confirmed and which not, instead of reporting success.
void TstCurrentSensorNoSensor::commitSaysWhatWasNotConfirmed()
{
    Bench b(true, noSensor());
    b.sim.setParam(0x120C, 1234567);
    b.sim.setParam(0x110A, 0x01A5);
    QCOMPARE(b.start(port_), QString());
    b.type(b.g->canIdEditor, "1B0");
    QTRY_VERIFY_WITH_TIMEOUT(b.g->commitButton->isEnabled(), kJobMs);
    b.prompter.confirms = {true};
    QTest::mouseClick(b.g->commitButton, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(b.prompter.asked.size(), 2, kJobMs);
    QCOMPARE(b.prompter.asked.last(),
             QString("The ISAScale sensor did not confirm its configuration.\nConfirmed: nothing.\nNot confirmed: "
                     "stop mode, CAN ID, result configuration, storing the configuration, run mode.\nReconnect "
                     "sensor and try again."));
    QTRY_VERIFY_WITH_TIMEOUT(!b.sim.configMode(), kJobMs);
    QTRY_VERIFY_WITH_TIMEOUT(!b.waitCursor(), kJobMs);
    QCOMPARE(b.sensorCommands(), (QList<quint8>{0x34, 0x10, 0x20, 0x32, 0x34}));
}

QTEST_MAIN(TstCurrentSensorNoSensor)
#include "tst_currentsensor_nosensor.moc"
