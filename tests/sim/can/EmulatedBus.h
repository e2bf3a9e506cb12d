#pragma once

#include "CanBusSim.h"
#include "IvtSensorSim.h"

#include <QString>

#include <memory>

class ControlUnitSim;

// What the emulated unit's CAN bus holds; bms-sim's options remove devices.
// One cell group module per string measures that string's cells: the first
// strings' modules are first-generation, the last string's the
// second-generation one (without it that string has no module). There is
// always a first-generation module: a single string has both.
struct BusOptions
{
    quint8 cells = 16;              // cells per module (the unit's cells per string)
    quint8 strings = 4;             // the unit's parallel strings
    bool currentSensor = true;      // IVT-S on 0x411 / 0x511
    bool temperatureBoard = true;   // centralized module serving temperature boards
    bool splitter = true;
    bool secondGeneration = true;
};

// The CAN bus of the emulated unit as bms-sim runs it, with its devices.
class EmulatedBus
{
public:
    // Device type ids as the devices announce themselves.
    static constexpr quint16 kGen1Type = 1;          // MWB140
    static constexpr quint16 kGen2Type = 9;          // MWB340
    static constexpr quint16 kSplitterType = 8;      // HTP230
    static constexpr quint16 kBoardType = 48;        // HXTM641
    // Serial numbers: module k of the first generation is kGen1Serial + k.
    static constexpr quint32 kGen1Serial = 20001;
    static constexpr quint32 kGen2Serial = 30001;
    static constexpr quint32 kSplitterSerial = 40001;
    static constexpr quint32 kBoardSerial = 50001;
    static constexpr quint32 kSensorSerial = 1234567;
    static constexpr quint16 kSensorBaseId = 0x521;

    // The devices options leave, put on a bus: their indices on it (-1 when
    // removed) and the sensor, which answers on that bus while it lives.
    struct Devices
    {
        int secondGeneration = -1;
        int splitter = -1;
        int temperatureBoard = -1;
        std::unique_ptr<IvtSensorSim> sensor;
    };
    static Devices populate(CanBusSim& bus, const BusOptions& options = BusOptions());

    explicit EmulatedBus(const BusOptions& options = BusOptions());
    ~EmulatedBus();
    EmulatedBus(const EmulatedBus&) = delete;
    EmulatedBus& operator=(const EmulatedBus&) = delete;

    CanBusSim& bus() { return bus_; }
    const BusOptions& options() const { return options_; }
    // Null when the options removed it.
    IvtSensorSim* currentSensor() const { return devices_.sensor.get(); }
    // The index of a device on bus(); -1 when the options removed it.
    int secondGenerationModule() const { return devices_.secondGeneration; }
    int splitter() const { return devices_.splitter; }
    int temperatureBoard() const { return devices_.temperatureBoard; }
    // They come first on bus().
    static int firstGenerationModules(const BusOptions& options);

    void install(ControlUnitSim& unit);
    void stop();

    // One command-line argument of bms-sim: true when it was a bus option
    // (and options now say so).
    static bool parseOption(const QString& arg, BusOptions& options);
    static QString optionsHelp();

private:
    BusOptions options_;
    CanBusSim bus_;
    Devices devices_;
};
