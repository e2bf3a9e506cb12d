// The main window against the emulated unit, linked through the real serial
// transport: the whole configuration is read, saved to a ".bcf" file, the
// unit set to its factory defaults, the file loaded back; then the unit is
// reset, comes back to its firmware through its bootloader, and takes an edit.
#include "ConfigUnitRig.h"

#include "ConfigParam.h"

#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QTabBar>
#include <QTabWidget>
#include <QSet>

namespace {
// A used unit: values away from the factory ones, of every width, a flag
// word, a pin with its inversion, a float, a calibration id.
const QMap<quint16, quint32> kUsedValues = {
    {0x0C89, 0x20},       {0x1901, 650},  {0x0267, 18000},  {0x0804, 0x83},
    {0x1100, 4321},       {0x0503, 0x6D69}, {0x2600, 0x3AC49BA6}, {0x1A3E, 0x1806E5F9},
};
constexpr int kLoadTimeoutMs = 60000;

// The ids the page asked for with "CF2,IIII,?", in order.
QList<quint16> askedIds(const QStringList& sentences)
{
    QList<quint16> ids;
    for (const QString& s : sentences)
        if (s.startsWith("CF2,") && s.endsWith(",?"))
            ids << quint16(s.mid(4, 4).toUInt(nullptr, 16));
    return ids;
}
} // namespace

class TestWholeConfiguration : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY(rig.startEmulator()); }
    void cleanupTestCase() { rig.closeWindow(); }
    void loadSaveDefaultsAndLoadTheFile();

private:
    // Reads the whole configuration after Yes to the load question; every
    // queued id is read once and answered.
    void readWholeConfiguration();
    ConfigUnitRig rig;
    QStringList boxes; // texts of the boxes the page ran
};

void TestWholeConfiguration::readWholeConfiguration()
{
    rig.sim.clearReceived();
    QVERIFY(rig.waitLoadQuestion());
    rig.answerLoadQuestion(QMessageBox::Yes);
    QVERIFY(rig.waitLoaded(kLoadTimeoutMs));
    QCOMPARE(rig.dialogs.questions.size(), 0); // no parameter failed
    const QList<quint16> asked = askedIds(rig.sim.goodSentences());
    const QMap<quint16, quint32> held = rig.sim.params();
    QSet<quint16> seen;
    for (int i = 0; i < asked.size(); ++i) {
        const quint16 id = asked[i];
        if (i > 0 && asked[i - 1] == id)
            continue; // a try again, when the reply came late on a busy machine
        QVERIFY2(!seen.contains(id), qPrintable(QString("id %1 queued twice").arg(id, 4, 16)));
        seen.insert(id);
        QVERIFY2(held.contains(id), qPrintable(QString("id %1 is not the unit's").arg(id, 4, 16)));
        const ConfigParamSlot* slot = rig.page->paramSlot(id);
        QVERIFY(slot);
        QVERIFY2(slot->valid && slot->value == held.value(id), qPrintable(QString::number(id, 16)));
    }
    QVERIFY(seen.size() > 300);
    qInfo("%d ids read by %lld ms", int(seen.size()), rig.sim.elapsedMs());
}

void TestWholeConfiguration::loadSaveDefaultsAndLoadTheFile()
{
    rig.presentUnit("0000BEEF", 1, {});
    for (auto it = kUsedValues.cbegin(); it != kUsedValues.cend(); ++it)
        rig.sim.changeParam(it.key(), it.value());
    QVERIFY(rig.openWindow());
    // Any box the page runs (a rule's warning, a question) is a fault here.
    rig.page->setModalBoxRunner([this](QMessageBox* box) {
        testkit::holdLikeABox();
        boxes << box->text() + " " + box->informativeText();
        box->setResult(QMessageBox::Cancel);
    });
    rig.window->pageList()->setCurrentRow(2);
    readWholeConfiguration();
    if (QTest::currentTestFailed())
        return;

    // "Save...", with the calibration ids, without state of charge or passwords.
    const QString file = rig.dir.filePath("unit.bcf");
    rig.prompter.fileName = file;
    rig.prompter.answers = {QMessageBox::Yes, QMessageBox::No, QMessageBox::No};
    QTest::mouseClick(rig.page->saveButton, Qt::LeftButton);
    QFile f(file);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QMap<quint16, quint32> saved;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith("CF2,"))
            saved.insert(quint16(line.mid(4, 4).toUInt(nullptr, 16)), line.mid(9).trimmed().toUInt(nullptr, 16));
    f.close();
    for (auto it = kUsedValues.cbegin(); it != kUsedValues.cend(); ++it)
        QCOMPARE(saved.value(it.key()), it.value());

    // "Defaults...": the unit is back at its factory values, the window links
    // again and reads them.
    rig.prompter.answers = {QMessageBox::Yes};
    QTest::mouseClick(rig.page->defaultsButton, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(rig.sim.factoryResets(), 1, 20000);
    QCOMPARE(rig.sim.params(), ControlUnitSim::factoryConfiguration());
    readWholeConfiguration();
    if (QTest::currentTestFailed())
        return;

    // "Load..." of the file: every value at the unit is the saved one.
    if (rig.page->accessLevel < 1) {
        rig.prompter.password = "1111";
        QTest::mouseClick(rig.page->loginButton, Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(rig.page->accessLevel, 1, 20000);
    }
    rig.prompter.asked.clear();
    rig.prompter.fileName = file;
    QTest::mouseClick(rig.page->loadButton, Qt::LeftButton);
    QCOMPARE(rig.prompter.asked, QStringList{});
    QCOMPARE(boxes, QStringList{});
    for (auto it = saved.cbegin(); it != saved.cend(); ++it)
        QVERIFY2(rig.sim.param(it.key()) == it.value(), qPrintable(QString::number(it.key(), 16)));

    // "Reset BMS": the unit's bootloader asks "#?", the window answers, no
    // update begins and the firmware starts again. The window asks the level
    // once the firmware answers, and logging in opens the editors again.
    rig.prompter.asked.clear();
    rig.prompter.answers = {QMessageBox::Yes};
    rig.sim.clearReceived();
    QTest::mouseClick(rig.page->resetButton, Qt::LeftButton);
    QCOMPARE(rig.prompter.asked, QStringList{"Do you really want to reset the BMS?"});
    QVERIFY(rig.sim.waitForSentence("RS1,", 10000));
    QTRY_VERIFY_WITH_TIMEOUT(rig.sim.probeAnswerCount() >= 1, 10000);
    // (A "#" late on a busy machine finds the unit rebooting straight away.)
    QTRY_COMPARE_WITH_TIMEOUT(rig.sim.mode(), ControlUnitSim::Mode::Firmware, 40000);
    QTRY_VERIFY_WITH_TIMEOUT(rig.page->loginButton->isEnabled(), 40000);
    qInfo("login asked again %lld ms after the reset", rig.sim.elapsedMs() - rig.sim.received().first().ms);
    QVERIFY(rig.linked());
    QCOMPARE(rig.page->accessLevel, 0);
    rig.prompter.password = EmulatedUnit::password(2);
    QTest::mouseClick(rig.page->loginButton, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(rig.page->accessLevel, 2, 20000);

    // An edit of "Active State Display Period" on its tab reaches the unit
    // when the focus moves on.
    ConfigParam* periodParam = nullptr;
    for (ConfigParam* p : rig.page->configParams())
        if (p->paramId() == 0x0010 && qobject_cast<QLineEdit*>(p->widget))
            periodParam = p;
    QVERIFY(periodParam);
    QWidget* tab = periodParam->widget;
    while (tab && !qobject_cast<QTabWidget*>(tab->parentWidget() ? tab->parentWidget()->parentWidget() : nullptr))
        tab = tab->parentWidget();
    QVERIFY(tab);
    auto* tabs = qobject_cast<QTabWidget*>(tab->parentWidget()->parentWidget());
    QTabBar* bar = tabs->findChild<QTabBar*>();
    QTest::mouseClick(bar, Qt::LeftButton, Qt::NoModifier, bar->tabRect(tabs->indexOf(tab)).center());
    QTRY_VERIFY(periodParam->widget->isVisible());
    auto* period = static_cast<QLineEdit*>(periodParam->widget);
    QLineEdit* next = nullptr;
    for (ConfigParam* p : rig.page->configParams()) {
        auto* edit = qobject_cast<QLineEdit*>(p->widget);
        if (edit && edit != period && p->paramId() != 0x0010 && edit->isVisible() && edit->isEnabled()) {
            next = edit;
            break;
        }
    }
    QVERIFY(period && next);
    const quint32 wanted = rig.sim.param(0x0010) == 75 ? 80 : 75;
    QApplication::setActiveWindow(rig.window.get());
    QVERIFY(QTest::qWaitForWindowActive(rig.window.get()));
    rig.sim.clearReceived();
    period->setFocus();
    QTRY_VERIFY(period->hasFocus());
    period->selectAll();
    QTest::keyClicks(period, QString::number(wanted / 10.0, 'f', 1));
    next->setFocus();
    QTRY_COMPARE_WITH_TIMEOUT(rig.sim.param(0x0010), wanted, 20000);
    QCOMPARE(rig.received("CF2,0010,"), QStringList{QString("CF2,0010,%1").arg(wanted, 2, 16, QChar('0')).toUpper()});
    QCOMPARE(boxes, QStringList{});
}

QTEST_MAIN(TestWholeConfiguration)
#include "tst_wholeconfiguration.moc"
