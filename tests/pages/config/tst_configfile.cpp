// The ".bcf" format and the per-serial cache names, without a page.
#include "ConfigFile.h"
#include "ParamCache.h"

#include <QBuffer>
#include <QSettings>
#include <QTest>

class TestConfigFile : public QObject
{
    Q_OBJECT
private slots:
    void paramLineFollowsTheIdsWidth_data();
    void paramLineFollowsTheIdsWidth();
    void writerOrdersTheLines();
    void readRefuses_data();
    void readRefuses();
    void readKeepsASoundFile();
    void aLargeDamagedFileIsCountedWhole();
    void cacheNamesAndLifetime();
};

void TestConfigFile::paramLineFollowsTheIdsWidth_data()
{
    QTest::addColumn<int>("id");
    QTest::addColumn<quint32>("value");
    QTest::addColumn<QString>("line");
    QTest::newRow("byte") << 0x0C02 << 3u << "CF2,0C02,03";
    // A check box without mask holds all ones: the unit echoes the byte.
    QTest::newRow("byte of all ones") << 0x0C88 << 0xFFFFFFFFu << "CF2,0C88,FF";
    QTest::newRow("16-bit") << 0x1100 << 0x12345u << "CF2,1100,2345";
    QTest::newRow("32-bit") << 0x1600 << 0xABCDEFu << "CF2,1600,00ABCDEF";
    QTest::newRow("width code 3") << 0x0300 << 1u << "";
}

void TestConfigFile::paramLineFollowsTheIdsWidth()
{
    QFETCH(int, id);
    QFETCH(quint32, value);
    QFETCH(QString, line);
    QCOMPARE(ConfigFile::paramLine(id, value), line);
}

void TestConfigFile::writerOrdersTheLines()
{
    ConfigFile::Writer w("VR1,BMS2,0001E240,2.1.4");
    w.addParam(0x0004, 0x7B);
    w.addParam(0x0300, 1); // never written
    w.addStateOfCharge(100);
    w.addPasswords("l2pass", "l1pass");
    QCOMPARE(w.bytes(), QByteArray("BMSCFG\r\nVR1,BMS2,0001E240,2.1.4\r\nCF2,0004,7B\r\nSC1,64\r\n"
                                   "PW2,l2pass\r\nPW2,l1pass\r\n"));
}

void TestConfigFile::readRefuses_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("header only") << QByteArray("BMSCFG\r\n");
    QTest::newRow("no header") << QByteArray("VR1,BMS2,1,2.1.4\r\nCF2,0004,7B\r\n");
    QTest::newRow("other hardware kind") << QByteArray("BMSCFG\r\nVR1,BMS1,1,2.1.4\r\nCF2,0004,7B\r\n");
    QTest::newRow("short version line") << QByteArray("BMSCFG\r\nVR1,BMS\r\n");
}

void TestConfigFile::readRefuses()
{
    QFETCH(QByteArray, file);
    QBuffer buffer(&file);
    QVERIFY(buffer.open(QIODevice::ReadOnly | QIODevice::Text));
    ConfigFile::Contents contents;
    QVERIFY(!ConfigFile::read(&buffer, "VR1,BMS2,0001E240,2.1.4", &contents));
}

void TestConfigFile::readKeepsASoundFile()
{
    QByteArray file("\xEF\xBB\xBF" // an editor's byte order mark
                    "BMSCFG\r\n"
                    "VR1,BMS2,00000001,2.0.9\r\n" // another firmware and serial: accepted
                    "\r\n"
                    "# comment\r\n"
                    "CF2,0004,7B\r\n"
                    "CF2,1100,ffff\n"
                    "CF2,1600,00ABCDEF\r\n"
                    "SC1,64\r\n"
                    "PW2,secret\r\n"
                    "PW2,\r\n");
    QBuffer buffer(&file);
    QVERIFY(buffer.open(QIODevice::ReadOnly | QIODevice::Text));
    ConfigFile::Contents contents;
    QVERIFY(ConfigFile::read(&buffer, "VR1,BMS2,0001E240,2.1.4", &contents));
    QCOMPARE(contents.problemCount, 0);
    QCOMPARE(contents.lineCount, 10);
    QCOMPARE(contents.entries.size(), 6);
    const ConfigFile::Entry& first = contents.entries.at(0);
    QCOMPARE(first.kind, ConfigFile::Entry::Param);
    QCOMPARE(first.lineNumber, 5);
    QCOMPARE(first.id, 0x0004);
    QCOMPARE(first.valueText, QString("7B"));
    QCOMPARE(first.name, QString("CF2,"));
    QCOMPARE(first.parameters, QString("0004,7B"));
    QCOMPARE(contents.entries.at(1).valueText, QString("ffff"));
    QCOMPARE(contents.entries.at(2).id, 0x1600);
    QCOMPARE(contents.entries.at(3).kind, ConfigFile::Entry::StateOfCharge);
    QCOMPARE(contents.entries.at(3).line, QString("SC1,64"));
    QCOMPARE(contents.entries.at(4).kind, ConfigFile::Entry::Password);
    QCOMPARE(contents.entries.at(4).parameters, QString("secret"));
    QCOMPARE(contents.entries.at(5).parameters, QString());
    QCOMPARE(contents.entries.at(5).lineNumber, 10);
}

void TestConfigFile::aLargeDamagedFileIsCountedWhole()
{
    QByteArray file("BMSCFG\r\nVR1,BMS2,1,2.1.4\r\n");
    for (int i = 0; i < 200; ++i)
        file += "CF2,0004,7B junk\r\n";
    QBuffer buffer(&file);
    QVERIFY(buffer.open(QIODevice::ReadOnly | QIODevice::Text));
    ConfigFile::Contents contents;
    QVERIFY(ConfigFile::read(&buffer, "VR1,BMS2,0001E240,2.1.4", &contents));
    QVERIFY(contents.entries.isEmpty());
    QCOMPARE(contents.problemCount, 200);
    QCOMPARE(contents.problems.size(), ConfigFile::Contents::kMaxProblems);
    const QStringList lines = ConfigFile::describeProblems(contents).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 16);
    QCOMPARE(lines.first(), QString("line 3: CF2,0004,7B junk: the value is not hexadecimal digits"));
    QCOMPARE(lines.last(), QString("and 185 more damaged lines"));
}

void TestConfigFile::cacheNamesAndLifetime()
{
    QCOMPARE(ParamCache::key(0, 0x0C02), QString("SN 0/CF2,0C02"));
    QCOMPARE(ParamCache::key(0x80000000u, 0x1600), QString("SN -2147483648/CF2,1600"));
    QCOMPARE(ParamCache::groupName(123456), QString("SN 123456"));

    QSettings s;
    s.setValue("SN 7/other", 1);
    s.setValue("SN 8/CF2,0004", 9);
    ParamCache::save(s, 7, {{0x0004, 0x7B}, {0x1600, 0xFFFFFFFFu}});
    // A later save replaces the earlier values of the unit only.
    ParamCache::save(s, 7, {{0x1600, 0x12}});
    QList<ParamCache::Value> v = ParamCache::load(s, 7);
    QCOMPARE(v.size(), 1);
    QCOMPARE(v.at(0).id, 0x1600);
    QCOMPARE(v.at(0).value, 0x12u);
    s.setValue("SN 7/CF2,zz", 1);
    QCOMPARE(ParamCache::storedCount(s, 7), 2);
    QCOMPARE(ParamCache::load(s, 7).size(), 1);
    ParamCache::remove(s, 7);
    QVERIFY(!s.contains("SN 7/other"));
    QCOMPARE(ParamCache::storedCount(s, 7), 0);
    QCOMPARE(s.value("SN 8/CF2,0004").toInt(), 9);
}

QTEST_GUILESS_MAIN(TestConfigFile)
#include "tst_configfile.moc"
