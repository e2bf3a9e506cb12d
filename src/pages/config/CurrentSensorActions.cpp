#include "CurrentSensorActions.h"

#include "ConfigModeOwner.h"
#include "ConfigPage.h"
#include "ConfigParam.h"
#include "ConfigPrompter.h"

#include <QLineEdit>

CurrentSensorActions::CurrentSensorActions(ConfigPage* page, QObject* parent) : QObject(parent), m_page(page) {}

CurrentSensorActions::~CurrentSensorActions() = default;

void CurrentSensorActions::setService(std::unique_ptr<CurrentSensorService> service)
{
    m_service = std::move(service);
}

void CurrentSensorActions::showWaitCursor()
{
    m_page->setCursor(Qt::WaitCursor);
}

void CurrentSensorActions::restoreCursor()
{
    m_page->unsetCursor();
}

void CurrentSensorActions::showServiceWarning(const QString& text)
{
    restoreCursor();
    m_page->showWarningMessage(qPrintable(text));
}

// While another job holds the unit's configuration mode, the sensor's jobs
// cannot start: the user hears who holds it, before any question.
bool CurrentSensorActions::refusedWhileHeld()
{
    const ConfigModeOwner::Holder other = ConfigModeOwner::heldAgainst(ConfigModeOwner::CurrentSensor);
    if (other == ConfigModeOwner::Nobody)
        return false;
    m_page->showWarningMessage(qPrintable(ConfigModeOwner::refusalText(other)));
    return true;
}

// Charging does not stop these actions; the user is only told.
void CurrentSensorActions::chargingCheck()
{
    if (m_page->isChargingCheckActive())
        m_page->showChargingWarning();
}

void CurrentSensorActions::slotISADiscoverPressed()
{
    chargingCheck();
    if (!m_service || refusedWhileHeld() || !m_page->confirmConfigMode())
        return;
    showWaitCursor();
    m_service->startDiscover(kDiscoverSteps);
    // Nothing started (the unit refused its configuration mode): no status
    // will come to restore the cursor.
    if (!m_service->isBusy())
        restoreCursor();
}

void CurrentSensorActions::slotISAConfigCommitPressed()
{
    QString text = m_page->paramText(kCanIdParam);
    text.remove(QLatin1Char('x'), Qt::CaseInsensitive);
    if (text.isEmpty()) {
        m_page->showWarningMessage(QT_TRANSLATE_NOOP("ConfigPage", "No Base CAN address set"));
        return;
    }
    const quint16 id = quint16(text.toUInt(nullptr, 16));
    if (!m_service)
        return;
    chargingCheck();
    if (refusedWhileHeld() || !m_page->confirmConfigMode())
        return;
    showWaitCursor();
    m_service->setBaseCanId(id);
    m_service->setVerify(true);
    m_service->startCommit(kCommitSteps);
    if (!m_service->isBusy())
        m_page->showWarningMessage(
            QT_TRANSLATE_NOOP("ConfigPage", "Current sensor configuration was not started.\nDiscover the sensor first."));
}

void CurrentSensorActions::writeEditor(int id, const QString& text, bool keepDisabled)
{
    ConfigParamSlot* slot = m_page->paramSlot(id);
    QLineEdit* edit = slot && !slot->params.isEmpty() ? qobject_cast<QLineEdit*>(slot->params.first()->widget)
                                                      : nullptr;
    if (edit) {
        edit->setEnabled(true);
        edit->setStyleSheet(QStringLiteral("QLineEdit{color: black; background: white;}"));
        edit->setText(text);
        edit->setEnabled(!keepDisabled);
    }
    m_page->submitParamText(id, text);
}

void CurrentSensorActions::showSensorFound(quint32 serial)
{
    restoreCursor();
    const bool save = m_page->prompter()->ask(tr("Sensor found SN: %1").arg(serial),
                                              QMessageBox::Save | QMessageBox::Discard, QMessageBox::Save)
                      == QMessageBox::Save;
    if (!save) {
        if (m_service)
            m_service->discardFoundSensor();
        return;
    }
    // The serial comes from the sensor only: its editor stays disabled.
    writeEditor(kSerialParam, QString::asprintf("%u", serial), true);
    if (m_service) {
        showWaitCursor();
        m_service->startDiscover(kContinueSteps);
        if (!m_service->isBusy())
            restoreCursor();
    }
}

void CurrentSensorActions::setCurrentSensorCanId(quint16 id)
{
    restoreCursor();
    writeEditor(kCanIdParam, QString::asprintf("0x%04X", unsigned(id)), false);
    // The job goes on with the sensor's configuration.
    if (m_service && m_service->isBusy())
        showWaitCursor();
}

void CurrentSensorActions::slotOperationStatus(int status, int operation)
{
    if ((operation == 5 || operation == 6) && status != 0)
        restoreCursor();
}
