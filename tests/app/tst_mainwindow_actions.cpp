// The main window's actions: the statistics entries by access level, link and
// charging state; access levels and the configuration tabs; the log options
// against the control-unit emulator; the refresh refused while loading; the
// information box and the language reactions. Every box is scripted.
#include "BmsGui.h"
#include "ConfigPage.h"
#include "ConfigParamLoader.h"
#include "ControlUnitSim.h"
#include "PortList.h"
#include "ScriptedDialogs.h"
#include "SignalWindowTab.h"
#include "StatisticsPage.h"
#include "StartupRules.h"
#include "UpdatePage.h"
#include "Y5ProtocolHandler.h"
#include "myTabWidget.h"

#include <QAction>
#include <QComboBox>
#include <QFile>
#include <QLocale>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

class TestMainWindowActions : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    // The window of statisticsEntries serves all its rows: gone before the next function.
    void init()
    {
        if (QByteArray(QTest::currentTestFunction()) != "statisticsEntries")
            statisticsWindow_.reset();
    }
    void cleanupTestCase() { statisticsWindow_.reset(); }
    void statisticsEntries_data();
    void statisticsEntries();
    void accessLevelKeepsTabsDockedAtZero();
    void logOptionsAgainstTheEmulator();
    void importRunsInConfigurationMode();
    void refreshRefusedWhileLoading();
    void informationAndLanguage();
    void updateSavesOnlyALoadedConfiguration();

private:
    QTemporaryDir dir_;
    QString port_;
    std::unique_ptr<BMS_GUI> statisticsWindow_;
};

void TestMainWindowActions::initTestCase()
{
    QCoreApplication::setOrganizationName(kOrganisationName);
    QCoreApplication::setApplicationName(kApplicationName);
    QSettings().setValue("LogFileDir", dir_.path());
    port_ = dir_.filePath("ttyBMS0");
    qputenv(kExtraPortsVariable, port_.toLocal8Bit());
}

void TestMainWindowActions::statisticsEntries_data()
{
    QTest::addColumn<bool>("stored");    // the manual store holds exported statistics
    QTest::addColumn<int>("level");
    QTest::addColumn<QString>("csLine"); // the unit's charging state
    QTest::addColumn<bool>("linkLost");
    QTest::addColumn<bool>("exportOn");
    QTest::addColumn<bool>("importOn");
    QTest::newRow("level 2, not charging") << true << 2 << "CS1,00" << false << true << true;
    QTest::newRow("level 2, nothing stored") << false << 2 << "CS1,00" << false << true << false;
    QTest::newRow("level 2, charging") << true << 2 << "CS1,01" << false << false << false;
    QTest::newRow("level 2, CS2 charging") << true << 2 << "CS2,01" << false << false << false;
    QTest::newRow("level 1") << true << 1 << "CS1,00" << false << false << false;
    QTest::newRow("level 0") << true << 0 << "CS1,00" << false << false << false;
    QTest::newRow("link lost") << true << 2 << "CS1,00" << true << false << false;
}

void TestMainWindowActions::statisticsEntries()
{
    QFETCH(bool, stored);
    QFETCH(int, level);
    QFETCH(QString, csLine);
    QFETCH(bool, linkLost);
    QFETCH(bool, exportOn);
    QFETCH(bool, importOn);
    QSettings store(kOrganisationName, kManualStatisticsStore);
    store.clear();
    if (stored)
        store.setValue("Statistics", 0);
    store.sync();

    // Each row sets the level and the charging state anew.
    if (!statisticsWindow_)
        statisticsWindow_.reset(new BMS_GUI);
    BMS_GUI& w = *statisticsWindow_;
    // The first link report (no port: not linked) has been handled.
    QTRY_VERIFY_WITH_TIMEOUT(w.isVisible(), 20000);
    w.setAccessLevel(level);
    // Level 2 withdraws both until the next charging-state line.
    if (level == 2) {
        QVERIFY(!w.exportStatisticsAction()->isEnabled());
        QVERIFY(!w.importStatisticsAction()->isEnabled());
    }
    w.processCsSentence("CS1,00");
    w.processCsSentence(csLine);
    if (linkLost) {
        QMetaObject::invokeMethod(&w, "slotUpdateStatus", Q_ARG(int, 1));
        QMetaObject::invokeMethod(&w, "slotUpdateStatus", Q_ARG(int, 0));
    }
    QCOMPARE(w.exportStatisticsAction()->isEnabled(), exportOn);
    QCOMPARE(w.importStatisticsAction()->isEnabled(), importOn);
    store.clear();
}

void TestMainWindowActions::accessLevelKeepsTabsDockedAtZero()
{
    BMS_GUI w;
    auto* tabs = new myTabWidget({new SignalWindowTab, new SignalWindowTab}, {"A", "B"}, nullptr, w.configPage());
    w.configPage()->tabWidget = tabs;
    // A drag of the second tab out of the bar, ended.
    auto undockSecond = [tabs] {
        tabs->setCurrentIndex(1);
        tabs->undockCurrentTab(50);
        QTest::mouseRelease(tabs->tabBar(), Qt::LeftButton);
        return !tabs->isTabDocked(1);
    };
    w.setAccessLevel(1);
    QCOMPARE(w.accessLevel(), 1);
    QVERIFY(undockSecond());

    // Logging out docks the undocked tab and keeps tabs docked.
    w.setAccessLevel(0);
    QVERIFY(tabs->isTabDocked(1));
    QVERIFY(!undockSecond());

    w.setAccessLevel(2);
    QVERIFY(undockSecond());
    w.setAccessLevel(0);
    QVERIFY(tabs->isTabDocked(1));
}

void TestMainWindowActions::logOptionsAgainstTheEmulator()
{
    ControlUnitSim sim;
    QVERIFY(sim.start(port_));
    sim.setVersion("BMS2", "0001E240", "2.1.4.2");
    QTemporaryDir logDir;
    ScriptedDialogs dialogs;
    dialogs.directory = logDir.path();
    QSettings().setValue("WriteLog", true);

    BMS_GUI w;
    w.setDialogs(&dialogs);
    QVERIFY(w.writeLogAction()->isChecked());
    // "Choose Log File Directory": stored at once, used by the next line.
    w.chooseLogDirAction()->trigger();
    QCOMPARE(dialogs.directoryTitles, QStringList{"Open Directory"});
    QCOMPARE(QSettings().value("LogFileDir").toString(), logDir.path());
    // A dialog left without a choice changes nothing.
    dialogs.directory.clear();
    w.chooseLogDirAction()->trigger();
    QCOMPARE(QSettings().value("LogFileDir").toString(), logDir.path());

    bool chosen = false;
    for (int i = 0; i < w.portCombo()->count() && !chosen; ++i) {
        if (portNameFromEntry(w.portCombo()->itemText(i)) == port_) {
            w.portCombo()->setCurrentIndex(i);
            chosen = true;
        }
    }
    QVERIFY(chosen);
    QTRY_VERIFY_WITH_TIMEOUT(w.windowTitle().contains("BMS SN:123456"), 8000);
    const QString path = QDir(logDir.path()).filePath(LogWriter::fileName(123456, QDate::currentDate(), 0));
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(path), 5000);
    QCOMPARE(w.logFilePath(), path);

    // A login goes out; its password never reaches the file.
    QVERIFY(w.protocolHandler()->sendPassword("2222"));
    QVERIFY(sim.waitForSentence("PW1,2222", 3000));
    auto fileText = [&path] {
        QFile f(path);
        f.open(QIODevice::ReadOnly);
        return QString::fromLatin1(f.readAll());
    };
    QTRY_VERIFY(fileText().contains(",0,<-PW1,***\n"));

    const QStringList lines = fileText().split('\n', Qt::SkipEmptyParts);
    QVERIFY(lines.size() > 4);
    const QRegularExpression stamp("^\\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\d,[0-9],");
    for (const QString& line : lines)
        QVERIFY2(stamp.match(line).hasMatch(), qPrintable(line));
    QCOMPARE(lines.at(0).mid(13), QString("0,KEPO BMS Dadevoz Arezi started"));
    QCOMPARE(lines.at(1).mid(13), QString("0,KEPO BMS Dadevoz Arezi v2.11.0"));
    const QString text = lines.join('\n');
    QVERIFY2(text.contains(",0,<-VR1,?,D7"), qPrintable(text));
    QVERIFY2(text.contains(",0,VR1,BMS2,0001E240,2.1.4.2"), qPrintable(text));
    QVERIFY(!text.contains("2222"));

    // "Write Log" off: stored, and nothing more reaches the file.
    w.writeLogAction()->trigger();
    QVERIFY(!QSettings().value("WriteLog").toBool());
    sim.reply("ST1,77");
    QTest::qWait(500);
    QVERIFY(!fileText().contains("ST1,77"));
    w.writeLogAction()->trigger();
    QVERIFY(QSettings().value("WriteLog").toBool());
    sim.reply("ST1,78");
    QTRY_VERIFY(fileText().contains(",0,ST1,78"));
}

void TestMainWindowActions::importRunsInConfigurationMode()
{
    QSettings store(kOrganisationName, kManualStatisticsStore);
    store.setValue("Statistics", 0);
    store.sync();
    ControlUnitSim sim;
    QVERIFY(sim.start(port_));
    ScriptedDialogs dialogs;
    BMS_GUI w;
    w.setDialogs(&dialogs);
    // The window has heard that it is not linked yet (that news disables
    // the statistics entries); the entries are enabled afterwards.
    QTRY_VERIFY(w.windowTitle().contains("Trying to connect"));
    w.setAccessLevel(2);
    w.processCsSentence("CS1,00");
    QVERIFY(w.importStatisticsAction()->isEnabled());

    // Not linked: an export fails and says so.
    w.exportStatisticsAction()->trigger();
    QCOMPARE(dialogs.informations, QStringList{"Exporting statistic values failed.\nPlease try again."});

    // Not linked: no configuration mode, nothing sent, the entry stays.
    w.importStatisticsAction()->trigger();
    QVERIFY(w.importStatisticsAction()->isEnabled());
    QVERIFY(!sim.waitForSentence("CM1", 300));

    for (int i = 0; i < w.portCombo()->count(); ++i)
        if (portNameFromEntry(w.portCombo()->itemText(i)) == port_)
            w.portCombo()->setCurrentIndex(i);
    QTRY_VERIFY_WITH_TIMEOUT(w.windowTitle().contains("BMS SN:"), 8000);
    w.setAccessLevel(2);
    w.processCsSentence("CS1,00");
    sim.clearReceived();
    w.importStatisticsAction()->trigger();
    // Entered for the import and left again, whatever its outcome.
    QStringList modes;
    for (const QString& s : sim.goodSentences())
        if (s.startsWith("CM1,"))
            modes << s;
    QCOMPARE(modes, (QStringList{"CM1,1", "CM1,0"}));
    QVERIFY(!sim.configMode());
    store.clear();
}

void TestMainWindowActions::refreshRefusedWhileLoading()
{
    BMS_GUI w;
    QVERIFY(w.portCombo()->count() > 0);
    {
        const QSignalBlocker block(w.portCombo());
        w.portCombo()->setCurrentIndex(0);
    }
    // A full parameter read runs: the list stays as it is.
    auto* loader = new ConfigParamLoader({});
    w.configPage()->paramLoader = loader;
    w.refreshButton()->click();
    QCOMPARE(w.portCombo()->currentIndex(), 0);
    delete loader;
    QVERIFY(!w.configPage()->paramLoader);
    // Without a link, a refresh leaves no port chosen.
    w.refreshButton()->click();
    QCOMPARE(w.portCombo()->currentIndex(), -1);
}

void TestMainWindowActions::informationAndLanguage()
{
    ScriptedDialogs dialogs;
    BMS_GUI w;
    w.setDialogs(&dialogs);
    w.slotCreateInfoMessageBox("<b>Unsupported firmware</b>");
    QCOMPARE(dialogs.informations, QStringList{"<b>Unsupported firmware</b>"});

    const QString restart = "Please restart the Dadevoz Arezi to activate new language.";
    QEvent localeChange(QEvent::LocaleChange);
    QCoreApplication::sendEvent(&w, &localeChange);
    const QString system = QLocale::system().name();
    QCOMPARE(QSettings().value("language").toString(), system.left(system.lastIndexOf('_')));
    QCOMPARE(dialogs.informations.last(), restart);

    QAction german("Deutsch");
    german.setData("de");
    QMetaObject::invokeMethod(&w, "slotLanguageChanged", Q_ARG(QAction*, &german));
    QCOMPARE(QSettings().value("language").toString(), QString("de"));
    QCOMPARE(QLocale().name(), QString("de_DE"));
    QCOMPARE(dialogs.informations.size(), 3);
    QLocale::setDefault(QLocale::c());

    QEvent languageChange(QEvent::LanguageChange);
    QCoreApplication::sendEvent(&w, &languageChange);
    QCOMPARE(dialogs.informations.size(), 4);
    QCOMPARE(dialogs.informations.last(), restart);
}

// Before a firmware update the configuration is saved per serial number; a
// configuration never read from the unit cannot be, so the update must not
// go on (a factory reset would lose it).
void TestMainWindowActions::updateSavesOnlyALoadedConfiguration()
{
    BMS_GUI w;
    ConfigPage* page = w.configPage();
    QVERIFY(w.updatePage()->saveConfiguration);
    QVERIFY(!w.updatePage()->saveConfiguration());
    page->configurationLoaded = true;
    QVERIFY(w.updatePage()->saveConfiguration());
    page->configurationLoaded = false;
}

QTEST_MAIN(TestMainWindowActions)
#include "tst_mainwindow_actions.moc"
