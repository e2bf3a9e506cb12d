// The transport, its thread, and the change to another transport.
#include "BmsGui.h"

#include "BasePage.h"
#include "ConfigPage.h"
#include "Log.h"
#include "StatisticsPage.h"
#include "UpdatePage.h"
#include "Y5ProtocolHandler.h"

#include <QMutexLocker>
#include <QThread>

Communicator* BMS_GUI::selectSerialTransport()
{
    m_serialTransport = new Communicator;
    m_transportThread = new QThread;
    m_transportThread->setObjectName(QStringLiteral("Communicator Thread"));
    m_serialTransport->moveToThread(m_transportThread);
    connect(m_transportThread, &QThread::started, m_serialTransport, &Communicator::run);
    connect(m_serialTransport, &CommunicatorBase::done, m_transportThread, &QThread::quit, Qt::DirectConnection);
    return m_serialTransport;
}

void BMS_GUI::startTransportThread()
{
    if (!m_transportThread || m_transportThread->isRunning())
        return;
    m_transportThread->start(QThread::InheritPriority);
    while (!m_transportThread->isRunning())
        QThread::usleep(100);
}

void BMS_GUI::stopTransport()
{
    if (m_serialTransport)
        m_serialTransport->requestStop();
    if (m_transportThread) {
        m_transportThread->wait();
        delete m_transportThread;
        m_transportThread = nullptr;
    }
}

void BMS_GUI::slotCommunicatorChanged(int selection, Communicator* transport)
{
    Q_UNUSED(selection)
    if (!transport) {
        // Keep the transport we have: a window without one could do nothing.
        logMessage(QStringLiteral("Transport change without a transport ignored"), 0);
        return;
    }
    QMutexLocker lock(&m_communicatorMutex);
    Communicator* previous = m_communicator;
    if (transport == previous)
        return;
    if (previous)
        disconnect(previous, &CommunicatorBase::sigDataReceived, m_protocolHandler,
                   &Y5ProtocolHandler::slotDataReceived);
    m_communicator = transport;
    transport->setProtocolHandler(m_protocolHandler);
    m_protocolHandler->setCommunicator(transport);
    connect(transport, &CommunicatorBase::sigDataReceived, m_protocolHandler, &Y5ProtocolHandler::slotDataReceived,
            Qt::DirectConnection);
    for (BasePage* page : {m_statusPageBase, static_cast<BasePage*>(m_statisticsPage),
                           static_cast<BasePage*>(m_configPage), static_cast<BasePage*>(m_updatePage)})
        if (page)
            page->setCommunicator(transport);
    if (!m_closing)
        connectCommunicator();
}
