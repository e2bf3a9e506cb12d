// The main window's statistics entries around an automatic import that
// fails: the saved values wait in the manual store for "Import Statistics".
#include "BmsGui.h"
#include "HeldBox.h"
#include "StatisticsPage.h"

#include <QAction>
#include <QCoreApplication>
#include <QSettings>
#include <QTest>

class TestStatisticsWindow : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void failedAutomaticImportOffersOnlyTheImport();
};

void TestStatisticsWindow::initTestCase()
{
    QCoreApplication::setOrganizationName(kStatisticsOrganisation);
    QCoreApplication::setApplicationName("KEPO BMS Dadevoz Arezi");
    QSettings().clear();
    QSettings(kStatisticsOrganisation, kManualStatisticsStore).clear();
}

// After a failed automatic import the window offers "Import Statistics";
// "Export Statistics" keeps following the login and the charging state.
void TestStatisticsWindow::failedAutomaticImportOffersOnlyTheImport()
{
    QSettings app;
    app.setValue("Statistics", 0);
    app.setValue("SS1,00,1,1,00000001", 0);
    app.sync();
    BMS_GUI w;
    QStringList criticals;
    StatisticsPage::Dialogs d;
    d.critical = [&criticals](const QString& title, const QString& text) {
        testkit::holdLikeABox();
        criticals << title + "|" + text;
    };
    w.statisticsPage()->setDialogs(d);
    w.setAccessLevel(1);
    w.processCsSentence("CS1,00"); // not charging
    QVERIFY(!w.exportStatisticsAction()->isEnabled());
    QVERIFY(!w.importStatisticsAction()->isEnabled());

    // No unit answers: the saved values go to the manual store.
    QVERIFY(!w.statisticsPage()->importStatistics(true));
    QCOMPARE(criticals.size(), 1);
    QVERIFY(w.importStatisticsAction()->isEnabled());
    QVERIFY(!w.exportStatisticsAction()->isEnabled());
    QVERIFY(QSettings(kStatisticsOrganisation, kManualStatisticsStore).contains("SS1,00,1,1,00000001"));
}

QTEST_MAIN(TestStatisticsWindow)
#include "tst_statistics_window.moc"
