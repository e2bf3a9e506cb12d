#include "MyToolTip.h"

#include <QApplication>
#include <QMouseEvent>
#include <QScreen>
#include <QTest>

class TestMyToolTip : public QObject
{
    Q_OBJECT
private:
    QWidget* graph = nullptr;
    QWidget* other = nullptr;

    static void waitGone()
    {
        QTRY_VERIFY(MyTipLabel::instance == nullptr);
    }

private slots:
    void init()
    {
        graph = new QWidget;
        graph->resize(200, 100);
        graph->show();
        other = new QWidget;
        other->resize(50, 50);
        other->show();
        QVERIFY(QTest::qWaitForWindowExposed(other));
        graph->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(graph));
    }
    void cleanup()
    {
        delete MyTipLabel::instance;
        delete graph;
        delete other;
    }

    void emptyTextShowsNothingAndClosesAShownTip()
    {
        MyToolTip::showText(QPoint(100, 100), QString(), graph);
        QVERIFY(MyTipLabel::instance == nullptr);

        MyToolTip::showText(QPoint(100, 100), "3.301 V", graph);
        QVERIFY(MyToolTip::isVisible());
        QCOMPARE(MyTipLabel::instance->objectName(), QString("MyToolTip_label"));
        MyToolTip::showText(QPoint(100, 100), QString(), graph);
        QVERIFY(!MyToolTip::isVisible());
        waitGone();
    }

    void secondTextReusesTheLabel()
    {
        MyToolTip::showText(QPoint(100, 100), "1", graph);
        MyTipLabel* first = MyTipLabel::instance;
        const QSize small = first->size();
        MyToolTip::showText(QPoint(120, 110), "a much longer text than before", graph);
        QCOMPARE(MyTipLabel::instance, first);
        QCOMPARE(first->text(), QString("a much longer text than before"));
        QVERIFY(first->width() > small.width());
        QCOMPARE(first->pos(), QPoint(122, 126));
        QCOMPARE(graph->findChildren<MyTipLabel*>().size(), 1);
    }

    void closedLabelIsReplacedOnNextShow()
    {
        MyToolTip::showText(QPoint(100, 100), "a", graph);
        MyTipLabel* first = MyTipLabel::instance;
        first->hideTipImmediately();
        MyToolTip::showText(QPoint(100, 100), "b", graph);
        QVERIFY(MyTipLabel::instance != first);
        QVERIFY(MyToolTip::isVisible());
        QCOMPARE(MyToolTip::text(), QString("b"));
        QCOMPARE(graph->findChildren<MyTipLabel*>().size(), 1);
    }

    void placementFlipsAtScreenEdges()
    {
        const QRect s = MyTipLabel::screenFor(QPoint(10, 10))->geometry();
        const QPoint nearRight(s.right() - 5, s.top() + 100);
        MyToolTip::showText(nearRight, "edge", graph);
        MyTipLabel* l = MyTipLabel::instance;
        QCOMPARE(l->x(), nearRight.x() + 2 - 4 - l->width());
        QCOMPARE(l->y(), nearRight.y() + 16);

        const QPoint nearBottom(s.left() + 100, s.bottom() - 5);
        MyToolTip::showText(nearBottom, "edge", graph);
        QCOMPARE(l->x(), nearBottom.x() + 2);
        QCOMPARE(l->y(), nearBottom.y() + 16 - 24 - l->height());
    }

    void expiryPeriodGrowsWithLongTexts_data()
    {
        QTest::addColumn<int>("length");
        QTest::addColumn<int>("period");
        QTest::newRow("short") << 5 << 10000;
        QTest::newRow("100") << 100 << 10000;
        QTest::newRow("150") << 150 << 12000;
    }
    void expiryPeriodGrowsWithLongTexts()
    {
        QFETCH(int, length);
        QFETCH(int, period);
        MyToolTip::showText(QPoint(100, 100), QString(length, 'x'), graph);
        QCOMPARE(MyTipLabel::instance->expiryPeriod(), period);
    }

    void closingEvents_data()
    {
        QTest::addColumn<int>("kind");
        QTest::newRow("leave graph") << 0;
        QTest::newRow("click elsewhere") << 1;
        QTest::newRow("wheel") << 2;
    }
    void closingEvents()
    {
        QFETCH(int, kind);
        MyToolTip::showText(QPoint(100, 100), "tip", graph);
        QVERIFY(MyToolTip::isVisible());
        if (kind == 0) {
            QEvent leave(QEvent::Leave);
            QApplication::sendEvent(graph, &leave);
        } else if (kind == 1) {
            QTest::mouseClick(other, Qt::LeftButton);
        } else {
            QWheelEvent wheel(QPointF(5, 5), QPointF(5, 5), QPoint(), QPoint(0, 120), Qt::NoButton,
                              Qt::NoModifier, Qt::NoScrollPhase, false);
            QApplication::sendEvent(graph, &wheel);
        }
        QVERIFY(!MyToolTip::isVisible());
        waitGone();
    }

    void moveOutsideTheRectCloses()
    {
        MyToolTip::showText(QPoint(100, 100), "tip", graph, QRect(0, 0, 50, 50));
        QMouseEvent inside(QEvent::MouseMove, QPointF(10, 10), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(graph, &inside);
        QVERIFY(MyToolTip::isVisible());
        // A move on another widget does not count.
        QMouseEvent elsewhere(QEvent::MouseMove, QPointF(60, 10), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(other, &elsewhere);
        QVERIFY(MyToolTip::isVisible());
        QMouseEvent outside(QEvent::MouseMove, QPointF(60, 10), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(graph, &outside);
        QVERIFY(!MyToolTip::isVisible());
    }

    void nullWidgetWithStoredRectIsRefused()
    {
        MyToolTip::showText(QPoint(100, 100), "tip", graph, QRect(0, 0, 50, 50));
        QTest::ignoreMessage(QtWarningMsg, "MyToolTip::setTipRect: Cannot pass null widget if rect is set");
        MyTipLabel::instance->setTipRect(nullptr, QRect(0, 0, 10, 10));
        // The stored rectangle still rules.
        QMouseEvent inside(QEvent::MouseMove, QPointF(30, 30), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(graph, &inside);
        QVERIFY(MyToolTip::isVisible());
    }

    void labelSurvivesItsWidget()
    {
        // A label moved on to another widget must not touch the first one after it is gone.
        QWidget* shortLived = new QWidget;
        shortLived->show();
        MyToolTip::showText(QPoint(100, 100), "tip", graph);
        MyToolTip::showText(QPoint(100, 100), "tip", shortLived, QRect(0, 0, 5, 5));
        delete shortLived;
        QMouseEvent move(QEvent::MouseMove, QPointF(1, 1), QPointF(1, 1), QPointF(300, 300), Qt::NoButton,
                         Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(MyTipLabel::instance, &move);
        QVERIFY(!MyToolTip::isVisible());
    }
};

QTEST_MAIN(TestMyToolTip)
#include "tst_mytooltip.moc"
