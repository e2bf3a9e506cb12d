// Closing the window: refused with a word while the unit's firmware is being
// written, kept running when the user cancels, and on Ok ended even while a
// parameter loader hangs in a send.
#include "BmsGui.h"
#include "ConfigPage.h"
#include "ConfigParam.h"
#include "ConfigParamLoader.h"
#include "ParamReplyWait.h"
#include "ScriptedDialogs.h"
#include "StartupRules.h"
#include "UpdatePage.h"

#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <condition_variable>
#include <mutex>

class TestMainWindowClose : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void refusedWhileTheFirmwareIsWritten();
    void cancelKeepsEverythingRunning();
    // Last: it ends the application's event loop.
    void okEndsTheProgramWithAHungLoader();

private:
    static void pressCtrlQ(BMS_GUI& w);
    QTemporaryDir dir_;
};

void TestMainWindowClose::initTestCase()
{
    QCoreApplication::setOrganizationName(kOrganisationName);
    QCoreApplication::setApplicationName(kApplicationName);
    QSettings().setValue("LogFileDir", dir_.path());
}

void TestMainWindowClose::pressCtrlQ(BMS_GUI& w)
{
    QApplication::setActiveWindow(&w);
    QTest::keyClick(&w, Qt::Key_Q, Qt::ControlModifier);
}

void TestMainWindowClose::refusedWhileTheFirmwareIsWritten()
{
    ScriptedDialogs dialogs;
    dialogs.quitAnswer = true;
    BMS_GUI w;
    w.setDialogs(&dialogs);
    QTRY_VERIFY_WITH_TIMEOUT(w.isVisible(), 5000);
    w.updatePage()->updateRunning = true;
    QVERIFY(!w.close());
    QVERIFY(w.isVisible());
    QVERIFY(!w.isClosing());
    QCOMPARE(dialogs.quitQuestions, 0);
    QCOMPARE(dialogs.informations.size(), 1);
    QVERIFY2(dialogs.informations.at(0).contains("firmware of the Control Unit is being updated"),
             qPrintable(dialogs.informations.at(0)));
    w.updatePage()->updateRunning = false;
}

void TestMainWindowClose::cancelKeepsEverythingRunning()
{
    ScriptedDialogs dialogs;
    BMS_GUI w;
    w.setDialogs(&dialogs);
    w.addQuitAction();
    QTRY_VERIFY_WITH_TIMEOUT(w.isVisible(), 5000);
    pressCtrlQ(w);
    QCOMPARE(dialogs.quitQuestions, 1);
    QVERIFY(w.isVisible());
    QVERIFY(!w.isClosing());
    // The link keeps reporting: "Trying to connect" with advancing dots.
    QSignalSpy titles(&w, &QWidget::windowTitleChanged);
    QTRY_VERIFY_WITH_TIMEOUT(titles.size() >= 2, 5000);
}

void TestMainWindowClose::okEndsTheProgramWithAHungLoader()
{
    ScriptedDialogs dialogs;
    dialogs.quitAnswer = true;
    auto* w = new BMS_GUI;
    w->setDialogs(&dialogs);
    w->addQuitAction();
    QTRY_VERIFY_WITH_TIMEOUT(w->isVisible(), 5000);

    // A loader whose send never returns until the test lets it.
    std::mutex mutex;
    std::condition_variable cv;
    bool release = false;
    std::atomic<bool> sending{false};
    ParamReplyWait replyWait;
    ConfigParamLoader::Hooks hooks;
    hooks.replyWait = &replyWait;
    hooks.sendParamRequest = [&](int) {
        sending = true;
        std::unique_lock<std::mutex> lock(mutex);
        cv.wait(lock, [&] { return release; });
    };
    auto* loader = new ConfigParamLoader(hooks);
    loader->queueParams({w->configPage()->addConfigParam(0x0010, 0)});
    QPointer<ConfigParamLoader> watch = loader;
    w->configPage()->paramLoader = loader;
    w->configPage()->loaderThread = ConfigParamLoader::start(loader, w->configPage());
    QTRY_VERIFY(sending);

    QTimer::singleShot(0, w, [w] { pressCtrlQ(*w); });
    QTimer watchdog;
    watchdog.setSingleShot(true);
    connect(&watchdog, &QTimer::timeout, [] { QCoreApplication::exit(7); });
    // The watchdog ends the loop with 7 only if closing hangs on the loader.
    watchdog.start(20000);
    const int rc = QCoreApplication::exec();
    delete w;
    QCOMPARE(rc, 0);
    QCOMPARE(dialogs.quitQuestions, 1);
    QVERIFY(watch); // still hung, never terminated

    // Once its send returns, the loader ends and is cleaned up.
    {
        std::lock_guard<std::mutex> lock(mutex);
        release = true;
    }
    cv.notify_all();
    QTRY_VERIFY(!watch);
}

QTEST_MAIN(TestMainWindowClose)
#include "tst_mainwindow_close.moc"
