// The External components page: its picture gallery, opening a component in
// place and going back to the list (which always stops the display unit's
// port).
#include "BluetoothModule.h"
#include "ExternalComponentsPage.h"

#include <QGraphicsOpacityEffect>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>

class TestExtComponents : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void galleryShowsPicturesThatBrightenUnderThePointer();
    void labelReportsPressThenReleaseAndClick();
    void picturesOpenTheirComponentAndBackReturns();

private:
    static qreal opacity(QWidget* w)
    {
        auto* effect = qobject_cast<QGraphicsOpacityEffect*>(w->graphicsEffect());
        return effect ? effect->opacity() : -1;
    }

    std::unique_ptr<ExternalComponentsPage> page;
    QWidget* displayWindow = nullptr;
    int displayOpened = 0;
    int portStops = 0;
};

void TestExtComponents::init()
{
    displayOpened = 0;
    portStops = 0;
    ExternalComponentsPage::setDisplayUnitFactory([this] {
        displayWindow = new QWidget;
        return DisplayUnitHooks{displayWindow, [this] { ++displayOpened; }, [this] { ++portStops; }, {}, {}};
    });
    page = std::make_unique<ExternalComponentsPage>();
    page->resize(900, 600);
    page->show();
    QVERIFY(QTest::qWaitForWindowExposed(page.get()));
}

void TestExtComponents::cleanup()
{
    page.reset();
    ExternalComponentsPage::setDisplayUnitFactory(nullptr);
}

void TestExtComponents::galleryShowsPicturesThatBrightenUnderThePointer()
{
    QCOMPARE(page->stack.currentWidget(), &page->galleryPage);
    QVERIFY(!page->backButton.isVisible());
    QCOMPARE(int(page->gallery.items.size()), 2);
    for (ClickableLabel* item : page->gallery.items) {
        // The compiled-in picture covers the caption.
        const QPixmap picture = item->pixmap(Qt::ReturnByValue);
        QVERIFY(!picture.isNull());
        QCOMPARE(picture.size(), QSize(480, 120));
        QCOMPARE(item->width(), 480);
        QVERIFY(item->isVisible());
        QCOMPARE(item->text(), QString());
        QCOMPARE(opacity(item), 0.7);
    }
    ClickableLabel* bt = page->gallery.items[1];
    QEvent enter(QEvent::Enter);
    QApplication::sendEvent(bt, &enter);
    QCOMPARE(opacity(bt), 1.0);
    QCOMPARE(opacity(page->gallery.items[0]), 0.7);
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(bt, &leave);
    QCOMPARE(opacity(bt), 0.7);
    // Only labels with the effect are touched, and events always pass on.
    QWidget other;
    QVERIFY(!page->gallery.eventFilter(&other, &enter));
    QVERIFY(!page->gallery.eventFilter(bt, &enter));
}

void TestExtComponents::labelReportsPressThenReleaseAndClick()
{
    ClickableLabel label("x");
    label.resize(100, 40);
    label.show();
    QStringList seen;
    QObject context; // dies before seen
    connect(&label, &ClickableLabel::pressed, &context, [&] { seen << "pressed"; });
    connect(&label, &ClickableLabel::released, &context, [&] { seen << "released"; });
    connect(&label, &ClickableLabel::clicked, &context, [&] { seen << "clicked"; });
    QTest::mousePress(&label, Qt::LeftButton, {}, QPoint(10, 10));
    QCOMPARE(seen, QStringList({"pressed"}));
    // Released outside: the label still gets the release of its press.
    QTest::mouseRelease(&label, Qt::LeftButton, {}, QPoint(300, 300));
    QCOMPARE(seen, QStringList({"pressed", "released", "clicked"}));
}

void TestExtComponents::picturesOpenTheirComponentAndBackReturns()
{
    auto* bt = page->findChild<BluetoothModule*>();
    QVERIFY(bt);

    // The Bluetooth module page: opened in place; back stops the display
    // unit's port all the same.
    QTest::mouseClick(page->gallery.items[1], Qt::LeftButton);
    QCOMPARE(page->stack.currentIndex(), 1);
    QCOMPARE(page->stack.currentWidget(), static_cast<QWidget*>(bt));
    QVERIFY(bt->isVisible());
    QVERIFY(page->backButton.isVisible());
    QCOMPARE(displayOpened, 0);
    bt->findChild<QLineEdit*>()->setText("kept");
    QTest::mouseClick(&page->backButton, Qt::LeftButton);
    QCOMPARE(portStops, 1);
    QCOMPARE(page->stack.currentWidget(), &page->galleryPage);
    QVERIFY(!page->backButton.isVisible());

    // The display unit: opened first by its own step, then shown.
    QTest::mouseClick(page->gallery.items[0], Qt::LeftButton);
    QCOMPARE(displayOpened, 1);
    QCOMPARE(page->stack.currentWidget(), displayWindow);
    QVERIFY(page->backButton.isVisible());
    QTest::mouseClick(&page->backButton, Qt::LeftButton);
    QCOMPARE(portStops, 2);

    // Again: the same Bluetooth page, as it was left.
    QTest::mouseClick(page->gallery.items[1], Qt::LeftButton);
    QCOMPARE(page->stack.currentWidget(), static_cast<QWidget*>(bt));
    QCOMPARE(bt->findChild<QLineEdit*>()->text(), QString("kept"));
}

QTEST_MAIN(TestExtComponents)
#include "tst_extcomponents.moc"
