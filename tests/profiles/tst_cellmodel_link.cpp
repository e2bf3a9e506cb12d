// The cell model page inside the real configuration page, on the
// control-unit emulator through the real serial transport: its curve and
// coefficients go to the unit and come back as they were chosen, and values
// never read from the unit are not written but named.
#include "ConfigPage.h"
#include "ConfigParam.h"
#include "FeatureSupportTable.h"
#include "HandlerBitmap.h"
#include "ScriptedDialogs.h"
#include "SentenceMaps.h"
#include "SimLink.h"
#include "SocCustomProfile.h"
#include "TemperatureDependencyEditWidget.h"
#include "TestServices.h"
#include "myTabWidget.h"

#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QTableWidget>
#include <QTest>

namespace {

constexpr quint32 kFeature110 = 1u << (110 - 96);
constexpr quint32 kFeature111 = 1u << (111 - 96);

using PointMap = SOCOCVCurveEditWidget::PointMap;

constexpr int kSocPoint = 0x2420;  // + slot
constexpr int kOcvPoint = 0x2540;  // + 2 * slot
constexpr int kCoefficient = 0x2A04; // + 4 * (k - 1)

// The real configuration page on the emulator, with the cell model page in
// its SOC / SOH tab showing (estimator type 1), as a user sees it.
struct PageBench
{
    SimLink link;
    HandlerBitmap bitmap{link.handler};
    FeatureSupportTable features{&bitmap};
    TestServices services;
    CSntcMap map;
    ScriptedDialogs dialogs;
    std::unique_ptr<ConfigPage> page;
    SocCustomProfile* profile = nullptr;

    PageBench()
    {
        link.sim.setFeatureBitmap(0x80, {0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu, kFeature110 | kFeature111});
        link.sim.setParam(0x2000, 1);
        // Points 0, 30, 60, 80 and 100 %, the other slots unused.
        const QList<QPair<int, int>> curve{{0, 28000}, {30, 31000}, {60, 33000}, {80, 33500}, {100, 36000}};
        for (int i = 0; i < 32; ++i) {
            link.sim.setParam(quint16(kSocPoint + i), i < curve.size() ? quint32(curve[i].first) : 255u);
            link.sim.setParam(quint16(kOcvPoint + 2 * i), i < curve.size() ? quint32(curve[i].second) : 10000u);
        }
        for (int k = 0; k < 5; ++k)
            link.sim.setParam(quint16(kCoefficient + 4 * k), quint32(k + 1)); // 0.1, 0.02, 0.0003, ...
        services.handler = &link.handler;
        g_mainWindow = &services;
    }
    ~PageBench()
    {
        page.reset();
        g_mainWindow = nullptr;
    }
    bool start()
    {
        if (!link.start() || !link.waitLinked())
            return false;
        page.reset(new ConfigPage(&map, link.comm, nullptr, &features));
        page->setProtocolHandler(&link.handler);
        page->accessLevel = 2;
        // The window's pump: every received line to the page.
        QObject::connect(link.comm, &CommunicatorBase::sigReceivedSentence, page.get(), [this] {
            QString line;
            while (link.handler.getSentence(line))
                page->processSentence(line);
        }, Qt::QueuedConnection);
        profile = page->findChild<SocCustomProfile*>();
        if (!profile)
            return false;
        profile->setDialogs(&dialogs);
        page->show();
        for (int i = 0; page->tabWidget && i < page->tabWidget->count(); ++i)
            if (page->tabWidget->widget(i)->isAncestorOf(profile))
                page->tabWidget->setCurrentIndex(i);
        return QTest::qWaitForWindowExposed(page.get());
    }
    static QList<int> curveIds()
    {
        QList<int> ids;
        for (int i = 0; i < 32; ++i)
            ids << kSocPoint + i << kOcvPoint + 2 * i;
        return ids;
    }
    static QList<int> coefficientIds() { return {0x2A04, 0x2A08, 0x2A0C, 0x2A10, 0x2A14}; }
    // Reads the ids from the unit, as the page's loading does, and waits for
    // every reply to be shown.
    bool read(const QList<int>& ids)
    {
        for (int id : ids)
            if (ConfigParamSlot* slot = page->paramSlot(id))
                slot->valid = false;
        for (int id : ids)
            link.handler.sendParamRequest(quint16(id));
        return QTest::qWaitFor([&] {
            for (int id : ids)
                if (!page->paramSlot(id)->valid)
                    return false;
            return true;
        }, 20000);
    }
    QPushButton* button(const QString& text) const
    {
        for (QPushButton* b : profile->findChildren<QPushButton*>())
            if (b->text() == text && b->isEnabled())
                return b;
        return nullptr;
    }
    static QPushButton* windowButton(QWidget* window, const QString& text)
    {
        for (QPushButton* b : window->findChildren<QPushButton*>())
            if (b->text() == text)
                return b;
        return nullptr;
    }
    // What the table's editor hands over when the user finishes a cell.
    static void type(QTableWidget* table, int row, int column, const QString& text)
    {
        table->model()->setData(table->model()->index(row, column), text);
    }
    static int rowOf(QTableWidget* table, int soc)
    {
        for (int r = 0; r < table->rowCount(); ++r)
            if (table->item(r, 0) && table->item(r, 0)->text() == QString::number(soc))
                return r;
        return -1;
    }
    QStringList paramWrites() const
    {
        return link.sim.goodSentences().filter(QRegularExpression("^CF2,[0-9A-F]{4},[0-9A-F]+$"));
    }
};

} // namespace

class TestCellModelLink : public QObject
{
    Q_OBJECT
private slots:
    void coefficientsComeBackAsChosen();
    void curveComesBackAsEdited();
    void valuesNeverReadAreNotWrittenButNamed();
};

// Every coefficient at its negative end, one typed finer than the unit
// keeps: the unit stores what the editor showed, and it reads back the same.
void TestCellModelLink::coefficientsComeBackAsChosen()
{
    PageBench b;
    QVERIFY(b.start());
    QVERIFY(b.read(PageBench::coefficientIds()));
    QTest::mouseClick(b.button("f(t°)"), Qt::LeftButton);
    TemperatureDependencyEditWidget* editor = b.profile->temperatureEditor();
    QVERIFY(editor->isVisible());
    QCOMPARE(editor->storedCoefficients(), (QVector<double>{0.1, 0.02, 0.0003, 0.00004, 0.00005}));

    for (int k = 0; k < 5; ++k)
        QTest::keyClick(editor->slider(k), Qt::Key_Home);
    QLineEdit* c2 = editor->editor(1);
    c2->setFocus();
    c2->selectAll();
    QTest::keyClicks(c2, "-0.023");
    QTest::keyClick(c2, Qt::Key_Return);
    QCOMPARE(c2->text(), QString("-0.02")); // rounded where it is seen
    QTest::mouseClick(PageBench::windowButton(editor, "Commit changes"), Qt::LeftButton);

    const QList<quint32> raw{0xFFFFFFFBu, 0xFFFFFFFEu, 0xFFFFFFFBu, 0xFFFFFFFBu, 0xFFFFFFFBu}; // -5, -2, -5, -5, -5
    for (int k = 0; k < 5; ++k)
        QTRY_COMPARE_WITH_TIMEOUT(b.link.sim.param(quint16(kCoefficient + 4 * k)), raw[k], 10000);
    QVERIFY(b.dialogs.warnings.isEmpty());
    editor->hide();

    // Read again from the unit and opened again: the same values.
    QVERIFY(b.read(PageBench::coefficientIds()));
    QCOMPARE(b.page->paramText(0x2A08), QString("-0.02"));
    QTest::mouseClick(b.button("f(t°)"), Qt::LeftButton);
    QCOMPARE(editor->storedCoefficients(), (QVector<double>{-0.5, -0.02, -0.0005, -0.00005, -0.00005}));
    QCOMPARE(editor->slider(1)->value(), -2);
    editor->hide();
}

// A changed OCV, a move the curve refuses and an inserted point: the unit
// gets the curve as the editor holds it, and the editor shows it again.
void TestCellModelLink::curveComesBackAsEdited()
{
    PageBench b;
    QVERIFY(b.start());
    QVERIFY(b.read(PageBench::curveIds()));
    QTest::mouseClick(b.button("SOC-OCV Curve"), Qt::LeftButton);
    SOCOCVCurveEditWidget* editor = b.profile->curveEditor();
    QVERIFY(editor->isVisible());
    QTableWidget* table = editor->table();
    QCOMPARE(editor->modifiedPoints(), (PointMap{{0, 2.8}, {30, 3.1}, {60, 3.3}, {80, 3.35}, {100, 3.6}}));

    PageBench::type(table, PageBench::rowOf(table, 30), 1, "3,15");
    // 3.35 V does not fit at 20 %: refused, the 80 % point stays.
    PageBench::type(table, PageBench::rowOf(table, 80), 0, "20");
    QCOMPARE(b.dialogs.warnings.size(), 1);
    QTest::mouseClick(PageBench::windowButton(editor, "Insert Point"), Qt::LeftButton);
    PageBench::type(table, table->rowCount() - 1, 0, "45");
    PageBench::type(table, PageBench::rowOf(table, 45), 1, "3.2");
    const PointMap edited{{0, 2.8}, {30, 3.15}, {45, 3.2}, {60, 3.3}, {80, 3.35}, {100, 3.6}};
    QCOMPARE(editor->modifiedPoints(), edited);
    QTest::mouseClick(PageBench::windowButton(editor, "Commit Changes"), Qt::LeftButton);

    const QList<QPair<quint32, quint32>> written{{0, 28000}, {30, 31500}, {45, 32000},
                                                  {60, 33000}, {80, 33500}, {100, 36000}};
    QTRY_COMPARE_WITH_TIMEOUT(b.link.sim.param(quint16(kSocPoint + 31)), 255u, 10000);
    for (int i = 0; i < written.size(); ++i) {
        QTRY_COMPARE_WITH_TIMEOUT(b.link.sim.param(quint16(kSocPoint + i)), written[i].first, 10000);
        QTRY_COMPARE_WITH_TIMEOUT(b.link.sim.param(quint16(kOcvPoint + 2 * i)), written[i].second, 10000);
    }
    for (int i = written.size(); i < 32; ++i)
        QCOMPARE(b.link.sim.param(quint16(kSocPoint + i)), 255u);
    QCOMPARE(b.dialogs.warnings.size(), 1);
    editor->hide();

    QVERIFY(b.read(PageBench::curveIds()));
    QTest::mouseClick(b.button("SOC-OCV Curve"), Qt::LeftButton);
    QCOMPARE(editor->modifiedPoints(), edited);
    editor->hide();
}

// Nothing read from the unit yet: a commit writes nothing and names what it
// could not write, and the page keeps showing no values.
void TestCellModelLink::valuesNeverReadAreNotWrittenButNamed()
{
    PageBench b;
    QVERIFY(b.start());
    QTest::mouseClick(b.button("f(t°)"), Qt::LeftButton);
    TemperatureDependencyEditWidget* temperature = b.profile->temperatureEditor();
    QTest::keyClick(temperature->slider(0), Qt::Key_End);
    QTest::mouseClick(PageBench::windowButton(temperature, "Commit changes"), Qt::LeftButton);
    QCOMPARE(b.dialogs.warnings.size(), 1);
    QVERIFY(b.dialogs.warnings[0].startsWith("Values not written|"));
    for (int k = 1; k <= 5; ++k)
        QVERIFY(b.dialogs.warnings[0].contains(QString("BSM_CELL_PARAM_SOC_TEMPDEP_C%1").arg(k)));
    QVERIFY(b.page->paramText(0x2A04).isEmpty());
    temperature->hide();

    QTest::mouseClick(b.button("SOC-OCV Curve"), Qt::LeftButton);
    SOCOCVCurveEditWidget* curve = b.profile->curveEditor();
    QTest::mouseClick(PageBench::windowButton(curve, "Reset Points to\nDefault Values"), Qt::LeftButton);
    QTest::mouseClick(PageBench::windowButton(curve, "Commit Changes"), Qt::LeftButton);
    QCOMPARE(b.dialogs.warnings.size(), 2);
    QVERIFY(b.dialogs.warnings[1].contains("BSM_CELL_PARAM_SOC_POINT_00, BSM_CELL_PARAM_OCV_POINT_00, "));
    QVERIFY(b.dialogs.warnings[1].contains("BSM_CELL_PARAM_SOC_POINT_31"));
    curve->hide();

    // A marker after the commits: nothing was written before it.
    b.link.handler.sendSentence(QStringLiteral("VR1,"), QStringLiteral("?"));
    QVERIFY(b.link.sim.waitUntil(
        [](const QList<ControlUnitSim::Received>& r) { return !r.isEmpty() && r.last().sentence == "VR1,?"; }, 10000));
    QCOMPARE(b.paramWrites(), QStringList());
}

QTEST_MAIN(TestCellModelLink)
#include "tst_cellmodel_link.moc"
