// The configuration page's file, cache and device actions against the
// control-unit emulator through the real transport and protocol handler.
#include "ConfigFile.h"
#include "ConfigPage.h"
#include "ConfigParam.h"
#include "ConfigParamLoader.h"
#include "FeatureSupportTable.h"
#include "ParamCache.h"
#include "ScriptedPrompter.h"
#include "SentenceMaps.h"
#include "SimLink.h"

#include <QBuffer>
#include <QCheckBox>
#include <QLineEdit>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {


struct Bench
{
    SimLink link;
    CSntcMap map;
    FeatureSupportTable features;
    testkit::ScriptedPrompter prompter;
    std::unique_ptr<ConfigPage> page;
    QTemporaryDir dir;

    bool start()
    {
        link.sim.setVersion("BMS2", "0001E240", "2.1.4");
        for (int id : {0x0004, 0x0C88, 0x1100, 0x1600})
            link.sim.setParam(quint16(id), 0);
        if (!link.start() || !link.waitLinked())
            return false;
        page.reset(new ConfigPage(&map, link.comm, nullptr, &features));
        page->setProtocolHandler(&link.handler);
        page->setPrompter(&prompter);
        page->accessLevel = 2;
        QObject::connect(link.comm, &CommunicatorBase::sigReceivedSentence, page.get(), [this] {
            QString line;
            while (link.handler.getSentence(line))
                page->processSentence(line);
        }, Qt::QueuedConnection);
        for (int id : {0x0004, 0x0C88, 0x1100, 0x1600})
            page->addConfigParam(id, 0);
        page->addConfigParam(0x0011, 0); // never read
        prompter.fileName = dir.filePath("unit.bcf");
        return true;
    }
    // The unit reported these values.
    void show(int id, const QString& value) { page->receiveSentence(QString("CF2,%1,%2").arg(id, 4, 16, QChar('0')).toUpper().arg(value)); }
    QByteArray file() const
    {
        QFile f(prompter.fileName);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    bool received(const QString& prefix) const
    {
        for (const QString& s : link.sim.goodSentences())
            if (s.startsWith(prefix))
                return true;
        return false;
    }
};

} // namespace

class TestConfigPageFileIo : public QObject
{
    Q_OBJECT
private slots:
    // The page machinery alone: no tab declares parameters.
    void initTestCase() { ConfigPage::buildParameterTabs = false; }
    void savedFileLoadsBackIntoTheUnit();
    void savedPasswordsReadBack_data();
    void savedPasswordsReadBack();
    void cacheKeepsOnlyReadValuesAndRestoresThem();
    void unconfirmedRestoreIsReported();
    void actionsSendTheirSentence_data();
    void actionsSendTheirSentence();
    void sensorSocNeedsAValidBaseId();
    void loadQuestionOnceWhileLinked();
};

void TestConfigPageFileIo::savedFileLoadsBackIntoTheUnit()
{
    Bench b;
    QVERIFY(b.start());
    b.show(0x0004, "7B");
    b.show(0x0C88, "FFFFFFFF"); // a check box word without mask
    b.show(0x1600, "00ABCDEF");
    // 0x1100 (calibration) and 0x0011 never answered.
    b.prompter.answers = {QMessageBox::Yes, QMessageBox::Yes, QMessageBox::No};
    b.prompter.ints = {55};
    b.page->slotSaveConfigPressed();
    QCOMPARE(b.file(), QByteArray("BMSCFG\r\nVR1,BMS2,0001E240,2.1.4\r\nCF2,0004,7B\r\nCF2,0C88,FF\r\n"
                                  "CF2,1600,00ABCDEF\r\nSC1,37\r\n"));
    QCOMPARE(QSettings().value("WorkingDirectory").toString(), b.dir.path());

    b.link.sim.clearReceived();
    QVERIFY(b.page->loadConfigFile(b.prompter.fileName));
    QVERIFY2(b.prompter.messages.isEmpty(), qPrintable(b.prompter.messages.join("|")));
    QCOMPARE(b.link.sim.param(0x0004), 0x7Bu);
    QCOMPARE(b.link.sim.param(0x0C88), 0xFFu);
    QCOMPARE(b.link.sim.param(0x1600), 0xABCDEFu);
    QCOMPARE(b.link.sim.rejectedParamWrites(), 0);
    QVERIFY(b.link.sim.waitForSentence("RS1,", 10000));
    QVERIFY(b.received("SC1,37"));
}

void TestConfigPageFileIo::savedPasswordsReadBack_data()
{
    QTest::addColumn<QString>("password");
    QTest::addColumn<bool>("saved");
    QTest::newRow("plain") << "abc12345" << true;
    QTest::newRow("too short") << "abc" << false;
    QTest::newRow("comma") << "ab,cd" << false;
    QTest::newRow("Latin-1 letter") << QString::fromUtf8("p\xC3\xA4sswd") << false;
}

// What the save takes as a password, the load reads back as it was.
void TestConfigPageFileIo::savedPasswordsReadBack()
{
    QFETCH(QString, password);
    QFETCH(bool, saved);
    QCOMPARE(filePasswordErrors(password, password).isEmpty(), saved);
    ConfigFile::Writer writer("VR1,BMS2,0001E240,2.1.4");
    writer.addPasswords(password, password);
    QByteArray bytes = writer.bytes();
    QBuffer buffer(&bytes);
    QVERIFY(buffer.open(QIODevice::ReadOnly | QIODevice::Text));
    ConfigFile::Contents contents;
    QVERIFY(ConfigFile::read(&buffer, "VR1,BMS2,0001E240,2.1.4", &contents));
    if (saved) {
        QCOMPARE(contents.problemCount, 0);
        QCOMPARE(contents.entries.size(), 2);
        QCOMPARE(contents.entries.at(0).parameters, password);
    }
}

void TestConfigPageFileIo::cacheKeepsOnlyReadValuesAndRestoresThem()
{
    Bench b;
    QVERIFY(b.start());
    b.page->setSerialNumberProbe([] { return 0x80000000u; });
    int imports = 0;
    b.page->setStatisticsImport([&imports] { ++imports; });
    QSignalSpy progress(b.page.get(), &ConfigPage::sigFirmwareUpdateProgress);
    b.show(0x0004, "7B");
    b.show(0x0C88, "FFFFFFFF");
    QSettings().setValue("SN -2147483648/CF2,1600", 5); // an earlier save
    b.page->saveParamsToSettings();
    QVERIFY(b.page->cacheRestorePending);
    QCOMPARE(progress.last().at(0).toInt(), 100);
    QCOMPARE(progress.last().at(1).toInt(), 0);
    {
        QSettings s;
        s.beginGroup("SN -2147483648");
        QCOMPARE(s.allKeys(), (QStringList{"CF2,0004", "CF2,0C88"}));
        QCOMPARE(s.value("CF2,0C88").toUInt(), 0xFFFFFFFFu);
    }

    progress.clear();
    b.page->slotLoadConfigurationFromHardDrive();
    QCOMPARE(b.link.sim.param(0x0004), 0x7Bu);
    QCOMPARE(b.link.sim.param(0x0C88), 0xFFu);
    QCOMPARE(b.link.sim.rejectedParamWrites(), 0);
    QCOMPARE(progress.first().at(0).toInt(), 0);
    QCOMPARE(progress.last().at(0).toInt(), 100);
    QCOMPARE(progress.last().at(1).toInt(), 2);
    QVERIFY(QSettings().allKeys().filter("SN -2147483648").isEmpty());
    QCOMPARE(imports, 1);
    QVERIFY(b.link.sim.waitForSentence("RS1,", 10000));
    QVERIFY(b.prompter.messages.isEmpty());
}

void TestConfigPageFileIo::unconfirmedRestoreIsReported()
{
    Bench b;
    QVERIFY(b.start());
    b.page->setSerialNumberProbe([] { return 7u; });
    b.page->setStatisticsImport([] {});
    QSettings().setValue("SN 7/CF2,0004", 0x12);
    QSettings().setValue("SN 7/CF2,0999", 1); // not declared: dropped
    b.link.sim.setParamWritesIgnored(true);
    b.page->slotLoadConfigurationFromHardDrive();
    QCOMPARE(b.prompter.messages.size(), 1);
    QVERIFY(b.prompter.messages.first().contains("CF2,0004,12"));
    QVERIFY(!b.prompter.messages.first().contains("0999"));
    QVERIFY(QSettings().allKeys().filter("SN 7").isEmpty());
    QVERIFY(!b.link.comm->linked);
}

void TestConfigPageFileIo::actionsSendTheirSentence_data()
{
    QTest::addColumn<QString>("slot");
    QTest::addColumn<int>("entered");
    QTest::addColumn<bool>("charging");
    QTest::addColumn<QString>("sentence");
    QTest::addColumn<int>("warnings");
    QTest::newRow("calibrate -99") << "slotCalibratePressed" << -99 << false << "TC1,01" << 0;
    QTest::newRow("calibrate 154") << "slotCalibratePressed" << 154 << false << "TC1,FE" << 0;
    QTest::newRow("calibrate while charging") << "slotCalibratePressed" << 20 << true << "TC1,78" << 1;
    QTest::newRow("soc 0") << "slotSetSOCPressed" << 0 << false << "SC1,00" << 0;
    QTest::newRow("maintenance") << "slotEnterBMSMaintenancePressed" << 0 << false << "CM1,1" << 0;
    QTest::newRow("disable charging, no warning") << "slotDisableChargingPressed" << 0 << true << "CM1,2" << 0;
    QTest::newRow("reset while charging") << "slotResetBMSPressed" << 0 << true << "RS1," << 1;
}

void TestConfigPageFileIo::actionsSendTheirSentence()
{
    QFETCH(QString, slot);
    QFETCH(int, entered);
    QFETCH(bool, charging);
    QFETCH(QString, sentence);
    QFETCH(int, warnings);
    Bench b;
    QVERIFY(b.start());
    b.page->configurationLoaded = true;
    b.page->receiveSentence(charging ? "CS1,01" : "CS1,00");
    b.prompter.ints = {entered};
    b.prompter.answers = {QMessageBox::Yes};
    b.link.sim.clearReceived();
    QVERIFY(QMetaObject::invokeMethod(b.page.get(), slot.toLatin1().constData()));
    QVERIFY(b.link.sim.waitForSentence(sentence, 10000));
    QCOMPARE(b.prompter.messages.size(), warnings);
}

void TestConfigPageFileIo::sensorSocNeedsAValidBaseId()
{
    Bench b;
    QVERIFY(b.start());
    QLineEdit base;
    QCheckBox analog;
    b.page->deviceBaseIdEdit = &base;
    b.page->analogCurrentSensorBox = &analog;
    QList<QList<int>> frames;
    b.page->setCurrentSensorSocSender([&frames](quint16 id, bool extended, int soc) {
        frames << QList<int>{id, extended, soc};
    });
    base.setText("0x0100");
    b.prompter.ints = {0, 40};
    b.page->slotSetSOCPressed();
    QCOMPARE(frames, (QList<QList<int>>{{0x100, 0, 0}}));
    // No frame to CAN id 0 for a base the user mistyped.
    base.setText("0xZZ");
    b.page->slotSetSOCPressed();
    QCOMPARE(frames.size(), 1);
    QCOMPARE(b.prompter.messages.size(), 1);
    QVERIFY(b.link.sim.waitForSentence("SC1,28", 10000));
}

void TestConfigPageFileIo::loadQuestionOnceWhileLinked()
{
    Bench b;
    QVERIFY(b.start());
    b.link.sim.setParam(0x0011, 3);
    b.page->setConnected(true);
    QVERIFY(b.page->loadQuestion() && b.page->loadQuestion()->isVisible());
    QMessageBox* box = b.page->loadQuestion();
    b.page->setConnected(true);
    QCOMPARE(b.page->loadQuestion(), box);
    // Link lost: the question goes, nothing is loaded.
    b.page->setConnected(false);
    QVERIFY(!box->isVisible());
    QVERIFY(!b.page->paramLoader);
    // The page is not offered a load before the window reports the link
    // again, even with the transport already linked.
    b.page->slotCurrentPageChanged(2);
    QVERIFY(!box->isVisible());
    // Yes reads the parameters; a loaded page is not asked again.
    b.page->setConnected(true);
    QVERIFY(box->isVisible());
    box->done(QMessageBox::Yes);
    QTRY_VERIFY_WITH_TIMEOUT(b.page->configurationLoaded, 10000);
    QVERIFY(b.page->isConnected());
    QVERIFY(b.page->paramSlot(0x1600)->valid);
    b.page->slotCurrentPageChanged(2);
    QVERIFY(!box->isVisible());
}

QTEST_MAIN(TestConfigPageFileIo)
#include "tst_configpage_fileio.moc"
