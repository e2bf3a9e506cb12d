#pragma once

#include "BootloaderSim.h"
#include "ControlUnitSim.h"
#include "EmulatedBus.h"
#include "PackModel.h"
#include "StatisticsSim.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <atomic>
#include <memory>
#include <thread>

// What bms-sim's options set; the defaults are the unit ./scripts/run --emulator runs.
struct EmulatedUnitOptions
{
    QString variant = QStringLiteral("two-level");
    // Empty: the variant's "VR1" reply.
    QString kind, serial, version;
    int strings = 4;
    int cells = 16;
    int loginLevel = 0;
    bool pace = false;
    // No pack, statistics or CAN bus: the link's own sentences only.
    bool bare = false;
    // The master/slave rows and frame every second.
    bool masterSlaveEverySecond = true;
    BusOptions bus;
};

// One control unit that could exist, as bms-sim runs it and as the tests get
// it: its firmware with a coherent pack (4 x 16 cells, one invalid cell, one
// broken wire, a master/slave network sending its rows and frame every
// second), the whole configuration store, statistics and an event log that
// belong to this pack, two access levels with their passwords, its serial
// bootloader, and its CAN bus with devices. When its firmware starts again
// after a reset, that is a new power-up: the uptime counts from 0, and the
// start is counted and logged.
//
// The feature bitmap holds one member of each pair of successive firmware
// ranges (62, 64, 71, 95 by default) and every feature that shows a window,
// tab or action, so every page can be reached. Other units that could exist
// are named variants (variants()); each is built by its name:
//     for (const EmulatedUnit::Variant& v : EmulatedUnit::variants()) {
//         EmulatedUnit unit(v.name);
//         unit.start();
//     }
class EmulatedUnit
{
public:
    struct Variant
    {
        QString name;    // "two-level", ...
        QString summary; // one line for --help
    };
    // The first is the default.
    static QList<Variant> variants();
    static bool isVariant(const QString& name);
    static QString defaultVariant() { return variants().first().name; }

    using Options = EmulatedUnitOptions;

    explicit EmulatedUnit(const Options& options = Options());
    explicit EmulatedUnit(const QString& variant);
    ~EmulatedUnit();
    EmulatedUnit(const EmulatedUnit&) = delete;
    EmulatedUnit& operator=(const EmulatedUnit&) = delete;

    // Opens the pseudo-terminal (with an optional symlink) and runs.
    bool start(const QString& linkPath = QString());
    void stop();

    ControlUnitSim& cu() { return cu_; }
    PackModel& pack() { return pack_; }
    StatisticsSim& statistics() { return statistics_; }
    BootloaderSim& bootloader() { return *bootloader_; }
    EmulatedBus& bus() { return *bus_; }
    const Options& options() const { return options_; }

    // The feature ids a variant reports, ascending; empty for an unknown name.
    static QList<int> features(const QString& variant);
    // The "FP1" words of those ids.
    static QList<quint32> featureWords(const QList<int>& features);

    // Default passwords of the two levels.
    static QString password(int level) { return level == 1 ? QStringLiteral("1111") : QStringLiteral("2222"); }

    // bms-sim's command line: options, passwords and variants, as --help
    // prints them and as ./scripts/run shows them when it starts the emulator.
    static QString helpText();
    // Reads bms-sim's arguments. False with a message for a wrong one; an
    // argument this does not know is left in rest.
    static bool parseArguments(const QStringList& args, Options* options, QString* linkPath, QStringList* rest,
                               QString* error);

private:
    void sendLoop();

    Options options_;
    ControlUnitSim cu_;
    PackModel pack_;
    StatisticsSim statistics_;
    std::unique_ptr<BootloaderSim> bootloader_;
    std::unique_ptr<EmulatedBus> bus_;
    std::thread sender_;
    std::atomic<bool> sending_{false};
};
