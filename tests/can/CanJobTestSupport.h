#pragma once

// Devices, waits and frame readers shared by the CAN job tests against the
// emulated bus.
#include "CanSimRig.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSignalSpy>

namespace {
constexpr int kJobTimeoutMs = 60000;
using Device = CanBusSim::Device;

inline Device device(quint16 type, quint32 serial)
{
    Device d;
    d.type = type;
    d.serial = serial;
    return d;
}

// A module with its base id, cells and firmware version.
inline Device device(quint16 type, quint32 serial, quint32 base, quint8 cells = 12, quint32 version = 0x00020503)
{
    Device d;
    d.type = type;
    d.serial = serial;
    d.baseId = base;
    d.cells = cells;
    d.version = version;
    return d;
}

// Waits for the first non-start status of the operation; its status or -1.
inline int waitStatus(QSignalSpy& spy, int operation)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < kJobTimeoutMs) {
        for (const QList<QVariant>& s : qAsConst(spy))
            if (s.at(1).toInt() == operation && s.at(0).toInt() != 0)
                return s.at(0).toInt();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return -1;
}

// The operation ended (any status but its start) in time.
inline bool waitDone(QSignalSpy& spy, int operation)
{
    return waitStatus(spy, operation) != -1;
}

inline int waitResult(QSignalSpy& spy)
{
    QElapsedTimer t;
    t.start();
    while (spy.isEmpty() && t.elapsed() < kJobTimeoutMs)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return spy.isEmpty() ? -1 : spy.first().at(0).toInt();
}

// Serials of the devices addressed by route requests with this code, in order.
inline QList<quint32> addressed(const CanBusSim& bus, quint8 code)
{
    QList<quint32> serials;
    for (const CanBusSim::Frame& f : bus.frames())
        if (f.extended && f.id == 0x1FFFFEE5 && f.data.size() == 8 && quint8(f.data.at(0)) == code) {
            const auto* p = reinterpret_cast<const quint8*>(f.data.constData()) + 4;
            serials.append(quint32(p[0]) | (quint32(p[1]) << 8) | (quint32(p[2]) << 16) | (quint32(p[3]) << 24));
        }
    return serials;
}

// Repeats in a row count once (a device is entered with two requests).
inline QList<quint32> collapsed(const QList<quint32>& list)
{
    QList<quint32> out;
    for (quint32 v : list)
        if (out.isEmpty() || out.last() != v)
            out.append(v);
    return out;
}
} // namespace
