#include "SignalWindowTab.h"
#include "myTabWidget.h"

#include <QCursor>
#include <QMouseEvent>
#include <QShortcut>
#include <QSignalSpy>
#include <QTabBar>
#include <QTest>

class TestTabWidget : public QObject
{
    Q_OBJECT
private:
    QWidget* window = nullptr;
    myTabWidget* tabs = nullptr;
    QList<QWidget*> pages;
    QList<QShortcut*> shortcuts;

    QStringList tabTitles() const
    {
        QStringList t;
        for (int i = 0; i < tabs->count(); ++i)
            t << tabs->tabText(i);
        return t;
    }
    void mouse(QEvent::Type type, const QPoint& pos, Qt::MouseButton button)
    {
        QMouseEvent e(type, pos, tabs->tabBar()->mapToGlobal(pos), type == QEvent::MouseMove ? Qt::NoButton : button,
                      type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(button), Qt::NoModifier);
        QApplication::sendEvent(tabs->tabBar(), &e);
    }
    // Presses on the current tab, moves by (dx, dy) and releases.
    void drag(int dx, int dy, bool release = true)
    {
        const QPoint start = tabs->tabBar()->tabRect(tabs->currentIndex()).center();
        mouse(QEvent::MouseButtonPress, start, Qt::LeftButton);
        mouse(QEvent::MouseMove, start + QPoint(dx, dy), Qt::LeftButton);
        if (release)
            mouse(QEvent::MouseButtonRelease, start + QPoint(dx, dy), Qt::LeftButton);
    }
    void undock(int pageIndex)
    {
        tabs->setCurrentWidget(pages.at(pageIndex));
        drag(30, 0);
        QVERIFY(!tabs->isTabDocked(pageIndex));
    }

private slots:
    void init()
    {
        window = new QWidget;
        pages.clear();
        shortcuts.clear();
        const QStringList titles{"A", "B", "C"};
        for (int i = 0; i < 3; ++i) {
            pages << new SignalWindowTab;
            shortcuts << new QShortcut(QKeySequence(QString("Ctrl+%1").arg(i)), window);
        }
        tabs = new myTabWidget(pages, titles, &shortcuts, window);
        window->resize(400, 300);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window));
    }
    void cleanup()
    {
        delete window;
        window = nullptr;
    }

    void dragMustExceedTwentyPixels_data()
    {
        QTest::addColumn<int>("dx");
        QTest::addColumn<int>("dy");
        QTest::addColumn<bool>("undocks");
        QTest::newRow("20 right") << 20 << 0 << false;
        QTest::newRow("20 up") << 0 << -20 << false;
        QTest::newRow("21 right") << 21 << 0 << true;
        QTest::newRow("21 left") << -21 << 0 << true;
        QTest::newRow("21 down") << 0 << 21 << true;
    }
    void dragMustExceedTwentyPixels()
    {
        QFETCH(int, dx);
        QFETCH(int, dy);
        QFETCH(bool, undocks);
        QSignalSpy docked(tabs, QOverload<int>::of(&myTabWidget::tabDocked));
        tabs->setCurrentIndex(1);
        drag(dx, dy);
        QCOMPARE(!tabs->isTabDocked(1), undocks);
        QCOMPARE(tabs->count(), undocks ? 2 : 3);
        QCOMPARE(pages[1]->isWindow(), undocks);
        if (undocks) {
            QCOMPARE(docked.count(), 1);
            QCOMPARE(docked.at(0).at(0).toInt(), 1);
            QCOMPARE(pages[1]->windowTitle(), QString("B"));
            QVERIFY(pages[1]->isVisible());
        }
    }

    void undockedWindowFollowsTheCursorUntilRelease()
    {
        tabs->setCurrentIndex(0);
        const QPoint start = tabs->tabBar()->tabRect(0).center();
        mouse(QEvent::MouseButtonPress, start, Qt::LeftButton);
        QCursor::setPos(300, 250);
        mouse(QEvent::MouseMove, start + QPoint(25, 0), Qt::LeftButton);
        QWidget* w = pages[0];
        QVERIFY(w->isWindow());
        QCOMPARE(w->pos(), QPoint(300 - w->width() / 2, 250 - 20));
        // The same drag does not take a second page.
        mouse(QEvent::MouseMove, start + QPoint(60, 0), Qt::LeftButton);
        QCOMPARE(tabs->count(), 2);
        mouse(QEvent::MouseButtonRelease, start + QPoint(60, 0), Qt::LeftButton);
        QCursor::setPos(320, 260);
        mouse(QEvent::MouseMove, start + QPoint(61, 0), Qt::NoButton);
        QCOMPARE(w->pos(), QPoint(300 - w->width() / 2, 250 - 20));
    }

    void lastDockedTabAndLockedWidgetKeepTheirTabs()
    {
        undock(0);
        undock(1);
        QCOMPARE(tabs->count(), 1);
        drag(40, 0);
        QCOMPARE(tabs->count(), 1);
        QVERIFY(tabs->isTabDocked(2));

        pages[1]->close();
        tabs->setUndockLocked(true);
        tabs->setCurrentIndex(0);
        drag(40, 0);
        QCOMPARE(tabs->count(), 2);
        // Windows already out stay out until closed.
        QVERIFY(!tabs->isTabDocked(0));
        tabs->setUndockLocked(false);
        drag(40, 0);
        QCOMPARE(tabs->count(), 1);
    }

    void closingWindowsDocksInConstructionOrder()
    {
        QSignalSpy docked(tabs, QOverload<int>::of(&myTabWidget::tabDocked));
        undock(1);
        pages[1]->close();
        QCOMPARE(tabTitles(), QStringList({"A", "B", "C"}));
        QVERIFY(tabs->isTabDocked(1));
        QCOMPARE(docked.count(), 2);
        QCOMPARE(docked.at(1).at(0).toInt(), 1);

        undock(0);
        undock(1);
        QCOMPARE(tabTitles(), QStringList({"C"}));
        pages[1]->close();
        QCOMPARE(tabTitles(), QStringList({"B", "C"}));
        tabs->closeTabWindow(0);
        QCOMPARE(tabTitles(), QStringList({"A", "B", "C"}));
        QVERIFY(!pages[0]->isWindow());
    }

    void hiddenTabsKeepTheirPlace()
    {
        // A hidden with removeTabAt, B undocked: B comes back before C.
        tabs->removeTabAt(0);
        QVERIFY(tabs->isTabDocked(0));
        undock(1);
        QCOMPARE(tabTitles(), QStringList({"C"}));
        pages[1]->close();
        QCOMPARE(tabTitles(), QStringList({"B", "C"}));
        tabs->restoreTab(pages[0]);
        QCOMPARE(tabTitles(), QStringList({"A", "B", "C"}));
        // Restoring a page that has its tab changes nothing.
        tabs->restoreTab(pages[0]);
        QCOMPARE(tabTitles(), QStringList({"A", "B", "C"}));
        tabs->restoreTab(new QWidget(window));
        QCOMPARE(tabs->count(), 3);
        // Two drags may leave exactly one docked tab.
        undock(0);
        undock(1);
        drag(40, 0);
        QCOMPARE(tabTitles(), QStringList({"C"}));
    }

    void closingADockedPageLeavesItsTab()
    {
        tabs->closeTabWindow(1);
        tabs->closeTabWindow(7);
        QCOMPARE(tabTitles(), QStringList({"A", "B", "C"}));
        tabs->setCurrentIndex(1);
        QVERIFY(pages[1]->isVisible());
    }

    void shortcutShowsItsOwnPage()
    {
        undock(0);
        emit shortcuts[2]->activated();
        QCOMPARE(tabs->currentWidget(), pages[2]);
        emit shortcuts[1]->activated();
        QCOMPARE(tabs->currentWidget(), pages[1]);
        // A page without a tab is left alone.
        emit shortcuts[0]->activated();
        QCOMPARE(tabs->currentWidget(), pages[1]);
    }

    void tabEnabledFollowsThePage()
    {
        tabs->setTabEnabledFor(pages[2], false);
        QVERIFY(!tabs->isTabEnabled(2));
        tabs->setTabEnabledFor(pages[2], true);
        QVERIFY(tabs->isTabEnabled(2));
        undock(0);
        tabs->setTabEnabledFor(pages[0], false);
        QVERIFY(tabs->isTabEnabled(0));
        QVERIFY(tabs->isTabEnabled(1));
    }

    void pressOnAPageTakesTheFocus()
    {
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window));
        tabs->setCurrentIndex(1);
        QTest::mouseClick(pages[1], Qt::LeftButton);
        QCOMPARE(window->focusWidget(), pages[1]);

        undock(2);
        QTest::mouseClick(pages[2], Qt::LeftButton);
        QCOMPARE(pages[2]->focusWidget(), pages[2]);
    }

    void undockedPagesGoWithTheirTabWidget()
    {
        QPointer<QWidget> out = pages[0];
        undock(0);
        delete window;
        window = nullptr;
        QVERIFY(out.isNull());
    }
};

QTEST_MAIN(TestTabWidget)
#include "tst_tabwidget.moc"
