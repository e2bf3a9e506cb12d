// The CAN Splitter set-up of the Master/Slave tab in the main window against
// the emulated unit's default CAN bus: the job finds the bus's splitter among
// its devices and writes the tab's parameters into it.
#include "DefaultBusWindow.h"

#include "myTabWidget.h"

class TstDefaultBusSplitterWindow : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { port_ = prepareBenchPort(dir_); }
    void splitterSetUp();

private:
    QTemporaryDir dir_;
    QString port_;
};

void TstDefaultBusSplitterWindow::splitterSetUp()
{
    Bench b;
    b.sim.setParam(0x1600, 0x00804200u); // CAN, transparent, master/slave: the tab is enabled
    QCOMPARE(b.start(port_), QString());
    ConfigPage* page = b.page();
    QStringList boxes;
    page->setModalBoxRunner([&boxes](QMessageBox* box) {
        testkit::holdLikeABox();
        boxes << box->text();
        box->button(QMessageBox::Ok)->click();
    });
    page->tabWidget->setCurrentWidget(page->masterSlaveTab);
    QTRY_VERIFY_WITH_TIMEOUT(page->splitterCommitButton->isEnabled(), kJobMs);

    QTest::mouseClick(page->splitterCommitButton, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(boxes.size(), 2, kDiscoveryMs);
    QCOMPARE(boxes, (QStringList{"WARNING!", "CAN Splitter configuration finished."}));
    const CanBusSim::Device splitter = b.bus.device(b.unitBus.splitter());
    QVERIFY(!splitter.params.isEmpty());
    QVERIFY(!splitter.configMode);
    for (int i = 0; i < b.bus.deviceCount(); ++i)
        QVERIFY(b.bus.device(i).params.isEmpty() || i == b.unitBus.splitter());
    QTRY_VERIFY_WITH_TIMEOUT(!b.sim.configMode(), kJobMs);
}

QTEST_MAIN(TstDefaultBusSplitterWindow)
#include "tst_defaultbus_splitter_window.moc"
