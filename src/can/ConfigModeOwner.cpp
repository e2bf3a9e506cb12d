#include "ConfigModeOwner.h"

#include <QMap>

namespace {

ConfigModeOwner::Holder g_holder = ConfigModeOwner::Nobody;

struct Watched
{
    ConfigModeOwner::Holder who;
    std::function<bool()> running;
};

QMap<const void*, Watched>& watched()
{
    static QMap<const void*, Watched> probes;
    return probes;
}

} // namespace

ConfigModeOwner::Holder ConfigModeOwner::holder()
{
    if (g_holder != Nobody)
        return g_holder;
    for (const Watched& w : qAsConst(watched()))
        if (w.running && w.running())
            return w.who;
    return Nobody;
}

ConfigModeOwner::Holder ConfigModeOwner::heldAgainst(Holder who)
{
    const Holder h = holder();
    return h == who ? Nobody : h;
}

bool ConfigModeOwner::take(Holder who)
{
    if (who == Nobody || heldAgainst(who) != Nobody)
        return false;
    g_holder = who;
    return true;
}

void ConfigModeOwner::release(Holder who)
{
    if (g_holder == who)
        g_holder = Nobody;
}

void ConfigModeOwner::watch(const void* key, Holder who, std::function<bool()> running)
{
    watched().insert(key, Watched{who, std::move(running)});
}

void ConfigModeOwner::unwatch(const void* key)
{
    watched().remove(key);
}

QString ConfigModeOwner::holderName(Holder holder)
{
    switch (holder) {
    case CurrentSensor: return QStringLiteral("The current sensor set-up");
    case TemperatureBoards: return QStringLiteral("The temperature board power settings operation");
    case ScibModules: return QStringLiteral("The SCiB module discovery");
    case CanDeviceDownload: return QStringLiteral("A CAN device firmware update");
    default: return QStringLiteral("Another CAN device operation");
    }
}

QString ConfigModeOwner::refusalText(Holder holder)
{
    return holderName(holder) + QStringLiteral(" is running.\nTry again when it has finished.");
}
