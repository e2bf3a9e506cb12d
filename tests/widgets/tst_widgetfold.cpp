#include "MyGroupBox.h"
#include "WidgetFold.h"

#include <QFile>
#include <QImage>
#include <QPushButton>
#include <QTest>
#include <QVBoxLayout>

class TestWidgetFold : public QObject
{
    Q_OBJECT
private:
    // Runs one slide tick by tick (without the timer) and returns the heights.
    static QList<int> slide(WidgetFold* fold)
    {
        QList<int> heights;
        fold->fold();
        for (int i = 0; i < 50 && !fold->isIdle(); ++i) {
            QMetaObject::invokeMethod(fold, "updateSliding", Qt::DirectConnection);
            heights << fold->content()->height();
        }
        return heights;
    }

private slots:
    void picturesAreCompiledIn()
    {
        WidgetFold fold(new MyGroupBox("g"));
        for (int flag : {0, 1}) {
            const QString path = WidgetFold::arrowPicture(flag);
            QVERIFY2(QFile::exists(path), qPrintable(path));
            QCOMPARE(QImage(path).size(), QSize(10, 8));
        }
        QCOMPARE(WidgetFold::arrowPicture(1), QString(":/WidgetFold/arrow_up.png"));
        QCOMPARE(WidgetFold::arrowPicture(0), QString(":/WidgetFold/arrow_down.png"));
        QCOMPARE(WidgetFold::arrowStyleSheet(6),
                 QString("QPushButton {min-width: 10px; max-width: 10px; min-height: 8px; max-height: 8px; "
                         "border-radius: 0px; background: none; margin-left: 4px; margin-top: 6px; border: 0;}"));
    }

    void foldAndUnfoldSteps_data()
    {
        QTest::addColumn<int>("start");
        QTest::addColumn<QList<int>>("folding");
        QTest::addColumn<QList<int>>("unfolding");
        QTest::newRow("100") << 100 << QList<int>{68, 36, 4, 20} << QList<int>{52, 84, 116, 100};
        QTest::newRow("20 or less") << 15 << QList<int>{20} << QList<int>{15};
        QTest::newRow("clamped at 0") << 25 << QList<int>{0, 20} << QList<int>{52, 25};
    }
    void foldAndUnfoldSteps()
    {
        QFETCH(int, start);
        QFETCH(QList<int>, folding);
        QFETCH(QList<int>, unfolding);
        auto* box = new MyGroupBox("Cells");
        WidgetFold fold(box);
        box->setFixedHeight(start);
        box->setMinimumHeight(0);
        box->setMaximumHeight(QWIDGETSIZE_MAX);

        QCOMPARE(slide(&fold), folding);
        QVERIFY(fold.isFolded());
        QVERIFY(fold.arrowButton()->styleSheet().contains("margin-top: 13px"));

        QCOMPARE(slide(&fold), unfolding);
        QVERIFY(!fold.isFolded());
        QVERIFY(fold.arrowButton()->styleSheet().contains("margin-top: 6px"));
        // Unfolded, the box may grow with its content again.
        QCOMPARE(box->minimumHeight(), 0);
        QCOMPARE(box->maximumHeight(), QWIDGETSIZE_MAX);
    }

    void arrowKeepsItsLookUntilTheSlideEnds()
    {
        auto* box = new MyGroupBox("Cells");
        WidgetFold fold(box);
        box->resize(200, 100);
        fold.fold();
        QMetaObject::invokeMethod(&fold, "updateSliding", Qt::DirectConnection);
        QVERIFY(fold.arrowButton()->styleSheet().contains("margin-top: 6px"));
    }

    void clicksDuringASlideAreDropped()
    {
        auto* box = new MyGroupBox("Cells");
        WidgetFold fold(box);
        box->resize(200, 100);
        fold.fold();
        QMetaObject::invokeMethod(&fold, "updateSliding", Qt::DirectConnection);
        fold.fold();
        QVERIFY(fold.isFolded());
        QVERIFY(!fold.isIdle());
        while (!fold.isIdle())
            QMetaObject::invokeMethod(&fold, "updateSliding", Qt::DirectConnection);
        QVERIFY(fold.isFolded());
        QCOMPARE(box->height(), 20);
    }

    void clicksOnArrowAndTitleStripSlideInTime()
    {
        QWidget window;
        auto* layout = new QVBoxLayout(&window);
        auto* box = new MyGroupBox("Cells");
        auto* inner = new QVBoxLayout(box);
        for (int i = 0; i < 8; ++i)
            inner->addWidget(new QPushButton(QString("row %1").arg(i)));
        auto* fold = new WidgetFold(box);
        layout->addWidget(fold);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const int full = box->height();
        QVERIFY(full > 100);

        QTest::mouseClick(fold->arrowButton(), Qt::LeftButton);
        QTRY_VERIFY(fold->isIdle());
        QVERIFY(fold->isFolded());
        QCOMPARE(box->height(), 20);

        QTest::mouseClick(fold->titleButton(), Qt::LeftButton);
        QTRY_VERIFY(fold->isIdle());
        QVERIFY(!fold->isFolded());
        QTRY_COMPARE(box->height(), full);

        // A row shown after the fold is not cut off.
        auto* extra = new QPushButton("late row");
        inner->addWidget(extra);
        QTRY_VERIFY(box->height() > full);
    }
};

QTEST_MAIN(TestWidgetFold)
#include "tst_widgetfold.moc"
