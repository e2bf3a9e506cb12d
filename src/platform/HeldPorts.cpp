#include "HeldPorts.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QMutex>
#include <QMutexLocker>

namespace {

struct Held
{
    QMutex mutex;
    QHash<int, QString> devices; // fd -> device path with links resolved
};

Held& held()
{
    static Held h;
    return h;
}

// Ports are often reached through links (/dev/serial/by-id, a test's
// symlink): the device behind them is what counts.
QString devicePath(const QString& path)
{
    const QString canonical = QFileInfo(path).canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(path) : canonical;
}

} // namespace

void noteSerialPortOpened(int fd, const QString& path)
{
    const QString device = devicePath(path);
    QMutexLocker lock(&held().mutex);
    held().devices.insert(fd, device);
}

void noteSerialPortClosed(int fd)
{
    QMutexLocker lock(&held().mutex);
    held().devices.remove(fd);
}

bool isSerialPortHeld(const QString& path)
{
    if (path.isEmpty())
        return false;
    const QString device = devicePath(path);
    QMutexLocker lock(&held().mutex);
    for (const QString& d : qAsConst(held().devices))
        if (d == device)
            return true;
    return false;
}
