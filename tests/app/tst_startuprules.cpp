// Start-up and link-status rules: splash and window geometry, command line,
// titles, charging state, style sheet and the URL-scheme entry.
#include "FeatureSupportTable.h"
#include "MainWindowServices.h"
#include "StartupRules.h"
#include "StatisticsLogic.h"
#include "UriScheme.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

class TestStartupRules : public QObject
{
    Q_OBJECT
private slots:
    void splashIsCentredSquare_data();
    void splashIsCentredSquare();
    void firstShowFitsTheScreen_data();
    void firstShowFitsTheScreen();
    void commandLine_data();
    void commandLine();
    void uriWithoutColonOnlyTellsTheDebugOutput();
    void titles_data();
    void titles();
    void connectingDotsCount();
    void chargingState_data();
    void chargingState();
    void styleSheetIsReadUpToNulAndMissingOneIsReported();
    void lastStatisticsIndexFollowsFirmware_data();
    void lastStatisticsIndexFollowsFirmware();
    void startRegistersTheSchemeInTheUsersHome();
};

void TestStartupRules::splashIsCentredSquare_data()
{
    QTest::addColumn<QSize>("screen");
    QTest::addColumn<QRect>("splash");
    QTest::newRow("1920x1080") << QSize(1920, 1080) << QRect(720, 300, 480, 480);
    QTest::newRow("1366x768") << QSize(1366, 768) << QRect(512, 213, 341, 341);
    QTest::newRow("portrait 1080x1920") << QSize(1080, 1920) << QRect(300, 720, 480, 480);
}

void TestStartupRules::splashIsCentredSquare()
{
    QFETCH(QSize, screen);
    QFETCH(QRect, splash);
    QCOMPARE(splashGeometry(screen), splash);
}

void TestStartupRules::firstShowFitsTheScreen_data()
{
    QTest::addColumn<QSize>("hint");
    QTest::addColumn<QSize>("screen");
    QTest::addColumn<QRect>("window");
    QTest::newRow("taller than the screen") << QSize(1400, 900) << QSize(1600, 900) << QRect(80, 0, 1400, 840);
    QTest::newRow("fits") << QSize(1000, 700) << QSize(1920, 1080) << QRect(440, 160, 1000, 700);
    QTest::newRow("wider than the screen") << QSize(2000, 505) << QSize(1366, 768) << QRect(0, 101, 1326, 505);
}

void TestStartupRules::firstShowFitsTheScreen()
{
    QFETCH(QSize, hint);
    QFETCH(QSize, screen);
    QFETCH(QRect, window);
    QCOMPARE(fitWindowGeometry(hint, screen), window);
}

void TestStartupRules::commandLine_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<bool>("factory");
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("second");
    const QString p = "/usr/bin/bms-gui";
    QTest::newRow("nothing") << QStringList{p} << false << "" << "";
    QTest::newRow("-m last") << QStringList{p, "x", "-m"} << true << "" << "";
    QTest::newRow("-m first") << QStringList{p, "-m", "y"} << true << "" << "";
    QTest::newRow("upper-case M") << QStringList{p, "-M"} << false << "" << "";
    QTest::newRow("-uri last is ignored") << QStringList{p, "-uri"} << false << "" << "";
    QTest::newRow("one colon") << QStringList{p, "-uri", "rmskepo:open"} << false << "rmskepo" << "open";
    QTest::newRow("two colons") << QStringList{p, "-uri", "rmskepo:sn:123"} << false << "sn" << "123";
    QTest::newRow("three colons") << QStringList{p, "-uri", "a:b:c:d"} << false << "" << "";
    QTest::newRow("value is also an argument") << QStringList{p, "-uri", "-m"} << true << "" << "";
}

void TestStartupRules::commandLine()
{
    QFETCH(QStringList, args);
    QFETCH(bool, factory);
    QFETCH(QString, first);
    QFETCH(QString, second);
    g_factoryMode = false;
    g_uriFirst.clear();
    g_uriSecond.clear();
    if (args.contains("-uri") && args.indexOf("-uri") + 1 < args.size()
        && !args.at(args.indexOf("-uri") + 1).contains(':'))
        QTest::ignoreMessage(QtDebugMsg, "Wrong uri string");
    parseCommandLine(args);
    QCOMPARE(g_factoryMode, factory);
    QCOMPARE(g_uriFirst, first);
    QCOMPARE(g_uriSecond, second);
}

void TestStartupRules::uriWithoutColonOnlyTellsTheDebugOutput()
{
    g_uriFirst = "kept";
    QTest::ignoreMessage(QtDebugMsg, "Wrong uri string");
    parseUri("rmskepo");
    QCOMPARE(g_uriFirst, QString("kept"));
}

void TestStartupRules::titles_data()
{
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("expected");
    QTest::newRow("linked") << windowTitleFor(linkedTitle("COM3", "0001E240", "2.1.4.2"))
                            << "COM3: BMS SN:123456 ver.:2.1.4.2 - KEPO BMS Dadevoz Arezi";
    // The serial is unsigned: the high bit does not make it 0.
    QTest::newRow("serial with the high bit") << linkedTitle("COM3", "80000000", "2.2.0")
                                              << "COM3: BMS SN:2147483648 ver.:2.2.0";
    QTest::newRow("largest serial") << linkedTitle("COM3", "FFFFFFFE", "2.2.0") << "COM3: BMS SN:4294967294 ver.:2.2.0";
    QTest::newRow("unreadable serial") << linkedTitle("COM3", "XYZ", "2.2.0") << "COM3: BMS SN:0 ver.:2.2.0";
    QTest::newRow("bootloader") << windowTitleFor(bootloaderTitle("/dev/ttyUSB0"))
                                << "/dev/ttyUSB0: BMS in bootloader mode - KEPO BMS Dadevoz Arezi";
    QTest::newRow("port entry") << titlePortText("COM3 - USB Serial Port") << "COM3";
    QTest::newRow("path with a dash") << titlePortText("/tmp/run-1/ttyBMS0 - USB Serial Port") << "/tmp/run-1/ttyBMS0";
    QTest::newRow("bare path") << titlePortText("/dev/serial/by-id/usb-FTDI-if00") << "/dev/serial/by-id/usb-FTDI-if00";
}

void TestStartupRules::titles()
{
    QFETCH(QString, title);
    QFETCH(QString, expected);
    QCOMPARE(title, expected);
}

void TestStartupRules::connectingDotsCount()
{
    QCOMPARE(connectingTitle(0), QString("Trying to connect     "));
    QCOMPARE(connectingTitle(2), QString("Trying to connect..   "));
    QCOMPARE(connectingTitle(4), QString("Trying to connect.... "));
    QCOMPARE(windowTitleFor(connectingTitle(1)), QString("Trying to connect.     - KEPO BMS Dadevoz Arezi"));
}

void TestStartupRules::chargingState_data()
{
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<bool>("charging");
    QTest::newRow("CS1 01") << QStringList{"CS1,01"} << true;
    QTest::newRow("CS1 00 clears") << QStringList{"CS1,01", "CS1,00"} << false;
    QTest::newRow("CS2 00 leaves charging") << QStringList{"CS1,01", "CS2,00"} << true;
    QTest::newRow("CS3 01 sets") << QStringList{"CS1,00", "CS3,01"} << true;
    QTest::newRow("CS4 01 sets") << QStringList{"CS4,01"} << true;
    QTest::newRow("CS5 ignored") << QStringList{"CS1,01", "CS5,00"} << true;
    QTest::newRow("CS1 without field clears") << QStringList{"CS1,01", "CS1"} << false;
}

void TestStartupRules::chargingState()
{
    QFETCH(QStringList, lines);
    QFETCH(bool, charging);
    bool state = false;
    for (const QString& l : lines)
        state = chargingAfterCsLine(l, state);
    QCOMPARE(state, charging);
}

void TestStartupRules::styleSheetIsReadUpToNulAndMissingOneIsReported()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("style.css");
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(QByteArray("QWidget { color: red; }\0garbage", 31));
    f.close();
    QString css;
    QVERIFY(readStyleSheet(path, &css));
    QCOMPARE(css, QString("QWidget { color: red; }"));
    QVERIFY(!readStyleSheet(dir.filePath("missing.css"), &css));
}

namespace {
// A unit that reports its features itself.
class Bitmap : public FeatureBitmapSource
{
public:
    explicit Bitmap(QList<int> ids) : ids_(std::move(ids)) {}
    bool isFeatureBitmapValid() const override { return true; }
    bool featureBitmapWord(int index, uint32_t* word) const override
    {
        *word = 0;
        for (int id : ids_)
            if (id / 32 == index)
                *word |= 1u << (id % 32);
        return index < 8;
    }

private:
    QList<int> ids_;
};
} // namespace

void TestStartupRules::lastStatisticsIndexFollowsFirmware_data()
{
    QTest::addColumn<QList<int>>("features");
    QTest::addColumn<QString>("version");
    QTest::addColumn<int>("last");
    QTest::newRow("72") << QList<int>{72, 19, 62, 96} << "2.5.0" << 0x35;
    QTest::newRow("19") << QList<int>{19, 62} << "2.5.0" << 0x34;
    QTest::newRow("62") << QList<int>{62, 96} << "2.5.0" << 0x31;
    QTest::newRow("96") << QList<int>{96} << "2.1.2" << 0x2C;
    QTest::newRow("96 on 2.1.0_RC1") << QList<int>{96} << "2.1.0_RC1" << 0x27;
    QTest::newRow("none") << QList<int>{1} << "2.0.0" << 0x27;
}

void TestStartupRules::lastStatisticsIndexFollowsFirmware()
{
    QFETCH(QList<int>, features);
    QFETCH(QString, version);
    QFETCH(int, last);
    Bitmap bitmap(features);
    FeatureSupportTable table(&bitmap);
    QCOMPARE(StatisticsLogic::lastSs1Index(table, version), last);
}

void TestStartupRules::startRegistersTheSchemeInTheUsersHome()
{
    // The test runs with its own HOME and XDG folders.
    QVERIFY(!qEnvironmentVariableIsEmpty("BMS_TEST_HOME"));
    registerUriScheme(QCoreApplication::applicationFilePath());
    QFile entry(QDir(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation))
                    .filePath(QString("applications/") + kUriSchemeDesktopFile));
    QVERIFY(entry.fileName().startsWith(qEnvironmentVariable("BMS_TEST_HOME")));
    QVERIFY(entry.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(entry.readAll());
    QVERIFY2(text.contains("Exec=\"" + QCoreApplication::applicationFilePath() + "\" -uri %u"), qPrintable(text));
    QVERIFY(text.contains("x-scheme-handler/rmskepo"));
}

QTEST_GUILESS_MAIN(TestStartupRules)
#include "tst_startuprules.moc"
