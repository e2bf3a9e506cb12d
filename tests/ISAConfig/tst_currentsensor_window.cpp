// The General tab's current sensor buttons in the main window, against the
// control-unit emulator with an IVT-S sensor on its CAN bus: the window
// connects, loads the configuration and logs in as a user would; the
// page's questions are answered by a script.
#include "CurrentSensorBench.h"

#include <QTest>

class TstCurrentSensorWindow : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void discover();
    void commitAndSensorFrames();
    void noDeviceBaseNoSensorFrames();

private:
    QTemporaryDir dir_;
    QString port_;
};

void TstCurrentSensorWindow::initTestCase()
{
    port_ = prepareBenchPort(dir_);
}

// Cancel at the configuration-mode question sends nothing; Discard of a
// found sensor stores nothing and ends the discovery; Save stores the
// sensor's serial and CAN id in the unit and configures the sensor.
void TstCurrentSensorWindow::discover()
{
    Bench b;
    QCOMPARE(b.start(port_), QString());
    GeneralTabWidgets* g = b.g;
    QCOMPARE(g->canIdEditor->text(), QString("0x0521"));
    QVERIFY(!g->discoverButton->isHidden() && g->discoverButton->isEnabled());

    b.sim.clearReceived();
    QTest::mouseClick(g->discoverButton, Qt::LeftButton);
    QCOMPARE(b.prompter.asked, QStringList{kConfigModeText});
    QVERIFY(!b.waitCursor());
    b.prompter.confirms = {true};
    b.prompter.found = QMessageBox::Discard;
    QTest::mouseClick(g->discoverButton, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(b.prompter.asked.size(), 3, kJobMs);
    QCOMPARE(b.prompter.asked.last(), QString("Sensor found SN: 1234567"));
    QTRY_VERIFY_WITH_TIMEOUT(!b.sim.configMode(), kJobMs);
    QTRY_VERIFY_WITH_TIMEOUT(!b.waitCursor(), kJobMs);
    // Only the second click entered the configuration mode.
    int entered = 0;
    for (const QString& sentence : b.sim.goodSentences())
        entered += sentence.startsWith("CM2,1,") ? 1 : 0;
    QCOMPARE(entered, 1);
    QCOMPARE(b.sensorCommands(), QList<quint8>{0x7B});
    QCOMPARE(b.receivedAt("CF2,120C"), -1);

    b.prompter.asked.clear();
    b.prompter.confirms = {true};
    b.prompter.found = QMessageBox::Save;
    QTest::mouseClick(g->discoverButton, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(b.sensor->state().runs, 1, kJobMs);
    QTRY_VERIFY_WITH_TIMEOUT(!b.sim.configMode(), kJobMs);
    QCOMPARE(b.prompter.asked, (QStringList{kConfigModeText, "Sensor found SN: 1234567"}));
    QCOMPARE(b.sensorCommands().mid(1), (QList<quint8>{0x7B, 0x50, 0x34, 0x20, 0x21, 0x22, 0x23, 0x24, 0x25, 0x26,
                                                       0x27, 0x32, 0x34}));
    QCOMPARE(b.sensor->state().stores, 1);
    // The serial is stored before the sensor is asked for its CAN id.
    QTRY_COMPARE_WITH_TIMEOUT(b.sim.param(0x110A), 0x01A5u, kJobMs);
    QCOMPARE(b.sim.param(0x120C), 1234567u);
    const qint64 serialWritten = b.receivedAt("CF2,120C,0012D687");
    QVERIFY(serialWritten >= 0);
    QVERIFY(serialWritten < b.receivedAt("CN1,00000411,0,0,8,50"));
    QCOMPARE(g->serialEditor->text(), QString("1234567"));
    QVERIFY(!g->serialEditor->isEnabled());
    QCOMPARE(g->canIdEditor->text(), QString("0x01A5"));
    // The unit now reports the CAN id the sensor has: nothing to commit.
    QTRY_VERIFY_WITH_TIMEOUT(!g->commitButton->isEnabled(), kJobMs);
    QTRY_VERIFY_WITH_TIMEOUT(!b.waitCursor(), kJobMs);
}

// A sensor found in an earlier session, its serial and CAN id kept by the
// unit: a new CAN id typed enables Commit, which moves the sensor to it. The
// sensor's settings frame (dead zone, direction, period 1000) follows each
// report of them by the unit; "Reset Current to 0" sends "RC1," and the zero
// frame 12 05 at the device base id of the CAN tab, the charging warning
// only informing. With analog inputs no sensor frame goes out, the state of
// charge frame included.
void TstCurrentSensorWindow::commitAndSensorFrames()
{
    Bench b;
    b.sim.setParam(0x120C, 1234567);
    b.sim.setParam(0x110A, 0x01A5);
    b.sim.setParam(0x1007, 0xFF); // reverse direction
    QCOMPARE(b.start(port_), QString());
    GeneralTabWidgets* g = b.g;
    ConfigPage* page = b.page();

    b.type(g->canIdEditor, "1B0");
    QTRY_COMPARE_WITH_TIMEOUT(b.sim.param(0x110A), 0x01B0u, kJobMs);
    QTRY_VERIFY_WITH_TIMEOUT(g->commitButton->isEnabled(), kJobMs);
    b.prompter.confirms = {true};
    QTest::mouseClick(g->commitButton, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(b.sensor->state().stores, 1, kJobMs);
    QTRY_VERIFY_WITH_TIMEOUT(!b.sim.configMode(), kJobMs);
    QCOMPARE(b.prompter.asked, QStringList{kConfigModeText});
    QCOMPARE(b.sensorCommands(), (QList<quint8>{0x34, 0x10, 0x20, 0x32, 0x34}));
    QCOMPARE(b.sensor->requests().at(1).toHex(), QByteArray("1001b000" "12d68700"));
    QCOMPARE(b.sensor->state().baseId, quint16(0x01B0));
    QVERIFY(!b.sensor->state().stopped);
    QTRY_VERIFY_WITH_TIMEOUT(!b.waitCursor(), kJobMs);
    b.prompter.asked.clear();
    // The login's refresh has sent the unit's settings already.
    QTRY_VERIFY_WITH_TIMEOUT(b.sensorFrames("1407").contains("100:14073205E803"), kJobMs);
    b.bus.clearFrames();
    QLineEdit* deadzone = qobject_cast<QLineEdit*>(page->paramSlot(0x1008)->params.first()->widget);
    b.type(deadzone, "0.40");
    QTRY_COMPARE_WITH_TIMEOUT(b.sim.param(0x1008), 40u, kJobMs);
    QTRY_COMPARE_WITH_TIMEOUT(b.sensorFrames("1407"), QStringList{"100:14072805E803"}, kJobMs);

    b.sim.clearReceived();
    QTest::mouseClick(g->resetZeroButton, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(b.sensorFrames("1205"), QStringList{"100:1205"}, kJobMs);
    QVERIFY(b.receivedAt("RC1,") >= 0);
    QVERIFY(b.receivedAt("RC1,") <= b.receivedAt("CN1,00000100,0,0,2,1205"));
    QVERIFY(b.prompter.asked.isEmpty());

    // Charging: the warning, then the same.
    b.sim.reply("CS1,01");
    QTRY_VERIFY_WITH_TIMEOUT(page->chargingState == 1, kJobMs);
    b.sim.clearReceived();
    b.bus.clearFrames();
    QTest::mouseClick(g->resetZeroButton, Qt::LeftButton);
    QCOMPARE(b.prompter.asked, QStringList{kChargingText});
    QTRY_COMPARE_WITH_TIMEOUT(b.sensorFrames("1205"), QStringList{"100:1205"}, kJobMs);
    QVERIFY(b.receivedAt("RC1,") >= 0);
    b.sim.reply("CS1,00");
    QTRY_VERIFY_WITH_TIMEOUT(page->chargingState == 0, kJobMs);

    // Extended ids (on the CAN tab): the base is the upper part of a 29-bit id.
    page->tabWidget->setCurrentIndex(2);
    Bench::check(page->extendedIdBox);
    QVERIFY(page->extendedIdBox->isChecked());
    page->tabWidget->setCurrentIndex(1);
    b.bus.clearFrames();
    QTest::mouseClick(g->resetZeroButton, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(b.sensorFrames("1205"), QStringList{"1000000x:1205"}, kJobMs);

    // Analog inputs: the unit alone.
    Bench::check(g->analogInputsCheck);
    QVERIFY(g->analogInputsCheck->isChecked());
    b.sim.clearReceived();
    QTest::mouseClick(g->resetZeroButton, Qt::LeftButton);
    QVERIFY(b.sim.waitForSentence("RC1,", kJobMs));
    QTRY_COMPARE_WITH_TIMEOUT(b.sim.param(0x1600), 0x00020800u, kJobMs);
    b.type(deadzone, "0.10");
    QTRY_COMPARE_WITH_TIMEOUT(b.sim.param(0x1008), 10u, kJobMs);
    page->tabWidget->setCurrentIndex(4); // "SOC / SOH"
    b.prompter.ints = {50};
    QTest::mouseClick(page->setSocButton, Qt::LeftButton);
    QVERIFY(b.sim.waitForSentence("SC1,32", kJobMs));
    for (const QString& s : b.receivedAfter("RC1,"))
        QVERIFY2(!s.startsWith("CN1"), qPrintable(s));
}

// Firmware without the device CAN id base: the unit is reset alone, with a
// word to the user, and no sensor frame goes to CAN id 0.
void TstCurrentSensorWindow::noDeviceBaseNoSensorFrames()
{
    Bench b(false);
    QCOMPARE(b.start(port_), QString());
    b.sim.clearReceived();
    QTest::mouseClick(b.g->resetZeroButton, Qt::LeftButton);
    QVERIFY(b.sim.waitForSentence("RC1,", kJobMs));
    QCOMPARE(b.prompter.asked.size(), 1);
    QVERIFY(b.prompter.asked.last().startsWith("The current sensor's CAN base id is not valid"));
    QLineEdit* deadzone = qobject_cast<QLineEdit*>(b.page()->paramSlot(0x1008)->params.first()->widget);
    b.type(deadzone, "0.40");
    QTRY_COMPARE_WITH_TIMEOUT(b.sim.param(0x1008), 40u, kJobMs);
    for (const QString& s : b.receivedAfter("RC1,"))
        QVERIFY2(!s.startsWith("CN1"), qPrintable(s));
    QVERIFY(b.sensorFrames("1205").isEmpty() && b.sensorFrames("1407").isEmpty());
}

QTEST_MAIN(TstCurrentSensorWindow)
#include "tst_currentsensor_window.moc"
