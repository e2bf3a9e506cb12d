#pragma once

// The temperature board power window linked to the control-unit emulator,
// with group modules on its CAN bus; the window hears the unit's "CN1" lines
// as the configuration page passes them on.
#include "CanBusSim.h"
#include "CanLinkServices.h"
#include "SimLink.h"
#include "TempBreakOutBoardSupport.h"

#include <QTableWidget>

namespace {
using Device = CanBusSim::Device;

class BoardRig : public QObject
{
public:
    SimLink link;
    CanBusSim bus;
    TempBreakOutBoardSupport* window = nullptr;

    BoardRig()
    {
        window = new TempBreakOutBoardSupport(
            nullptr,
            std::make_unique<HandlerCanLink>([this] { return &link.handler; }, [](int) { return 0u; }));
        connect(link.comm, &CommunicatorBase::sigReceivedSentence, this, &BoardRig::pump, Qt::QueuedConnection);
    }
    ~BoardRig() override
    {
        bus.stop();
        link.stop();
        delete window;
    }
    bool start()
    {
        bus.install(link.sim);
        return link.start() && link.waitLinked();
    }
    void pump()
    {
        QString line;
        while (link.handler.getSentence(line)) {
            link.handler.applyReplyFlags(line);
            if (line.startsWith(QLatin1String("CN1")))
                window->processSentence(line);
        }
    }
    int add(quint16 type, quint32 serial, int power = 0)
    {
        Device d;
        d.type = type;
        d.serial = serial;
        d.powerState = power;
        return bus.addDevice(d);
    }
    QStringList rows() const
    {
        QStringList list;
        QTableWidget* t = window->table();
        for (int r = 0; r < t->rowCount(); ++r)
            list.append(t->item(r, 0)->text() + QLatin1Char(' ') + t->item(r, 1)->text());
        return list;
    }
    // Route requests as "code:serial" (serial only for addressed ones).
    QStringList requests() const
    {
        QStringList list;
        for (const CanBusSim::Frame& f : bus.frames()) {
            if (f.id != 0x1FFFFEE5)
                continue;
            QString s = QString::fromLatin1(f.data.toHex().toUpper());
            list.append(s);
        }
        return list;
    }
};

constexpr int kEndMs = 15000;
} // namespace
