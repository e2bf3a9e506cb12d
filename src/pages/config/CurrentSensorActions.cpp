#include "CurrentSensorActions.h"

#include "ConfigPage.h"
#include "ConfigParam.h"

#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>

CurrentSensorActions::CurrentSensorActions(ConfigPage* page, QObject* parent) : QObject(parent), m_page(page) {}

CurrentSensorActions::~CurrentSensorActions()
{
    restoreCursor();
}

void CurrentSensorActions::showWaitCursor()
{
    if (m_waitCursor)
        return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    m_waitCursor = true;
}

void CurrentSensorActions::restoreCursor()
{
    if (!m_waitCursor)
        return;
    QApplication::restoreOverrideCursor();
    m_waitCursor = false;
}

void CurrentSensorActions::warn(const QString& text)
{
    restoreCursor();
    if (m_warning) {
        m_warning(text);
        return;
    }
    QMessageBox box(QMessageBox::Warning, tr("WARNING!"), text, QMessageBox::Ok);
    box.exec();
}

// Charging does not stop these actions; the user is only told.
void CurrentSensorActions::chargingCheck()
{
    if (!(m_page->chargingState & 0x07) || !m_page->configurationLoaded)
        return;
    if (m_chargingWarning) {
        m_chargingWarning();
        return;
    }
    QMessageBox box(QMessageBox::Warning, tr("WARNING!"), tr("Battery is charging!"), QMessageBox::Ok);
    box.exec();
}

bool CurrentSensorActions::confirmConfigMode()
{
    if (m_confirm)
        return m_confirm();
    QMessageBox box(QMessageBox::Warning, tr("WARNING!"),
                    tr("BMS will enter configuration mode and stop its normal operation. Continue?"),
                    QMessageBox::Ok | QMessageBox::Cancel);
    return box.exec() == QMessageBox::Ok;
}

void CurrentSensorActions::slotISADiscoverPressed()
{
    chargingCheck();
    if (!m_service || !confirmConfigMode())
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
        warn(tr("No Base CAN address set"));
        return;
    }
    const quint16 id = quint16(text.toUInt(nullptr, 16));
    if (!m_service)
        return;
    chargingCheck();
    if (!confirmConfigMode())
        return;
    showWaitCursor();
    m_service->setBaseCanId(id);
    m_service->setVerify(true);
    m_service->startCommit(kCommitSteps);
    if (!m_service->isBusy())
        warn(tr("Current sensor configuration was not started.\nDiscover the sensor first."));
}

void CurrentSensorActions::writeEditor(int id, const QString& text)
{
    ConfigParamSlot* slot = m_page->paramSlot(id);
    QLineEdit* edit = slot && !slot->params.isEmpty() ? qobject_cast<QLineEdit*>(slot->params.first()->widget)
                                                      : nullptr;
    if (edit) {
        edit->setEnabled(true);
        edit->setStyleSheet(QStringLiteral("QLineEdit{color: black; background: white;}"));
        edit->setText(text);
        edit->setEnabled(false);
    }
    m_page->submitParamText(id, text);
}

void CurrentSensorActions::showSensorFound(quint32 serial)
{
    restoreCursor();
    bool save = false;
    if (m_askSave) {
        save = m_askSave(serial);
    } else {
        QMessageBox box(QMessageBox::Question, tr("Current sensor"), tr("Sensor found SN: %1").arg(serial),
                        QMessageBox::Save | QMessageBox::Discard);
        box.setDefaultButton(QMessageBox::Save);
        save = box.exec() == QMessageBox::Save;
    }
    if (!save) {
        if (m_service)
            m_service->discardFoundSensor();
        return;
    }
    writeEditor(kSerialParam, QString::asprintf("%u", serial));
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
    writeEditor(kCanIdParam, QString::asprintf("0x%04X", unsigned(id)));
    // The job goes on with the sensor's configuration.
    if (m_service && m_service->isBusy())
        showWaitCursor();
}

void CurrentSensorActions::slotOperationStatus(int status, int operation)
{
    if ((operation == 5 || operation == 6) && status != 0)
        restoreCursor();
}
