// Opening firmware image files: SHA-1 images, legacy frame images and CAN
// record files, with every message the user can get.
#include "FirmwareImage.h"
#include "ImageFiles.h"
#include "TestImages.h"

#include <QBuffer>
#include <QTest>

using namespace TestImages;

Q_DECLARE_METATYPE(CanImageFile::Outcome)

namespace {

QByteArray sha1File(const QByteArray& records, quint32 product = 0x120)
{
    Sha1Image img;
    img.records = records;
    img.product = product;
    return img.build();
}

const QByteArray kMeta = versionRecord("1.2.3") + dateRecord(2024, 3, 15);

} // namespace

class TestFirmwareImages : public QObject
{
    Q_OBJECT
private slots:
    void digestCheck_data();
    void digestCheck();
    void metadataFields();
    void controlUnitImage_data();
    void controlUnitImage();
    void canImage_data();
    void canImage();
};

void TestFirmwareImages::digestCheck_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<qint64>("position");
    QTest::addColumn<bool>("valid");

    const QByteArray good = sha1File(kMeta);
    QByteArray flipped = good;
    flipped[good.size() - 1] = char(flipped[good.size() - 1] ^ 0x01);
    QByteArray badDigest = good;
    badDigest[3] = char(badDigest[3] ^ 0x80);
    QTest::newRow("valid, from the start") << good << qint64(0) << true;
    QTest::newRow("valid, from the middle") << good << qint64(37) << true;
    QTest::newRow("payload bit flipped") << flipped << qint64(0) << false;
    QTest::newRow("digest bit flipped") << badDigest << qint64(5) << false;
    QTest::newRow("empty file") << QByteArray() << qint64(0) << false;
    // 20 zero bytes would be the digest's padding of a short file; the SHA-1
    // of nothing is not zero, so it is still refused.
    QTest::newRow("shorter than a digest") << QByteArray(7, '\0') << qint64(3) << false;
}

void TestFirmwareImages::digestCheck()
{
    QFETCH(QByteArray, file);
    QFETCH(qint64, position);
    QFETCH(bool, valid);
    QBuffer buffer(&file);
    QVERIFY(buffer.open(QIODevice::ReadOnly));
    QVERIFY(buffer.seek(position));
    QCOMPARE(isFirmwareFileValid(buffer), valid);
    QCOMPARE(buffer.pos(), position);
}

void TestFirmwareImages::metadataFields()
{
    // Later version records win; unknown types and wrong-length dates and
    // serials are skipped by their length.
    const QByteArray records = versionRecord("0.9") + record(9, "skip me") + record(2, "abc")
        + serialRecord(0x01020304) + versionRecord("2.10.4") + record(4, "12345") + dateRecord(2023, 12, 31);
    QByteArray file = sha1File(records, 0x00ABCDE7);
    QBuffer buffer(&file);
    QVERIFY(buffer.open(QIODevice::ReadOnly));
    QVERIFY(buffer.seek(11));
    bool ok = false;
    const FirmwareMetadata m = readFirmwareMetadata(buffer, &ok);
    QVERIFY(ok);
    QCOMPARE(buffer.pos(), qint64(11));
    QCOMPARE(m.versionText, QString("2.10.4"));
    QCOMPARE(m.serialLock, 0x01020304u);
    QCOMPARE(m.releaseDate, quint32(2023) | (12u << 16) | (31u << 24));
    QCOMPARE(m.productWord, 0x00ABCDE7u);
    QCOMPARE(m.productGroup, 0x000ABCDEu);
    QCOMPARE(int(m.productVariant), 7);

    // Scrambling is its own inverse and uses K's bytes low first.
    QByteArray block("\x00\x00\x00\x00\x00", 5);
    scrambleMetadata(block, 0x44332211);
    QCOMPARE(block, QByteArray("\x11\x22\x33\x44\x11", 5));
    scrambleMetadata(block, 0x44332211);
    QCOMPARE(block, QByteArray(5, '\0'));

    // Lengths a crafted file may carry: never read past block or file.
    struct Bad
    {
        const char* name;
        qint64 lengthWord;
        QByteArray records;
    };
    const QList<Bad> bad = {
        {"block longer than the file", 0x7FFFFFF0, kMeta},
        {"negative block length", 2, kMeta},
        {"record runs past the block", -1, kMeta + QByteArray("\x01\xFF\x00", 3) + "ab"},
    };
    for (const Bad& b : bad) {
        Sha1Image img;
        img.records = b.records;
        img.lengthWord = b.lengthWord;
        QByteArray f = img.build();
        QBuffer buf(&f);
        QVERIFY(buf.open(QIODevice::ReadOnly));
        bool fine = true;
        readFirmwareMetadata(buf, &fine);
        QVERIFY2(!fine, b.name);
        QCOMPARE(buf.pos(), qint64(0));
    }
}

void TestFirmwareImages::controlUnitImage_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<uint>("unitSerial");
    QTest::addColumn<QString>("message"); // empty: loads
    QTest::addColumn<bool>("translated");
    QTest::addColumn<QString>("version");
    QTest::addColumn<QString>("serial");
    QTest::addColumn<QString>("date");    // empty: release date hidden
    QTest::addColumn<QByteArray>("image");

    const QString notY55 = "The firmware is for Control Unit Y5.5!";
    const QString bad = "Bad file format!";
    const QString other = "The firmware is for different device!";

    const QByteArray any = sha1File(kMeta);
    QTest::newRow("SHA-1, no serial record") << any << "BMS3" << 777u << "" << false << "v1.2.3" << "Any"
                                             << "2024.03.15" << any;
    const QByteArray zero = sha1File(kMeta + serialRecord(0));
    QTest::newRow("SHA-1, serial lock 0") << zero << "BMS3" << 777u << "" << false << "v1.2.3" << "Any"
                                          << "2024.03.15" << zero;
    const QByteArray locked = sha1File(kMeta + serialRecord(123456));
    QTest::newRow("SHA-1, locked to this unit") << locked << "BMS3" << 123456u << "" << false << "v1.2.3"
                                                << "123456" << "2024.03.15" << locked;
    QTest::newRow("SHA-1, locked to another unit")
        << locked << "BMS3" << 123457u << "The firmware is for Control Unit Y5.5 with serial number 123456 !"
        << false << "" << "" << "" << QByteArray();
    QTest::newRow("SHA-1, unit not BMS3") << any << "BMS2" << 777u << notY55 << true << "" << "" << ""
                                          << QByteArray();
    QTest::newRow("SHA-1, kind differs in case") << any << "bms3" << 777u << notY55 << true << "" << "" << ""
                                                 << QByteArray();
    const QByteArray noDate = sha1File(versionRecord("4.0"));
    QTest::newRow("SHA-1, no date record") << noDate << "BMS3" << 1u << "" << false << "v4.0" << "Any"
                                           << "0000.00.00" << noDate;
    Sha1Image huge;
    huge.records = kMeta;
    huge.lengthWord = 0xFFFFFFF0;
    QTest::newRow("SHA-1, metadata longer than the file") << huge.build() << "BMS3" << 1u << bad << true << ""
                                                          << "" << "" << QByteArray();
    QByteArray damaged = any;
    damaged[damaged.size() - 2] = 'x';
    QTest::newRow("SHA-1, damaged: read as legacy") << damaged << "BMS3" << 1u << bad << true << "" << ""
                                                    << "" << QByteArray();

    const QByteArray fw1("\x10\x11\x13\r\n", 5), fw2("\xFF", 1);
    const QByteArray legacy = legacyFile({"BMS2\0pad", "2.8.1", bigEndian32(255), fw1, fw2}, true);
    QTest::newRow("legacy, lower case, serial 255")
        << legacy << "BMS2" << 9u << "" << false << "2.8.1" << "255" << "" << frame(fw1) + frame(fw2);
    QTest::newRow("legacy, frame 3 of three bytes")
        << legacyFile({"BMS1", "2.6.3", "\x00\x00\x01", fw1}) << "BMS1" << 9u << "" << false << "2.6.3" << "Any"
        << "" << frame(fw1);
    // Metadata alone would enable "Start update" with nothing to write.
    QTest::newRow("legacy, exactly three frames") << legacyFile({"BMS1", "2.6.3", bigEndian32(5)}) << "BMS1"
                                                  << 9u << "The file holds no firmware!" << true << "" << ""
                                                  << "" << QByteArray();
    QTest::newRow("legacy, empty firmware frame")
        << legacyFile({"BMS1", "2.6.3", "", ""}) << "BMS1" << 9u << "" << false << "2.6.3" << "Any" << ""
        << QByteArray(2, '\0');
    QTest::newRow("legacy, CR LF at the end") << legacy + "\r\n" << "BMS2" << 9u << bad << true << "" << ""
                                              << "" << QByteArray();
    QTest::newRow("legacy, LF at the end") << legacy + "\n" << "BMS2" << 9u << bad << true << "" << "" << ""
                                           << QByteArray();
    QTest::newRow("legacy, odd digit at the end") << legacy + "A" << "BMS2" << 9u << bad << true << "" << ""
                                                  << "" << QByteArray();
    QTest::newRow("legacy, not a hex digit") << QByteArray(legacy).replace(10, 1, "g") << "BMS2" << 9u << bad
                                             << true << "" << "" << "" << QByteArray();
    QTest::newRow("legacy, ends inside a frame") << legacy.left(legacy.size() - 2) << "BMS2" << 9u << bad
                                                 << false << "" << "" << "" << QByteArray();
    QTest::newRow("legacy, kind differs in case") << legacy << "bms2" << 9u << other << true << "" << "" << ""
                                                  << QByteArray();
    QTest::newRow("legacy, another kind") << legacy << "BMS1" << 9u << other << true << "" << "" << ""
                                          << QByteArray();
    // Nothing about the unit was checked: not an image.
    QTest::newRow("empty file") << QByteArray() << "BMS1" << 9u << bad << false << "" << "" << ""
                                << QByteArray();
    QTest::newRow("legacy, two frames only") << legacyFile({"BMS1", "2.6.3"}) << "BMS1" << 9u << bad << false
                                             << "" << "" << "" << QByteArray();
}

void TestFirmwareImages::controlUnitImage()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, kind);
    QFETCH(uint, unitSerial);
    QFETCH(QString, message);
    QFETCH(bool, translated);
    QFETCH(QString, version);
    QFETCH(QString, serial);
    QFETCH(QString, date);
    QFETCH(QByteArray, image);

    QBuffer buffer(&file);
    QVERIFY(buffer.open(QIODevice::ReadOnly));
    const ControlUnitImageFile r = readControlUnitImage(buffer, kind, unitSerial);
    QCOMPARE(r.ok, message.isEmpty());
    QCOMPARE(r.message.text, message);
    if (!r.ok)
        QCOMPARE(r.message.translated, translated);
    QCOMPARE(r.versionValue, version);
    QCOMPARE(r.serialValue, serial);
    QCOMPARE(r.showReleaseDate, !date.isEmpty());
    QCOMPARE(r.releaseDateValue, date);
    QCOMPARE(r.image, image);
    if (r.ok)
        QCOMPARE(r.versionText, r.sha1 ? version.mid(1) : version);
}

void TestFirmwareImages::canImage_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<CanImageFile::Outcome>("outcome");
    QTest::addColumn<int>("productCode");
    QTest::addColumn<uint>("descriptionCode");
    QTest::addColumn<bool>("targetKnown");
    QTest::addColumn<QString>("version");
    QTest::addColumn<QString>("date");
    QTest::addColumn<QByteArray>("image");
    QTest::addColumn<QStringList>("messages");

    const QString badLine = "No ':' entry found, or too short entry, wrong file?";
    // Valid Intel HEX: two data records and the end-of-file record.
    const QByteArray r1 = ":0400000001020304F2", r2 = ":020010000102EB", eof = ":00000001FF";
    const QByteArray good = r1 + "\r\n" + r2 + "\r\n" + eof + "\r\n";
    QTest::newRow("record file, CR LF") << QByteArray("X$7$15\r\n" + good) << CanImageFile::Loaded << 7 << 7u
                                        << true << "2.1" << "" << QByteArray(r1 + r2 + eof) << QStringList();
    // A bare LF ends the lines as well; it never reaches the image.
    QTest::newRow("record file, bare LF") << QByteArray("X$7$15\n" + r1 + "\n" + r2 + "\n" + eof + "\n")
                                          << CanImageFile::Loaded << 7 << 7u << true << "2.1" << ""
                                          << QByteArray(r1 + r2 + eof) << QStringList();
    QTest::newRow("record file, no final line end") << QByteArray("$5$7\r\n" + r1 + "\r\n" + eof)
                                                    << CanImageFile::Loaded << 5 << 5u << true << "0.7" << ""
                                                    << QByteArray(r1 + eof) << QStringList();
    QTest::newRow("header without version") << QByteArray("$0A\r\n" + r1 + "\r\n" + eof) << CanImageFile::Loaded
                                            << 0x0A << 0x0Au << true << "0.0" << "" << QByteArray(r1 + eof)
                                            << QStringList();
    QTest::newRow("two bad lines") << QByteArray("$7$15\r\n:short\r\n" + r1 + "\r\nno colon here at all\r\n" + r2)
                                   << CanImageFile::Refused << 7 << 7u << false << "" << "" << r2
                                   << QStringList{badLine, badLine};
    // Refused at open: each leaves no image and no target behind.
    const auto refusedRow = [](const char* name, const QByteArray& file, int code, const QString& message,
                               int description = -1) {
        QTest::newRow(name) << file << CanImageFile::Refused << code << uint(description < 0 ? code : description)
                            << false << "" << "" << QByteArray() << QStringList{message};
    };
    refusedRow("header and no records", "$7$15\r\n", 7, "The file holds no firmware!");
    // Nothing to write: the route updater would send nothing and still report.
    refusedRow("only the end record", "$7$15\r\n" + eof + "\r\n", 7, "The file holds no firmware!");
    refusedRow("only an address record", "$7$15\r\n:020000040800F2\r\n" + eof + "\r\n", 7,
               "The file holds no firmware!");
    refusedRow("record file for a CANopen device", "$21$15\r\n" + good, 0x21,
               "A record file cannot update a device of product code 33: only codes up to 15 take one!");
    const QString badRecord = "Line %1 is not a valid Intel HEX record!";
    refusedRow("wrong checksum", "$7$1\r\n:0400000001020304F3\r\n" + eof, 7, badRecord.arg(2));
    refusedRow("not a hex digit", "$7$1\r\n" + r1 + "\r\n:04000000010203G4F2\r\n" + eof, 7, badRecord.arg(3));
    refusedRow("count longer than the data", "$7$1\r\n:0500000001020304F1\r\n" + eof, 7, badRecord.arg(2));
    refusedRow("odd digit count", "$7$1\r\n:0400000001020304F2A\r\n" + eof, 7, badRecord.arg(2));
    refusedRow("text before the colon", "$7$1\r\nX:0400000001020304F2\r\n" + eof, 7, badRecord.arg(2));
    refusedRow("unknown record type", "$7$1\r\n:0400000601020304EC\r\n" + eof, 7, badRecord.arg(2));
    refusedRow("record after the end", "$7$1\r\n" + r1 + "\r\n" + eof + "\r\n" + r2 + "\r\n", 7,
               "Line 4 comes after the end-of-file record!");
    refusedRow("two end records", "$7$1\r\n" + r1 + "\r\n" + eof + "\r\n" + eof + "\r\n", 7,
               "Line 4 comes after the end-of-file record!");
    refusedRow("no end record", "$7$1\r\n" + r1 + "\r\n" + r2 + "\r\n", 7, "The file has no end-of-file record!");
    QTest::newRow("header of 15 characters") << QByteArray("0123456789$21$5\r\n" + r1) << CanImageFile::Unchanged
                                             << 0 << 0u << false << "" << "" << QByteArray()
                                             << QStringList{"Wrong file specified!"};
    QTest::newRow("empty file") << QByteArray() << CanImageFile::Unchanged << 0 << 0u << false << "" << ""
                                << QByteArray() << QStringList{"Wrong file specified!"};

    Sha1Image img;
    img.records = versionRecord("3.4") + dateRecord(2022, 1, 2);
    img.product = 0x00120023;
    // The file must not look like a record header on its first line.
    const auto looksLikeHeader = [](const QByteArray& f) {
        QByteArray line = f.left(f.indexOf('\n') < 0 ? f.size() : f.indexOf('\n') + 1);
        if (line.indexOf('\0') >= 0)
            line.truncate(line.indexOf('\0'));
        return line.contains('$') && line.size() <= 14;
    };
    while (looksLikeHeader(img.build()))
        img.key += 1;
    const QByteArray sha = img.build();
    QTest::newRow("SHA-1 image") << sha << CanImageFile::Loaded << 0x0023 << 0x0020u << true << "v3.4"
                                 << "2022.01.02" << sha << QStringList();
    // A route device takes records only: a binary image would go out as text.
    img.product = 0x00120007;
    while (looksLikeHeader(img.build()))
        img.key += 1;
    refusedRow("SHA-1 image for a route device", img.build(), 7,
               "A firmware image cannot update a device of product code 7: only codes above 15 take one!", 4);
}

void TestFirmwareImages::canImage()
{
    QFETCH(QByteArray, file);
    QFETCH(CanImageFile::Outcome, outcome);
    QFETCH(int, productCode);
    QFETCH(uint, descriptionCode);
    QFETCH(bool, targetKnown);
    QFETCH(QString, version);
    QFETCH(QString, date);
    QFETCH(QByteArray, image);
    QFETCH(QStringList, messages);

    QBuffer buffer(&file);
    QVERIFY(buffer.open(QIODevice::ReadOnly));
    const CanImageFile r = readCanImage(buffer);
    QCOMPARE(r.outcome, outcome);
    QStringList texts;
    for (const ImageFileMessage& m : r.messages) {
        texts << m.plainText();
        QVERIFY(m.translated);
    }
    QCOMPARE(texts, messages);
    if (outcome == CanImageFile::Unchanged)
        return;
    QCOMPARE(int(r.productCode), productCode);
    QCOMPARE(r.descriptionCode, descriptionCode);
    QCOMPARE(r.targetKnown, targetKnown);
    QCOMPARE(r.versionValue, version);
    QCOMPARE(r.showReleaseDate, !date.isEmpty());
    QCOMPARE(r.releaseDateValue, date);
    QCOMPARE(r.image, image);
}

QTEST_GUILESS_MAIN(TestFirmwareImages)
#include "tst_firmwareimages.moc"
