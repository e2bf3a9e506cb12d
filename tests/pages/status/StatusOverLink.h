#pragma once

// The Status page against the control-unit emulator's pack through the real
// serial transport and protocol handler, with the main window's pump.
#include "PackModel.h"
#include "SimLink.h"
#include "StatusFixture.h"

#include <QTimer>

#include <optional>

// What the main window's pump does for the page: every queued line to the
// page's raw hook, then to the root map.
struct StatusPump
{
    QTimer timer;
    StatusPump(Y5ProtocolHandler& handler, StatusPage& page, CSntcMap& map)
    {
        QObject::connect(&timer, &QTimer::timeout, [&handler, &page, &map]() {
            QString s;
            while (handler.getSentence(s)) {
                page.processSentence(s);
                map.dispatch(s);
            }
        });
        timer.start(20);
    }
};

struct StatusOverLink
{
    SimLink link;
    std::optional<StatusFixture> fx;
    std::optional<StatusPump> pump;

    // Puts the pack on the emulator, links, then builds the page and starts
    // the pump; false if the link does not come up.
    bool start(PackModel& pack)
    {
        pack.install(link.sim);
        if (!link.start() || !link.waitLinked())
            return false;
        fx.emplace(link.comm, &link.handler);
        pump.emplace(link.handler, *fx->page, fx->map);
        return true;
    }
    StatusPage& page() { return *fx->page; }
};
