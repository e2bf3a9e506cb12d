#include "ButtonDelegate.h"
#include "ItemDelegate.h"
#include "TableView.h"

#include <QHeaderView>
#include <QHoverEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <QTest>


class TestTableView : public QObject
{
    Q_OBJECT
private:
    TableView* table = nullptr;
    QStandardItemModel* model = nullptr;

    QBrush rowBrush(int row) const { return model->item(row, 0)->background(); }
    bool lit(int row) const
    {
        for (int c = 0; c < model->columnCount(); ++c) {
            if (model->item(row, c)->background() != TableView::highlightBrush())
                return false;
        }
        return true;
    }
    bool clear(int row) const
    {
        const QBrush b = rowBrush(row);
        return b.style() == Qt::NoBrush || b.color() == QColor(Qt::transparent);
    }
    int yOf(int row) const { return table->rowViewportPosition(row) + table->rowHeight(row) / 2; }
    void move(int y)
    {
        QMouseEvent e(QEvent::MouseMove, QPointF(10, y), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(table->viewport(), &e);
    }
    void press(int y)
    {
        QMouseEvent e(QEvent::MouseButtonPress, QPointF(10, y), Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(table->viewport(), &e);
        QMouseEvent r(QEvent::MouseButtonRelease, QPointF(10, y), Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(table->viewport(), &r);
    }
    void send(QObject* o, QEvent::Type type)
    {
        QEvent e(type);
        QApplication::sendEvent(o, &e);
    }

private slots:
    void init()
    {
        table = new TableView;
        model = new QStandardItemModel(5, 2, table);
        for (int r = 0; r < 5; ++r)
            for (int c = 0; c < 2; ++c)
                model->setItem(r, c, new QStandardItem(QString("%1/%2").arg(r).arg(c)));
        table->setModel(model);
        table->resize(300, 400);
        table->show();
        QVERIFY(QTest::qWaitForWindowExposed(table));
        send(table, QEvent::Enter);
    }
    void cleanup()
    {
        delete table;
        table = nullptr;
    }

    void setUp()
    {
        QVERIFY(qobject_cast<ItemDelegate*>(table->itemDelegate()));
        QVERIFY(table->hasMouseTracking());
        QCOMPARE(table->styleSheet(), QString("QTableView { border: 1px solid lightgrey; }"));
        QCOMPARE(TableView::highlightBrush().color(), QColor(165, 219, 255, 100));
    }

    void hoverFollowsTheMouse()
    {
        move(yOf(2));
        QVERIFY(lit(2));
        move(yOf(3));
        QVERIFY(clear(2));
        QVERIFY(lit(3));
        QCOMPARE(table->hoverRow(), 3);

        // Moving within row 3 repaints nothing.
        QSignalSpy changed(model, &QStandardItemModel::dataChanged);
        move(yOf(3) + 1);
        QCOMPARE(changed.count(), 0);
    }

    void clickedRowStaysLit()
    {
        QSignalSpy selected(table, &TableView::selectedRow);
        press(yOf(1));
        QCOMPARE(selected.count(), 1);
        QCOMPARE(selected.at(0).at(0).toInt(), 1);
        move(yOf(1));
        move(yOf(2));
        QVERIFY(lit(1));
        QVERIFY(lit(2));
        move(yOf(1));
        move(yOf(4));
        QVERIFY(lit(1));
        QVERIFY(clear(2));

        // Leaving the table or entering its header clears the hover, not the selection.
        send(table, QEvent::Leave);
        QVERIFY(clear(4));
        QVERIFY(lit(1));
        send(table, QEvent::Enter);
        move(yOf(3));
        QVERIFY(lit(3));
        QHoverEvent enterHeader(QEvent::HoverEnter, QPointF(5, 5), QPointF(-1, -1));
        QApplication::sendEvent(table->horizontalHeader(), &enterHeader);
        QVERIFY(clear(3));
        QVERIFY(lit(1));
        // While over the header, rows are not lit.
        move(yOf(2));
        QVERIFY(clear(2));
        QHoverEvent leaveHeader(QEvent::HoverLeave, QPointF(-1, -1), QPointF(5, 5));
        QApplication::sendEvent(table->horizontalHeader(), &leaveHeader);
        move(yOf(2));
        QVERIFY(lit(2));
    }

    void clickBelowTheRowsClearsTheSelection()
    {
        QSignalSpy selected(table, &TableView::selectedRow);
        press(yOf(1));
        press(yOf(4) + 3 * table->rowHeight(4));
        QCOMPARE(selected.count(), 2);
        QCOMPARE(selected.at(1).at(0).toInt(), -1);
        QVERIFY(clear(1));
        QCOMPARE(table->selectedRowIndex(), -1);
    }

    void delegateReportsTheHoveredRow()
    {
        QStyleOptionViewItem opt;
        opt.rect = QRect(0, 0, 60, 20);
        opt.state = QStyle::State_Enabled | QStyle::State_MouseOver;
        QImage img(60, 20, QImage::Format_ARGB32);
        QPainter p(&img);
        table->itemDelegate()->paint(&p, opt, model->index(2, 1));
        QCOMPARE(table->hoverRow(), 2);
        QVERIFY(lit(2));
        opt.state = QStyle::State_Enabled;
        table->itemDelegate()->paint(&p, opt, model->index(4, 1));
        QCOMPARE(table->hoverRow(), 2);
    }

    void buttonCellsAreLeftUnpainted()
    {
        ButtonDelegate delegate;
        model->setData(model->index(0, 1), QVariant::fromValue(ButtonItem("Pair")));
        QVERIFY(ButtonDelegate::holdsButton(model->index(0, 1)));
        QVERIFY(!ButtonDelegate::holdsButton(model->index(0, 0)));

        QStyleOptionViewItem opt;
        opt.rect = QRect(0, 0, 60, 20);
        opt.palette = table->palette();
        opt.font = table->font();
        opt.fontMetrics = table->fontMetrics();
        auto render = [&](const QModelIndex& index) {
            QImage img(60, 20, QImage::Format_ARGB32);
            img.fill(Qt::white);
            QPainter p(&img);
            delegate.paint(&p, opt, index);
            p.end();
            return img;
        };
        QImage blank(60, 20, QImage::Format_ARGB32);
        blank.fill(Qt::white);
        QCOMPARE(render(model->index(0, 1)), blank);
        QVERIFY(render(model->index(0, 0)) != blank);

        // Editors never write into a button cell.
        QLineEdit editor;
        editor.setText("typed");
        delegate.setModelData(&editor, model, model->index(0, 1));
        QVERIFY(ButtonDelegate::holdsButton(model->index(0, 1)));
        delegate.setModelData(&editor, model, model->index(0, 0));
        QCOMPARE(model->index(0, 0).data().toString(), QString("typed"));
        QCOMPARE(QMetaType::type("ButtonItem"), qMetaTypeId<ButtonItem>());
    }
};

QTEST_MAIN(TestTableView)
#include "tst_tableview.moc"
