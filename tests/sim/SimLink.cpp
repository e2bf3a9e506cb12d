#include "SimLink.h"

#include "PortList.h"

#include <QElapsedTimer>

bool SimLink::start(Listing listing)
{
    portPath = dir.filePath("ttyBMS0");
    if (!sim.start(portPath))
        return false;
    if (listing == Unlisted) {
        qunsetenv(kExtraPortsVariable);
        entry = portPath + " - chosen by hand";
    } else {
        qputenv(kExtraPortsVariable, portPath.toLocal8Bit());
        for (const PortEntry& p : availableSerialPorts())
            if (p.systemLocation == portPath)
                entry = portEntryText(p);
        if (entry.isEmpty())
            return false;
    }
    comm->autoConnection = listing == AutoConnect;
    comm->setProtocolHandler(&handler);
    QObject::connect(comm, &CommunicatorBase::sigDataReceived, &handler, &Y5ProtocolHandler::slotDataReceived,
                     Qt::DirectConnection);
    comm->selectPort(entry);
    comm->moveToThread(&commThread);
    commThread.setObjectName("Communicator Thread");
    QObject::connect(&commThread, &QThread::started, comm, &Communicator::run);
    QObject::connect(comm, &CommunicatorBase::done, &commThread, &QThread::quit, Qt::DirectConnection);
    commThread.start();
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

void SimLink::stop()
{
    comm->requestStop();
    if (!commThread.wait(10000))
        qFatal("the transport loop did not stop");
    sim.stop();
}

SimLink::~SimLink()
{
    stop();
    delete comm;
}
