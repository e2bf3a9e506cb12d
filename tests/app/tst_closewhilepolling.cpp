// Closing while the status poller is inside a send on the transport: the
// transport is deleted only after the poller has let go of it.
#include "BmsGui.h"
#include "CommunicatorSelector.h"
#include "ScriptedDialogs.h"
#include "StartupRules.h"
#include "StatusPage.h"

#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

namespace {
std::atomic<bool> g_inWrite{false};

// A transport without a port whose writes stall a while, as a port that
// takes no bytes does; its loop only waits for the stop.
class StallingTransport : public Communicator
{
public:
    qint64 write(const char*, qint64 count) override
    {
        g_inWrite = true;
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
        g_inWrite = false;
        return count;
    }
    void flush() override {}
    void run() override
    {
        while (!isStopRequested())
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        emit done();
    }
};
} // namespace

class TestCloseWhilePolling : public QObject
{
    Q_OBJECT
private slots:
    void closeWaitsForTheSendInProgress();

private:
    QTemporaryDir dir_;
};

void TestCloseWhilePolling::closeWaitsForTheSendInProgress()
{
    QCoreApplication::setOrganizationName(kOrganisationName);
    QCoreApplication::setApplicationName(kApplicationName);
    QSettings().setValue("LogFileDir", dir_.path());
    CommunicatorSelector::instance()->setFactory(CommunicatorSelector::Serial,
                                                 [] { return new StallingTransport; });
    ScriptedDialogs dialogs;
    dialogs.quitAnswer = true;
    std::unique_ptr<BMS_GUI> w(new BMS_GUI);
    w->setDialogs(&dialogs);
    QVERIFY(dynamic_cast<StallingTransport*>(w->communicator()));
    // After the window's first link report (searching).
    QTRY_VERIFY_WITH_TIMEOUT(w->isVisible(), 5000);
    QTest::qWait(50);
    // The poller runs while linked; it sends through the stalling transport.
    w->statusPage()->connectionStatusChanged(true);
    w->statusPage()->setPollingEnabled(true);
    QTRY_VERIFY_WITH_TIMEOUT(g_inWrite, 5000);

    // A close that waited for the poller for good would never return here.
    QVERIFY(w->close());
    w.reset();
}

QTEST_MAIN(TestCloseWhilePolling)
#include "tst_closewhilepolling.moc"
