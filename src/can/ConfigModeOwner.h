#pragma once

#include <QString>

#include <functional>

// The one holder of the control unit's configuration mode. Every job that
// puts the unit into it asks here first and gives it back once it has left
// the mode again: while one job holds it, the start of another is refused,
// and the refused caller tells the user who holds it. A job that runs
// elsewhere (a CAN device download in a worker) is watched instead: it holds
// the mode while its probe says it runs. GUI thread only.
class ConfigModeOwner
{
public:
    enum Holder {
        Nobody = 0,
        CanJobs,           // discovery, commits, CAN speed change, CAN Splitter set-up
        CurrentSensor,     // the IVT-S sensor's discovery and set-up
        TemperatureBoards, // the temperature board power settings
        ScibModules,       // the SCiB module discovery
        CanDeviceDownload, // a CAN device firmware download
    };

    // True when the mode was free or already held by who; it is then who's.
    static bool take(Holder who);
    // Nothing unless who holds it.
    static void release(Holder who);
    // Who holds the mode now; Nobody when it is free.
    static Holder holder();
    // The holder other than who, if any (Nobody when who may go on).
    static Holder heldAgainst(Holder who);
    // Counts who as holding while running() is true, until unwatch(key).
    static void watch(const void* key, Holder who, std::function<bool()> running);
    static void unwatch(const void* key);

    // The holder as the user knows it, e.g. "The current sensor set-up".
    static QString holderName(Holder holder);
    // What a refused start tells the user.
    static QString refusalText(Holder holder);
};
