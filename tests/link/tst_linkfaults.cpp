// Failure paths of the link that must never look like success.
#include "Communicator.h"
#include "FeedTransport.h"
#include "Y5ProtocolHandler.h"

#include <QTest>

class TestLinkFaults : public QObject
{
    Q_OBJECT
private slots:
    void writesToAClosedPortReportFailure_data();
    void writesToAClosedPortReportFailure();
};

void TestLinkFaults::writesToAClosedPortReportFailure_data()
{
    QTest::addColumn<int>("op");
    QTest::addColumn<QString>("logged");
    QTest::newRow("parameter value") << 0 << "Not sent: CF2,0010,05,";
    QTest::newRow("password") << 1 << "Not sent: PW1,";
}

// A transport whose port is not open (the unit vanished): the write fails,
// and the caller must hear it.
void TestLinkFaults::writesToAClosedPortReportFailure()
{
    QFETCH(int, op);
    QFETCH(QString, logged);
    LogCapture log;
    Communicator t;
    Y5ProtocolHandler h(&t);
    const bool ok = op == 0 ? h.sendParamValue(0x0010, 5) : h.sendPassword("2222");
    QVERIFY(!ok);
    QVERIFY2(!log.lines().filter(logged).isEmpty(), qPrintable(log.lines().join('|')));
    QVERIFY(log.lines().filter("<-").isEmpty());
}

QTEST_GUILESS_MAIN(TestLinkFaults)
#include "tst_linkfaults.moc"
