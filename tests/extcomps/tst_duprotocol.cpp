// The display unit's packet framing, CRC-32, reassembly and image header.

#include "DisplayImage.h"
#include "DisplayPacket.h"
#include "DisplayUnitSim.h"
#include "Proto.h"

#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTest>

#include <openssl/evp.h>

namespace {
QByteArray hex(const char* text)
{
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

QByteArray encrypt(const QByteArray& plain, const QByteArray& key, const QByteArray& iv)
{
    QByteArray out(plain.size() + 16, '\0');
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    EVP_EncryptInit_ex(ctx, EVP_aes_128_cbc(), nullptr, reinterpret_cast<const uchar*>(key.constData()),
                       reinterpret_cast<const uchar*>(iv.constData()));
    EVP_CIPHER_CTX_set_padding(ctx, 0);
    int n = 0, tail = 0;
    EVP_EncryptUpdate(ctx, reinterpret_cast<uchar*>(out.data()), &n, reinterpret_cast<const uchar*>(plain.constData()),
                      plain.size());
    EVP_EncryptFinal_ex(ctx, reinterpret_cast<uchar*>(out.data()) + n, &tail);
    EVP_CIPHER_CTX_free(ctx);
    out.truncate(n + tail);
    return out;
}

QByteArray header(const QByteArray& text)
{
    return encrypt(text.leftJustified(32, '\0', true), kDisplayImageKey, kDisplayImageIv);
}
} // namespace

class TestDuProtocol : public QObject
{
    Q_OBJECT
private slots:
    void framesOnTheWire_data();
    void framesOnTheWire();
    void overlongPayloadIsNotFramed();
    void crcMatchesTheUnitsOwnRoutine();
    void reassembly_data();
    void reassembly();
    void takePacketOnEmptyQueue();
    void aesKnownAnswer();
    void imageHeader_data();
    void imageHeader();
    void shortOrForeignFileIsInvalid();
    void imageBody_data();
    void imageBody();
};

void TestDuProtocol::framesOnTheWire_data()
{
    QTest::addColumn<int>("command");
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<QByteArray>("frame");
    QTest::newRow("identify") << 0x86 << QByteArray() << hex("55 08 86 00 00 00 B4 8E 70 27 C3");
    QTest::newRow("read parameter 2") << 0xA0 << hex("00 00 00 00 02 00 00 00")
                                      << hex("55 10 A0 00 00 00 00 02 00 00 00 00 00 00 CD 6E A7 83 C3");
    QTest::newRow("erase 0x0800C000") << 0x80 << hex("00 C0 00 08")
                                      << hex("55 0C 80 00 C0 00 08 00 00 00 FB C0 47 D1 C3");
}

void TestDuProtocol::framesOnTheWire()
{
    QFETCH(int, command);
    QFETCH(QByteArray, payload);
    QFETCH(QByteArray, frame);
    QCOMPARE(frameDisplayPacket(Packet{quint8(command), payload}).toHex(' '), frame.toHex(' '));
    // The unit's side frames the same bytes.
    QCOMPARE(DisplayUnitSim::frame(quint8(command), payload).toHex(' '), frame.toHex(' '));
}

void TestDuProtocol::overlongPayloadIsNotFramed()
{
    // 3 bytes need no padding, 4 get three; the length byte caps the payload.
    QCOMPARE(frameDisplayPacket(Packet{0x82, QByteArray(3, 'x')}).size(), 4 + 7);
    QCOMPARE(frameDisplayPacket(Packet{0x82, QByteArray(4, 'x')}).size(), 8 + 7);
    QCOMPARE(frameDisplayPacket(Packet{0x82, QByteArray(247, 'x')}).size(), 248 + 7);
    QVERIFY(frameDisplayPacket(Packet{0x82, QByteArray(248, 'x')}).isEmpty());
    Proto proto(nullptr);
    QVERIFY(!proto.sendPacket(Packet{0x82, QByteArray(300, 'x')}));
}

void TestDuProtocol::crcMatchesTheUnitsOwnRoutine()
{
    QCOMPARE(crc32Words(nullptr, 0), 0xFFFFFFFFu);
    auto* rng = QRandomGenerator::global();
    for (int round = 0; round < 200; ++round) {
        QByteArray block(4 * int(rng->bounded(1, 64)), '\0');
        for (char& c : block)
            c = char(rng->bounded(256));
        QCOMPARE(crc32Words(reinterpret_cast<const uchar*>(block.constData()), block.size() / 4),
                 DisplayUnitSim::unitCrc(block));
    }
}

void TestDuProtocol::reassembly_data()
{
    const QByteArray identify = DisplayUnitSim::frame(0x86, QByteArray());
    const QByteArray serial = DisplayUnitSim::frame(0x84, hex("04 78 56 34 12"));
    QByteArray badEnd = serial;
    badEnd[badEnd.size() - 1] = 0x00;

    QTest::addColumn<QList<QByteArray>>("arrivals");
    QTest::addColumn<QList<int>>("commands");
    QTest::addColumn<int>("dropped");
    QList<QByteArray> bytewise;
    for (char c : serial)
        bytewise << QByteArray(1, c);
    QTest::newRow("one byte at a time") << bytewise << QList<int>{0x84} << 0;
    QTest::newRow("two frames in one arrival") << QList<QByteArray>{serial + identify} << QList<int>{0x84, 0x86} << 0;
    QTest::newRow("noise before the start byte") << QList<QByteArray>{hex("00 13 C3 FF") + identify}
                                                 << QList<int>{0x86} << 0;
    // The frame behind a bad one is delivered at once: nothing else may come
    // while the unit waits for an answer.
    QTest::newRow("wrong end byte, then a frame") << QList<QByteArray>{badEnd + identify} << QList<int>{0x86} << 1;
    QTest::newRow("wrong CRC is dropped") << QList<QByteArray>{hex("55 08 86 00 00 00 00 00 00 00 C3")}
                                          << QList<int>{} << 1;
    QTest::newRow("wrong CRC, then a frame")
        << QList<QByteArray>{DisplayUnitSim::frame(0x80, "1", true), identify} << QList<int>{0x86} << 1;
    QTest::newRow("zero length byte") << QList<QByteArray>{hex("55 00") + identify} << QList<int>{0x86} << 1;
    QTest::newRow("start byte inside a split frame")
        << QList<QByteArray>{serial.left(5), serial.mid(5), hex("55")} << QList<int>{0x84} << 0;
}

void TestDuProtocol::reassembly()
{
    QFETCH(QList<QByteArray>, arrivals);
    QFETCH(QList<int>, commands);
    QFETCH(int, dropped);
    Proto proto(nullptr);
    QList<int> seen;
    connect(&proto, &Proto::packetParsed, &proto, [&] { seen << proto.takePacket().command; });
    for (const QByteArray& a : arrivals)
        proto.receiveRawData(a);
    QCOMPARE(seen, commands);
    QCOMPARE(proto.droppedFrames(), dropped);
}

void TestDuProtocol::takePacketOnEmptyQueue()
{
    Proto proto(nullptr);
    proto.receiveRawData(DisplayUnitSim::frame(0x84, hex("04 78 56 34 12")));
    const Packet p = proto.takePacket();
    QCOMPARE(int(p.command), 0x84);
    // Data and padding, never the check sum.
    QCOMPARE(p.payload.toHex(' '), QByteArray("04 78 56 34 12 00 00"));
    const Packet none = proto.takePacket();
    QCOMPARE(int(none.command), 0);
    QVERIFY(none.payload.isEmpty());
}

void TestDuProtocol::aesKnownAnswer()
{
    // FIPS-197 C.1 (one block in CBC with a zero IV is the plain cipher).
    const QByteArray key = hex("000102030405060708090a0b0c0d0e0f");
    const QByteArray cipher = hex("69c4e0d86a7b0430d8cdb78070b4c55a");
    uchar out[16];
    QVERIFY(aesCbcDecryptBuffer(out, reinterpret_cast<const uchar*>(cipher.constData()), 16,
                                reinterpret_cast<const uchar*>(key.constData()),
                                reinterpret_cast<const uchar*>(QByteArray(16, '\0').constData())));
    QCOMPARE(QByteArray(reinterpret_cast<char*>(out), 16).toHex(), QByteArray("00112233445566778899aabbccddeeff"));
    QVERIFY(!aesCbcDecryptBuffer(out, out, 15, out, out));
}

void TestDuProtocol::imageHeader_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QString>("version");
    QTest::addColumn<QString>("date");
    QTest::newRow("1.2.3 of 2019-12-31") << QByteArray("010203000007E30C1F") << true << "1.2.3" << "2019-12-31";
    QTest::newRow("99 stays 99") << QByteArray("990099000007D00101") << true << "99.0.99" << "2000-01-01";
    QTest::newRow("0A is no decimal") << QByteArray("010A03000007E30C1F") << false << "" << "";
    QTest::newRow("year 1999") << QByteArray("010203000007CF0C1F") << false << "" << "";
    QTest::newRow("year 2000") << QByteArray("010203000007D00C1F") << true << "1.2.3" << "2000-12-31";
    QTest::newRow("month 13") << QByteArray("010203000007E30D1F") << false << "" << "";
    QTest::newRow("day 32") << QByteArray("010203000007E30C20") << false << "" << "";
    QTest::newRow("text ends early") << QByteArray("0102") << false << "" << "";
    QTest::newRow("all zero") << QByteArray() << false << "" << "";
}

void TestDuProtocol::imageHeader()
{
    QFETCH(QByteArray, text);
    QFETCH(bool, valid);
    QFETCH(QString, version);
    QFETCH(QString, date);
    const DisplayImageHeader h = readDisplayImageHeader(header(text) + QByteArray(64, 'b'));
    QCOMPARE(h.valid, valid);
    QCOMPARE(h.version, version);
    QCOMPARE(h.releaseDate, date);
}

void TestDuProtocol::shortOrForeignFileIsInvalid()
{
    QVERIFY(!readDisplayImageHeader(header("010203000007E30C1F").left(31)).valid);
    // A file not encrypted with the unit's key decrypts to noise.
    QVERIFY(!readDisplayImageHeader(QByteArray("010203000007E30C1F").leftJustified(48, '\0')).valid);
}

void TestDuProtocol::imageBody_data()
{
    QTest::addColumn<int>("fileSize");
    QTest::addColumn<int>("bodySize");
    QTest::addColumn<bool>("usable");
    QTest::newRow("100 bytes padded to 112") << 32 + 100 << 112 << true;
    QTest::newRow("96 bytes stay") << 32 + 96 << 96 << true;
    QTest::newRow("header only") << 32 << 0 << false;
    QTest::newRow("shorter than a header") << 20 << 0 << false;
    QTest::newRow("fills the flash") << 32 + kMaxImageBody << kMaxImageBody << true;
    QTest::newRow("beyond the erased flash") << 32 + kMaxImageBody + 1 << kMaxImageBody + 16 << false;
}

void TestDuProtocol::imageBody()
{
    QFETCH(int, fileSize);
    QFETCH(int, bodySize);
    QFETCH(bool, usable);
    QByteArray file(fileSize, '\x5a');
    const QByteArray body = displayImageBody(file);
    QCOMPARE(body.size(), bodySize);
    if (bodySize > 0) {
        QCOMPARE(body.left(fileSize - 32), file.mid(32));
        QCOMPARE(body.mid(fileSize - 32), QByteArray(bodySize - (fileSize - 32), '\0'));
    }
    QCOMPARE(isDisplayImageBodyUsable(body), usable);
}

QTEST_GUILESS_MAIN(TestDuProtocol)
#include "tst_duprotocol.moc"
