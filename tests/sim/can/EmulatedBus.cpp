#include "EmulatedBus.h"

#include "IvtSensorSim.h"

EmulatedBus::EmulatedBus(const BusOptions& options)
    : options_(options)
{
    // Two first-generation cell group modules.
    for (quint32 i = 0; i < 2; ++i) {
        CanBusSim::Device d;
        d.serial = 0x1001 + i;
        d.baseId = 0x100 + 0x10 * i;
        d.cells = options_.cells ? options_.cells : 12;
        bus_.addDevice(d);
    }
}

EmulatedBus::~EmulatedBus()
{
    stop();
}

void EmulatedBus::install(ControlUnitSim& unit)
{
    bus_.install(unit);
}

void EmulatedBus::stop()
{
    bus_.stop();
}
