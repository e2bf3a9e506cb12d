// Faults of the window's plumbing: the log file and the worker's message box.
#include "LogWriter.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>

class TestAppFaults : public QObject
{
    Q_OBJECT
private slots:
    void refusedWritesAreRetriedInOrder();
};

// The file takes no line for a while (a full disk, here /dev/full), then
// takes lines again: nothing is lost and the order holds.
void TestAppFaults::refusedWritesAreRetriedInOrder()
{
    QTemporaryDir dir;
    const QString name = QDir(dir.path()).filePath("BMS_SN9_20260108.log");
    QVERIFY(QFile::link("/dev/full", name));
    QDateTime clock(QDate(2026, 1, 8), QTime(14, 3, 7, 42));
    LogWriter::Hooks hooks{[] { return true; }, [] { return true; }, nullptr, [&clock] { return clock; }};
    LogWriter log(hooks);
    log.setRequestedDir(dir.path());
    log.setSerial(9);
    log.write("one", 0);
    log.write("two", 0);
    QCOMPARE(log.pendingLineCount(), 2);

    QVERIFY(QFile::remove(name));
    log.write("three", 0);
    log.write("four", 0);
    QFile f(name);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromLatin1(f.readAll()).split('\n', Qt::SkipEmptyParts),
             QStringList({"14:03:07.042,0,one", "14:03:07.042,0,two", "14:03:07.042,0,three",
                          "14:03:07.042,0,four"}));
    QCOMPARE(log.pendingLineCount(), 0);
}

QTEST_GUILESS_MAIN(TestAppFaults)
#include "tst_appfaults.moc"
