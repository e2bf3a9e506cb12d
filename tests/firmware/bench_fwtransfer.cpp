// Firmware transfer against the emulators, each path's time as a ratio to
// its bound: the bytes on a 57600-baud line both ways (5,760 bytes a second)
// plus the pauses the protocol mandates. The emulator paces its own output at
// that rate; the tool's writes reach it at once, which only loosens the bound.
//   legacy frames: per frame, the 1 ms drain read and the 15 ms before the
//     answer is read; measured from the first progress report to 100 %.
//   route records: 2 x 100 ms, seven enter commands 250 ms apart with 50 ms
//     between, and 15 ms before every "CN1" sentence while a CAN update
//     runs; measured from the update's start report to the device's answer
//     to the leave command.
#include "BootloaderSim.h"
#include "RouteBootloaderSim.h"
#include "SimLink.h"
#include "Y5CanFwUpdater.h"
#include "Y5CanProtocolHandler.h"
#include "Y5FwUpdater.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QPointer>
#include <QThread>

#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>

namespace {

using Clock = std::chrono::steady_clock;
constexpr double kLineBytesPerSecond = 5760.0;

bool waitFor(const std::function<bool()>& done, int timeoutMs)
{
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < timeoutMs) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
    return done();
}

double seconds(Clock::time_point from, Clock::time_point to)
{
    return std::chrono::duration<double>(to - from).count();
}

// Lines the emulator received that start with prefix, and their bytes (line
// ends included).
struct Received
{
    int lines = 0;
    int bytes = 0;
};
Received received(const ControlUnitSim& sim, const char* prefix)
{
    Received n;
    for (const ControlUnitSim::Received& r : sim.received())
        if (r.raw.startsWith(prefix)) {
            ++n.lines;
            n.bytes += r.raw.size() + 1;
        }
    return n;
}

void BM_LegacyFrameTransfer(benchmark::State& state)
{
    const int frames = int(state.range(0));
    const int frameBytes = 200;
    QByteArray image;
    for (int f = 0; f < frames; ++f) {
        image.append(char(frameBytes >> 8)).append(char(frameBytes & 0xFF));
        for (int i = 0; i < frameBytes; ++i)
            image.append(char('a' + (f + i) % 26)); // no sentence start at a frame boundary
    }
    double ratioSum = 0;
    for (auto _ : state) {
        SimLink link;
        BootloaderSim boot{link.sim};
        boot.setRestartAfterFrames(frames);
        link.sim.setPacing(true);
        link.sim.setVersion("BMS2", "0001E240", "2.8.0");
        link.handler.setFirmwareUpdaterFactory(Y5FwUpdater::factory());
        if (!link.start() || !link.waitLinked(20000)) {
            state.SkipWithError("no link");
            return;
        }
        std::atomic<bool> begun{false}, ended{false};
        Clock::time_point from, to;
        QObject context;
        QObject::connect(
            link.comm, &CommunicatorBase::sigFirmwareUpdateProgress, &context,
            [&](int value, int kind, const QString&) {
                if (kind != 1)
                    return;
                if (!begun && value == 0) {
                    from = Clock::now();
                    begun = true;
                } else if (value == 100) {
                    to = Clock::now();
                    ended = true;
                }
            },
            Qt::DirectConnection);
        link.handler.startFirmwareUpdate(image);
        if (!waitFor([&] { return ended.load() || !link.handler.isFirmwareUpdating(); }, 120000) || !ended) {
            state.SkipWithError("update failed");
            return;
        }
        const double took = seconds(from, to);
        const double bound = (image.size() + frames) / kLineBytesPerSecond + frames * (0.001 + 0.015);
        state.SetIterationTime(took);
        ratioSum += took / bound;
        waitFor([&] { return !link.handler.updaterThread(); }, 20000);
    }
    state.counters["ratio"] = ratioSum / double(state.iterations());
    state.counters["frames"] = frames;
}
BENCHMARK(BM_LegacyFrameTransfer)->Arg(60)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

// One Intel HEX data record of 16 bytes at an address.
QByteArray hexRecord(quint16 address, int seed)
{
    QByteArray r;
    r.append(char(16)).append(char(address >> 8)).append(char(address & 0xFF)).append(char(0));
    for (int i = 0; i < 16; ++i)
        r.append(char((seed * 31 + i * 7) & 0xFF));
    quint8 sum = 0;
    for (char c : r)
        sum = quint8(sum + quint8(c));
    r.append(char(quint8(0x100 - sum)));
    return ':' + r.toHex().toUpper();
}

void BM_RouteRecordTransfer(benchmark::State& state)
{
    const int records = int(state.range(0));
    QByteArray image;
    for (int i = 0; i < records; ++i)
        image += hexRecord(quint16(i * 16), i);
    image += ":00000001FF";
    double ratioSum = 0;
    for (auto _ : state) {
        SimLink link;
        RouteBootloaderSim device(5, 0x1234);
        Y5CanFwUpdater updater{link.comm};
        link.handler.setCanUpdateBusyProbe([&updater] { return updater.isBusy(); });
        link.sim.setPacing(true);
        QObject context;
        // The window's pump: it leaves the queue to the update while busy.
        QObject::connect(link.comm, &CommunicatorBase::sigReceivedSentence, &context, [&] {
            if (updater.isBusy())
                return;
            QString line;
            while (link.handler.getSentence(line))
                link.handler.applyReplyFlags(line);
        }, Qt::QueuedConnection);
        device.install(link.sim);
        if (!link.start() || !link.waitLinked(20000)) {
            state.SkipWithError("no link");
            return;
        }
        std::atomic<bool> begun{false}, ended{false};
        Received before, after;
        std::atomic<int> repliesBefore{0}, repliesAfter{0};
        Clock::time_point from, to;
        QObject::connect(link.comm, &CommunicatorBase::sigCanDeviceOperationStatus, &context,
                         [&](int status, int) {
                             if (status == 0 && !begun) {
                                 before = received(link.sim, "CN1");
                                 repliesBefore = device.replyBytes();
                                 from = Clock::now();
                                 begun = true;
                             }
                         },
                         Qt::DirectConnection);
        QObject::connect(link.comm, &CommunicatorBase::sigCanUpdateStatus, &context,
                         [&](int stage, int code, const QString&) {
                             if (stage == 3 && !ended) {
                                 to = Clock::now();
                                 after = received(link.sim, "CN1");
                                 repliesAfter = device.replyBytes();
                                 ended = (code == 1);
                             }
                         },
                         Qt::DirectConnection);
        if (!updater.start(&image, 5, 0x1234)
            || !waitFor([&] { return ended.load() || (begun && !updater.isBusy()); }, 120000) || !ended) {
            state.SkipWithError("update failed");
            return;
        }
        const int sentences = after.lines - before.lines;
        const double wire = (after.bytes - before.bytes + repliesAfter - repliesBefore) / kLineBytesPerSecond;
        const double pauses = 0.2 + 7 * 0.25 + 6 * 0.05 + sentences * 0.015;
        const double took = seconds(from, to);
        state.SetIterationTime(took);
        ratioSum += took / (wire + pauses);
        waitFor([&] { return !updater.isBusy(); }, 20000);
        device.uninstall();
    }
    state.counters["ratio"] = ratioSum / double(state.iterations());
    state.counters["records"] = records;
}
BENCHMARK(BM_RouteRecordTransfer)->Arg(40)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
