// Port row, menu entries, access level, the log and the close handler.
#include "BmsGui.h"

#include "Communicator.h"
#include "ConfigPage.h"
#include "ConfigParamLoader.h"
#include "DonglePort.h"
#include "KepoBootloader.h"
#include "Log.h"
#include "PortList.h"
#include "StartupRules.h"
#include "StatisticsPage.h"
#include "StatusPage.h"
#include "UpdatePage.h"
#include "Y5CanFwUpdater.h"
#include "Y5ProtocolHandler.h"
#include "myTabWidget.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLocale>
#include <QMetaMethod>
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
    m_writeLogEnabled = m_writeLogAction->isChecked();
    QSettings().setValue(QStringLiteral("WriteLog"), m_writeLogAction->isChecked());
}

void BMS_GUI::slotChooseLogDir()
{
    const QString dir = m_dialogs->chooseDirectory(this, tr("Open Directory"), m_log.requestedDir());
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
    else
        m_dialogs->information(this, tr("Exporting statistic values failed.\nPlease try again."));
}

void BMS_GUI::slotImportStatistics()
{
    // Damaged saved values are refused before the unit is touched.
    if (!m_statisticsPage->checkSavedStatistics(false))
        return;
    // The unit takes the values only in configuration mode.
    if (!m_protocolHandler->setConfigModeIfConnected(true))
        return;
    if (m_statisticsPage->importStatistics(false))
        m_importStatisticsAction->setEnabled(false);
    m_protocolHandler->setConfigModeIfConnected(false);
}

void BMS_GUI::updateStatisticsActions(bool enable)
{
    if (!m_exportStatisticsAction)
        return;
    m_exportStatisticsAction->setEnabled(enable);
    m_importStatisticsAction->setEnabled(enable && StatisticsPage::manualStoreHoldsStatistics());
}

void BMS_GUI::enableStatisticsImport()
{
    if (m_importStatisticsAction)
        m_importStatisticsAction->setEnabled(true);
}

void BMS_GUI::setAccessLevel(int level)
{
    m_statisticsPage->setAccessEnabled(level != 0);
    m_updatePage->setControlsEnabled(level > 1);
    if (level >= 2)
        updateStatisticsActions(false);
    m_accessLevel = uint8_t(level);
    if (level == 0) {
        myTabWidget* configTabs = m_configPage ? m_configPage->tabWidget : nullptr;
        for (myTabWidget* tabs : {configTabs, m_updatePage->tabWidget})
            if (tabs)
                for (int i = 0; i < tabs->pageCount(); ++i)
                    if (!tabs->isTabDocked(i))
                        tabs->closeTabWindow(i);
        if (configTabs)
            configTabs->setUndockLocked(true);
    } else if (m_configPage && m_configPage->tabWidget) {
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
    // Queued: nobody waits for it. While the program ends no box is shown.
    if (m_closing)
        return;
    m_dialogs->information(nullptr, text);
}

void BMS_GUI::setDialogs(WindowDialogs* dialogs)
{
    m_dialogs = dialogs ? dialogs : MessageBoxDialogs::instance();
}

QAction* BMS_GUI::addQuitAction()
{
    auto* quit = new QAction(this);
    quit->setShortcut(QKeySequence(QStringLiteral("Ctrl+Q")));
    addAction(quit);
    connect(quit, &QAction::triggered, this, &QWidget::close);
    return quit;
}

void BMS_GUI::refillPortCombo()
{
    m_portCombo->clear();
    // The dongle speaks its own protocol: it is the Bluetooth link's, never a
    // control unit's port.
    for (const PortEntry& p : withoutDongle(availableSerialPorts()))
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

void BMS_GUI::selectPortByText(const QString& text)
{
    for (int i = 0; i < m_portCombo->count(); ++i) {
        if (m_portCombo->itemText(i).contains(text)) {
            m_portCombo->setCurrentIndex(i);
            return;
        }
    }
}

// --- language

static QString restartForLanguageText()
{
    return QStringLiteral("Please restart the Dadevoz Arezi to activate new language.");
}

void BMS_GUI::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::LocaleChange) {
        const QString name = QLocale::system().name();
        const int cut = name.lastIndexOf(QLatin1Char('_'));
        changeLanguage(cut >= 0 ? name.left(cut) : name);
    } else if (event->type() == QEvent::LanguageChange) {
        m_dialogs->information(nullptr, restartForLanguageText());
    }
    QMainWindow::changeEvent(event);
}

void BMS_GUI::changeLanguage(const QString& code)
{
    QLocale::setDefault(QLocale(code));
    QSettings().setValue(QStringLiteral("language"), code);
    m_dialogs->information(nullptr, restartForLanguageText());
}

void BMS_GUI::slotLanguageChanged(QAction* action)
{
    if (action)
        changeLanguage(action->data().toString());
}

// --- shutdown

// Disconnects every signal the object's own class (below base) declares.
static void disconnectOwnSignals(QObject* sender, const QMetaObject& base)
{
    const QMetaObject* mo = sender->metaObject();
    for (int i = base.methodCount(); i < mo->methodCount(); ++i) {
        const QMetaMethod m = mo->method(i);
        if (m.methodType() == QMetaMethod::Signal)
            QObject::disconnect(sender, m, nullptr, QMetaMethod());
    }
}

bool BMS_GUI::stopHandlerThread(int waitMs)
{
    if (!m_handlerThread)
        return true;
    QElapsedTimer timer;
    timer.start();
    // The keep-alive loop clears its stop flag when it begins: ask until it
    // has ended. Events keep flowing, so the handler's last queued messages
    // are delivered and nothing it waits for is held.
    while (m_handlerThread->isRunning() && timer.elapsed() < waitMs) {
        m_protocolHandler->requestStop();
        m_handlerThread->quit();
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        m_handlerThread->wait(10);
    }
    return !m_handlerThread->isRunning();
}

void BMS_GUI::closeEvent(QCloseEvent* event)
{
    if (m_closing) {
        event->accept();
        return;
    }
    if (m_updatePage && m_updatePage->updateRunning) {
        event->ignore();
        // The flag also holds the window during a CAN device's download.
        const bool canDevice = canModuleBootloaderRunning() || (m_canFwUpdater && m_canFwUpdater->isBusy());
        m_dialogs->information(this, !canDevice
                                         ? tr("The firmware of the Control Unit is being updated.<br>Dadevoz "
                                              "Arezi can be closed when the update has finished.")
                                         : tr("The firmware of a CAN device is being updated.<br>Dadevoz "
                                              "Arezi can be closed when the update has finished."));
        return;
    }
    // A configuration file is being written into the unit: stopping now
    // would leave it half configured.
    if (m_configPage && m_configPage->isFileLoadRunning()) {
        event->ignore();
        m_dialogs->information(this, tr("A configuration file is being loaded into the Control Unit.<br>Dadevoz "
                                        "Arezi can be closed when loading has finished or has been stopped."));
        // Its progress window, hidden or not, has the "Stop" button.
        m_configPage->showFileLoadProgress();
        return;
    }
    if (!m_dialogs->confirmQuit(this)) {
        event->ignore();
        return;
    }
    m_closing = true;
    // Questions that still arrive are answered No, without a box.
    m_questionAsker.close();

    // Each worker is asked to stop and gets a bounded time; one that does
    // not end (a hung send) is left to end on its own, never terminated.
    if (m_configPage && m_configPage->paramLoader
        && !ConfigParamLoader::shutdown(m_configPage->paramLoader, kThreadStopWaitMs))
        logMessage(QStringLiteral("Parameter loader did not stop in time"), 0);

    for (QObject* page : {static_cast<QObject*>(m_configPage), static_cast<QObject*>(m_statusPage),
                          static_cast<QObject*>(m_statisticsPage), static_cast<QObject*>(m_updatePage)})
        if (page)
            disconnectOwnSignals(page, QWidget::staticMetaObject);
    disconnectOwnSignals(this, QMainWindow::staticMetaObject);
    if (Communicator* c = m_communicator)
        for (QObject* receiver : {static_cast<QObject*>(m_configPage), static_cast<QObject*>(m_statusPage),
                                  static_cast<QObject*>(m_statisticsPage), static_cast<QObject*>(m_updatePage),
                                  static_cast<QObject*>(this)})
            if (receiver)
                disconnect(c, nullptr, receiver, nullptr);

    if (!stopHandlerThread(kThreadStopWaitMs))
        logMessage(QStringLiteral("Protocol handler did not stop in time"), 0);
    // The status pollers send through the transport that stopTransport
    // deletes: they end first (a send in progress finishes).
    if (m_statusPage)
        m_statusPage->shutDownSentenceLoaders();
    stopTransport();

    event->accept();
    QApplication::closeAllWindows();
    QCoreApplication::quit();
}
