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
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QProgressDialog>
#include <QSaveFile>
#include <QSettings>
#include <QThread>

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
    if (m_fileLoadRunning)
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
    // The rules recognise a CAN speed change coming from the file.
    if (const ConfigParamSlot* speed = m_slots.value(0x0C02))
        previousCanSpeed = int(speed->value);
    uint8_t level = uint8_t(qBound(0, accessLevel, 2));

    ConfigFile::Contents contents;
    const bool readable = ConfigFile::read(&file, handler->versionLine(), &contents);
    file.close();
    if (!readable) {
        prompter()->showMessage(tr("Bad configuration file format!"));
        return false;
    }
    if (!contents.rejected.isEmpty()) {
        // Nothing of a damaged file reaches the unit: its other lines may be
        // damaged too, and a stray sentence could reset or stop it.
        QString text = tr("Bad configuration file format!") + QLatin1String("\n\n")
                       + tr("These lines are not configuration parameters:") + QLatin1Char('\n');
        for (int i = 0; i < contents.rejected.size() && i < 10; ++i)
            text += contents.rejected.at(i).left(80) + QLatin1Char('\n');
        prompter()->showMessage(text);
        return false;
    }

    m_fileLoadRunning = true;
    const QString version = handler->deviceVersion();
    const bool twoLevels = featureSupported(14, version);
    if (twoLevels && accessLevel <= 1)
        handler->setConfigModeIfConnected(true);

    QProgressDialog progress;
    progress.setWindowFlags(Qt::Dialog);
    progress.setWindowModality(Qt::WindowModal);
    progress.setFixedHeight(100);
    progress.setMinimumWidth(400);
    progress.setBar(newProgressBar());
    progress.setLabelText(tr("Loading parameters to BMS..."));
    progress.setCancelButtonText(tr("Hide"));
    progress.setRange(0, 100);
    progress.setAutoClose(false);
    progress.setAutoReset(false);
    progress.setMinimumDuration(0);
    bool hidden = false;
    connect(&progress, &QProgressDialog::canceled, &progress, [&] {
        hidden = true;
        progress.hide();
    });
    progress.setValue(0);
    progress.show();

    for (ConfigParam* p : qAsConst(m_params))
        p->editState = NoValue;
    if (g_mainWindow)
        g_mainWindow->writeLog(QStringLiteral("Starting configuration log"), 0);

    QStringList skipped;
    bool passwordsHandled = false;
    int counted = 0;
    const int total = qMax(1, contents.entries.size());
    for (int i = 0; i < contents.entries.size(); ++i) {
        const ConfigFile::Entry& e = contents.entries.at(i);
        if (e.kind == ConfigFile::Entry::Param) {
            if (m_slots.contains(e.id) && !isIdSupported(e.id, version)) {
                skipped << e.parameters;
                continue;
            }
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
                progress.close();
                // The unit must not stay stopped in configuration mode with
                // half a configuration and nobody told.
                if (twoLevels)
                    handler->setConfigModeIfConnected(false);
                prompter()->showMessage(
                    tr("Configuration loading failed. Could not receive confirmation for command %1").arg(e.line)
                    + QLatin1String("\n\n")
                    + tr("The control unit now holds a partial configuration. Load the file again."));
                m_fileLoadRunning = false;
                if (Communicator* comm = communicator())
                    comm->resetConnection();
                return false;
            }
        } else if (e.kind == ConfigFile::Entry::StateOfCharge) {
            sendSentence(e.name, e.parameters, 0, 200);
        } else {
            if (passwordsHandled)
                continue;
            passwordReplyState = kWaitingForPassword;
            handler->sendPasswordQuery(0);
            applyConfigFilePassword(level, 6);
            if (e.parameters.size() > 2) {
                const bool pairFollows = i + 1 < contents.entries.size()
                                         && contents.entries.at(i + 1).kind == ConfigFile::Entry::Password;
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
        if (hidden) {
            progress.hide();
            QCoreApplication::processEvents();
        } else {
            progress.setValue(counted * 100 / total);
        }
    }
    progress.close();

    if (!skipped.isEmpty()) {
        QString text = tr("Warning: The following configuration parameters were skipped because they are not "
                          "supported in current BMS Control Unit version:\n\n");
        for (const QString& s : qAsConst(skipped))
            text += s + QLatin1Char('\n');
        text += tr("Please check your configuration or BMS version.");
        prompter()->showMessage(text);
    }

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
