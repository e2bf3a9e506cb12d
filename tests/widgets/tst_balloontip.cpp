#include "BalloonTip.h"

#include <QCursor>
#include <QGuiApplication>
#include <QLabel>
#include <QPointer>
#include <QScreen>
#include <QTest>

class TestBalloonTip : public QObject
{
    Q_OBJECT
private slots:
    void cleanup()
    {
        BalloonTip::hideBalloon();
        QCursor::setPos(0, 0);
    }

    void showsNearTheBottomRightCorner()
    {
        BalloonTip* b = BalloonTip::showBalloon("Update", "Firmware written", 0);
        QVERIFY(b->isVisible());
        QCOMPARE(BalloonTip::current(), b);
        QCOMPARE(b->objectName(), QString("BalloonTip"));
        const QList<QLabel*> labels = b->findChildren<QLabel*>();
        QCOMPARE(labels.size(), 2);
        QVERIFY(labels.at(0)->font().bold());
        QCOMPARE(labels.at(1)->text(), QString("Firmware written"));
        QCOMPARE(b->palette().color(QPalette::Window), QColor(102, 178, 255));
        const QRect screen = QGuiApplication::screens().first()->geometry();
        // Above the corner (its top at the corner less its height), kept 2
        // pixels inside the right edge; the extra bottom margin is where an
        // arrow would point down.
        QCOMPARE(b->pos(), QPoint(screen.right() - b->width() - 2, screen.bottom() - b->height()));
        QCOMPARE(b->contentsMargins(), QMargins(4, 3, 4, 21));
    }

    void newBalloonReplacesTheOld()
    {
        QPointer<BalloonTip> first = BalloonTip::showBalloon("a", "one", 0);
        BalloonTip* second = BalloonTip::showBalloon("b", "two", 0);
        QVERIFY(first.isNull());
        QCOMPARE(BalloonTip::current(), second);
    }

    void clickOrTimeClosesIt()
    {
        QPointer<BalloonTip> b = BalloonTip::showBalloon("t", "click me", 0);
        QTest::mouseClick(b.data(), Qt::LeftButton);
        QTRY_VERIFY(b.isNull());
        QVERIFY(BalloonTip::current() == nullptr);

        b = BalloonTip::showBalloon("t", "short", 50);
        QTRY_VERIFY(b.isNull());
    }

    void longMessagesWrapAtAThirdOfTheScreen()
    {
        const int third = QGuiApplication::primaryScreen()->availableGeometry().width() / 3;
        BalloonTip* b = BalloonTip::showBalloon("t", QString("word ").repeated(200), 0);
        QLabel* message = b->findChildren<QLabel*>().at(1);
        QVERIFY(message->wordWrap());
        QCOMPARE(message->width(), third);
    }
};

QTEST_MAIN(TestBalloonTip)
#include "tst_balloontip.moc"
