// Reception: bytes in reads -> lines -> check -> queue, through the real
// receive path of the transport and the handler.
#include "Crc8.h"
#include "FeedTransport.h"
#include "Y5ProtocolHandler.h"

#include <QSignalSpy>
#include <QTest>

class TestSentenceReception : public QObject
{
    Q_OBJECT
private slots:
    void reception_data();
    void reception();
    void halfLineWaitsForTheNextRead();
    void signalsOnlyWhileLinked();
    void goodLineRestartsKeepAlive();
    void queueOperations();
};

static QByteArray wrongCommaLine()
{
    // Correct sum over everything before the digits, but no "," there.
    const QByteArray body("VR1,?");
    const uint8_t sum = crc8Maxim(reinterpret_cast<const uint8_t*>(body.constData()), uint16_t(body.size()));
    return body + QByteArray::number(sum, 16).rightJustified(2, '0').toUpper();
}

void TestSentenceReception::reception_data()
{
    QTest::addColumn<QByteArrayList>("reads");
    QTest::addColumn<QStringList>("queued");
    QTest::addColumn<QStringList>("rejected"); // logged as x>...<x, in order
    QTest::addColumn<QByteArray>("written");

    QTest::newRow("two and a half lines, then the rest")
        << QByteArrayList{"VR1,?,D7\rRS1,,3F\rCM1,", "1,A8\r"} << QStringList{"VR1,?", "RS1,", "CM1,1"}
        << QStringList{} << QByteArray();
    QTest::newRow("CR LF in one read") << QByteArrayList{"VR1,?,D7\r\nRS1,,3F\r\n"} << QStringList{"VR1,?", "RS1,"}
                                       << QStringList{} << QByteArray();
    QTest::newRow("CR LF across reads") << QByteArrayList{"VR1,?,D7\r", "\nRS1,,3F\r"}
                                        << QStringList{"VR1,?", "RS1,"} << QStringList{"x><x"} << QByteArray();
    QTest::newRow("lower-case check digits") << QByteArrayList{"VR1,?,d7\r"} << QStringList{"VR1,?"}
                                             << QStringList{} << QByteArray();
    QTest::newRow("LF alone ends a line") << QByteArrayList{"CF2,0010,?,15\n"} << QStringList{"CF2,0010,?"}
                                          << QStringList{} << QByteArray();
    QTest::newRow("missing comma") << QByteArrayList{wrongCommaLine() + "\r"} << QStringList{}
                                   << QStringList{"x>" + QString::fromLatin1(wrongCommaLine()) + "<x"} << QByteArray();
    QTest::newRow("wrong sum") << QByteArrayList{"VR1,?,D8\rRS1,,3F\r"} << QStringList{"RS1,"}
                               << QStringList{"x>VR1,?,D8<x"} << QByteArray();
    QTest::newRow("not hexadecimal") << QByteArrayList{"VR1,?,G7\r"} << QStringList{} << QStringList{"x>VR1,?,G7<x"}
                                     << QByteArray();
    QTest::newRow("too short") << QByteArrayList{"D7\r"} << QStringList{} << QStringList{"x>D7<x"} << QByteArray();
    QTest::newRow("probe") << QByteArrayList{"#?\r"} << QStringList{} << QStringList{"x>#?<x"} << QByteArray("#");
    QTest::newRow("probe between sentences") << QByteArrayList{"RS1,,3F\r#?\rVR1,?,D7\r"}
                                             << QStringList{"RS1,", "VR1,?"} << QStringList{"x>#?<x"}
                                             << QByteArray("#");
    QTest::newRow("1023 bytes without a line end are dropped")
        << QByteArrayList{QByteArray(1023, 'A'), "VR1,?,D7\r"} << QStringList{"VR1,?"} << QStringList{}
        << QByteArray();
    QTest::newRow("long run in small reads is dropped, then a fresh line")
        << QByteArrayList{QByteArray(600, 'B'), QByteArray(423, 'B'), "RS1,,3F\r"} << QStringList{"RS1,"}
        << QStringList{} << QByteArray();
    QTest::newRow("Latin-1 text") << QByteArrayList{"TX1,caf\xe9,64\r"} << QStringList{QString::fromUtf8("TX1,caf\u00e9")}
                                  << QStringList{} << QByteArray();
}

void TestSentenceReception::reception()
{
    QFETCH(QByteArrayList, reads);
    QFETCH(QStringList, queued);
    QFETCH(QStringList, rejected);
    QFETCH(QByteArray, written);

    LogCapture log;
    FeedTransport t;
    Y5ProtocolHandler h(&t);
    QObject::connect(&t, &CommunicatorBase::sigDataReceived, &h, &Y5ProtocolHandler::slotDataReceived,
                     Qt::DirectConnection);
    for (const QByteArray& r : reads)
        t.feed(r);

    QStringList got;
    QString s;
    while (h.getSentence(s))
        got << s;
    QCOMPARE(got, queued);
    QStringList gotRejected;
    for (const QString& l : log.lines())
        if (l.startsWith("x>"))
            gotRejected << l;
    QCOMPARE(gotRejected, rejected);
    // Every good line is logged as accepted, in order.
    QStringList accepted;
    for (const QString& l : log.lines())
        if (!l.startsWith("x>"))
            accepted << l;
    QCOMPARE(accepted, queued);
    QCOMPARE(t.written, written);
}

void TestSentenceReception::halfLineWaitsForTheNextRead()
{
    FeedTransport t;
    Y5ProtocolHandler h(&t);
    QObject::connect(&t, &CommunicatorBase::sigDataReceived, &h, &Y5ProtocolHandler::slotDataReceived,
                     Qt::DirectConnection);
    t.feed("VR1,?,D7\rRS1,,3F\rCF2,00");
    QCOMPARE(h.queuedSentenceCount(), 2);
    QCOMPARE(t.nBytesInDataBuffer_, 6);
    QCOMPARE(QByteArray(t.receiveBuffer(), 6), QByteArray("CF2,00"));
    t.feed("10,?,15\r");
    QCOMPARE(h.queuedSentenceCount(), 3);
    QCOMPARE(t.nBytesInDataBuffer_, 0);
}

void TestSentenceReception::signalsOnlyWhileLinked()
{
    FeedTransport t;
    Y5ProtocolHandler h(&t);
    QObject::connect(&t, &CommunicatorBase::sigDataReceived, &h, &Y5ProtocolHandler::slotDataReceived,
                     Qt::DirectConnection);
    QStringList order;
    QObject::connect(&h, &Y5ProtocolHandler::sigReceivedVersionString, [&](const QString& v) { order << v; });
    QObject::connect(&t, &CommunicatorBase::sigReceivedSentence, [&] { order << "sentence"; });

    t.feed("VR1,BMS2,0001E240,2.1.4.2,98\r");
    QCOMPARE(h.queuedSentenceCount(), 1);
    QVERIFY(order.isEmpty());

    t.linked = true;
    t.feed("VR1,BMS2,0001E240,2.1.4.2,98\rRS1,,3F\r");
    QCOMPARE(order, (QStringList{"VR1,BMS2,0001E240,2.1.4.2", "sentence", "sentence"}));
    QCOMPARE(h.queuedSentenceCount(), 3);
}

void TestSentenceReception::goodLineRestartsKeepAlive()
{
    FeedTransport t;
    Y5ProtocolHandler h(&t);
    QObject::connect(&t, &CommunicatorBase::sigDataReceived, &h, &Y5ProtocolHandler::slotDataReceived,
                     Qt::DirectConnection);
    QCOMPARE(h.keepAliveSilenceMs(), -1);
    t.feed("VR1,?,D8\r"); // rejected: the clock is not touched
    QCOMPARE(h.keepAliveSilenceMs(), -1);
    // The clock starts at the good line: never earlier than just before it.
    QElapsedTimer sinceFeed;
    sinceFeed.start();
    t.feed("VR1,?,D7\r");
    const qint64 silence = h.keepAliveSilenceMs();
    QVERIFY2(silence >= 0 && silence <= sinceFeed.elapsed() + 1, qPrintable(QString::number(silence)));
    QCOMPARE(h.keepAliveBudget(), 2000);
}

void TestSentenceReception::queueOperations()
{
    FeedTransport t;
    Y5ProtocolHandler h(&t);
    QObject::connect(&t, &CommunicatorBase::sigDataReceived, &h, &Y5ProtocolHandler::slotDataReceived,
                     Qt::DirectConnection);
    QString s = "untouched";
    QVERIFY(!h.getSentence(s));
    QCOMPARE(s, QString("untouched"));
    t.feed("VR1,?,D7\rRS1,,3F\rCM1,1,A8\r");
    QCOMPARE(h.takeSentence(), QString("VR1,?"));
    QVERIFY(h.getSentence(s));
    QCOMPARE(s, QString("RS1,"));
    h.clearSentenceQueue();
    QVERIFY(!h.getSentence(s));
}

QTEST_GUILESS_MAIN(TestSentenceReception)
#include "tst_sentencereception.moc"
