#include "HeldPorts.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QMutex>
#include <QMutexLocker>

namespace {

struct Hold
{
    PortHolder holder;
    QString path; // as given, cleaned
};

struct Registry
{
    QMutex mutex;
    QHash<const HeldPort*, Hold> holds;
};

Registry& registry()
{
    // Never destroyed: holders in objects that outlive the statics (a
    // transport ending with the process) still let go at exit.
    static Registry* r = new Registry;
    return *r;
}

// Ports are often reached through links (/dev/serial/by-id, a test's
// symlink): the device behind them is what counts.
QString devicePath(const QString& path)
{
    const QString canonical = QFileInfo(path).canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(path) : canonical;
}

// The device is looked up at each question: a link may point elsewhere
// since the hold began (an adapter plugged in again), and a device name
// freed meanwhile may belong to another port by now.
bool matches(const Hold& h, const QString& path, const QString& device)
{
    return h.path == path || devicePath(h.path) == device;
}

} // namespace

HeldPort::~HeldPort()
{
    release();
}

void HeldPort::hold(const QString& path)
{
    const Hold h{holder_, path.isEmpty() ? QString() : QDir::cleanPath(path)};
    QMutexLocker lock(&registry().mutex);
    if (h.path.isEmpty())
        registry().holds.remove(this);
    else
        registry().holds.insert(this, h);
}

bool HeldPort::isHolding() const
{
    QMutexLocker lock(&registry().mutex);
    return registry().holds.contains(this);
}

namespace {
template <typename Pred>
bool anyHold(const QString& path, Pred pred, PortHolder* by)
{
    if (path.isEmpty())
        return false;
    const QString cleaned = QDir::cleanPath(path);
    const QString device = devicePath(path);
    QMutexLocker lock(&registry().mutex);
    for (const Hold& h : qAsConst(registry().holds)) {
        if (pred(h.holder) && matches(h, cleaned, device)) {
            if (by)
                *by = h.holder;
            return true;
        }
    }
    return false;
}
} // namespace

bool isSerialPortHeldByOther(const QString& path, PortHolder self, PortHolder* by)
{
    return anyHold(path, [self](PortHolder h) { return h != self; }, by);
}

bool isSerialPortHeld(const QString& path)
{
    return anyHold(path, [](PortHolder) { return true; }, nullptr);
}

QString portHolderText(PortHolder holder)
{
    switch (holder) {
    case PortHolder::ControlUnit: return QStringLiteral("the control unit's link");
    case PortHolder::DisplayUnit: return QStringLiteral("the display unit");
    case PortHolder::Dongle: return QStringLiteral("the Bluetooth dongle");
    }
    return QString();
}
