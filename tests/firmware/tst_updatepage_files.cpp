// The Update page opening image files: the dialog's folder, the messages,
// and what the page keeps.
#include "Communicator.h"
#include "HeldBox.h"
#include "SentenceMaps.h"
#include "TestImages.h"
#include "TestServices.h"
#include "UpdatePage.h"
#include "Y5ProtocolHandler.h"

#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

using namespace TestImages;

namespace {

// A handler that reports the device kind a test gives it.
struct KindHandler : Y5ProtocolHandler
{
    using Y5ProtocolHandler::Y5ProtocolHandler;
    void setKind(const QString& kind)
    {
        setVersionFields("VR1," + kind + ",0001E240,2.8.0", kind, "0001E240", "2.8.0");
    }
};

struct Services : TestServices
{
    quint32 serial = 123456;
    quint32 bmsSerialNumber() const override { return serial; }
};

// A page with scripted dialogs: the next file to choose and the messages.
struct PageRig
{
    QTemporaryDir dir;
    Communicator comm;
    KindHandler handler{&comm};
    Services services;
    CSntcMap map;
    UpdatePage page{&map, &comm, nullptr, nullptr};
    QString nextFile;
    QStringList startDirs;
    QStringList messages;

    PageRig()
    {
        services.handler = &handler;
        g_mainWindow = &services;
        page.chooseFile = [this](QWidget*, const QString& start) {
            testkit::holdLikeABox();
            startDirs << start;
            return nextFile;
        };
        page.showMessage = [this](QWidget*, const QString& text) {
            testkit::holdLikeABox();
            messages << text;
        };
        page.canDeviceDescriber = [](quint32 code) { return QString("device %1").arg(code, 0, 16); };
    }
    ~PageRig() { g_mainWindow = nullptr; }

    QString write(const QString& name, const QByteArray& bytes)
    {
        QFile f(dir.filePath(name));
        if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
            qFatal("cannot write a test file");
        return f.fileName();
    }
};

const QByteArray kFw = frame("\x01\x02\x03");

} // namespace

class TestUpdatePageFiles : public QObject
{
    Q_OBJECT
private slots:
    void init() { QSettings().clear(); }
    void controlUnitImageLoaded();
    void controlUnitFailuresReset_data();
    void controlUnitFailuresReset();
    void canImage();
};

void TestUpdatePageFiles::controlUnitImageLoaded()
{
    PageRig rig;
    rig.handler.setKind("BMS2");
    rig.page.connectionStatusChanged(true);
    rig.nextFile = rig.write("unit.hex", legacyFile({"BMS2", "2.8.1", bigEndian32(77), "\x01\x02\x03"}));

    rig.page.slotOpenFirmwareFileClicked(false);
    QVERIFY(rig.messages.isEmpty());
    QCOMPARE(rig.page.fileValue->text(), rig.nextFile);
    QCOMPARE(rig.page.versionValue->text(), QString("2.8.1"));
    QCOMPARE(rig.page.targetSerialValue->text(), QString("77"));
    QVERIFY(rig.page.releaseDateValue->isHidden());
    QCOMPARE(rig.page.controlUnitImage, kFw);
    QCOMPARE(rig.page.controlUnitImageVersion, QString("2.8.1"));
    QVERIFY(rig.page.startUpdateButton->isEnabled());
    // The dialog starts where the last file was chosen.
    QCOMPARE(QSettings().value("WorkingDirectory").toString(), rig.dir.path());

    // A SHA-1 image for a Y5.5 unit shows its release date.
    rig.handler.setKind("BMS3");
    Sha1Image img;
    img.records = versionRecord("3.0.1") + dateRecord(2025, 7, 4);
    rig.nextFile = rig.write("unit.bin", img.build());
    rig.page.slotOpenFirmwareFileClicked(false);
    QCOMPARE(rig.startDirs.last(), rig.dir.path());
    QVERIFY(rig.messages.isEmpty());
    QCOMPARE(rig.page.versionValue->text(), QString("v3.0.1"));
    QCOMPARE(rig.page.releaseDateValue->text(), QString("2025.07.04"));
    QVERIFY(!rig.page.releaseDateValue->isHidden());
    QVERIFY(!rig.page.releaseDateCaption->isHidden());
    QCOMPARE(rig.page.targetSerialValue->text(), QString("Any"));
    QCOMPARE(rig.page.controlUnitImage, img.build());

    // No file chosen: nothing changes.
    rig.nextFile.clear();
    rig.page.slotOpenFirmwareFileClicked(false);
    QCOMPARE(rig.page.controlUnitImage, img.build());
    QVERIFY(rig.messages.isEmpty());
}

void TestUpdatePageFiles::controlUnitFailuresReset_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QByteArray>("file"); // empty: a path that cannot be opened
    QTest::addColumn<QString>("message");

    Sha1Image locked;
    locked.records = versionRecord("3.0.1") + serialRecord(99);
    QTest::newRow("cannot be opened") << "BMS2" << QByteArray() << "Could not open the file!";
    QTest::newRow("locked to another unit") << "BMS3" << locked.build()
                                            << "The firmware is for Control Unit Y5.5 with serial number 99 !";
    QTest::newRow("SHA-1 image for a BMS2") << "BMS2" << locked.build() << "The firmware is for Control Unit Y5.5!";
    QTest::newRow("another device kind") << "BMS1" << legacyFile({"BMS2", "2.8.1", "", "x"})
                                         << "The firmware is for different device!";
    QTest::newRow("line break at the end") << "BMS2" << legacyFile({"BMS2", "2.8.1", "", "x"}) + "\r\n"
                                           << "Bad file format!";
}

void TestUpdatePageFiles::controlUnitFailuresReset()
{
    QFETCH(QString, kind);
    QFETCH(QByteArray, file);
    QFETCH(QString, message);

    PageRig rig;
    rig.page.connectionStatusChanged(true);
    rig.handler.setKind("BMS2");
    rig.nextFile = rig.write("good.hex", legacyFile({"BMS2", "2.8.1", "", "\x01\x02\x03"}));
    rig.page.slotOpenFirmwareFileClicked(false);
    QVERIFY(rig.page.startUpdateButton->isEnabled());

    rig.handler.setKind(kind);
    rig.nextFile = file.isEmpty() ? rig.dir.filePath("missing/none.hex") : rig.write("bad.bin", file);
    rig.page.slotOpenFirmwareFileClicked(false);
    QCOMPARE(rig.messages, QStringList{message});
    // Nothing of the earlier image is left to start.
    QVERIFY(rig.page.controlUnitImage.isEmpty());
    QVERIFY(!rig.page.startUpdateButton->isEnabled());
    QVERIFY(rig.page.fileValue->text().isEmpty());
    QVERIFY(rig.page.versionValue->text().isEmpty());
    QVERIFY(rig.page.targetSerialValue->text().isEmpty());
    QVERIFY(rig.page.releaseDateValue->isHidden());
}

void TestUpdatePageFiles::canImage()
{
    PageRig rig;
    const QByteArray r1 = ":0400000001020304F2", eof = ":00000001FF";
    rig.nextFile = rig.write("dev.hex", "$7$15\r\n" + r1 + "\r\n" + eof + "\r\n");
    rig.page.slotCanDevicesOpenFirmware();
    QVERIFY(rig.page.canImageLoaded);
    QVERIFY(rig.messages.isEmpty());
    QCOMPARE(rig.page.canImage, r1 + eof);
    QCOMPARE(int(rig.page.canProductCode), 7);
    QCOMPARE(rig.page.targetDeviceValue->text(), QString("device 7"));
    QCOMPARE(rig.page.canVersionValue->text(), QString("2.1"));
    QCOMPARE(rig.page.canFileValue->text(), rig.nextFile);
    QVERIFY(rig.page.canReleaseDateValue->isHidden());

    // Neither a record file nor an image: the page keeps what it had.
    rig.nextFile = rig.write("junk.bin", QByteArray(100, 'z'));
    rig.page.slotCanDevicesOpenFirmware();
    QVERIFY(!rig.page.canImageLoaded);
    QCOMPARE(rig.messages, QStringList{"Wrong file specified!"});
    QCOMPARE(rig.page.canImage, r1 + eof);
    QCOMPARE(rig.page.canVersionValue->text(), QString("2.1"));

    // A header without records is refused at open, from the button: nothing
    // is left that an update could start with and never finish.
    rig.messages.clear();
    rig.nextFile = rig.write("empty.hex", "$7$15\r\n");
    QTest::mouseClick(rig.page.openCanFirmwareButton, Qt::LeftButton);
    QCOMPARE(rig.messages, QStringList{"The file holds no firmware!"});
    QVERIFY(!rig.page.canImageLoaded);
    QVERIFY(rig.page.canImage.isEmpty());
    QVERIFY(!rig.page.updateFirmwareButton->isEnabled());
    QVERIFY(rig.page.targetDeviceValue->text().isEmpty());

    // Two refused lines: two messages, not loaded, target and version emptied.
    rig.messages.clear();
    rig.nextFile = rig.write("bad.hex", "$7$15\r\nshort\r\n" + r1 + "\r\nnone\r\n");
    rig.page.slotCanDevicesOpenFirmware();
    QVERIFY(!rig.page.canImageLoaded);
    QCOMPARE(rig.messages.size(), 2);
    QVERIFY(rig.page.targetDeviceValue->text().isEmpty());
    QVERIFY(rig.page.canVersionValue->text().isEmpty());
}

QTEST_MAIN(TestUpdatePageFiles)
#include "tst_updatepage_files.moc"
