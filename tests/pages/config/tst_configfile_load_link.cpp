// "Load..." of a configuration file, pressed in the main window linked to the
// control-unit emulator through the real serial transport: damaged files are
// refused before anything reaches the unit and the message names the line
// and the reason; a failure names its line and the unit's answer; a long
// load stops between two values; the unit in its bootloader leaves the
// page's unit actions disabled.
#include "ConfigUnitRig.h"

#include "ConfigParam.h"
#include "HeldBox.h"

#include <QDialog>
#include <QElapsedTimer>
#include <QFile>
#include <QListWidget>
#include <QRegularExpression>
#include <QTimer>

namespace {

const QByteArray kHeader = "BMSCFG\r\nVR1,BMS2,0000BEEF,2.1.4.2\r\n";
constexpr quint16 kUnknownId = 0x09FF;

// Sentences of the record that change the unit: every "CF2" that is not a
// query, and the file's other sentences, resets, modes and defaults.
QStringList unitWrites(const ConfigUnitRig& rig)
{
    QStringList writes;
    for (const QString& s : rig.sim.goodSentences()) {
        const bool paramWrite = s.startsWith("CF2,") && !s.endsWith(",?");
        if (paramWrite || s.startsWith("SC1") || s.startsWith("PW2") || s.startsWith("RS1") || s.startsWith("CM1")
            || s.startsWith("FD1"))
            writes << s;
    }
    return writes;
}

QStringList paramWrites(const ConfigUnitRig& rig)
{
    return unitWrites(rig).filter(QRegularExpression("^CF2,"));
}

QPushButton* progressButton(ConfigPage* page, const QString& text)
{
    QDialog* progress = page->fileLoadProgress();
    if (!progress)
        return nullptr;
    for (QPushButton* b : progress->findChildren<QPushButton*>())
        if (b->text() == text)
            return b;
    return nullptr;
}

} // namespace

class TestConfigFileLoadLink : public QObject
{
    Q_OBJECT
private slots:
    void damagedFilesAreRefusedBeforeAnythingIsSent();
    void aLineTheUnitRefusesIsNamedWithItsAnswer();
    void aLongLoadStopsBetweenTwoValues();
    void bootModeLeavesTheUnitActionsDisabled();

private:
    // The window linked to the battery pack unit at login level 2, its
    // configuration read.
    bool openLoaded(ConfigUnitRig& rig);
    // "Load..." with this file; the whole load runs inside the click.
    void load(ConfigUnitRig& rig, const QByteArray& file);
    // After a load that reset the unit: it is back, and the page read it again.
    bool settleAfterReset(ConfigUnitRig& rig);
    QStringList ruleBoxes;
};

bool TestConfigFileLoadLink::openLoaded(ConfigUnitRig& rig)
{
    if (!rig.startEmulator())
        return false;
    rig.presentUnit("0000BEEF", 2, batteryPackValues());
    if (!rig.openWindow())
        return false;
    // The rules' warnings (a box the page runs itself) are recorded.
    rig.page->setModalBoxRunner([this](QMessageBox* box) {
        testkit::holdLikeABox();
        ruleBoxes << box->text();
        box->setResult(QMessageBox::Ok);
    });
    rig.window->pageList()->setCurrentRow(2);
    if (!rig.loadConfiguration())
        return false;
    QElapsedTimer t;
    t.start();
    while (!rig.page->loadButton->isEnabled() && t.elapsed() < ConfigUnitRig::kLinkTimeoutMs)
        QTest::qWait(10);
    return rig.page->loadButton->isEnabled();
}

void TestConfigFileLoadLink::load(ConfigUnitRig& rig, const QByteArray& file)
{
    const QString name = rig.dir.filePath("unit.bcf");
    QFile f(name);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(f.write(file), qint64(file.size()));
    f.close();
    rig.prompter.fileName = name;
    rig.prompter.asked.clear();
    ruleBoxes.clear();
    rig.sim.clearReceived();
    QVERIFY(rig.page->loadButton->isEnabled());
    QTest::mouseClick(rig.page->loadButton, Qt::LeftButton);
}

bool TestConfigFileLoadLink::settleAfterReset(ConfigUnitRig& rig)
{
    if (!rig.sim.waitForSentence("RS1,", 10000))
        return false;
    // The unit restarts within the link's patience: the page stays as it is.
    QElapsedTimer t;
    t.start();
    while (rig.sim.mode() != ControlUnitSim::Mode::Firmware && t.elapsed() < ConfigUnitRig::kLinkTimeoutMs)
        QTest::qWait(10);
    return rig.sim.mode() == ControlUnitSim::Mode::Firmware && rig.linked() && rig.page->loadButton->isEnabled();
}

void TestConfigFileLoadLink::damagedFilesAreRefusedBeforeAnythingIsSent()
{
    ConfigUnitRig rig;
    QVERIFY(openLoaded(rig));
    QVERIFY(!rig.page->paramSlot(kUnknownId));
    QVERIFY(rig.page->paramSlot(0x000F) && rig.page->paramSlot(0x0C02) && rig.page->paramSlot(0x0D00));

    struct Row
    {
        const char* name;
        QByteArray file;
        QStringList says;                 // parts of the one message shown
        QMap<quint16, quint32> written;   // empty: nothing may reach the unit
    };
    const QByteArray nul(1, '\0');
    const Row rows[] = {
        {"not a configuration file", QByteArray(), {"Bad configuration file format!"}, {}},
        {"another hardware kind", "BMSCFG\r\nVR1,BMS1,0000BEEF,2.1.4.2\r\nCF2,000F,0B\r\n",
         {"Bad configuration file format!"}, {}},
        {"no values", kHeader + "\r\n", {"holds nothing this control unit takes"}, {}},
        // Mangled on its way: the fourth character is not a comma.
        {"mangled line", kHeader + "CF2,000F,0B\r\nCF2 0C02 03\r\n",
         {"Nothing was sent", "line 4: CF2 0C02 03: not a sentence: its fourth character is not a comma"}, {}},
        {"stray sentence", kHeader + "CF2,000F,0B\r\nFD1,\r\n",
         {"line 4: FD1,: FD1 is not a sentence a configuration file carries"}, {}},
        {"value wider than its id", kHeader + "CF2,000F,0B\r\nCF2,0C02,FFFFFFFF\r\n",
         {"line 4: CF2,0C02,FFFFFFFF: the value has 8 digits; id 0C02 takes 2"}, {}},
        {"file cut in a value", kHeader + "CF2,000F,0B\r\nCF2,0D00,00",
         {"line 4: CF2,0D00,00: the value has 2 digits; id 0D00 takes 4"}, {}},
        {"NUL byte", kHeader + "CF2,000F,05" + nul + " 78\r\n", {"line 3: CF2,000F,05\\x00 78: holds a NUL byte"}, {}},
        {"id given twice", kHeader + "CF2,000F,0B\r\nCF2,0C02,03\r\nCF2,000F,0C\r\n",
         {"line 5: CF2,000F,0C: id 000F is given again (first on line 3)"}, {}},
        {"state of charge above 100", kHeader + "CF2,000F,0B\r\nSC1,65\r\n",
         {"line 4: SC1,65: the state of charge 101 % is above 100 %"}, {}},
        {"password with a comma", kHeader + "PW2,ab,cd\r\nPW2,abcd\r\n",
         {"line 3: PW2,ab,cd: the password holds a comma"}, {}},
        {"line too long", kHeader + "CF2,000F," + QByteArray(1100, '0') + "\r\nCF2,0C02,03\r\n",
         {"line 3: CF2,000F,000", "longer than 1023 characters"}, {}},
        {"only an id the program does not know", kHeader + "CF2,09FF,0001\r\n",
         {"this program does not know", "09FF,0001", "nothing was sent"}, {}},
        // Sound files: written line by line; what cannot be sent is told.
        {"an id the program does not know beside good ones", kHeader + "CF2,000F,0B\r\nCF2,09FF,0001\r\nCF2,0007,81\r\n",
         {"skipped because this program does not know them:\n\n09FF,0001\n"}, {{0x000F, 0x0B}, {0x0007, 0x81}}},
        {"comments and blank lines", kHeader + "\r\n# by hand\r\nCF2,0D00,0016\r\n\r\n", {}, {{0x0D00, 0x16}}},
    };
    for (const Row& row : rows) {
        load(rig, row.file);
        if (QTest::currentTestFailed())
            return;
        const QString messages = rig.prompter.asked.join("\n----\n");
        if (row.says.isEmpty())
            QVERIFY2(rig.prompter.asked.isEmpty(), qPrintable(QString("%1: %2").arg(row.name, messages)));
        else
            QVERIFY2(rig.prompter.asked.size() == 1, qPrintable(QString("%1: %2").arg(row.name, messages)));
        for (const QString& part : row.says)
            QVERIFY2(messages.contains(part), qPrintable(QString("%1: no \"%2\" in: %3").arg(row.name, part, messages)));
        if (row.written.isEmpty()) {
            QVERIFY2(unitWrites(rig).isEmpty(), qPrintable(QString("%1: %2").arg(row.name, unitWrites(rig).join(" "))));
            continue;
        }
        QVERIFY2(paramWrites(rig).filter("CF2,09FF").isEmpty(), row.name);
        QVERIFY2(ruleBoxes.isEmpty(), qPrintable(ruleBoxes.join("|")));
        for (auto it = row.written.cbegin(); it != row.written.cend(); ++it)
            QVERIFY2(rig.sim.param(it.key()) == it.value(), qPrintable(QString("%1: %2").arg(row.name).arg(it.key(), 0, 16)));
        QVERIFY2(settleAfterReset(rig), row.name);
    }
}

void TestConfigFileLoadLink::aLineTheUnitRefusesIsNamedWithItsAnswer()
{
    ConfigUnitRig rig;
    QVERIFY(openLoaded(rig));
    // This unit keeps its CAN speed whatever it is sent, and echoes the
    // value it keeps.
    rig.sim.setHandler("CF2", [](ControlUnitSim& sim, const ControlUnitSim::Sentence& s) {
        const QString idText = s.fields.value(0);
        const quint16 id = quint16(idText.toUInt(nullptr, 16));
        const int digits = 2 << ((id >> 8) & 3);
        if (s.fields.value(1) != "?" && id != 0x0C02)
            sim.changeParam(id, s.fields.value(1).toUInt(nullptr, 16));
        if (sim.hasParam(id))
            sim.reply(QString("CF2,%1,%2").arg(idText).arg(sim.param(id), digits, 16, QChar('0')).toUpper());
    });
    load(rig, kHeader + "CF2,000F,0B\r\nCF2,0C02,07\r\nCF2,0D00,0016\r\n");
    QCOMPARE(rig.prompter.asked.size(), 1);
    const QString message = rig.prompter.asked.first();
    QVERIFY2(message.startsWith("Configuration loading failed. Could not receive confirmation for command CF2,0C02,07"),
             qPrintable(message));
    QVERIFY2(message.contains("Line 4 of the file: the control unit answered CF2,0C02,02 and kept that value."),
             qPrintable(message));
    QVERIFY2(message.contains("1 of the file's 3 values were written to the control unit"), qPrintable(message));
    QCOMPARE(paramWrites(rig), (QStringList{"CF2,000F,0B", "CF2,0C02,07", "CF2,0C02,07", "CF2,0C02,07",
                                            "CF2,0C02,07", "CF2,0C02,07"}));
    QCOMPARE(rig.received("RS1"), QStringList{});
}

void TestConfigFileLoadLink::aLongLoadStopsBetweenTwoValues()
{
    ConfigUnitRig rig;
    QVERIFY(openLoaded(rig));
    // The unit answers slowly: the user hides the progress, tries to close
    // the window (refused, the progress comes back) and presses "Stop".
    rig.sim.setReplyDelay(200);
    bool hidden = false;
    bool stopped = false;
    QTimer user;
    connect(&user, &QTimer::timeout, this, [&] {
        const int writes = paramWrites(rig).size();
        if (!rig.page->fileLoadProgress())
            return;
        if (!hidden && writes >= 1) {
            QTest::mouseClick(progressButton(rig.page, "Hide"), Qt::LeftButton);
            hidden = !rig.page->fileLoadProgress()->isVisible();
        }
        if (hidden && !stopped && writes >= 2) {
            rig.window->close();
            if (rig.page->fileLoadProgress() && rig.page->fileLoadProgress()->isVisible()) {
                QTest::mouseClick(progressButton(rig.page, "Stop"), Qt::LeftButton);
                stopped = true;
            }
        }
    });
    user.start(5);
    load(rig, kHeader + "CF2,000F,0B\r\nCF2,0007,81\r\nCF2,0C02,03\r\nCF2,0D00,0016\r\nCF2,0013,01\r\nCF2,0100,0010\r\n");
    user.stop();
    QVERIFY(hidden);
    QVERIFY(stopped);
    QVERIFY(rig.window->isVisible());
    QCOMPARE(rig.dialogs.informations.size(), 1);
    QCOMPARE(paramWrites(rig), (QStringList{"CF2,000F,0B", "CF2,0007,81"}));
    QCOMPARE(rig.prompter.asked.size(), 1);
    const QString message = rig.prompter.asked.first();
    QVERIFY2(message.startsWith("Loading was stopped before line 5 of the file."), qPrintable(message));
    QVERIFY2(message.contains("2 of the file's 6 values were written to the control unit; the rest were not sent."),
             qPrintable(message));
    QCOMPARE(rig.sim.param(0x000F), 0x0Bu);
    QCOMPARE(rig.sim.param(0x0C02), 2u);
    QVERIFY(rig.received("RS1").isEmpty());
    QVERIFY(!rig.page->fileLoadProgress());
    QVERIFY(!rig.page->isFileLoadRunning());
    QVERIFY(rig.page->loadButton->isEnabled());
}

void TestConfigFileLoadLink::bootModeLeavesTheUnitActionsDisabled()
{
    ConfigUnitRig rig;
    QVERIFY(openLoaded(rig));
    ConfigPage* page = rig.page;
    QPushButton* const actions[] = {page->saveButton,  page->loadButton,        page->defaultsButton,
                                    page->resetButton, page->setPasswordButton, page->logoutButton};
    for (QPushButton* b : actions)
        QVERIFY2(b->isEnabled(), qPrintable(b->text()));

    // The unit comes back in its bootloader, the page's last login still
    // at level 2.
    QVERIFY(rig.unplug());
    rig.sim.setMode(ControlUnitSim::Mode::Bootloader);
    QVERIFY(rig.sim.reappear());
    QTRY_VERIFY_WITH_TIMEOUT(rig.linked() && rig.window->protocolHandler()->isBootMode(), ConfigUnitRig::kLinkTimeoutMs);
    QCOMPARE(page->accessLevel, 2);
    QVERIFY(!page->loadQuestion() || !page->loadQuestion()->isVisible());
    for (QPushButton* b : actions)
        QVERIFY2(!b->isEnabled(), qPrintable(b->text()));
    QVERIFY(!page->loginButton->isEnabled());
    // A click reaches nothing.
    rig.sim.clearReceived();
    rig.prompter.asked.clear();
    QTest::mouseClick(page->loadButton, Qt::LeftButton);
    QTest::mouseClick(page->resetButton, Qt::LeftButton);
    QVERIFY(rig.prompter.asked.isEmpty());
    QVERIFY(unitWrites(rig).isEmpty());

    // Back in its firmware the unit is read again before anything opens.
    QVERIFY(rig.unplug());
    rig.sim.setMode(ControlUnitSim::Mode::Firmware);
    QVERIFY(rig.sim.reappear());
    QVERIFY(rig.waitLoadQuestion());
    for (QPushButton* b : actions)
        QVERIFY2(!b->isEnabled(), qPrintable(b->text()));
    rig.answerLoadQuestion(QMessageBox::Yes);
    QVERIFY(rig.waitLoaded());
    QTRY_VERIFY_WITH_TIMEOUT(page->loadButton->isEnabled(), ConfigUnitRig::kLinkTimeoutMs);
}

QTEST_MAIN(TestConfigFileLoadLink)
#include "tst_configfile_load_link.moc"
