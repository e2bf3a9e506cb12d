// The General tab: the sensor-type rows, the compensation windows and the
// sentences of the recalibration, compensation, reset and battery id.
#include "TabTestSupport.h"

#include "CanLinkServices.h"
#include "CurrentSensorCompensation.h"
#include "FeedTransport.h"
#include "GeneralTab.h"
#include "ScriptedPrompter.h"
#include "TestServices.h"
#include "canConfig.h"
#include "myRadioBox.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

namespace {

// The CAN frames the page sends, as their "CN1," sentences.
struct RecordingCanLink : CanLinkServices
{
    QStringList* sent;
    explicit RecordingCanLink(QStringList* to) : sent(to) {}
    bool canSend() const override { return true; }
    void sendSentence(const QString& name, const QString& parameters, unsigned) override
    {
        *sent << name + parameters;
    }
    bool featureBitmapValid() const override { return false; }
    bool setCanConfigMode(bool, const std::array<quint32, 5>&) override { return false; }
    bool setConfigModeIfConnected(bool) override { return false; }
    quint32 paramValue(int) const override { return 0; }
};

// A page whose sentences reach a recording transport.
struct GeneralFixture : PageFixture
{
    FeedTransport transport;
    Y5ProtocolHandler sender{&transport};
    TestServices window;
    testkit::ScriptedPrompter prompter;
    QString shownCurrent = "10.0";
    std::function<QString(QWidget*, bool*)> askBatteryId; // the page's own

    GeneralFixture()
    {
        window.handler = &sender;
        g_mainWindow = &window;
        page->setProtocolHandler(&sender);
        page->setPrompter(&prompter);
        page->general->shownCurrent = [this] { return shownCurrent; };
        askBatteryId = page->general->askBatteryId;
    }
    ~GeneralFixture() { g_mainWindow = nullptr; }
    void resetForRow()
    {
        PageFixture::resetForRow();
        transport.written.clear();
        prompter.messages.clear();
        shownCurrent = "10.0";
        page->general->askBatteryId = askBatteryId;
        GeneralTabWidgets* g = page->general;
        // The sensor type's first refresh adds the IVT-S item for good.
        while (g->sensorTypeCombo->count() > 2)
            g->sensorTypeCombo->removeItem(g->sensorTypeCombo->count() - 1);
        for (CurrentSensorCompensation* w : {g->lowWindow, g->highWindow, g->compensationWindow}) {
            w->hide();
            w->rangeLabel()->hide();
            w->valueEdit()->clear();
            w->valueEdit()->setStyleSheet(QString());
        }
    }
    // The sentences written, without their CRC.
    QStringList sent()
    {
        QStringList out;
        for (const QByteArray& line : transport.written.split('\r')) {
            if (!line.isEmpty())
                out << QString::fromLatin1(line.left(line.size() - 3));
        }
        return out;
    }
};

} // namespace

class TestTabGeneral : public QObject
{
    Q_OBJECT
private slots:
    void init() { m_pages.startRow(); }
    void cleanupTestCase() { m_pages.release(); }
    void sensorTypeRows_data();
    void sensorTypeRows();
    void userPicksSensorType();
    void compensationWindow_data();
    void compensationWindow();
    void reopenResetsEntry();
    void recalibration_data();
    void recalibration();
    void compensationSentence_data();
    void compensationSentence();
    void resetZeroCurrent();
    void batteryId_data();
    void batteryId();
    void encodings_data();
    void encodings();
    void communicationTypeAndGroup10();

private:
    PagePerFunction<GeneralFixture> m_pages;
};

void TestTabGeneral::sensorTypeRows_data()
{
    QTest::addColumn<bool>("feature85");
    QTest::addColumn<quint32>("type");
    QTest::addColumn<int>("items");
    QTest::addColumn<int>("index");
    QTest::addColumn<bool>("sohShown"); // the IVT-S (or its fallback) shows the state of health
    QTest::newRow("IVT-S") << true << 2u << 3 << 2 << true;
    QTest::newRow("RV440 with 85") << true << 1u << 3 << 1 << false;
    QTest::newRow("IVT-S without 85") << false << 2u << 2 << 0 << true;
    QTest::newRow("RV430") << false << 0u << 2 << 0 << false;
}

void TestTabGeneral::sensorTypeRows()
{
    QFETCH(bool, feature85);
    QFETCH(quint32, type);
    QFETCH(int, items);
    QFETCH(int, index);
    QFETCH(bool, sohShown);
    GeneralFixture& f = m_pages.get();
    reportFeatures(f, feature85 ? QList<int>{85} : QList<int>{});
    GeneralTabWidgets* g = f.page->general;
    QList<bool> soh;
    f.page->setSohVisibility([&soh](bool shown) { soh << shown; });
    f.reply(0x1009, type);
    f.reply(0x1009, type); // a later refresh adds no item
    QCOMPARE(g->sensorTypeCombo->count(), items);
    QCOMPARE(g->sensorTypeCombo->currentIndex(), index);
    const bool ivt = index == 2;
    for (QWidget* w : {static_cast<QWidget*>(g->serialEditor), static_cast<QWidget*>(g->canIdEditor),
                       static_cast<QWidget*>(g->discoverButton), static_cast<QWidget*>(g->commitButton)})
        QCOMPARE(w->isHidden(), !ivt);
    for (QWidget* w : {g->lowEditor, static_cast<QWidget*>(g->lowButton), g->highEditor,
                       static_cast<QWidget*>(g->highCaption)})
        QCOMPARE(w->isHidden(), ivt);
    QVERIFY(!g->serialEditor->isEnabled());
    QCOMPARE(!soh.isEmpty(), sohShown);
    if (ivt)
        QVERIFY(!g->commitButton->isEnabled());
}

void TestTabGeneral::userPicksSensorType()
{
    GeneralFixture& f = m_pages.get();
    reportFeatures(f, {85});
    GeneralTabWidgets* g = f.page->general;
    f.reply(0x1009, 1);
    QVERIFY(g->discoverButton->isHidden());
    emit g->sensorTypeCombo->activated(2);
    QVERIFY(!g->discoverButton->isHidden());
    QVERIFY(g->lowButton->isHidden());
}

void TestTabGeneral::compensationWindow_data()
{
    QTest::addColumn<int>("window");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QString>("range");
    QTest::newRow("low in range") << 0 << "10.5" << true << "Value range: from 0A to 100A";
    QTest::newRow("decimal comma") << 0 << "10,5" << true << "Value range: from 0A to 100A";
    QTest::newRow("high below") << 1 << "99" << false << "Value range: from 100A to 1500A";
    QTest::newRow("two decimals") << 1 << "150.25" << false << "Value range: from 100A to 1500A";
    QTest::newRow("negative") << 2 << "-0.4" << true << "Value range: from -1500A to 1500A";
    QTest::newRow("empty") << 2 << "" << false << "";
}

void TestTabGeneral::compensationWindow()
{
    QFETCH(int, window);
    QFETCH(QString, typed);
    QFETCH(bool, accepted);
    QFETCH(QString, range);
    GeneralFixture& f = m_pages.get();
    GeneralTabWidgets* g = f.page->general;
    CurrentSensorCompensation* w = QList<CurrentSensorCompensation*>{g->lowWindow, g->highWindow,
                                                                     g->compensationWindow}.at(window);
    QCOMPARE(w->size(), QSize(350, 120));
    w->open();
    QVERIFY(w->isVisible());
    QList<float> applied;
    QObject context;
    connect(w, &CurrentSensorCompensation::ApplyCompensation, &context, [&applied](float x) { applied << x; });
    w->valueEdit()->setText(typed);
    w->applyButton()->click();
    QCOMPARE(applied.size(), accepted ? 1 : 0);
    QCOMPARE(w->isVisible(), !accepted);
    QCOMPARE(w->valueEdit()->styleSheet() == "background-color: #ffaaaa", !accepted);
    QCOMPARE(!w->rangeLabel()->isHidden(), !accepted && !typed.isEmpty());
    if (!range.isEmpty())
        QCOMPARE(w->rangeLabel()->text(), range);
    w->hide();
}

void TestTabGeneral::reopenResetsEntry()
{
    GeneralFixture& f = m_pages.get();
    CurrentSensorCompensation* w = f.page->general->highWindow;
    f.page->general->highButton->click();
    w->valueEdit()->setText("99");
    w->applyButton()->click();
    f.page->general->highButton->click();
    QCOMPARE(w->valueEdit()->text(), QString("0.0"));
    QCOMPARE(w->valueEdit()->styleSheet(), QString("background-color: #ffffff"));
    QVERIFY(!w->rangeLabel()->isHidden());
    w->hide();
}

// The stored calibration, the current shown and entered, and the sentence.
void TestTabGeneral::recalibration_data()
{
    QTest::addColumn<bool>("low");
    QTest::addColumn<qint64>("stored"); // -1: never read
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("entered");
    QTest::addColumn<QString>("sentence"); // empty: nothing sent, a warning instead
    QTest::newRow("low scaled") << true << qint64(1000) << "10.0" << "10.5" << "CF2,1100,041A";
    QTest::newRow("high scaled") << false << qint64(20000) << "200.0" << "150" << "CF2,1103,3A98";
    QTest::newRow("truncates") << true << qint64(7) << "3.0" << "1.0" << "CF2,1100,0002";
    QTest::newRow("shown zero") << true << qint64(1000) << "0.0" << "10.5" << "";
    QTest::newRow("shown nothing") << true << qint64(1000) << "" << "10.5" << "";
    QTest::newRow("opposite sign") << true << qint64(1000) << "-10.0" << "10.5" << "";
    QTest::newRow("never read") << true << qint64(-1) << "10.0" << "10.5" << "";
    QTest::newRow("above range") << true << qint64(60000) << "1.0" << "2.0" << "";
    // A calibration value of 0 would leave the sensor reading 0 for good.
    QTest::newRow("entered zero") << true << qint64(1000) << "10.0" << "0" << "";
    QTest::newRow("scaled down to zero") << true << qint64(7) << "100.0" << "1.0" << "";
}

void TestTabGeneral::recalibration()
{
    QFETCH(bool, low);
    QFETCH(qint64, stored);
    QFETCH(QString, shown);
    QFETCH(QString, entered);
    QFETCH(QString, sentence);
    GeneralFixture& f = m_pages.get();
    const int id = low ? 0x1100 : 0x1103;
    if (stored >= 0)
        f.reply(id, quint32(stored));
    f.shownCurrent = shown;
    CurrentSensorCompensation* w = low ? f.page->general->lowWindow : f.page->general->highWindow;
    w->open();
    w->valueEdit()->setText(entered);
    w->applyButton()->click();
    if (sentence.isEmpty()) {
        QVERIFY(f.sent().isEmpty());
        QCOMPARE(f.modalBoxes, 1);
    } else {
        QCOMPARE(f.sent(), QStringList{sentence});
        QCOMPARE(f.modalBoxes, 0);
    }
}

void TestTabGeneral::compensationSentence_data()
{
    QTest::addColumn<QString>("entered");
    QTest::addColumn<QString>("sentence");
    QTest::newRow("negative") << "-0.4" << "RC2,FFFC";
    QTest::newRow("positive") << "12.3" << "RC2,007B";
    QTest::newRow("lowest") << "-1500" << "RC2,C568";
}

void TestTabGeneral::compensationSentence()
{
    QFETCH(QString, entered);
    QFETCH(QString, sentence);
    GeneralFixture& f = m_pages.get();
    f.page->general->compensateButton->click();
    CurrentSensorCompensation* w = f.page->general->compensationWindow;
    w->valueEdit()->setText(entered);
    w->applyButton()->click();
    QCOMPARE(f.sent(), QStringList{sentence});
}

// "RC1," and the current sensor's zero frame at the device base id, unless
// the analog inputs are used; the charging warning only informs.
void TestTabGeneral::resetZeroCurrent()
{
    GeneralFixture& f = m_pages.get();
    QStringList frames;
    canConfig can(std::make_unique<RecordingCanLink>(&frames));
    g_canConfig = &can;
    f.reply(0x0D03, 0x0100, 4);
    f.page->slotResetZeroCurrentPressed();
    QCOMPARE(f.sent(), QStringList{"RC1,"}); // "RC1," with empty parameters
    QCOMPARE(frames, QStringList{"CN1,00000100,0,0,2,1205"});
    QVERIFY(f.prompter.messages.isEmpty());
    f.page->chargingState = 1;
    f.page->configurationLoaded = true;
    f.page->slotResetZeroCurrentPressed();
    QCOMPARE(f.prompter.messages.size(), 1);
    QVERIFY(f.prompter.messages.first().startsWith("Charging is in progress"));
    QCOMPARE(f.sent().size(), 2);
    QCOMPARE(frames.size(), 2);
    f.page->general->analogInputsCheck->setChecked(true);
    f.page->slotResetZeroCurrentPressed();
    QCOMPARE(f.sent().size(), 3);
    QCOMPARE(frames.size(), 2);
    g_canConfig = nullptr;
}

void TestTabGeneral::batteryId_data()
{
    QTest::addColumn<int>("level");
    QTest::addColumn<QStringList>("answers"); // the last one is cancelled
    QTest::addColumn<QString>("sentence");
    QTest::addColumn<int>("refusals");
    QTest::newRow("level 2") << 2 << QStringList{"Abc", ""} << "ID1,Abc" << 0;
    QTest::newRow("level 1 outside config mode") << 1 << QStringList{"Abc", ""} << "" << 1;
    QTest::newRow("too long then good") << 2 << QStringList{"12345678901234567", "Pack 7", ""} << "ID1,Pack 7" << 1;
    QTest::newRow("empty") << 2 << QStringList{"", ""} << "" << 1;
    QTest::newRow("comma") << 2 << QStringList{"a,b", ""} << "" << 1;
    QTest::newRow("cancel") << 2 << QStringList{""} << "" << 0;
}

void TestTabGeneral::batteryId()
{
    QFETCH(int, level);
    QFETCH(QStringList, answers);
    QFETCH(QString, sentence);
    QFETCH(int, refusals);
    GeneralFixture& f = m_pages.get();
    f.page->accessLevel = level;
    int asked = 0;
    f.page->general->askBatteryId = [&](QWidget*, bool* ok) {
        testkit::holdLikeABox();
        const QString answer = answers.value(asked);
        *ok = ++asked < answers.size();
        return answer;
    };
    f.page->slotSetBatteryIdPressed();
    QCOMPARE(f.sent(), sentence.isEmpty() ? QStringList() : QStringList{sentence});
    QCOMPARE(f.prompter.messages.size(), refusals);
}

void TestTabGeneral::encodings_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<quint32>("raw");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("written");
    QTest::newRow("balancing full") << "Balancing Current" << 255u << "100" << "50" << "0007=7F";
    QTest::newRow("active period") << "Active State Display Period" << 5u << "0.5" << "" << "";
    QTest::newRow("sensor id") << "Current CAN ID" << 0x1A5u << "0x01A5" << "" << "";
    QTest::newRow("deadzone") << "Current sensor Deadzone" << 50u << "0.50" << "" << "";
    QTest::newRow("capacity") << "Capacity" << 1000u << "100.0" << "" << "";
    QTest::newRow("H ref held") << "Current sensor H Ref Value" << 1u << "1" << "300" << "1002=FF";
}

void TestTabGeneral::encodings()
{
    QFETCH(QString, name);
    QFETCH(quint32, raw);
    QFETCH(QString, shown);
    QFETCH(QString, typed);
    QFETCH(QString, written);
    GeneralFixture& f = m_pages.get();
    checkEncoding(f, name, raw, shown, typed, written);
}

void TestTabGeneral::communicationTypeAndGroup10()
{
    GeneralFixture& f = m_pages.get();
    ConfigParam* p = paramNamed(f, "BF17_USE_SERIAL_CELLS_COMM");
    auto* radio = static_cast<myRadioBox*>(p->widget);
    f.reply(0x1600, 0x00010000);
    QVERIFY(radio->isChecked(0)); // "Serial"
    f.reply(0x1600, 0);
    QVERIFY(radio->isChecked(1)); // "CAN"
    // Hidden on Toshiba SCiB units: poll period, balancing, communication
    // type and both calibration buttons.
    const QList<QWidget*> group = f.page->widgetGroup(10);
    QVERIFY(group.size() >= 10); // the CAN tab adds its own
    QVERIFY(group.contains(paramNamed(f, "Cells Poll Period")->widget));
    QVERIFY(group.contains(paramNamed(f, "Balancing Current")->widget));
    QVERIFY(group.contains(radio));
    QVERIFY(group.contains(f.page->general->calibrateCellsButton));
    QVERIFY(group.contains(f.page->general->calibrateExternalButton));
    QVERIFY(!group.contains(paramNamed(f, "Number of Cells")->widget));
}

QTEST_MAIN(TestTabGeneral)
#include "tst_tab_general.moc"
