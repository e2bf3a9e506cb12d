#include "ToolTipPlot.h"

#include <QHelpEvent>
#include <QSignalSpy>
#include <QTest>
#include <QToolTip>

class TestPlotToolTips : public QObject
{
    Q_OBJECT
private:
    ToolTipPlot* plot = nullptr;

    QCPGraph* addLine(double y, const QString& tip)
    {
        QCPGraph* g = plot->addGraph();
        g->setData(QVector<double>{0, 10}, QVector<double>{y, y});
        setPlotToolTip(g, tip);
        return g;
    }
    QPoint at(double x, double y) const
    {
        return QPoint(qRound(plot->xAxis->coordToPixel(x)), qRound(plot->yAxis->coordToPixel(y)));
    }
    // Sends a tool-tip event at plot coordinates; returns whether it was accepted.
    bool hover(double x, double y)
    {
        const QPoint p = at(x, y);
        QHelpEvent e(QEvent::ToolTip, p, plot->mapToGlobal(p));
        QApplication::sendEvent(plot, &e);
        return e.isAccepted();
    }
    static void expectTip(const QString& text)
    {
        if (text.isEmpty()) {
            QTRY_VERIFY(!QToolTip::isVisible());
        } else {
            QVERIFY(QToolTip::isVisible());
            QCOMPARE(QToolTip::text(), text);
        }
    }

private slots:
    void init()
    {
        plot = new ToolTipPlot;
        plot->resize(400, 300);
        plot->xAxis->setRange(0, 10);
        plot->yAxis->setRange(0, 10);
        plot->show();
        QVERIFY(QTest::qWaitForWindowExposed(plot));
        plot->replot();
    }
    void cleanup()
    {
        QToolTip::hideText();
        delete plot;
        plot = nullptr;
    }

    void graphTextShowsAndEmptyAreaHides()
    {
        QCPGraph* g = addLine(5, "Cell voltage");
        QCOMPARE(plotToolTip(g), QString("Cell voltage"));
        plot->replot();
        QVERIFY(hover(5, 5));
        expectTip("Cell voltage");
        QCOMPARE(plot->graphIndexAt(at(5, 5), true), 0);

        QVERIFY(!hover(5, 9));
        expectTip(QString());
        QCOMPARE(plot->graphIndexAt(at(5, 9), true), -1);
    }

    void laterGraphWins()
    {
        addLine(5, "first");
        addLine(5.05, "second");
        plot->replot();
        hover(5, 5);
        expectTip("second");
        QCOMPARE(plot->graphIndexAt(at(5, 5), true), 1);
    }

    void graphTextReplacesTheItemText()
    {
        addLine(5, QString());
        auto* line = new QCPItemLine(plot);
        line->start->setCoords(0, 5);
        line->end->setCoords(10, 5);
        setPlotToolTip(line, "marker");
        plot->replot();
        QVERIFY(hover(5, 5));
        expectTip(QString());
    }

    void itemAloneShowsItsText()
    {
        auto* line = new QCPItemLine(plot);
        line->start->setCoords(0, 2);
        line->end->setCoords(10, 2);
        setPlotToolTip(line, "marker");
        plot->replot();
        QVERIFY(hover(5, 2));
        expectTip("marker");
    }

    void nonSelectableOnesNeverTip()
    {
        QCPGraph* g = addLine(5, "graph");
        g->setSelectable(QCP::stNone);
        auto* line = new QCPItemLine(plot);
        line->start->setCoords(0, 2);
        line->end->setCoords(10, 2);
        line->setSelectable(false);
        setPlotToolTip(line, "marker");
        plot->replot();
        QVERIFY(!hover(5, 5));
        expectTip(QString());
        QVERIFY(!hover(5, 2));
        expectTip(QString());
        QCOMPARE(plot->graphIndexAt(at(5, 5), true), -1);
        QCOMPARE(plot->graphIndexAt(at(5, 5), false), 0);
    }

    void mouseMoveReportsPlotCoordinates()
    {
        QSignalSpy point(plot, &ToolTipPlot::plotPoint);
        QMouseEvent move(QEvent::MouseMove, at(4, 6), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(plot, &move);
        QVERIFY(point.count() >= 1);
        const QList<QVariant> last = point.last();
        QVERIFY(last.at(0).value<QCPTextElement*>() == nullptr);
        QVERIFY(qAbs(last.at(1).toDouble() - 4) < 0.1);
        QVERIFY(qAbs(last.at(2).toDouble() - 6) < 0.1);
    }
};

QTEST_MAIN(TestPlotToolTips)
#include "tst_plottooltips.moc"
