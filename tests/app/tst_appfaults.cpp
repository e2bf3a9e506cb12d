// Faults of the window's plumbing: the log file and the worker's message box.
#include "BmsGui.h"
#include "LogWriter.h"
#include "ScriptedDialogs.h"
#include "StartupRules.h"
#include "Y5ProtocolHandler.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace {
// Ends the test program when the guarded code does not return in time: a
// deadlock would otherwise only show as the test's time-out.
class Watchdog
{
public:
    explicit Watchdog(int ms)
        : thread_([this, ms] {
              std::unique_lock<std::mutex> lock(mutex_);
              if (!cv_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return done_; }))
                  qFatal("deadlock: the guarded code did not return");
          })
    {
    }
    ~Watchdog()
    {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            done_ = true;
        }
        cv_.notify_all();
        thread_.join();
    }

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    bool done_ = false;
    std::thread thread_;
};

const char kUnknownFeatures[] = "FP1,AB,00000001,00000002,00000003,00000004";
} // namespace

class TestAppFaults : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void refusedWritesAreRetriedInOrder();
    void infoBoxFromTheGuiThreadAndFromAWorker();

private:
    QTemporaryDir dir_;
};

void TestAppFaults::initTestCase()
{
    QCoreApplication::setOrganizationName(kOrganisationName);
    QCoreApplication::setApplicationName(kApplicationName);
    QSettings().setValue("LogFileDir", dir_.path());
}

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

// The not-fully-supported message only informs: raised in the GUI thread (a
// wait for a reply reads the port there) or by a worker, nobody waits for the
// box, and it is shown once for each raise.
void TestAppFaults::infoBoxFromTheGuiThreadAndFromAWorker()
{
    ScriptedDialogs dialogs;
    BMS_GUI w;
    w.setDialogs(&dialogs);
    Y5ProtocolHandler* h = w.protocolHandler();
    {
        Watchdog watchdog(10000);
        h->parseFP1(kUnknownFeatures);
    }
    QTRY_COMPARE(dialogs.informations.size(), 1);
    QVERIFY(dialogs.informations.at(0).contains("fully supported"));

    h->resetSessionState(); // the message is due once per link session
    {
        // Joined without letting the GUI thread show anything: a worker that
        // waited for the box would never end.
        Watchdog watchdog(10000);
        std::thread worker([h] { h->parseFP1(kUnknownFeatures); });
        worker.join();
    }
    QCOMPARE(dialogs.informations.size(), 1);
    QTRY_COMPARE(dialogs.informations.size(), 2);
}

QTEST_MAIN(TestAppFaults)
#include "tst_appfaults.moc"
