// Firmware transfer against the emulators, each path's time as a ratio to
// what the set-up must spend: the emulator paces both directions at 57600
// baud (5,760 bytes a second), and the protocol mandates its pauses.
//   legacy frames: per frame, the 1 ms drain read, then answer polls 15 ms
//     apart; the answer is seen at the first poll after the frame and its
//     answer byte have crossed. Measured from the first progress report to
//     100 %.
//   route records: 2 x 100 ms, seven enter commands 250 ms apart with 50 ms
//     between, and 15 ms before every "CN1" sentence while a CAN update runs;
//     a sentence crosses within the pause before the next one, so only those
//     the device answers add their time on the wire, and the answer's.
//     Measured from the update's start report to the device's answer to the
//     leave command.
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
#include <cmath>
#include <cstdio>

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
    double ratioSum = 0, boundSum = 0;
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
        const double frameWire = (double(image.size()) / frames + 1) / kLineBytesPerSecond;
        const double polls = std::ceil(frameWire / 0.015 - 1e-9);
        const double bound = frames * (0.001 + polls * 0.015);
        state.SetIterationTime(took);
        ratioSum += took / bound;
        boundSum += bound;
        waitFor([&] { return !link.handler.updaterThread(); }, 20000);
    }
    const double n = double(state.iterations());
    state.counters["ratio"] = ratioSum / n;
    state.counters["frames"] = frames;
    state.counters["bound_s"] = boundSum / n;
    std::printf("legacy frames (%d x %d bytes): %.2f x the bound of %.3f s (per frame 1 ms drain + the 15 ms answer "
                "polls that cover %.1f ms on the wire)\n",
                frames, int(image.size() / frames), ratioSum / n, boundSum / n,
                (double(image.size()) / frames + 1) / kLineBytesPerSecond * 1000);
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
    double ratioSum = 0, wireSum = 0, pauseSum = 0;
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
        std::atomic<int> repliesBefore{0}, repliesAfter{0}, answersBefore{0}, answersAfter{0};
        const auto answers = [&device] {
            return device.enterRequests() + device.checkRequests() + device.recordsStored() + device.recordsRefused()
                + device.leaveRequests();
        };
        Clock::time_point from, to;
        QObject::connect(link.comm, &CommunicatorBase::sigCanDeviceOperationStatus, &context,
                         [&](int status, int) {
                             if (status == 0 && !begun) {
                                 before = received(link.sim, "CN1");
                                 repliesBefore = device.replyBytes();
                                 answersBefore = answers();
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
                                 answersAfter = answers();
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
        const double sentenceBytes = sentences > 0 ? double(after.bytes - before.bytes) / sentences : 0;
        const double wire =
            ((answersAfter - answersBefore) * sentenceBytes + repliesAfter - repliesBefore) / kLineBytesPerSecond;
        const double pauses = 0.2 + 7 * 0.25 + 6 * 0.05 + sentences * 0.015;
        const double took = seconds(from, to);
        state.SetIterationTime(took);
        ratioSum += took / (wire + pauses);
        wireSum += wire;
        pauseSum += pauses;
        waitFor([&] { return !updater.isBusy(); }, 20000);
        device.uninstall();
    }
    const double n = double(state.iterations());
    state.counters["ratio"] = ratioSum / n;
    state.counters["records"] = records;
    state.counters["wire_s"] = wireSum / n;
    state.counters["pauses_s"] = pauseSum / n;
    std::printf("route records (%d): %.2f x the bound of %.3f s (answered exchanges on the wire %.3f s + pauses "
                "%.3f s)\n",
                records, ratioSum / n, (wireSum + pauseSum) / n, wireSum / n, pauseSum / n);
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
