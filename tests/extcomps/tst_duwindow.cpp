// The display unit window and its conversation with an emulated unit on a
// pty: identification, settings, port rejection and loss, firmware upgrade.

#include "DisplayImage.h"
#include "DisplayPacket.h"
#include "DisplayUnit.h"
#include "DisplayUnitSim.h"
#include "ExternalComponentsPage.h"
#include "HeldBox.h"
#include "MainWindowServices.h"
#include "Parser.h"
#include "Proto.h"
#include "myRadioBox.h"
#include "usbport.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QSlider>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>

#include <openssl/evp.h>

#include <memory>

// Declared before the tests' data tables name it.
Q_DECLARE_METATYPE(ParserState)

namespace {
constexpr int kWaitMs = 10000;

// Answers the window's questions and boxes without showing them, each after
// holding its caller like a real box.
class ScriptedDisplayUnit : public DisplayUnit
{
public:
    QString nextFile;
    QStringList warnings;
    bool applyBurn = true;
    int burnQuestions = 0;

protected:
    QString askImageFile() override
    {
        testkit::holdLikeABox();
        return nextFile;
    }
    void warn(bool onWindow, const QString& title, const QString& text) override
    {
        testkit::holdLikeABox();
        warnings << title + QLatin1Char('|') + text;
    }
    bool confirmSerialBurn() override
    {
        testkit::holdLikeABox();
        ++burnQuestions;
        return applyBurn;
    }
};

QByteArray encryptHeader(const QByteArray& text)
{
    const QByteArray plain = text.leftJustified(32, '\0', true);
    QByteArray out(48, '\0');
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    EVP_EncryptInit_ex(ctx, EVP_aes_128_cbc(), nullptr, reinterpret_cast<const uchar*>(kDisplayImageKey),
                       reinterpret_cast<const uchar*>(kDisplayImageIv));
    EVP_CIPHER_CTX_set_padding(ctx, 0);
    int n = 0;
    EVP_EncryptUpdate(ctx, reinterpret_cast<uchar*>(out.data()), &n, reinterpret_cast<const uchar*>(plain.constData()), 32);
    EVP_CIPHER_CTX_free(ctx);
    return out.left(32);
}

QByteArray patternBody(int size)
{
    QByteArray body(size, '\0');
    for (int i = 0; i < size; ++i)
        body[i] = char((i * 7 + i / 251) & 0xFF);
    return body;
}

// Writes of a parameter (0xA0 with the write flag) in a record.
QList<QPair<quint32, quint32>> paramWrites(const QList<DisplayUnitSim::Received>& rec)
{
    QList<QPair<quint32, quint32>> out;
    for (const auto& r : rec)
        if (r.command == CmdParam && readLe(r.payload, 0, 4) == 1)
            out << qMakePair(readLe(r.payload, 4, 4), readLe(r.payload, 8, 4));
    return out;
}

int countOf(const QList<DisplayUnitSim::Received>& rec, quint8 command)
{
    int n = 0;
    for (const auto& r : rec)
        n += r.command == command;
    return n;
}
} // namespace

class TestDuWindow : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void identifiesAndReadsSettings();
    void writesSettingsOnlyOnUserChanges();
    void skipsPortThatDoesNotAnswer();
    void corruptReplyIsNeverActedOn();
    void findsUnitAgainAfterUnplug();
    void upgradesFirmware();
    void failedWriteStopsUpgradeWithMessage();
    void silentUnitAbortsUpgrade();
    void refusesUnusableImages_data();
    void refusesUnusableImages();
    void replies_data();
    void replies();
    void statusWord_data();
    void statusWord();
    void bootLoaderTries();
    void serialZeroEndsInsteadOfLooping();
    void burnsSerialNumberInFactoryMode();
    void closingResetsTheConversation();
    void pageOpensAndStopsTheDisplayUnit();

private:
    DisplayUnitSim* addUnit(const DisplayUnitSim::Options& options = DisplayUnitSim::Options());
    void usePorts();
    ScriptedDisplayUnit* openWindow();
    void waitIdentified(ScriptedDisplayUnit* w);
    QString writeImage(const QByteArray& headerText, const QByteArray& body);

    std::unique_ptr<QTemporaryDir> dir;
    QList<std::shared_ptr<DisplayUnitSim>> units;
    std::unique_ptr<ScriptedDisplayUnit> window;
    int serialNo = 0;
};

void TestDuWindow::init()
{
    dir.reset(new QTemporaryDir);
    QVERIFY(dir->isValid());
    g_factoryMode = false;
    qputenv(kExtraPortsVariable, QByteArray());
    // Only the emulated units: none of the machine's own ports.
    setSystemPortLister([] { return QList<PortEntry>(); });
}

void TestDuWindow::cleanup()
{
    setSystemPortLister(nullptr);
    window.reset();
    units.clear();
    dir.reset();
}

DisplayUnitSim* TestDuWindow::addUnit(const DisplayUnitSim::Options& options)
{
    auto unit = std::make_shared<DisplayUnitSim>(options);
    // Unique names: the serial port's lock file is named after them.
    const QString link = dir->filePath(QStringLiteral("du%1-%2").arg(QCoreApplication::applicationPid()).arg(++serialNo));
    if (!unit->start(link))
        return nullptr;
    units << unit;
    return unit.get();
}

void TestDuWindow::usePorts()
{
    QStringList paths;
    for (const auto& u : units)
        paths << u->portPath();
    qputenv(kExtraPortsVariable, paths.join(QLatin1Char(':')).toLocal8Bit());
}

ScriptedDisplayUnit* TestDuWindow::openWindow()
{
    usePorts();
    window.reset(new ScriptedDisplayUnit);
    window->openConfigPage();
    return window.get();
}

void TestDuWindow::waitIdentified(ScriptedDisplayUnit* w)
{
    QTRY_VERIFY_WITH_TIMEOUT(w->flags().paramsLoaded, kWaitMs);
    QTRY_COMPARE_WITH_TIMEOUT(w->windowTitle(), QStringLiteral("BMS Display Unit - Connected"), kWaitMs);
}

QString TestDuWindow::writeImage(const QByteArray& headerText, const QByteArray& body)
{
    const QString path = dir->filePath(QStringLiteral("display.img"));
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return QString();
    f.write(encryptHeader(headerText) + body);
    return path;
}

void TestDuWindow::identifiesAndReadsSettings()
{
    DisplayUnitSim* unit = addUnit();
    QVERIFY(unit);
    ScriptedDisplayUnit* w = openWindow();
    QCOMPARE(w->windowTitle(), QStringLiteral("BMS Display Unit - Disconnected"));
    waitIdentified(w);

    QCOMPARE(w->serialNumberLabel()->text(), QStringLiteral("12345678"));
    QCOMPARE(w->firmwareVersionLabel()->text(), QStringLiteral("1.2.3"));
    QCOMPARE(w->sleepTimeEdit()->text(), QStringLiteral("300"));
    QVERIFY(w->unitsBox()->isChecked(1));
    QVERIFY(w->modeBox()->isChecked(0));
    QCOMPARE(w->contrastSlider()->value(), 128);
    QVERIFY(w->settingsPanel()->isEnabled());
    QVERIFY(w->upgradeButton()->isEnabled());
    // Settings read: only the watchdog goes on.
    QVERIFY(!w->port()->isScanning());
    QVERIFY(w->port()->isWatching());

    // From the identification that succeeded (a slow machine may have let an
    // earlier one time out): serial, version, then reads of settings 2 to 6.
    QList<DisplayUnitSim::Received> rec = unit->received();
    QList<quint8> commands = unit->receivedCommands();
    const int from = commands.lastIndexOf(CmdIdentify);
    QVERIFY(from >= 0);
    rec = rec.mid(from);
    QList<quint8> expected{CmdIdentify, CmdReadSerial, CmdReadVersion, CmdParam, CmdParam, CmdParam, CmdParam, CmdParam};
    QCOMPARE(commands.mid(from), expected);
    for (int i = 0; i < 5; ++i) {
        QCOMPARE(readLe(rec[3 + i].payload, 0, 4), 0u);
        QCOMPARE(readLe(rec[3 + i].payload, 4, 4), quint32(2 + i));
    }
}

void TestDuWindow::writesSettingsOnlyOnUserChanges()
{
    DisplayUnitSim* unit = addUnit();
    QVERIFY(unit);
    ScriptedDisplayUnit* w = openWindow();
    waitIdentified(w);

    // Clearing the panel writes nothing: the contrast stays as the unit has it.
    w->setControlsEnabled(false, false);
    QCOMPARE(w->contrastSlider()->value(), 0);
    w->setControlsEnabled(true, true);
    QTest::mouseClick(w->modeBox()->option(1), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(unit->param(4), 1u, kWaitMs);
    QCOMPARE(paramWrites(unit->received()), (QList<QPair<quint32, quint32>>{{4, 1}}));
    QCOMPARE(unit->param(6), 128u);

    QLineEdit* sleep = w->sleepTimeEdit();
    sleep->setText(QStringLiteral("3"));
    QTest::keyClick(sleep, Qt::Key_Return);
    QCOMPARE(sleep->text(), QStringLiteral("0"));
    QTRY_COMPARE_WITH_TIMEOUT(unit->param(2), 0u, kWaitMs);
    sleep->setText(QStringLiteral("5"));
    QTest::keyClick(sleep, Qt::Key_Return);
    QTRY_COMPARE_WITH_TIMEOUT(unit->param(2), 5u, kWaitMs);

    // A press on the slider puts the handle where it was pressed.
    QSlider* slider = w->contrastSlider();
    slider->setFixedWidth(269);
    QCOMPARE(slider->width(), 269);
    QTest::mousePress(slider, Qt::LeftButton, Qt::NoModifier, QPoint(135, slider->height() / 2));
    QTest::mouseRelease(slider, Qt::LeftButton, Qt::NoModifier, QPoint(135, slider->height() / 2));
    QCOMPARE(slider->value(), 127);
    QTRY_COMPARE_WITH_TIMEOUT(unit->param(6), 127u, kWaitMs);
    QTest::mousePress(slider, Qt::LeftButton, Qt::NoModifier, QPoint(3, slider->height() / 2));
    QTest::mouseRelease(slider, Qt::LeftButton, Qt::NoModifier, QPoint(3, slider->height() / 2));
    QCOMPARE(slider->value(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(unit->param(6), 0u, kWaitMs);
}

void TestDuWindow::skipsPortThatDoesNotAnswer()
{
    DisplayUnitSim* other = addUnit();
    DisplayUnitSim* unit = addUnit();
    QVERIFY(other && unit);
    other->setSilent(true);
    ScriptedDisplayUnit* w = openWindow();
    waitIdentified(w);
    QCOMPARE(w->port()->currentPortName(), unit->portPath());
    QVERIFY(other->receivedCommands().contains(CmdIdentify));
    QCOMPARE(w->serialNumberLabel()->text(), QStringLiteral("12345678"));
}

void TestDuWindow::corruptReplyIsNeverActedOn()
{
    DisplayUnitSim* unit = addUnit();
    QVERIFY(unit);
    // The identification answer arrives damaged: the port is rejected, and
    // since it is the only one, tried again on a later scan.
    unit->corruptNextReplies(1);
    ScriptedDisplayUnit* w = openWindow();
    waitIdentified(w);
    QVERIFY(countOf(unit->received(), CmdIdentify) >= 2);
    QVERIFY(w->packetLink()->droppedFrames() >= 1);
    QCOMPARE(w->serialNumberLabel()->text(), QStringLiteral("12345678"));
}

void TestDuWindow::findsUnitAgainAfterUnplug()
{
    DisplayUnitSim* unit = addUnit();
    QVERIFY(unit);
    ScriptedDisplayUnit* w = openWindow();
    waitIdentified(w);
    // The window's own test runs the event loop; the emulator's blocking
    // waits are not for this thread.
    QSignalSpy lost(w->port(), &usbport::connStatus);

    unit->vanish();
    QTRY_VERIFY_WITH_TIMEOUT(!lost.isEmpty(), kWaitMs);
    QCOMPARE(lost.first().first().toBool(), false);
    QVERIFY(w->port()->currentPortName().isEmpty());
    QVERIFY(w->port()->isScanning());

    unit->clearReceived();
    QVERIFY(unit->reappear());
    QTRY_VERIFY_WITH_TIMEOUT(countOf(unit->received(), CmdIdentify) >= 1, kWaitMs);
    QTRY_VERIFY_WITH_TIMEOUT(!w->port()->isScanning(), kWaitMs);
    QCOMPARE(w->port()->currentPortName(), unit->portPath());
    QCOMPARE(countOf(unit->received(), CmdParam), 5);
}

void TestDuWindow::upgradesFirmware()
{
    DisplayUnitSim* unit = addUnit();
    QVERIFY(unit);
    ScriptedDisplayUnit* w = openWindow();
    waitIdentified(w);

    // Crosses the sector at 0x08010000 and ends in a short chunk.
    const QByteArray body = patternBody(16384 + 200);
    w->nextFile = writeImage("010203000007E30C1F", body);
    w->extractMetaData();
    QCOMPARE(w->fileNameLabel()->text(), QStringLiteral("display.img"));
    QCOMPARE(w->imageVersionLabel()->text(), QStringLiteral("1.2.3"));
    QCOMPARE(w->releaseDateLabel()->text(), QStringLiteral("2019-12-31"));
    QVERIFY(w->warnings.isEmpty());

    unit->repeatWrite(3);
    unit->clearReceived();
    QSignalSpy progress(w, &DisplayUnit::updateProgress);
    w->startUpgrade();
    QVERIFY(!w->upgradeButton()->isEnabled());
    QTRY_VERIFY_WITH_TIMEOUT(countOf(unit->received(), CmdStartApp) >= 1, 60000);
    // The restarted unit is identified again.
    QTRY_VERIFY_WITH_TIMEOUT(countOf(unit->received(), CmdParam) >= 5, kWaitMs);
    QTRY_VERIFY_WITH_TIMEOUT(w->flags().paramsLoaded, kWaitMs);
    QVERIFY(!unit->inBootloader());
    QVERIFY(w->upgradeButton()->isEnabled());
    QVERIFY(w->settingsPanel()->isEnabled());
    QCOMPARE(w->firmwareVersionLabel()->text(), QStringLiteral("1.2.3"));

    const QByteArray padded = body + QByteArray(16592 - body.size(), '\0');
    QCOMPARE(unit->flash(padded.size()), padded);
    QCOMPARE(unit->erasedSectors(), (QList<quint32>{0x0800C000, 0x08010000}));
    QCOMPARE(unit->writesOverUnerased(), 0);
    QCOMPARE(unit->shortWrites(), 0);

    // Chunks go one after another, the repeated one twice, with the sector
    // erase right before the first chunk that needs it.
    QList<quint32> order;
    for (const auto& r : unit->received()) {
        if (r.command == CmdWrite) {
            QCOMPARE(readLe(r.payload, 4, 4), 64u);
            order << readLe(r.payload, 0, 4);
        } else if (r.command == CmdErase) {
            order << (0xE0000000u | readLe(r.payload, 0, 4));
        }
    }
    QList<quint32> expected{0xE0000000u | 0x0800C000};
    for (quint32 a = 0x0800C000; a < 0x0800C000 + 16592; a += 64) {
        if (a == 0x08010000)
            expected << (0xE0000000u | a);
        expected << a;
        if (a == 0x0800C000 + 3 * 64)
            expected << a;
    }
    QCOMPARE(order, expected);

    QList<int> values;
    for (const auto& args : progress)
        values << args.first().toInt();
    QVERIFY(values.contains(100));
    QCOMPARE(values.last(), 0);
    QCOMPARE(w->progressBar()->value(), 0);
}

void TestDuWindow::failedWriteStopsUpgradeWithMessage()
{
    DisplayUnitSim* unit = addUnit();
    QVERIFY(unit);
    ScriptedDisplayUnit* w = openWindow();
    waitIdentified(w);
    w->nextFile = writeImage("010203000007E30C1F", patternBody(1000));
    w->extractMetaData();

    unit->failNextWrite();
    unit->clearReceived();
    w->startUpgrade();
    QTRY_VERIFY_WITH_TIMEOUT(!w->statusBar()->currentMessage().isEmpty(), kWaitMs);
    QVERIFY(w->statusBar()->currentMessage().contains(QStringLiteral("could not write")));
    QVERIFY(!w->flags().upgradeRequested);
    // The upgrade time-out gives the controls back.
    QTRY_VERIFY_WITH_TIMEOUT(w->uploadButton()->isEnabled(), kWaitMs);
    QCOMPARE(countOf(unit->received(), CmdWrite), 1);
    QCOMPARE(countOf(unit->received(), CmdStartApp), 0);
}

void TestDuWindow::silentUnitAbortsUpgrade()
{
    DisplayUnitSim* unit = addUnit();
    QVERIFY(unit);
    ScriptedDisplayUnit* w = openWindow();
    waitIdentified(w);
    w->nextFile = writeImage("010203000007E30C1F", patternBody(1000));
    w->extractMetaData();

    unit->setSilent(true);
    QSignalSpy progress(w, &DisplayUnit::updateProgress);
    w->startUpgrade();
    QVERIFY(!w->uploadButton()->isEnabled());
    QTRY_VERIFY_WITH_TIMEOUT(w->uploadButton()->isEnabled(), 15000);
    QVERIFY(!w->flags().upgradeRequested);
    QVERIFY(w->imageBuffer()->isEmpty());
    QCOMPARE(w->replyHandler()->state(), ParserState::Idle);
    QCOMPARE(progress.last().first().toInt(), 0);
}

void TestDuWindow::refusesUnusableImages_data()
{
    QTest::addColumn<QByteArray>("headerText");
    QTest::addColumn<int>("bodySize");
    QTest::addColumn<bool>("exists");
    QTest::addColumn<QString>("warning");
    const QString invalid = QStringLiteral("Incorrect firmware file|Provided firmware file is invalid.");
    QTest::newRow("bad version") << QByteArray("010A03000007E30C1F") << 100 << true << invalid;
    QTest::newRow("bad date") << QByteArray("010203000007E30D1F") << 100 << true << invalid;
    QTest::newRow("header only") << QByteArray("010203000007E30C1F") << 0 << true << invalid;
    QTest::newRow("larger than the flash") << QByteArray("010203000007E30C1F") << kMaxImageBody + 64 << true << invalid;
    QTest::newRow("missing file") << QByteArray() << 0 << false
                                  << QStringLiteral("Runtime error|Cannot open gone.img file.");
}

void TestDuWindow::refusesUnusableImages()
{
    QFETCH(QByteArray, headerText);
    QFETCH(int, bodySize);
    QFETCH(bool, exists);
    QFETCH(QString, warning);
    ScriptedDisplayUnit* w = openWindow();
    w->nextFile = exists ? writeImage(headerText, patternBody(bodySize)) : dir->filePath(QStringLiteral("gone.img"));
    w->extractMetaData();
    QCOMPARE(w->warnings, QStringList{warning});
    QVERIFY(w->fileNameLabel()->text().isEmpty());
    QVERIFY(w->imageVersionLabel()->text().isEmpty());
    QVERIFY(w->releaseDateLabel()->text().isEmpty());
    w->startUpgrade();
    QVERIFY(!w->flags().upgradeRequested);
    QVERIFY(!w->upgradeTimeout()->isActive());
}

void TestDuWindow::replies_data()
{
    QTest::addColumn<int>("command");
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<QString>("serial");
    QTest::addColumn<QString>("version");
    QTest::addColumn<int>("units");
    QTest::addColumn<ParserState>("state");
    QTest::addColumn<int>("sent");
    const QByteArray none;
    QTest::newRow("serial") << 0x84 << QByteArray::fromHex("0478563412") << "12345678" << "" << -1
                            << ParserState::AwaitVersion << int(CmdReadVersion);
    QTest::newRow("serial 0 asks for the boot loader") << 0x84 << QByteArray::fromHex("0400000000") << "" << "" << -1
                                                       << ParserState::AwaitBoot << int(CmdEnterBoot);
    QTest::newRow("version") << 0x85 << QByteArray::fromHex("0400030201") << "" << "1.2.3" << -1
                             << ParserState::ReadParams << int(CmdParam);
    QTest::newRow("version 0 is the boot loader") << 0x85 << QByteArray::fromHex("0400000000") << "" << "boot" << -1
                                                  << ParserState::ReadParams << int(CmdParam);
    QTest::newRow("units") << 0xA0 << QByteArray::fromHex("030000000101") << "" << "" << 1 << ParserState::Idle << -1;
    QTest::newRow("id above 7") << 0xA0 << QByteArray::fromHex("080000000101") << "" << "" << -1
                                << ParserState::Idle << -1;
    QTest::newRow("value wider than 32 bits") << 0xA0 << QByteArray::fromHex("03000000050101010101") << "" << "" << -1
                                              << ParserState::Idle << -1;
    QTest::newRow("unknown command") << 0x42 << QByteArray("x") << "" << "" << -1 << ParserState::Idle << -1;
}

void TestDuWindow::replies()
{
    QFETCH(int, command);
    QFETCH(QByteArray, payload);
    QFETCH(QString, serial);
    QFETCH(QString, version);
    QFETCH(int, units);
    QFETCH(ParserState, state);
    QFETCH(int, sent);
    // No port: the parser's sends are seen as the link's last packet.
    window.reset(new ScriptedDisplayUnit);
    ScriptedDisplayUnit* w = window.get();
    Parser* parser = w->replyHandler();
    w->packetLink()->sendPacket(Packet{0x11, QByteArray()});
    // Walk to the state that waits for this reply, as the conversation would.
    if (command == 0x84 || command == 0x85) {
        parser->parsePacket(Packet{CmdIdentify, QByteArray()});
        QCOMPARE(parser->state(), ParserState::AwaitSerial);
        if (command == 0x85)
            parser->parsePacket(Packet{CmdReadSerial, QByteArray::fromHex("0401000000")});
    }
    parser->parsePacket(Packet{quint8(command), payload});
    if (command != 0x84 || !serial.isEmpty())
        QCOMPARE(w->serialNumberLabel()->text(), command == 0x85 ? QStringLiteral("00000001") : serial);
    else
        QVERIFY(w->serialNumberLabel()->text().isEmpty());
    QCOMPARE(w->firmwareVersionLabel()->text(), version);
    QCOMPARE(w->unitsBox()->currentIndex(), units);
    QCOMPARE(parser->state(), state);
    QCOMPARE(int(w->packetLink()->lastSentPacket().command), sent < 0 ? 0x11 : sent);
}

void TestDuWindow::statusWord_data()
{
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<bool>("ok");
    QTest::newRow("digit 0") << QByteArray("0\0\0", 3) << true;
    QTest::newRow("zero byte") << QByteArray("\0\0\0", 3) << true;
    QTest::newRow("digit 1") << QByteArray("1\0\0", 3) << false;
    QTest::newRow("12") << QByteArray("12\0", 3) << false;
    QTest::newRow("garbled") << QByteArray("\x9c\x01\0", 3) << false;
    QTest::newRow("0 then garbage") << QByteArray("0x\0", 3) << false;
}

void TestDuWindow::statusWord()
{
    QFETCH(QByteArray, payload);
    QFETCH(bool, ok);
    QCOMPARE(Parser::statusOk(payload), ok);
}

void TestDuWindow::bootLoaderTries()
{
    window.reset(new ScriptedDisplayUnit);
    ScriptedDisplayUnit* w = window.get();
    Parser* parser = w->replyHandler();
    const QStringList expected{QStringLiteral("Trying to boot device application... (1/2)"),
                               QStringLiteral("Trying to boot device application... (2/2)"),
                               QStringLiteral("Device flash memory is corrupted. Please upgrade firmware.")};
    for (const QString& message : expected) {
        w->packetLink()->sendPacket(Packet{0x11, QByteArray()});
        parser->parsePacket(Packet{CmdEnterBoot, QByteArray()});
        QCOMPARE(w->statusBar()->currentMessage(), message);
    }
    QCOMPARE(w->firmwareVersionLabel()->text(), QStringLiteral("boot"));
    QCOMPARE(parser->state(), ParserState::Idle);
    QVERIFY(w->upgradeButton()->isEnabled());
    QVERIFY(!w->settingsPanel()->isEnabled());
    // The last one starts nothing more.
    QCOMPARE(int(w->packetLink()->lastSentPacket().command), 0x11);
}

void TestDuWindow::serialZeroEndsInsteadOfLooping()
{
    // A unit without a serial number is sent to its boot loader, which
    // starts the application again, which reports no serial again...
    DisplayUnitSim::Options options;
    options.serial = 0;
    DisplayUnitSim* unit = addUnit(options);
    QVERIFY(unit);
    ScriptedDisplayUnit* w = openWindow();
    QTRY_COMPARE_WITH_TIMEOUT(w->statusBar()->currentMessage(),
                              QStringLiteral("Device flash memory is corrupted. Please upgrade firmware."), kWaitMs);
    const int identifications = countOf(unit->received(), CmdIdentify);
    QVERIFY(identifications <= 4);
    QTest::qWait(1500);
    QCOMPARE(countOf(unit->received(), CmdIdentify), identifications);
    QVERIFY(w->uploadButton()->isEnabled());
}

void TestDuWindow::burnsSerialNumberInFactoryMode()
{
    g_factoryMode = true;
    DisplayUnitSim::Options options;
    options.serial = 0xFFFFFFFF;
    DisplayUnitSim* unit = addUnit(options);
    QVERIFY(unit);
    ScriptedDisplayUnit* w = openWindow();
    QCOMPARE(w->height(), 300);
    waitIdentified(w);
    QCOMPARE(w->serialNumberLabel()->text(), QStringLiteral("ffffffff"));

    QLineEdit* edit = w->serialNumberEdit();
    QVERIFY(edit);
    QTest::keyClicks(edit, QStringLiteral("0badc0d"));
    QTest::mouseClick(w->burnButton(), Qt::LeftButton);
    QCOMPARE(w->burnQuestions, 0);
    QTest::keyClicks(edit, QStringLiteral("e"));
    QCOMPARE(edit->text(), QStringLiteral("0badc0de"));
    w->applyBurn = false;
    QTest::mouseClick(w->burnButton(), Qt::LeftButton);
    QCOMPARE(w->burnQuestions, 1);
    w->applyBurn = true;
    QTest::mouseClick(w->burnButton(), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(unit->serial(), 0x0BADC0DEu, kWaitMs);
    QCOMPARE(paramWrites(unit->received()), (QList<QPair<quint32, quint32>>{{0, 0x0BADC0DE}}));
}

void TestDuWindow::closingResetsTheConversation()
{
    DisplayUnitSim* unit = addUnit();
    QVERIFY(unit);
    ScriptedDisplayUnit* w = openWindow();
    waitIdentified(w);
    QVERIFY(w->flags().answered);
    w->close();
    QVERIFY(!w->flags().answered);
    QVERIFY(!w->flags().upgradeRequested);
    QCOMPARE(w->replyHandler()->state(), ParserState::Idle);
    // The port stays open until the page stops it.
    QVERIFY(!w->port()->currentPortName().isEmpty());
    w->stopPort();
    QVERIFY(!w->port()->isStarted());
    QVERIFY(w->port()->currentPortName().isEmpty());
}

void TestDuWindow::pageOpensAndStopsTheDisplayUnit()
{
    DisplayUnitSim* unit = addUnit();
    QVERIFY(unit);
    usePorts();
    ScriptedDisplayUnit* created = nullptr;
    ExternalComponentsPage::setDisplayUnitFactory([&created] {
        auto* w = new ScriptedDisplayUnit;
        created = w;
        return DisplayUnitHooks{w, [w] { w->openConfigPage(); }, [w] { w->stopPort(); }, [w] { w->pageLeft(); },
                                [w] { w->pageReturned(); }};
    });
    auto page = std::make_unique<ExternalComponentsPage>();
    ExternalComponentsPage::setDisplayUnitFactory(nullptr);
    QVERIFY(created);
    QVERIFY(!created->port()->isStarted());
    page->show();

    const auto items = page->findChildren<ClickableLabel*>();
    QVERIFY(!items.isEmpty());
    QTest::mouseClick(items.first(), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(created->flags().paramsLoaded, kWaitMs);
    QCOMPARE(created->serialNumberLabel()->text(), QStringLiteral("12345678"));

    QPushButton* back = nullptr;
    for (QPushButton* b : page->findChildren<QPushButton*>())
        if (b->text() == QStringLiteral("Back to list"))
            back = b;
    QVERIFY(back);
    QTest::mouseClick(back, Qt::LeftButton);
    QVERIFY(!created->port()->isStarted());
    QVERIFY(created->port()->currentPortName().isEmpty());

    // Opened again: the port search starts over and finds the unit.
    unit->clearReceived();
    QTest::mouseClick(items.first(), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(countOf(unit->received(), CmdParam) >= 5, kWaitMs);
}

QTEST_MAIN(TestDuWindow)
#include "tst_duwindow.moc"
