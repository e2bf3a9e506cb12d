#include "SimLink.h"

#include "PortList.h"

#include <QElapsedTimer>

bool SimLink::start()
{
    const QString portPath = dir.filePath("ttyBMS0");
    if (!sim.start(portPath))
        return false;
    qputenv(kExtraPortsVariable, portPath.toLocal8Bit());
    QString entry;
    for (const PortEntry& p : availableSerialPorts())
        if (p.systemLocation == portPath)
            entry = portEntryText(p);
    if (entry.isEmpty())
        return false;
    comm->setProtocolHandler(&handler);
    QObject::connect(comm, &CommunicatorBase::sigDataReceived, &handler, &Y5ProtocolHandler::slotDataReceived,
                     Qt::DirectConnection);
    comm->selectPort(entry);
    comm->moveToThread(&thread);
    QObject::connect(&thread, &QThread::started, comm, &Communicator::run);
    QObject::connect(comm, &CommunicatorBase::done, &thread, &QThread::quit, Qt::DirectConnection);
    thread.start();
    return true;
}

bool SimLink::waitLinked(int timeoutMs) const
{
    QElapsedTimer t;
    t.start();
    while (!comm->linked) {
        if (t.elapsed() > timeoutMs)
            return false;
        QThread::msleep(10);
    }
    return true;
}

SimLink::~SimLink()
{
    comm->requestStop();
    if (!thread.wait(10000))
        qFatal("the transport loop did not stop");
    delete comm;
    sim.stop();
}
