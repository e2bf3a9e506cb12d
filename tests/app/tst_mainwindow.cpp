// The main window against the control-unit emulator: it appears at the first
// link-status report, its title follows the link, lines reach the root map,
// a refresh keeps a working link and a change of transport is followed. The
// Configuration page, built after the first frame or when asked for, knows
// what the window reported before it stood.
#include "BmsGui.h"
#include "CommunicatorSelector.h"
#include "ConfigPage.h"
#include "ConfigParam.h"
#include "ControlUnitSim.h"
#include "Param.h"
#include "PortList.h"
#include "StartupRules.h"
#include "StatusPage.h"
#include "Y5ProtocolHandler.h"

#include <QComboBox>
#include <QGuiApplication>
#include <QListWidget>
#include <QMessageBox>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSettings>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTest>

namespace {

// Takes note of every sentence the root map hands it.
class RecordingParam : public Param
{
public:
    void updateValue(const QString&, int, const QString&, const QStringList& fields) override
    {
        lines << fields.join(",");
    }
    QStringList lines;
};

const QString kApp = " - KEPO BMS Dadevoz Arezi";

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void titleFollowsTheLink();
    void sideListShowsThePages();
    void transportChangeIsFollowed();
    void versionAfterResetAsksForTheLogin();
    void configurationPageBuiltLateKnowsTheLink();

private:
    bool choosePort(BMS_GUI& w);
    QTemporaryDir dir_;
    ControlUnitSim sim_;
    QString port_;
};

void TestMainWindow::initTestCase()
{
    QCoreApplication::setOrganizationName(kOrganisationName);
    QCoreApplication::setApplicationName(kApplicationName);
    QSettings().setValue("LogFileDir", dir_.path());
    port_ = dir_.filePath("ttyBMS0");
    QVERIFY(sim_.start(port_));
    qputenv(kExtraPortsVariable, port_.toLocal8Bit());
}

bool TestMainWindow::choosePort(BMS_GUI& w)
{
    for (int i = 0; i < w.portCombo()->count(); ++i) {
        if (portNameFromEntry(w.portCombo()->itemText(i)) == port_) {
            w.portCombo()->setCurrentIndex(i);
            return true;
        }
    }
    return false;
}

void TestMainWindow::titleFollowsTheLink()
{
    sim_.setVersion("BMS2", "0001E240", "2.1.4.2");
    RecordingParam st1; // outlives the window's map
    BMS_GUI w;
    QVERIFY(!w.isVisible());
    QSignalSpy titles(&w, &QWidget::windowTitleChanged);

    // No port chosen: the transport keeps reporting "no link" and the dots advance.
    QTRY_VERIFY_WITH_TIMEOUT(titles.size() >= 3, 20000);
    QVERIFY(w.isVisible());
    // The window holds its content and menu bar, within the screen.
    const QSize screen = QGuiApplication::primaryScreen()->geometry().size();
    auto* scroll = qobject_cast<QScrollArea*>(w.centralWidget());
    QVERIFY(scroll);
    const QSize needed = scroll->widget()->sizeHint() + QSize(0, w.menuWidget()->sizeHint().height());
    QCOMPARE(w.size(), fitWindowGeometry(needed, screen).size());
    // What the window counts as needed is all it needs (whether or not the
    // screen has the room).
    w.resize(needed);
    QTRY_COMPARE(scroll->viewport()->size(), scroll->widget()->sizeHint());
    QVERIFY(!scroll->horizontalScrollBar()->isVisible());
    QVERIFY(!scroll->verticalScrollBar()->isVisible());
    QStringList seen;
    for (const auto& args : titles)
        seen << args.at(0).toString();
    const int first = seen.indexOf("Trying to connect" + QString(5, ' ') + kApp);
    QVERIFY2(first >= 0, qPrintable(seen.join("|")));
    QVERIFY2(seen.mid(first, 3)
                 == (QStringList{"Trying to connect     " + kApp, "Trying to connect.    " + kApp,
                                 "Trying to connect..   " + kApp}),
             qPrintable(seen.join("|")));

    // The chosen port links: port, decimal serial and version.
    QVERIFY(choosePort(w));
    const QString linked = port_ + ": BMS SN:123456 ver.:2.1.4.2" + kApp;
    QTRY_COMPARE_WITH_TIMEOUT(w.windowTitle(), linked, 20000);
    QTRY_COMPARE(w.bmsSerialNumber(), 123456u);

    // Received lines reach the root map.
    w.rootSentenceMap()->addHandler("ST1", -1, &st1);
    sim_.reply("ST1,1A,,3");
    QTRY_VERIFY(st1.lines.contains("ST1,1A,,3"));

    // A refresh keeps the link and its port while the port is still listed,
    // also when the connection thread asks for it.
    titles.clear();
    QMetaObject::invokeMethod(&w, "slotListUpdate_");
    QThread helper;
    QObject worker;
    worker.moveToThread(&helper);
    helper.start();
    QMetaObject::invokeMethod(&worker, [&w] { w.refreshPortList(); });
    QTest::qWait(2500);
    helper.quit();
    helper.wait();
    QVERIFY(w.communicator()->linked);
    QCOMPARE(portNameFromEntry(w.portCombo()->currentText()), port_);
    for (const auto& args : titles)
        QVERIFY2(!args.at(0).toString().startsWith("Trying"), qPrintable(args.at(0).toString()));
    QCOMPARE(w.windowTitle(), linked);

    // The unit vanishes: back to trying.
    sim_.vanish();
    QTRY_VERIFY_WITH_TIMEOUT(w.windowTitle().startsWith("Trying to connect"), 20000);
    QVERIFY(w.windowTitle().endsWith(kApp));
    QVERIFY(sim_.reappear());
}

void TestMainWindow::sideListShowsThePages()
{
    BMS_GUI w;
    QCOMPARE(w.pageList()->count(), 5);
    QCOMPARE(w.pageStack()->count(), 5);
    QCOMPARE(w.pageList()->item(4)->text(), QString("External\ncomponents"));
    QCOMPARE(w.pageStack()->widget(0), static_cast<QWidget*>(w.statusPage()));
    QSignalSpy pages(&w, &BMS_GUI::sigCurrentPageChanged);
    w.pageList()->setCurrentRow(3);
    QCOMPARE(w.pageStack()->currentIndex(), 3);
    QCOMPARE(pages.size(), 1);
    QCOMPARE(pages.at(0).at(0).toInt(), 3);
}

void TestMainWindow::transportChangeIsFollowed()
{
    sim_.setVersion("BMS2", "80000001", "2.2.0");
    RecordingParam st1; // outlives the window's map
    BMS_GUI w;
    QVERIFY(choosePort(w));
    const QString linked = port_ + ": BMS SN:2147483649 ver.:2.2.0" + kApp;
    QTRY_COMPARE_WITH_TIMEOUT(w.windowTitle(), linked, 20000);

    // A change without a transport is refused; the window keeps its own.
    Communicator* before = w.communicator();
    w.slotCommunicatorChanged(CommunicatorSelector::Serial, nullptr);
    QCOMPARE(w.communicator(), before);

    // Idle transport, then a new serial one: the window, the pages and the
    // handler follow it, and its lines reach the root map.
    CommunicatorSelector* selector = CommunicatorSelector::instance();
    QVERIFY(selector->select(CommunicatorSelector::Dummy));
    QCOMPARE(w.communicator(), selector->communicator());
    QVERIFY(selector->select(CommunicatorSelector::Serial));
    QCOMPARE(w.communicator(), selector->communicator());
    QVERIFY(w.communicator() != before);
    QCOMPARE(w.protocolHandler()->communicator(), w.communicator());
    selector->startCommunicator();
    QTRY_VERIFY_WITH_TIMEOUT(w.windowTitle().startsWith("Trying to connect"), 20000);
    w.portCombo()->setCurrentIndex(-1);
    QVERIFY(choosePort(w));
    QTRY_COMPARE_WITH_TIMEOUT(w.windowTitle(), linked, 20000);

    w.rootSentenceMap()->addHandler("ST1", -1, &st1);
    sim_.reply("ST1,2");
    QTRY_VERIFY(st1.lines.contains("ST1,2"));
    // Wired once: each line arrives once.
    QTest::qWait(200);
    QCOMPARE(st1.lines.count("ST1,2"), 1);
}

void TestMainWindow::versionAfterResetAsksForTheLogin()
{
    sim_.setVersion("BMS2", "0001E240", "2.1.4.2");
    sim_.setLoginLevel(2);
    BMS_GUI w;
    QVERIFY(choosePort(w));
    QTRY_VERIFY_WITH_TIMEOUT(w.windowTitle().contains("BMS SN:123456"), 20000);
    Y5ProtocolHandler* h = w.protocolHandler();
    h->loginAccepted = false;
    h->setResetPending(true);
    sim_.clearReceived();
    sim_.reply(sim_.versionReply());
    // The login query goes out, its reply is taken as the awaited one.
    QTRY_VERIFY(sim_.goodSentences().contains("PW1,?"));
    QTRY_VERIFY(!h->resetPending);
    QVERIFY(h->loginAccepted);
    QTRY_VERIFY(!h->pw1ReplyPending);
    sim_.setLoginLevel(0);
}

void TestMainWindow::configurationPageBuiltLateKnowsTheLink()
{
    sim_.setVersion("BMS2", "0001E240", "2.1.4.2");
    const QString linked = port_ + ": BMS SN:123456 ver.:2.1.4.2" + kApp;
    // Which of the page's widgets are hidden, in the order they were made.
    auto hiddenOf = [](ConfigPage* page) {
        QList<bool> hidden;
        for (QWidget* w : page->findChildren<QWidget*>())
            hidden << w->isHidden();
        return hidden;
    };
    QList<bool> builtFirst;
    {
        // Asked for before the window reported anything: built as the window stands.
        BMS_GUI w;
        ConfigPage* page = w.configPage();
        QVERIFY(choosePort(w));
        QTRY_COMPARE_WITH_TIMEOUT(w.windowTitle(), linked, 20000);
        QTRY_VERIFY_WITH_TIMEOUT(page->loadQuestion() && page->loadQuestion()->isVisible(), 20000);
        builtFirst = hiddenOf(page);
        page->loadQuestion()->done(QMessageBox::No);
    }
    {
        // Asked for once the window has shown itself without a link.
        BMS_GUI w;
        QTRY_VERIFY_WITH_TIMEOUT(w.isVisible(), 20000);
        ConfigPage* page = w.configPage();
        QVERIFY(page);
        QCOMPARE(w.pageStack()->count(), 5);
        QCOMPARE(w.pageStack()->widget(2), static_cast<QWidget*>(page));
        QCOMPARE(w.pageStack()->currentIndex(), 0);
        int editors = 0;
        for (const ConfigParam* p : page->configParams()) {
            if (!p->widget)
                continue;
            ++editors;
            QVERIFY2(!p->widget->isEnabled(), qPrintable(p->name));
            QVERIFY2(p->widget->styleSheet().contains("color: white"), qPrintable(p->name));
        }
        QVERIFY(editors > 100);
        w.pageList()->setCurrentRow(2);
        QCOMPARE(w.pageStack()->currentWidget(), static_cast<QWidget*>(page));
    }
    {
        // Nothing asks for it before the unit links: the link offers the load
        // all the same, for the unit the version line named, and the page
        // shows and hides what the page built first did.
        BMS_GUI w;
        QVERIFY(choosePort(w));
        QTRY_COMPARE_WITH_TIMEOUT(w.windowTitle(), linked, 20000);
        auto* page = qobject_cast<ConfigPage*>(w.pageStack()->widget(2));
        QVERIFY(page);
        QTRY_VERIFY_WITH_TIMEOUT(page->loadQuestion() && page->loadQuestion()->isVisible(), 20000);
        QTRY_VERIFY(page->isUnitGenerationKnown());
        QCOMPARE(page->unitGeneration(), 2);
        QCOMPARE(hiddenOf(page), builtFirst);
        page->loadQuestion()->done(QMessageBox::No);
    }
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
