// The transport, its thread, and the change to another transport.
#include "BmsGui.h"

#include "CommunicatorSelector.h"
#include "Log.h"
#include "Y5ProtocolHandler.h"

#include <QCheckBox>
#include <QComboBox>
#include <QMutexLocker>
#include <QThread>

Communicator* BMS_GUI::selectSerialTransport()
{
    CommunicatorSelector* selector = CommunicatorSelector::instance();
    selector->select(CommunicatorSelector::Serial);
    return selector->communicator();
}

void BMS_GUI::startTransportThread()
{
    CommunicatorSelector* selector = CommunicatorSelector::instance();
    QThread* thread = selector->communicatorThread();
    if (!thread || thread->isRunning())
        return;
    selector->startCommunicator();
    while (!thread->isRunning() && !thread->isFinished())
        QThread::usleep(100);
}

void BMS_GUI::stopTransport()
{
    m_closing = true;
    CommunicatorSelector::instance()->select(CommunicatorSelector::Dummy);
}

void BMS_GUI::slotCommunicatorChanged(int selection, Communicator* transport)
{
    Q_UNUSED(selection)
    if (!transport) {
        // Keep the transport we have: a window without one could do nothing.
        logMessage(QStringLiteral("Transport change without a transport ignored"), 0);
        return;
    }
    // The selector has already bound the protocol handler to it and routed
    // its received bytes to the handler.
    // A new transport knows nothing of the port row: it gets the user's
    // choice before its thread starts, or it would search nowhere.
    if (m_autoConnectBox)
        transport->autoConnection = m_autoConnectBox->isChecked();
    if (m_portCombo)
        transport->setConnectedPortName(m_portCombo->currentIndex() < 0 ? QString() : m_portCombo->currentText());
    QMutexLocker lock(&m_communicatorMutex);
    m_communicator = transport;
    if (!m_closing)
        connectCommunicator();
}
