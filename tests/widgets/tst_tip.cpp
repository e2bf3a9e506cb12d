#include "Tip.h"

#include <QApplication>
#include <QCursor>
#include <QLabel>
#include <QMouseEvent>
#include <QPointer>
#include <QScreen>
#include <QTest>

namespace {

// A target that counts the mouse presses and releases that reach it.
class Target : public QWidget
{
public:
    using QWidget::QWidget;
    int presses = 0;
    int releases = 0;

protected:
    void mousePressEvent(QMouseEvent*) override { ++presses; }
    void mouseReleaseEvent(QMouseEvent*) override { ++releases; }
};

QRect screenRect()
{
    return QGuiApplication::primaryScreen()->geometry();
}

} // namespace

class TestTip : public QObject
{
    Q_OBJECT
private:
    QWidget* host = nullptr;
    Target* target = nullptr;

    void makeHost(const QRect& hostRect, const QRect& targetRect)
    {
        host = new QWidget;
        host->setGeometry(hostRect);
        target = new Target(host);
        target->setGeometry(targetRect);
    }
    void showHost()
    {
        host->show();
        QVERIFY(QTest::qWaitForWindowExposed(host));
    }
    void cursorOnTarget() { QCursor::setPos(target->mapToGlobal(target->rect().center())); }
    void cursorAway() { QCursor::setPos(screenRect().bottomRight() - QPoint(2, 2)); }
    static void send(QWidget* w, QEvent::Type type)
    {
        QEvent e(type);
        QApplication::sendEvent(w, &e);
    }
    // Puts the cursor on the target and lets the catcher see it come in.
    void enter(Tip* tip)
    {
        cursorOnTarget();
        send(tip, QEvent::Enter);
    }

private slots:
    void init() { makeHost(QRect(200, 200, 300, 200), QRect(100, 80, 80, 30)); }
    void cleanup()
    {
        delete host;
        host = nullptr;
        cursorAway();
    }

    void emptyTextNeverShows()
    {
        auto* tip = new Tip(target, QString(), 1, 0, 10000, 0);
        showHost();
        enter(tip);
        QTest::qWait(30);
        QVERIFY(!tip->isBubbleVisible());

        tip->setText("now on");
        enter(tip);
        QTRY_VERIFY(tip->isBubbleVisible());
        QStringList texts;
        for (const QLabel* l : tip->bubble()->findChildren<QLabel*>())
            texts << l->text();
        QVERIFY2(texts.contains("now on"), qPrintable(texts.join('|')));
        send(tip, QEvent::Leave);
        QVERIFY(!tip->isBubbleVisible());

        tip->setText("");
        enter(tip);
        QTest::qWait(30);
        QVERIFY(!tip->isBubbleVisible());
    }

    // A tip emptied after the mouse came in (the login button's, after a login)
    // shows no bubble, and a shown one goes.
    void textEmptiedWhileWaitingOrShownShowsNothing()
    {
        auto* tip = new Tip(target, "Login", 1, 100, 10000, 0);
        showHost();
        enter(tip);
        tip->setText(QString());
        QTest::qWait(250);
        QVERIFY(!tip->isBubbleVisible());

        tip->setText("Login");
        enter(tip);
        QTRY_VERIFY(tip->isBubbleVisible());
        tip->setText(QString());
        QVERIFY(!tip->isBubbleVisible());
    }

    void catcherCoversTheTarget()
    {
        auto* tip = new Tip(target, "help", 1, 0, 10000, 0);
        showHost();
        QVERIFY(tip->isVisible());
        QCOMPARE(tip->size(), target->size());
        target->resize(120, 40);
        QTRY_COMPARE_WITH_TIMEOUT(tip->size(), target->size(), 1000);
    }

    // Made while its target waits on a hidden page of a shown window (a tip
    // made when a value arrives): it works once the page shows.
    void madeOnAHiddenPageWorksWhenThePageShows()
    {
        auto* page = new QWidget(host);
        page->setGeometry(0, 0, 300, 200);
        target->setParent(page);
        target->setGeometry(100, 80, 80, 30);
        showHost();
        page->hide();
        auto* tip = new Tip(target, "help", 1, 0, 10000, 0);
        page->show();
        QVERIFY(tip->isVisible());
        enter(tip);
        QTRY_VERIFY(tip->isBubbleVisible());
    }

    void zeroDelayShowsAtTheNextTurn()
    {
        auto* tip = new Tip(target, "help", 1, 0, 10000, 0);
        showHost();
        enter(tip);
        QVERIFY(!tip->isBubbleVisible());
        QCoreApplication::processEvents();
        QVERIFY(tip->isBubbleVisible());
    }

    void showsOnlyAfterTheDelay()
    {
        auto* tip = new Tip(target, "help", 1, 150, 10000, 0);
        showHost();
        QElapsedTimer clock;
        clock.start();
        enter(tip);
        QTest::qWait(50);
        if (clock.elapsed() < 140)
            QVERIFY(!tip->isBubbleVisible());
        QTRY_VERIFY(tip->isBubbleVisible());
        QVERIFY(clock.elapsed() >= 150);
    }

    void leavingOrMovingAwayBeforeTheDelayKeepsItHidden_data()
    {
        QTest::addColumn<bool>("leaveEvent");
        QTest::newRow("leave") << true;
        QTest::newRow("cursor outside when the delay ends") << false;
    }
    void leavingOrMovingAwayBeforeTheDelayKeepsItHidden()
    {
        QFETCH(bool, leaveEvent);
        auto* tip = new Tip(target, "help", 1, 40, 10000, 0);
        showHost();
        enter(tip);
        cursorAway();
        if (leaveEvent)
            send(tip, QEvent::Leave);
        QTest::qWait(100);
        QVERIFY(!tip->isBubbleVisible());
    }

    void leaveHidesAShownBubble()
    {
        auto* tip = new Tip(target, "help", 1, 0, 10000, 0);
        showHost();
        enter(tip);
        QTRY_VERIFY(tip->isBubbleVisible());
        cursorAway();
        send(tip, QEvent::Leave);
        QVERIFY(!tip->isBubbleVisible());
    }

    void lostLeaveIsCaughtByTheUnstuckCheck()
    {
        auto* tip = new Tip(target, "help", 1, 0, 10000, 0);
        showHost();
        enter(tip);
        QTRY_VERIFY(tip->isBubbleVisible());
        cursorAway();
        QTRY_VERIFY_WITH_TIMEOUT(!tip->isBubbleVisible(), 2000);
    }

    void clickHidesTheBubbleAndReachesTheTarget()
    {
        auto* tip = new Tip(target, "help", 1, 0, 10000, 0);
        showHost();
        enter(tip);
        QTRY_VERIFY(tip->isBubbleVisible());
        QTest::mousePress(tip, Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
        QVERIFY(!tip->isBubbleVisible());
        QCOMPARE(target->presses, 1);
        QTest::mouseRelease(tip, Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
        QCOMPARE(target->releases, 1);
        // The catcher steps aside for a moment and comes back.
        QVERIFY(!tip->isVisible());
        QTRY_VERIFY(tip->isVisible());
    }

    void releaseOutsideTheTargetIsSwallowed()
    {
        auto* tip = new Tip(target, "help", 1, 0, 10000, 0);
        showHost();
        cursorAway();
        QTest::mouseRelease(tip, Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
        QCOMPARE(target->releases, 0);
    }

    void bubbleSitsAboveTheTargetWhenItFits()
    {
        auto* tip = new Tip(target, "help", 1, 0, 10000, 0);
        showHost();
        enter(tip);
        QTRY_VERIFY(tip->isBubbleVisible());
        QCOMPARE(tip->placement(), 1);
        QCOMPARE(tip->currentArrow(), tip->arrowLabel(1));
        QVERIFY(tip->currentArrow()->isVisible());
        const QRect t(target->mapToGlobal(QPoint(0, 0)), target->size());
        const QRect b = tip->bubble()->geometry();
        QCOMPARE(b.bottom() + 1 + 3, t.top());
        QCOMPARE(b.left() + b.width() / 2, t.left() + t.width() / 2);
    }

    void placementFallsBackAndIsKept_data()
    {
        QTest::addColumn<int>("targetX");
        QTest::addColumn<int>("targetWidth");
        QTest::addColumn<int>("expected");
        // At the top of the screen nothing fits above: the right side is next,
        // then the left, then the cursor.
        QTest::newRow("right") << 50 << 40 << 2;
        QTest::newRow("left") << screenRect().width() - 60 << 40 << 0;
        QTest::newRow("cursor") << 0 << screenRect().width() << 4;
    }
    void placementFallsBackAndIsKept()
    {
        QFETCH(int, targetX);
        QFETCH(int, targetWidth);
        QFETCH(int, expected);
        delete host;
        makeHost(QRect(screenRect().topLeft(), QSize(screenRect().width(), 150)), QRect(targetX, 0, targetWidth, 120));
        auto* tip = new Tip(target, "a help text of some length", 1, 0, 10000, 0);
        showHost();
        enter(tip);
        QTRY_VERIFY(tip->isBubbleVisible());
        QCOMPARE(tip->placement(), expected);
        QCOMPARE(tip->currentArrow(), tip->arrowLabel(expected));
        if (expected == 4)
            QCOMPARE(tip->bubble()->pos(), QCursor::pos());
        QVERIFY(screenRect().contains(tip->bubble()->geometry()));

        send(tip, QEvent::Leave);
        enter(tip);
        QTRY_VERIFY(tip->isBubbleVisible());
        QCOMPARE(tip->placement(), expected);
    }

    void lifeTimeEndsTheShowingUntilReentered()
    {
        auto* tip = new Tip(target, "help", 1, 0, 120, 0);
        showHost();
        enter(tip);
        QTRY_VERIFY(tip->isBubbleVisible());
        QTRY_VERIFY(!tip->isBubbleVisible());
        QTest::qWait(200);
        QVERIFY(!tip->isBubbleVisible());
        send(tip, QEvent::Leave);
        enter(tip);
        QTRY_VERIFY(tip->isBubbleVisible());
    }

    void modeOneGoesWithTheHiddenTarget()
    {
        QPointer<Tip> kept = new Tip(target, "help", 1, 0, 10000, 0);
        QPointer<Tip> once = new Tip(target, "help", 1, 0, 10000, 1);
        QPointer<QWidget> bubble = once->bubble();
        showHost();
        target->hide();
        QTRY_VERIFY(once.isNull());
        QVERIFY(bubble.isNull());
        QVERIFY(!kept.isNull());
    }
};

QTEST_MAIN(TestTip)
#include "tst_tip.moc"
