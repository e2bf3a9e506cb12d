// A window with one of every widget of the kit. Not part of the product: it
// shows that each one builds, lays out and paints without a single warning.
#include "BalloonTip.h"
#include "ButtonDelegate.h"
#include "DateTimeEntryDlg.h"
#include "LabelToggleSwitch.h"
#include "MyGroupBox.h"
#include "MyToolTip.h"
#include "PasswordValidator.h"
#include "RangeRegExp.h"
#include "SignalWindowTab.h"
#include "TableView.h"
#include "Tip.h"
#include "ToggleButton.h"
#include "ToggleSwitch.h"
#include "ToolTipPlot.h"
#include "WidgetFold.h"
#include "myRadioBox.h"
#include "myTabWidget.h"

#include <QCursor>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRegExpValidator>
#include <QShortcut>
#include <QStandardItemModel>
#include <QTest>
#include <QVBoxLayout>

namespace {

QStringList messages;
QtMessageHandler previous = nullptr;

void collect(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    // The offscreen platform cannot raise windows or pass size hints on; that
    // is the test platform speaking, not a widget.
    const bool platformLimit = text.startsWith(QLatin1String("This plugin does not support"));
    if (type != QtDebugMsg && type != QtInfoMsg && !platformLimit)
        messages << text;
    if (previous)
        previous(type, context, text);
}

} // namespace

class TestGallery : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { previous = qInstallMessageHandler(collect); }
    void cleanupTestCase() { qInstallMessageHandler(previous); }

    void everyWidgetRendersWithoutWarnings()
    {
        QWidget window;
        window.setWindowTitle("Widget kit");
        auto* grid = new QGridLayout(&window);

        auto* label = new QLabel("Pack voltage");
        auto* tip = new Tip(label, "<b>Sum</b> of all cell voltages", 1, 0, 10000, 0);
        grid->addWidget(label, 0, 0);

        auto* box = new MyGroupBox("Cells");
        auto* boxLayout = new QVBoxLayout(box);
        boxLayout->addWidget(new QLabel("Min 3.301 V"));
        boxLayout->addWidget(new QLabel("Max 3.342 V"));
        auto* fold = new WidgetFold(box);
        grid->addWidget(fold, 0, 1);

        QList<QWidget*> pages;
        for (int i = 0; i < 3; ++i) {
            auto* page = new SignalWindowTab;
            (new QVBoxLayout(page))->addWidget(new QLabel(QString("Page %1").arg(i)));
            pages << page;
        }
        QList<QShortcut*> shortcuts;
        for (int i = 0; i < 3; ++i)
            shortcuts << new QShortcut(QKeySequence(QString("Ctrl+%1").arg(i)), &window);
        auto* tabs = new myTabWidget(pages, {"General", "Cells", "Sensors"}, &shortcuts);
        grid->addWidget(tabs, 1, 0, 1, 2);

        auto* radio = new myRadioBox;
        radio->addOption("Serial", 0);
        radio->addOption("CAN", 1);
        radio->setIndex(0);
        grid->addWidget(radio, 2, 0);

        auto* password = new QLineEdit;
        password->setValidator(new PasswordValidator(password));
        password->setText("1234");
        grid->addWidget(password, 2, 1);

        auto* range = new QLineEdit;
        QRegExp exp;
        buildRangeRegExp(&exp, 2.0, 4.55, 2);
        range->setValidator(new QRegExpValidator(exp, range));
        range->setText("3,70");
        grid->addWidget(range, 3, 0);

        auto* plot = new ToolTipPlot;
        plot->setMinimumSize(200, 120);
        QCPGraph* graph = plot->addGraph();
        graph->setData(QVector<double>{0, 50, 100}, QVector<double>{3.0, 3.6, 4.1});
        setPlotToolTip(graph, "SOC-OCV");
        plot->rescaleAxes();
        grid->addWidget(plot, 3, 1);

        grid->addWidget(new ToggleSwitch, 4, 0);
        auto* labelSwitch = new LabelToggleSwitch("Enable Bluetooth");
        labelSwitch->setParent(&window);
        grid->addWidget(labelSwitch, 4, 1);
        grid->addWidget(new ToggleButton("Connect", "Disconnect"), 5, 0);

        auto* table = new TableView;
        auto* model = new QStandardItemModel(2, 2, table);
        model->setItem(0, 0, new QStandardItem("Module 1"));
        model->setItem(1, 0, new QStandardItem("Module 2"));
        model->setData(model->index(0, 1), QVariant::fromValue(ButtonItem("Pair")));
        table->setModel(model);
        table->setItemDelegateForColumn(1, new ButtonDelegate(table));
        grid->addWidget(table, 5, 1);

        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));

        DateTimeEntryDlg dialog(&window);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        BalloonTip::showBalloon("Gallery", "Every widget of the kit", 0);
        QCursor::setPos(window.mapToGlobal(QPoint(5, 5)));
        MyToolTip::showText(window.mapToGlobal(QPoint(20, 20)), "3.301 V", &window);

        QCursor::setPos(label->mapToGlobal(label->rect().center()));
        QEvent enter(QEvent::Enter);
        QApplication::sendEvent(tip, &enter);
        QTRY_VERIFY(tip->isBubbleVisible());
        QVERIFY(!tip->bubble()->grab().isNull());

        const QPixmap shot = window.grab();
        QVERIFY(!shot.isNull());
        // For a look by eye: BMS_GALLERY_SHOT=/tmp/gallery.png
        if (qEnvironmentVariableIsSet("BMS_GALLERY_SHOT"))
            shot.save(qEnvironmentVariable("BMS_GALLERY_SHOT"));
        QVERIFY(!dialog.grab().isNull());
        QVERIFY(!BalloonTip::current()->grab().isNull());
        QVERIFY(MyToolTip::isVisible());
        QTest::qWait(50);

        BalloonTip::hideBalloon();
        MyToolTip::hideText();
        QVERIFY2(messages.isEmpty(), qPrintable(messages.join('\n')));
    }
};

QTEST_MAIN(TestGallery)
#include "tst_gallery.moc"
