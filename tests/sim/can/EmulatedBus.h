#pragma once

#include "CanBusSim.h"

#include <memory>

class ControlUnitSim;
class IvtSensorSim;

// What the emulated unit's CAN bus holds; bms-sim's options remove devices.
struct BusOptions
{
    quint8 cells = 16;              // cells per first-generation module
    bool currentSensor = true;
    bool temperatureBoard = true;
    bool splitter = true;
    bool secondGeneration = true;
};

// The CAN bus of the emulated unit as bms-sim runs it, with its devices.
class EmulatedBus
{
public:
    explicit EmulatedBus(const BusOptions& options = BusOptions());
    ~EmulatedBus();
    EmulatedBus(const EmulatedBus&) = delete;
    EmulatedBus& operator=(const EmulatedBus&) = delete;

    CanBusSim& bus() { return bus_; }
    const BusOptions& options() const { return options_; }
    // Null when the options removed it.
    IvtSensorSim* currentSensor() const { return sensor_.get(); }

    void install(ControlUnitSim& unit);
    void stop();

private:
    BusOptions options_;
    CanBusSim bus_;
    std::unique_ptr<IvtSensorSim> sensor_;
};
