#pragma once

// Waits and frame readers shared by the CAN speed change and CAN Splitter
// tests against the emulated bus.
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
