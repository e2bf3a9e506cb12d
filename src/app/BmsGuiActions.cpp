// Port row, menu entries, access level, the log and the close handler.
#include "BmsGui.h"

#include "Communicator.h"
#include "ConfigPage.h"
#include "PortList.h"
#include "StartupRules.h"
#include "StatisticsPage.h"
#include "StatusPage.h"
#include "UpdatePage.h"
#include "Y5CanFwUpdater.h"
#include "Y5ProtocolHandler.h"
#include "myTabWidget.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QSignalBlocker>
#include <QThread>
#include <QToolTip>
#include <QVBoxLayout>

void BMS_GUI::writeLog(const QString& text, int level)
{
    m_log.write(text, level);
}

void BMS_GUI::slotWriteLogAction()
{
    QSettings().setValue(QStringLiteral("WriteLog"), m_writeLogAction->isChecked());
}

void BMS_GUI::slotChooseLogDir()
{
    const QString dir = QFileDialog::getExistingDirectory(this, tr("Open Directory"), m_log.requestedDir(),
                                                          QFileDialog::ShowDirsOnly | QFileDialog::DontResolveSymlinks);
    if (dir.isEmpty())
        return;
    m_log.setRequestedDir(dir);
    QSettings().setValue(QStringLiteral("LogFileDir"), dir);
}

void BMS_GUI::slotActivePollingAction()
{
    QSettings().setValue(QStringLiteral("ActivePolling"), m_activePollingAction->isChecked());
    m_statusPage->setPollingEnabled(m_activePollingAction->isChecked());
}

void BMS_GUI::slotExportStatistics()
{
    if (m_statisticsPage->exportStatistics(false))
        m_importStatisticsAction->setEnabled(true);
}

void BMS_GUI::slotImportStatistics()
{
    if (m_statisticsPage->importStatistics(false))
        m_importStatisticsAction->setEnabled(false);
}

void BMS_GUI::updateStatisticsActions(bool enable)
{
    if (!m_exportStatisticsAction)
        return;
    m_exportStatisticsAction->setEnabled(enable);
    m_importStatisticsAction->setEnabled(
        enable && QSettings(QLatin1String(kOrganisationName), QLatin1String(kManualStatisticsStore))
                      .contains(QStringLiteral("Statistics")));
}

void BMS_GUI::setAccessLevel(int level)
{
    m_statisticsPage->setAccessEnabled(level != 0);
    m_updatePage->setControlsEnabled(level > 1);
    if (level >= 2)
        updateStatisticsActions(false);
    m_accessLevel = uint8_t(level);
    if (level == 0) {
        for (myTabWidget* tabs : {m_configPage->tabWidget, m_updatePage->tabWidget})
            if (tabs)
                for (int i = 0; i < tabs->pageCount(); ++i)
                    if (!tabs->isTabDocked(i))
                        tabs->closeTabWindow(i);
        if (m_configPage->tabWidget)
            m_configPage->tabWidget->setUndockLocked(true);
    } else if (m_configPage->tabWidget) {
        m_configPage->tabWidget->setUndockLocked(false);
    }
}

void BMS_GUI::createAboutWindow()
{
    m_aboutWindow = new QWidget;
    m_aboutWindow->setWindowTitle(tr("About"));
    auto* layout = new QVBoxLayout(m_aboutWindow);
    m_aboutWindow->resize(320, 240);
    m_aboutWindow->move((m_screenWidth - 320) / 2, (m_screenHeight - 240) / 2);
    auto* logo = new QLabel;
    const int h = m_screenMinSide > 0 ? m_screenMinSide / 10 : 100;
    logo->setPixmap(QPixmap(QStringLiteral(":/images/kepoLogo.png")).scaledToHeight(h, Qt::SmoothTransformation));
    layout->addWidget(logo);
    layout->addWidget(new QLabel(QStringLiteral("KEPO Y5 Dadevoz Arezi %1<br>KEPO battery management systems")
                                     .arg(QLatin1String(kVersionNumber))));
    auto* link = new QLabel(QStringLiteral("<a href=\"https://www.example.com/\">www.example.com</a>"));
    link->setOpenExternalLinks(true);
    layout->addWidget(link);
    layout->addWidget(new QLabel(tr("All rights reserved.")));
    layout->addStretch(1);
    QPalette p = m_aboutWindow->palette();
    p.setColor(QPalette::Window, QColor(QStringLiteral("#f0f0f0")));
    m_aboutWindow->setPalette(p);
    m_aboutWindow->setAutoFillBackground(true);
}

void BMS_GUI::slotShowAboutWindow_()
{
    m_aboutWindow->show();
}

void BMS_GUI::slotCreateInfoMessageBox(QString text)
{
    QMessageBox box;
    box.setTextFormat(Qt::RichText);
    box.setText(text);
    box.setStandardButtons(QMessageBox::Ok);
    box.setModal(true);
    box.exec();
}

void BMS_GUI::refillPortCombo()
{
    m_portCombo->clear();
    for (const PortEntry& p : availableSerialPorts())
        if (!p.name.isEmpty())
            m_portCombo->addItem(portEntryText(p));
}

void BMS_GUI::refreshPortList()
{
    if (QThread::currentThread() != thread()) {
        QMetaObject::invokeMethod(this, [this] { refreshPortList(); }, Qt::QueuedConnection);
        return;
    }
    // The entry in use stays chosen, without telling the transport again.
    const QString current = m_portCombo->currentText();
    const QSignalBlocker block(m_portCombo);
    refillPortCombo();
    m_portCombo->setCurrentIndex(m_portCombo->findText(current));
}

void BMS_GUI::slotListUpdate_()
{
    if ((m_configPage && m_configPage->paramLoader) || m_protocolHandler->isFirmwareUpdating()
        || m_canFwUpdater->isBusy()) {
        QToolTip::showText(m_refreshButton->mapToGlobal(QPoint(0, 0)),
                           tr("Cannot refresh comport list<br>while loading parameters<br>or updating"),
                           m_refreshButton);
        return;
    }
    Communicator* c = m_communicator;
    const QString linkedPort = (c && c->linked) ? portNameFromEntry(c->portName()) : QString();
    {
        const QSignalBlocker block(m_portCombo);
        refillPortCombo();
        m_portCombo->setCurrentIndex(-1);
        // A working link keeps its port while the port is still listed.
        if (!linkedPort.isEmpty()) {
            for (int i = 0; i < m_portCombo->count(); ++i) {
                if (portNameFromEntry(m_portCombo->itemText(i)) == linkedPort
                    || portSystemLocation(portNameFromEntry(m_portCombo->itemText(i))) == linkedPort) {
                    m_portCombo->setCurrentIndex(i);
                    return;
                }
            }
        }
    }
    slotBMSIdxChanged(-1);
}

void BMS_GUI::slotBMSIdxChanged(int index)
{
    Communicator* c = m_communicator;
    if (!c)
        return;
    c->selectPort(index < 0 ? QString() : m_portCombo->currentText());
}

void BMS_GUI::closeEvent(QCloseEvent* event)
{
    if (m_updatePage && m_updatePage->updateRunning) {
        event->ignore();
        return;
    }
    if (QMessageBox::question(this, QStringLiteral("Quit"), QStringLiteral("Are you sure to exit application?"),
                              QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::NoButton)
        != QMessageBox::Ok) {
        event->ignore();
        return;
    }
    m_closing = true;
    disconnect(m_communicator.load(), nullptr, this, nullptr);
    m_protocolHandler->requestStop();
    stopTransport();
    event->accept();
    QApplication::closeAllWindows();
    QCoreApplication::quit();
}
