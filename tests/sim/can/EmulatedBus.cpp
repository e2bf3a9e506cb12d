#include "EmulatedBus.h"

#include "IvtSensorSim.h"

namespace {
// Identifiers as a commit with device base id 0 and 11-bit identifiers
// leaves them: the k-th module of the strings on 8 + 4k, the devices off the
// strings after them, so the window numbers the modules from 1.
quint32 slotId(int k)
{
    return quint32(8 + 4 * k);
}
} // namespace

EmulatedBus::EmulatedBus(const BusOptions& options)
    : options_(options)
    , devices_(populate(bus_, options))
{
}

EmulatedBus::Devices EmulatedBus::populate(CanBusSim& bus, const BusOptions& options)
{
    Devices placed;
    const quint8 cells = options.cells ? options.cells : 12;
    const int gen1 = firstGenerationModules(options);
    int slot = 0;
    for (int k = 0; k < gen1; ++k) {
        CanBusSim::Device d;
        d.type = kGen1Type;
        d.serial = kGen1Serial + quint32(k);
        d.baseId = slotId(slot++);
        d.secondaryId = 7;
        d.cells = cells;
        d.version = 0x00020503;
        bus.addDevice(d);
    }
    if (options.secondGeneration) {
        CanBusSim::Device d;
        d.type = kGen2Type;
        d.serial = kGen2Serial;
        d.baseId = slotId(slot++);
        d.secondaryId = 7;
        d.cells = cells;
        d.version = 0x00030102;
        placed.secondGeneration = bus.addDevice(d);
    }
    if (options.splitter) {
        CanBusSim::Device d;
        d.type = kSplitterType;
        d.serial = kSplitterSerial;
        d.baseId = slotId(slot++);
        d.secondaryId = 6;
        d.cells = 0;
        d.version = 0x00020600;
        placed.splitter = bus.addDevice(d);
    }
    if (options.temperatureBoard) {
        CanBusSim::Device d = CanBusSim::temperatureBoard(kBoardSerial, 0);
        d.type = kBoardType;
        d.baseId = slotId(slot++);
        d.secondaryId = 6;
        d.version = 0x00010400;
        placed.temperatureBoard = bus.addDevice(d);
    }
    if (options.currentSensor) {
        placed.sensor = std::make_unique<IvtSensorSim>(bus);
        placed.sensor->update([](IvtSensorSim::State& s) {
            s.serial = kSensorSerial;
            s.baseId = kSensorBaseId;
        });
    }
    return placed;
}

EmulatedBus::~EmulatedBus()
{
    stop();
}

int EmulatedBus::firstGenerationModules(const BusOptions& options)
{
    return qMax(1, int(options.strings) - 1);
}

void EmulatedBus::install(ControlUnitSim& unit)
{
    bus_.install(unit);
}

void EmulatedBus::stop()
{
    bus_.stop();
}

bool EmulatedBus::parseOption(const QString& arg, BusOptions& options)
{
    if (arg == QLatin1String("--no-sensor"))
        options.currentSensor = false;
    else if (arg == QLatin1String("--no-temperature-board"))
        options.temperatureBoard = false;
    else if (arg == QLatin1String("--no-splitter"))
        options.splitter = false;
    else if (arg == QLatin1String("--no-second-generation"))
        options.secondGeneration = false;
    else
        return false;
    return true;
}

QString EmulatedBus::optionsHelp()
{
    return QStringLiteral(
        "  --no-sensor             no IVT-S current sensor on the CAN bus\n"
        "  --no-temperature-board  no module serving temperature boards on the CAN bus\n"
        "  --no-splitter           no CAN Splitter on the CAN bus\n"
        "  --no-second-generation  no second-generation cell group module (the last string's)\n");
}
