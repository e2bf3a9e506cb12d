// Device actions, the ".bcf" configuration file and the per-serial copy of
// the values kept across a firmware update.
#include "ConfigPage.h"

#include "Communicator.h"
#include "ConfigFile.h"
#include "ConfigParam.h"
#include "ConfigPrompter.h"
#include "MainWindowServices.h"
#include "ParamCache.h"
#include "StatisticsPage.h"
#include "Y5ProtocolHandler.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSaveFile>
#include <QSettings>
#include <QThread>
#include <QVBoxLayout>

#include <algorithm>
#include <cstdio>

namespace {

const std::atomic<bool> kNeverStop{false};
constexpr int kFileAttempts = 5;
constexpr int kCacheAttempts = 3;
constexpr int kPasswordReplyPolls = 1001;
constexpr int kWaitingForPassword = 7;

} // namespace

// --- shared warnings

bool ConfigPage::askYesNo(const QString& text)
{
    return prompter()->ask(text, QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes;
}

void ConfigPage::showChargingWarning()
{
    prompter()->warn(this, tr("WARNING!"),
                     tr("Charging is in progress, and the action \nyou are trying to execute may cause \nundefined "
                        "behavior. Please disconnect the \ncharger before configuring any parameters."));
}

bool ConfigPage::confirmConfigMode()
{
    return prompter()->confirm(QStringLiteral("WARNING!"),
                               QStringLiteral("This action requires entering configuration mode.\nWhile in "
                                              "configuration mode, normal operation of\ncontrol unit will be "
                                              "stopped. Continue?"));
}

void ConfigPage::showWarningMessage(const char* text)
{
    setCursor(Qt::ArrowCursor);
    prompter()->warn(this, tr("WARNING!"), tr(text));
}

// --- device actions

void ConfigPage::slotCalibratePressed()
{
    if (isChargingCheckActive())
        showChargingWarning();
    int temperature = 0;
    if (!prompter()->askInt(this, tr("Enter the calibration temperature to set"),
                            QString::fromUtf8("Calibration Temperature [°C]:<br>(NOTE: This is not applicable to "
                                              "HXTMs)"),
                            20, -99, 154, &temperature))
        return;
    sendSentence(QStringLiteral("TC1,"), QString::asprintf("%02X", unsigned(temperature + 100)), 20, 200);
}

void ConfigPage::slotSetSOCPressed()
{
    if (isChargingCheckActive())
        showChargingWarning();
    int soc = 0;
    if (!prompter()->askInt(this, tr("Enter the SoC to set"), tr("State of Charge:"), 100, 0, 100, &soc))
        return;
    sendSentence(QStringLiteral("SC1,"), QString::asprintf("%02X", unsigned(soc)), 20, 200);
    if (analogCurrentSensorBox && analogCurrentSensorBox->isChecked())
        return;
    if (!deviceBaseIdEdit || !m_sendSensorSoc)
        return;
    quint16 base = 0;
    if (!currentSensorBase(&base)) {
        // Without a base id the frame would go to CAN id 0.
        showWarningMessage(QT_TR_NOOP("The current sensor's CAN base id is not valid: its state of charge was not "
                                      "set."));
        return;
    }
    m_sendSensorSoc(base, extendedIdBox && extendedIdBox->isChecked(), soc);
}

bool ConfigPage::currentSensorBase(quint16* base) const
{
    QString text = deviceBaseIdEdit ? deviceBaseIdEdit->text() : QString();
    text.remove(QLatin1Char('x'), Qt::CaseInsensitive);
    bool ok = false;
    *base = quint16(text.toUInt(&ok, 16) & 0xFFFF);
    return ok;
}

void ConfigPage::slotSetDateTimePressed()
{
    if (isChargingCheckActive())
        showChargingWarning();
    QDateTime when;
    if (!prompter()->askDateTime(&when))
        return;
    const QDate d = when.date();
    const QTime t = when.time();
    sendSentence(QStringLiteral("TD1,"),
                 QString::asprintf("%04i,%02i,%02i,%02i,%02i,%02i", d.year(), d.month(), d.day(), t.hour(),
                                   t.minute(), t.second()),
                 20, 200);
}

void ConfigPage::slotEnterBMSMaintenancePressed()
{
    if (isChargingCheckActive())
        showChargingWarning();
    if (!askYesNo(tr("Do you really want to enter BMS maintenance mode?")))
        return;
    sendSentence(QStringLiteral("CM1,"), QStringLiteral("1"), 20, 200);
    QThread::msleep(200);
}

void ConfigPage::slotDisableChargingPressed()
{
    if (!askYesNo(tr("Do you really want to disable charging? You will need to reset the BMS to enable charging "
                     "again")))
        return;
    sendSentence(QStringLiteral("CM1,"), QStringLiteral("2"), 20, 200);
    QThread::msleep(200);
}

void ConfigPage::slotResetBMSPressed()
{
    if (isChargingCheckActive())
        showChargingWarning();
    if (!askYesNo(tr("Do you really want to reset the BMS?")))
        return;
    Y5ProtocolHandler* handler = protocolHandler();
    if (!handler)
        return;
    handler->sendReset(20);
    handler->setResetPending(true);
    resetAccessLevelUi();
    QThread::msleep(300);
    QCoreApplication::processEvents();
    setConnected(true);
}

void ConfigPage::slotRestoreDefaultsPressed()
{
    if (isChargingCheckActive())
        showChargingWarning();
    if (!askYesNo(tr("Do you really want to restore factory defaults?")))
        return;
    sendSentence(QStringLiteral("FD1,"), QString(), 20, 200);
    // The unit restarts with its defaults: the link is made afresh and the
    // configuration read again.
    if (Communicator* comm = communicator())
        comm->resetConnection();
}

// --- configuration file

QString ConfigPage::workingDirectory() const
{
    return QSettings().value(QStringLiteral("WorkingDirectory"), QCoreApplication::applicationDirPath()).toString();
}

void ConfigPage::setWorkingDirectory(const QString& fileName)
{
    QSettings().setValue(QStringLiteral("WorkingDirectory"), QFileInfo(fileName).absolutePath());
}

void ConfigPage::slotSaveConfigPressed()
{
    const QString name = prompter()->saveFileName(this, tr("Save Configuration File"), workingDirectory(),
                                                  tr("BMS Configuration File (*.bcf)"));
    if (name.isEmpty())
        return;
    setWorkingDirectory(name);
    saveConfigFile(name);
}

bool ConfigPage::saveConfigFile(const QString& fileName)
{
    Y5ProtocolHandler* handler = protocolHandler();
    // Written whole or not at all: an earlier file of that name survives a
    // failed save.
    QSaveFile file(fileName);
    if (!handler || !file.open(QIODevice::WriteOnly)) {
        prompter()->showMessage(QStringLiteral("Could not open the file!"));
        return false;
    }
    const QString version = handler->deviceVersion();
    ConfigFile::Writer writer(handler->versionLine());
    QList<int> ids = m_slots.keys();
    std::sort(ids.begin(), ids.end());
    for (int id : qAsConst(ids)) {
        const ConfigParamSlot* slot = m_slots.value(id);
        if (slot->valid && isIdSupported(id, version) && !ConfigFile::isCalibrationId(id))
            writer.addParam(id, slot->value);
    }
    if (askYesNo(tr("Do you want to include the current sensor calibration parameters into configuration file?"))) {
        // Only values read from the unit: a zero written for a value never
        // read would wipe the sensor's calibration on loading.
        for (int id : qAsConst(ids))
            if (ConfigFile::isCalibrationId(id) && m_slots.value(id)->valid)
                writer.addParam(id, m_slots.value(id)->value);
    }
    if (askYesNo(tr("Do you want to include the State of Charge value into configuration file?"))) {
        int soc = 0;
        if (prompter()->askInt(this, tr("Enter the SoC to save"), tr("State of Charge [%]:"), 100, 0, 100, &soc))
            writer.addStateOfCharge(soc);
    }
    if (askYesNo(tr("Do you want to include passwords into configuration file?"))) {
        QString level2;
        QString level1;
        if (prompter()->askFilePasswords(this, &level2, &level1) && filePasswordErrors(level2, level1).isEmpty())
            writer.addPasswords(level2, level1);
    }
    const QByteArray bytes = writer.bytes();
    if (file.write(bytes) != bytes.size() || !file.commit()) {
        prompter()->showMessage(tr("Could not write the configuration file %1:\n%2")
                                    .arg(QDir::toNativeSeparators(fileName), file.errorString()));
        return false;
    }
    return true;
}

void ConfigPage::slotLoadConfigPressed()
{
    // As the button's enabling: a completed load and a login. A click queued
    // before the unit went (into its bootloader, say) sends nothing.
    if (m_fileLoadRunning || !connected || accessLevel == 0)
        return;
    if (isChargingCheckActive())
        showChargingWarning();
    const QString name = prompter()->openFileName(this, tr("Open Configuration File"), workingDirectory(),
                                                  tr("BMS Configuratation File (*.bcf)"));
    if (name.isEmpty())
        return;
    setWorkingDirectory(name);
    loadConfigFile(name);
}

QDialog* ConfigPage::fileLoadProgress() const
{
    return m_fileLoadProgress;
}

void ConfigPage::showFileLoadProgress()
{
    if (!m_fileLoadProgress)
        return;
    m_fileLoadProgress->show();
    m_fileLoadProgress->raise();
    m_fileLoadProgress->activateWindow();
}

QString ConfigPage::fileLoadFailureReason(int attempts) const
{
    const QString id = QStringLiteral("%1").arg(m_fileLoadAwaitedId, 4, 16, QLatin1Char('0')).toUpper();
    if (!m_fileLoadReplied)
        return tr("the control unit did not answer it in %1 attempts").arg(attempts);
    if (m_fileLoadReply.isEmpty())
        return tr("the control unit has no parameter %1").arg(id);
    return tr("the control unit answered CF2,%1,%2 and kept that value").arg(id, m_fileLoadReply);
}

bool ConfigPage::applyConfigFilePassword(uint8_t& level, int step)
{
    for (int i = 0; i < kPasswordReplyPolls && passwordReplyState == kWaitingForPassword; ++i) {
        QCoreApplication::processEvents();
        QThread::msleep(1);
    }
    switch (passwordReplyState) {
    case 0:
        if (step == 4)
            return false;
        level = 0;
        return true;
    case 1:
        if (step == 6) {
            level = 1;
            return true;
        }
        if (step == 0 && level == 2) {
            level = 1;
            return true;
        }
        return false;
    case 2:
        if (step == 6) {
            level = 2;
            return true;
        }
        return step == 0 && level == 2;
    case 4:
        return true;
    case 5:
        if (level == 0)
            prompter()->warn(this, tr("Incorrect access level password"),
                             QStringLiteral("Password configuration is terminated, because provided password for "
                                            "1st access level is incorrect,therefore password change is denied"),
                             true);
        else if (level == 1)
            prompter()->warn(this, tr("Incorrect access level password"),
                             QStringLiteral("Password configuration is terminated, because provided password for "
                                            "2nd access level is incorrect,therefore password change is denied"),
                             true);
        return false;
    default: // 3, and no reply (still waiting)
        return false;
    }
}

bool ConfigPage::loadConfigFile(const QString& fileName)
{
    Y5ProtocolHandler* handler = protocolHandler();
    QFile file(fileName);
    if (!handler || !file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        prompter()->showMessage(QStringLiteral("Could not open the file!"));
        return false;
    }
    ConfigFile::Contents contents;
    const bool readable = ConfigFile::read(&file, handler->versionLine(), &contents);
    file.close();
    if (!readable) {
        prompter()->showMessage(tr("Bad configuration file format!"));
        return false;
    }
    // Every line is checked before the first is sent: a damaged file writes
    // nothing, rather than half of itself.
    if (contents.problemCount > 0) {
        prompter()->showMessage(tr("Bad configuration file format!") + QLatin1String("\n\n")
                                + tr("Nothing was sent to the control unit. These lines are damaged:")
                                + QLatin1Char('\n') + ConfigFile::describeProblems(contents));
        return false;
    }

    // Ids the unit's firmware does not support, and ids this program does
    // not know (the unit would not echo them), are listed, not sent.
    const QString version = handler->deviceVersion();
    QStringList unsupported;
    QStringList unknown;
    QList<ConfigFile::Entry> lines;
    int values = 0;
    for (const ConfigFile::Entry& e : qAsConst(contents.entries)) {
        if (e.kind == ConfigFile::Entry::Param) {
            if (!m_slots.contains(e.id)) {
                unknown << e.parameters;
                continue;
            }
            if (!isIdSupported(e.id, version)) {
                unsupported << e.parameters;
                continue;
            }
            ++values;
        }
        lines << e;
    }
    auto skippedText = [&unsupported, &unknown]() {
        QString text;
        if (!unsupported.isEmpty()) {
            text += tr("Warning: The following configuration parameters were skipped because they are not "
                       "supported in current BMS Control Unit version:\n\n");
            for (const QString& s : qAsConst(unsupported))
                text += s + QLatin1Char('\n');
            text += tr("Please check your configuration or BMS version.");
        }
        if (!unknown.isEmpty()) {
            if (!text.isEmpty())
                text += QLatin1String("\n\n");
            text += tr("The following configuration parameters were skipped because this program does not know "
                       "them:\n\n");
            for (const QString& s : qAsConst(unknown))
                text += s + QLatin1Char('\n');
        }
        return text;
    };
    if (lines.isEmpty()) {
        // Nothing to write: the unit is not reset for nothing.
        const QString skipped = skippedText();
        prompter()->showMessage((skipped.isEmpty() ? QString() : skipped + QLatin1String("\n\n"))
                                + tr("The file holds nothing this control unit takes: nothing was sent to it."));
        return false;
    }

    // The rules recognise a CAN speed change coming from the file.
    if (const ConfigParamSlot* speed = m_slots.value(0x0C02))
        previousCanSpeed = int(speed->value);
    uint8_t level = uint8_t(qBound(0, accessLevel, 2));

    m_fileLoadRunning = true;
    m_fileLoadStopAsked = false;
    const bool twoLevels = featureSupported(14, version);
    const bool configModeEntered = twoLevels && accessLevel <= 1;
    if (configModeEntered)
        handler->setConfigModeIfConnected(true);

    // No parent and window-modal: it blocks no window. "Hide" (and closing
    // it) hides it, "Stop" ends the load before its next line.
    QDialog progress;
    progress.setWindowFlags(Qt::Dialog);
    progress.setWindowModality(Qt::WindowModal);
    progress.setWindowTitle(tr("Loading configuration file"));
    progress.setMinimumWidth(400);
    auto* layout = new QVBoxLayout(&progress);
    auto* label = new QLabel(tr("Loading parameters to BMS..."), &progress);
    QProgressBar* bar = newProgressBar();
    bar->setRange(0, 100);
    bar->setValue(0);
    auto* hideButton = new QPushButton(tr("Hide"), &progress);
    auto* stopButton = new QPushButton(tr("Stop"), &progress);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(hideButton);
    buttons->addWidget(stopButton);
    layout->addWidget(label);
    layout->addWidget(bar);
    layout->addLayout(buttons);
    connect(hideButton, &QPushButton::clicked, &progress, &QDialog::hide);
    connect(stopButton, &QPushButton::clicked, &progress, [this, stopButton, label] {
        m_fileLoadStopAsked = true;
        stopButton->setEnabled(false);
        label->setText(tr("Stopping after the value being written..."));
    });
    m_fileLoadProgress = &progress;
    progress.show();

    for (ConfigParam* p : qAsConst(m_params))
        p->editState = NoValue;
    if (g_mainWindow)
        g_mainWindow->writeLog(QStringLiteral("Starting configuration log"), 0);

    // What was written, for the message of a stop or a failure.
    int written = 0;
    auto partialText = [&written, values]() {
        return tr("%1 of the file's %2 values were written to the control unit; the rest were not sent. The "
                  "control unit now holds a partial configuration.")
            .arg(written)
            .arg(values);
    };
    auto endWithoutCompleting = [&](const QString& text) {
        m_fileLoadAwaitedId = -1;
        m_fileLoadProgress = nullptr;
        progress.close();
        // The unit must not stay stopped in configuration mode with half a
        // configuration and nobody told.
        if (configModeEntered)
            handler->setConfigModeIfConnected(false);
        prompter()->showMessage(text);
        m_fileLoadRunning = false;
    };

    bool passwordsHandled = false;
    int counted = 0;
    for (int i = 0; i < lines.size(); ++i) {
        const ConfigFile::Entry& e = lines.at(i);
        // Between two values, never inside one.
        QCoreApplication::processEvents();
        if (m_fileLoadStopAsked) {
            endWithoutCompleting(tr("Loading was stopped before line %1 of the file.").arg(e.lineNumber)
                                 + QLatin1String("\n\n") + partialText());
            return false;
        }
        if (e.kind == ConfigFile::Entry::Param) {
            m_fileLoadAwaitedId = e.id;
            m_fileLoadReplied = false;
            m_fileLoadReply.clear();
            bool confirmed = false;
            for (int attempt = 0; attempt < kFileAttempts && !confirmed; ++attempt) {
                m_replyWait->expect(e.id, e.valueText);
                sendSentence(e.name, e.parameters, 0, 200);
                confirmed = m_replyWait->wait(kNeverStop);
                if (!confirmed)
                    std::printf("Did not receive configuration parameter %s\n", qPrintable(e.parameters));
            }
            if (!confirmed) {
                m_replyWait->cancel();
                // The same file fails the same way: the line and the unit's
                // answer tell what to mend.
                endWithoutCompleting(
                    tr("Configuration loading failed. Could not receive confirmation for command %1").arg(e.line)
                    + QLatin1String("\n\n")
                    + tr("Line %1 of the file: %2.").arg(e.lineNumber).arg(fileLoadFailureReason(kFileAttempts))
                    + QLatin1String("\n\n") + partialText());
                // The page reads the unit afresh on the next link.
                if (Communicator* comm = communicator())
                    comm->resetConnection();
                return false;
            }
            ++written;
        } else if (e.kind == ConfigFile::Entry::StateOfCharge) {
            sendSentence(e.name, e.parameters, 0, 200);
        } else {
            if (passwordsHandled)
                continue;
            passwordReplyState = kWaitingForPassword;
            handler->sendPasswordQuery(0);
            applyConfigFilePassword(level, 6);
            if (e.parameters.size() > 2) {
                const bool pairFollows = i + 1 < lines.size() && lines.at(i + 1).kind == ConfigFile::Entry::Password;
                if (pairFollows) {
                    passwordsHandled = true;
                    if (level == 2) {
                        passwordReplyState = kWaitingForPassword;
                        sendSentence(e.name, e.parameters, 20, 200);
                        if (applyConfigFilePassword(level, 4)) {
                            passwordReplyState = kWaitingForPassword;
                            handler->sendLogout();
                            if (applyConfigFilePassword(level, 0))
                                passwordsHandled = false;
                        }
                    } else {
                        prompter()->warn(this, tr("Incorrect access level password"),
                                         QStringLiteral("Configuration file contains passwords. Password "
                                                        "configuration is terminated, because password for access "
                                                        "level 2 cannot be set from access level %1. Please log in "
                                                        "to access level 2 and try again.")
                                             .arg(level),
                                         true);
                    }
                } else if (level == 1) {
                    passwordReplyState = kWaitingForPassword;
                    sendSentence(e.name, e.parameters, 20, 200);
                    passwordsHandled = !applyConfigFilePassword(level, 4);
                } else {
                    prompter()->warn(this, tr("Incorrect access level password"),
                                     QStringLiteral("Password configuration is terminated, because configuration "
                                                    "file lacks password for access level 1, therefore password "
                                                    "change is denied"),
                                     true);
                    passwordsHandled = true;
                }
            }
        }
        ++counted;
        bar->setValue(counted * 100 / lines.size());
    }
    m_fileLoadAwaitedId = -1;
    m_fileLoadProgress = nullptr;
    progress.close();

    const QString skipped = skippedText();
    if (!skipped.isEmpty())
        prompter()->showMessage(skipped);

    QThread::msleep(10);
    for (int i = 0; i < m_params.size(); ++i)
        processInterdependentParams(i);
    for (ConfigParam* p : qAsConst(m_params))
        if (p->editState == SubmitRequested)
            submitParam(p);
    if (twoLevels && accessLevel <= 1)
        handler->setConfigModeIfConnected(false);
    m_fileLoadRunning = false;
    if (!(m_speedChangeRunning && m_speedChangeRunning())) {
        handler->sendReset(20);
        setConnected(communicator() && communicator()->linked);
    }
    return true;
}

// --- per-serial cache

quint32 ConfigPage::serialNumber() const
{
    if (m_serialNumber)
        return m_serialNumber();
    return g_mainWindow ? g_mainWindow->bmsSerialNumber() : 0;
}

void ConfigPage::saveParamsToSettings()
{
    const quint32 serial = serialNumber();
    Y5ProtocolHandler* handler = protocolHandler();
    const QString version = handler ? handler->deviceVersion() : QString();
    if (const ConfigParamSlot* speed = m_slots.value(0x0C02))
        previousCanSpeed = int(speed->value);
    cacheRestorePending = true;

    QList<int> ids = m_slots.keys();
    std::sort(ids.begin(), ids.end());
    QList<ParamCache::Value> values;
    for (int k = 0; k < ids.size(); ++k) {
        const ConfigParamSlot* slot = m_slots.value(ids.at(k));
        // A value never read from the unit is not the user's: writing it
        // back as 0 would corrupt the configuration.
        if (slot->valid && isIdSupported(slot->id, version))
            values << ParamCache::Value{slot->id, slot->value};
        emit sigFirmwareUpdateProgress((k + 1) * 100 / ids.size(), 0, QString());
    }
    QSettings settings;
    ParamCache::save(settings, serial, values);
    if (ids.isEmpty())
        emit sigFirmwareUpdateProgress(100, 0, QString());
}

void ConfigPage::slotLoadConfigurationFromHardDrive()
{
    QThread::msleep(1000);
    emit sigFirmwareUpdateProgress(0, 2, QString());
    const quint32 serial = serialNumber();
    Y5ProtocolHandler* handler = protocolHandler();
    const QString version = handler ? handler->deviceVersion() : QString();

    QSettings settings;
    const QList<ParamCache::Value> values = ParamCache::load(settings, serial);
    QStringList unconfirmed;
    for (int m = 0; m < values.size(); ++m) {
        const ParamCache::Value& v = values.at(m);
        const QString line = ConfigFile::paramLine(v.id, v.value);
        if (m_slots.contains(v.id) && isIdSupported(v.id, version) && !line.isEmpty()) {
            bool confirmed = false;
            for (int attempt = 0; attempt < kCacheAttempts && !confirmed; ++attempt) {
                QCoreApplication::processEvents();
                m_replyWait->expect(v.id);
                sendSentence(line.left(4), line.mid(4), 0, 200);
                confirmed = m_replyWait->wait(kNeverStop);
            }
            if (!confirmed) {
                m_replyWait->cancel();
                std::printf("could not load param to BMS %04X\n", unsigned(v.id));
                unconfirmed << line;
            }
        }
        emit sigFirmwareUpdateProgress((m + 1) * 100 / values.size(), 2, QString());
    }
    if (values.isEmpty())
        emit sigFirmwareUpdateProgress(100, 2, QString());
    // The group is the handler's trigger for a factory reset and restore on
    // connection: it goes in every case.
    ParamCache::remove(settings, serial);

    if (m_importStatistics)
        m_importStatistics();
    else if (g_mainWindow && g_mainWindow->statisticsPage())
        g_mainWindow->statisticsPage()->importStatistics(true);
    if (handler)
        handler->sendReset(20);
    if (Communicator* comm = communicator()) {
        comm->linked = false;
        comm->configModeActive = false;
        comm->restoreHold = false;
    }
    if (!unconfirmed.isEmpty()) {
        // Lost values are not a success: the user gets them to set by hand.
        QString text = tr("The control unit did not confirm these parameters after the firmware update; set them "
                          "again:") + QLatin1Char('\n');
        for (const QString& l : qAsConst(unconfirmed))
            text += l + QLatin1Char('\n');
        prompter()->warn(this, tr("WARNING!"), text);
    }
}
