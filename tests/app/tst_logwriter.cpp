#include "LogWriter.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <atomic>
#include <vector>

namespace {
struct Fixture
{
    QTemporaryDir dir;
    QDateTime clock{QDate(2026, 1, 8), QTime(14, 3, 7, 42)};
    bool enabled = true;
    std::atomic<bool> linked{false};
    QStringList mirrored;

    LogWriter::Hooks hooks()
    {
        return {[this] { return enabled; }, [this] { return linked.load(); },
                [this](const QString& l) { mirrored << l; }, [this] { return clock; }};
    }
    QString path(const QString& name) const { return QDir(dir.path()).filePath(name); }
    QStringList lines(const QString& name) const
    {
        QFile f(path(name));
        if (!f.open(QIODevice::ReadOnly))
            return {};
        return QString::fromLatin1(f.readAll()).split('\n', Qt::SkipEmptyParts);
    }
};
} // namespace

class TstLogWriter : public QObject
{
    Q_OBJECT

private slots:
    void namesAndLineFormat()
    {
        QCOMPARE(LogWriter::fileName(123456, QDate(2026, 1, 8), 0), QString("BMS_SN123456_20260108.log"));
        QCOMPARE(LogWriter::fileName(123456, QDate(2026, 1, 8), 2), QString("BMS_SN123456_20260108_2.log"));
        QCOMPARE(LogWriter::fileName(0xFFFFFFFFu, QDate(2026, 12, 31), 0), QString("BMS_SN4294967295_20261231.log"));
        QCOMPARE(LogWriter::formatLine(QTime(14, 3, 7, 42), 0, "VR1,\r?\n"), QString("14:03:07.042,0,VR1,?\n"));
        QCOMPARE(LogWriter::formatLine(QTime(0, 0, 0, 5), 3, ""), QString("00:00:00.005,3,\n"));
    }

    void passwordsStayOutOfTheLog_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("logged");
        QTest::newRow("login") << "<-PW1,2222,5C" << "<-PW1,***";
        QTest::newRow("login not sent") << "Not sent: PW1,secret,01" << "Not sent: PW1,***";
        QTest::newRow("password change") << "<-PW2,newpass,A0" << "<-PW2,***";
        QTest::newRow("login query") << "<-PW1,?,D1" << "<-PW1,?,D1";
        QTest::newRow("logout") << "<-PW1,,7E" << "<-PW1,,7E";
        QTest::newRow("level reply") << "PW1,2,3C" << "PW1,2,3C";
        QTest::newRow("other sentence") << "<-VR1,?,D7" << "<-VR1,?,D7";
    }
    void passwordsStayOutOfTheLog()
    {
        QFETCH(QString, text);
        QFETCH(QString, logged);
        Fixture fx;
        LogWriter log(fx.hooks());
        log.write(text, 0);
        QCOMPARE(fx.mirrored.value(0).mid(15), logged);
    }

    void linesWaitUntilTheSerialIsKnownThenFollowTheLink()
    {
        Fixture fx;
        LogWriter log(fx.hooks());
        log.setRequestedDir(fx.dir.path());
        log.write("KEPO BMS Dadevoz Arezi started", 0);
        fx.clock = fx.clock.addMSecs(5);
        log.write("KEPO BMS Dadevoz Arezi v2.11.0", 0);
        QCOMPARE(log.pendingLineCount(), 2);
        QVERIFY(log.currentFilePath().isEmpty());

        fx.linked = true;
        log.setSerial(123456);
        log.write("<-VR1,?,D7", 0);
        log.write("too verbose", 11); // dropped, never written or kept
        QCOMPARE(fx.lines("BMS_SN123456_20260108.log"),
                 QStringList({"14:03:07.042,0,KEPO BMS Dadevoz Arezi started",
                              "14:03:07.047,0,KEPO BMS Dadevoz Arezi v2.11.0", "14:03:07.047,0,<-VR1,?,D7"}));
        QCOMPARE(fx.mirrored.size(), 3);

        // Link lost: the file closes and lines wait for the next unit.
        fx.linked = false;
        log.write("lost", 0);
        QVERIFY(log.currentFilePath().isEmpty());
        fx.linked = true;
        log.setSerial(7);
        log.write("next unit", 0);
        QCOMPARE(fx.lines("BMS_SN7_20260108.log").size(), 2);
        QCOMPARE(fx.lines("BMS_SN123456_20260108.log").size(), 3);

        // Midnight: the new day's file.
        fx.clock = QDateTime(QDate(2026, 1, 9), QTime(0, 0, 1));
        log.write("new day", 0);
        QCOMPARE(fx.lines("BMS_SN7_20260109.log"), QStringList({"00:00:01.000,0,new day"}));
    }

    void writeLogOffKeepsNothing()
    {
        Fixture fx;
        fx.enabled = false;
        LogWriter log(fx.hooks());
        log.write("x", 0);
        QCOMPARE(log.pendingLineCount(), 0);
        QVERIFY(fx.mirrored.isEmpty());
    }

    void partsFollowTheSizeLimit()
    {
        Fixture fx;
        // A sparse file already past the limit: waiting lines go to part 1.
        {
            QFile f(fx.path("BMS_SN5_20260108.log"));
            QVERIFY(f.open(QIODevice::WriteOnly));
            QVERIFY(f.resize(LogWriter::kDefaultMaxFileSize + 1));
        }
        LogWriter log(fx.hooks());
        log.setRequestedDir(fx.dir.path());
        log.write("waiting", 0);
        fx.linked = true;
        log.setSerial(5);
        log.write("first", 0);
        QCOMPARE(fx.lines("BMS_SN5_20260108_1.log").size(), 2);

        // A write that passes the limit sends the next line to the next part.
        log.setMaxFileSize(60);
        log.write("a line long enough to pass the small limit set above", 0);
        log.write("goes to part two", 0);
        QCOMPARE(fx.lines("BMS_SN5_20260108_2.log"), QStringList({"14:03:07.042,0,goes to part two"}));
    }

    void unopenableFileLosesNothing()
    {
        Fixture fx;
        // A directory where the file should be: the open fails.
        QVERIFY(QDir(fx.dir.path()).mkdir("BMS_SN9_20260108.log"));
        LogWriter log(fx.hooks());
        log.setRequestedDir(fx.dir.path());
        fx.linked = true;
        log.setSerial(9);
        log.write("one", 0);
        log.write("two", 0);
        QCOMPARE(log.pendingLineCount(), 2);
        QVERIFY(QDir(fx.path("BMS_SN9_20260108.log")).removeRecursively());
        log.write("three", 0);
        QCOMPARE(fx.lines("BMS_SN9_20260108.log").size(), 3);
        QCOMPARE(log.pendingLineCount(), 0);
    }

    void missingDirectoryFallsBackToTheWorkingDirectory()
    {
        Fixture fx;
        const QString old = QDir::currentPath();
        QDir::setCurrent(fx.dir.path());
        {
            LogWriter log(fx.hooks());
            log.setRequestedDir(fx.path("does/not/exist"));
            fx.linked = true;
            log.setSerial(1);
            log.write("x", 0);
            QCOMPARE(QFileInfo(log.currentFilePath()).absolutePath(), QFileInfo(fx.dir.path()).absoluteFilePath());
            QCOMPARE(log.requestedDir(), QDir::currentPath());
        }
        QDir::setCurrent(old);
    }

    void waitingLinesAreCapped()
    {
        Fixture fx;
        LogWriter log(fx.hooks());
        log.setRequestedDir(fx.dir.path());
        const int extra = 5;
        for (int i = 0; i < LogWriter::kMaxPendingLines + extra; ++i)
            log.write(QString::number(i), 0);
        QCOMPARE(log.pendingLineCount(), LogWriter::kMaxPendingLines);
        fx.linked = true;
        log.setSerial(2);
        log.write("linked", 0);
        const QStringList lines = fx.lines("BMS_SN2_20260108.log");
        QCOMPARE(lines.size(), LogWriter::kMaxPendingLines + 2);
        QVERIFY(lines.first().endsWith("5 earlier log lines were dropped while no unit was linked"));
        QVERIFY(lines.at(1).endsWith(",0,5")); // the oldest kept line
    }

    void concurrentWritersGiveWholeLines()
    {
        Fixture fx;
        fx.linked = true;
        LogWriter log({[] { return true; }, [&] { return fx.linked.load(); }, {}, {}});
        log.setRequestedDir(fx.dir.path());
        log.setSerial(3);
        const int perThread = 2000;
        std::vector<QThread*> threads;
        for (int t = 0; t < 4; ++t) {
            threads.push_back(QThread::create([&log, t] {
                for (int i = 0; i < perThread; ++i)
                    log.write(QString("thread %1 line %2 ").arg(t).arg(i) + QString(40, QChar('a' + t)), 0);
            }));
            threads.back()->start();
        }
        for (QThread* th : threads) {
            QVERIFY(th->wait(30000));
            delete th;
        }
        const QString name = QFileInfo(log.currentFilePath()).fileName();
        QFile f(QDir(fx.dir.path()).filePath(name));
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QStringList lines = QString::fromLatin1(f.readAll()).split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 4 * perThread);
        QRegularExpression whole("^\\d\\d:\\d\\d:\\d\\d\\.\\d{3},0,thread (\\d) line \\d+ ([a-d])\\2{39}$");
        for (const QString& l : lines) {
            auto m = whole.match(l);
            QVERIFY2(m.hasMatch(), qPrintable(l));
            QCOMPARE(m.captured(2).at(0), QChar('a' + m.captured(1).toInt()));
        }
    }
};

QTEST_GUILESS_MAIN(TstLogWriter)
#include "tst_logwriter.moc"
