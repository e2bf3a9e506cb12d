#pragma once

// The real serial transport and protocol handler against the control-unit
// emulator with CAN devices behind it, and a canConfig joined as the main
// window joins it: ticks from the transport, lines from a stand-in pump.
#include "CanBusSim.h"
#include "CanLinkServices.h"
#include "SimLink.h"
#include "canConfig.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QMap>
#include <QObject>

#include <functional>

class CanSimRig : public QObject
{
    Q_OBJECT
public:
    SimLink link;
    CanBusSim bus;
    QMap<int, quint32> params;
    canConfig* cc = nullptr;
    // Sees every received line too (other receivers of "CN1" lines).
    std::function<void(const QString&)> alsoLine;

    CanSimRig()
    {
        cc = new canConfig(std::make_unique<HandlerCanLink>([this] { return &link.handler; },
                                                            [this](int id) { return params.value(id); }));
        connect(link.comm, &CommunicatorBase::sigReceivedSentence, this, &CanSimRig::pump, Qt::QueuedConnection);
        connect(link.comm, &CommunicatorBase::sigCanProcess, cc, &canConfig::slotCanProcess, Qt::QueuedConnection);
    }
    ~CanSimRig() override
    {
        bus.stop();
        link.stop();
        delete cc;
    }

    // Linked, with the unit's feature bitmap in (so "CM2" is used).
    bool start()
    {
        bus.install(link.sim);
        if (!link.start() || !link.waitLinked())
            return false;
        QElapsedTimer t;
        t.start();
        while (!link.handler.isFeatureBitmapValid() && t.elapsed() < 10000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        return link.handler.isFeatureBitmapValid();
    }

public slots:
    void pump()
    {
        QString line;
        while (link.handler.getSentence(line)) {
            link.handler.applyReplyFlags(line);
            if (cc->isBusy())
                cc->processSentence(line);
            if (alsoLine)
                alsoLine(line);
        }
    }
};
