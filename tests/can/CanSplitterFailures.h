#pragma once

// The CAN Splitter set-ups that fail, one step each. The table is shared by
// a few small executables, since every row waits out the job's own pauses.
#include "CanJobTestSupport.h"

#include <QSignalSpy>
#include <QTest>

#include <initializer_list>

namespace {
enum class SplitterFault { NoSplitter, RefusesEnter, ParameterSilent, LeaveRefused, LeaveSilent };

// The rows of these faults: what the device does wrong, the job's result
// and the parameter requests sent.
inline void splitterFailureRows(std::initializer_list<SplitterFault> faults)
{
    struct Row
    {
        const char* name;
        SplitterFault fault;
        int result;
        int paramRequests;
    };
    static const Row rows[] = {
        {"no splitter", SplitterFault::NoSplitter, 1, 0},
        {"splitter does not enter", SplitterFault::RefusesEnter, 2, 0},
        {"parameter never answered", SplitterFault::ParameterSilent, 3, 10},
        {"leave refused", SplitterFault::LeaveRefused, 5, 1},
        {"leave not answered", SplitterFault::LeaveSilent, 6, 1},
    };
    QTest::addColumn<int>("fault");
    QTest::addColumn<int>("result");
    QTest::addColumn<int>("paramRequests");
    for (const Row& r : rows)
        for (SplitterFault f : faults)
            if (r.fault == f)
                QTest::newRow(r.name) << int(r.fault) << r.result << r.paramRequests;
}

inline void checkSplitterFailure()
{
    QFETCH(int, fault);
    QFETCH(int, result);
    QFETCH(int, paramRequests);
    const auto f = SplitterFault(fault);
    CanSimRig rig;
    Device d = device(f == SplitterFault::NoSplitter ? 1 : 15, 77);
    d.refuseEnter = f == SplitterFault::RefusesEnter;
    d.paramSilent = f == SplitterFault::ParameterSilent;
    d.leaveStatus = f == SplitterFault::LeaveRefused ? 1 : 0;
    d.leaveSilent = f == SplitterFault::LeaveSilent;
    rig.bus.addDevice(d);
    QVERIFY(rig.start());
    QSignalSpy spy(rig.cc, &canConfig::sigCanSplitterConfigFinish);
    rig.cc->clearSplitterParams();
    rig.cc->addSplitterParam(0x1DF2, 1, QStringLiteral("Id"));
    rig.cc->startSplitterConfig();
    QCOMPARE(waitResult(spy), result);
    QCOMPARE(spy.size(), 1);
    QCOMPARE(rig.bus.routeRequestCount(0x0B), paramRequests);
    QVERIFY(!rig.cc->isBusy());
    QTRY_VERIFY_WITH_TIMEOUT(!rig.link.sim.configMode(), 20000);
}
} // namespace
