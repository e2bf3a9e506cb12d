// The Status page on its own: the frame, the link state, the reactions to the
// unit's kind, configuration values and raw sentences, the master/slave view,
// the cells timer gate and the Debug tab.
#include "CCellsGraph.h"
#include "CellStringLayout.h"
#include "CommunicatorSelector.h"
#include "GroupedCellsGraph.h"
#include "HeldBox.h"
#include "SignalWindowTab.h"
#include "Param.h"
#include "SentenceLoader.h"
#include "StatusFixture.h"
#include "myTabWidget.h"

#include <QCheckBox>
#include <QDataStream>
#include <QGroupBox>
#include <QLabel>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QSettings>
#include <QShortcut>
#include <QSplitter>
#include <QTabBar>
#include <QTableWidget>
#include <QTest>
#include <QThread>
#include <QTimer>

// Stands in for the configuration page's signal.
class ConfigStandIn : public QObject
{
    Q_OBJECT
signals:
    void sigConfigParamUpdate(int id, uint32_t value);
};

namespace {

QString text(const StatusPage& page, const QString& caption)
{
    QString t = QStringLiteral("<none>");
    page.getStatusValueText(caption, t);
    return t;
}

QStringList tabTitles(const myTabWidget* tabs)
{
    QStringList t;
    for (int i = 0; i < tabs->count(); ++i)
        t << tabs->tabText(i);
    return t;
}

void setLayout(int strings, int cells)
{
    setCellStringCount(strings);
    for (int s = 0; s < strings; ++s)
        setCellsInString(s, cells);
}

} // namespace

class TestStatusPage : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void frame();
    void featureFolds();
    void hoverNeverUndocks();
    void linkState_data();
    void linkState();
    void statusValueText();
    void distanceUnit();
    void splitterState();
    void versionReaction_data();
    void versionReaction();
    void lithiumTitanate();
    void configReactions();
    void chargerType();
    void cellTablesFromRawHook();
    void masterSlaveView();
    void masterSlaveTimeOut();
    void cellsGate_data();
    void cellsGate();
    void cellsGateFollowsParameterLoad();
    void cellsCycle_data();
    void cellsCycle();
    void temperatureViews();
    void obsoleteFirmware();
    void obsoleteDeclinedThroughTheWindow();
    void debugTab();
    void pollerPointer();

private:
    Communicator* comm = nullptr;
    Y5ProtocolHandler* handler = nullptr;
    StatusFixture* fx = nullptr;
};

void TestStatusPage::init()
{
    comm = new Communicator;
    handler = new Y5ProtocolHandler(comm);
    fx = new StatusFixture(comm, handler);
}

void TestStatusPage::cleanup()
{
    delete fx;
    delete handler;
    delete comm;
    fx = nullptr;
}

void TestStatusPage::frame()
{
    StatusPage& page = *fx->page;
    QCOMPARE(tabTitles(page.tabs()), (QStringList{"General", "Cells", "Sensors", "SOC / SOH", "CAN Devices"}));
    QCOMPARE(page.tabs()->indexOf(page.masterSlavePage()), -1);
    const auto shortcuts = page.findChildren<QShortcut*>();
    QStringList keys;
    for (QShortcut* s : shortcuts)
        keys << s->key().toString();
    keys.sort();
    QCOMPARE(keys, (QStringList{"Ctrl+0", "Ctrl+1", "Ctrl+2", "Ctrl+3", "Ctrl+4", "Ctrl+5"}));
    // Every value is disabled until its first value or a connection.
    for (Param* p : page.statusParamList())
        if (p->widget && p->widget != page.voltageGraph())
            QVERIFY2(!p->widget->isEnabled(), qPrintable(p->caption));
    // The charger-type rows start hidden; the sentences of every tab are bound.
    QVERIFY(!page.isWidgetGroupVisible(0));
    QVERIFY(!page.isWidgetGroupVisible(1));
    QVERIFY(!page.isWidgetGroupVisible(7));
    for (const char* n : {"TD1", "ST1", "IN1", "OT1", "CS1", "ID1", "BV1", "CV1", "BC1", "BT1", "BT3", "DT1", "BV2",
                          "BT2", "BT4", "BB1", "BB2", "BB3", "BB4", "CV2", "CG1", "SE1"})
        QVERIFY2(fx->map.contains(QLatin1String(n)), n);
    for (const char* n : {"SE2", "SE3", "SE4", "DG1", "DB1", "MS2"})
        QVERIFY2(!fx->map.contains(QLatin1String(n)), n);
    QVERIFY(page.sohLabel);
    QCOMPARE(page.getStatusValueText(QStringLiteral("No Such Value")), QString());
}

void TestStatusPage::featureFolds()
{
    StatusPage& page = *fx->page;
    auto fold = [&page](const QString& title) -> QWidget* {
        for (QGroupBox* box : page.findChildren<QGroupBox*>())
            if (box->title() == title)
                return box->parentWidget();
        return nullptr;
    };
    // A firmware without any of the features: the protection rows go, but the
    // "Time" and "Errors, Protections" folds stay.
    fx->bitmap.features = {};
    page.updateFeatureVisibility(QStringLiteral("2.1.4.2"));
    QVERIFY(fold("Time") && !fold("Time")->isHidden());
    QVERIFY(!fold("Errors, Protections")->isHidden());
    QVERIFY(fold("Input Pins Status")->isHidden());
    QVERIFY(fold("Vehicle")->isHidden());
    for (QLabel* l : page.findChildren<QLabel*>())
        if (l->text() == QLatin1String("Protection status:"))
            QVERIFY(l->isHidden());
    // The "Last Error" labels belong to their own fold: a firmware with
    // their features but none of the output pins shows no empty pin fold.
    fx->bitmap.features = {50};
    page.updateFeatureVisibility(QStringLiteral("2.1.4.2"));
    QVERIFY(fold("Output Pins Status")->isHidden());
    QVERIFY(!fold("Charging Process")->isHidden());
    // With the features the rows come back; the charger-type rows stay hidden.
    fx->bitmap.features = {47, 51, 52, 0};
    page.updateFeatureVisibility(QStringLiteral("2.1.4.2"));
    QVERIFY(!fold("Input Pins Status")->isHidden());
    QVERIFY(!fold("Vehicle")->isHidden());
    QVERIFY(!page.isWidgetGroupVisible(0));
    int shownProtection = 0;
    for (QLabel* l : page.findChildren<QLabel*>())
        if (l->text() == QLatin1String("Protection status:") && !l->isHidden())
            ++shownProtection;
    QCOMPARE(shownProtection, 1);
}

void TestStatusPage::hoverNeverUndocks()
{
    // The tab bar sees mouse moves without a button (hover): only a drag
    // with a button held takes a tab out.
    StatusPage& page = *fx->page;
    page.resize(900, 600);
    page.show();
    QTabBar* bar = page.tabs()->tabBar();
    bar->setMouseTracking(true); // as the application's style sheet has it, for the hover look
    auto move = [bar](QPoint p, Qt::MouseButtons buttons) {
        QMouseEvent e(QEvent::MouseMove, p, bar->mapToGlobal(p), Qt::NoButton, buttons, Qt::NoModifier);
        QCoreApplication::sendEvent(bar, &e);
    };
    const QPoint start = bar->tabRect(0).center();
    move(start + QPoint(100, 0), Qt::NoButton);
    move(start + QPoint(200, 30), Qt::NoButton);
    QVERIFY(page.tabs()->isTabDocked(0));
    QMouseEvent press(QEvent::MouseButtonPress, start, bar->mapToGlobal(start), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QCoreApplication::sendEvent(bar, &press);
    move(start + QPoint(0, 40), Qt::LeftButton);
    QVERIFY(!page.tabs()->isTabDocked(0));
    QMouseEvent release(QEvent::MouseButtonRelease, start, bar->mapToGlobal(start), Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QCoreApplication::sendEvent(bar, &release);
    page.tabs()->closeTabWindow(0);
    QTRY_VERIFY(page.tabs()->isTabDocked(0));
}

void TestStatusPage::linkState_data()
{
    QTest::addColumn<bool>("bootMode");
    QTest::newRow("firmware") << false;
    QTest::newRow("boot mode") << true;
}

void TestStatusPage::linkState()
{
    QFETCH(bool, bootMode);
    StatusPage& page = *fx->page;
    handler->bootMode = bootMode;
    fx->map.dispatch(QStringLiteral("BV1,40,7A,7D,7B,14A0"));
    QCOMPARE(text(page, "Max Voltage"), QStringLiteral("3.25"));

    page.connectionStatusChanged(false);
    QCOMPARE(text(page, "Max Voltage"), QString());
    for (Param* p : page.statusParamList())
        if (p->widget)
            QVERIFY(!p->widget->isEnabled());

    page.connectionStatusChanged(true);
    for (Param* p : page.statusParamList())
        if (p->widget)
            QCOMPARE(p->widget->isEnabled(), !bootMode);
    page.connectionStatusChanged(false);
    QTRY_VERIFY(!page.currentSentenceLoader());
}

void TestStatusPage::statusValueText()
{
    StatusPage& page = *fx->page;
    QString t = QStringLiteral("unchanged");
    page.getStatusValueText(QStringLiteral("No Such Value"), t);
    QCOMPARE(t, QStringLiteral("unchanged"));
    fx->map.dispatch(QStringLiteral("CV1,14A0,FF83"));
    QCOMPARE(text(page, "Current"), QStringLiteral("-12.5")); // the pack current, not a sensor's
    // A cell graph: one number and one blank per cell.
    setLayout(2, 2);
    fx->map.dispatch(QStringLiteral("BV2,0,0,0,7D82"));
    fx->map.dispatch(QStringLiteral("BV2,1,2,0,FF80"));
    QString cells = QStringLiteral(">");
    page.getStatusValueText(QStringLiteral("Cells Voltages"), cells);
    QCOMPARE(cells, QStringLiteral(">3.25 3.3 -11000 3.28 "));
}

void TestStatusPage::distanceUnit()
{
    StatusPage& page = *fx->page;
    auto unitLabels = [&page](const QString& text) {
        int n = 0;
        for (QLabel* l : page.findChildren<QLabel*>())
            n += l->text() == text;
        return n;
    };
    QCOMPARE(unitLabels(QStringLiteral("/h")), 1);
    QCOMPARE(unitLabels(QStringLiteral("Wh/")), 3);
    page.setDistanceUnit(QStringLiteral("km"));
    QCOMPARE(unitLabels(QStringLiteral("km/h")), 1);
    QCOMPARE(unitLabels(QStringLiteral("Wh/km")), 3);
    QCOMPARE(unitLabels(QStringLiteral("km")), 5);
    g_distanceUnit = QStringLiteral("mi");
    page.slotDistanceUnitChanged();
    QCOMPARE(unitLabels(QStringLiteral("mi/h")), 1);
    g_distanceUnit.clear();
}

void TestStatusPage::splitterState()
{
    QSplitter* splitter = fx->page->cellsSplitter();
    splitter->resize(400, 600);
    splitter->setSizes({300, 200, 100});
    emit splitter->splitterMoved(300, 1); // as a drag of the handle does
    const QByteArray saved = QSettings().value(QStringLiteral("GraphSplitterSize")).toByteArray();
    QVERIFY(!saved.isEmpty());
    QCOMPARE(saved, splitter->saveState());
    // A new page restores it.
    delete fx;
    fx = new StatusFixture(comm, handler);
    // The state holds the sizes; those that fit the sections' minimums stay.
    auto firstSize = [](const QByteArray& state) {
        QDataStream in(state);
        qint32 marker = 0, version = 0;
        QList<int> sizes;
        in >> marker >> version >> sizes;
        return sizes.value(0);
    };
    QCOMPARE(firstSize(saved), 300);
    QCOMPARE(firstSize(fx->page->cellsSplitter()->saveState()), 300);
}

Q_DECLARE_METATYPE(QList<int>)

void TestStatusPage::versionReaction_data()
{
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<int>("kind");
    QTest::addColumn<bool>("tabShown");
    QTest::newRow("BMS2 2.1") << QStringList{"VR1,BMS2,0001E240,2.1.4.2"} << 2 << true;
    QTest::newRow("BMS3") << QStringList{"VR1,BMS3,0001E240,2.1.0"} << 2 << true;
    QTest::newRow("BMS1") << QStringList{"VR1,BMS1,0001E240,2.1.4.2"} << 1 << false;
    QTest::newRow("BMS2 2.0") << QStringList{"VR1,BMS2,0001E240,2.0.19"} << 1 << false;
    QTest::newRow("first line wins") << QStringList{"VR1,BMS2,1,2.1", "VR1,BMS1,1,2.1"} << 2 << true;
    QTest::newRow("unknown then BMS2") << QStringList{"VR1,LED,1,2.1", "VR1,BMS2,1,2.1"} << 2 << true;
}

void TestStatusPage::versionReaction()
{
    QFETCH(QStringList, lines);
    StatusPage& page = *fx->page;
    for (const QString& l : lines)
        page.slotReceivedVersionString(l);
    QTEST(int(page.kind()), "kind");
    QTEST(page.tabs()->indexOf(page.masterSlavePage()) >= 0, "tabShown");
    // A new connection examines the kind again: a BMS1 unit loses the tab.
    page.connectionStatusChanged(false);
    QVERIFY(!page.kindKnown());
    page.slotReceivedVersionString(QStringLiteral("VR1,BMS1,0001E240,2.1.4.2"));
    QCOMPARE(page.tabs()->indexOf(page.masterSlavePage()), -1);
}

void TestStatusPage::lithiumTitanate()
{
    StatusPage& page = *fx->page;
    fx->map.dispatch(QStringLiteral("BV1,40,7A,7D,7B,14A0"));
    QCOMPARE(text(page, "Max Voltage"), QStringLiteral("3.25"));
    page.processSentence(QStringLiteral("VR1,BMS2,0001E240,2.1.4_SCiB"));
    fx->map.dispatch(QStringLiteral("BV1,40,7A,7D,7B,14A0"));
    QCOMPARE(text(page, "Max Voltage"), QStringLiteral("2.25"));
    QCOMPARE(text(page, "Total Voltage"), QStringLiteral("52.80")); // offset 0: untouched
    QCOMPARE(page.voltageGraph()->rangeMin, 1.0f);
    QCOMPARE(page.voltageGraph()->rangeMax, 4.0f);
    page.processSentence(QStringLiteral("VR1,BMS2,0001E240,2.1.4_SCiB")); // idempotent
    fx->map.dispatch(QStringLiteral("BB1,40,0,0,0,0,87"));
    QCOMPARE(text(page, "Balancing Threshold"), QStringLiteral("2.35 V"));
    page.processSentence(QStringLiteral("VR1,BMS2,0001E240,2.1.4"));
    fx->map.dispatch(QStringLiteral("BV1,40,7A,7D,7B,14A0"));
    QCOMPARE(text(page, "Max Voltage"), QStringLiteral("3.25"));
    QCOMPARE(page.voltageGraph()->rangeMin, 2.0f);
    QCOMPARE(page.voltageGraph()->rangeMax, 5.0f);
}

void TestStatusPage::configReactions()
{
    StatusPage& page = *fx->page;
    ConfigStandIn config;
    connect(&config, &ConfigStandIn::sigConfigParamUpdate, &page, &StatusPage::slotConfigParamUpdate);
    QCOMPARE(page.cellsPollPeriod(), uint16_t(1000));
    emit config.sigConfigParamUpdate(0x0010, 3);
    QCOMPARE(page.cellsPollPeriod(), uint16_t(5));
    emit config.sigConfigParamUpdate(0x0010, 0x10020);
    QCOMPARE(page.cellsPollPeriod(), uint16_t(0x20));
    emit config.sigConfigParamUpdate(0x1E00, 0x1A);
    QCOMPARE(page.masterSlaveFrame(), QStringLiteral("CN1,0000001A"));
    emit config.sigConfigParamUpdate(0x9999, 1); // not followed

    // Master/slave operation on a kind-2 unit: active, tab enabled, timer on.
    page.slotReceivedVersionString(QStringLiteral("VR1,BMS2,1,2.1.4.2"));
    const int tab = page.tabs()->indexOf(page.masterSlavePage());
    QVERIFY(tab >= 0);
    fx->bitmap.features = {75};
    emit config.sigConfigParamUpdate(0x1600, 0x04804200);
    QVERIFY(page.isMasterSlaveActive());
    QVERIFY(page.hasMasterSlaveExtColumns());
    QVERIFY(page.tabs()->isTabEnabled(tab));
    QVERIFY(page.masterSlavePollTimer()->isActive());
    QCOMPARE(page.masterSlavePollTimer()->interval(), 500);
    QVERIFY(!page.masterSlaveTableWidget()->isColumnHidden(15));
    emit config.sigConfigParamUpdate(0x1600, 0x00004200);
    QVERIFY(!page.isMasterSlaveActive());
    QVERIFY(!page.tabs()->isTabEnabled(tab));
    QVERIFY(!page.masterSlavePollTimer()->isActive());
    QVERIFY(page.masterSlaveTableWidget()->isColumnHidden(15));

    // A kind-1 unit stops the timer but leaves the tab's state alone.
    emit config.sigConfigParamUpdate(0x1600, 0x00804200);
    QVERIFY(page.masterSlavePollTimer()->isActive());
    page.connectionStatusChanged(false);
    page.slotReceivedVersionString(QStringLiteral("VR1,BMS1,1,2.1.4.2"));
    emit config.sigConfigParamUpdate(0x1600, 0x00804200);
    QVERIFY(!page.isMasterSlaveActive());
    QVERIFY(!page.masterSlavePollTimer()->isActive());
    QTRY_VERIFY(!page.currentSentenceLoader());
}

void TestStatusPage::chargerType()
{
    StatusPage& page = *fx->page;
    page.slotConfigParamUpdate(0x1800, 5); // feature 17 unsupported: nothing
    QVERIFY(!page.isWidgetGroupVisible(0));
    fx->bitmap.features = {17};
    page.slotConfigParamUpdate(0x1800, 5);
    QVERIFY(page.isWidgetGroupVisible(0));
    QVERIFY(!page.isWidgetGroupVisible(1));
    page.slotConfigParamUpdate(0x1800, 6);
    QVERIFY(!page.isWidgetGroupVisible(0));
    QVERIFY(page.isWidgetGroupVisible(1));
    page.slotConfigParamUpdate(0x1800, 8);
    QVERIFY(page.isWidgetGroupVisible(7));
    QVERIFY(!page.isWidgetGroupVisible(1));
    page.slotConfigParamUpdate(0x1800, 7);
    QVERIFY(!page.isWidgetGroupVisible(0) && !page.isWidgetGroupVisible(1) && !page.isWidgetGroupVisible(7));
}

void TestStatusPage::cellTablesFromRawHook()
{
    StatusPage& page = *fx->page;
    setLayout(2, 16);
    clearWireBreakMap();
    page.processSentence(QStringLiteral("CMV1,0,3,2,6566"));
    QCOMPARE(cellModuleVersionRaw(0, 3), 101);
    QCOMPARE(cellModuleVersionRaw(0, 4), 102);
    page.processSentence(QStringLiteral("BW1,1,40,0,8"));
    QCOMPARE(wireBreakWord(1, 2), 8u);
    page.processSentence(QStringLiteral("BW1,,,,,,"));
    QCOMPARE(wireBreakWord(1, 2), 0u);

    // Malformed and hostile lines leave the tables as they were.
    QTest::ignoreMessage(QtDebugMsg, "Fields in CMV1 4");
    page.processSentence(QStringLiteral("CMV1,0,5,2"));
    QCOMPARE(cellModuleVersionRaw(0, 5), 255);
    QTest::ignoreMessage(QtDebugMsg, "BW1,1");
    QTest::ignoreMessage(QtDebugMsg, "Fields in BW1 2");
    page.processSentence(QStringLiteral("BW1,1"));
    page.processSentence(QStringLiteral("CMV1,0,FF,FFFF,") + QString(600, QLatin1Char('6')));
    page.processSentence(QStringLiteral("BW1,1F,FFFF,0,FFFFFFFF,FFFFFFFF"));
    page.processSentence(QStringLiteral("BW1,1,E0,0,1,2,3"));
    QCOMPARE(wireBreakWord(1, 7), 1u);

    // The versions of the last string end the "CMV1" retries.
    page.connectionStatusChanged(true);
    page.slotConfigParamUpdate(0x0010, 5);
    QMetaObject::invokeMethod(&page, "slotCellsTimerTimeoutEvent");
    QCOMPARE(page.moduleVersionRequestCount(), 1);
    page.processSentence(QStringLiteral("CMV1,0,0,1,66"));
    QCOMPARE(page.moduleVersionRequestCount(), 1);
    page.processSentence(QStringLiteral("CMV1,1,10,1,66"));
    QCOMPARE(page.moduleVersionRequestCount(), 0);
    page.connectionStatusChanged(false);
    QTRY_VERIFY(!page.currentSentenceLoader());
}

void TestStatusPage::masterSlaveView()
{
    StatusPage& page = *fx->page;
    QTableWidget* t = page.masterSlaveTableWidget();
    const QString full = QStringLiteral("MS2,2,1,1,1F4,a0,3,1,10E1,96,97,98,7D,7E,7F,FF,80,0,7D,0,FF,19,96,3039");
    // Nothing is decoded while master/slave operation is off.
    page.processSentence(full);
    QCOMPARE(t->item(1, 0)->text(), QString());

    page.slotReceivedVersionString(QStringLiteral("VR1,BMS2,1,2.1.4.2"));
    page.slotConfigParamUpdate(0x1600, 0x00804200);
    page.processSentence(QStringLiteral("MS2,3")); // one comma: not decoded
    QVERIFY(t->isRowHidden(0));
    page.processSentence(full);
    QVERIFY(!t->isRowHidden(0) && !t->isRowHidden(1) && t->isRowHidden(2));
    QCOMPARE(t->item(1, 0)->text(), QStringLiteral("500"));
    QCOMPARE(t->item(1, 2)->text(), QStringLiteral("0xA0"));
    QCOMPARE(t->item(1, 6)->text(), QStringLiteral("3.50 V"));
    QVERIFY(!t->isColumnHidden(14));
    QVERIFY(t->isColumnHidden(15)); // no extended columns configured

    // A short row hides columns 5-20 and leaves them as they were.
    page.processSentence(QStringLiteral("MS2,2,1,2,1F5,a0,3,0"));
    QVERIFY(t->isColumnHidden(5));
    QCOMPARE(t->item(1, 1)->text(), QStringLiteral("Slave"));
    QCOMPARE(t->item(1, 6)->text(), QStringLiteral("3.50 V"));
    // A row outside the table changes only the visible rows.
    page.processSentence(QStringLiteral("MS2,0,20,1,1,1,1,1"));
    QVERIFY(t->isRowHidden(1));

    // The network frame of the configured id.
    page.processSentence(QStringLiteral("CN1,19B4FFFF,1,0,8,0140E20100000100"));
    QCOMPARE(page.splitterSerialLabel()->text(), QStringLiteral("123456"));
    QCOMPARE(page.networkStateLabel()->text(), QStringLiteral("Network OK"));
    QCOMPARE(page.roleLabel()->text(), QStringLiteral("BMS master"));
    page.slotConfigParamUpdate(0x1E00, 0x19B40000);
    page.processSentence(QStringLiteral("CN1,19B4FFFF,1,0,8,0101000000020000"));
    QCOMPARE(page.splitterSerialLabel()->text(), QStringLiteral("123456"));
    page.processSentence(QStringLiteral("CN1,19B40000,1,0,8,0101000000020000"));
    QCOMPARE(page.splitterSerialLabel()->text(), QStringLiteral("1"));
    QCOMPARE(page.networkStateLabel()->text(), QStringLiteral("Common bus fail"));
}

void TestStatusPage::masterSlaveTimeOut()
{
    StatusPage& page = *fx->page;
    QTableWidget* t = page.masterSlaveTableWidget();
    page.slotReceivedVersionString(QStringLiteral("VR1,BMS2,1,2.1.4.2"));
    page.slotConfigParamUpdate(0x1600, 0x00804200);
    page.masterSlavePollTimer()->stop(); // ticks by hand
    auto tick = [&page]() { QMetaObject::invokeMethod(&page, "slotMasterSlaveTimerTimeoutEvent"); };
    page.processSentence(QStringLiteral("MS2,1,0,1,1F4,a0,3,1"));
    page.processSentence(QStringLiteral("CN1,19B4FFFF,1,0,8,0140E20100000100"));
    for (int i = 0; i < 4; ++i)
        tick();
    QCOMPARE(t->item(0, 0)->text(), QStringLiteral("500"));
    // A frame of another kind does not restart the summary's time-out.
    page.processSentence(QStringLiteral("CN1,19B4FFFF,1,0,8,0240E20100000100"));
    tick();
    QCOMPARE(t->item(0, 0)->text(), QString());
    QVERIFY(t->isRowHidden(0));
    QCOMPARE(page.splitterSerialLabel()->text(), QString());
    // The next row shows the table again; the time-out base lengthens the wait.
    page.slotConfigParamUpdate(0x0111, 2);
    page.processSentence(QStringLiteral("MS2,1,0,1,1F4,a0,3,1"));
    QVERIFY(!t->isRowHidden(0));
    for (int i = 0; i < 6; ++i)
        tick();
    QCOMPARE(t->item(0, 0)->text(), QStringLiteral("500"));
    tick();
    QCOMPARE(t->item(0, 0)->text(), QString());
}

void TestStatusPage::cellsGate_data()
{
    QTest::addColumn<int>("page");
    QTest::addColumn<int>("tab");       // page index of the tab made current
    QTest::addColumn<int>("undock");    // page index undocked first, -1 none
    QTest::addColumn<bool>("loading");
    QTest::addColumn<bool>("running");
    QTest::newRow("Cells tab shown") << 0 << 1 << -1 << false << true;
    QTest::newRow("General tab shown") << 0 << 0 << -1 << false << false;
    QTest::newRow("other page") << 2 << 1 << -1 << false << false;
    QTest::newRow("parameter load") << 0 << 1 << -1 << true << false;
    QTest::newRow("Cells undocked, other page") << 3 << 0 << 1 << false << true;
    QTest::newRow("General undocked, Cells at index 0") << 0 << 1 << 0 << false << true;
}

void TestStatusPage::cellsGate()
{
    QFETCH(int, page);
    QFETCH(int, tab);
    QFETCH(int, undock);
    QFETCH(bool, loading);
    StatusPage& p = *fx->page;
    p.slotConfigParamUpdate(0x0010, 5);
    myTabWidget* tabs = p.tabs();
    if (undock >= 0) {
        tabs->setCurrentIndex(undock);
        tabs->undockCurrentTab(30);
        QVERIFY(!tabs->isTabDocked(undock));
    }
    const int cellsIndex = tabs->isTabDocked(0) ? tab : tab - 1;
    if (tabs->isTabDocked(tab))
        tabs->setCurrentIndex(cellsIndex);
    fx->loading = loading;
    p.slotCurrentPageChanged(page);
    QTEST(p.cellsPollTimer()->isActive(), "running");
    if (p.cellsPollTimer()->isActive())
        QCOMPARE(p.cellsPollTimer()->interval(), 500);
    if (undock >= 0)
        tabs->closeTabWindow(undock);
}

void TestStatusPage::cellsGateFollowsParameterLoad()
{
    StatusPage& p = *fx->page;
    p.tabs()->setCurrentIndex(1);
    p.slotCurrentPageChanged(0);
    QVERIFY(p.cellsPollTimer()->isActive());
    fx->loading = true;
    p.slotParametersLoadingChanged();
    QVERIFY(!p.cellsPollTimer()->isActive());
    fx->loading = false;
    p.slotParametersLoadingChanged();
    QVERIFY(p.cellsPollTimer()->isActive());
    // The last page shown counts, not the Status page.
    p.slotCurrentPageChanged(2);
    p.slotParametersLoadingChanged();
    QVERIFY(!p.cellsPollTimer()->isActive());

    // Without any signal from the configuration page the flag is watched.
    p.slotCurrentPageChanged(0);
    QVERIFY(p.cellsPollTimer()->isActive());
    fx->loading = true;
    QTRY_VERIFY_WITH_TIMEOUT(!p.cellsPollTimer()->isActive(), 1000);
    fx->loading = false;
    QTRY_VERIFY_WITH_TIMEOUT(p.cellsPollTimer()->isActive(), 1000);
}

void TestStatusPage::cellsCycle_data()
{
    QTest::addColumn<bool>("feature34");
    QTest::addColumn<bool>("extColumns");
    QTest::addColumn<QList<int>>("steps"); // the step after each tick
    QTest::newRow("CMV1 BW1 BV2 BT2 BB2") << false << false << QList<int>{1, 2, 3, 4, 0, 1};
    QTest::newRow("... BT4") << true << false << QList<int>{1, 2, 3, 4, 5, 0, 1};
    QTest::newRow("... BT4 BB4") << true << true << QList<int>{1, 2, 3, 4, 5, 6, 0, 1};
}

void TestStatusPage::cellsCycle()
{
    QFETCH(bool, feature34);
    QFETCH(bool, extColumns);
    QFETCH(QList<int>, steps);
    StatusPage& p = *fx->page;
    fx->bitmap.features = {75};
    if (feature34)
        fx->bitmap.features.insert(34);
    p.slotReceivedVersionString(QStringLiteral("VR1,BMS2,1,2.1.4.2"));
    p.slotConfigParamUpdate(0x1600, extColumns ? 0x04804200 : 0x00804200);
    QCOMPARE(p.hasMasterSlaveExtColumns(), extColumns);
    auto tick = [&p]() { QMetaObject::invokeMethod(&p, "slotCellsTimerTimeoutEvent"); };
    // With the link down a tick sends nothing and the cycle stays.
    tick();
    QCOMPARE(p.cellsCycleStep(), 0);
    p.connectionStatusChanged(true);
    for (int expected : steps) {
        tick();
        QCOMPARE(p.cellsCycleStep(), expected);
    }
    // "CMV1" is given up after five requests without the last string's reply.
    for (int i = 0; i < 40; ++i)
        tick();
    QCOMPARE(p.moduleVersionRequestCount(), 5);
    p.processSentence(QStringLiteral("CMV1,0,0,1,66"));
    QCOMPARE(p.moduleVersionRequestCount(), 0);
    p.connectionStatusChanged(false);
    tick();
    QCOMPARE(p.moduleVersionRequestCount(), 0);
    QTRY_VERIFY(!p.currentSentenceLoader());
}

void TestStatusPage::temperatureViews()
{
    StatusPage& p = *fx->page;
    setLayout(1, 2);
    p.groupedTemperatures()->setEnabled(true);
    QVERIFY(p.isWidgetGroupVisible(2));
    fx->map.dispatch(QStringLiteral("BT4,0,0,0,7D7D"));
    QVERIFY(p.isWidgetGroupVisible(2)); // no feature 34
    fx->bitmap.features = {34};
    fx->map.dispatch(QStringLiteral("BT4,0,0,0,7D7D"));
    QVERIFY(!p.isWidgetGroupVisible(2));
    QVERIFY(p.isWidgetGroupVisible(3));
    fx->map.dispatch(QStringLiteral("BT4,0,0,0,FFFF"));
    QVERIFY(p.isWidgetGroupVisible(2));
    QVERIFY(!p.isWidgetGroupVisible(3));
}

void TestStatusPage::obsoleteFirmware()
{
    StatusPage& p = *fx->page;
    int closes = 0;
    int restarts = 0;
    bool answeredAtClose = false;
    StatusPage::Hooks h;
    h.askObsoleteFirmware = []() {
        testkit::holdLikeABox();
        return false;
    };
    h.closeMainWindow = [&]() {
        ++closes;
        answeredAtClose = handler->obsoleteAnswered;
        return false; // the user cancels "Quit"
    };
    h.restartTransport = [&]() { ++restarts; };
    p.setHooks(h);
    p.slotObsoleteVersionDialog();
    QCOMPARE(closes, 1);
    QVERIFY(answeredAtClose); // the waiting transport is released first
    QVERIFY(!handler->obsoleteAccepted);
    QCOMPARE(restarts, 1);

    // Quit confirmed: nothing is restarted.
    handler->obsoleteAnswered = false;
    h.closeMainWindow = [&]() { return true; };
    p.setHooks(h);
    p.slotObsoleteVersionDialog();
    QVERIFY(handler->obsoleteAnswered);
    QCOMPARE(restarts, 1);

    // Yes: accepted, the window stays.
    handler->obsoleteAnswered = false;
    h.askObsoleteFirmware = []() {
        testkit::holdLikeABox();
        return true;
    };
    h.closeMainWindow = [&]() { ++closes; return true; };
    p.setHooks(h);
    p.slotObsoleteVersionDialog();
    QVERIFY(handler->obsoleteAccepted);
    QVERIFY(handler->obsoleteAnswered);
    QCOMPARE(closes, 1);
}

void TestStatusPage::obsoleteDeclinedThroughTheWindow()
{
    // The window asks through the handler's question asker; the page only
    // follows the answer and, if the window stayed open after "No", starts a
    // new serial transport once the declined one was told to stop.
    CommunicatorSelector selector;
    QVERIFY(selector.select(CommunicatorSelector::Serial));
    selector.startCommunicator();
    auto* first = static_cast<Communicator*>(selector.communicator());
    StatusPage& p = *fx->page;
    StatusPage::Hooks h;
    h.selector = &selector;
    p.setHooks(h);
    handler->obsoleteAnswered = false;
    handler->obsoleteAccepted = false;
    p.slotObsoleteVersionDialog();
    QTest::qWait(300); // the user is still deciding
    QCOMPARE(selector.communicator(), static_cast<AbstractCommunicator*>(first));
    // "No", then Quit cancelled: the answer comes after the close handler.
    handler->obsoleteAnswered = true;
    first->requestStop();
    QTRY_VERIFY(selector.communicator() != static_cast<AbstractCommunicator*>(first));
    QTRY_VERIFY(selector.communicatorThread() && selector.communicatorThread()->isRunning());

    // "No", then Quit confirmed: the window has gone to the idle transport.
    auto* second = selector.communicator();
    handler->obsoleteAnswered = false;
    p.slotObsoleteVersionDialog();
    QVERIFY(selector.select(CommunicatorSelector::Dummy));
    handler->obsoleteAnswered = true;
    QTest::qWait(300);
    QCOMPARE(selector.currentSelection(), CommunicatorSelector::Dummy);
    QVERIFY(selector.communicator() != second);
    // "Yes": nothing to follow.
    handler->obsoleteAnswered = false;
    p.slotObsoleteVersionDialog();
    handler->obsoleteAccepted = true;
    handler->obsoleteAnswered = true;
    QTest::qWait(300);
    QCOMPARE(selector.currentSelection(), CommunicatorSelector::Dummy);
}

void TestStatusPage::debugTab()
{
    StatusPage& p = *fx->page;
    p.writeLog(QStringLiteral("ignored\n")); // no log window yet
    QCoreApplication::processEvents();
    std::unique_ptr<QWidget> tab(p.createDebugTab(nullptr));
    QVERIFY(fx->map.contains(QStringLiteral("DB1")));
    p.writeLog(QStringLiteral("line one\n"));
    QCoreApplication::processEvents();
    QCOMPARE(p.debugLogWindow()->toPlainText(), QStringLiteral("line one\n"));
    p.logActiveCheckBox()->setChecked(false);
    p.writeLog(QStringLiteral("line two\n"));
    QCoreApplication::processEvents();
    QCOMPARE(p.debugLogWindow()->toPlainText(), QStringLiteral("line one\n"));

    fx->map.dispatch(QStringLiteral("DB1,hello"));
    QVERIFY(p.debugWindow()->toPlainText().contains(QLatin1String("hello")));
    p.debugActiveCheckBox()->click();
    QCOMPARE(p.debugWindow()->property("blocked").toBool(), true);
    p.debugActiveCheckBox()->click();
    QCOMPARE(p.debugWindow()->property("blocked").toBool(), false);
    QVERIFY(p.createCanDriverDiagnosticsPanel(45));
    QVERIFY(p.createCanDriverResponseDiagnosticsPanel(45));
    QVERIFY(fx->map.contains(QStringLiteral("DG1")) && fx->map.contains(QStringLiteral("DG3")));
    fx->map.dispatch(QStringLiteral("DG2,0,0,0,0,0,0,0,1F"));
    QCOMPARE(text(p, "diagSRespReceivedOKResponse_"), QStringLiteral("31"));
}

void TestStatusPage::pollerPointer()
{
    StatusPage& p = *fx->page;
    // A poller of an earlier connection that ends late never clears the
    // pointer to the newest one.
    p.connectionStatusChanged(true);
    SentenceLoader* first = p.currentSentenceLoader();
    QVERIFY(first);
    p.connectionStatusChanged(false);
    p.connectionStatusChanged(true);
    SentenceLoader* second = p.currentSentenceLoader();
    QVERIFY(second && second != first);
    QTest::qWait(400);
    QCOMPARE(p.currentSentenceLoader(), second);
    QVERIFY(second->isActive());
    p.connectionStatusChanged(false);
    QTRY_VERIFY(!p.currentSentenceLoader());
    // Active polling while connected and no poller running starts one.
    p.connectionStatusChanged(true);
    p.connectionStatusChanged(false);
    QTRY_VERIFY(!p.currentSentenceLoader());
    p.connectionStatusChanged(true);
    p.setPollingEnabled(true);
    QVERIFY(p.currentSentenceLoader()->isPollingEnabled());
    p.stopSentenceLoader();
    QTRY_VERIFY(!p.currentSentenceLoader());
    p.setPollingEnabled(true);
    QVERIFY(p.currentSentenceLoader());
    p.connectionStatusChanged(false);
    QTRY_VERIFY(!p.currentSentenceLoader());
}

QTEST_MAIN(TestStatusPage)
#include "tst_statuspage.moc"
