// The emulated unit as bms-sim runs it: every variant a unit that could
// exist, and a past that belongs to its pack.
#include "EmulatedUnit.h"
#include "SerialPort.h"
#include "Y5ProtocolHandler.h"

#include <QElapsedTimer>
#include <QTest>

namespace {
// Sends the sentences and collects the good replies (without check suffix)
// until count lines came or the time is up.
QStringList exchange(SerialPort& port, const QStringList& sentences, int count, int timeoutMs = 10000)
{
    for (const QString& s : sentences) {
        const QByteArray f = ControlUnitSim::frame(s);
        port.write(f.constData(), f.size());
    }
    QElapsedTimer t;
    t.start();
    QByteArray bytes;
    char buf[1024];
    while (bytes.count('\r') < count && t.elapsed() < timeoutMs) {
        const qint64 n = port.read(buf, sizeof buf);
        if (n > 0)
            bytes.append(buf, int(n));
    }
    QStringList out;
    for (const QByteArray& line : bytes.split('\r')) {
        int len = line.size();
        if (len && Y5ProtocolHandler::checkSentenceCrc(line.constData(), len))
            out << QString::fromLatin1(line.left(len));
    }
    return out;
}

QStringList only(const QStringList& lines, const QString& prefix)
{
    QStringList out;
    for (const QString& l : lines)
        if (l.startsWith(prefix))
            out << l;
    return out;
}

// Field i of a reply, read as hexadecimal.
quint32 field(const QString& line, int i)
{
    return line.section(QLatin1Char(','), i, i).toUInt(nullptr, 16);
}
} // namespace

class TestEmulatedUnit : public QObject
{
    Q_OBJECT
private slots:
    void variants_data();
    void variants();
    void pastBelongsToThePack();
    void clearedStatisticsAreNotAvailableRatherThanZero();
    void resetIsANewPowerUp();
    void helpNamesPasswordsAndVariants();
};

void TestEmulatedUnit::variants_data()
{
    QTest::addColumn<QString>("variant");
    QTest::addColumn<QString>("version");  // the start of the "VR1" reply
    QTest::addColumn<QList<int>>("has");
    QTest::addColumn<QList<int>>("lacks");
    const QList<int> showing{17, 34, 77, 107, 159};
    QTest::newRow("two-level") << "two-level" << "VR1,BMS2,0001E240,2.1.4.2"
                               << (showing + QList<int>{14, 62, 64, 71, 95, 50}) << QList<int>{61, 63, 70, 94, 47};
    QTest::newRow("older-ranges") << "older-ranges" << "VR1,BMS2,0001E240,2.1.4.2"
                                  << (showing + QList<int>{14, 61, 63, 70, 94, 47})
                                  << QList<int>{62, 64, 71, 95, 50};
    QTest::newRow("one-level") << "one-level" << "VR1,BMS2,0001E240,2.1.4.2" << (showing + QList<int>{62})
                               << QList<int>{14, 61};
    QTest::newRow("scib") << "scib" << "VR1,BMS2,0001E240,2.1.4.2_SCiB" << (showing + QList<int>{14})
                          << QList<int>{61};
    QTest::newRow("bms3") << "bms3" << "VR1,BMS3,0001E240,2.1.4.2" << (showing + QList<int>{14}) << QList<int>{61};
    QTest::newRow("boot") << "boot" << "VR1,BMS2,0001E240,boot" << showing << QList<int>{61};
}

void TestEmulatedUnit::variants()
{
    QFETCH(QString, variant);
    QFETCH(QString, version);
    QFETCH(QList<int>, has);
    QFETCH(QList<int>, lacks);
    QVERIFY(EmulatedUnit::isVariant(variant));
    EmulatedUnit unit(variant);
    QVERIFY(unit.start());
    SerialPort port;
    port.setPortName(unit.cu().portPath());
    QVERIFY(port.open());
    port.setTimeout(20);

    const QStringList vr = only(exchange(port, {"VR1,?"}, 1), "VR1");
    QCOMPARE(vr.size(), 1);
    QVERIFY2(vr.first().startsWith(version), qPrintable(vr.first()));

    // The bitmap the tool reads; a bootloader answers nothing else.
    const QList<int> features = EmulatedUnit::features(variant);
    for (int f : has)
        QVERIFY2(features.contains(f), qPrintable(QString::number(f)));
    for (int f : lacks)
        QVERIFY2(!features.contains(f), qPrintable(QString::number(f)));
    const QStringList fp = only(exchange(port, {"FP1,?"}, 1, variant == "boot" ? 500 : 10000), "FP1");
    if (variant == "boot") {
        QVERIFY(fp.isEmpty());
        return;
    }
    QCOMPARE(fp.size(), 1);
    const QStringList words = fp.first().split(',').mid(2);
    for (int f : features)
        QVERIFY2(words.value(f / 32).toUInt(nullptr, 16) & (1u << (f % 32)), qPrintable(QString::number(f)));
    for (int f : lacks)
        QVERIFY2(!(words.value(f / 32).toUInt(nullptr, 16) & (1u << (f % 32))), qPrintable(QString::number(f)));
}

void TestEmulatedUnit::pastBelongsToThePack()
{
    EmulatedUnit unit;
    QVERIFY(unit.start());
    SerialPort port;
    port.setPortName(unit.cu().portPath());
    QVERIFY(port.open());
    port.setTimeout(20);
    const QStringList lines = exchange(port, {"TD1,?", "SS1,?", "LG1,?"}, 64);
    const QStringList ss1 = only(lines, "SS1"), lg1 = only(lines, "LG1"), td1 = only(lines, "TD1");
    QCOMPARE(ss1.size(), 54);
    QCOMPARE(td1.size(), 1);
    const auto stat = [&](int i) { return ss1.value(i); };

    // One power-up: the uptime, the start counted and the last start logged.
    const quint32 now = quint32(QDateTime::currentDateTimeUtc().toSecsSinceEpoch() - 946684800);
    const quint32 uptime = field(td1.first(), 8);
    const quint32 powerUp = field(stat(18), 4);
    QVERIFY2(qAbs(qint64(now - uptime) - qint64(powerUp)) <= 3, qPrintable(td1.first() + " " + stat(18)));
    QString lastStart;
    for (const QString& e : lg1)
        if (field(e, 2) == 1)
            lastStart = e;
    QCOMPARE(field(lastStart, 4), powerUp);

    // Pack voltage extremes around the pack's own voltage (16 cells near 3.3 V).
    const double minPack = field(stat(13), 2) / 100.0, maxPack = field(stat(14), 2) / 100.0;
    QVERIFY2(minPack > 16 * 2.5 && minPack < 52.8 && maxPack > 52.8 && maxPack < 16 * 3.7,
             qPrintable(QString("%1 %2").arg(minPack).arg(maxPack)));
    // The cell extremes bound the pack's.
    QVERIFY(16 * (field(stat(10), 2) + 200) <= field(stat(13), 2));
    QVERIFY(16 * (field(stat(11), 2) + 200) >= field(stat(14), 2));

    // Counters agree with each other and with the log: every logged charger
    // connection was counted, and so was its disconnection, at the same times.
    int connects = 0, disconnects = 0;
    quint32 lastConnect = 0, lastDisconnect = 0;
    for (const QString& e : lg1) {
        if (field(e, 2) == 22)
            ++connects, lastConnect = field(e, 4);
        if (field(e, 2) == 23)
            ++disconnects, lastDisconnect = field(e, 4);
    }
    QVERIFY(connects >= 1);
    QCOMPARE(connects, disconnects);
    QCOMPARE(field(stat(29), 3), field(stat(30), 3)); // the charger is off now
    QVERIFY(field(stat(29), 3) >= quint32(connects));
    QCOMPARE(field(stat(29), 4), lastConnect);
    QCOMPARE(field(stat(30), 4), lastDisconnect);
    for (int stage : {31, 32, 33, 34, 35})
        QVERIFY2(field(stat(stage), 3) <= field(stat(29), 3), qPrintable(stat(stage)));
}

void TestEmulatedUnit::clearedStatisticsAreNotAvailableRatherThanZero()
{
    EmulatedUnit unit;
    QVERIFY(unit.start());
    SerialPort port;
    port.setPortName(unit.cu().portPath());
    QVERIFY(port.open());
    port.setTimeout(20);
    const QStringList before = only(exchange(port, {"SS1,?"}, 54), "SS1");
    QCOMPARE(before.size(), 54);
    QTRY_COMPARE_WITH_TIMEOUT(unit.statistics().queries("SS1"), 1, 10000);
    const QStringList after = only(exchange(port, {"SS1,c", "SS1,?"}, 54), "SS1");
    QCOMPARE(after.size(), 54);
    // Lifetime totals and the unit-variant byte stay.
    for (int i : {0, 5, 7, 50})
        QCOMPARE(after[i], before[i]);
    // Voltage and temperature extremes: nothing measured since (all "F"),
    // not raw zeros that read as 2.00 V or -100 degC.
    for (int i : {10, 11, 13, 14, 15, 16, 47, 48})
        QCOMPARE(after[i], QString("SS1,%1,FFFFFFFF,FFFFFFFF,FFFFFFFF").arg(i, 2, 16, QChar('0')).toUpper());
    // Currents from 0; counters with no event since; no times.
    QCOMPARE(after[8], QString("SS1,08,0,0,FFFFFFFF"));
    for (int i : {18, 29, 30, 38})
        QCOMPARE(after[i], QString("SS1,%1,0,FFFFFFFF,FFFFFFFF").arg(i, 2, 16, QChar('0')).toUpper());
}

void TestEmulatedUnit::resetIsANewPowerUp()
{
    EmulatedUnit unit;
    QVERIFY(unit.start());
    SerialPort port;
    port.setPortName(unit.cu().portPath());
    QVERIFY(port.open());
    port.setTimeout(20);
    const quint32 startsBefore = unit.statistics().statistic(18).info;
    const int eventsBefore = unit.statistics().events().size();
    // The "#?" goes unanswered: the firmware starts again with its banner.
    QVERIFY(only(exchange(port, {"RS1,"}, 2), "DB1").size() == 1);
    QTRY_COMPARE_WITH_TIMEOUT(unit.statistics().statistic(18).info, startsBefore + 1, 5000);
    const QStringList td1 = only(exchange(port, {"TD1,?"}, 1), "TD1");
    QCOMPARE(td1.size(), 1);
    QVERIFY2(field(td1.first(), 8) < 60, qPrintable(td1.first()));
    const quint32 powerUp = unit.statistics().statistic(18).time;
    const QList<StatisticsSim::Event> events = unit.statistics().events();
    QCOMPARE(events.size(), eventsBefore + 1);
    QCOMPARE(events.last().code, 1);
    QCOMPARE(events.last().time, powerUp);
}

void TestEmulatedUnit::helpNamesPasswordsAndVariants()
{
    const QString help = EmulatedUnit::helpText();
    QVERIFY(help.contains("level 1 \"1111\", level 2 \"2222\""));
    for (const EmulatedUnit::Variant& v : EmulatedUnit::variants())
        QVERIFY2(help.contains(v.name), qPrintable(v.name));
    QCOMPARE(EmulatedUnit::variants().first().name, EmulatedUnit::defaultVariant());

    EmulatedUnit::Options o;
    QString link, error;
    QStringList rest;
    QVERIFY(EmulatedUnit::parseArguments({"--variant", "one-level", "--level", "2", "--no-sensor", "--help"}, &o,
                                         &link, &rest, &error));
    QCOMPARE(o.variant, QString("one-level"));
    QCOMPARE(o.loginLevel, 2);
    QVERIFY(!o.bus.currentSensor);
    QCOMPARE(rest, QStringList{"--help"});
    for (const QStringList& wrong : {QStringList{"--variant", "nine-level"}, QStringList{"--level", "x"},
                                     QStringList{"--cells"}}) {
        QVERIFY(!EmulatedUnit::parseArguments(wrong, &o, &link, &rest, &error));
        QVERIFY(!error.isEmpty());
    }
}

QTEST_GUILESS_MAIN(TestEmulatedUnit)
#include "tst_emulatedunit.moc"
