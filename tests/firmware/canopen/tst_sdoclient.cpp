#include "SdoTestClient.h"

#include <QElapsedTimer>
#include <QTest>

#include <thread>

Q_DECLARE_METATYPE(QByteArray)

namespace {
QByteArray pattern(int n)
{
    QByteArray b;
    for (int i = 0; i < n; ++i)
        b.append(char((i * 7 + 3) & 0xFF));
    return b;
}
QByteArray bytesOf(const CO::CanMessage& m) { return QByteArray(reinterpret_cast<const char*>(m.data), 8); }
quint32 codeOf(const CO::CanMessage& m)
{
    return quint32(m.data[4]) | quint32(m.data[5]) << 8 | quint32(m.data[6]) << 16 | quint32(m.data[7]) << 24;
}
} // namespace

class TstSdoClient : public QObject
{
    Q_OBJECT
private slots:
    void downloadChoosesTransferBySize_data();
    void downloadChoosesTransferBySize();
    void segmentedDownloadOfTwentyBytes();
    void blockDownloadInSubBlocks();
    void blockDownloadResendsUnacknowledgedSegments_data();
    void blockDownloadResendsUnacknowledgedSegments();
    void uploads_data();
    void uploads();
    void serverAbortEndsTransfer();
    void silenceTimesOut();
    void zeroTimeoutWaitsWithoutLimit();
    void unexpectedResponsesFail_data();
    void unexpectedResponsesFail();
    void staleResponsesDoNotAnswerNextTransfer();
};

void TstSdoClient::downloadChoosesTransferBySize_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<QByteArray>("firstRequest");
    QTest::newRow("empty") << 0 << QByteArray::fromHex("2300200100000000");
    QTest::newRow("1 byte") << 1 << QByteArray::fromHex("2F00200103000000");
    QTest::newRow("3 bytes") << 3 << QByteArray::fromHex("27002001030A1100");
    QTest::newRow("4 bytes") << 4 << QByteArray::fromHex("23002001030A1118");
    QTest::newRow("5 bytes segmented") << 5 << QByteArray::fromHex("2100200105000000");
    QTest::newRow("34 bytes segmented") << 34 << QByteArray::fromHex("2100200122000000");
    QTest::newRow("35 bytes block") << 35 << QByteArray::fromHex("C200200123000000");
}

void TstSdoClient::downloadChoosesTransferBySize()
{
    QFETCH(int, size);
    QFETCH(QByteArray, firstRequest);
    SdoServer server(5);
    SdoTestClient client(server, 5);
    QCOMPARE(client.download(0x2000, 1, pattern(size), 1000), int(CO::Done));
    QVERIFY(!client.sent.isEmpty());
    QCOMPARE(client.sent.first().cobId, quint16(0x605));
    QCOMPARE(int(client.sent.first().length), 8);
    QCOMPARE(bytesOf(client.sent.first()).toHex(), firstRequest.toHex());
    // An empty value goes out as four zero bytes.
    const QByteArray stored = size == 0 ? QByteArray(4, '\0') : pattern(size);
    QCOMPARE(server.object(0x2000, 1).toHex(), stored.toHex());
}

void TstSdoClient::segmentedDownloadOfTwentyBytes()
{
    SdoServer server(1);
    SdoTestClient client(server, 1);
    QCOMPARE(client.download(0x2001, 0, pattern(20), 1000), int(CO::Done));
    QCOMPARE(client.sent.size(), 4);
    QCOMPARE(int(client.sent[1].data[0]), 0x00);
    QCOMPARE(int(client.sent[2].data[0]), 0x10);
    QCOMPARE(int(client.sent[3].data[0]), 0x03);
    QCOMPARE(bytesOf(client.sent[3]).mid(1), pattern(20).mid(14) + QByteArray(1, '\0'));
    QCOMPARE(server.object(0x2001, 0), pattern(20));
    QCOMPARE(client.percents.last(), 100);
}

void TstSdoClient::blockDownloadInSubBlocks()
{
    SdoServer server(1);
    server.setBlockSize(127);
    SdoTestClient client(server, 1);
    const QByteArray image = pattern(1000);
    QCOMPARE(client.download(0x1F50, 1, image, 2000), int(CO::Done));
    // initiate, 127 segments, 16 segments, end request
    QCOMPARE(client.sent.size(), 1 + 127 + 16 + 1);
    QCOMPARE(int(client.sent[1].data[0]), 0x01);
    QCOMPARE(int(client.sent[127].data[0]), 127);
    QCOMPARE(int(client.sent[128].data[0]), 0x01);
    const CO::CanMessage& last = client.sent[143];
    QCOMPARE(int(last.data[0]), 0x80 | 16);
    QCOMPARE(bytesOf(last).mid(1), image.right(6) + QByteArray(1, '\0'));
    QCOMPARE(int(client.sent[144].data[0]), 0xC5);
    QCOMPARE(bytesOf(client.sent[144]).mid(1), QByteArray(7, '\0'));
    QCOMPARE(server.programData(), image);
}

void TstSdoClient::blockDownloadResendsUnacknowledgedSegments_data()
{
    QTest::addColumn<int>("subBlock");
    QTest::addColumn<int>("ackSeq");
    QTest::addColumn<int>("resent");
    QTest::newRow("ack 0 of the first") << 1 << 0 << 127;
    QTest::newRow("ack 50 of the first") << 1 << 50 << 77;
    QTest::newRow("ack 3 of the last") << 2 << 3 << 13;
}

void TstSdoClient::blockDownloadResendsUnacknowledgedSegments()
{
    QFETCH(int, subBlock);
    QFETCH(int, ackSeq);
    QFETCH(int, resent);
    SdoServer server(1);
    server.loseSegmentsOnce(subBlock, ackSeq);
    SdoTestClient client(server, 1);
    const QByteArray image = pattern(1000);
    QCOMPARE(client.download(0x1F50, 1, image, 2000), int(CO::Done));
    QCOMPARE(client.sent.size(), 1 + 127 + 16 + 1 + resent);
    QCOMPARE(server.programData(), image);
    // The first segment sent again carries the sequence after the last
    // acknowledged one and its own data.
    const int firstResent = 1 + (subBlock == 1 ? 127 : 143);
    QCOMPARE(int(client.sent[firstResent].data[0] & 0x7F), ackSeq + 1);
    const int offset = (subBlock == 1 ? 0 : 889) + ackSeq * 7;
    QCOMPARE(bytesOf(client.sent[firstResent]).mid(1), image.mid(offset, 7));
}

void TstSdoClient::uploads_data()
{
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<bool>("withoutSize");
    QTest::addColumn<int>("command");
    QTest::newRow("expedited 1") << QByteArray::fromHex("7E") << false << 0x4F;
    QTest::newRow("expedited 2") << QByteArray::fromHex("8200") << false << 0x4B;
    QTest::newRow("expedited 4") << QByteArray::fromHex("82000000") << false << 0x43;
    QTest::newRow("expedited without size") << QByteArray::fromHex("01020304") << true << 0x42;
    QTest::newRow("segmented 20") << pattern(20) << false << 0x41;
    QTest::newRow("segmented 7") << pattern(7) << false << 0x41;
    QTest::newRow("segmented without size") << pattern(20) << true << 0x40;
}

void TstSdoClient::uploads()
{
    QFETCH(QByteArray, value);
    QFETCH(bool, withoutSize);
    QFETCH(int, command);
    SdoServer server(1);
    server.setObject(0x1F57, 1, value);
    server.setUploadWithoutSize(withoutSize);
    SdoTestClient client(server, 1);
    int status = -1;
    const QByteArray data = client.upload(0x1F57, 1, 1000, &status);
    QCOMPARE(status, int(CO::Done));
    QCOMPARE(data.toHex(), value.toHex());
    QCOMPARE(bytesOf(client.sent.first()).toHex(), QByteArray("40571f0100000000"));
    if ((command & 0xF2) == 0x40) {
        // Segment requests alternate their toggle: 0x60, 0x70, 0x60 ...
        for (int i = 1; i < client.sent.size(); ++i)
            QCOMPARE(int(client.sent[i].data[0]), i % 2 ? 0x60 : 0x70);
        QCOMPARE(client.percents.last(), 100);
    }
}

void TstSdoClient::serverAbortEndsTransfer()
{
    SdoServer server(1);
    server.abortOn(0x1F50, 1, 0x08000020, true);
    server.abortOn(0x1017, 0, 0x06020000);
    SdoTestClient client(server, 1);
    QCOMPARE(client.download(0x1F50, 1, pattern(100), 2000), int(CO::Aborted));
    QCOMPARE(client.aborts.size(), 1);
    QCOMPARE(client.aborts[0].index, 0x1F50);
    QCOMPARE(client.aborts[0].subindex, 1);
    QCOMPARE(client.aborts[0].code, quint32(0x08000020));
    int status = -1;
    client.upload(0x1017, 0, 1000, &status);
    QCOMPARE(status, int(CO::Aborted));
    QCOMPARE(client.aborts.size(), 2);
    QCOMPARE(client.aborts[1].code, quint32(0x06020000));
    // The next transfer starts clean.
    QCOMPARE(client.download(0x2000, 0, pattern(2), 1000), int(CO::Done));
}

void TstSdoClient::silenceTimesOut()
{
    SdoServer server(1);
    server.setSilent(true);
    SdoTestClient client(server, 1);
    QElapsedTimer t;
    t.start();
    QCOMPARE(client.download(0x1F51, 1, QByteArray(1, 3), 200), int(CO::TimedOut));
    QVERIFY(t.elapsed() >= 190);
    int status = -1;
    QVERIFY(client.upload(0x1F57, 1, 200, &status).isEmpty());
    QCOMPARE(status, int(CO::TimedOut));
    // Traffic of no interest does not end the wait, it only restarts it.
    server.setSilent(false);
    client.script = [](const CO::CanMessage&) {
        return QList<CO::CanMessage>{SdoTestClient::message(0x1F0, {1, 2, 3})};
    };
    QCOMPARE(client.download(0x1F51, 1, QByteArray(1, 3), 200), int(CO::TimedOut));
}

void TstSdoClient::zeroTimeoutWaitsWithoutLimit()
{
    SdoServer server(1);
    SdoTestClient client(server, 1);
    client.script = [](const CO::CanMessage&) { return QList<CO::CanMessage>(); };
    std::thread late([&client] {
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        client.frameReceived(SdoTestClient::message(0x581, {0x60, 0x51, 0x1F, 0x01}));
    });
    QElapsedTimer t;
    t.start();
    const int status = client.download(0x1F51, 1, QByteArray(1, 3), 0);
    late.join();
    QCOMPARE(status, int(CO::Done));
    QVERIFY(t.elapsed() >= 1400);

    // cancel() ends an unlimited wait.
    std::thread stopper([&client] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        client.cancel();
    });
    QCOMPARE(client.download(0x1F51, 1, QByteArray(1, 3), 0), int(CO::TimedOut));
    stopper.join();
}

void TstSdoClient::unexpectedResponsesFail_data()
{
    // A download of 20 bytes or an upload of 0x1F57:1; the scripted answer to
    // the first request; the abort code our client must send.
    QTest::addColumn<bool>("upload");
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<quint32>("code");
    QTest::newRow("block end response to an upload") << true << QByteArray::fromHex("A100000000000000")
                                                     << quint32(CO::kAbortCommand);
    QTest::newRow("download response to an upload") << true << QByteArray::fromHex("60571F0100000000")
                                                     << quint32(CO::kAbortCommand);
    QTest::newRow("unknown specifier") << false << QByteArray::fromHex("E000200000000000")
                                       << quint32(CO::kAbortCommand);
    QTest::newRow("segment response before initiate") << false << QByteArray::fromHex("2000000000000000")
                                                       << quint32(CO::kAbortCommand);
}

void TstSdoClient::unexpectedResponsesFail()
{
    QFETCH(bool, upload);
    QFETCH(QByteArray, answer);
    QFETCH(quint32, code);
    SdoServer server(1);
    SdoTestClient client(server, 1);
    client.script = [&](const CO::CanMessage& m) {
        QList<CO::CanMessage> out;
        if ((m.data[0] & 0xE0) != 0x80) {
            CO::CanMessage r;
            r.cobId = 0x581;
            r.length = 8;
            std::memcpy(r.data, answer.constData(), 8);
            out.append(r);
        }
        return out;
    };
    int status = -1;
    if (upload)
        client.upload(0x1F57, 1, 1000, &status);
    else
        status = client.download(0x2000, 0, pattern(20), 1000);
    QCOMPARE(status, int(CO::Aborted));
    QCOMPARE(int(client.sent.last().data[0]), 0x80);
    QCOMPARE(codeOf(client.sent.last()), code);
    QCOMPARE(client.aborts.size(), 1);
    QCOMPARE(client.aborts[0].code, code);
}

void TstSdoClient::staleResponsesDoNotAnswerNextTransfer()
{
    SdoServer server(1);
    server.setObject(0x1F57, 1, QByteArray::fromHex("7E"));
    SdoTestClient client(server, 1);

    // A late end response of an earlier block download, still queued when the
    // flash status is read, is dropped with the queue.
    client.frameReceived(SdoTestClient::message(0x581, {0xA1}));
    int status = -1;
    QCOMPARE(client.upload(0x1F57, 1, 1000, &status).toHex(), QByteArray("7e"));
    QCOMPARE(status, int(CO::Done));

    // An initiate response for another object comes before the real one.
    client.script = [&server](const CO::CanMessage& m) {
        QList<CO::CanMessage> out{SdoTestClient::message(0x581, {0x4F, 0x17, 0x10, 0x00, 0x00})};
        SdoServer::Frame f;
        f.id = m.cobId;
        f.length = 8;
        std::memcpy(f.data, m.data, 8);
        for (const SdoServer::Frame& r : server.handle(f)) {
            CO::CanMessage c;
            c.cobId = quint16(r.id);
            c.length = r.length;
            std::memcpy(c.data, r.data, 8);
            out.append(c);
        }
        return out;
    };
    QCOMPARE(client.upload(0x1F57, 1, 1000, &status).toHex(), QByteArray("7e"));
    QCOMPARE(status, int(CO::Done));

    // A repeated upload segment is refused, not appended twice.
    client.script = nullptr;
    server.setObject(0x2002, 0, pattern(20));
    server.setDuplicateSegmentResponses(true);
    const QByteArray data = client.upload(0x2002, 0, 1000, &status);
    QCOMPARE(status, int(CO::Aborted));
    QCOMPARE(client.aborts.last().code, quint32(CO::kAbortToggle));
    QVERIFY(data.isEmpty());
    // So is a repeated download segment response (a segment would be skipped).
    QCOMPARE(client.download(0x2003, 0, pattern(20), 1000), int(CO::Aborted));
    QCOMPARE(client.aborts.last().code, quint32(CO::kAbortToggle));
}

QTEST_GUILESS_MAIN(TstSdoClient)
#include "tst_sdoclient.moc"
